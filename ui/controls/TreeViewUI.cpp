// CTreeViewUI: nodes and their subtrees as rows, expanding and collapsing,
// the tree keys and the part attributes.
#include "ui/controls/TreeViewUI.h"

#include "ui/controls/ListHeaderUI.h"
#include "ui/controls/TreeNodeUI.h"
#include "ui/core/AttributeValues.h"

#include <algorithm>

namespace {

CTreeNodeUI* nodeOf(CControlUI* control) {
    return control ? static_cast<CTreeNodeUI*>(control->castTo(L"TreeNode")) : nullptr;
}

// Every node of `node`'s subtree, `node` first, in row order.
void collectSubtree(CTreeNodeUI* node, std::vector<CTreeNodeUI*>& out) {
    out.push_back(node);
    for (int i = 0; i < node->itemCount(); ++i) collectSubtree(nodeOf(node->itemAt(i)), out);
}

} // namespace

std::wstring_view CTreeViewUI::typeName() const { return L"TreeView"; }

void* CTreeViewUI::castTo(std::wstring_view name) {
    if (name == L"TreeView") return this;
    return CListUI::castTo(name);
}

CTreeNodeUI* CTreeViewUI::nodeAt(int index) const { return nodeOf(itemAt(index)); }

// --- Rows ---

bool CTreeViewUI::addItem(CControlUI* control) { return insertItem(control, itemCount()); }

bool CTreeViewUI::insertItem(CControlUI* control, int index) {
    if (control && control->castTo(L"ListHeader")) return CListUI::insertItem(control, index);
    CTreeNodeUI* node = nodeOf(control);
    if (!node || node->m_parentNode || node->m_view) return false;
    // Never inside another node's subtree: after it instead.
    int row = std::clamp(index, 0, itemCount());
    while (row < itemCount() && nodeAt(row)->parentNode()) ++row;
    insertRows(node, row);
    countShownRows();
    return true;
}

void CTreeViewUI::insertRows(CTreeNodeUI* node, int& row) {
    // In the view first, so that binding it walks its own row only.
    node->m_view = this;
    CListUI::insertItem(node, row++);
    // The body owns the subtree from now on.
    for (CTreeNodeUI* child : node->m_nodes) insertRows(child, row);
}

bool CTreeViewUI::removeItem(CControlUI* control, bool keepAlive) {
    const int index = indexOf(control);
    return index >= 0 && removeItemAt(index, keepAlive);
}

bool CTreeViewUI::removeItemAt(int index, bool keepAlive) {
    CTreeNodeUI* node = nodeAt(index);
    if (!node) return false;
    removeNode(node, keepAlive);
    return true;
}

void CTreeViewUI::removeNode(CTreeNodeUI* node, bool keepAlive) {
    if (CTreeNodeUI* parent = node->m_parentNode) {
        parent->m_nodes.erase(std::find(parent->m_nodes.begin(), parent->m_nodes.end(), node));
        node->m_parentNode = nullptr;
        parent->invalidate();
    }
    std::vector<CTreeNodeUI*> subtree;
    collectSubtree(node, subtree);
    const int first = indexOf(node);
    for (CTreeNodeUI* n : subtree) {
        // Kept: each node owns its children again. Deleted (perhaps later):
        // no node may reach another through a stale link.
        n->m_view = nullptr;
        if (!keepAlive) {
            n->m_nodes.clear();
            n->m_parentNode = nullptr;
        }
    }
    for (int i = first + static_cast<int>(subtree.size()) - 1; i >= first; --i) CListUI::removeItemAt(i, keepAlive);
    countShownRows();
}

void CTreeViewUI::removeAllItems() {
    for (int i = 0; i < itemCount(); ++i) {
        CTreeNodeUI* n = nodeAt(i);
        n->m_view = nullptr;
        n->m_nodes.clear();
        n->m_parentNode = nullptr;
    }
    CListUI::removeAllItems();
    m_shownBefore.clear();
}

