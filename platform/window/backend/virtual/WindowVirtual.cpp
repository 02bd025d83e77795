// The virtual display backend: top-level windows kept in memory on a screen of
// a chosen size, input injected by tests, a clock that can be moved forward,
// and every window's pixels readable as numbers or PNG.
#include "platform/window/VirtualDisplay.h"
#include "platform/window/DisplayScale.h"
#include "platform/window/WindowInternal.h"

#include <chrono>
#include <cstdlib>

namespace platform {
namespace detail {

namespace {

class VirtualBackend final : public WindowBackend {
public:
    explicit VirtualBackend(Size screen) : m_screen(screen) {}

    const char* name() const override { return "virtual"; }

    Rect screenRect() override { return {0, 0, m_screen.cx, m_screen.cy}; }
    Rect workArea(Rect) override { return screenRect(); }
    // Only QUELLAN_SCALE: tests must not depend on the desktop they run on.
    double desktopScale(Rect) override {
        ScaleSources sources;
        sources.quellanScale = std::getenv("QUELLAN_SCALE");
        return resolveScale(sources);
    }

    std::uint64_t now() override {
        auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count();
        return static_cast<std::uint64_t>(ms) + m_offset.load();
    }

    void pollEvents(WindowBackendHost& host) override {
        if (!m_hasPending.load()) return;
        std::deque<BackendEvent> events;
        {
            std::lock_guard lock(m_mutex);
            m_hasPending.store(false);
            events.swap(m_pending);
        }
        for (const BackendEvent& e : events) host.deliver(e);
    }

    void waitEvents(WindowBackendHost& host, int timeoutMs) override {
        {
            std::unique_lock lock(m_mutex);
            auto ready = [this] { return !m_pending.empty() || m_woken; };
            if (timeoutMs < 0)
                m_cv.wait(lock, ready);
            else
                m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
            m_woken = false;
        }
        pollEvents(host);
    }

    void wake() override {
        {
            std::lock_guard lock(m_mutex);
            m_woken = true;
        }
        m_cv.notify_all();
    }

    void inject(BackendEvent e) {
        {
            std::lock_guard lock(m_mutex);
            m_pending.push_back(std::move(e));
            m_hasPending.store(true);
        }
        m_cv.notify_all();
    }

    void advance(unsigned ms) {
        m_offset += ms;
        wake();
    }

    bool createWindow(WindowHandle window, Rect screen, const NativeWindowStyle& style,
                      const std::wstring& title) override {
        Native& n = m_natives[window];
        n.state.exists = true;
        n.state.rect = screen;
        n.state.style = style;
        n.state.title = title;
        n.presented = Surface(std::max(screen.width(), 1), std::max(screen.height(), 1));
        return true;
    }
    void destroyWindow(WindowHandle window) override {
        m_natives.erase(window);
        std::erase(m_stack, window);
        if (m_focus == window) m_focus = nullptr;
    }
    void setWindowRect(WindowHandle window, Rect screen) override {
        if (Native* n = get(window)) n->state.rect = screen;
    }
    void setWindowStyle(WindowHandle window, const NativeWindowStyle& style) override {
        if (Native* n = get(window)) n->state.style = style;
    }
    void setTitle(WindowHandle window, const std::wstring& title) override {
        if (Native* n = get(window)) n->state.title = title;
    }
    void showWindow(WindowHandle window, bool show, bool activate) override {
        Native* n = get(window);
        if (!n) return;
        n->state.shown = show;
        if (show && activate) m_focus = window;
        if (!show && m_focus == window) m_focus = nullptr;
    }
    void minimizeWindow(WindowHandle window) override {
        if (Native* n = get(window)) n->state.minimized = true;
        if (m_focus == window) m_focus = nullptr;
    }
    void restoreWindow(WindowHandle window) override {
        if (Native* n = get(window)) n->state.minimized = false;
    }
    void restack(const std::vector<WindowHandle>& topFirst) override { m_stack = topFirst; }
    void activateWindow(WindowHandle window) override {
        if (get(window)) m_focus = window;
    }
    void present(WindowHandle window, const Surface& backing, Rect dirty) override {
        Native* n = get(window);
        if (!n) return;
        if (n->presented.size() != backing.size()) {
            Surface resized(backing.width(), backing.height());
            Canvas(resized).copyFrom(n->presented, n->presented.bounds().intersect(resized.bounds()), {0, 0});
            n->presented = std::move(resized);
        }
        Canvas(n->presented).copyFrom(backing, dirty, {dirty.left, dirty.top});
        ++n->state.presentCount;
        n->state.lastPresented = dirty;
    }
    void setShape(WindowHandle window, const Rect* rect, Size ellipse) override {
        Native* n = get(window);
        if (!n) return;
        n->state.hasShape = rect != nullptr;
        n->state.shapeRect = rect ? *rect : Rect{};
        n->state.shapeEllipse = rect ? ellipse : Size{};
    }
    void setIcon(WindowHandle window, const Surface& pixels) override {
        if (Native* n = get(window)) n->state.hasIcon = !pixels.isEmpty();
    }
    void setSizeLimits(WindowHandle window, Size min, Size max) override {
        if (Native* n = get(window)) {
            n->state.minSize = min;
            n->state.maxSize = max;
        }
    }

