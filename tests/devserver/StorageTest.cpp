#include "DevServerHarness.h"

#include "devserver/Storage.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zirv::devserver::test {
namespace {

TEST(DevServerStorage, AuthorisesOnlyTheConfiguredKeyPair)
{
    Harness h;
    h.storage->set_basic_auth(zirv::build::b2KeyId, "wrong");
    auto refused = h.storage->Get("/b2api/v2/b2_authorize_account");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 401);
    auto error = json::parse(refused->body);
    EXPECT_EQ(error["code"], "unauthorized");
    EXPECT_EQ(error["status"], 401);

    h.storage->set_basic_auth(zirv::build::b2KeyId, zirv::build::b2ApplicationKey);
    for (const char* version : {"v1", "v2"}) {
        auto ok = h.storage->Get(std::string("/b2api/") + version + "/b2_authorize_account");
        ASSERT_TRUE(ok);
        auto answer = json::parse(ok->body);
        EXPECT_EQ(answer["apiUrl"], h.server->storageUrl());
        EXPECT_EQ(answer["downloadUrl"], h.server->storageUrl());
        EXPECT_EQ(answer["accountId"], zirv::build::b2KeyId);
        EXPECT_TRUE(answer["authorizationToken"].is_string());
    }
}

TEST(DevServerStorage, ListsTheThreeBucketsAndRefusesADuplicate)
{
    Harness h;
    const auto token = h.authorizeStorage();
    auto listing = h.storageJson("/b2api/v2/b2_list_buckets", {{"accountId", zirv::build::b2KeyId}}, token);
    std::set<std::string> names;
    for (const auto& b : listing["buckets"])
        names.insert(b["bucketName"].get<std::string>());
    EXPECT_EQ(names, (std::set<std::string>{zirv::build::bucketAudio, zirv::build::bucketVideo,
                                             zirv::build::bucketChoreography}));
    int status = 0;
    auto duplicate = h.storageJson("/b2api/v1/b2_create_bucket",
                                   {{"accountId", zirv::build::b2KeyId}, {"bucketName", zirv::build::bucketAudio},
                                    {"bucketType", "allPrivate"}},
                                   token, &status);
    EXPECT_EQ(status, 400);
    EXPECT_EQ(duplicate["code"], "duplicate_bucket_name");
    auto created = h.storageJson("/b2api/v1/b2_create_bucket",
                                 {{"accountId", zirv::build::b2KeyId}, {"bucketName", "rclone-target"},
                                  {"bucketType", "allPrivate"}},
                                 token, &status);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(created["bucketName"], "rclone-target");
    h.storageJson("/b2api/v2/b2_list_buckets", {{"accountId", zirv::build::b2KeyId}}, "not a token", &status);
    EXPECT_EQ(status, 401);
}

TEST(DevServerStorage, UploadTargetsAreDistinct)
{
    Harness h;
    const auto token = h.authorizeStorage();
    const auto bucket = h.bucketId(token, zirv::build::bucketAudio);
    auto a = h.uploadTarget(token, bucket);
    auto b = h.uploadTarget(token, bucket);
    EXPECT_NE(a.path, b.path);
    EXPECT_NE(a.token, b.token);
    // A token belongs to its own URL.
    const std::string content = "abc";
    auto crossed = h.upload({a.path, b.token}, "x.mp3", content, sha1Hex(content));
    ASSERT_TRUE(crossed);
    EXPECT_EQ(crossed->status, 401);
    EXPECT_EQ(json::parse(crossed->body)["code"], "bad_auth_token");
}

struct UploadCase {
    const char* what;
    std::string fileName;
    std::string sha1; // "good" for the content's own
    std::string token; // "good" for the target's own
    int httpStatus;
    std::string code;
};

class DevServerUploads : public testing::TestWithParam<UploadCase> {};

