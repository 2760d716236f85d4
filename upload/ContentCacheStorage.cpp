// The cloud-storage chain of an upload item: authorise, find the bucket,
// obtain an upload target, transfer the file, confirm the stored file.
//
// Every answer and transfer callback is applied to the item on the main
// thread. The SHA-1 of the transfer is read on a worker thread, from the
// moment the item enters the chain (see TransferSha1.h).

#include "ContentCache.h"

#include "app/core/Console.h"
#include "app/core/Endpoints.h"
#include "app/core/Formatting.h"
#include "app/core/MainThread.h"
#include "backend/reachability/UtilNetwork.h"
#include "upload/StorageRequests.h"
#include "upload/util/Digest.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fstream>

namespace zirv {

namespace {

const QString addressFailure = QStringLiteral("Unable to create the Backblaze URL and/or authentication data");
const QString authorisationFailure = QStringLiteral("Invalid response received for authentication");
const QString bucketFailure = QStringLiteral("Invalid response received for the upload area");
const QString uploadUrlFailure = QStringLiteral("Invalid response received for the upload target");
const QString transferFailure = QStringLiteral("The file could not be uploaded.");
const QString unreachableFailure = QStringLiteral(
    "Unable to get access to the server to upload the file. Check that your network connection is not being "
    "blocked. If you are running a VPN try turning it off.");

// The body as a JSON object; none for no body, text that is not UTF-8 JSON,
// or JSON that is not an object.
std::optional<QJsonObject> jsonObjectOf(const std::optional<std::string>& body)
{
    if (!body)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(*body), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

QString pathText(const std::filesystem::path& location)
{
    return QFile::decodeName(location.c_str());
}

} // namespace

void ContentCache::sendStorageRequest(
    const MediaItemRef& item, std::optional<net::HttpRequest> request,
    std::function<void(const MediaItemRef&, const std::optional<std::string>&)> onEnd)
{
    if (!request) {
        finishStep(item, ProcessingState::processingCompletedError, addressFailure);
        return;
    }
    applyTimeout(*request);
    net::HttpCallbacks callbacks;
    callbacks.onFinished = [item, onEnd = std::move(onEnd)](net::HttpResult result) {
        std::optional<std::string> body;
        if (result.response)
            body = std::move(result.response->body);
        else if (result.failure)
            consoleLine(QStringLiteral("Storage request failed: ") + QString::fromStdString(*result.failure));
        onEnd(item, body);
    };
    m_requests[item->uniqueId] = net::HttpClient::shared().start(std::move(*request), std::move(callbacks));
}

void ContentCache::prepareTransferSha1(const MediaItemRef& item)
{
    std::shared_ptr<TransferSha1>& sha1 = m_transferSha1[item->uniqueId];
    if (!sha1)
        sha1 = TransferSha1::start(m_digestWorkers, item->fileLocation, m_stopping);
}

void ContentCache::backblazeGetAuthorisation(const QString& itemId)
{
    const MediaItemRef item = beginStep(itemId);
    if (!item)
        return;
    prepareTransferSha1(item);
    const QString origin = storageAuthorisationOrigin.isEmpty() ? b2AuthorisationUrl() : storageAuthorisationOrigin;
    sendStorageRequest(item, storage::authorisationRequest(origin),
                       [this](const MediaItemRef& item, const std::optional<std::string>& body) {
                           const std::optional<QJsonObject> answer = jsonObjectOf(body);
                           if (answer && (*answer)[QLatin1String("authorizationToken")].isString()
                               && (*answer)[QLatin1String("apiUrl")].isString()) {
                               item->backblazeAccountAuthorizationToken =
                                   (*answer)[QLatin1String("authorizationToken")].toString();
                               item->backblazeAccountApiUrlString = (*answer)[QLatin1String("apiUrl")].toString();
                               finishStep(item, ProcessingState::backblazeGetBucketDetails);
                               return;
                           }
                           finishStep(item, ProcessingState::processingCompletedError, authorisationFailure);
                       });
}

void ContentCache::backblazeGetBucketDetails(const QString& itemId)
{
    const MediaItemRef item = beginStep(itemId);
    if (!item)
        return;
    sendStorageRequest(item, storage::bucketListRequest(*item),
                       [this](const MediaItemRef& item, const std::optional<std::string>& body) {
                           const QString wanted = storage::bucketNameFor(item->mediaType);
                           const std::optional<QJsonObject> answer = jsonObjectOf(body);
                           const QJsonValue buckets = answer ? (*answer)[QLatin1String("buckets")] : QJsonValue();
                           for (const QJsonValue& entry : buckets.toArray()) {
                               const QJsonObject bucket = entry.toObject();
                               const QJsonValue name = bucket[QLatin1String("bucketName")];
                               if (!name.isString())
                                   continue;
                               consoleLine(QStringLiteral("name = ") + name.toString());
                               const QJsonValue id = bucket[QLatin1String("bucketId")];
                               if (!wanted.isEmpty() && name.toString() == wanted && id.isString()) {
                                   item->backblazeBucketId = id.toString();
                                   finishStep(item, ProcessingState::backblazeGetUploadUrl);
                                   return;
                               }
                           }
                           finishStep(item, ProcessingState::processingCompletedError, bucketFailure);
                       });
}

void ContentCache::backblazeGetUploadUrl(const QString& itemId)
{
    const MediaItemRef item = beginStep(itemId);
    if (!item)
        return;
    sendStorageRequest(item, storage::uploadUrlRequest(*item),
                       [this](const MediaItemRef& item, const std::optional<std::string>& body) {
                           const std::optional<QJsonObject> answer = jsonObjectOf(body);
                           if (answer && (*answer)[QLatin1String("uploadUrl")].isString()
                               && (*answer)[QLatin1String("authorizationToken")].isString()) {
                               item->backblazeUploadUrlString = (*answer)[QLatin1String("uploadUrl")].toString();
                               item->backblazeUploadAuthorizationToken =
                                   (*answer)[QLatin1String("authorizationToken")].toString();
                               finishStep(item, ProcessingState::backblazeUploadFile);
                               return;
                           }
                           finishStep(item, ProcessingState::processingCompletedError, uploadUrlFailure);
                       });
}

void ContentCache::backblazeUploadFile(const QString& itemId)
{
    const MediaItemRef item = beginStep(itemId);
    if (!item)
        return;
    if (!storage::isFormableUrl(item->backblazeUploadUrlString)) {
        finishStep(item, ProcessingState::processingCompletedError, addressFailure);
        return;
    }
    UtilNetwork::shared().checkHostReachable(
        item->backblazeUploadUrlString, NetworkAccessibleArea::mediaServer,
        [this, item](bool reachable) {
            if (!reachable) {
                consoleLine(QStringLiteral("Unable to resolve Backblaze URL"));
                finishStep(item, ProcessingState::processingCompletedError, unreachableFailure);
                return;
            }
            consoleLine(QStringLiteral("Uploading to Backblaze for ") + pathText(item->fileLocation));
            item->errorMessage = QStringLiteral("Uploading ") + byteCountString(item->size);
            mediaItemsList.update(item);
            announceModified();

            // The digest was started when the item entered the chain (or is
            // started now); the transfer starts back on the main thread once
            // it is known.
            std::shared_ptr<TransferSha1> sha1;
            if (auto prepared = m_transferSha1.extract(item->uniqueId))
                sha1 = std::move(prepared.mapped());
            else
                sha1 = TransferSha1::start(m_workers, item->fileLocation, m_stopping);
            sha1->whenReady(m_workers, [this, item, location = item->fileLocation](const QString& digest) {
                // The body must still open when the transfer starts.
                const bool opens = !digest.isEmpty() && std::ifstream(location, std::ios::binary).is_open();
                runOnMain(this, [this, item, digest = opens ? digest : QString()] {
                    if (digest.isEmpty()) {
                        consoleLine(QStringLiteral("The file could not be read for the upload: ")
                                    + pathText(item->fileLocation));
                        finishStep(item, ProcessingState::processingCompletedError, transferFailure);
                        return;
                    }
                    startTransfer(item, digest);
                });
            });
        },
        this);
}

void ContentCache::startTransfer(const MediaItemRef& item, const QString& sha1)
{
    std::optional<net::HttpRequest> request = storage::transferRequest(*item, sha1);
    if (!request) {
        finishStep(item, ProcessingState::processingCompletedError, addressFailure);
        return;
    }
    applyTimeout(*request);

    auto session = std::make_shared<TransferSession>();
    const std::weak_ptr<TransferSession> reporting = session;
    // Each report finds the item whose session is the reporting one; none
    // (the item has moved on to another session) means nothing to do.
    const auto itemOf = [this](const std::weak_ptr<TransferSession>& weak) -> MediaItemRef {
        const std::shared_ptr<TransferSession> current = weak.lock();
        if (!current)
            return nullptr;
        const std::vector<MediaItemRef> owners =
            mediaItemsList.filter([&](const MediaItemRef& candidate) { return candidate->session == current; });
        return owners.empty() ? nullptr : owners.front();
    };

    net::HttpCallbacks callbacks;
    callbacks.onProgress = [this, reporting, itemOf](int64_t sent, int64_t total) {
        const MediaItemRef owner = itemOf(reporting);
        // A report queued before the completion may run after it.
        if (!owner || owner->currentStatus != ProcessingState::backblazeUploadFile || !owner->isCurrentlyProcessing)
            return;
        owner->errorMessage = storage::transferProgressText(sent, total, owner->size);
        mediaItemsList.update(owner);
        announceModified();
    };
    callbacks.onFinished = [this, reporting, itemOf](net::HttpResult result) {
        const MediaItemRef owner = itemOf(reporting);
        if (!owner)
            return;
        const QString where = QStringLiteral(
            "urlSession(_ session: URLSession, task: URLSessionTask, didCompleteWithError error: Error?)");
        if (result.failure) {
            consoleLine(where + QStringLiteral(" had an error = ") + QString::fromStdString(*result.failure));
            finishStep(owner, ProcessingState::processingCompletedError, transferFailure);
            return;
        }
        consoleLine(where + QStringLiteral(" was successful"));
        finishStep(owner, ProcessingState::backblazeValidateFile, QString());
    };

    item->session = session;
    mediaItemsList.update(item);
    session->request = net::HttpClient::shared().start(std::move(*request), std::move(callbacks));
}

void ContentCache::backblazeValidateFile(const QString& itemId)
{
    const MediaItemRef item = beginStep(itemId);
    if (!item)
        return;
    consoleLine(QStringLiteral("Confirming file now exists at Backblaze for ") + pathText(item->fileLocation));
    sendStorageRequest(
        item, storage::fileNameListRequest(*item),
        [this](const MediaItemRef& item, const std::optional<std::string>& body) {
            if (body)
                consoleLine(QString::fromUtf8(QByteArray::fromStdString(*body)));
            const std::optional<QJsonObject> answer = jsonObjectOf(body);
            if (answer) {
                const QJsonValue files = (*answer)[QLatin1String("files")];
                const QJsonValue next = (*answer)[QLatin1String("nextFileName")];
                if (files.isArray() && !files.toArray().isEmpty() && next.isString()
                    && next.toString().trimmed() == item->backblazeFileName) {
                    finishStep(item, ProcessingState::serverWriteFileOwnership);
                    return;
                }
                consoleLine(QStringLiteral("Uploaded file not found on Backblaze"));
            }
            // A listing that failed, or is not a JSON object, proves nothing.
            finishStep(item, ProcessingState::processingCompletedError,
                       QStringLiteral("The ") + pathText(item->fileLocation)
                           + QStringLiteral(" file was not correctly uploaded to the server."));
        });
}

} // namespace zirv
