// Painting of the window-system core: update regions, the paint cycle on the
// top-level backing surfaces, presenting to the backend, printing, window
// regions, icons, screen queries and layered windows.
#include "platform/window/WindowInternal.h"

#include <algorithm>

namespace platform {
namespace detail {

void Core::ensureBacking(WindowData& w) {
    if (w.isChild()) return;
    const int width = std::max(w.rect.width(), 1);
    const int height = std::max(w.rect.height(), 1);
    if (w.backing && w.backing->width() == width && w.backing->height() == height) return;
    auto fresh = std::make_unique<Surface>(width, height);
    if (w.backing && !w.backing->isEmpty()) {
        Canvas copy(*fresh);
        copy.copyFrom(*w.backing, w.backing->bounds().intersect(fresh->bounds()), {0, 0});
    }
    // A paint in progress keeps drawing on the surface it started with.
    if (w.paintCanvas) w.paintCanvas.reset();
    w.backing = std::move(fresh);
}

WindowHandle Core::findPaintCandidate() {
    // Parents paint before their children so that children end up on top.
    std::vector<WindowHandle> stack;
    for (auto it = m_zorder.rbegin(); it != m_zorder.rend(); ++it) {
        WindowData* d = findLive(*it);
        if (!d || !d->visible || d->iconic) continue;
        stack.assign(1, *it);
        while (!stack.empty()) {
            WindowHandle h = stack.back();
            stack.pop_back();
            WindowData* w = findLive(h);
            if (!w || !w->visible) continue;
            if (!w->update.isEmpty()) return h;
            for (WindowHandle child : w->children) stack.push_back(child);
        }
    }
    return nullptr;
}

void Core::flushPresents() {
    if (!m_backend) return;
    for (WindowHandle h : m_zorder) {
        WindowData* d = findLive(h);
        if (!d || d->presentDirty.isEmpty()) continue;
        if (!d->native || !d->visible || d->iconic || !d->backing) continue;
        Rect dirty = d->presentDirty.intersect(d->backing->bounds());
        d->presentDirty = {};
        if (d->layeredContent || dirty.isEmpty()) continue;
        m_backend->present(h, *d->backing, dirty);
    }
}

void Core::invalidateChildrenIn(WindowData& w, Rect area) {
    for (WindowHandle child : w.children) {
        WindowData* c = findLive(child);
        if (!c || !c->visible) continue;
        Rect part = c->rect.intersect(area);
        if (!part.isEmpty()) c->update = c->update.unite(part.offset(-c->rect.left, -c->rect.top));
    }
}

bool Core::regionContains(const WindowData& w, Point windowPoint) {
    if (!w.hasRegion) return true;
    return Region::roundRect(w.regionRect, w.regionEllipse.cx, w.regionEllipse.cy).contains(windowPoint);
}

} // namespace detail

using detail::assertUiThread;
using detail::Core;
using detail::WindowData;

bool invalidateRect(WindowHandle window, const Rect* rect, bool erase) {
    assertUiThread();
    WindowData* d = Core::get().findLive(window);
    if (!d) return false;
    Rect client{0, 0, d->rect.width(), d->rect.height()};
    Rect add = rect ? rect->intersect(client) : client;
    if (!add.isEmpty()) {
        d->update = d->update.unite(add);
        if (erase) d->eraseNeeded = true;
    }
    return true;
}

bool validateRect(WindowHandle window, const Rect* rect) {
    assertUiThread();
    WindowData* d = Core::get().findLive(window);
    if (!d) return false;
    if (!rect) {
        d->update = {};
        d->eraseNeeded = false;
        return true;
    }
    // The update region is kept as a box: a validated band that spans it along
    // one side trims it; anything else leaves it as it is.
    Rect& u = d->update;
    Rect cut = rect->intersect(u);
    if (cut.isEmpty()) return true;
    if (cut == u) {
        u = {};
        d->eraseNeeded = false;
    } else if (cut.left == u.left && cut.right == u.right) {
        if (cut.top == u.top)
            u.top = cut.bottom;
        else if (cut.bottom == u.bottom)
            u.bottom = cut.top;
    } else if (cut.top == u.top && cut.bottom == u.bottom) {
        if (cut.left == u.left)
            u.left = cut.right;
        else if (cut.right == u.right)
            u.right = cut.left;
    }
    return true;
}

bool getUpdateRect(WindowHandle window, Rect* rect, bool /*erase: background is erased by beginPaint*/) {
    assertUiThread();
    WindowData* d = Core::get().findLive(window);
    if (!d) return false;
    if (rect) *rect = d->update;
    return !d->update.isEmpty();
}

bool updateWindow(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.findLive(window);
    if (!d) return false;
    if (!d->update.isEmpty() && isWindowVisible(window)) c.send(window, WM_PAINT, 0, 0);
    if (!c.findPaintCandidate()) c.flushPresents();
    return true;
}

Canvas* beginPaint(WindowHandle window, PaintInfo& info) {
    assertUiThread();
    Core& c = Core::get();
    info = PaintInfo{};
    WindowData* d = c.findLive(window);
    if (!d) return nullptr;
    WindowData* top = c.findLive(c.root(window));
    if (!top) return nullptr;
    c.ensureBacking(*top);
    d->paintCanvas.reset();

    auto canvas = std::make_unique<Canvas>(*top->backing);
    Point origin = c.originInRoot(*d);
    canvas->setOrigin(origin);
    Rect client{0, 0, d->rect.width(), d->rect.height()};
    canvas->intersectClipRect(client);
    // A child shows only where all its ancestors' client areas are.
    for (WindowData* a = d->isChild() ? c.find(d->parent) : nullptr; a;
         a = a->isChild() ? c.find(a->parent) : nullptr) {
        Point ao = c.originInRoot(*a);
        canvas->intersectClipRect(
            Rect{0, 0, a->rect.width(), a->rect.height()}.offset(ao.x - origin.x, ao.y - origin.y));
    }
    Rect paint = d->update.intersect(client);
    canvas->intersectClipRect(paint);
    const bool erase = d->eraseNeeded;
    d->update = {};
    d->eraseNeeded = false;

    info.canvas = canvas.get();
    info.paint = paint;
    d->paintCanvas = std::move(canvas);
    if (erase && !paint.isEmpty()) {
        LResult erased = c.send(window, WM_ERASEBKGND, reinterpret_cast<WParam>(info.canvas), 0);
        info.erase = erased == 0;
    }
    d = c.findLive(window);
    return d && d->paintCanvas ? info.canvas : nullptr;
}

bool endPaint(WindowHandle window, const PaintInfo& info) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.find(window);
    if (!d) return false;
    d->paintCanvas.reset();
    if (info.paint.isEmpty() || d->destroying) return true;
    if (WindowData* top = c.findLive(c.root(window))) {
        Point origin = c.originInRoot(*d);
        top->presentDirty = top->presentDirty.unite(info.paint.offset(origin.x, origin.y));
    }
    c.invalidateChildrenIn(*d, info.paint);
    return true;
}

