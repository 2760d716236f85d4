// Store throughput: a 10,000-record catalogue page stored through storeRecord
// (every record with its five target look-ups and its own save), beside a raw
// one-transaction bulk insert of the same rows into the same schema; and the
// time to open a store holding 200,000 records.
//
//   zirv_bench_store [records]   (default 10000)

#include "store/CDAccess.h"
#include "store/CoreDataController.h"
#include "store/StoreSchema.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace zirv;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

std::unique_ptr<CoreDataController> openStoreAt(const QString& path)
{
    auto controller = CoreDataController::create(QStringLiteral("User"));
    controller->shouldAddStoreAsynchronously = false;
    controller->loadStore(QUrl::fromLocalFile(path), {});
    if (!controller->isStoreLoaded()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        std::exit(1);
    }
    return controller;
}

// The targets every release content of the page points at.
void seedTargets(StoreContext& context)
{
    ZIRV_Manufacturer maker;
    maker.entityKey = 1;
    CDZIRV_Manufacturer().storeRecord(context, maker);
    ZIRV_Programme programme;
    programme.entityKey = 1;
    programme.zirv_ManufacturerKeyLink = 1;
    CDZIRV_Programme().storeRecord(context, programme);
    for (int64_t key = 1; key <= 100; ++key) {
        ZIRV_ReleaseCollection release;
        release.entityKey = key;
        release.zirv_ProgrammeKeyLink = 1;
        CDZIRV_ReleaseCollection().storeRecord(context, release);
        ZIRV_ContainerBlock container;
        container.entityKey = key;
        CDZIRV_ContainerBlock().storeRecord(context, container);
        ZIRV_ContentBlock content;
        content.entityKey = key;
        CDZIRV_ContentBlock().storeRecord(context, content);
        ZIRV_ChoreographyDefinition notes;
        notes.entityKey = key;
        CDZIRV_ChoreographyDefinition().storeRecord(context, notes);
    }
    for (int64_t key = 1; key <= 1000; ++key) {
        ZIRV_AudioDefinition track;
        track.entityKey = key;
        CDZIRV_AudioDefinition().storeRecord(context, track);
    }
}

std::vector<ZIRV_ReleaseContent> page(int count, int64_t firstKey)
{
    std::vector<ZIRV_ReleaseContent> records;
    records.reserve(count);
    for (int i = 0; i < count; ++i) {
        ZIRV_ReleaseContent record;
        record.entityKey = firstKey + i;
        record.containerBlockOrder = i % 12;
        record.contentBlockOrder = i % 7;
        record.primaryMediaType = 1;
        record.statusCode = 1;
        record.updateRecord = firstKey + i;
        record.zirv_ReleaseCollectionKeyLink = 1 + i % 100;
        record.zirv_ContainerBlockKeyLink = 1 + (i * 7) % 100;
        record.zirv_ContentBlockKeyLink = 1 + (i * 13) % 100;
        record.zirv_AudioDefinitionKeyLink = 1 + i % 1000;
        record.zirv_ChoreographyDefinitionKeyLink = 1 + (i * 3) % 100;
        records.push_back(record);
    }
    return records;
}

// The baseline: one prepared INSERT of every column, one transaction.
double rawBulkInsert(StoreContext& context, const std::vector<ZIRV_ReleaseContent>& records)
{
    sql::Database* db = context.database();
    const access::EntitySql& s = access::sqlFor(ZIRV_ReleaseContent::decl());
    const auto start = Clock::now();
    sql::Transaction tx(*db);
    for (const ZIRV_ReleaseContent& record : records) {
        sql::Statement insert = db->prepare(s.insert);
        const auto refs = fieldRefs(const_cast<ZIRV_ReleaseContent&>(record));
        for (size_t i = 0; i < refs.size(); ++i)
            access::bindField(insert, static_cast<int>(i) + 1, refs[i]);
        if (!insert.run()) {
            std::fprintf(stderr, "raw insert failed: %s\n", qPrintable(db->lastError()));
            std::exit(1);
        }
    }
    if (!tx.commit())
        std::exit(1);
    return seconds(Clock::now() - start);
}

