// Window-system core: display selection, window classes, window lifetime,
// data, styles and text, geometry, visibility, z-order, activation and focus.
//
// Index:
//   --- Display ---
//   --- Classes ---
//   --- Helpers ---
//   --- Create and destroy ---
//   --- Data, styles, text ---
//   --- Geometry ---
//   --- Show, z-order, activation ---
//   --- Focus and enabling ---
#include "platform/window/WindowInternal.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cwctype>

namespace platform {
namespace detail {

Core& Core::get() {
    // Never destroyed: windows may be touched by static destructors of other
    // objects, and the find-window server thread runs until the process ends.
    static Core* core = new Core;
    return *core;
}

// --- Display ---

namespace {

Size virtualScreenFromEnv() {
    Size size{1280, 800};
    if (const char* env = std::getenv("QUELLAN_VIRTUAL_SCREEN")) {
        int w = 0, h = 0;
        if (std::sscanf(env, "%dx%d", &w, &h) == 2 && w > 0 && h > 0 && w <= 16384 && h <= 16384) size = {w, h};
    }
    return size;
}

std::wstring classKey(std::wstring_view name) {
    std::wstring key(name);
    for (auto& ch : key)
        if (ch < 128) ch = static_cast<wchar_t>(std::towlower(ch));
    return key;
}

} // namespace

bool Core::ensureDisplay(std::string* error) {
    if (m_backend) return true;
    if (!m_displayFailed) {
        const char* env = std::getenv("QUELLAN_DISPLAY");
        std::string which = env && *env ? env : "sdl";
        std::string why;
        std::unique_ptr<WindowBackend> backend;
        if (which == "virtual")
            backend = createVirtualBackend(virtualScreenFromEnv());
        else if (which == "sdl")
            backend = createSdlBackend(&why);
        else
            why = "QUELLAN_DISPLAY names no known display (use sdl or virtual)";
        if (backend) {
            installBackend(std::move(backend));
            return true;
        }
        m_displayFailed = true;
        m_displayError = "cannot open the " + which + " display: " + (why.empty() ? "unknown reason" : why);
        std::fprintf(stderr, "quellan: %s\n", m_displayError.c_str());
    }
    if (error) *error = m_displayError;
    return false;
}

void Core::installBackend(std::unique_ptr<WindowBackend> backend) {
    m_backend = std::move(backend);
    m_wakeTarget.store(m_backend.get());
    m_uiThread.store(std::this_thread::get_id());
    ensureBuiltins();
}

void Core::ensureBuiltins() {
    if (m_builtinsRegistered) return;
    m_builtinsRegistered = true;
    registerEditClass();
    registerTooltipClass();
}

std::uint64_t Core::now() {
    if (m_backend) return m_backend->now();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

// --- Helpers ---

WindowData* Core::find(WindowHandle h) {
    if (!h) return nullptr;
    auto it = m_windows.find(h);
    return it == m_windows.end() ? nullptr : it->second.get();
}

WindowData* Core::findLive(WindowHandle h) {
    WindowData* d = find(h);
    return d && !d->destroying ? d : nullptr;
}

WindowHandle Core::root(WindowHandle h) {
    WindowData* d = find(h);
    while (d && d->isChild() && d->parent) {
        h = d->parent;
        d = find(h);
    }
    return d ? h : nullptr;
}

Point Core::clientOriginOnScreen(const WindowData& w) {
    if (!w.isChild() || !w.parent) return {w.rect.left, w.rect.top};
    WindowData* p = find(w.parent);
    if (!p) return {w.rect.left, w.rect.top};
    Point o = clientOriginOnScreen(*p);
    return {o.x + w.rect.left, o.y + w.rect.top};
}

Point Core::originInRoot(const WindowData& w) {
    if (!w.isChild() || !w.parent) return {0, 0};
    WindowData* p = find(w.parent);
    if (!p) return {0, 0};
    Point o = originInRoot(*p);
    return {o.x + w.rect.left, o.y + w.rect.top};
}

bool Core::isDescendant(WindowHandle ancestor, WindowHandle h) {
    while (h) {
        if (h == ancestor) return true;
        WindowData* d = find(h);
        if (!d || !d->isChild()) return false;
        h = d->parent;
    }
    return false;
}

std::vector<WindowHandle> Core::ownedWindows(WindowHandle owner) {
    std::vector<WindowHandle> out;
    for (WindowHandle h : m_zorder) {
        WindowData* d = find(h);
        if (d && d->owner == owner) out.push_back(h);
    }
    return out;
}

bool Core::enabledChain(WindowHandle h) {
    for (WindowData* d = find(h); d; d = d->isChild() ? find(d->parent) : nullptr)
        if (!d->enabled()) return false;
    return h != nullptr;
}

bool Core::canActivate(const WindowData& d) {
    return !d.isChild() && d.visible && d.enabled() && !d.destroying && !(d.exStyle & WS_EX_NOACTIVATE);
}

NativeWindowStyle Core::nativeStyle(const WindowData& w) {
    NativeWindowStyle s;
    s.decorated = (w.style & WS_CAPTION) == WS_CAPTION || (w.style & WS_THICKFRAME);
    s.resizable = (w.style & WS_THICKFRAME) != 0;
    s.topmost = (w.exStyle & WS_EX_TOPMOST) != 0;
    s.toolWindow = (w.exStyle & WS_EX_TOOLWINDOW) || (w.owner && !(w.exStyle & WS_EX_APPWINDOW));
    s.popup = (w.exStyle & WS_EX_NOACTIVATE) || ((w.style & WS_POPUP) && (w.exStyle & WS_EX_TOOLWINDOW));
    s.layered = (w.exStyle & WS_EX_LAYERED) != 0;
    return s;
}

void Core::sendSize(WindowData& w, unsigned kind) {
    WindowHandle h = w.handle;
    LParam size = kind == SIZE_MINIMIZED ? 0 : makeLParam(w.rect.width(), w.rect.height());
    send(h, WM_SIZE, kind, size);
}

LResult Core::send(WindowHandle h, unsigned msg, WParam wp, LParam lp) {
    WindowData* d = find(h);
    if (!d || !d->proc) return 0;
    WindowProc proc = d->proc;
    ++m_callDepth;
    LResult r = proc(h, msg, wp, lp);
    --m_callDepth;
    return r;
}

// --- Create and destroy ---

void Core::destroyTree(WindowHandle h) {
    WindowData* d = find(h);
    if (!d || d->destroying) return;
    d->destroying = true;

    for (WindowHandle owned : ownedWindows(h)) destroyTree(owned);

    d = find(h);
    if (d->visible) {
        d->visible = false;
        if (d->native) m_backend->showWindow(h, false, false);
        if (d->isChild()) {
            if (WindowData* p = findLive(d->parent))
                p->update = p->update.unite(d->rect.intersect(Rect{0, 0, p->rect.width(), p->rect.height()}));
        }
    }
    if (m_capture && isDescendant(h, m_capture)) {
        WindowHandle old = m_capture;
        m_capture = nullptr;
        if (m_backend) m_backend->setCapture(false);
        send(old, WM_CAPTURECHANGED, 0, 0);
    }
    if (m_active == h) activateSuccessor(h);
    if (m_focus && isDescendant(h, m_focus)) removeFocusFrom(h);
    if (m_dragWindow == h) m_dragWindow = nullptr;

    send(h, WM_DESTROY, 0, 0);
    d = find(h);
    std::vector<WindowHandle> kids = d->children;
    for (WindowHandle k : kids) destroyTree(k);
    finishDestroy(h);
}

void Core::finishDestroy(WindowHandle h) {
    send(h, WM_NCDESTROY, 0, 0);
    WindowData* d = find(h);
    if (!d) return;
    d->paintCanvas.reset();
    if (d->isChild()) {
        if (WindowData* p = find(d->parent)) std::erase(p->children, h);
    } else {
        unserveWindow(h);
        std::erase(m_zorder, h);
        if (d->native && m_backend) m_backend->destroyWindow(h);
        syncStacking();
    }
    // Windows owned by this one that somehow survived lose their owner.
    for (auto& [other, od] : m_windows)
        if (od->owner == h) od->owner = nullptr;
    {
        std::lock_guard lock(m_queueMutex);
        m_live.erase(h);
    }
    purgeMessagesFor(h);
    if (m_focus == h) m_focus = nullptr;
    if (m_active == h) m_active = nullptr;
    if (m_capture == h) m_capture = nullptr;
    if (m_underPointer == h) m_underPointer = nullptr;
    if (m_lastClickWindow == h) m_lastClickWindow = nullptr;
    auto it = m_windows.find(h);
    m_graveyard.push_back(std::move(it->second));
    m_windows.erase(it);
}

void Core::resetAll() {
    std::vector<WindowHandle> tops = m_zorder;
    for (WindowHandle h : tops)
        if (findLive(h)) destroyTree(h);
    if (m_callDepth == 0) m_graveyard.clear();
    {
        std::lock_guard lock(m_queueMutex);
        m_posted.clear();
        m_quitPosted = false;
        m_quitCode = 0;
    }
    m_rawInput.clear();
    std::fill(std::begin(m_keys), std::end(m_keys), 0);
    m_focus = m_active = m_capture = m_underPointer = m_lastClickWindow = m_dragWindow = nullptr;
    m_altAlone = m_keyMenuPending = false;
    m_cursor = {-1, -1};
    if (m_backend) {
        m_backend->setCapture(false);
        m_backend->setClipboardText(L"");
    }
}

} // namespace detail

using detail::assertUiThread;
using detail::Core;
using detail::WindowData;

// --- Display (public) ---

bool openDisplay(std::string* error) { return Core::get().ensureDisplay(error); }

bool isDisplayOpen() { return Core::get().m_wakeTarget.load() != nullptr; }

std::string displayError() {
    Core& c = Core::get();
    return c.m_displayFailed ? c.m_displayError : std::string();
}

const char* displayBackendName() {
    Core& c = Core::get();
    return c.m_backend ? c.m_backend->name() : "";
}

bool isUiThread() { return Core::get().m_uiThread.load() == std::this_thread::get_id(); }

// --- Classes ---

bool registerWindowClass(const WindowClass& cls) {
    assertUiThread();
    if (cls.name.empty() || !cls.proc) return false;
    Core& c = Core::get();
    c.ensureBuiltins();
    c.m_classes.try_emplace(detail::classKey(cls.name), cls);
    return true;
}

bool windowClassInfo(std::wstring_view name, WindowClass* out) {
    assertUiThread();
    Core& c = Core::get();
    c.ensureBuiltins();
    auto it = c.m_classes.find(detail::classKey(name));
    if (it == c.m_classes.end()) return false;
    if (out) *out = it->second;
    return true;
}

WindowHandle createWindow(unsigned exStyle, std::wstring_view className, std::wstring_view name, unsigned style, int x,
                          int y, int width, int height, WindowHandle parent, void* createParam, std::intptr_t id) {
    assertUiThread();
    Core& c = Core::get();
    if (!c.ensureDisplay(nullptr) || !isUiThread()) return nullptr;
    WindowClass cls;
    if (!windowClassInfo(className, &cls)) return nullptr;
    const bool child = (style & WS_CHILD) != 0;
    if (child && !c.findLive(parent)) return nullptr;
    WindowHandle owner = nullptr;
    if (!child && parent) {
        if (!c.findLive(parent)) return nullptr;
        owner = c.root(parent);
    }

    if (x == CW_USEDEFAULT) {
        if (child) {
            x = y = 0;
        } else {
            Rect wa = c.m_backend->workArea(c.m_backend->screenRect());
            x = wa.left + 32;
            y = wa.top + 32;
        }
    }
    if (width == CW_USEDEFAULT) {
        width = child ? 0 : 640;
        height = child ? 0 : 480;
    }
    width = std::max(width, 0);
    height = std::max(height, 0);

    auto data = std::make_unique<WindowData>();
    WindowHandle h = reinterpret_cast<WindowHandle>(c.m_nextHandle);
    c.m_nextHandle += 16;
    data->handle = h;
    data->cls = cls;
    data->proc = cls.proc;
    data->text = std::wstring(name);
    data->style = style & ~WS_VISIBLE;
    data->exStyle = exStyle;
    data->id = id;
    data->parent = child ? parent : nullptr;
    data->owner = owner;
    data->rect = Rect::fromSize(x, y, width, height);
    data->update = Rect{0, 0, width, height};
    data->eraseNeeded = true;
    WindowData* d = data.get();
    c.m_windows.emplace(h, std::move(data));
    {
        std::lock_guard lock(c.m_queueMutex);
        c.m_live.insert(h);
    }
    if (child) {
        WindowData* p = c.find(parent);
        p->children.insert(p->children.begin(), h);
    } else {
        c.m_zorder.insert(c.m_zorder.begin(), h);
        c.normalizeZorder();
        c.ensureBacking(*d);
    }

    CreateParams params;
    params.createParam = createParam;
    params.parent = parent;
    params.id = id;
    params.style = style;
    params.exStyle = exStyle;
    params.x = x;
    params.y = y;
    params.cx = width;
    params.cy = height;
    std::wstring nameCopy(name);
    params.name = nameCopy.c_str();
    params.className = cls.name.c_str();

    if (!c.send(h, WM_NCCREATE, 0, reinterpret_cast<LParam>(&params))) {
        if (c.find(h)) {
            c.find(h)->destroying = true;
            c.finishDestroy(h);
        }
        return nullptr;
    }
    if (!c.findLive(h)) return nullptr;
    if (c.send(h, WM_CREATE, 0, reinterpret_cast<LParam>(&params)) == -1) {
        destroyWindow(h);
        return nullptr;
    }
    d = c.findLive(h);
    if (!d) return nullptr;
    d->created = true;

    if (!child) {
        // The native window is made after WM_CREATE so that style changes made
        // there (a caption removed) never reach the desktop as a flicker.
        if (!c.m_backend->createWindow(h, d->rect, c.nativeStyle(*d), d->text)) {
            destroyWindow(h);
            return nullptr;
        }
        d->native = true;
        c.serveWindow(*d);
    }
    c.sendSize(*d, SIZE_RESTORED);
    if (!(d = c.findLive(h))) return nullptr;
    c.send(h, WM_MOVE, 0, makeLParam(d->rect.left, d->rect.top));
    if (!(d = c.findLive(h))) return nullptr;
    if (style & WS_VISIBLE) showWindow(h, child ? SW_SHOWNA : SW_SHOW);
    return c.findLive(h) ? h : nullptr;
}

bool destroyWindow(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.find(window);
    if (!d || !isUiThread()) return false;
    c.destroyTree(window);
    return true;
}

bool isWindow(WindowHandle window) {
    Core& c = Core::get();
    bool remote = false;
    {
        std::lock_guard lock(c.m_queueMutex);
        if (c.m_live.count(window)) return true;
        remote = c.m_remote.count(window) != 0;
    }
    return remote && c.remoteCommand(window, "ping");
}

// --- Data, styles, text ---

LResult callWindowProc(WindowProc proc, WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    assertUiThread();
    if (!proc) return 0;
    Core& c = Core::get();
    ++c.m_callDepth;
    LResult r = proc(window, message, wParam, lParam);
    --c.m_callDepth;
    return r;
}

WindowProc windowProc(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->proc : nullptr;
}

WindowProc setWindowProc(WindowHandle window, WindowProc proc) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    if (!d || !proc) return nullptr;
    WindowProc old = d->proc;
    d->proc = proc;
    return old;
}

std::wstring windowClassName(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->cls.name : std::wstring();
}

std::intptr_t windowId(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->id : 0;
}

std::intptr_t windowUserData(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->userData : 0;
}

std::intptr_t setWindowUserData(WindowHandle window, std::intptr_t value) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    if (!d) return 0;
    std::intptr_t old = d->userData;
    d->userData = value;
    return old;
}

