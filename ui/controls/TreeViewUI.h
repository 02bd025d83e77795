// A tree view: a list whose rows are tree nodes, shown indented by depth,
// with expanding and collapsing, check boxes and the tree keys.
#pragma once

#include "ui/controls/ListUI.h"
#include "ui/render/ImageDescription.h"

#include <vector>

class CTreeNodeUI;

// What a tree view tells its nodes about the parts of a row, besides the
// list's row look. Part images come in four states, indexed by
// `partImage`: normal, hot, selected (an expanded folder, a checked box)
// and selected while hot.
struct TTreeInfoUI {
    static constexpr int kMaxPartWidth = 4096; // for the three widths below
    int indent = 16;                           // skin units per level of depth
    int folderWidth = 16;                      // the expand button: a square this wide
    int checkWidth = 16;                       // the check box: a square this wide
    bool showFolder = true;
    bool showCheck = false;
    bool checkDescendants = false; // checking a node checks its whole subtree
    ImageDescription folderImages[4];
    ImageDescription checkImages[4];

    static int partImage(bool selected, bool hot) { return (selected ? 2 : 0) + (hot ? 1 : 0); }
};

// The tree view. Its rows (the list body's children, which the body owns)
// are every node of the tree in depth-first order: a node's row comes
// right before the rows of its subtree. Its container interface works on
// those rows, so index N is row N, as in a list; only tree nodes are taken
// (and a ListHeader), and adding a node adds its whole subtree. A node
// under a collapsed (or hidden) node is hidden, so it takes no space and
// the keys pass over it.
//
// Keys, besides the list's: Left collapses the current node, or moves to
// its parent when it is collapsed or has no children; Right expands it,
// or moves to its first child when it is expanded; Space toggles its
// check box when check boxes are shown. When collapsing hides a selected
// row, the collapsed node becomes the selection. Notices, besides the
// list's: "itemexpand" / "itemcollapse" and "itemdbclick" (see
// CTreeNodeUI), "itemcheck" (wparam the row, lparam 1 when checked). UI
// thread only.
class CTreeViewUI : public CListUI {
public:
    CTreeViewUI() = default;

    // --- IContainerUI: the rows ---
    bool addItem(CControlUI* control) override;
    // Inserts a top-level node (with its subtree) at `index`, or after the
    // subtree that row `index` belongs to; false for anything but a tree
    // node that is in no tree, and for a node of another tree.
    bool insertItem(CControlUI* control, int index) override;
    // Removes the node at row `index` with its whole subtree; a kept node
    // keeps its subtree and owns it again.
    bool removeItemAt(int index, bool keepAlive = false) override;
    bool removeItem(CControlUI* control, bool keepAlive = false) override;
    void removeAllItems() override;
    // Rows cannot be moved one by one (a subtree would be torn apart):
    // always false. Nodes move among their siblings through their parent
    // node (CTreeNodeUI::moveItemTo).
    bool moveItemTo(CControlUI* control, int index) override;
    bool moveItemsTo(CControlUI* control, int count, int index) override;

    // --- CControlUI ---
    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;

    // --- IListOwnerUI ---
    bool rowKey(const TInputEventUI& event) override;
    // Rows under collapsed nodes do not count.
    bool alternateRow(int index) const override;

    TTreeInfoUI& treeInfo() { return m_tree; }
    // The node at row `index`; null out of range.
    CTreeNodeUI* nodeAt(int index) const;

private:
    friend class CTreeNodeUI;
    // Inserts `node` and, after it, its subtree's rows from `row` on; the
    // view takes them over from the node. `row` ends past the last one.
    void insertRows(CTreeNodeUI* node, int& row);
    // Takes `node` and its subtree out of the rows (and `node` out of its
    // parent node).
    void removeNode(CTreeNodeUI* node, bool keepAlive);
    // After a node expanded or collapsed: lay the rows out again and move
    // a selection that became hidden to the node.
    void expansionChanged(CTreeNodeUI* node);
    // Part sizes or images changed: every row places its parts again.
    void partsChanged();
    // Counts the shown rows again for the alternate background.
    void countShownRows();

    TTreeInfoUI m_tree;
    // For each row, the shown rows before it (counted when rows come, go,
    // or are shown or hidden).
    std::vector<int> m_shownBefore;
};
