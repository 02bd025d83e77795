// Tree views: rows indented by depth with their parts, collapsed subtrees
// taking no space, the keys, check boxes and their propagation, expanding
// with the mouse, the notices in order, and the tree built from markup or
// changed by code.
#include "ui/controls/TreeNodeUI.h"
#include "ui/controls/TreeViewUI.h"
#include "ui/layout/HorizontalLayoutUI.h"

#include "tests/ui/SkinWindow.h"
#include "tests/ui/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::Rect;
using testsupport::SkinWindow;
using Notices = std::vector<std::string>;

namespace {

// Rows: a(0) a1(1) a11(2) a2(3) a21(4) b(5); a2 starts collapsed.
constexpr const wchar_t* kTree = LR"(<Window><TreeView name="t" indent="12" folderwidth="14" showcheck="true">
  <TreeNode name="a" text="A" height="20">
    <TreeNode name="a1" text="A1" height="20"><TreeNode name="a11" text="A11" height="20"/></TreeNode>
    <TreeNode name="a2" text="A2" height="20" expanded="false"><TreeNode name="a21" height="20"/></TreeNode>
  </TreeNode>
  <TreeNode name="b" text="B"><Label name="lb" text="x"/></TreeNode></TreeView></Window>)";

Notices itemNotices(SkinWindow& w) {
    Notices out;
    for (std::string& n : w.takeNotices())
        if (n.rfind("item", 0) == 0) out.push_back(n);
    return out;
}

// The rows in order, a hidden one in brackets.
std::string rows(CTreeViewUI* tree) {
    std::string s;
    for (int i = 0; i < tree->itemCount(); ++i) {
        CTreeNodeUI* n = tree->nodeAt(i);
        const std::string name = platform::toUtf8(n->controlName().toStd());
        s += (s.empty() ? "" : " ") + (n->isShown() ? name : "[" + name + "]");
    }
    return s;
}

std::string checks(CTreeViewUI* tree) {
    std::string s;
    for (int i = 0; i < tree->itemCount(); ++i) s += tree->nodeAt(i)->checked() ? '1' : '0';
    return s;
}

platform::Point centreOf(const Rect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

void clickAt(SkinWindow& w, platform::Point client) {
    platform::vdisplay::click(w.screen(client));
    SkinWindow::settle();
}

} // namespace

