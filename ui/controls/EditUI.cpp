// CEditUI and its native window CEditWnd: the focus life cycle, the change
// and Return notices, password painting, the native background brush and
// the caret a layered window cannot show by itself.
#include "ui/controls/EditUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

#include <string>

using namespace platform;

namespace {

Rect windowRectInClient(WindowHandle host, WindowHandle child) {
    const Rect r = windowRect(child);
    const Point tl = screenToClient(host, {r.left, r.top});
    return Rect::fromSize(tl.x, tl.y, r.width(), r.height());
}

} // namespace

// --- CEditWnd -----------------------------------------------------------------------

const wchar_t* CEditWnd::wndClassName() const { return L"EditWnd"; }

const wchar_t* CEditWnd::baseClassName() const { return kEditClassName; }

bool CEditWnd::onLayeredWindow() const {
    return m_owner && m_owner->owningManager() && m_owner->owningManager()->isLayered();
}

bool CEditWnd::init(CEditUI* owner) {
    CFormManagerUI* manager = owner ? owner->owningManager() : nullptr;
    if (!manager || !manager->hostWindow()) return false;
    m_owner = owner;
    const Rect rect = owner->nativeRect();

    unsigned style = owner->windowStyleBits() | WS_CHILD | ES_AUTOHSCROLL;
    if (owner->textStyle() & DT_CENTER)
        style |= ES_CENTER;
    else if (owner->textStyle() & DT_RIGHT)
        style |= ES_RIGHT;
    if (owner->password()) style |= ES_PASSWORD;

    if (!createHostWindow(manager->hostWindow(), L"", style, 0, rect)) {
        m_owner = nullptr;
        return false;
    }
    // From here on the window owns this object (afterDestroyed deletes it).
    m_created = true;
    m_font = manager->fontHandle(owner->font());
    sendToWindow(WM_SETFONT, reinterpret_cast<WParam>(m_font.get()), 1);
    sendToWindow(EM_LIMITTEXT, static_cast<WParam>(owner->maxChars()));
    if (owner->password()) sendToWindow(EM_SETPASSWORDCHAR, owner->passwordChar());
    setWindowText(m_window, owner->textValue().view());
    sendToWindow(EM_SETMODIFY, 0);
    sendToWindow(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    enableWindow(m_window, owner->enabledState());
    sendToWindow(EM_SETREADONLY, owner->readOnly() ? 1 : 0);
    showWindow(m_window, SW_SHOWNOACTIVATE);
    setFocus(m_window);
    const int length = static_cast<int>(owner->textValue().length());
    if (owner->selectAllOnFocus())
        sendToWindow(EM_SETSEL, 0, length > 0 ? length : 1);
    else
        sendToWindow(EM_SETSEL, static_cast<WParam>(length), length);
    m_initialised = true;
    return true;
}

void CEditWnd::printCaret(Canvas& canvas) {
    Rect caret;
    if (!editCaretRect(m_window, &caret)) return;
    const int clientHeight = clientRect(m_window).height();
    canvas.fillRect({caret.left, caret.top + 1, caret.left + 1, caret.top + clientHeight - 1}, 0xFF000000);
}

LResult CEditWnd::onControlColour(unsigned, WParam wParam, LParam) {
    CFormManagerUI* manager = m_owner ? m_owner->owningManager() : nullptr;
    if (!manager) return 0;
    if (onLayeredWindow() && !manager->isPainting()) manager->addNativeChild(m_owner, m_window);
    Argb background = m_owner->nativeBkColour();
    if (background == 0xFF000000) background = 0xFF000001;
    if (background == CEditUI::kNoNativeBkColour) return 0;
    auto* canvas = reinterpret_cast<Canvas*>(wParam);
    if (canvas) {
        canvas->setBackgroundMode(BackgroundMode::Transparent);
        Argb text = m_owner->textColour();
        if (text == 0 || text == 0xFF000000) text = 0xFF000001;
        canvas->setTextColour(text | 0xFF000000);
    }
    if ((background >> 24) != 0xFF) {
        // A translucent colour over whatever the window paints under the
        // edit: taken again for every answer, so the background follows it.
        const Rect under = windowRectInClient(manager->hostWindow(), m_window);
        m_pattern = render::snapshotBitmap(manager, under, m_owner, background);
        m_brush.colour = background;
        m_brush.pattern = m_pattern.isEmpty() ? nullptr : &m_pattern;
    } else if (!m_hasBrush) {
        m_brush.colour = background;
        m_brush.pattern = nullptr;
        m_hasBrush = true;
    }
    return reinterpret_cast<LResult>(&m_brush);
}

LResult CEditWnd::onWindowMessage(unsigned message, WParam wParam, LParam lParam) {
    CFormManagerUI* manager = m_owner ? m_owner->owningManager() : nullptr;
    switch (message) {
    case WM_CREATE:
        if (manager) {
            manager->addNativeChild(m_owner, m_window);
            if (manager->isLayered()) setTimer(m_window, kCaretTimer, caretBlinkTime());
        }
        break;

    case WM_KILLFOCUS: {
        if (!m_owner) break; // being destroyed with its edit
        // The edit procedure ends its own focus state (selection, text input).
        const LResult result = CWindowWnd::onWindowMessage(message, wParam, lParam);
        const WindowHandle self = m_window;
        if (manager && reinterpret_cast<WindowHandle>(wParam) != manager->hostWindow())
            sendMessage(manager->hostWindow(), WM_KILLFOCUS, wParam, lParam);
        // Closing destroys the window and with it this object.
        sendMessage(self, WM_CLOSE, 0, 0);
        return result;
    }

    case WM_COMMAND + WM_REFLECT: {
        const unsigned code = hiWord(wParam);
        if (code == EN_CHANGE) {
            if (m_initialised && m_owner && manager) {
                // The text follows the native control directly: assignText
                // would write it back into the window.
                m_owner->m_text = windowText(m_window);
                CEditUI* owner = m_owner;
                const WindowHandle self = m_window;
                const bool layered = manager->isLayered();
                manager->sendNotice(owner, L"textchanged");
                // A listener may have deleted the edit, and with it this window and object.
                if (layered && isWindow(self)) owner->invalidate();
            }
        } else if (code == EN_UPDATE) {
            invalidateRect(m_window, nullptr, false);
        }
        return 0;
    }

    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            if (m_owner && manager) manager->sendNotice(m_owner, L"return");
            return 0;
        }
        break;

    case WM_PAINT:
        if (manager && manager->isLayered()) manager->addNativeChild(m_owner, m_window);
        break;

    case WM_CONTEXTMENU:
        if (m_owner && m_owner->contextMenuUsed()) break;
        return 0;

    case WM_TIMER:
        if (wParam == kCaretTimer) {
            m_caretShown = !m_caretShown;
            invalidateRect(m_window, nullptr, false);
            return 0;
        }
        break;

    case WM_PRINT: {
        const LResult result = CWindowWnd::onWindowMessage(message, wParam, lParam);
        auto* canvas = reinterpret_cast<Canvas*>(wParam);
        if (canvas && onLayeredWindow() && m_owner->enabledState() && m_caretShown) printCaret(*canvas);
        return result;
    }

    case WM_CTLCOLOREDIT + WM_REFLECT:
    case WM_CTLCOLORSTATIC + WM_REFLECT:
        return onControlColour(message, wParam, lParam);

    default:
        break;
    }
    return CWindowWnd::onWindowMessage(message, wParam, lParam);
}

