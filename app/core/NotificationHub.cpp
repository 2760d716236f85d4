#include "NotificationHub.h"

#include <algorithm>
#include <atomic>

namespace zirv {

struct NotificationHub::Subscription::Entry {
    std::string name;
    Handler handler;
    std::atomic<bool> active{true};
};

NotificationHub::Subscription::Subscription(std::weak_ptr<NotificationHub*> hub,
                                            std::shared_ptr<Entry> entry)
    : m_hub(std::move(hub))
    , m_entry(std::move(entry))
{
}

NotificationHub::Subscription&
NotificationHub::Subscription::operator=(Subscription&& other) noexcept
{
    if (this != &other) {
        reset();
        m_hub = std::move(other.m_hub);
        m_entry = std::move(other.m_entry);
    }
    return *this;
}

NotificationHub::Subscription::~Subscription()
{
    reset();
}

void NotificationHub::Subscription::reset()
{
    if (!m_entry)
        return;
    m_entry->active = false;
    if (auto hub = m_hub.lock())
        (*hub)->remove(m_entry);
    m_entry.reset();
    m_hub.reset();
}

NotificationHub::NotificationHub()
    : m_self(std::make_shared<NotificationHub*>(this))
{
}

NotificationHub::~NotificationHub() = default;

NotificationHub& NotificationHub::defaultHub()
{
    static NotificationHub hub;
    return hub;
}

NotificationHub::Subscription NotificationHub::observe(std::string_view name, Handler handler)
{
    auto entry = std::make_shared<Subscription::Entry>();
    entry->name = std::string(name);
    entry->handler = std::move(handler);
    {
        std::lock_guard lock(m_mutex);
        m_entries.push_back(entry);
    }
    return Subscription(m_self, entry);
}

void NotificationHub::remove(const std::shared_ptr<Subscription::Entry>& entry)
{
    std::lock_guard lock(m_mutex);
    std::erase(m_entries, entry);
}

void NotificationHub::post(std::string_view name)
{
    post(Notification{std::string(name), std::nullopt});
}

void NotificationHub::post(const Notification& notification)
{
    // Deliver to a snapshot, so that handlers may subscribe, unsubscribe or
    // post while we iterate; an entry ended meanwhile is skipped.
    std::vector<std::shared_ptr<Subscription::Entry>> targets;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& entry : m_entries)
            if (entry->name == notification.name)
                targets.push_back(entry);
    }
    for (const auto& entry : targets)
        if (entry->active)
            entry->handler(notification);
}

} // namespace zirv
