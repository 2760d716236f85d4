#include "StorageRequests.h"

#include "BuildValues.h"
#include "app/core/Formatting.h"
#include "upload/MediaTypes.h"

#include <QUrl>

namespace zirv::storage {

namespace {

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

net::HttpRequest jsonPost(const QString& url, const QString& token, const QString& body)
{
    net::HttpRequest request;
    request.method = "POST";
    request.url = utf8(url);
    request.headers = {{"Authorization", utf8(token)}};
    request.body = utf8(body);
    request.inactivityTimeout = requestTimeout;
    return request;
}

} // namespace

QString bucketNameFor(int64_t mediaType)
{
    switch (mediaType) {
    case mediaTypeAudio:
        return QString::fromUtf8(build::bucketAudio);
    case mediaTypeVideo:
        return QString::fromUtf8(build::bucketVideo);
    case mediaTypeChoreography:
        return QString::fromUtf8(build::bucketChoreography);
    default:
        return {};
    }
}

QString contentTypeFor(int64_t mediaType)
{
    switch (mediaType) {
    case mediaTypeAudio:
        return QStringLiteral("audio/mpeg4-generic");
    case mediaTypeVideo:
        return QStringLiteral("video/mpeg4-generic");
    case mediaTypeChoreography:
        return QStringLiteral("application/pdf");
    default:
        return {};
    }
}

bool isFormableUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return false;
    return parsed.scheme() == QLatin1String("http") || parsed.scheme() == QLatin1String("https");
}

std::optional<net::HttpRequest> authorisationRequest(const QString& authorisationOrigin)
{
    const QString url = authorisationOrigin + QStringLiteral("/b2api/v2/b2_authorize_account");
    const QByteArray keyPair = QByteArray(build::b2KeyId) + ':' + QByteArray(build::b2ApplicationKey);
    if (!isFormableUrl(url) || keyPair.size() < 3)
        return std::nullopt;
    net::HttpRequest request;
    request.method = "GET";
    request.url = utf8(url);
    request.headers = {{"Authorization", "Basic " + keyPair.toBase64().toStdString()}};
    request.inactivityTimeout = requestTimeout;
    return request;
}

std::optional<net::HttpRequest> bucketListRequest(const mediaItemStatus& item)
{
    const QString url = item.backblazeAccountApiUrlString + QStringLiteral("/b2api/v2/b2_list_buckets");
    if (!isFormableUrl(url))
        return std::nullopt;
    return jsonPost(url, item.backblazeAccountAuthorizationToken,
                    QStringLiteral("{\"accountId\":\"") + QString::fromUtf8(build::b2KeyId)
                        + QStringLiteral("\"}"));
}

std::optional<net::HttpRequest> uploadUrlRequest(const mediaItemStatus& item)
{
    const QString url = item.backblazeAccountApiUrlString + QStringLiteral("/b2api/v2/b2_get_upload_url");
    if (!isFormableUrl(url))
        return std::nullopt;
    return jsonPost(url, item.backblazeAccountAuthorizationToken,
                    QStringLiteral("{\"bucketId\":\"") + item.backblazeBucketId + QStringLiteral("\"}"));
}

std::optional<net::HttpRequest> transferRequest(const mediaItemStatus& item, const QString& sha1)
{
    if (!isFormableUrl(item.backblazeUploadUrlString))
        return std::nullopt;
    net::HttpRequest request;
    request.method = "POST";
    request.url = utf8(item.backblazeUploadUrlString);
    request.headers = {
        {"Authorization", utf8(item.backblazeUploadAuthorizationToken)},
        {"X-Bz-File-Name", utf8(item.backblazeFileName)},
        {"Content-Type", utf8(contentTypeFor(item.mediaType))},
        {"X-Bz-Content-Sha1", utf8(sha1)},
    };
    request.bodyFile = item.fileLocation;
    request.inactivityTimeout = transferTimeout;
    return request;
}

std::optional<net::HttpRequest> fileNameListRequest(const mediaItemStatus& item)
{
    const QString url = item.backblazeAccountApiUrlString + QStringLiteral("/b2api/v2/b2_list_file_names");
    if (!isFormableUrl(url))
        return std::nullopt;
    return jsonPost(url, item.backblazeAccountAuthorizationToken,
                    QStringLiteral("{\"bucketId\":\"") + item.backblazeBucketId
                        + QStringLiteral("\", \"startFileName\":\"") + item.backblazeFileName
                        + QStringLiteral("\", \"maxFileCount\":1}"));
}

QString transferProgressText(int64_t sent, int64_t expected, int64_t size)
{
    const double percentage = expected > 0 ? static_cast<double>(sent) * 100.0 / static_cast<double>(expected) : 0.0;
    return QStringLiteral("Uploading ") + byteCountString(sent) + QStringLiteral(" of ") + byteCountString(size)
        + QStringLiteral(" - ") + QString::asprintf("%.2f%%", percentage);
}

} // namespace zirv::storage
