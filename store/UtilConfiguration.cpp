#include "UtilConfiguration.h"

#include "store/UtilUserDefaults.h"

#include <QDateTime>

namespace zirv {

void UtilConfiguration::addDeviceConfiguration(StoreContext& context) const
{
    const struct {
        int64_t number;
        int64_t value;
        QString text;
    } rows[] = {
        {1, 3, UtilUserDefaults::appVersionString()},
        {2, 0, UtilUserDefaults::osVersionString()},
    };
    for (const auto& row : rows) {
        User_Configuration record;
        record.entityKey = QUuid::createUuid();
        record.entityType = 54;
        record.configurationKeyNumber = row.number;
        record.configurationKeyUUID = QUuid();
        record.valueAsNumber = row.value;
        record.valueAsString = row.text;
        record.valueAsUUID = QUuid();
        record.lastUpdated = QDateTime::currentDateTimeUtc();
        record.updateRecord = 0;
        m_configuration.storeRecord(context, true, record);
    }
}

void UtilConfiguration::markBlocksOwned(StoreContext& context, int64_t track, int32_t mask) const
{
    const std::vector<ZIRV_ReleaseContent> contents = m_releaseContent.fetchReleaseContentsOfTrack(context, track);
    if (!m_userAudio.findOwnedTrack(context, track, mask).found)
        return;
    for (const ZIRV_ReleaseContent& content : contents) {
        if (content.zirv_ContentBlockKeyLink)
            markBlock(context, 81, *content.zirv_ContentBlockKeyLink, mask);
        if (content.zirv_ContainerBlockKeyLink)
            markBlock(context, 80, *content.zirv_ContainerBlockKeyLink, mask);
    }
}

void UtilConfiguration::markBlock(StoreContext& context, int64_t kind, int64_t block, int32_t mask) const
{
    const std::optional<User_Configuration> row = m_configuration.fetchConfigurationByKind(context, kind, block);
    User_Configuration record;
    record.entityKey = row && row->entityKey ? *row->entityKey : QUuid::createUuid();
    // The mask is a 32-bit value; a stored number outside that range keeps
    // only its low 32 bits.
    const int32_t old = row ? static_cast<int32_t>(row->valueAsNumber.value_or(0)) : 0;
    record.entityType = kind;
    record.configurationKeyNumber = block;
    record.configurationKeyUUID = QUuid();
    record.valueAsNumber = int64_t {old | mask};
    record.valueAsString = QStringLiteral("");
    record.valueAsUUID = QUuid();
    record.lastUpdated = QDateTime::currentDateTimeUtc();
    record.updateRecord = row ? row->updateRecord.value_or(0) : 0;
    m_configuration.storeRecord(context, true, record);
}

} // namespace zirv