bool setWindowProp(WindowHandle window, std::wstring_view name, void* value) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    if (!d || name.empty()) return false;
    d->props[std::wstring(name)] = value;
    return true;
}

void* windowProp(WindowHandle window, std::wstring_view name) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    if (!d) return nullptr;
    auto it = d->props.find(name);
    return it == d->props.end() ? nullptr : it->second;
}

void* removeWindowProp(WindowHandle window, std::wstring_view name) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    if (!d) return nullptr;
    auto it = d->props.find(name);
    if (it == d->props.end()) return nullptr;
    void* value = it->second;
    d->props.erase(it);
    return value;
}

unsigned windowStyle(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->style : 0;
}

unsigned setWindowStyle(WindowHandle window, unsigned style) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.find(window);
    if (!d) return 0;
    const unsigned kept = WS_VISIBLE | WS_DISABLED | WS_CHILD | WS_MINIMIZE | WS_MAXIMIZE;
    unsigned old = d->style;
    d->style = (style & ~kept) | (old & kept);
    const unsigned frame = WS_CAPTION | WS_THICKFRAME;
    if (d->native && (old & frame) != (d->style & frame)) c.m_backend->setWindowStyle(window, c.nativeStyle(*d));
    return old;
}

unsigned windowExStyle(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->exStyle : 0;
}

