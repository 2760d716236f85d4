// Dropped files through every step of the upload engine against the reference
// server: metadata, the content-hash check, the five cloud-storage steps and
// the registration.

#include "tests/devserver/DevServerHarness.h"
#include "tests/support/EventPump.h"
#include "tests/support/TempDir.h"
#include "upload/ContentCache.h"
#include "upload/util/Digest.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QUuid>

#include <set>

using namespace zirv;
using namespace std::chrono_literals;

namespace {

struct EndToEnd : ::testing::Test {
    devserver::test::Harness harness;
    test::TempDir dir;
    NotificationHub hub;

    void SetUp() override
    {
        qputenv("ZIRV_BACKEND_URL", QByteArray::fromStdString(harness.server->backendUrl()));
        qputenv("ZIRV_B2_AUTH_URL", QByteArray::fromStdString(harness.server->storageUrl()));
    }
    void TearDown() override
    {
        qunsetenv("ZIRV_BACKEND_URL");
        qunsetenv("ZIRV_B2_AUTH_URL");
    }

    std::filesystem::path copyFixture(const char* fixture, const std::string& name)
    {
        const std::filesystem::path to = dir.path() / name;
        std::filesystem::copy_file(test::fixturePath(fixture), to);
        return to;
    }
};

// Moves every item on until none is pending, starting at most one item per
// state at a time, as the engine's refresh does.
bool runToEnd(ContentCache& cache)
{
    return test::pumpUntil(
        [&] {
            const std::vector<MediaItemRef> items = cache.mediaItemsList.snapshot();
            std::set<ProcessingState> busy;
            for (const MediaItemRef& item : items)
                if (item->isCurrentlyProcessing)
                    busy.insert(item->currentStatus);
            bool pending = false;
            for (const MediaItemRef& item : items) {
                if (!isPending(item->currentStatus))
                    continue;
                pending = true;
                if (!item->isCurrentlyProcessing && busy.insert(item->currentStatus).second)
                    (cache.*ContentCache::stepFor(item->currentStatus))(item->uniqueId);
            }
            return !pending;
        },
        30s);
}

} // namespace

TEST_F(EndToEnd, DroppedFilesAreStoredAndRegisteredOnceEach)
{
    const std::string token = harness.createAccount();
    const std::filesystem::path song = copyFixture("tone-id3v2.mp3", "Song.mp3");
    const std::filesystem::path notes = copyFixture("notes.pdf", "Notes.pdf");
    {
        ContentCache cache(hub);
        cache.itemAccessToken = QUuid::fromString(QString::fromStdString(token));
        cache.addMediaFile(song);
        cache.addMediaFile(notes);
        ASSERT_EQ(cache.mediaItemsList.count(), 2);
        ASSERT_TRUE(runToEnd(cache));
        for (const MediaItemRef& item : cache.mediaItemsList.snapshot()) {
            SCOPED_TRACE(item->fileLocation.string());
            EXPECT_EQ(item->currentStatus, ProcessingState::processingCompletedOK) << item->errorMessage.toStdString();
            EXPECT_EQ(item->errorMessage, QString());
            EXPECT_FALSE(item->session); // closed once the item finished
        }
        EXPECT_FALSE(cache.retryLogin);
    }

    // The stored objects hold the files' bytes, under their storage names.
    const std::string accountToken = harness.authorizeStorage();
    for (const auto& [bucket, file] : {std::pair{zirv::build::bucketAudio, song}, {zirv::build::bucketChoreography, notes}}) {
        const nlohmann::json listing = harness.storageJson(
            "/b2api/v2/b2_list_file_names", {{"bucketId", harness.bucketId(accountToken, bucket)}}, accountToken);
        ASSERT_EQ(listing["files"].size(), 1u) << listing.dump();
        QFile original(QFile::decodeName(file.c_str()));
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        EXPECT_EQ(listing["files"][0]["contentLength"], original.size());
        EXPECT_EQ(listing["files"][0]["contentSha1"], sha1Hex(original.readAll()).toStdString());
    }

    // Dropped again in a later run, the same content is already the account's.
    ContentCache again(hub);
    again.itemAccessToken = QUuid::fromString(QString::fromStdString(token));
    again.addMediaFile(copyFixture("tone-id3v2.mp3", "Copy of Song.mp3"));
    ASSERT_TRUE(runToEnd(again));
    EXPECT_EQ(again.mediaItemsList.snapshot().at(0)->currentStatus, ProcessingState::processingAlreadyUploaded);
}

// A token the server does not know (no one logged in) fails the content-hash
// check with the account message and asks for a new log-in.
TEST_F(EndToEnd, UnknownTokenAsksForANewLogin)
{
    ContentCache cache(hub);
    cache.itemAccessToken = QUuid::createUuid();
    cache.addMediaFile(copyFixture("tone-id3v2.mp3", "Song.mp3"));
    ASSERT_TRUE(runToEnd(cache));
    const MediaItemRef item = cache.mediaItemsList.snapshot().at(0);
    EXPECT_EQ(item->currentStatus, ProcessingState::processingCompletedError);
    EXPECT_FALSE(item->errorMessage.isEmpty());
    EXPECT_TRUE(cache.retryLogin);
}
