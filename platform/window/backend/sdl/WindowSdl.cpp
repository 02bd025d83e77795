// The sdl display backend: top-level windows, input, shapes, cursors,
// clipboard and wake-ups through SDL2. The only place that includes SDL.
//
// Index:
//   --- Helpers ---        RAII owners, key mapping, text conversion
//   --- Backend ---        the WindowBackend implementation
//   --- Events ---         SDL events turned into backend events
//   --- Factory ---        opening the display
#include "platform/window/backend/sdl/WindowSdl.h"
#include "platform/window/backend/sdl/X11Desktop.h"

#include "platform/graphics/Graphics.h"
#include "platform/system/Text.h"
#include "platform/window/DisplayScale.h"
#include "platform/window/backend/WindowBackend.h"

#include <SDL.h>
#include <SDL_shape.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

namespace platform::detail {

namespace {

// --- Helpers ---

struct SdlWindowDeleter {
    void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
};
struct SdlSurfaceDeleter {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
struct SdlCursorDeleter {
    void operator()(SDL_Cursor* c) const { SDL_FreeCursor(c); }
};
using SdlWindowPtr = std::unique_ptr<SDL_Window, SdlWindowDeleter>;
using SdlSurfacePtr = std::unique_ptr<SDL_Surface, SdlSurfaceDeleter>;
using SdlCursorPtr = std::unique_ptr<SDL_Cursor, SdlCursorDeleter>;

// Virtual key code of an SDL key; 0 for keys the program has no code for.
unsigned vkFromSdl(const SDL_Keysym& key) {
    const SDL_Keycode k = key.sym;
    if (k >= SDLK_a && k <= SDLK_z) return static_cast<unsigned>('A' + (k - SDLK_a));
    if (k >= SDLK_0 && k <= SDLK_9) return static_cast<unsigned>('0' + (k - SDLK_0));
    if (k >= SDLK_F1 && k <= SDLK_F12) return VK_F1 + static_cast<unsigned>(k - SDLK_F1);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return VK_NUMPAD0 + 1 + static_cast<unsigned>(k - SDLK_KP_1);
    switch (k) {
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_TAB:
        return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return VK_RETURN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
        return VK_MENU;
    case SDLK_PAUSE:
        return VK_PAUSE;
    case SDLK_CAPSLOCK:
        return VK_CAPITAL;
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_SPACE:
        return VK_SPACE;
    case SDLK_PAGEUP:
        return VK_PRIOR;
    case SDLK_PAGEDOWN:
        return VK_NEXT;
    case SDLK_END:
        return VK_END;
    case SDLK_HOME:
        return VK_HOME;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_UP:
        return VK_UP;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_INSERT:
        return VK_INSERT;
    case SDLK_DELETE:
        return VK_DELETE;
    case SDLK_KP_0:
        return VK_NUMPAD0;
    default:
        return 0;
    }
}

// Only the caption is the desktop's to drag. Sizing borders stay clicks: the
// core sizes the window itself, held to its WM_GETMINMAXINFO limits (the
// desktop would size a shaped window past what SDL can shape).
SDL_HitTestResult hitResultFor(int code) { return code == HTCAPTION ? SDL_HITTEST_DRAGGABLE : SDL_HITTEST_NORMAL; }

SDL_SystemCursor systemCursorFor(CursorShape shape) {
    switch (shape) {
    case CursorShape::Hand:
        return SDL_SYSTEM_CURSOR_HAND;
    case CursorShape::IBeam:
        return SDL_SYSTEM_CURSOR_IBEAM;
    case CursorShape::SizeNS:
        return SDL_SYSTEM_CURSOR_SIZENS;
    case CursorShape::SizeWE:
        return SDL_SYSTEM_CURSOR_SIZEWE;
    case CursorShape::SizeNWSE:
        return SDL_SYSTEM_CURSOR_SIZENWSE;
    case CursorShape::SizeNESW:
        return SDL_SYSTEM_CURSOR_SIZENESW;
    case CursorShape::SizeAll:
        return SDL_SYSTEM_CURSOR_SIZEALL;
    case CursorShape::Wait:
        return SDL_SYSTEM_CURSOR_WAIT;
    case CursorShape::Arrow:
        break;
    }
    return SDL_SYSTEM_CURSOR_ARROW;
}

int clampSize(int v) { return std::max(1, v); }

// --- Backend ---

class SdlBackend;
SdlBackend* g_open = nullptr; // the open backend (UI thread); for the queries of WindowSdl.h

// One top-level window on the desktop, and what it takes to make it again.
struct NativeWindow {
    WindowHandle handle = nullptr;
    SdlWindowPtr window;
    Uint32 id = 0;
    bool shaped = false;       // created as a shaped window (can take a region)
    bool argb = false;         // created with the 32-bit visual: its alpha reaches the screen
    bool showsLayered = false; // its surface holds layered content, not painted pixels
    bool resizable = false;    // the desktop may size it (SDL_WINDOW_RESIZABLE)
    bool hasRegion = false;    // a round region is set
    Rect regionRect;           // window coordinates
    Size regionEllipse;
    Rect rect; // where the window is (screen, client area)
    NativeWindowStyle style;
    bool shown = false;
    std::string title;
    SdlSurfacePtr icon;
    float opacity = 1.0f;
    Size minSize;
    Size maxSize{kMaxWindowExtent, kMaxWindowExtent};
};

class SdlBackend final : public WindowBackend {
public:
    SdlBackend() = default;
    ~SdlBackend() override {
        m_windows.clear();
        m_cursors.clear();
        if (g_open == this) g_open = nullptr;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
    }

