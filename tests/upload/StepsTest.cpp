// The backend and cloud-storage steps of an upload item against a loopback
// server that records every request.

#include "UploadTestSupport.h"

#include "tests/support/EventPump.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "backend/reachability/UtilNetwork.h"
#include "upload/StorageRequests.h"
#include "upload/util/Digest.h"

#include <gtest/gtest.h>

#include <QFile>

#include <functional>

using namespace zirv;
using namespace zirv::test;
using namespace std::chrono_literals;

namespace {

std::string statusAnswer(int code)
{
    return R"({"status":{"statusCode":)" + std::to_string(code)
        + R"(,"dataRecordsReturned":0,"moreDataAvailable":false,"databaseErrors":{"errorCode":0,"errorMessage":""}}})";
}

struct StepsFixture : ::testing::Test {
    TestHttpServer server;
    NotificationHub hub;
    ContentCache cache{hub};

    void SetUp() override { qputenv("ZIRV_BACKEND_URL", QByteArray::fromStdString(server.baseUrl())); }
    void TearDown() override { qunsetenv("ZIRV_BACKEND_URL"); }

    MediaItemRef add(ProcessingState state, int64_t mediaType, const std::filesystem::path& location = "/music/a.mp3")
    {
        MediaItemRef item = itemIn(state, 2048, mediaType, location);
        item->uniqueId += QString::number(cache.mediaItemsList.count());
        item->backblazeFileName = QStringLiteral("F-") + item->uniqueId;
        item->backblazeAccountApiUrlString = QString::fromStdString(server.baseUrl());
        item->backblazeAccountAuthorizationToken = QStringLiteral("acct-token");
        item->backblazeBucketId = QStringLiteral("bucket-1");
        item->backblazeUploadUrlString = QString::fromStdString(server.baseUrl()) + QStringLiteral("/upload");
        item->backblazeUploadAuthorizationToken = QStringLiteral("up-token");
        cache.mediaItemsList.append(item);
        return item;
    }
    bool settled(const MediaItemRef& item) { return pumpUntil([&] { return !item->isCurrentlyProcessing; }, 15s); }
};

} // namespace

TEST_F(StepsFixture, HashCheckSendsZeroTokenAndMovesOnByCode)
{
    server.setReply("POST", "/api/zirvUserAudioHashcode", ScriptedReply(200, statusAnswer(4)));
    const MediaItemRef item = add(ProcessingState::serverVerifyChecksum, 0);
    cache.serverVerifyChecksum(item->uniqueId);
    EXPECT_TRUE(item->isCurrentlyProcessing);
    ASSERT_TRUE(settled(item));
    EXPECT_EQ(item->currentStatus, ProcessingState::backblazeGetAuthorisation);
    ASSERT_EQ(server.requestCount(), 1u);
    const RecordedRequest request = server.requests()[0];
    EXPECT_EQ(request.body, R"({"currentSecurity":{"accessToken":"00000000-0000-0000-0000-000000000000"},"fileHashCode":")"
                                + item->checksum.toStdString() + R"(","fileSize":2048,"itemPlatform":1})");
    EXPECT_FALSE(cache.retryLogin);
}

