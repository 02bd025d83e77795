// The window system: window classes and procedures, the message queue of the
// UI thread, geometry, focus, input, timers, painting, regions, layered
// windows and finding a window of another process. One core serves every
// display backend (QUELLAN_DISPLAY=sdl|virtual).
//
// Threads: the thread that opens the display (explicitly or by the first call
// that needs it) is the UI thread. Every function here is for the UI thread
// only, except postMessage, isWindow and the display queries marked
// "any thread".
//
// Messages carry "device contexts" as a Canvas pointer in wParam
// (WM_ERASEBKGND, WM_PRINT, WM_PRINTCLIENT, WM_CTLCOLOREDIT/STATIC) and text
// as a `const wchar_t*` in lParam (WM_SETTEXT; WM_GETTEXT fills a buffer of
// wParam characters including the terminating zero).
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/window/WindowMessages.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Canvas;
class Surface;

// A window. Handles are never reused within a process, so a stale handle is
// simply "not a window" (isWindow false) and every call on it fails quietly.
struct WindowObject;
using WindowHandle = WindowObject*;

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;
using WindowProc = LResult (*)(WindowHandle window, unsigned message, WParam wParam, LParam lParam);

// Special insert-after values of setWindowPos.
inline const WindowHandle HWND_TOP = nullptr;
inline const WindowHandle HWND_BOTTOM = reinterpret_cast<WindowHandle>(std::intptr_t{1});
inline const WindowHandle HWND_TOPMOST = reinterpret_cast<WindowHandle>(std::intptr_t{-1});
inline const WindowHandle HWND_NOTOPMOST = reinterpret_cast<WindowHandle>(std::intptr_t{-2});

// A queued message. `time` is the display clock in milliseconds, `pt` the
// cursor position in screen coordinates when it was queued.
struct Message {
    WindowHandle window = nullptr;
    unsigned message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    std::uint32_t time = 0;
    Point pt;
};

// What lParam of WM_NOTIFY points to: the control that sends the
// notification, its id and the notification code.
struct NotifyHeader {
    WindowHandle from = nullptr;
    std::uintptr_t id = 0;
    unsigned code = 0;
};

// lParam of WM_NCCREATE and WM_CREATE (a pointer to this record).
struct CreateParams {
    void* createParam = nullptr;   // the creation parameter given to createWindow
    WindowHandle parent = nullptr; // parent (WS_CHILD) or owner
    std::intptr_t id = 0;
    unsigned style = 0;
    unsigned exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    const wchar_t* name = L"";
    const wchar_t* className = L"";
};

// lParam of WM_GETMINMAXINFO (a pointer to this record). The core sends it to
// a top-level window before the window changes size, whoever sizes it (the
// program, a border drag, the desktop, maximising), with the defaults filled
// in; the procedure may change any field. The new size is then held between
// the track sizes (the minimum wins where they cross); a maximised window
// takes maxSize at maxPosition.
struct MinMaxInfo {
    Size maxSize;      // maximised size; default: the work area's
    Point maxPosition; // maximised top-left (screen); default: the work area's
    Size minTrackSize; // default 0 × 0
    Size maxTrackSize; // default kMaxWindowExtent × kMaxWindowExtent (no limit)
};
inline constexpr int kMaxWindowExtent = 32767;

// How a top-level window looks on the desktop.
struct NativeWindowStyle {
    bool decorated = false;  // WS_CAPTION or WS_THICKFRAME: a desktop frame with a title bar
    bool resizable = false;  // WS_THICKFRAME
    bool topmost = false;    // WS_EX_TOPMOST
    bool toolWindow = false; // WS_EX_TOOLWINDOW or an owned popup: no taskbar entry
    bool popup = false;      // never takes the focus: WS_EX_NOACTIVATE, or a WS_POPUP tool window (tooltips)
    bool layered = false;    // WS_EX_LAYERED
};

// The mouse buttons the window system reports and the virtual display injects.
enum class MouseButton { Left, Right, Middle };

enum class CursorShape { Arrow, Hand, IBeam, SizeNS, SizeWE, SizeNWSE, SizeNESW, SizeAll, Wait };

