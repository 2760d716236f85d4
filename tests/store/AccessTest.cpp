// The access family: upserts, required targets, markers, transfer states and
// the special queries.

#include "StoreFixture.h"

#include "store/StoreSchema.h"

#include <QTimeZone>

#include <set>

namespace zirv::test {
namespace {

class AccessTest : public StoreFixture {};

TEST(EntityModelTest, DeclaresThe31EntitiesWithTheirSynchronisationIdentifiers)
{
    QString problem;
    EXPECT_TRUE(EntityModel::validate(&problem)) << problem.toStdString();
    ASSERT_EQ(EntityModel::entities().size(), 31u);
    const std::pair<const char*, int> expected[] = {
        {"ZIRV_GymLocation", 1}, {"ZIRV_AudioDefinition", 7}, {"ZIRV_VideoDefinition", 0},
        {"ZIRV_ChoreographyDefinition", 9}, {"ZIRV_VideoDefinitionTag", 0},
        {"ZIRV_ReportPlaylistTracks", 19}, {"Ops_UserAudio", 41}, {"Ops_UserVideo", 0},
        {"Ops_UserChoreography", 43}, {"User_Account", 51}, {"User_PurchaseHistory", 59},
    };
    for (const auto& [name, id] : expected) {
        const EntityDecl* entity = EntityModel::find(name);
        ASSERT_NE(entity, nullptr) << name;
        EXPECT_EQ(entity->syncId, id) << name;
    }
    EXPECT_EQ(EntityModel::find("User_Account")->keyType, KeyType::none);
    EXPECT_EQ(EntityModel::find("User_Configuration")->keyType, KeyType::Uuid);
}

TEST_F(AccessTest, EveryEntityHasItsTableWithEveryDeclaredColumn)
{
    sql::Database* db = context().database();
    ASSERT_NE(db, nullptr);
    for (const EntityDecl* entity : EntityModel::entities()) {
        std::set<QString> columns;
        sql::Statement stmt = db->prepare("SELECT name FROM pragma_table_info(?)");
        stmt.bind(1, QString::fromLatin1(entity->name));
        while (stmt.step() == sql::Statement::Step::row)
            columns.insert(stmt.text(0));
        for (const ColumnDecl& column : entity->columns)
            EXPECT_TRUE(columns.count(QString::fromLatin1(column.name))) << entity->name << "." << column.name;
        EXPECT_EQ(columns.size(), entity->columns.size() + 1) << entity->name; // + the row id
    }
}

// An empty entity has the change marker 0, whatever the entity.
template <class T>
class EmptyMarkerTest : public StoreFixture {};
using MarkerEntities = ::testing::Types<CDZIRV_GymLocation, CDZIRV_Manufacturer, CDZIRV_Programme,
    CDZIRV_ReleaseCollection, CDZIRV_ContainerBlock, CDZIRV_ContentBlock, CDZIRV_AudioDefinition,
    CDZIRV_ChoreographyDefinition, CDZIRV_ReleaseContent, CDZIRV_AudioBonusBlockGroups,
    CDZIRV_PlaylistDefinition, CDZIRV_PlaylistContent, CDZIRV_Tag, CDZIRV_AudioDefinitionTag,
    CDZIRV_ChoreographyDefinitionTag, CDZIRV_ReportPlaylistCounts, CDZIRV_ReportPlaylistTracks,
    CDOps_UserAudio, CDOps_UserChoreography, CDUser_Configuration, CDUser_PlaylistDefinition,
    CDUser_PlaylistContent, CDUser_ClassHistory, CDUser_ClassHistoryContents, CDUser_PurchaseHistory,
    CDUser_ReportPlaylistCounts, CDUser_ReportPlaylistTracks>;
TYPED_TEST_SUITE(EmptyMarkerTest, MarkerEntities);
TYPED_TEST(EmptyMarkerTest, IsZero)
{
    EXPECT_EQ(TypeParam().latestUpdateRecord(this->context()), 0);
}

TEST_F(AccessTest, MarkerIsTheHighestUpdateRecord)
{
    CDZIRV_Tag tags;
    for (int64_t key : {1, 2, 3}) {
        ZIRV_Tag tag;
        tag.entityKey = key;
        tag.updateRecord = key == 2 ? 90 : key * 10;
        ASSERT_TRUE(tags.storeRecord(context(), tag));
    }
    EXPECT_EQ(tags.latestUpdateRecord(context()), 90);
}

TEST_F(AccessTest, StoringTwiceWithOneKeyLeavesOneRecordWithTheSecondValues)
{
    CDZIRV_GymLocation venues;
    ZIRV_GymLocation venue;
    venue.entityKey = 42;
    venue.entityTitle = QStringLiteral("Studio 1");
    venue.mapLatitude = 51.5f;
    ASSERT_TRUE(venues.storeRecord(context(), venue));
    venue.entityTitle = QStringLiteral("Zürich Süd – 東京");
    venue.mapLatitude = std::nullopt;
    ASSERT_TRUE(venues.storeRecord(context(), venue));

    const std::optional<ZIRV_GymLocation> stored = venues.fetchByKey(context(), 42);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->entityTitle, QStringLiteral("Zürich Süd – 東京"));
    EXPECT_FALSE(stored->mapLatitude);
    sql::Statement count = context().database()->prepare("SELECT count(*) FROM ZIRV_GymLocation");
    ASSERT_EQ(count.step(), sql::Statement::Step::row);
    EXPECT_EQ(count.int64(0), 1);
    EXPECT_FALSE(venues.fetchByKey(context(), 43));
}

TEST_F(AccessTest, ARecordWithoutAKeyIsNotStored)
{
    ZIRV_Tag tag;
    tag.entityTitle = QStringLiteral("no key");
    EXPECT_FALSE(CDZIRV_Tag().storeRecord(context(), tag));
}

// Storing a catalogue playlist entry: each required target missing in turn.
struct MissingTarget {
    const char* name;
    std::optional<int64_t> ZIRV_PlaylistContent::*link;
};
void PrintTo(const MissingTarget& c, std::ostream* out)
{
    *out << c.name;
}
class RequiredTargetTest : public StoreFixture, public ::testing::WithParamInterface<MissingTarget> {};

TEST_P(RequiredTargetTest, AnswersFalseAndWritesNothing)
{
    seedCatalogue();
    ZIRV_PlaylistContent entry;
    entry.entityKey = 800;
    entry.zirv_PlaylistDefinitionKeyLink = 700;
    entry.zirv_ReleaseCollectionKeyLink = 100;
    entry.zirv_ContainerBlockKeyLink = 200;
    entry.zirv_ContentBlockKeyLink = 300;
    entry.zirv_AudioDefinitionKeyLink = 500;
    entry.zirv_ChoreographyDefinitionKeyLink = 600;
    ZIRV_PlaylistContent missing = entry;
    missing.*(GetParam().link) = 99999;
    CDZIRV_PlaylistContent entries;
    EXPECT_FALSE(entries.storeRecord(context(), missing));
    EXPECT_FALSE(entries.fetchByKey(context(), 800));
    missing.*(GetParam().link) = std::nullopt;
    EXPECT_FALSE(entries.storeRecord(context(), missing));
    EXPECT_FALSE(entries.fetchByKey(context(), 800));
    EXPECT_TRUE(entries.storeRecord(context(), entry));
    EXPECT_TRUE(entries.fetchByKey(context(), 800));
}

INSTANTIATE_TEST_SUITE_P(EachTarget, RequiredTargetTest,
    ::testing::Values(MissingTarget {"playlist", &ZIRV_PlaylistContent::zirv_PlaylistDefinitionKeyLink},
                      MissingTarget {"release", &ZIRV_PlaylistContent::zirv_ReleaseCollectionKeyLink},
                      MissingTarget {"container", &ZIRV_PlaylistContent::zirv_ContainerBlockKeyLink},
                      MissingTarget {"content", &ZIRV_PlaylistContent::zirv_ContentBlockKeyLink},
                      MissingTarget {"track", &ZIRV_PlaylistContent::zirv_AudioDefinitionKeyLink},
                      MissingTarget {"notes", &ZIRV_PlaylistContent::zirv_ChoreographyDefinitionKeyLink}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AccessTest, ASlotWhosePlaylistArrivesLaterIsStoredOnTheSecondTry)
{
    seedCatalogue();
    ZIRV_PlaylistContent entry;
    entry.entityKey = 801;
    entry.zirv_PlaylistDefinitionKeyLink = 701;
    entry.zirv_ReleaseCollectionKeyLink = 100;
    entry.zirv_ContainerBlockKeyLink = 200;
    entry.zirv_ContentBlockKeyLink = 300;
    entry.zirv_AudioDefinitionKeyLink = 500;
    entry.zirv_ChoreographyDefinitionKeyLink = 600;
    entry.zirv_AudioBonusBlockGroupEntityKey = 123456; // a plain number, no relationship
    CDZIRV_PlaylistContent entries;
    EXPECT_FALSE(entries.storeRecord(context(), entry));
    ZIRV_PlaylistDefinition playlist;
    playlist.entityKey = 701;
    playlist.zirv_ReleaseCollectionKeyLink = 100;
    ASSERT_TRUE(CDZIRV_PlaylistDefinition().storeRecord(context(), playlist));
    EXPECT_TRUE(entries.storeRecord(context(), entry));
    const auto stored = entries.fetchByKey(context(), 801);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->zirv_AudioBonusBlockGroupEntityKey, 123456);
    EXPECT_FALSE(stored->zirv_VideoDefinitionKeyLink);
}

TEST_F(AccessTest, UserRecordsTakeTheirTransferStatusFromThePendingFlag)
{
    CDUser_PurchaseHistory purchases;
    const QUuid key = QUuid::createUuid();
    User_PurchaseHistory purchase;
    purchase.entityKey = key;
    purchase.purchaseDate = QDateTime(QDate(2024, 2, 29), QTime(12, 30, 15, 250), QTimeZone::utc());
    purchase.transferStatus = 7; // ignored: the flag decides
    ASSERT_TRUE(purchases.storeRecord(context(), false, purchase));
    EXPECT_EQ(purchases.fetchByKey(context(), key)->transferStatus, 1);
    EXPECT_EQ(purchases.fetchByKey(context(), key)->purchaseDate, purchase.purchaseDate);
    ASSERT_TRUE(purchases.storeRecord(context(), true, purchase));
    EXPECT_EQ(purchases.fetchByKey(context(), key)->transferStatus, 2);
}

TEST_F(AccessTest, OwnedMediaKeepTheirLocalAttributesAcrossUpdates)
{
    seedCatalogue();
    CDOps_UserAudio owned;
    Ops_UserAudio track = ownedTrack(1, 1);
    track.relevanceScore = 77; // ignored on insertion
    ASSERT_TRUE(owned.storeRecord(context(), track));
    auto stored = owned.fetchByKey(context(), 1);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->relevanceScore, 0);
    EXPECT_EQ(stored->downloadDate, distantPast());
    EXPECT_EQ(stored->downloadLastAccessed, distantPast());
    EXPECT_EQ(stored->downloadPriority, 0);
    EXPECT_EQ(stored->downloadSizeCompleted, 0);

