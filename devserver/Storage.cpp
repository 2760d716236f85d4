#include "devserver/Storage.h"

#include <BuildValues.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>

namespace zirv::devserver {

namespace {

using json = nlohmann::json;

constexpr int kMaxListCount = 10000;

std::string lower(std::string text)
{
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string toHex(const unsigned char* data, size_t size)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 15]);
    }
    return out;
}

bool isHexText(std::string_view text, size_t length)
{
    return text.size() == length &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

std::string percentEncode(std::string_view text)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
        }
    }
    return out;
}

bool validUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        if (c < 0x80)
            extra = 0;
        else if ((c >> 5) == 6)
            extra = 1;
        else if ((c >> 4) == 14)
            extra = 2;
        else if ((c >> 3) == 30)
            extra = 3;
        else
            return false;
        if (i + extra >= text.size() && extra > 0)
            return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2)
                return false;
        i += extra + 1;
    }
    return true;
}

std::string guessContentType(const std::string& name)
{
    const auto dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : lower(name.substr(dot + 1));
    if (ext == "mp3")
        return "audio/mpeg";
    if (ext == "m4a" || ext == "mp4")
        return "audio/mp4";
    if (ext == "pdf")
        return "application/pdf";
    if (ext == "txt")
        return "text/plain";
    if (ext == "json")
        return "application/json";
    return "application/octet-stream";
}

std::optional<std::string> decodeBase64(std::string_view text)
{
    if (text.empty() || text.size() % 4 != 0)
        return std::nullopt;
    std::string out(text.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (n < 0)
        return std::nullopt;
    size_t size = static_cast<size_t>(n);
    if (text.ends_with("=="))
        size -= 2;
    else if (text.ends_with("="))
        size -= 1;
    out.resize(size);
    return out;
}

std::string optionalString(const json& body, const char* key)
{
    auto it = body.find(key);
    return it != body.end() && it->is_string() ? it->get<std::string>() : std::string();
}

} // namespace

std::string bucketIdFor(const std::string& bucketName)
{
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(bucketName.data()), bucketName.size(), digest);
    return toHex(digest, 12);
}

std::string checkFileName(const std::string& name)
{
    if (name.empty())
        return "the file name is empty";
    if (name.size() > 1024)
        return "the file name is longer than 1024 bytes";
    if (!validUtf8(name))
        return "the file name is not valid UTF-8";
    for (unsigned char c : name)
        if (c < 32 || c == 127)
            return "the file name contains a control character";
    if (name.front() == '/' || name.back() == '/')
        return "the file name must not begin or end with /";
    if (name.find("//") != std::string::npos)
        return "the file name must not contain //";
    size_t start = 0;
    while (start <= name.size()) {
        const auto slash = name.find('/', start);
        const size_t end = slash == std::string::npos ? name.size() : slash;
        if (end - start > 250)
            return "a segment of the file name is longer than 250 bytes";
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return {};
}

Storage::Storage(ServerState& state)
    : m_state(state)
{
}

void Storage::seedBuckets()
{
    std::lock_guard lock(m_state.dbMutex);
    for (const char* name : {zirv::build::bucketAudio, zirv::build::bucketVideo, zirv::build::bucketChoreography}) {
        m_state.db.prepare("INSERT OR IGNORE INTO buckets (bucketId, bucketName, bucketType) VALUES (?1, ?2, 'allPrivate')")
            .bind(1, bucketIdFor(name))
            .bind(2, std::string_view(name))
            .run();
    }
}

void Storage::install(httplib::Server& server)
{
    const std::string api = R"(/b2api/v[12]/)";
    server.Get(api + "b2_authorize_account", [this](const httplib::Request& req, httplib::Response& res) {
        authorizeAccount(req, res);
    });
    server.Post(api + "b2_authorize_account", [this](const httplib::Request& req, httplib::Response& res) {
        authorizeAccount(req, res);
    });
    server.Post(api + "b2_list_buckets", [this](const httplib::Request& req, httplib::Response& res) {
        listBuckets(req, res);
    });
    server.Post(api + "b2_create_bucket", [this](const httplib::Request& req, httplib::Response& res) {
        createBucket(req, res);
    });
    server.Post(api + "b2_get_upload_url", [this](const httplib::Request& req, httplib::Response& res) {
        getUploadUrl(req, res);
    });
    server.Post(api + "b2_upload_file/([^/]+)/([^/]+)",
                [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
                    uploadFile(req, res, reader);
                });
    server.Post(api + "b2_list_file_names", [this](const httplib::Request& req, httplib::Response& res) {
        listFileNames(req, res, false);
    });
    server.Post(api + "b2_list_file_versions", [this](const httplib::Request& req, httplib::Response& res) {
        listFileNames(req, res, true);
    });
    server.Post(api + "b2_get_file_info", [this](const httplib::Request& req, httplib::Response& res) {
        getFileInfo(req, res);
    });
    server.Post(api + "b2_delete_file_version", [this](const httplib::Request& req, httplib::Response& res) {
        deleteFileVersion(req, res);
    });
    server.Get(api + "b2_download_file_by_id", [this](const httplib::Request& req, httplib::Response& res) {
        download(req, res, {}, {}, req.get_param_value("fileId"));
    });
    server.Get(R"(/file/([^/]+)/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        download(req, res, req.matches[1].str(), req.matches[2].str(), {});
    });
}