struct WindowClass {
    std::wstring name;
    unsigned style = 0; // CS_ bits; CS_DBLCLKS turns a second click into a double click
    WindowProc proc = nullptr;
    CursorShape cursor = CursorShape::Arrow; // set by the default WM_SETCURSOR handling
};

// --- Display ---

// Opens the display named by QUELLAN_DISPLAY (sdl when unset) if none is open.
// On failure the reason is logged to stderr, stored (displayError) and every
// later call fails the same way at once, never hangs.
bool openDisplay(std::string* error = nullptr);
bool isDisplayOpen();             // any thread
std::string displayError();       // why the display could not be opened; empty when it could
const char* displayBackendName(); // "sdl", "virtual" or "" when none is open
bool isUiThread();                // any thread

// --- Window classes ---

// Registers a class; an already registered class of that name counts as success.
// False without a procedure or name.
bool registerWindowClass(const WindowClass& cls);
// The registration of a class (built-in ones included: "Edit", "tooltips_class32").
// A superclass copies it, keeps `proc` as its previous procedure and registers
// the copy under a new name with its own procedure.
bool windowClassInfo(std::wstring_view name, WindowClass* out);

// --- Creating and destroying ---

// Creates a window. `parent` is the parent for WS_CHILD windows and the owner
// otherwise. The procedure receives WM_NCCREATE and WM_CREATE (lParam points to
// a CreateParams), then WM_SIZE and WM_MOVE; a WS_VISIBLE window is then shown
// (and a top-level one activated). Null when the class is unknown, the display
// cannot be opened, or WM_NCCREATE returns 0 / WM_CREATE returns -1.
// CW_USEDEFAULT as x or width picks a position or size.
WindowHandle createWindow(unsigned exStyle, std::wstring_view className, std::wstring_view name, unsigned style, int x,
                          int y, int width, int height, WindowHandle parent, void* createParam, std::intptr_t id = 0);
// Destroys owned windows first, then sends WM_DESTROY to the window, destroys
// its children (each gets WM_DESTROY ... WM_NCDESTROY) and ends with
// WM_NCDESTROY to the window. False for a handle that is not a window.
bool destroyWindow(WindowHandle window);
bool isWindow(WindowHandle window); // any thread

// --- Procedures, data, styles, text ---

LResult defWindowProc(WindowHandle window, unsigned message, WParam wParam, LParam lParam);
LResult callWindowProc(WindowProc proc, WindowHandle window, unsigned message, WParam wParam, LParam lParam);
WindowProc windowProc(WindowHandle window);
WindowProc setWindowProc(WindowHandle window, WindowProc proc); // returns the previous one
std::wstring windowClassName(WindowHandle window);
std::intptr_t windowId(WindowHandle window);

std::intptr_t windowUserData(WindowHandle window);
std::intptr_t setWindowUserData(WindowHandle window, std::intptr_t value); // returns the previous value
bool setWindowProp(WindowHandle window, std::wstring_view name, void* value);
void* windowProp(WindowHandle window, std::wstring_view name);       // null when absent
void* removeWindowProp(WindowHandle window, std::wstring_view name); // returns the removed value

unsigned windowStyle(WindowHandle window);
// Returns the previous style. WS_VISIBLE and WS_DISABLED follow showWindow and
// enableWindow only; changing WS_CAPTION or WS_THICKFRAME of a top-level window
// changes its decoration.
unsigned setWindowStyle(WindowHandle window, unsigned style);
unsigned windowExStyle(WindowHandle window);
// Returns the previous extended style; WS_EX_TOPMOST is kept by setWindowPos,
// clearing WS_EX_LAYERED ends layered mode.
unsigned setWindowExStyle(WindowHandle window, unsigned exStyle);

bool setWindowText(WindowHandle window, std::wstring_view text); // through WM_SETTEXT
std::wstring windowText(WindowHandle window);                    // through WM_GETTEXTLENGTH / WM_GETTEXT

// --- Messages ---

