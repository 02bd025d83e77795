// Carries calls from job threads to the window thread: a queue of member
// calls of the owner, run when the window receives the dispatch messages.
#pragma once

#include "engine/EngineEvents.h"
#include "platform/window/Window.h"

#include <atomic>
#include <deque>
#include <mutex>

// The four messages that make the window run queued calls (WM_USER + 1000
// to + 1003). Each PostCall posts all four with both parameters 0; later
// ones usually find the queue empty.
inline constexpr unsigned WM_DISPATCH_CALLS[4] = {platform::WM_USER + 1000, platform::WM_USER + 1001,
                                                  platform::WM_USER + 1002, platform::WM_USER + 1003};

inline bool IsDispatchMessage(unsigned message) {
    return message >= WM_DISPATCH_CALLS[0] && message <= WM_DISPATCH_CALLS[3];
}

// Base of a window class Owner (Owner derives from CMsgDispatch<Owner>).
// PostCall may be called from any thread; DispatchCalls runs on the window
// thread, which the owner names by SetDispatchWindow. The queue lock is held
// only to add or take a record, never while a call runs, so a call may post
// further calls (they run in the same drain) or start jobs.
template <class Owner>
class CMsgDispatch {
public:
    using Handler = void (Owner::*)(EventArg, EventArg);

    CMsgDispatch() = default;
    virtual ~CMsgDispatch() = default;
    CMsgDispatch(const CMsgDispatch&) = delete;
    CMsgDispatch& operator=(const CMsgDispatch&) = delete;

    // The window that receives the dispatch messages; null stops posting.
    void SetDispatchWindow(platform::WindowHandle window) { m_window.store(window); }
    platform::WindowHandle DispatchWindow() const { return m_window.load(); }

    // Queues handler(a1, a2) on the owner and wakes the window thread.
    void PostCall(Handler handler, EventArg a1, EventArg a2) {
        {
            std::lock_guard guard(m_lock);
            m_queue.push_back(Call{handler, a1, a2});
        }
        if (platform::WindowHandle window = m_window.load()) {
            for (unsigned message : WM_DISPATCH_CALLS) platform::postMessage(window, message, 0, 0);
        }
    }

    // Runs queued calls in order until the queue is empty (window thread).
    void DispatchCalls() {
        for (;;) {
            Call call;
            {
                std::lock_guard guard(m_lock);
                if (m_queue.empty()) return;
                call = m_queue.front();
                m_queue.pop_front();
            }
            (static_cast<Owner*>(this)->*call.handler)(call.a1, call.a2);
        }
    }

    std::size_t PendingCalls() const {
        std::lock_guard guard(m_lock);
        return m_queue.size();
    }

private:
    struct Call {
        Handler handler = nullptr;
        EventArg a1 = 0;
        EventArg a2 = 0;
    };

    mutable std::mutex m_lock;
    std::deque<Call> m_queue;
    std::atomic<platform::WindowHandle> m_window{nullptr};
};

// Connects jobs to a window: every engine event becomes a queued call of the
// owner's member of the same name, run on the window thread.
template <class Owner>
class CDispatchEvents : public IEngineEvents {
public:
    explicit CDispatchEvents(CMsgDispatch<Owner>& dispatch) : m_dispatch(dispatch) {}

    void OnCheckVersionResult(EventArg a1, EventArg a2) override { post(&Owner::OnCheckVersionResult, a1, a2); }
    void OnCheckVersionFailed(EventArg a1, EventArg a2) override { post(&Owner::OnCheckVersionFailed, a1, a2); }
    void OnGetConfigResult(EventArg a1, EventArg a2) override { post(&Owner::OnGetConfigResult, a1, a2); }
    void OnGetConfigFailed(EventArg a1, EventArg a2) override { post(&Owner::OnGetConfigFailed, a1, a2); }
    void OnFileListFailed(EventArg a1, EventArg a2) override { post(&Owner::OnFileListFailed, a1, a2); }
    void OnShowStatusText(EventArg a1, EventArg a2) override { post(&Owner::OnShowStatusText, a1, a2); }
    void OnStartDownload(EventArg a1, EventArg a2) override { post(&Owner::OnStartDownload, a1, a2); }
    void OnDownloadProgress(EventArg a1, EventArg a2) override { post(&Owner::OnDownloadProgress, a1, a2); }
    void OnDownloadThreadEnd(EventArg a1, EventArg a2) override { post(&Owner::OnDownloadThreadEnd, a1, a2); }
    void OnSelfUpdateFailed(EventArg a1, EventArg a2) override { post(&Owner::OnSelfUpdateFailed, a1, a2); }

private:
    void post(void (Owner::*handler)(EventArg, EventArg), EventArg a1, EventArg a2) {
        m_dispatch.PostCall(handler, a1, a2);
    }

    CMsgDispatch<Owner>& m_dispatch;
};
