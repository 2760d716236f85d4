#pragma once
// A handle on one request in flight. Releasing it (destruction, reset() or
// assigning another handle over it) aborts the request and guarantees that
// none of the request's callbacks runs afterwards: a callback that has already
// started on another thread is waited for, one on the releasing thread itself
// (a callback that releases its own handle) simply finishes.

#include <functional>
#include <memory>
#include <mutex>

namespace zirv::net {

// The state shared by a handle and the work it guards.
class CancelState {
public:
    // Runs `deliver` unless the handle was released; answers whether it ran.
    bool deliver(const std::function<void()>& deliver);

    bool cancelled() const;

    // Marks the work cancelled and runs the abort action once.
    void cancel();

    // What cancel() does besides silencing the callbacks (aborting the
    // transfer). Set once, before the handle is handed out.
    void setAbortAction(std::function<void()> abort);

private:
    mutable std::recursive_mutex m_mutex;
    bool m_cancelled = false;
    std::function<void()> m_abort;
};

class Cancelable {
public:
    Cancelable() = default;
    explicit Cancelable(std::shared_ptr<CancelState> state) : m_state(std::move(state)) {}
    Cancelable(Cancelable&&) noexcept = default;
    Cancelable& operator=(Cancelable&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_state = std::move(other.m_state);
        }
        return *this;
    }
    Cancelable(const Cancelable&) = delete;
    Cancelable& operator=(const Cancelable&) = delete;
    ~Cancelable() { reset(); }

    // Aborts the request (if any) and silences it.
    void reset()
    {
        if (auto state = std::move(m_state))
            state->cancel();
    }

    // True while the handle holds a request (finished or not).
    explicit operator bool() const { return static_cast<bool>(m_state); }

private:
    std::shared_ptr<CancelState> m_state;
};

} // namespace zirv::net
