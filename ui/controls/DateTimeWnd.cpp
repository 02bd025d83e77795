// CDateTimeWnd: the calendar popup's window, its picking and closing.
#include "ui/controls/DateTimeWnd.h"

#include "ui/controls/DateTimeUI.h"
#include "ui/controls/MonthCalendarUI.h"

using platform::LResult;

bool CDateTimeWnd::openAt(const platform::Rect& rect) {
    platform::WindowHandle ownerWindow = m_owner->owningManager() ? m_owner->owningManager()->hostWindow() : nullptr;
    if (!createHostWindow(ownerWindow, L"DateTimeWnd", platform::WS_POPUP, platform::WS_EX_TOOLWINDOW, rect))
        return false;
    m_calendar = new CMonthCalendarUI;
    m_calendar->assignBkColour(0xFFFFFFFFu);
    m_calendar->assignBorderColour(0xFF8A94A6u);
    m_calendar->assignBorderSizes({1, 1, 1, 1});
    m_calendar->assignSelected(m_owner->date());
    m_calendar->setPickHandler([this](const TDateUI& date) {
        if (m_closing) return;
        if (m_owner) m_owner->pickFromPopup(date);
        // Not from inside the click: the window would go from under it.
        close(/*deferred=*/true);
    });
    m_manager.setRoot(m_calendar);
    setShown(true, true);
    m_manager.focusControl(m_calendar, true);
    return true;
}

void CDateTimeWnd::close(bool deferred) {
    if (m_closing) return;
    if (deferred) {
        postToWindow(platform::WM_CLOSE);
        return;
    }
    m_closing = true;
    if (m_window) platform::destroyWindow(m_window);
}

LResult CDateTimeWnd::onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) {
    switch (message) {
    case platform::WM_CREATE:
        m_manager.attachWindow(m_window, L"datetime");
        break;
    case platform::WM_KILLFOCUS:
        if (!m_closing) postToWindow(platform::WM_CLOSE);
        break;
    case platform::WM_CLOSE:
        close();
        return 0;
    case platform::WM_KEYDOWN:
        if (wParam == platform::VK_ESCAPE) {
            close(/*deferred=*/true);
            return 0;
        }
        break;
    default:
        break;
    }
    LResult result = 0;
    if (m_manager.handleMessage(message, wParam, lParam, result)) return result;
    return CWindowWnd::onWindowMessage(message, wParam, lParam);
}

void CDateTimeWnd::afterDestroyed(platform::WindowHandle) {
    if (m_owner) m_owner->popupGone();
    delete this;
}
