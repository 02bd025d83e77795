// The part every kind of list row shares: its place in the list, its
// selected and hot states, how it reacts to the mouse and keys, and how it
// draws its background and the text of its cells.
#pragma once

#include "platform/graphics/Geometry.h"
#include "ui/controls/ListInfoUI.h"

#include <string_view>

class CControlUI;

// Held by each row control (one of the four row kinds); not a control
// itself. The owner is the list the row was added to (null while it is in
// none). UI thread only.
class CListRowUI {
public:
    explicit CListRowUI(CControlUI& row) : m_row(row) {}

    IListOwnerUI* owner() const { return m_owner; }
    void assignOwner(IListOwnerUI* owner, int index) {
        m_owner = owner;
        m_index = index;
    }
    int index() const { return m_index; }
    void assignIndex(int index) { m_index = index; }
    bool selected() const { return m_selected; }
    // Changes the flag and repaints; the list keeps the selection itself.
    void assignSelected(bool selected);
    bool hot() const { return m_hot; }

    // Passes the keyboard focus on to the list (rows never hold it, so the
    // keys always reach the list); false without a list.
    bool passFocus() {
        if (!m_owner) return false;
        m_owner->focusList();
        return true;
    }
    // Handles what rows share (press, double click, hover, keys); true when
    // the event was used.
    bool handleEvent(TInputEventUI& event);
    // Background colour and image for the row's state, the alternate
    // colour, and the row and column lines.
    void drawBackground(platform::Canvas& canvas);
    // The text colour for the row's state (0: the window's).
    platform::Argb textColour() const;
    // Draws `text` in the cell of `column` (the whole row without columns,
    // or for a single text), padded, in the list's font and style.
    void drawCellText(platform::Canvas& canvas, int column, std::wstring_view text, bool wholeRow);
    // Draws `text` in `area` (window coordinates), padded, in the list's
    // font and style and the row's text colour.
    void drawTextIn(platform::Canvas& canvas, const platform::Rect& area, std::wstring_view text);
    // The cell rectangle of `column` in this row (the whole row without
    // columns or for a column past the last).
    platform::Rect cellRect(int column) const;
    // The height a text row takes: the list font's height plus the text
    // padding above and below.
    int textRowHeight() const;

private:
    CControlUI& m_row;
    IListOwnerUI* m_owner = nullptr;
    int m_index = -1;
    bool m_selected = false;
    bool m_hot = false;
};
