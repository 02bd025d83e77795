// CFormManagerUI: the paint cycle (layout pass, offscreen surface, tree
// paint, post-painters, copy to the window, show-dirty outline) and
// invalidation.
#include "ui/core/FormManagerUI.h"

#include "ui/core/ControlUI.h"

using namespace platform;

namespace {

// The show-dirty outline: RGB(220, 0, 0), one pixel.
constexpr Argb kShowDirtyColour = 0xFFDC0000;

} // namespace

// --- Invalidation -----------------------------------------------------------------

void CFormManagerUI::invalidateAll() {
    if (!m_host) return;
    if (m_perPixelLayered) {
        m_layeredUpdate = m_layeredUpdate.unite(clientRect(m_host));
        return;
    }
    platform::invalidateRect(m_host, nullptr, false);
}

void CFormManagerUI::invalidateRect(const Rect& rect) {
    if (!m_host) return;
    Rect r = rect;
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::max(r.right, r.left);
    r.bottom = std::max(r.bottom, r.top);
    if (m_perPixelLayered) {
        m_layeredUpdate = m_layeredUpdate.unite(r);
        return;
    }
    platform::invalidateRect(m_host, &r, false);
}

Canvas& CFormManagerUI::windowCanvas() {
    if (!m_measureCanvas) {
        m_measureSurface = std::make_unique<Surface>(1, 1);
        m_measureCanvas = std::make_unique<Canvas>(*m_measureSurface);
    }
    return *m_measureCanvas;
}

void CFormManagerUI::printClient(Canvas& canvas) {
    if (!m_root || !m_host) return;
    const int level = canvas.save();
    m_root->paintTree(canvas, clientRect(m_host), nullptr);
    canvas.restoreTo(level);
}

// --- Paint --------------------------------------------------------------------------

void CFormManagerUI::layoutPass() {
    m_layoutNeeded = false;
    const Rect client = clientRect(m_host);
    if (client.isEmpty()) return;
    if (m_root->layoutPending()) {
        // A new size: the offscreen surface is made again at the next step.
        m_offscreen = Surface();
        m_root->place(client, /*needInvalidate=*/true);
    } else {
        // Only the highest controls that need layout, each once.
        m_foundForUpdate.empty();
        m_root->walkTree(
            [](CControlUI* c, void* self) -> CControlUI* {
                if (!c->layoutPending()) return nullptr;
                static_cast<CFormManagerUI*>(self)->m_foundForUpdate.add(c);
                return c;
            },
            this, FindMeFirst | FindUpdateTest | FindVisible);
        for (CControlUI* c : m_foundForUpdate) {
            if (c->isFloating())
                c->place(c->boundsInParent(), true);
            else
                c->place(c->bounds(), true);
        }
        m_foundForUpdate.empty();
    }
    if (m_firstLayout) {
        m_firstLayout = false;
        sendNotice(m_root, L"windowinit");
    }
}

void CFormManagerUI::onPaint() {
    PaintInfo info;
    if (!m_root) {
        beginPaint(m_host, info);
        endPaint(m_host, info);
        return;
    }
    Rect update;
    if (!getUpdateRect(m_host, &update, false)) return;

    if (m_focusNeeded) focusNextTabStop(true);
    m_painting = true;
    if (m_layoutNeeded) layoutPass();
    if (!m_root || !isWindow(m_host)) {
        // "windowinit" (or a listener) replaced the tree or closed the window.
        m_painting = false;
        return;
    }

    const Rect client = clientRect(m_host);
    if (m_offscreen.width() != client.width() || m_offscreen.height() != client.height())
        m_offscreen = Surface(client.width(), client.height());

    // The paint rectangle is taken after the layout: what the layout
    // invalidated is painted in this same pass.
    Canvas* window = beginPaint(m_host, info);
    const Rect paint = info.paint.intersect(client);
    if (window && !paint.isEmpty() && !m_offscreen.isEmpty()) {
        {
            Canvas offscreen(m_offscreen);
            offscreen.intersectClipRect(paint);
            m_root->paintTree(offscreen, paint, nullptr);
            const CPtrArrayUI<CControlUI> postPainters = m_postPainters;
            for (CControlUI* c : postPainters)
                if (m_postPainters.find(c) >= 0) c->afterPaint(offscreen, paint);
        }
        window->copyFrom(m_offscreen, paint, {paint.left, paint.top});
        if (m_showDirty && !m_perPixelLayered) window->drawRectangle(paint, Pen{kShowDirtyColour, 1, PS_SOLID});
    }
    endPaint(m_host, info);
    m_painting = false;
    m_layeredChanged = false;
    if (m_layoutNeeded || m_focusNeeded) invalidateAll();
}
