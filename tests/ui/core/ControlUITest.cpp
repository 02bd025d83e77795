// The control base: attributes, hooks, positioning and covers, the tree
// walk and the paint order, on plain canvases and on the virtual display.
#include "../WindowHost.h"

#include "platform/graphics/Graphics.h"
#include "ui/core/AttributeValues.h"
#include "ui/layout/VerticalLayoutUI.h"

#include <gtest/gtest.h>

using namespace uitest;

namespace {

// --- Attributes -----------------------------------------------------------------

struct AttributeCase {
    const char* proves;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    std::function<void(CControlUI&)> check;
};

TEST(ControlAttributes, TableOfValuesAndTolerantParsing) {
    const std::vector<AttributeCase> cases = {
        {"pos gives fixed offsets and size",
         {{L"pos", L"10,20,110,70"}},
         [](CControlUI& c) {
             EXPECT_EQ(c.fixedXY(), (Point{10, 20}));
             EXPECT_EQ(c.fixedWidth(), 100);
             EXPECT_EQ(c.fixedHeight(), 50);
         }},
        {"any single character separates numbers",
         {{L"padding", L"1;2 3x4"}},
         [](CControlUI& c) {
             EXPECT_EQ(c.padding(), (Rect{1, 2, 3, 4}));
         }},
        {"one border size sets all four sides",
         {{L"bordersize", L"2"}},
         [](CControlUI& c) {
             EXPECT_EQ(c.borderSizes(), (Rect{2, 2, 2, 2}));
         }},
        {"a border size list sets each side",
         {{L"bordersize", L"1,0,1,0"}},
         [](CControlUI& c) {
             EXPECT_EQ(c.borderSizes(), (Rect{1, 0, 1, 0}));
         }},
        {"background colours skip leading blanks and #",
         {{L"bkcolor", L"  #FF00FF00"}, {L"bkcolor2", L"FF0000FF"}},
         [](CControlUI& c) {
             EXPECT_EQ(c.bkColour(), 0xFF00FF00u);
             EXPECT_EQ(c.bkColour2(), 0xFF0000FFu);
         }},
        {"bkcolor1 is bkcolor",
         {{L"bkcolor1", L"#80102030"}},
         [](CControlUI& c) { EXPECT_EQ(c.bkColour(), 0x80102030u); }},
        {"max width below min width reads as min width",
         {{L"minwidth", L"50"}, {L"maxwidth", L"20"}},
         [](CControlUI& c) {
             EXPECT_EQ(c.maxWidth(), 50);
             EXPECT_EQ(c.minWidth(), 50);
         }},
        {"negative sizes are ignored",
         {{L"width", L"40"}, {L"width", L"-5"}, {L"minheight", L"-1"}},
         [](CControlUI& c) {
             EXPECT_EQ(c.fixedWidth(), 40);
             EXPECT_EQ(c.minHeight(), 0);
         }},
        {"numbers that do not parse read as 0",
         {{L"height", L"abc"}},
         [](CControlUI& c) { EXPECT_EQ(c.fixedHeight(), 0); }},
        {"<n> in a tooltip becomes a line break",
         {{L"tooltip", L"a<n>b"}},
         [](CControlUI& c) { EXPECT_EQ(c.tooltip().view(), L"a\r\nb"); }},
        {"booleans are exactly true",
         {{L"visible", L"True"}, {L"enabled", L"false"}, {L"mouse", L"true"}},
         [](CControlUI& c) {
             EXPECT_FALSE(c.isShown());
             EXPECT_FALSE(c.enabledState());
             EXPECT_FALSE(c.keyboardEnabled()); // false while disabled
             EXPECT_TRUE(c.mouseEnabled());
         }},
        {"auto size names and values ignore case",
         {{L"AutoCalWidth", L"TRUE"}, {L"autocalheight", L"tRuE"}},
         [](CControlUI& c) {
             EXPECT_TRUE(c.autoWidth());
             EXPECT_TRUE(c.autoHeight());
         }},
        {"float with fractions sets anchors and floats",
         {{L"float", L"0.5,0,1,0.25"}},
         [](CControlUI& c) {
             EXPECT_TRUE(c.isFloating());
             EXPECT_EQ(c.floatAnchors(), (FloatAnchorsUI{0.5, 0, 1, 0.25}));
         }},
        {"shortcut, tag, user data, menu",
         {{L"shortcut", L"Save"}, {L"tag", L"42"}, {L"userdata", L"u"}, {L"menu", L"true"}},
         [](CControlUI& c) {
             EXPECT_EQ(c.shortcut(), L'S');
             EXPECT_EQ(c.tag(), 42u);
             EXPECT_EQ(c.userData().view(), L"u");
             EXPECT_TRUE(c.contextMenuUsed());
         }},
        {"unknown names are custom attributes, the first value wins",
         {{L"flavour", L"sweet"}, {L"flavour", L"sour"}, {L"Pos", L"1,2,3,4"}},
         [](CControlUI& c) {
             EXPECT_STREQ(c.customAttribute(L"flavour"), L"sweet");
             EXPECT_STREQ(c.customAttribute(L"Pos"), L"1,2,3,4"); // names are case-sensitive
             EXPECT_EQ(c.fixedWidth(), 0);
         }},
        {"border round, style and focus colour",
         {{L"borderround", L"6,8"}, {L"borderstyle", L"2"}, {L"focusbordercolor", L"#FF112233"}},
         [](CControlUI& c) {
             EXPECT_EQ(c.borderRound(), (Size{6, 8}));
             EXPECT_EQ(c.borderStyle(), 2);
             EXPECT_EQ(c.focusBorderColour(), 0xFF112233u);
         }},
    };
    for (const AttributeCase& tc : cases) {
        SCOPED_TRACE(tc.proves);
        CProbeUI c;
        for (const auto& [name, value] : tc.attributes) c.applyAttribute(name, value);
        tc.check(c);
    }
}

TEST(ControlAttributes, AttributeListsStopAtTheFirstMalformedPair) {
    struct Case {
        const wchar_t* text;
        int width, height;
    };
    const Case cases[] = {
        {L"width=\"10\" height=\"20\"", 10, 20},
        {L"width=\"10\"  height=\"20\"", 10, 0}, // two blanks end the list
        {L"width=10 height=\"20\"", 0, 0},       // a value must be quoted
        {L"width=\"10\"height=\"20\"", 10, 0},   // pairs need one blank between them
        {L"width=\"10", 0, 0},                   // unterminated value
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(tc.text)));
        CProbeUI c;
        c.applyAttributeText(tc.text);
        EXPECT_EQ(c.fixedWidth(), tc.width);
        EXPECT_EQ(c.fixedHeight(), tc.height);
    }
}