unsigned setWindowExStyle(WindowHandle window, unsigned exStyle) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.find(window);
    if (!d) return 0;
    unsigned old = d->exStyle;
    d->exStyle = (exStyle & ~WS_EX_TOPMOST) | (old & WS_EX_TOPMOST);
    // The display learns the style first: leaving layered mode then drops
    // the layered picture along with the opacity.
    if (d->native && old != d->exStyle) c.m_backend->setWindowStyle(window, c.nativeStyle(*d));
    if ((old & WS_EX_LAYERED) && !(d->exStyle & WS_EX_LAYERED)) {
        d->layeredContent = false;
        if (d->native) c.m_backend->setOpacity(window, 255);
        invalidateRect(window, nullptr, true);
    }
    return old;
}

bool setWindowText(WindowHandle window, std::wstring_view text) {
    assertUiThread();
    if (!Core::get().findLive(window)) return false;
    std::wstring copy(text);
    return sendMessage(window, WM_SETTEXT, 0, reinterpret_cast<LParam>(copy.c_str())) != 0;
}

std::wstring windowText(WindowHandle window) {
    assertUiThread();
    if (!Core::get().find(window)) return {};
    LResult length = sendMessage(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return {};
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    LResult got = sendMessage(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LParam>(buffer.data()));
    buffer.resize(static_cast<std::size_t>(std::clamp<LResult>(got, 0, length)));
    return buffer;
}

// --- Geometry ---

namespace detail {

Rect clampToTrackSizes(const MinMaxInfo& info, Rect rect, int sizingEdge) {
    const int maxW = std::max(info.maxTrackSize.cx, 0);
    const int maxH = std::max(info.maxTrackSize.cy, 0);
    // Where the two cross, the minimum wins.
    const int w = std::max(std::min(rect.width(), maxW), std::max(info.minTrackSize.cx, 0));
    const int h = std::max(std::min(rect.height(), maxH), std::max(info.minTrackSize.cy, 0));
    const bool leftMoves = sizingEdge == HTLEFT || sizingEdge == HTTOPLEFT || sizingEdge == HTBOTTOMLEFT;
    const bool topMoves = sizingEdge == HTTOP || sizingEdge == HTTOPLEFT || sizingEdge == HTTOPRIGHT;
    if (leftMoves)
        rect.left = rect.right - w;
    else
        rect.right = rect.left + w;
    if (topMoves)
        rect.top = rect.bottom - h;
    else
        rect.bottom = rect.top + h;
    return rect;
}

MinMaxInfo Core::queryMinMax(WindowHandle h) {
    MinMaxInfo info;
    WindowData* d = findLive(h);
    const Rect work = m_backend ? m_backend->workArea(d ? d->rect : Rect{}) : Rect{};
    info.maxSize = work.size();
    info.maxPosition = {work.left, work.top};
    info.maxTrackSize = {kMaxWindowExtent, kMaxWindowExtent};
    if (!d || d->isChild()) return info;
    send(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LParam>(&info));
    if ((d = findLive(h)) && d->native) m_backend->setSizeLimits(h, info.minTrackSize, info.maxTrackSize);
    return info;
}

void Core::applyRect(WindowHandle h, Rect rect, bool redraw, bool fromDesktop, int sizingEdge) {
    WindowData* d = findLive(h);
    if (!d) return;
    rect.right = std::max(rect.right, rect.left);
    rect.bottom = std::max(rect.bottom, rect.top);
    if (!d->isChild() && rect.size() != d->rect.size()) {
        const Rect asked = rect;
        rect = clampToTrackSizes(queryMinMax(h), rect, sizingEdge);
        if (!(d = findLive(h))) return;
        if (fromDesktop && rect != asked) {
            // The desktop sized it beyond the limits: tell it where the window really is.
            fromDesktop = false;
            if (d->rect == rect && d->native) m_backend->setWindowRect(h, rect);
        }
    }
    Rect old = d->rect;
    if (old == rect) return;
    d->rect = rect;
    const bool moved = old.left != rect.left || old.top != rect.top;
    const bool sized = old.size() != rect.size();
    if (!d->isChild()) {
        if (d->native && !fromDesktop) m_backend->setWindowRect(h, rect);
        if (sized) {
            ensureBacking(*d);
            d->update = Rect{0, 0, rect.width(), rect.height()};
            d->eraseNeeded = true;
        }
    } else {
        if (redraw || sized) {
            d->update = Rect{0, 0, rect.width(), rect.height()};
            d->eraseNeeded = true;
        }
        WindowData* p = findLive(d->parent);
        if (p && d->visible && redraw) {
            Rect pc{0, 0, p->rect.width(), p->rect.height()};
            p->update = p->update.unite(old.intersect(pc));
        }
    }
    if (moved) send(h, WM_MOVE, 0, makeLParam(rect.left, rect.top));
    if (sized && (d = findLive(h))) sendSize(*d, d->zoomed ? SIZE_MAXIMIZED : SIZE_RESTORED);
}

} // namespace detail

bool moveWindow(WindowHandle window, int x, int y, int width, int height, bool repaint) {
    assertUiThread();
    return setWindowPos(window, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

Rect windowRect(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.find(window);
    if (!d) return {};
    Point o = c.clientOriginOnScreen(*d);
    return Rect::fromSize(o.x, o.y, d->rect.width(), d->rect.height());
}

Rect clientRect(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? Rect{0, 0, d->rect.width(), d->rect.height()} : Rect{};
}

Point clientToScreen(WindowHandle window, Point p) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.find(window);
    if (!d) return p;
    Point o = c.clientOriginOnScreen(*d);
    return {p.x + o.x, p.y + o.y};
}

Point screenToClient(WindowHandle window, Point p) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.find(window);
    if (!d) return p;
    Point o = c.clientOriginOnScreen(*d);
    return {p.x - o.x, p.y - o.y};
}

bool isWindowVisible(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    for (WindowData* d = c.find(window); d; d = d->isChild() ? c.find(d->parent) : nullptr)
        if (!d->visible) return false;
    return c.find(window) != nullptr;
}

bool isIconic(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d && d->iconic;
}

bool isZoomed(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d && d->zoomed;
}

WindowHandle parentWindow(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d && d->isChild() ? d->parent : nullptr;
}

WindowHandle ownerWindow(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->owner : nullptr;
}

WindowHandle relatedWindow(WindowHandle window, unsigned relation) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.find(window);
    if (!d) return nullptr;
    if (relation == GW_OWNER) return d->owner;
    if (relation == GW_CHILD) return d->children.empty() ? nullptr : d->children.front();
    const std::vector<WindowHandle>* siblings = &c.m_zorder;
    if (d->isChild()) {
        WindowData* p = c.find(d->parent);
        if (!p) return nullptr;
        siblings = &p->children;
    }
    if (siblings->empty()) return nullptr;
    auto it = std::find(siblings->begin(), siblings->end(), window);
    switch (relation) {
    case GW_HWNDFIRST:
        return siblings->front();
    case GW_HWNDLAST:
        return siblings->back();
    case GW_HWNDNEXT:
        return it == siblings->end() || it + 1 == siblings->end() ? nullptr : *(it + 1);
    case GW_HWNDPREV:
        return it == siblings->end() || it == siblings->begin() ? nullptr : *(it - 1);
    default:
        return nullptr;
    }
}

