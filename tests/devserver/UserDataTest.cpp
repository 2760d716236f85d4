#include "DevServerHarness.h"

#include "devserver/Storage.h"

#include <openssl/sha.h>

#include <atomic>
#include <thread>

namespace zirv::devserver::test {

std::string sha1Hex(const std::string& content)
{
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(content.data()), content.size(), digest);
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : digest) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

namespace {

json userChanges(const std::map<int, int64_t>& markers = {})
{
    json changes = json::array();
    for (int table : {51, 54, 52, 53, 55, 56, 59, 41, 43, 57, 58}) {
        auto it = markers.find(table);
        changes.push_back({{"syncIdentifier", table}, {"updateRecord", it == markers.end() ? 0 : it->second}});
    }
    return changes;
}

json hashRequest(const std::string& token, const std::string& hash, int64_t size)
{
    return {{"currentSecurity", Harness::security(token)}, {"fileHashCode", hash}, {"fileSize", size}, {"itemPlatform", 1}};
}

json audioCreate(const std::string& token, const std::string& name, const std::string& hash, int64_t size)
{
    auto r = defaultRecord("userStructureAudioCreateInput");
    r["currentSecurity"] = Harness::security(token);
    r["fileGuidName"] = name;
    r["fileHashCode"] = hash;
    r["fileSize"] = size;
    r["uploadPlatform"] = 1;
    r["metadataTitle"] = "Track 3 ";
    r["metadataArtist"] = "Someone ";
    r["metadataAlbum"] = "Album";
    r["metadataFile"] = "file:///music/a.mp3";
    return r;
}

TEST(DevServerUserData, OwnershipRegistrationFollowsTheStoredFile)
{
    Harness h;
    const auto token = h.createAccount();
    const std::string content(2'500'000, 'a');
    const std::string hash = std::string(64, 'e') + "0000000002500000";

    // Not owned yet: 4.
    EXPECT_EQ(h.post("zirvUserAudioHashcode", hashRequest(token, hash, 2'500'000))["status"]["statusCode"], 4);

    // Registration before the file is in storage is refused with detail.
    auto early = h.post("zirvUserAudioCreate", audioCreate(token, "A1B2-track.mp3", hash, 2'500'000));
    EXPECT_EQ(checkRecord("userStructureStatusOutput", early), "");
    EXPECT_NE(early["status"]["statusCode"], 3);
    EXPECT_NE(early["status"]["statusCode"], 1);
    EXPECT_FALSE(early["status"]["databaseErrors"]["errorMessage"].get<std::string>().empty());

    // Store it in the audio bucket, then register: 3.
    const auto account = h.authorizeStorage();
    const auto target = h.uploadTarget(account, h.bucketId(account, zirv::build::bucketAudio));
    auto stored = h.upload(target, "A1B2-track.mp3", content, sha1Hex(content));
    ASSERT_TRUE(stored && stored->status == 200);
    EXPECT_EQ(h.post("zirvUserAudioCreate", audioCreate(token, "A1B2-track.mp3", hash, 2'500'000))["status"]["statusCode"], 3);
    EXPECT_EQ(h.post("zirvUserAudioHashcode", hashRequest(token, hash, 2'500'000))["status"]["statusCode"], 3);
    // The same content registered again changes nothing.
    EXPECT_EQ(h.post("zirvUserAudioCreate", audioCreate(token, "A1B2-track.mp3", hash, 2'500'000))["status"]["statusCode"], 3);

    // A choreography bucket registration does not see the audio file.
    auto choreography = defaultRecord("userStructureChoreographyCreateInput");
    choreography["currentSecurity"] = Harness::security(token);
    choreography["fileGuidName"] = "A1B2-track.mp3";
    choreography["fileHashCode"] = hash;
    EXPECT_EQ(h.post("zirvUserChoreographyCreate", choreography)["status"]["statusCode"], 2);

    // The next read carries the owned track and the account's new total.
    auto read = h.post("zirvUserStructureChangesRead", {{"currentSecurity", Harness::security(token)}, {"currentChanges", userChanges()}});
    ASSERT_EQ(checkRecord("userStructureDownloadChangesOutput", read), "");
    ASSERT_EQ(read["listOps_UserAudio"].size(), 1u);
    const auto& owned = read["listOps_UserAudio"][0];
    EXPECT_EQ(owned["fileGuidName"], "A1B2-track.mp3");
    EXPECT_EQ(owned["fileSize"], 2'500'000);
    EXPECT_EQ(owned["zirv_AudioDefinitionEntityKey"], 3); // matched by its title
    ASSERT_EQ(read["listUser_Account"].size(), 1u);
    EXPECT_DOUBLE_EQ(read["listUser_Account"][0]["totalDataStored"].get<double>(), 2.5);
    EXPECT_EQ(read["listUser_Account"][0]["accessToken"], token);
    EXPECT_EQ(read["status"]["dataRecordsReturned"], 2);
    EXPECT_EQ(read["status"]["moreDataAvailable"], false);

    // Reporting what it holds, the client gets nothing more.
    auto again = h.post("zirvUserStructureChangesRead",
                        {{"currentSecurity", Harness::security(token)},
                         {"currentChanges", userChanges({{51, read["listUser_Account"][0]["updateRecord"].get<int64_t>()},
                                                         {41, owned["updateRecord"].get<int64_t>()}})}});
    EXPECT_EQ(again["status"]["dataRecordsReturned"], 0);

    // Another account does not own it.
    const auto other = h.createAccount("other@example.org", "pw");
    EXPECT_EQ(h.post("zirvUserAudioHashcode", hashRequest(other, hash, 2'500'000))["status"]["statusCode"], 4);
}

json configuration(const std::string& key, int64_t updateRecord, const std::string& value)
{
    auto r = defaultRecord("userConfiguration");
    r["entityKey"] = key;
    r["entityType"] = 54;
    r["configurationKeyNumber"] = 1;
    r["valueAsNumber"] = 3;
    r["valueAsString"] = value;
    r["lastUpdated"] = "2024-01-31T09:15:00Z";
    r["updateRecord"] = updateRecord;
    return r;
}

json updates(const std::string& token, const json& configurations)
{
    auto r = defaultRecord("userStructureUpdatesInput");
    r["currentSecurity"] = Harness::security(token);
    r["listUser_Configuration"] = configurations;
    return r;
}

TEST(DevServerUserData, UploadOfAnOlderCopyIsRefused)
{
    Harness h;
    const auto token = h.createAccount();
    const std::string key = "7d0e4c2a-1b3f-4a5e-9c8d-0f1e2d3c4b5a"; // lower case on purpose
    const std::string upperKey = canonicalUuid(key);

    auto first = h.post("zirvUserStructureChangesUpdate", updates(token, json::array({configuration(key, 0, "1.0")})));
    ASSERT_EQ(checkRecord("userStructureUploadChangesOutput", first), "");
    ASSERT_EQ(first["listSuccess"].size(), 1u);
    EXPECT_TRUE(first["listFailure"].empty());
    EXPECT_EQ(first["listSuccess"][0]["tableIdentifier"], 54);
    EXPECT_EQ(first["listSuccess"][0]["entityKey"], upperKey);
    const auto counter = first["listSuccess"][0]["updateRecord"].get<int64_t>();

    // Another machine edits the copy it had before the first upload.
    auto stale = h.post("zirvUserStructureChangesUpdate", updates(token, json::array({configuration(key, 0, "stale")})));
    EXPECT_TRUE(stale["listSuccess"].empty());
    ASSERT_EQ(stale["listFailure"].size(), 1u);
    EXPECT_EQ(stale["listFailure"][0], (json{{"tableIdentifier", 54}, {"entityKey", upperKey}}));

    // The forced download answers the server's copy.
    auto forced = h.post("zirvUserStructureForceDownload",
                         {{"currentSecurity", Harness::security(token)},
                          {"currentChanges", {{{"tableIdentifier", 54}, {"entityKey", key}}}}});
    ASSERT_EQ(checkRecord("userStructureDownloadChangesOutput", forced), "");
    ASSERT_EQ(forced["listUser_Configuration"].size(), 1u);
    EXPECT_EQ(forced["listUser_Configuration"][0]["valueAsString"], "1.0");
    EXPECT_EQ(forced["listUser_Configuration"][0]["updateRecord"], counter);
    EXPECT_EQ(forced["status"]["dataRecordsReturned"], 1);

    // Edited from the current copy, it is accepted with a new counter.
    auto current = h.post("zirvUserStructureChangesUpdate", updates(token, json::array({configuration(key, counter, "2.0")})));
    ASSERT_EQ(current["listSuccess"].size(), 1u);
    EXPECT_GT(current["listSuccess"][0]["updateRecord"].get<int64_t>(), counter);

    // The read answers the newest copy once.
    auto read = h.post("zirvUserStructureChangesRead",
                       {{"currentSecurity", Harness::security(token)}, {"currentChanges", userChanges({{51, 1LL << 40}})}});
    ASSERT_EQ(read["listUser_Configuration"].size(), 1u);
    EXPECT_EQ(read["listUser_Configuration"][0]["valueAsString"], "2.0");
    EXPECT_EQ(read["listUser_Configuration"][0]["entityKey"], upperKey);
}

TEST(DevServerUserData, ReadPagesAndKeepsOwnedTracksBeforeClassContents)
{
    Harness h([](Options& o) { o.pageSize = 3; });
    const auto token = h.createAccount();
    json configs = json::array();
    for (int i = 0; i < 5; ++i) {
        char key[40];
        std::snprintf(key, sizeof key, "00000000-0000-4000-8000-%012d", i);
        configs.push_back(configuration(key, 0, std::to_string(i)));
    }
    ASSERT_EQ(h.post("zirvUserStructureChangesUpdate", updates(token, configs))["listSuccess"].size(), 5u);
    std::map<int, int64_t> markers;
    int received = 0;
    for (int page = 0; page < 10; ++page) {
        auto read = h.post("zirvUserStructureChangesRead",
                           {{"currentSecurity", Harness::security(token)}, {"currentChanges", userChanges(markers)}});
        EXPECT_LE(read["status"]["dataRecordsReturned"].get<int>(), 3);
        for (const auto& r : read["listUser_Configuration"])
            markers[54] = std::max(markers[54], r["updateRecord"].get<int64_t>());
        for (const auto& r : read["listUser_Account"])
            markers[51] = r["updateRecord"].get<int64_t>();
        received += read["status"]["dataRecordsReturned"].get<int>();
        if (!read["status"]["moreDataAvailable"].get<bool>())
            break;
    }
    EXPECT_EQ(received, 6); // the account and five configuration rows
}

} // namespace
} // namespace zirv::devserver::test