    bool open(std::string* error) {
        // Shapes are lost when SDL recreates the X window for an accelerated
        // framebuffer; we present through the window surface anyway.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        // Ctrl+C must still end the program, and SDL's quit event is not ours.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        // The first click into an inactive window is a click, as on the desktop we mimic.
        SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        // Capture is the core's decision (setCapture), not SDL's.
        SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
        SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
        SDL_SetHint(SDL_HINT_IME_SHOW_UI, "1");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            if (error) {
                *error = std::string("cannot open the display through SDL: ") + SDL_GetError() +
                         " (is DISPLAY or WAYLAND_DISPLAY set? QUELLAN_DISPLAY=virtual runs without a screen)";
            }
            return false;
        }
        m_wakeEvent = SDL_RegisterEvents(1);
        if (m_wakeEvent == static_cast<Uint32>(-1)) {
            if (error) *error = std::string("cannot register an SDL event: ") + SDL_GetError();
            return false;
        }
        m_driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
        // Layered windows need the X server itself (SDL names no visuals and
        // no compositing manager); no connection just means no layered windows.
        if (m_driver == "x11") m_x11 = X11Desktop::open(nullptr);
        // Without a reachable X server or compositor SDL falls back to a
        // driver that shows nothing; windows would "open" where nobody sees
        // them. That is a failure unless SDL was told to use it.
        const char* asked = SDL_getenv("SDL_VIDEODRIVER");
        if ((m_driver == "offscreen" || m_driver == "dummy") && !(asked && m_driver == asked)) {
            if (error) {
                *error = "no desktop display could be reached (X11: " +
                         std::string(SDL_getenv("DISPLAY") ? SDL_getenv("DISPLAY") : "DISPLAY not set") +
                         "; Wayland: " +
                         std::string(SDL_getenv("WAYLAND_DISPLAY") ? SDL_getenv("WAYLAND_DISPLAY")
                                                                   : "WAYLAND_DISPLAY not set") +
                         "); QUELLAN_DISPLAY=virtual runs without a screen";
            }
            return false;
        }
        g_open = this;
        return true;
    }

    const char* name() const override { return "sdl"; }
    const std::string& driver() const { return m_driver; }
    bool shapesSupported() const { return m_shapesSupported; }

    // --- Screen ---
    Rect screenRect() override {
        SDL_Rect r{};
        if (SDL_GetDisplayBounds(0, &r) != 0) return {};
        return Rect::fromSize(r.x, r.y, r.w, r.h);
    }

    double desktopScale(Rect nearWindow) override {
        ScaleSources sources;
        sources.quellanScale = SDL_getenv("QUELLAN_SCALE");
        if (m_x11 && !m_x11->xftDpi().empty()) sources.xftDpi = m_x11->xftDpi().c_str();
        sources.gdkScale = SDL_getenv("GDK_SCALE");
        const SDL_Point centre{(nearWindow.left + nearWindow.right) / 2, (nearWindow.top + nearWindow.bottom) / 2};
        int index = SDL_GetPointDisplayIndex(&centre);
        if (index < 0) index = 0;
        float horizontalDpi = 0;
        if (SDL_GetDisplayDPI(index, nullptr, &horizontalDpi, nullptr) == 0 && horizontalDpi > 0)
            sources.displayScale = horizontalDpi / 96.0;
        return resolveScale(sources);
    }

    Rect workArea(Rect nearWindow) override {
        const SDL_Point centre{(nearWindow.left + nearWindow.right) / 2, (nearWindow.top + nearWindow.bottom) / 2};
        int index = SDL_GetPointDisplayIndex(&centre);
        if (index < 0) index = 0;
        SDL_Rect r{};
        if (SDL_GetDisplayUsableBounds(index, &r) != 0 && SDL_GetDisplayBounds(index, &r) != 0) return screenRect();
        return Rect::fromSize(r.x, r.y, r.w, r.h);
    }

    std::uint64_t now() override { return SDL_GetTicks64(); }

