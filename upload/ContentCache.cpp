#include "ContentCache.h"

#include "app/core/Formatting.h"
#include "app/core/MainThread.h"
#include "app/core/Notifications.h"
#include "upload/MediaTypes.h"

#include <QFile>

#include <algorithm>
#include <array>

namespace zirv {

ContentCache::ContentCache(NotificationHub& hub, std::shared_ptr<MediaMetadataReader> reader,
                           QObject* parent)
    : QObject(parent)
    , m_hub(hub)
    , m_reader(reader ? std::move(reader) : makeMediaMetadataReader())
{
    m_workers.setMaxThreadCount(2);
    m_digestWorkers.setMaxThreadCount(1);
}

ContentCache::~ContentCache()
{
    m_stopping->store(true);
    m_requests.clear();
    for (const MediaItemRef& item : mediaItemsList.snapshot())
        item->session.reset();
    m_digestWorkers.waitForDone();
    m_workers.waitForDone();
}

ContentCache::Step ContentCache::stepFor(ProcessingState state)
{
    switch (state) {
    case ProcessingState::localGetFileDetails: return &ContentCache::localGetFileDetails;
    case ProcessingState::serverVerifyChecksum: return &ContentCache::serverVerifyChecksum;
    case ProcessingState::backblazeGetAuthorisation: return &ContentCache::backblazeGetAuthorisation;
    case ProcessingState::backblazeGetBucketDetails: return &ContentCache::backblazeGetBucketDetails;
    case ProcessingState::backblazeGetUploadUrl: return &ContentCache::backblazeGetUploadUrl;
    case ProcessingState::backblazeUploadFile: return &ContentCache::backblazeUploadFile;
    case ProcessingState::backblazeValidateFile: return &ContentCache::backblazeValidateFile;
    case ProcessingState::serverWriteFileOwnership: return &ContentCache::serverWriteFileOwnership;
    default: return nullptr;
    }
}

MediaItemRef ContentCache::beginStep(const QString& itemId)
{
    const std::optional<MediaItemRef> found = mediaItemsList.first(itemId);
    if (!found || (*found)->isCurrentlyProcessing)
        return nullptr;
    const MediaItemRef item = *found;
    item->isCurrentlyProcessing = true;
    mediaItemsList.update(item);
    return item;
}

void ContentCache::finishStep(const MediaItemRef& item, ProcessingState state,
                              const std::optional<QString>& message)
{
    item->currentStatus = state;
    if (message)
        item->errorMessage = *message;
    item->isCurrentlyProcessing = false;
    // A finished item keeps no transfer session open. The session is released
    // on a later turn: this may be running inside its own callback.
    if (!isPending(state) && item->session)
        runOnMain([session = std::move(item->session)] {});
    if (state == ProcessingState::backblazeGetAuthorisation)
        prepareTransferSha1(item);
    else if (!isPending(state))
        m_transferSha1.erase(item->uniqueId);
    mediaItemsList.update(item);
    announceModified();
}

void ContentCache::applyTimeout(net::HttpRequest& request) const
{
    if (timeoutOverride)
        request.inactivityTimeout = *timeoutOverride;
}

void ContentCache::announceModified()
{
    // Bound to this engine: dropped if it is gone before the call runs.
    runOnMain(this, [this] { m_hub.post(notify::userDataStoreModified); });
}

std::vector<statusListItem> ContentCache::buildStatusList(const std::vector<MediaItemRef>& items)
{
    std::vector<MediaItemRef> ordered = items;
    std::stable_sort(ordered.begin(), ordered.end(), [](const MediaItemRef& a, const MediaItemRef& b) {
        if (a->currentStatus != b->currentStatus)
            return a->currentStatus < b->currentStatus;
        return a->size < b->size;
    });

    std::vector<statusListItem> rows;
    rows.reserve(ordered.size());
    for (const MediaItemRef& item : ordered) {
        rows.push_back(statusListItem{
            internalId.next(),
            processingStateText(item->currentStatus),
            QFile::decodeName(item->fileLocation.c_str()),
            item->errorMessage,
            mediaTypeIcons(item->mediaType),
            byteCountString(item->size),
            processingStateColour(item->currentStatus),
        });
    }
    return rows;
}

std::vector<processingSummaryListItem>
ContentCache::buildProcessingSummary(const std::vector<MediaItemRef>& items)
{
    struct Group {
        int64_t count = 0;
        int64_t size = 0;
    };
    Group total;
    std::array<Group, processingStateCount> groups{};
    for (const MediaItemRef& item : items) {
        total.count += 1;
        total.size += item->size;
        const int index = ordinal(item->currentStatus);
        if (index >= 0 && index < processingStateCount) {
            groups[static_cast<size_t>(index)].count += 1;
            groups[static_cast<size_t>(index)].size += item->size;
        }
    }

    std::vector<processingSummaryListItem> rows;
    const auto addRow = [&](ProcessingState state, const Group& group) {
        if (group.count == 0)
            return;
        rows.push_back(processingSummaryListItem{
            internalId.next(),
            processingStateText(state),
            group.count,
            byteCountString(group.size),
            processingStateColour(state),
        });
    };

    addRow(ProcessingState::totalItemsAdded, total);
    // Errors first, then the pending states in order, then the two final ones.
    for (int index = ordinal(ProcessingState::processingCompletedError);
         index <= ordinal(ProcessingState::processingAlreadyUploaded); ++index)
        addRow(static_cast<ProcessingState>(index), groups[static_cast<size_t>(index)]);
    return rows;
}

} // namespace zirv