TEST_P(DevServerUploads, AreCheckedBeforeTheyAreStored)
{
    const auto& c = GetParam();
    Harness h;
    const auto account = h.authorizeStorage();
    const auto bucket = h.bucketId(account, zirv::build::bucketAudio);
    auto target = h.uploadTarget(account, bucket);
    const std::string content(300'000, 'z');
    const std::string sha1 = c.sha1 == "good" ? sha1Hex(content) : c.sha1;
    if (c.token != "good")
        target.token = c.token;
    auto res = h.upload(target, c.fileName, content, sha1);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.httpStatus);
    auto answer = json::parse(res->body);
    if (c.httpStatus == 200) {
        EXPECT_EQ(answer["contentSha1"], sha1Hex(content));
        EXPECT_EQ(answer["contentLength"], 300'000);
    } else {
        EXPECT_EQ(answer["code"], c.code);
        EXPECT_EQ(answer["status"], c.httpStatus);
        EXPECT_TRUE(answer["message"].is_string());
    }
    auto listing = h.storageJson("/b2api/v2/b2_list_file_names", {{"bucketId", bucket}}, account);
    EXPECT_EQ(listing["files"].size(), c.httpStatus == 200 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DevServerUploads,
    testing::Values(UploadCase{"accepted", "dir/track%20one.mp3", "good", "good", 200, ""},
                    UploadCase{"SHA-1 mismatch", "a.mp3", std::string(40, '0'), "good", 400, "bad_request"},
                    UploadCase{"SHA-1 malformed", "a.mp3", "xyz", "good", 400, "bad_request"},
                    UploadCase{"missing token", "a.mp3", "good", "", 401, "bad_auth_token"},
                    UploadCase{"wrong token", "a.mp3", "good", "2_nothing", 401, "bad_auth_token"},
                    UploadCase{"leading slash", "/a.mp3", "good", "good", 400, "bad_request"},
                    UploadCase{"double slash", "a//b.mp3", "good", "good", 400, "bad_request"},
                    UploadCase{"control character", "a%01b.mp3", "good", "good", 400, "bad_request"},
                    UploadCase{"too long", std::string(1100, 'n'), "good", "good", 400, "bad_request"}),
    [](const testing::TestParamInfo<UploadCase>& info) { return caseName(info.param.what); });

TEST(DevServerStorage, ListsNamesInOrderWithB2Paging)
{
    Harness h;
    const auto account = h.authorizeStorage();
    const auto bucket = h.bucketId(account, zirv::build::bucketChoreography);
    for (const char* name : {"c.pdf", "a.pdf", "b.pdf", "dir/x.pdf", "dir/y.pdf", "e.pdf"}) {
        auto target = h.uploadTarget(account, bucket);
        auto res = h.upload(target, name, name, sha1Hex(name));
        ASSERT_TRUE(res && res->status == 200) << name;
    }
    auto list = [&](json body) {
        body["bucketId"] = bucket;
        return h.storageJson("/b2api/v2/b2_list_file_names", body, account);
    };
    auto names = [](const json& answer) {
        std::vector<std::string> out;
        for (const auto& f : answer["files"])
            out.push_back(f["fileName"].get<std::string>());
        return out;
    };

    auto all = list(json::object());
    EXPECT_EQ(names(all), (std::vector<std::string>{"a.pdf", "b.pdf", "c.pdf", "dir/x.pdf", "dir/y.pdf", "e.pdf"}));
    EXPECT_TRUE(all["nextFileName"].is_null());
    EXPECT_EQ(all["files"][0]["size"], all["files"][0]["contentLength"]);

    // The confirmation a client makes: one name from its own.
    auto one = list({{"startFileName", "b.pdf"}, {"maxFileCount", 1}});
    EXPECT_EQ(names(one), (std::vector<std::string>{"b.pdf"}));
    EXPECT_EQ(one["nextFileName"], "b.pdf ");

    auto two = list({{"startFileName", "b.pdf "}, {"maxFileCount", 2}});
    EXPECT_EQ(names(two), (std::vector<std::string>{"c.pdf", "dir/x.pdf"}));
    EXPECT_EQ(two["nextFileName"], "dir/x.pdf ");

    auto prefixed = list({{"prefix", "dir/"}});
    EXPECT_EQ(names(prefixed), (std::vector<std::string>{"dir/x.pdf", "dir/y.pdf"}));

    auto folders = list({{"delimiter", "/"}});
    EXPECT_EQ(names(folders), (std::vector<std::string>{"a.pdf", "b.pdf", "c.pdf", "dir/", "e.pdf"}));
    EXPECT_EQ(folders["files"][3]["action"], "folder");

    auto missing = list({{"startFileName", "zzz"}, {"maxFileCount", 1}});
    EXPECT_TRUE(missing["files"].empty());
    EXPECT_TRUE(missing["nextFileName"].is_null());
}

TEST(DevServerStorage, DownloadsByNameWithB2Headers)
{
    Harness h;
    const auto account = h.authorizeStorage();
    const auto bucket = h.bucketId(account, zirv::build::bucketAudio);
    const std::string content(100'000, 'q');
    auto target = h.uploadTarget(account, bucket);
    httplib::Headers headers = {{"Authorization", target.token},
                                {"X-Bz-File-Name", "folder/song%20a.mp3"},
                                {"X-Bz-Content-Sha1", sha1Hex(content)},
                                {"x-bz-info-SRC_last_modified_millis", "1700000000000"}};
    auto stored = h.storage->Post(target.path, headers, content, "audio/mpeg");
    ASSERT_TRUE(stored && stored->status == 200);
    EXPECT_EQ(json::parse(stored->body)["fileInfo"]["src_last_modified_millis"], "1700000000000");

    httplib::Headers auth = {{"Authorization", account}};
    const std::string path = "/file/" + std::string(zirv::build::bucketAudio) + "/folder/song%20a.mp3";
    auto head = h.storage->Head(path, auth);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->get_header_value("x-bz-content-sha1"), sha1Hex(content));
    // Sent percent-encoded; the client's HTTP layer decodes it.
    EXPECT_EQ(head->get_header_value("x-bz-file-name"), "folder/song a.mp3");
    EXPECT_EQ(head->get_header_value("Content-Length"), "100000");
    EXPECT_EQ(head->get_header_value("X-Bz-Info-src_last_modified_millis"), "1700000000000");

    auto get = h.storage->Get(path, auth);
    ASSERT_TRUE(get);
    EXPECT_EQ(get->status, 200);
    EXPECT_EQ(get->body, content);

    auto absent = h.storage->Get("/file/" + std::string(zirv::build::bucketAudio) + "/nothing.mp3", auth);
    ASSERT_TRUE(absent);
    EXPECT_EQ(absent->status, 404);
    EXPECT_EQ(json::parse(absent->body)["code"], "not_found");
    auto absentHead = h.storage->Head("/file/" + std::string(zirv::build::bucketAudio) + "/nothing.mp3", auth);
    ASSERT_TRUE(absentHead);
    EXPECT_EQ(absentHead->status, 404);
}

TEST(DevServerStorage, FileNameRules)
{
    EXPECT_EQ(checkFileName("a/b c.mp3"), "");
    EXPECT_EQ(checkFileName("caf\xc3\xa9.mp3"), "");
    EXPECT_NE(checkFileName("bad\xff.mp3"), "");
    EXPECT_NE(checkFileName(""), "");
    EXPECT_NE(checkFileName("a/"), "");
    EXPECT_NE(checkFileName(std::string(251, 's') + "/x"), "");
    EXPECT_EQ(checkFileName(std::string(250, 's') + "/x"), "");
}

} // namespace
} // namespace zirv::devserver::test