    // --- Events ---
    void pollEvents(WindowBackendHost& host) override {
        PumpScope scope(*this, host);
        SDL_Event e;
        while (SDL_PollEvent(&e)) handle(e);
        finishPump();
    }

    void waitEvents(WindowBackendHost& host, int timeoutMs) override {
        PumpScope scope(*this, host);
        SDL_Event e;
        bool got = false;
        if (timeoutMs < 0) {
            got = SDL_WaitEvent(&e) == 1;
        } else if (timeoutMs > 0) {
            got = SDL_WaitEventTimeout(&e, timeoutMs) == 1;
        } else {
            got = SDL_PollEvent(&e) == 1;
        }
        if (got) {
            handle(e);
            while (SDL_PollEvent(&e)) handle(e);
        }
        finishPump();
    }

    void wake() override {
        // One pending wake event is enough; a flood would fill SDL's queue.
        if (m_wakePending.exchange(true)) return;
        SDL_Event e{};
        e.type = m_wakeEvent;
        if (SDL_PushEvent(&e) != 1) m_wakePending = false;
    }

    // --- Top-level windows ---
    bool createWindow(WindowHandle handle, Rect screen, const NativeWindowStyle& style,
                      const std::wstring& title) override {
        auto native = std::make_unique<NativeWindow>();
        native->handle = handle;
        native->style = style;
        native->rect = screen;
        native->title = toUtf8(title);
        if (!makeSdlWindow(*native)) return false;
        m_byId[native->id] = native.get();
        m_windows[handle] = std::move(native);
        return true;
    }

    void destroyWindow(WindowHandle handle) override {
        auto it = m_windows.find(handle);
        if (it == m_windows.end()) return;
        m_byId.erase(it->second->id);
        m_windows.erase(it);
        std::erase(m_stack, handle);
    }

    void setWindowRect(WindowHandle handle, Rect screen) override {
        NativeWindow* n = find(handle);
        if (!n) return;
        const bool resized = screen.size() != n->rect.size();
        n->rect = screen;
        if (resized) {
            SDL_SetWindowSize(n->window.get(), clampSize(screen.width()), clampSize(screen.height()));
            // A resized shaped window loses its shape (SDL parks it off screen
            // until the next shape): set it again for the new size.
            if (n->shaped) applyShape(*n);
        }
        SDL_SetWindowPosition(n->window.get(), screen.left, screen.top);
    }

    void setWindowStyle(WindowHandle handle, const NativeWindowStyle& style) override {
        NativeWindow* n = find(handle);
        if (!n) return;
        if (style.layered && !n->argb && layeredSupported()) {
            // An X window keeps the visual it was made with: a window that
            // turns layered is made again with the 32-bit one.
            n->style = style;
            remake(*n);
            return;
        }
        if (!style.layered) n->showsLayered = false;
        if (style.decorated != n->style.decorated)
            SDL_SetWindowBordered(n->window.get(), style.decorated ? SDL_TRUE : SDL_FALSE);
        if (style.resizable != n->style.resizable && !n->shaped)
            SDL_SetWindowResizable(n->window.get(), style.resizable ? SDL_TRUE : SDL_FALSE);
        if (style.topmost != n->style.topmost)
            SDL_SetWindowAlwaysOnTop(n->window.get(), style.topmost ? SDL_TRUE : SDL_FALSE);
        n->style = style;
    }

    void setTitle(WindowHandle handle, const std::wstring& title) override {
        if (NativeWindow* n = find(handle)) {
            n->title = toUtf8(title);
            SDL_SetWindowTitle(n->window.get(), n->title.c_str());
        }
    }

    void showWindow(WindowHandle handle, bool show, bool activate) override {
        NativeWindow* n = find(handle);
        if (!n) return;
        if (!show) {
            SDL_HideWindow(n->window.get());
            n->shown = false;
            return;
        }
        if (!n->shown) {
            SDL_ShowWindow(n->window.get());
            n->shown = true;
            // Mapping a shaped window leaves SDL with a wrong idea of where it
            // is, which would make a caption drag jump: tell it again.
            SDL_SetWindowPosition(n->window.get(), n->rect.left, n->rect.top);
        }
        if (activate) activateWindow(handle);
    }

    void minimizeWindow(WindowHandle handle) override {
        if (NativeWindow* n = find(handle)) SDL_MinimizeWindow(n->window.get());
    }

    void restoreWindow(WindowHandle handle) override {
        if (NativeWindow* n = find(handle)) SDL_RestoreWindow(n->window.get());
    }

