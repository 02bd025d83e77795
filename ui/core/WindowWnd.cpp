// CWindowWnd: class registration, procedure routing, the modal loop,
// centring, icons, show and close.
#include "ui/core/WindowWnd.h"

#include "platform/system/Resources.h"
#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/render/ImageRecord.h"

#include <cassert>

using namespace platform;

namespace {

// The window property that holds the object of a superclassed window (its
// user data belongs to the class it extends).
constexpr const wchar_t* kObjectProperty = L"WndX";

int roundUpTo16(int v) { return (v + 15) / 16 * 16; }

} // namespace

CWindowWnd::~CWindowWnd() { assert(!m_window || !isWindow(m_window)); }

// --- Registration and routing ----------------------------------------------------

LResult CWindowWnd::onWindowMessage(unsigned message, WParam wParam, LParam lParam) {
    return callWindowProc(m_previousProc, m_window, message, wParam, lParam);
}

void CWindowWnd::afterDestroyed(WindowHandle) {}

bool CWindowWnd::isPlainChain(CControlUI* control) {
    if (!control) return false;
    for (CControlUI* c = control; c; c = c->parentControl())
        if (c->behaviourFlags() != 0) return false;
    return true;
}

bool CWindowWnd::registerPlainClass() {
    WindowClass cls;
    cls.name = wndClassName();
    cls.style = wndClassStyle();
    cls.proc = &CWindowWnd::hostWindowProc;
    cls.cursor = CursorShape::Arrow;
    return registerWindowClass(cls);
}

bool CWindowWnd::registerSuperclass() {
    WindowClass base;
    if (!windowClassInfo(baseClassName(), &base)) return false;
    m_previousProc = base.proc;
    WindowClass cls = base;
    cls.name = wndClassName();
    cls.proc = &CWindowWnd::controlWindowProc;
    return registerWindowClass(cls);
}

LResult CWindowWnd::hostWindowProc(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    CWindowWnd* self = nullptr;
    if (message == WM_NCCREATE) {
        const auto* params = reinterpret_cast<const CreateParams*>(lParam);
        self = params ? static_cast<CWindowWnd*>(params->createParam) : nullptr;
        if (self) {
            self->m_window = window;
            setWindowUserData(window, reinterpret_cast<std::intptr_t>(self));
        }
    } else {
        self = reinterpret_cast<CWindowWnd*>(windowUserData(window));
    }
    return route(self, window, message, wParam, lParam, /*superclass=*/false);
}

LResult CWindowWnd::controlWindowProc(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    CWindowWnd* self = nullptr;
    if (message == WM_NCCREATE) {
        const auto* params = reinterpret_cast<const CreateParams*>(lParam);
        self = params ? static_cast<CWindowWnd*>(params->createParam) : nullptr;
        if (self) {
            self->m_window = window;
            setWindowProp(window, kObjectProperty, self);
        }
    } else {
        self = static_cast<CWindowWnd*>(windowProp(window, kObjectProperty));
    }
    return route(self, window, message, wParam, lParam, /*superclass=*/true);
}

LResult CWindowWnd::route(CWindowWnd* self, WindowHandle window, unsigned message, WParam wParam, LParam lParam,
                          bool superclass) {
    if (!self) return defWindowProc(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        const LResult result = callWindowProc(self->m_previousProc, window, message, wParam, lParam);
        if (superclass)
            removeWindowProp(window, kObjectProperty);
        else
            setWindowUserData(window, 0);
        self->m_window = nullptr;
        self->afterDestroyed(window);
        return result;
    }
    return self->onWindowMessage(message, wParam, lParam);
}

// --- Creating -----------------------------------------------------------------------

WindowHandle CWindowWnd::createHostWindow(WindowHandle parent, std::wstring_view name, unsigned style, unsigned exStyle,
                                          int x, int y, int width, int height, std::intptr_t menu) {
    const bool registered = baseClassName() ? registerSuperclass() : registerPlainClass();
    if (!registered) return nullptr;
    WindowHandle window = createWindow(exStyle, wndClassName(), name, style, x, y, width, height, parent, this, menu);
    // The object may already be gone if creation failed after WM_NCCREATE.
    if (window) m_window = window;
    return window;
}

