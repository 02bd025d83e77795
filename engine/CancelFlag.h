// Cooperative cancellation for jobs: a flag that transfers and waits of a job
// honour, so that a job blocked on the network ends promptly when the window
// tears its jobs down.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

// One flag per job. Any thread may cancel; the job's own thread waits on it.
// Cancelling cannot be undone. Wakers are callbacks that interrupt blocking
// calls (a transfer waiting in poll); they run on the cancelling thread.
class CCancelFlag {
public:
    CCancelFlag() = default;
    CCancelFlag(const CCancelFlag&) = delete;
    CCancelFlag& operator=(const CCancelFlag&) = delete;

    // Sets the flag, wakes every waiter and runs every registered waker.
    void Cancel();
    bool IsCancelled() const { return m_cancelled.load(std::memory_order_acquire); }

    // Waits for the given time. True when the time passed, false when the
    // flag was (or became) set.
    bool WaitFor(std::chrono::milliseconds duration);

    // Registers a callback that Cancel runs; returns a key for RemoveWaker.
    // When the flag is already set the callback runs at once as well.
    int AddWaker(std::function<void()> waker);
    // After this returns the callback is not running and will never run.
    void RemoveWaker(int key);

    // The flag of the job running on the calling thread (set by the thread
    // manager), or null on threads that are not jobs.
    static CCancelFlag* Current();
    static void SetCurrent(CCancelFlag* flag);

private:
    std::atomic<bool> m_cancelled{false};
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::map<int, std::function<void()>> m_wakers;
    int m_nextKey = 1;
};

// Sleeps ms milliseconds unless the calling job is cancelled first. True when
// the whole time passed. On a thread without a job flag it simply sleeps.
bool CancellableSleep(std::uint32_t ms);
