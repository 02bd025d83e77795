// Float paths, path-gradient fills and smooth scaling: the anti-aliased
// drawing that layered-window shadows and label effects need.
#include "platform/graphics/Graphics.h"
#include "platform/graphics/GraphicsInternal.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace platform {

// --- Path ---

Path::Figure& Path::current() {
    if (m_figures.empty() || m_figures.back().closed) m_figures.emplace_back();
    return m_figures.back();
}

void Path::addArc(const RectF& box, float startDegrees, float sweepDegrees) {
    Figure& f = current();
    const double cx = box.x + box.width / 2.0, cy = box.y + box.height / 2.0;
    const double rx = box.width / 2.0, ry = box.height / 2.0;
    const int steps = std::max(4, static_cast<int>(std::ceil(std::abs(sweepDegrees) / 5.0)));
    for (int i = 0; i <= steps; ++i) {
        const double theta = (startDegrees + sweepDegrees * i / steps) * std::numbers::pi / 180.0;
        // The angle is the direction seen from the centre, not the ellipse parameter.
        const double c = std::cos(theta), s = std::sin(theta);
        const double denom = std::hypot(ry * c, rx * s);
        const double r = denom > 0 ? rx * ry / denom : 0.0;
        f.points.push_back({static_cast<float>(cx + r * c), static_cast<float>(cy + r * s)});
    }
}

void Path::addLine(PointF from, PointF to) {
    Figure& f = current();
    if (f.points.empty() || f.points.back().x != from.x || f.points.back().y != from.y) f.points.push_back(from);
    f.points.push_back(to);
}

void Path::addRectangle(const RectF& r) {
    closeFigure();
    m_figures.push_back(
        {{{r.x, r.y}, {r.x + r.width, r.y}, {r.x + r.width, r.y + r.height}, {r.x, r.y + r.height}}, true});
}

void Path::closeFigure() {
    if (!m_figures.empty()) m_figures.back().closed = true;
}

RectF Path::bounds() const {
    float x0 = std::numeric_limits<float>::max(), y0 = x0;
    float x1 = std::numeric_limits<float>::lowest(), y1 = x1;
    for (const Figure& f : m_figures)
        for (const PointF& p : f.points) {
            x0 = std::min(x0, p.x);
            y0 = std::min(y0, p.y);
            x1 = std::max(x1, p.x);
            y1 = std::max(y1, p.y);
        }
    if (x0 > x1) return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

// --- Canvas: path gradient and smooth scaling ---

namespace {

void tracePath(cairo_t* cr, const Path& path) {
    for (const Path::Figure& f : path.figures()) {
        if (f.points.empty()) continue;
        cairo_move_to(cr, f.points.front().x, f.points.front().y);
        for (std::size_t i = 1; i < f.points.size(); ++i) cairo_line_to(cr, f.points[i].x, f.points[i].y);
        cairo_close_path(cr); // fills treat every figure as closed
    }
}

struct Segment {
    double ax, ay, bx, by;
};

// Smallest s > 0 where centre + s × (dx, dy) crosses one of the segments; +inf if none.
double rayHit(const std::vector<Segment>& edges, double cx, double cy, double dx, double dy) {
    double best = std::numeric_limits<double>::infinity();
    for (const Segment& e : edges) {
        const double ex = e.bx - e.ax, ey = e.by - e.ay;
        const double denom = dx * ey - dy * ex;
        if (std::abs(denom) < 1e-12) continue;
        const double wx = e.ax - cx, wy = e.ay - cy;
        const double s = (wx * ey - wy * ex) / denom; // along the ray
        const double u = (wx * dy - wy * dx) / denom; // along the edge
        if (s > 1e-9 && u >= -1e-9 && u <= 1 + 1e-9) best = std::min(best, s);
    }
    return best;
}

} // namespace

void Canvas::fillPathGradient(const Path& area, const Path& shape, Argb centre, Argb surround, float focusScaleX,
                              float focusScaleY) {
    detail::CanvasData& d = *m_data;
    if (area.isEmpty() || shape.isEmpty() || d.target->isEmpty()) return;
    const Point o = d.state.origin;
    const RectF ab = area.bounds();
    Rect box{static_cast<int>(std::floor(ab.x)) + o.x, static_cast<int>(std::floor(ab.y)) + o.y,
             static_cast<int>(std::ceil(ab.x + ab.width)) + o.x, static_cast<int>(std::ceil(ab.y + ab.height)) + o.y};
    box = box.intersect(d.state.clip.bounds());
    if (box.isEmpty()) return;

    // Coverage of the area (even-odd, anti-aliased).
    std::unique_ptr<cairo_surface_t, detail::CairoSurfaceDeleter> mask(
        cairo_image_surface_create(CAIRO_FORMAT_A8, box.width(), box.height()));
    {
        std::unique_ptr<cairo_t, detail::CairoDeleter> cr(cairo_create(mask.get()));
        cairo_translate(cr.get(), o.x - box.left, o.y - box.top);
        cairo_set_fill_rule(cr.get(), CAIRO_FILL_RULE_EVEN_ODD);
        tracePath(cr.get(), area);
        cairo_fill(cr.get());
    }
    cairo_surface_flush(mask.get());

    // The gradient colour of every covered pixel.
    std::vector<Segment> edges;
    for (const Path::Figure& f : shape.figures())
        for (std::size_t i = 0; i < f.points.size(); ++i) {
            const PointF& a = f.points[i];
            const PointF& b = f.points[(i + 1) % f.points.size()];
            edges.push_back({a.x + double(o.x), a.y + double(o.y), b.x + double(o.x), b.y + double(o.y)});
        }
    const RectF sb = shape.bounds();
    const double cx = sb.x + sb.width / 2.0 + o.x, cy = sb.y + sb.height / 2.0 + o.y;
    const std::uint32_t pc = premultiply(centre), ps = premultiply(surround);
    const bool focused = focusScaleX > 0 && focusScaleY > 0;

    std::unique_ptr<cairo_surface_t, detail::CairoSurfaceDeleter> colours(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, box.width(), box.height()));
    cairo_surface_flush(colours.get());
    const std::uint8_t* maskData = cairo_image_surface_get_data(mask.get());
    const int maskStride = cairo_image_surface_get_stride(mask.get());
    std::uint8_t* colourData = cairo_image_surface_get_data(colours.get());
    const int colourStride = cairo_image_surface_get_stride(colours.get());
    for (int y = 0; y < box.height(); ++y) {
        auto* out = reinterpret_cast<std::uint32_t*>(colourData + static_cast<std::size_t>(y) * colourStride);
        for (int x = 0; x < box.width(); ++x) {
            if (maskData[static_cast<std::size_t>(y) * maskStride + x] == 0) {
                out[x] = 0;
                continue;
            }
            const double dx = box.left + x + 0.5 - cx, dy = box.top + y + 0.5 - cy;
            double t = 0;
            if (dx != 0 || dy != 0) {
                const double outer = rayHit(edges, cx, cy, dx, dy);
                const double focus = focused ? rayHit(edges, cx, cy, dx / focusScaleX, dy / focusScaleY) : 0.0;
                if (std::isinf(outer))
                    t = 1;
                else if (focus < 1)
                    t = std::clamp((1 - focus) / std::max(1e-9, outer - focus), 0.0, 1.0);
            }
            std::uint32_t v = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const double c = ((pc >> shift) & 0xFF) * (1 - t) + ((ps >> shift) & 0xFF) * t;
                v |= static_cast<std::uint32_t>(std::lround(c)) << shift;
            }
            out[x] = v;
        }
    }
    cairo_surface_mark_dirty(colours.get());

    if (cairo_t* cr = d.beginCairo()) {
        cairo_identity_matrix(cr);
        cairo_set_source_surface(cr, colours.get(), box.left, box.top);
        cairo_mask_surface(cr, mask.get(), box.left, box.top);
        d.finishCairo();
    }
}

