// Software drawing in place of a device context: 32-bit premultiplied surfaces,
// a canvas with an origin, a save stack and a clip region, and fonts and text.
//
// Index:
//   --- Constants ---   DrawText flags, pen styles
//   --- Surface ---     pixel storage, PNG read/write
//   --- Region ---      integer clip regions (rectangles, rounded rectangles)
//   --- Font ---        fonts, metrics, measuring
//   --- Path ---        float shapes for anti-aliased fills
//   --- Canvas ---      drawing onto a surface; CanvasSaveScope
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

#include "platform/graphics/Geometry.h"

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

// Makes a premultiplied pixel value from a straight 0xAARRGGBB colour (rounded to nearest).
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
    std::unique_ptr<detail::RegionData> m_data; // null only after a move
};

// --- Font ---

struct FontStyle {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    friend bool operator==(const FontStyle&, const FontStyle&) = default;
};

// Whole-pixel metrics of a font. height = ascent + descent is the line
// height; internalLeading = height - pixel height (the em size).
struct FontMetrics {
    int height = 0;
    int ascent = 0;
    int descent = 0;
    int internalLeading = 0;
    int externalLeading = 0;
    int averageCharWidth = 0;
    int maxCharWidth = 0; // at least the advance of any Latin or CJK character
};

// The parts of one character's advance, in whole pixels: the blank before
// its ink (negative where the ink starts left of the pen), the ink, and the
// blank after it (negative where the ink reaches past the advance, as italic
// letters do). leading + ink + trailing is the advance; a character without
// ink (a space) is all trailing.
struct GlyphWidths {
    int leading = 0;
    int ink = 0;
    int trailing = 0;
    friend bool operator==(const GlyphWidths&, const GlyphWidths&) = default;
};

namespace detail {
struct FontData;
}

// An immutable font: face, em height in pixels and style. Characters the face
// lacks (and faces that are not installed) fall back to the pinned CJK face,
// then to any sans-serif face. Shared between holders with std::shared_ptr.
class Font {
public:
    // The face all text falls back to; the default GUI font uses it.
    static constexpr const wchar_t* kFallbackFace = L"WenQuanYi Micro Hei";
    static constexpr int kDefaultPixelHeight = 12;
    // Larger heights (from hostile markup, say) are cut to this: no screen
    // needs more, and the text engine's fixed-point sizes overflow far above it.
    static constexpr int kMaxPixelHeight = 4096;

    // A font of 'face' (empty: the fallback face) with an em height of
    // pixelHeight (<= 0: the default height; at most kMaxPixelHeight). Never null.
    static std::shared_ptr<const Font> create(std::wstring_view face, int pixelHeight, FontStyle style = {});
    // The default GUI font: the fallback face at 12 px, regular. The same object on every call.
    static std::shared_ptr<const Font> defaultGui();

    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    const std::wstring& face() const;
    int pixelHeight() const;
    const FontStyle& style() const;
    const FontMetrics& metrics() const;

    // Extent of one line of text as drawn (no prefix processing; line breaks
    // are not interpreted): width = advance, height = metrics().height.
    Size measure(std::wstring_view text) const;
    // X offset of every caret position of a single line: text.size() + 1
    // values, starting with 0 and ending with measure(text).cx.
    std::vector<int> caretPositions(std::wstring_view text) const;
    // Leading, ink and trailing width of one character as drawn alone.
    GlyphWidths glyphWidths(wchar_t ch) const;

private:
    Font();
    friend struct detail::FontData;
    std::unique_ptr<detail::FontData> m_data;
};

// --- Path ---

struct PointF {
    float x = 0;
    float y = 0;
};

struct RectF {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
};

// Figures of lines and elliptical arcs in float logical coordinates. Angles
// are in degrees, clockwise from the positive x axis (y grows downwards).
class Path {
public:
    // Appends an arc of the ellipse inscribed in 'box', joined to the current figure by a line.
    void addArc(const RectF& box, float startDegrees, float sweepDegrees);
    // Appends a line to the current figure (joined from its last point).
    void addLine(PointF from, PointF to);
    // Appends a closed rectangle as a figure of its own.
    void addRectangle(const RectF& rect);
    // Closes the current figure; the next shape starts a new one.
    void closeFigure();
    bool isEmpty() const { return m_figures.empty(); }
    RectF bounds() const;

    struct Figure {
        std::vector<PointF> points; // flattened outline
        bool closed = false;
    };
    const std::vector<Figure>& figures() const { return m_figures; }

private:
    Figure& current();
    std::vector<Figure> m_figures;
};

// --- Canvas ---

// Layout of drawString: horizontal (alignment) and vertical (lineAlignment)
// placement in the layout rectangle, wrapping, and anti-aliasing as the
// rendering hints 0..5 number it (1 and 2 draw without anti-aliasing).
struct StringFormat {
    enum Align { Near, Center, Far };
    Align alignment = Near;
    Align lineAlignment = Near;
    bool noWrap = false;
    int renderingHint = 0;
};

