// Job threads and the event queue of the command-line front end.
#include "tools/cli/CliJobs.h"

#include <future>

#include <unistd.h>

CCliEvents::~CCliEvents()
{
    for (const CliEvent& e : m_events)
        DropEventPayload(e);
}

void CCliEvents::push(CliEvent::Kind kind, EventArg a1, EventArg a2)
{
    {
        std::lock_guard lock(m_lock);
        m_events.push_back({kind, a1, a2});
    }
    m_ready.notify_one();
}

bool CCliEvents::Next(CliEvent& event, int timeoutMs)
{
    std::unique_lock lock(m_lock);
    if (!m_ready.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_events.empty(); }))
        return false;
    event = m_events.front();
    m_events.pop_front();
    return true;
}

void DropEventPayload(const CliEvent& event)
{
    switch (event.kind) {
    case CliEvent::CheckVersionResult:
        TakeEventText(event.a2);
        break;
    case CliEvent::CheckVersionFailed:
    case CliEvent::GetConfigFailed:
    case CliEvent::FileListFailed:
    case CliEvent::ShowStatusText:
        TakeEventWideText(event.a2);
        break;
    default:
        break;
    }
}

CJobRunner::~CJobRunner()
{
    CancelAll();
    for (auto& job : m_jobs)
        job->thread.join();
}

std::uint32_t CJobRunner::Start(JobFunc fn, std::uintptr_t param)
{
    auto job = std::make_unique<Job>();
    Job* raw = job.get();
    std::promise<std::uint32_t> id;
    std::future<std::uint32_t> started = id.get_future();
    {
        std::lock_guard lock(m_lock);
        m_jobs.push_back(std::move(job));
    }
    raw->thread = std::thread([this, raw, fn, param, id = std::move(id)]() mutable {
        CCancelFlag::SetCurrent(&raw->cancel);
        id.set_value(static_cast<std::uint32_t>(::gettid()));
        fn(param);
        CCancelFlag::SetCurrent(nullptr);
        {
            std::lock_guard lock(m_lock);
            raw->done = true;
        }
        m_changed.notify_all();
    });
    return started.get();
}

bool CJobRunner::WaitAll(int timeoutMs)
{
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        for (auto& job : m_jobs) {
            if (!job->done)
                return false;
        }
        return true;
    });
}

void CJobRunner::CancelAll()
{
    std::lock_guard lock(m_lock);
    for (auto& job : m_jobs)
        job->cancel.Cancel();
}