void Canvas::drawSurfaceSmooth(const Surface& srcIn, const RectF& dest, const Rect& srcRect,
                               std::uint8_t constantAlpha) {
    drawSurfaceRotated(srcIn, dest, srcRect, 0.0, constantAlpha);
}

void Canvas::drawSurfaceRotated(const Surface& srcIn, const RectF& dest, const Rect& srcRect, double degrees,
                                std::uint8_t constantAlpha) {
    detail::CanvasData& d = *m_data;
    if (srcIn.isEmpty() || srcRect.isEmpty() || dest.width <= 0 || dest.height <= 0 || constantAlpha == 0) return;
    // Reading and writing one surface at once would feed back; read a copy.
    Surface copy;
    const Surface* src = &srcIn;
    if (&srcIn == d.target) {
        copy = srcIn.clone();
        src = &copy;
    }
    // A cairo image of exactly srcRect, so that filtering at its edges does
    // not pull in the neighbouring pixels of the source.
    const Rect part = srcRect.intersect(src->bounds());
    if (part.isEmpty()) return;
    const int stride = src->rowOrder() == RowOrder::TopDown ? src->stride() : -src->stride();
    auto* first = reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(src->row(part.top) + part.left));
    std::unique_ptr<cairo_surface_t, detail::CairoSurfaceDeleter> image(
        cairo_image_surface_create_for_data(first, CAIRO_FORMAT_ARGB32, part.width(), part.height(), stride));
    if (cairo_t* cr = d.beginCairo()) {
        cairo_save(cr);
        if (degrees == 0.0) {
            cairo_rectangle(cr, dest.x, dest.y, dest.width, dest.height);
            cairo_clip(cr);
        } else {
            // Turned about the centre: the source's edges are smoothed by the
            // transparent pixels beyond them rather than repeated.
            const double cx = dest.x + dest.width / 2.0;
            const double cy = dest.y + dest.height / 2.0;
            cairo_translate(cr, cx, cy);
            cairo_rotate(cr, degrees * std::numbers::pi / 180.0);
            cairo_translate(cr, -cx, -cy);
            cairo_rectangle(cr, dest.x, dest.y, dest.width, dest.height);
            cairo_clip(cr);
        }
        cairo_translate(cr, dest.x, dest.y);
        cairo_scale(cr, dest.width / srcRect.width(), dest.height / srcRect.height());
        cairo_set_source_surface(cr, image.get(), part.left - srcRect.left, part.top - srcRect.top);
        cairo_pattern_t* pattern = cairo_get_source(cr);
        cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
        cairo_paint_with_alpha(cr, constantAlpha / 255.0);
        cairo_restore(cr);
        d.finishCairo();
    }
}

void Canvas::fillPath(const Path& area, Argb colour) {
    detail::CanvasData& d = *m_data;
    if (area.isEmpty() || (colour >> 24) == 0) return;
    if (cairo_t* cr = d.beginCairo()) {
        cairo_save(cr);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        tracePath(cr, area);
        cairo_set_source_rgba(cr, ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                              (colour & 0xFF) / 255.0, (colour >> 24) / 255.0);
        cairo_fill(cr);
        cairo_restore(cr);
        d.finishCairo();
    }
}

} // namespace platform
