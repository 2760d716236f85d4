// The backend steps of an upload item: the content-hash check before any
// transfer and the ownership registration after it.

#include "ContentCache.h"

#include "app/core/Console.h"
#include "app/core/MainThread.h"
#include "backend/exchange/BackendExchange.h"
#include "backend/wire/UploadRecords.h"
#include "upload/MediaTypes.h"

#include <QFile>
#include <QUrl>

namespace zirv {

namespace {

// The absolute file URL of a local file, percent-encoded.
QString fileUrlText(const std::filesystem::path& location)
{
    return QUrl::fromLocalFile(QFile::decodeName(location.c_str())).toString(QUrl::FullyEncoded);
}

// The text an item gets when its media type has no backend form.
QString noFormMessage(int64_t mediaType)
{
    return QStringLiteral("Files of media type %1 cannot be uploaded.").arg(mediaType);
}

template <class Input>
Input hashInput(const mediaItemStatus& item, const QUuid& token)
{
    Input input;
    input.currentSecurity.accessToken = token;
    input.fileHashCode = item.checksum;
    input.fileSize = item.size;
    input.itemPlatform = 1;
    return input;
}

// The members both registration forms share.
template <class Input>
Input registrationInput(const mediaItemStatus& item, const QUuid& token)
{
    Input input;
    input.currentSecurity.accessToken = token;
    input.fileGuidName = item.backblazeFileName;
    input.fileHashCode = item.checksum;
    input.fileSize = item.size;
    input.uploadPlatform = 1;
    input.metadataTitle = item.itemMetadataTitle;
    input.metadataFile = fileUrlText(item.fileLocation);
    return input;
}

// The completion of a backend step: an answer that decodes is handed to
// `onStatus` with its status code; a failed exchange or an answer that does
// not decode fails the item through markItemFailed. (The engine releases the
// request, and with it this completion, before it goes away.)
template <class Answer>
SendCompletion statusCompletion(ContentCache& cache, const MediaItemRef& item, UploadAnswerKind kind,
                                const QString& entity, std::function<void(int32_t)> onStatus)
{
    constexpr std::string_view name = wire::tableOf<Answer>().name;
    const QString decodeLine = QStringLiteral("Unable to decode the ")
        + QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    return [&cache, item, kind, decodeLine, entity, onStatus = std::move(onStatus)](
               std::optional<std::string> body, std::optional<QString> failure) {
        const UploadAnswer<Answer> outcome =
            BackendExchange::classifyUploadAnswer<Answer>(body, failure, decodeLine, entity, kind);
        if (!outcome.answer) {
            cache.markItemFailed(item, outcome.failureMessage);
            return;
        }
        onStatus(outcome.answer->status.statusCode);
    };
}

} // namespace

void ContentCache::markItemFailed(const MediaItemRef& item, const QString& message)
{
    retryLogin = true;
    finishStep(item, ProcessingState::processingCompletedError, message);
}

void ContentCache::sendBackendRequest(const MediaItemRef& item, std::optional<net::HttpRequest> request,
                                      SendCompletion completion)
{
    if (!request) {
        markItemFailed(item, QStringLiteral("The request could not be built."));
        return;
    }
    applyTimeout(*request);
    m_requests[item->uniqueId] = BackendExchange::send(std::move(*request), std::move(completion));
}

void ContentCache::serverVerifyChecksum(const QString& itemId)
{
    const MediaItemRef item = beginStep(itemId);
    if (!item)
        return;

    const auto onStatus = [this, item](int32_t code) {
        finishStep(item, code == statusCode::alreadyHeld ? ProcessingState::processingAlreadyUploaded
                                                         : ProcessingState::backblazeGetAuthorisation);
    };

    std::optional<net::HttpRequest> request;
    SendCompletion completion;
    if (item->mediaType == mediaTypeChoreography) {
        request = BackendExchange::buildRequest(
            endpoint::userChoreographyHashcode,
            hashInput<userStructureChoreographyHashcodeInput>(*item, itemAccessToken));
        completion = statusCompletion<userStructureChoreographyHashcodeOutput>(
            *this, item, UploadAnswerKind::hashCheck, QStringLiteral("uscho"), onStatus);
    } else if (item->mediaType == mediaTypeAudio) {
        request = BackendExchange::buildRequest(endpoint::userAudioHashcode,
                                                hashInput<userStructureAudioHashcodeInput>(*item, itemAccessToken));
        completion = statusCompletion<userStructureAudioHashcodeOutput>(
            *this, item, UploadAnswerKind::hashCheck, QStringLiteral("usaho"), onStatus);
    } else {
        // No backend form exists for this kind of media: logging in again
        // would not help, so retryLogin stays as it is.
        consoleLine(QStringLiteral("No content-hash check for media type ") + QString::number(item->mediaType));
        finishStep(item, ProcessingState::processingCompletedError, noFormMessage(item->mediaType));
        return;
    }
    sendBackendRequest(item, std::move(request), std::move(completion));
}

void ContentCache::serverWriteFileOwnership(const QString& itemId)
{
    const MediaItemRef item = beginStep(itemId);
    if (!item)
        return;

    // A registration refused by its code keeps errorMessage as it was.
    const auto onStatus = [this, item](int32_t code) {
        finishStep(item, code == statusCode::alreadyHeld ? ProcessingState::processingCompletedOK
                                                         : ProcessingState::processingCompletedError);
    };

    std::optional<net::HttpRequest> request;
    SendCompletion completion;
    if (item->mediaType == mediaTypeChoreography) {
        auto input = registrationInput<userStructureChoreographyCreateInput>(*item, itemAccessToken);
        input.metadataAuthor = item->itemMetadataArtist;
        request = BackendExchange::buildRequest(endpoint::userChoreographyCreate, input);
        completion = statusCompletion<userStructureChoreographyCreateOutput>(
            *this, item, UploadAnswerKind::registration, QStringLiteral("uscco"), onStatus);
    } else if (item->mediaType == mediaTypeAudio) {
        auto input = registrationInput<userStructureAudioCreateInput>(*item, itemAccessToken);
        input.metadataArtist = item->itemMetadataArtist;
        input.metadataAlbum = item->itemMetadataAlbum;
        input.metadataTrackNumber = item->itemMetadataTrackNumber;
        request = BackendExchange::buildRequest(endpoint::userAudioCreate, input);
        completion = statusCompletion<userStructureAudioCreateOutput>(
            *this, item, UploadAnswerKind::registration, QStringLiteral("usaco"), onStatus);
    } else {
        consoleLine(QStringLiteral("No ownership registration for media type ") + QString::number(item->mediaType));
        finishStep(item, ProcessingState::processingCompletedError, noFormMessage(item->mediaType));
        return;
    }
    sendBackendRequest(item, std::move(request), std::move(completion));
}

} // namespace zirv
