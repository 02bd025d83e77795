// What a list tells its rows (the shared row look and the column edges) and
// what the rows ask of their list: the two sides of a list and its rows.
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Graphics.h"
#include "ui/core/EventsUI.h"
#include "ui/render/ImageDescription.h"

#include <cstdint>
#include <vector>

class CListRowUI;

// The row look a list keeps for all of its rows, and the columns its header
// lays out. Colours of 0 are not drawn (text colours then take the window's).
struct TListInfoUI {
    int font = -1;
    unsigned textStyle = platform::DT_VCENTER | platform::DT_SINGLELINE;
    platform::Rect textPadding;
    platform::Argb textColour = 0;
    platform::Argb hotTextColour = 0;
    platform::Argb selectedTextColour = 0;
    platform::Argb disabledTextColour = 0;
    platform::Argb bkColour = 0;
    platform::Argb altBkColour = 0; // every second shown row
    platform::Argb hotBkColour = 0;
    platform::Argb selectedBkColour = 0;
    platform::Argb disabledBkColour = 0;
    ImageDescription bkImage;
    ImageDescription hotImage;
    ImageDescription selectedImage;
    ImageDescription disabledImage;
    platform::Argb lineColour = 0;
    bool rowLines = false;    // a line under every row
    bool columnLines = false; // a line at every column's right edge
    // Left and right edges (window coordinates) of every visible header
    // item; empty without a shown header: one column spans the row.
    std::vector<std::pair<int, int>> columns;
};

// The list side, as its rows see it.
class IListOwnerUI {
public:
    virtual TListInfoUI& listInfo() = 0;
    // The header's columns moved: rows that place children by them must be
    // laid out again, and every row repainted.
    virtual void columnsChanged() = 0;
    // Gives the list the keyboard focus (rows pass the focus on to it, so
    // the keys reach the list whichever row was pressed).
    virtual void focusList() = 0;
    // A row was pressed with the given key state (KeyStateBits).
    virtual void rowPressed(int index, std::uint16_t keyState) = 0;
    // A row was double-clicked or Return was pressed on it.
    virtual void rowActivated(int index) = 0;
    // A key reached a row; true when the list used it.
    virtual bool rowKey(const TInputEventUI& event) = 0;
    // Whether row `index` takes the alternate background: every second
    // row, counting only the rows that are shown.
    virtual bool alternateRow(int index) const { return index % 2 == 1; }

protected:
    ~IListOwnerUI() = default;
};

// A row of a list ("IListItem" through castTo).
class IListItemUI {
public:
    virtual CListRowUI& listRow() = 0;

protected:
    ~IListItemUI() = default;
};
