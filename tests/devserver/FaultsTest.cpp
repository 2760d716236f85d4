#include "DevServerHarness.h"

#include "devserver/Faults.h"
#include "devserver/Options.h"

namespace zirv::devserver::test {
namespace {

json faultLog(Harness& h)
{
    auto res = h.backend->Get("/control/log");
    return res ? json::parse(res->body, nullptr, false) : json();
}

bool logged(Harness& h, const std::string& text)
{
    for (const auto& line : faultLog(h))
        if (line.get<std::string>().find(text) != std::string::npos)
            return true;
    return false;
}

void setFaults(Harness& h, const json& settings)
{
    auto res = h.backend->Post("/control/faults", settings.dump(), "application/json");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200) << res->body;
}

json login(Harness& h, int* httpStatus = nullptr)
{
    return h.post("zirvAccountLogin", Harness::loginRequest("coach@example.org", "secret"), httpStatus);
}

TEST(DevServerFaults, Http500CarriesAValidAnswer)
{
    Harness h;
    h.createAccount();
    setFaults(h, {{"http500", {{"count", 1}, {"operation", "zirvAccountLogin"}}}});
    int status = 0;
    auto answer = login(h, &status);
    EXPECT_EQ(status, 500);
    EXPECT_EQ(checkRecord("accountLoginOutput", answer), "");
    EXPECT_EQ(answer["statusCode"], 1);
    EXPECT_TRUE(logged(h, "http500 on zirvAccountLogin"));
    login(h, &status);
    EXPECT_EQ(status, 200);
}

TEST(DevServerFaults, NonJsonBody)
{
    Harness h([](Options& o) { o.faultSwitches = {"nonJson=1"}; });
    auto res = h.backend->Post("/api/zirvAccountLogin", Harness::loginRequest("a@b.c", "x").dump(), "application/json");
    ASSERT_TRUE(res);
    EXPECT_TRUE(json::parse(res->body, nullptr, false).is_discarded());
    EXPECT_TRUE(logged(h, "nonJson on zirvAccountLogin"));
    EXPECT_TRUE(login(h).is_object());
}

TEST(DevServerFaults, Auth21ForTheNextRequests)
{
    Harness h;
    const auto token = h.createAccount();
    setFaults(h, {{"auth21", 2}});
    const json request = {{"currentSecurity", Harness::security(token)}, {"currentChanges", json::array()}};
    for (int i = 0; i < 2; ++i) {
        auto answer = h.post("zirvDefinedStructureChangesRead", request);
        EXPECT_EQ(checkRecord("zirvChangesOutput", answer), "");
        EXPECT_EQ(answer["status"]["statusCode"], 21);
    }
    EXPECT_EQ(h.post("zirvDefinedStructureChangesRead", request)["status"]["statusCode"], 1);
    EXPECT_TRUE(logged(h, "auth21 on zirvDefinedStructureChangesRead"));
}

TEST(DevServerFaults, FailureRatePerOperation)
{
    Harness h([](Options& o) { o.failRateSwitches = {"zirvUserAudioHashcode=1"}; });
    const auto token = h.createAccount();
    int status = 0;
    auto answer = h.post("zirvUserAudioHashcode",
                         {{"currentSecurity", Harness::security(token)}, {"fileHashCode", "x"}, {"fileSize", 1}, {"itemPlatform", 1}},
                         &status);
    EXPECT_EQ(status, 500);
    EXPECT_EQ(checkRecord("userStructureStatusOutput", answer), "");
    EXPECT_EQ(answer["status"]["statusCode"], 2);
    EXPECT_EQ(answer["status"]["databaseErrors"]["errorCode"], 500);
    EXPECT_TRUE(logged(h, "failure (rate"));
    // Other operations are untouched.
    EXPECT_EQ(login(h)["statusCode"], 1);
}

TEST(DevServerFaults, LatencyIsAddedAndLogged)
{
    Harness h([](Options& o) { o.latencyMs = 20; });
    h.createAccount();
    EXPECT_EQ(login(h)["statusCode"], 1);
    EXPECT_TRUE(logged(h, "latency 20 ms on zirvAccountLogin"));
    setFaults(h, {{"latencyMs", 0}});
    EXPECT_EQ(h.server->faults().describe()["latencyMs"], 0);
}

TEST(DevServerFaults, StalledAnswerOutlastsTheClientTimeOut)
{
    Harness h([](Options& o) { o.stallMs = 60000; });
    setFaults(h, {{"stall", {{"count", 1}, {"operation", "zirvAccountLogin"}}}});
    httplib::Client impatient(h.server->backendUrl());
    impatient.set_read_timeout(0, 300000);
    auto res = impatient.Post("/api/zirvAccountLogin", Harness::loginRequest("a@b.c", "x").dump(), "application/json");
    EXPECT_FALSE(res);
    EXPECT_EQ(res.error(), httplib::Error::Read);
    EXPECT_TRUE(logged(h, "stall 60000 ms on zirvAccountLogin"));
    EXPECT_EQ(faultLog(h).size(), 1u);
    // Stopping the server releases the stalled request at once.
}

TEST(DevServerFaults, ConnectionDroppedInTheMiddleOfAnUpload)
{
    Harness h([](Options& o) { o.faultSwitches = {"dropUpload:b2_upload_file=1"}; });
    const auto account = h.authorizeStorage();
    const auto bucket = h.bucketId(account, zirv::build::bucketAudio);
    const std::string content(4'000'000, 'd');
    auto res = h.upload(h.uploadTarget(account, bucket), "dropped.mp3", content, sha1Hex(content));
    EXPECT_TRUE(!res || res->status != 200);
    EXPECT_TRUE(logged(h, "dropUpload on b2_upload_file"));
    auto listing = h.storageJson("/b2api/v2/b2_list_file_names", {{"bucketId", bucket}}, account);
    EXPECT_TRUE(listing["files"].empty());
    // The next upload goes through.
    auto again = h.upload(h.uploadTarget(account, bucket), "dropped.mp3", content, sha1Hex(content));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 200);
    // No part of the dropped upload is left behind.
    EXPECT_TRUE(std::filesystem::is_empty(h.dataDir() / "storage" / "parts"));
}

