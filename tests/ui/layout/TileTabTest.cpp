// The tile grid as a table (column count against item size, gaps, both
// filling orders, hidden children, the scroll range, a full grid) and the
// tab page stack (selection, "tabselect", insert and remove around the
// selected page, "selectedid" from markup).
#include "../SkinWindow.h"
#include "../WindowHost.h"

#include "ui/layout/ScrollBarUI.h"
#include "ui/layout/TabLayoutUI.h"
#include "ui/layout/TileLayoutUI.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace uitest;

namespace {

struct TileCase {
    const char* proves;
    const wchar_t* attributes;
    int children;
    Size window;
    int columns;
    std::vector<std::pair<int, Rect>> expected; // child index → position
    int hiddenChild = -1;
    Rect childPadding{};
};

} // namespace

TEST(TileLayout, GridTable) {
    const TileCase cases[] = {
        {"columns from the width, free space shared as gaps: (260 - 240) / 2 = 10",
         L"",
         5,
         {260, 300},
         3,
         {{0, {0, 0, 80, 80}}, {1, {90, 0, 170, 80}}, {2, {180, 0, 260, 80}}, {3, {0, 80, 80, 160}}}},
        {"narrower than one item: one column", L"", 2, {70, 300}, 1, {{0, {0, 0, 80, 80}}, {1, {0, 80, 80, 160}}}},
        {"a set gap is kept, rows have their own gap",
         L"childpadding=\"5\" childvpadding=\"7\"",
         4,
         {260, 300},
         3,
         {{1, {85, 0, 165, 80}}, {3, {0, 87, 80, 167}}}},
        {"asked-for columns spread over the width: (400 - 320) / 3 = 26",
         L"columns=\"4\"",
         2,
         {400, 300},
         4,
         {{0, {0, 0, 80, 80}}, {1, {106, 0, 186, 80}}}},
        {"item size, hidden children take no cell in rows",
         L"itemsize=\"50x40\" childpadding=\"1\"",
         4,
         {160, 300},
         3,
         {{0, {0, 0, 50, 40}}, {2, {51, 0, 101, 40}}, {3, {102, 0, 152, 40}}},
         1},
        {"a padded child: the padding narrows the cell on both counts, in every alignment",
         L"childalign=\"center\" childvalign=\"vcenter\"",
         1,
         {80, 300},
         1,
         {{0, {20, 20, 60, 60}}},
         -1,
         {10, 10, 10, 10}},
        {"rows fill column by column; a hidden child leaves its cell empty",
         L"rows=\"2\"",
         5,
         {300, 300},
         3,
         {{0, {0, 0, 80, 80}}, {1, {0, 220, 80, 300}}, {3, {110, 220, 190, 300}}, {4, {220, 0, 300, 80}}},
         2},
    };
    for (const TileCase& c : cases) {
        SCOPED_TRACE(c.proves);
        vdisplay::reset();
        std::wstring markup = L"<Window><TileLayout name=\"t\" " + std::wstring(c.attributes) + L">";
        for (int i = 0; i < c.children; ++i)
            markup += L"<Control name=\"c" + std::to_wstring(i) + L"\"" +
                      (i == c.hiddenChild ? L" visible=\"false\"" : L"") + L" padding=\"" +
                      std::to_wstring(c.childPadding.left) + L"," + std::to_wstring(c.childPadding.top) + L"," +
                      std::to_wstring(c.childPadding.right) + L"," + std::to_wstring(c.childPadding.bottom) + L"\"/>";
        markup += L"</TileLayout></Window>";
        testsupport::SkinWindow w(markup, c.window);
        ASSERT_TRUE(w.built());
        auto* tile = w.as<CTileLayoutUI>(L"t", L"TileLayout");
        EXPECT_EQ(tile->columnsInUse(), c.columns);
        for (const auto& [index, rect] : c.expected)
            EXPECT_EQ(w.find(L"c" + std::to_wstring(index))->bounds(), rect) << "child " << index;
    }
}