WindowHandle ancestorWindow(WindowHandle window, unsigned kind) {
    assertUiThread();
    Core& c = Core::get();
    if (!c.find(window)) return nullptr;
    switch (kind) {
    case GA_PARENT:
        return parentWindow(window);
    case GA_ROOT:
        return c.root(window);
    case GA_ROOTOWNER: {
        WindowHandle h = c.root(window);
        while (WindowData* d = c.find(h)) {
            if (!d->owner) break;
            h = c.root(d->owner);
        }
        return h;
    }
    default:
        return nullptr;
    }
}

std::vector<WindowHandle> childWindows(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    if (!window) return c.m_zorder;
    WindowData* d = c.find(window);
    return d ? d->children : std::vector<WindowHandle>{};
}

bool isChildWindow(WindowHandle parent, WindowHandle window) {
    assertUiThread();
    return parent && window != parent && Core::get().isDescendant(parent, window);
}

WindowHandle windowFromPoint(Point screen) {
    assertUiThread();
    return Core::get().windowAt(screen, {});
}

// --- Show, z-order, activation ---

namespace detail {

void Core::normalizeZorder() {
    std::stable_partition(m_zorder.begin(), m_zorder.end(), [this](WindowHandle h) {
        WindowData* d = find(h);
        return d && (d->exStyle & WS_EX_TOPMOST);
    });
    // Owned windows stay above their owners.
    for (std::size_t pass = 0; pass < m_zorder.size() + 1; ++pass) {
        bool changed = false;
        for (std::size_t i = 0; i < m_zorder.size() && !changed; ++i) {
            WindowData* d = find(m_zorder[i]);
            if (!d || !d->owner) continue;
            auto ownerIt = std::find(m_zorder.begin(), m_zorder.end(), d->owner);
            auto ownerIndex = static_cast<std::size_t>(ownerIt - m_zorder.begin());
            if (ownerIt != m_zorder.end() && ownerIndex < i) {
                WindowHandle h = m_zorder[i];
                m_zorder.erase(m_zorder.begin() + static_cast<std::ptrdiff_t>(i));
                m_zorder.insert(m_zorder.begin() + static_cast<std::ptrdiff_t>(ownerIndex), h);
                changed = true;
            }
        }
        if (!changed) break;
    }
}

void Core::raiseTopLevel(WindowHandle h) {
    std::erase(m_zorder, h);
    m_zorder.insert(m_zorder.begin(), h);
    normalizeZorder();
}

void Core::syncStacking() {
    if (!m_backend) return;
    std::vector<WindowHandle> shown;
    for (WindowHandle h : m_zorder) {
        WindowData* d = find(h);
        if (d && d->native && d->visible && !d->destroying) shown.push_back(h);
    }
    m_backend->restack(shown);
}

void Core::activate(WindowHandle h, unsigned how, bool fromDesktop) {
    h = root(h);
    WindowData* d = findLive(h);
    if (!d) return;
    raiseTopLevel(h);
    syncStacking();
    if (!fromDesktop && d->native && d->visible) m_backend->activateWindow(h);
    if (m_active == h) return;
    WindowHandle old = m_active;
    m_active = h;
    if (old && findLive(old)) {
        send(old, WM_NCACTIVATE, 0, 0);
        send(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LParam>(h));
    }
    if (m_active != h || !(d = findLive(h))) return;
    send(h, WM_NCACTIVATE, 1, 0);
    if (!(d = findLive(h))) return;
    send(h, WM_ACTIVATE, makeWParam(how, d->iconic ? 1 : 0), reinterpret_cast<LParam>(old));
    // A procedure that kept the focus from moving leaves it nowhere rather
    // than in a window that is no longer active.
    if (m_active == h && m_focus && !isDescendant(h, m_focus)) removeFocusFrom(m_focus);
}

void Core::deactivate(WindowHandle h) {
    if (m_active != h) return;
    m_active = nullptr;
    send(h, WM_NCACTIVATE, 0, 0);
    send(h, WM_ACTIVATE, WA_INACTIVE, 0);
    if (m_focus) removeFocusFrom(m_focus);
}

void Core::activateSuccessor(WindowHandle leaving) {
    WindowData* d = find(leaving);
    WindowHandle next = nullptr;
    if (d && d->owner) {
        WindowData* o = findLive(d->owner);
        if (o && canActivate(*o) && !o->iconic) next = d->owner;
    }
    if (!next) {
        for (WindowHandle h : m_zorder) {
            WindowData* w = findLive(h);
            if (h == leaving || !w || !canActivate(*w) || w->iconic || w->owner == leaving) continue;
            next = h;
            break;
        }
    }
    if (next)
        activate(next, WA_ACTIVE, false);
    else
        deactivate(leaving);
}

void Core::removeFocusFrom(WindowHandle subtreeRoot) {
    if (!m_focus || !isDescendant(subtreeRoot, m_focus)) return;
    WindowHandle old = m_focus;
    m_focus = nullptr;
    send(old, WM_KILLFOCUS, 0, 0);
}

void Core::showTopOrChild(WindowHandle h, bool activateIt) {
    WindowData* d = findLive(h);
    if (!d) return;
    if (!d->visible) {
        send(h, WM_SHOWWINDOW, 1, 0);
        if (!(d = findLive(h))) return;
        d->visible = true;
        d->style |= WS_VISIBLE;
        if (d->isChild()) {
            d->update = Rect{0, 0, d->rect.width(), d->rect.height()};
        } else if (d->native) {
            m_backend->showWindow(h, true, activateIt && canActivate(*d));
            d->presentDirty = Rect{0, 0, d->rect.width(), d->rect.height()};
            syncStacking();
        }
    }
    if (activateIt && !d->isChild() && canActivate(*d)) activate(h, WA_ACTIVE, false);
}

void Core::hideWindow(WindowHandle h) {
    WindowData* d = findLive(h);
    if (!d || !d->visible) return;
    send(h, WM_SHOWWINDOW, 0, 0);
    if (!(d = findLive(h))) return;
    d->visible = false;
    d->style &= ~WS_VISIBLE;
    if (d->isChild()) {
        if (WindowData* p = findLive(d->parent)) {
            Rect pc{0, 0, p->rect.width(), p->rect.height()};
            p->update = p->update.unite(d->rect.intersect(pc));
        }
        if (m_focus && isDescendant(h, m_focus)) removeFocusFrom(h);
    } else {
        if (d->native) m_backend->showWindow(h, false, false);
        syncStacking();
        if (m_active == h) activateSuccessor(h);
        if (m_focus && isDescendant(h, m_focus)) removeFocusFrom(h);
    }
}

void Core::minimize(WindowHandle h, bool fromDesktop) {
    WindowData* d = findLive(h);
    if (!d || d->isChild() || d->iconic) return;
    if (!d->visible) {
        d->visible = true;
        d->style |= WS_VISIBLE;
        if (d->native && !fromDesktop) m_backend->showWindow(h, true, false);
    }
    d->iconic = true;
    d->style |= WS_MINIMIZE;
    if (d->native && !fromDesktop) m_backend->minimizeWindow(h);
    syncStacking();
    sendSize(*d, SIZE_MINIMIZED);
    if (m_active == h) activateSuccessor(h);
}

void Core::restore(WindowHandle h, bool fromDesktop) {
    WindowData* d = findLive(h);
    if (!d || !d->iconic) return;
    d->iconic = false;
    d->style &= ~WS_MINIMIZE;
    if (d->native && !fromDesktop) m_backend->restoreWindow(h);
    d->presentDirty = Rect{0, 0, d->rect.width(), d->rect.height()};
    sendSize(*d, d->zoomed ? SIZE_MAXIMIZED : SIZE_RESTORED);
}

} // namespace detail