    void restack(const std::vector<WindowHandle>& topFirst) override {
        if (topFirst == m_stack) return;
        // Raise from the bottom up, skipping the part at the bottom that is
        // already in order, so that an unchanged stack costs nothing.
        std::size_t keep = 0;
        while (keep < topFirst.size() && keep < m_stack.size() &&
               topFirst[topFirst.size() - 1 - keep] == m_stack[m_stack.size() - 1 - keep])
            ++keep;
        for (std::size_t i = topFirst.size() - keep; i-- > 0;) {
            if (NativeWindow* n = find(topFirst[i])) SDL_RaiseWindow(n->window.get());
        }
        m_stack = topFirst;
    }

    void activateWindow(WindowHandle handle) override {
        NativeWindow* n = find(handle);
        if (!n || !n->shown) return;
        SDL_RaiseWindow(n->window.get());
        SDL_SetWindowInputFocus(n->window.get());
    }

    void present(WindowHandle handle, const Surface& backing, Rect dirty) override {
        NativeWindow* n = find(handle);
        if (!n || backing.isEmpty()) return;
        SDL_Surface* target = SDL_GetWindowSurface(n->window.get());
        if (!target) return;
        dirty =
            dirty.intersect(Rect{0, 0, std::min(backing.width(), target->w), std::min(backing.height(), target->h)});
        if (dirty.isEmpty()) return;
        if (SDL_MUSTLOCK(target)) SDL_LockSurface(target);
        const auto fmt = target->format->format;
        if (n->argb && fmt == SDL_PIXELFORMAT_ARGB8888) {
            // Painted pixels of a 32-bit window are opaque whatever alpha the
            // drawing left in them; only layered content is see-through.
            for (int y = dirty.top; y < dirty.bottom; ++y) {
                auto* dst = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(target->pixels) +
                                                             static_cast<std::size_t>(y) * target->pitch) +
                            dirty.left;
                const std::uint32_t* src = backing.row(y) + dirty.left;
                for (int x = 0; x < dirty.width(); ++x) dst[x] = src[x] | 0xFF000000u;
            }
        } else if (fmt == SDL_PIXELFORMAT_RGB888 || fmt == SDL_PIXELFORMAT_ARGB8888) {
            // Same byte order (B, G, R, X/A): premultiplied pixels are what an
            // opaque window shows of them.
            for (int y = dirty.top; y < dirty.bottom; ++y) {
                auto* dst = static_cast<std::uint8_t*>(target->pixels) + static_cast<std::size_t>(y) * target->pitch +
                            static_cast<std::size_t>(dirty.left) * 4;
                std::memcpy(dst, backing.row(y) + dirty.left, static_cast<std::size_t>(dirty.width()) * 4);
            }
        } else {
            for (int y = dirty.top; y < dirty.bottom; ++y) {
                auto* dst = static_cast<std::uint8_t*>(target->pixels) + static_cast<std::size_t>(y) * target->pitch +
                            static_cast<std::size_t>(dirty.left) * target->format->BytesPerPixel;
                SDL_ConvertPixels(dirty.width(), 1, SDL_PIXELFORMAT_ARGB8888, backing.row(y) + dirty.left,
                                  dirty.width() * 4, fmt, dst, target->pitch);
            }
        }
        if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
        const SDL_Rect r{dirty.left, dirty.top, dirty.width(), dirty.height()};
        SDL_UpdateWindowSurfaceRects(n->window.get(), &r, 1);
    }

    void setShape(WindowHandle handle, const Rect* rect, Size ellipse) override {
        NativeWindow* n = find(handle);
        if (!n) return;
        n->hasRegion = rect != nullptr;
        if (rect) {
            n->regionRect = *rect;
            n->regionEllipse = ellipse;
        }
        if (n->shaped) {
            applyShape(*n);
            SDL_SetWindowPosition(n->window.get(), n->rect.left, n->rect.top);
        }
    }

    void setIcon(WindowHandle handle, const Surface& pixels) override {
        NativeWindow* n = find(handle);
        if (!n || pixels.isEmpty()) return;
        SdlSurfacePtr icon(
            SDL_CreateRGBSurfaceWithFormat(0, pixels.width(), pixels.height(), 32, SDL_PIXELFORMAT_ARGB8888));
        if (!icon) return;
        for (int y = 0; y < pixels.height(); ++y) {
            auto* dst = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(icon->pixels) +
                                                         static_cast<std::size_t>(y) * icon->pitch);
            const std::uint32_t* src = pixels.row(y);
            for (int x = 0; x < pixels.width(); ++x) dst[x] = unpremultiply(src[x]);
        }
        SDL_SetWindowIcon(n->window.get(), icon.get());
        n->icon = std::move(icon);
    }

    void setSizeLimits(WindowHandle handle, Size min, Size max) override {
        NativeWindow* n = find(handle);
        if (!n || (n->minSize == min && n->maxSize == max)) return;
        n->minSize = min;
        n->maxSize = max;
        applySizeLimits(*n);
    }

