// The render engine: stateless drawing functions over a canvas for colours,
// gradients, lines and frames, image descriptions, plain and rich text, and
// clip scopes. Images and fonts come from the window's skin resources
// (CSkinResourcesUI); ui/core adds the entry points that take a paint manager.
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Graphics.h"
#include "ui/base/StringUI.h"
#include "ui/render/ImageDescription.h"

#include <cstdint>
#include <string_view>

class CSkinResourcesUI;

namespace render {

// Draws an image description over `item`, limited to pieces that meet
// `paint`, its image resolved through `resources`. Without a canvas it only
// resolves the image (how controls preload one). False when the image cannot
// be resolved; nothing is drawn then.
bool drawImageDescription(platform::Canvas* canvas, CSkinResourcesUI& resources, const platform::Rect& item,
                          const platform::Rect& paint, ImageDescription& description);
// The drawing half of drawImageDescription: draws the description's image
// when it has been resolved (nothing otherwise). Always true.
// "dest" offsets and the drawn corner widths are multiplied by `scale`
// (the window's device pixels per skin unit).
bool drawResolvedImage(platform::Canvas* canvas, const platform::Rect& item, const platform::Rect& paint,
                       ImageDescription& description, double scale = 1.0);

// How drawBitmap composes the pieces and treats the middle one.
struct BitmapOptions {
    bool hasAlpha = false;   // the bitmap has alpha: blend instead of copying
    std::uint8_t fade = 255; // constant alpha; below 255 blends as well
    bool hole = false;       // leave the middle piece out
    bool xtiled = false;     // tile the middle horizontally instead of stretching it
    bool ytiled = false;     // tile the middle vertically instead of stretching it
    // Corner widths in `dest` when they differ from those cut from `source`
    // (an image of another density than the window's scale); null: the same.
    const platform::Rect* destCorner = nullptr;
    // Device pixels per bitmap pixel of a tile of the middle (xtiled, ytiled).
    double tileScale = 1.0;
};

// Draws `source` of `bitmap` over `dest` in up to nine pieces cut by the
// corner widths (left, top, right, bottom of `corner`): corners and edges
// stretched to fit, the middle stretched or tiled (or skipped for a hole).
// Pieces that do not meet `paint` are skipped whole. Blends when the bitmap
// has alpha or fade is below 255, else copies.
void drawBitmap(platform::Canvas& canvas, const platform::Surface& bitmap, const platform::Rect& dest,
                const platform::Rect& paint, const platform::Rect& source, const platform::Rect& corner,
                const BitmapOptions& options = {});

// Blends the colour over the rectangle; nothing for alpha 0.
void fillColour(platform::Canvas& canvas, const platform::Rect& rect, platform::Argb colour);

// Two-colour gradient from the top (vertical) or left edge to the other,
// with the average alpha of the two; nothing when that is 0. `steps` sets
// the number of bands where banding is used.
void fillGradient(platform::Canvas& canvas, const platform::Rect& rect, platform::Argb first, platform::Argb second,
                  bool vertical, int steps);

// Where a smooth two-colour gradient fill is unavailable, gradients are drawn
// as 2^k solid bands. Smooth by default; tests and tools may switch to bands.
void setSmoothGradients(bool available);
bool smoothGradients();

// A line from the rectangle's top-left to its bottom-right (end excluded).
void drawLine(platform::Canvas& canvas, const platform::Rect& rect, int width, platform::Argb colour,
              int style = platform::PS_SOLID);
// An outline; width-1 dashed or dotted styles keep their pattern, anything
// else is drawn solid inside the rectangle.
void drawRect(platform::Canvas& canvas, const platform::Rect& rect, int width, platform::Argb colour,
              int style = platform::PS_SOLID);
void drawRoundRect(platform::Canvas& canvas, const platform::Rect& rect, int width, int cornerWidth, int cornerHeight,
                   platform::Argb colour, int style = platform::PS_SOLID);

// Text in the font `fontId` of the resources, transparent background, with
// the DrawText flags (plus DT_NOPREFIX). Language tokens are expanded first.
// With DT_CALCRECT `rect` receives the text's extent.
void drawPlainText(platform::Canvas& canvas, CSkinResourcesUI& resources, platform::Rect& rect, std::wstring_view text,
                   platform::Argb colour, int fontId, unsigned flags);

// Rich text with the tag language. `links` and `linkTargets` receive up to
// `linkCount` link rectangles and targets; on return `linkCount` is the number
// found. Pass the arrays filled by the previous paint: a link under `hover`
// (the mouse, in the canvas's coordinates) is drawn in the link-hover colour.
// With DT_CALCRECT nothing is drawn and `rect` receives the extent.
void drawRichText(platform::Canvas& canvas, CSkinResourcesUI& resources, platform::Point hover, platform::Rect& rect,
                  std::wstring_view text, platform::Argb colour, platform::Rect* links, CStringUI* linkTargets,
                  int& linkCount, int fontId, unsigned flags);

// A 32-bit bottom-up surface (as a bitmap of positive height), cleared to 0.
platform::Surface createArgbBitmap(int width, int height);

// A clip change that is undone when the scope closes (or is destroyed).
// While open, the scope can switch between the clip it narrowed (inner) and
// the clip it found (outer), e.g. to let children paint outside a rounded
// parent.
class ClipScope {
public:
    ClipScope() = default;
    ~ClipScope() { close(); }
    ClipScope(const ClipScope&) = delete;
    ClipScope& operator=(const ClipScope&) = delete;

    void useOuter();
    void useInner();
    // Selects the outer clip back; nothing when not open.
    void close();
    bool isOpen() const { return m_canvas != nullptr; }
    const platform::Rect& rect() const { return m_rect; }

private:
    friend void clipToRect(platform::Canvas&, const platform::Rect&, ClipScope&);
    friend void clipToRoundRect(platform::Canvas&, const platform::Rect&, const platform::Rect&, int, int, ClipScope&);
    void open(platform::Canvas& canvas, const platform::Rect& rect, platform::Region inner);

    platform::Canvas* m_canvas = nullptr;
    platform::Region m_outer;
    platform::Region m_inner;
    platform::Rect m_rect;
};

// Clip := rect ∩ current clip, until the scope closes.
void clipToRect(platform::Canvas& canvas, const platform::Rect& rect, ClipScope& scope);
// Clip := rect ∩ the item's rounded rectangle ∩ current clip.
void clipToRoundRect(platform::Canvas& canvas, const platform::Rect& rect, const platform::Rect& item, int cornerWidth,
                     int cornerHeight, ClipScope& scope);

// Shifts hue by (hue - 180) degrees and scales saturation and lightness by
// percent; (180, 100, 100) returns the colour unchanged. Alpha is kept.
platform::Argb adjustColour(platform::Argb colour, int hue, int saturation, int lightness);

} // namespace render