void CEditWnd::afterDestroyed(WindowHandle window) {
    if (m_owner) {
        m_owner->invalidate();
        if (CFormManagerUI* manager = m_owner->owningManager()) manager->removeNativeChild(window);
        if (m_owner->m_window == this) m_owner->m_window = nullptr;
        m_owner = nullptr;
    }
    if (m_created) delete this;
}

// --- CEditUI: settings ----------------------------------------------------------------

CEditUI::CEditUI() { m_textPadding = {4, 3, 4, 3}; }

CEditUI::~CEditUI() {
    // A focused edit deleted by code takes its native window with it.
    if (m_window) {
        CEditWnd* window = m_window;
        m_window = nullptr;
        const WindowHandle handle = window->windowHandle();
        if (m_manager) m_manager->removeNativeChild(handle);
        window->m_owner = nullptr;
        destroyWindow(handle);
    }
}

std::wstring_view CEditUI::typeName() const { return L"Edit"; }

void* CEditUI::castTo(std::wstring_view name) {
    if (name == L"Edit") return this;
    return CLabelUI::castTo(name);
}

unsigned CEditUI::behaviourFlags() const { return m_enabled ? ControlFlags::TabStop | ControlFlags::SetCursor : 0u; }

WindowHandle CEditUI::nativeHandle() const { return m_window ? m_window->windowHandle() : nullptr; }

void CEditUI::assignText(std::wstring_view text) {
    m_text = text;
    if (m_window) setWindowText(m_window->windowHandle(), text);
    invalidate();
}

void CEditUI::assignEnabled(bool enabled) {
    CLabelUI::assignEnabled(enabled);
    if (!enabled) m_editState = 0;
}