    // --- Layered windows ---
    // Per-pixel alpha reaches the screen on X11 when a compositing manager
    // runs: the window is made with the 32-bit visual and its premultiplied
    // pixels go through SDL's own framebuffer (XPutImage of our bytes, alpha
    // included). SDL's accelerated framebuffer would drop the alpha.
    bool layeredSupported() override { return m_x11 && !m_x11->argbVisualId().empty() && m_x11->compositorRunning(); }

    bool updateLayered(WindowHandle handle, const Surface& pixels, std::uint8_t alpha) override {
        NativeWindow* n = find(handle);
        if (!n || !n->argb || pixels.isEmpty()) return false;
        SDL_Surface* target = SDL_GetWindowSurface(n->window.get());
        if (!target || target->format->format != SDL_PIXELFORMAT_ARGB8888) return false;
        const int w = std::min(pixels.width(), target->w);
        const int h = std::min(pixels.height(), target->h);
        if (SDL_MUSTLOCK(target)) SDL_LockSurface(target);
        for (int y = 0; y < target->h; ++y) {
            auto* dst = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(target->pixels) +
                                                         static_cast<std::size_t>(y) * target->pitch);
            if (y >= h) {
                std::memset(dst, 0, static_cast<std::size_t>(target->w) * 4);
                continue;
            }
            const std::uint32_t* src = pixels.row(y);
            if (alpha == 255) {
                std::memcpy(dst, src, static_cast<std::size_t>(w) * 4);
            } else {
                for (int x = 0; x < w; ++x) dst[x] = scalePixel(src[x], alpha);
            }
            if (w < target->w) std::memset(dst + w, 0, static_cast<std::size_t>(target->w - w) * 4);
        }
        if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
        n->showsLayered = true;
        return SDL_UpdateWindowSurface(n->window.get()) == 0;
    }

    bool setOpacity(WindowHandle handle, std::uint8_t alpha) override {
        NativeWindow* n = find(handle);
        if (!n) return false;
        n->opacity = static_cast<float>(alpha) / 255.0f;
        return SDL_SetWindowOpacity(n->window.get(), n->opacity) == 0;
    }

    // --- Input ---
    // SDL's hit test moves the window natively on HTCAPTION; a button press
    // that still reaches the core on a caption is left to the core to drag.
    bool beginDrag(WindowHandle, Point) override { return false; }

    void setCursor(CursorShape shape) override {
        const SDL_SystemCursor id = systemCursorFor(shape);
        auto it = m_cursors.find(id);
        if (it == m_cursors.end()) {
            SDL_Cursor* c = SDL_CreateSystemCursor(id);
            if (!c) return;
            it = m_cursors.emplace(id, SdlCursorPtr(c)).first;
        }
        if (SDL_GetCursor() != it->second.get()) SDL_SetCursor(it->second.get());
    }

    void setCapture(bool on) override { SDL_CaptureMouse(on ? SDL_TRUE : SDL_FALSE); }

    void setTextInputArea(WindowHandle handle, Rect screenCaret) override {
        if (screenCaret.isEmpty()) {
            if (SDL_IsTextInputActive()) SDL_StopTextInput();
            return;
        }
        if (NativeWindow* n = find(handle)) {
            SDL_Rect r{screenCaret.left - n->rect.left, screenCaret.top - n->rect.top, screenCaret.width(),
                       screenCaret.height()};
            SDL_SetTextInputRect(&r);
        }
        if (!SDL_IsTextInputActive()) SDL_StartTextInput();
    }

    std::wstring clipboardText() override {
        if (!SDL_HasClipboardText()) return {};
        char* text = SDL_GetClipboardText();
        if (!text) return {};
        std::wstring result = fromUtf8(text);
        SDL_free(text);
        return result;
    }

    bool setClipboardText(const std::wstring& text) override { return SDL_SetClipboardText(toUtf8(text).c_str()) == 0; }

