// Starts the window's jobs on threads of their own and keeps a register of
// them, so that the window can stop them all when it goes away.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

// A job: a function of one argument (an integer or the address of a heap
// object the job then owns), run on a thread of its own.
using ThreadParam = std::uintptr_t;
using ThreadFunc = void (*)(ThreadParam);

// The system id of the calling thread, as StartThread returns them.
std::uint32_t CurrentThreadId();

// Owned by the window; StartThread, RemoveThread and TerminateAllThreads may
// be called from any thread. Three registers (handle, function, parameter)
// each under its own lock, always taken in that order. A job's thread is
// registered before the job starts and leaves all three registers when the
// job returns.
//
// There is no forced termination: "terminating" a thread sets its job's
// cancellation flag (CCancelFlag::Current() inside the job), which every
// transfer, MD5 check and cancellable wait honours, so the job ends promptly
// on its own.
//
// Lifetime rule (what an owner such as the main window relies on):
//   Once TerminateAllThreads (or RemoveThread with terminate, for that one
//   job) has returned, the jobs concerned post no event and touch nothing
//   their owner may free, now or later: not the event sink, not the owner's
//   dispatch queue or window, not objects it handed to the job. The owner
//   may destroy all of that at once, without waiting for the threads.
// How: every job reaches its owner's objects only through its flag's gate
// (CCancelFlag::Publish: events through CJobEvents, results and shared
// values through PublishUnlessCancelled). A step runs only while the flag is
// clear, and cancelling waits for a step in progress before it returns. The
// threads themselves may run on for a moment (a transfer being taken down),
// touching only what they own and process-wide values that live until the
// process ends (progress records, the download queue, the log).
// For a window this means: SetEngineEvents(&its sink) before starting jobs;
// on close TerminateAllThreads, then SetEngineEvents(nullptr), then destroy
// the sink and the window. Calls still queued in its CMsgDispatch are
// dropped with it. A sink must only queue (never wait for the window
// thread), since a cancel waits for a delivery in progress.
class CWindowMultiThreadManager {
public:
    CWindowMultiThreadManager();
    // Cancels every job (TerminateAllThreads); does not wait for the threads.
    virtual ~CWindowMultiThreadManager();
    CWindowMultiThreadManager(const CWindowMultiThreadManager&) = delete;
    CWindowMultiThreadManager& operator=(const CWindowMultiThreadManager&) = delete;

    // Runs func(param) on a new thread; returns its id, or 0 when no thread
    // could be created (the job then never runs).
    std::uint32_t StartThread(ThreadFunc func, ThreadParam param);

    // Removes id from the three registers, cancelling its job when terminate
    // is set (with the lifetime rule above once this returns).
    void RemoveThread(std::uint32_t id, bool terminate);

    // Cancels every registered job and empties the handle register. When it
    // returns, none of them posts or touches its owner's objects any more.
    void TerminateAllThreads();

    // Which registers hold id (for diagnostics and tests).
    struct Registration {
        bool handle = false;
        bool function = false;
        bool parameter = false;
    };
    Registration RegisteredIn(std::uint32_t id) const;

    // Number of started jobs that have not returned yet.
    int RunningCount() const;
    // Waits until no job started here runs; true when that happened in time.
    bool WaitForAll(std::chrono::milliseconds timeout) const;

private:
    struct Shared;
    static void threadEntry(const std::shared_ptr<Shared>& shared, std::uint32_t id);

    std::shared_ptr<Shared> m_shared;
};
