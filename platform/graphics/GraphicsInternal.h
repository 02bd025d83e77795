// Internals shared by the graphics source files; not for use outside platform/graphics/.
#pragma once

#include "platform/graphics/Graphics.h"

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace platform::detail {

// RAII owners of the cairo handles we create.
struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct CairoRegionDeleter {
    void operator()(cairo_region_t* r) const { cairo_region_destroy(r); }
};
using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;
using CairoPtr = std::unique_ptr<cairo_t, CairoDeleter>;
using CairoRegionPtr = std::unique_ptr<cairo_region_t, CairoRegionDeleter>;

// What a Region holds: one cairo region, never null.
struct RegionData {
    CairoRegionPtr region;

    explicit RegionData(cairo_region_t* r) : region(r) {}
    static cairo_region_t* of(const Region& r) { return r.m_data->region.get(); }
    // A moved-from region has no data; give it an empty one so reuse stays safe.
    static void ensure(Region& r) {
        if (!r.m_data) r.m_data = std::make_unique<RegionData>(cairo_region_create());
    }
};

// (x * y) / 255 rounded to nearest, exact for x, y in 0..255.
inline std::uint32_t mulDiv255(std::uint32_t x, std::uint32_t y) {
    const std::uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

// --- Canvas internals ---

struct CanvasState {
    Point origin;
    Region clip; // device coordinates, always within the surface
    std::shared_ptr<const Font> font;
    Argb textColour = 0xFF000000;
    Argb backgroundColour = 0xFFFFFFFF;
    BackgroundMode backgroundMode = BackgroundMode::Transparent;
};

struct CanvasData {
    Surface* target = nullptr;
    CanvasState state;
    std::vector<CanvasState> saved;
    std::uint64_t clipVersion = 1; // bumped on every clip change

    CairoSurfacePtr cairoSurface;
    CairoPtr cairo; // draws on cairoSurface: declared after it, destroyed before it
    std::uint64_t cairoClipVersion = 0;

    static CanvasData& of(Canvas& c) { return *c.m_data; }
    // A cairo context clipped to the clip region and translated by the origin,
    // with pixels written directly since the last call made known to cairo.
    // Null when the surface is empty. Call finishCairo() after drawing.
    cairo_t* beginCairo();
    void finishCairo();
    void setClip(Region deviceRegion);
};

// A cairo image surface over a Surface's pixels (bottom-up surfaces use a
// negative stride so that cairo sees rows top-down). Null for an empty surface.
cairo_surface_t* createCairoSurface(const Surface& surface);

} // namespace platform::detail