// Queues a message for the window (null: a message for the UI thread itself,
// returned by getMessage with a null window). Any thread; wakes a waiting
// loop. False when the window does not exist.
bool postMessage(WindowHandle window, unsigned message, WParam wParam, LParam lParam);
// Calls the window's procedure at once (UI thread). 0 for a handle that is not a window.
LResult sendMessage(WindowHandle window, unsigned message, WParam wParam, LParam lParam);
// getMessage returns false (with WM_QUIT and the code in wParam) once the queue is empty.
void postQuitMessage(int exitCode);
// Waits for the next message: posted and input messages first, then WM_QUIT,
// then WM_PAINT for windows with an update region, then due WM_TIMERs.
// False for WM_QUIT.
bool getMessage(Message& msg);
enum class PeekMode { Keep, Remove };
// Like getMessage without waiting; false when nothing is there.
bool peekMessage(Message& msg, PeekMode mode = PeekMode::Remove);
// WM_KEYDOWN of Backspace, Tab, Return, Escape and Ctrl+letter queues the
// matching WM_CHAR; WM_SYSKEYDOWN of a letter or digit queues WM_SYSCHAR.
// Printable characters arrive as WM_CHAR from text input without translation.
bool translateMessage(const Message& msg);
LResult dispatchMessage(const Message& msg);

// --- Geometry and state ---

bool showWindow(WindowHandle window, int command); // SW_*; returns whether it was visible
bool setWindowPos(WindowHandle window, WindowHandle insertAfter, int x, int y, int cx, int cy, unsigned flags);
bool moveWindow(WindowHandle window, int x, int y, int width, int height, bool repaint);
Rect windowRect(WindowHandle window); // screen coordinates
Rect clientRect(WindowHandle window); // (0, 0, width, height)
Point clientToScreen(WindowHandle window, Point p);
Point screenToClient(WindowHandle window, Point p);
bool isWindowVisible(WindowHandle window); // the window and all its ancestors are shown
bool isIconic(WindowHandle window);
bool isZoomed(WindowHandle window);
bool isWindowEnabled(WindowHandle window);
// Returns whether the window was disabled before. Disabling the focus window
// (or an ancestor of it) removes the focus.
bool enableWindow(WindowHandle window, bool enable);

WindowHandle parentWindow(WindowHandle window); // null for a top-level window
WindowHandle ownerWindow(WindowHandle window);
WindowHandle relatedWindow(WindowHandle window, unsigned relation); // GW_*
WindowHandle ancestorWindow(WindowHandle window, unsigned kind);    // GA_*
std::vector<WindowHandle> childWindows(WindowHandle window);        // topmost first
bool isChildWindow(WindowHandle parent, WindowHandle window);       // any depth
WindowHandle windowFromPoint(Point screen);                         // deepest visible, enabled window; null outside all

// Sends WM_KILLFOCUS (wParam = the new window) and WM_SETFOCUS (wParam = the
// old one); activates the top-level window first. Returns the previous focus.
WindowHandle setFocus(WindowHandle window);
WindowHandle focusWindow();
WindowHandle activeWindow();
WindowHandle setActiveWindow(WindowHandle window);
WindowHandle foregroundWindow();
bool setForegroundWindow(WindowHandle window);
bool bringWindowToTop(WindowHandle window);

// --- Input ---

WindowHandle setCapture(WindowHandle window); // returns the previous capture
bool releaseCapture();
WindowHandle captureWindow();
// TME_HOVER / TME_LEAVE (TME_CANCEL to stop): one WM_MOUSEHOVER after the
// pointer rested hoverTime ms (HOVER_DEFAULT: 400) and one WM_MOUSELEAVE when it
// leaves; both end the tracking.
bool trackMouseEvent(WindowHandle window, unsigned flags, unsigned hoverTime);
CursorShape setCursor(CursorShape shape); // returns the previous one
// High bit (0x8000, negative) set while the key or button (VK_*) is down;
// low bit toggled by each press.
std::int16_t keyState(unsigned vk);
Point cursorPos(); // screen coordinates
unsigned doubleClickTime();
// The caret rectangle for input methods (client coordinates); an empty rectangle ends text input.
void setTextInputArea(WindowHandle window, Rect caret);
std::wstring clipboardText();
bool setClipboardText(std::wstring_view text);
// The text an input method is composing for the focused window (not yet
// committed: it arrives as WM_CHAR when it is), empty when none; `cursor`
// receives the input method's cursor in it. WM_IME_COMPOSITION tells the
// focused window that it changed.
std::wstring compositionText(int* cursor = nullptr);

