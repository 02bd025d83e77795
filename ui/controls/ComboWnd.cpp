// CComboWnd: the popup's window, its borrowed rows and its closing.
#include "ui/controls/ComboWnd.h"

#include "ui/controls/ComboUI.h"
#include "ui/layout/VerticalLayoutUI.h"

#include <algorithm>

using platform::LResult;

bool CComboWnd::openAt(const platform::Rect& rect) {
    platform::WindowHandle ownerWindow = m_owner->owningManager() ? m_owner->owningManager()->hostWindow() : nullptr;
    if (!createHostWindow(ownerWindow, L"ComboWnd", platform::WS_POPUP, platform::WS_EX_TOOLWINDOW, rect)) return false;
    m_rows = new CVerticalLayoutUI;
    m_rows->assignOwnsChildren(false);
    m_rows->enableScrollBars(true, false);
    m_rows->assignBkColour(0xFFFFFFFFu);
    m_rows->assignBorderColour(0xFF8A94A6u);
    m_rows->assignBorderSizes({1, 1, 1, 1});
    m_rows->assignInset({1, 1, 1, 1});
    m_manager.setRoot(m_rows);
    for (int i = 0; i < m_owner->itemCount(); ++i) m_rows->addItem(m_owner->itemAt(i));
    setShown(true, true);
    return true;
}

void CComboWnd::returnItems() {
    if (!m_rows) return;
    m_rows->removeAllItems(); // not owned: only forgotten
    if (m_owner)
        for (int i = 0; i < m_owner->itemCount(); ++i)
            m_owner->itemAt(i)->bindManager(m_owner->owningManager(), m_owner, false);
}

void CComboWnd::close() {
    if (m_closing) return;
    m_closing = true;
    returnItems();
    if (m_window) platform::destroyWindow(m_window);
}

void CComboWnd::ensureVisible(int index) {
    CControlUI* row = m_rows ? m_rows->itemAt(index) : nullptr;
    if (!row) return;
    const platform::Rect inner = m_rows->innerBounds();
    const platform::Rect& r = row->bounds();
    int dy = 0;
    if (r.top < inner.top)
        dy = r.top - inner.top;
    else if (r.bottom > inner.bottom)
        dy = std::min(r.bottom - inner.bottom, r.top - inner.top);
    if (dy != 0) m_rows->scrollTo(m_rows->scrollOffset().cx, m_rows->scrollOffset().cy + dy);
}

LResult CComboWnd::onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) {
    switch (message) {
    case platform::WM_CREATE:
        m_manager.attachWindow(m_window, L"combo");
        break;
    case platform::WM_KILLFOCUS:
        // Closing from inside the focus change would pull the window out
        // from under it: closed once the queue gets there.
        if (!m_closing) postToWindow(platform::WM_CLOSE);
        break;
    case platform::WM_CLOSE:
        close();
        return 0;
    case platform::WM_KEYDOWN:
        if (m_owner && !m_closing) {
            TInputEventUI event;
            event.kind = UiEventKind::KeyDown;
            event.keyChar = static_cast<std::uint16_t>(wParam);
            m_owner->rowKey(event);
        }
        return 0;
    default:
        break;
    }
    LResult result = 0;
    if (m_manager.handleMessage(message, wParam, lParam, result)) return result;
    return CWindowWnd::onWindowMessage(message, wParam, lParam);
}

void CComboWnd::afterDestroyed(platform::WindowHandle) {
    returnItems();
    if (m_owner) m_owner->popupGone();
    delete this;
}
