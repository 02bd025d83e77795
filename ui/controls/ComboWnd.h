// The drop-down window of a combo box.
#pragma once

#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"

class CComboUI;
class CVerticalLayoutUI;

// A top-level popup window owned by the combo's window (no task-bar entry)
// with its own paint manager: a scrolling vertical layout that borrows the
// combo's items while it is open and gives them back, bound to the combo
// again, when it closes. Keys go to the combo; Escape or losing the focus
// closes it. Created by CComboUI::open; deletes itself once its window is
// gone. UI thread only.
class CComboWnd final : public CWindowWnd {
public:
    explicit CComboWnd(CComboUI* owner) : m_owner(owner) {}

    const wchar_t* wndClassName() const override { return L"ComboWnd"; }
    unsigned wndClassStyle() const override { return platform::CS_DBLCLKS; }
    // Creates and shows the window at `rect` (screen coordinates); false when it cannot.
    bool openAt(const platform::Rect& rect);
    // Gives the items back and destroys the window (which deletes this).
    void close();
    CFormManagerUI& manager() { return m_manager; }
    CVerticalLayoutUI* rows() const { return m_rows; }
    // Scrolls row `index` into view.
    void ensureVisible(int index);

    platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) override;
    void afterDestroyed(platform::WindowHandle window) override;

private:
    void returnItems();

    CComboUI* m_owner;
    CFormManagerUI m_manager;
    CVerticalLayoutUI* m_rows = nullptr; // the manager's root
    bool m_closing = false;
};