bool showWindow(WindowHandle window, int command) {
    assertUiThread();
    Core& c = Core::get();
    if (c.isRemote(window)) return c.remoteCommand(window, "show " + std::to_string(command));
    WindowData* d = c.findLive(window);
    if (!d) return false;
    const bool was = d->visible;
    switch (command) {
    case SW_HIDE:
        c.hideWindow(window);
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
        if (d->isChild())
            c.showTopOrChild(window, false);
        else
            c.minimize(window, false);
        break;
    case SW_MAXIMIZE:
        // Only a window that can be resized and has a maximise box grows to the work area.
        if (!d->isChild() && (d->style & WS_MAXIMIZEBOX) && (d->style & WS_THICKFRAME)) {
            if (d->iconic) c.restore(window, false);
            if ((d = c.findLive(window)) && !d->zoomed) {
                const MinMaxInfo info = c.queryMinMax(window);
                if ((d = c.findLive(window)) && !d->zoomed) {
                    d->restoreRect = d->rect;
                    d->zoomed = true;
                    d->style |= WS_MAXIMIZE;
                    const Rect wanted =
                        Rect::fromSize(info.maxPosition.x, info.maxPosition.y, info.maxSize.cx, info.maxSize.cy);
                    // Held here already: applyRect asks again only when the size changes.
                    c.applyRect(window, detail::clampToTrackSizes(info, wanted, HTBOTTOMRIGHT), true, false);
                }
            }
        }
        c.showTopOrChild(window, true);
        break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
        if (d->iconic) c.restore(window, false);
        if ((d = c.findLive(window)) && d->zoomed) {
            d->zoomed = false;
            d->style &= ~WS_MAXIMIZE;
            c.applyRect(window, d->restoreRect, true, false);
        }
        c.showTopOrChild(window, true);
        break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
        c.showTopOrChild(window, false);
        break;
    case SW_SHOW:
    default:
        c.showTopOrChild(window, true);
        break;
    }
    return was;
}

