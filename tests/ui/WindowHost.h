// Helpers of the framework's window tests: a host window with a paint
// manager on the virtual display, a probe control that records what it is
// told, and a fixture with a clean display per test.
#pragma once

#include "platform/window/VirtualDisplay.h"
#include "platform/window/Window.h"
#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace uitest {

using namespace platform;
using vdisplay::Snapshot;

// A control that records its events and can play a tab stop, a label, a
// measured child or a cursor-setting control.
class CProbeUI : public CControlUI {
public:
    explicit CProbeUI(std::wstring name = {}, unsigned flags = 0) : m_flags(flags) {
        if (!name.empty()) assignName(name);
    }
    std::wstring_view typeName() const override { return m_type; }
    unsigned behaviourFlags() const override { return m_flags; }
    Size measure(Size available) override {
        lastAvailable = available;
        return measured ? *measured : CControlUI::measure(available);
    }
    void handleEvent(TInputEventUI& e) override {
        events.push_back(e.kind);
        eventWParams.push_back(e.wparam);
        CControlUI::handleEvent(e);
    }
    bool trigger() override {
        ++triggered;
        return CControlUI::trigger();
    }
    // Events of the given kinds only, in order.
    std::vector<UiEventKind> only(std::initializer_list<UiEventKind> kinds) const {
        std::vector<UiEventKind> out;
        for (UiEventKind k : events)
            for (UiEventKind want : kinds)
                if (k == want) out.push_back(k);
        return out;
    }
    int count(UiEventKind kind) const {
        int n = 0;
        for (UiEventKind k : events) n += k == kind;
        return n;
    }

    std::wstring m_type = L"Probe";
    unsigned m_flags = 0;
    std::optional<Size> measured;
    Size lastAvailable;
    std::vector<UiEventKind> events;
    std::vector<WParam> eventWParams;
    int triggered = 0;
};

// The modal loop's treatment of every message pending now; false when a
// WM_QUIT was met (it is posted again).
inline bool pumpTranslated() {
    Message m;
    for (int i = 0; i < 100000 && peekMessage(m, PeekMode::Remove); ++i) {
        if (m.message == WM_QUIT) {
            postQuitMessage(static_cast<int>(m.wParam));
            return false;
        }
        if (!CFormManagerUI::translateQueued(&m)) {
            translateMessage(m);
            dispatchMessage(m);
        }
    }
    return true;
}

struct NoticeRecord {
    std::wstring kind;
    CControlUI* sender;
    WParam wparam;
    LParam lparam;
};

// A top-level window whose messages go to its paint manager first; every
// notice is recorded.
class CHostWindow : public CWindowWnd, public INotifyUI {
public:
    ~CHostWindow() override {
        if (m_window) destroyWindow(m_window);
    }
    const wchar_t* wndClassName() const override { return L"QuellanUiTestHost"; }
    unsigned wndClassStyle() const override { return CS_DBLCLKS; }
    LResult onWindowMessage(unsigned message, WParam wParam, LParam lParam) override {
        if (message == WM_CREATE) {
            manager.attachWindow(m_window, L"test");
            manager.addListener(this);
        }
        LResult result = 0;
        if (manager.handleMessage(message, wParam, lParam, result)) return result;
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }
    void onNotice(TNoticeUI& notice) override {
        notices.push_back({notice.kind.toStd(), notice.sender, notice.wparam, notice.lparam});
        if (onNoticeHook) onNoticeHook(notice);
    }

    // Creates the window at `at` (screen), gives it the tree and paints once.
    WindowHandle open(CControlUI* root, Size size, Point at = {100, 100}, WindowHandle owner = nullptr) {
        createHostWindow(owner, L"quellan ui test", WS_POPUP | WS_VISIBLE, 0, at.x, at.y, size.cx, size.cy);
        if (root) manager.setRoot(root);
        settle();
        return m_window;
    }
    // Runs what is pending now the way the modal loop does (queued messages
    // offered to the managers first). A WM_QUIT is left queued.
    void settle() { pumpTranslated(); }
    // Screen position of a client point.
    Point screen(Point client) const { return clientToScreen(m_window, client); }
    // Screen position of the centre of a control.
    Point centreOf(const CControlUI* c) const {
        const Rect& r = c->bounds();
        return screen({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    }
    std::vector<std::wstring> noticeKinds() const {
        std::vector<std::wstring> out;
        for (const NoticeRecord& n : notices) out.push_back(n.kind);
        return out;
    }
    Snapshot pixels() const {
        Snapshot s;
        vdisplay::windowPixels(m_window, s);
        return s;
    }

    CFormManagerUI manager;
    std::vector<NoticeRecord> notices;
    std::function<void(TNoticeUI&)> onNoticeHook;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(vdisplay::open({1280, 800}));
        vdisplay::reset();
    }
    void TearDown() override { vdisplay::reset(); }
};

} // namespace uitest