bool printWindow(WindowHandle window, Canvas& canvas, unsigned flags) {
    assertUiThread();
    if (!Core::get().findLive(window)) return false;
    sendMessage(window, WM_PRINT, reinterpret_cast<WParam>(&canvas), static_cast<LParam>(flags));
    return true;
}

// --- Region, icon, screen ---

bool setWindowRoundRegion(WindowHandle window, Rect rect, Size ellipse, bool redraw) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.findLive(window);
    if (!d) return false;
    d->hasRegion = true;
    d->regionRect = rect;
    d->regionEllipse = ellipse;
    if (d->native) c.m_backend->setShape(window, &rect, ellipse);
    if (redraw) invalidateRect(window, nullptr, true);
    return true;
}

bool clearWindowRegion(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.findLive(window);
    if (!d) return false;
    if (!d->hasRegion) return true;
    d->hasRegion = false;
    if (d->native) c.m_backend->setShape(window, nullptr, {});
    invalidateRect(window, nullptr, true);
    return true;
}

bool setWindowIcon(WindowHandle window, unsigned kind, const Surface& pixels) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.findLive(window);
    if (!d || d->isChild() || pixels.isEmpty()) return false;
    (void)kind; // the desktop scales one icon for every use
    if (d->native) c.m_backend->setIcon(window, pixels);
    return true;
}

Rect screenRect() {
    assertUiThread();
    Core& c = Core::get();
    if (!c.ensureDisplay(nullptr)) return {};
    return c.m_backend->screenRect();
}

Rect workAreaNear(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    if (!c.ensureDisplay(nullptr)) return {};
    Rect r = c.find(window) ? windowRect(window) : c.m_backend->screenRect();
    return c.m_backend->workArea(r);
}

double desktopScale(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    if (!c.ensureDisplay(nullptr)) return 1.0;
    const Rect r = window && c.find(window) ? windowRect(window) : c.m_backend->screenRect();
    return c.m_backend->desktopScale(r);
}

unsigned caretBlinkTime() {
    assertUiThread();
    Core& c = Core::get();
    return c.m_backend ? c.m_backend->caretBlinkTime() : 530;
}

int systemMetric(int index) {
    assertUiThread();
    switch (index) {
    case SM_CXSCREEN:
        return screenRect().width();
    case SM_CYSCREEN:
        return screenRect().height();
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 4;
    default:
        return 0;
    }
}

// --- Layered windows ---

bool layeredWindowsSupported() {
    assertUiThread();
    Core& c = Core::get();
    return c.ensureDisplay(nullptr) && c.m_backend->layeredSupported();
}

bool updateLayeredWindow(WindowHandle window, const Surface& pixels, const Point* screenPos, std::uint8_t alpha) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.findLive(window);
    if (!d || d->isChild() || !(d->exStyle & WS_EX_LAYERED) || !d->native || pixels.isEmpty()) return false;
    if (!c.m_backend->layeredSupported()) return false;
    if (screenPos)
        c.applyRect(window, Rect::fromSize(screenPos->x, screenPos->y, d->rect.width(), d->rect.height()), false,
                    false);
    if (!(d = c.findLive(window))) return false;
    // Painted pixels stay on show when the layered ones cannot be.
    if (!c.m_backend->updateLayered(window, pixels, alpha)) return false;
    d->layeredContent = true;
    return true;
}

bool setWindowOpacity(WindowHandle window, std::uint8_t alpha) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.findLive(window);
    if (!d || d->isChild() || !(d->exStyle & WS_EX_LAYERED) || !d->native) return false;
    return c.m_backend->setOpacity(window, alpha);
}

} // namespace platform
