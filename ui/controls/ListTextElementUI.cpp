// CListTextElementUI: cell texts drawn in the list's columns.
#include "ui/controls/ListTextElementUI.h"

#include <string>

std::wstring_view CListTextElementUI::typeName() const { return L"ListTextElement"; }

void* CListTextElementUI::castTo(std::wstring_view name) {
    if (name == L"ListTextElement") return this;
    return CListLabelElementUI::castTo(name);
}

void CListTextElementUI::assignText(std::wstring_view text) {
    CListLabelElementUI::assignText(text);
    m_cells.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = text.find(L'|', start);
        m_cells.emplace_back(
            text.substr(start, bar == std::wstring_view::npos ? std::wstring_view::npos : bar - start));
        if (bar == std::wstring_view::npos) break;
        start = bar + 1;
    }
    if (text.empty()) m_cells.clear();
}

std::wstring_view CListTextElementUI::cellText(int column) const {
    if (column < 0 || column >= cellCount()) return {};
    return m_cells[column].view();
}

void CListTextElementUI::assignCellText(int column, std::wstring_view text) {
    if (column < 0) return;
    std::vector<CStringUI> cells = m_cells;
    if (column >= static_cast<int>(cells.size())) cells.resize(column + 1);
    cells[column] = text;
    std::wstring joined;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) joined += L'|';
        joined += cells[i].view();
    }
    assignText(joined);
}

void CListTextElementUI::drawTextPart(platform::Canvas& canvas) {
    const int columns = m_row.owner() ? static_cast<int>(m_row.owner()->listInfo().columns.size()) : 0;
    if (columns == 0) {
        m_row.drawCellText(canvas, 0, cellText(0), true);
        return;
    }
    for (int i = 0; i < columns && i < cellCount(); ++i) m_row.drawCellText(canvas, i, cellText(i), false);
}
