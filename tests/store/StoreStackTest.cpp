// The store stack: opening, migration, damaged files, the fault hook,
// background tasks, the shared holder and the store locations.

#include "StoreFixture.h"

#include "BuildValues.h"
#include "app/core/MainThread.h"
#include "store/StoreLocations.h"
#include "store/StoreSchema.h"
#include "tests/support/EventPump.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <sys/stat.h>

namespace zirv::test {
namespace {

ZIRV_Tag tag(int64_t key, const char* title)
{
    ZIRV_Tag record;
    record.entityKey = key;
    record.entityTitle = QString::fromUtf8(title);
    record.updateRecord = key;
    return record;
}

class StoreStackTest : public StoreFixture {};

TEST_F(StoreStackTest, AFailedSaveLosesNothingElseAndTheStoreStaysUsable)
{
    CDZIRV_Tag tags;
    ASSERT_TRUE(tags.storeRecord(context(), tag(1, "first")));
    controller->failNthSave(2);
    EXPECT_TRUE(tags.storeRecord(context(), tag(2, "second")));
    EXPECT_FALSE(tags.storeRecord(context(), tag(1, "changed"))); // the failed save
    EXPECT_TRUE(tags.storeRecord(context(), tag(3, "third")));
    EXPECT_EQ(tags.fetchByKey(context(), 1)->entityTitle, QStringLiteral("first"));
    EXPECT_TRUE(tags.fetchByKey(context(), 2));
    EXPECT_TRUE(tags.fetchByKey(context(), 3));
    EXPECT_TRUE(tags.storeRecord(context(), tag(4, "after")));
    EXPECT_EQ(tags.latestUpdateRecord(context()), 4);
}

TEST_F(StoreStackTest, AFailedSaveInsideAGroupDropsOnlyThatRecord)
{
    CDZIRV_Tag tags;
    {
        SaveGroup group(context());
        controller->failNthSave(2);
        for (int64_t key = 1; key <= 3; ++key)
            EXPECT_EQ(tags.storeRecord(context(), tag(key, "grouped")), key != 2) << key;
        ASSERT_TRUE(group.commit());
    }
    EXPECT_TRUE(tags.fetchByKey(context(), 1));
    EXPECT_FALSE(tags.fetchByKey(context(), 2));
    EXPECT_TRUE(tags.fetchByKey(context(), 3));
    {
        SaveGroup group(context());
        ASSERT_TRUE(tags.storeRecord(context(), tag(9, "dropped with the group")));
    } // not committed
    EXPECT_FALSE(tags.fetchByKey(context(), 9));
}

TEST_F(StoreStackTest, ReadsAndWritesFailQuietlyWhileTheStoreIsNotLoaded)
{
    auto unloaded = CoreDataController::create(QStringLiteral("User"));
    StoreContext& main = unloaded->viewContext();
    EXPECT_FALSE(unloaded->isStoreLoaded());
    EXPECT_FALSE(CDZIRV_Tag().storeRecord(main, tag(1, "x")));
    EXPECT_FALSE(CDZIRV_Tag().fetchByKey(main, 1));
    EXPECT_EQ(CDZIRV_Tag().latestUpdateRecord(main), 0);
}

// A damaged store file: the opening reports an error, every operation
// answers "not found" / "not stored", and the file is left as it was.
TEST(DamagedStoreTest, EveryOperationFailsWithoutCrashing)
{
    TempDir dir;
    QByteArray garbage(64 * 1024, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 7919) % 251);
    const auto path = dir.write("User", garbage);
    auto controller = CoreDataController::create(QStringLiteral("User"));
    std::optional<std::optional<QString>> reported;
    controller->loadStore(QUrl::fromLocalFile(QString::fromStdString(path.string())),
                          [&](std::optional<QString> error) { reported = error; });
    ASSERT_TRUE(pumpUntil([&] { return reported.has_value(); }));
    EXPECT_TRUE(reported->has_value());
    EXPECT_FALSE(controller->isStoreLoaded());

