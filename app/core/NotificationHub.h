#pragma once
// Process-wide publish and subscribe by name, with synchronous delivery.
//
// Posters keep to one rule: every post happens on the main thread (hop there
// first with runOnMain / runOnMainAfter). Delivery then runs every current
// observer of the name, in the order they subscribed, before post() returns.
// A handler may post again or (un)subscribe; that is safe.

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zirv {

// The single entry of a notification's user information that carries a payload.
inline constexpr std::string_view payloadKey = "payload";

struct Notification {
    std::string name;
    // Absent for a notification without a payload; otherwise exactly one entry
    // under payloadKey.
    std::optional<std::map<std::string, std::any, std::less<>>> userInfo;
};

// The payload under "payload" if it is there and of type P; none otherwise.
template <class P>
std::optional<P> payloadOf(const Notification& notification)
{
    if (!notification.userInfo)
        return std::nullopt;
    const auto it = notification.userInfo->find(payloadKey);
    if (it == notification.userInfo->end())
        return std::nullopt;
    if (const P* payload = std::any_cast<P>(&it->second))
        return *payload;
    return std::nullopt;
}

class NotificationHub {
public:
    using Handler = std::function<void(const Notification&)>;

    // Ends its observation when destroyed (or reset). Move-only.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&&) noexcept = default;
        Subscription& operator=(Subscription&& other) noexcept;
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription();

        void reset();
        bool active() const { return static_cast<bool>(m_entry); }

    private:
        friend class NotificationHub;
        struct Entry;
        Subscription(std::weak_ptr<NotificationHub*> hub, std::shared_ptr<Entry> entry);

        std::weak_ptr<NotificationHub*> m_hub;
        std::shared_ptr<Entry> m_entry;
    };

    NotificationHub();
    ~NotificationHub();
    NotificationHub(const NotificationHub&) = delete;
    NotificationHub& operator=(const NotificationHub&) = delete;

    // The process-wide hub.
    static NotificationHub& defaultHub();

    [[nodiscard]] Subscription observe(std::string_view name, Handler handler);

    void post(std::string_view name);
    template <class P>
    void post(std::string_view name, P payload)
    {
        Notification notification{std::string(name), std::map<std::string, std::any, std::less<>>{}};
        notification.userInfo->emplace(std::string(payloadKey), std::any(std::move(payload)));
        post(notification);
    }
    void post(const Notification& notification);

private:
    void remove(const std::shared_ptr<Subscription::Entry>& entry);

    std::mutex m_mutex;
    std::vector<std::shared_ptr<Subscription::Entry>> m_entries;
    // Lets subscriptions outlive the hub without dangling.
    std::shared_ptr<NotificationHub*> m_self;
};

} // namespace zirv
