// CListUI: header and body parts, row bookkeeping, the selection rules,
// keyboard movement and the row look attributes.
#include "ui/controls/ListUI.h"

#include "ui/controls/ListHeaderUI.h"
#include "ui/controls/ListRowUI.h"
#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"

#include <algorithm>
#include <utility>

using platform::Argb;
using platform::Rect;

namespace {

CListRowUI* rowOf(CControlUI* control) {
    auto* item = control ? static_cast<IListItemUI*>(control->castTo(L"IListItem")) : nullptr;
    return item ? &item->listRow() : nullptr;
}

// Skins write text colours as RRGGBB: no alpha means opaque.
Argb opaqueText(Argb colour) { return colour != 0 && (colour >> 24) == 0 ? colour | 0xFF000000u : colour; }

} // namespace

CListUI::CListUI() {
    m_header = new CListHeaderUI;
    m_header->assignShown(false);
    m_body = new CVerticalLayoutUI;
    m_body->enableScrollBars(true, false);
    CVerticalLayoutUI::insertItem(m_header, 0);
    CVerticalLayoutUI::insertItem(m_body, 1);
}

std::wstring_view CListUI::typeName() const { return L"List"; }

void* CListUI::castTo(std::wstring_view name) {
    if (name == L"List") return this;
    if (name == L"IListOwner") return static_cast<IListOwnerUI*>(this);
    return CVerticalLayoutUI::castTo(name);
}

unsigned CListUI::behaviourFlags() const { return keyboardEnabled() ? ControlFlags::TabStop : 0u; }

// --- Rows ---

CControlUI* CListUI::itemAt(int index) const { return m_body->itemAt(index); }
int CListUI::indexOf(CControlUI* control) const { return m_body->indexOf(control); }
int CListUI::itemCount() const { return m_body->itemCount(); }

bool CListUI::moveItemTo(CControlUI* control, int index) {
    if (!m_body->moveItemTo(control, index)) return false;
    renumberRows();
    return true;
}

bool CListUI::moveItemsTo(CControlUI* control, int count, int index) {
    if (!m_body->moveItemsTo(control, count, index)) return false;
    renumberRows();
    return true;
}

bool CListUI::addItem(CControlUI* control) { return insertItem(control, itemCount()); }

bool CListUI::insertItem(CControlUI* control, int index) {
    if (!control) return false;
    if (auto* header = static_cast<CListHeaderUI*>(control->castTo(L"ListHeader"))) {
        // A header from markup replaces the default one.
        if (!CVerticalLayoutUI::insertItem(header, 0)) return false;
        CVerticalLayoutUI::removeItem(m_header);
        m_header = header;
        return true;
    }
    if (!m_body->insertItem(control, index)) return false;
    if (CListRowUI* row = rowOf(control)) row->assignOwner(this, index);
    renumberRows();
    return true;
}

bool CListUI::removeItem(CControlUI* control, bool keepAlive) {
    const int index = indexOf(control);
    return index >= 0 && removeItemAt(index, keepAlive);
}

bool CListUI::removeItemAt(int index, bool keepAlive) {
    CControlUI* control = itemAt(index);
    if (!control) return false;
    // A kept row must not call back into a list it has left.
    if (CListRowUI* row = rowOf(control)) {
        row->assignOwner(nullptr, -1);
        row->assignSelected(false);
    }
    if (!m_body->removeItemAt(index, keepAlive)) return false;
    if (m_current == index) m_current = -1;
    if (m_anchor == index) m_anchor = -1;
    if (m_current > index) --m_current;
    if (m_anchor > index) --m_anchor;
    renumberRows();
    return true;
}

void CListUI::removeAllItems() {
    for (int i = 0; i < itemCount(); ++i)
        if (CListRowUI* row = rowOf(itemAt(i))) row->assignOwner(nullptr, -1);
    m_body->removeAllItems();
    m_selected.clear();
    m_current = m_anchor = -1;
}

void CListUI::renumberRows() {
    // Rows keep their own selected flag; indexes follow their places.
    CControlUI* current = m_current >= 0 ? itemAt(m_current) : nullptr;
    m_selected.clear();
    for (int i = 0; i < itemCount(); ++i) {
        CListRowUI* row = rowOf(itemAt(i));
        if (!row) continue;
        row->assignIndex(i);
        if (row->selected()) m_selected.push_back(i);
    }
    m_current = current ? indexOf(current) : -1;
    if (m_anchor >= itemCount()) m_anchor = -1;
}

// --- Layout ---

