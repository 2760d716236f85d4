#include "backend/exchange/BackendExchange.h"

#include "app/core/MainThread.h"
#include "backend/i18n/LocalisedMessage.h"
#include "backend/wire/AccountRecords.h"
#include "backend/wire/UploadRecords.h"
#include "tests/support/EventPump.h"
#include "tests/support/TestHttpServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zirv {
namespace {

using namespace std::chrono_literals;

// Generous: loopback requests are quick, but sanitizer builds on a loaded
// machine are not.
constexpr auto networkWait = 30s;
using test::pumpFor;
using test::pumpUntil;
using test::ScriptedReply;
using test::TestHttpServer;
using ::testing::HasSubstr;

const std::string statusBody(int code, bool withMoreData = true)
{
    return std::string(R"({"status":{"statusCode":)") + std::to_string(code)
           + R"(,"dataRecordsReturned":0,)" + (withMoreData ? R"("moreDataAvailable":false,)" : "")
           + R"("databaseErrors":{"errorCode":5,"errorMessage":"disk"}}})";
}

class BackendExchangeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("ZIRV_BACKEND_URL", QByteArray::fromStdString(server.baseUrl() + "/"));
        MessageCatalog::shared().load({QStringLiteral("en")});
    }
    void TearDown() override { qunsetenv("ZIRV_BACKEND_URL"); }

    TestHttpServer server;
};

TEST_F(BackendExchangeTest, BuildsAJsonPostWithExactlyOneHeaderField)
{
    userStructureAudioHashcodeInput input;
    input.currentSecurity.accessToken = QUuid(QStringLiteral("5d2a9c41-e7b3-4f60-9a18-3c6e0b7d2f95"));
    input.fileHashCode = QStringLiteral("ab12");
    input.fileSize = 2048;
    const auto request = BackendExchange::buildRequest(endpoint::userAudioHashcode, input);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->method, "POST");
    EXPECT_EQ(request->url, server.baseUrl() + "/api/zirvUserAudioHashcode");
    EXPECT_EQ(request->inactivityTimeout, 20s);

    server.setReply("POST", "/api/zirvUserAudioHashcode", ScriptedReply(200, statusBody(4)));
    std::optional<std::string> body;
    auto handle = BackendExchange::send(*request, [&](std::optional<std::string> b, std::optional<QString>) {
        body = std::move(b);
    });
    ASSERT_TRUE(pumpUntil([&] { return body.has_value(); }, networkWait));
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].method, "POST");
    EXPECT_EQ(recorded[0].path, "/api/zirvUserAudioHashcode");
    EXPECT_EQ(recorded[0].headerNames(), (std::vector<std::string>{"content-length", "content-type", "host"}));
    EXPECT_EQ(recorded[0].header("Content-Type"), "application/json");
    EXPECT_EQ(recorded[0].body,
              R"({"currentSecurity":{"accessToken":"5D2A9C41-E7B3-4F60-9A18-3C6E0B7D2F95"},)"
              R"("fileHashCode":"ab12","fileSize":2048,"itemPlatform":1})");
}

TEST(BackendEndpoints, TimeOutsFollowTheFamilies)
{
    EXPECT_EQ(endpoint::accountLogin.timeout, 90s);
    EXPECT_EQ(endpoint::accountChangePassword.timeout, 90s);
    EXPECT_EQ(endpoint::definedStructureChangesRead.timeout, 600s);
    EXPECT_EQ(endpoint::userStructureChangesUpdate.timeout, 600s);
    EXPECT_EQ(endpoint::userChoreographyCreate.timeout, 20s);
}

// What an exchange delivered, in order.
struct Delivered {
    std::vector<std::string> events;
    std::optional<userStructureAudioHashcodeOutput> answer;
    QString failure;
    bool allOnMain = true;
    bool decodedOnQueue = false;
};

