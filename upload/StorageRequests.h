#pragma once
// The requests of the cloud-storage chain (B2 native API, version 2), built
// byte for byte from an item's members, and the texts the chain shows.
//
// Bodies are sent exactly as written here, with no "Content-Type" on the JSON
// posts; tokens go into "Authorization" as they are, without a scheme word.
// Each builder answers none when its address cannot be formed from the values
// it is given.

#include "backend/net/HttpClient.h"
#include "upload/MediaItemStatus.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

namespace zirv::storage {

inline constexpr std::chrono::seconds requestTimeout{60};
inline constexpr std::chrono::seconds transferTimeout{3600};

// The bucket of a media type ("" for a code without one).
QString bucketNameFor(int64_t mediaType);
// The content type a file of that media type is sent with ("" without one).
QString contentTypeFor(int64_t mediaType);

// True for an absolute http(s) address with a host name.
bool isFormableUrl(const QString& url);

// GET <authorisation origin>/b2api/v2/b2_authorize_account, Basic authorisation
// with the built-in key pair.
std::optional<net::HttpRequest> authorisationRequest(const QString& authorisationOrigin);
// POST <api url>/b2api/v2/b2_list_buckets.
std::optional<net::HttpRequest> bucketListRequest(const mediaItemStatus& item);
// POST <api url>/b2api/v2/b2_get_upload_url.
std::optional<net::HttpRequest> uploadUrlRequest(const mediaItemStatus& item);
// POST <upload url>, the body streamed from the item's file.
std::optional<net::HttpRequest> transferRequest(const mediaItemStatus& item, const QString& sha1);
// POST <api url>/b2api/v2/b2_list_file_names.
std::optional<net::HttpRequest> fileNameListRequest(const mediaItemStatus& item);

// "Uploading <sent> of <size> - <percentage>%" with two decimals.
QString transferProgressText(int64_t sent, int64_t expected, int64_t size);

} // namespace zirv::storage