double throughStoreRecord(CoreDataController& controller, const std::vector<ZIRV_ReleaseContent>& records,
                          bool grouped)
{
    double elapsed = 0;
    int failures = 0;
    controller.performBackgroundTask([&](StoreContext& context) {
        CDZIRV_ReleaseContent contents;
        const auto start = Clock::now();
        std::optional<SaveGroup> group;
        if (grouped)
            group.emplace(context);
        for (const ZIRV_ReleaseContent& record : records)
            failures += contents.storeRecord(context, record) ? 0 : 1;
        if (group && !group->commit())
            ++failures;
        elapsed = seconds(Clock::now() - start);
    });
    controller.waitForBackgroundTasks();
    if (failures) {
        std::fprintf(stderr, "%d records not stored\n", failures);
        std::exit(1);
    }
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    QTemporaryDir dir;
    const std::vector<ZIRV_ReleaseContent> records = page(count, 1);

    // Baseline and the ways through storeRecord, each in a fresh store; the
    // best of three runs, since the machine is shared.
    constexpr int runs = 3;
    double raw = 1e9, perRecord = 1e9, grouped = 1e9, update = 1e9;
    for (int run = 0; run < runs; ++run) {
        const QString folder = QStringLiteral("run%1/").arg(run);
        {
            auto controller = openStoreAt(dir.filePath(folder + QStringLiteral("raw/User")));
            seedTargets(controller->viewContext());
            raw = std::min(raw, rawBulkInsert(controller->viewContext(), records));
        }
        {
            auto controller = openStoreAt(dir.filePath(folder + QStringLiteral("each/User")));
            seedTargets(controller->viewContext());
            perRecord = std::min(perRecord, throughStoreRecord(*controller, records, false));
        }
        {
            auto controller = openStoreAt(dir.filePath(folder + QStringLiteral("page/User")));
            seedTargets(controller->viewContext());
            grouped = std::min(grouped, throughStoreRecord(*controller, records, true));
            update = std::min(update, throughStoreRecord(*controller, records, true)); // all updates
        }
    }
    const double rawRate = count / raw;
    std::printf("records in the page                          %d (ZIRV_ReleaseContent, 5 required targets)\n", count);
    std::printf("raw bulk insert, one transaction             %10.0f records/s\n", rawRate);
    std::printf("storeRecord, one save (commit) per record    %10.0f records/s  ratio %.2f\n", count / perRecord,
                (count / perRecord) / rawRate);
    std::printf("storeRecord inside one SaveGroup (the page)  %10.0f records/s  ratio %.2f\n", count / grouped,
                (count / grouped) / rawRate);
    std::printf("storeRecord, same page again (updates)       %10.0f records/s  ratio %.2f\n", count / update,
                (count / update) / rawRate);

    // Opening a store of 200,000 records: build it raw, then time a cold
    // open (controller, schema check, first query on the main context).
    constexpr int big = 200000;
    const QString bigPath = dir.filePath(QStringLiteral("big/User"));
    {
        auto controller = openStoreAt(bigPath);
        seedTargets(controller->viewContext());
        for (int offset = 0; offset < big; offset += 50000)
            rawBulkInsert(controller->viewContext(), page(50000, offset + 1));
    }
    const auto start = Clock::now();
    auto controller = openStoreAt(bigPath);
    const int64_t marker = CDZIRV_ReleaseContent().latestUpdateRecord(controller->viewContext());
    const auto found = CDZIRV_ReleaseContent().fetchByKey(controller->viewContext(), big / 2);
    const double open = seconds(Clock::now() - start);
    std::printf("open a store of %d records + marker + lookup %8.1f ms (marker %lld, %s)\n", big, open * 1000,
                static_cast<long long>(marker), found ? "found" : "missing");
    return 0;
}
