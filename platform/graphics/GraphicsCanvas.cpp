// Canvas: state stack, clip region and the pixel-exact operations (fills,
// copies, blends, gradients, pens). Text lives in GraphicsText.cpp, paths in
// GraphicsPath.cpp.
#include "platform/graphics/Graphics.h"
#include "platform/graphics/GraphicsInternal.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <span>

namespace platform {

using detail::CanvasData;
using detail::mulDiv255;

namespace detail {

void CanvasData::setClip(Region deviceRegion) {
    deviceRegion.intersect(target->bounds());
    state.clip = std::move(deviceRegion);
    ++clipVersion;
}

cairo_t* CanvasData::beginCairo() {
    if (target->isEmpty()) return nullptr;
    if (!cairo) {
        cairoSurface.reset(createCairoSurface(*target));
        cairo.reset(cairo_create(cairoSurface.get()));
        cairoClipVersion = 0;
    } else {
        cairo_surface_mark_dirty(cairoSurface.get());
    }
    cairo_t* cr = cairo.get();
    cairo_identity_matrix(cr);
    if (cairoClipVersion != clipVersion) {
        cairo_reset_clip(cr);
        cairo_new_path(cr);
        for (const Rect& r : state.clip.rects()) cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
        if (state.clip.isEmpty()) cairo_rectangle(cr, 0, 0, 0, 0);
        cairo_clip(cr);
        cairoClipVersion = clipVersion;
    }
    cairo_new_path(cr);
    cairo_translate(cr, state.origin.x, state.origin.y);
    return cr;
}

void CanvasData::finishCairo() {
    if (cairoSurface) cairo_surface_flush(cairoSurface.get());
}

} // namespace detail

namespace {

// Calls fn(deviceRect) for each part of deviceRect inside the clip region.
template <class Fn>
void forEachVisible(const CanvasData& d, const Rect& deviceRect, Fn&& fn) {
    if (deviceRect.isEmpty()) return;
    const Rect box = d.state.clip.bounds();
    if (box.intersect(deviceRect).isEmpty()) return;
    for (const Rect& r : d.state.clip.rects()) {
        const Rect part = r.intersect(deviceRect);
        if (!part.isEmpty()) fn(part);
    }
}

std::uint32_t opaque(Argb colour) { return colour | 0xFF000000u; }

// All four channels of a premultiplied pixel scaled by alpha / 255 (rounded),
// two channels per multiplication.
inline std::uint32_t scaled(std::uint32_t pixel, std::uint32_t alpha) {
    if (alpha == 255) return pixel;
    std::uint32_t rb = (pixel & 0x00FF00FFu) * alpha + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    std::uint32_t ag = ((pixel >> 8) & 0x00FF00FFu) * alpha + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
    return rb | ag;
}

// Per-channel sum, saturating at 255 (only reached by malformed premultiplied data).
inline std::uint32_t addSaturated(std::uint32_t a, std::uint32_t b) {
    std::uint32_t rb = (a & 0x00FF00FFu) + (b & 0x00FF00FFu);
    rb |= 0x01000100u - ((rb >> 8) & 0x00010001u);
    std::uint32_t ag = ((a >> 8) & 0x00FF00FFu) + ((b >> 8) & 0x00FF00FFu);
    ag |= 0x01000100u - ((ag >> 8) & 0x00010001u);
    return (rb & 0x00FF00FFu) | ((ag & 0x00FF00FFu) << 8);
}

// src over dst, both premultiplied.
inline std::uint32_t over(std::uint32_t src, std::uint32_t dst) {
    const std::uint32_t sa = src >> 24;
    if (sa == 255) return src;
    if (src == 0) return dst;
    return addSaturated(src, scaled(dst, 255 - sa));
}

// Fills a rectangle of rows with one value: the first row by hand, the
// others copied from it (memcpy is much faster than a scalar fill).
void fillRows(Surface& s, const Rect& part, std::uint32_t value) {
    std::uint32_t* first = s.row(part.top) + part.left;
    std::fill_n(first, part.width(), value);
    for (int y = part.top + 1; y < part.bottom; ++y)
        std::memcpy(s.row(y) + part.left, first, static_cast<std::size_t>(part.width()) * 4);
}

// Source coordinate of destination index i when 'srcExtent' pixels map to
// 'destExtent' pixels: the source pixel under the destination pixel's centre.
inline int sampleIndex(int i, int srcExtent, int destExtent) {
    return static_cast<int>((static_cast<long long>(2 * i + 1) * srcExtent) / (2LL * destExtent));
}

// Copies the part of 'src' that a stretch or blend reads when it aliases the target.
struct SourceView {
    const Surface* surface;
    Surface copy;
    Rect srcRect;
    SourceView(const Surface& src, const Surface& target, const Rect& rect) : surface(&src), srcRect(rect) {
        if (&src != &target) return;
        const Rect part = rect.intersect(src.bounds());
        copy = Surface(part.width(), part.height());
        for (int y = 0; y < part.height(); ++y)
            std::memcpy(copy.row(y), src.row(part.top + y) + part.left, static_cast<std::size_t>(part.width()) * 4);
        surface = &copy;
        srcRect = rect.offset(-part.left, -part.top);
    }
};

// Shared body of stretchFrom and alphaBlend: maps each visible destination
// pixel to its nearest source pixel and hands both to 'combine'.
// With Copy, destination rows that sample the same source row as the row
// above are copied from it.
template <bool Copy, class Combine>
void resample(CanvasData& d, const Surface& srcIn, const Rect& dest, const Rect& srcRectIn, Combine&& combine) {
    if (dest.isEmpty() || srcRectIn.isEmpty() || srcIn.isEmpty()) return;
    const Rect device = dest.offset(d.state.origin.x, d.state.origin.y);
    SourceView view(srcIn, *d.target, srcRectIn);
    const Surface& src = *view.surface;
    const Rect srcRect = view.srcRect;
    const int dw = device.width(), dh = device.height(), sw = srcRect.width(), sh = srcRect.height();
    std::vector<int> columns;
    forEachVisible(d, device, [&](const Rect& part) {
        columns.resize(part.width());
        for (int x = part.left; x < part.right; ++x)
            columns[x - part.left] = srcRect.left + sampleIndex(x - device.left, sw, dw);
        // Row reuse must not copy pixels that have no source and stay as they are.
        const bool columnsInside = columns.front() >= 0 && columns.back() < src.width();
        int previous = -1;
        for (int y = part.top; y < part.bottom; ++y) {
            const int sy = srcRect.top + sampleIndex(y - device.top, sh, dh);
            if (sy < 0 || sy >= src.height()) continue;
            std::uint32_t* out = d.target->row(y) + part.left;
            if (Copy && columnsInside && sy == previous) {
                std::memcpy(out, d.target->row(y - 1) + part.left, static_cast<std::size_t>(part.width()) * 4);
                continue;
            }
            previous = sy;
            const std::uint32_t* in = src.row(sy);
            const int n = part.width();
            const int* col = columns.data();
            if (columnsInside) {
                for (int i = 0; i < n; ++i) out[i] = combine(in[col[i]], out[i]);
            } else {
                for (int i = 0; i < n; ++i)
                    if (col[i] >= 0 && col[i] < src.width()) out[i] = combine(in[col[i]], out[i]);
            }
        }
    });
}

} // namespace

Canvas::Canvas(Surface& target) : m_data(std::make_unique<CanvasData>()) {
    m_data->target = &target;
    m_data->state.clip = Region(target.bounds());
}

Canvas::~Canvas() = default;

Surface& Canvas::surface() { return *m_data->target; }

// --- State ---

Point Canvas::origin() const { return m_data->state.origin; }

void Canvas::setOrigin(Point origin) { m_data->state.origin = origin; }

void Canvas::offsetOrigin(int dx, int dy) {
    m_data->state.origin.x += dx;
    m_data->state.origin.y += dy;
}

int Canvas::save() {
    m_data->saved.push_back(m_data->state);
    return static_cast<int>(m_data->saved.size());
}

void Canvas::restore() {
    if (m_data->saved.empty()) return;
    m_data->state = std::move(m_data->saved.back());
    m_data->saved.pop_back();
    ++m_data->clipVersion;
}

void Canvas::restoreTo(int level) {
    if (level < 1) return;
    while (static_cast<int>(m_data->saved.size()) >= level) restore();
}

// --- Clip ---

Rect Canvas::clipBox() const {
    const Rect box = m_data->state.clip.bounds();
    if (box.isEmpty()) return {};
    return box.offset(-m_data->state.origin.x, -m_data->state.origin.y);
}

Region Canvas::clipRegion() const {
    Region r = m_data->state.clip;
    r.offset(-m_data->state.origin.x, -m_data->state.origin.y);
    return r;
}

void Canvas::selectClipRegion(const Region& region) {
    Region device = region;
    device.offset(m_data->state.origin.x, m_data->state.origin.y);
    m_data->setClip(std::move(device));
}

void Canvas::resetClip() { m_data->setClip(Region(m_data->target->bounds())); }

void Canvas::intersectClipRect(const Rect& rect) {
    Region r = m_data->state.clip;
    r.intersect(rect.offset(m_data->state.origin.x, m_data->state.origin.y));
    m_data->setClip(std::move(r));
}

void Canvas::intersectClipRoundRect(const Rect& rect, int cornerWidth, int cornerHeight) {
    Region r = m_data->state.clip;
    r.intersect(
        Region::roundRect(rect.offset(m_data->state.origin.x, m_data->state.origin.y), cornerWidth, cornerHeight));
    m_data->setClip(std::move(r));
}

bool Canvas::isVisible(const Rect& rect) const {
    bool any = false;
    forEachVisible(*m_data, rect.offset(m_data->state.origin.x, m_data->state.origin.y),
                   [&](const Rect&) { any = true; });
    return any;
}

// --- Pixel operations ---

void Canvas::setPixels(const Rect& rect, std::uint32_t premultiplied) {
    CanvasData& d = *m_data;
    forEachVisible(d, rect.offset(d.state.origin.x, d.state.origin.y),
                   [&](const Rect& part) { fillRows(*d.target, part, premultiplied); });
}

void Canvas::fillRect(const Rect& rect, Argb colour) { setPixels(rect, opaque(colour)); }

void Canvas::fillRegion(const Region& region, Argb colour) {
    CanvasData& d = *m_data;
    Region device = region;
    device.offset(d.state.origin.x, d.state.origin.y);
    device.intersect(d.state.clip);
    const std::uint32_t value = opaque(colour);
    for (const Rect& part : device.rects()) fillRows(*d.target, part, value);
}

void Canvas::copyFrom(const Surface& srcIn, const Rect& dest, Point srcTopLeft) {
    CanvasData& d = *m_data;
    if (dest.isEmpty() || srcIn.isEmpty()) return;
    const Rect device = dest.offset(d.state.origin.x, d.state.origin.y);
    // Only the destination pixels whose source pixel exists.
    const int dx = device.left - srcTopLeft.x, dy = device.top - srcTopLeft.y;
    const Rect valid = device.intersect(srcIn.bounds().offset(dx, dy));
    if (valid.isEmpty()) return;
    SourceView view(srcIn, *d.target, valid.offset(-dx, -dy));
    const Surface& src = *view.surface;
    const int sdx = valid.left - view.srcRect.left, sdy = valid.top - view.srcRect.top;
    forEachVisible(d, valid, [&](const Rect& part) {
        for (int y = part.top; y < part.bottom; ++y)
            std::memcpy(d.target->row(y) + part.left, src.row(y - sdy) + (part.left - sdx),
                        static_cast<std::size_t>(part.width()) * 4);
    });
}

void Canvas::stretchFrom(const Surface& src, const Rect& dest, const Rect& srcRect) {
    if (dest.size() == srcRect.size()) {
        const Rect inside = srcRect.intersect(src.bounds());
        if (inside.isEmpty()) return;
        copyFrom(src, inside.offset(dest.left - srcRect.left, dest.top - srcRect.top), {inside.left, inside.top});
        return;
    }
    resample<true>(*m_data, src, dest, srcRect, [](std::uint32_t s, std::uint32_t) { return s; });
}

void Canvas::alphaBlend(const Surface& src, const Rect& dest, const Rect& srcRect, std::uint8_t constantAlpha) {
    if (constantAlpha == 0) return;
    const std::uint32_t ca = constantAlpha;
    resample<false>(*m_data, src, dest, srcRect,
                    [ca](std::uint32_t s, std::uint32_t d) { return over(scaled(s, ca), d); });
}

void Canvas::gradientFill(const Rect& rect, Argb from, Argb to, GradientDirection direction) {
    CanvasData& d = *m_data;
    if (rect.isEmpty()) return;
    const Rect device = rect.offset(d.state.origin.x, d.state.origin.y);
    const bool horizontal = direction == GradientDirection::Horizontal;
    const long long last = (horizontal ? device.width() : device.height()) - 1;
    // Colour of column (or row) i of the full rectangle; the last one is exactly 'to'.
    auto colourAt = [&](long long i) {
        std::uint32_t c = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            const long long a = (from >> shift) & 0xFF, b = (to >> shift) & 0xFF;
            const long long v = last == 0 ? a : (a * (last - i) + b * i + last / 2) / last;
            c |= static_cast<std::uint32_t>(v) << shift;
        }
        return c;
    };
    // Only the visible part of the ramp is computed: rectangles may be far larger than the surface.
    const Rect visible = device.intersect(d.state.clip.bounds());
    if (visible.isEmpty()) return;
    std::vector<std::uint32_t> ramp;
    if (horizontal) {
        ramp.resize(visible.width());
        for (int x = visible.left; x < visible.right; ++x) ramp[x - visible.left] = colourAt(x - device.left);
    }
    forEachVisible(d, visible, [&](const Rect& part) {
        for (int y = part.top; y < part.bottom; ++y) {
            std::uint32_t* out = d.target->row(y) + part.left;
            if (horizontal)
                std::memcpy(out, ramp.data() + (part.left - visible.left), static_cast<std::size_t>(part.width()) * 4);
            else
                std::fill_n(out, part.width(), colourAt(y - device.top));
        }
    });
}

