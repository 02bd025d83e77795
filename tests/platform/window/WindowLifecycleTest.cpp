// Window classes, creation and destruction order, window data, styles, text,
// showing, activation and focus on the virtual display.
#include "WindowTestSupport.h"

namespace {

using namespace wintest;

using WindowLifecycle = WindowTest;

TEST_F(WindowLifecycle, ClassRegistrationAcceptsRepeatsAndRejectsIncompleteClasses) {
    WindowClass cls;
    cls.name = kClass;
    cls.proc = recordingProc;
    EXPECT_TRUE(registerWindowClass(cls)); // already registered: still success
    EXPECT_FALSE(registerWindowClass(WindowClass{L"NoProc", 0, nullptr, CursorShape::Arrow}));
    EXPECT_FALSE(registerWindowClass(WindowClass{L"", 0, recordingProc, CursorShape::Arrow}));
    WindowClass found;
    ASSERT_TRUE(windowClassInfo(L"quellantestdblclk", &found)); // class names ignore ASCII case
    EXPECT_EQ(found.style, CS_DBLCLKS);
    EXPECT_EQ(createWindow(0, L"NoSuchClass", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr), nullptr);
}

// A superclass keeps the base class's procedure and passes what it does not handle on to it.
LResult (*g_baseProc)(WindowHandle, unsigned, WParam, LParam) = nullptr;
LResult baseProc(WindowHandle w, unsigned msg, WParam wp, LParam lp) {
    if (msg == WM_USER + 5) return 55;
    if (msg == WM_USER + 6) return 66;
    return defWindowProc(w, msg, wp, lp);
}
LResult superProc(WindowHandle w, unsigned msg, WParam wp, LParam lp) {
    if (msg == WM_USER + 6) return 600;
    return callWindowProc(g_baseProc, w, msg, wp, lp);
}

TEST_F(WindowLifecycle, SuperclassForwardsUnhandledMessagesToTheBaseProcedure) {
    ASSERT_TRUE(registerWindowClass(WindowClass{L"QuellanBase", 0, baseProc, CursorShape::IBeam}));
    WindowClass base;
    ASSERT_TRUE(windowClassInfo(L"QuellanBase", &base));
    g_baseProc = base.proc;
    base.name = L"QuellanSuper";
    base.proc = superProc;
    ASSERT_TRUE(registerWindowClass(base));
    WindowHandle w = createWindow(0, L"QuellanSuper", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(sendMessage(w, WM_USER + 5, 0, 0), 55);
    EXPECT_EQ(sendMessage(w, WM_USER + 6, 0, 0), 600);
    EXPECT_EQ(windowClassName(w), L"QuellanSuper");
}

TEST_F(WindowLifecycle, CreationSendsNcCreateCreateSizeMoveWithTheCreationParameter) {
    int param = 42;
    void* seenParam = nullptr;
    hook() = [&](WindowHandle, unsigned msg, WParam, LParam lp) -> std::optional<LResult> {
        if (msg == WM_NCCREATE) seenParam = reinterpret_cast<CreateParams*>(lp)->createParam;
        return std::nullopt;
    };
    WindowHandle w = createWindow(0, kClass, L"title", WS_POPUP, 10, 20, 300, 200, nullptr, &param);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(seenParam, &param);
    EXPECT_EQ(messages(w), (Messages{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
    EXPECT_EQ(records(w, WM_SIZE)[0].lParam, makeLParam(300, 200));
    EXPECT_EQ(windowRect(w), Rect::fromSize(10, 20, 300, 200));
    EXPECT_FALSE(isWindowVisible(w));
    EXPECT_TRUE(vdisplay::nativeState(w).exists);
    EXPECT_FALSE(vdisplay::nativeState(w).shown);
    EXPECT_EQ(windowText(w), L"title");
}

TEST_F(WindowLifecycle, FailedCreationReturnsNullAndCleansUp) {
    hook() = [](WindowHandle, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (msg == WM_CREATE) return -1;
        return std::nullopt;
    };
    EXPECT_EQ(createWindow(0, kClass, L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr), nullptr);
    ASSERT_FALSE(log().empty());
    WindowHandle w = log().front().window;
    EXPECT_EQ(messages(w), (Messages{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(isWindow(w));
    EXPECT_TRUE(vdisplay::stackingOrder().empty());

    log().clear();
    hook() = [](WindowHandle, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (msg == WM_NCCREATE) return 0;
        return std::nullopt;
    };
    EXPECT_EQ(createWindow(0, kClass, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr), nullptr);
    EXPECT_EQ(messages(), (Messages{WM_NCCREATE, WM_NCDESTROY}));
}

TEST_F(WindowLifecycle, DestroyTakesOwnedWindowsFirstThenTheTreeParentFirstAndFinishesChildrenFirst) {
    WindowHandle owner = topLevel(0, 0, 200, 200);
    WindowHandle owned = topLevel(50, 50, 50, 50, kClass, 0, owner);
    WindowHandle kid = child(owner, 10, 10, 100, 100);
    WindowHandle grandKid = child(kid, 5, 5, 20, 20);
    ASSERT_TRUE(owner && owned && kid && grandKid);
    EXPECT_EQ(ownerWindow(owned), owner);
    EXPECT_EQ(parentWindow(grandKid), kid);
    EXPECT_EQ(ancestorWindow(grandKid, GA_ROOT), owner);
    EXPECT_TRUE(isChildWindow(owner, grandKid));
    EXPECT_TRUE(postMessage(kid, WM_USER, 0, 0));
    log().clear();

    ASSERT_TRUE(destroyWindow(owner));
    std::vector<std::pair<WindowHandle, unsigned>> order;
    for (const Record& r : log())
        if (r.message == WM_DESTROY || r.message == WM_NCDESTROY) order.emplace_back(r.window, r.message);
    const std::vector<std::pair<WindowHandle, unsigned>> expected{
        {owned, WM_DESTROY},    {owned, WM_NCDESTROY},    {owner, WM_DESTROY}, {kid, WM_DESTROY},
        {grandKid, WM_DESTROY}, {grandKid, WM_NCDESTROY}, {kid, WM_NCDESTROY}, {owner, WM_NCDESTROY}};
    EXPECT_EQ(order, expected);
    for (WindowHandle w : {owner, owned, kid, grandKid}) EXPECT_FALSE(isWindow(w));
    EXPECT_FALSE(destroyWindow(owner));
    EXPECT_FALSE(postMessage(kid, WM_USER, 0, 0));
    log().clear();
    EXPECT_EQ(vdisplay::pump(), 0); // the message posted before the destruction went with it
    EXPECT_EQ(sendMessage(owner, WM_USER, 0, 0), 0);
    EXPECT_EQ(windowText(owner), L"");
}

TEST_F(WindowLifecycle, DataPropertiesStylesAndText) {
    WindowHandle w = topLevel(0, 0, 100, 100);
    EXPECT_EQ(setWindowUserData(w, 1234), 0);
    EXPECT_EQ(windowUserData(w), 1234);
    int object = 0;
    EXPECT_TRUE(setWindowProp(w, L"WndX", &object));
    EXPECT_EQ(windowProp(w, L"WndX"), &object);
    EXPECT_EQ(windowProp(w, L"Other"), nullptr);
    EXPECT_EQ(removeWindowProp(w, L"WndX"), &object);
    EXPECT_EQ(windowProp(w, L"WndX"), nullptr);

    // Text goes through WM_SETTEXT / WM_GETTEXT so that a class can keep it its own way.
    EXPECT_TRUE(setWindowText(w, L"下载 Quellan"));
    EXPECT_EQ(windowText(w), L"下载 Quellan");
    EXPECT_EQ(vdisplay::nativeState(w).title, L"下载 Quellan");
    hook() = [](WindowHandle, unsigned msg, WParam wp, LParam lp) -> std::optional<LResult> {
        if (msg == WM_GETTEXTLENGTH) return 3;
        if (msg == WM_GETTEXT && wp >= 4) {
            std::wcscpy(reinterpret_cast<wchar_t*>(lp), L"abc");
            return 3;
        }
        return std::nullopt;
    };
    EXPECT_EQ(windowText(w), L"abc");
    hook() = nullptr;

    // Removing the caption takes the desktop frame away; visibility bits stay as they are.
    unsigned old = setWindowStyle(w, WS_POPUP | WS_CAPTION);
    EXPECT_TRUE(old & WS_VISIBLE);
    EXPECT_TRUE(windowStyle(w) & WS_VISIBLE);
    EXPECT_TRUE(vdisplay::nativeState(w).style.decorated);
    setWindowStyle(w, windowStyle(w) & ~WS_CAPTION);
    EXPECT_FALSE(vdisplay::nativeState(w).style.decorated);
    setWindowStyle(w, windowStyle(w) | WS_THICKFRAME);
    EXPECT_TRUE(vdisplay::nativeState(w).style.resizable);
}

TEST_F(WindowLifecycle, StyleChangedDuringCreateNeverReachesTheDesktop) {
    hook() = [](WindowHandle w, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (msg == WM_CREATE) setWindowStyle(w, windowStyle(w) & ~(WS_CAPTION | WS_THICKFRAME));
        return std::nullopt;
    };
    WindowHandle w =
        createWindow(0, kClass, L"Quellan", WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(vdisplay::nativeState(w).style.decorated);
    EXPECT_TRUE(vdisplay::nativeState(w).shown);
    EXPECT_EQ(activeWindow(), w);
    EXPECT_EQ(focusWindow(), w);
}

TEST_F(WindowLifecycle, ShowStatesMinimiseRestoreAndForbiddenMaximise) {
    WindowHandle w = createWindow(0, kClass, L"", WS_POPUP, 100, 100, 200, 150, nullptr, nullptr);
    EXPECT_FALSE(showWindow(w, SW_SHOWNOACTIVATE));
    EXPECT_TRUE(isWindowVisible(w));
    EXPECT_EQ(activeWindow(), nullptr); // shown without activation
    EXPECT_TRUE(showWindow(w, SW_SHOWNORMAL));
    EXPECT_EQ(activeWindow(), w);

    log().clear();
    showWindow(w, SW_MINIMIZE);
    EXPECT_TRUE(isIconic(w));
    EXPECT_TRUE(vdisplay::nativeState(w).minimized);
    ASSERT_EQ(records(w, WM_SIZE).size(), 1u);
    EXPECT_EQ(records(w, WM_SIZE)[0].wParam, SIZE_MINIMIZED);
    EXPECT_EQ(activeWindow(), nullptr);

    showWindow(w, SW_RESTORE);
    EXPECT_FALSE(isIconic(w));
    EXPECT_EQ(records(w, WM_SIZE).back().wParam, SIZE_RESTORED);
    EXPECT_EQ(activeWindow(), w);

    // Without a sizing frame and maximise box the window keeps its size.
    showWindow(w, SW_MAXIMIZE);
    EXPECT_FALSE(isZoomed(w));
    EXPECT_EQ(windowRect(w), Rect::fromSize(100, 100, 200, 150));
    setWindowStyle(w, windowStyle(w) | WS_THICKFRAME | WS_MAXIMIZEBOX);
    showWindow(w, SW_MAXIMIZE);
    EXPECT_TRUE(isZoomed(w));
    EXPECT_EQ(windowRect(w), (Rect{0, 0, 1280, 800}));
    showWindow(w, SW_RESTORE);
    EXPECT_EQ(windowRect(w), Rect::fromSize(100, 100, 200, 150));

    showWindow(w, SW_HIDE);
    EXPECT_FALSE(isWindowVisible(w));
    EXPECT_FALSE(vdisplay::nativeState(w).shown);
    EXPECT_EQ(activeWindow(), nullptr);
}

TEST_F(WindowLifecycle, SetWindowPosMovesResizesAndKeepsTopmostOrder) {
    WindowHandle a = topLevel(0, 0, 100, 100);
    WindowHandle b = topLevel(50, 50, 100, 100);
    EXPECT_EQ(vdisplay::stackingOrder(), (std::vector<WindowHandle>{b, a}));
    log().clear();
    ASSERT_TRUE(setWindowPos(a, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    EXPECT_EQ(windowRect(a), Rect::fromSize(10, 20, 100, 100));
    EXPECT_EQ(messages(a, {WM_MOVE, WM_SIZE}), (Messages{WM_MOVE}));
    EXPECT_EQ(vdisplay::nativeState(a).rect, Rect::fromSize(10, 20, 100, 100));
    EXPECT_EQ(activeWindow(), b);

    // Topmost then not topmost brings a window to the front and leaves it an ordinary window.
    setWindowPos(a, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_TRUE(windowExStyle(a) & WS_EX_TOPMOST);
    EXPECT_TRUE(vdisplay::nativeState(a).style.topmost);
    setWindowPos(a, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_FALSE(windowExStyle(a) & WS_EX_TOPMOST);
    EXPECT_EQ(vdisplay::stackingOrder(), (std::vector<WindowHandle>{a, b}));
    EXPECT_EQ(activeWindow(), a);

    // A topmost window stays above a window brought to the top later.
    setWindowPos(b, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    bringWindowToTop(a);
    EXPECT_EQ(vdisplay::stackingOrder(), (std::vector<WindowHandle>{b, a}));

    log().clear();
    moveWindow(a, 10, 20, 300, 40, true);
    ASSERT_EQ(records(a, WM_SIZE).size(), 1u);
    EXPECT_EQ(records(a, WM_SIZE)[0].lParam, makeLParam(300, 40));
    EXPECT_EQ(clientRect(a), (Rect{0, 0, 300, 40}));
}

TEST_F(WindowLifecycle, OwnedWindowsStayAboveTheirOwner) {
    WindowHandle owner = topLevel(0, 0, 300, 300);
    WindowHandle dialog = topLevel(50, 50, 100, 100, kClass, 0, owner);
    WindowHandle other = topLevel(400, 0, 100, 100);
    bringWindowToTop(owner);
    EXPECT_EQ(vdisplay::stackingOrder(), (std::vector<WindowHandle>{dialog, owner, other}));
    EXPECT_EQ(relatedWindow(dialog, GW_OWNER), owner);
}

TEST_F(WindowLifecycle, ScreenAndClientCoordinatesOfNestedChildren) {
    WindowHandle top = topLevel(100, 50, 400, 300);
    WindowHandle kid = child(top, 10, 20, 200, 100);
    WindowHandle grandKid = child(kid, 5, 6, 50, 50);
    EXPECT_EQ(windowRect(grandKid), Rect::fromSize(115, 76, 50, 50));
    EXPECT_EQ(clientToScreen(grandKid, {1, 2}), (Point{116, 78}));
    EXPECT_EQ(screenToClient(kid, {110, 70}), (Point{0, 0}));
    EXPECT_EQ(windowFromPoint({120, 80}), grandKid);
    EXPECT_EQ(windowFromPoint({105, 55}), top);
    EXPECT_EQ(windowFromPoint({5, 5}), nullptr);
    EXPECT_EQ(childWindows(top), (std::vector<WindowHandle>{kid}));
    EXPECT_EQ(relatedWindow(top, GW_CHILD), kid);
    // A disabled child lets the pointer through to its parent.
    enableWindow(grandKid, false);
    EXPECT_EQ(windowFromPoint({120, 80}), kid);
}

TEST_F(WindowLifecycle, FocusMovesWithKillAndSetFocusNamingTheOtherWindow) {
    WindowHandle top = topLevel(0, 0, 300, 300);
    WindowHandle a = child(top, 0, 0, 50, 50);
    WindowHandle b = child(top, 60, 0, 50, 50);
    EXPECT_EQ(focusWindow(), top);
    log().clear();
    EXPECT_EQ(setFocus(a), top);
    EXPECT_EQ(setFocus(b), a);
    ASSERT_EQ(records(a, WM_KILLFOCUS).size(), 1u);
    EXPECT_EQ(records(a, WM_KILLFOCUS)[0].wParam, reinterpret_cast<WParam>(b));
    ASSERT_EQ(records(b, WM_SETFOCUS).size(), 1u);
    EXPECT_EQ(records(b, WM_SETFOCUS)[0].wParam, reinterpret_cast<WParam>(a));

    // Disabling the window holding the focus takes the focus away.
    log().clear();
    EXPECT_FALSE(enableWindow(b, false));
    EXPECT_EQ(focusWindow(), nullptr);
    EXPECT_EQ(records(b, WM_KILLFOCUS).size(), 1u);
    EXPECT_FALSE(isWindowEnabled(b));
    EXPECT_TRUE(enableWindow(b, true));

    // A focused window that goes away leaves no focus behind.
    setFocus(a);
    destroyWindow(a);
    EXPECT_EQ(focusWindow(), nullptr);
}

TEST_F(WindowLifecycle, ActivationSwitchesBetweenTopLevelWindows) {
    WindowHandle a = topLevel(0, 0, 100, 100);
    WindowHandle b = topLevel(200, 0, 100, 100);
    EXPECT_EQ(activeWindow(), b);
    log().clear();
    setActiveWindow(a);
    EXPECT_EQ(activeWindow(), a);
    EXPECT_EQ(vdisplay::desktopFocus(), a);
    const std::vector<unsigned> kinds{WM_NCACTIVATE, WM_ACTIVATE, WM_KILLFOCUS, WM_SETFOCUS};
    EXPECT_EQ(messages(b, kinds), (Messages{WM_NCACTIVATE, WM_ACTIVATE, WM_KILLFOCUS}));
    EXPECT_EQ(messages(a, kinds), (Messages{WM_NCACTIVATE, WM_ACTIVATE, WM_SETFOCUS}));
    EXPECT_EQ(loWord(records(a, WM_ACTIVATE)[0].wParam), WA_ACTIVE);
    EXPECT_EQ(records(a, WM_ACTIVATE)[0].lParam, reinterpret_cast<LParam>(b));

    // Losing the desktop focus deactivates; getting it back activates again.
    vdisplay::setDesktopFocus(a, false);
    vdisplay::pump();
    EXPECT_EQ(activeWindow(), nullptr);
    EXPECT_EQ(focusWindow(), nullptr);
    vdisplay::setDesktopFocus(a, true);
    vdisplay::pump();
    EXPECT_EQ(activeWindow(), a);
    EXPECT_EQ(focusWindow(), a);

    // Hiding the active window activates its owner.
    WindowHandle dialog = topLevel(10, 10, 50, 50, kClass, 0, b);
    EXPECT_EQ(activeWindow(), dialog);
    showWindow(dialog, SW_HIDE);
    EXPECT_EQ(activeWindow(), b);
}

} // namespace
