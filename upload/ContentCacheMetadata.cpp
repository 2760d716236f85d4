// The step localGetFileDetails: an item's descriptive metadata.

#include "ContentCache.h"

#include "app/core/MainThread.h"
#include "app/core/Notifications.h"
#include "upload/MediaTypes.h"

#include <QFile>

#include <chrono>

namespace zirv {

void ContentCache::localGetFileDetails(const QString& itemId)
{
    const std::optional<MediaItemRef> found = mediaItemsList.first(itemId);
    if (!found)
        return;
    const MediaItemRef item = *found;
    item->isCurrentlyProcessing = true;
    mediaItemsList.update(item);

    // Only the reading runs on the worker; what it found comes back to the
    // main thread, where the item's members are written.
    const std::filesystem::path location = item->fileLocation;
    const bool document = item->mediaType == mediaTypeChoreography;
    std::shared_ptr<MediaMetadataReader> reader = m_reader;

    const auto finish = [this, item] {
        item->currentStatus = ProcessingState::serverVerifyChecksum;
        item->isCurrentlyProcessing = false;
        mediaItemsList.update(item);
        runOnMainAfter(std::chrono::seconds(1), this,
                       [this] { m_hub.post(notify::userDataStoreModified); });
    };

    if (document) {
        m_workers.start([this, reader, location, item, finish] {
            const DocumentAttributes attributes = reader->readDocument(location);
            runOnMain(this, [this, attributes, location, item, finish] {
                if (attributes.opened) {
                    item->itemMetadataTitle = documentTitle(
                        QFile::decodeName(QByteArray::fromStdString(baseNameOf(location))),
                        metadataExtension);
                    // A missing or non-text attribute leaves the member as it was.
                    if (attributes.producer)
                        item->itemMetadataArtist = *attributes.producer;
                    if (attributes.creator)
                        item->itemMetadataAlbum = *attributes.creator;
                }
                finish();
            });
        });
        return;
    }

    m_workers.start([this, reader, location, item, finish] {
        const AudioMetadata metadata = reader->readAudio(location);
        runOnMain(this, [this, metadata, item, finish] {
            item->runningTime = static_cast<float>(metadata.durationSeconds);
            const AudioTexts texts = audioTexts(metadata, metadataExtension);
            item->itemMetadataTitle = texts.title;
            item->itemMetadataArtist = texts.artist;
            item->itemMetadataAlbum = texts.album;
            item->itemMetadataTrackNumber = 0;
            finish();
        });
    });
}

} // namespace zirv
