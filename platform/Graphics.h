// Software drawing in place of a device context: 32-bit premultiplied surfaces,
// a canvas with an origin, a save stack and a clip region, and fonts and text.
//
// Index:
//   --- Constants ---   DrawText flags, pen styles
//   --- Surface ---     pixel storage, PNG read/write
//   --- Region ---      integer clip regions (rectangles, rounded rectangles)
//   --- Font ---        fonts, metrics, measuring
//   --- Canvas ---      drawing onto a surface
//
// Pixels are 0xAARRGGBB values with the colour channels premultiplied by
// alpha, stored little-endian (bytes B, G, R, A in memory). Rectangles have
// exclusive right and bottom edges; all integer drawing is pixel-exact and not
// anti-aliased, as a device context draws. Only text, drawString and fillPath
// are anti-aliased.
//
// Threads: a Surface or Canvas belongs to one thread at a time. Fonts are
// immutable after creation and may be shared between threads; every text
// operation takes one process-wide lock (text is not drawn in parallel).
#pragma once

#include "platform/Geometry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// --- Constants ---

// DrawText format flags; the values are those callers pass through unchanged.
inline constexpr unsigned DT_TOP = 0x0;
inline constexpr unsigned DT_LEFT = 0x0;
inline constexpr unsigned DT_CENTER = 0x1;
inline constexpr unsigned DT_RIGHT = 0x2;
inline constexpr unsigned DT_VCENTER = 0x4;
inline constexpr unsigned DT_BOTTOM = 0x8;
inline constexpr unsigned DT_WORDBREAK = 0x10;
inline constexpr unsigned DT_SINGLELINE = 0x20;
inline constexpr unsigned DT_NOCLIP = 0x100;
inline constexpr unsigned DT_CALCRECT = 0x400;
inline constexpr unsigned DT_NOPREFIX = 0x800;
inline constexpr unsigned DT_END_ELLIPSIS = 0x8000;

// Pen styles. Styles are numbers, not bits: PS_INSIDEFRAME (6) is a solid pen
// drawn entirely inside the shape's rectangle.
inline constexpr int PS_SOLID = 0;
inline constexpr int PS_DASH = 1;
inline constexpr int PS_DOT = 2;
inline constexpr int PS_DASHDOT = 3;
inline constexpr int PS_DASHDOTDOT = 4;
inline constexpr int PS_NULL = 5;
inline constexpr int PS_INSIDEFRAME = 6;

// Makes a premultiplied pixel value from a straight 0xAARRGGBB colour.
std::uint32_t premultiply(Argb colour);
// Makes a straight colour from a premultiplied pixel value (rounded).
Argb unpremultiply(std::uint32_t pixel);

// --- Surface ---

// The order of pixel rows in memory. Bottom-up surfaces keep the bottom row
// first, as a bitmap with a positive height does; drawing is unaffected.
enum class RowOrder { TopDown, BottomUp };

// Owns (or borrows) width × height premultiplied pixels. Moving keeps the
// pixel memory where it is. A default-constructed surface is empty (0 × 0).
class Surface {
public:
    Surface() = default;
    // A surface cleared to 0 (transparent). A non-positive size gives an empty
    // surface; so does a size too large to allocate.
    Surface(int width, int height, RowOrder order = RowOrder::TopDown);
    // Borrows pixel memory the caller keeps alive for the surface's lifetime.
    // strideBytes >= width × 4 and a multiple of 4; rows follow 'order'.
    static Surface wrap(void* bits, int width, int height, int strideBytes, RowOrder order);
    // Premultiplies 8-bit RGBA rows (R, G, B, A bytes, top row first).
    static Surface fromRgba(const std::uint8_t* rgba, int width, int height, RowOrder order = RowOrder::TopDown);
    // Reads a PNG file (UTF-8 path); an empty surface when it cannot be read.
    static Surface readPng(const std::string& path);

    Surface(Surface&& other) noexcept;
    Surface& operator=(Surface&& other) noexcept;
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    ~Surface();

    // A deep copy that owns its pixels (same size and row order).
    Surface clone() const;

    bool isEmpty() const { return m_width <= 0 || m_height <= 0; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    Size size() const { return {m_width, m_height}; }
    Rect bounds() const { return {0, 0, m_width, m_height}; }
    RowOrder rowOrder() const { return m_order; }
    // Bytes from one memory row to the next (always positive).
    int stride() const { return m_stride; }
    // The pixel memory as stored: for bottom-up surfaces the bottom row first.
    std::uint8_t* bits() { return m_bits; }
    const std::uint8_t* bits() const { return m_bits; }
    // Row y counted from the top (0 = top) whatever the memory order; y must be in range.
    std::uint32_t* row(int y);
    const std::uint32_t* row(int y) const;

    // The premultiplied value at (x, y) from the top-left; 0 outside.
    std::uint32_t pixel(int x, int y) const;
    // Writes a premultiplied value; ignored outside.
    void setPixel(int x, int y, std::uint32_t value);
    // Sets every pixel to a premultiplied value.
    void clear(std::uint32_t value = 0);

    // Writes a PNG with alpha (UTF-8 path; colours un-premultiplied). False on failure.
    bool writePng(const std::string& path) const;

private:
    int m_width = 0;
    int m_height = 0;
    int m_stride = 0;
    RowOrder m_order = RowOrder::TopDown;
    std::uint8_t* m_bits = nullptr;
    std::vector<std::uint32_t> m_owned;
};

// --- Region ---

namespace detail {
struct RegionData;
}

// A set of whole pixels described by rectangles, used as clip regions.
// Copyable value type.
class Region {
public:
    Region(); // empty
    explicit Region(const Rect& rect);
    // The pixels of [left, right) × [top, bottom) with elliptical corners of
    // cornerWidth × cornerHeight (clamped to the rectangle); a pixel belongs to
    // the region when its centre lies inside the shape. Not anti-aliased.
    static Region roundRect(const Rect& rect, int cornerWidth, int cornerHeight);

