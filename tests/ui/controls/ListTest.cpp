// Lists: row heights and cells under the header's columns (also after a
// separator drag), the selection rules for presses with and without Ctrl
// and Shift and for the keys, the notices in order, scrolling rows into
// view, and child layouts built from another document.
#include "ui/controls/ListHeaderItemUI.h"
#include "ui/controls/ListTextElementUI.h"
#include "ui/controls/ListUI.h"
#include "ui/layout/ChildLayoutUI.h"

#include "tests/ui/SkinWindow.h"
#include "tests/ui/TestSupport.h"
#include "ui/layout/ScrollBarUI.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::Rect;
using testsupport::SkinWindow;
using Notices = std::vector<std::string>;

namespace {

namespace vd = platform::vdisplay;

constexpr const wchar_t* kColumns = LR"(<Window><List name="l" itemtextpadding="4,2,4,3">
  <ListHeader name="h"><ListHeaderItem name="c0" text="One" width="100" minwidth="40" maxwidth="150"/>
    <ListHeaderItem name="c1" text="Two" width="80"/><ListHeaderItem name="c2" text="Three"/></ListHeader>
  <ListTextElement name="r0" text="a|b|c"/><ListLabelElement name="r1" height="30" text="label"/>
  <ListHBoxElement name="r2"><Label name="x0"/><Label name="x1" padding="2,0,2,0"/><Label name="x2"/>
    <Label name="x3"/></ListHBoxElement>
  <ListContainerElement name="r3" height="25"><Label name="y"/></ListContainerElement></List></Window>)";

Notices itemNotices(SkinWindow& w) {
    Notices out;
    for (std::string& n : w.takeNotices())
        if (n.rfind("item", 0) == 0 || n.rfind("header", 0) == 0) out.push_back(n);
    return out;
}

std::string selection(CListUI* list) {
    std::string s;
    for (int i : list->selectedIndexes()) s += (s.empty() ? "" : ",") + std::to_string(i);
    return s.empty() ? "-" : s;
}

} // namespace

TEST(List, RowsAndCellsFollowTheColumns) {
    SkinWindow w(kColumns, {300, 200});
    ASSERT_TRUE(w.built());
    auto* list = w.as<CListUI>(L"l", L"List");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->itemCount(), 4); // the header is not a row
    const int font = w.manager().fontInfo(-1).metrics.height;
    const int header = font; // the header items measure their text
    const int textRow = font + 2 + 3;
    auto pos = [&](const wchar_t* name) { return w.find(name)->bounds(); };

    struct Case {
        const char* proves;
        int drag; // separator of the first column moved by this much first
        int firstWidth;
    } cases[] = {
        {"as written", 0, 100},
        {"dragged wider", 30, 130},
        {"dragged past the maximum: held at it", 80, 150},
        {"dragged past the minimum: held at it", -200, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        if (c.drag != 0) {
            const Rect sep = w.as<CListHeaderItemUI>(L"c0", L"ListHeaderItem")->separatorRect();
            const platform::Point from{sep.left + 1, (sep.top + sep.bottom) / 2};
            w.press(from);
            w.moveTo({from.x + c.drag / 2, from.y});
            w.moveTo({from.x + c.drag, from.y});
            w.release({from.x + c.drag, from.y});
            // Back to 100 for the next case, through the code path.
        }
        const int a = c.firstWidth;
        EXPECT_EQ(pos(L"h"), (Rect{0, 0, 300, header}));
        EXPECT_EQ(pos(L"c0"), (Rect{0, 0, a, header}));
        EXPECT_EQ(pos(L"c1"), (Rect{a, 0, a + 80, header}));
        EXPECT_EQ(pos(L"c2"), (Rect{a + 80, 0, 300, header}));
        const auto& columns = list->listInfo().columns;
        ASSERT_EQ(columns.size(), 3u);
        EXPECT_EQ(columns[1], std::make_pair(a, a + 80));
        // Rows stack under the header: measured text rows, fixed ones.
        EXPECT_EQ(pos(L"r0"), (Rect{0, header, 300, header + textRow}));
        EXPECT_EQ(pos(L"r1"), (Rect{0, header + textRow, 300, header + textRow + 30}));
        const int top2 = header + textRow + 30;
        EXPECT_EQ(pos(L"r2"), (Rect{0, top2, 300, top2 + textRow}));
        EXPECT_EQ(pos(L"r3"), (Rect{0, top2 + textRow, 300, top2 + textRow + 25}));
        // The horizontal row's children sit in the columns, minus their padding.
        EXPECT_EQ(pos(L"x0"), (Rect{0, top2, a, top2 + textRow}));
        EXPECT_EQ(pos(L"x1"), (Rect{a + 2, top2, a + 78, top2 + textRow}));
        EXPECT_EQ(pos(L"x2"), (Rect{a + 80, top2, 300, top2 + textRow}));
        EXPECT_EQ(pos(L"x3").width(), 0);
        // The container row lays its child over the whole row.
        EXPECT_EQ(pos(L"y"), pos(L"r3"));
        // Dragging never clicks the header.
        EXPECT_EQ(itemNotices(w), Notices{});
        w.as<CListHeaderItemUI>(L"c0", L"ListHeaderItem")->assignFixedWidth(100);
        SkinWindow::settle();
    }
    // A click beside the separator is a header click.
    w.click(L"c1");
    EXPECT_EQ(itemNotices(w), (Notices{"headerclick:c1:1"}));
    // Cell texts split at "|".
    auto* row = w.as<CListTextElementUI>(L"r0", L"ListTextElement");
    EXPECT_EQ(row->cellCount(), 3);
    EXPECT_EQ(row->cellText(2), L"c");
    row->assignCellText(4, L"e");
    EXPECT_EQ(row->textValue().view(), L"a|b|c||e");
}