private:
    // Marks the time the host may be called (inside poll/wait).
    struct PumpScope {
        PumpScope(SdlBackend& b, WindowBackendHost& host) : backend(b), previous(b.m_host) { b.m_host = &host; }
        ~PumpScope() { backend.m_host = previous; }
        SdlBackend& backend;
        WindowBackendHost* previous;
    };

    // A premultiplied pixel with every channel scaled by alpha / 255 (rounded).
    static std::uint32_t scalePixel(std::uint32_t p, std::uint8_t alpha) {
        std::uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const std::uint32_t ch = (p >> shift) & 0xFF;
            out |= ((ch * alpha + 127) / 255) << shift;
        }
        return out;
    }

    // Makes the SDL window of `n` from what it records (creation and remake).
    bool makeSdlWindow(NativeWindow& n) {
        const int w = clampSize(n.rect.width());
        const int h = clampSize(n.rect.height());
        Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS;
        if (n.style.toolWindow) flags |= SDL_WINDOW_SKIP_TASKBAR;
        if (n.style.topmost) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        const bool transient = n.style.popup && n.style.toolWindow; // tooltips and menus: never shaped
        if (transient) flags |= SDL_WINDOW_TOOLTIP;
        // The visual is chosen when the X window is made; the hint applies to
        // this window only.
        const bool argb = n.style.layered && layeredSupported();
        if (argb) SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, m_x11->argbVisualId().c_str());
        SDL_Window* window = nullptr;
        bool shaped = false;
        if (!transient && m_shapesSupported) {
            // Created at 0,0: SDL moves a shaped window back to its creation
            // position when the first shape is set, unless that position is 0,0.
            window = SDL_CreateShapedWindow(n.title.c_str(), 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h),
                                            flags);
            if (window)
                shaped = true;
            else
                m_shapesSupported = false; // this driver has no shaped windows
        }
        if (!window) {
            if (n.style.resizable) flags |= SDL_WINDOW_RESIZABLE;
            window = SDL_CreateWindow(n.title.c_str(), n.rect.left, n.rect.top, w, h, flags);
        }
        if (argb) SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, "");
        if (!window) {
            SDL_Log("quellan: cannot create a window: %s", SDL_GetError());
            return false;
        }
        n.window.reset(window);
        n.id = SDL_GetWindowID(window);
        n.shaped = shaped;
        n.argb = argb;
        n.resizable = (SDL_GetWindowFlags(window) & SDL_WINDOW_RESIZABLE) != 0;
        SDL_SetWindowData(window, "quellan", &n);
        SDL_SetWindowHitTest(window, &SdlBackend::hitTestCallback, this);
        if (n.shaped) applyShape(n); // a full-window shape: a plain rectangle until a region is set
        SDL_SetWindowPosition(window, n.rect.left, n.rect.top);
        if (n.style.decorated) SDL_SetWindowBordered(window, SDL_TRUE);
        return true;
    }

    // Makes the window again (another visual) in the same state: place,
    // shape, title, icon, limits, opacity, visibility, stacking and focus.
    void remake(NativeWindow& n) {
        SDL_Window* old = n.window.get();
        const bool focused = SDL_GetKeyboardFocus() == old;
        SdlWindowPtr keep = std::move(n.window);
        const Uint32 oldId = n.id;
        if (!makeSdlWindow(n)) {
            n.window = std::move(keep); // stays as it was
            n.id = oldId;
            return;
        }
        m_byId.erase(oldId);
        m_byId[n.id] = &n;
        if (n.icon) SDL_SetWindowIcon(n.window.get(), n.icon.get());
        applySizeLimits(n);
        if (n.opacity < 1.0f) SDL_SetWindowOpacity(n.window.get(), n.opacity);
        keep.reset();
        if (n.shown) {
            n.shown = false;
            showWindow(n.handle, true, focused);
            const std::vector<WindowHandle> order = m_stack;
            m_stack.clear();
            restack(order);
        }
    }

    // The desktop may size a resizable window within the limits the core
    // passed on. (Shaped windows are never resizable for the desktop: SDL
    // keeps their shape only through its own size changes. Their borders are
    // dragged by the core.)
    void applySizeLimits(NativeWindow& n) {
        if (!n.resizable || n.shaped) return;
        const int minW = clampSize(n.minSize.cx), minH = clampSize(n.minSize.cy);
        // Raised first: SDL refuses a minimum above the old maximum.
        SDL_SetWindowMaximumSize(n.window.get(), kMaxWindowExtent, kMaxWindowExtent);
        SDL_SetWindowMinimumSize(n.window.get(), minW, minH);
        SDL_SetWindowMaximumSize(n.window.get(), std::max(clampSize(n.maxSize.cx), minW),
                                 std::max(clampSize(n.maxSize.cy), minH));
    }

    NativeWindow* find(WindowHandle handle) {
        auto it = m_windows.find(handle);
        return it == m_windows.end() ? nullptr : it->second.get();
    }
    NativeWindow* findById(Uint32 id) {
        auto it = m_byId.find(id);
        return it == m_byId.end() ? nullptr : it->second;
    }

    // Sets the window's shape: the round region, or the whole window.
    void applyShape(NativeWindow& n) {
        int w = 0, h = 0;
        SDL_GetWindowSize(n.window.get(), &w, &h);
        SdlSurfacePtr mask(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888));
        if (!mask) return;
        SDL_FillRect(mask.get(), nullptr, 0);
        const Rect whole{0, 0, w, h};
        const Region region =
            n.hasRegion ? Region::roundRect(n.regionRect, n.regionEllipse.cx, n.regionEllipse.cy) : Region(whole);
        for (const Rect& r : region.rects()) {
            const Rect c = r.intersect(whole);
            if (c.isEmpty()) continue;
            const SDL_Rect sr{c.left, c.top, c.width(), c.height()};
            SDL_FillRect(mask.get(), &sr, 0xFFFFFFFFu);
        }
        SDL_WindowShapeMode mode{};
        mode.mode = ShapeModeBinarizeAlpha;
        mode.parameters.binarizationCutoff = 128;
        if (SDL_SetWindowShape(n.window.get(), mask.get(), &mode) != 0)
            SDL_Log("quellan: cannot shape a window: %s", SDL_GetError());
    }

    static SDL_HitTestResult SDLCALL hitTestCallback(SDL_Window* window, const SDL_Point* area, void* data) {
        auto* self = static_cast<SdlBackend*>(data);
        // The host may be asked only while we pump; outside, the click stays a click.
        if (!self->m_host) return SDL_HITTEST_NORMAL;
        auto* n = static_cast<NativeWindow*>(SDL_GetWindowData(window, "quellan"));
        if (!n) return SDL_HITTEST_NORMAL;
        const int code = self->m_host->hitTest(n->handle, Point{n->rect.left + area->x, n->rect.top + area->y});
        return hitResultFor(code);
    }

    void handle(const SDL_Event& e);
    void handleWindowEvent(const SDL_WindowEvent& e);
    void deliver(BackendEvent&& ev) { m_host->deliver(ev); }
    Point toScreen(Uint32 windowId, int x, int y) {
        if (NativeWindow* n = findById(windowId)) return {n->rect.left + x, n->rect.top + y};
        int gx = 0, gy = 0;
        SDL_GetGlobalMouseState(&gx, &gy);
        return {gx, gy};
    }
    void finishPump() {
        // Leaving one of our windows for another is no "left every window".
        if (m_leftPending && !SDL_GetMouseFocus()) {
            BackendEvent ev;
            ev.kind = BackendEvent::Kind::PointerLeft;
            deliver(std::move(ev));
        }
        m_leftPending = false;
    }

    std::unordered_map<WindowHandle, std::unique_ptr<NativeWindow>> m_windows;
    std::unordered_map<Uint32, NativeWindow*> m_byId;
    std::vector<WindowHandle> m_stack;
    std::map<SDL_SystemCursor, SdlCursorPtr> m_cursors;
    WindowBackendHost* m_host = nullptr;
    Uint32 m_wakeEvent = 0;
    std::atomic<bool> m_wakePending{false};
    std::string m_driver;
    std::unique_ptr<X11Desktop> m_x11; // x11 driver only
    bool m_shapesSupported = true;
    bool m_leftPending = false;
    Point m_lastPointer;
};