TEST(DevServerFaults, ControlEndpointRefusesBadSettings)
{
    Harness h;
    auto res = h.backend->Post("/control/faults", R"({"failRate":{"x":2}})", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    res = h.backend->Post("/control/faults", R"({"http500":"many"})", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
}

struct SwitchCase {
    const char* what;
    std::vector<std::string> args;
    bool accepted;
};

class DevServerCommandLine : public testing::TestWithParam<SwitchCase> {};

TEST_P(DevServerCommandLine, Parses)
{
    std::vector<const char*> argv = {"zirv2-devserver"};
    for (const auto& a : GetParam().args)
        argv.push_back(a.c_str());
    auto parsed = parseOptions(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(parsed.error.empty(), GetParam().accepted) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DevServerCommandLine,
    testing::Values(SwitchCase{"no arguments", {}, true},
                    SwitchCase{"free ports", {"--backend-port", "0", "--storage-port=0"}, true},
                    SwitchCase{"large catalogue", {"--catalogue-size", "100000", "--page-size", "500"}, true},
                    SwitchCase{"counted faults", {"--fault", "http500=2", "--fault", "stall:zirvAccountLogin=1"}, true},
                    SwitchCase{"rate and latency", {"--fail-rate", "all=0.1", "--latency-ms", "5"}, true},
                    SwitchCase{"unknown fault", {"--fault", "explode=1"}, false},
                    SwitchCase{"rate above one", {"--fail-rate", "x=1.5"}, false},
                    SwitchCase{"port out of range", {"--backend-port", "70000"}, false},
                    SwitchCase{"certificate without key", {"--tls-cert", "a.pem"}, false},
                    SwitchCase{"missing value", {"--page-size"}, false},
                    SwitchCase{"unknown switch", {"--no-such-switch"}, false}),
    [](const testing::TestParamInfo<SwitchCase>& info) { return caseName(info.param.what); });

TEST(DevServerCommandLine, HelpExplainsEverySwitch)
{
    const auto help = helpText("zirv2-devserver");
    for (const char* option :
         {"--data-dir", "--host", "--backend-port", "--storage-port", "--catalogue-size", "--page-size", "--key-id",
          "--application-key", "--application-secret", "--tls-cert", "--tls-key", "--pbkdf2-iterations",
          "--max-body-bytes", "--keep-alive-seconds", "--verbose", "--latency-ms", "--fail-rate", "--fault",
          "--stall-ms", "--fault-seed", "http500", "nonJson", "dropUpload", "stall", "auth21"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

} // namespace
} // namespace zirv::devserver::test