    Region(const Region& other);
    Region& operator=(const Region& other);
    Region(Region&& other) noexcept;
    Region& operator=(Region&& other) noexcept;
    ~Region();

    bool isEmpty() const;
    // The smallest rectangle holding the region; all zero when empty.
    Rect bounds() const;
    bool contains(Point p) const;
    void intersect(const Region& other);
    void intersect(const Rect& rect);
    void unite(const Region& other);
    void subtract(const Region& other);
    void offset(int dx, int dy);
    // Disjoint rectangles covering the region, top to bottom, left to right.
    std::vector<Rect> rects() const;

    friend bool operator==(const Region& a, const Region& b);

private:
    friend struct detail::RegionData;
    detail::RegionData* m_data;
};

// --- Canvas ---

// A pen for lines and outlines. Colours ignore their alpha byte (drawn opaque).
struct Pen {
    Argb colour = 0xFF000000;
    int width = 1;
    int style = PS_SOLID;
};

enum class GradientDirection { Horizontal, Vertical };

// Whether text fills its cells with the background colour first.
enum class BackgroundMode { Transparent, Opaque };

class Font;

namespace detail {
struct CanvasData;
}

// Draws on a surface it does not own (the surface must outlive the canvas and
// keep its size). Logical coordinates are device coordinates minus the origin.
// All drawing is limited to the clip region (initially the whole surface).
// One thread at a time.
class Canvas {
public:
    explicit Canvas(Surface& target);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    Surface& surface();

    // --- State: origin, save/restore ---
    // Device position of logical (0, 0).
    Point origin() const;
    void setOrigin(Point origin);
    void offsetOrigin(int dx, int dy);
    // Pushes origin, clip, font, colours and modes; returns the new depth (1, 2, ...).
    int save();
    // Pops the last save; nothing when none is left.
    void restore();
    // Pops saves until the depth is level - 1 (restores the state saved by save() returning level).
    void restoreTo(int level);

    // --- Clip ---
    // Bounding box of the clip region in logical coordinates; empty when nothing can be drawn.
    Rect clipBox() const;
    // A copy of the clip region in logical coordinates.
    Region clipRegion() const;
    // Replaces the clip region (logical coordinates; limited to the surface).
    void selectClipRegion(const Region& region);
    // Makes the whole surface drawable again.
    void resetClip();
    // Clip := clip ∩ rect (logical).
    void intersectClipRect(const Rect& rect);
    // Clip := clip ∩ Region::roundRect(rect, cornerWidth, cornerHeight) (logical).
    void intersectClipRoundRect(const Rect& rect, int cornerWidth, int cornerHeight);
    // True when some pixel of rect (logical) is inside the clip region.
    bool isVisible(const Rect& rect) const;

    // --- Pixel operations ---
    // Fills with an opaque colour (the alpha byte of the colour is ignored).
    void fillRect(const Rect& rect, Argb colour);
    // Sets pixels to a premultiplied value as they are (e.g. 0 to make them transparent).
    void setPixels(const Rect& rect, std::uint32_t premultiplied);
    // Fills a region (logical coordinates) with an opaque colour.
    void fillRegion(const Region& region, Argb colour);
    // Copies src pixels (all four channels) to dest; the source rectangle is dest's size at srcTopLeft.
    // Parts outside the source are left unchanged.
    void copyFrom(const Surface& src, const Rect& dest, Point srcTopLeft);
    // Copies src rectangle scaled to dest with nearest-neighbour sampling (all four channels).
    void stretchFrom(const Surface& src, const Rect& dest, const Rect& srcRect);
    // Composites premultiplied src over the destination after scaling its pixels by
    // constantAlpha / 255; scales srcRect to dest with nearest-neighbour sampling.
    void alphaBlend(const Surface& src, const Rect& dest, const Rect& srcRect, std::uint8_t constantAlpha);
    // Two-colour gradient, opaque (alpha bytes ignored): the first and last
    // column (horizontal) or row (vertical) have exactly 'from' and 'to'.
    void gradientFill(const Rect& rect, Argb from, Argb to, GradientDirection direction);

    // --- Pens (null brush: outlines only) ---
    // Line from 'from' to 'to', the end point excluded.
    void drawLine(Point from, Point to, const Pen& pen);
    // Outline of rect. A width-1 pen covers left..right-1 and top..bottom-1;
    // wider pens are centred on that outline, PS_INSIDEFRAME pens stay inside rect.
    // Dash and dot styles apply to width-1 pens; wider pens draw solid.
    void drawRectangle(const Rect& rect, const Pen& pen);
    // Outline of a rectangle with elliptical corners, always inside rect.
    void drawRoundRect(const Rect& rect, int cornerWidth, int cornerHeight, const Pen& pen);

private:
    friend struct detail::CanvasData;
    std::unique_ptr<detail::CanvasData> m_data;
};

} // namespace platform