bool CTreeViewUI::moveItemTo(CControlUI*, int) { return false; }
bool CTreeViewUI::moveItemsTo(CControlUI*, int, int) { return false; }

// --- Expanding and collapsing ---

void CTreeViewUI::countShownRows() {
    m_shownBefore.assign(static_cast<std::size_t>(itemCount()), 0);
    int shown = 0;
    for (int i = 0; i < itemCount(); ++i) {
        m_shownBefore[static_cast<std::size_t>(i)] = shown;
        if (nodeAt(i)->shownInTree()) ++shown;
    }
    invalidate();
}

bool CTreeViewUI::alternateRow(int index) const {
    return index >= 0 && index < static_cast<int>(m_shownBefore.size()) &&
           m_shownBefore[static_cast<std::size_t>(index)] % 2 == 1;
}

void CTreeViewUI::expansionChanged(CTreeNodeUI* node) {
    countShownRows();
    bool hiddenSelection = currentIndex() >= 0 && !itemAt(currentIndex())->isShown();
    for (int i : selectedIndexes()) hiddenSelection = hiddenSelection || !itemAt(i)->isShown();
    if (!hiddenSelection) return;
    if (!selectItem(indexOf(node))) selectItem(-1);
}

void CTreeViewUI::partsChanged() { columnsChanged(); }

// --- Keys ---

bool CTreeViewUI::rowKey(const TInputEventUI& event) {
    if (event.kind != UiEventKind::KeyDown || !m_enabled) return false;
    CTreeNodeUI* node = nodeAt(currentIndex());
    auto select = [this](CControlUI* target) {
        if (target && target->isShown()) selectItem(indexOf(target));
    };
    switch (event.keyChar) {
    case platform::VK_LEFT:
        if (!node) return true;
        if (node->expanded() && node->itemCount() > 0)
            node->assignExpanded(false);
        else
            select(node->parentNode());
        return true;
    case platform::VK_RIGHT:
        if (!node || node->itemCount() == 0) return true;
        if (!node->expanded())
            node->assignExpanded(true);
        else
            select(node->itemAt(0));
        return true;
    case platform::VK_SPACE:
        if (!node || !m_tree.showCheck) return false;
        node->assignChecked(!node->checked());
        return true;
    default:
        return CListUI::rowKey(event);
    }
}

// --- Attributes ---

void CTreeViewUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    auto number = [&](int& field) {
        field = std::clamp(attr::parseInt(value), 0, TTreeInfoUI::kMaxPartWidth);
        partsChanged();
    };
    auto flag = [&](bool& field) {
        field = attr::parseBool(value);
        partsChanged();
    };
    static constexpr const wchar_t* kFolderImages[] = {L"foldernormalimage", L"folderhotimage", L"folderselectedimage",
                                                       L"folderselectedhotimage"};
    static constexpr const wchar_t* kCheckImages[] = {L"checknormalimage", L"checkhotimage", L"checkselectedimage",
                                                      L"checkselectedhotimage"};
    for (int i = 0; i < 4; ++i) {
        if (name == kFolderImages[i] || name == kCheckImages[i]) {
            (name == kFolderImages[i] ? m_tree.folderImages : m_tree.checkImages)[i].setDescription(value);
            invalidate();
            return;
        }
    }
    if (name == L"indent") {
        number(m_tree.indent);
    } else if (name == L"folderwidth") {
        number(m_tree.folderWidth);
    } else if (name == L"checkwidth") {
        number(m_tree.checkWidth);
    } else if (name == L"showfolder") {
        flag(m_tree.showFolder);
    } else if (name == L"showcheck") {
        flag(m_tree.showCheck);
    } else if (name == L"checkdescendants") {
        m_tree.checkDescendants = attr::parseBool(value);
    } else {
        CListUI::applyAttribute(name, value);
    }
}
