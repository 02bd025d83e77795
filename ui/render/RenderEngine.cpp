// Render engine: image descriptions and nine-piece bitmaps, colour and
// gradient fills, lines and frames, plain text, clip scopes, colour adjust.
#include "ui/render/RenderEngine.h"

#include "ui/render/Colour.h"
#include "ui/render/SkinResources.h"

#include <algorithm>
#include <cmath>

using platform::Argb;
using platform::Canvas;
using platform::Rect;
using platform::Surface;

namespace render {

// --- Image descriptions ---------------------------------------------------

bool drawImageDescription(Canvas* canvas, CSkinResourcesUI& resources, const Rect& item, const Rect& paint,
                          ImageDescription& d) {
    if (!resolveImageDescription(resources, d)) return false;
    return drawResolvedImage(canvas, item, paint, d, resources.scale());
}

namespace {

// A skin length at a scale, by the one rounding rule (halves away from zero).
int scaleLength(int v, double scale) {
    if (scale == 1.0) return v;
    return static_cast<int>(std::lround(v * scale));
}

Rect scaleEdges(const Rect& r, double scale) {
    return {scaleLength(r.left, scale), scaleLength(r.top, scale), scaleLength(r.right, scale),
            scaleLength(r.bottom, scale)};
}

} // namespace

bool drawResolvedImage(Canvas* canvas, const Rect& item, const Rect& paint, ImageDescription& d, double scale) {
    if (!d.image) return true; // not resolved yet: nothing to draw
    d.source.left = std::max(d.source.left, 0);
    d.source.top = std::max(d.source.top, 0);
    d.source.right = std::min(d.source.right, d.image->unitWidth());
    d.source.bottom = std::min(d.source.bottom, d.image->unitHeight());
    if (!canvas) return true;
    // "source" and "corner" are in skin units of the image: its pixels are
    // `density` times as many. "dest" and the drawn corners are skin units
    // of the window: device pixels are `scale` times as many.
    const double density = d.image->density;
    const Rect source = density == 1.0 ? d.source : scaleEdges(d.source, density);
    const Rect corner = density == 1.0 ? d.corner : scaleEdges(d.corner, density);
    const Rect destCorner = scaleEdges(d.corner, scale);
    Rect dest = item;
    if (d.dest != Rect{}) {
        const Rect off = d.destInDevicePixels ? d.dest : scaleEdges(d.dest, scale);
        dest = {item.left + off.left, item.top + off.top, std::min(item.left + off.right, item.right),
                std::min(item.top + off.bottom, item.bottom)};
    }
    if (!dest.intersect(item).isEmpty() && !dest.intersect(paint).isEmpty())
        drawBitmap(*canvas, d.image->bitmap, dest, paint, source, corner,
                   {.hasAlpha = d.image->hasAlpha,
                    .fade = d.fade,
                    .hole = d.hole,
                    .xtiled = d.xtiled,
                    .ytiled = d.ytiled,
                    .destCorner = destCorner == corner ? nullptr : &destCorner,
                    .tileScale = scale / density});
    return true;
}

// --- drawBitmap -----------------------------------------------------------

namespace {

// Draws one piece by the chosen path.
struct PieceDrawer {
    Canvas& canvas;
    const Surface& bitmap;
    bool blend;
    std::uint8_t fade;

