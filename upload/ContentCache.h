#pragma once
// The upload engine: the ordered list of upload items for the life of the
// process, the intake that turns dropped files and folders into items, the
// steps that move each item on, and the rows the window shows.
//
// The class is spread over several files, one per concern:
//   ContentCache.cpp          construction and the display rows
//   ContentCacheIntake.cpp    addMediaFile, addMediaFolder, collectMediaFiles
//   ContentCacheMetadata.cpp  the step localGetFileDetails
//   ContentCacheOwnership.cpp the backend steps serverVerifyChecksum and
//                             serverWriteFileOwnership, markItemFailed
//   ContentCacheStorage.cpp   the five cloud-storage steps
//
// Threads: intake may be called from any thread, several at once; everything
// else is called on the main thread. Work off the main thread (hashing, tag
// and document parsing) hands its results back to the main thread before
// they touch an item's members or a notification is posted.

#include "app/core/NotificationHub.h"
#include "backend/exchange/BackendExchange.h"
#include "backend/net/Cancelable.h"
#include "backend/net/HttpClient.h"
#include "upload/MediaItemStatus.h"
#include "upload/MediaMetadata.h"
#include "upload/TransferSha1.h"
#include "upload/util/ThreadSafeArray.h"
#include "upload/util/UtilInternalId.h"

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QUuid>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
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
    // Aborts requests and transfers in flight (nothing of them is delivered
    // afterwards) and waits for work still running on worker threads.
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

    // Every step below starts with the item whose uniqueId is `itemId` (an id
    // not in the list, or an item whose running mark is set, does nothing),
    // sets its running mark and returns at once. The outcome is applied to the
    // item on the main thread: its new state (and, on failure, errorMessage),
    // the running mark cleared, the item stored back and
    // "userDataStoreModified" posted. No outcome leaves the mark set.

    // Asks the backend whether the account already holds the item's content:
    // 4 -> backblazeGetAuthorisation, 3 -> processingAlreadyUploaded, anything
    // else -> markItemFailed.
    void serverVerifyChecksum(const QString& itemId);
    // Registers the stored file as the account's own: 3 -> processingCompletedOK,
    // another code -> processingCompletedError with errorMessage unchanged; a
    // failed exchange -> markItemFailed.
    void serverWriteFileOwnership(const QString& itemId);
    // The failure path of the two backend steps: processingCompletedError with
    // `message`, running mark cleared, and retryLogin set.
    void markItemFailed(const MediaItemRef& item, const QString& message);

    // The cloud-storage chain. Failures here do not set retryLogin.
    void backblazeGetAuthorisation(const QString& itemId);
    void backblazeGetBucketDetails(const QString& itemId);
    void backblazeGetUploadUrl(const QString& itemId);
    // Checks the upload host, obtains the file's SHA-1 (read on a worker
    // thread since the item entered the chain, and read again if the file has
    // changed since), then streams the file in the item's own transfer
    // session, showing the progress in errorMessage.
    void backblazeUploadFile(const QString& itemId);
    void backblazeValidateFile(const QString& itemId);

    // The step that moves on an item in `state`; none for a state in which
    // processing has ended.
    using Step = void (ContentCache::*)(const QString& itemId);
    static Step stepFor(ProcessingState state);

    // The access token sent in backend requests; all zeros until a refresh
    // has seen an account record carrying one. Main thread.
    QUuid itemAccessToken;
    // Set by a failed backend step so that the next refresh logs in again.
    // Main thread.
    bool retryLogin = false;
    // When set, replaces the inactivity time-out of every request the steps
    // send (tests that need a short one).
    std::optional<std::chrono::seconds> timeoutOverride;
    // The origin of the storage authorisation (b2AuthorisationUrl() when empty).
    QString storageAuthorisationOrigin;

    // The upload items, in the order they were added. Never shrinks.
    ThreadSafeArray<MediaItemRef> mediaItemsList;
    // Row ids of the current display pass.
    UtilInternalId internalId;
    // Suffix text added to titles and albums. Main thread only.
    QString metadataExtension;

private:
    void announceModified();

    // The item to run a step on, with its running mark set and stored back;
    // none when the id is unknown or the item is already running.
    MediaItemRef beginStep(const QString& itemId);
    // Ends a step: the new state, the message (when given), the running mark
    // cleared, the session closed once the item has finished, the item stored
    // back and the announcement posted.
    void finishStep(const MediaItemRef& item, ProcessingState state,
                    const std::optional<QString>& message = std::nullopt);
    // Sends one JSON request of the storage chain and hands its body (none
    // after a transport failure without one) to `onEnd` on the main thread.
    void sendStorageRequest(const MediaItemRef& item, std::optional<net::HttpRequest> request,
                            std::function<void(const MediaItemRef&, const std::optional<std::string>&)> onEnd);
    // Sends a backend step's request, keeping its handle; a request that
    // could not be built fails the item through markItemFailed.
    void sendBackendRequest(const MediaItemRef& item, std::optional<net::HttpRequest> request,
                            SendCompletion completion);
    void startTransfer(const MediaItemRef& item, const QString& sha1);
    // Starts reading the SHA-1 of an item that has entered the storage chain,
    // unless already started.
    void prepareTransferSha1(const MediaItemRef& item);
    void applyTimeout(net::HttpRequest& request) const;

    // The request in flight of each item (by uniqueId), JSON steps and backend
    // exchanges; a later step of the same item replaces the finished one.
    std::map<QString, net::Cancelable> m_requests;
    // The SHA-1 being read for each item in the storage chain (by uniqueId),
    // until its transfer takes it or the item finishes.
    std::map<QString, std::shared_ptr<TransferSha1>> m_transferSha1;
    // Tells digests still running on workers to stop (destruction).
    std::shared_ptr<std::atomic<bool>> m_stopping = std::make_shared<std::atomic<bool>>(false);

    NotificationHub& m_hub;
    std::shared_ptr<MediaMetadataReader> m_reader;
    // Metadata reads; owned so that destruction can wait for them.
    QThreadPool m_workers;
    // SHA-1 reads ahead of transfers, one file at a time, so that they leave
    // a core to the transfer and the window.
    QThreadPool m_digestWorkers;
};

} // namespace zirv
