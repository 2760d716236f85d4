#pragma once
// A named serial worker queue: tasks run one after another, in the order they
// were posted, on the queue's own thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace zirv {

class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    // Runs the tasks already posted, then ends the thread.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return m_label; }
    void post(std::function<void()> task);
    // True on this queue's own thread.
    bool isCurrent() const;

private:
    void run();

    std::string m_label;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::thread m_thread;
};

// Hands `work` to the main thread unless the application object is going or
// gone (work posted from worker threads while the process ends is dropped).
void runOnMainWhileAlive(std::function<void()> work);

} // namespace zirv
