#include "UploadTestSupport.h"

#include "tests/support/EventPump.h"
#include "tests/support/TempDir.h"
#include "upload/Checksum.h"
#include "upload/ContentCache.h"
#include "upload/MediaTypes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRegularExpression>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <thread>

using namespace zirv;
using namespace zirv::test;
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

class Intake : public ::testing::Test {
protected:
    NotificationHub hub;
    ModifiedCounter posts{hub};
    ContentCache cache{hub};
    TempDir dir;

    std::vector<fs::path> locations() const
    {
        std::vector<fs::path> result;
        for (const MediaItemRef& item : cache.mediaItemsList.snapshot())
            result.push_back(item->fileLocation);
        return result;
    }
    // The directory listing's own order of the given names, as paths.
    std::vector<fs::path> inListingOrder(const fs::path& folder, std::set<std::string> names) const
    {
        std::vector<fs::path> result;
        for (const auto& entry : fs::directory_iterator(folder))
            if (names.count(entry.path().filename().string()))
                result.push_back(entry.path());
        return result;
    }
};

struct ExtensionCase {
    const char* name;
    std::optional<int64_t> mediaType;
};

} // namespace

TEST_F(Intake, ExtensionsDecideTheMediaTypeExactly)
{
    const ExtensionCase cases[] = {
        {"Track.mp3", mediaTypeAudio},
        {"Track.m4a", mediaTypeAudio},
        {"Notes.pdf", mediaTypeChoreography},
        {".track.mp3", mediaTypeAudio},
        {"two.dots.mp3", mediaTypeAudio},
        {"Track.MP3", std::nullopt},
        {"Notes.PDF", std::nullopt},
        {"clip.mp4", std::nullopt},
        {"song.wav", std::nullopt},
        {"mp3", std::nullopt},
        {"Track.mp3.bak", std::nullopt},
        {"Track.", std::nullopt},
    };
    int seed = 0;
    for (const ExtensionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir.write(c.name, contentOf(++seed));
        cache.addMediaFile(file);
        const auto items = itemsAt(cache, file);
        if (!c.mediaType) {
            EXPECT_TRUE(items.empty());
            continue;
        }
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0]->mediaType, *c.mediaType);
    }
}

TEST_F(Intake, NewItemHasItsInitialValuesAndIsAnnouncedOnTheMainThread)
{
    const QByteArray content = contentOf(1, 1000);
    const fs::path file = dir.write("Track.mp3", content);
    cache.addMediaFile(file);

    ASSERT_EQ(cache.mediaItemsList.count(), 1u);
    const MediaItemRef item = cache.mediaItemsList.snapshot().front();
    EXPECT_EQ(item->checksum, fileChecksum(file)->checksum);
    EXPECT_EQ(item->uniqueId, item->checksum);
    EXPECT_EQ(item->fileLocation, file);
    EXPECT_EQ(item->size, content.size());
    EXPECT_EQ(item->currentStatus, ProcessingState::localGetFileDetails);
    EXPECT_FALSE(item->isCurrentlyProcessing);
    EXPECT_EQ(item->runningTime, 0.0f);
    EXPECT_EQ(item->itemMetadataTrackNumber, 0);
    EXPECT_TRUE(item->itemMetadataTitle.isEmpty());
    EXPECT_TRUE(item->errorMessage.isEmpty());
    EXPECT_TRUE(item->backblazeBucketId.isEmpty());

    EXPECT_EQ(posts.count(), 0) << "the announcement is handed to the main thread, not made inline";
    ASSERT_TRUE(pumpUntil([&] { return posts.count() == 1; }));
    EXPECT_TRUE(posts.allOnMainThread());
}

TEST_F(Intake, ChecksumIsSha256HexThenTheSizeInSixteenDigits)
{
    struct Case {
        QByteArray content;
        QString expected;
    };
    const Case cases[] = {
        {QByteArray(),
         QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"
                        "0000000000000000")},
        {QByteArray("abc"),
         QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
                        "0000000000000003")},
    };
    for (const Case& c : cases) {
        const fs::path file = dir.write("f.bin", c.content);
        const auto checksum = fileChecksum(file);
        ASSERT_TRUE(checksum.has_value());
        EXPECT_EQ(checksum->checksum, c.expected);
        EXPECT_EQ(checksum->checksum.size(), 80);
    }
    // The size part of a 1,234,567-byte file: nine zeros, then the count.
    const fs::path large = dir.write("large.bin", QByteArray(1234567, 'z'));
    EXPECT_TRUE(fileChecksum(large)->checksum.endsWith(QStringLiteral("0000000001234567")));
}

TEST_F(Intake, EmptyFileBecomesAnItemOfSizeZero)
{
    const fs::path file = dir.write("Empty.mp3", "");
    cache.addMediaFile(file);
    const auto items = itemsAt(cache, file);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->size, 0);
    EXPECT_EQ(items[0]->checksum.size(), 80);
    EXPECT_TRUE(items[0]->checksum.endsWith(QString(16, QLatin1Char('0'))));
}

