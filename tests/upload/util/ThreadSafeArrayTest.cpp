#include "upload/util/ThreadSafeArray.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

using namespace zirv;

namespace {

struct Element {
    std::string uniqueId;
    int value = 0;
};
using Ref = std::shared_ptr<Element>;

Ref make(std::string id, int value)
{
    return std::make_shared<Element>(Element{std::move(id), value});
}

} // namespace

TEST(ThreadSafeArray, FirstUpdateAndRemoveActOnTheEarlierOfTwoEqualIds)
{
    ThreadSafeArray<Ref> list;
    list.append(make("a", 1));
    list.append(make("a", 2));
    list.append(make("b", 3));

    EXPECT_EQ(list.first(std::string("a")).value()->value, 1);
    list.update(make("a", 10));
    auto all = list.snapshot();
    EXPECT_EQ(all[0]->value, 10);
    EXPECT_EQ(all[1]->value, 2);

    list.remove(std::string("a"));
    all = list.snapshot();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]->value, 2);
}

TEST(ThreadSafeArray, UnknownIdentifierChangesNothing)
{
    ThreadSafeArray<Ref> list;
    list.append(make("a", 1));
    list.update(make("zzz", 5));
    list.remove(std::string("zzz"));
    ASSERT_EQ(list.count(), 1u);
    EXPECT_EQ(list.first(std::string("a")).value()->value, 1);
    EXPECT_FALSE(list.first(std::string("zzz")).has_value());
}

TEST(ThreadSafeArray, ReadsFilterSortAndFold)
{
    ThreadSafeArray<Ref> list;
    for (int v : {5, 1, 4, 1})
        list.append(make(std::to_string(v), v));
    EXPECT_EQ(list.filter([](const Ref& e) { return e->value > 1; }).size(), 2u);
    const auto sorted = list.sorted([](const Ref& x, const Ref& y) { return x->value < y->value; });
    EXPECT_EQ(sorted.front()->value, 1);
    EXPECT_EQ(sorted.back()->value, 5);
    EXPECT_EQ(list.reduce(0, [](int sum, const Ref& e) { return sum + e->value; }), 11);
    list.removeAll();
    EXPECT_EQ(list.count(), 0u);
}

TEST(ThreadSafeArray, AppendUnlessIsOneStepAcrossThreads)
{
    ThreadSafeArray<Ref> list;
    std::atomic<int> appended = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                const std::string id = "id" + std::to_string(i);
                if (list.appendUnless([&](const Ref& e) { return e->uniqueId == id; }, make(id, i)))
                    ++appended;
                // a read right after a write on the same thread sees it
                EXPECT_TRUE(list.first(id).has_value());
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(appended.load(), 200);
    EXPECT_EQ(list.count(), 200u);
}
