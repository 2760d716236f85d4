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

} // namespace

void ContentCache::markItemFailed(const MediaItemRef& item, const QString& message)
{
    retryLogin = true;
    finishStep(item, ProcessingState::processingCompletedError, message);
}

void ContentCache::serverVerifyChecksum(const QString& itemId)
{
    const MediaItemRef item = beginStep(itemId);
    if (!item)
        return;

    const auto classified = [this, item](auto answerTag, const QString& decodeLine, const QString& entity) {
        using Answer = decltype(answerTag);
        return [this, item, decodeLine, entity](std::optional<std::string> body, std::optional<QString> failure) {
            const UploadAnswer<Answer> outcome = BackendExchange::classifyUploadAnswer<Answer>(
                body, failure, decodeLine, entity, UploadAnswerKind::hashCheck);
            if (!outcome.answer) {
                markItemFailed(item, outcome.failureMessage);
                return;
            }
            finishStep(item, outcome.answer->status.statusCode == statusCode::alreadyHeld
                                 ? ProcessingState::processingAlreadyUploaded
                                 : ProcessingState::backblazeGetAuthorisation);
        };
    };

    std::optional<net::HttpRequest> request;
    SendCompletion completion;
    if (item->mediaType == mediaTypeChoreography) {
        request = BackendExchange::buildRequest(
            endpoint::userChoreographyHashcode,
            hashInput<userStructureChoreographyHashcodeInput>(*item, itemAccessToken));
        completion = classified(userStructureChoreographyHashcodeOutput{},
                                QStringLiteral("Unable to decode the userStructureChoreographyHashcodeOutput"),
                                QStringLiteral("uscho"));
    } else if (item->mediaType == mediaTypeAudio) {
        request = BackendExchange::buildRequest(endpoint::userAudioHashcode,
                                                hashInput<userStructureAudioHashcodeInput>(*item, itemAccessToken));
        completion = classified(userStructureAudioHashcodeOutput{},
                                QStringLiteral("Unable to decode the userStructureAudioHashcodeOutput"),
                                QStringLiteral("usaho"));
    } else {
        // No backend form exists for this kind of media: logging in again
        // would not help, so retryLogin stays as it is.
        consoleLine(QStringLiteral("No content-hash check for media type ") + QString::number(item->mediaType));
        finishStep(item, ProcessingState::processingCompletedError, noFormMessage(item->mediaType));
        return;
    }
    if (!request) {
        markItemFailed(item, QStringLiteral("The request could not be built."));
        return;
    }
    applyTimeout(*request);
    m_requests[itemId] = BackendExchange::send(std::move(*request), std::move(completion));
}

void ContentCache::serverWriteFileOwnership(const QString& itemId)
{
    const MediaItemRef item = beginStep(itemId);
    if (!item)
        return;

    const auto classified = [this, item](auto answerTag, const QString& decodeLine, const QString& entity) {
        using Answer = decltype(answerTag);
        return [this, item, decodeLine, entity](std::optional<std::string> body, std::optional<QString> failure) {
            const UploadAnswer<Answer> outcome = BackendExchange::classifyUploadAnswer<Answer>(
                body, failure, decodeLine, entity, UploadAnswerKind::registration);
            if (!outcome.answer) {
                markItemFailed(item, outcome.failureMessage);
                return;
            }
            // A registration refused by its code keeps errorMessage as it was.
            finishStep(item, outcome.answer->status.statusCode == statusCode::alreadyHeld
                                 ? ProcessingState::processingCompletedOK
                                 : ProcessingState::processingCompletedError);
        };
    };

    std::optional<net::HttpRequest> request;
    SendCompletion completion;
    if (item->mediaType == mediaTypeChoreography) {
        userStructureChoreographyCreateInput input;
        input.currentSecurity.accessToken = itemAccessToken;
        input.fileGuidName = item->backblazeFileName;
        input.fileHashCode = item->checksum;
        input.fileSize = item->size;
        input.uploadPlatform = 1;
        input.metadataTitle = item->itemMetadataTitle;
        input.metadataAuthor = item->itemMetadataArtist;
        input.metadataFile = fileUrlText(item->fileLocation);
        request = BackendExchange::buildRequest(endpoint::userChoreographyCreate, input);
        completion = classified(userStructureChoreographyCreateOutput{},
                                QStringLiteral("Unable to decode the userStructureChoreographyCreateOutput"),
                                QStringLiteral("uscco"));
    } else if (item->mediaType == mediaTypeAudio) {
        userStructureAudioCreateInput input;
        input.currentSecurity.accessToken = itemAccessToken;
        input.fileGuidName = item->backblazeFileName;
        input.fileHashCode = item->checksum;
        input.fileSize = item->size;
        input.uploadPlatform = 1;
        input.metadataTitle = item->itemMetadataTitle;
        input.metadataArtist = item->itemMetadataArtist;
        input.metadataAlbum = item->itemMetadataAlbum;
        input.metadataTrackNumber = item->itemMetadataTrackNumber;
        input.metadataFile = fileUrlText(item->fileLocation);
        request = BackendExchange::buildRequest(endpoint::userAudioCreate, input);
        completion = classified(userStructureAudioCreateOutput{},
                                QStringLiteral("Unable to decode the userStructureAudioCreateOutput"),
                                QStringLiteral("usaco"));
    } else {
        consoleLine(QStringLiteral("No ownership registration for media type ") + QString::number(item->mediaType));
        finishStep(item, ProcessingState::processingCompletedError, noFormMessage(item->mediaType));
        return;
    }
    if (!request) {
        markItemFailed(item, QStringLiteral("The request could not be built."));
        return;
    }
    applyTimeout(*request);
    m_requests[itemId] = BackendExchange::send(std::move(*request), std::move(completion));
}

} // namespace zirv
