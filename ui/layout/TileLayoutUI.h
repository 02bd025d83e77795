// A grid of equal cells: row-major with a column count that is asked for or
// follows from the width, or column-major with a fixed number of rows.
#pragma once

#include "ui/layout/ContainerUI.h"

// A tile layout. "itemsize" sets the cell, "columns" and "rows" ask for a
// grid ("rows" of 1 or more fills column by column), "childpadding" is the
// gap between columns and "childvpadding" the gap between rows. A gap left
// at 0 spreads the cells over the width (or height) instead. UI thread only.
class CTileLayoutUI : public CContainerUI {
public:
    CTileLayoutUI() = default;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    // Refused once a grid of both columns and rows is full.
    bool addItem(CControlUI* control) override;
    bool insertItem(CControlUI* control, int index) override;

    platform::Size itemSize() const { return m_itemSize; }
    void assignItemSize(platform::Size size);
    int requestedColumns() const { return m_requestedColumns; }
    void assignColumns(int columns); // negative ignored
    int requestedRows() const { return m_requestedRows; }
    void assignRows(int rows); // negative ignored
    int rowGap() const { return m_rowGap; }
    void assignRowGap(int gap); // negative becomes 0
    // What the last layout used.
    int columnsInUse() const { return m_columns; }
    int rowsInUse() const { return m_rows; }

private:
    bool isFull() const;
    void placeInCell(CControlUI* child, int x, int y);

    platform::Size m_itemSize{80, 80};
    int m_columns = 1;
    int m_rows = 0;
    int m_requestedColumns = 0;
    int m_requestedRows = 0;
    int m_rowGap = 0;
};
