// The base of every window the framework creates: class registration (plain
// or as a superclass of a built-in class), creation with the object as
// creation parameter, the routing of the window procedure to a virtual
// handler, and the modal message loop, centring, icons, show and close.
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/window/Window.h"

#include <cstdint>
#include <string_view>

class CControlUI;

// A window object. The object is reachable from its window from
// WM_NCCREATE to WM_NCDESTROY (plain classes through the window's user
// data, superclasses through the window property "WndX"); afterDestroyed is
// the last call it gets, after which a heap object may delete itself. It
// knows nothing of controls: a derived window holds a CFormManagerUI and
// forwards its messages. UI thread only.
class CWindowWnd {
public:
    CWindowWnd() = default;
    // The window must be gone first (it would route to a deleted object).
    virtual ~CWindowWnd();
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    // --- What a derived window provides ---
    virtual const wchar_t* wndClassName() const = 0;
    // A built-in class to superclass ("Edit"), or null for a plain class.
    virtual const wchar_t* baseClassName() const { return nullptr; }
    virtual unsigned wndClassStyle() const { return 0; }
    // Every message of the window (WM_NCCREATE included); the default passes
    // it to the previous procedure (the default procedure, or the
    // superclassed class's).
    virtual platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam);
    // Called once the window is gone (after WM_NCDESTROY).
    virtual void afterDestroyed(platform::WindowHandle window);

    // False for null; true when neither the control nor any ancestor reports behaviour flags.
    static bool isPlainChain(CControlUI* control);

    // --- Creating ---
    // Registers the class (an existing class counts as success) and creates
    // the window; null when registration or creation fails. `menu` is the
    // child window id.
    platform::WindowHandle createHostWindow(platform::WindowHandle parent, std::wstring_view name, unsigned style,
                                            unsigned exStyle, int x, int y, int width, int height,
                                            std::intptr_t menu = 0);
    platform::WindowHandle createHostWindow(platform::WindowHandle parent, std::wstring_view name, unsigned style,
                                            unsigned exStyle, const platform::Rect& rect, std::intptr_t menu = 0);
    platform::WindowHandle windowHandle() const { return m_window; }

    // --- Showing, running, closing ---
    // Hide, show and activate, or show without activating. Nothing without a window.
    void setShown(bool show = true, bool takeFocus = true);
    // Shows the window, disables its owner and runs a message loop until the
    // window is gone or WM_QUIT arrives (which is posted again so that
    // enclosing loops end too). Returns the result code (the code of the
    // last close request).
    int runModal();
    int runModal(bool show, bool takeFocus);
    // Stores the code as result and posts WM_CLOSE (wParam = code). Nothing without a window.
    void requestClose(int code = 0);
    // Centres on the owner (or the work area), kept inside the work area.
    void centreOnOwner();
    // Sets the big and small icons from the embedded icon resource `id`.
    bool applyIcon(int resourceId);
    int resultCode() const { return m_resultCode; }

    platform::LResult sendToWindow(unsigned message, platform::WParam wParam = 0, platform::LParam lParam = 0);
    bool postToWindow(unsigned message, platform::WParam wParam = 0, platform::LParam lParam = 0);

protected:
    platform::WindowHandle m_window = nullptr;
    platform::WindowProc m_previousProc = &platform::defWindowProc;
    bool m_subclassed = false;
    int m_resultCode = 0;

private:
    bool registerPlainClass();
    bool registerSuperclass();
    static platform::LResult hostWindowProc(platform::WindowHandle window, unsigned message, platform::WParam wParam,
                                            platform::LParam lParam);
    static platform::LResult controlWindowProc(platform::WindowHandle window, unsigned message, platform::WParam wParam,
                                               platform::LParam lParam);
    static platform::LResult route(CWindowWnd* self, platform::WindowHandle window, unsigned message,
                                   platform::WParam wParam, platform::LParam lParam, bool superclass);
};
