// CFormManagerUI: window messages into control events (mouse, keys,
// timers, focus, reflection), tooltips, and the pre-translation of queued
// messages (tab order, Alt shortcuts).
#include "ui/core/FormManagerUI.h"

#include "platform/system/System.h"
#include "ui/core/ControlUI.h"

#include <cassert>
#include <cwctype>

using namespace platform;

namespace uidetail {
CPtrArrayUI<CFormManagerUI>& attachedManagers();
}

std::uint16_t keyStateNow() {
    std::uint16_t state = 0;
    if (keyState(VK_LBUTTON) < 0) state |= KeyStateBits::LeftButton;
    if (keyState(VK_RBUTTON) < 0) state |= KeyStateBits::RightButton;
    if (keyState(VK_SHIFT) < 0) state |= KeyStateBits::Shift;
    if (keyState(VK_CONTROL) < 0) state |= KeyStateBits::Control;
    if (keyState(VK_MENU) < 0) state |= KeyStateBits::Alt;
    return state;
}

namespace {

constexpr unsigned kDeferredWorkMessage = WM_APP + 1;

Point pointOf(LParam lParam) { return {xFromLParam(lParam), yFromLParam(lParam)}; }

bool contains(std::wstring_view text, std::wstring_view part) { return text.find(part) != std::wstring_view::npos; }

} // namespace

Point CFormManagerUI::screenToClientPoint(LParam lParam) const { return screenToClient(m_host, pointOf(lParam)); }

// --- Message handling ---------------------------------------------------------

bool CFormManagerUI::handleMessage(unsigned message, WParam wParam, LParam lParam, LResult& result) {
    if (!m_host) return false;
    assert(isUiThread());
    if (runMessageFilters(message, wParam, lParam, result)) return true;
    if (m_perPixelLayered && handleLayeredFrame(message, wParam, result)) return true;

    switch (message) {
    case WM_SIZE:
        onSize();
        result = 0;
        return true;
    case WM_KILLFOCUS:
        onKillFocus(wParam);
        return false;
    case WM_PAINT:
        onPaint();
        result = 0;
        return true;
    case WM_ENABLE:
        // Disabled for a modal loop (a message box, a chooser): a tip left
        // showing would stand over the dialog.
        if (wParam == 0) hideTooltip();
        return false;
    case WM_CLOSE:
        onClose();
        return false;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_SETCURSOR:
        return onSetCursor(wParam, lParam, result);
    case WM_MOUSEACTIVATE:
        if (!m_noActivate) return false;
        result = MA_NOACTIVATE;
        return true;
    case WM_GETMINMAXINFO:
        onGetMinMaxInfo(lParam);
        return false;
    case WM_NOTIFY:
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        return reflectToChild(message, wParam, lParam, result);
    case WM_TIMER:
        onTimer(wParam, lParam);
        return false;
    case WM_MOUSEMOVE:
        onMouseMove(pointOf(lParam));
        return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        onMouseButton(message, wParam, lParam);
        return false;
    case WM_CONTEXTMENU:
        onContextMenu(wParam, lParam);
        return false;
    case WM_MOUSEWHEEL:
        if (!m_root) result = 0;
        onMouseWheel(wParam, lParam);
        return false;
    case WM_MOUSEHOVER:
        if (!m_root) return false;
        onMouseHover(pointOf(lParam));
        result = 0;
        return true;
    case WM_MOUSELEAVE:
        if (m_root) onMouseLeaveMessage();
        return false;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
        if (message == WM_KEYDOWN && (!m_root || !m_focus)) result = 0;
        onKey(message, wParam, lParam);
        return false;
    case WM_IME_COMPOSITION:
        if (m_root && m_focus) {
            TInputEventUI e = makeEvent(UiEventKind::Composition, m_focus, m_lastMousePosition);
            e.wparam = wParam;
            m_focus->dispatchEvent(e);
        }
        return false;
    case WM_PRINTCLIENT:
        onPrintClient(wParam, lParam);
        return false;
    case kDeferredWorkMessage:
        runDeferredWork();
        return false;
    default:
        result = 0;
        return false;
    }
}

