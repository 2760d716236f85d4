#pragma once
// A reference server started in-process on free loopback ports, with a private
// data folder, and small HTTP clients for its two services.

#include "devserver/DevServer.h"
#include "devserver/WireRecords.h"

#include <BuildValues.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>

namespace zirv::devserver::test {

using json = nlohmann::json;

inline std::filesystem::path makeScratchDir()
{
    std::random_device random;
    auto dir = std::filesystem::temp_directory_path() /
               ("zirv2-devserver-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(dir);
    return dir;
}

inline Options testOptions(const std::filesystem::path& dataDir)
{
    Options o;
    o.dataDir = dataDir;
    o.backendPort = 0;
    o.storagePort = 0;
    o.catalogueSize = 200;
    o.pageSize = 500;
    o.keyId = zirv::build::b2KeyId;
    o.applicationKey = zirv::build::b2ApplicationKey;
    o.applicationSecret = zirv::build::applicationSecret;
    o.pbkdf2Iterations = 1000; // fast in tests; the default is 100000
    o.keepAliveSeconds = 1;
    o.maxBodyBytes = 64 * 1024;
    return o;
}

class Harness {
public:
    explicit Harness(std::function<void(Options&)> adjust = {})
        : m_dir(makeScratchDir())
    {
        auto options = testOptions(m_dir);
        if (adjust)
            adjust(options);
        server = std::make_unique<DevServer>(options);
        const auto failure = server->start();
        EXPECT_EQ(failure, "");
        backend = std::make_unique<httplib::Client>(server->backendUrl());
        storage = std::make_unique<httplib::Client>(server->storageUrl());
        backend->set_read_timeout(30);
        storage->set_read_timeout(30);
    }

    ~Harness()
    {
        backend.reset();
        storage.reset();
        server.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    const std::filesystem::path& dataDir() const { return m_dir; }

    // Posts a record to a backend operation; the decoded answer, or a
    // discarded value when the body is not JSON.
    json post(const std::string& operation, const json& request, int* httpStatus = nullptr)
    {
        auto res = backend->Post("/api/" + operation, request.dump(), "application/json");
        if (!res) {
            ADD_FAILURE() << operation << ": transport error " << httplib::to_string(res.error());
            return json::value_t::discarded;
        }
        if (httpStatus)
            *httpStatus = res->status;
        return json::parse(res->body, nullptr, false);
    }

    static json createRequest(const std::string& email, const std::string& password)
    {
        return {{"securityToken", zirv::build::applicationSecret},
                {"securityEmail", email},
                {"securityPassword", password},
                {"userRegionCode", "GB"},
                {"userLanguageCode", "en"}};
    }

    static json loginRequest(const std::string& email, const std::string& password)
    {
        return {{"securityToken", zirv::build::applicationSecret},
                {"securityEmail", email},
                {"securityPassword", password}};
    }

    // Creates an account and answers its access token.
    std::string createAccount(const std::string& email = "coach@example.org", const std::string& password = "secret")
    {
        auto answer = post("zirvAccountCreate", createRequest(email, password));
        EXPECT_EQ(answer["statusCode"], 1) << answer.dump();
        return answer["security"]["accessToken"].get<std::string>();
    }

    static json security(const std::string& token) { return {{"accessToken", token}}; }

    // B2 steps through the storage client.
    json storageJson(const std::string& path, const json& body, const std::string& token, int* httpStatus = nullptr)
    {
        httplib::Headers headers = {{"Authorization", token}};
        auto res = storage->Post(path, headers, body.dump(), "application/json");
        if (!res) {
            ADD_FAILURE() << path << ": transport error " << httplib::to_string(res.error());
            return json::value_t::discarded;
        }
        if (httpStatus)
            *httpStatus = res->status;
        return json::parse(res->body, nullptr, false);
    }

    std::string authorizeStorage()
    {
        storage->set_basic_auth(zirv::build::b2KeyId, zirv::build::b2ApplicationKey);
        auto res = storage->Get("/b2api/v2/b2_authorize_account");
        storage->set_basic_auth("", "");
        EXPECT_TRUE(res && res->status == 200);
        auto answer = json::parse(res ? res->body : "", nullptr, false);
        return answer.is_object() ? answer.value("authorizationToken", "") : "";
    }

    std::string bucketId(const std::string& accountToken, const std::string& bucketName)
    {
        auto answer = storageJson("/b2api/v2/b2_list_buckets", {{"accountId", zirv::build::b2KeyId}}, accountToken);
        for (const auto& b : answer["buckets"])
            if (b["bucketName"] == bucketName)
                return b["bucketId"].get<std::string>();
        return {};
    }

    struct UploadTarget {
        std::string path; // below the storage origin
        std::string token;
    };

    UploadTarget uploadTarget(const std::string& accountToken, const std::string& bucket)
    {
        auto answer = storageJson("/b2api/v2/b2_get_upload_url", {{"bucketId", bucket}}, accountToken);
        const auto url = answer["uploadUrl"].get<std::string>();
        return {url.substr(server->storageUrl().size()), answer["authorizationToken"].get<std::string>()};
    }

    httplib::Result upload(const UploadTarget& target, const std::string& fileName, const std::string& content,
                           const std::string& sha1)
    {
        httplib::Headers headers = {{"Authorization", target.token},
                                    {"X-Bz-File-Name", fileName},
                                    {"X-Bz-Content-Sha1", sha1}};
        return storage->Post(target.path, headers, content, "audio/mpeg4-generic");
    }

    std::unique_ptr<DevServer> server;
    std::unique_ptr<httplib::Client> backend;
    std::unique_ptr<httplib::Client> storage;

private:
    std::filesystem::path m_dir;
};

// A test-case name from a description: letters and digits only.
inline std::string caseName(std::string_view what)
{
    std::string out;
    bool upper = true;
    for (char c : what) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            out.push_back(upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c);
            upper = false;
        } else {
            upper = true;
        }
    }
    return out.empty() ? "Case" : out;
}

std::string sha1Hex(const std::string& content);

} // namespace zirv::devserver::test