// --- Events ---

void SdlBackend::handle(const SDL_Event& e) {
    if (e.type == m_wakeEvent) {
        m_wakePending = false;
        return;
    }
    switch (e.type) {
    case SDL_MOUSEMOTION: {
        if (e.motion.which == SDL_TOUCH_MOUSEID) break;
        BackendEvent ev;
        ev.kind = BackendEvent::Kind::MouseMove;
        NativeWindow* n = findById(e.motion.windowID);
        ev.window = n ? n->handle : nullptr;
        Point pointer;
        if (e.motion.state != 0 && m_x11 && m_x11->pointerPosition(&pointer.x, &pointer.y)) {
            // A button is held: the core may be moving or sizing the window
            // under the pointer, so numbers relative to it lag behind. (SDL's
            // own global position can be a stale cache.)
            ev.screen = pointer;
        } else {
            ev.screen = toScreen(e.motion.windowID, e.motion.x, e.motion.y);
        }
        m_lastPointer = ev.screen;
        deliver(std::move(ev));
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        if (e.button.which == SDL_TOUCH_MOUSEID) break;
        BackendEvent ev;
        ev.kind = BackendEvent::Kind::MouseButton;
        NativeWindow* n = findById(e.button.windowID);
        ev.window = n ? n->handle : nullptr;
        ev.screen = toScreen(e.button.windowID, e.button.x, e.button.y);
        m_lastPointer = ev.screen;
        ev.down = e.type == SDL_MOUSEBUTTONDOWN;
        // SDL counts on (3, 4, ...); the desktop we mimic pairs clicks.
        ev.clicks = (e.button.clicks % 2 == 0) ? 2 : 1;
        if (e.button.button == SDL_BUTTON_LEFT)
            ev.button = MouseButton::Left;
        else if (e.button.button == SDL_BUTTON_RIGHT)
            ev.button = MouseButton::Right;
        else if (e.button.button == SDL_BUTTON_MIDDLE)
            ev.button = MouseButton::Middle;
        else
            break;
        deliver(std::move(ev));
        break;
    }
    case SDL_MOUSEWHEEL: {
        if (e.wheel.which == SDL_TOUCH_MOUSEID || e.wheel.y == 0) break;
        BackendEvent ev;
        ev.kind = BackendEvent::Kind::MouseWheel;
        NativeWindow* n = findById(e.wheel.windowID);
        ev.window = n ? n->handle : nullptr;
        int y = e.wheel.y;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) y = -y;
        ev.wheelDelta = y * WHEEL_DELTA;
        int mx = 0, my = 0;
        SDL_GetMouseState(&mx, &my);
        ev.screen = n ? Point{n->rect.left + mx, n->rect.top + my} : m_lastPointer;
        deliver(std::move(ev));
        break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const unsigned vk = vkFromSdl(e.key.keysym);
        if (vk == 0) break;
        BackendEvent ev;
        ev.kind = BackendEvent::Kind::Key;
        NativeWindow* n = findById(e.key.windowID);
        ev.window = n ? n->handle : nullptr;
        ev.vk = vk;
        ev.down = e.type == SDL_KEYDOWN;
        ev.repeat = e.key.repeat != 0;
        deliver(std::move(ev));
        break;
    }
    case SDL_TEXTEDITING: {
        // The input method's pre-edit text; the committed text comes as SDL_TEXTINPUT.
        BackendEvent ev;
        ev.kind = BackendEvent::Kind::Composition;
        NativeWindow* n = findById(e.edit.windowID);
        ev.window = n ? n->handle : nullptr;
        ev.text = fromUtf8(e.edit.text);
        // SDL counts the cursor in characters of the text.
        ev.cursor = e.edit.start;
        deliver(std::move(ev));
        break;
    }
    case SDL_TEXTINPUT: {
        BackendEvent ev;
        ev.kind = BackendEvent::Kind::Text;
        NativeWindow* n = findById(e.text.windowID);
        ev.window = n ? n->handle : nullptr;
        ev.text = fromUtf8(e.text.text);
        if (!ev.text.empty()) deliver(std::move(ev));
        break;
    }
    case SDL_WINDOWEVENT:
        handleWindowEvent(e.window);
        break;
    default:
        break;
    }
}

