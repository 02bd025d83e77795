// The skinned message box on the virtual display: buttons and captions per
// kind, the result codes of both buttons, Esc and the system close, keys that
// press nothing, the owner disabled while it is open, centring on the owner
// and the drag band. The box runs its own modal loop; the test acts from
// inside that loop through a helper window that a ticker thread wakes.
#include "app/MsgBoxWnd.h"

#include "tests/app/InstallerFixture.h"

#include "platform/window/VirtualDisplay.h"
#include "platform/window/Window.h"
#include "tests/support/Pump.h"
#include "ui/core/ControlUI.h"
#include "ui/core/WindowWnd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace {

using namespace platform;

constexpr unsigned kStep = WM_USER + 77;

// Runs steps on the UI thread while a modal loop runs: a ticker thread posts
// kStep to a helper window; each step runs until it returns true.
class Script final : public CWindowWnd {
public:
    explicit Script(std::vector<std::function<bool()>> steps) : m_steps(std::move(steps)) {
        createHostWindow(nullptr, L"script", WS_POPUP, 0, 0, 0, 1, 1);
        m_ticker = std::thread([this, window = m_window] {
            while (!m_stop) {
                postMessage(window, kStep, 0, 0);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~Script() override {
        m_stop = true;
        m_ticker.join();
        destroyWindow(m_window);
    }
    const wchar_t* wndClassName() const override { return L"QuellanTestScript"; }
    LResult onWindowMessage(unsigned message, WParam wParam, LParam lParam) override {
        if (message == kStep) {
            if (m_next < m_steps.size() && m_steps[m_next]()) ++m_next;
            return 0;
        }
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }
    bool finished() const { return m_next == m_steps.size(); }

private:
    std::vector<std::function<bool()>> m_steps;
    std::size_t m_next = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_ticker;
};

// The owner: a plain top-level window in the middle of the screen.
class Owner final : public CWindowWnd {
public:
    Owner() { createHostWindow(nullptr, L"owner", WS_POPUP | WS_VISIBLE, 0, 100, 60, 1090, 644); }
    ~Owner() override { destroyWindow(m_window); }
    const wchar_t* wndClassName() const override { return L"QuellanTestOwner"; }
};

class MsgBoxWnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(vdisplay::open());
        vdisplay::reset();
        apptest::UseInstallerSkin();
    }
    void TearDown() override { vdisplay::reset(); }

    // The box's control as shown, once "windowinit" has filled it.
    static bool ready(CMsgBoxWnd& box) {
        CControlUI* text = box.manager().findControlByName(L"msgbox_text");
        return box.windowHandle() && text && !text->textValue().view().empty();
    }
    static Point centre(CMsgBoxWnd& box, const wchar_t* name) {
        const Rect r = box.manager().findControlByName(name)->bounds();
        return clientToScreen(box.windowHandle(), {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    }

    // Runs the box owned by owner while the steps act; returns its result.
    int run(CMsgBoxWnd& box, WindowHandle owner, std::vector<std::function<bool()>> steps) {
        Script script(std::move(steps));
        const int result = box.run(owner);
        EXPECT_TRUE(script.finished());
        return result;
    }
};

// Kinds: which buttons show with which captions; the result of each way of
// closing; the owner is disabled while the box is open and enabled after.
TEST_F(MsgBoxWnd, KindsButtonsAndResults) {
    struct Case {
        const char* what;
        int kind;
        const wchar_t* press; // button to click, or null for a key
        unsigned key;         // VK_ESCAPE, or a key that must do nothing before Esc
        bool okShown, cancelShown;
        int result;
    };
    const Case cases[] = {
        {"kind 1, OK", 1, L"msgbox_ok", 0, true, false, 1},
        {"kind 2, OK", 2, L"msgbox_ok", 0, true, true, 1},
        {"kind 2, cancel", 2, L"msgbox_cancel", 0, true, true, 2},
        {"kind 2, Esc", 2, nullptr, VK_ESCAPE, true, true, 0},
        {"kind 2, Enter presses nothing", 2, nullptr, VK_RETURN, true, true, 0},
        {"kind 0, no button", 0, nullptr, VK_ESCAPE, false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Owner owner;
        CMsgBoxWnd box(L"发现新版本，请更新后使用！", c.kind, L"开始更新", L"退出程序");
        bool ownerDisabled = false;
        std::vector<std::function<bool()>> steps{[&] {
            if (!ready(box)) return false;
            ownerDisabled = !isWindowEnabled(owner.windowHandle());
            CControlUI* ok = box.manager().findControlByName(L"msgbox_ok");
            CControlUI* cancel = box.manager().findControlByName(L"msgbox_cancel");
            EXPECT_EQ(ok->isShown(), c.okShown);
            EXPECT_EQ(cancel->isShown(), c.cancelShown);
            if (c.okShown) {
                EXPECT_TRUE(ok->textValue() == L"开始更新");
            }
            if (c.cancelShown) {
                EXPECT_TRUE(cancel->textValue() == L"退出程序");
            }
            EXPECT_TRUE(box.manager().findControlByName(L"msgbox_text")->textValue() == L"发现新版本，请更新后使用！");
            if (c.press)
                vdisplay::click(centre(box, c.press));
            else
                vdisplay::pressKey(c.key);
            return true;
        }};
        if (c.key == VK_RETURN) {
            // Still open after Enter: only Esc ends it.
            steps.push_back([&] {
                EXPECT_TRUE(isWindow(box.windowHandle()));
                vdisplay::pressKey(VK_ESCAPE);
                return true;
            });
        }
        EXPECT_EQ(run(box, owner.windowHandle(), steps), c.result);
        EXPECT_TRUE(ownerDisabled);
        EXPECT_TRUE(isWindowEnabled(owner.windowHandle()));
    }
}

// The system close (Alt+F4, the taskbar) gives 0; the box sits centred on its
// owner with the skin's size; the top band drags except over buttons.
TEST_F(MsgBoxWnd, SystemCloseCentringAndDragBand) {
    Owner owner;
    CMsgBoxWnd box(L"确定退出吗", 2, L"确定", L"取消");
    std::vector<std::function<bool()>> steps{[&] {
        if (!ready(box)) return false;
        const Rect boxRect = windowRect(box.windowHandle());
        const Rect ownerRect = windowRect(owner.windowHandle());
        EXPECT_EQ(boxRect.width(), 440);
        EXPECT_EQ(boxRect.height(), 230);
        EXPECT_NEAR((boxRect.left + boxRect.right) / 2, (ownerRect.left + ownerRect.right) / 2, 1);
        EXPECT_NEAR((boxRect.top + boxRect.bottom) / 2, (ownerRect.top + ownerRect.bottom) / 2, 1);
        EXPECT_TRUE(vdisplay::nativeState(box.windowHandle()).hasShape);
        auto hit = [&](int x, int y) {
            const Point p = clientToScreen(box.windowHandle(), {x, y});
            return sendMessage(box.windowHandle(), WM_NCHITTEST, 0,
                               static_cast<LParam>((p.x & 0xFFFF) | ((p.y & 0xFFFF) << 16)));
        };
        EXPECT_EQ(hit(20, 10), HTCAPTION);  // the title label
        EXPECT_EQ(hit(300, 20), HTCAPTION); // the band's background
        EXPECT_EQ(hit(20, 100), HTCLIENT);  // below the band
        vdisplay::requestClose(box.windowHandle());
        return true;
    }};
    EXPECT_EQ(run(box, owner.windowHandle(), steps), 0);
}

// ShowMsgBox goes through the window once it is installed.
TEST_F(MsgBoxWnd, ShowMsgBoxShowsTheWindow) {
    Owner owner;
    InstallMsgBoxWindow();
    Script script({[&] {
        // The box is the owner's enabled top-level window in front.
        for (WindowHandle w : vdisplay::stackingOrder()) {
            if (windowClassName(w) != L"CMsgBoxWnd") continue;
            if (vdisplay::nativeState(w).presentCount == 0) return false;
            EXPECT_EQ(ownerWindow(w), owner.windowHandle());
            vdisplay::pressKey(VK_ESCAPE);
            return true;
        }
        return false;
    }});
    EXPECT_EQ(ShowMsgBox(owner.windowHandle(), L"下载结束，安装完成！", 1, L"确定", L"取消"), 0);
    EXPECT_TRUE(script.finished());
    SetMsgBoxPresenter({});
}

} // namespace
