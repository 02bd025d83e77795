// CListContainerElementUI: a container drawn with its list's row look.
#include "ui/controls/ListContainerElementUI.h"

std::wstring_view CListContainerElementUI::typeName() const { return L"ListContainerElement"; }

void* CListContainerElementUI::castTo(std::wstring_view name) {
    if (name == L"ListContainerElement") return this;
    if (name == L"IListItem") return static_cast<IListItemUI*>(this);
    return CContainerUI::castTo(name);
}

void CListContainerElementUI::takeFocus() {
    if (!m_row.passFocus()) CContainerUI::takeFocus();
}

void CListContainerElementUI::handleEvent(TInputEventUI& event) {
    if (m_row.handleEvent(event)) return;
    CContainerUI::handleEvent(event);
}

platform::Size CListContainerElementUI::measure(platform::Size) {
    return {fixedWidth(), fixedHeight() > 0 ? fixedHeight() : m_row.textRowHeight()};
}

void CListContainerElementUI::drawBackground(platform::Canvas& canvas) {
    CContainerUI::drawBackground(canvas);
    m_row.drawBackground(canvas);
}
