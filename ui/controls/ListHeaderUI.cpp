// CListHeaderUI: lays out the columns and tells the list where they are.
#include "ui/controls/ListHeaderUI.h"

#include "ui/controls/ListInfoUI.h"

#include <algorithm>
#include <utility>
#include <vector>

std::wstring_view CListHeaderUI::typeName() const { return L"ListHeader"; }

void* CListHeaderUI::castTo(std::wstring_view name) {
    if (name == L"ListHeader") return this;
    return CHorizontalLayoutUI::castTo(name);
}

void CListHeaderUI::place(platform::Rect rect, bool needInvalidate) {
    CHorizontalLayoutUI::place(rect, needInvalidate);
    auto* owner = m_parent ? static_cast<IListOwnerUI*>(m_parent->castTo(L"IListOwner")) : nullptr;
    if (!owner) return;
    std::vector<std::pair<int, int>> columns;
    if (isShown())
        for (CControlUI* item : m_items)
            if (item->isShown() && !item->isFloating()) columns.emplace_back(item->bounds().left, item->bounds().right);
    if (columns == owner->listInfo().columns) return;
    owner->listInfo().columns = std::move(columns);
    owner->columnsChanged();
}

platform::Size CListHeaderUI::measure(platform::Size available) {
    if (fixedHeight() > 0) return {fixedWidth(), fixedHeight()};
    int height = 0;
    for (CControlUI* item : m_items)
        if (item->isShown() && !item->isFloating()) height = std::max(height, item->measure(available).cy);
    return {fixedWidth(), height};
}
