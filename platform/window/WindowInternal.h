// State of the window-system core shared by its source files.
// Not for use outside the platform/Window*.cpp files.
#pragma once

#include "platform/graphics/Graphics.h"
#include "platform/window/Window.h"
#include "platform/window/backend/WindowBackend.h"

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace platform::detail {

// Messages the core posts to itself; never handed to a window procedure.
inline constexpr unsigned kRemoteCommandMessage = 0x00010001u;

struct TimerEntry {
    std::uintptr_t id = 0;
    unsigned interval = 0;
    std::uint64_t due = 0;
};

// One window. Owned by the core; reached through its handle only.
struct WindowData {
    WindowHandle handle = nullptr;
    WindowClass cls;
    WindowProc proc = nullptr;
    std::wstring text;
    unsigned style = 0;
    unsigned exStyle = 0;
    std::intptr_t id = 0;
    std::intptr_t userData = 0;
    std::map<std::wstring, void*, std::less<>> props;

    WindowHandle parent = nullptr;      // WS_CHILD windows
    WindowHandle owner = nullptr;       // owned top-level windows
    std::vector<WindowHandle> children; // topmost first

    Rect rect;        // screen (top-level) or parent client coordinates (child)
    Rect restoreRect; // before maximising
    bool visible = false;
    bool iconic = false;
    bool zoomed = false;
    bool destroying = false;
    bool created = false; // WM_CREATE succeeded

    // Painting.
    Rect update;
    bool eraseNeeded = false;
    std::unique_ptr<Canvas> paintCanvas;

    // Top-level only.
    bool native = false;
    std::unique_ptr<Surface> backing;
    Rect presentDirty;
    bool hasRegion = false;
    Rect regionRect;
    Size regionEllipse;
    bool layeredContent = false;

    std::vector<TimerEntry> timers;

    // Mouse tracking.
    unsigned trackFlags = 0;
    unsigned hoverTime = 400;
    std::uint64_t hoverDue = 0;
    Point hoverOrigin;

    bool isChild() const { return (style & WS_CHILD) != 0; }
    bool enabled() const { return (style & WS_DISABLED) == 0; }
};

class Core final : public WindowBackendHost {
public:
    static Core& get();
    ~Core() override;

    // --- Display ---
    bool ensureDisplay(std::string* error);
    void installBackend(std::unique_ptr<WindowBackend> backend);
    void ensureBuiltins();
    WindowBackend* backend() { return m_backend.get(); }
    std::uint64_t now();

    // --- Windows ---
    WindowData* find(WindowHandle h);
    WindowData* findLive(WindowHandle h); // not being destroyed
    WindowHandle root(WindowHandle h);    // the top-level window holding h
    Point clientOriginOnScreen(const WindowData& w);
    Point originInRoot(const WindowData& w);                  // client origin in its top-level's coordinates
    bool isDescendant(WindowHandle ancestor, WindowHandle h); // or equal
    std::vector<WindowHandle> ownedWindows(WindowHandle owner);
    NativeWindowStyle nativeStyle(const WindowData& w);
    void sendSize(WindowData& w, unsigned kind);
    // Moves and sizes a window. A top-level window that changes size is first
    // asked for WM_GETMINMAXINFO and held inside its track sizes; the edges
    // named by `sizingEdge` (an HT* border code) move, the opposite ones stay.
    void applyRect(WindowHandle h, Rect rect, bool redraw, bool fromDesktop, int sizingEdge = HTBOTTOMRIGHT);
    // Sends WM_GETMINMAXINFO with the defaults and passes the track sizes on
    // to the desktop. Defaults only for a window that is gone or a child.
    MinMaxInfo queryMinMax(WindowHandle h);
    bool enabledChain(WindowHandle h); // the window and its ancestors are enabled
    bool canActivate(const WindowData& d);
    void normalizeZorder();
    void showTopOrChild(WindowHandle h, bool activateIt);
    void hideWindow(WindowHandle h);
    void minimize(WindowHandle h, bool fromDesktop);
    void restore(WindowHandle h, bool fromDesktop);
    void raiseTopLevel(WindowHandle h);
    void syncStacking();
    void activate(WindowHandle h, unsigned how, bool fromDesktop);
    void deactivate(WindowHandle h);
    void activateSuccessor(WindowHandle leaving);
    void removeFocusFrom(WindowHandle subtreeRoot);
    void finishDestroy(WindowHandle h);
    void destroyTree(WindowHandle h);
    void resetAll();

    // --- Queue ---
    bool postInternal(const Message& m);
    bool nextMessage(Message& msg, bool remove, bool wait);
    void purgeMessagesFor(WindowHandle h);
    void wake();
    LResult send(WindowHandle h, unsigned msg, WParam wp, LParam lp);

    // --- Input ---
    void deliver(const BackendEvent& event) override;
    int hitTest(WindowHandle window, Point screen) override;
    void processInput(const BackendEvent& e);
    // Deepest shown window under the point, skipping the given windows.
    WindowHandle windowAt(Point screen, const std::vector<WindowHandle>& skip);
    // windowAt that asks WM_NCHITTEST and looks through HTTRANSPARENT answers.
    WindowHandle hitWindow(Point screen, int& hit);
    void releaseCaptureInternal();
    void handleMouseMove(Point screen);
    void handleButton(const BackendEvent& e);
    void handleKey(const BackendEvent& e);
    void postInput(WindowHandle h, unsigned msg, WParam wp, LParam lp);
    std::uint64_t nextDue(); // earliest timer or hover due time; UINT64_MAX when none
    void waitForWork(int maxMs);
    unsigned mouseKeyFlags();
    void checkMouseLeave();
    void setKeyDown(unsigned vk, bool down);
    WindowHandle keyTarget();

    // --- Paint ---
    WindowHandle findPaintCandidate();
    void flushPresents();
    void ensureBacking(WindowData& w);
    void invalidateChildrenIn(WindowData& w, Rect area);
    bool regionContains(const WindowData& w, Point windowPoint);

    // --- Remote windows (other processes) ---
    bool isRemote(WindowHandle h);
    void serveWindow(WindowData& w); // (re)publish class and title
    void unserveWindow(WindowHandle h);
    bool remoteCommand(WindowHandle h, const std::string& command);
    WindowHandle findRemote(const std::wstring& cls, const std::wstring& title);
    void handleRemoteCommand(WindowHandle h, WParam command, LParam arg);
    void stopServer();

    // --- Shared state (UI thread unless noted) ---
    std::unique_ptr<WindowBackend> m_backend;
    std::string m_displayError;
    bool m_displayFailed = false;
    std::atomic<std::thread::id> m_uiThread{};
    std::atomic<WindowBackend*> m_wakeTarget{nullptr};
    std::atomic<bool> m_waiting{false}; // the UI thread waits in the backend

    std::map<std::wstring, WindowClass, std::less<>> m_classes;
    bool m_builtinsRegistered = false;

    std::unordered_map<WindowHandle, std::unique_ptr<WindowData>> m_windows;
    std::vector<std::unique_ptr<WindowData>> m_graveyard; // freed when no procedure runs
    int m_callDepth = 0;
    std::vector<WindowHandle> m_zorder; // top-level windows, topmost first (shown or not)
    std::uintptr_t m_nextHandle = 0x10000;

    WindowHandle m_focus = nullptr;
    WindowHandle m_active = nullptr;
    WindowHandle m_capture = nullptr;
    WindowHandle m_underPointer = nullptr;
    Point m_cursor{-1, -1};
    CursorShape m_cursorShape = CursorShape::Arrow;
    std::uint8_t m_keys[256] = {}; // bit 0x80 down, bit 0x01 toggled
    std::wstring m_composition;    // the input method's text being composed
    int m_compositionCursor = 0;
    bool m_altAlone = false;
    bool m_keyMenuPending = false;
    WindowHandle m_lastClickWindow = nullptr;

    // Core-run caption drag (HTCAPTION) or border drag (HTLEFT ... HTBOTTOMRIGHT).
    WindowHandle m_dragWindow = nullptr;
    int m_dragHit = HTCAPTION;
    Point m_dragStart;
    Rect m_dragStartRect;

    std::deque<BackendEvent> m_rawInput;
    std::uint64_t m_lastPoll = 0; // when the backend was last asked for events

    // Queue (any thread, under m_queueMutex).
    std::mutex m_queueMutex;
    std::condition_variable m_queueCv;
    std::deque<Message> m_posted;
    std::unordered_set<WindowHandle> m_live;
    bool m_quitPosted = false;
    int m_quitCode = 0;

    // Remote windows.
    struct RemoteWindow {
        std::string socketName;
    };
    std::unordered_map<WindowHandle, RemoteWindow> m_remote;
    struct ServerState;
    ServerState* m_server = nullptr; // lives as long as the process
};

// The UI-thread rule, checked where the public entry points start (debug
// builds): windows belong to the thread that opened the display. Before a
// display is open there is no UI thread yet, and the first caller becomes it.
inline void assertUiThread() {
    [[maybe_unused]] const std::thread::id ui = Core::get().m_uiThread.load();
    assert((ui == std::thread::id{} || ui == std::this_thread::get_id()) && "window call off the UI thread");
}

// Abstract socket name of the window with this class and title for the current user.
std::string remoteSocketName(const std::wstring& cls, const std::wstring& title);
// The display this process's windows are on ("virtual", or the X11 and
// Wayland display names; empty without any), part of the names above.
std::string displayKey();

std::unique_ptr<WindowBackend> createVirtualBackend(Size screen);

// Whether a hit-test code names a sizing border (HTLEFT ... HTBOTTOMRIGHT).
constexpr bool isSizingHit(int hit) { return hit >= HTLEFT && hit <= HTBOTTOMRIGHT; }

// `rect` with its size held inside the track sizes of `info`; the edges that
// `sizingEdge` (an HT* border code) names move, the opposite ones stay.
Rect clampToTrackSizes(const MinMaxInfo& info, Rect rect, int sizingEdge);

} // namespace platform::detail