TEST_F(StepsFixture, CodeTwentyOneFailsHashCheckWithLoginRetryButNotRegistration)
{
    server.setReply("POST", "/api/zirvUserChoreographyHashcode", ScriptedReply(200, statusAnswer(21)));
    server.setReply("POST", "/api/zirvUserChoreographyCreate", ScriptedReply(200, statusAnswer(21)));
    const MediaItemRef registering = add(ProcessingState::serverWriteFileOwnership, 2, "/notes/a b.pdf");
    registering->itemMetadataArtist = QStringLiteral("Producer ");
    cache.serverWriteFileOwnership(registering->uniqueId);
    ASSERT_TRUE(settled(registering));
    EXPECT_EQ(registering->currentStatus, ProcessingState::processingCompletedError);
    EXPECT_EQ(registering->errorMessage, QString());
    EXPECT_FALSE(cache.retryLogin);
    const std::string body = server.requests()[0].body;
    EXPECT_NE(body.find(R"("metadataAuthor":"Producer ","metadataFile":"file:///notes/a%20b.pdf")"), std::string::npos) << body;
    EXPECT_EQ(body.find("metadataAlbum"), std::string::npos);

    const MediaItemRef checking = add(ProcessingState::serverVerifyChecksum, 2);
    cache.serverVerifyChecksum(checking->uniqueId);
    ASSERT_TRUE(settled(checking));
    EXPECT_EQ(checking->currentStatus, ProcessingState::processingCompletedError);
    EXPECT_FALSE(checking->errorMessage.isEmpty());
    EXPECT_TRUE(cache.retryLogin);
}

TEST_F(StepsFixture, VideoItemFailsAtHashCheck)
{
    const MediaItemRef item = add(ProcessingState::serverVerifyChecksum, 1);
    cache.serverVerifyChecksum(item->uniqueId);
    EXPECT_FALSE(item->isCurrentlyProcessing);
    EXPECT_EQ(item->currentStatus, ProcessingState::processingCompletedError);
    EXPECT_FALSE(item->errorMessage.isEmpty());
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(StepsFixture, BothMediaTypesPickTheirBucketFromOneListing)
{
    server.setReply("POST", "/b2api/v2/b2_list_buckets",
                    ScriptedReply(200, R"({"buckets":[{"bucketName":"vezuri2davodorozada","bucketId":"choreo-id"},)"
                                       R"({"bucketName":"vedidi2rodar","bucketId":"audio-id"}]})"));
    const MediaItemRef audio = add(ProcessingState::backblazeGetBucketDetails, 0);
    const MediaItemRef notes = add(ProcessingState::backblazeGetBucketDetails, 2);
    cache.backblazeGetBucketDetails(audio->uniqueId);
    cache.backblazeGetBucketDetails(notes->uniqueId);
    ASSERT_TRUE(settled(audio));
    ASSERT_TRUE(settled(notes));
    EXPECT_EQ(audio->backblazeBucketId, "audio-id");
    EXPECT_EQ(notes->backblazeBucketId, "choreo-id");
    EXPECT_EQ(audio->currentStatus, ProcessingState::backblazeGetUploadUrl);
    const RecordedRequest request = server.requests()[0];
    EXPECT_EQ(request.body, R"({"accountId":"5e0b1f9c8d4a"})");
    EXPECT_EQ(request.header("Authorization"), "acct-token");
    EXPECT_EQ(request.header("Content-Type"), std::nullopt);
}

TEST_F(StepsFixture, ConfirmationNeedsFilesAndTrimmedName)
{
    struct Case {
        const char* what;
        std::string suffixOrBody;
        bool emptyFiles;
        ProcessingState expected;
    };
    const Case cases[] = {
        {"trailing space", " ", false, ProcessingState::serverWriteFileOwnership},
        {"empty files", "", true, ProcessingState::processingCompletedError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MediaItemRef item = add(ProcessingState::backblazeValidateFile, 0);
        server.queueReply("POST", "/b2api/v2/b2_list_file_names",
                          ScriptedReply(200, std::string(R"({"files":)") + (c.emptyFiles ? "[]" : "[{}]")
                                                 + R"(,"nextFileName":")" + item->backblazeFileName.toStdString()
                                                 + c.suffixOrBody + "\"}"));
        cache.backblazeValidateFile(item->uniqueId);
        ASSERT_TRUE(settled(item));
        EXPECT_EQ(item->currentStatus, c.expected);
        EXPECT_EQ(server.requests().back().body, R"({"bucketId":"bucket-1", "startFileName":")"
                                                     + item->backblazeFileName.toStdString()
                                                     + R"(", "maxFileCount":1})");
    }
}

TEST_F(StepsFixture, RefusedTransferMovesOnToConfirmation)
{
    TempDir dir;
    const std::filesystem::path file = dir.path() / "a.mp3";
    {
        QFile out(QFile::decodeName(file.c_str()));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(2048, 'x'));
    }
    server.setReply("POST", "/upload", ScriptedReply(500, R"({"code":"bad_auth_token"})"));
    const MediaItemRef item = add(ProcessingState::backblazeUploadFile, 0, file);
    cache.backblazeUploadFile(item->uniqueId);
    ASSERT_TRUE(settled(item));
    EXPECT_EQ(item->currentStatus, ProcessingState::backblazeValidateFile);
    EXPECT_EQ(item->errorMessage, QString());
    const RecordedRequest request = server.requests()[0];
    EXPECT_EQ(request.header("Authorization"), "up-token");
    EXPECT_EQ(request.header("Content-Type"), "audio/mpeg4-generic");
    EXPECT_EQ(request.header("X-Bz-Content-Sha1"), sha1Hex(QByteArray(2048, 'x')).toStdString());
    EXPECT_EQ(request.bodySize, 2048u);
}