// --- Pens ---

namespace {

// On/off run lengths of the dashed styles for one-pixel pens.
std::span<const int> dashPattern(int style) {
    static constexpr std::array<int, 2> dash{18, 6};
    static constexpr std::array<int, 2> dot{3, 3};
    static constexpr std::array<int, 4> dashDot{9, 6, 3, 6};
    static constexpr std::array<int, 6> dashDotDot{9, 3, 3, 3, 3, 3};
    switch (style) {
    case PS_DASH:
        return dash;
    case PS_DOT:
        return dot;
    case PS_DASHDOT:
        return dashDot;
    case PS_DASHDOTDOT:
        return dashDotDot;
    default:
        return {};
    }
}

// Plots single pixels in device coordinates along a pen's pattern.
class PixelPlotter {
public:
    PixelPlotter(CanvasData& d, Argb colour, int style)
        : m_d(d), m_colour(opaque(colour)), m_pattern(dashPattern(style)), m_box(d.state.clip.bounds()) {}

    void plot(int x, int y) {
        const bool on = m_pattern.empty() || m_index % 2 == 0;
        if (!m_pattern.empty() && ++m_run >= m_pattern[m_index]) {
            m_run = 0;
            m_index = (m_index + 1) % m_pattern.size();
        }
        if (on && m_box.contains({x, y}) && m_d.state.clip.contains({x, y})) m_d.target->row(y)[x] = m_colour;
    }

private:
    CanvasData& m_d;
    std::uint32_t m_colour;
    std::span<const int> m_pattern;
    Rect m_box;
    std::size_t m_index = 0;
    int m_run = 0;
};

// Filled outline of thickness t inside 'outer' (logical coordinates).
void fillFrame(Canvas& canvas, const Rect& outer, int t, Argb colour) {
    if (outer.isEmpty()) return;
    if (2 * t >= outer.width() || 2 * t >= outer.height()) {
        canvas.fillRect(outer, colour);
        return;
    }
    canvas.fillRect({outer.left, outer.top, outer.right, outer.top + t}, colour);
    canvas.fillRect({outer.left, outer.bottom - t, outer.right, outer.bottom}, colour);
    canvas.fillRect({outer.left, outer.top + t, outer.left + t, outer.bottom - t}, colour);
    canvas.fillRect({outer.right - t, outer.top + t, outer.right, outer.bottom - t}, colour);
}

} // namespace