TEST(TileLayout, ScrollRangeAndFullGrid) {
    vdisplay::reset();
    std::wstring markup = L"<Window><TileLayout name=\"t\" vscrollbar=\"true\">";
    for (int i = 0; i < 7; ++i) markup += L"<Control/>";
    markup += L"</TileLayout></Window>";
    testsupport::SkinWindow w(markup, {300, 200});
    ASSERT_TRUE(w.built());
    auto* tile = w.as<CTileLayoutUI>(L"t", L"TileLayout");
    ASSERT_NE(tile->verticalScrollBar(), nullptr);
    EXPECT_TRUE(tile->verticalScrollBar()->isShown());
    // Seven items in three columns: three rows of 80 in a height of 200.
    EXPECT_EQ(tile->columnsInUse(), 3);
    EXPECT_EQ(tile->rowsInUse(), 3);
    EXPECT_EQ(tile->verticalScrollBar()->range(), 40);

    // Both counts asked for: the grid is full at their product.
    CTileLayoutUI grid;
    grid.applyAttribute(L"columns", L"2");
    grid.applyAttribute(L"rows", L"1");
    EXPECT_TRUE(grid.addItem(new CControlUI));
    EXPECT_TRUE(grid.insertItem(new CControlUI, 0));
    auto* third = new CControlUI;
    EXPECT_FALSE(grid.addItem(third));
    EXPECT_FALSE(grid.insertItem(third, 0));
    delete third;
    // Negative counts are ignored, a negative row gap becomes 0.
    grid.applyAttribute(L"columns", L"-3");
    grid.applyAttribute(L"childvpadding", L"-4");
    EXPECT_EQ(grid.requestedColumns(), 2);
    EXPECT_EQ(grid.rowGap(), 0);
}

// Counts and sizes at the ends of the int range: every place is pinned to
// the range instead of wrapping round to the other side.
TEST(TileLayout, ExtremeCountsAndSizesSaturate) {
    const wchar_t* const cases[] = {
        L"columns=\"2147483647\" itemsize=\"2147483647,2147483647\"",
        L"itemsize=\"2147483647,2147483647\" childpadding=\"2147483647\" childvpadding=\"2147483647\"",
        L"rows=\"2147483647\" itemsize=\"2147483647,2147483647\"",
        L"rows=\"2\" columns=\"2147483647\" itemsize=\"2147483647,2147483647\" childpadding=\"2147483647\"",
    };
    for (const wchar_t* attributes : cases) {
        SCOPED_TRACE(testing::Message() << attributes);
        vdisplay::reset();
        testsupport::SkinWindow w(
            std::wstring(L"<Window><TileLayout name=\"t\" ") + attributes +
                L"><Control name=\"a\"/><Control name=\"b\"/><Control name=\"c\"/></TileLayout></Window>",
            {300, 200});
        ASSERT_TRUE(w.built());
        const Rect a = w.find(L"a")->bounds(), b = w.find(L"b")->bounds(), c = w.find(L"c")->bounds();
        // Later cells never land before earlier ones.
        EXPECT_GE(b.left, a.left);
        EXPECT_GE(b.top, a.top);
        EXPECT_GE(c.left, a.left);
        EXPECT_GE(c.top, a.top);
        EXPECT_GE(a.left, 0);
        EXPECT_GE(a.top, 0);
    }
    // Negative sizes at the end of the range: laid out without wrapping
    // (the sanitizer build watches the arithmetic).
    vdisplay::reset();
    testsupport::SkinWindow w(L"<Window><TileLayout name=\"t\" rows=\"2\" columns=\"2147483647\" "
                              L"itemsize=\"-2147483648,-2147483648\" childpadding=\"-2147483648\">"
                              L"<Control name=\"a\"/><Control name=\"b\"/><Control name=\"c\"/></TileLayout></Window>",
                              {300, 200});
    ASSERT_TRUE(w.built());
    EXPECT_LE(w.find(L"c")->bounds().left, w.find(L"a")->bounds().left);
}

class TabLayout : public WindowTest {};

