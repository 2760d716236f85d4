#include "UtilNetwork.h"

#include "app/core/MainThread.h"
#include "app/core/Notifications.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

namespace zirv {

using namespace std::chrono_literals;

namespace {

void markArea(UtilNetwork::AreaList& areas, NetworkAccessibleArea area, bool active)
{
    const QString id = QString::number(static_cast<int>(area));
    if (auto entry = areas.first(id)) {
        (*entry)->isActive = active;
        areas.update(*entry);
    }
}

bool resolvesToIPv4(const QByteArray& host)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.constData(), nullptr, &hints, &found) != 0 || !found)
        return false;
    bool ok = false;
    if (found->ai_addrlen > 0 && found->ai_addr && found->ai_family == AF_INET) {
        char text[INET_ADDRSTRLEN] = {};
        const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
        ok = inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    }
    freeaddrinfo(found);
    return ok;
}

bool checkHost(UtilNetwork::AreaList& areas, const QString& url, NetworkAccessibleArea area)
{
    const QByteArray host = QUrl(url).host(QUrl::FullyEncoded).toUtf8();
    if (host.isEmpty() || !resolvesToIPv4(host)) {
        markArea(areas, area, false);
        return false;
    }
    markArea(areas, area, true);
    return areas.reduce(true, [](bool allActive, const std::shared_ptr<NetworkAreaStatus>& entry) {
        return allActive && entry->isActive.load();
    });
}

} // namespace

UtilNetwork& UtilNetwork::shared()
{
    // Lives as long as the process.
    static auto* instance = new UtilNetwork;
    return *instance;
}

UtilNetwork::UtilNetwork(NotificationHub& hub, std::chrono::milliseconds heartbeatPeriod)
    : m_hub(hub), m_period(heartbeatPeriod), m_areas(std::make_shared<AreaList>()),
      m_context(std::make_unique<QObject>())
{
    m_areas->append(std::make_shared<NetworkAreaStatus>(QStringLiteral("0"), NetworkAccessibleArea::dataServer, true));
    m_areas->append(std::make_shared<NetworkAreaStatus>(QStringLiteral("1"), NetworkAccessibleArea::accessServer, true));
    m_areas->append(std::make_shared<NetworkAreaStatus>(QStringLiteral("2"), NetworkAccessibleArea::mediaServer, true));

    // The timer belongs to the main thread, whichever thread made us.
    if (QCoreApplication* app = QCoreApplication::instance(); app && !isMainThread())
        m_context->moveToThread(app->thread());
    runOnMain(m_context.get(), [this] { startHeartbeat(); });
}

UtilNetwork::~UtilNetwork() = default;

void UtilNetwork::startHeartbeat()
{
    delete m_heartbeatTimer; // replaces any timer held before
    m_heartbeatTimer = new QTimer(m_context.get());
    QObject::connect(m_heartbeatTimer, &QTimer::timeout, m_context.get(), [this] { heartbeat(); });
    m_heartbeatTimer->start(m_period);
}

void UtilNetwork::heartbeat()
{
    const size_t total = m_areas->count();
    const size_t inactive = m_areas->reduce(size_t{0}, [](size_t count, const std::shared_ptr<NetworkAreaStatus>& entry) {
        return count + (entry->isActive.load() ? 0 : 1);
    });
    const std::string_view name = inactive == total ? notify::networkStatusDown : notify::networkStatusUp;
    NotificationHub* hub = &m_hub;
    runOnMainAfter(10ms, m_context.get(), [hub, name] { hub->post(name); });
}

bool UtilNetwork::isHostReachable(const QString& url, NetworkAccessibleArea area)
{
    return checkHost(*m_areas, url, area);
}

void UtilNetwork::checkHostReachable(const QString& url, NetworkAccessibleArea area,
                                     std::function<void(bool)> answer, const QObject* context)
{
    QPointer<const QObject> guard(context);
    const bool guarded = context != nullptr;
    QThreadPool::globalInstance()->start([areas = m_areas, url, area, answer = std::move(answer), guard, guarded] {
        const bool reachable = checkHost(*areas, url, area);
        runOnMain([answer, reachable, guard, guarded] {
            if (guarded && !guard)
                return;
            answer(reachable);
        });
    });
}

} // namespace zirv
