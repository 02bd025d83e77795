// CTreeNodeUI: the child nodes, the parts of the row and their states, and
// how a node reacts to the mouse.
#include "ui/controls/TreeNodeUI.h"

#include "ui/controls/TreeViewUI.h"
#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"
#include "ui/layout/HorizontalLayoutUI.h"
#include "ui/render/RenderEngine.h"

#include <algorithm>

using platform::Point;
using platform::Rect;

namespace {

CTreeNodeUI* nodeOf(CControlUI* control) {
    return control ? static_cast<CTreeNodeUI*>(control->castTo(L"TreeNode")) : nullptr;
}

// A square of `side` centred vertically in `row` from `left`, cut to the row.
Rect squareAt(int left, int side, const Rect& row) {
    const long long top = row.top + (static_cast<long long>(row.height()) - side) / 2;
    auto pin = [](long long v, int low, int high) {
        return static_cast<int>(std::max<long long>(low, std::min<long long>(v, high)));
    };
    return {pin(left, row.left, row.right), pin(top, row.top, row.bottom),
            pin(left + static_cast<long long>(side), row.left, row.right), pin(top + side, row.top, row.bottom)};
}

void frame(platform::Canvas& canvas, const Rect& r, int line, platform::Argb colour) {
    render::fillColour(canvas, {r.left, r.top, r.right, r.top + line}, colour);
    render::fillColour(canvas, {r.left, r.bottom - line, r.right, r.bottom}, colour);
    render::fillColour(canvas, {r.left, r.top, r.left + line, r.bottom}, colour);
    render::fillColour(canvas, {r.right - line, r.top, r.right, r.bottom}, colour);
}

} // namespace

CTreeNodeUI::CTreeNodeUI() {
    m_content = new CHorizontalLayoutUI;
    CContainerUI::insertItem(m_content, 0);
}

CTreeNodeUI::~CTreeNodeUI() {
    // In a view the body deletes every row itself.
    if (m_view) return;
    for (CTreeNodeUI* child : m_nodes) child->destroySelf();
}

std::wstring_view CTreeNodeUI::typeName() const { return L"TreeNode"; }

void* CTreeNodeUI::castTo(std::wstring_view name) {
    if (name == L"TreeNode") return this;
    return CListContainerElementUI::castTo(name);
}

void CTreeNodeUI::assignShown(bool visible) {
    const bool was = isShown();
    CListContainerElementUI::assignShown(visible);
    if (m_view && isShown() != was) {
        // The subtree comes and goes with the node.
        m_view->body()->scheduleLayout();
        m_view->countShownRows();
    }
}

bool CTreeNodeUI::isShown() const {
    if (!CListContainerElementUI::isShown()) return false;
    return !m_parentNode || (m_parentNode->m_expanded && m_parentNode->isShown());
}

bool CTreeNodeUI::shownInTree() const {
    return m_visible && (!m_parentNode || (m_parentNode->m_expanded && m_parentNode->shownInTree()));
}

int CTreeNodeUI::depth() const {
    int levels = 0;
    for (const CTreeNodeUI* p = m_parentNode; p; p = p->m_parentNode) ++levels;
    return levels;
}

int CTreeNodeUI::subtreeSize() const {
    int size = 1;
    for (const CTreeNodeUI* child : m_nodes) size += child->subtreeSize();
    return size;
}

// --- Child nodes ---

CControlUI* CTreeNodeUI::itemAt(int index) const {
    return index >= 0 && index < static_cast<int>(m_nodes.size()) ? m_nodes[static_cast<std::size_t>(index)] : nullptr;
}

int CTreeNodeUI::indexOf(CControlUI* control) const {
    auto at = std::find(m_nodes.begin(), m_nodes.end(), control);
    return at == m_nodes.end() ? -1 : static_cast<int>(at - m_nodes.begin());
}

int CTreeNodeUI::itemCount() const { return static_cast<int>(m_nodes.size()); }

bool CTreeNodeUI::addItem(CControlUI* control) { return insertItem(control, itemCount()); }

bool CTreeNodeUI::insertItem(CControlUI* control, int index) {
    CTreeNodeUI* child = nodeOf(control);
    if (!child || child->m_parentNode || child->m_view) return false;
    // A node under itself would make the tree a loop.
    for (const CTreeNodeUI* p = this; p; p = p->m_parentNode)
        if (p == child) return false;
    index = std::clamp(index, 0, itemCount());
    // Its rows go before the next sibling's, or after this node's subtree.
    int row = -1;
    if (m_view)
        row = index < itemCount() ? m_view->indexOf(m_nodes[static_cast<std::size_t>(index)])
                                  : m_view->indexOf(this) + subtreeSize();
    m_nodes.insert(m_nodes.begin() + index, child);
    child->m_parentNode = this;
    if (m_view) {
        m_view->insertRows(child, row);
        m_view->countShownRows();
    }
    if (m_nodes.size() == 1) invalidate(); // the expand button appears
    return true;
}

