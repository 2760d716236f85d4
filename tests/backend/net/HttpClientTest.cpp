#include "backend/net/HttpClient.h"

#include "app/core/MainThread.h"
#include "tests/support/EventPump.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace zirv::net {
namespace {

using namespace std::chrono_literals;

// Generous: loopback requests are quick, but sanitizer builds on a loaded
// machine are not.
constexpr auto networkWait = 30s;
using test::pumpFor;
using test::pumpUntil;
using test::ScriptedReply;
using test::TestHttpServer;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct Outcome {
    std::optional<HttpResult> result;
    bool onMainThread = false;
    int reports = 0;
};

// Starts `request` and records what it reports.
Cancelable startRecording(HttpRequest request, const std::shared_ptr<Outcome>& outcome,
                          Delivery delivery = Delivery::mainThread)
{
    HttpCallbacks callbacks;
    callbacks.delivery = delivery;
    callbacks.onFinished = [outcome](HttpResult result) {
        outcome->onMainThread = isMainThread();
        outcome->result = std::move(result);
        ++outcome->reports;
    };
    return HttpClient::shared().start(std::move(request), std::move(callbacks));
}

struct HeaderCase {
    const char* name;
    std::string method;
    HeaderList headers;
    size_t bodySize;
    std::vector<std::string> expectedNames; // lower case, sorted
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const HeaderCase& c, std::ostream* out)
{
    *out << c.name;
}

class HttpClientHeaders : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HttpClientHeaders, SendsExactlyTheListedFields)
{
    const HeaderCase& c = GetParam();
    TestHttpServer server;
    server.setReply(c.method, "/path", ScriptedReply(200, "ok"));

    HttpRequest request;
    request.method = c.method;
    request.url = server.baseUrl() + "/path";
    request.headers = c.headers;
    request.body = std::string(c.bodySize, 'b');
    auto outcome = std::make_shared<Outcome>();
    auto handle = startRecording(request, outcome);

    ASSERT_TRUE(pumpUntil([&] { return outcome->result.has_value(); }, networkWait));
    ASSERT_TRUE(outcome->result->response) << *outcome->result->failure;
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].method, c.method);
    EXPECT_EQ(recorded[0].headerNames(), c.expectedNames);
    EXPECT_EQ(recorded[0].body, request.body);
    for (const auto& [name, value] : c.headers)
        EXPECT_EQ(recorded[0].header(name), value) << name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpClientHeaders,
    ::testing::Values(
        HeaderCase{"JsonPost", "POST", {{"Content-Type", "application/json"}}, 20,
                   {"content-length", "content-type", "host"}},
        HeaderCase{"PostWithoutContentType", "POST", {}, 20, {"content-length", "host"}},
        // Above 1 KiB libcurl would ask "Expect: 100-continue".
        HeaderCase{"LargePostWithoutExpect", "POST", {{"Authorization", "tok"}}, 300000,
                   {"authorization", "content-length", "host"}},
        HeaderCase{"EmptyPost", "POST", {}, 0, {"content-length", "host"}},
        HeaderCase{"Get", "GET", {{"Authorization", "Basic abc"}}, 0, {"authorization", "host"}},
        HeaderCase{"CallerChosenAccept", "GET", {{"Accept", "text/plain"}}, 0, {"accept", "host"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpClient, StreamsAFileBodyAndReportsProgressOnTheMainThread)
{
    test::TempDir dir;
    std::string content(5 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 31 % 251);
    const auto file = dir.write("upload.bin", content);

    TestHttpServer server;
    server.setReply("POST", "/upload", ScriptedReply(200, "{}"));
    HttpRequest request;
    request.url = server.baseUrl() + "/upload";
    request.headers = {{"X-Bz-Content-Sha1", "abc"}};
    request.bodyFile = file;

    auto outcome = std::make_shared<Outcome>();
    int64_t lastSent = 0, lastTotal = 0;
    bool progressOnMain = true;
    HttpCallbacks callbacks;
    callbacks.onProgress = [&](int64_t sent, int64_t total) {
        progressOnMain = progressOnMain && isMainThread();
        EXPECT_GE(sent, lastSent);
        lastSent = sent;
        lastTotal = total;
    };
    callbacks.onFinished = [outcome](HttpResult result) {
        outcome->onMainThread = isMainThread();
        outcome->result = std::move(result);
    };
    auto handle = HttpClient::shared().start(request, callbacks);

    ASSERT_TRUE(pumpUntil([&] { return outcome->result.has_value(); }, networkWait));
    ASSERT_TRUE(outcome->result->response) << *outcome->result->failure;
    EXPECT_TRUE(outcome->onMainThread);
    EXPECT_TRUE(progressOnMain);
    EXPECT_EQ(lastSent, static_cast<int64_t>(content.size()));
    EXPECT_EQ(lastTotal, static_cast<int64_t>(content.size()));
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].headerNames(),
              (std::vector<std::string>{"content-length", "host", "x-bz-content-sha1"}));
    EXPECT_EQ(recorded[0].header("Content-Length"), std::to_string(content.size()));
    EXPECT_TRUE(recorded[0].body == content);
}

