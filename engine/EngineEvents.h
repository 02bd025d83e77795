// The events that jobs report to their front end (the window, the command
// line): ten calls with two arguments each. A front end implements
// IEngineEvents, usually by queuing the call for its own thread (see
// CDispatchEvents in engine/MsgDispatch.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// An event argument: an integer, or the address of a heap object. It is as
// wide as a pointer so that an address fits.
using EventArg = std::uintptr_t;

// Heap strings passed with events: the job creates them, the handler owns
// them from then on and frees them (TakeEventText/TakeEventWideText).
EventArg MakeEventText(std::string text);
EventArg MakeEventWideText(std::wstring text);
std::unique_ptr<std::string> TakeEventText(EventArg arg);
std::unique_ptr<std::wstring> TakeEventWideText(EventArg arg);

// Receives job events on the job's thread. Argument meanings:
//   OnCheckVersionResult  0, byte string: decrypted version answer (JSON)
//   OnCheckVersionFailed  0, wide string: message for the user
//   OnGetConfigResult     0, 0 (g_configText and g_downloadPrefix are set)
//   OnGetConfigFailed     0, wide string: message for the user
//   OnFileListFailed      0, wide string: message for the user
//   OnShowStatusText      0, wide string: status line text
//   OnStartDownload       0, 0
//   OnDownloadProgress    worker thread id, address of its progress record
//   OnDownloadThreadEnd   worker thread id, edition index
//   OnSelfUpdateFailed    0, 0
// The default implementations ignore the event and free its string, so a
// front end overrides only what it uses and nothing leaks.
class IEngineEvents {
public:
    virtual ~IEngineEvents() = default;
    virtual void OnCheckVersionResult(EventArg a1, EventArg a2);
    virtual void OnCheckVersionFailed(EventArg a1, EventArg a2);
    virtual void OnGetConfigResult(EventArg a1, EventArg a2);
    virtual void OnGetConfigFailed(EventArg a1, EventArg a2);
    virtual void OnFileListFailed(EventArg a1, EventArg a2);
    virtual void OnShowStatusText(EventArg a1, EventArg a2);
    virtual void OnStartDownload(EventArg a1, EventArg a2);
    virtual void OnDownloadProgress(EventArg a1, EventArg a2);
    virtual void OnDownloadThreadEnd(EventArg a1, EventArg a2);
    virtual void OnSelfUpdateFailed(EventArg a1, EventArg a2);
};

// What a job posts through: forwards each event to the sink the job was
// given, through the calling job's gate (CCancelFlag::Publish), so that once
// the job is cancelled no event of it reaches the sink; the event's string is
// freed instead. Every job body wraps its sink in one. On a thread that is
// not a job it forwards everything.
class CJobEvents final : public IEngineEvents {
public:
    explicit CJobEvents(IEngineEvents& target) : m_target(target) {}
    void OnCheckVersionResult(EventArg a1, EventArg a2) override;
    void OnCheckVersionFailed(EventArg a1, EventArg a2) override;
    void OnGetConfigResult(EventArg a1, EventArg a2) override;
    void OnGetConfigFailed(EventArg a1, EventArg a2) override;
    void OnFileListFailed(EventArg a1, EventArg a2) override;
    void OnShowStatusText(EventArg a1, EventArg a2) override;
    void OnStartDownload(EventArg a1, EventArg a2) override;
    void OnDownloadProgress(EventArg a1, EventArg a2) override;
    void OnDownloadThreadEnd(EventArg a1, EventArg a2) override;
    void OnSelfUpdateFailed(EventArg a1, EventArg a2) override;

private:
    IEngineEvents& m_target;
};

// The sink the thread functions (ThreadCheckVersion, ...) report to. Set by
// the front end before it starts jobs and cleared after it has terminated
// them (see CWindowMultiThreadManager for the lifetime rule); null drops
// events (and frees their strings).
void SetEngineEvents(IEngineEvents* events);
IEngineEvents& EngineEvents();