void CListUI::place(Rect rect, bool needInvalidate) {
    // A hidden header is not placed and so cannot report its columns.
    if (!m_header->isShown() && !m_info.columns.empty()) {
        m_info.columns.clear();
        columnsChanged();
    }
    CVerticalLayoutUI::place(rect, needInvalidate);
}

// --- Selection ---

bool CListUI::isSelectable(int index) const {
    CControlUI* c = itemAt(index);
    return c && c->isShown() && c->enabledState() && rowOf(c) != nullptr;
}

void CListUI::applySelection(std::vector<int> selected, int current, bool notify) {
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    const int previous = m_current;
    m_current = current;
    if (selected == m_selected) return;
    for (int i : m_selected)
        if (CListRowUI* row = rowOf(itemAt(i))) row->assignSelected(false);
    m_selected = std::move(selected);
    for (int i : m_selected)
        if (CListRowUI* row = rowOf(itemAt(i))) row->assignSelected(true);
    if (notify && m_manager)
        m_manager->sendNotice(this, L"itemselect", static_cast<platform::WParam>(current),
                              static_cast<platform::LParam>(previous));
}

bool CListUI::selectItem(int index, bool notify) {
    if (index == -1) {
        applySelection({}, -1, notify);
        m_anchor = -1;
        return true;
    }
    if (!isSelectable(index)) return false;
    applySelection({index}, index, notify);
    m_anchor = index;
    ensureVisible(index);
    return true;
}

void CListUI::assignMultiSelect(bool multi) {
    m_multiSelect = multi;
    if (!multi && m_selected.size() > 1) {
        std::vector<int> keep;
        if (m_current >= 0 && std::binary_search(m_selected.begin(), m_selected.end(), m_current))
            keep.push_back(m_current);
        applySelection(keep, m_current, false);
    }
}

void CListUI::rowPressed(int index, std::uint16_t keyState) {
    if (!isSelectable(index)) return;
    if (m_multiSelect && (keyState & KeyStateBits::Control)) {
        std::vector<int> selected = m_selected;
        auto at = std::find(selected.begin(), selected.end(), index);
        if (at != selected.end())
            selected.erase(at);
        else
            selected.push_back(index);
        m_anchor = index;
        applySelection(std::move(selected), index, true);
    } else if (m_multiSelect && (keyState & KeyStateBits::Shift) && m_anchor >= 0) {
        std::vector<int> selected;
        for (int i = std::min(m_anchor, index); i <= std::max(m_anchor, index); ++i)
            if (isSelectable(i)) selected.push_back(i);
        applySelection(std::move(selected), index, true);
    } else {
        m_anchor = index;
        applySelection({index}, index, true);
    }
}

void CListUI::columnsChanged() {
    for (int i = 0; i < itemCount(); ++i) itemAt(i)->scheduleLayout();
    invalidate();
}

void CListUI::focusList() {
    if (m_manager && m_manager->focusedControl() != this) takeFocus();
}

void CListUI::rowActivated(int index) {
    if (m_manager && itemAt(index))
        m_manager->sendNotice(itemAt(index), L"itemactivate", static_cast<platform::WParam>(index));
}

int CListUI::stepFrom(int from, int steps) const {
    if (from < 0 || !isSelectable(from)) return m_body->nearestSelectable(steps >= 0 ? 0 : itemCount() - 1, steps >= 0);
    int at = from;
    const bool forward = steps > 0;
    for (int i = 0; i < (forward ? steps : -steps); ++i) {
        const int next = forward ? m_body->nearestSelectable(at + 1, true) : at - 1;
        if (forward) {
            if (next < 0) break;
            at = next;
            continue;
        }
        // Backwards: the nearest selectable row above, if any.
        int found = -1;
        for (int j = next; j >= 0; --j)
            if (isSelectable(j)) {
                found = j;
                break;
            }
        if (found < 0) break;
        at = found;
    }
    return at;
}

int CListUI::rowsPerPage() const {
    CControlUI* row = m_current >= 0 ? itemAt(m_current) : itemAt(0);
    const int rowHeight = row ? std::max(1, row->height()) : 1;
    return std::max(1, m_body->innerBounds().height() / rowHeight);
}