// --- Message steps ----------------------------------------------------------------

bool CFormManagerUI::runMessageFilters(unsigned message, WParam wParam, LParam lParam, LResult& result) {
    if (m_filters.isEmpty()) return false;
    // The first filter that handles the message ends it.
    const CPtrArrayUI<IMessageFilterUI> filters = m_filters;
    for (IMessageFilterUI* filter : filters) {
        bool handled = false;
        LResult r = filter->filterMessage(message, wParam, lParam, handled);
        if (!handled) continue;
        if (message >= WM_MOUSEMOVE && message <= WM_LBUTTONDBLCLK)
            m_lastMousePosition = pointOf(lParam);
        else if (message == WM_MOUSEWHEEL || message == WM_CONTEXTMENU)
            m_lastMousePosition = screenToClientPoint(lParam);
        result = r;
        return true;
    }
    return false;
}

bool CFormManagerUI::handleLayeredFrame(unsigned message, WParam wParam, LResult& result) {
    switch (message) {
    case WM_NCCALCSIZE:
    case WM_NCPAINT:
        result = 0;
        return true;
    case WM_NCACTIVATE:
        if (isIconic(m_host)) return false;
        result = wParam == 0 ? 1 : 0;
        return true;
    default:
        return false;
    }
}

void CFormManagerUI::onSize() {
    if (m_focus) {
        TInputEventUI e = makeEvent(UiEventKind::WindowSize, m_focus, m_lastMousePosition);
        m_focus->dispatchEvent(e);
    }
    if (m_root) {
        m_root->scheduleLayout();
        m_layoutNeeded = true;
    }
    if (m_perPixelLayered) invalidateAll();
}

void CFormManagerUI::onKillFocus(WParam wParam) {
    if (wParam == 0) return;
    // The window that takes the focus: when it is (inside) a native child of
    // a control, that control becomes the focus.
    WindowHandle w = focusWindow();
    while (w && parentWindow(w) != m_host) w = parentWindow(w);
    if (!w) return;
    if (CControlUI* owner = nativeChildControl(w); owner && owner != m_focus) focusControl(owner, false);
}

void CFormManagerUI::onClose() {
    if (m_hover) {
        TInputEventUI e = makeEvent(UiEventKind::MouseLeave, m_hover, m_lastMousePosition);
        m_hover->dispatchEvent(e);
    }
    if (m_click) {
        TInputEventUI e = makeEvent(UiEventKind::ButtonUp, m_click, m_lastMousePosition);
        m_click->dispatchEvent(e);
    }
    focusControl(nullptr, true);
    if (activeWindow() == m_host) {
        WindowHandle next = (windowStyle(m_host) & WS_CHILD) ? parentWindow(m_host) : ownerWindow(m_host);
        if (next) setFocus(next);
    }
    destroyTooltip();
}

bool CFormManagerUI::onSetCursor(WParam wParam, LParam lParam, LResult& result) {
    if (!m_root || static_cast<int>(loWord(static_cast<std::uintptr_t>(lParam))) != HTCLIENT) return false;
    if (m_captured) {
        result = 1;
        return true;
    }
    const Point cursor = screenToClient(m_host, cursorPos());
    CControlUI* control = findControlAt(cursor);
    if (!control || !(control->behaviourFlags() & ControlFlags::SetCursor)) return false;
    TInputEventUI e = makeEvent(UiEventKind::SetCursor, control, cursor);
    e.wparam = wParam;
    e.lparam = lParam;
    control->dispatchEvent(e);
    result = 1;
    return true;
}

