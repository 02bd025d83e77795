// Scrolling and splitters on the virtual display: the wheel, keys, the
// bar's arrows, track and thumb (with capture and repeat), scrolling to the
// end after layout, and dragging splitters.
#include "../WindowHost.h"

#include "ui/layout/HorizontalLayoutUI.h"
#include "ui/layout/ScrollBarUI.h"
#include "ui/layout/VerticalLayoutUI.h"

#include <gtest/gtest.h>

using namespace uitest;

namespace {

class ScrollTest : public WindowTest {
protected:
    // A 200 × 100 window holding a list of five 50-high rows (range 150).
    void openList() {
        list = new CVerticalLayoutUI;
        list->enableScrollBars(true, false);
        for (int i = 0; i < 5; ++i) {
            auto* row = new CProbeUI;
            row->assignFixedHeight(50);
            row->assignBkColour(i % 2 ? 0xFF2040A0 : 0xFFA04020);
            list->addItem(row);
            rows.push_back(row);
        }
        host.open(list, {200, 100});
        bar = list->verticalScrollBar();
        ASSERT_TRUE(bar->isShown());
        ASSERT_EQ(bar->range(), 150);
    }
    int line() { return host.manager.defaultFontInfo().metrics.height + 8; }
    std::vector<WParam> scrollNotices() {
        std::vector<WParam> out;
        for (const NoticeRecord& n : host.notices)
            if (n.kind == L"scroll") out.push_back(n.wparam);
        return out;
    }
    Point partCentre(ScrollBarPart part) {
        const Rect r = bar->partRect(part);
        return host.screen({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    }

    CHostWindow host;
    CVerticalLayoutUI* list = nullptr;
    CScrollBarUI* bar = nullptr;
    std::vector<CProbeUI*> rows;
};

TEST_F(ScrollTest, WheelAndKeysScrollByLinesAndPagesAndRepaintTheRows) {
    openList();
    vdisplay::click(host.centreOf(rows[0])); // focus the window
    host.settle();
    vdisplay::wheel(host.centreOf(rows[0]), -120);
    host.settle();
    EXPECT_EQ(bar->scrollPos(), line());
    EXPECT_EQ(rows[0]->bounds().top, -line());
    EXPECT_EQ(scrollNotices(), (std::vector<WParam>{static_cast<WParam>(line())}));
    // What is shown moved too: row 1 starts at 50 - line.
    EXPECT_EQ(host.pixels().at(10, 50 - line()), 0xFF2040A0u);
    vdisplay::wheel(host.centreOf(rows[0]), 120);
    host.settle();
    EXPECT_EQ(bar->scrollPos(), 0);

    // Keys reach the container while it has the focus.
    list->takeFocus();
    vdisplay::pressKey(VK_NEXT);
    host.settle();
    EXPECT_EQ(bar->scrollPos(), 100); // the client height
    vdisplay::pressKey(VK_END);
    host.settle(); // the end is taken after the next paint
    EXPECT_EQ(bar->scrollPos(), 150);
    vdisplay::pressKey(VK_HOME);
    host.settle();
    EXPECT_EQ(bar->scrollPos(), 0);
    EXPECT_EQ(rows[0]->bounds().top, 0);
}

TEST_F(ScrollTest, ArrowsStepAndRepeatWhileHeldAndTheTrackPages) {
    openList();
    vdisplay::mouseDown(partCentre(ScrollBarPart::Button2));
    host.settle();
    EXPECT_EQ(bar->scrollPos(), line());
    for (int i = 0; i < 6; ++i) { // the pause before repeating
        vdisplay::advanceTime(50);
        host.settle();
    }
    EXPECT_EQ(bar->scrollPos(), line());
    for (int i = 0; i < 2; ++i) {
        vdisplay::advanceTime(50);
        host.settle();
    }
    EXPECT_EQ(bar->scrollPos(), 3 * line());
    vdisplay::mouseUp(partCentre(ScrollBarPart::Button2));
    host.settle();
    vdisplay::advanceTime(500);
    host.settle();
    EXPECT_EQ(bar->scrollPos(), 3 * line());

    vdisplay::click(partCentre(ScrollBarPart::Button1));
    host.settle();
    EXPECT_EQ(bar->scrollPos(), 2 * line());
    // A press on the track below the thumb moves a page towards it.
    list->scrollTo(0, 0);
    const Rect track = bar->partRect(ScrollBarPart::Track);
    vdisplay::click(host.screen({track.left + 5, track.bottom - 2}));
    host.settle();
    EXPECT_EQ(bar->scrollPos(), 100);
    EXPECT_EQ(rows[2]->bounds().top, 0);
}

TEST_F(ScrollTest, ThumbDragsProportionallyAndKeepsTheMouseOutsideTheWindow) {
    openList();
    const Rect track = bar->partRect(ScrollBarPart::Track);
    const Rect thumb = bar->partRect(ScrollBarPart::Thumb);
    const int travel = track.height() - thumb.height();
    ASSERT_GT(travel, 0);
    // The thumb shows the visible part: bar length against length + range.
    EXPECT_EQ(thumb.height(), std::max(track.height() * 100 / 250, 10));

    const Point start = partCentre(ScrollBarPart::Thumb);
    vdisplay::mouseDown(start);
    vdisplay::moveMouse({start.x, start.y + 10});
    host.settle();
    EXPECT_EQ(bar->scrollPos(), 10 * 150 / travel);
    EXPECT_EQ(bar->pushedPart(), ScrollBarPart::Thumb);
    // Far below the window: still dragging, clamped to the range.
    vdisplay::moveMouse({start.x + 300, start.y + 400});
    host.settle();
    EXPECT_EQ(bar->scrollPos(), 150);
    EXPECT_EQ(rows[4]->bounds().bottom, 100);
    vdisplay::mouseUp({start.x + 300, start.y + 400});
    host.settle();
    EXPECT_EQ(bar->pushedPart(), ScrollBarPart::None);
    EXPECT_FALSE(host.manager.isMouseCaptured());
}

TEST_F(ScrollTest, ScrollToBottomWaitsForTheLayout) {
    openList();
    auto* more = new CProbeUI;
    more->assignFixedHeight(50);
    list->addItem(more);
    list->scrollToBottom(); // the range is still 150 here
    host.settle();
    EXPECT_EQ(bar->range(), 200);
    EXPECT_EQ(bar->scrollPos(), 200);
    EXPECT_EQ(more->bounds().bottom, 100);
}

// --- Splitters ----------------------------------------------------------------------------------

class SplitterTest : public WindowTest {
protected:
    // A 300 × 300 window: a panel of height 200 (min 100) over a filler.
    void openSplit(bool immediate) {
        auto* root = new CVerticalLayoutUI;
        panel = new CVerticalLayoutUI;
        panel->assignFixedHeight(200);
        panel->assignMinHeight(100);
        panel->assignSplitterSize(6);
        panel->assignSplitterImmediate(immediate);
        panel->assignBkColour(0xFFFFFFFF);
        filler = new CProbeUI;
        filler->assignBkColour(0xFF808080);
        root->addItem(panel);
        root->addItem(filler);
        host.open(root, {300, 300});
    }
    CHostWindow host;
    CVerticalLayoutUI* panel = nullptr;
    CProbeUI* filler = nullptr;
};

TEST_F(SplitterTest, DraggingUpStopsAtTheMinHeightAndAppliesOnRelease) {
    openSplit(/*immediate=*/false);
    const Point grip = host.screen({150, 197});
    vdisplay::moveMouse(grip);
    host.settle();
    EXPECT_EQ(vdisplay::currentCursor(), CursorShape::SizeNS);
    vdisplay::mouseDown(grip);
    vdisplay::moveMouse({grip.x, grip.y - 150});
    host.settle();
    // Not applied yet: the strip is drawn where the edge will go.
    EXPECT_EQ(panel->bounds().height(), 200);
    const Snapshot during = host.pixels();
    const std::uint32_t strip = during.at(150, 97);
    EXPECT_NEAR(static_cast<int>(strip & 0xFF), 0x55, 1); // 0xAA000000 over white
    EXPECT_EQ(during.at(150, 150), 0xFFFFFFFFu);
    vdisplay::mouseUp({grip.x, grip.y - 150});
    host.settle();
    EXPECT_EQ(panel->fixedHeight(), 100);
    EXPECT_EQ(panel->bounds(), (Rect{0, 0, 300, 100}));
    EXPECT_EQ(filler->bounds(), (Rect{0, 100, 300, 300}));
    EXPECT_EQ(host.pixels().at(150, 97), 0xFFFFFFFFu); // the strip is gone
}

TEST_F(SplitterTest, ImmediateModeResizesWhileDragging) {
    openSplit(/*immediate=*/true);
    const Point grip = host.screen({150, 197});
    vdisplay::mouseDown(grip);
    vdisplay::moveMouse({grip.x, grip.y - 40});
    host.settle();
    EXPECT_EQ(panel->bounds(), (Rect{0, 0, 300, 160}));
    EXPECT_EQ(filler->bounds().top, 160);
    // Moving down while still above the strip's far edge changes nothing.
    vdisplay::moveMouse({grip.x, grip.y - 38});
    host.settle();
    EXPECT_EQ(panel->bounds().height(), 160);
    vdisplay::mouseUp({grip.x, grip.y - 38});
    host.settle();
    EXPECT_EQ(panel->bounds().height(), 160);
}

TEST_F(SplitterTest, HorizontalSplitterOnTheLeftEdge) {
    auto* root = new CHorizontalLayoutUI;
    auto* filler = new CProbeUI;
    auto* side = new CHorizontalLayoutUI;
    side->assignFixedWidth(100);
    side->assignMaxWidth(180);
    side->assignSplitterSize(-6); // the strip is the left edge
    root->addItem(filler);
    root->addItem(side);
    host.open(root, {300, 100});
    EXPECT_EQ(side->bounds(), (Rect{200, 0, 300, 100}));
    const Point grip = host.screen({202, 50});
    vdisplay::moveMouse(grip);
    host.settle();
    EXPECT_EQ(vdisplay::currentCursor(), CursorShape::SizeWE);
    vdisplay::mouseDown(grip);
    vdisplay::moveMouse({grip.x - 150, grip.y}); // would be 250 wide: max 180
    vdisplay::mouseUp({grip.x - 150, grip.y});
    host.settle();
    EXPECT_EQ(side->fixedWidth(), 180);
    EXPECT_EQ(side->bounds(), (Rect{120, 0, 300, 100}));
    EXPECT_EQ(filler->bounds(), (Rect{0, 0, 120, 100}));
}

} // namespace
