// Layout arithmetic of the containers as tables: stretch and remainder,
// min/max clamping, padding, gaps, alignment, inset, hidden children,
// floating children with each anchor, and the container interface.
#include "../WindowHost.h"

#include "ui/layout/ContainerUI.h"
#include "ui/layout/HorizontalLayoutUI.h"
#include "ui/layout/ScrollBarUI.h"
#include "ui/layout/VerticalLayoutUI.h"

#include <gtest/gtest.h>

using namespace uitest;

namespace {

struct Child {
    int fixedW = 0, fixedH = 0;
    int minW = 0, minH = 0, maxW = 9999, maxH = 9999;
    Rect pad{};
    bool hidden = false;
    std::optional<Size> measured{};
    bool autoW = false;
};

struct LayoutCase {
    const char* proves;
    std::vector<Child> children;
    std::vector<Rect> expected; // one per child; hidden children keep an empty position
    int gap = 0;
    Rect inset{};
    int align = 0; // childalign (vertical layouts) or childvalign (horizontal layouts)
};

std::vector<CProbeUI*> fill(CContainerUI& layout, const std::vector<Child>& specs) {
    std::vector<CProbeUI*> probes;
    for (const Child& s : specs) {
        auto* p = new CProbeUI;
        p->assignFixedWidth(s.fixedW);
        p->assignFixedHeight(s.fixedH);
        p->assignMinWidth(s.minW);
        p->assignMinHeight(s.minH);
        p->assignMaxWidth(s.maxW);
        p->assignMaxHeight(s.maxH);
        p->assignPadding(s.pad);
        p->assignAutoWidth(s.autoW);
        p->measured = s.measured;
        if (s.hidden) p->assignShown(false);
        layout.addItem(p);
        probes.push_back(p);
    }
    return probes;
}

void run(CContainerUI& layout, const LayoutCase& tc) {
    SCOPED_TRACE(tc.proves);
    layout.assignChildGap(tc.gap);
    layout.assignInset(tc.inset);
    const std::vector<CProbeUI*> probes = fill(layout, tc.children);
    layout.place({0, 0, 100, 100});
    ASSERT_EQ(probes.size(), tc.expected.size());
    for (std::size_t i = 0; i < probes.size(); ++i) {
        const Rect& got = probes[i]->bounds();
        const Rect& want = tc.expected[i];
        EXPECT_EQ(got, want) << "child " << i << ": " << got.left << "," << got.top << "," << got.right << ","
                             << got.bottom;
    }
}

TEST(VerticalLayout, StretchClampPaddingGapAlignmentInset) {
    const std::vector<LayoutCase> cases = {
        {"three stretching children get 33, 33 and the remainder 34",
         {{}, {}, {}},
         {{0, 0, 100, 33}, {0, 33, 100, 66}, {0, 66, 100, 100}}},
        {"fixed 20 and 30 with a gap of 5 leave 40 to the stretching child",
         {{.fixedH = 20}, {}, {.fixedH = 30}},
         {{0, 0, 100, 20}, {0, 25, 100, 65}, {0, 70, 100, 100}},
         5},
        {"a stretching child keeps its min height and the layout overflows",
         {{.fixedH = 50}, {.minH = 60}},
         {{0, 0, 100, 50}, {0, 50, 100, 110}}},
        {"max height caps a stretching child; the last one takes the rest",
         {{.maxH = 20}, {}},
         {{0, 0, 100, 20}, {0, 20, 100, 100}}},
        {"hidden children take no room", {{}, {.hidden = true}, {}}, {{0, 0, 100, 50}, {}, {0, 50, 100, 100}}},
        {"no room left: the stretching child gets 0, never less",
         {{.fixedH = 60}, {.fixedH = 60}, {}},
         {{0, 0, 100, 60}, {0, 60, 100, 120}, {0, 120, 100, 120}}},
        {"padding of a fixed child counts once: stretching fills exactly to the edge",
         {{.fixedH = 20, .pad = {0, 10, 0, 0}}, {.pad = {0, 0, 0, 5}}},
         {{0, 10, 100, 30}, {0, 30, 100, 95}}},
        {"inset shrinks the client area", {{}}, {{5, 10, 95, 90}}, 0, {5, 10, 5, 10}},
        {"left padding and max width", {{.maxW = 30, .pad = {4, 0, 0, 0}}}, {{4, 0, 34, 100}}},
        {"a min width wider than the layout wins", {{.minW = 150}}, {{0, 0, 150, 100}}},
        {"centred children ignore their padding",
         {{.fixedW = 40, .pad = {10, 0, 0, 0}}},
         {{30, 0, 70, 100}},
         0,
         {},
         ChildAlignUI::Centre},
        {"right alignment keeps the right padding",
         {{.fixedW = 40, .pad = {0, 0, 10, 0}}},
         {{50, 0, 90, 100}},
         0,
         {},
         ChildAlignUI::Right},
    };
    for (const LayoutCase& tc : cases) {
        CVerticalLayoutUI layout;
        layout.assignChildAlign(tc.align);
        run(layout, tc);
    }
}

TEST(HorizontalLayout, StretchAutoWidthAlignment) {
    const std::vector<LayoutCase> cases = {
        {"three stretching children get 33, 33 and the remainder 34",
         {{}, {}, {}},
         {{0, 0, 33, 100}, {33, 0, 66, 100}, {66, 0, 100, 100}}},
        {"a measured width without fixed or auto width stretches",
         {{.measured = Size{30, 0}}, {}},
         {{0, 0, 50, 100}, {50, 0, 100, 100}}},
        {"auto width keeps the measured width",
         {{.measured = Size{30, 0}, .autoW = true}, {}},
         {{0, 0, 30, 100}, {30, 0, 100, 100}}},
        {"fixed 20 and 30 with a gap of 5 leave 40 to the stretching child",
         {{.fixedW = 20}, {}, {.fixedW = 30}},
         {{0, 0, 20, 100}, {25, 0, 65, 100}, {70, 0, 100, 100}},
         5},
        {"padding of a fixed child counts once",
         {{.fixedW = 20, .pad = {10, 0, 0, 0}}, {.pad = {0, 0, 5, 0}}},
         {{10, 0, 30, 100}, {30, 0, 95, 100}}},
        {"min width holds against a small stretch",
         {{.fixedW = 90}, {.minW = 30}},
         {{0, 0, 90, 100}, {90, 0, 120, 100}}},
        {"vertical centre", {{.fixedH = 40}}, {{0, 30, 100, 70}}, 0, {}, ChildAlignUI::VCentre},
        {"bottom keeps the bottom padding",
         {{.fixedH = 40, .pad = {0, 0, 0, 5}}},
         {{0, 55, 100, 95}},
         0,
         {},
         ChildAlignUI::Bottom},
        {"hidden children and inset", {{.hidden = true}, {}}, {{}, {10, 10, 90, 90}}, 0, {10, 10, 10, 10}},
    };
    for (const LayoutCase& tc : cases) {
        CHorizontalLayoutUI layout;
        layout.assignChildVAlign(tc.align);
        run(layout, tc);
    }
}

TEST(ContainerLayout, FloatingChildrenFollowEachAnchorAndIgnoreInsetAndGap) {
    struct Case {
        const char* proves;
        FloatAnchorsUI anchors;
        Point fixed;
        Size size;
        Rect expected; // in a 200 × 100 container at (50, 20)
    };
    const Case cases[] = {
        {"top-left", {0, 0, 0, 0}, {10, 10}, {20, 20}, {60, 30, 80, 50}},
        {"right edge", {1, 0, 1, 0}, {-30, 10}, {20, 20}, {220, 30, 240, 50}},
        {"bottom edge", {0, 1, 0, 1}, {10, -30}, {20, 20}, {60, 90, 80, 110}},
        {"stretched between the edges", {0, 0, 1, 1}, {10, 10}, {-20, -20}, {60, 30, 240, 110}},
        {"centred", {0.5, 0.5, 0.5, 0.5}, {-10, -10}, {20, 20}, {140, 60, 160, 80}},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.proves);
        for (int kind = 0; kind < 2; ++kind) {
            std::unique_ptr<CContainerUI> c;
            if (kind == 0)
                c = std::make_unique<CVerticalLayoutUI>();
            else
                c = std::make_unique<CContainerUI>();
            c->assignInset({7, 7, 7, 7});
            c->assignChildGap(9);
            c->addItem(new CProbeUI); // a plain child before it changes nothing
            auto* f = new CProbeUI;
            f->assignFloatAnchors(tc.anchors);
            f->assignFloating(true);
            c->addItem(f);
            // Placing a floating child derives its fixed values (negative
            // sizes included) from the relative rectangle.
            c->place({50, 20, 250, 120});
            f->place({tc.fixed.x + static_cast<int>(200 * tc.anchors.left),
                      tc.fixed.y + static_cast<int>(100 * tc.anchors.top),
                      tc.fixed.x + tc.size.cx + static_cast<int>(200 * tc.anchors.right),
                      tc.fixed.y + tc.size.cy + static_cast<int>(100 * tc.anchors.bottom)});
            c->place({50, 20, 250, 120});
            EXPECT_EQ(f->bounds(), tc.expected);
        }
    }
}