void CFormManagerUI::onGetMinMaxInfo(LParam lParam) const {
    auto* info = reinterpret_cast<MinMaxInfo*>(lParam);
    if (!info) return;
    const Size minTrack = minTrackSize(), maxTrack = maxTrackSize();
    if (minTrack.cx > 0) info->minTrackSize.cx = minTrack.cx;
    if (minTrack.cy > 0) info->minTrackSize.cy = minTrack.cy;
    if (maxTrack.cx > 0) info->maxTrackSize.cx = maxTrack.cx;
    if (maxTrack.cy > 0) info->maxTrackSize.cy = maxTrack.cy;
}

bool CFormManagerUI::reflectToChild(unsigned message, WParam wParam, LParam lParam, LResult& result) {
    if (message == WM_NOTIFY) {
        if (lParam == 0) return true;
        const auto* header = reinterpret_cast<const NotifyHeader*>(lParam);
        result = sendMessage(header->from, message + WM_REFLECT, wParam, lParam);
        return true;
    }
    if (lParam == 0) {
        result = 0;
        return false;
    }
    result = sendMessage(reinterpret_cast<WindowHandle>(lParam), message + WM_REFLECT, wParam, lParam);
    return true;
}

void CFormManagerUI::onTimer(WParam wParam, LParam lParam) {
    if (wParam == kLayeredRefreshTimer) {
        if (m_perPixelLayered && !m_layeredUpdate.isEmpty() && !isIconic(m_host)) onPaint();
        return;
    }
    for (const auto& t : m_timers) {
        if (t->window != m_host || t->windowTimerId != loWord(wParam) || t->killed) continue;
        TInputEventUI e = makeEvent(UiEventKind::Timer, t->control, m_lastMousePosition);
        e.wparam = t->localId;
        e.lparam = lParam;
        t->control->dispatchEvent(e);
        break;
    }
}

void CFormManagerUI::dispatchMouseEvent(UiEventKind kind, CControlUI* control, WParam wParam, LParam lParam) {
    TInputEventUI e = makeEvent(kind, control, m_lastMousePosition);
    e.keyState = static_cast<std::uint16_t>(loWord(wParam));
    e.wparam = wParam;
    e.lparam = lParam;
    control->dispatchEvent(e);
}

void CFormManagerUI::onMouseButton(unsigned message, WParam wParam, LParam lParam) {
    const bool press = message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDOWN;
    if (!press) {
        m_lastMousePosition = pointOf(lParam);
        // Released even when the pressed control went away meanwhile: a
        // capture left behind would keep every mouse message.
        if (message == WM_LBUTTONUP && m_captured) releaseMouse();
        if (!m_click) return;
        CControlUI* control = m_click;
        m_click = nullptr;
        dispatchMouseEvent(message == WM_LBUTTONUP ? UiEventKind::ButtonUp : UiEventKind::RightButtonUp, control,
                           wParam, lParam);
        return;
    }
    if (!m_noActivate) setFocus(m_host);
    if (!m_root) return;
    m_lastMousePosition = pointOf(lParam);
    CControlUI* control = findControlAt(m_lastMousePosition);
    if (!belongsHere(control)) return;
    switch (message) {
    case WM_LBUTTONDOWN:
        m_click = control;
        control->takeFocus();
        captureMouse();
        if (m_click != control) return; // taking the focus deleted or replaced it
        dispatchMouseEvent(UiEventKind::ButtonDown, control, wParam, lParam);
        break;
    case WM_LBUTTONDBLCLK:
        captureMouse();
        m_click = control;
        dispatchMouseEvent(UiEventKind::DoubleClick, control, wParam, lParam);
        break;
    default: // WM_RBUTTONDOWN
        control->takeFocus();
        dispatchMouseEvent(UiEventKind::RightButtonDown, control, wParam, lParam);
        m_click = control;
        break;
    }
}

