// Window-system core: display selection, window classes, window lifetime.
//
// Index of the core:
//   WindowCore.cpp        display, helpers, create and destroy, classes
//   WindowProperties.cpp  window procedures, data, properties, styles, text
//   WindowGeometry.cpp    track sizes, moving and sizing, coordinates, relations
//   WindowActivation.cpp  show, z-order, activation, focus and enabling
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
    m_composition.clear();
    m_compositionCursor = 0;
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

} // namespace platform
