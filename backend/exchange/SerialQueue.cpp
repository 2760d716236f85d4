#include "SerialQueue.h"

#include "app/core/MainThread.h"

#include <QCoreApplication>

#include <pthread.h>

namespace zirv {

SerialQueue::SerialQueue(std::string label) : m_label(std::move(label))
{
    m_thread = std::thread([this] { run(); });
    // Thread names are limited to 15 characters; the tail is the telling part.
    const std::string shortName = m_label.size() > 15 ? m_label.substr(m_label.size() - 15) : m_label;
    pthread_setname_np(m_thread.native_handle(), shortName.c_str());
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SerialQueue::post(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

bool SerialQueue::isCurrent() const
{
    return std::this_thread::get_id() == m_thread.get_id();
}

void SerialQueue::run()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty())
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

namespace {

std::mutex mainAliveMutex;
bool mainGone = false;

} // namespace

void runOnMainWhileAlive(std::function<void()> work)
{
    static const bool routineAdded = [] {
        qAddPostRoutine([] {
            std::lock_guard lock(mainAliveMutex);
            mainGone = true;
        });
        return true;
    }();
    Q_UNUSED(routineAdded);
    std::lock_guard lock(mainAliveMutex);
    if (mainGone || !QCoreApplication::instance())
        return;
    runOnMain(std::move(work));
}

} // namespace zirv