    // Local bookkeeping written elsewhere, then a new copy from the backend.
    ASSERT_TRUE(context().database()->exec(
        "UPDATE Ops_UserAudio SET relevanceScore = 5, downloadDate = 1000, downloadLastAccessed = 2000, "
        "downloadPriority = 3, downloadSizeCompleted = 4096"));
    track.fileGuidName = QStringLiteral("renamed.mp3");
    track.relevanceScore = 0;
    track.downloadSizeCompleted = 0;
    ASSERT_TRUE(owned.storeRecord(context(), track));
    stored = owned.fetchByKey(context(), 1);
    EXPECT_EQ(stored->fileGuidName, QStringLiteral("renamed.mp3"));
    EXPECT_EQ(stored->relevanceScore, 5);
    EXPECT_EQ(stored->downloadDate, sql::fromStoredDate(1000));
    EXPECT_EQ(stored->downloadLastAccessed, sql::fromStoredDate(2000));
    EXPECT_EQ(stored->downloadPriority, 3);
    EXPECT_EQ(stored->downloadSizeCompleted, 4096);
}

struct GaplessCase {
    int32_t wire;
    bool stored;
};
void PrintTo(const GaplessCase& c, std::ostream* out)
{
    *out << c.wire;
}
class GaplessTest : public StoreFixture, public ::testing::WithParamInterface<GaplessCase> {};
TEST_P(GaplessTest, NonZeroIsTrue)
{
    seedCatalogue();
    Ops_UserAudio track = ownedTrack(2, 1);
    track.mediaIsGaplessStart = GetParam().wire;
    track.mediaIsGaplessEnd = GetParam().wire;
    ASSERT_TRUE(CDOps_UserAudio().storeRecord(context(), track));
    const auto stored = CDOps_UserAudio().fetchByKey(context(), 2);
    EXPECT_EQ(stored->mediaIsGaplessStart->value, GetParam().stored);
    EXPECT_EQ(stored->mediaIsGaplessEnd->value, GetParam().stored);
}
INSTANTIATE_TEST_SUITE_P(WireValues, GaplessTest,
                         ::testing::Values(GaplessCase {7, true}, GaplessCase {0, false},
                                           GaplessCase {1, true}, GaplessCase {-1, true}));