TEST(List, HiddenHeaderLeavesOneColumn) {
    SkinWindow w(LR"(<Window><List name="l" header="hidden"><ListHeader><ListHeaderItem width="50"/></ListHeader>
        <ListHBoxElement name="r"><Label name="a" width="30"/><Label name="b"/></ListHBoxElement></List></Window>)",
                 {200, 100});
    ASSERT_TRUE(w.built());
    EXPECT_TRUE(w.as<CListUI>(L"l", L"List")->listInfo().columns.empty());
    // Laid out as a horizontal layout instead.
    EXPECT_EQ(w.find(L"a")->bounds().width(), 30);
    EXPECT_EQ(w.find(L"b")->bounds().left, 30);
    EXPECT_EQ(w.find(L"b")->bounds().right, 200);
}

// One table of presses and keys on a multiple-selection list whose row 3
// is disabled; each step's selection is read after it.
TEST(List, SelectionRules) {
    SkinWindow w(LR"(<Window><List name="l" multiselect="true">
        <ListLabelElement name="r0" height="20"/><ListLabelElement name="r1" height="20"/>
        <ListLabelElement name="r2" height="20"/><ListLabelElement name="r3" height="20" enabled="false"/>
        <ListLabelElement name="r4" height="20"/><ListLabelElement name="r5" height="20"/></List></Window>)",
                 {200, 200});
    ASSERT_TRUE(w.built());
    auto* list = w.as<CListUI>(L"l", L"List");
    enum Mod { None, Ctrl, Shift };
    struct Step {
        const char* proves;
        const wchar_t* click; // or null for a key
        unsigned key;
        Mod mod;
        const char* selected;
        int current;
    } steps[] = {
        {"a press selects the row alone", L"r1", 0, None, "1", 1},
        {"Ctrl adds a row", L"r4", 0, Ctrl, "1,4", 4},
        {"Ctrl removes a selected row", L"r1", 0, Ctrl, "4", 1},
        {"Shift selects from the last row pressed", L"r0", 0, Shift, "0,1", 0},
        {"a plain press starts again", L"r2", 0, None, "2", 2},
        {"Shift skips a disabled row", L"r5", 0, Shift, "2,4,5", 5},
        {"a disabled row cannot be pressed into the selection", L"r3", 0, None, "2,4,5", 5},
        {"Down at the last row stays there", nullptr, platform::VK_DOWN, None, "5", 5},
        {"Up moves one row", nullptr, platform::VK_UP, None, "4", 4},
        {"Up skips the disabled row", nullptr, platform::VK_UP, None, "2", 2},
        {"Shift+Home extends to the first row", nullptr, platform::VK_HOME, Shift, "0,1,2", 0},
        {"End selects the last row alone", nullptr, platform::VK_END, None, "5", 5},
        {"PageUp moves a page of rows (to the top here)", nullptr, platform::VK_PRIOR, None, "0", 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.proves);
        const unsigned modKey = s.mod == Ctrl ? platform::VK_CONTROL : platform::VK_SHIFT;
        if (s.mod != None) vd::keyDown(modKey);
        if (s.click)
            w.click(s.click);
        else
            w.key(s.key);
        if (s.mod != None) vd::keyUp(modKey);
        SkinWindow::settle();
        EXPECT_EQ(selection(list), s.selected);
        EXPECT_EQ(list->currentIndex(), s.current);
    }
    // Without multiselect Ctrl and Shift make no difference.
    list->assignMultiSelect(false);
    EXPECT_EQ(selection(list), "0");
    vd::keyDown(platform::VK_CONTROL);
    w.click(L"r2");
    vd::keyUp(platform::VK_CONTROL);
    vd::keyDown(platform::VK_SHIFT);
    w.click(L"r5");
    vd::keyUp(platform::VK_SHIFT);
    SkinWindow::settle();
    EXPECT_EQ(selection(list), "5");
    // Selecting by code: a row alone, a disabled row refused, -1 clears.
    EXPECT_TRUE(list->selectItem(1));
    EXPECT_FALSE(list->selectItem(3));
    EXPECT_FALSE(list->selectItem(6));
    EXPECT_EQ(selection(list), "1");
    // Removing a row renumbers the others and keeps their selection.
    EXPECT_TRUE(list->removeItemAt(0));
    EXPECT_EQ(selection(list), "0");
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_TRUE(list->selectItem(-1));
    EXPECT_EQ(selection(list), "-");
}