TEST_F(Intake, StorageFileNamesFollowThePatternAndAreUnique)
{
    const QRegularExpression pattern(QStringLiteral("^zirv2[0-9A-F]{32}\\.(mp3|m4a|pdf)$"));
    const char* names[] = {"a.mp3", "b.m4a", "c.pdf"};
    for (int i = 0; i < 60; ++i)
        cache.addMediaFile(dir.write(std::to_string(i) + names[i % 3], contentOf(i)));
    ASSERT_EQ(cache.mediaItemsList.count(), 60u);

    std::set<QString> seen;
    for (const MediaItemRef& item : cache.mediaItemsList.snapshot()) {
        EXPECT_TRUE(pattern.match(item->backblazeFileName).hasMatch()) << item->backblazeFileName.toStdString();
        EXPECT_TRUE(item->backblazeFileName.endsWith(
            QString::fromStdString("." + extensionOf(item->fileLocation))));
        seen.insert(item->backblazeFileName);
    }
    EXPECT_EQ(seen.size(), 60u);
}

TEST_F(Intake, DuplicateContentGivesOneItemAndLeavesTheFirstUntouched)
{
    const QByteArray content = contentOf(7, 500);
    const fs::path first = dir.write("one/Track.mp3", content);
    cache.addMediaFile(first);
    ASSERT_EQ(cache.mediaItemsList.count(), 1u);
    const MediaItemRef original = cache.mediaItemsList.snapshot().front();
    // Even a failed item keeps its state when its content is dropped again.
    original->currentStatus = ProcessingState::processingCompletedError;
    original->errorMessage = QStringLiteral("failed");

    const fs::path drops[] = {first, dir.write("two/Other name.m4a", content),
                              dir.write("three/Notes.pdf", content)};
    for (const fs::path& drop : drops)
        cache.addMediaFile(drop);

    ASSERT_EQ(cache.mediaItemsList.count(), 1u);
    const MediaItemRef kept = cache.mediaItemsList.snapshot().front();
    EXPECT_EQ(kept, original);
    EXPECT_EQ(kept->fileLocation, first);
    EXPECT_EQ(kept->currentStatus, ProcessingState::processingCompletedError);
    ASSERT_TRUE(pumpUntil([&] { return posts.count() >= 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(posts.count(), 1);
}

TEST_F(Intake, EqualContentFromEightThreadsAtOnceGivesOneItem)
{
    const QByteArray content = contentOf(9, 256 * 1024);
    const fs::path shared = dir.write("shared.mp3", content);
    std::vector<fs::path> copies;
    for (int i = 0; i < 8; ++i)
        copies.push_back(dir.write("copy" + std::to_string(i) + ".mp3", content));

    for (const auto& targets : {std::vector<fs::path>(8, shared), copies}) {
        std::vector<std::thread> threads;
        for (const fs::path& target : targets)
            threads.emplace_back([&, target] { cache.addMediaFile(target); });
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(cache.mediaItemsList.count(), 1u);
    }
    ASSERT_TRUE(pumpUntil([&] { return posts.count() >= 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(posts.count(), 1);
    EXPECT_TRUE(posts.allOnMainThread());
}

TEST_F(Intake, SubFolderResultsComeBeforeTheFolderOwnFiles)
{
    dir.write("drop/b.mp3", contentOf(1));
    dir.write("drop/a.pdf", contentOf(2));
    dir.write("drop/sub/c.m4a", contentOf(3));
    dir.write("drop/sub/d.txt", contentOf(4));
    dir.write("drop/other/e.mp3", contentOf(5));
    const fs::path drop = dir / "drop";

    cache.addMediaFolder(drop);

    // Sub-folder blocks in listing order, then the folder's own files in
    // listing order; nothing is sorted.
    std::vector<fs::path> expected;
    for (const fs::path& sub : inListingOrder(drop, {"sub", "other"}))
        expected.push_back(sub / (sub.filename() == "sub" ? "c.m4a" : "e.mp3"));
    for (const fs::path& own : inListingOrder(drop, {"b.mp3", "a.pdf"}))
        expected.push_back(own);
    EXPECT_EQ(locations(), expected);
    EXPECT_EQ(ContentCache::collectMediaFiles(drop, allowedExtensions()), expected);
}

TEST_F(Intake, HiddenEntriesAndTenLevelsOfNestingAreCollected)
{
    fs::path deep = "drop";
    for (int level = 1; level <= 10; ++level)
        deep /= "level" + std::to_string(level);
    const fs::path deepFile = dir.write(deep / "deep.m4a", contentOf(1));
    const fs::path hiddenFile = dir.write("drop/.track.mp3", contentOf(2));
    const fs::path inHiddenFolder = dir.write("drop/.hidden/inside.pdf", contentOf(3));

    cache.addMediaFolder(dir / "drop");
    EXPECT_THAT(locations(), UnorderedElementsAre(deepFile, hiddenFile, inHiddenFolder));
}

TEST_F(Intake, LinksToTheFolderOrAParentAreNotFollowed)
{
    const fs::path a = dir.write("drop/a.mp3", contentOf(1));
    const fs::path b = dir.write("drop/sub/b.mp3", contentOf(2));
    fs::create_directory_symlink(".", dir / "drop/self");
    fs::create_directory_symlink("..", dir / "drop/sub/parent");
    fs::create_directory_symlink(dir / "drop", dir / "drop/sub/absolute.mp3");
    // A link to a regular file is a file like any other.
    fs::create_symlink("a.mp3", dir / "drop/alias.mp3");
    fs::create_symlink("missing.mp3", dir / "drop/dangling.mp3");

    const auto collected = ContentCache::collectMediaFiles(dir / "drop", allowedExtensions());
    EXPECT_THAT(collected, UnorderedElementsAre(b, a, dir / "drop/alias.mp3"));
    EXPECT_EQ(collected.front(), b);

    cache.addMediaFolder(dir / "drop");
    EXPECT_EQ(cache.mediaItemsList.count(), 2u) << "alias.mp3 has the content of a.mp3";
}

TEST_F(Intake, OnlyReadableRegularFilesBecomeItems)
{
    const fs::path fifo = dir / "drop/x.mp3";
    fs::create_directories(fifo.parent_path());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(dir / "drop/folder.mp3");
    const fs::path unreadable = dir.write("drop/locked.mp3", contentOf(1));
    fs::permissions(unreadable, fs::perms::none);
    // Whoever runs the tests may read anything (root does).
    const bool readable = ::access(unreadable.c_str(), R_OK) == 0;
    const fs::path plain = dir.write("drop/plain.mp3", contentOf(2));

    // None of these may block or leave an item behind.
    cache.addMediaFile(fifo);
    cache.addMediaFile(dir / "drop/folder.mp3");
    cache.addMediaFile(dir / "drop/vanished.mp3");
    cache.addMediaFile(unreadable);
    EXPECT_EQ(cache.mediaItemsList.count(), readable ? 1u : 0u);

    cache.addMediaFolder(dir / "drop");
    if (readable)
        EXPECT_THAT(locations(), UnorderedElementsAre(unreadable, plain));
    else
        EXPECT_THAT(locations(), ElementsAre(plain));
    fs::permissions(unreadable, fs::perms::owner_all);
}

TEST_F(Intake, FileVanishedBetweenListingAndReadingIsSkipped)
{
    const fs::path gone = dir.write("drop/gone.mp3", contentOf(1));
    const fs::path kept = dir.write("drop/kept.mp3", contentOf(2));
    const auto collected = ContentCache::collectMediaFiles(dir / "drop", allowedExtensions());
    ASSERT_EQ(collected.size(), 2u);
    fs::remove(gone);
    for (const fs::path& file : collected)
        cache.addMediaFile(file);
    EXPECT_THAT(locations(), ElementsAre(kept));
}

TEST_F(Intake, FoldersThatCannotBeListedContributeNothing)
{
    const fs::path file = dir.write("file.mp3", contentOf(1));
    EXPECT_TRUE(ContentCache::collectMediaFiles(dir / "missing", allowedExtensions()).empty());
    EXPECT_TRUE(ContentCache::collectMediaFiles(file, allowedExtensions()).empty());
    cache.addMediaFolder(dir / "missing");
    EXPECT_EQ(cache.mediaItemsList.count(), 0u);

    // A sub-folder that cannot be listed drops out; the rest proceeds.
    const fs::path inLocked = dir.write("drop/locked/inside.mp3", contentOf(2));
    const fs::path outside = dir.write("drop/outside.mp3", contentOf(3));
    fs::permissions(dir / "drop/locked", fs::perms::none);
    const bool listable = ::access((dir / "drop/locked").c_str(), R_OK | X_OK) == 0;
    cache.addMediaFolder(dir / "drop");
    fs::permissions(dir / "drop/locked", fs::perms::owner_all);
    if (listable)
        EXPECT_THAT(locations(), ElementsAre(inLocked, outside));
    else
        EXPECT_THAT(locations(), ElementsAre(outside));
}

TEST_F(Intake, FileNamesThatAreNotUtf8Survive)
{
    const fs::path raw = dir / fs::path(std::string("drop/caf\xe9 \xff.mp3"));
    fs::create_directories(raw.parent_path());
    dir.write(raw.lexically_relative(dir.path()), contentOf(1));

    cache.addMediaFolder(dir / "drop");
    ASSERT_EQ(cache.mediaItemsList.count(), 1u);
    const MediaItemRef item = cache.mediaItemsList.snapshot().front();
    EXPECT_EQ(item->fileLocation.native(), raw.native());
    EXPECT_TRUE(fs::exists(item->fileLocation));
    EXPECT_TRUE(item->backblazeFileName.endsWith(QStringLiteral(".mp3")));

    cache.internalId.reset();
    const auto rows = cache.buildStatusList(cache.mediaItemsList.snapshot());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_FALSE(rows[0].filePath.isEmpty());
}
