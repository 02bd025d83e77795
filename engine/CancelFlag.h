// Cooperative cancellation for jobs: a flag that transfers and waits of a job
// honour, so that a job blocked on the network ends promptly when the window
// tears its jobs down, and a gate through which a job reaches anything its
// owner may free, so that nothing of the job reaches the owner once the flag
// is set.
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
//
// The gate: a job runs every step that touches its owner's objects (posting
// an event, storing a result, taking work from a queue the owner keeps)
// through Publish. Publish runs the step only while the flag is clear, under
// the flag's gate lock; Cancel sets the flag and then takes the gate lock
// once, so when Cancel returns no step is running and none will run. Steps
// must be short and must not wait for the cancelling thread (queue a call,
// store a value): Cancel waits for a step in progress.
class CCancelFlag {
public:
    CCancelFlag() = default;
    CCancelFlag(const CCancelFlag&) = delete;
    CCancelFlag& operator=(const CCancelFlag&) = delete;

    // Sets the flag, wakes every waiter, runs every registered waker, then
    // waits until a Publish step in progress (on another thread) has ended.
    void Cancel();
    bool IsCancelled() const { return m_cancelled.load(std::memory_order_acquire); }

    // Runs step unless the flag is set; true when it ran. Steps may nest.
    template <class Step>
    bool Publish(Step&& step) {
        std::lock_guard gate(m_gate);
        if (IsCancelled()) return false;
        step();
        return true;
    }

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
    std::recursive_mutex m_gate;
};

// True when the calling thread is a job whose flag is set.
bool JobCancelled();

// Runs step through the calling job's gate (see CCancelFlag::Publish): not
// at all once the job is cancelled. On a thread that is not a job it simply
// runs step. True when it ran.
template <class Step>
bool PublishUnlessCancelled(Step&& step) {
    if (CCancelFlag* flag = CCancelFlag::Current()) return flag->Publish(std::forward<Step>(step));
    step();
    return true;
}

// Sleeps ms milliseconds unless the calling job is cancelled first. True when
// the whole time passed. On a thread without a job flag it simply sleeps.
bool CancellableSleep(std::uint32_t ms);