TEST(List, NoticesInOrder) {
    SkinWindow w(LR"(<Window><List name="l"><ListTextElement name="r0" height="20" text="a"/>
        <ListTextElement name="r1" height="20" text="b"/><ListTextElement name="r2" height="20" text="c"/>
        </List></Window>)",
                 {200, 200});
    ASSERT_TRUE(w.built());
    w.takeNotices();
    w.click(L"r1");
    EXPECT_EQ(itemNotices(w), (Notices{"itemselect:l:1", "itemclick:r1:1"}));
    w.click(L"r1"); // no change, no "itemselect"
    EXPECT_EQ(itemNotices(w), (Notices{"itemclick:r1:1"}));
    w.doubleClick(L"r2");
    EXPECT_EQ(itemNotices(w), (Notices{"itemselect:l:2", "itemclick:r2:2", "itemactivate:r2:2"}));
    w.key(platform::VK_UP);
    w.key(platform::VK_RETURN);
    EXPECT_EQ(itemNotices(w), (Notices{"itemselect:l:1", "itemactivate:r1:1"}));
}

TEST(List, KeysAndWheelScroll) {
    std::wstring markup = L"<Window><List name=\"l\">";
    for (int i = 0; i < 20; ++i) markup += L"<ListLabelElement name=\"r" + std::to_wstring(i) + L"\" height=\"20\"/>";
    markup += L"</List></Window>";
    SkinWindow w(markup, {200, 100});
    ASSERT_TRUE(w.built());
    auto* list = w.as<CListUI>(L"l", L"List");
    CScrollBarUI* bar = list->body()->verticalScrollBar();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(bar->isShown());
    const Rect inner = list->body()->innerBounds();
    auto visible = [&](int row) {
        const Rect& r = list->itemAt(row)->bounds();
        return r.top >= inner.top && r.bottom <= inner.bottom;
    };
    w.click(L"r0");
    for (int i = 0; i < 7; ++i) w.key(platform::VK_DOWN);
    EXPECT_EQ(list->currentIndex(), 7);
    EXPECT_TRUE(visible(7));
    EXPECT_EQ(list->body()->scrollOffset().cy, 8 * 20 - 100);
    w.key(platform::VK_NEXT); // a page is five rows
    EXPECT_EQ(list->currentIndex(), 12);
    EXPECT_TRUE(visible(12));
    w.key(platform::VK_END);
    EXPECT_EQ(list->currentIndex(), 19);
    EXPECT_EQ(list->body()->scrollOffset().cy, 20 * 20 - 100);
    w.key(platform::VK_HOME);
    EXPECT_EQ(list->body()->scrollOffset().cy, 0);
    // The wheel scrolls without touching the selection.
    w.wheel(L"l", -2);
    EXPECT_GT(list->body()->scrollOffset().cy, 0);
    EXPECT_EQ(selection(list), "0");
}

TEST(ChildLayout, BuildsTheNamedDocument) {
    testsupport::SkinSourceGuard guard;
    const testsupport::ScratchFolder dir;
    testsupport::writeBytes(dir / "child.xml",
                            "<Window><HBox name=\"inner\"><Button name=\"b\" width=\"40\"/></HBox></Window>");
    testsupport::writeBytes(dir / "broken.xml", "<Window><HBox name=\"half\"></VBox></Window>");
    CFormManagerUI::setResourcePath(dir.path().wstring() + L"/");
    SkinWindow w(LR"(<Window><VBox><ChildLayout name="c" xmlfile="child.xml" height="50"/>
        <ChildLayout name="m" xmlfile="missing.xml"/><ChildLayout name="k" xmlfile="broken.xml"/>
        <ChildLayout name="t" xmlfile="&lt;Window&gt;&lt;Label name=&quot;smuggled&quot;/&gt;&lt;/Window&gt;"/>
        </VBox></Window>)",
                 {200, 200});
    ASSERT_TRUE(w.built());
    auto* child = w.as<CChildLayoutUI>(L"c", L"ChildLayout");
    ASSERT_EQ(child->itemCount(), 1);
    EXPECT_EQ(child->itemAt(0), w.find(L"inner"));
    ASSERT_NE(w.find(L"b"), nullptr);
    EXPECT_EQ(w.find(L"b")->bounds(), (Rect{0, 0, 40, 50}));
    // The built controls are bound like any child: they paint and find their parent.
    EXPECT_EQ(w.find(L"inner")->owningManager(), &w.manager());
    EXPECT_EQ(w.find(L"inner")->parentControl(), child);
    EXPECT_EQ(w.find(L"b")->owningManager(), &w.manager());
    for (const wchar_t* empty : {L"m", L"k", L"t"})
        EXPECT_EQ(w.as<CChildLayoutUI>(empty, L"ChildLayout")->itemCount(), 0) << empty;
    EXPECT_EQ(w.find(L"smuggled"), nullptr);
}