namespace zirv::devserver::test {
namespace {

// Several clients at once, each through the whole chain of one upload.
TEST(DevServerUserData, ServesConcurrentClients)
{
    Harness h;
    constexpr int kClients = 4;
    std::vector<std::thread> clients;
    std::atomic<int> completed{0};
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            httplib::Client backend(h.server->backendUrl());
            httplib::Client storage(h.server->storageUrl());
            auto post = [&](const std::string& operation, const json& body) {
                auto res = backend.Post("/api/" + operation, body.dump(), "application/json");
                return res ? json::parse(res->body, nullptr, false) : json();
            };
            const std::string email = "client" + std::to_string(i) + "@example.org";
            auto created = post("zirvAccountCreate", Harness::createRequest(email, "pw"));
            if (!created.is_object() || created["statusCode"] != 1)
                return;
            const auto token = created["security"]["accessToken"].get<std::string>();

            storage.set_basic_auth(zirv::build::b2KeyId, zirv::build::b2ApplicationKey);
            auto auth = storage.Get("/b2api/v2/b2_authorize_account");
            storage.set_basic_auth("", "");
            if (!auth)
                return;
            const auto account = json::parse(auth->body)["authorizationToken"].get<std::string>();
            httplib::Headers headers = {{"Authorization", account}};
            auto target = storage.Post("/b2api/v2/b2_get_upload_url", headers,
                                       json{{"bucketId", bucketIdFor(zirv::build::bucketAudio)}}.dump(), "application/json");
            if (!target)
                return;
            const auto targetJson = json::parse(target->body);
            const std::string content(200'000 + i, static_cast<char>('a' + i));
            const std::string name = "client-" + std::to_string(i) + ".mp3";
            httplib::Headers uploadHeaders = {{"Authorization", targetJson["authorizationToken"].get<std::string>()},
                                              {"X-Bz-File-Name", name},
                                              {"X-Bz-Content-Sha1", sha1Hex(content)}};
            const auto url = targetJson["uploadUrl"].get<std::string>();
            auto uploaded = storage.Post(url.substr(h.server->storageUrl().size()), uploadHeaders, content, "audio/mpeg");
            if (!uploaded || uploaded->status != 200)
                return;
            auto registered = post("zirvUserAudioCreate", audioCreate(token, name, sha1Hex(content), 1));
            auto read = post("zirvUserStructureChangesRead",
                             {{"currentSecurity", Harness::security(token)}, {"currentChanges", userChanges()}});
            if (registered["status"]["statusCode"] == 3 && read["listOps_UserAudio"].size() == 1)
                ++completed;
        });
    }
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(completed.load(), kClients);
}

} // namespace
} // namespace zirv::devserver::test
