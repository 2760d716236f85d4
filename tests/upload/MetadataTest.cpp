#include "UploadTestSupport.h"

#include "app/core/MainThread.h"
#include "tests/support/EventPump.h"
#include "tests/support/TempDir.h"
#include "upload/MediaMetadata.h"
#include "upload/MediaTypes.h"
#include "upload/util/Digest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>

#include <sys/stat.h>

#include <future>
#include <thread>

using namespace zirv;
using namespace zirv::test;
namespace fs = std::filesystem;

namespace {

const QString suffix = QStringLiteral("20240102030405");

MetadataFormat format(std::optional<QString> title, std::optional<QString> artist,
                      std::optional<QString> album)
{
    return MetadataFormat{std::move(title), std::move(artist), std::move(album)};
}

struct TextsCase {
    const char* what;
    AudioMetadata metadata;
    QString suffix;
    AudioTexts expected;
};

QByteArray readAll(const fs::path& path)
{
    QFile file(QFile::decodeName(path.c_str()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(MetadataRules, TextsConcatenateAcrossFormats)
{
    const auto aquaBoCee = format(QStringLiteral("Aqua"), QStringLiteral("Bo"), QStringLiteral("Cee"));
    const TextsCase cases[] = {
        {"one format", {true, 1, {aquaBoCee}}, suffix, {"Aqua ", "Bo ", "Cee (20240102030405)"}},
        {"one format without items", {true, 1, {format({}, {}, {})}}, suffix,
         {"NO_ASSIGNED_TITLE", "NO_ASSIGNED_ARTIST", "NO_ASSIGNED_ALBUM (20240102030405)"}},
        {"two equal formats: the suffix is contained after the first", {true, 1, {aquaBoCee, aquaBoCee}},
         suffix, {"Aqua Aqua ", "Bo Bo ", "Cee (20240102030405)Cee"}},
        {"no formats", {true, 1, {}}, suffix, {"", "", ""}},
        {"not loaded", {false, 0, {aquaBoCee}}, suffix, {"", "", ""}},
        {"title and artist, no album, empty suffix",
         {true, 1, {format(QStringLiteral("Aqua"), QStringLiteral("Bo"), {})}}, QString(),
         {"Aqua ", "Bo ", "NO_ASSIGNED_ALBUM ()"}},
        {"title and artist, no album, with suffix",
         {true, 1, {format(QStringLiteral("Aqua"), QStringLiteral("Bo"), {})}}, suffix,
         {"Aqua ", "Bo ", "NO_ASSIGNED_ALBUM (20240102030405)"}},
        {"an empty suffix is never contained", {true, 1, {aquaBoCee, aquaBoCee}}, QString(),
         {"Aqua Aqua ", "Bo Bo ", "Cee ()Cee ()"}},
        {"defaults of an empty first format stay in front",
         {true, 1, {format({}, {}, {}), aquaBoCee}}, suffix,
         {"NO_ASSIGNED_TITLEAqua ", "NO_ASSIGNED_ARTISTBo ", "NO_ASSIGNED_ALBUM (20240102030405)Cee"}},
        {"an album that already holds the suffix",
         {true, 1, {format({}, {}, QStringLiteral("Mix 20240102030405"))}}, suffix,
         {"NO_ASSIGNED_TITLE", "NO_ASSIGNED_ARTIST", "Mix 20240102030405"}},
        {"three formats, only the last with an album",
         {true, 1,
          {format(QStringLiteral("A"), {}, {}), format({}, QStringLiteral("B"), {}),
           format({}, {}, QStringLiteral("C"))}},
         suffix, {"A ", "NO_ASSIGNED_ARTISTB ", "NO_ASSIGNED_ALBUM (20240102030405)C"}},
    };
    for (const TextsCase& c : cases) {
        SCOPED_TRACE(c.what);
        const AudioTexts texts = audioTexts(c.metadata, c.suffix);
        EXPECT_EQ(texts.title, c.expected.title);
        EXPECT_EQ(texts.artist, c.expected.artist);
        EXPECT_EQ(texts.album, c.expected.album);
    }
}

TEST(MetadataRules, DocumentTitleCarriesTheSuffix)
{
    EXPECT_EQ(documentTitle(QStringLiteral("Class Notes"), suffix), QStringLiteral("Class Notes (20240102030405)"));
    EXPECT_EQ(documentTitle(QStringLiteral("Class Notes"), QString()), QStringLiteral("Class Notes ()"));
}

TEST(MetadataRules, Sha1OfTheEmptyMessage)
{
    TempDir dir;
    const fs::path empty = dir.write("empty.mp3", "");
    EXPECT_EQ(sha1Hex(readAll(empty)), QStringLiteral("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
    const auto streamed = digestFile(empty, DigestAlgorithm::sha1);
    ASSERT_TRUE(streamed.has_value());
    EXPECT_EQ(hexString(streamed->digest), QStringLiteral("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
}

TEST(MetadataReader, ReadsTheTagBlocksOfTheFixtures)
{
    const auto reader = makeMediaMetadataReader();

    const AudioMetadata id3v2 = reader->readAudio(fixturePath("tone-id3v2.mp3"));
    ASSERT_TRUE(id3v2.loaded);
    EXPECT_GT(id3v2.durationSeconds, 0.5);
    EXPECT_LT(id3v2.durationSeconds, 2.0);
    ASSERT_EQ(id3v2.formats.size(), 1u);
    EXPECT_EQ(id3v2.formats[0].title, QStringLiteral("Aqua"));
    EXPECT_EQ(id3v2.formats[0].artist, QStringLiteral("Bo"));
    EXPECT_EQ(id3v2.formats[0].album, std::nullopt);

    // ID3v2 first, then ID3v1.
    const AudioMetadata both = reader->readAudio(fixturePath("tone-id3v1v2.mp3"));
    ASSERT_TRUE(both.loaded);
    ASSERT_EQ(both.formats.size(), 2u);
    for (const MetadataFormat& f : both.formats) {
        EXPECT_EQ(f.title, QStringLiteral("Aqua"));
        EXPECT_EQ(f.artist, QStringLiteral("Bo"));
        EXPECT_EQ(f.album, QStringLiteral("Cee"));
    }

    const AudioMetadata mp4 = reader->readAudio(fixturePath("tone.m4a"));
    ASSERT_TRUE(mp4.loaded);
    EXPECT_GT(mp4.durationSeconds, 0.5);
    ASSERT_EQ(mp4.formats.size(), 1u);
    EXPECT_EQ(mp4.formats[0].title, QStringLiteral("Aqua"));
    EXPECT_EQ(mp4.formats[0].artist, QStringLiteral("Bo"));
    EXPECT_EQ(mp4.formats[0].album, QStringLiteral("Cee"));

    const DocumentAttributes pdf = reader->readDocument(fixturePath("notes.pdf"));
    EXPECT_TRUE(pdf.opened);
    EXPECT_EQ(pdf.producer, QStringLiteral("Fixture Producer"));
    EXPECT_EQ(pdf.creator, QStringLiteral("Fixture Creator"));
}

TEST(MetadataReader, BadInputNeitherCrashesNorBlocks)
{
    TempDir dir;
    const QByteArray mp3 = readAll(fixturePath("tone-id3v1v2.mp3"));
    const QByteArray m4a = readAll(fixturePath("tone.m4a"));
    const QByteArray pdf = readAll(fixturePath("notes.pdf"));
    ASSERT_FALSE(mp3.isEmpty());

    struct Case {
        const char* name;
        QByteArray content;
        bool mustNotOpenAsDocument;
    };
    const Case cases[] = {
        {"empty.mp3", {}, true},
        {"empty.m4a", {}, true},
        {"empty.pdf", {}, true},
        {"truncated.mp3", mp3.left(200), true},
        {"truncated-header.mp3", mp3.left(7), true},
        {"truncated.m4a", m4a.left(m4a.size() / 2), true},
        {"truncated.pdf", pdf.left(pdf.size() / 2), false},
        {"not-a-pdf.pdf", QByteArray("plain text, not a document\n"), true},
        {"noise.mp3", contentOf(3, 4096), true},
        {"pdf-named.mp3", pdf, false},
        {"mp3-named.m4a", mp3, true},
        {"caf\xe9.mp3", mp3, true},
    };
    const auto reader = makeMediaMetadataReader();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir.write(c.name, c.content);
        reader->readAudio(file);
        const DocumentAttributes attributes = reader->readDocument(file);
        if (c.mustNotOpenAsDocument) {
            EXPECT_FALSE(attributes.opened);
        }
    }

    const fs::path fifo = dir / "pipe.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& odd : {fifo, dir / "missing.mp3", dir.path()}) {
        EXPECT_FALSE(reader->readAudio(odd).loaded);
        EXPECT_FALSE(reader->readDocument(odd).opened);
    }
}

namespace {

class MetadataStep : public ::testing::Test {
protected:
    NotificationHub hub;
    ModifiedCounter posts{hub};
    TempDir dir;

    MediaItemRef add(ContentCache& cache, const fs::path& file)
    {
        cache.addMediaFile(file);
        const auto items = itemsAt(cache, file);
        EXPECT_EQ(items.size(), 1u);
        return items.empty() ? nullptr : items.front();
    }
    fs::path copyFixture(const char* fixture, const fs::path& name)
    {
        return dir.write(name, readAll(fixturePath(fixture)));
    }
    // Runs the step and waits for the item to move on.
    bool runStep(ContentCache& cache, const MediaItemRef& item)
    {
        cache.localGetFileDetails(item->uniqueId);
        return pumpUntil([&] { return item->currentStatus == ProcessingState::serverVerifyChecksum; });
    }
};

struct StepCase {
    const char* fixture;
    const char* name;
    QString suffix;
    AudioTexts expected;
};

} // namespace

TEST_F(MetadataStep, WritesTheTextsOfRealFilesAndMovesTheItemOn)
{
    const StepCase cases[] = {
        {"tone-id3v2.mp3", "Track.mp3", QString(), {"Aqua ", "Bo ", "NO_ASSIGNED_ALBUM ()"}},
        {"tone-id3v2.mp3", "Track.mp3", suffix, {"Aqua ", "Bo ", "NO_ASSIGNED_ALBUM (20240102030405)"}},
        {"tone-id3v1v2.mp3", "Both.mp3", suffix, {"Aqua Aqua ", "Bo Bo ", "Cee (20240102030405)Cee"}},
        {"tone.m4a", "Track.m4a", suffix, {"Aqua ", "Bo ", "Cee (20240102030405)"}},
        {"notes.pdf", "Class Notes.pdf", suffix,
         {"Class Notes (20240102030405)", "Fixture Producer", "Fixture Creator"}},
        {"notes.pdf", "Class Notes.pdf", QString(), {"Class Notes ()", "Fixture Producer", "Fixture Creator"}},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / suffix " + c.suffix.toStdString());
        ContentCache cache(hub);
        cache.metadataExtension = c.suffix;
        const MediaItemRef item = add(cache, copyFixture(c.fixture, c.name));
        ASSERT_TRUE(item);
        item->itemMetadataTrackNumber = 5;

        cache.localGetFileDetails(item->uniqueId);
        EXPECT_TRUE(item->isCurrentlyProcessing) << "the running mark is set when the step starts";
        EXPECT_EQ(item->currentStatus, ProcessingState::localGetFileDetails);
        ASSERT_TRUE(pumpUntil([&] { return item->currentStatus == ProcessingState::serverVerifyChecksum; }));

        EXPECT_FALSE(item->isCurrentlyProcessing);
        EXPECT_EQ(item->itemMetadataTitle, c.expected.title);
        EXPECT_EQ(item->itemMetadataArtist, c.expected.artist);
        EXPECT_EQ(item->itemMetadataAlbum, c.expected.album);
        if (item->mediaType == mediaTypeAudio) {
            EXPECT_EQ(item->itemMetadataTrackNumber, 0);
            EXPECT_GT(item->runningTime, 0.5f);
        }
        EXPECT_EQ(cache.mediaItemsList.first(item->uniqueId).value(), item);
    }
}

TEST_F(MetadataStep, AnnouncesOneSecondAfterTheWorkOnTheMainThread)
{
    ContentCache cache(hub);
    const MediaItemRef item = add(cache, copyFixture("tone-id3v2.mp3", "Track.mp3"));
    ASSERT_TRUE(pumpUntil([&] { return posts.count() == 1; })) << "the intake announcement";

    ASSERT_TRUE(runStep(cache, item));
    EXPECT_EQ(posts.count(), 1) << "the step's announcement follows one second later";
    ASSERT_TRUE(pumpUntil([&] { return posts.count() == 2; }, std::chrono::seconds(5)));
    EXPECT_TRUE(posts.allOnMainThread());
}

TEST_F(MetadataStep, FilesThatCannotBeReadStillMoveOnWithEmptyTexts)
{
    struct Case {
        const char* name;
        QByteArray content;
        bool vanish;
        bool becomesPipe;
    };
    const Case cases[] = {
        {"Not a document.pdf", QByteArray("plain text\n"), false, false},
        {"Empty.pdf", QByteArray(), false, false},
        {"Empty.mp3", QByteArray(" "), false, false},
        {"Noise.m4a", contentOf(4, 2048), false, false},
        {"Vanished.mp3", contentOf(5), true, false},
        {"Vanished.pdf", contentOf(6), true, false},
        {"Replaced by a pipe.mp3", contentOf(7), false, true},
        {"Replaced by a pipe.pdf", contentOf(8), false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ContentCache cache(hub);
        cache.metadataExtension = suffix;
        const fs::path file = dir.write(c.name, c.content);
        const MediaItemRef item = add(cache, file);
        ASSERT_TRUE(item);
        if (c.vanish || c.becomesPipe)
            fs::remove(file);
        if (c.becomesPipe) {
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        }

        ASSERT_TRUE(runStep(cache, item));
        EXPECT_FALSE(item->isCurrentlyProcessing);
        if (item->mediaType == mediaTypeChoreography) {
            EXPECT_TRUE(item->itemMetadataTitle.isEmpty());
            EXPECT_TRUE(item->itemMetadataArtist.isEmpty());
            EXPECT_TRUE(item->itemMetadataAlbum.isEmpty());
        }
        fs::remove(file);
    }
}

TEST_F(MetadataStep, TruncatedFilesMoveOn)
{
    const QByteArray mp3 = readAll(fixturePath("tone-id3v1v2.mp3"));
    const QByteArray pdf = readAll(fixturePath("notes.pdf"));
    ContentCache cache(hub);
    const MediaItemRef a = add(cache, dir.write("Cut.mp3", mp3.left(mp3.size() / 3)));
    const MediaItemRef b = add(cache, dir.write("Cut.pdf", pdf.left(pdf.size() / 2)));
    ASSERT_TRUE(a && b);
    cache.localGetFileDetails(a->uniqueId);
    cache.localGetFileDetails(b->uniqueId);
    ASSERT_TRUE(pumpUntil([&] {
        return a->currentStatus == ProcessingState::serverVerifyChecksum
            && b->currentStatus == ProcessingState::serverVerifyChecksum;
    }));
}

TEST_F(MetadataStep, NonUtf8NamesAreReadAndTitled)
{
    ContentCache cache(hub);
    const MediaItemRef audio = add(cache, copyFixture("tone-id3v2.mp3", std::string("caf\xe9.mp3")));
    const MediaItemRef document = add(cache, copyFixture("notes.pdf", std::string("not\xff\xfes.pdf")));
    ASSERT_TRUE(audio && document);
    ASSERT_TRUE(runStep(cache, audio));
    ASSERT_TRUE(runStep(cache, document));
    EXPECT_EQ(audio->itemMetadataTitle, QStringLiteral("Aqua "));
    EXPECT_EQ(document->itemMetadataArtist, QStringLiteral("Fixture Producer"));
    EXPECT_TRUE(document->itemMetadataTitle.startsWith(QStringLiteral("not")));
    EXPECT_TRUE(document->itemMetadataTitle.endsWith(QStringLiteral(" ()")));
}

TEST_F(MetadataStep, AnIdNotInTheListDoesNothing)
{
    ContentCache cache(hub);
    const MediaItemRef item = add(cache, dir.write("Track.mp3", contentOf(1)));
    ASSERT_TRUE(pumpUntil([&] { return posts.count() == 1; }));
    cache.localGetFileDetails(QStringLiteral("no such id"));
    EXPECT_FALSE(item->isCurrentlyProcessing);
    pumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ(item->currentStatus, ProcessingState::localGetFileDetails);
    EXPECT_EQ(posts.count(), 1);
}

namespace {

// Holds every read until released, and notes the thread it ran on.
class GatedReader final : public MediaMetadataReader {
public:
    std::shared_future<void> gate;
    mutable std::atomic<bool> ranOnMain{false};
    mutable std::atomic<int> reads{0};

    AudioMetadata readAudio(const fs::path&) const override
    {
        note();
        return AudioMetadata{true, 2.5, {format(QStringLiteral("T"), QStringLiteral("A"), QStringLiteral("L"))}};
    }
    DocumentAttributes readDocument(const fs::path&) const override
    {
        note();
        return {};
    }

private:
    void note() const
    {
        ranOnMain = ranOnMain || isMainThread();
        gate.wait();
        ++reads;
    }
};

} // namespace

TEST_F(MetadataStep, ReadingRunsOffTheMainThreadAndTheItemIsWrittenOnIt)
{
    std::promise<void> release;
    auto reader = std::make_shared<GatedReader>();
    reader->gate = release.get_future().share();
    ContentCache cache(hub, reader);
    cache.metadataExtension = suffix;
    const MediaItemRef item = add(cache, dir.write("Track.mp3", contentOf(1)));

    // Returns at once although the reader is held.
    cache.localGetFileDetails(item->uniqueId);
    EXPECT_TRUE(item->isCurrentlyProcessing);
    pumpFor(std::chrono::milliseconds(20));
    EXPECT_EQ(item->currentStatus, ProcessingState::localGetFileDetails);

    // Changing the suffix before the result arrives: the main thread's value
    // at the time of writing is the one used.
    cache.metadataExtension = QStringLiteral("19991231235959");
    release.set_value();
    ASSERT_TRUE(pumpUntil([&] { return item->currentStatus == ProcessingState::serverVerifyChecksum; }));
    EXPECT_FALSE(reader->ranOnMain);
    EXPECT_EQ(item->itemMetadataAlbum, QStringLiteral("L (19991231235959)"));
    EXPECT_EQ(item->runningTime, 2.5f);
}

TEST_F(MetadataStep, DestroyingTheEngineWithReadsInFlightIsSafe)
{
    std::promise<void> release;
    auto reader = std::make_shared<GatedReader>();
    reader->gate = release.get_future().share();
    {
        auto cache = std::make_unique<ContentCache>(hub, reader);
        const MediaItemRef item = add(*cache, dir.write("Track.mp3", contentOf(1)));
        cache->localGetFileDetails(item->uniqueId);
        std::thread releaser([&] { release.set_value(); });
        cache.reset();
        releaser.join();
    }
    EXPECT_EQ(reader->reads, 1);
    pumpFor(std::chrono::milliseconds(20));
}
