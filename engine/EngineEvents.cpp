// Event payload ownership and the process-wide event sink.
#include "engine/EngineEvents.h"

#include "engine/CancelFlag.h"
#include "engine/PointerArg.h"

#include <atomic>

EventArg MakeEventText(std::string text) { return OwnedArg(std::make_unique<std::string>(std::move(text))); }

EventArg MakeEventWideText(std::wstring text) { return OwnedArg(std::make_unique<std::wstring>(std::move(text))); }

std::unique_ptr<std::string> TakeEventText(EventArg arg) { return TakeOwnedArg<std::string>(arg); }

std::unique_ptr<std::wstring> TakeEventWideText(EventArg arg) { return TakeOwnedArg<std::wstring>(arg); }

void IEngineEvents::OnCheckVersionResult(EventArg, EventArg a2) { TakeEventText(a2); }
void IEngineEvents::OnCheckVersionFailed(EventArg, EventArg a2) { TakeEventWideText(a2); }
void IEngineEvents::OnGetConfigResult(EventArg, EventArg) {}
void IEngineEvents::OnGetConfigFailed(EventArg, EventArg a2) { TakeEventWideText(a2); }
void IEngineEvents::OnFileListFailed(EventArg, EventArg a2) { TakeEventWideText(a2); }
void IEngineEvents::OnShowStatusText(EventArg, EventArg a2) { TakeEventWideText(a2); }
void IEngineEvents::OnStartDownload(EventArg, EventArg) {}
void IEngineEvents::OnDownloadProgress(EventArg, EventArg) {}
void IEngineEvents::OnDownloadThreadEnd(EventArg, EventArg) {}
void IEngineEvents::OnSelfUpdateFailed(EventArg, EventArg) {}

// An event of a cancelled job goes to the base implementation, which frees
// its string.
#define QUELLAN_JOB_EVENT(Name)                                                                                        \
    void CJobEvents::Name(EventArg a1, EventArg a2) {                                                                  \
        if (!PublishUnlessCancelled([&] { m_target.Name(a1, a2); })) IEngineEvents::Name(a1, a2);                      \
    }
QUELLAN_JOB_EVENT(OnCheckVersionResult)
QUELLAN_JOB_EVENT(OnCheckVersionFailed)
QUELLAN_JOB_EVENT(OnGetConfigResult)
QUELLAN_JOB_EVENT(OnGetConfigFailed)
QUELLAN_JOB_EVENT(OnFileListFailed)
QUELLAN_JOB_EVENT(OnShowStatusText)
QUELLAN_JOB_EVENT(OnStartDownload)
QUELLAN_JOB_EVENT(OnDownloadProgress)
QUELLAN_JOB_EVENT(OnDownloadThreadEnd)
QUELLAN_JOB_EVENT(OnSelfUpdateFailed)
#undef QUELLAN_JOB_EVENT

namespace {
IEngineEvents g_dropEvents;
std::atomic<IEngineEvents*> g_events{nullptr};
} // namespace

void SetEngineEvents(IEngineEvents* events) { g_events.store(events); }

IEngineEvents& EngineEvents() {
    IEngineEvents* events = g_events.load();
    return events ? *events : g_dropEvents;
}