// The SHA-1 is read ahead from the moment the item enters the chain; the
// transfer must still declare the SHA-1 of the file as it is when it is sent.
TEST_F(StepsFixture, TransferDeclaresTheSha1OfTheFileAsSent)
{
    cache.storageAuthorisationOrigin = QString::fromStdString(server.baseUrl());
    server.setReply("GET", "/b2api/v2/b2_authorize_account",
                    ScriptedReply(200, R"({"authorizationToken":"tok","apiUrl":"http://127.0.0.1:1"})"));
    server.setReply("POST", "/upload", ScriptedReply(200, "{}"));
    const auto write = [](const std::filesystem::path& file, const QByteArray& content) {
        QFile out(QFile::decodeName(file.c_str()));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(content);
    };
    const struct {
        const char* what;
        std::function<QByteArray(const std::filesystem::path&)> change;
    } cases[] = {
        {"unchanged", [](const std::filesystem::path&) { return QByteArray(2048, 'a'); }},
        {"rewritten in place, longer",
         [&](const std::filesystem::path& file) {
             write(file, QByteArray(3000, 'b'));
             return QByteArray(3000, 'b');
         }},
        {"replaced by another file of the same size",
         [&](const std::filesystem::path& file) {
             const std::filesystem::path other = file.string() + ".new";
             write(other, QByteArray(2048, 'c'));
             std::filesystem::rename(other, file);
             return QByteArray(2048, 'c');
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::filesystem::path file = dir.path() / "a.mp3";
        write(file, QByteArray(2048, 'a'));
        const MediaItemRef item = add(ProcessingState::backblazeGetAuthorisation, 0, file);
        cache.backblazeGetAuthorisation(item->uniqueId);
        ASSERT_TRUE(settled(item));
        ASSERT_EQ(item->currentStatus, ProcessingState::backblazeGetBucketDetails);
        pumpFor(100ms); // lets the read ahead finish before the change
        const QByteArray sent = c.change(file);
        item->currentStatus = ProcessingState::backblazeUploadFile;
        item->backblazeUploadUrlString = QString::fromStdString(server.baseUrl()) + QStringLiteral("/upload");
        cache.backblazeUploadFile(item->uniqueId);
        ASSERT_TRUE(settled(item));
        EXPECT_EQ(item->currentStatus, ProcessingState::backblazeValidateFile);
        const RecordedRequest request = server.requests().back();
        EXPECT_EQ(request.header("X-Bz-Content-Sha1"), sha1Hex(sent).toStdString());
        EXPECT_EQ(request.bodySize, static_cast<size_t>(sent.size()));
    }
}

TEST(StorageTexts, ProgressText)
{
    EXPECT_TRUE(storage::transferProgressText(512, 2048, 2048).endsWith(QStringLiteral(" - 25.00%")));
    EXPECT_TRUE(storage::transferProgressText(512, 2048, 2048).startsWith(QStringLiteral("Uploading ")));
    EXPECT_EQ(storage::authorisationRequest(QStringLiteral("not a url"))
                  .has_value(), false);
}

// Whatever the server does, no step leaves its item marked running. The
// transfer looks only at the transport: a fault that still ends the exchange
// (an error page, no body) moves it on to the confirmation.
TEST_F(StepsFixture, ServerFaultsNeverLeaveItemsRunning)
{
    cache.timeoutOverride = 1s;
    cache.storageAuthorisationOrigin = QString::fromStdString(server.baseUrl());
    TempDir dir;
    const std::filesystem::path file = dir.path() / "big.mp3";
    {
        QFile out(QFile::decodeName(file.c_str()));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(8 << 20, 'x')); // more than the socket buffers hold
    }
    struct Step {
        ProcessingState state;
        const char* method;
        const char* path;
        bool transfer = false;
    };
    const Step steps[] = {
        {ProcessingState::backblazeGetAuthorisation, "GET", "/b2api/v2/b2_authorize_account"},
        {ProcessingState::serverVerifyChecksum, "POST", "/api/zirvUserAudioHashcode"},
        {ProcessingState::backblazeGetBucketDetails, "POST", "/b2api/v2/b2_list_buckets"},
        {ProcessingState::backblazeGetUploadUrl, "POST", "/b2api/v2/b2_get_upload_url"},
        {ProcessingState::backblazeUploadFile, "POST", "/upload", true},
        {ProcessingState::backblazeValidateFile, "POST", "/b2api/v2/b2_list_file_names"},
        {ProcessingState::serverWriteFileOwnership, "POST", "/api/zirvUserAudioCreate"},
    };
    struct Fault {
        const char* what;
        ScriptedReply reply;
        bool transport; // the exchange itself fails
    };
    const Fault faults[] = {
        {"time-out", ScriptedReply(200, "{}").withDelay(3s), true},
        {"reset while answering", ScriptedReply(200, "{\"status\":{}}").dropped(), true},
        {"reset while receiving the body", ScriptedReply(200, "{}").cutOffRequest(), true},
        {"garbage", ScriptedReply(200, "<html>oops"), false},
        {"empty", ScriptedReply(200, ""), false},
        {"500", ScriptedReply(500, "Internal Server Error"), false},
    };
    for (const Step& step : steps) {
        for (const Fault& fault : faults) {
            SCOPED_TRACE(std::string(step.path) + " " + fault.what);
            // Only the transfer has a body large enough to be cut off.
            if (std::string_view(fault.what).starts_with("reset while receiving") && !step.transfer)
                continue;
            server.queueReply(step.method, step.path, fault.reply);
            const MediaItemRef item = add(step.state, 0, step.transfer ? file : "/music/a.mp3");
            (cache.*ContentCache::stepFor(step.state))(item->uniqueId);
            ASSERT_TRUE(settled(item));
            EXPECT_EQ(item->currentStatus, step.transfer && !fault.transport
                                               ? ProcessingState::backblazeValidateFile
                                               : ProcessingState::processingCompletedError);
            if (step.transfer && fault.transport) {
                EXPECT_EQ(item->errorMessage, "The file could not be uploaded.");
            }
        }
    }
}

TEST_F(StepsFixture, AuthorisationSendsBasicKeyPair)
{
    cache.storageAuthorisationOrigin = QString::fromStdString(server.baseUrl());
    server.setReply("GET", "/b2api/v2/b2_authorize_account",
                    ScriptedReply(200, R"({"authorizationToken":"tok","apiUrl":"http://127.0.0.1:1"})"));
    const MediaItemRef item = add(ProcessingState::backblazeGetAuthorisation, 0);
    cache.backblazeGetAuthorisation(item->uniqueId);
    ASSERT_TRUE(settled(item));
    EXPECT_EQ(item->currentStatus, ProcessingState::backblazeGetBucketDetails);
    EXPECT_EQ(item->backblazeAccountAuthorizationToken, "tok");
    EXPECT_EQ(item->backblazeAccountApiUrlString, "http://127.0.0.1:1");
    const RecordedRequest request = server.requests()[0];
    EXPECT_EQ(request.header("Authorization"),
              "Basic " + QByteArray("5e0b1f9c8d4a:00b7e5d1c9f3a0b6e2d8c4f1a7e3b9d5c0f6a2e8b4").toBase64().toStdString());
    EXPECT_EQ(request.body, "");
}

TEST_F(StepsFixture, VanishedFileFailsTheTransfer)
{
    const MediaItemRef item = add(ProcessingState::backblazeUploadFile, 2, "/nonexistent/zirv/a.pdf");
    cache.backblazeUploadFile(item->uniqueId);
    ASSERT_TRUE(settled(item));
    EXPECT_EQ(item->currentStatus, ProcessingState::processingCompletedError);
    EXPECT_EQ(item->errorMessage, "The file could not be uploaded.");
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(StepsFixture, UnformableAddressFails)
{
    const MediaItemRef item = add(ProcessingState::backblazeGetUploadUrl, 0);
    item->backblazeAccountApiUrlString = QStringLiteral("::nonsense");
    cache.backblazeGetUploadUrl(item->uniqueId);
    EXPECT_FALSE(item->isCurrentlyProcessing);
    EXPECT_EQ(item->errorMessage, "Unable to create the Backblaze URL and/or authentication data");
}

// No host check precedes the backend steps: with the data server's area
// marked down (as after a host that did not resolve), the registration is
// still sent.
TEST_F(StepsFixture, RegistrationIsSentWhileTheDataServerIsMarkedDown)
{
    UtilNetwork::AreaList& areas = UtilNetwork::shared().networkAreaStatus();
    const auto area = areas.first(QStringLiteral("0"));
    ASSERT_TRUE(area.has_value());
    (*area)->isActive = false;
    server.setReply("POST", "/api/zirvUserAudioCreate", ScriptedReply(200, statusAnswer(3)));
    const MediaItemRef item = add(ProcessingState::serverWriteFileOwnership, 0);
    cache.serverWriteFileOwnership(item->uniqueId);
    const bool ended = settled(item);
    (*area)->isActive = true;
    ASSERT_TRUE(ended);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(item->currentStatus, ProcessingState::processingCompletedOK);
}