// --- Hooks -------------------------------------------------------------------------

struct HookTarget {
    int calls = 0;
    bool answer = true;
    bool onControl(CControlUI*) {
        ++calls;
        return answer;
    }
};

int g_freeCalls = 0;
bool freeHook(CControlUI*) {
    ++g_freeCalls;
    return true;
}

TEST(ControlHooks, EqualHooksAddOnceAndFalseStopsTheRest) {
    CHookListUI<CControlUI> list;
    HookTarget a, b;
    g_freeCalls = 0;
    EXPECT_TRUE(list.invoke(nullptr)); // empty list yields true
    list.add(&freeHook);
    list.add(&freeHook);
    list.add({&a, &HookTarget::onControl});
    list.add({&a, &HookTarget::onControl});
    list.add({&b, &HookTarget::onControl});
    list.add(CHookUI<CControlUI>::keyed(&b, [](CControlUI*) { return true; }));
    list.add(CHookUI<CControlUI>::keyed(&b, [](CControlUI*) { return false; })); // same key: not added
    EXPECT_EQ(list.size(), 4u);

    a.answer = false;
    EXPECT_FALSE(list.invoke(nullptr));
    EXPECT_EQ(g_freeCalls, 1);
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 0); // after the first false nothing runs
    EXPECT_TRUE(list.remove({&a, &HookTarget::onControl}));
    EXPECT_TRUE(list.invoke(nullptr));
    EXPECT_EQ(b.calls, 1);
}

