#include "backend/reachability/UtilNetwork.h"

#include "app/core/MainThread.h"
#include "app/core/Notifications.h"
#include "tests/support/EventPump.h"

#include <QObject>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace zirv {
namespace {

using namespace std::chrono_literals;
using test::pumpFor;
using test::pumpUntil;

bool dataServerActive(UtilNetwork& network)
{
    return (*network.networkAreaStatus().first(QStringLiteral("0")))->isActive.load();
}

// The blocking check, run off the main thread as its callers do.
bool checkOffMain(UtilNetwork& network, const QString& url)
{
    bool answer = false;
    std::thread([&] { answer = network.isHostReachable(url, NetworkAccessibleArea::dataServer); }).join();
    return answer;
}

TEST(UtilNetwork, StartsWithThreeActiveAreasInOrder)
{
    NotificationHub hub;
    UtilNetwork network(hub);
    const auto areas = network.networkAreaStatus().snapshot();
    ASSERT_EQ(areas.size(), 3u);
    EXPECT_EQ(areas[0]->uniqueId, QStringLiteral("0"));
    EXPECT_EQ(areas[0]->area, NetworkAccessibleArea::dataServer);
    EXPECT_EQ(areas[1]->area, NetworkAccessibleArea::accessServer);
    EXPECT_EQ(areas[2]->uniqueId, QStringLiteral("2"));
    for (const auto& area : areas)
        EXPECT_TRUE(area->isActive);
}

struct HostCase {
    const char* name;
    QString url;
    bool reachable;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const HostCase& c, std::ostream* out)
{
    *out << c.name;
}

class UtilNetworkHosts : public ::testing::TestWithParam<HostCase> {};

TEST_P(UtilNetworkHosts, AnswersWhetherTheHostResolvesToIPv4)
{
    NotificationHub hub;
    UtilNetwork network(hub);
    EXPECT_EQ(checkOffMain(network, GetParam().url), GetParam().reachable);
    EXPECT_EQ(dataServerActive(network), GetParam().reachable);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UtilNetworkHosts,
    ::testing::Values(HostCase{"Localhost", "http://localhost:8780/api/x", true},
                      HostCase{"Loopback", "https://127.0.0.1/", true},
                      HostCase{"InvalidName", "https://no-such-host.invalid/api", false},
                      HostCase{"NoHost", "/api/zirvAccountLogin", false},
                      HostCase{"Empty", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UtilNetwork, AFailedCheckIsForgottenByTheNextSuccessfulOne)
{
    NotificationHub hub;
    UtilNetwork network(hub);
    EXPECT_FALSE(checkOffMain(network, QStringLiteral("no host at all")));
    EXPECT_FALSE(dataServerActive(network));
    EXPECT_TRUE(checkOffMain(network, QStringLiteral("http://localhost/")));
    EXPECT_TRUE(dataServerActive(network));
}

TEST(UtilNetwork, AnInactiveOtherAreaMakesTheAnswerFalse)
{
    NotificationHub hub;
    UtilNetwork network(hub);
    auto media = *network.networkAreaStatus().first(QStringLiteral("2"));
    media->isActive = false;
    network.networkAreaStatus().update(media);
    EXPECT_FALSE(checkOffMain(network, QStringLiteral("http://localhost/")));
    EXPECT_TRUE(dataServerActive(network));
}

TEST(UtilNetwork, TheAsynchronousCheckAnswersOnTheMainThread)
{
    NotificationHub hub;
    UtilNetwork network(hub);
    std::optional<bool> answer;
    bool onMain = false;
    network.checkHostReachable(QStringLiteral("http://localhost/"), NetworkAccessibleArea::dataServer,
                               [&](bool reachable) {
                                   answer = reachable;
                                   onMain = isMainThread();
                               });
    ASSERT_TRUE(pumpUntil([&] { return answer.has_value(); }));
    EXPECT_TRUE(*answer);
    EXPECT_TRUE(onMain);

    // An answer for a context that is gone is dropped.
    auto context = std::make_unique<QObject>();
    bool called = false;
    network.checkHostReachable(QStringLiteral("http://localhost/"), NetworkAccessibleArea::dataServer,
                               [&](bool) { called = true; }, context.get());
    context.reset();
    pumpFor(200ms);
    EXPECT_FALSE(called);
}

struct Heard {
    std::vector<std::string> names;
    bool payloadless = true;
    bool onMain = true;
};

NotificationHub::Subscription listen(NotificationHub& hub, std::string_view name, Heard& heard)
{
    return hub.observe(name, [&heard](const Notification& notification) {
        heard.names.push_back(notification.name);
        heard.payloadless = heard.payloadless && !notification.userInfo;
        heard.onMain = heard.onMain && isMainThread();
    });
}

TEST(UtilNetwork, TheHeartbeatPostsUpWhileSomeAreaIsActive)
{
    NotificationHub hub;
    Heard heard;
    auto up = listen(hub, notify::networkStatusUp, heard);
    auto down = listen(hub, notify::networkStatusDown, heard);
    UtilNetwork network(hub, 50ms);
    EXPECT_FALSE(checkOffMain(network, QStringLiteral("https://no-such-host.invalid/")));

    ASSERT_TRUE(pumpUntil([&] { return heard.names.size() >= 3; }));
    for (const auto& name : heard.names)
        EXPECT_EQ(name, "notifyNetworkStatusUp");
    EXPECT_TRUE(heard.payloadless);
    EXPECT_TRUE(heard.onMain);
}

TEST(UtilNetwork, TheHeartbeatPostsDownWhenEveryAreaIsInactive)
{
    NotificationHub hub;
    Heard heard;
    auto down = listen(hub, notify::networkStatusDown, heard);
    UtilNetwork network(hub, 50ms);
    for (const auto& area : network.networkAreaStatus().snapshot()) {
        area->isActive = false;
        network.networkAreaStatus().update(area);
    }
    ASSERT_TRUE(pumpUntil([&] { return heard.names.size() >= 2; }));
    EXPECT_EQ(heard.names.front(), "notifyNetworkStatusDown");
}

TEST(UtilNetwork, TheHeartbeatKeepsASecondsPeriodByDefault)
{
    NotificationHub hub;
    Heard heard;
    auto up = listen(hub, notify::networkStatusUp, heard);
    UtilNetwork network(hub);
    pumpFor(500ms);
    EXPECT_TRUE(heard.names.empty());
    ASSERT_TRUE(pumpUntil([&] { return heard.names.size() == 1; }, 5s));
}

TEST(UtilNetwork, NothingIsPostedOnceTheInstanceIsGone)
{
    NotificationHub hub;
    Heard heard;
    auto up = listen(hub, notify::networkStatusUp, heard);
    auto network = std::make_unique<UtilNetwork>(hub, 20ms);
    ASSERT_TRUE(pumpUntil([&] { return !heard.names.empty(); }));
    network.reset();
    const size_t count = heard.names.size();
    pumpFor(100ms);
    EXPECT_EQ(heard.names.size(), count);
}

} // namespace
} // namespace zirv
