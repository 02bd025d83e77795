// Window-system core, visibility and order: showing, hiding, minimising and
// restoring, z-order, activation, the foreground window, focus and enabling.
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