net::Cancelable startHashExchange(const std::string& path, ExchangeFamily family,
                                  const std::shared_ptr<Delivered>& delivered)
{
    const auto request = BackendExchange::buildRequest(path, userStructureAudioHashcodeInput{}, 5s);
    ExchangeHandlers<userStructureAudioHashcodeOutput> handlers;
    handlers.onBodyReceived = [delivered, family] {
        delivered->decodedOnQueue = sessionProcessingQueue(family).isCurrent();
    };
    handlers.onAnswer = [delivered](userStructureAudioHashcodeOutput answer) {
        delivered->allOnMain = delivered->allOnMain && isMainThread();
        delivered->events.push_back("answer");
        delivered->answer = std::move(answer);
    };
    handlers.onCompletion = [delivered] {
        delivered->allOnMain = delivered->allOnMain && isMainThread();
        delivered->events.push_back("completion");
    };
    handlers.onFailure = [delivered](QString description) {
        delivered->allOnMain = delivered->allOnMain && isMainThread();
        delivered->events.push_back("failure");
        delivered->failure = description;
    };
    return BackendExchange::exchange(*request, family, handlers);
}

struct ExchangeCase {
    const char* name;
    ScriptedReply reply;
    bool decodes;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ExchangeCase& c, std::ostream* out)
{
    *out << c.name;
}

