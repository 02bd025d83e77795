// The harness of the framework's interaction tests: a window built from
// markup with the dialog builder on the virtual display, driven by control
// name, recording every notice its listener receives.
#pragma once

#include "platform/graphics/Graphics.h"
#include "platform/system/Text.h"
#include "platform/window/VirtualDisplay.h"
#include "platform/window/Window.h"
#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"
#include "ui/markup/SkinBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// One window per object, destroyed with it. Build it, act by name (every
// act ends with settle()), then read notices, state and pixels.
class SkinWindow final : public CWindowWnd, public INotifyUI {
public:
    // Builds `markup` (text beginning with "<", or a document name read from
    // the skin source) into a window at the screen's top-left. A zero size
    // keeps the document's "size" (400 × 300 without one). The window is
    // shown, laid out and painted; "windowinit" is recorded like any notice.
    explicit SkinWindow(std::wstring_view markup, platform::Size size = {},
                        IDialogBuilderCallback* callback = nullptr) {
        if (!platform::vdisplay::open()) return;
        if (!createHostWindow(nullptr, L"SkinWindow", platform::WS_POPUP, 0, 0, 0, 400, 300)) return;
        std::wstring source(markup);
        m_root = m_builder.build(source.c_str(), nullptr, callback, &m_manager, nullptr);
        if (!m_root) return;
        if (size.cx > 0)
            platform::setWindowPos(m_window, nullptr, 0, 0, size.cx, size.cy,
                                   platform::SWP_NOMOVE | platform::SWP_NOZORDER | platform::SWP_NOACTIVATE);
        m_manager.addListener(this);
        m_manager.setRoot(m_root);
        setShown(true, true);
        settle();
    }
    ~SkinWindow() override {
        if (m_window) platform::destroyWindow(m_window);
    }

