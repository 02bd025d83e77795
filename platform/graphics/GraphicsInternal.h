// Internals shared by the graphics source files; not for use outside platform/Graphics*.cpp.
#pragma once

#include "platform/graphics/Graphics.h"

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace platform::detail {

struct RegionData {
    cairo_region_t* region = nullptr;
    static cairo_region_t* of(const Region& r) { return r.m_data->region; }
    // A moved-from region has no data; give it an empty one so reuse stays safe.
    static void ensure(Region& r) {
        if (!r.m_data) r.m_data = new RegionData{cairo_region_create()};
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

    cairo_surface_t* cairoSurface = nullptr;
    cairo_t* cairo = nullptr;
    std::uint64_t cairoClipVersion = 0;

    ~CanvasData();
    static CanvasData& of(Canvas& c) { return *c.m_data; }
    // A cairo context clipped to the clip region and translated by the origin,
    // with pixels written directly since the last call made known to cairo.
    // Null when the surface is empty. Call finishCairo() after drawing.
    cairo_t* beginCairo();
    void finishCairo();
    void setClip(Region deviceRegion);
};

// RAII owners of the cairo handles we create.
struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

// A cairo image surface over a Surface's pixels (bottom-up surfaces use a
// negative stride so that cairo sees rows top-down). Null for an empty surface.
cairo_surface_t* createCairoSurface(const Surface& surface);

} // namespace platform::detail
