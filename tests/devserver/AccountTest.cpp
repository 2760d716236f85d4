#include "DevServerHarness.h"

namespace zirv::devserver::test {
namespace {

int innerStatus(const json& answer)
{
    return answer["status"]["statusCode"].get<int>();
}

TEST(DevServerAccounts, Lifecycle)
{
    Harness h;
    auto created = h.post("zirvAccountCreate", Harness::createRequest("coach@example.org", "first"));
    ASSERT_EQ(checkRecord("accountLoginOutput", created), "");
    EXPECT_EQ(created["statusCode"], 1);
    EXPECT_EQ(innerStatus(created), 1);
    EXPECT_EQ(created["email"], "coach@example.org");
    const auto creationToken = created["security"]["accessToken"].get<std::string>();
    EXPECT_TRUE(isUuidText(creationToken));

    // The address is taken, whatever its case.
    auto again = h.post("zirvAccountCreate", Harness::createRequest("Coach@Example.org", "other"));
    EXPECT_EQ(innerStatus(again), 26);
    EXPECT_NE(again["statusCode"], 1);
    EXPECT_EQ(checkRecord("accountLoginOutput", again), "");

    EXPECT_EQ(innerStatus(h.post("zirvAccountLogin", Harness::loginRequest("coach@example.org", "wrong"))), 21);
    EXPECT_EQ(innerStatus(h.post("zirvAccountLogin", Harness::loginRequest("nobody@example.org", "first"))), 21);
    auto foreignApp = Harness::loginRequest("coach@example.org", "first");
    foreignApp["securityToken"] = "not the secret";
    EXPECT_EQ(innerStatus(h.post("zirvAccountLogin", foreignApp)), 21);

    auto login = h.post("zirvAccountLogin", Harness::loginRequest("coach@example.org", "first"));
    EXPECT_EQ(login["statusCode"], 1);
    const auto loginToken = login["security"]["accessToken"].get<std::string>();
    EXPECT_NE(loginToken, creationToken); // a fresh token per log-in

    auto change = [&](const std::string& token, const std::string& current, const std::string& next) {
        auto answer = h.post("zirvAccountChangePassword", {{"currentSecurity", Harness::security(token)},
                                                           {"securityEmail", "coach@example.org"},
                                                           {"securityCurrentPassword", current},
                                                           {"securityNewPassword", next}});
        EXPECT_EQ(checkRecord("commonStatus", answer), "");
        return answer["statusCode"].get<int>();
    };
    EXPECT_EQ(change(loginToken, "wrong", "second"), 21);
    EXPECT_EQ(change(std::string(noUserUuid), "first", "second"), 21);
    EXPECT_EQ(change(std::string(zeroUuid), "first", "second"), 21);
    EXPECT_EQ(change(loginToken, "first", "second"), 1);

    EXPECT_EQ(innerStatus(h.post("zirvAccountLogin", Harness::loginRequest("coach@example.org", "first"))), 21);
    EXPECT_EQ(h.post("zirvAccountLogin", Harness::loginRequest("coach@example.org", "second"))["statusCode"], 1);
}

TEST(DevServerAccounts, AccountsSurviveARestart)
{
    auto dir = makeScratchDir();
    {
        Harness h([&](Options& o) { o.dataDir = dir; });
        h.createAccount("keep@example.org", "pw");
    }
    {
        Harness h([&](Options& o) { o.dataDir = dir; });
        EXPECT_EQ(h.post("zirvAccountLogin", Harness::loginRequest("keep@example.org", "pw"))["statusCode"], 1);
    }
    std::filesystem::remove_all(dir);
}

// A server stopped as soon as it has started, before any request reached it,
// still stops.
TEST(DevServerAccounts, StopsRightAfterStarting)
{
    for (int i = 0; i < 100; ++i)
        Harness h;
}

// Every operation that carries an access token refuses unknown ones with 21.
TEST(DevServerAccounts, UnknownTokensAreRefusedEverywhere)
{
    Harness h;
    h.createAccount();
    const json changes = json::array();
    for (const std::string& token : std::vector<std::string>{std::string(noUserUuid), std::string(zeroUuid), "0B1C2D3E-0000-4000-8000-000000000001"}) {
        const json sec = Harness::security(token);
        const std::vector<std::pair<std::string, json>> requests = {
            {"zirvDefinedStructureChangesRead", {{"currentSecurity", sec}, {"currentChanges", changes}}},
            {"zirvUserStructureChangesRead", {{"currentSecurity", sec}, {"currentChanges", changes}}},
            {"zirvUserStructureForceDownload", {{"currentSecurity", sec}, {"currentChanges", changes}}},
            {"zirvUserStructureChangesUpdate",
             [&] {
                 auto r = defaultRecord("userStructureUpdatesInput");
                 r["currentSecurity"] = sec;
                 return r;
             }()},
            {"zirvUserAudioHashcode",
             {{"currentSecurity", sec}, {"fileHashCode", "ab"}, {"fileSize", 1}, {"itemPlatform", 1}}},
            {"zirvUserChoreographyHashcode",
             {{"currentSecurity", sec}, {"fileHashCode", "ab"}, {"fileSize", 1}, {"itemPlatform", 1}}},
            {"zirvUserAudioCreate",
             [&] {
                 auto r = defaultRecord("userStructureAudioCreateInput");
                 r["currentSecurity"] = sec;
                 return r;
             }()},
            {"zirvUserChoreographyCreate",
             [&] {
                 auto r = defaultRecord("userStructureChoreographyCreateInput");
                 r["currentSecurity"] = sec;
                 return r;
             }()},
        };
        for (const auto& [operation, request] : requests) {
            SCOPED_TRACE(operation + " with " + token);
            auto answer = h.post(operation, request);
            ASSERT_TRUE(answer.is_object());
            EXPECT_EQ(innerStatus(answer), 21);
        }
    }
}

struct BadBody {
    const char* what;
    std::string body;
};

class DevServerBadBodies : public testing::TestWithParam<BadBody> {};

TEST_P(DevServerBadBodies, AreRefusedWithHttp400AndJson)
{
    Harness h;
    auto res = h.backend->Post("/api/zirvAccountLogin", GetParam().body, "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    auto error = json::parse(res->body, nullptr, false);
    ASSERT_TRUE(error.is_object()) << res->body;
    EXPECT_EQ(error["status"], 400);
    EXPECT_FALSE(error["message"].get<std::string>().empty());
    // The server still answers.
    EXPECT_EQ(h.post("zirvAccountCreate", Harness::createRequest("after@example.org", "pw"))["statusCode"], 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DevServerBadBodies,
    testing::Values(BadBody{"not JSON", "hello"}, BadBody{"truncated", "{\"securityToken\":"}, BadBody{"array", "[1,2]"},
                    BadBody{"empty", ""}, BadBody{"missing members", "{\"securityToken\":\"x\"}"},
                    BadBody{"wrong type", "{\"securityToken\":1,\"securityEmail\":\"a\",\"securityPassword\":\"b\"}"},
                    BadBody{"oversized", "{\"securityToken\":\"" + std::string(100 * 1024, 'x') + "\"}"},
                    BadBody{"deep nesting", std::string(50000, '[')}),
    [](const testing::TestParamInfo<BadBody>& info) { return caseName(info.param.what); });

} // namespace
} // namespace zirv::devserver::test