bool CTreeNodeUI::removeItem(CControlUI* control, bool keepAlive) {
    const int index = indexOf(control);
    return index >= 0 && removeItemAt(index, keepAlive);
}

bool CTreeNodeUI::removeItemAt(int index, bool keepAlive) {
    CTreeNodeUI* child = nodeOf(itemAt(index));
    if (!child) return false;
    if (m_view) {
        m_view->removeNode(child, keepAlive);
    } else {
        m_nodes.erase(m_nodes.begin() + index);
        child->m_parentNode = nullptr;
        if (!keepAlive) child->destroySelf();
    }
    if (m_nodes.empty()) invalidate();
    return true;
}

void CTreeNodeUI::removeAllItems() {
    while (!m_nodes.empty()) removeItemAt(itemCount() - 1);
}

bool CTreeNodeUI::moveItemTo(CControlUI* control, int index) { return moveItemsTo(control, 1, index); }

bool CTreeNodeUI::moveItemsTo(CControlUI* control, int count, int index) {
    const int start = indexOf(control);
    if (start < 0 || count <= 0 || start + count > itemCount() || index < 0 || index + count > itemCount())
        return false;
    std::vector<CTreeNodeUI*> run(m_nodes.begin() + start, m_nodes.begin() + start + count);
    // Taken out and put back kept alive, subtrees and all.
    for (int i = count - 1; i >= 0; --i) removeItemAt(start + i, /*keepAlive=*/true);
    for (int i = 0; i < count; ++i) insertItem(run[static_cast<std::size_t>(i)], index + i);
    return true;
}

CControlUI* CTreeNodeUI::walkTree(FindControlProc proc, void* data, unsigned flags) {
    if (CControlUI* found = CListContainerElementUI::walkTree(proc, data, flags)) return found;
    // Out of a view the child nodes are nobody's children but this node's.
    if (m_view || (flags & FindHitTest)) return nullptr;
    for (CTreeNodeUI* child : m_nodes)
        if (CControlUI* found = child->walkTree(proc, data, flags)) return found;
    return nullptr;
}

// --- States ---

void CTreeNodeUI::sendNodeNotice(const wchar_t* kind, platform::LParam lparam) {
    if (!m_manager) return;
    m_manager->sendNotice(this, kind, static_cast<platform::WParam>(m_row.index()), lparam);
}

void CTreeNodeUI::assignExpanded(bool expanded, bool notify) {
    if (m_expanded == expanded) return;
    m_expanded = expanded;
    invalidate();
    if (m_view) m_view->body()->scheduleLayout();
    if (notify && m_view) sendNodeNotice(expanded ? L"itemexpand" : L"itemcollapse");
    if (m_view) m_view->expansionChanged(this);
}

void CTreeNodeUI::assignChecked(bool checked, bool notify) {
    const bool changed = m_checked != checked;
    m_checked = checked;
    if (changed) invalidate();
    if (m_view && m_view->treeInfo().checkDescendants)
        for (CTreeNodeUI* child : m_nodes) child->assignChecked(checked, false);
    if (changed && notify && m_view) sendNodeNotice(L"itemcheck", checked ? 1 : 0);
}

// --- Layout ---

void CTreeNodeUI::place(Rect rect, bool needInvalidate) {
    const Rect client = placeClientArea(rect, needInvalidate);
    // Wide: a deep tree with a wide indent must not wrap round; every part
    // ends at the row's right edge at most.
    long long x = client.left;
    auto next = [&](long long width) {
        const int left = static_cast<int>(std::min<long long>(x, client.right));
        x = std::min<long long>(x + width, client.right);
        return left;
    };
    m_folderRect = m_checkRect = Rect{};
    if (m_view) {
        const TTreeInfoUI& tree = m_view->treeInfo();
        // Skin units; the row is wide at most, so the indent is capped
        // before it turns into device pixels.
        next(toDevice(static_cast<int>(std::min<long long>(static_cast<long long>(depth()) * tree.indent, 1 << 20))));
        const int folderWidth = toDevice(tree.folderWidth);
        const int checkWidth = toDevice(tree.checkWidth);
        if (tree.showFolder) m_folderRect = squareAt(next(folderWidth), folderWidth, client);
        if (tree.showCheck) m_checkRect = squareAt(next(checkWidth), checkWidth, client);
    }
    m_textRect = {static_cast<int>(x), client.top, client.right, client.bottom};
    placeChildren([&](int, CControlUI* child) { child->place(m_textRect, needInvalidate); });
}