void CFormManagerUI::onContextMenu(WParam wParam, LParam lParam) {
    if (!m_root || m_captured) return;
    m_lastMousePosition = screenToClientPoint(lParam);
    if (!m_click) return;
    CControlUI* control = m_click;
    m_click = nullptr;
    TInputEventUI e = makeEvent(UiEventKind::ContextMenu, control, m_lastMousePosition);
    e.keyState = static_cast<std::uint16_t>(loWord(wParam));
    e.wparam = 0;
    e.lparam = reinterpret_cast<LParam>(control);
    control->dispatchEvent(e);
}

void CFormManagerUI::onMouseWheel(WParam wParam, LParam lParam) {
    if (!m_root || focusWindow() != m_host) return;
    m_lastMousePosition = screenToClientPoint(lParam);
    CControlUI* control = findControlAt(m_lastMousePosition);
    if (!belongsHere(control)) return;
    const int delta = static_cast<std::int16_t>(hiWord(wParam));
    TInputEventUI e = makeEvent(UiEventKind::ScrollWheel, control, m_lastMousePosition);
    e.wparam = delta < 0 ? 1 : 0;
    e.lparam = lParam;
    control->dispatchEvent(e);
    // What lies under the mouse may have scrolled away.
    sendMessage(m_host, WM_MOUSEMOVE, 0, makeLParam(m_lastMousePosition.x, m_lastMousePosition.y));
}

void CFormManagerUI::onKey(unsigned message, WParam wParam, LParam lParam) {
    if (!m_root) return;
    CControlUI* control = nullptr;
    UiEventKind kind = UiEventKind::Char;
    if (message == WM_KEYUP) {
        // The release goes to the control that saw the press.
        control = m_key;
        m_key = nullptr;
        kind = UiEventKind::KeyUp;
    } else {
        control = m_focus;
        if (message == WM_KEYDOWN) kind = UiEventKind::KeyDown;
    }
    if (!control) return;
    TInputEventUI e = makeEvent(kind, control, m_lastMousePosition);
    e.keyChar = static_cast<std::uint16_t>(loWord(wParam));
    e.wparam = wParam;
    e.lparam = lParam;
    control->dispatchEvent(e);
    if (message == WM_KEYDOWN) m_key = control;
}

void CFormManagerUI::onPrintClient(WParam wParam, LParam lParam) {
    auto* canvas = reinterpret_cast<Canvas*>(wParam);
    if (!m_root || !canvas) return;
    printClient(*canvas);
    if (!(static_cast<unsigned>(lParam) & PRF_CHILDREN)) return;
    for (WindowHandle child = relatedWindow(m_host, GW_CHILD); child; child = relatedWindow(child, GW_HWNDNEXT)) {
        const Rect r = windowRect(child);
        const Point origin = screenToClient(m_host, {r.left, r.top});
        const int level = canvas->save();
        canvas->offsetOrigin(origin.x, origin.y);
        sendMessage(child, WM_PRINT, wParam, lParam | PRF_NONCLIENT);
        canvas->restoreTo(level);
    }
}

// --- Mouse ----------------------------------------------------------------------

void CFormManagerUI::onMouseMove(Point point) {
    if (!m_mouseTracking) {
        unsigned hover = m_hoverTime;
        if (m_tooltipWindow)
            hover = static_cast<unsigned>(sendMessage(m_tooltipWindow, TTM_GETDELAYTIME, TTDT_INITIAL, 0));
        trackMouseEvent(m_host, TME_HOVER | TME_LEAVE, hover);
        m_mouseTracking = true;
    }
    m_lastMousePosition = point;
    if (!m_root) return;
    CControlUI* control = findControlAt(point);
    if (control && !belongsHere(control)) return;
    if (!m_captured) {
        if (m_hover && m_hover != control) {
            CControlUI* old = m_hover;
            TInputEventUI e = makeEvent(UiEventKind::MouseLeave, old, point);
            const CPtrArrayUI<CControlUI> watchers = m_mouseLeaveWatchers;
            for (CControlUI* watcher : watchers)
                if (m_mouseLeaveWatchers.find(watcher) >= 0) watcher->dispatchEvent(e);
            if (m_hover == old) old->dispatchEvent(e);
            m_hover = nullptr;
            hideTooltip();
        }
        if (control && control != m_hover) {
            TInputEventUI e = makeEvent(UiEventKind::MouseEnter, control, point);
            control->dispatchEvent(e);
            m_hover = control;
        }
    }
    CControlUI* target = m_click ? m_click : control;
    if (target) {
        TInputEventUI e = makeEvent(UiEventKind::MouseMove, target, point);
        target->dispatchEvent(e);
    }
}