TEST(ContainerLayout, BaseContainerGivesEveryChildTheClientAreaWithinItsLimits) {
    CContainerUI c;
    auto* a = new CProbeUI;
    auto* b = new CProbeUI;
    b->assignMaxWidth(30);
    b->assignMinHeight(200);
    c.addItem(a);
    c.addItem(b);
    c.assignInset({2, 3, 4, 5});
    c.place({0, 0, 100, 100});
    EXPECT_EQ(a->bounds(), (Rect{2, 3, 96, 95}));
    EXPECT_EQ(b->bounds(), (Rect{2, 3, 32, 203}));
    EXPECT_EQ(c.innerBounds(), (Rect{2, 3, 96, 95}));
}

TEST(ContainerItems, AddRemoveMoveAndVisibility) {
    CVerticalLayoutUI c;
    std::vector<CProbeUI*> p;
    for (const wchar_t* n : {L"0", L"1", L"2", L"3"}) {
        p.push_back(new CProbeUI(n));
        ASSERT_TRUE(c.addItem(p.back()));
    }
    auto names = [&] {
        std::wstring s;
        for (int i = 0; i < c.itemCount(); ++i) s += c.itemAt(i)->controlName().view();
        return s;
    };
    EXPECT_FALSE(c.addItem(nullptr));
    EXPECT_EQ(c.itemAt(9), nullptr);
    EXPECT_EQ(c.indexOf(p[2]), 2);
    EXPECT_TRUE(c.moveItemTo(p[0], 3));
    EXPECT_EQ(names(), L"1230");
    EXPECT_FALSE(c.moveItemTo(p[0], 4)); // outside the children: refused, nothing lost
    EXPECT_TRUE(c.moveItemsTo(p[2], 2, 0));
    EXPECT_EQ(names(), L"2310");
    EXPECT_FALSE(c.moveItemsTo(p[0], 3, 1)); // the run passes the end
    EXPECT_TRUE(c.moveItemsTo(p[2], 2, 0));  // unchanged index
    EXPECT_FALSE(c.moveItemsTo(nullptr, 1, 0));
    EXPECT_EQ(names(), L"2310");

    // Hiding the container hides every child internally; showing restores
    // only those visible themselves.
    p[1]->assignShown(false);
    c.assignShown(false);
    for (CProbeUI* x : p) EXPECT_FALSE(x->isShown());
    c.assignShown(true);
    EXPECT_TRUE(p[0]->isShown());
    EXPECT_FALSE(p[1]->isShown());
    // A child added to a hidden container starts hidden.
    c.assignShown(false);
    auto* late = new CProbeUI(L"4");
    c.addItem(late);
    EXPECT_FALSE(late->isShown());
    c.assignShown(true);
    EXPECT_TRUE(late->isShown());

    // Kept alive: out of the container, links unchanged.
    EXPECT_TRUE(c.removeItem(p[3], /*keepAlive=*/true));
    EXPECT_EQ(c.indexOf(p[3]), -1);
    EXPECT_EQ(p[3]->parentControl(), &c);
    EXPECT_FALSE(c.removeItem(p[3]));
    c.place({0, 0, 100, 100});
    EXPECT_EQ(p[3]->bounds(), (Rect{})); // no longer laid out
    delete p[3];
    EXPECT_TRUE(c.removeItemAt(0));
    EXPECT_FALSE(c.removeItemAt(10));
    c.removeAllItems();
    EXPECT_EQ(c.itemCount(), 0);
    EXPECT_NE(c.castTo(L"IContainer"), nullptr);
    EXPECT_EQ(static_cast<IContainerUI*>(c.castTo(L"IContainer"))->itemCount(), 0);
    EXPECT_EQ(c.castTo(L"Button"), nullptr);
}

