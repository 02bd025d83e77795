// A page stack: exactly one child is shown at a time; changing the page
// raises "tabselect" (wparam the new index, lparam the previous one).
#pragma once

#include "ui/layout/ContainerUI.h"

// A tab layout. The first visible child added becomes the selected page;
// later children are hidden until selected ("selectedid" or selectPage).
// UI thread only.
class CTabLayoutUI : public CContainerUI {
public:
    CTabLayoutUI() = default;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    bool addItem(CControlUI* control) override;
    bool insertItem(CControlUI* control, int index) override;
    bool removeItem(CControlUI* control, bool keepAlive = false) override;
    bool removeItemAt(int index, bool keepAlive = false) override;
    void removeAllItems() override;

    // Shows page `index` and hides the others; false out of range, true
    // without change when it is already selected.
    bool selectPage(int index, bool notify = true);
    int selectedIndex() const { return m_selected; }

private:
    int m_selected = -1;
};
