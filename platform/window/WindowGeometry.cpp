// Window-system core, geometry: track-size clamping, moving and sizing,
// rectangles and coordinates, and the window relations (parent, owner,
// siblings, ancestors, the window under a point).
#include "platform/window/WindowInternal.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cwctype>

namespace platform {

using detail::assertUiThread;
using detail::Core;
using detail::WindowData;

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

} // namespace platform