bool Storage::injectFaults(const std::string& operation, httplib::Response& res)
{
    auto& faults = m_state.faults;
    faults.applyLatency(operation);
    if (faults.take(FaultKind::stall, operation))
        faults.stall(operation);
    if (faults.take(FaultKind::auth21, operation)) {
        writeError(res, 401, "expired_auth_token", "injected authentication failure");
        return true;
    }
    if (faults.rollFailure(operation) || faults.take(FaultKind::http500, operation)) {
        writeError(res, 500, "internal_error", "injected failure");
        return true;
    }
    if (faults.take(FaultKind::nonJson, operation)) {
        res.status = 200;
        res.set_content("<html><body><h1>503 Service Temporarily Unavailable</h1></body></html>", "text/html");
        return true;
    }
    return false;
}

bool Storage::authorised(const httplib::Request& req)
{
    std::string token = req.get_header_value("Authorization");
    if (token.empty())
        token = req.get_param_value("Authorization");
    std::lock_guard lock(m_mutex);
    return m_accountTokens.count(token) > 0;
}

std::optional<json> Storage::jsonBody(const httplib::Request& req, httplib::Response& res)
{
    if (!authorised(req)) {
        writeError(res, 401, "bad_auth_token", "the authorization token is not valid");
        return std::nullopt;
    }
    json body = req.body.empty() ? json::object() : json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        writeError(res, 400, "bad_request", "the request body is not a JSON object");
        return std::nullopt;
    }
    return body;
}

json Storage::bucketRecord(const std::string& id, const std::string& name, const std::string& type)
{
    return {{"accountId", m_state.options.keyId},
            {"bucketId", id},
            {"bucketName", name},
            {"bucketType", type},
            {"bucketInfo", json::object()},
            {"corsRules", json::array()},
            {"lifecycleRules", json::array()},
            {"options", json::array()},
            {"revision", 1}};
}

json Storage::fileRecord(const std::string& bucketId, const std::string& fileName, const std::string& fileId,
                         int64_t length, const std::string& sha1, const std::string& contentType,
                         const std::string& fileInfo, int64_t timestamp)
{
    json info = json::parse(fileInfo, nullptr, false);
    if (!info.is_object())
        info = json::object();
    return {{"accountId", m_state.options.keyId},
            {"action", "upload"},
            {"bucketId", bucketId},
            {"contentLength", length},
            {"size", length},
            {"contentSha1", sha1},
            {"contentType", contentType},
            {"fileId", fileId},
            {"fileInfo", info},
            {"fileName", fileName},
            {"uploadTimestamp", timestamp}};
}