// Row places and the parts of each row, as written and after expanding and
// collapsing by code.
TEST(TreeView, RowsIndentedAndCollapsedSubtreesTakeNoSpace) {
    SkinWindow w(kTree, {200, 200});
    ASSERT_TRUE(w.built());
    auto* tree = w.as<CTreeViewUI>(L"t", L"TreeView");
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->itemCount(), 6);
    const int font = w.manager().fontInfo(-1).metrics.height;
    auto node = [&](const wchar_t* name) { return w.as<CTreeNodeUI>(name, L"TreeNode"); };

    struct Case {
        const char* proves;
        const wchar_t* toggle; // expanded flag flipped first
        const char* rows;
        std::vector<int> tops; // of the shown rows, in order
    } cases[] = {
        {"as written: the collapsed node's child is hidden", nullptr, "a a1 a11 a2 [a21] b", {0, 20, 40, 60, 80}},
        {"collapsing an inner node", L"a1", "a a1 [a11] a2 [a21] b", {0, 20, 40, 60}},
        {"collapsing the top hides the whole subtree", L"a", "a [a1] [a11] [a2] [a21] b", {0, 20}},
        {"expanding the top keeps inner nodes as they were", L"a", "a a1 [a11] a2 [a21] b", {0, 20, 40, 60}},
        {"expanding the inner node again", L"a2", "a a1 [a11] a2 a21 b", {0, 20, 40, 60, 80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        if (c.toggle) node(c.toggle)->assignExpanded(!node(c.toggle)->expanded());
        SkinWindow::settle();
        EXPECT_EQ(rows(tree), c.rows);
        std::vector<int> tops;
        for (int i = 0; i < tree->itemCount(); ++i) {
            if (!tree->nodeAt(i)->isShown()) continue;
            // The alternate background counts shown rows only.
            EXPECT_EQ(tree->alternateRow(i), tops.size() % 2 == 1) << i;
            tops.push_back(tree->nodeAt(i)->bounds().top);
        }
        EXPECT_EQ(tops, c.tops);
    }
    // The parts by depth: indent 12 a level, a 14-pixel folder, a 16-pixel
    // check box, then the content; squares centred in the row.
    struct Parts {
        const wchar_t* name;
        int depth;
    } parts[] = {{L"a", 0}, {L"a1", 1}, {L"a2", 1}, {L"a21", 2}};
    for (const Parts& p : parts) {
        SCOPED_TRACE(platform::toUtf8(p.name));
        CTreeNodeUI* n = node(p.name);
        EXPECT_EQ(n->depth(), p.depth);
        const Rect& r = n->bounds();
        EXPECT_EQ(r.height(), 20);
        EXPECT_EQ(r.right, 200);
        const int x = p.depth * 12;
        EXPECT_EQ(n->folderRect(), (Rect{x, r.top + 3, x + 14, r.top + 17}));
        EXPECT_EQ(n->checkRect(), (Rect{x + 14, r.top + 2, x + 30, r.top + 18}));
        EXPECT_EQ(n->content()->bounds(), (Rect{x + 30, r.top, 200, r.bottom}));
    }
    // A row without a height is a text row; a node's own controls lie in its content.
    const Rect& b = node(L"b")->bounds();
    EXPECT_EQ(b.height(), font);
    EXPECT_EQ(w.find(L"lb")->bounds(), (Rect{30, b.top, 200, b.bottom}));
    EXPECT_EQ(w.find(L"lb")->parentControl(), node(L"b")->content());
}

// One table of keys from a press on the first row; each step's current
// row, the expanded nodes and the notices it raised.
TEST(TreeView, KeysMoveExpandAndCollapse) {
    SkinWindow w(kTree, {200, 200});
    ASSERT_TRUE(w.built());
    auto* tree = w.as<CTreeViewUI>(L"t", L"TreeView");
    w.click(L"a");
    EXPECT_EQ(itemNotices(w), (Notices{"itemselect:t", "itemclick:a"}));
    struct Step {
        const char* proves;
        unsigned key;
        int current;
        const char* rows;
        Notices notices;
    } steps[] = {
        {"Down moves to the child", platform::VK_DOWN, 1, "a a1 a11 a2 [a21] b", {"itemselect:t:1"}},
        {"Down again", platform::VK_DOWN, 2, "a a1 a11 a2 [a21] b", {"itemselect:t:2"}},
        {"Down leaves the subtree", platform::VK_DOWN, 3, "a a1 a11 a2 [a21] b", {"itemselect:t:3"}},
        {"Down passes over a hidden row", platform::VK_DOWN, 5, "a a1 a11 a2 [a21] b", {"itemselect:t:5"}},
        {"Up", platform::VK_UP, 3, "a a1 a11 a2 [a21] b", {"itemselect:t:3"}},
        {"Right expands a collapsed node", platform::VK_RIGHT, 3, "a a1 a11 a2 a21 b", {"itemexpand:a2:3"}},
        {"Right on an expanded node moves to its first child",
         platform::VK_RIGHT,
         4,
         "a a1 a11 a2 a21 b",
         {"itemselect:t:4"}},
        {"Right on a leaf does nothing", platform::VK_RIGHT, 4, "a a1 a11 a2 a21 b", {}},
        {"Left on a leaf moves to the parent", platform::VK_LEFT, 3, "a a1 a11 a2 a21 b", {"itemselect:t:3"}},
        {"Left collapses an expanded node", platform::VK_LEFT, 3, "a a1 a11 a2 [a21] b", {"itemcollapse:a2:3"}},
        {"Left on a collapsed node moves to the parent", platform::VK_LEFT, 0, "a a1 a11 a2 [a21] b", {"itemselect:t"}},
        {"Left collapses the top node", platform::VK_LEFT, 0, "a [a1] [a11] [a2] [a21] b", {"itemcollapse:a"}},
        {"Left on a top node stays", platform::VK_LEFT, 0, "a [a1] [a11] [a2] [a21] b", {}},
        {"Down passes over the collapsed subtree",
         platform::VK_DOWN,
         5,
         "a [a1] [a11] [a2] [a21] b",
         {"itemselect:t:5"}},
        {"Space checks the current node", platform::VK_SPACE, 5, "a [a1] [a11] [a2] [a21] b", {"itemcheck:b:5"}},
        {"Return activates it", platform::VK_RETURN, 5, "a [a1] [a11] [a2] [a21] b", {"itemactivate:b:5"}},
        {"Home", platform::VK_HOME, 0, "a [a1] [a11] [a2] [a21] b", {"itemselect:t"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.proves);
        w.key(s.key);
        EXPECT_EQ(tree->currentIndex(), s.current);
        EXPECT_EQ(rows(tree), s.rows);
        EXPECT_EQ(itemNotices(w), s.notices);
    }
    EXPECT_EQ(checks(tree), "000001");
    // Collapsing over a selected row moves the selection to the collapsed node.
    ASSERT_TRUE(tree->selectItem(-1));
    w.as<CTreeNodeUI>(L"a", L"TreeNode")->assignExpanded(true);
    ASSERT_TRUE(tree->selectItem(2));
    w.takeNotices();
    w.as<CTreeNodeUI>(L"a1", L"TreeNode")->assignExpanded(false);
    EXPECT_EQ(itemNotices(w), (Notices{"itemcollapse:a1:1", "itemselect:t:1"}));
    EXPECT_EQ(tree->currentIndex(), 1);
    // Nodes under a collapsed one cannot be selected.
    EXPECT_FALSE(tree->selectItem(2));
}

// The mouse: the expand button toggles without selecting (twice for a
// quick second press), the check box toggles, a double click elsewhere
// raises "itemdbclick" and toggles the node.
TEST(TreeView, MouseExpandsChecksAndNoticesInOrder) {
    SkinWindow w(kTree, {200, 200});
    ASSERT_TRUE(w.built());
    auto* tree = w.as<CTreeViewUI>(L"t", L"TreeView");
    auto* a = w.as<CTreeNodeUI>(L"a", L"TreeNode");
    auto* a2 = w.as<CTreeNodeUI>(L"a2", L"TreeNode");
    w.takeNotices();
    clickAt(w, centreOf(a2->folderRect()));
    EXPECT_EQ(itemNotices(w), (Notices{"itemexpand:a2:3"}));
    EXPECT_EQ(rows(tree), "a a1 a11 a2 a21 b");
    EXPECT_EQ(tree->currentIndex(), -1);
    EXPECT_EQ(w.manager().focusedControl(), tree) << "the press passes the focus to the view";
    clickAt(w, centreOf(a->folderRect()));
    EXPECT_EQ(itemNotices(w), (Notices{"itemcollapse:a"}));
    EXPECT_EQ(rows(tree), "a [a1] [a11] [a2] [a21] b");
    EXPECT_EQ(w.find(L"b")->bounds().top, 20);
    // A leaf has no expand button: a press there selects the row.
    clickAt(w, centreOf(w.as<CTreeNodeUI>(L"b", L"TreeNode")->folderRect()));
    EXPECT_EQ(itemNotices(w), (Notices{"itemselect:t:5", "itemclick:b:5"}));
    platform::vdisplay::doubleClick(w.screen(centreOf(a->folderRect())));
    SkinWindow::settle();
    EXPECT_EQ(itemNotices(w), (Notices{"itemexpand:a", "itemcollapse:a"}));
    w.doubleClick(L"a");
    EXPECT_EQ(itemNotices(w), (Notices{"itemselect:t", "itemclick:a", "itemdbclick:a", "itemexpand:a"}));
    EXPECT_EQ(rows(tree), "a a1 a11 a2 a21 b");
    clickAt(w, centreOf(a2->checkRect()));
    EXPECT_EQ(itemNotices(w), (Notices{"itemcheck:a2:3"}));
    EXPECT_TRUE(a2->checked());
    EXPECT_EQ(tree->currentIndex(), 0) << "a check box press does not select";
    // A disabled node takes no press on its parts.
    a2->assignEnabled(false);
    clickAt(w, centreOf(a2->folderRect()));
    EXPECT_TRUE(a2->expanded());
    EXPECT_EQ(itemNotices(w), Notices{});
}

TEST(TreeView, CheckingANodeChecksItsDescendantsWhenTheViewSaysSo) {
    struct Case {
        const char* proves;
        const wchar_t* attribute;
        const wchar_t* node;
        const char* after;
    } cases[] = {
        {"the node alone by default", L"", L"a", "100000"},
        {"the whole subtree, hidden rows too", L"checkdescendants=\"true\"", L"a", "111110"},
        {"an inner subtree", L"checkdescendants=\"true\"", L"a2", "000110"},
        {"a leaf", L"checkdescendants=\"true\"", L"b", "000001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        std::wstring markup = kTree;
        markup.replace(markup.find(L"showcheck"), 0, std::wstring(c.attribute) + L" ");
        SkinWindow w(markup, {200, 200});
        ASSERT_TRUE(w.built());
        auto* tree = w.as<CTreeViewUI>(L"t", L"TreeView");
        auto* n = w.as<CTreeNodeUI>(c.node, L"TreeNode");
        w.takeNotices();
        clickAt(w, centreOf(n->checkRect()));
        EXPECT_EQ(checks(tree), c.after);
        // One notice, for the node pressed.
        EXPECT_EQ(itemNotices(w).size(), 1u);
        // Unchecking takes the same nodes back.
        clickAt(w, centreOf(n->checkRect()));
        EXPECT_EQ(checks(tree), "000000");
    }
    // Without check boxes there is no part to press and Space does nothing.
    SkinWindow plain(LR"(<Window><TreeView name="t"><TreeNode name="n" height="20"/></TreeView></Window>)", {200, 100});
    ASSERT_TRUE(plain.built());
    auto* n = plain.as<CTreeNodeUI>(L"n", L"TreeNode");
    EXPECT_TRUE(n->checkRect().isEmpty());
    EXPECT_EQ(n->content()->bounds().left, 16);
    plain.click(L"n");
    plain.key(platform::VK_SPACE);
    EXPECT_FALSE(n->checked());
}

// Markup: nodes outside a tree view end their level, other controls are
// refused by the view; code: nodes added, moved and removed keep the rows
// in tree order.
TEST(TreeView, BuiltFromMarkupAndChangedByCode) {
    SkinWindow stray(LR"(<Window><VBox name="v"><Label name="before"/><TreeNode name="lost"><TreeNode name="inner"/>
        </TreeNode><Label name="after"/></VBox></Window>)");
    ASSERT_TRUE(stray.built());
    EXPECT_NE(stray.find(L"before"), nullptr);
    for (const wchar_t* gone : {L"lost", L"inner", L"after"}) EXPECT_EQ(stray.find(gone), nullptr);
    // At the top the build hands back nothing, and the control built first
    // is deleted rather than left to nobody (the leak checker watches).
    SkinWindow top(LR"(<Window><VBox name="v"><Label/></VBox><TreeNode name="n"/></Window>)");
    EXPECT_FALSE(top.built());

    SkinWindow w(LR"(<Window><Tree name="t"><Button name="btn"/><TreeNode name="a"><TreeNode name="a1"/>
        <TreeNode name="a2"><TreeNode name="a21"/></TreeNode></TreeNode><TreeNode name="b"/></Tree></Window>)",
                 {200, 200});
    ASSERT_TRUE(w.built());
    auto* tree = w.as<CTreeViewUI>(L"t", L"TreeView");
    EXPECT_EQ(w.find(L"btn"), nullptr) << "a tree view holds nodes only";
    EXPECT_EQ(rows(tree), "a a1 a2 a21 b");
    auto* a = w.as<CTreeNodeUI>(L"a", L"TreeNode");
    auto* a2 = w.as<CTreeNodeUI>(L"a2", L"TreeNode");

    auto made = [](const wchar_t* name) {
        auto* n = new CTreeNodeUI;
        n->assignName(name);
        return n;
    };
    // A new last child goes after the parent's subtree, a first one right after the parent.
    EXPECT_TRUE(a->addItem(made(L"a3")));
    EXPECT_TRUE(a->insertItem(made(L"a0"), 0));
    EXPECT_EQ(rows(tree), "a a0 a1 a2 a21 a3 b");
    EXPECT_EQ(w.find(L"a3"), tree->itemAt(5)) << "added rows are bound and named";
    // A node built apart, with a child, joins with its subtree.
    CTreeNodeUI* c = made(L"c");
    EXPECT_TRUE(c->addItem(made(L"c1")));
    auto* c1 = static_cast<CTreeNodeUI*>(c->itemAt(0)->castTo(L"TreeNode"));
    ASSERT_NE(c1, nullptr);
    EXPECT_FALSE(c1->addItem(c)) << "a node under its own child";
    EXPECT_FALSE(c->addItem(c));
    EXPECT_TRUE(tree->insertItem(c, 2)) << "row 2 is inside a's subtree: c goes after it";
    EXPECT_EQ(rows(tree), "a a0 a1 a2 a21 a3 c c1 b");
    EXPECT_FALSE(a->addItem(c)) << "a node already in the tree";
    CTreeNodeUI* x = made(L"x");
    EXPECT_FALSE(tree->addItem(x->content()));
    x->destroySelf();
    EXPECT_FALSE(tree->moveItemTo(c, 0));
    // Moving among siblings carries the subtree along.
    EXPECT_TRUE(a->moveItemTo(a2, 0));
    EXPECT_EQ(rows(tree), "a a2 a21 a0 a1 a3 c c1 b");
    EXPECT_FALSE(a->moveItemsTo(a2, 3, 2));
    EXPECT_TRUE(a->moveItemsTo(a2, 2, 2));
    EXPECT_EQ(rows(tree), "a a1 a3 a2 a21 a0 c c1 b");
    // Removed and kept, a node keeps its subtree and can come back.
    EXPECT_TRUE(a->removeItem(a2, /*keepAlive=*/true));
    EXPECT_EQ(rows(tree), "a a1 a3 a0 c c1 b");
    EXPECT_EQ(a2->itemCount(), 1);
    EXPECT_EQ(a2->parentNode(), nullptr);
    EXPECT_TRUE(tree->addItem(a2));
    EXPECT_EQ(rows(tree), "a a1 a3 a0 c c1 b a2 a21");
    EXPECT_EQ(w.as<CTreeNodeUI>(L"a21", L"TreeNode")->depth(), 1);
    // Removed for good: the subtree goes, names and all.
    EXPECT_TRUE(tree->removeItemAt(0));
    EXPECT_EQ(rows(tree), "c c1 b a2 a21");
    for (const wchar_t* gone : {L"a", L"a1", L"a3", L"a0"}) EXPECT_EQ(w.find(gone), nullptr);
    tree->removeAllItems();
    EXPECT_EQ(tree->itemCount(), 0);
    EXPECT_EQ(w.find(L"c1"), nullptr);
}

// The expand button's image by state: normal, hot under the mouse,
// selected when expanded, and a missing selected-hot image falling back to
// the selected one.
TEST(TreeView, PartImagesFollowTheState) {
    SkinWindow w(LR"(<Window><TreeView name="t" foldernormalimage="color='#FFFF0000'"
        folderhotimage="color='#FF00FF00'" folderselectedimage="color='#FF0000FF'">
        <TreeNode name="a" height="20" expanded="false"><TreeNode name="a1" height="20"/></TreeNode>
        <TreeNode name="b" height="20"/></TreeView></Window>)",
                 {200, 100});
    ASSERT_TRUE(w.built());
    auto* a = w.as<CTreeNodeUI>(L"a", L"TreeNode");
    const platform::Point part = centreOf(a->folderRect());
    struct Step {
        const char* proves;
        bool hover;
        bool expand;
        std::uint32_t colour;
    } steps[] = {
        {"collapsed", false, false, 0xFFFF0000u},
        {"collapsed under the mouse", true, false, 0xFF00FF00u},
        {"expanded under the mouse: no selected-hot image", true, true, 0xFF0000FFu},
        {"expanded", false, true, 0xFF0000FFu},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.proves);
        w.moveTo(s.hover ? part : centreOf(w.find(L"b")->bounds()));
        a->assignExpanded(s.expand);
        SkinWindow::settle();
        EXPECT_EQ(w.pixel(part), s.colour);
    }
    // A leaf draws no button.
    auto* b = w.as<CTreeNodeUI>(L"b", L"TreeNode");
    EXPECT_NE(w.pixel(centreOf(b->folderRect())), 0xFFFF0000u);
}
