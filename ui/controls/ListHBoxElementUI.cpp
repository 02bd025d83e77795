// CListHBoxElementUI: a horizontal layout whose cells are the list's columns.
#include "ui/controls/ListHBoxElementUI.h"

using platform::Rect;

std::wstring_view CListHBoxElementUI::typeName() const { return L"ListHBoxElement"; }

void* CListHBoxElementUI::castTo(std::wstring_view name) {
    if (name == L"ListHBoxElement") return this;
    if (name == L"IListItem") return static_cast<IListItemUI*>(this);
    return CHorizontalLayoutUI::castTo(name);
}

void CListHBoxElementUI::place(Rect rect, bool needInvalidate) {
    const auto* columns = m_row.owner() ? &m_row.owner()->listInfo().columns : nullptr;
    if (!columns || columns->empty()) {
        CHorizontalLayoutUI::place(rect, needInvalidate);
        return;
    }
    const Rect client = placeClientArea(rect, needInvalidate);
    int column = 0;
    placeChildren([&](int, CControlUI* child) {
        Rect cell{client.left, client.top, client.left, client.bottom};
        if (column < static_cast<int>(columns->size()))
            cell = {(*columns)[column].first, client.top, (*columns)[column].second, client.bottom};
        ++column;
        const Rect pad = child->padding();
        Rect r{cell.left + pad.left, cell.top + pad.top, cell.right - pad.right, cell.bottom - pad.bottom};
        if (r.right < r.left) r.right = r.left;
        if (r.bottom < r.top) r.bottom = r.top;
        child->place(r, needInvalidate);
    });
}

void CListHBoxElementUI::takeFocus() {
    if (!m_row.passFocus()) CHorizontalLayoutUI::takeFocus();
}

void CListHBoxElementUI::handleEvent(TInputEventUI& event) {
    if (m_row.handleEvent(event)) return;
    CHorizontalLayoutUI::handleEvent(event);
}

platform::Size CListHBoxElementUI::measure(platform::Size) {
    return {fixedWidth(), fixedHeight() > 0 ? fixedHeight() : m_row.textRowHeight()};
}

void CListHBoxElementUI::drawBackground(platform::Canvas& canvas) {
    CHorizontalLayoutUI::drawBackground(canvas);
    m_row.drawBackground(canvas);
}