TEST(ContainerAttributes, TableOfContainerAndLayoutAttributes) {
    CVerticalLayoutUI v;
    v.applyAttribute(L"inset", L"1,2,3,4");
    v.applyAttribute(L"childpadding", L"-3");
    v.applyAttribute(L"childalign", L"center");
    v.applyAttribute(L"childalign", L"middle"); // unknown: unchanged
    v.applyAttribute(L"mousechild", L"false");
    v.applyAttribute(L"vscrollbar", L"true");
    v.applyAttribute(L"vscrollbarstyle", L"width=\"10\" linesize=\"20\"");
    v.applyAttribute(L"hscrollbarstyle", L"width=\"10\""); // no bar: ignored
    v.applyAttribute(L"sepheight", L"-4");
    v.applyAttribute(L"sepimm", L"true");
    EXPECT_EQ(v.inset(), (Rect{1, 2, 3, 4}));
    EXPECT_EQ(v.childGap(), 0);
    EXPECT_EQ(v.childAlign(), ChildAlignUI::Centre);
    EXPECT_FALSE(v.mouseChildEnabled());
    ASSERT_NE(v.verticalScrollBar(), nullptr);
    EXPECT_EQ(v.horizontalScrollBar(), nullptr);
    EXPECT_EQ(v.verticalScrollBar()->fixedWidth(), 10);
    EXPECT_EQ(v.verticalScrollBar()->lineSize(), 20);
    EXPECT_EQ(v.splitterSize(), -4);
    EXPECT_TRUE(v.splitterImmediate());
    v.place({0, 0, 100, 100});
    EXPECT_EQ(v.splitterRect(v.bounds()), (Rect{0, 0, 100, 4}));
    v.applyAttribute(L"vscrollbar", L"false");
    EXPECT_EQ(v.verticalScrollBar(), nullptr);

    CHorizontalLayoutUI h;
    h.applyAttribute(L"childvalign", L"bottom");
    h.applyAttribute(L"sepwidth", L"6");
    h.applyAttribute(L"hscrollbar", L"true");
    EXPECT_EQ(h.childVAlign(), ChildAlignUI::Bottom);
    ASSERT_NE(h.horizontalScrollBar(), nullptr);
    EXPECT_TRUE(h.horizontalScrollBar()->isHorizontal());
    EXPECT_EQ(h.horizontalScrollBar()->fixedHeight(), CScrollBarUI::kDefaultThickness);
    h.place({0, 0, 100, 100});
    EXPECT_EQ(h.splitterRect(h.bounds()), (Rect{94, 0, 100, 100}));
    EXPECT_EQ(h.behaviourFlags(), static_cast<unsigned>(ControlFlags::SetCursor));
    h.assignEnabled(false);
    EXPECT_EQ(h.behaviourFlags(), 0u);
}

