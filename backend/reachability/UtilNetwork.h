#pragma once
// Host reachability: can the host of a URL be resolved to an IPv4 address?
//
// Also keeps the last known state of three network areas and, once a second
// from its making on, posts "notifyNetworkStatusUp" (some area active) or
// "notifyNetworkStatusDown" (every area inactive) on the main thread.

#include "app/core/NotificationHub.h"
#include "upload/util/ThreadSafeArray.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class QObject;
class QTimer;

namespace zirv {

enum class NetworkAccessibleArea {
    dataServer = 0,
    accessServer = 1,
    mediaServer = 2,
};

// Shared between threads: the state flag is atomic.
struct NetworkAreaStatus {
    QString uniqueId; // the area number in decimal
    NetworkAccessibleArea area = NetworkAccessibleArea::dataServer;
    std::atomic<bool> isActive{true};

    NetworkAreaStatus(QString id, NetworkAccessibleArea a, bool active)
        : uniqueId(std::move(id)), area(a), isActive(active) {}
};

class UtilNetwork {
public:
    using AreaList = ThreadSafeArray<std::shared_ptr<NetworkAreaStatus>>;

    // The process-wide instance, made on first use (which starts the heartbeat).
    static UtilNetwork& shared();

    // A separate instance posting to `hub` (tests). Make and destroy it on the
    // main thread.
    explicit UtilNetwork(NotificationHub& hub = NotificationHub::defaultHub(),
                         std::chrono::milliseconds heartbeatPeriod = std::chrono::milliseconds(1000));
    ~UtilNetwork();
    UtilNetwork(const UtilNetwork&) = delete;
    UtilNetwork& operator=(const UtilNetwork&) = delete;

    // The host check. Blocks for the name lookup: call it off the main
    // thread (or use checkHostReachable). Answers true when the host resolved
    // and no area is inactive.
    bool isHostReachable(const QString& url, NetworkAccessibleArea area);

    // The same check on a worker thread; `answer` runs on the main thread
    // (unless `context`, a main-thread object, is destroyed first).
    void checkHostReachable(const QString& url, NetworkAccessibleArea area,
                            std::function<void(bool reachable)> answer, const QObject* context = nullptr);

    // The areas in the order dataServer, accessServer, mediaServer.
    AreaList& networkAreaStatus() { return *m_areas; }

private:
    void startHeartbeat();
    void heartbeat();

    NotificationHub& m_hub;
    std::chrono::milliseconds m_period;
    // Worker-thread checks keep the list alive on their own.
    std::shared_ptr<AreaList> m_areas;
    // Lives on the main thread; owns the timer and guards queued posts.
    std::unique_ptr<QObject> m_context;
    QTimer* m_heartbeatTimer = nullptr;
};

} // namespace zirv