TEST(ControlHooks, EventAndPaintHooksCanSuppressTheControl) {
    CProbeUI c;
    c.place({0, 0, 10, 10});
    bool allow = false;
    c.eventHooks().add(CHookUI<TInputEventUI>::keyed(&allow, [&allow](TInputEventUI*) { return allow; }));
    TInputEventUI e;
    e.kind = UiEventKind::KeyDown;
    c.dispatchEvent(e);
    EXPECT_TRUE(c.events.empty());
    allow = true;
    c.dispatchEvent(e);
    EXPECT_EQ(c.events, std::vector<UiEventKind>{UiEventKind::KeyDown});

    Surface s(10, 10);
    Canvas canvas(s);
    c.assignBkColour(0xFF00FF00);
    c.paintHooks().add(CHookUI<CControlUI>::keyed(&c, [](CControlUI*) { return false; }));
    EXPECT_TRUE(c.paintTree(canvas, {0, 0, 10, 10}, nullptr));
    EXPECT_EQ(s.pixel(5, 5), 0u); // skipped
}

// --- Position, floats and covers -------------------------------------------------------

TEST(ControlPosition, FloatingControlsTakeRelativeRectanglesAndKeepTheirAnchors) {
    CVerticalLayoutUI parent;
    parent.place({100, 50, 300, 150}); // 200 × 100
    auto* child = new CProbeUI;
    parent.addItem(child);
    child->assignFloatAnchors({0.5, 0.5, 1.0, 1.0});
    child->assignFloating(true);
    child->place({110, 60, 190, 90});
    EXPECT_EQ(child->bounds(), (Rect{210, 110, 290, 140}));
    // Fixed values are what the parent's float placement needs to put it back.
    EXPECT_EQ(child->fixedXY(), (Point{10, 10}));
    EXPECT_EQ(child->fixedWidth(), 80 - 100);
    EXPECT_EQ(child->fixedHeight(), 30 - 50);
    parent.placeFloatChild(0);
    EXPECT_EQ(child->bounds(), (Rect{210, 110, 290, 140}));
    EXPECT_EQ(child->boundsInParent(), (Rect{110, 60, 190, 90}));

    child->shiftBy(5, -5, false);
    EXPECT_EQ(child->bounds(), (Rect{215, 105, 295, 135}));
    child->place({10, 10, 5, 0}); // inverted edges collapse
    EXPECT_EQ(child->bounds().width(), 0);
    EXPECT_EQ(child->bounds().height(), 0);
}

TEST(ControlPosition, CoversFollowTheirControl) {
    CProbeUI owner;
    auto* cover = new CProbeUI;
    cover->assignMaxWidth(30);
    owner.assignCover(cover);
    EXPECT_EQ(cover->parentControl(), &owner);
    CFormManagerUI manager; // positioning of covers happens for attached controls
    owner.bindManager(&manager, nullptr, false);
    owner.place({10, 10, 110, 60});
    EXPECT_EQ(cover->bounds(), (Rect{10, 10, 40, 60}));
    owner.shiftBy(5, 5, false);
    EXPECT_EQ(cover->bounds(), (Rect{15, 15, 45, 65}));
    owner.assignShown(false);
    EXPECT_FALSE(cover->isShown());
    owner.assignShown(true);
    EXPECT_TRUE(cover->isShown());

    // A floating cover is anchored inside its control.
    auto* floating = new CProbeUI;
    floating->assignFloatAnchors({1, 0, 1, 0});
    floating->assignFloating(true);
    floating->assignFixedXY({-20, 5});
    floating->assignFixedWidth(10);
    floating->assignFixedHeight(10);
    owner.assignCover(floating); // the old cover is deleted
    owner.place({0, 0, 100, 50});
    EXPECT_EQ(floating->bounds(), (Rect{80, 5, 90, 15}));
    owner.bindManager(nullptr, nullptr, false);
}

// --- Tree walk ---------------------------------------------------------------------------