    bool layeredSupported() override { return true; }
    bool updateLayered(WindowHandle window, const Surface& pixels, std::uint8_t alpha) override {
        Native* n = get(window);
        if (!n) return false;
        n->layered = pixels.clone();
        n->layeredAlpha = alpha;
        n->state.layeredContent = true;
        return true;
    }
    bool setOpacity(WindowHandle window, std::uint8_t alpha) override {
        Native* n = get(window);
        if (!n) return false;
        n->state.opacity = alpha;
        if (alpha == 255 && !n->state.style.layered) n->state.layeredContent = false;
        return true;
    }

    bool beginDrag(WindowHandle, Point) override { return false; }
    void setCursor(CursorShape shape) override { m_cursor = shape; }
    void setCapture(bool on) override { m_captured = on; }
    void setTextInputArea(WindowHandle, Rect screenCaret) override { m_textInput = !screenCaret.isEmpty(); }
    std::wstring clipboardText() override { return m_clipboard; }
    bool setClipboardText(const std::wstring& text) override {
        m_clipboard = text;
        return true;
    }

    // --- Read-back for tests ---
    struct Native {
        vdisplay::NativeState state;
        Surface presented;
        Surface layered;
        std::uint8_t layeredAlpha = 255;
    };
    Native* get(WindowHandle window) {
        auto it = m_natives.find(window);
        return it == m_natives.end() ? nullptr : &it->second;
    }

