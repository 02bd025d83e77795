// What the sdl backend asks an X server directly, beside SDL: whether a
// compositing manager runs, which visual carries per-pixel alpha, where
// the pointer is and the desktop's Xft.dpi. Not for
// use outside platform/window/backend/sdl (the only file with Xlib).
#pragma once

#include <memory>
#include <string>

struct SDL_Window;

namespace platform::detail {

struct X11Connection;

// A connection of its own to the X server SDL shows its windows on. UI thread only.
class X11Desktop {
public:
    // Connects to `displayName` (null: $DISPLAY); null when no X server answers.
    static std::unique_ptr<X11Desktop> open(const char* displayName);
    ~X11Desktop();
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    // The id of a 32-bit TrueColor visual whose spare bits are alpha, as
    // SDL's window-visual hint wants it ("0x..."); empty when the screen has none.
    const std::string& argbVisualId() const { return m_argbVisualId; }
    // Whether a compositing manager owns _NET_WM_CM_S<screen> now. Without
    // one, the alpha of a 32-bit window never reaches the screen.
    bool compositorRunning() const;
    // Where the pointer is now, in root-window (screen) coordinates. False
    // when the pointer is on another screen.
    bool pointerPosition(int* x, int* y) const;
    // Where the client area of an SDL window is now, in screen coordinates,
    // as the server has it. SDL's own idea can be off after a window manager
    // reparents the window. False when the window is not an X11 one.
    bool windowOrigin(SDL_Window* window, int* x, int* y) const;
    // The value of the X resource Xft.dpi as the server's resource database
    // held it when connected; empty when not set.
    const std::string& xftDpi() const { return m_xftDpi; }

private:
    explicit X11Desktop(std::unique_ptr<X11Connection> connection);
    std::unique_ptr<X11Connection> m_connection;
    std::string m_argbVisualId;
    std::string m_xftDpi;
};

} // namespace platform::detail