bool setWindowPos(WindowHandle window, WindowHandle insertAfter, int x, int y, int cx, int cy, unsigned flags) {
    assertUiThread();
    Core& c = Core::get();
    if (c.isRemote(window)) {
        bool ok = true;
        if (!(flags & SWP_NOZORDER)) {
            const char* z = insertAfter == HWND_TOPMOST     ? "topmost"
                            : insertAfter == HWND_NOTOPMOST ? "notopmost"
                                                            : "top";
            ok = c.remoteCommand(window, std::string("zorder ") + z);
        }
        if (ok && (flags & SWP_SHOWWINDOW)) ok = c.remoteCommand(window, "show " + std::to_string(SW_SHOW));
        return ok;
    }
    WindowData* d = c.findLive(window);
    if (!d) return false;

    if (!(flags & SWP_NOZORDER)) {
        std::vector<WindowHandle>* list = &c.m_zorder;
        if (d->isChild()) {
            WindowData* p = c.find(d->parent);
            list = p ? &p->children : nullptr;
        }
        if (list) {
            bool topmostChanged = false;
            if (!d->isChild() && insertAfter == HWND_TOPMOST) {
                topmostChanged = !(d->exStyle & WS_EX_TOPMOST);
                d->exStyle |= WS_EX_TOPMOST;
            } else if (!d->isChild() && (insertAfter == HWND_NOTOPMOST || insertAfter == HWND_BOTTOM)) {
                topmostChanged = (d->exStyle & WS_EX_TOPMOST) != 0;
                d->exStyle &= ~WS_EX_TOPMOST;
            }
            std::erase(*list, window);
            if (insertAfter == HWND_BOTTOM) {
                list->push_back(window);
            } else if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
                list->insert(list->begin(), window);
            } else {
                auto it = std::find(list->begin(), list->end(), insertAfter);
                list->insert(it == list->end() ? list->begin() : it + 1, window);
            }
            if (!d->isChild()) {
                c.normalizeZorder();
                if (topmostChanged && d->native) c.m_backend->setWindowStyle(window, c.nativeStyle(*d));
                c.syncStacking();
            } else {
                d->update = Rect{0, 0, d->rect.width(), d->rect.height()};
            }
        }
    }

    Rect r = d->rect;
    if (!(flags & SWP_NOMOVE)) r = Rect::fromSize(x, y, r.width(), r.height());
    if (!(flags & SWP_NOSIZE)) r = Rect::fromSize(r.left, r.top, std::max(cx, 0), std::max(cy, 0));
    c.applyRect(window, r, !(flags & SWP_NOREDRAW), false);

    if (flags & SWP_HIDEWINDOW) c.hideWindow(window);
    if (flags & SWP_SHOWWINDOW) c.showTopOrChild(window, false);
    d = c.findLive(window);
    if (d && !d->isChild() && !(flags & SWP_NOACTIVATE) && c.canActivate(*d)) c.activate(window, WA_ACTIVE, false);
    return c.findLive(window) != nullptr;
}

