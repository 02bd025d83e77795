// The month calendar popup of a date control.
#pragma once

#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"

class CDateTimeUI;
class CMonthCalendarUI;

// A top-level popup window owned by the date control's window (no
// task-bar entry) whose paint manager shows a CMonthCalendarUI. Picking a
// day hands it to the control and closes; Escape or losing the focus
// closes without a change. Created by CDateTimeUI::open; deletes itself
// once its window is gone. UI thread only.
class CDateTimeWnd final : public CWindowWnd {
public:
    explicit CDateTimeWnd(CDateTimeUI* owner) : m_owner(owner) {}

    const wchar_t* wndClassName() const override { return L"DateTimeWnd"; }
    unsigned wndClassStyle() const override { return platform::CS_DBLCLKS; }
    // Creates and shows the window at `rect` (screen coordinates); false when it cannot.
    bool openAt(const platform::Rect& rect);
    // Destroys the window (which deletes this); closing is posted to the
    // window's own queue when `deferred`.
    void close(bool deferred = false);
    CFormManagerUI& manager() { return m_manager; }
    CMonthCalendarUI* calendar() const { return m_calendar; }

    platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) override;
    void afterDestroyed(platform::WindowHandle window) override;

private:
    CDateTimeUI* m_owner;
    CFormManagerUI m_manager;
    CMonthCalendarUI* m_calendar = nullptr; // the manager's root
    bool m_closing = false;
};