bool CListUI::rowKey(const TInputEventUI& event) {
    if (event.kind != UiEventKind::KeyDown || !m_enabled) return false;
    int target = -1;
    switch (event.keyChar) {
    case platform::VK_UP:
        target = stepFrom(m_current, -1);
        break;
    case platform::VK_DOWN:
        target = stepFrom(m_current, 1);
        break;
    case platform::VK_PRIOR:
        target = stepFrom(m_current, -rowsPerPage());
        break;
    case platform::VK_NEXT:
        target = stepFrom(m_current, rowsPerPage());
        break;
    case platform::VK_HOME:
        target = m_body->nearestSelectable(0, true);
        break;
    case platform::VK_END:
        target = stepFrom(itemCount() - 1, 0);
        if (!isSelectable(target)) target = stepFrom(-1, -1);
        break;
    case platform::VK_RETURN:
        if (m_current >= 0) rowActivated(m_current);
        return true;
    default:
        return false;
    }
    if (target < 0) return true;
    if (m_multiSelect && (keyStateNow() & KeyStateBits::Shift) && m_anchor >= 0) {
        std::vector<int> selected;
        for (int i = std::min(m_anchor, target); i <= std::max(m_anchor, target); ++i)
            if (isSelectable(i)) selected.push_back(i);
        applySelection(std::move(selected), target, true);
    } else {
        m_anchor = target;
        applySelection({target}, target, true);
    }
    ensureVisible(target);
    return true;
}

void CListUI::ensureVisible(int index) {
    CControlUI* row = itemAt(index);
    if (!row || !row->isShown()) return;
    const Rect inner = m_body->innerBounds();
    const Rect& r = row->bounds();
    int dy = 0;
    if (r.top < inner.top)
        dy = r.top - inner.top;
    else if (r.bottom > inner.bottom)
        dy = std::min(r.bottom - inner.bottom, r.top - inner.top);
    if (dy == 0) return;
    const platform::Size offset = m_body->scrollOffset();
    m_body->scrollTo(offset.cx, offset.cy + dy);
}

// --- Events ---

void CListUI::handleEvent(TInputEventUI& event) {
    if (event.kind == UiEventKind::KeyDown && rowKey(event)) return;
    CVerticalLayoutUI::handleEvent(event);
}

// --- Attributes ---

void CListUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    auto colour = [&](Argb& field, bool text) {
        field = text ? opaqueText(attr::parseColour(value)) : attr::parseColour(value);
        invalidate();
    };
    auto image = [&](ImageDescription& field) {
        field.setDescription(value);
        invalidate();
    };
    if (name == L"header") {
        m_header->assignShown(value != L"hidden");
    } else if (name == L"multiselect") {
        assignMultiSelect(attr::parseBool(value));
    } else if (name == L"itemfont") {
        m_info.font = attr::parseInt(value);
        scheduleLayout();
    } else if (name == L"itemalign") {
        m_info.textStyle &= ~(platform::DT_CENTER | platform::DT_RIGHT);
        if (value == L"center") m_info.textStyle |= platform::DT_CENTER;
        if (value == L"right") m_info.textStyle |= platform::DT_RIGHT;
        invalidate();
    } else if (name == L"itemtextpadding") {
        m_info.textPadding = attr::parseRect(value);
        scheduleLayout();
    } else if (name == L"itemtextcolor") {
        colour(m_info.textColour, true);
    } else if (name == L"itemhottextcolor") {
        colour(m_info.hotTextColour, true);
    } else if (name == L"itemselectedtextcolor") {
        colour(m_info.selectedTextColour, true);
    } else if (name == L"itemdisabledtextcolor") {
        colour(m_info.disabledTextColour, true);
    } else if (name == L"itembkcolor") {
        colour(m_info.bkColour, false);
    } else if (name == L"itemaltbkcolor") {
        colour(m_info.altBkColour, false);
    } else if (name == L"itemhotbkcolor") {
        colour(m_info.hotBkColour, false);
    } else if (name == L"itemselectedbkcolor") {
        colour(m_info.selectedBkColour, false);
    } else if (name == L"itemdisabledbkcolor") {
        colour(m_info.disabledBkColour, false);
    } else if (name == L"itembkimage") {
        image(m_info.bkImage);
    } else if (name == L"itemhotimage") {
        image(m_info.hotImage);
    } else if (name == L"itemselectedimage") {
        image(m_info.selectedImage);
    } else if (name == L"itemdisabledimage") {
        image(m_info.disabledImage);
    } else if (name == L"itemlinecolor") {
        colour(m_info.lineColour, false);
    } else if (name == L"itemshowrowline") {
        m_info.rowLines = attr::parseBool(value);
        invalidate();
    } else if (name == L"itemshowcolumnline") {
        m_info.columnLines = attr::parseBool(value);
        invalidate();
    } else {
        CVerticalLayoutUI::applyAttribute(name, value);
    }
}
