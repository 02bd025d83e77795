// The virtual display: a headless screen in memory for tests, snapshots and
// CI. Tests open it, inject input, move time and read back what each window
// shows. Everything here is for the UI thread unless marked "any thread".
#pragma once

#include "platform/window/Window.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::vdisplay {

// Opens the virtual display with a screen of the given size (work area: the
// whole screen) unless a display is already open; true when the virtual display
// is the open one afterwards. The calling thread becomes the UI thread.
bool open(Size screen = {1280, 800});

// Destroys every window, kills timers, empties the queue and clears the quit
// flag, key state, capture and clipboard: a clean start for the next test.
// The display stays open.
void reset();

// --- Input (queued; delivered at the next pump or getMessage) ---
void moveMouse(Point screen);
void mouseDown(Point screen, MouseButton which = MouseButton::Left);
void mouseUp(Point screen, MouseButton which = MouseButton::Left);
void click(Point screen, MouseButton which = MouseButton::Left); // move, down, up
void doubleClick(Point screen);                                  // move, down, up, down (second click), up
void wheel(Point screen, int delta);                             // delta in WHEEL_DELTA units (120 per notch)
// Left button down at `from`, the pointer moved to `to` in `steps` equal
// steps, button up: a caption drag, or a border drag when `from` is on a
// border the window's WM_NCHITTEST names (HTLEFT ... HTBOTTOMRIGHT).
void drag(Point from, Point to, int steps = 1);
void keyDown(unsigned vk, bool repeat = false);
void keyUp(unsigned vk);
void pressKey(unsigned vk);            // down, up
void typeText(std::wstring_view text); // committed text, as from an input method
// What an input method is composing (empty: the composition is cancelled),
// the cursor in it (negative: at its end). Committing is typeText.
void composeText(std::wstring_view text, int cursor = -1);
void altKey(unsigned vk); // Alt down, key down/up, Alt up
void pointerLeft();       // the pointer left every window
// Desktop requests for a top-level window.
void requestClose(WindowHandle window);
void requestMinimize(WindowHandle window);
void requestRestore(WindowHandle window);
void setDesktopFocus(WindowHandle window, bool focused);

// --- Time ---
// Moves the display clock forward at once (timers and hover become due).
void advanceTime(unsigned ms);

// --- Running the loop ---
// Dispatches everything that is pending now (input, posted messages, paints,
// due timers) without waiting; returns the number of messages dispatched.
// WM_QUIT is left in place (and ends the pump).
int pump();
// Pumps, waiting for new events, until `done` returns true or timeoutMs passes.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// --- What the screen shows ---
struct Snapshot {
    Size size;
    std::vector<std::uint32_t> pixels; // 0xAARRGGBB premultiplied, top-down rows
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * size.cx + x]; }
};
// The pixels the top-level window shows (presented or layered pixels, with the
// opacity and region applied). False for a window that is not a top-level window.
bool windowPixels(WindowHandle window, Snapshot& out);
bool writeWindowPng(WindowHandle window, const std::string& path);

struct NativeState {
    bool exists = false;
    bool shown = false;
    bool minimized = false;
    Rect rect; // screen
    NativeWindowStyle style;
    std::wstring title;
    bool hasShape = false;
    Rect shapeRect;
    Size shapeEllipse;
    bool hasIcon = false;
    Size minSize; // limits of a desktop resize
    Size maxSize{kMaxWindowExtent, kMaxWindowExtent};
    bool layeredContent = false; // pixels come from updateLayeredWindow
    std::uint8_t opacity = 255;
    int presentCount = 0;
    Rect lastPresented; // window coordinates
};
NativeState nativeState(WindowHandle window);
std::vector<WindowHandle> stackingOrder(); // shown top-level windows, topmost first
WindowHandle desktopFocus();
CursorShape currentCursor();
bool pointerCaptured();
bool textInputActive();

} // namespace platform::vdisplay