// The three entities the system never stores have no operation to store with.
template <class A, class R>
concept CanStore = requires(A access, StoreContext& context, R record) {
    access.storeRecord(context, record);
};
static_assert(!CanStore<CDZIRV_VideoDefinition, ZIRV_VideoDefinition>);
static_assert(!CanStore<CDZIRV_VideoDefinitionTag, ZIRV_VideoDefinitionTag>);
static_assert(!CanStore<CDOps_UserVideo, Ops_UserVideo>);
static_assert(CanStore<CDOps_UserAudio, Ops_UserAudio>);

TEST_F(AccessTest, VideoEntitiesStayEmptyAndCanBeErased)
{
    for (const char* table : {"ZIRV_VideoDefinition", "ZIRV_VideoDefinitionTag", "Ops_UserVideo"}) {
        sql::Statement count = context().database()->prepare(std::string("SELECT count(*) FROM ") + table);
        ASSERT_EQ(count.step(), sql::Statement::Step::row);
        EXPECT_EQ(count.int64(0), 0) << table;
    }
    CDOps_UserVideo().deleteAll(context());
}

TEST_F(AccessTest, UserPlaylistContentStoresItsKeysAsAttributesAndRelationships)
{
    seedCatalogue();
    const QUuid playlist = QUuid::createUuid();
    ASSERT_TRUE(CDUser_PlaylistDefinition().storeRecord(context(), false, userPlaylist(playlist, 1, 1)));
    const QUuid key = QUuid::createUuid();
    User_PlaylistContent entry = userPlaylistContent(key, playlist, 1);
    entry.zirv_VideoDefinitionEntityKey = 999; // kept as a number; the video link is never set
    entry.zirv_AudioBonusBlockGroupEntityKey = 4;
    ASSERT_TRUE(CDUser_PlaylistContent().storeRecord(context(), true, entry));
    const auto stored = CDUser_PlaylistContent().fetchByKey(context(), key);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->user_PlaylistDefinitionKeyLink, playlist);
    EXPECT_EQ(stored->user_PlaylistDefinitionEntityKey, playlist);
    EXPECT_EQ(stored->zirv_ContainerBlockKeyLink, 200);
    EXPECT_EQ(stored->zirv_ChoreographyDefinitionKeyLink, 600);
    EXPECT_EQ(stored->zirv_VideoDefinitionEntityKey, 999);
    EXPECT_FALSE(stored->zirv_VideoDefinitionKeyLink);
    EXPECT_EQ(stored->transferStatus, 2);

    User_PlaylistContent orphan = userPlaylistContent(QUuid::createUuid(), QUuid::createUuid(), 1);
    EXPECT_FALSE(CDUser_PlaylistContent().storeRecord(context(), true, orphan));
}