// --- Scroll ranges ----------------------------------------------------------------------------

TEST(ContainerScroll, BarsAppearWithTheirRangesAndShrinkTheClientArea) {
    struct Case {
        const char* proves;
        bool vertical, horizontal;
        int childW, childH, children;
        bool vShown, hShown;
        int vRange, hRange;
    };
    const int t = CScrollBarUI::kDefaultThickness;
    const Case cases[] = {
        {"content that fits shows no bar", true, false, 0, 20, 5, false, false, 0, 0},
        {"taller content: the range is the overflow", true, false, 0, 50, 5, true, false, 150, 0},
        {"wider content with both bars enabled", true, true, 150, 20, 3, false, true, 0, 150 - 100},
        {"both directions overflow", true, true, 150, 50, 3, true, true, 150 - (100 - t), 150 - (100 - t)},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.proves);
        CVerticalLayoutUI v;
        v.enableScrollBars(tc.vertical, tc.horizontal);
        for (int i = 0; i < tc.children; ++i) {
            auto* p = new CProbeUI;
            p->assignFixedHeight(tc.childH);
            p->assignFixedWidth(tc.childW);
            v.addItem(p);
        }
        v.place({0, 0, 100, 100});
        CScrollBarUI* vb = v.verticalScrollBar();
        CScrollBarUI* hb = v.horizontalScrollBar();
        EXPECT_EQ(vb && vb->isShown(), tc.vShown);
        EXPECT_EQ(hb && hb->isShown(), tc.hShown);
        EXPECT_EQ(v.scrollExtent(), (Size{tc.hRange, tc.vRange}));
        if (tc.vShown) {
            EXPECT_EQ(vb->bounds(), (Rect{100 - t, 0, 100, tc.hShown ? 100 - t : 100}));
            EXPECT_EQ(v.innerBounds().right, 100 - t);
        }
        if (tc.hShown) {
            EXPECT_EQ(hb->bounds().top, 100 - t);
        }
        // Scrolling shifts the children and clamps to the range.
        v.scrollTo(1000, 1000);
        EXPECT_EQ(v.scrollOffset(), (Size{tc.hRange, tc.vRange}));
        EXPECT_EQ(v.itemAt(0)->bounds().top, -tc.vRange);
        EXPECT_EQ(v.itemAt(0)->bounds().left, -tc.hRange);
        v.scrollTo(0, 0);
        EXPECT_EQ(v.itemAt(0)->bounds().top, 0);
    }
}

TEST(ContainerScroll, ShrinkingContentHidesTheBarAndLowersThePosition) {
    CVerticalLayoutUI v;
    v.enableScrollBars(true, false);
    auto* p = new CProbeUI;
    p->assignFixedHeight(300);
    v.addItem(p);
    v.place({0, 0, 100, 100});
    v.scrollTo(0, 150);
    EXPECT_EQ(p->bounds().top, -150);
    p->assignFixedHeight(150); // range 50 now: the position follows
    v.place({0, 0, 100, 100});
    EXPECT_EQ(v.verticalScrollBar()->range(), 50);
    EXPECT_EQ(v.scrollOffset().cy, 50);
    EXPECT_EQ(p->bounds().top, -50);
    p->assignFixedHeight(80);
    v.place({0, 0, 100, 100});
    EXPECT_FALSE(v.verticalScrollBar()->isShown());
    EXPECT_EQ(v.scrollOffset().cy, 0);
    EXPECT_EQ(p->bounds(), (Rect{0, 0, 100, 80}));
}

} // namespace
