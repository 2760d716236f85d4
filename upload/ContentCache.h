#pragma once
// The upload engine: the ordered list of upload items for the life of the
// process, the intake that turns dropped files and folders into items, the
// steps that move each item on, and the rows the window shows.
//
// The class is spread over several files, one per concern:
//   ContentCache.cpp          construction and the display rows
//   ContentCacheIntake.cpp    addMediaFile, addMediaFolder, collectMediaFiles
//   ContentCacheMetadata.cpp  the step localGetFileDetails
//
// Threads: intake may be called from any thread, several at once; everything
// else is called on the main thread. Work off the main thread (hashing, tag
// and document parsing) hands its results back to the main thread before
// they touch an item's members or a notification is posted.

#include "app/core/NotificationHub.h"
#include "upload/MediaItemStatus.h"
#include "upload/MediaMetadata.h"
#include "upload/util/ThreadSafeArray.h"
#include "upload/util/UtilInternalId.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <filesystem>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace zirv {

class ContentCache : public QObject {
    Q_OBJECT

public:
    // `hub` receives the engine's announcements; `reader` reads media metadata
    // (the program's TagLib and poppler reader when none is given).
    explicit ContentCache(NotificationHub& hub = NotificationHub::defaultHub(),
                          std::shared_ptr<MediaMetadataReader> reader = nullptr,
                          QObject* parent = nullptr);
    // Waits for metadata reads still running on worker threads.
    ~ContentCache() override;

    // --- intake: any thread, while the engine lives ---

    // Takes one file: a regular file with an accepted extension whose content
    // is not already in the list becomes a new item in localGetFileDetails,
    // and "userDataStoreModified" is posted on the main thread. Anything else
    // is dropped without trace.
    void addMediaFile(const std::filesystem::path& location);

    // Takes every acceptable file below a folder, in collectMediaFiles order,
    // on the calling thread.
    void addMediaFolder(const std::filesystem::path& location);

    // The files below `folder` whose extension is allowed: the results of the
    // sub-folders first, each as a block in listing order, then the folder's
    // own files in listing order. Hidden entries count. Symbolic links to
    // folders are not followed (a link to a parent would never end); only
    // regular files (or links to them) are taken. A folder that cannot be
    // listed is reported on the console and contributes nothing.
    static std::vector<std::filesystem::path>
    collectMediaFiles(const std::filesystem::path& folder,
                      std::span<const std::string_view> allowedExtensions);

    // --- display rows: main thread ---

    // One row per item, by state and then size (ties keep list order).
    std::vector<statusListItem> buildStatusList(const std::vector<MediaItemRef>& items);
    // The total row, then one row per state present: 0, 1 to 8, 9, 10.
    std::vector<processingSummaryListItem>
    buildProcessingSummary(const std::vector<MediaItemRef>& items);

    // --- steps: main thread ---

    // Reads the item's descriptive metadata on a worker thread, then writes it
    // to the item on the main thread and moves the item to
    // serverVerifyChecksum; "userDataStoreModified" follows one second later.
    // Returns at once. An id not in the list does nothing.
    void localGetFileDetails(const QString& itemId);

    // The upload items, in the order they were added. Never shrinks.
    ThreadSafeArray<MediaItemRef> mediaItemsList;
    // Row ids of the current display pass.
    UtilInternalId internalId;
    // Suffix text added to titles and albums. Main thread only.
    QString metadataExtension;

private:
    void announceModified();

    NotificationHub& m_hub;
    std::shared_ptr<MediaMetadataReader> m_reader;
    // Metadata reads; owned so that destruction can wait for them.
    QThreadPool m_workers;
};

} // namespace zirv
