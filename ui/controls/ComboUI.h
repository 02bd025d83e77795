// A combo box: a closed face showing the selected item, and a drop-down
// popup window listing the items with a list's row look.
#pragma once

#include "ui/controls/ListInfoUI.h"
#include "ui/layout/ContainerUI.h"
#include "ui/render/ImageDescription.h"

class CComboWnd;

// The combo. Its children are list elements (they are never laid out or
// painted inside the combo). Closed, it draws its state image (normal,
// hot, pushed, focused, disabled) and the selected item's text in its
// text padding. A press opens the popup (a top-level window owned by the
// combo's window, without a task-bar entry) under the combo, or above it
// where the work area ends, "dropboxsize" big (the combo's width and at
// most 150 pixels of rows by default); picking a row with the mouse or
// Return closes it with that selection, Escape and focus loss close it.
// Up/Down on the closed combo change the selection. Notices: "dropdown"
// when it opens, "itemselect" (wparam the new index, lparam the old one)
// when the selection changes. UI thread only.
class CComboUI : public CContainerUI, public IListOwnerUI {
public:
    CComboUI();
    ~CComboUI() override;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    bool insertItem(CControlUI* control, int index) override;
    bool removeItemAt(int index, bool keepAlive = false) override;
    bool removeItem(CControlUI* control, bool keepAlive = false) override;
    void removeAllItems() override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    CControlUI* walkTree(FindControlProc proc, void* data, unsigned flags) override;
    bool paintSelf(platform::Canvas& canvas, const platform::Rect& paint, CControlUI* stop) override;
    void drawStateImage(platform::Canvas& canvas) override;
    void drawTextPart(platform::Canvas& canvas) override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;

    // --- IListOwnerUI ---
    TListInfoUI& listInfo() override { return m_info; }
    void columnsChanged() override {}
    void focusList() override {}
    void rowPressed(int index, std::uint16_t keyState) override;
    void rowActivated(int index) override;
    bool rowKey(const TInputEventUI& event) override;

    int selectedIndex() const { return m_selected; }
    // Selects item `index` (-1 for none); false for an item that does not
    // exist or cannot be selected.
    bool selectItem(int index, bool notify = true);
    bool isOpen() const { return m_popup != nullptr; }
    // Opens the popup ("dropdown"); false when open already or disabled.
    bool open();
    // Closes the popup, if open.
    void close();
    CComboWnd* popup() const { return m_popup; }
    platform::Size dropBoxSize() const { return m_dropBox; }

    // Where the popup goes: under `combo` (screen coordinates), or above it
    // when it would cross the bottom of `workArea` and fits above; moved
    // left to stay inside the work area's right edge, never past its left.
    static platform::Rect popupPlacement(const platform::Rect& combo, platform::Size size,
                                         const platform::Rect& workArea);
    // The popup's size for the combo as it is now.
    platform::Size popupSize();

private:
    friend class CComboWnd;
    bool isSelectable(int index) const;
    void popupGone() { m_popup = nullptr; }

    TListInfoUI m_info;
    int m_selected = -1;
    platform::Size m_dropBox;
    platform::Rect m_textPadding{2, 0, 2, 0};
    ImageDescription m_normalImage;
    ImageDescription m_hotImage;
    ImageDescription m_pushedImage;
    ImageDescription m_focusedImage;
    ImageDescription m_disabledImage;
    bool m_hot = false;
    CComboWnd* m_popup = nullptr; // deletes itself when its window is gone
};
