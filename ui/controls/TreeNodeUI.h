// A node of a tree view: one row with an expand button, an optional check
// box and a text, and the child nodes below it.
#pragma once

#include "ui/controls/ListContainerElementUI.h"

#include <vector>

class CHorizontalLayoutUI;
class CTreeViewUI;

// The node. As a control it is a container row of its tree view (the
// view's body owns it): from the left, its indent (depth times the view's
// `indent`), the expand button (drawn only when it has child nodes), the
// check box (when the view shows them) and its content: a horizontal
// layout over the rest of the row that holds the controls built inside a
// TreeNode element, above the node's own text. Its container interface
// works on its child nodes: adding a node under one that is in a view
// puts the new rows after this node's subtree. A node in no view owns
// its child nodes; in a view the view's body owns every row.
//
// A press on the expand button expands or collapses ("itemexpand" /
// "itemcollapse", wparam the row); a press on the check box toggles it
// ("itemcheck", wparam the row, lparam 1 when checked); neither selects.
// A press elsewhere selects the row as in a list; a double click there
// raises "itemdbclick" (wparam the row) and then expands or collapses a
// node that has children. UI thread only.
class CTreeNodeUI : public CListContainerElementUI {
public:
    CTreeNodeUI();
    ~CTreeNodeUI() override;

    // --- IContainerUI: the child nodes ---
    CControlUI* itemAt(int index) const override;
    int indexOf(CControlUI* control) const override;
    bool moveItemTo(CControlUI* control, int index) override;
    bool moveItemsTo(CControlUI* control, int count, int index) override;
    int itemCount() const override;
    bool addItem(CControlUI* control) override;
    // Takes a tree node that is in no tree (false for anything else, and
    // for this node or one of its ancestors).
    bool insertItem(CControlUI* control, int index) override;
    bool removeItem(CControlUI* control, bool keepAlive = false) override;
    bool removeItemAt(int index, bool keepAlive = false) override;
    void removeAllItems() override;

    // --- CControlUI ---
    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    // Hidden also under a collapsed or hidden parent node.
    bool isShown() const override;
    void assignShown(bool visible = true) override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    CControlUI* walkTree(FindControlProc proc, void* data, unsigned flags) override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void drawStateImage(platform::Canvas& canvas) override;
    void drawTextPart(platform::Canvas& canvas) override;

    // The controls of the node's row after its parts.
    CHorizontalLayoutUI* content() const { return m_content; }
    CTreeNodeUI* parentNode() const { return m_parentNode; }
    CTreeViewUI* treeView() const { return m_view; }
    // Shown as far as the tree goes: not hidden itself, and every node
    // above it expanded and not hidden (whether the view is shown aside).
    bool shownInTree() const;
    // Levels above this node (0 for a top-level node).
    int depth() const;
    // This node and every node below it.
    int subtreeSize() const;

    bool expanded() const { return m_expanded; }
    // Shows or hides the subtree's rows; "itemexpand" / "itemcollapse"
    // when it changed and `notify`.
    void assignExpanded(bool expanded, bool notify = true);
    bool checked() const { return m_checked; }
    // Checks or unchecks the node and, when its view says so, every node
    // below it; "itemcheck" when this node changed and `notify`.
    void assignChecked(bool checked, bool notify = true);

    // The parts of the row as last placed (empty when not shown).
    const platform::Rect& folderRect() const { return m_folderRect; }
    const platform::Rect& checkRect() const { return m_checkRect; }

private:
    friend class CTreeViewUI;
    enum class Part { None, Folder, Check };
    Part partAt(platform::Point point) const;
    void assignHotPart(Part part);
    void drawPart(platform::Canvas& canvas, Part part);
    void sendNodeNotice(const wchar_t* kind, platform::LParam lparam = 0);

    CHorizontalLayoutUI* m_content = nullptr; // owned as the only child
    CTreeViewUI* m_view = nullptr;
    CTreeNodeUI* m_parentNode = nullptr;
    // Owned while the node is in no view (the view's body owns them otherwise).
    std::vector<CTreeNodeUI*> m_nodes;
    bool m_expanded = true;
    bool m_checked = false;
    Part m_hotPart = Part::None;
    platform::Rect m_folderRect;
    platform::Rect m_checkRect;
    platform::Rect m_textRect;
};
