// A list row with one text per column.
#pragma once

#include "ui/base/StringUI.h"
#include "ui/controls/ListLabelElementUI.h"

#include <vector>

// The text row: its text is split at "|" into the texts of its cells, one
// per header column from the left (the first cell spans the row when the
// list shows no header). Cells past the last column are not drawn. UI
// thread only.
class CListTextElementUI : public CListLabelElementUI {
public:
    CListTextElementUI() = default;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void assignText(std::wstring_view text) override;
    void drawTextPart(platform::Canvas& canvas) override;

    int cellCount() const { return static_cast<int>(m_cells.size()); }
    // Empty for a cell past the last.
    std::wstring_view cellText(int column) const;
    // Sets one cell (adding empty cells before it as needed); the row's
    // text follows.
    void assignCellText(int column, std::wstring_view text);

private:
    std::vector<CStringUI> m_cells;
};