    const wchar_t* wndClassName() const override { return L"QuellanTestSkinWindow"; }
    unsigned wndClassStyle() const override { return platform::CS_DBLCLKS; }
    platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) override {
        if (message == platform::WM_CREATE) m_manager.attachWindow(m_window, L"test");
        platform::LResult result = 0;
        if (m_manager.handleMessage(message, wParam, lParam, result)) return result;
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }
    void onNotice(TNoticeUI& notice) override {
        std::string line = platform::toUtf8(notice.kind.toStd()) + ":" +
                           (notice.sender ? platform::toUtf8(notice.sender->controlName().toStd()) : std::string());
        if (notice.wparam != 0) line += ":" + std::to_string(notice.wparam);
        m_notices.push_back(line);
    }

    bool built() const { return m_root != nullptr; }
    CSkinBuilder& builder() { return m_builder; }
    CFormManagerUI& manager() { return m_manager; }
    platform::WindowHandle handle() const { return m_window; }

    CControlUI* find(std::wstring_view name) const { return m_manager.findControlByName(name); }
    // The named control as a T (the class answering castTo(type)); fails the test when absent.
    template <typename T>
    T* as(std::wstring_view name, const wchar_t* type) const {
        CControlUI* control = find(name);
        EXPECT_NE(control, nullptr) << "no control named " << platform::toUtf8(std::wstring(name));
        return control ? static_cast<T*>(control->castTo(type)) : nullptr;
    }

    // Screen position of a client point, and of the named control's centre.
    platform::Point screen(platform::Point client) const { return platform::clientToScreen(m_window, client); }
    platform::Point centre(std::wstring_view name) const {
        CControlUI* control = find(name);
        EXPECT_NE(control, nullptr) << "no control named " << platform::toUtf8(std::wstring(name));
        if (!control) return {};
        const platform::Rect& r = control->bounds();
        return screen({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    }

    // --- Acting (each ends with settle) ---
    void click(std::wstring_view name) {
        act([&] { platform::vdisplay::click(centre(name)); });
    }
    void doubleClick(std::wstring_view name) {
        act([&] { platform::vdisplay::doubleClick(centre(name)); });
    }
    void hover(std::wstring_view name) {
        act([&] { platform::vdisplay::moveMouse(centre(name)); });
    }
    void moveTo(platform::Point client) {
        act([&] { platform::vdisplay::moveMouse(screen(client)); });
    }
    void press(platform::Point client) {
        act([&] { platform::vdisplay::mouseDown(screen(client)); });
    }
    void release(platform::Point client) {
        act([&] { platform::vdisplay::mouseUp(screen(client)); });
    }
    void wheel(std::wstring_view name, int notches) {
        hover(name);
        act([&] { platform::vdisplay::wheel(centre(name), notches * platform::WHEEL_DELTA); });
    }
    // Press at the centre, move there in a few steps, release.
    void drag(std::wstring_view name, int dx, int dy) {
        platform::Point from = centre(name);
        act([&] { platform::vdisplay::moveMouse(from); });
        act([&] { platform::vdisplay::mouseDown(from); });
        for (int i = 1; i <= 4; ++i)
            act([&] { platform::vdisplay::moveMouse({from.x + dx * i / 4, from.y + dy * i / 4}); });
        act([&] { platform::vdisplay::mouseUp({from.x + dx, from.y + dy}); });
    }
    void key(unsigned vk) {
        act([&] { platform::vdisplay::pressKey(vk); });
    }
    void shiftTab() {
        act([&] {
            platform::vdisplay::keyDown(platform::VK_SHIFT);
            platform::vdisplay::pressKey(platform::VK_TAB);
            platform::vdisplay::keyUp(platform::VK_SHIFT);
        });
    }
    void alt(wchar_t letter) {
        act([&] { platform::vdisplay::altKey(static_cast<unsigned>(letter)); });
    }
    // Moves the clock a millisecond at a time, so that every timer tick is seen.
    void advance(unsigned ms) {
        for (unsigned i = 0; i < ms; ++i) act([] { platform::vdisplay::advanceTime(1); });
    }

    // Runs what is due now (input, posted work, paints, timers) the way the
    // application's message loop does: the framework sees each queued
    // message first, for Tab navigation and Alt shortcuts.
    static void settle() {
        platform::Message msg;
        for (int i = 0; i < 100000 && platform::peekMessage(msg, platform::PeekMode::Keep); ++i) {
            if (msg.message == platform::WM_QUIT || !platform::peekMessage(msg, platform::PeekMode::Remove)) break;
            if (!CFormManagerUI::translateQueued(&msg)) {
                platform::translateMessage(msg);
                platform::dispatchMessage(msg);
            }
        }
    }

    // Notices since the last call, as "kind:sender" (":wparam" when non-zero).
    std::vector<std::string> takeNotices() {
        std::vector<std::string> out;
        out.swap(m_notices);
        return out;
    }

    // What the window shows.
    platform::Surface surface() const {
        platform::vdisplay::Snapshot shot;
        if (!platform::vdisplay::windowPixels(m_window, shot)) return {};
        platform::Surface s(shot.size.cx, shot.size.cy);
        for (int y = 0; y < shot.size.cy; ++y)
            for (int x = 0; x < shot.size.cx; ++x) s.setPixel(x, y, shot.at(x, y));
        return s;
    }
    std::uint32_t pixel(platform::Point client) const {
        platform::vdisplay::Snapshot shot;
        if (!platform::vdisplay::windowPixels(m_window, shot)) return 0;
        if (client.x < 0 || client.y < 0 || client.x >= shot.size.cx || client.y >= shot.size.cy) return 0;
        return shot.at(client.x, client.y);
    }

private:
    template <typename F>
    void act(F&& f) {
        f();
        settle();
    }

    CFormManagerUI m_manager;
    CSkinBuilder m_builder;
    CControlUI* m_root = nullptr;
    std::vector<std::string> m_notices;
};

} // namespace testsupport
