#pragma once
// The storage emulator: the subset of the B2 native API that the uploader and
// a stock B2 client use, served under both /b2api/v1 and /b2api/v2, plus
// downloads by name and by id. Uploads stream to disk while their SHA-1 is
// computed; nothing of a file's content is held in memory.

#include "devserver/ServerState.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>


namespace zirv::devserver {

// The id a bucket of that name gets: stable across runs.
std::string bucketIdFor(const std::string& bucketName);

// B2's file-name rules: UTF-8, at most 1024 bytes, no control characters, no
// leading or trailing "/", no "//", no segment longer than 250 bytes.
// Empty when the name is acceptable, else why not.
std::string checkFileName(const std::string& name);

class Storage {
public:
    explicit Storage(ServerState& state);
    // Creates the three buckets of the build when they are missing.
    void seedBuckets();
    void install(httplib::Server& server);

private:
    using json = nlohmann::json;

    struct UploadTarget {
        std::string bucketId;
        std::string urlId;
    };

    bool authorised(const httplib::Request& req);
    // Runs the shared fault checks; true when the request was answered.
    bool injectFaults(const std::string& operation, httplib::Response& res);
    std::optional<json> jsonBody(const httplib::Request& req, httplib::Response& res);
    json bucketRecord(const std::string& id, const std::string& name, const std::string& type);
    json fileRecord(const std::string& bucketId, const std::string& fileName, const std::string& fileId,
                    int64_t length, const std::string& sha1, const std::string& contentType,
                    const std::string& fileInfo, int64_t timestamp);

    void authorizeAccount(const httplib::Request& req, httplib::Response& res);
    void listBuckets(const httplib::Request& req, httplib::Response& res);
    void createBucket(const httplib::Request& req, httplib::Response& res);
    void getUploadUrl(const httplib::Request& req, httplib::Response& res);
    void uploadFile(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader);
    void listFileNames(const httplib::Request& req, httplib::Response& res, bool versions);
    void getFileInfo(const httplib::Request& req, httplib::Response& res);
    void deleteFileVersion(const httplib::Request& req, httplib::Response& res);
    void download(const httplib::Request& req, httplib::Response& res, const std::string& bucketName,
                  const std::string& fileName, const std::string& fileId);

    ServerState& m_state;
    std::mutex m_mutex; // tokens
    std::set<std::string> m_accountTokens;
    std::map<std::string, UploadTarget> m_uploadTokens;
    uint64_t m_nextUrlId = 1;
};

} // namespace zirv::devserver
