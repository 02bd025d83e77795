// The interface between the window-system core and a display backend.
// Not for use outside platform/ (backends and the core only).
//
// Contract
// - The core owns every piece of window state: the tree of windows, styles,
//   rectangles, z-order, visibility, focus, activation, capture, timers, the
//   message queue, update regions and the pixels (one backing surface per
//   top-level window; child windows paint into their top-level's surface).
// - A backend shows top-level windows (it knows nothing of child windows),
//   delivers input and desktop requests, keeps time and wakes the UI thread.
// - Who calls whom:
//   * the core calls every WindowBackend function on the UI thread, except
//     wake(), which any thread may call (postMessage does);
//   * the backend calls WindowBackendHost (the core) only on the UI thread and
//     only from inside pollEvents()/waitEvents(), never from a core call.
//     hitTest() may be called at any point of that pumping (the sdl backend
//     answers its native hit-test callback with it).
// - Coordinates given to and from a backend are screen coordinates; a window
//   rectangle is its client area (the core has no non-client area: a desktop
//   frame, when decorated, lies outside the rectangle).
// - A backend reports what the user did through the desktop (moved, resized,
//   minimised, restored, closed, focus gained or lost). It does not report back
//   changes the core asked it to make.
#pragma once

#include "platform/window/Window.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// One event from the backend to the core.
struct BackendEvent {
    enum class Kind {
        MouseMove,    // screen
        MouseButton,  // screen, button, down, clicks (2 for the second click of a double click)
        MouseWheel,   // screen, wheelDelta (multiples of WHEEL_DELTA, positive away from the user)
        PointerLeft,  // the pointer left all windows of the process
        Key,          // vk, down, repeat
        Text,         // text (committed text of the keyboard or input method)
        Composition,  // text: what the input method is composing (empty: none), cursor in it
        CloseRequest, // the desktop asks to close `window` (becomes WM_SYSCOMMAND SC_CLOSE)
        Minimized,    // the desktop minimised `window`
        Restored,     // the desktop restored `window`
        Moved,        // the desktop moved `window` to rect (screen)
        Resized,      // the desktop resized `window` to rect (screen)
        FocusGained,  // `window` got the keyboard focus of the desktop
        FocusLost,    // `window` lost it
        Exposed,      // `window` needs its pixels presented again (rect: window coordinates)
    };
    Kind kind = Kind::MouseMove;
    WindowHandle window = nullptr; // the top-level window the event belongs to, if any
    Point screen;
    MouseButton button = MouseButton::Left;
    bool down = false;
    bool repeat = false;
    int clicks = 1;
    int wheelDelta = 0;
    unsigned vk = 0;
    std::wstring text;
    int cursor = 0; // Composition: the input method's cursor, in characters of text
    Rect rect;
};

// Implemented by the core; called by the backend (UI thread, inside pumping).
class WindowBackendHost {
public:
    virtual ~WindowBackendHost() = default;
    virtual void deliver(const BackendEvent& event) = 0;
    // Sends WM_NCHITTEST to the window under the point of `window` (screen
    // coordinates) and returns the answer (HT*).
    virtual int hitTest(WindowHandle window, Point screen) = 0;
};

class WindowBackend {
public:
    virtual ~WindowBackend() = default;
    virtual const char* name() const = 0;

    // --- Screen ---
    virtual Rect screenRect() = 0;
    virtual Rect workArea(Rect nearWindow) = 0;
    virtual unsigned caretBlinkTime() { return 530; }
    virtual unsigned doubleClickTime() { return 500; }
    // The desktop's scale factor for a window there (DisplayScale.h's rule).
    virtual double desktopScale(Rect nearWindow) = 0;

    // --- Time ---
    // Milliseconds of a monotonic clock; timers, hover and message times use it.
    virtual std::uint64_t now() = 0;

    // --- Events ---
    // Delivers every pending event to the host without waiting.
    virtual void pollEvents(WindowBackendHost& host) = 0;
    // Waits until an event arrives, wake() is called or timeoutMs passed
    // (-1: no limit), then delivers what is pending.
    virtual void waitEvents(WindowBackendHost& host, int timeoutMs) = 0;
    // Ends a waitEvents soon; a wake() before the wait makes that wait return
    // at once. Any thread; the core calls it when the UI thread waits or is
    // about to wait.
    virtual void wake() = 0;

    // --- Top-level windows (identified by the core's handle) ---
    virtual bool createWindow(WindowHandle window, Rect screen, const NativeWindowStyle& style,
                              const std::wstring& title) = 0;
    virtual void destroyWindow(WindowHandle window) = 0;
    virtual void setWindowRect(WindowHandle window, Rect screen) = 0;
    virtual void setWindowStyle(WindowHandle window, const NativeWindowStyle& style) = 0;
    virtual void setTitle(WindowHandle window, const std::wstring& title) = 0;
    // Shows or hides; `activate` asks for the desktop focus as well.
    virtual void showWindow(WindowHandle window, bool show, bool activate) = 0;
    virtual void minimizeWindow(WindowHandle window) = 0;
    virtual void restoreWindow(WindowHandle window) = 0;
    // Stacking: the core passes the complete order of shown top-level windows,
    // topmost first, after every change.
    virtual void restack(const std::vector<WindowHandle>& topFirst) = 0;
    // Gives the window the desktop focus.
    virtual void activateWindow(WindowHandle window) = 0;
    // Copies `dirty` (window coordinates) of the window's backing surface to the screen.
    virtual void present(WindowHandle window, const Surface& backing, Rect dirty) = 0;
    // Rounded-rectangle shape in window coordinates; null to remove.
    virtual void setShape(WindowHandle window, const Rect* rect, Size ellipse) = 0;
    virtual void setIcon(WindowHandle window, const Surface& pixels) = 0;
    // The smallest and largest size the desktop may give the window when the
    // user resizes it (kMaxWindowExtent: no limit).
    virtual void setSizeLimits(WindowHandle window, Size min, Size max) = 0;

    // --- Layered windows ---
    virtual bool layeredSupported() = 0;
    // Shows `pixels` (premultiplied) as the window, with a constant alpha.
    virtual bool updateLayered(WindowHandle window, const Surface& pixels, std::uint8_t alpha) = 0;
    virtual bool setOpacity(WindowHandle window, std::uint8_t alpha) = 0;

    // --- Input ---
    // A left button went down on HTCAPTION at `screen`: true when the backend
    // (or the desktop) moves the window itself; false makes the core move it
    // with the following pointer moves until the button is released.
    virtual bool beginDrag(WindowHandle window, Point screen) = 0;
    virtual void setCursor(CursorShape shape) = 0;
    // Keep pointer events coming while the pointer is outside our windows.
    virtual void setCapture(bool on) = 0;
    // Input-method caret area (screen coordinates); an empty rect ends text input.
    virtual void setTextInputArea(WindowHandle window, Rect screenCaret) = 0;
    virtual std::wstring clipboardText() = 0;
    virtual bool setClipboardText(const std::wstring& text) = 0;
};

namespace detail {

// Creates the sdl backend (platform/window/backend/sdl/WindowSdl.cpp); null with a reason in `error`
// when the display cannot be opened.
std::unique_ptr<WindowBackend> createSdlBackend(std::string* error);

// Registers the built-in classes "Edit" and "tooltips_class32"; called once
// by the core when the display opens.
void registerEditClass();
void registerTooltipClass();

} // namespace detail
} // namespace platform