void Storage::authorizeAccount(const httplib::Request& req, httplib::Response& res)
{
    if (injectFaults("b2_authorize_account", res))
        return;
    const std::string header = req.get_header_value("Authorization");
    std::optional<std::string> pair;
    if (header.size() > 6 && lower(header.substr(0, 6)) == "basic ")
        pair = decodeBase64(header.substr(6));
    if (!pair || *pair != m_state.options.keyId + ":" + m_state.options.applicationKey) {
        writeError(res, 401, "unauthorized", "the application key id or key is not valid");
        return;
    }
    const std::string token = "4_" + randomHex(30);
    {
        std::lock_guard lock(m_mutex);
        m_accountTokens.insert(token);
    }
    writeJson(res, 200,
              {{"accountId", m_state.options.keyId},
               {"authorizationToken", token},
               {"allowed",
                {{"bucketId", nullptr},
                 {"bucketName", nullptr},
                 {"capabilities",
                  {"listKeys", "writeKeys", "deleteKeys", "listBuckets", "writeBuckets", "deleteBuckets",
                   "listFiles", "readFiles", "shareFiles", "writeFiles", "deleteFiles"}},
                 {"namePrefix", nullptr}}},
               {"apiUrl", m_state.storageUrl},
               {"downloadUrl", m_state.storageUrl},
               {"s3ApiUrl", m_state.storageUrl},
               {"recommendedPartSize", 100000000},
               {"absoluteMinimumPartSize", 5000000},
               {"minimumPartSize", 100000000}});
}

void Storage::listBuckets(const httplib::Request& req, httplib::Response& res)
{
    if (injectFaults("b2_list_buckets", res))
        return;
    auto body = jsonBody(req, res);
    if (!body)
        return;
    if (optionalString(*body, "accountId") != m_state.options.keyId) {
        writeError(res, 401, "unauthorized", "accountId does not match the authorization");
        return;
    }
    const std::string onlyName = optionalString(*body, "bucketName");
    const std::string onlyId = optionalString(*body, "bucketId");
    json buckets = json::array();
    std::lock_guard lock(m_state.dbMutex);
    auto query = m_state.db.prepare("SELECT bucketId, bucketName, bucketType FROM buckets ORDER BY bucketName");
    while (query.step()) {
        const auto id = query.text(0);
        const auto name = query.text(1);
        if ((!onlyName.empty() && name != onlyName) || (!onlyId.empty() && id != onlyId))
            continue;
        buckets.push_back(bucketRecord(id, name, query.text(2)));
    }
    writeJson(res, 200, {{"buckets", buckets}});
}

void Storage::createBucket(const httplib::Request& req, httplib::Response& res)
{
    if (injectFaults("b2_create_bucket", res))
        return;
    auto body = jsonBody(req, res);
    if (!body)
        return;
    const std::string name = optionalString(*body, "bucketName");
    std::string type = optionalString(*body, "bucketType");
    const bool validName = name.size() >= 6 && name.size() <= 63 &&
                           std::all_of(name.begin(), name.end(), [](char c) {
                               return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
                           });
    if (!validName) {
        writeError(res, 400, "bad_request", "bucket names have 6 to 63 letters, digits or hyphens");
        return;
    }
    if (type != "allPrivate" && type != "allPublic") {
        writeError(res, 400, "bad_request", "bucketType must be allPrivate or allPublic");
        return;
    }
    std::lock_guard lock(m_state.dbMutex);
    const std::string id = bucketIdFor(name);
    auto existing = m_state.db.prepare("SELECT 1 FROM buckets WHERE bucketName = ?1");
    existing.bind(1, name);
    if (existing.step() || !m_state.db.prepare("INSERT INTO buckets (bucketId, bucketName, bucketType) VALUES (?1, ?2, ?3)")
             .bind(1, id)
             .bind(2, name)
             .bind(3, type)
             .run()) {
        writeError(res, 400, "duplicate_bucket_name", "a bucket with that name already exists");
        return;
    }
    writeJson(res, 200, bucketRecord(id, name, type));
}