void SdlBackend::handleWindowEvent(const SDL_WindowEvent& e) {
    NativeWindow* n = findById(e.windowID);
    if (!n) return;
    BackendEvent ev;
    ev.window = n->handle;
    switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
        ev.kind = BackendEvent::Kind::CloseRequest;
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        ev.kind = BackendEvent::Kind::Minimized;
        break;
    case SDL_WINDOWEVENT_RESTORED:
        ev.kind = BackendEvent::Kind::Restored;
        break;
    case SDL_WINDOWEVENT_MOVED: {
        // The event's own numbers can be stale (see showWindow), and so can
        // SDL's belief: it reads a move made before the window manager
        // reparented the window against the new parent, which doubles it.
        // The server knows where the window is.
        int x = 0, y = 0;
        if (!m_x11 || !m_x11->windowOrigin(n->window.get(), &x, &y)) SDL_GetWindowPosition(n->window.get(), &x, &y);
        if (x == n->rect.left && y == n->rect.top) return;
        n->rect = n->rect.offset(x - n->rect.left, y - n->rect.top);
        ev.kind = BackendEvent::Kind::Moved;
        ev.rect = n->rect;
        break;
    }
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
        if (e.data1 == n->rect.width() && e.data2 == n->rect.height()) return;
        n->rect = Rect::fromSize(n->rect.left, n->rect.top, e.data1, e.data2);
        ev.kind = BackendEvent::Kind::Resized;
        ev.rect = n->rect;
        break;
    }
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        ev.kind = BackendEvent::Kind::FocusGained;
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        ev.kind = BackendEvent::Kind::FocusLost;
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        // Layered content is ours to show again (the core presents painted
        // pixels only); the window surface still holds it.
        if (n->showsLayered && SDL_GetWindowSurface(n->window.get())) SDL_UpdateWindowSurface(n->window.get());
        ev.kind = BackendEvent::Kind::Exposed;
        ev.rect = Rect{0, 0, n->rect.width(), n->rect.height()};
        break;
    case SDL_WINDOWEVENT_LEAVE:
        m_leftPending = true;
        return;
    case SDL_WINDOWEVENT_ENTER:
        m_leftPending = false;
        return;
    default:
        return;
    }
    deliver(std::move(ev));
}

} // namespace

// --- Factory ---

std::unique_ptr<WindowBackend> createSdlBackend(std::string* error) {
    if (g_open) {
        if (error) *error = "the sdl display is already open";
        return nullptr;
    }
    auto backend = std::make_unique<SdlBackend>();
    if (!backend->open(error)) return nullptr;
    return backend;
}

std::string sdlVideoDriver() { return g_open ? g_open->driver() : std::string(); }

bool sdlShapesSupported() { return g_open && g_open->shapesSupported(); }

} // namespace platform::detail