    std::vector<WindowHandle> m_stack;
    WindowHandle m_focus = nullptr;
    CursorShape m_cursor = CursorShape::Arrow;
    bool m_captured = false;
    bool m_textInput = false;

private:
    Size m_screen;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<BackendEvent> m_pending;
    std::atomic<bool> m_hasPending{false};
    bool m_woken = false;
    std::atomic<std::uint64_t> m_offset{0};
    std::unordered_map<WindowHandle, Native> m_natives;
    std::wstring m_clipboard;
};

VirtualBackend* virtualBackend() {
    Core& c = Core::get();
    return dynamic_cast<VirtualBackend*>(c.backend());
}

} // namespace

std::unique_ptr<WindowBackend> createVirtualBackend(Size screen) { return std::make_unique<VirtualBackend>(screen); }

} // namespace detail

namespace vdisplay {

using detail::Core;
using detail::virtualBackend;

namespace {

void inject(BackendEvent e) {
    if (auto* b = virtualBackend()) b->inject(std::move(e));
}

BackendEvent mouseEvent(BackendEvent::Kind kind, Point screen) {
    BackendEvent e;
    e.kind = kind;
    e.screen = screen;
    return e;
}

void button(Point screen, MouseButton which, bool down, int clicks) {
    BackendEvent e = mouseEvent(BackendEvent::Kind::MouseButton, screen);
    e.button = which;
    e.down = down;
    e.clicks = clicks;
    inject(std::move(e));
}

void key(unsigned vk, bool down, bool repeat) {
    BackendEvent e;
    e.kind = BackendEvent::Kind::Key;
    e.vk = vk;
    e.down = down;
    e.repeat = repeat;
    inject(std::move(e));
}

void windowEvent(BackendEvent::Kind kind, WindowHandle window) {
    BackendEvent e;
    e.kind = kind;
    e.window = window;
    inject(std::move(e));
}

} // namespace

bool open(Size screen) {
    Core& c = Core::get();
    if (!c.backend()) c.installBackend(detail::createVirtualBackend(screen));
    return virtualBackend() != nullptr && isUiThread();
}

void reset() { Core::get().resetAll(); }

void moveMouse(Point screen) { inject(mouseEvent(BackendEvent::Kind::MouseMove, screen)); }
void mouseDown(Point screen, MouseButton which) { button(screen, which, true, 1); }
void mouseUp(Point screen, MouseButton which) { button(screen, which, false, 1); }

void click(Point screen, MouseButton which) {
    moveMouse(screen);
    button(screen, which, true, 1);
    button(screen, which, false, 1);
}

void doubleClick(Point screen) {
    moveMouse(screen);
    button(screen, MouseButton::Left, true, 1);
    button(screen, MouseButton::Left, false, 1);
    button(screen, MouseButton::Left, true, 2);
    button(screen, MouseButton::Left, false, 2);
}

void wheel(Point screen, int delta) {
    BackendEvent e = mouseEvent(BackendEvent::Kind::MouseWheel, screen);
    e.wheelDelta = delta;
    inject(std::move(e));
}

void drag(Point from, Point to, int steps) {
    steps = std::max(steps, 1);
    moveMouse(from);
    button(from, MouseButton::Left, true, 1);
    for (int i = 1; i <= steps; ++i)
        moveMouse({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
    button(to, MouseButton::Left, false, 1);
}

void keyDown(unsigned vk, bool repeat) { key(vk, true, repeat); }
void keyUp(unsigned vk) { key(vk, false, false); }
void pressKey(unsigned vk) {
    key(vk, true, false);
    key(vk, false, false);
}

void typeText(std::wstring_view text) {
    BackendEvent e;
    e.kind = BackendEvent::Kind::Text;
    e.text = std::wstring(text);
    inject(std::move(e));
}

void composeText(std::wstring_view text, int cursor) {
    BackendEvent e;
    e.kind = BackendEvent::Kind::Composition;
    e.text = std::wstring(text);
    e.cursor = cursor < 0 ? static_cast<int>(text.size()) : cursor;
    inject(std::move(e));
}

void altKey(unsigned vk) {
    key(VK_MENU, true, false);
    key(vk, true, false);
    key(vk, false, false);
    key(VK_MENU, false, false);
}

void pointerLeft() { inject(mouseEvent(BackendEvent::Kind::PointerLeft, {})); }
void requestClose(WindowHandle window) { windowEvent(BackendEvent::Kind::CloseRequest, window); }
void requestMinimize(WindowHandle window) {
    if (auto* b = virtualBackend()) b->minimizeWindow(window);
    windowEvent(BackendEvent::Kind::Minimized, window);
}
void requestRestore(WindowHandle window) {
    if (auto* b = virtualBackend()) b->restoreWindow(window);
    windowEvent(BackendEvent::Kind::Restored, window);
}
void setDesktopFocus(WindowHandle window, bool focused) {
    windowEvent(focused ? BackendEvent::Kind::FocusGained : BackendEvent::Kind::FocusLost, window);
}

void advanceTime(unsigned ms) {
    if (auto* b = virtualBackend()) b->advance(ms);
}

int pump() {
    int count = 0;
    Message msg;
    // A bound keeps a window that never validates its paint from hanging a test.
    while (count < 100000 && peekMessage(msg, PeekMode::Keep)) {
        if (msg.message == WM_QUIT) break;
        if (!peekMessage(msg, PeekMode::Remove)) break;
        translateMessage(msg);
        dispatchMessage(msg);
        ++count;
    }
    return count;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pump();
        if (done()) return true;
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        Core::get().waitForWork(static_cast<int>(std::min<long long>(left, 50)));
    }
}

bool windowPixels(WindowHandle window, Snapshot& out) {
    auto* b = virtualBackend();
    if (!b) return false;
    auto* n = b->get(window);
    if (!n) return false;
    const Size size = n->state.rect.size();
    out.size = size;
    out.pixels.assign(static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy), 0);
    const Surface& src = n->state.layeredContent ? n->layered : n->presented;
    const unsigned alpha = (n->state.layeredContent ? n->layeredAlpha : 255u) * n->state.opacity / 255u;
    std::optional<Region> shape;
    if (n->state.hasShape)
        shape = Region::roundRect(n->state.shapeRect, n->state.shapeEllipse.cx, n->state.shapeEllipse.cy);
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) {
            if (shape && !shape->contains({x, y})) continue;
            std::uint32_t p = src.pixel(x, y);
            if (alpha != 255) {
                std::uint32_t scaled = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    std::uint32_t ch = (p >> shift) & 0xFF;
                    scaled |= ((ch * alpha + 127) / 255) << shift;
                }
                p = scaled;
            }
            out.pixels[static_cast<std::size_t>(y) * size.cx + x] = p;
        }
    return true;
}

bool writeWindowPng(WindowHandle window, const std::string& path) {
    Snapshot snap;
    if (!windowPixels(window, snap) || snap.size.cx <= 0 || snap.size.cy <= 0) return false;
    Surface surface(snap.size.cx, snap.size.cy);
    for (int y = 0; y < snap.size.cy; ++y)
        for (int x = 0; x < snap.size.cx; ++x) surface.setPixel(x, y, snap.at(x, y));
    return surface.writePng(path);
}

NativeState nativeState(WindowHandle window) {
    auto* b = virtualBackend();
    auto* n = b ? b->get(window) : nullptr;
    return n ? n->state : NativeState{};
}

std::vector<WindowHandle> stackingOrder() {
    auto* b = virtualBackend();
    return b ? b->m_stack : std::vector<WindowHandle>{};
}

WindowHandle desktopFocus() {
    auto* b = virtualBackend();
    return b ? b->m_focus : nullptr;
}

CursorShape currentCursor() {
    auto* b = virtualBackend();
    return b ? b->m_cursor : CursorShape::Arrow;
}

bool pointerCaptured() {
    auto* b = virtualBackend();
    return b && b->m_captured;
}

bool textInputActive() {
    auto* b = virtualBackend();
    return b && b->m_textInput;
}

} // namespace vdisplay
} // namespace platform
