// Background writers and the main context at the same time: writers wait for
// each other instead of failing ("database is locked"), and no write is lost.
// Built alone so that it can also run under ThreadSanitizer.

#include "StoreFixture.h"

#include <atomic>
#include <set>

namespace zirv::test {
namespace {

class ConcurrencyTest : public StoreFixture {
protected:
    static User_Configuration row(const QUuid& key, int64_t number)
    {
        User_Configuration record;
        record.entityKey = key;
        record.entityType = 99;
        record.configurationKeyNumber = number;
        record.valueAsNumber = number;
        record.updateRecord = number;
        return record;
    }
};

TEST_F(ConcurrencyTest, ABackgroundWriterAndTheMainContextLoseNothing)
{
    constexpr int total = 10000;
    std::vector<QUuid> keys(total);
    for (QUuid& key : keys)
        key = QUuid::createUuid();
    std::atomic<int> written {0};
    std::atomic<int> writeFailures {0};
    std::atomic<bool> finished {false};

    controller->performBackgroundTask([&](StoreContext& background) {
        CDUser_Configuration configuration;
        for (int i = 0; i < total; ++i) {
            if (!configuration.storeRecord(background, false, row(keys[i], i + 1)))
                writeFailures.fetch_add(1);
            written.store(i + 1, std::memory_order_release);
        }
        finished.store(true, std::memory_order_release);
    });

    // Meanwhile the main context reads what has arrived and marks some of it.
    CDUser_Configuration configuration;
    std::set<int> marked;
    int readMisses = 0;
    int markFailures = 0;
    while (!finished.load(std::memory_order_acquire)) {
        const int available = written.load(std::memory_order_acquire);
        if (available == 0)
            continue;
        const int index = available - 1;
        if (marked.count(index))
            continue;
        if (!configuration.fetchByKey(context(), keys[index]))
            ++readMisses;
        if (configuration.latestUpdateRecord(context()) < index + 1)
            ++readMisses;
        if (configuration.markRejected(context(), keys[index]))
            marked.insert(index);
        else
            ++markFailures;
    }
    controller->waitForBackgroundTasks();

    EXPECT_EQ(writeFailures.load(), 0);
    EXPECT_EQ(readMisses, 0);
    EXPECT_EQ(markFailures, 0);
    EXPECT_GT(marked.size(), 0u);
    sql::Statement count = context().database()->prepare("SELECT count(*) FROM User_Configuration");
    ASSERT_EQ(count.step(), sql::Statement::Step::row);
    EXPECT_EQ(count.int64(0), total);
    const auto rejected = configuration.fetchRejected(context());
    EXPECT_EQ(rejected.size(), marked.size());
    std::set<QUuid> rejectedKeys;
    for (const auto& record : rejected)
        rejectedKeys.insert(*record.entityKey);
    for (int index : marked)
        EXPECT_TRUE(rejectedKeys.count(keys[index])) << index;
    EXPECT_EQ(configuration.fetchByTransferStatus(context(), 1).size(), total - marked.size());
}

TEST_F(ConcurrencyTest, TwoBackgroundWritersWaitForEachOther)
{
    constexpr int perTask = 2000;
    std::atomic<int> failures {0};
    for (int task = 0; task < 2; ++task) {
        controller->performBackgroundTask([&, task](StoreContext& background) {
            CDZIRV_Tag tags;
            for (int i = 0; i < perTask; ++i) {
                ZIRV_Tag tag;
                tag.entityKey = task * perTask + i + 1;
                tag.updateRecord = tag.entityKey;
                if (!tags.storeRecord(background, tag))
                    failures.fetch_add(1);
            }
        });
    }
    controller->waitForBackgroundTasks();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(CDZIRV_Tag().latestUpdateRecord(context()), 2 * perTask);
    sql::Statement count = context().database()->prepare("SELECT count(*) FROM ZIRV_Tag");
    ASSERT_EQ(count.step(), sql::Statement::Step::row);
    EXPECT_EQ(count.int64(0), 2 * perTask);
}

} // namespace
} // namespace zirv::test