TEST_F(AccessTest, TransferStatesAreFetchedInUpdateOrderAndMarkedInTheStore)
{
    CDUser_Configuration configuration;
    std::vector<QUuid> keys;
    for (int64_t marker : {30, 10, 20}) {
        User_Configuration row;
        row.entityKey = QUuid::createUuid();
        row.updateRecord = marker;
        keys.push_back(*row.entityKey);
        ASSERT_TRUE(configuration.storeRecord(context(), true, row));
    }
    std::vector<int64_t> order;
    for (const auto& row : configuration.fetchPending(context()))
        order.push_back(*row.updateRecord);
    EXPECT_EQ(order, (std::vector<int64_t> {10, 20, 30}));

    EXPECT_TRUE(configuration.markUploaded(context(), keys[0], 55));
    EXPECT_TRUE(configuration.markRejected(context(), keys[1]));
    EXPECT_TRUE(configuration.markUploaded(context(), QUuid::createUuid(), 99)); // no such key
    const auto uploaded = configuration.fetchByKey(context(), keys[0]);
    EXPECT_EQ(uploaded->transferStatus, 1);
    EXPECT_EQ(uploaded->updateRecord, 55);
    ASSERT_EQ(configuration.fetchRejected(context()).size(), 1u);
    EXPECT_EQ(configuration.fetchRejected(context())[0].entityKey, keys[1]);
    EXPECT_EQ(configuration.fetchPending(context()).size(), 1u);
    EXPECT_EQ(configuration.latestUpdateRecord(context()), 55);
}