// A linear gradient brush for drawString: colour 'from' at p1, 'to' at p2,
// repeating beyond them (logical coordinates). Equal colours give a solid brush.
struct LinearBrush {
    Argb from = 0xFF000000;
    Argb to = 0xFF000000;
    PointF p1{0, 0};
    PointF p2{0, 1};
};

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
    // wider pens are centred on that outline, PS_INSIDEFRAME pens (and style 7,
    // a dashed style or-ed with it) stay inside rect. Dash and dot styles apply
    // to width-1 pens; wider pens draw solid.
    void drawRectangle(const Rect& rect, const Pen& pen);
    // Outline of a rectangle with elliptical corners, always inside rect.
    void drawRoundRect(const Rect& rect, int cornerWidth, int cornerHeight, const Pen& pen);

    // --- Text (DrawText semantics, not anti-aliased positions: whole pixels) ---
    // The font for text; null selects the default GUI font. Returns the previous one.
    std::shared_ptr<const Font> setFont(std::shared_ptr<const Font> font);
    const std::shared_ptr<const Font>& font() const;
    // Text colour (alpha byte ignored); default black.
    void setTextColour(Argb colour);
    Argb textColour() const;
    // Background colour for BackgroundMode::Opaque (alpha byte ignored); default white.
    void setBackgroundColour(Argb colour);
    // Default Transparent.
    void setBackgroundMode(BackgroundMode mode);
    BackgroundMode backgroundMode() const;
    // Draws (or with DT_CALCRECT only measures) text in rect with the DT_ flags:
    // lines break at line feeds unless DT_SINGLELINE; DT_WORDBREAK wraps at the
    // rect's width; DT_END_ELLIPSIS shortens lines that do not fit with an
    // ellipsis; DT_VCENTER and DT_BOTTOM apply to single lines only. Without
    // DT_NOPREFIX "&x" underlines x and "&&" draws "&". Drawing is clipped to
    // rect unless DT_NOCLIP. DT_CALCRECT sets rect.right to left + widest line
    // and rect.bottom to top + text height, drawing nothing. Returns the text height.
    int drawText(std::wstring_view text, Rect& rect, unsigned flags);
    // Draws one line with its top-left at 'topLeft' (no prefix processing).
    void textOut(Point topLeft, std::wstring_view text);

    // --- Anti-aliased drawing ---
    // Draws text in 'box' with the brush (its alpha honoured), clipped to 'box'.
    void drawString(std::wstring_view text, const Font& font, const RectF& box, const StringFormat& format,
                    const LinearBrush& brush);
    // Draws srcRect of src scaled to 'dest' with bilinear filtering, composited
    // over the destination with constantAlpha / 255.
    void drawSurfaceSmooth(const Surface& src, const RectF& dest, const Rect& srcRect,
                           std::uint8_t constantAlpha = 255);
    // drawSurfaceSmooth, turned `degrees` clockwise about the centre of
    // 'dest' (the corners may reach outside 'dest'; the clip still holds).
    void drawSurfaceRotated(const Surface& src, const RectF& dest, const Rect& srcRect, double degrees,
                            std::uint8_t constantAlpha = 255);
    // Fills 'area' (non-zero rule, anti-aliased) with a straight ARGB colour, source over.
    void fillPath(const Path& area, Argb colour);
    // Fills 'area' (even-odd rule, anti-aliased) with a path gradient: the
    // colour runs from 'surround' on the outline of 'shape' to 'centre' at the
    // outline scaled by (focusScaleX, focusScaleY) about the centre of shape's
    // bounds, and stays 'centre' inside it. Colours are straight ARGB; source over.
    void fillPathGradient(const Path& area, const Path& shape, Argb centre, Argb surround, float focusScaleX,
                          float focusScaleY);

private:
    friend struct detail::CanvasData;
    std::unique_ptr<detail::CanvasData> m_data;
};

// Saves a canvas's state (origin, clip, font, colours, modes) and restores it
// when the scope ends, however the block is left; restore() does it earlier.
// Scopes nest like save() and restore(); the canvas must outlive the scope.
class CanvasSaveScope {
public:
    explicit CanvasSaveScope(Canvas& canvas) : m_canvas(&canvas), m_level(canvas.save()) {}
    ~CanvasSaveScope() { restore(); }
    CanvasSaveScope(const CanvasSaveScope&) = delete;
    CanvasSaveScope& operator=(const CanvasSaveScope&) = delete;

    // Restores the saved state now; the scope does nothing more afterwards.
    void restore() {
        if (m_canvas) m_canvas->restoreTo(m_level);
        m_canvas = nullptr;
    }

private:
    Canvas* m_canvas;
    int m_level;
};

} // namespace platform