class BackendExchangeAnswers : public BackendExchangeTest,
                               public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(BackendExchangeAnswers, DecodesTheBodyWhateverTheHttpStatus)
{
    server.setReply("POST", "/api/x", GetParam().reply);
    auto delivered = std::make_shared<Delivered>();
    auto handle = startHashExchange("/api/x", ExchangeFamily::account, delivered);

    ASSERT_TRUE(pumpUntil([&] { return !delivered->events.empty() && delivered->events.back() != "answer"; }, networkWait));
    pumpFor(20ms);
    EXPECT_TRUE(delivered->allOnMain);
    if (GetParam().decodes) {
        EXPECT_EQ(delivered->events, (std::vector<std::string>{"answer", "completion"}));
        EXPECT_EQ(delivered->answer->status.statusCode, 4);
        EXPECT_TRUE(delivered->decodedOnQueue);
    } else {
        EXPECT_EQ(delivered->events, (std::vector<std::string>{"failure"}));
        EXPECT_FALSE(delivered->failure.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackendExchangeAnswers,
    ::testing::Values(ExchangeCase{"Ok", ScriptedReply(200, statusBody(4)), true},
                      ExchangeCase{"ServerErrorWithValidBody", ScriptedReply(500, statusBody(4)), true},
                      ExchangeCase{"HtmlWithOk", ScriptedReply(200, "<html><body>hi</body></html>"), false},
                      ExchangeCase{"MissingMoreDataAvailable", ScriptedReply(200, statusBody(4, false)), false},
                      ExchangeCase{"EmptyBody", ScriptedReply(200, ""), false},
                      ExchangeCase{"ConnectionDropped", ScriptedReply(200, statusBody(4)).dropped(), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BackendExchangeTest, ASecondExchangeInTheSameSlotSilencesTheFirst)
{
    server.setReply("POST", "/api/slow", ScriptedReply(200, statusBody(4)).withDelay(1s));
    server.setReply("POST", "/api/fast", ScriptedReply(200, statusBody(4)));
    auto first = std::make_shared<Delivered>();
    auto second = std::make_shared<Delivered>();
    net::Cancelable cancelableLoginAccount = startHashExchange("/api/slow", ExchangeFamily::account, first);
    ASSERT_TRUE(pumpUntil([&] { return server.requestCount() == 1; }, networkWait));
    cancelableLoginAccount = startHashExchange("/api/fast", ExchangeFamily::account, second);

    ASSERT_TRUE(pumpUntil([&] { return second->events.size() == 2; }, networkWait));
    pumpFor(1300ms); // past the first answer's delay
    EXPECT_TRUE(first->events.empty());
    EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(BackendExchangeTest, FamiliesDecodeOnTheirOwnQueues)
{
    server.setReply("POST", "/api/x", ScriptedReply(200, statusBody(4)));
    for (const auto family : {ExchangeFamily::account, ExchangeFamily::defined, ExchangeFamily::user}) {
        auto delivered = std::make_shared<Delivered>();
        auto handle = startHashExchange("/api/x", family, delivered);
        ASSERT_TRUE(pumpUntil([&] { return delivered->events.size() == 2; }, networkWait));
        EXPECT_TRUE(delivered->decodedOnQueue);
    }
    EXPECT_EQ(sessionProcessingQueue(ExchangeFamily::account).label(), "SessionProcessingQueueAccount");
    EXPECT_EQ(sessionProcessingQueue(ExchangeFamily::defined).label(), "SessionProcessingQueueDefined");
    EXPECT_EQ(sessionProcessingQueue(ExchangeFamily::user).label(), "SessionProcessingQueueUser");
}

TEST_F(BackendExchangeTest, SendHandsBodyOrFailureToTheMainThread)
{
    server.setReply("POST", "/api/ok", ScriptedReply(500, "body"));
    server.setReply("POST", "/api/drop", ScriptedReply(200, "0123456789").dropped());
    struct Sent {
        bool done = false;
        bool onMain = false;
        std::optional<std::string> body;
        std::optional<QString> failure;
    };
    const auto sendTo = [&](const std::string& path, Sent& sent) {
        return BackendExchange::send(*BackendExchange::buildRequest(path, commonSecurity{}, 5s),
                                     [&sent](std::optional<std::string> body, std::optional<QString> failure) {
                                         sent = {true, isMainThread(), std::move(body), std::move(failure)};
                                     });
    };
    Sent ok, dropped;
    auto a = sendTo("/api/ok", ok);
    auto b = sendTo("/api/drop", dropped);
    ASSERT_TRUE(pumpUntil([&] { return ok.done && dropped.done; }, networkWait));
    EXPECT_TRUE(ok.onMain);
    EXPECT_EQ(ok.body, "body");
    EXPECT_FALSE(ok.failure);
    EXPECT_FALSE(dropped.body);
    ASSERT_TRUE(dropped.failure);
    EXPECT_FALSE(dropped.failure->isEmpty());
}

struct ClassifyCase {
    const char* name;
    std::optional<std::string> body;
    std::optional<QString> failure;
    UploadAnswerKind kind;
    QString expectedMessage;      // empty: a decoded answer is expected
    std::string expectedConsole;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ClassifyCase& c, std::ostream* out)
{
    *out << c.name;
}

class ClassifyUploadAnswer : public ::testing::TestWithParam<ClassifyCase> {
protected:
    void SetUp() override { MessageCatalog::shared().load({QStringLiteral("en")}); }
};

TEST_P(ClassifyUploadAnswer, FollowsTheOrderOfTheRules)
{
    const ClassifyCase& c = GetParam();
    ::testing::internal::CaptureStdout();
    const auto result = BackendExchange::classifyUploadAnswer<userStructureAudioHashcodeOutput>(
        c.body, c.failure, QStringLiteral("Unable to decode the userStructureAudioHashcodeOutput"),
        QStringLiteral("usaho"), c.kind);
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, c.expectedConsole);
    if (c.expectedMessage.isEmpty()) {
        ASSERT_TRUE(result.answer);
        EXPECT_TRUE(result.failureMessage.isEmpty());
    } else {
        EXPECT_FALSE(result.answer);
        EXPECT_EQ(result.failureMessage, c.expectedMessage);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassifyUploadAnswer,
    ::testing::Values(
        ClassifyCase{"NoBody", std::nullopt, QStringLiteral("timed out"), UploadAnswerKind::hashCheck,
                     "No data was returned from the server", "No data was returned\n"},
        ClassifyCase{"TransportFailureWithBody", statusBody(4), QStringLiteral("reset"), UploadAnswerKind::hashCheck,
                     "There was an error at the server: reset", "Error received from the server: reset\n"},
        ClassifyCase{"Html", "<html></html>", std::nullopt, UploadAnswerKind::hashCheck,
                     "There was an error at the server: usaho",
                     "Unable to decode the userStructureAudioHashcodeOutput\n"},
        ClassifyCase{"HashAuthentication", statusBody(21), std::nullopt, UploadAnswerKind::hashCheck,
                     "We were unable to log in to your account correctly", "Authentication error\n"},
        ClassifyCase{"HashOtherCode", statusBody(7), std::nullopt, UploadAnswerKind::hashCheck,
                     "There was a general problem at the server (code 5: disk)",
                     "hashCodeExistsAtServer failed with error code 7\nDatabase code = 5 and message = disk\n"},
        ClassifyCase{"HashNotHeld", statusBody(4), std::nullopt, UploadAnswerKind::hashCheck, "", ""},
        ClassifyCase{"HashHeld", statusBody(3), std::nullopt, UploadAnswerKind::hashCheck, "", ""},
        ClassifyCase{"RegistrationAuthenticationIsTheCallersBusiness", statusBody(21), std::nullopt,
                     UploadAnswerKind::registration, "", ""},
        ClassifyCase{"RegistrationUndecodable", "{}", std::nullopt, UploadAnswerKind::registration,
                     "There was an error at the server: usaho",
                     "Unable to decode the userStructureAudioHashcodeOutput\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zirv

namespace zirv {
namespace {

TEST_F(BackendExchangeTest, AnUnresolvableHostSendsNothing)
{
    server.setReply("POST", "/api/zirvAccountLogin", ScriptedReply(200, statusBody(4)));
    qputenv("ZIRV_BACKEND_URL", "http://no-such-host.invalid:1");
    auto request = BackendExchange::buildRequest(endpoint::accountLogin, accountLoginInput{});
    ASSERT_TRUE(request);
    bool unreachable = false, started = false;
    auto delivered = std::make_shared<Delivered>();
    ExchangeHandlers<userStructureAudioHashcodeOutput> handlers;
    handlers.onFailure = [delivered](QString) { delivered->events.push_back("failure"); };
    auto handle = BackendExchange::exchangeIfReachable(*request, ExchangeFamily::account, handlers,
                                                       [&] { unreachable = isMainThread(); },
                                                       [&] { started = true; });
    ASSERT_TRUE(pumpUntil([&] { return unreachable; }, networkWait));
    pumpFor(50ms);
    EXPECT_FALSE(started);
    EXPECT_TRUE(delivered->events.empty());
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(BackendExchangeTest, AReachableHostGoesAheadAndTheHandleCoversTheCheck)
{
    server.setReply("POST", "/api/zirvAccountLogin", ScriptedReply(200, statusBody(4)));
    auto request = BackendExchange::buildRequest(endpoint::accountLogin, accountLoginInput{});
    bool started = false;
    bool answered = false;
    ExchangeHandlers<userStructureAudioHashcodeOutput> handlers;
    handlers.onAnswer = [&](userStructureAudioHashcodeOutput) { answered = true; };
    auto handle = BackendExchange::exchangeIfReachable(*request, ExchangeFamily::account, handlers, [] {},
                                                       [&] { started = true; });
    ASSERT_TRUE(pumpUntil([&] { return answered; }, networkWait));
    EXPECT_TRUE(started);
    EXPECT_EQ(server.requestCount(), 1u);

    // Released during the check: nothing starts, nothing is sent.
    bool startedAgain = false;
    auto second = BackendExchange::exchangeIfReachable(*request, ExchangeFamily::account, handlers, [] {},
                                                       [&] { startedAgain = true; });
    second.reset();
    pumpFor(200ms);
    EXPECT_FALSE(startedAgain);
    EXPECT_EQ(server.requestCount(), 1u);
}

} // namespace
} // namespace zirv
