// A list: an optional header of columns above a scrolling column of rows,
// with single or multiple selection, keyboard movement and the list
// notices.
#pragma once

#include "ui/controls/ListInfoUI.h"
#include "ui/layout/VerticalLayoutUI.h"

#include <vector>

class CListHeaderUI;

// The list. It owns two parts: its header (a CListHeaderUI; a "ListHeader"
// child replaces the empty default one, which stays hidden) and its body, a
// vertical layout with a vertical scroll bar holding the rows. Its
// container interface works on the rows: index N is row N. Rows are the
// four list element kinds (castTo "IListItem"); other controls may be
// added and are laid out but never selected.
//
// Selection: a press selects the row alone; with "multiselect" Ctrl
// toggles a row and Shift selects the run from the last row pressed
// without Shift. Up/Down/Home/End/PageUp/PageDown move the current row
// (Shift extends a multiple selection) and scroll it into view; Return
// activates it. Notices: "itemselect" from the list when the selection
// changed (wparam the current row, lparam the previous one, -1 for none),
// "itemclick" from a pressed row and "itemactivate" from a double-clicked
// row or the current one on Return (wparam the row's index). UI thread
// only.
class CListUI : public CVerticalLayoutUI, public IListOwnerUI {
public:
    CListUI();

    // --- IContainerUI: the rows ---
    CControlUI* itemAt(int index) const override;
    int indexOf(CControlUI* control) const override;
    bool moveItemTo(CControlUI* control, int index) override;
    bool moveItemsTo(CControlUI* control, int count, int index) override;
    int itemCount() const override;
    bool addItem(CControlUI* control) override;
    bool insertItem(CControlUI* control, int index) override;
    bool removeItem(CControlUI* control, bool keepAlive = false) override;
    bool removeItemAt(int index, bool keepAlive = false) override;
    void removeAllItems() override;

    // --- CControlUI ---
    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;

    // --- IListOwnerUI ---
    TListInfoUI& listInfo() override { return m_info; }
    void focusList() override;
    void columnsChanged() override;
    void rowPressed(int index, std::uint16_t keyState) override;
    void rowActivated(int index) override;
    bool rowKey(const TInputEventUI& event) override;

    CListHeaderUI* header() const { return m_header; }
    CVerticalLayoutUI* body() const { return m_body; }
    bool multiSelect() const { return m_multiSelect; }
    // Turning it off keeps only the current row selected.
    void assignMultiSelect(bool multi);
    // The selected rows in ascending order.
    const std::vector<int>& selectedIndexes() const { return m_selected; }
    // The current row (the one the keyboard moves from); -1 for none.
    int currentIndex() const { return m_current; }
    // Selects row `index` alone (-1 clears the selection); false for a row
    // that does not exist or cannot be selected (hidden, disabled, not a
    // list element).
    bool selectItem(int index, bool notify = true);
    // Scrolls the body so row `index` is wholly visible (its top when it is
    // taller than the body).
    void ensureVisible(int index);

private:
    bool isSelectable(int index) const;
    // Replaces the selection and the current row; "itemselect" when the
    // selection changed.
    void applySelection(std::vector<int> selected, int current, bool notify);
    // Numbers the rows again and takes the selection from their flags.
    void renumberRows();
    // The row `steps` selectable rows away from `from` (clamped to the
    // first and last selectable rows).
    int stepFrom(int from, int steps) const;
    int rowsPerPage() const;

    TListInfoUI m_info;
    CListHeaderUI* m_header = nullptr;   // owned as child 0
    CVerticalLayoutUI* m_body = nullptr; // owned as child 1
    bool m_multiSelect = false;
    std::vector<int> m_selected;
    int m_current = -1;
    int m_anchor = -1;
};
