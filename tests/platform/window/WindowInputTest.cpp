// Mouse and keyboard routing on the virtual display: hit-testing, cursors,
// clicks and double clicks, capture, hover and leave, caption drags, wheel,
// keys, characters, Alt handling and system commands.
#include "WindowTestSupport.h"

namespace {

using namespace wintest;

using WindowInput = WindowTest;

// Answers WM_NCHITTEST with HTCAPTION in the top 30 pixels of `captionOf`.
void captionBand(WindowHandle captionOf) {
    hook() = [captionOf](WindowHandle w, unsigned msg, WParam, LParam lp) -> std::optional<LResult> {
        if (w == captionOf && msg == WM_NCHITTEST) {
            Point p = screenToClient(w, {xFromLParam(lp), yFromLParam(lp)});
            return p.y < 30 ? HTCAPTION : HTCLIENT;
        }
        return std::nullopt;
    };
}

TEST_F(WindowInput, EveryPointerPositionIsHitTestedAndSetsTheCursor) {
    WindowHandle w = topLevel(100, 100, 200, 200);
    captionBand(w);
    vdisplay::pump();
    log().clear();
    vdisplay::moveMouse({150, 110});
    vdisplay::moveMouse({150, 150});
    vdisplay::moveMouse({151, 151});
    vdisplay::pump();
    EXPECT_EQ(records(w, WM_NCHITTEST).size(), 3u);
    auto setCursors = records(w, WM_SETCURSOR);
    ASSERT_EQ(setCursors.size(), 3u);
    EXPECT_EQ(static_cast<int>(loWord(setCursors[0].lParam)), HTCAPTION);
    EXPECT_EQ(hiWord(setCursors[0].lParam), WM_MOUSEMOVE);
    EXPECT_EQ(static_cast<int>(loWord(setCursors[1].lParam)), HTCLIENT);
    EXPECT_EQ(messages(w, {WM_NCMOUSEMOVE, WM_MOUSEMOVE}), (Messages{WM_NCMOUSEMOVE, WM_MOUSEMOVE, WM_MOUSEMOVE}));
    EXPECT_EQ(records(w, WM_MOUSEMOVE)[1].lParam, makeLParam(51, 51));
    EXPECT_EQ(cursorPos(), (Point{151, 151}));

    // A class cursor applies in the client area; a procedure may choose another.
    ASSERT_TRUE(registerWindowClass(WindowClass{L"QuellanBeam", 0, recordingProc, CursorShape::IBeam}));
    WindowHandle beam = createWindow(0, L"QuellanBeam", L"", WS_CHILD | WS_VISIBLE, 0, 50, 50, 50, w, nullptr);
    ASSERT_NE(beam, nullptr);
    vdisplay::moveMouse({110, 160});
    vdisplay::pump();
    EXPECT_EQ(vdisplay::currentCursor(), CursorShape::IBeam);
    hook() = [](WindowHandle, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (msg == WM_SETCURSOR) {
            setCursor(CursorShape::Hand);
            return 1;
        }
        return std::nullopt;
    };
    vdisplay::moveMouse({111, 160});
    vdisplay::pump();
    EXPECT_EQ(vdisplay::currentCursor(), CursorShape::Hand);
}

TEST_F(WindowInput, ClicksArriveInClientCoordinatesAndDoubleClicksNeedTheClassStyle) {
    WindowHandle plain = topLevel(0, 0, 100, 100);
    WindowHandle dbl = topLevel(200, 0, 100, 100, kDblClass);
    vdisplay::pump();
    log().clear();
    vdisplay::doubleClick({10, 20});
    vdisplay::doubleClick({230, 40});
    vdisplay::click({250, 50}, MouseButton::Right);
    vdisplay::pump();
    const std::vector<unsigned> buttons{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK,
                                        WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU};
    EXPECT_EQ(messages(plain, buttons), (Messages{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_EQ(messages(dbl, buttons), (Messages{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP,
                                                WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU}));
    EXPECT_EQ(records(dbl, WM_LBUTTONDBLCLK)[0].lParam, makeLParam(30, 40));
    EXPECT_EQ(records(dbl, WM_LBUTTONDOWN)[0].wParam & MK_LBUTTON, MK_LBUTTON);
    EXPECT_EQ(records(dbl, WM_CONTEXTMENU)[0].lParam, makeLParam(250, 50)); // screen coordinates
    // Clicking activates the window under the pointer.
    EXPECT_EQ(activeWindow(), dbl);
    EXPECT_EQ(keyState(VK_LBUTTON) & 0x8000, 0);
}

TEST_F(WindowInput, ClickOnANoActivateWindowLeavesActivationAlone) {
    WindowHandle main = topLevel(0, 0, 100, 100);
    WindowHandle popup = topLevel(200, 0, 100, 100);
    setActiveWindow(main);
    hook() = [popup](WindowHandle w, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (w == popup && msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
        return std::nullopt;
    };
    vdisplay::click({250, 50});
    vdisplay::pump();
    EXPECT_EQ(activeWindow(), main);
    EXPECT_EQ(records(popup, WM_LBUTTONDOWN).size(), 1u);
}

TEST_F(WindowInput, CaptureKeepsMouseMessagesComingFromOutsideTheWindow) {
    WindowHandle w = topLevel(100, 100, 100, 100);
    WindowHandle other = topLevel(400, 100, 100, 100);
    hook() = [w](WindowHandle win, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (win == w && msg == WM_LBUTTONDOWN) setCapture(win);
        if (win == w && msg == WM_LBUTTONUP) releaseCapture();
        return std::nullopt;
    };
    vdisplay::pump();
    log().clear();
    vdisplay::mouseDown({150, 150});
    vdisplay::moveMouse({450, 120}); // over the other window
    vdisplay::moveMouse({20, 30});   // over nothing
    vdisplay::pump();
    EXPECT_EQ(captureWindow(), w);
    EXPECT_TRUE(vdisplay::pointerCaptured());
    auto moves = records(w, WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[moves.size() - 2].lParam, makeLParam(350, 20));
    EXPECT_EQ(moves.back().lParam, makeLParam(-80, -70));
    EXPECT_TRUE(records(other, WM_MOUSEMOVE).empty());
    EXPECT_TRUE(records(w, WM_NCHITTEST).size() <= 1u); // only before the capture

    vdisplay::mouseUp({20, 30});
    vdisplay::moveMouse({450, 120});
    vdisplay::pump();
    EXPECT_EQ(captureWindow(), nullptr);
    EXPECT_FALSE(vdisplay::pointerCaptured());
    EXPECT_EQ(records(w, WM_LBUTTONUP).back().lParam, makeLParam(-80, -70));
    EXPECT_EQ(records(w, WM_CAPTURECHANGED).size(), 1u);
    EXPECT_EQ(records(other, WM_MOUSEMOVE).size(), 1u);
}

TEST_F(WindowInput, HoverFiresOnceAfterRestingAndLeaveWhenThePointerGoes) {
    WindowHandle w = topLevel(100, 100, 200, 200);
    WindowHandle kid = child(w, 150, 150, 40, 40);
    hook() = [w](WindowHandle win, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (win == w && msg == WM_MOUSEMOVE) trackMouseEvent(win, TME_HOVER | TME_LEAVE, 300);
        return std::nullopt;
    };
    vdisplay::pump();
    log().clear();
    vdisplay::moveMouse({150, 150});
    vdisplay::pump();
    vdisplay::advanceTime(200);
    vdisplay::pump();
    EXPECT_TRUE(records(w, WM_MOUSEHOVER).empty());
    vdisplay::advanceTime(150);
    vdisplay::pump();
    ASSERT_EQ(records(w, WM_MOUSEHOVER).size(), 1u);
    EXPECT_EQ(records(w, WM_MOUSEHOVER)[0].lParam, makeLParam(50, 50));
    vdisplay::advanceTime(1000);
    vdisplay::pump();
    EXPECT_EQ(records(w, WM_MOUSEHOVER).size(), 1u);

    // Moving the pointer restarts the rest; the tracking is renewed by the move.
    vdisplay::moveMouse({160, 160});
    vdisplay::pump();
    vdisplay::advanceTime(100);
    vdisplay::moveMouse({170, 170});
    vdisplay::pump();
    vdisplay::advanceTime(250);
    vdisplay::pump();
    EXPECT_EQ(records(w, WM_MOUSEHOVER).size(), 1u);
    vdisplay::advanceTime(100);
    vdisplay::pump();
    EXPECT_EQ(records(w, WM_MOUSEHOVER).size(), 2u);

    // Onto a child window counts as leaving; so does leaving all windows.
    EXPECT_TRUE(records(w, WM_MOUSELEAVE).empty());
    vdisplay::moveMouse({260, 260});
    vdisplay::pump();
    EXPECT_EQ(records(w, WM_MOUSELEAVE).size(), 1u);
    EXPECT_FALSE(records(kid, WM_MOUSEMOVE).empty());
    vdisplay::moveMouse({150, 150});
    vdisplay::pointerLeft();
    vdisplay::pump();
    EXPECT_EQ(records(w, WM_MOUSELEAVE).size(), 2u);
    vdisplay::advanceTime(1000);
    vdisplay::pump();
    EXPECT_EQ(records(w, WM_MOUSEHOVER).size(), 2u); // the leave ended hover tracking too

    // Tracking a window the pointer is not over reports the leave at once.
    log().clear();
    hook() = nullptr;
    trackMouseEvent(w, TME_LEAVE, HOVER_DEFAULT);
    vdisplay::pump();
    EXPECT_EQ(records(w, WM_MOUSELEAVE).size(), 1u);
}

TEST_F(WindowInput, HitTestCaptionDragsTheWindowAndClientClicksDoNot) {
    WindowHandle w = topLevel(100, 100, 300, 200);
    captionBand(w);
    vdisplay::pump();
    log().clear();
    vdisplay::moveMouse({150, 110});
    vdisplay::mouseDown({150, 110});
    vdisplay::moveMouse({170, 130});
    vdisplay::moveMouse({250, 160});
    vdisplay::mouseUp({250, 160});
    vdisplay::moveMouse({260, 170});
    vdisplay::pump();
    EXPECT_EQ(records(w, WM_NCLBUTTONDOWN).size(), 1u);
    EXPECT_EQ(static_cast<int>(records(w, WM_NCLBUTTONDOWN)[0].wParam), HTCAPTION);
    EXPECT_EQ(windowRect(w), Rect::fromSize(200, 150, 300, 200));
    EXPECT_EQ(vdisplay::nativeState(w).rect, Rect::fromSize(200, 150, 300, 200));
    EXPECT_FALSE(records(w, WM_MOVE).empty());
    EXPECT_TRUE(records(w, WM_LBUTTONDOWN).empty());

    // In the client area the button goes to the window and nothing moves.
    vdisplay::click({300, 300});
    vdisplay::moveMouse({350, 320});
    vdisplay::pump();
    EXPECT_EQ(windowRect(w), Rect::fromSize(200, 150, 300, 200));
    EXPECT_EQ(records(w, WM_LBUTTONDOWN).size(), 1u);
}

TEST_F(WindowInput, TransparentWindowsLetThePointerThroughToTheWindowBelow) {
    WindowHandle main = topLevel(0, 0, 300, 300);
    WindowHandle tip = topLevel(100, 100, 80, 20, kClass, WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, main);
    hook() = [tip](WindowHandle w, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (w == tip && msg == WM_NCHITTEST) return HTTRANSPARENT;
        return std::nullopt;
    };
    vdisplay::pump();
    log().clear();
    vdisplay::click({110, 110});
    vdisplay::pump();
    EXPECT_FALSE(records(tip, WM_NCHITTEST).empty());
    EXPECT_TRUE(records(tip, WM_MOUSEMOVE).empty());
    EXPECT_EQ(records(main, WM_MOUSEMOVE).size(), 1u);
    ASSERT_EQ(records(main, WM_LBUTTONDOWN).size(), 1u);
    EXPECT_EQ(records(main, WM_LBUTTONDOWN)[0].lParam, makeLParam(110, 110));
    EXPECT_TRUE(vdisplay::nativeState(tip).style.popup);
}

TEST_F(WindowInput, RoundRegionCutsTheCornersOutOfHitTesting) {
    WindowHandle w = topLevel(100, 100, 200, 200);
    setWindowRoundRegion(w, Rect{0, 0, 201, 201}, Size{40, 40}, true);
    EXPECT_EQ(windowFromPoint({101, 101}), nullptr);
    EXPECT_EQ(windowFromPoint({120, 120}), w);
    EXPECT_TRUE(vdisplay::nativeState(w).hasShape);
    clearWindowRegion(w);
    EXPECT_EQ(windowFromPoint({101, 101}), w);
}

TEST_F(WindowInput, DisabledWindowsGetNoInput) {
    WindowHandle main = topLevel(0, 0, 200, 200);
    vdisplay::pump();
    enableWindow(main, false);
    log().clear();
    vdisplay::click({50, 50});
    vdisplay::wheel({50, 50}, WHEEL_DELTA);
    vdisplay::pump();
    EXPECT_TRUE(messages(main, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE, WM_MOUSEWHEEL}).empty());
}

TEST_F(WindowInput, WheelGoesToTheFocusWindowWithItsDelta) {
    WindowHandle w = topLevel(0, 0, 200, 200);
    WindowHandle kid = child(w, 0, 0, 50, 50);
    setFocus(kid);
    vdisplay::pump();
    log().clear();
    vdisplay::wheel({150, 150}, -WHEEL_DELTA);
    vdisplay::pump();
    auto wheels = records(kid, WM_MOUSEWHEEL);
    ASSERT_EQ(wheels.size(), 1u);
    EXPECT_EQ(static_cast<std::int16_t>(hiWord(wheels[0].wParam)), -WHEEL_DELTA);
    EXPECT_EQ(wheels[0].lParam, makeLParam(150, 150));
    EXPECT_EQ(records(w, WM_MOUSEWHEEL).size(), 1u); // passed up by the default
}

TEST_F(WindowInput, KeysCharactersAndTranslation) {
    WindowHandle w = topLevel(0, 0, 100, 100);
    vdisplay::pump();
    log().clear();
    vdisplay::keyDown(VK_SHIFT);
    EXPECT_EQ(vdisplay::pump(), 1);
    EXPECT_LT(keyState(VK_SHIFT), 0);
    vdisplay::keyDown('A');
    vdisplay::typeText(L"A中");
    vdisplay::keyUp('A');
    vdisplay::keyUp(VK_SHIFT);
    vdisplay::pressKey(VK_RETURN);
    vdisplay::pressKey(VK_BACK);
    vdisplay::pump();
    EXPECT_GE(keyState(VK_SHIFT), 0);
    EXPECT_EQ(messages(w, {WM_KEYDOWN, WM_KEYUP, WM_CHAR}),
              (Messages{WM_KEYDOWN, WM_KEYDOWN, WM_CHAR, WM_CHAR, WM_KEYUP, WM_KEYUP, WM_KEYDOWN, WM_CHAR, WM_KEYUP,
                        WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
    std::wstring chars;
    for (const Record& r : records(w, WM_CHAR)) chars.push_back(static_cast<wchar_t>(r.wParam));
    EXPECT_EQ(chars, L"A中\r\b");
    auto keyUps = records(w, WM_KEYUP);
    EXPECT_TRUE(static_cast<std::uint32_t>(keyUps[0].lParam) & (1u << 31));

    // Ctrl+letter gives the control character; keys go to the focus window.
    WindowHandle kid = child(w, 0, 0, 10, 10);
    setFocus(kid);
    log().clear();
    vdisplay::keyDown(VK_CONTROL);
    vdisplay::pressKey('V');
    vdisplay::keyUp(VK_CONTROL);
    vdisplay::pump();
    ASSERT_EQ(records(kid, WM_CHAR).size(), 1u);
    EXPECT_EQ(records(kid, WM_CHAR)[0].wParam, 22u);
    EXPECT_TRUE(records(w, WM_KEYDOWN).empty());
}

TEST_F(WindowInput, AltKeysBecomeSystemKeysAndAltAloneOpensTheKeyMenu) {
    WindowHandle w = topLevel(0, 0, 100, 100);
    vdisplay::pump();
    log().clear();
    vdisplay::altKey('F');
    vdisplay::pump();
    EXPECT_EQ(messages(w, {WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSCHAR, WM_KEYDOWN, WM_CHAR}),
              (Messages{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSCHAR, WM_SYSKEYUP, WM_SYSKEYUP}));
    EXPECT_EQ(records(w, WM_SYSCHAR)[0].wParam, static_cast<WParam>(L'f'));
    EXPECT_TRUE(static_cast<std::uint32_t>(records(w, WM_SYSKEYDOWN)[1].lParam) & (1u << 29));
    EXPECT_TRUE(records(w, WM_SYSCOMMAND).empty()); // Alt was not alone

    log().clear();
    vdisplay::pressKey(VK_MENU);
    vdisplay::pump();
    ASSERT_EQ(records(w, WM_SYSCOMMAND).size(), 1u);
    EXPECT_EQ(records(w, WM_SYSCOMMAND)[0].wParam, SC_KEYMENU);

    // Alt+F4 asks to close through SC_CLOSE.
    log().clear();
    hook() = [](WindowHandle, unsigned msg, WParam wp, LParam) -> std::optional<LResult> {
        if (msg == WM_SYSCOMMAND && wp == SC_CLOSE) return 0;
        return std::nullopt;
    };
    vdisplay::altKey(VK_F4);
    vdisplay::pump();
    ASSERT_EQ(records(w, WM_SYSCOMMAND).size(), 1u);
    EXPECT_EQ(records(w, WM_SYSCOMMAND)[0].wParam, SC_CLOSE);
    EXPECT_TRUE(isWindow(w));
}

TEST_F(WindowInput, MinimiseFromTheDesktopAndBack) {
    WindowHandle w = topLevel(0, 0, 100, 100);
    vdisplay::pump();
    log().clear();
    vdisplay::requestMinimize(w);
    vdisplay::pump();
    EXPECT_TRUE(isIconic(w));
    ASSERT_EQ(records(w, WM_SIZE).size(), 1u);
    EXPECT_EQ(records(w, WM_SIZE)[0].wParam, SIZE_MINIMIZED);
    vdisplay::requestRestore(w);
    vdisplay::pump();
    EXPECT_FALSE(isIconic(w));
    EXPECT_EQ(records(w, WM_SIZE).back().wParam, SIZE_RESTORED);
    // SC_MINIMIZE through the default procedure.
    sendMessage(w, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(isIconic(w));
    EXPECT_TRUE(vdisplay::nativeState(w).minimized);
}

} // namespace
