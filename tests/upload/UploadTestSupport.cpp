#include "UploadTestSupport.h"

#include "app/core/MainThread.h"

namespace zirv::test {

ModifiedCounter::ModifiedCounter(NotificationHub& hub)
    : m_subscription(hub.observe(notify::userDataStoreModified, [this](const Notification& n) {
        ++m_count;
        m_allOnMain = m_allOnMain && isMainThread() && !n.userInfo;
    }))
{
}

QByteArray contentOf(int seed, int size)
{
    QByteArray content(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        content[i] = static_cast<char>((seed * 131 + i * 7) & 0xff);
    content.append(QByteArray::number(seed));
    return content;
}

std::vector<MediaItemRef> itemsAt(const ContentCache& cache, const std::filesystem::path& location)
{
    return cache.mediaItemsList.filter(
        [&](const MediaItemRef& item) { return item->fileLocation == location; });
}

MediaItemRef itemIn(ProcessingState state, int64_t size, int64_t mediaType,
                    const std::filesystem::path& location)
{
    auto item = std::make_shared<mediaItemStatus>();
    item->uniqueId = QStringLiteral("id-%1-%2").arg(ordinal(state)).arg(size);
    item->checksum = item->uniqueId;
    item->currentStatus = state;
    item->size = size;
    item->mediaType = mediaType;
    item->fileLocation = location;
    return item;
}

} // namespace zirv::test