void CFormManagerUI::onMouseLeaveMessage() {
    hideTooltip();
    if (!m_mouseTracking) return;
    const Point cursor = cursorPos();
    const bool stillInside = !isIconic(m_host) && activeWindow() == m_host && windowRect(m_host).contains(cursor) &&
                             sendMessage(m_host, WM_NCHITTEST, 0, makeLParam(cursor.x, cursor.y)) == HTCLIENT;
    if (stillInside) {
        const Point p = screenToClient(m_host, cursor);
        sendMessage(m_host, WM_MOUSEMOVE, 0, makeLParam(p.x, p.y));
    } else {
        sendMessage(m_host, WM_MOUSEMOVE, 0, -1);
    }
    m_mouseTracking = false;
}

void CFormManagerUI::captureMouse() {
    if (!m_host) return;
    setCapture(m_host);
    m_captured = true;
}

void CFormManagerUI::releaseMouse() {
    releaseCapture();
    m_captured = false;
}

// --- Tooltips ---------------------------------------------------------------------

void CFormManagerUI::onMouseHover(Point point) {
    m_mouseTracking = false;
    CControlUI* control = findControlAt(point);
    if (!control) return;
    if (m_hover) {
        TInputEventUI e = makeEvent(UiEventKind::MouseHover, m_hover, point);
        m_hover->dispatchEvent(e);
    }
    CStringUI text = control->tooltip();
    expandTextIds(text);
    if (text.isEmpty()) return;

    m_toolText = text;
    m_toolInfo = ToolInfo{};
    m_toolInfo.flags = TTF_IDISHWND;
    m_toolInfo.window = m_host;
    m_toolInfo.id = reinterpret_cast<std::uintptr_t>(m_host);
    m_toolInfo.rect = control->bounds();
    m_toolInfo.text = m_toolText.c_str();
    const LParam tool = reinterpret_cast<LParam>(&m_toolInfo);
    auto show = [&](bool sendWidth) {
        if (sendWidth) {
            m_tooltipWidthCache = control->tooltipWidth();
            sendMessage(m_tooltipWindow, TTM_SETMAXTIPWIDTH, 0, m_tooltipWidthCache);
        }
        sendMessage(m_tooltipWindow, TTM_SETTOOLINFOW, 0, tool);
        sendMessage(m_tooltipWindow, TTM_TRACKACTIVATE, 1, tool);
    };

    if (!m_tooltipWindow || !isWindow(m_tooltipWindow)) {
        m_tooltipWindow = createWindow(0, kTooltipClassName, L"", WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_host, nullptr);
        if (!m_tooltipWindow) return;
        if (m_scale != 1.0) {
            // The tip's text at the window's scale; the handle keeps the font alive for the tip.
            m_tooltipFont = defaultFontInfo().font;
            sendMessage(m_tooltipWindow, WM_SETFONT, reinterpret_cast<WParam>(m_tooltipFont.get()), 0);
        }
        sendMessage(m_tooltipWindow, TTM_ADDTOOLW, 0, tool);
        show(/*sendWidth=*/true);
        m_lastTooltip = control;
    } else if (m_lastTooltip == control) {
        show(/*sendWidth=*/m_tooltipWidthCache != control->tooltipWidth());
    } else {
        // Another control (or the first since the last one went away).
        show(/*sendWidth=*/true);
        m_lastTooltip = control;
    }
    sendMessage(m_tooltipWindow, TTM_TRACKPOSITION, 0, makeLParam(point.x, point.y));
}