// --- Events ---

CTreeNodeUI::Part CTreeNodeUI::partAt(Point point) const {
    if (!m_nodes.empty() && m_folderRect.contains(point)) return Part::Folder;
    if (m_checkRect.contains(point)) return Part::Check;
    return Part::None;
}

void CTreeNodeUI::assignHotPart(Part part) {
    if (m_hotPart == part) return;
    m_hotPart = part;
    invalidate();
}

void CTreeNodeUI::handleEvent(TInputEventUI& event) {
    if (m_view && enabledState()) {
        switch (event.kind) {
        case UiEventKind::ButtonDown:
        case UiEventKind::DoubleClick: {
            // A quick second press on a part is a second toggle, not a double click.
            const Part part = partAt(event.mousePos);
            if (part == Part::Folder) {
                m_row.passFocus();
                assignExpanded(!m_expanded);
                return;
            }
            if (part == Part::Check) {
                m_row.passFocus();
                assignChecked(!m_checked);
                return;
            }
            if (event.kind == UiEventKind::DoubleClick) {
                sendNodeNotice(L"itemdbclick");
                if (!m_nodes.empty()) assignExpanded(!m_expanded);
                return;
            }
            break;
        }
        case UiEventKind::MouseMove:
            assignHotPart(partAt(event.mousePos));
            break;
        case UiEventKind::MouseLeave:
            assignHotPart(Part::None);
            break;
        default:
            break;
        }
    }
    CListContainerElementUI::handleEvent(event);
}

// --- Attributes ---

void CTreeNodeUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"expanded") {
        assignExpanded(attr::parseBool(value), false);
    } else if (name == L"checked") {
        assignChecked(attr::parseBool(value), false);
    } else {
        CListContainerElementUI::applyAttribute(name, value);
    }
}

// --- Painting ---

void CTreeNodeUI::drawPart(platform::Canvas& canvas, Part part) {
    const bool folder = part == Part::Folder;
    const Rect& r = folder ? m_folderRect : m_checkRect;
    if (r.isEmpty() || !m_view || (folder && m_nodes.empty())) return;
    const bool selected = folder ? m_expanded : m_checked;
    ImageDescription* images = folder ? m_view->treeInfo().folderImages : m_view->treeInfo().checkImages;
    // The state's image, else the same without hot, else a drawn glyph.
    for (int state : {TTreeInfoUI::partImage(selected, m_hotPart == part), TTreeInfoUI::partImage(selected, false)}) {
        ImageDescription& image = images[state];
        if (!image.description.isEmpty() && render::drawImageDescription(&canvas, m_manager, r, paintRect(), image))
            return;
    }
    const platform::Argb colour = m_row.textColour() ? m_row.textColour() : 0xFF000000u;
    // The glyph's lengths are skin units like every other.
    const int side = std::min({toDevice(folder ? 9 : 11), r.width(), r.height()});
    const int inset = toDevice(folder ? 2 : 3), line = std::max(1, toDevice(1));
    const Rect box{r.left + (r.width() - side) / 2, r.top + (r.height() - side) / 2,
                   r.left + (r.width() - side) / 2 + side, r.top + (r.height() - side) / 2 + side};
    frame(canvas, box, line, colour);
    if (!folder) {
        // A filled square inside the box when checked.
        if (selected && side > 2 * inset)
            render::fillColour(canvas, {box.left + inset, box.top + inset, box.right - inset, box.bottom - inset},
                               colour);
        return;
    }
    // Minus when expanded, plus when collapsed.
    const int mid = box.top + (side - line) / 2, centre = box.left + (side - line) / 2;
    render::fillColour(canvas, {box.left + inset, mid, box.right - inset, mid + line}, colour);
    if (!selected) render::fillColour(canvas, {centre, box.top + inset, centre + line, box.bottom - inset}, colour);
}

void CTreeNodeUI::drawStateImage(platform::Canvas& canvas) {
    drawPart(canvas, Part::Folder);
    drawPart(canvas, Part::Check);
}

void CTreeNodeUI::drawTextPart(platform::Canvas& canvas) { m_row.drawTextIn(canvas, m_textRect, m_text.view()); }
