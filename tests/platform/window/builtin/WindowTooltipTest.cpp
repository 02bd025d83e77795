// The built-in tooltip class on the virtual display: showing, placing,
// wrapping and hiding a tip the way the framework drives it.
#include "platform/graphics/Graphics.h"
#include "platform/window/Window.h"
#include "platform/window/builtin/WindowTooltip.h"
#include "platform/window/VirtualDisplay.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

const Rect kHostRect = Rect::fromSize(200, 150, 400, 300);

LResult hostProc(WindowHandle w, unsigned message, WParam wParam, LParam lParam) {
    return defWindowProc(w, message, wParam, lParam);
}

class TooltipTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(vdisplay::open());
        vdisplay::reset();
        registerWindowClass({L"TooltipTestHost", 0, &hostProc, CursorShape::Arrow});
        host = createWindow(0, L"TooltipTestHost", L"host", WS_POPUP | WS_VISIBLE, kHostRect.left, kHostRect.top,
                            kHostRect.width(), kHostRect.height(), nullptr, nullptr);
        ASSERT_NE(host, nullptr);
        tip = createWindow(0, kTooltipClassName, L"", WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, host, nullptr);
        ASSERT_NE(tip, nullptr);
        info.flags = TTF_IDISHWND;
        info.window = host;
        info.id = reinterpret_cast<std::uintptr_t>(host);
        info.rect = Rect::fromSize(10, 10, 100, 30);
        info.text = L"";
        EXPECT_EQ(sendMessage(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LParam>(&info)), 1);
    }
    void TearDown() override { vdisplay::reset(); }

    // The framework's sequence on hover.
    void show(const wchar_t* text, int maxWidth, Point clientPos) {
        info.text = text;
        sendMessage(tip, TTM_SETMAXTIPWIDTH, 0, maxWidth);
        sendMessage(tip, TTM_SETTOOLINFOW, 0, reinterpret_cast<LParam>(&info));
        sendMessage(tip, TTM_TRACKACTIVATE, 1, reinterpret_cast<LParam>(&info));
        sendMessage(tip, TTM_TRACKPOSITION, 0, makeLParam(clientPos.x, clientPos.y));
        vdisplay::pump();
    }
    int inkPixels() {
        vdisplay::Snapshot shot;
        EXPECT_TRUE(vdisplay::windowPixels(tip, shot));
        int n = 0;
        for (int y = 2; y < shot.size.cy - 2; ++y)
            for (int x = 2; x < shot.size.cx - 2; ++x) n += (shot.at(x, y) & 0xFF) < 0x80;
        return n;
    }

    WindowHandle host = nullptr;
    WindowHandle tip = nullptr;
    ToolInfo info;
};

TEST_F(TooltipTest, ShowsNearTheHoverPointAndHidesOnDeactivate) {
    show(L"Install folder", 300, {50, 40});
    ASSERT_TRUE(isWindowVisible(tip));
    const Rect r = windowRect(tip);
    const Point hover = clientToScreen(host, {50, 40});
    EXPECT_GE(r.left, hover.x - 2);
    EXPECT_LE(r.left, hover.x + 30);
    EXPECT_GT(r.top, hover.y);
    EXPECT_LE(r.top, hover.y + 40);
    EXPECT_GT(inkPixels(), 20);
    EXPECT_EQ(focusWindow(), host) << "a tip never takes the focus";
    const auto order = vdisplay::stackingOrder();
    ASSERT_FALSE(order.empty());
    EXPECT_EQ(order.front(), tip);

    sendMessage(tip, TTM_TRACKACTIVATE, 0, reinterpret_cast<LParam>(&info));
    vdisplay::pump();
    EXPECT_FALSE(isWindowVisible(tip));
}

TEST_F(TooltipTest, EmptyTextShowsNothing) {
    show(L"", 300, {50, 40});
    EXPECT_FALSE(isWindowVisible(tip));
    // A text set while active shows the tip at once, and clearing it hides it again.
    info.text = L"now";
    sendMessage(tip, TTM_SETTOOLINFOW, 0, reinterpret_cast<LParam>(&info));
    EXPECT_TRUE(isWindowVisible(tip));
    info.text = L"";
    sendMessage(tip, TTM_SETTOOLINFOW, 0, reinterpret_cast<LParam>(&info));
    EXPECT_FALSE(isWindowVisible(tip));
}

TEST_F(TooltipTest, TextWrapsAtTheMaximumWidthAndAtLineBreaks) {
    const wchar_t* text = L"a rather long tooltip text that cannot fit on one narrow line";
    show(text, -1, {50, 40});
    const Rect oneLine = windowRect(tip);
    show(text, 120, {50, 40});
    const Rect wrapped = windowRect(tip);
    EXPECT_LE(wrapped.width(), 120);
    EXPECT_GT(wrapped.height(), 2 * oneLine.height() - 8);
    EXPECT_GT(oneLine.width(), 120);
    show(L"first\r\nsecond", 300, {50, 40});
    const Rect twoLines = windowRect(tip);
    EXPECT_GT(twoLines.height(), oneLine.height() + 8);
    EXPECT_LT(twoLines.width(), oneLine.width());
}

TEST_F(TooltipTest, StaysInsideTheWorkArea) {
    const Rect work = workAreaNear(host);
    // Move the host so that its bottom-right corner sits at the screen's corner.
    setWindowPos(host, nullptr, work.right - 100, work.bottom - 60, 400, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    show(L"a tip near the corner of the screen", 300, {95, 55});
    const Rect r = windowRect(tip);
    EXPECT_GE(r.left, work.left);
    EXPECT_LE(r.right, work.right);
    EXPECT_GE(r.top, work.top);
    EXPECT_LE(r.bottom, work.bottom);
}

TEST_F(TooltipTest, TrackedToolsUseScreenPositions) {
    info.flags = TTF_TRACK | TTF_ABSOLUTE;
    show(L"tracked", 300, {300, 250});
    EXPECT_EQ(windowRect(tip).left, 300);
    EXPECT_EQ(windowRect(tip).top, 250);
}

TEST_F(TooltipTest, DelaysAndActivation) {
    EXPECT_EQ(static_cast<unsigned>(sendMessage(tip, TTM_GETDELAYTIME, TTDT_INITIAL, 0)), doubleClickTime());
    sendMessage(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 250);
    EXPECT_EQ(sendMessage(tip, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 250);
    EXPECT_EQ(sendMessage(tip, TTM_GETDELAYTIME, TTDT_RESHOW, 0), 50);
    EXPECT_EQ(sendMessage(tip, TTM_SETMAXTIPWIDTH, 0, 200), -1);
    EXPECT_EQ(sendMessage(tip, TTM_SETMAXTIPWIDTH, 0, 300), 200);

    sendMessage(tip, TTM_ACTIVATE, 0, 0);
    show(L"hidden while inactive", 300, {50, 40});
    EXPECT_FALSE(isWindowVisible(tip));
    sendMessage(tip, TTM_ACTIVATE, 1, 0);
    EXPECT_TRUE(isWindowVisible(tip));
    sendMessage(tip, TTM_DELTOOLW, 0, reinterpret_cast<LParam>(&info));
    EXPECT_FALSE(isWindowVisible(tip));
}

} // namespace
