#include "Cancelable.h"

namespace zirv::net {

bool CancelState::deliver(const std::function<void()>& deliver)
{
    std::lock_guard lock(m_mutex);
    if (m_cancelled)
        return false;
    deliver();
    return true;
}

bool CancelState::cancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

void CancelState::cancel()
{
    std::function<void()> abort;
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled)
            return;
        m_cancelled = true;
        abort = std::move(m_abort);
    }
    // Outside the lock: the abort action talks to the network thread, which
    // may itself be waiting to deliver under this lock.
    if (abort)
        abort();
}

void CancelState::setAbortAction(std::function<void()> abort)
{
    std::lock_guard lock(m_mutex);
    m_abort = std::move(abort);
}

} // namespace zirv::net