TEST_F(TabLayout, SelectionInsertAndRemove) {
    auto* tab = new CTabLayoutUI;
    tab->assignInset({2, 2, 2, 2});
    CProbeUI* pages[3];
    for (int i = 0; i < 3; ++i) {
        pages[i] = new CProbeUI(std::wstring(1, static_cast<wchar_t>(L'A' + i)));
        tab->addItem(pages[i]);
    }
    CHostWindow host;
    host.open(tab, {200, 100});
    auto shown = [&] {
        std::wstring s;
        for (int i = 0; i < tab->itemCount(); ++i)
            if (tab->itemAt(i)->isShown()) s += tab->itemAt(i)->controlName().toStd();
        return s;
    };
    // The first page is selected and fills the tab inside its inset.
    EXPECT_EQ(tab->selectedIndex(), 0);
    EXPECT_EQ(shown(), L"A");
    EXPECT_EQ(pages[0]->bounds(), Rect(2, 2, 198, 98));

    host.notices.clear();
    EXPECT_TRUE(tab->selectPage(2));
    host.settle();
    EXPECT_EQ(shown(), L"C");
    EXPECT_EQ(pages[2]->bounds(), Rect(2, 2, 198, 98));
    auto tabNotices = [&] {
        std::vector<NoticeRecord> out;
        for (const NoticeRecord& n : host.notices)
            if (n.kind == L"tabselect") out.push_back(n);
        host.notices.clear();
        return out;
    };
    auto selects = tabNotices();
    ASSERT_EQ(selects.size(), 1u);
    EXPECT_EQ(selects[0].sender, tab);
    EXPECT_EQ(selects[0].wparam, 2u);
    EXPECT_EQ(selects[0].lparam, 0);
    // Out of range, or the page already selected.
    EXPECT_FALSE(tab->selectPage(3));
    EXPECT_FALSE(tab->selectPage(-1));
    EXPECT_TRUE(tab->selectPage(2));
    EXPECT_TRUE(tabNotices().empty());
    // Without notice.
    EXPECT_TRUE(tab->selectPage(1, false));
    EXPECT_TRUE(tabNotices().empty());
    EXPECT_EQ(shown(), L"B");
    EXPECT_TRUE(tab->selectPage(2));
    tabNotices();

    // A page inserted before the selection: the same page stays shown.
    auto* inserted = new CProbeUI(L"N");
    EXPECT_TRUE(tab->insertItem(inserted, 0));
    EXPECT_EQ(tab->selectedIndex(), 3);
    EXPECT_EQ(shown(), L"C");
    // After the selection: hidden.
    EXPECT_TRUE(tab->insertItem(new CProbeUI(L"Z"), 4));
    EXPECT_EQ(shown(), L"C");
    EXPECT_EQ(tab->selectedIndex(), 3);

    // Removing a page before the selection keeps the page selected.
    EXPECT_TRUE(tab->removeItem(inserted));
    EXPECT_EQ(tab->selectedIndex(), 2);
    // Removing the selected page selects and shows the first.
    EXPECT_TRUE(tab->removeItemAt(2));
    host.settle();
    EXPECT_EQ(tab->selectedIndex(), 0);
    EXPECT_EQ(shown(), L"A");
    while (tab->itemCount() > 1) EXPECT_TRUE(tab->removeItemAt(tab->itemCount() - 1));
    EXPECT_TRUE(tab->removeItemAt(0));
    EXPECT_EQ(tab->selectedIndex(), -1);
    // A later visible page becomes the selection again.
    tab->addItem(new CProbeUI(L"Q"));
    EXPECT_EQ(tab->selectedIndex(), 0);
    tab->removeAllItems();
    EXPECT_EQ(tab->selectedIndex(), -1);
}

TEST(TabLayoutMarkup, SelectedIdAndFocusFollowThePage) {
    vdisplay::reset();
    testsupport::SkinWindow w(LR"(<Window size="200,100"><TabLayout name="tab" selectedid="1">
        <VBox name="p0"><Button name="b0"/></VBox><VBox name="p1"><Button name="b1"/></VBox></TabLayout></Window>)");
    ASSERT_TRUE(w.built());
    auto* tab = w.as<CTabLayoutUI>(L"tab", L"TabLayout");
    EXPECT_EQ(tab->selectedIndex(), 1);
    EXPECT_FALSE(w.find(L"p0")->isShown());
    EXPECT_TRUE(w.find(L"p1")->isShown());
    EXPECT_EQ(w.manager().focusedControl(), w.find(L"b1"));
    w.takeNotices();
    tab->selectPage(0);
    w.settle();
    EXPECT_EQ(w.manager().focusedControl(), w.find(L"b0"));
    const std::vector<std::string> notices = w.takeNotices();
    EXPECT_EQ(std::count(notices.begin(), notices.end(), "tabselect:tab"), 1);
}
