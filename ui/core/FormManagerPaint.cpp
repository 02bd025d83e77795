// CFormManagerUI: the paint cycle (layout pass, offscreen surface, tree
// paint, post-painters, copy to the window, show-dirty outline) and
// invalidation.
#include "ui/core/FormManagerUI.h"

#include "ui/core/ControlUI.h"
#include "ui/core/ManagerDrawing.h"

#include <algorithm>

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

void CFormManagerUI::layoutPass(const Rect& rootRect) {
    m_layoutNeeded = false;
    const Rect client = clientRect(m_host);
    if (client.isEmpty()) return;
    if (m_root->layoutPending()) {
        // A new size: the offscreen surface is made again at the next step.
        m_offscreen = Surface();
        m_background = Surface();
        m_root->place(rootRect, /*needInvalidate=*/true);
        if (m_perPixelLayered) m_shadowDirty = true;
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
    if (m_perPixelLayered) {
        onLayeredPaint();
        return;
    }
    Rect update;
    if (!getUpdateRect(m_host, &update, false)) return;

    if (m_focusNeeded) focusNextTabStop(true);
    m_painting = true;
    if (m_layoutNeeded) layoutPass(clientRect(m_host));
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

// --- Per-pixel layered paint ------------------------------------------------------

namespace {

Rect shrink(const Rect& r, int by) { return {r.left + by, r.top + by, r.right - by, r.bottom - by}; }

} // namespace

void CFormManagerUI::printNativeChildren(const Rect& paint) {
    // The native windows draw into the window's own surface, which a
    // layered window does not show: their pictures go into the layered one.
    for (int i = 0; i < m_nativeWindows.size();) {
        WindowHandle child = m_nativeWindows[i];
        if (!isWindow(child)) {
            m_nativeWindows.removeAt(i);
            m_nativeControls.removeAt(i);
            continue;
        }
        ++i;
        if (!isWindowVisible(child)) continue;
        const Rect screen = windowRect(child);
        const Point tl = screenToClient(m_host, {screen.left, screen.top});
        const Rect r = Rect::fromSize(tl.x, tl.y, screen.width(), screen.height());
        if (r.intersect(paint).isEmpty()) continue;
        Surface picture = render::createArgbBitmap(r.width(), r.height());
        if (picture.isEmpty()) continue;
        {
            Canvas canvas(picture);
            sendMessage(child, WM_PRINT, reinterpret_cast<WParam>(&canvas),
                        PRF_CHECKVISIBLE | PRF_CLIENT | PRF_CHILDREN | PRF_OWNED);
        }
        for (int y = 0; y < picture.height(); ++y) {
            std::uint32_t* row = picture.row(y);
            for (int x = 0; x < picture.width(); ++x) row[x] |= 0xFF000000u;
        }
        Canvas offscreen(m_offscreen);
        offscreen.copyFrom(picture, r, {0, 0});
    }
}

void CFormManagerUI::correctAlpha(const Rect& paint) {
    // Plain drawing leaves alpha 0 on coloured pixels: those are opaque.
    // Inside the no-layered padding everything drawn is opaque.
    const Rect pad = noLayeredPadding();
    const bool padded = pad.left != 0 || pad.top != 0 || pad.right != 0 || pad.bottom != 0;
    const Rect window = windowRect(m_host);
    const Rect inner{pad.left, pad.top, window.width() - pad.right, window.height() - pad.bottom};
    const Rect area = paint.intersect(m_offscreen.bounds());
    for (int y = area.top; y < area.bottom; ++y) {
        std::uint32_t* row = m_offscreen.row(y);
        for (int x = area.left; x < area.right; ++x) {
            std::uint32_t& p = row[x];
            if (p == 0) continue;
            if ((padded && inner.contains({x, y})) || (p >> 24) == 0) p |= 0xFF000000u;
        }
    }
}

void CFormManagerUI::drawShadow() {
    const Rect window = windowRect(m_host);
    const float s = static_cast<float>(shadowSize());
    const float d = 2 * s;
    const float w = static_cast<float>(window.width());
    const float h = static_cast<float>(window.height());
    Path outline;
    outline.addArc({0, 0, d, d}, 180, 90);
    outline.addLine({s, 0}, {w - s, 0});
    outline.addArc({w - d, 0, d, d}, 270, 90);
    outline.addLine({w, s}, {w, h - s});
    outline.addArc({w - d, h - d, d, d}, 0, 90);
    outline.addLine({w - s, h}, {s, h});
    outline.addArc({0, h - d, d, d}, 90, 90);
    outline.addLine({0, h - s}, {0, s});
    outline.closeFigure();
    // The ring: the outline minus the content rectangle (even-odd).
    Path ring = outline;
    ring.addRectangle({s, s, w - d, h - d});
    float focus = m_shadowFocusScale;
    if (focus == -1.0f) focus = std::clamp((100.0f - s) / 100.0f, 0.0f, 1.0f);

    Canvas canvas(m_offscreen);
    // A shadow drawn before (another colour or size) must not show through.
    const Rect full = m_offscreen.bounds();
    const Rect content = shrink(full, shadowSize());
    canvas.setPixels({full.left, full.top, full.right, content.top}, 0);
    canvas.setPixels({full.left, content.bottom, full.right, full.bottom}, 0);
    canvas.setPixels({full.left, content.top, content.left, content.bottom}, 0);
    canvas.setPixels({content.right, content.top, full.right, content.bottom}, 0);
    canvas.fillPathGradient(ring, outline, m_shadowColour, 0, focus, focus);
    m_shadowDirty = false;
}

void CFormManagerUI::onLayeredPaint() {
    PaintInfo info;
    const Rect client = clientRect(m_host);
    Rect paint = m_layeredUpdate;
    if (paint.isEmpty()) {
        beginPaint(m_host, info);
        endPaint(m_host, info);
        return;
    }
    // What reaches the window's edge stops at the shadow ring.
    const int s = shadowSize();
    if (paint.left <= client.left) paint.left = client.left + s;
    if (paint.top <= client.top) paint.top = client.top + s;
    if (paint.right >= client.right) paint.right = client.right - s;
    if (paint.bottom >= client.bottom) paint.bottom = client.bottom - s;
    m_layeredUpdate = {};

    if (m_focusNeeded) focusNextTabStop(true);
    m_painting = true;
    const Rect content = shrink(client, s);
    const bool layoutWanted = m_layoutNeeded;
    if (layoutWanted) {
        const bool firstLayout = m_firstLayout;
        layoutPass(content);
        if (!m_root || !isWindow(m_host)) {
            m_painting = false;
            return;
        }
        if (!firstLayout && m_layeredChanged) {
            // The next tick paints with the new layout.
            invalidateAll();
            m_painting = false;
            return;
        }
    }
    if (m_offscreen.width() != client.width() || m_offscreen.height() != client.height() ||
        m_offscreen.rowOrder() != RowOrder::BottomUp)
        m_offscreen = render::createArgbBitmap(client.width(), client.height());
    if (!layoutWanted && m_layeredChanged) {
        paint = content;
        m_offscreen.clear(0);
        m_root->place(content, true);
        m_shadowDirty = true;
    }
    // Whatever the layout invalidated is painted in this pass.
    paint = paint.unite(m_layeredUpdate).intersect(content);
    m_layeredUpdate = {};

    beginPaint(m_host, info);
    if (!paint.isEmpty() && !m_offscreen.isEmpty()) {
        {
            Canvas offscreen(m_offscreen);
            if (!m_layeredImage.description.isEmpty()) {
                if (m_background.size() != client.size() || m_layeredChanged) {
                    m_background = render::createArgbBitmap(client.width(), client.height());
                    Canvas background(m_background);
                    render::drawImageDescription(&background, this, client, client, m_layeredImage);
                }
                offscreen.copyFrom(m_background, paint, {paint.left, paint.top});
            } else {
                offscreen.setPixels(paint, 0);
            }
            offscreen.intersectClipRect(paint);
            m_root->paintTree(offscreen, paint, nullptr);
        }
        printNativeChildren(paint);
        {
            Canvas offscreen(m_offscreen);
            offscreen.intersectClipRect(paint);
            const CPtrArrayUI<CControlUI> postPainters = m_postPainters;
            for (CControlUI* c : postPainters)
                if (m_postPainters.find(c) >= 0) c->afterPaint(offscreen, paint);
        }
        correctAlpha(paint);
    }
    if (s >= 1 && m_shadowDirty) drawShadow();
    const Rect window = windowRect(m_host);
    const Point topLeft{window.left, window.top};
    const bool shown = updateLayeredWindow(m_host, m_offscreen, &topLeft, m_layeredOpacity);
    endPaint(m_host, info);
    m_painting = false;
    m_layeredChanged = false;
    if (!shown && !layeredWindowsSupported()) {
        // The display lost its layered windows (the compositing manager
        // ended): a plain window again, rather than one that shows nothing.
        switchLayered(false);
        return;
    }
    if (m_layoutNeeded || m_focusNeeded) invalidateAll();
}
