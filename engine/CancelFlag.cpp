// Cooperative cancellation of jobs.
#include "engine/CancelFlag.h"

#include <thread>

namespace {
thread_local CCancelFlag* t_current = nullptr;
}

void CCancelFlag::Cancel() {
    {
        std::lock_guard lock(m_lock);
        m_cancelled.store(true, std::memory_order_release);
        for (auto& [key, waker] : m_wakers) waker();
        m_wake.notify_all();
    }
    // A step that saw the flag clear may still run; wait for it to end.
    std::lock_guard gate(m_gate);
}

bool CCancelFlag::WaitFor(std::chrono::milliseconds duration) {
    std::unique_lock lock(m_lock);
    return !m_wake.wait_for(lock, duration, [this] { return IsCancelled(); });
}

int CCancelFlag::AddWaker(std::function<void()> waker) {
    std::lock_guard lock(m_lock);
    if (IsCancelled()) waker();
    int key = m_nextKey++;
    m_wakers.emplace(key, std::move(waker));
    return key;
}

void CCancelFlag::RemoveWaker(int key) {
    std::lock_guard lock(m_lock);
    m_wakers.erase(key);
}

CCancelFlag* CCancelFlag::Current() { return t_current; }

bool JobCancelled() {
    CCancelFlag* flag = CCancelFlag::Current();
    return flag && flag->IsCancelled();
}

void CCancelFlag::SetCurrent(CCancelFlag* flag) { t_current = flag; }

bool CancellableSleep(std::uint32_t ms) {
    if (CCancelFlag* flag = CCancelFlag::Current()) return flag->WaitFor(std::chrono::milliseconds(ms));
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return true;
}