void CEditUI::assignMaxChars(int count) {
    m_maxChars = count;
    if (m_window) m_window->sendToWindow(EM_LIMITTEXT, static_cast<WParam>(m_maxChars));
}

void CEditUI::assignReadOnly(bool on) {
    m_readOnly = on;
    if (m_window) m_window->sendToWindow(EM_SETREADONLY, on ? 1 : 0);
    invalidate();
}

void CEditUI::assignNumberOnly(bool on) {
    if (on)
        m_windowStyle |= ES_NUMBER;
    else
        m_windowStyle &= ~ES_NUMBER;
}

void CEditUI::assignPassword(bool on) {
    m_password = on;
    invalidate();
}

void CEditUI::assignPasswordChar(wchar_t ch) {
    m_passwordChar = ch;
    if (m_window && m_password) m_window->sendToWindow(EM_SETPASSWORDCHAR, ch);
    invalidate();
}

void CEditUI::setImage(ImageDescription& image, std::wstring_view description) {
    if (image.description == description && image.image) return;
    image.setDescription(description);
    invalidate();
}

void CEditUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"readonly")
        assignReadOnly(attr::parseBool(value));
    else if (name == L"numberonly")
        assignNumberOnly(attr::parseBool(value));
    else if (name == L"password")
        assignPassword(attr::parseBool(value));
    else if (name == L"autoselall")
        assignSelectAllOnFocus(attr::parseBool(value));
    else if (name == L"maxchar")
        assignMaxChars(attr::parseInt(value));
    else if (name == L"normalimage")
        setImage(m_images.normal, value);
    else if (name == L"hotimage")
        setImage(m_images.hot, value);
    else if (name == L"focusedimage")
        setImage(m_images.focused, value);
    else if (name == L"disabledimage")
        setImage(m_images.disabled, value);
    else if (name == L"nativebkcolor")
        assignNativeBkColour(attr::parseColour(value));
    else
        CLabelUI::applyAttribute(name, value);
}

// --- CEditUI: the native window ---------------------------------------------------------

Rect CEditUI::nativeRect() const {
    Rect r = textRect();
    for (const CControlUI* p = m_parent; p; p = p->parentControl()) {
        if (!p->isShown()) return {};
        r = r.intersect(p->innerBounds());
        if (r.isEmpty()) return {};
    }
    return r;
}

void CEditUI::createNativeWindow() {
    auto* window = new CEditWnd;
    m_window = window;
    if (!window->init(this)) {
        // Not created: the edit goes on painting itself.
        if (m_window == window) m_window = nullptr;
        delete window;
    }
}

void CEditUI::moveNativeWindow() {
    if (!m_window) return;
    const WindowHandle handle = m_window->windowHandle();
    const Rect r = nativeRect();
    if (r.isEmpty())
        showWindow(handle, SW_HIDE);
    else
        setWindowPos(handle, nullptr, r.left, r.top, r.width(), r.height(),
                     SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOZORDER);
}

void CEditUI::place(Rect rect, bool needInvalidate) {
    CLabelUI::place(rect, needInvalidate);
    moveNativeWindow();
}

void CEditUI::shiftBy(int dx, int dy, bool needInvalidate) {
    CLabelUI::shiftBy(dx, dy, needInvalidate);
    moveNativeWindow();
}

void CEditUI::clearFocusWhenHidden(bool hidden) {
    if (hidden && m_window && m_manager) m_manager->focusControl(nullptr, true);
}

void CEditUI::assignShown(bool visible) {
    CLabelUI::assignShown(visible);
    clearFocusWhenHidden(!isShown());
}

void CEditUI::assignInheritedShown(bool visible) {
    // The inherited state is not kept; a container being hidden only takes
    // the focus (and so the native window) away. The native window lies on
    // top of everything, so it must not outlive its container's visibility.
    clearFocusWhenHidden(!visible || !isShown());
}

Size CEditUI::measure(Size) {
    if (fixedHeight() > 0) return {fixedWidth(), fixedHeight()};
    const int fontHeight = m_manager ? m_manager->fontInfo(m_font).metrics.height : defaultFontHeight();
    return {fixedWidth(), fontHeight + toDevice(8)};
}

// --- CEditUI: events -----------------------------------------------------------------------

