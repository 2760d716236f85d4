#include "app/core/MainThread.h"
#include "tests/support/EventPump.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

using namespace zirv;
using namespace std::chrono_literals;

TEST(MainThread, WorkFromAnotherThreadRunsOnTheMainThreadInOrder)
{
    std::vector<int> order;
    std::atomic<bool> allOnMain = true;
    std::thread worker([&] {
        EXPECT_FALSE(isMainThread());
        for (int i = 0; i < 3; ++i)
            runOnMain([&, i] {
                allOnMain = allOnMain && isMainThread();
                order.push_back(i);
            });
    });
    worker.join();
    ASSERT_TRUE(test::pumpUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(allOnMain);
}

TEST(MainThread, RunOnMainFromTheMainThreadDoesNotRunInline)
{
    bool ran = false;
    runOnMain([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(test::pumpUntil([&] { return ran; }));
}

TEST(MainThread, DelayedWorkWaitsForItsDelayEvenFromAWorker)
{
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> ranAfter = -1;
    std::atomic<bool> onMain = false;
    std::thread worker([&] {
        runOnMainAfter(100ms, [&] {
            onMain = isMainThread();
            ranAfter = clock.elapsed();
        });
    });
    worker.join();
    ASSERT_TRUE(test::pumpUntil([&] { return ranAfter >= 0; }));
    EXPECT_GE(ranAfter, 95);
    EXPECT_TRUE(onMain);
}

TEST(MainThread, WorkBoundToADestroyedContextIsDropped)
{
    auto context = std::make_unique<QObject>();
    bool ranImmediate = false;
    bool ranDelayed = false;
    runOnMain(context.get(), [&] { ranImmediate = true; });
    runOnMainAfter(10ms, context.get(), [&] { ranDelayed = true; });
    context.reset();
    test::pumpFor(60ms);
    EXPECT_FALSE(ranImmediate);
    EXPECT_FALSE(ranDelayed);
}
