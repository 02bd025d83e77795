// Event payload ownership and the process-wide event sink.
#include "engine/EngineEvents.h"

#include <atomic>

EventArg MakeEventText(std::string text) { return reinterpret_cast<EventArg>(new std::string(std::move(text))); }

EventArg MakeEventWideText(std::wstring text) { return reinterpret_cast<EventArg>(new std::wstring(std::move(text))); }

std::unique_ptr<std::string> TakeEventText(EventArg arg) {
    return std::unique_ptr<std::string>(reinterpret_cast<std::string*>(arg));
}

std::unique_ptr<std::wstring> TakeEventWideText(EventArg arg) {
    return std::unique_ptr<std::wstring>(reinterpret_cast<std::wstring*>(arg));
}

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

namespace {
IEngineEvents g_dropEvents;
std::atomic<IEngineEvents*> g_events{nullptr};
} // namespace

void SetEngineEvents(IEngineEvents* events) { g_events.store(events); }

IEngineEvents& EngineEvents() {
    IEngineEvents* events = g_events.load();
    return events ? *events : g_dropEvents;
}
