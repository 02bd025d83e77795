// The paint manager on the virtual display: mouse routing, capture, double
// clicks, the wheel, focus and tab order, Alt shortcuts, timers, notices,
// deferred deletion, tooltips, native children and the paint cycle.
#include "../WindowHost.h"

#include "platform/window/builtin/WindowEdit.h"
#include "ui/layout/HorizontalLayoutUI.h"
#include "ui/layout/VerticalLayoutUI.h"
#include "ui/render/RenderEngine.h"

#include <gtest/gtest.h>

#include <set>

using namespace uitest;
using K = UiEventKind;
using Kinds = std::vector<UiEventKind>;

namespace {

constexpr std::initializer_list<UiEventKind> kMouseKinds = {
    K::MouseEnter, K::MouseLeave, K::ButtonDown, K::ButtonUp, K::DoubleClick, K::RightButtonDown, K::RightButtonUp};

class FormManagerTest : public WindowTest {
protected:
    // A 200 × 100 window at (100, 100): two probes stacked, each 200 × 50.
    void openTwo(unsigned flags = 0) {
        root = new CVerticalLayoutUI;
        a = new CProbeUI(L"a", flags);
        b = new CProbeUI(L"b", flags);
        root->addItem(a);
        root->addItem(b);
        host.open(root, {200, 100});
    }
    CHostWindow host;
    CVerticalLayoutUI* root = nullptr;
    CProbeUI* a = nullptr;
    CProbeUI* b = nullptr;
};

// --- Mouse -----------------------------------------------------------------------------

TEST_F(FormManagerTest, HoverClickAndLeaveReachTheRightControls) {
    openTwo();
    struct Step {
        const char* does;
        std::function<void()> act;
        Kinds a, b;
    };
    const std::vector<Step> steps = {
        {"moving onto a enters it", [&] { vdisplay::moveMouse(host.centreOf(a)); }, {K::MouseEnter}, {}},
        {"a click presses and releases", [&] { vdisplay::click(host.centreOf(a)); }, {K::ButtonDown, K::ButtonUp}, {}},
        {"moving onto b leaves a first",
         [&] { vdisplay::moveMouse(host.centreOf(b)); },
         {K::MouseLeave},
         {K::MouseEnter}},
        {"a right click",
         [&] { vdisplay::click(host.centreOf(b), MouseButton::Right); },
         {},
         {K::RightButtonDown, K::RightButtonUp}},
        {"leaving the window leaves the hover control",
         [&] {
             vdisplay::moveMouse({20, 20});
         },
         {},
         {K::MouseLeave}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.does);
        a->events.clear();
        b->events.clear();
        step.act();
        host.settle();
        EXPECT_EQ(a->only(kMouseKinds), step.a);
        EXPECT_EQ(b->only(kMouseKinds), step.b);
    }
    // Any control takes the focus on a button press: the right click on b was the last.
    EXPECT_EQ(host.manager.focusedControl(), b);
}

TEST_F(FormManagerTest, CaptureKeepsEventsWithThePressedControlOutsideTheWindow) {
    openTwo();
    vdisplay::moveMouse(host.centreOf(a));
    vdisplay::mouseDown(host.centreOf(a));
    host.settle();
    EXPECT_TRUE(host.manager.isMouseCaptured());
    a->events.clear();
    vdisplay::moveMouse(host.centreOf(b)); // over b, but captured by a
    vdisplay::moveMouse({20, 700});        // far outside the window
    vdisplay::mouseUp({20, 700});
    host.settle();
    // Released outside, the mouse has left the window and so the control.
    EXPECT_EQ(a->only({K::MouseMove, K::ButtonUp, K::MouseLeave}),
              (Kinds{K::MouseMove, K::MouseMove, K::ButtonUp, K::MouseLeave}));
    EXPECT_EQ(b->count(K::MouseEnter), 0);
    EXPECT_FALSE(host.manager.isMouseCaptured());

    // A release without a press on a control is no event at all.
    b->events.clear();
    sendMessage(host.windowHandle(), WM_LBUTTONUP, 0, makeLParam(100, 75));
    EXPECT_EQ(b->count(K::ButtonUp), 0);
}

TEST_F(FormManagerTest, DoubleClicksAndTheWheel) {
    openTwo();
    vdisplay::doubleClick(host.centreOf(a));
    host.settle();
    EXPECT_EQ(a->only(kMouseKinds), (Kinds{K::MouseEnter, K::ButtonDown, K::ButtonUp, K::DoubleClick, K::ButtonUp}));

    // The wheel goes to the control under the mouse: wparam 1 down, 0 up.
    ASSERT_EQ(focusWindow(), host.windowHandle());
    vdisplay::wheel(host.centreOf(b), -120);
    vdisplay::wheel(host.centreOf(b), 120);
    host.settle();
    ASSERT_EQ(b->count(K::ScrollWheel), 2);
    std::vector<WParam> wheels;
    for (std::size_t i = 0; i < b->events.size(); ++i)
        if (b->events[i] == K::ScrollWheel) wheels.push_back(b->eventWParams[i]);
    EXPECT_EQ(wheels, (std::vector<WParam>{1, 0}));

    // Without the OS focus the wheel is ignored.
    setFocus(nullptr);
    const Point p = host.centreOf(b);
    sendMessage(host.windowHandle(), WM_MOUSEWHEEL, makeWParam(0, static_cast<std::uint16_t>(-120)),
                makeLParam(p.x, p.y));
    EXPECT_EQ(b->count(K::ScrollWheel), 2);
}

TEST_F(FormManagerTest, SetCursorGoesOnlyToControlsThatAskForIt) {
    openTwo();
    b->m_flags = ControlFlags::SetCursor;
    vdisplay::moveMouse(host.centreOf(a));
    vdisplay::moveMouse(host.centreOf(b));
    host.settle();
    EXPECT_EQ(a->count(K::SetCursor), 0);
    EXPECT_GE(b->count(K::SetCursor), 1);
}

// --- Keyboard, focus, tab order, shortcuts -----------------------------------------------

TEST_F(FormManagerTest, TabOrderWrapsBothWaysAndSkipsHiddenAndDisabledStops) {
    root = new CVerticalLayoutUI;
    std::vector<CProbeUI*> p;
    for (const wchar_t* name : {L"t1", L"plain", L"t2", L"hidden", L"disabled", L"t3"}) {
        p.push_back(new CProbeUI(name, std::wstring_view(name) == L"plain" ? 0u : unsigned{ControlFlags::TabStop}));
        root->addItem(p.back());
    }
    p[3]->assignShown(false);
    p[4]->assignEnabled(false);
    host.open(root, {200, 300});
    auto focused = [&] {
        CControlUI* f = host.manager.focusedControl();
        return f ? f->controlName().toStd() : std::wstring(L"(none)");
    };
    // The first paint focuses the first tab stop.
    EXPECT_EQ(focused(), L"t1");
    struct Step {
        bool shift;
        const wchar_t* then;
    };
    for (const Step& step : {Step{false, L"t2"}, Step{false, L"t3"}, Step{false, L"t1"}, Step{true, L"t3"},
                             Step{true, L"t2"}, Step{true, L"t1"}}) {
        if (step.shift) vdisplay::keyDown(VK_SHIFT);
        vdisplay::pressKey(VK_TAB);
        if (step.shift) vdisplay::keyUp(VK_SHIFT);
        host.settle();
        EXPECT_EQ(focused(), step.then);
    }
    EXPECT_EQ(host.noticeKinds().back(), L"setfocus");

    // Keys go to the focus control.
    p[0]->events.clear();
    vdisplay::pressKey(VK_SPACE);
    host.settle();
    EXPECT_EQ(p[0]->only({K::KeyDown, K::KeyUp}), (Kinds{K::KeyDown, K::KeyUp}));

    // While a layout is pending, tabbing waits for the paint.
    p[1]->assignFixedHeight(10);
    EXPECT_TRUE(host.manager.focusNextTabStop(true));
    EXPECT_EQ(focused(), L"t1");
    host.settle();
    EXPECT_EQ(focused(), L"t2");
}

TEST_F(FormManagerTest, AltShortcutsTriggerTheControlOrTheOneAfterALabel) {
    root = new CVerticalLayoutUI;
    auto* edit = new CProbeUI(L"edit", ControlFlags::TabStop);
    auto* label = new CProbeUI(L"label");
    label->m_type = L"Label";
    label->assignShortcut(L'N');
    auto* button = new CProbeUI(L"button", ControlFlags::TabStop);
    button->assignShortcut(L'b');
    root->addItem(edit);
    root->addItem(label);
    root->addItem(button);
    host.open(root, {200, 90});

    vdisplay::altKey('B');
    host.settle();
    EXPECT_EQ(host.manager.focusedControl(), button);
    EXPECT_EQ(button->triggered, 1);
    // The walk runs topmost first (last child first): after the label comes the edit.
    vdisplay::altKey('N');
    host.settle();
    EXPECT_EQ(host.manager.focusedControl(), edit);
    EXPECT_EQ(edit->triggered, 1);
    EXPECT_EQ(label->triggered, 0);
}

// --- Timers -----------------------------------------------------------------------------

class TimerIds : public IMessageFilterUI {
public:
    LResult filterMessage(unsigned message, WParam wParam, LParam, bool&) override {
        if (message == WM_TIMER) ids.insert(wParam);
        return 0;
    }
    std::set<WParam> ids;
};

TEST_F(FormManagerTest, TimerIdsCountFrom17AndWrapBelow255) {
    openTwo();
    TimerIds seen;
    host.manager.addMessageHook(&seen);
    CFormManagerUI& m = host.manager;

    ASSERT_TRUE(m.startTimer(a, 1, 10));
    EXPECT_FALSE(m.startTimer(a, 1, 10)); // running already
    vdisplay::advanceTime(10);
    host.settle();
    EXPECT_EQ(seen.ids, (std::set<WParam>{17}));
    ASSERT_GE(a->count(K::Timer), 1);
    EXPECT_EQ(host.noticeKinds().back(), L"timer");
    EXPECT_EQ(host.notices.back().wparam, 1u); // the control's own id

    // A stopped timer restarts on its old window id.
    EXPECT_TRUE(m.stopTimer(a, 1));
    EXPECT_FALSE(m.stopTimer(a, 1));
    const int before = a->count(K::Timer);
    vdisplay::advanceTime(20);
    host.settle();
    EXPECT_EQ(a->count(K::Timer), before);
    ASSERT_TRUE(m.startTimer(a, 1, 10));

    // 237 further timers reach 254; the next one wraps to 0.
    for (unsigned id = 2; id <= 239; ++id) ASSERT_TRUE(m.startTimer(b, id, 10));
    seen.ids.clear();
    vdisplay::advanceTime(10);
    host.settle();
    EXPECT_EQ(seen.ids.size(), 239u);
    EXPECT_EQ(*seen.ids.begin(), 0u);
    EXPECT_EQ(*seen.ids.rbegin(), 254u);
    EXPECT_TRUE(seen.ids.count(17));

    // Deleting a control stops its timers.
    seen.ids.clear();
    m.stopTimersOf(b);
    m.stopTimer(a, 1);
    vdisplay::advanceTime(50);
    host.settle();
    EXPECT_TRUE(seen.ids.empty());
    host.manager.removeMessageHook(&seen);
}

// --- Notices and deferred work ---------------------------------------------------------------

TEST_F(FormManagerTest, AsyncNoticesCoalesceUnlessRepeatsAreAllowed) {
    openTwo();
    struct Case {
        const char* proves;
        bool allowRepeat;
        std::vector<WParam> delivered;
    };
    for (const Case& tc : {Case{"repeats allowed: both in order", true, {1, 2}},
                           Case{"no repeats: the queued one is updated", false, {2}}}) {
        SCOPED_TRACE(tc.proves);
        host.notices.clear();
        host.manager.sendNotice(a, L"burst", 1, 0, /*async=*/true, tc.allowRepeat);
        host.manager.sendNotice(b, L"other", 9, 0, /*async=*/true, tc.allowRepeat);
        host.manager.sendNotice(a, L"burst", 2, 0, /*async=*/true, tc.allowRepeat);
        EXPECT_TRUE(host.notices.empty()); // nothing before the deferred work
        host.settle();
        std::vector<WParam> got;
        for (const NoticeRecord& n : host.notices)
            if (n.kind == L"burst") got.push_back(n.wparam);
        EXPECT_EQ(got, tc.delivered);
    }
    // The sender's own notice hooks run before the listeners.
    std::vector<std::string> order;
    a->noticeHooks().add(CHookUI<TNoticeUI>::keyed(&order, [&order](TNoticeUI*) {
        order.push_back("hook");
        return false; // cannot stop the listeners
    }));
    host.onNoticeHook = [&order](TNoticeUI&) { order.push_back("listener"); };
    host.manager.sendNotice(a, L"sync");
    EXPECT_EQ(order, (std::vector<std::string>{"hook", "listener"}));
}

TEST_F(FormManagerTest, ControlsRemovedDuringANoticeLiveUntilTheDeferredWork) {
    openTwo();
    root->assignDefersChildDeletion(true);
    bool aliveInNotice = false, deleted = false;
    a->destroyHooks().add(CHookUI<CControlUI>::keyed(&deleted, [&deleted](CControlUI*) {
        deleted = true;
        return true;
    }));
    host.onNoticeHook = [&](TNoticeUI& n) {
        if (n.kind != L"bye") return;
        root->removeItem(a);
        aliveInNotice = !deleted && n.sender == a;
    };
    host.manager.sendNotice(a, L"bye");
    EXPECT_TRUE(aliveInNotice);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(host.manager.findControlByName(L"a"), nullptr);
    host.settle();
    EXPECT_TRUE(deleted);

    // A control deleting itself from its own button press: the release that
    // follows goes nowhere.
    b->eventHooks().add(CHookUI<TInputEventUI>::keyed(this, [this](TInputEventUI* e) {
        if (e->kind == K::ButtonDown) root->removeItem(b);
        return true;
    }));
    host.manager.startTimer(b, 3, 10); // its timers go with it
    vdisplay::click(host.centreOf(b));
    host.settle();
    EXPECT_EQ(root->itemCount(), 0);
    EXPECT_FALSE(host.manager.isMouseCaptured());
    vdisplay::advanceTime(20);
    host.settle();
}

TEST_F(FormManagerTest, FocusNoticesAndWindowInitOncePerRoot) {
    openTwo(ControlFlags::TabStop);
    // The first paint lays out and raises "windowinit"; the focus follows at the next.
    EXPECT_EQ(host.noticeKinds(), (std::vector<std::wstring>{L"windowinit", L"setfocus"}));
    EXPECT_EQ(host.notices[0].sender, root);
    host.notices.clear();
    host.manager.focusControl(b);
    EXPECT_EQ(host.noticeKinds(), (std::vector<std::wstring>{L"killfocus", L"setfocus"}));
    EXPECT_EQ(host.notices[0].sender, a);
    EXPECT_EQ(a->only({K::KillFocus, K::SetFocus}), (Kinds{K::SetFocus, K::KillFocus}));

    // A new root gets its own "windowinit"; the old tree goes with the deferred work.
    host.notices.clear();
    auto* next = new CVerticalLayoutUI;
    host.manager.setRoot(next);
    host.settle();
    EXPECT_EQ(host.noticeKinds(), (std::vector<std::wstring>{L"killfocus", L"windowinit"}));
    EXPECT_EQ(host.notices[1].sender, next);
}

// --- Tooltips ---------------------------------------------------------------------------------

// The shown tooltip window, or null.
WindowHandle shownTooltip() {
    for (WindowHandle w : vdisplay::stackingOrder())
        if (windowClassName(w) == kTooltipClassName && isWindowVisible(w)) return w;
    return nullptr;
}

TEST_F(FormManagerTest, TooltipsShowTheExpandedTextOnHoverAndHideOnLeave) {
    root = new CVerticalLayoutUI;
    std::vector<CProbeUI*> p;
    for (const wchar_t* tip : {L"hello there", L"%{12}", L"%{13}", L"", L"%{13}"}) {
        p.push_back(new CProbeUI);
        p.back()->assignTooltip(tip);
        root->addItem(p.back());
    }
    host.open(root, {200, 250});
    CFormManagerUI::addLanguageText(12, L"hello there");

    auto hover = [&](CProbeUI* c) {
        vdisplay::moveMouse(host.centreOf(c));
        host.settle();
        vdisplay::advanceTime(1000);
        host.settle();
        WindowHandle tip = shownTooltip();
        return tip ? windowRect(tip).width() : 0;
    };
    const int plain = hover(p[0]);
    EXPECT_GT(plain, 0);
    EXPECT_EQ(p[0]->count(K::MouseHover), 1);
    // Moving to another control hides the tip until it rests again.
    vdisplay::moveMouse(host.centreOf(p[1]));
    host.settle();
    EXPECT_EQ(shownTooltip(), nullptr);
    EXPECT_EQ(hover(p[1]), plain); // the language text for 12
    const int literal = hover(p[2]);
    EXPECT_GT(literal, 0);
    EXPECT_NE(literal, plain); // no text 13: the token itself
    EXPECT_EQ(hover(p[3]), 0); // empty: no tip
    EXPECT_EQ(hover(p[4]), literal);
    vdisplay::moveMouse({5, 5});
    host.settle();
    EXPECT_EQ(shownTooltip(), nullptr);
    CFormManagerUI::removeAllLanguageTexts();
}

// A tip that is showing goes when the window is disabled, as it is when a
// modal loop (a message box) starts over it; it does not come back by itself.
TEST_F(FormManagerTest, TooltipsHideWhenTheWindowIsDisabled) {
    root = new CVerticalLayoutUI;
    auto* probe = new CProbeUI;
    probe->assignTooltip(L"close");
    root->addItem(probe);
    host.open(root, {200, 100});
    vdisplay::moveMouse(host.centreOf(probe));
    host.settle();
    vdisplay::advanceTime(1000);
    host.settle();
    ASSERT_NE(shownTooltip(), nullptr);
    enableWindow(host.windowHandle(), false);
    host.settle();
    EXPECT_EQ(shownTooltip(), nullptr);
    vdisplay::advanceTime(1000);
    host.settle();
    EXPECT_EQ(shownTooltip(), nullptr);
    enableWindow(host.windowHandle(), true);
    host.settle();
    EXPECT_EQ(shownTooltip(), nullptr);
}

// --- Native children and reflection -------------------------------------------------------------

// A superclass of the built-in edit that records what its parent reflects to it.
class CReflectingEdit : public CWindowWnd {
public:
    ~CReflectingEdit() override {
        if (m_window) destroyWindow(m_window);
    }
    const wchar_t* wndClassName() const override { return L"QuellanTestReflectingEdit"; }
    const wchar_t* baseClassName() const override { return kEditClassName; }
    LResult onWindowMessage(unsigned message, WParam wParam, LParam lParam) override {
        if (message >= WM_REFLECT && message < WM_APP) reflected.push_back({message - WM_REFLECT, hiWord(wParam)});
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }
    std::vector<std::pair<unsigned, unsigned>> reflected; // message, notification code
};

TEST_F(FormManagerTest, NativeChildrenTakeTheFocusControlWithThemAndGetReflectedMessages) {
    openTwo(ControlFlags::TabStop);
    CReflectingEdit edit;
    ASSERT_TRUE(edit.createHostWindow(host.windowHandle(), L"", WS_CHILD | WS_VISIBLE, 0, {0, 50, 200, 100}));
    EXPECT_TRUE(host.manager.addNativeChild(b, edit.windowHandle()));
    EXPECT_FALSE(host.manager.addNativeChild(b, edit.windowHandle()));
    EXPECT_EQ(host.manager.focusedControl(), a);

    // The focus moving into the native window makes its control the focus.
    setFocus(edit.windowHandle());
    EXPECT_EQ(host.manager.focusedControl(), b);
    vdisplay::typeText(L"x");
    host.settle();
    EXPECT_EQ(windowText(edit.windowHandle()), L"x");
    const auto changed =
        std::find(edit.reflected.begin(), edit.reflected.end(), std::pair<unsigned, unsigned>{WM_COMMAND, EN_CHANGE});
    EXPECT_NE(changed, edit.reflected.end());

    // Tab inside the native window is the window's tab order.
    vdisplay::pressKey(VK_TAB);
    host.settle();
    EXPECT_EQ(host.manager.focusedControl(), a);
    EXPECT_TRUE(host.manager.removeNativeChild(edit.windowHandle()));
}

// --- Paint -----------------------------------------------------------------------------------------

TEST_F(FormManagerTest, OnlyDirtyRectanglesArePaintedAndShowDirtyOutlinesThem) {
    openTwo();
    a->assignBkColour(0xFF0000FF);
    b->assignBkColour(0xFF00FF00);
    host.settle();
    int paintedA = 0, paintedB = 0;
    a->paintHooks().add(CHookUI<CControlUI>::keyed(&paintedA, [&paintedA](CControlUI*) { return ++paintedA, true; }));
    b->paintHooks().add(CHookUI<CControlUI>::keyed(&paintedB, [&paintedB](CControlUI*) { return ++paintedB, true; }));

    a->assignBkColour(0xFFFF0000);
    host.settle();
    EXPECT_EQ(paintedA, 1);
    EXPECT_EQ(paintedB, 0);
    EXPECT_EQ(vdisplay::nativeState(host.windowHandle()).lastPresented, a->bounds());
    Snapshot s = host.pixels();
    EXPECT_EQ(s.at(100, 25), 0xFFFF0000u);
    EXPECT_EQ(s.at(100, 75), 0xFF00FF00u);

    host.manager.applyWindowAttribute(L"showdirty", L"TRUE");
    b->assignBkColour(0xFF0000FF);
    host.settle();
    s = host.pixels();
    const Rect r = b->bounds();
    EXPECT_EQ(s.at(r.left, r.top + 10), 0xFFDC0000u);
    EXPECT_EQ(s.at(r.right - 1, r.top + 10), 0xFFDC0000u);
    EXPECT_EQ(s.at(100, r.bottom - 1), 0xFFDC0000u);
    EXPECT_EQ(s.at(100, 75), 0xFF0000FFu);
    EXPECT_EQ(s.at(100, 25), 0xFFFF0000u); // not repainted, not outlined
    EXPECT_EQ(paintedA, 1);
}

TEST_F(FormManagerTest, SnapshotsCopyThePaintedWindowOrPaintUpToAControl) {
    openTwo();
    root->assignBkColour(0xFF101010);
    a->assignBkColour(0xFF0000FF);
    a->assignFixedHeight(50);
    b->assignBkColour(0xFF00FF00);
    host.settle();

    Surface all = render::snapshotBitmap(&host.manager, {90, 40, 110, 60}, nullptr, 0);
    ASSERT_EQ(all.size(), (Size{20, 20}));
    EXPECT_EQ(all.rowOrder(), RowOrder::BottomUp);
    EXPECT_EQ(all.pixel(5, 5), 0xFF0000FFu);  // a above y 50
    EXPECT_EQ(all.pixel(5, 15), 0xFF00FF00u); // b below

    // Stopping at b paints the tree without b: the root shows through.
    Surface under = render::snapshotBitmap(&host.manager, {90, 40, 110, 60}, b, 0);
    EXPECT_EQ(under.pixel(5, 5), 0xFF0000FFu);
    EXPECT_EQ(under.pixel(5, 15), 0xFF101010u);

    // A background colour is blended over the copy.
    Surface tinted = render::snapshotBitmap(&host.manager, {90, 40, 110, 60}, nullptr, 0xFFFFFFFF);
    EXPECT_EQ(tinted.pixel(5, 5), 0xFFFFFFFFu);
    EXPECT_TRUE(render::snapshotBitmap(nullptr, {0, 0, 5, 5}, nullptr, 0).isEmpty());

    // Printing the window paints the whole tree into the given canvas.
    Surface printed(200, 100);
    Canvas canvas(printed);
    ASSERT_TRUE(printWindow(host.windowHandle(), canvas, PRF_CLIENT));
    EXPECT_EQ(printed.pixel(95, 45), 0xFF0000FFu);
    EXPECT_EQ(printed.pixel(95, 55), 0xFF00FF00u);
}

// --- Window attributes ------------------------------------------------------------------------------

TEST_F(FormManagerTest, WindowAttributesTable) {
    openTwo();
    CFormManagerUI& m = host.manager;
    struct Case {
        const wchar_t* name;
        const wchar_t* value;
        std::function<bool()> holds;
    };
    const std::vector<Case> cases = {
        {L"SIZE", L"300,120",
         [&] {
             return windowRect(host.windowHandle()).size() == Size{200, 100};
         }},
        {L"sizebox", L"4,4,6,6",
         [&] {
             return m.sizeBox() == Rect{4, 4, 6, 6};
         }},
        {L"caption", L"0,0,0,-1",
         [&] {
             return m.caption() == Rect{0, 0, 0, 100};
         }},
        {L"roundcorner", L"5,5",
         [&] {
             return m.roundCorner() == Size{5, 5};
         }},
        {L"mininfo", L"150,80",
         [&] {
             return m.minTrackSize() == Size{150, 80};
         }},
        {L"MaxInfo", L"900,700",
         [&] {
             return m.maxTrackSize() == Size{900, 700};
         }},
        {L"showdirty", L"True", [&] { return m.showDirty(); }},
        {L"noactivate", L"true", [&] { return m.noActivate(); }},
        {L"NoActivate", L"false", [&] { return m.noActivate() && m.windowAttribute(L"NoActivate"); }},
        {L"shadowsize", L"6", [&] { return m.shadowSize() == 6; }},
        {L"shadowcolor", L"#80FF0000", [&] { return m.shadowColour() == 0x80FF0000u; }},
        {L"layeredopacity", L"200", [&] { return m.layeredOpacity() == 200; }},
        {L"nolayeredpadding", L"1,2,3,4",
         [&] {
             return m.noLayeredPadding() == Rect{1, 2, 3, 4};
         }},
        {L"linkfontcolor", L"#FF123456", [&] { return m.linkColour() == 0xFF123456u; }},
        {L"DefaultFontColor", L"FF654321", [&] { return m.defaultTextColour() == 0xFF654321u; }},
        {L"opacity", L"128", [&] { return vdisplay::nativeState(host.windowHandle()).opacity == 128; }},
        {L"skin-author", L"first", [&] { return std::wstring_view(m.windowAttribute(L"skin-author")) == L"first"; }},
        {L"skin-author", L"second", [&] { return std::wstring_view(m.windowAttribute(L"skin-author")) == L"first"; }},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(tc.name)));
        m.applyWindowAttribute(tc.name, tc.value);
        EXPECT_TRUE(tc.holds());
    }
    // The track sizes answer WM_GETMINMAXINFO; only positive values count.
    m.setMinTrackSize({0, 80});
    MinMaxInfo info;
    info.minTrackSize = {7, 7};
    sendMessage(host.windowHandle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LParam>(&info));
    EXPECT_EQ(info.minTrackSize, (Size{7, 80}));
    EXPECT_EQ(info.maxTrackSize, (Size{900, 700}));
    // ... and so hold the window's size when it is sized.
    setWindowPos(host.windowHandle(), nullptr, 0, 0, 20, 20, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(windowRect(host.windowHandle()).size(), (Size{20, 80})); // no minimum width
    setWindowPos(host.windowHandle(), nullptr, 0, 0, 2000, 2000, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(windowRect(host.windowHandle()).size(), (Size{900, 700}));

    // "size" resizes only before a root exists.
    CHostWindow fresh;
    fresh.open(nullptr, {50, 50}, {500, 100});
    fresh.manager.applyWindowAttribute(L"size", L"300,120");
    EXPECT_EQ(windowRect(fresh.windowHandle()).size(), (Size{300, 120}));

    // No-activate: a click neither activates the window nor focuses it.
    CHostWindow other;
    other.open(new CProbeUI, {50, 50}, {600, 400});
    ASSERT_EQ(activeWindow(), other.windowHandle());
    vdisplay::click(host.centreOf(a));
    host.settle();
    EXPECT_EQ(activeWindow(), other.windowHandle());
}

TEST_F(FormManagerTest, ClosingLeavesHoverAndFocus) {
    openTwo(ControlFlags::TabStop);
    vdisplay::moveMouse(host.centreOf(b));
    host.settle();
    EXPECT_EQ(host.manager.hoverControl(), b);
    sendMessage(host.windowHandle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(b->count(K::MouseLeave), 1);
    EXPECT_EQ(host.manager.focusedControl(), nullptr);
    EXPECT_EQ(a->count(K::KillFocus), 1);
}

} // namespace
