// The event queue of the command-line front end.
#include "tools/cli/CliJobs.h"

CCliEvents::~CCliEvents() {
    for (const CliEvent& e : m_events) DropEventPayload(e);
}

void CCliEvents::push(CliEvent::Kind kind, EventArg a1, EventArg a2) {
    {
        std::lock_guard lock(m_lock);
        m_events.push_back({kind, a1, a2});
    }
    m_ready.notify_one();
}

bool CCliEvents::Next(CliEvent& event, int timeoutMs) {
    std::unique_lock lock(m_lock);
    if (!m_ready.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_events.empty(); }))
        return false;
    event = m_events.front();
    m_events.pop_front();
    return true;
}

void DropEventPayload(const CliEvent& event) {
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