namespace zirv::devserver::test {
namespace {

TEST(DevServerStorage, AcceptsTheSha1AfterTheBody)
{
    Harness h;
    const auto account = h.authorizeStorage();
    const auto bucket = h.bucketId(account, zirv::build::bucketAudio);
    const std::string content(50'000, 't');
    for (const auto& [trailer, accepted] : std::vector<std::pair<std::string, bool>>{
             {sha1Hex(content), true}, {std::string(40, 'a'), false}}) {
        auto target = h.uploadTarget(account, bucket);
        auto res = h.upload(target, "trailer.mp3", content + trailer, "hex_digits_at_end");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, accepted ? 200 : 400) << res->body;
        if (accepted) {
            EXPECT_EQ(json::parse(res->body)["contentLength"], 50'000);
            EXPECT_EQ(json::parse(res->body)["contentSha1"], sha1Hex(content));
        }
    }
}

// A body that ends before its declared length is not stored.
TEST(DevServerStorage, RefusesABodyShorterThanItsLength)
{
    Harness h;
    const auto account = h.authorizeStorage();
    const auto bucket = h.bucketId(account, zirv::build::bucketAudio);
    const auto target = h.uploadTarget(account, bucket);
    const std::string content(1000, 's');

    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(h.server->storagePort()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string request = "POST " + target.path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: " + target.token +
                                "\r\nX-Bz-File-Name: short.mp3\r\nX-Bz-Content-Sha1: " + sha1Hex(content) +
                                "\r\nContent-Type: audio/mpeg\r\nContent-Length: 2000\r\n\r\n" + content;
    ASSERT_EQ(::send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
    ::shutdown(fd, SHUT_WR);
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    // Refused with 400, or closed without an answer: the HTTP layer does not
    // answer a peer that has already closed its side.
    EXPECT_EQ(answer.find("HTTP/1.1 200"), std::string::npos) << answer;

    auto listing = h.storageJson("/b2api/v2/b2_list_file_names", {{"bucketId", bucket}}, account);
    EXPECT_TRUE(listing["files"].empty());
    EXPECT_TRUE(std::filesystem::is_empty(h.dataDir() / "storage" / "parts"));
}

} // namespace
} // namespace zirv::devserver::test