    void stretch(const Rect& dest, const Rect& src) const {
        if (dest.isEmpty() || src.isEmpty()) return;
        if (blend)
            canvas.alphaBlend(bitmap, dest, src, fade);
        else
            canvas.stretchFrom(bitmap, dest, src);
    }
    // Same size: a plain copy on the opaque path.
    void copy(const Rect& dest, const Rect& src) const {
        if (dest.isEmpty() || src.isEmpty()) return;
        if (blend)
            canvas.alphaBlend(bitmap, dest, src, fade);
        else
            canvas.copyFrom(bitmap, dest, {src.left, src.top});
    }
};

bool meets(const Rect& a, const Rect& b) { return !a.intersect(b).isEmpty(); }

void drawMiddle(const PieceDrawer& draw, const Rect& d, const Rect& s, const Rect& paint, bool xtiled, bool ytiled,
                double tileScale) {
    if (d.isEmpty() || !meets(d, paint)) return;
    // A tile covers its source × tileScale device pixels (1 unless the
    // image's density differs from the window's scale).
    const bool scaledTiles = tileScale != 1.0;
    const int tw = scaledTiles ? std::max(1, static_cast<int>(std::lround(s.width() * tileScale))) : s.width();
    const int th = scaledTiles ? std::max(1, static_cast<int>(std::lround(s.height() * tileScale))) : s.height();
    if (!xtiled && !ytiled) {
        draw.stretch(d, s);
        return;
    }
    if (tw <= 0 || th <= 0) return;
    // Only the tiles that meet the paint rectangle are visited.
    auto span = [](int start, int end, int tile, int paintStart, int paintEnd, int& first, int& last) {
        int count = (end - start + tile - 1) / tile;
        first = std::clamp((paintStart - start) / tile, 0, count);
        last = std::clamp((paintEnd - start + tile - 1) / tile, 0, count);
    };
    int c0 = 0, c1 = 1, r0 = 0, r1 = 1;
    if (xtiled) span(d.left, d.right, tw, paint.left, paint.right, c0, c1);
    if (ytiled) span(d.top, d.bottom, th, paint.top, paint.bottom, r0, r1);
    for (int j = r0; j < r1; ++j) {
        int top = ytiled ? d.top + j * th : d.top;
        int bottom = ytiled ? std::min(top + th, d.bottom) : d.bottom;
        for (int i = c0; i < c1; ++i) {
            int left = xtiled ? d.left + i * tw : d.left;
            int right = xtiled ? std::min(left + tw, d.right) : d.right;
            Rect tile{left, top, right, bottom};
            if (!meets(tile, paint)) continue;
            // The last tile takes the leading part of the source.
            // (Never past the source: rounding may ask for a pixel more.)
            const int srcW = scaledTiles ? std::min(s.width(), static_cast<int>(std::lround(tile.width() / tileScale)))
                                         : tile.width();
            const int srcH = scaledTiles
                                 ? std::min(s.height(), static_cast<int>(std::lround(tile.height() / tileScale)))
                                 : tile.height();
            Rect src{s.left, s.top, xtiled ? s.left + std::max(1, srcW) : s.right,
                     ytiled ? s.top + std::max(1, srcH) : s.bottom};
            if (xtiled && ytiled && !scaledTiles)
                draw.copy(tile, src);
            else
                draw.stretch(tile, src);
        }
    }
}

} // namespace

namespace {

// Coordinates from markup can be anything; keeping them within ±2^24 keeps
// every sum and difference below (and in the canvas) far from overflow.
constexpr int kCoordinateLimit = 1 << 24;
int sane(int v) { return std::clamp(v, -kCoordinateLimit, kCoordinateLimit); }
Rect sane(const Rect& r) { return {sane(r.left), sane(r.top), sane(r.right), sane(r.bottom)}; }

} // namespace

void drawBitmap(Canvas& canvas, const Surface& bitmap, const Rect& destIn, const Rect& paintIn, const Rect& sourceIn,
                const Rect& corner, const BitmapOptions& options) {
    if (bitmap.isEmpty()) return;
    const Rect D = sane(destIn), P = sane(paintIn), S = sane(sourceIn);
    const std::uint8_t fade = options.fade;
    const bool hole = options.hole;
    const bool blend = options.hasAlpha || fade != 255;
    // Negative border widths mean none. Source corners (c*) and dest corners
    // (e*) are the same unless the image's density differs from the window's scale.
    const int cl = std::clamp(corner.left, 0, kCoordinateLimit), ct = std::clamp(corner.top, 0, kCoordinateLimit),
              cr = std::clamp(corner.right, 0, kCoordinateLimit), cb = std::clamp(corner.bottom, 0, kCoordinateLimit);
    const Rect E = options.destCorner ? *options.destCorner : corner;
    const int el = std::clamp(E.left, 0, kCoordinateLimit), et = std::clamp(E.top, 0, kCoordinateLimit),
              er = std::clamp(E.right, 0, kCoordinateLimit), eb = std::clamp(E.bottom, 0, kCoordinateLimit);
    PieceDrawer draw{canvas, bitmap, blend, fade};

    // An opaque image drawn at its own size without borders is one copy of
    // the visible part. (A hole leaves nothing to draw without borders.)
    if (!blend && cl == 0 && ct == 0 && cr == 0 && cb == 0 && D.size() == S.size() && !hole) {
        Rect visible = D.intersect(P);
        if (!visible.isEmpty())
            canvas.copyFrom(bitmap, visible, {S.left + visible.left - D.left, S.top + visible.top - D.top});
        return;
    }

    auto piece = [&](const Rect& d, const Rect& s) {
        if (!d.isEmpty() && meets(d, P)) draw.stretch(d, s);
    };
    if (!hole)
        drawMiddle(draw, {D.left + el, D.top + et, D.right - er, D.bottom - eb},
                   {S.left + cl, S.top + ct, S.right - cr, S.bottom - cb}, P, options.xtiled, options.ytiled,
                   options.tileScale);
    if (cl > 0 && ct > 0) piece({D.left, D.top, D.left + el, D.top + et}, {S.left, S.top, S.left + cl, S.top + ct});
    if (ct > 0) piece({D.left + el, D.top, D.right - er, D.top + et}, {S.left + cl, S.top, S.right - cr, S.top + ct});
    if (cr > 0 && ct > 0) piece({D.right - er, D.top, D.right, D.top + et}, {S.right - cr, S.top, S.right, S.top + ct});
    if (cl > 0)
        piece({D.left, D.top + et, D.left + el, D.bottom - eb}, {S.left, S.top + ct, S.left + cl, S.bottom - cb});
    if (cr > 0)
        piece({D.right - er, D.top + et, D.right, D.bottom - eb}, {S.right - cr, S.top + ct, S.right, S.bottom - cb});
    if (cl > 0 && cb > 0)
        piece({D.left, D.bottom - eb, D.left + el, D.bottom}, {S.left, S.bottom - cb, S.left + cl, S.bottom});
    if (cb > 0)
        piece({D.left + el, D.bottom - eb, D.right - er, D.bottom},
              {S.left + cl, S.bottom - cb, S.right - cr, S.bottom});
    if (cr > 0 && cb > 0)
        piece({D.right - er, D.bottom - eb, D.right, D.bottom}, {S.right - cr, S.bottom - cb, S.right, S.bottom});
}

// --- Fills ----------------------------------------------------------------

void fillColour(Canvas& canvas, const Rect& rect, Argb colour) {
    if ((colour >> 24) == 0) return;
    Surface pixel(1, 1);
    pixel.setPixel(0, 0, platform::premultiply(colour));
    drawBitmap(canvas, pixel, rect, rect, {0, 0, 1, 1}, {}, {.hasAlpha = true});
}

namespace {

bool g_smoothGradients = true;

// Solid bands from the far edge: band 0 has the second colour.
void fillBands(Canvas& canvas, const Rect& rect, Argb first, Argb second, bool vertical, int steps) {
    int k = steps >= 64 ? 6 : steps >= 32 ? 5 : steps >= 16 ? 4 : steps >= 8 ? 3 : steps >= 4 ? 2 : 1;
    int n = 1 << k;
    int extent = vertical ? rect.height() : rect.width();
    int edge = vertical ? rect.bottom : rect.right;
    auto channel = [&](int shift, int i) {
        unsigned a = (first >> shift) & 0xFF, b = (second >> shift) & 0xFF;
        return ((b * (n - i) + a * i) >> k) & 0xFF;
    };
    for (int i = 0; i < n; ++i) {
        Argb c = 0xFF000000u | channel(16, i) << 16 | channel(8, i) << 8 | channel(0, i);
        int from = edge - (((i + 1) * extent) >> k);
        int to = edge - ((i * extent) >> k);
        Rect band = vertical ? Rect{rect.left, from, rect.right, to} : Rect{from, rect.top, to, rect.bottom};
        if (!band.isEmpty()) canvas.fillRect(band, c);
    }
}

void fillGradientOpaque(Canvas& canvas, const Rect& rect, Argb first, Argb second, bool vertical, int steps) {
    if (g_smoothGradients)
        canvas.gradientFill(rect, first, second,
                            vertical ? platform::GradientDirection::Vertical : platform::GradientDirection::Horizontal);
    else
        fillBands(canvas, rect, first, second, vertical, steps);
}

} // namespace

void setSmoothGradients(bool available) { g_smoothGradients = available; }
bool smoothGradients() { return g_smoothGradients; }

void fillGradient(Canvas& canvas, const Rect& rect, Argb first, Argb second, bool vertical, int steps) {
    unsigned alpha = ((first >> 24) + (second >> 24)) / 2;
    if (alpha == 0 || rect.isEmpty()) return;
    first = substituteBlack(first);
    second = substituteBlack(second);
    if (alpha == 255) {
        fillGradientOpaque(canvas, rect, first, second, vertical, steps);
        return;
    }
    // Translucent: draw opaque into a scratch surface, then blend it with the
    // average alpha.
    Surface scratch(rect.width(), rect.height());
    if (scratch.isEmpty()) return;
    {
        Canvas scratchCanvas(scratch);
        fillGradientOpaque(scratchCanvas, {0, 0, rect.width(), rect.height()}, first, second, vertical, steps);
    }
    canvas.alphaBlend(scratch, rect, {0, 0, rect.width(), rect.height()}, static_cast<std::uint8_t>(alpha));
}

// --- Lines and frames -----------------------------------------------------

namespace {

// The null pen draws nothing, whatever shape it is given. The low four bits
// are the pen style; higher bits (end caps, joins) do not change that.
bool isNullPen(int style) { return (style & 0xF) == platform::PS_NULL; }

} // namespace

void drawLine(Canvas& canvas, const Rect& rect, int width, Argb colour, int style) {
    if (isNullPen(style)) return;
    canvas.drawLine({rect.left, rect.top}, {rect.right, rect.bottom}, {substituteBlack(colour), width, style});
}

void drawRect(Canvas& canvas, const Rect& rect, int width, Argb colour, int style) {
    if (isNullPen(style)) return;
    int dashes = style & 7;
    bool cosmetic = width == 1 && dashes >= platform::PS_DASH && dashes <= platform::PS_DASHDOTDOT;
    platform::Pen pen{substituteBlack(colour), width, cosmetic ? dashes : platform::PS_INSIDEFRAME};
    canvas.drawRectangle(rect, pen);
}

void drawRoundRect(Canvas& canvas, const Rect& rect, int width, int cornerWidth, int cornerHeight, Argb colour,
                   int style) {
    // Every other style is drawn as a solid frame inside the rectangle.
    if (isNullPen(style)) return;
    canvas.drawRoundRect(rect, cornerWidth, cornerHeight, {substituteBlack(colour), width, platform::PS_INSIDEFRAME});
}

// --- Plain text -----------------------------------------------------------

void drawPlainText(Canvas& canvas, CSkinResourcesUI& resources, Rect& rect, std::wstring_view text, Argb colour,
                   int fontId, unsigned flags) {
    if (text.empty()) return;
    CStringUI expanded(text);
    CSkinResourcesUI::expandTextIds(expanded);
    auto previous = canvas.setFont(resources.fontHandle(fontId));
    canvas.setBackgroundMode(platform::BackgroundMode::Transparent);
    canvas.setTextColour(substituteBlack(colour));
    canvas.drawText(expanded.view(), rect, flags | platform::DT_NOPREFIX);
    canvas.setFont(std::move(previous));
}

// --- Bitmaps and clips ----------------------------------------------------

Surface createArgbBitmap(int width, int height) { return Surface(width, height, platform::RowOrder::BottomUp); }

void ClipScope::open(Canvas& canvas, const Rect& rect, platform::Region inner) {
    close();
    m_canvas = &canvas;
    // The whole clip region is kept (not only its bounding box), so closing
    // a scope inside a rounded parent restores the rounded clip.
    m_outer = canvas.clipRegion();
    inner.intersect(m_outer);
    m_inner = std::move(inner);
    m_rect = rect;
    canvas.selectClipRegion(m_inner);
}

void ClipScope::useOuter() {
    if (m_canvas) m_canvas->selectClipRegion(m_outer);
}

void ClipScope::useInner() {
    if (m_canvas) m_canvas->selectClipRegion(m_inner);
}

void ClipScope::close() {
    if (!m_canvas) return;
    m_canvas->selectClipRegion(m_outer);
    m_canvas = nullptr;
    m_outer = platform::Region();
    m_inner = platform::Region();
}

void clipToRect(Canvas& canvas, const Rect& rect, ClipScope& scope) {
    scope.open(canvas, rect, platform::Region(rect));
}

void clipToRoundRect(Canvas& canvas, const Rect& rect, const Rect& item, int cornerWidth, int cornerHeight,
                     ClipScope& scope) {
    platform::Region inner(rect);
    inner.intersect(
        platform::Region::roundRect({item.left, item.top, item.right + 1, item.bottom + 1}, cornerWidth, cornerHeight));
    scope.open(canvas, rect, std::move(inner));
}

// --- Colour adjustment ----------------------------------------------------

namespace {

void rgbToHsl(double r, double g, double b, double& h, double& s, double& l) {
    double mx = std::max({r, g, b}), mn = std::min({r, g, b});
    l = (mx + mn) / 2;
    if (mx == mn) {
        h = s = 0;
        return;
    }
    double d = mx - mn;
    s = l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
    if (mx == r)
        h = (g - b) / d + (g < b ? 6 : 0);
    else if (mx == g)
        h = (b - r) / d + 2;
    else
        h = (r - g) / d + 4;
    h *= 60;
}

double hueToRgb(double p, double q, double t) {
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 1.0 / 2) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
}

} // namespace

Argb adjustColour(Argb colour, int hue, int saturation, int lightness) {
    if (hue == 180 && saturation == 100 && lightness == 100) return colour;
    double r = ((colour >> 16) & 0xFF) / 255.0, g = ((colour >> 8) & 0xFF) / 255.0, b = (colour & 0xFF) / 255.0;
    double h, s, l;
    rgbToHsl(r, g, b, h, s, l);
    h += hue - 180;
    if (h <= 0) h += 360;
    if (h > 360) h -= 360;
    s = std::clamp(s * saturation / 100.0, 0.0, 1.0);
    l = std::clamp(l * lightness / 100.0, 0.0, 1.0);
    if (s == 0) {
        r = g = b = l;
    } else {
        double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
        double p = 2 * l - q;
        double hk = h / 360;
        r = hueToRgb(p, q, hk + 1.0 / 3);
        g = hueToRgb(p, q, hk);
        b = hueToRgb(p, q, hk - 1.0 / 3);
    }
    auto byte = [](double v) { return static_cast<Argb>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    return (colour & 0xFF000000u) | byte(r) << 16 | byte(g) << 8 | byte(b);
}

} // namespace render