TEST(ControlWalk, FlagsChooseOrderAndSkipControls) {
    CVerticalLayoutUI root;
    root.assignName(L"root");
    auto* a = new CProbeUI(L"a");
    auto* b = new CProbeUI(L"b");
    auto* c = new CProbeUI(L"c");
    root.addItem(a);
    root.addItem(b);
    root.addItem(c);
    root.place({0, 0, 100, 90});
    b->assignShown(false);
    c->assignEnabled(false);

    auto order = [&](unsigned flags) {
        std::vector<std::wstring> names;
        root.walkTree(
            [](CControlUI* ctl, void* out) -> CControlUI* {
                static_cast<std::vector<std::wstring>*>(out)->push_back(ctl->controlName().toStd());
                return nullptr;
            },
            &names, flags);
        return names;
    };
    using V = std::vector<std::wstring>;
    EXPECT_EQ(order(FindAll), (V{L"a", L"b", L"c", L"root"}));
    EXPECT_EQ(order(FindMeFirst), (V{L"root", L"a", L"b", L"c"}));
    EXPECT_EQ(order(FindMeFirst | FindTopFirst), (V{L"root", L"c", L"b", L"a"}));
    EXPECT_EQ(order(FindVisible), (V{L"a", L"c", L"root"}));
    EXPECT_EQ(order(FindVisible | FindEnabled), (V{L"a", L"root"}));

    // Hit tests: the topmost control containing the point that takes the mouse.
    auto hit = [&](Point p) {
        return root.walkTree([](CControlUI* ctl, void*) -> CControlUI* { return ctl; }, &p,
                             FindVisible | FindHitTest | FindTopFirst);
    };
    const Rect& pa = a->bounds();
    EXPECT_EQ(hit({pa.left + 1, pa.top + 1}), a);
    a->assignMouseEnabled(false);
    EXPECT_EQ(hit({pa.left + 1, pa.top + 1}), &root);
    root.assignMouseChildEnabled(false);
    EXPECT_EQ(hit({c->bounds().left + 1, c->bounds().top + 1}), &root);
    EXPECT_EQ(hit({500, 500}), nullptr);
}

// --- Painting ------------------------------------------------------------------------------

TEST(ControlPaint, BackgroundsFillByAlphaAndGradientsMeetInTheMiddle) {
    Surface s(40, 40);
    Canvas canvas(s);
    CProbeUI c;
    c.place({0, 0, 40, 40});

    // Opaque: only the part being repainted.
    c.assignBkColour(0xFF0000FF);
    c.paintTree(canvas, {0, 0, 10, 10}, nullptr);
    EXPECT_EQ(s.pixel(5, 5), 0xFF0000FFu);
    EXPECT_EQ(s.pixel(20, 20), 0u);
    // Translucent: the whole position, so partial repaints blend alike.
    s.clear();
    c.assignBkColour(0x80FF0000);
    c.paintTree(canvas, {0, 0, 10, 10}, nullptr);
    EXPECT_EQ(s.pixel(20, 20), s.pixel(5, 5));
    EXPECT_NE(s.pixel(20, 20), 0u);

    // Three colours: two vertical gradients meeting at the middle row.
    s.clear();
    c.assignBkColour(0xFFFF0000);
    c.assignBkColour2(0xFF00FF00);
    c.assignBkColour3(0xFF0000FF);
    c.paintTree(canvas, {0, 0, 40, 40}, nullptr);
    EXPECT_EQ(s.pixel(3, 0), 0xFFFF0000u);
    EXPECT_EQ(s.pixel(3, 20), 0xFF00FF00u); // first row of the lower half
    EXPECT_EQ(s.pixel(3, 39), 0xFF0000FFu);
}

