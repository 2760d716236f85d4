// Operations spanning several entities: erasing user data, purging marked
// playlists and the configuration rows this system writes.

#include "StoreFixture.h"

#include "store/CDBatchProcessing.h"
#include "store/CDUser_Account.h"
#include "store/UtilConfiguration.h"
#include "store/UtilUserDefaults.h"
#include "tests/support/EventPump.h"

namespace zirv::test {
namespace {

class BatchTest : public StoreFixture {
protected:
    int64_t count(const char* table)
    {
        sql::Statement stmt = context().database()->prepare(std::string("SELECT count(*) FROM ") + table);
        return stmt.step() == sql::Statement::Step::row ? stmt.int64(0) : -1;
    }

    User_Configuration playlistRow(const QUuid& playlist, int64_t updateRecord)
    {
        User_Configuration row;
        row.entityKey = QUuid::createUuid();
        row.entityType = 60;
        row.configurationKeyUUID = playlist;
        row.updateRecord = updateRecord;
        return row;
    }
};

TEST_F(BatchTest, EraseUserDataKeepsTheAccountAndTheCatalogue)
{
    seedCatalogue();
    AccountValues values;
    values.email = QStringLiteral("a@b.c");
    ASSERT_TRUE(CDUser_Account().storeAccount(context(), QUuid::createUuid(), values));
    ASSERT_TRUE(CDOps_UserAudio().storeRecord(context(), ownedTrack(1, 1)));
    const QUuid playlist = QUuid::createUuid();
    ASSERT_TRUE(CDUser_PlaylistDefinition().storeRecord(context(), false, userPlaylist(playlist, 1, 1)));
    ASSERT_TRUE(CDUser_PlaylistContent().storeRecord(context(), false,
                                                     userPlaylistContent(QUuid::createUuid(), playlist, 1)));
    ASSERT_TRUE(CDUser_Configuration().storeRecord(context(), true, playlistRow(playlist, 1)));
    User_ClassHistory lesson;
    lesson.entityKey = QUuid::createUuid();
    lesson.zirv_ProgrammeKeyLink = 10;
    lesson.zirv_GymLocationKeyLink = 5;
    ZIRV_GymLocation venue;
    venue.entityKey = 5;
    ASSERT_TRUE(CDZIRV_GymLocation().storeRecord(context(), venue));
    ASSERT_TRUE(CDUser_ClassHistory().storeRecord(context(), false, lesson));
    User_ClassHistoryContents song;
    song.entityKey = QUuid::createUuid();
    song.user_ClassHistoryKeyLink = lesson.entityKey;
    song.ops_UserAudioKeyLink = 1;
    ASSERT_TRUE(CDUser_ClassHistoryContents().storeRecord(context(), false, song));
    User_ReportPlaylistCounts report;
    report.entityKey = 3;
    ASSERT_TRUE(CDUser_ReportPlaylistCounts().storeRecord(context(), false, report));

    bool done = false;
    CDBatchProcessing(*controller).eraseUserData([&] { done = true; });
    EXPECT_FALSE(done); // queued on the main context
    ASSERT_TRUE(pumpUntil([&] { return done; }));

    for (const char* table : {"User_ReportPlaylistCounts", "User_ReportPlaylistTracks", "User_ClassHistoryContents",
                              "User_ClassHistory", "User_Configuration", "User_PlaylistContent",
                              "User_PlaylistDefinition", "User_PurchaseHistory", "Ops_UserAudio",
                              "Ops_UserVideo", "Ops_UserChoreography"})
        EXPECT_EQ(count(table), 0) << table;
    EXPECT_EQ(count("User_Account"), 1);
    EXPECT_EQ(CDUser_Account().currentAccount(context())->email, QStringLiteral("a@b.c"));
    for (const char* table : {"ZIRV_Manufacturer", "ZIRV_Programme", "ZIRV_ReleaseCollection", "ZIRV_GymLocation",
                              "ZIRV_AudioDefinition", "ZIRV_PlaylistDefinition"})
        EXPECT_GT(count(table), 0) << table;
}

TEST_F(BatchTest, QueuedWorkOutlivesItsRequester)
{
    seedCatalogue();
    ASSERT_TRUE(CDOps_UserAudio().storeRecord(context(), ownedTrack(1, 1)));
    bool done = false;
    {
        CDBatchProcessing batch(*controller);
        batch.eraseUserData([&] { done = true; });
    }
    ASSERT_TRUE(pumpUntil([&] { return done; }));
    EXPECT_EQ(count("Ops_UserAudio"), 0);
}

TEST_F(BatchTest, PurgeKeepsMarkerHoldersAndPendingRows)
{
    seedCatalogue();
    CDUser_PlaylistDefinition playlists;
    CDUser_PlaylistContent contents;
    CDUser_Configuration configuration;
    const QUuid purged = QUuid::createUuid();    // marked, below the marker: goes
    const QUuid holder = QUuid::createUuid();    // marked, holds the playlist marker: stays
    const QUuid pending = QUuid::createUuid();   // marked but changed locally: stays
    const QUuid live = QUuid::createUuid();      // not marked: stays
    ASSERT_TRUE(playlists.storeRecord(context(), false, userPlaylist(purged, 32, 5)));
    ASSERT_TRUE(playlists.storeRecord(context(), false, userPlaylist(holder, 32, 9)));
    ASSERT_TRUE(playlists.storeRecord(context(), true, userPlaylist(pending, 32, 3)));
    ASSERT_TRUE(playlists.storeRecord(context(), false, userPlaylist(live, 1, 4)));

    // Rows of the purged playlist: one holds the content marker, one the
    // configuration marker; those two stay.
    const QUuid contentGone = QUuid::createUuid();
    const QUuid contentMarker = QUuid::createUuid();
    ASSERT_TRUE(contents.storeRecord(context(), false, userPlaylistContent(contentGone, purged, 1)));
    ASSERT_TRUE(contents.storeRecord(context(), false, userPlaylistContent(contentMarker, purged, 8)));
    const QUuid holderContent = QUuid::createUuid();
    ASSERT_TRUE(contents.storeRecord(context(), false, userPlaylistContent(holderContent, holder, 2)));
    const User_Configuration rowGone = playlistRow(purged, 1);
    const User_Configuration rowMarker = playlistRow(purged, 6);
    const User_Configuration pendingRow = playlistRow(pending, 2);
    ASSERT_TRUE(configuration.storeRecord(context(), false, rowGone));
    ASSERT_TRUE(configuration.storeRecord(context(), false, rowMarker));
    ASSERT_TRUE(configuration.storeRecord(context(), false, pendingRow));

    bool done = false;
    CDBatchProcessing(*controller).purgePlaylists([&] { done = true; });
    ASSERT_TRUE(pumpUntil([&] { return done; }));

    EXPECT_FALSE(playlists.fetchByKey(context(), purged));
    EXPECT_TRUE(playlists.fetchByKey(context(), holder));
    EXPECT_TRUE(playlists.fetchByKey(context(), pending));
    EXPECT_TRUE(playlists.fetchByKey(context(), live));
    EXPECT_FALSE(contents.fetchByKey(context(), contentGone));
    EXPECT_TRUE(contents.fetchByKey(context(), contentMarker));
    EXPECT_TRUE(contents.fetchByKey(context(), holderContent));
    EXPECT_FALSE(configuration.fetchByKey(context(), *rowGone.entityKey));
    EXPECT_TRUE(configuration.fetchByKey(context(), *rowMarker.entityKey));
    EXPECT_TRUE(configuration.fetchByKey(context(), *pendingRow.entityKey));
    // No change marker went down.
    EXPECT_EQ(playlists.latestUpdateRecord(context()), 9);
    EXPECT_EQ(contents.latestUpdateRecord(context()), 8);
    EXPECT_EQ(configuration.latestUpdateRecord(context()), 6);
    // The marker row's playlist link was cleared with its playlist.
    EXPECT_FALSE(contents.fetchByKey(context(), contentMarker)->user_PlaylistDefinitionKeyLink);
}

TEST_F(BatchTest, DeviceConfigurationHoldsTheVersionTexts)
{
    UtilConfiguration().addDeviceConfiguration(context());
    CDUser_Configuration configuration;
    const auto app = configuration.fetchConfigurationByKind(context(), 54, 1);
    const auto os = configuration.fetchConfigurationByKind(context(), 54, 2);
    ASSERT_TRUE(app);
    ASSERT_TRUE(os);
    EXPECT_EQ(app->valueAsNumber, 3);
    EXPECT_EQ(app->valueAsString, UtilUserDefaults::appVersionString());
    EXPECT_EQ(os->valueAsNumber, 0);
    EXPECT_EQ(os->valueAsString, UtilUserDefaults::osVersionString());
    EXPECT_EQ(app->transferStatus, 2);
    EXPECT_EQ(app->configurationKeyUUID, QUuid());
    EXPECT_EQ(app->valueAsUUID, QUuid());
    EXPECT_EQ(app->updateRecord, 0);
    EXPECT_NE(app->entityKey, os->entityKey);
}

TEST_F(BatchTest, MarkBlocksOwnedOrsTheMaskAndKeepsTheRow)
{
    seedCatalogue();
    CDZIRV_ReleaseContent contents;
    // Two release contents of the track in the same content block 300, in
    // different container blocks.
    ASSERT_TRUE(contents.storeRecord(context(), releaseContent(1, 200, 300, 1)));
    ASSERT_TRUE(contents.storeRecord(context(), releaseContent(2, 201, 300, 2)));
    ASSERT_TRUE(CDOps_UserAudio().storeRecord(context(), ownedTrack(1, 3)));
    CDUser_Configuration configuration;
    User_Configuration existing;
    existing.entityKey = QUuid::createUuid();
    existing.entityType = 81;
    existing.configurationKeyNumber = 300;
    existing.valueAsNumber = 1;
    existing.updateRecord = 44;
    ASSERT_TRUE(configuration.storeRecord(context(), false, existing));

    UtilConfiguration util;
    util.markBlocksOwned(context(), 500, 2);
    auto contentRow = configuration.fetchConfigurationByKind(context(), 81, 300);
    ASSERT_TRUE(contentRow);
    EXPECT_EQ(contentRow->entityKey, existing.entityKey);
    EXPECT_EQ(contentRow->valueAsNumber, 3);
    EXPECT_EQ(contentRow->transferStatus, 2);
    EXPECT_EQ(contentRow->updateRecord, 44);
    const auto container = configuration.fetchConfigurationByKind(context(), 80, 200);
    ASSERT_TRUE(container);
    EXPECT_EQ(container->valueAsNumber, 2);
    EXPECT_TRUE(configuration.fetchConfigurationByKind(context(), 80, 201));

    // Twice: same keys, masks ORed, no duplicate rows.
    util.markBlocksOwned(context(), 500, 1);
    EXPECT_EQ(configuration.fetchConfigurationByKind(context(), 81, 300)->entityKey, existing.entityKey);
    EXPECT_EQ(configuration.fetchConfigurationByKind(context(), 80, 200)->entityKey, container->entityKey);
    EXPECT_EQ(configuration.fetchConfigurationByKind(context(), 80, 200)->valueAsNumber, 3);
    EXPECT_EQ(count("User_Configuration"), 3);
}

TEST_F(BatchTest, MarkBlocksOwnedWritesNothingWithoutAnOwnedTrackInTheLocations)
{
    seedCatalogue();
    ASSERT_TRUE(CDZIRV_ReleaseContent().storeRecord(context(), releaseContent(1, 200, 300, 1)));
    ASSERT_TRUE(CDOps_UserAudio().storeRecord(context(), ownedTrack(1, 1)));
    UtilConfiguration().markBlocksOwned(context(), 500, 4);
    EXPECT_EQ(count("User_Configuration"), 0);
}

} // namespace
} // namespace zirv::test