WindowHandle activeWindow() {
    assertUiThread();
    return Core::get().m_active;
}

WindowHandle setActiveWindow(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    WindowHandle old = c.m_active;
    WindowData* d = c.findLive(c.root(window));
    if (!d || !d->enabled()) return nullptr;
    c.activate(window, WA_ACTIVE, false);
    return old;
}

WindowHandle foregroundWindow() {
    assertUiThread();
    return Core::get().m_active;
}

bool setForegroundWindow(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    if (c.isRemote(window)) return c.remoteCommand(window, "foreground");
    WindowData* d = c.findLive(c.root(window));
    if (!d) return false;
    c.activate(window, WA_ACTIVE, false);
    return true;
}

bool bringWindowToTop(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.findLive(window);
    if (!d) return false;
    if (d->isChild()) return setWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (c.canActivate(*d))
        c.activate(window, WA_ACTIVE, false);
    else {
        c.raiseTopLevel(window);
        c.syncStacking();
    }
    return true;
}

// --- Focus and enabling ---

WindowHandle setFocus(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    WindowHandle old = c.m_focus;
    if (!window) {
        if (old) c.removeFocusFrom(old);
        return old;
    }
    if (!c.findLive(window)) return nullptr;
    WindowHandle top = c.root(window);
    if (c.m_active != top) c.activate(top, WA_ACTIVE, false);
    if (!c.findLive(window) || c.m_focus == window) return old;
    WindowHandle prev = c.m_focus;
    c.m_focus = window;
    if (prev && c.find(prev)) c.send(prev, WM_KILLFOCUS, reinterpret_cast<WParam>(window), 0);
    if (c.m_focus == window && c.findLive(window)) c.send(window, WM_SETFOCUS, reinterpret_cast<WParam>(prev), 0);
    return old;
}

WindowHandle focusWindow() {
    assertUiThread();
    return Core::get().m_focus;
}

bool isWindowEnabled(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d && d->enabled();
}

bool enableWindow(WindowHandle window, bool enable) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.findLive(window);
    if (!d) return false;
    const bool wasDisabled = !d->enabled();
    if (enable == !wasDisabled) return wasDisabled;
    if (enable) {
        d->style &= ~WS_DISABLED;
    } else {
        d->style |= WS_DISABLED;
        if (c.m_capture && c.isDescendant(window, c.m_capture)) c.releaseCaptureInternal();
        if (c.m_focus && c.isDescendant(window, c.m_focus)) c.removeFocusFrom(window);
    }
    c.send(window, WM_ENABLE, enable ? 1 : 0, 0);
    return wasDisabled;
}

} // namespace platform
