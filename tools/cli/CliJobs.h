// The command-line front end's side of the jobs: threads for job bodies, and
// the events they post, queued for the main thread.
#pragma once

#include "engine/CancelFlag.h"
#include "engine/EngineEvents.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

// One event as a job posted it.
struct CliEvent {
    enum Kind {
        CheckVersionResult,
        CheckVersionFailed,
        GetConfigResult,
        GetConfigFailed,
        FileListFailed,
        ShowStatusText,
        StartDownload,
        DownloadProgress,
        DownloadThreadEnd,
        SelfUpdateFailed,
    } kind;
    EventArg a1 = 0;
    EventArg a2 = 0;
};

// Queues every event for the main thread, which takes them with Next. Heap
// strings travel with the event; the taker owns them.
class CCliEvents : public IEngineEvents {
public:
    ~CCliEvents() override;

    // Waits up to timeoutMs for the next event; false when none came.
    bool Next(CliEvent& event, int timeoutMs);

    void OnCheckVersionResult(EventArg a1, EventArg a2) override { push(CliEvent::CheckVersionResult, a1, a2); }
    void OnCheckVersionFailed(EventArg a1, EventArg a2) override { push(CliEvent::CheckVersionFailed, a1, a2); }
    void OnGetConfigResult(EventArg a1, EventArg a2) override { push(CliEvent::GetConfigResult, a1, a2); }
    void OnGetConfigFailed(EventArg a1, EventArg a2) override { push(CliEvent::GetConfigFailed, a1, a2); }
    void OnFileListFailed(EventArg a1, EventArg a2) override { push(CliEvent::FileListFailed, a1, a2); }
    void OnShowStatusText(EventArg a1, EventArg a2) override { push(CliEvent::ShowStatusText, a1, a2); }
    void OnStartDownload(EventArg a1, EventArg a2) override { push(CliEvent::StartDownload, a1, a2); }
    void OnDownloadProgress(EventArg a1, EventArg a2) override { push(CliEvent::DownloadProgress, a1, a2); }
    void OnDownloadThreadEnd(EventArg a1, EventArg a2) override { push(CliEvent::DownloadThreadEnd, a1, a2); }
    void OnSelfUpdateFailed(EventArg a1, EventArg a2) override { push(CliEvent::SelfUpdateFailed, a1, a2); }

private:
    void push(CliEvent::Kind kind, EventArg a1, EventArg a2);

    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<CliEvent> m_events;
};

// Frees the heap string an event carries, if any.
void DropEventPayload(const CliEvent& event);

// Runs job bodies on threads of their own, each with its cancellation flag.
// Jobs are joined (after being cancelled) when the runner goes.
class CJobRunner {
public:
    using JobFunc = void (*)(std::uintptr_t);
    ~CJobRunner();

    // Starts fn(param) and returns the new thread's system id once it runs.
    std::uint32_t Start(JobFunc fn, std::uintptr_t param);
    // Waits up to timeoutMs for every job to end; true when all have.
    bool WaitAll(int timeoutMs);
    void CancelAll();

private:
    struct Job {
        std::thread thread;
        CCancelFlag cancel;
        bool done = false;
    };
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::list<std::unique_ptr<Job>> m_jobs;
};
