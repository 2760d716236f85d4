#include "app/core/NotificationHub.h"
#include "app/core/Notifications.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zirv;

TEST(NotificationHub, DeliversSynchronouslyToObserversOfTheNameOnly)
{
    NotificationHub hub;
    std::vector<std::string> seen;
    auto a = hub.observe(notify::userDataStoreModified, [&](const Notification& n) {
        seen.push_back("a:" + n.name);
        EXPECT_FALSE(n.userInfo.has_value());
    });
    auto b = hub.observe(notify::accountDataStoreModified, [&](const Notification& n) {
        seen.push_back("b:" + n.name);
    });
    hub.post(notify::userDataStoreModified);
    EXPECT_EQ(seen, (std::vector<std::string>{"a:userDataStoreModified"}));
}

TEST(NotificationHub, PostingWithoutObserversDoesNoHarm)
{
    NotificationHub hub;
    for (auto name : {notify::zirvDataStoreModified, notify::networkStatusDown,
                      notify::eventActionLogoutCompleted})
        hub.post(name);
    SUCCEED();
}

TEST(NotificationHub, PayloadTravelsUnderThePayloadKeyAndIsTypeChecked)
{
    NotificationHub hub;
    std::optional<PayloadNotifyEventMessageNetwork> network;
    std::optional<PayloadNotifyEventInvokePanel> panel;
    auto sub = hub.observe(notify::eventMessageNetwork, [&](const Notification& n) {
        ASSERT_TRUE(n.userInfo.has_value());
        EXPECT_EQ(n.userInfo->size(), 1u);
        EXPECT_TRUE(n.userInfo->contains("payload"));
        network = payloadOf<PayloadNotifyEventMessageNetwork>(n);
        panel = payloadOf<PayloadNotifyEventInvokePanel>(n);
    });
    hub.post(notify::eventMessageNetwork,
             PayloadNotifyEventMessageNetwork{NotifyEventMessageTypeIdentifier::loginAccount, true,
                                              QStringLiteral("Welcome")});
    ASSERT_TRUE(network.has_value());
    EXPECT_EQ(network->actionId, NotifyEventMessageTypeIdentifier::loginAccount);
    EXPECT_TRUE(network->success);
    EXPECT_EQ(network->userMessage, QStringLiteral("Welcome"));
    EXPECT_FALSE(panel.has_value()) << "a payload of another type reads as none";

    EXPECT_FALSE(payloadOf<PayloadNotifyEventInvokePanel>(Notification{"x", std::nullopt}));
}

TEST(NotificationHub, EndedSubscriptionsReceiveNothing)
{
    NotificationHub hub;
    int count = 0;
    auto sub = hub.observe(notify::userDataStoreModified, [&](const Notification&) { ++count; });
    hub.post(notify::userDataStoreModified);
    sub.reset();
    hub.post(notify::userDataStoreModified);
    {
        auto scoped = hub.observe(notify::userDataStoreModified, [&](const Notification&) { ++count; });
    }
    hub.post(notify::userDataStoreModified);
    EXPECT_EQ(count, 1);
}

TEST(NotificationHub, HandlersMayPostAndUnsubscribeDuringDelivery)
{
    NotificationHub hub;
    std::vector<std::string> order;
    NotificationHub::Subscription second;
    auto first = hub.observe("one", [&](const Notification&) {
        order.push_back("one");
        hub.post("two"); // delivered before this post returns
        second.reset();  // the later observer of "one" no longer hears it
    });
    second = hub.observe("one", [&](const Notification&) { order.push_back("second"); });
    auto two = hub.observe("two", [&](const Notification&) { order.push_back("two"); });
    hub.post("one");
    EXPECT_EQ(order, (std::vector<std::string>{"one", "two"}));
}

TEST(NotificationHub, SubscriptionMayOutliveItsHub)
{
    NotificationHub::Subscription sub;
    {
        NotificationHub hub;
        sub = hub.observe("x", [](const Notification&) {});
    }
    sub.reset(); // must not touch the destroyed hub
    SUCCEED();
}