void Canvas::drawLine(Point from, Point to, const Pen& pen) {
    if (pen.style == PS_NULL || from == to) return;
    CanvasData& d = *m_data;
    const int w = std::max(1, pen.width);
    const bool dashed = w == 1 && !dashPattern(pen.style).empty();
    if (!dashed && (from.x == to.x || from.y == to.y)) {
        // Straight lines as rectangles: the pen is centred on the line.
        const int lo = -(w / 2), hi = lo + w;
        if (from.y == to.y) {
            const int x0 = from.x < to.x ? from.x : to.x + 1;
            const int x1 = from.x < to.x ? to.x : from.x + 1;
            fillRect({x0, from.y + lo, x1, from.y + hi}, pen.colour);
        } else {
            const int y0 = from.y < to.y ? from.y : to.y + 1;
            const int y1 = from.y < to.y ? to.y : from.y + 1;
            fillRect({from.x + lo, y0, from.x + hi, y1}, pen.colour);
        }
        return;
    }
    // Bresenham from 'from' up to (not including) 'to'; wide pens stamp squares.
    const Point o = d.state.origin;
    PixelPlotter plotter(d, pen.colour, dashed ? pen.style : PS_SOLID);
    int x = from.x, y = from.y;
    const int dx = std::abs(to.x - from.x), sx = from.x < to.x ? 1 : -1;
    const int dy = -std::abs(to.y - from.y), sy = from.y < to.y ? 1 : -1;
    int err = dx + dy;
    while (x != to.x || y != to.y) {
        if (w == 1)
            plotter.plot(x + o.x, y + o.y);
        else
            fillRect(Rect::fromSize(x - w / 2, y - w / 2, w, w), pen.colour);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void Canvas::drawRectangle(const Rect& rect, const Pen& pen) {
    if (pen.style == PS_NULL || rect.isEmpty()) return;
    const int w = std::max(1, pen.width);
    if (w == 1 && !dashPattern(pen.style).empty()) {
        // Walk the outline clockwise so the pattern runs on around corners.
        CanvasData& d = *m_data;
        const Rect r = rect.offset(d.state.origin.x, d.state.origin.y);
        PixelPlotter plotter(d, pen.colour, pen.style);
        const int l = r.left, t = r.top, rr = r.right - 1, b = r.bottom - 1;
        for (int x = l; x < rr; ++x) plotter.plot(x, t);
        for (int y = t; y < b; ++y) plotter.plot(rr, y);
        for (int x = rr; x > l; --x) plotter.plot(x, b);
        for (int y = b; y > t; --y) plotter.plot(l, y);
        if (l == rr || t == b) plotter.plot(rr, b);
        return;
    }
    // Style 7 only arises from a dashed style or-ed with PS_INSIDEFRAME: keep it inside too.
    if (pen.style == PS_INSIDEFRAME || pen.style == PS_INSIDEFRAME + 1 || w == 1) {
        fillFrame(*this, rect, w, pen.colour);
        return;
    }
    const int lo = w / 2;
    fillFrame(*this, {rect.left - lo, rect.top - lo, rect.right - 1 - lo + w, rect.bottom - 1 - lo + w}, w, pen.colour);
}

void Canvas::drawRoundRect(const Rect& rect, int cornerWidth, int cornerHeight, const Pen& pen) {
    if (pen.style == PS_NULL || rect.isEmpty()) return;
    const int w = std::max(1, pen.width);
    Region frame = Region::roundRect(rect, cornerWidth, cornerHeight);
    frame.subtract(Region::roundRect(rect.inflate(-w, -w), cornerWidth - 2 * w, cornerHeight - 2 * w));
    fillRegion(frame, pen.colour);
}

} // namespace platform