void CEditUI::handleEvent(TInputEventUI& event) {
    if (!m_mouseEnabled && isMouseEvent(event.kind)) {
        if (m_parent)
            m_parent->handleEvent(event);
        else
            CLabelUI::handleEvent(event);
        return;
    }
    const bool inside = m_pos.contains(event.mousePos);
    switch (event.kind) {
    case UiEventKind::SetCursor:
        if (m_enabled) {
            setCursor(CursorShape::IBeam);
            return;
        }
        break;
    case UiEventKind::WindowSize:
        // Focus is established again once the window has its new size.
        if (m_window && m_manager) {
            m_manager->focusFirstOrNext(this);
            return;
        }
        break;
    case UiEventKind::ScrollWheel:
        if (m_window) return;
        break;
    case UiEventKind::SetFocus:
        if (m_enabled && !m_window) {
            m_focused = true;
            createNativeWindow();
            invalidate();
        }
        break;
    case UiEventKind::KillFocus:
        if (m_enabled) invalidate();
        break;
    case UiEventKind::ButtonDown:
    case UiEventKind::DoubleClick:
    case UiEventKind::RightButtonDown:
        if (!m_enabled) return;
        if (m_manager) m_manager->releaseMouse();
        if (hasFocus() && !m_window) {
            createNativeWindow();
            return;
        }
        if (!m_window || m_selectAllOnFocus) return;
        {
            // The caret goes where the user clicked.
            const WindowHandle handle = m_window->windowHandle();
            sendMessage(handle, EM_SETSEL, 0, 0);
            const Rect pad = textPadding();
            const int x = event.mousePos.x - m_pos.left - pad.left;
            const int y = event.mousePos.y - m_pos.top - pad.top;
            sendMessage(handle, WM_LBUTTONDOWN, event.wparam, makeLParam(x, y));
        }
        return;
    case UiEventKind::MouseMove:
    case UiEventKind::ButtonUp:
    case UiEventKind::ContextMenu:
        return;
    case UiEventKind::MouseEnter:
        if (inside) {
            if (m_enabled && !(m_editState & State::Hot)) {
                m_editState |= State::Hot;
                invalidate();
            }
            return;
        }
        break;
    case UiEventKind::MouseLeave:
        if (inside) {
            if (m_manager) m_manager->wantMouseLeave(this);
            return;
        }
        if (m_enabled && (m_editState & State::Hot)) {
            m_editState &= ~State::Hot;
            invalidate();
        }
        if (m_manager) m_manager->removeMouseLeave(this);
        return;
    default:
        break;
    }
    CLabelUI::handleEvent(event);
}

// --- CEditUI: painting --------------------------------------------------------------------

bool CEditUI::drawImage(Canvas& canvas, ImageDescription& image) {
    if (image.description.isEmpty()) return false;
    return render::drawImageDescription(&canvas, m_manager, m_pos, m_paintRect, image);
}

void CEditUI::drawStateImage(Canvas& canvas) {
    if (hasFocus())
        m_editState |= State::Focused;
    else
        m_editState &= ~State::Focused;
    if (!m_enabled)
        m_editState |= State::Disabled;
    else
        m_editState &= ~State::Disabled;

    ImageDescription* chosen = nullptr;
    if (m_editState & State::Disabled)
        chosen = &m_images.disabled;
    else if (m_editState & State::Focused)
        chosen = &m_images.focused;
    else if (m_editState & State::Hot)
        chosen = &m_images.hot;
    if (!chosen || !drawImage(canvas, *chosen)) drawImage(canvas, m_images.normal);
}

void CEditUI::drawTextPart(Canvas& canvas) {
    takeDefaultColours();
    if (m_text.isEmpty() || !m_manager) return;
    const std::wstring shown = m_password ? std::wstring(m_text.length(), m_passwordChar) : m_text.toStd();
    Rect rect = textRect();
    const Argb colour = m_enabled ? m_textColour : m_disabledTextColour;
    if (m_effects.enabled) {
        const FontRecord& font = m_manager->fontInfo(m_font);
        if (!font.font) return;
        StringFormat format;
        format.alignment = (m_textStyle & DT_CENTER)  ? StringFormat::Center
                           : (m_textStyle & DT_RIGHT) ? StringFormat::Far
                                                      : StringFormat::Near;
        format.lineAlignment = (m_textStyle & DT_VCENTER)  ? StringFormat::Center
                               : (m_textStyle & DT_BOTTOM) ? StringFormat::Far
                                                           : StringFormat::Near;
        format.noWrap = true;
        format.renderingHint = m_effects.renderingHint;
        canvas.drawString(shown, *font.font,
                          {static_cast<float>(rect.left), static_cast<float>(rect.top),
                           static_cast<float>(rect.width()), static_cast<float>(rect.height())},
                          format, {colour, colour, {0, 0}, {0, 1}});
        return;
    }
    render::drawPlainText(canvas, m_manager, rect, shown, colour, m_font, m_textStyle | DT_SINGLELINE);
}
