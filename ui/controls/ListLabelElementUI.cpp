// CListLabelElementUI: a label drawn with its list's row look.
#include "ui/controls/ListLabelElementUI.h"

std::wstring_view CListLabelElementUI::typeName() const { return L"ListLabelElement"; }

void* CListLabelElementUI::castTo(std::wstring_view name) {
    if (name == L"ListLabelElement") return this;
    if (name == L"IListItem") return static_cast<IListItemUI*>(this);
    return CLabelUI::castTo(name);
}

void CListLabelElementUI::takeFocus() {
    if (!m_row.passFocus()) CLabelUI::takeFocus();
}

void CListLabelElementUI::handleEvent(TInputEventUI& event) {
    if (m_row.handleEvent(event)) return;
    CLabelUI::handleEvent(event);
}

platform::Size CListLabelElementUI::measure(platform::Size) {
    return {fixedWidth(), fixedHeight() > 0 ? fixedHeight() : m_row.textRowHeight()};
}

void CListLabelElementUI::drawBackground(platform::Canvas& canvas) {
    CLabelUI::drawBackground(canvas);
    m_row.drawBackground(canvas);
}

void CListLabelElementUI::drawTextPart(platform::Canvas& canvas) { m_row.drawCellText(canvas, 0, m_text.view(), true); }