// --- Timers ---

// Starts or restarts timer `id` of the window; WM_TIMER with wParam = id.
// Every id works, 0 included. Returns non-zero (the id, or 1 for id 0) on
// success, 0 when the window does not exist.
std::uintptr_t setTimer(WindowHandle window, std::uintptr_t id, unsigned intervalMs);
bool killTimer(WindowHandle window, std::uintptr_t id);

// --- Painting ---

// Filled by beginPaint: a canvas on the window's surface whose origin is the
// client origin and whose clip is the paint rectangle (client coordinates).
// The canvas stays valid until endPaint.
struct PaintInfo {
    Canvas* canvas = nullptr;
    Rect paint;
    bool erase = false; // WM_ERASEBKGND was not handled (returned 0)
};
Canvas* beginPaint(WindowHandle window, PaintInfo& info);
// Ends the paint and presents the painted rectangle to the screen once the
// pending paints of the window's top-level window are done.
bool endPaint(WindowHandle window, const PaintInfo& info);
// Adds a rectangle (client coordinates; null = all) to the update region.
bool invalidateRect(WindowHandle window, const Rect* rect, bool erase);
bool validateRect(WindowHandle window, const Rect* rect);
// The bounding box of the update region; false when it is empty.
bool getUpdateRect(WindowHandle window, Rect* rect, bool erase);
// Sends WM_PAINT now when the update region is not empty.
bool updateWindow(WindowHandle window);
// Sends WM_PRINT with the canvas and PRF_* flags.
bool printWindow(WindowHandle window, Canvas& canvas, unsigned flags);

// --- Region, icon, screen ---

// Clips the window to a rounded rectangle (window coordinates, right and bottom
// exclusive, ellipse width and height as for rounded-rectangle regions).
bool setWindowRoundRegion(WindowHandle window, Rect rect, Size ellipse, bool redraw);
bool clearWindowRegion(WindowHandle window);
// Premultiplied 32-bit pixels; ICON_BIG or ICON_SMALL.
bool setWindowIcon(WindowHandle window, unsigned kind, const Surface& pixels);
Rect screenRect();
Rect workAreaNear(WindowHandle window); // work area of the monitor nearest the window
unsigned caretBlinkTime();
// Device pixels per skin unit for a window on the monitor of `window` (the
// primary one for null): QUELLAN_SCALE, Xft.dpi / 96, GDK_SCALE, then what
// the display reports, in steps of 0.25 within 1..3 (DisplayScale.h). The
// virtual display reads QUELLAN_SCALE only. 1 without a display.
double desktopScale(WindowHandle window);
int systemMetric(int index); // SM_*

// --- Layered windows ---

// Whether per-pixel layered windows reach the screen on this display; callers
// fall back to plain windows silently when not.
bool layeredWindowsSupported();
// Shows `pixels` (32-bit premultiplied, the window's size or larger) as the
// whole window with a constant alpha; `screenPos` moves it when not null.
// Needs WS_EX_LAYERED.
bool updateLayeredWindow(WindowHandle window, const Surface& pixels, const Point* screenPos, std::uint8_t alpha);
// Whole-window opacity (255 opaque); needs WS_EX_LAYERED.
bool setWindowOpacity(WindowHandle window, std::uint8_t alpha);

// --- Other processes ---

// A top-level window of this or another process of the same user with exactly
// this class and title, or null. A window of another process supports
// showWindow, setWindowPos (z-order changes), setForegroundWindow and isWindow
// only.
WindowHandle findWindow(std::wstring_view className, std::wstring_view title);

} // namespace platform