    StoreContext& main = controller->viewContext();
    EXPECT_FALSE(CDZIRV_Tag().storeRecord(main, tag(1, "x")));
    EXPECT_FALSE(CDZIRV_Tag().fetchByKey(main, 1));
    EXPECT_EQ(CDZIRV_Tag().latestUpdateRecord(main), 0);
    EXPECT_TRUE(CDUser_Configuration().fetchPending(main).empty());
    EXPECT_FALSE(CDUser_Configuration().markUploaded(main, QUuid::createUuid(), 1));
    CDUser_Configuration().deleteAll(main);
    std::atomic<bool> ran = false;
    std::atomic<bool> stored = true;
    controller->performBackgroundTask([&](StoreContext& background) {
        stored = CDZIRV_Tag().storeRecord(background, tag(2, "y"));
        ran = true;
    });
    controller->waitForBackgroundTasks();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(stored);

    QFile file(QString::fromStdString(path.string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), garbage);
}

TEST(StoreOpeningTest, OpensAsynchronouslyAndReportsOnTheMainThreadLater)
{
    TempDir dir;
    auto controller = CoreDataController::create(QStringLiteral("User"));
    bool reported = false;
    std::optional<QString> error = QStringLiteral("not called");
    controller->loadStore(QUrl::fromLocalFile(QString::fromStdString((dir / "sub/User").string())),
                          [&](std::optional<QString> e) {
                              EXPECT_TRUE(isMainThread());
                              error = e;
                              reported = true;
                          });
    EXPECT_FALSE(reported);
    ASSERT_TRUE(pumpUntil([&] { return reported; }));
    EXPECT_FALSE(error.has_value());
    EXPECT_TRUE(controller->isStoreLoaded());
    struct stat info {};
    ASSERT_EQ(::stat((dir / "sub").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(StoreOpeningTest, MigratesAnOlderStoreAndKeepsItsRecords)
{
    TempDir dir;
    const QString path = QString::fromStdString((dir / "User").string());
    {
        sql::Database::Options options;
        options.create = true;
        auto db = sql::Database::open(path, options, nullptr);
        ASSERT_TRUE(db);
        ASSERT_TRUE(db->exec("CREATE TABLE ZIRV_Tag (id INTEGER PRIMARY KEY, entityKey INTEGER, updateRecord INTEGER);"
                             "INSERT INTO ZIRV_Tag (entityKey, updateRecord) VALUES (5, 50);"));
    }
    auto controller = CoreDataController::create(QStringLiteral("User"));
    controller->shouldAddStoreAsynchronously = false;
    controller->loadStore(QUrl::fromLocalFile(path), {});
    ASSERT_TRUE(controller->isStoreLoaded());
    StoreContext& main = controller->viewContext();
    EXPECT_EQ(CDZIRV_Tag().latestUpdateRecord(main), 50);
    ASSERT_TRUE(CDZIRV_Tag().storeRecord(main, tag(5, "now with a title")));
    EXPECT_EQ(CDZIRV_Tag().fetchByKey(main, 5)->entityTitle, QStringLiteral("now with a title"));
    sql::Statement version = main.database()->prepare("PRAGMA user_version");
    ASSERT_EQ(version.step(), sql::Statement::Step::row);
    EXPECT_EQ(version.int64(0), EntityModel::version);
}

struct RefusedCase {
    const char* name;
    int version;
    bool migrate;
};
void PrintTo(const RefusedCase& c, std::ostream* out)
{
    *out << c.name;
}
class RefusedStoreTest : public ::testing::TestWithParam<RefusedCase> {};
TEST_P(RefusedStoreTest, IsReportedAndLeftUntouched)
{
    TempDir dir;
    const QString path = QString::fromStdString((dir / "User").string());
    {
        sql::Database::Options options;
        options.create = true;
        auto db = sql::Database::open(path, options, nullptr);
        ASSERT_TRUE(db->exec("CREATE TABLE ZIRV_Tag (id INTEGER PRIMARY KEY, entityKey INTEGER)"));
        ASSERT_TRUE(db->exec(("PRAGMA user_version = " + std::to_string(GetParam().version)).c_str()));
    }
    auto controller = CoreDataController::create(QStringLiteral("User"));
    controller->shouldAddStoreAsynchronously = false;
    controller->shouldMigrateStoreAutomatically = GetParam().migrate;
    std::optional<QString> error;
    bool reported = false;
    controller->loadStore(QUrl::fromLocalFile(path), [&](std::optional<QString> e) {
        error = e;
        reported = true;
    });
    ASSERT_TRUE(pumpUntil([&] { return reported; }));
    EXPECT_TRUE(error.has_value());
    EXPECT_FALSE(controller->isStoreLoaded());
    sql::Database::Options options;
    auto db = sql::Database::open(path, options, nullptr);
    sql::Statement tables = db->prepare("SELECT count(*) FROM sqlite_schema WHERE type = 'table'");
    ASSERT_EQ(tables.step(), sql::Statement::Step::row);
    EXPECT_EQ(tables.int64(0), 1);
}
INSTANTIATE_TEST_SUITE_P(Cases, RefusedStoreTest,
                         ::testing::Values(RefusedCase {"newer", EntityModel::version + 1, true},
                                           RefusedCase {"olderWithoutMigration", 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StoreStackTest, BackgroundSavesAreSeenByTheMainContext)
{
    std::atomic<bool> stored = false;
    controller->performBackgroundTask([&](StoreContext& background) {
        EXPECT_FALSE(background.isMainContext());
        EXPECT_EQ(controller->viewContext().database(), nullptr); // not this thread's context
        stored = CDZIRV_Tag().storeRecord(background, tag(77, "from a worker"));
    });
    controller->waitForBackgroundTasks();
    EXPECT_TRUE(stored);
    EXPECT_EQ(CDZIRV_Tag().fetchByKey(context(), 77)->entityTitle, QStringLiteral("from a worker"));
}

TEST(CoreDataSharedTest, HoldsAUserControllerThatCanBeReplaced)
{
    CoreDataShared holder;
    ASSERT_TRUE(holder.myData());
    EXPECT_EQ(holder.myData()->name(), QStringLiteral("User"));
    EXPECT_TRUE(holder.myData()->defaultStoreURL()->toLocalFile().endsWith(QStringLiteral("/User")));
    auto replacement = std::shared_ptr<CoreDataController>(CoreDataController::create(QStringLiteral("User")));
    holder.setMyData(replacement);
    EXPECT_EQ(holder.myData(), replacement);
    EXPECT_EQ(&CoreDataShared::shared(), &CoreDataShared::shared());
}

// --- locations and the storage allowance ---------------------------------

struct AllowanceCase {
    double diskGiB;
    int allowance;
};
void PrintTo(const AllowanceCase& c, std::ostream* out)
{
    *out << c.diskGiB << " GiB";
}
class AllowanceTest : public ::testing::TestWithParam<AllowanceCase> {};
TEST_P(AllowanceTest, IsATenthOfTheDiskRoundedAndAtLeastOne)
{
    EXPECT_EQ(storageAllowance(GetParam().diskGiB), GetParam().allowance);
}
INSTANTIATE_TEST_SUITE_P(Disks, AllowanceTest,
                         ::testing::Values(AllowanceCase {232, 23}, AllowanceCase {256, 26},
                                           AllowanceCase {4, 1}, AllowanceCase {8, 1} /* unreadable */,
                                           AllowanceCase {25, 3}, AllowanceCase {0, 1}));

struct RecordCase {
    const char* name;
    std::optional<int> stored;
    int allowance;
    std::optional<int> after;
};
void PrintTo(const RecordCase& c, std::ostream* out)
{
    *out << c.name;
}
class RecordAllowanceTest : public ::testing::TestWithParam<RecordCase> {};
TEST_P(RecordAllowanceTest, NeverDecreases)
{
    TempDir dir;
    QSettings settings(QString::fromStdString((dir / "settings.ini").string()), QSettings::IniFormat);
    if (GetParam().stored)
        settings.setValue(QStringLiteral("localDataStorageSize"), *GetParam().stored);
    recordStorageAllowance(settings, GetParam().allowance);
    const QVariant value = settings.value(QStringLiteral("localDataStorageSize"));
    if (GetParam().after)
        EXPECT_EQ(value.toInt(), *GetParam().after);
    else
        EXPECT_FALSE(value.isValid());
}
INSTANTIATE_TEST_SUITE_P(Settings, RecordAllowanceTest,
    ::testing::Values(RecordCase {"keepsLarger", 50, 23, 50}, RecordCase {"absentAndOne", std::nullopt, 1, std::nullopt},
                      RecordCase {"absentAndMore", std::nullopt, 23, 23}, RecordCase {"zeroCountsAsOne", 0, 1, 0},
                      RecordCase {"raises", 3, 26, 26}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StoreLocationsTest, CreatesPrivateFoldersOnceAndPrintsNoErrorsTheSecondTime)
{
    TempDir dir;
    QSettings settings(QString::fromStdString((dir / "settings.ini").string()), QSettings::IniFormat);
    StoreLocationInputs inputs;
    inputs.storeUrl = QUrl::fromLocalFile(QString::fromStdString((dir / "data/User").string()));
    inputs.sharedContainer = QString::fromStdString((dir / "share/group.test").string());
    inputs.documents = QString::fromStdString((dir / "Documents").string());
    inputs.diskGiB = 232;
    for (int run = 0; run < 2; ++run) {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(prepareStoreLocations(inputs, settings), PrepareOutcome::done);
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("Local data store location is at file://"), std::string::npos);
        EXPECT_NE(out.find("Shared data store location is at file://"), std::string::npos);
        EXPECT_EQ(out.find("Cannot"), std::string::npos) << out;
    }
    for (const char* folder : {"share/group.test/choreography", "share/group.test/audio", "share/group.test/video",
                               "Documents/reports"}) {
        struct stat info {};
        ASSERT_EQ(::stat((dir / folder).c_str(), &info), 0) << folder;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
    }
    EXPECT_EQ(settings.value(QStringLiteral("localDataStorageSize")).toInt(), 23);
}

TEST(StoreLocationsTest, WithoutASharedContainerItSaysSoAndCreatesNothing)
{
    TempDir dir;
    QSettings settings(QString::fromStdString((dir / "settings.ini").string()), QSettings::IniFormat);
    StoreLocationInputs inputs;
    inputs.storeUrl = QUrl::fromLocalFile(QStringLiteral("/x/User"));
    inputs.documents = QString::fromStdString((dir / "Documents").string());
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(prepareStoreLocations(inputs, settings), PrepareOutcome::noSharedContainer);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("Cannot create shared group location"), std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString((dir / "Documents/reports").string())));
}

TEST(StoreLocationsTest, AFolderThatCannotBeMadeIsPrintedAndTheOthersStillAre)
{
    TempDir dir;
    dir.write("share/group.test/audio", "a file in the way");
    QSettings settings(QString::fromStdString((dir / "settings.ini").string()), QSettings::IniFormat);
    StoreLocationInputs inputs;
    inputs.storeUrl = QUrl::fromLocalFile(QStringLiteral("/x/User"));
    inputs.sharedContainer = QString::fromStdString((dir / "share/group.test").string());
    inputs.documents = QString::fromStdString((dir / "Documents").string());
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(prepareStoreLocations(inputs, settings), PrepareOutcome::done);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("audio"), std::string::npos);
    EXPECT_TRUE(QFileInfo(QString::fromStdString((dir / "share/group.test/video").string())).isDir());
    EXPECT_TRUE(QFileInfo(QString::fromStdString((dir / "Documents/reports").string())).isDir());
}

TEST(StoreLocationsDeathTest, StartUpEndsWithStatusOneWithoutASharedContainer)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    // A home that is a file: no data home, so no application-group container.
    const auto home = dir.write("home-is-a-file", "x");
    EXPECT_EXIT(
        {
            qputenv("HOME", QByteArray::fromStdString(home.string()));
            qputenv("XDG_DATA_HOME", QByteArray::fromStdString((home / "share").string()));
            prepareStoreLocations();
        },
        ::testing::ExitedWithCode(1), "");
}

TEST(StoreLocationsTest, TheSharedContainerIsNamedByTheGroupInTheDataHome)
{
    const std::optional<QString> container = sharedContainerPath();
    ASSERT_TRUE(container);
    EXPECT_TRUE(container->endsWith(QLatin1Char('/') + QString::fromUtf8(build::appGroupId)));
    EXPECT_TRUE(QFileInfo(*container).isDir());
}

} // namespace
} // namespace zirv::test