TEST_F(AccessTest, ReleaseContentsOfATrackAreLiveAndInBlockOrder)
{
    seedCatalogue();
    CDZIRV_ReleaseContent contents;
    ASSERT_TRUE(contents.storeRecord(context(), releaseContent(1, 200, 300, 3)));
    ASSERT_TRUE(contents.storeRecord(context(), releaseContent(2, 201, 301, 1)));
    ZIRV_ReleaseContent retired = releaseContent(3, 200, 300, 2);
    retired.statusCode = 32;
    ASSERT_TRUE(contents.storeRecord(context(), retired));
    std::vector<int64_t> keys;
    for (const auto& content : contents.fetchReleaseContentsOfTrack(context(), 500))
        keys.push_back(*content.entityKey);
    EXPECT_EQ(keys, (std::vector<int64_t> {2, 1}));
    EXPECT_TRUE(contents.fetchReleaseContentsOfTrack(context(), 501).empty());
}

struct OwnedCase {
    int32_t stored;
    int32_t status;
    int32_t wanted;
    bool found;
};
void PrintTo(const OwnedCase& c, std::ostream* out)
{
    *out << c.stored << " & " << c.wanted << ", status " << c.status;
}
class FindOwnedTrackTest : public StoreFixture, public ::testing::WithParamInterface<OwnedCase> {};
TEST_P(FindOwnedTrackTest, MatchesLocationsAndLiveState)
{
    seedCatalogue();
    Ops_UserAudio track = ownedTrack(9, GetParam().stored);
    track.statusCode = GetParam().status;
    ASSERT_TRUE(CDOps_UserAudio().storeRecord(context(), track));
    const OwnedTrack answer = CDOps_UserAudio().findOwnedTrack(context(), 500, GetParam().wanted);
    EXPECT_EQ(answer.found, GetParam().found);
    if (answer.found) {
        EXPECT_EQ(answer.entityKey, 9);
    }
    EXPECT_FALSE(CDOps_UserAudio().findOwnedTrack(context(), 501, GetParam().wanted).found);
}
INSTANTIATE_TEST_SUITE_P(Masks, FindOwnedTrackTest,
                         ::testing::Values(OwnedCase {1, 1, 1, true}, OwnedCase {3, 1, 2, true},
                                           OwnedCase {1, 1, 2, false}, OwnedCase {4, 32, 4, false},
                                           OwnedCase {0, 1, -1, false},
                                           OwnedCase {INT32_MIN, 1, INT32_MIN, true}));

TEST_F(AccessTest, ConfigurationByKindFindsTheRowOfKindAndNumber)
{
    CDUser_Configuration configuration;
    User_Configuration row;
    row.entityKey = QUuid::createUuid();
    row.entityType = 81;
    row.configurationKeyNumber = 300;
    row.valueAsNumber = 5;
    ASSERT_TRUE(configuration.storeRecord(context(), false, row));
    EXPECT_EQ(configuration.fetchConfigurationByKind(context(), 81, 300)->valueAsNumber, 5);
    EXPECT_FALSE(configuration.fetchConfigurationByKind(context(), 80, 300));
    EXPECT_FALSE(configuration.fetchConfigurationByKind(context(), 81, 301));
}

} // namespace
} // namespace zirv::test
