// CTabLayoutUI: page selection and the insert and remove rules that keep
// the selected page.
#include "ui/layout/TabLayoutUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/layout/ScrollBarUI.h"

#include <algorithm>

using platform::Rect;
using platform::Size;

std::wstring_view CTabLayoutUI::typeName() const { return L"TabLayout"; }

void* CTabLayoutUI::castTo(std::wstring_view name) {
    if (name == L"TabLayout") return this;
    return CContainerUI::castTo(name);
}

void CTabLayoutUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"selectedid")
        selectPage(attr::parseInt(value), true);
    else
        CContainerUI::applyAttribute(name, value);
}

bool CTabLayoutUI::addItem(CControlUI* control) {
    // Not through insertItem, whose rule is this class's own.
    if (!CContainerUI::insertItem(control, m_items.size())) return false;
    if (m_selected == -1 && control->isShown())
        m_selected = indexOf(control);
    else
        control->assignShown(false);
    return true;
}

bool CTabLayoutUI::insertItem(CControlUI* control, int index) {
    if (!CContainerUI::insertItem(control, index)) return false;
    if (m_selected == -1 && control->isShown()) {
        m_selected = indexOf(control);
    } else if (m_selected == -1 || m_selected < index) {
        control->assignShown(false);
    } else {
        // Inserted at or before the selection: the same page stays selected
        // (one further on), and only that page may be shown.
        ++m_selected;
        control->assignShown(false);
    }
    return true;
}

bool CTabLayoutUI::removeItem(CControlUI* control, bool keepAlive) {
    const int index = indexOf(control);
    if (!CContainerUI::removeItem(control, keepAlive)) return false;
    if (index == m_selected) {
        if (m_items.isEmpty()) {
            m_selected = -1;
        } else {
            m_selected = 0;
            m_items[0]->assignShown(true);
        }
        scheduleParentLayout();
    } else if (index < m_selected) {
        --m_selected;
    }
    return true;
}

bool CTabLayoutUI::removeItemAt(int index, bool keepAlive) { return removeItem(itemAt(index), keepAlive); }

void CTabLayoutUI::removeAllItems() {
    m_selected = -1;
    CContainerUI::removeAllItems();
    scheduleParentLayout();
}

bool CTabLayoutUI::selectPage(int index, bool notify) {
    if (index < 0 || index >= m_items.size()) return false;
    if (index == m_selected) return true;
    const int previous = m_selected;
    m_selected = index;
    for (int i = 0; i < m_items.size(); ++i) {
        if (i == index) {
            m_items[i]->assignShown(true);
            m_items[i]->takeFocus();
        } else {
            m_items[i]->assignShown(false);
        }
    }
    scheduleParentLayout();
    invalidate();
    if (m_manager) {
        m_manager->focusNextTabStop(true);
        if (notify)
            m_manager->sendNotice(this, L"tabselect", static_cast<platform::WParam>(index),
                                  static_cast<platform::LParam>(previous));
    }
    return true;
}

void CTabLayoutUI::place(Rect rect, bool needInvalidate) {
    // The selected page takes the whole inset area, scroll bars or not.
    placeClientArea(rect, needInvalidate);
    const Rect in = inset();
    const Rect rc{m_pos.left + in.left, m_pos.top + in.top, m_pos.right - in.right, m_pos.bottom - in.bottom};
    placeChildren([&](int i, CControlUI* child) {
        if (i != m_selected) return;
        const Rect pad = child->padding();
        const Rect area{rc.left + pad.left, rc.top + pad.top, rc.right - pad.right, rc.bottom - pad.bottom};
        const Size measured = child->measure({area.width(), area.height()});
        int w = measured.cx == 0 ? std::max(0, area.width()) : measured.cx;
        int h = measured.cy == 0 ? std::max(0, area.height()) : measured.cy;
        w = std::clamp(w, child->minWidth(), child->maxWidth());
        h = std::clamp(h, child->minHeight(), child->maxHeight());
        child->place({area.left, area.top, area.left + w, area.top + h}, false);
    });
}