TEST(HttpClient, DeliversAnyHttpStatusWithItsBodyAndHeaders)
{
    TestHttpServer server;
    server.setReply("POST", "/fail",
                    ScriptedReply(500, "{\"a\":1}").withHeader("X-Answer", "yes"));
    HttpRequest request;
    request.url = server.baseUrl() + "/fail";
    auto outcome = std::make_shared<Outcome>();
    auto handle = startRecording(request, outcome);

    ASSERT_TRUE(pumpUntil([&] { return outcome->result.has_value(); }, networkWait));
    ASSERT_TRUE(outcome->result->response);
    EXPECT_FALSE(outcome->result->failure);
    EXPECT_EQ(outcome->result->response->statusCode, 500);
    EXPECT_EQ(outcome->result->response->body, "{\"a\":1}");
    EXPECT_EQ(outcome->result->response->header("x-answer"), "yes");
    EXPECT_TRUE(outcome->onMainThread);
}

struct FailureCase {
    const char* name;
    ScriptedReply reply;
    std::chrono::seconds timeout;
    bool missingFile;
    bool refusedPort;
    size_t bodyBytes = 0;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class HttpClientFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(HttpClientFailures, ReportOneTransportFailureWithADescription)
{
    const FailureCase& c = GetParam();
    test::TempDir dir;
    std::string url;
    std::optional<TestHttpServer> server(std::in_place);
    server->setReply("POST", "/x", c.reply);
    url = server->baseUrl() + "/x";
    if (c.refusedPort)
        server.reset(); // nothing listens there any more

    HttpRequest request;
    request.url = url;
    request.inactivityTimeout = c.timeout;
    if (c.missingFile)
        request.bodyFile = dir / "missing.bin";
    request.body.assign(c.bodyBytes, 'x');
    auto outcome = std::make_shared<Outcome>();
    auto handle = startRecording(request, outcome);

    ASSERT_TRUE(pumpUntil([&] { return outcome->result.has_value(); }, networkWait));
    EXPECT_FALSE(outcome->result->response);
    ASSERT_TRUE(outcome->result->failure);
    EXPECT_FALSE(outcome->result->failure->empty());
    EXPECT_TRUE(outcome->onMainThread);
    pumpFor(50ms);
    EXPECT_EQ(outcome->reports, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpClientFailures,
    ::testing::Values(
        // No byte for longer than the inactivity time-out.
        FailureCase{"InactivityTimeout", ScriptedReply(200, "late").withDelay(4s), 1s, false, false},
        // The same right after a large body went out quickly.
        FailureCase{"InactivityAfterALargeBody", ScriptedReply(200, "late").withDelay(4s), 1s, false, false,
                    8 << 20},
        FailureCase{"ConnectionDroppedMidBody", ScriptedReply(200, "0123456789").dropped(),
                    5s, false, false},
        FailureCase{"MissingBodyFile", ScriptedReply(200), 5s, true, false},
        FailureCase{"ConnectionRefused", ScriptedReply(200), 5s, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpClient, ReleasingTheHandleAbortsAndDeliversNothing)
{
    TestHttpServer server;
    // Long enough that the answer cannot have been delivered before the
    // release, even on a starved machine.
    server.setReply("POST", "/slow", ScriptedReply(200, "done").withDelay(1s));
    HttpRequest request;
    request.url = server.baseUrl() + "/slow";
    auto outcome = std::make_shared<Outcome>();
    auto handle = startRecording(request, outcome);

    ASSERT_TRUE(pumpUntil([&] { return server.requestCount() == 1; }, networkWait));
    handle.reset();
    EXPECT_FALSE(handle);
    pumpFor(1300ms); // the server has answered by then
    EXPECT_EQ(outcome->reports, 0);
}

TEST(HttpClient, ReplacingAHandleSilencesTheFirstRequestOnly)
{
    TestHttpServer server;
    server.setReply("POST", "/a", ScriptedReply(200, "first").withDelay(100ms));
    server.setReply("POST", "/b", ScriptedReply(200, "second"));
    auto first = std::make_shared<Outcome>();
    auto second = std::make_shared<Outcome>();
    HttpRequest request;
    request.url = server.baseUrl() + "/a";
    Cancelable slot = startRecording(request, first);
    request.url = server.baseUrl() + "/b";
    slot = startRecording(request, second);

    ASSERT_TRUE(pumpUntil([&] { return second->result.has_value(); }, networkWait));
    pumpFor(300ms);
    EXPECT_EQ(first->reports, 0);
    EXPECT_EQ(second->result->response->body, "second");
}

TEST(HttpClient, ACompletedRequestWhoseReportIsQueuedStaysSilentAfterRelease)
{
    TestHttpServer server;
    server.setReply("POST", "/x", ScriptedReply(200, "x"));
    HttpRequest request;
    request.url = server.baseUrl() + "/x";
    auto outcome = std::make_shared<Outcome>();
    auto handle = startRecording(request, outcome);
    // Keep the main thread busy (no event processing) until the answer has
    // certainly been queued for it.
    while (server.requestCount() == 0)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(200ms);
    handle.reset();
    pumpFor(100ms);
    EXPECT_EQ(outcome->reports, 0);
}

TEST(HttpClient, NetworkThreadDeliveryRunsOffTheMainThread)
{
    TestHttpServer server;
    server.setReply("POST", "/x", ScriptedReply(201, "x"));
    HttpRequest request;
    request.url = server.baseUrl() + "/x";
    auto outcome = std::make_shared<Outcome>();
    std::atomic<bool> done{false};
    HttpCallbacks callbacks;
    callbacks.delivery = Delivery::networkThread;
    callbacks.onFinished = [&](HttpResult result) {
        outcome->onMainThread = isMainThread();
        outcome->result = std::move(result);
        done = true;
    };
    auto handle = HttpClient::shared().start(request, callbacks);
    ASSERT_TRUE(pumpUntil([&] { return done.load(); }, networkWait));
    EXPECT_FALSE(outcome->onMainThread);
    EXPECT_EQ(outcome->result->response->statusCode, 201);
}

} // namespace
} // namespace zirv::net

namespace zirv::net {
namespace {

TEST(HttpClient, HonoursTheProxyEnvironment)
{
    // The test server stands in for a proxy: it receives the absolute URL.
    TestHttpServer proxy;
    proxy.setReply("POST", "http://zirv-backend.invalid/api/x", ScriptedReply(200, "via proxy"));
    qputenv("http_proxy", QByteArray::fromStdString(proxy.baseUrl()));
    HttpRequest request;
    request.url = "http://zirv-backend.invalid/api/x";
    auto outcome = std::make_shared<Outcome>();
    auto handle = startRecording(request, outcome);
    ASSERT_TRUE(pumpUntil([&] { return outcome->result.has_value(); }, networkWait));
    qunsetenv("http_proxy");
    ASSERT_TRUE(outcome->result->response) << *outcome->result->failure;
    EXPECT_EQ(outcome->result->response->body, "via proxy");
    ASSERT_EQ(proxy.requestCount(), 1u);
    EXPECT_EQ(proxy.requests()[0].header("Host"), "zirv-backend.invalid");
}

} // namespace
} // namespace zirv::net
