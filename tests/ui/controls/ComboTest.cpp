// Combo boxes: where the popup goes against the work area, opening it,
// picking with the mouse and the keyboard, closing with Escape and by
// clicking elsewhere, Up/Down on the closed combo, and the notices in order.
#include "ui/controls/ComboUI.h"
#include "ui/controls/ComboWnd.h"

#include "tests/ui/SkinWindow.h"
#include "ui/layout/VerticalLayoutUI.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::Rect;
using testsupport::SkinWindow;
using Notices = std::vector<std::string>;

namespace {

namespace vd = platform::vdisplay;

constexpr const wchar_t* kCombo = LR"(<Window><VBox><Combo name="c" height="24" dropboxsize="0,60">
  <ListLabelElement name="i0" text="zero" height="20"/><ListLabelElement name="i1" text="one" height="20"/>
  <ListLabelElement name="i2" text="two" height="20" enabled="false"/><ListLabelElement name="i3" text="three" height="20"/>
  <ListLabelElement name="i4" text="four" height="20"/></Combo><Control/><Button name="elsewhere" height="30"/>
  </VBox></Window>)";

Notices comboNotices(SkinWindow& w) {
    Notices out;
    for (std::string& n : w.takeNotices())
        if (n.rfind("item", 0) == 0 || n.rfind("dropdown", 0) == 0) out.push_back(n);
    return out;
}

// Clicks row `index` of the open popup.
void clickRow(CComboUI* combo, int index) {
    CComboWnd* popup = combo->popup();
    ASSERT_NE(popup, nullptr);
    const Rect& r = popup->rows()->itemAt(index)->bounds();
    vd::click(platform::clientToScreen(popup->windowHandle(), {(r.left + r.right) / 2, (r.top + r.bottom) / 2}));
    SkinWindow::settle();
}

} // namespace

TEST(Combo, PopupPlacementAgainstTheWorkArea) {
    const Rect work{0, 0, 1000, 700};
    struct Case {
        const char* proves;
        Rect combo;
        platform::Size size;
        Rect expected;
    } cases[] = {
        {"under the combo", {100, 100, 300, 124}, {200, 150}, {100, 124, 300, 274}},
        {"wider than the combo: same left edge", {100, 100, 300, 124}, {320, 150}, {100, 124, 420, 274}},
        {"would cross the bottom: above", {100, 600, 300, 624}, {200, 150}, {100, 450, 300, 600}},
        {"fits exactly under", {100, 526, 300, 550}, {200, 150}, {100, 550, 300, 700}},
        {"fits neither way: under, where more can be seen", {100, 100, 300, 124}, {200, 650}, {100, 124, 300, 774}},
        {"past the right edge: moved left", {900, 100, 990, 124}, {200, 100}, {800, 124, 1000, 224}},
        {"wider than the work area: pinned to its left", {10, 100, 90, 124}, {1200, 100}, {0, 124, 1200, 224}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(CComboUI::popupPlacement(c.combo, c.size, work), c.expected);
    }
}

TEST(Combo, MouseAndKeyboardPicking) {
    SkinWindow w(kCombo, {200, 200});
    ASSERT_TRUE(w.built());
    auto* combo = w.as<CComboUI>(L"c", L"Combo");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->itemCount(), 5);
    w.takeNotices();

    // Open: a top-level window under the combo, the popup's size.
    w.click(L"c");
    ASSERT_TRUE(combo->isOpen());
    EXPECT_EQ(comboNotices(w), (Notices{"dropdown:c"}));
    platform::WindowHandle popup = combo->popup()->windowHandle();
    const platform::Point below = w.screen({0, 24});
    EXPECT_EQ(platform::windowRect(popup), (Rect{below.x, below.y, below.x + 200, below.y + 60}));
    EXPECT_EQ(vd::stackingOrder().front(), popup);

    // Pick with the mouse: selected, closed, the items back with the combo.
    clickRow(combo, 1);
    EXPECT_FALSE(combo->isOpen());
    EXPECT_EQ(combo->selectedIndex(), 1);
    // ("itemclick" goes to the popup's own manager, not to this window.)
    EXPECT_EQ(comboNotices(w), (Notices{"itemselect:c:1"}));
    EXPECT_EQ(w.find(L"i1")->owningManager(), &w.manager());
    EXPECT_EQ(w.find(L"i1")->parentControl(), combo);

    // Keyboard in the popup: Down skips the disabled row, Return picks.
    w.click(L"c");
    ASSERT_TRUE(combo->isOpen());
    EXPECT_EQ(platform::focusWindow(), combo->popup()->windowHandle());
    w.key(platform::VK_DOWN);
    w.key(platform::VK_DOWN);
    EXPECT_EQ(combo->selectedIndex(), 4);
    w.key(platform::VK_RETURN);
    EXPECT_FALSE(combo->isOpen());
    EXPECT_EQ(comboNotices(w), (Notices{"dropdown:c", "itemselect:c:3", "itemselect:c:4"}));

    // Escape closes; so does a click elsewhere in the owner window.
    w.click(L"c");
    w.key(platform::VK_ESCAPE);
    EXPECT_FALSE(combo->isOpen());
    w.click(L"c");
    ASSERT_TRUE(combo->isOpen());
    w.click(L"elsewhere");
    EXPECT_FALSE(combo->isOpen());
    EXPECT_EQ(combo->selectedIndex(), 4);
    EXPECT_EQ(comboNotices(w), (Notices{"dropdown:c", "dropdown:c"}));

    // Up and Down on the closed combo change the selection.
    w.click(L"c");
    w.key(platform::VK_ESCAPE);
    w.key(platform::VK_UP);
    w.key(platform::VK_UP);
    EXPECT_FALSE(combo->isOpen());
    EXPECT_EQ(combo->selectedIndex(), 1);
    EXPECT_EQ(comboNotices(w), (Notices{"dropdown:c", "itemselect:c:3", "itemselect:c:1"}));
}

TEST(Combo, OpensAboveNearTheBottomOfTheScreen) {
    SkinWindow w(kCombo, {200, 200});
    ASSERT_TRUE(w.built());
    const Rect work = platform::workAreaNear(w.handle());
    platform::setWindowPos(w.handle(), nullptr, 0, work.bottom - 30, 0, 0,
                           platform::SWP_NOSIZE | platform::SWP_NOZORDER | platform::SWP_NOACTIVATE);
    SkinWindow::settle();
    auto* combo = w.as<CComboUI>(L"c", L"Combo");
    w.click(L"c");
    ASSERT_TRUE(combo->isOpen());
    const platform::Point top = w.screen({0, 0});
    EXPECT_EQ(platform::windowRect(combo->popup()->windowHandle()).bottom, top.y);
    // Destroying the window with the popup open gives everything back first.
}