void Storage::getUploadUrl(const httplib::Request& req, httplib::Response& res)
{
    if (injectFaults("b2_get_upload_url", res))
        return;
    auto body = jsonBody(req, res);
    if (!body)
        return;
    const std::string bucketId = optionalString(*body, "bucketId");
    {
        std::lock_guard lock(m_state.dbMutex);
        auto query = m_state.db.prepare("SELECT 1 FROM buckets WHERE bucketId = ?1");
        query.bind(1, bucketId);
        if (!query.step()) {
            writeError(res, 400, "bad_request", "invalid bucketId: " + bucketId);
            return;
        }
    }
    const std::string version = req.path.find("/b2api/v1/") == 0 ? "v1" : "v2";
    const std::string token = "2_" + randomHex(30);
    std::string urlId;
    {
        std::lock_guard lock(m_mutex);
        urlId = std::to_string(m_nextUrlId++) + "_" + randomHex(4);
        m_uploadTokens[token] = {bucketId, urlId};
    }
    writeJson(res, 200,
              {{"bucketId", bucketId},
               {"uploadUrl", m_state.storageUrl + "/b2api/" + version + "/b2_upload_file/" + bucketId + "/" + urlId},
               {"authorizationToken", token}});
}

void Storage::uploadFile(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader)
{
    const std::string operation = "b2_upload_file";
    const bool hasLength = req.has_header("Content-Length");
    bool consumed = false;
    // A refused upload still reads its body, so the connection stays usable.
    auto drain = [&] {
        if (!consumed && hasLength) {
            consumed = true;
            reader([](const char*, size_t) { return true; });
        }
    };
    auto refuse = [&](int httpStatus, std::string_view code, std::string_view message) {
        drain();
        writeError(res, httpStatus, code, message);
    };
    if (injectFaults(operation, res)) {
        drain();
        return;
    }
    const std::string bucketId = req.matches[1].str();
    const std::string urlId = req.matches[2].str();
    {
        std::lock_guard lock(m_mutex);
        auto it = m_uploadTokens.find(req.get_header_value("Authorization"));
        if (it == m_uploadTokens.end() || it->second.bucketId != bucketId || it->second.urlId != urlId) {
            refuse(401, "bad_auth_token", "the upload authorization token is not valid for this upload URL");
            return;
        }
    }
    if (!req.has_header("X-Bz-File-Name")) {
        refuse(400, "bad_request", "X-Bz-File-Name is required");
        return;
    }
    // The HTTP layer has already percent-decoded the header value.
    const auto fileName = std::optional<std::string>(req.get_header_value("X-Bz-File-Name"));
    if (auto fault = checkFileName(*fileName); !fault.empty()) {
        refuse(400, "bad_request", fault);
        return;
    }
    if (!hasLength) {
        writeError(res, 411, "bad_request", "Content-Length is required");
        return;
    }
    uint64_t declared = 0;
    try {
        declared = std::stoull(req.get_header_value("Content-Length"));
    } catch (...) {
        writeError(res, 400, "bad_request", "Content-Length is not a number");
        return;
    }
    const std::string shaHeader = req.get_header_value("X-Bz-Content-Sha1");
    const bool atEnd = shaHeader == "hex_digits_at_end";
    std::string expectedSha1;
    if (isHexText(shaHeader, 40)) {
        expectedSha1 = lower(shaHeader);
    } else if (shaHeader.starts_with("unverified:") && isHexText(shaHeader.substr(11), 40)) {
        expectedSha1.clear();
    } else if (shaHeader != "do_not_verify" && !atEnd) {
        refuse(400, "bad_request", "X-Bz-Content-Sha1 must be 40 hexadecimal digits");
        return;
    }
    if (atEnd && declared < 40) {
        refuse(400, "bad_request", "the body is too short to carry its SHA-1");
        return;
    }
    std::string contentType = req.get_header_value("Content-Type");
    if (contentType.empty() || contentType == "b2/x-auto")
        contentType = guessContentType(*fileName);
    json info = json::object();
    for (const auto& [key, value] : req.headers) {
        const std::string name = lower(key);
        if (name.starts_with("x-bz-info-") && name.size() > 10)
            info[name.substr(10)] = value;
    }

    const bool drop = m_state.faults.take(FaultKind::dropUpload, operation);
    const auto partPath = m_state.partsDir / randomHex(12);
    std::ofstream out(partPath, std::ios::binary | std::ios::trunc);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> sha(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EVP_DigestInit_ex(sha.get(), EVP_sha1(), nullptr);
    const uint64_t payloadLength = atEnd ? declared - 40 : declared;
    uint64_t received = 0;
    std::string trailer;
    bool dropped = false;
    bool writeFailed = false;
    consumed = true;
    const bool complete = reader([&](const char* data, size_t length) {
        if (drop && received + length > declared / 2) {
            dropped = true;
            return false;
        }
        const size_t payload = received < payloadLength ? static_cast<size_t>(std::min<uint64_t>(length, payloadLength - received)) : 0;
        EVP_DigestUpdate(sha.get(), data, payload);
        out.write(data, static_cast<std::streamsize>(payload));
        trailer.append(data + payload, length - payload);
        received += length;
        if (!out || trailer.size() > 40) {
            writeFailed = true;
            return false;
        }
        return true;
    });
    out.close();
    std::error_code ignored;
    if (dropped) {
        std::filesystem::remove(partPath, ignored);
        // The answer is cut off after its first line: the client sees the
        // connection end in the middle of its upload.
        res.status = 500;
        res.set_content_provider(
            1, "application/json", [](size_t, size_t, httplib::DataSink&) { return false; });
        return;
    }
    if (!complete || writeFailed || received != declared) {
        std::filesystem::remove(partPath, ignored);
        writeError(res, writeFailed ? 500 : 400, writeFailed ? "internal_error" : "bad_request",
                   writeFailed ? "the file could not be stored" : "the body did not match Content-Length");
        return;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_DigestFinal_ex(sha.get(), digest, &digestLength);
    const std::string actualSha1 = toHex(digest, digestLength);
    if (atEnd)
        expectedSha1 = lower(trailer);
    if (!expectedSha1.empty() && expectedSha1 != actualSha1) {
        std::filesystem::remove(partPath, ignored);
        writeError(res, 400, "bad_request", "Sha1 did not match data received");
        return;
    }

    const std::string fileId = "4_z" + bucketId + "_f" + randomHex(12);
    std::filesystem::rename(partPath, m_state.filesDir / fileId, ignored);
    if (ignored) {
        std::filesystem::remove(partPath, ignored);
        writeError(res, 500, "internal_error", "the file could not be stored");
        return;
    }
    const int64_t timestamp = nowMillis();
    const std::string infoText = info.dump(-1, ' ', false, json::error_handler_t::replace);
    {
        std::lock_guard lock(m_state.dbMutex);
        // Only the newest version of a name is kept.
        auto previous = m_state.db.prepare("SELECT fileId FROM storedFiles WHERE bucketId = ?1 AND fileName = ?2");
        previous.bind(1, bucketId).bind(2, *fileName);
        if (previous.step())
            std::filesystem::remove(m_state.filesDir / previous.text(0), ignored);
        m_state.db
            .prepare("INSERT OR REPLACE INTO storedFiles (bucketId, fileName, fileId, contentLength, contentSha1, "
                     "contentType, fileInfo, uploadTimestamp) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)")
            .bind(1, bucketId)
            .bind(2, *fileName)
            .bind(3, fileId)
            .bind(4, static_cast<int64_t>(payloadLength))
            .bind(5, actualSha1)
            .bind(6, contentType)
            .bind(7, infoText)
            .bind(8, timestamp)
            .run();
    }
    writeJson(res, 200,
              fileRecord(bucketId, *fileName, fileId, static_cast<int64_t>(payloadLength), actualSha1, contentType,
                         infoText, timestamp));
}

void Storage::listFileNames(const httplib::Request& req, httplib::Response& res, bool versions)
{
    if (injectFaults(versions ? "b2_list_file_versions" : "b2_list_file_names", res))
        return;
    auto body = jsonBody(req, res);
    if (!body)
        return;
    const std::string bucketId = optionalString(*body, "bucketId");
    const std::string start = optionalString(*body, "startFileName");
    const std::string prefix = optionalString(*body, "prefix");
    const std::string delimiter = optionalString(*body, "delimiter");
    int maxCount = 100;
    if (auto it = body->find("maxFileCount"); it != body->end() && !it->is_null()) {
        if (!it->is_number_integer() || it->get<int64_t>() < 0) {
            writeError(res, 400, "bad_request", "maxFileCount must be a whole number");
            return;
        }
        maxCount = it->get<int64_t>() == 0 ? 100 : static_cast<int>(std::min<int64_t>(it->get<int64_t>(), kMaxListCount));
    }
    std::lock_guard lock(m_state.dbMutex);
    {
        auto bucket = m_state.db.prepare("SELECT 1 FROM buckets WHERE bucketId = ?1");
        bucket.bind(1, bucketId);
        if (!bucket.step()) {
            writeError(res, 400, "bad_request", "invalid bucketId: " + bucketId);
            return;
        }
    }
    auto query = m_state.db.prepare(
        "SELECT fileName, fileId, contentLength, contentSha1, contentType, fileInfo, uploadTimestamp "
        "FROM storedFiles WHERE bucketId = ?1 AND fileName >= ?2 ORDER BY fileName");
    query.bind(1, bucketId).bind(2, std::max(start, prefix));
    json files = json::array();
    std::string lastFolder;
    json next = nullptr;
    while (query.step()) {
        const std::string name = query.text(0);
        if (!name.starts_with(prefix))
            break;
        if (!lastFolder.empty() && name.starts_with(lastFolder))
            continue;
        if (static_cast<int>(files.size()) == maxCount)
            break;
        const auto cut = delimiter.empty() ? std::string::npos : name.find(delimiter, prefix.size());
        if (cut != std::string::npos) {
            lastFolder = name.substr(0, cut + delimiter.size());
            files.push_back({{"accountId", m_state.options.keyId},
                             {"action", "folder"},
                             {"bucketId", bucketId},
                             {"contentLength", 0},
                             {"size", 0},
                             {"contentSha1", nullptr},
                             {"contentType", nullptr},
                             {"fileId", nullptr},
                             {"fileInfo", json::object()},
                             {"fileName", lastFolder},
                             {"uploadTimestamp", 0}});
        } else {
            files.push_back(fileRecord(bucketId, name, query.text(1), query.integer(2), query.text(3), query.text(4),
                                       query.text(5), query.integer(6)));
        }
    }
    if (static_cast<int>(files.size()) == maxCount && !files.empty()) {
        const auto& last = files.back();
        std::string lastName = last["fileName"].get<std::string>();
        if (last["action"] == "folder") {
            // Past everything inside the folder: its name with the delimiter's
            // last byte raised by one.
            lastName.back() = static_cast<char>(lastName.back() + 1);
            next = lastName;
        } else {
            // The smallest name after the last one returned.
            next = lastName + " ";
        }
    }
    json answer = {{"files", files}, {"nextFileName", next}};
    if (versions)
        answer["nextFileId"] = nullptr;
    writeJson(res, 200, answer);
}

void Storage::getFileInfo(const httplib::Request& req, httplib::Response& res)
{
    if (injectFaults("b2_get_file_info", res))
        return;
    auto body = jsonBody(req, res);
    if (!body)
        return;
    std::lock_guard lock(m_state.dbMutex);
    auto query = m_state.db.prepare(
        "SELECT bucketId, fileName, fileId, contentLength, contentSha1, contentType, fileInfo, uploadTimestamp "
        "FROM storedFiles WHERE fileId = ?1");
    query.bind(1, optionalString(*body, "fileId"));
    if (!query.step()) {
        writeError(res, 404, "not_found", "no such file");
        return;
    }
    writeJson(res, 200, fileRecord(query.text(0), query.text(1), query.text(2), query.integer(3), query.text(4),
                                   query.text(5), query.text(6), query.integer(7)));
}

void Storage::deleteFileVersion(const httplib::Request& req, httplib::Response& res)
{
    if (injectFaults("b2_delete_file_version", res))
        return;
    auto body = jsonBody(req, res);
    if (!body)
        return;
    const std::string fileId = optionalString(*body, "fileId");
    const std::string fileName = optionalString(*body, "fileName");
    std::lock_guard lock(m_state.dbMutex);
    m_state.db.prepare("DELETE FROM storedFiles WHERE fileId = ?1 AND fileName = ?2").bind(1, fileId).bind(2, fileName).run();
    if (m_state.db.changes() == 0) {
        writeError(res, 400, "file_not_present", "no such file version");
        return;
    }
    std::error_code ignored;
    std::filesystem::remove(m_state.filesDir / fileId, ignored);
    writeJson(res, 200, {{"fileId", fileId}, {"fileName", fileName}});
}

void Storage::download(const httplib::Request& req, httplib::Response& res, const std::string& bucketName,
                       const std::string& fileName, const std::string& fileId)
{
    if (injectFaults("download", res))
        return;
    if (!authorised(req)) {
        writeError(res, 401, "bad_auth_token", "the authorization token is not valid");
        return;
    }
    std::string id, name, sha1, contentType, infoText;
    int64_t length = 0, timestamp = 0;
    {
        std::lock_guard lock(m_state.dbMutex);
        auto query = fileId.empty()
                         ? m_state.db.prepare(
                               "SELECT s.fileId, s.fileName, s.contentLength, s.contentSha1, s.contentType, s.fileInfo, "
                               "s.uploadTimestamp FROM storedFiles s JOIN buckets b ON s.bucketId = b.bucketId "
                               "WHERE b.bucketName = ?1 AND s.fileName = ?2")
                         : m_state.db.prepare(
                               "SELECT fileId, fileName, contentLength, contentSha1, contentType, fileInfo, "
                               "uploadTimestamp FROM storedFiles WHERE fileId = ?1");
        if (fileId.empty())
            query.bind(1, bucketName).bind(2, fileName);
        else
            query.bind(1, fileId);
        if (!query.step()) {
            writeError(res, 404, "not_found", "File with such name does not exist.");
            return;
        }
        id = query.text(0);
        name = query.text(1);
        length = query.integer(2);
        sha1 = query.text(3);
        contentType = query.text(4);
        infoText = query.text(5);
        timestamp = query.integer(6);
    }
    auto file = std::make_shared<std::ifstream>(m_state.filesDir / id, std::ios::binary);
    if (!*file) {
        writeError(res, 500, "internal_error", "the stored file is missing");
        return;
    }
    res.set_header("x-bz-file-name", percentEncode(name));
    res.set_header("x-bz-file-id", id);
    res.set_header("x-bz-content-sha1", sha1);
    res.set_header("x-bz-upload-timestamp", std::to_string(timestamp));
    json info = json::parse(infoText, nullptr, false);
    if (info.is_object())
        for (const auto& [key, value] : info.items())
            if (value.is_string())
                res.set_header("x-bz-info-" + key, percentEncode(value.get<std::string>()));
    res.status = 200;
    if (length == 0) {
        res.set_content("", contentType);
        return;
    }
    res.set_content_provider(static_cast<size_t>(length), contentType,
                             [file](size_t offset, size_t size, httplib::DataSink& sink) {
                                 char buffer[64 * 1024];
                                 file->clear();
                                 file->seekg(static_cast<std::streamoff>(offset));
                                 const auto chunk = std::min(size, sizeof buffer);
                                 file->read(buffer, static_cast<std::streamsize>(chunk));
                                 const auto got = file->gcount();
                                 if (got <= 0)
                                     return false;
                                 return sink.write(buffer, static_cast<size_t>(got));
                             });
}

} // namespace zirv::devserver