void CFormManagerUI::hideTooltip() {
    if (m_tooltipWindow && isWindow(m_tooltipWindow))
        sendMessage(m_tooltipWindow, TTM_TRACKACTIVATE, 0, reinterpret_cast<LParam>(&m_toolInfo));
}

void CFormManagerUI::destroyTooltip() {
    if (m_tooltipWindow && isWindow(m_tooltipWindow)) destroyWindow(m_tooltipWindow);
    m_tooltipWindow = nullptr;
    m_lastTooltip = nullptr;
    m_tooltipWidthCache = -1;
}

// --- Pre-translation ------------------------------------------------------------------

bool CFormManagerUI::preTranslate(unsigned message, WParam wParam, LParam, LResult&) {
    switch (message) {
    case WM_KEYDOWN: {
        if (wParam != VK_TAB) return false;
        if (m_focus && m_focus->isShown() && m_focus->enabledState() && contains(m_focus->typeName(), L"RichEdit") &&
            m_focus->readAttribute(L"wanttab") == L"true")
            return false;
        focusNextTabStop(keyState(VK_SHIFT) >= 0);
        return true;
    }
    case WM_SYSKEYDOWN:
        if (m_focus) {
            TInputEventUI e = makeEvent(UiEventKind::SysKey, m_focus, m_lastMousePosition);
            e.keyChar = static_cast<std::uint16_t>(loWord(wParam));
            e.wparam = wParam;
            m_focus->dispatchEvent(e);
        }
        return false;
    case WM_SYSCHAR: {
        if (!m_root) return false;
        struct Shortcut {
            wchar_t ch;
            bool pickNext;
        } find{static_cast<wchar_t>(std::towupper(static_cast<wint_t>(wParam))), false};
        CControlUI* found = m_root->walkTree(
            [](CControlUI* c, void* data) -> CControlUI* {
                auto* f = static_cast<Shortcut*>(data);
                if (!c->isShown()) return nullptr;
                if (c->shortcut() && static_cast<wchar_t>(std::towupper(c->shortcut())) == f->ch) f->pickNext = true;
                // A label's shortcut passes the focus on to the next control.
                if (contains(c->typeName(), L"Label")) return nullptr;
                return f->pickNext ? c : nullptr;
            },
            &find, FindMeFirst | FindTopFirst | FindEnabled);
        if (found) {
            found->takeFocus();
            found->trigger();
        }
        return true;
    }
    default:
        return false;
    }
}

bool CFormManagerUI::translateQueued(const Message* message) {
    if (!message || !message->window) return false;
    CPtrArrayUI<CFormManagerUI>& managers = uidetail::attachedManagers();
    LResult result = 0;
    auto translated = [&](CFormManagerUI* m) {
        for (ITranslateAccelerator* t : m->m_translators)
            if (t->translateKey(message) == 0) return true;
        return false;
    };
    if (windowStyle(message->window) & WS_CHILD) {
        const WindowHandle parent = parentWindow(message->window);
        // A key may close a window and so remove its manager: walk a copy
        // and skip managers that are gone.
        const CPtrArrayUI<CFormManagerUI> snapshot = managers;
        for (int i = snapshot.size() - 1; i >= 0; --i) {
            CFormManagerUI* m = snapshot[i];
            for (WindowHandle ancestor = parent; ancestor && managers.find(m) >= 0; ancestor = parentWindow(ancestor)) {
                if (message->window != m->m_host && ancestor != m->m_host) continue;
                if (translated(m)) return true;
                m->preTranslate(message->message, message->wParam, message->lParam, result);
            }
        }
        return false;
    }
    for (CFormManagerUI* m : managers) {
        if (m->m_host != message->window) continue;
        if (translated(m)) return true;
        return m->preTranslate(message->message, message->wParam, message->lParam, result);
    }
    return false;
}