TEST(ControlPaint, BordersPerSideAndRound) {
    struct Case {
        const char* proves;
        Rect sizes;
        std::vector<Point> red, clear;
    };
    // A 20 × 20 control at the origin.
    const std::vector<Case> cases = {
        {"equal sizes draw a frame", {1, 1, 1, 1}, {{0, 10}, {19, 10}, {10, 0}, {10, 19}}, {{10, 10}, {1, 10}}},
        {"1,0,1,0 draws only left and right", {1, 0, 1, 0}, {{0, 10}, {19, 10}}, {{10, 0}, {10, 19}}},
        {"a right border of 3 is centred at right - 2", {0, 0, 3, 0}, {{17, 5}, {18, 5}, {19, 5}}, {{16, 5}}},
        {"a right border of 2 is centred at right - 1", {0, 0, 2, 0}, {{18, 5}, {19, 5}}, {{17, 5}}},
        {"a bottom border of 2 spans between the side borders", {0, 0, 0, 2}, {{10, 18}, {10, 19}}, {{10, 17}}},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.proves);
        Surface s(20, 20);
        Canvas canvas(s);
        CProbeUI c;
        c.place({0, 0, 20, 20});
        c.assignBorderColour(0xFFFF0000);
        c.assignBorderSizes(tc.sizes);
        c.paintTree(canvas, {0, 0, 20, 20}, nullptr);
        for (Point p : tc.red) EXPECT_EQ(s.pixel(p.x, p.y), 0xFFFF0000u) << p.x << "," << p.y;
        for (Point p : tc.clear) EXPECT_EQ(s.pixel(p.x, p.y), 0u) << p.x << "," << p.y;
    }

    // A round border clips the background to the rounded corner too.
    Surface s(20, 20);
    Canvas canvas(s);
    CProbeUI c;
    c.place({0, 0, 20, 20});
    c.assignBkColour(0xFF00FF00);
    c.assignBorderRound({10, 10});
    c.paintTree(canvas, {0, 0, 20, 20}, nullptr);
    EXPECT_EQ(s.pixel(0, 0), 0u);
    EXPECT_EQ(s.pixel(10, 10), 0xFF00FF00u);
}

// --- On a window ----------------------------------------------------------------------------

class ControlWindowTest : public WindowTest {};

TEST_F(ControlWindowTest, NamesHidingAndFocusFollowTheManager) {
    CHostWindow host;
    auto* root = new CVerticalLayoutUI;
    auto* a = new CProbeUI(L"a", ControlFlags::TabStop);
    auto* b = new CProbeUI(L"b", ControlFlags::TabStop);
    root->addItem(a);
    root->addItem(b);
    host.open(root, {200, 100});
    EXPECT_EQ(host.manager.findControlByName(L"a"), a);

    a->assignName(L"renamed");
    EXPECT_EQ(host.manager.findControlByName(L"renamed"), a);
    EXPECT_EQ(host.manager.findControlByName(L"a"), nullptr);
    EXPECT_FALSE(host.manager.changeControlName(b, L"renamed")); // taken

    a->takeFocus();
    EXPECT_EQ(host.manager.focusedControl(), a);
    EXPECT_TRUE(a->hasFocus());
    a->assignShown(false); // hiding the focus control leaves no focus
    EXPECT_EQ(host.manager.focusedControl(), nullptr);
    EXPECT_FALSE(a->hasFocus());
    // A hidden control cannot take the focus.
    a->takeFocus();
    EXPECT_EQ(host.manager.focusedControl(), nullptr);

    // Hidden controls give their room to the others at the next layout.
    host.settle();
    EXPECT_EQ(b->bounds(), (Rect{0, 0, 200, 100}));
}

TEST_F(ControlWindowTest, TimerEventsBecomeTimerNoticesAndContextMenusNeedTheFlag) {
    CHostWindow host;
    auto* root = new CVerticalLayoutUI;
    auto* a = new CProbeUI(L"a");
    root->addItem(a);
    host.open(root, {100, 100});
    TInputEventUI e;
    e.kind = UiEventKind::Timer;
    e.wparam = 5;
    a->dispatchEvent(e);
    e.kind = UiEventKind::ContextMenu;
    e.wparam = 0;
    a->dispatchEvent(e); // without "menu" it goes to the parent, which drops it
    a->assignContextMenuUsed(true);
    a->dispatchEvent(e);
    ASSERT_EQ(host.noticeKinds(), (std::vector<std::wstring>{L"windowinit", L"timer", L"menu"}));
    EXPECT_EQ(host.notices[1].wparam, 5u);
    EXPECT_EQ(host.notices[2].sender, a);
}

} // namespace