WindowHandle CWindowWnd::createHostWindow(WindowHandle parent, std::wstring_view name, unsigned style, unsigned exStyle,
                                          const Rect& rect, std::intptr_t menu) {
    return createHostWindow(parent, name, style, exStyle, rect.left, rect.top, rect.width(), rect.height(), menu);
}

// --- Showing, running, closing ---------------------------------------------------------

void CWindowWnd::setShown(bool show, bool takeFocus) {
    if (!m_window || !isWindow(m_window)) return;
    showWindow(m_window, !show ? SW_HIDE : takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
}

int CWindowWnd::runModal() { return runModal(/*show=*/true, /*takeFocus=*/true); }

int CWindowWnd::runModal(bool show, bool takeFocus) {
    if (!m_window || !isWindow(m_window)) return m_resultCode;
    // Only locals after the loop starts: a heap window may delete itself
    // when its window is destroyed.
    const WindowHandle window = m_window;
    const WindowHandle owner = relatedWindow(window, GW_OWNER);
    int result = m_resultCode;
    showWindow(window, !show ? SW_HIDE : takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
    if (owner) enableWindow(owner, false);

    bool quit = false;
    int quitCode = 0;
    Message msg;
    while (isWindow(window)) {
        if (!getMessage(msg)) {
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (msg.message == WM_CLOSE && msg.window == window) {
            result = static_cast<int>(msg.wParam);
            m_resultCode = result;
            if (owner) {
                enableWindow(owner, true);
                setFocus(owner);
            }
        }
        if (!CFormManagerUI::translateQueued(&msg)) {
            translateMessage(msg);
            dispatchMessage(msg);
        }
    }
    if (owner) {
        enableWindow(owner, true);
        setFocus(owner);
    }
    // Enclosing loops end too.
    if (quit) postQuitMessage(quitCode);
    return result;
}

void CWindowWnd::requestClose(int code) {
    if (!m_window || !isWindow(m_window)) return;
    m_resultCode = code;
    postMessage(m_window, WM_CLOSE, static_cast<WParam>(code), 0);
}

void CWindowWnd::centreOnOwner() {
    if (!m_window || !isWindow(m_window)) return;
    const Rect self = windowRect(m_window);
    const WindowHandle owner = relatedWindow(m_window, GW_OWNER);
    const Rect work = workAreaNear(owner ? owner : m_window);
    const Rect centre = (!owner || isIconic(owner)) ? work : windowRect(owner);
    const int w = self.width(), h = self.height();
    int x = (centre.left + centre.right) / 2 - w / 2;
    int y = (centre.top + centre.bottom) / 2 - h / 2;
    if (x < work.left)
        x = work.left;
    else if (x + w > work.right)
        x = work.right - w;
    if (y < work.top)
        y = work.top;
    else if (y + h > work.bottom)
        y = work.bottom - h;
    setWindowPos(m_window, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CWindowWnd::applyIcon(int resourceId) {
    if (!m_window) return false;
    const auto bytes = findResource(L"ICON", resourceId);
    if (bytes.empty()) return false;
    const std::unique_ptr<ImageRecord> image = decodeImage(bytes.data(), bytes.size(), 0);
    if (!image) return false;
    auto sized = [&](int cx, int cy) {
        Surface icon(roundUpTo16(cx), roundUpTo16(cy));
        Canvas canvas(icon);
        canvas.drawSurfaceSmooth(image->bitmap,
                                 {0, 0, static_cast<float>(icon.width()), static_cast<float>(icon.height())},
                                 image->bitmap.bounds());
        return icon;
    };
    const Surface big = sized(systemMetric(SM_CXICON), systemMetric(SM_CYICON));
    const Surface small = sized(systemMetric(SM_CXSMICON), systemMetric(SM_CYSMICON));
    sendMessage(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LParam>(&big));
    sendMessage(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LParam>(&small));
    return true;
}

LResult CWindowWnd::sendToWindow(unsigned message, WParam wParam, LParam lParam) {
    return sendMessage(m_window, message, wParam, lParam);
}

bool CWindowWnd::postToWindow(unsigned message, WParam wParam, LParam lParam) {
    return postMessage(m_window, message, wParam, lParam);
}
