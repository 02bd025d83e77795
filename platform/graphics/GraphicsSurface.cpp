// Pixel storage (Surface), PNG files and integer regions (Region).
#include "platform/graphics/Graphics.h"
#include "platform/graphics/GraphicsInternal.h"

#include <cairo.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace platform {

using detail::mulDiv255;

std::uint32_t premultiply(Argb colour) {
    const std::uint32_t a = colour >> 24;
    if (a == 255) return colour;
    const std::uint32_t r = mulDiv255((colour >> 16) & 0xFF, a);
    const std::uint32_t g = mulDiv255((colour >> 8) & 0xFF, a);
    const std::uint32_t b = mulDiv255(colour & 0xFF, a);
    return (a << 24) | (r << 16) | (g << 8) | b;
}

Argb unpremultiply(std::uint32_t pixel) {
    const std::uint32_t a = pixel >> 24;
    if (a == 255) return pixel;
    if (a == 0) return 0;
    auto channel = [a](std::uint32_t c) { return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a); };
    return (a << 24) | (channel((pixel >> 16) & 0xFF) << 16) | (channel((pixel >> 8) & 0xFF) << 8) |
           channel(pixel & 0xFF);
}

// --- Surface ---

Surface::Surface(int width, int height, RowOrder order) : m_order(order) {
    if (width <= 0 || height <= 0) return;
    // Keep width × 4 and the pixel count well inside int for cairo and callers.
    if (static_cast<long long>(width) * height > (std::numeric_limits<int>::max() / 4) ||
        width > std::numeric_limits<int>::max() / 4)
        return;
    try {
        m_owned.assign(static_cast<std::size_t>(width) * height, 0u);
    } catch (const std::bad_alloc&) {
        return;
    }
    m_width = width;
    m_height = height;
    m_stride = width * 4;
    m_bits = reinterpret_cast<std::uint8_t*>(m_owned.data());
}

Surface Surface::wrap(void* bits, int width, int height, int strideBytes, RowOrder order) {
    Surface s;
    if (!bits || width <= 0 || height <= 0 || strideBytes < width * 4 || strideBytes % 4 != 0) return s;
    s.m_width = width;
    s.m_height = height;
    s.m_stride = strideBytes;
    s.m_order = order;
    s.m_bits = static_cast<std::uint8_t*>(bits);
    return s;
}

Surface Surface::fromRgba(const std::uint8_t* rgba, int width, int height, RowOrder order) {
    Surface s(width, height, order);
    if (s.isEmpty() || !rgba) return Surface();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = rgba + static_cast<std::size_t>(y) * width * 4;
        std::uint32_t* out = s.row(y);
        for (int x = 0; x < width; ++x, in += 4)
            out[x] = premultiply((Argb(in[3]) << 24) | (Argb(in[0]) << 16) | (Argb(in[1]) << 8) | in[2]);
    }
    return s;
}

Surface::Surface(Surface&& other) noexcept
    : m_width(other.m_width), m_height(other.m_height), m_stride(other.m_stride), m_order(other.m_order),
      m_bits(other.m_bits), m_owned(std::move(other.m_owned)) {
    other.m_width = other.m_height = other.m_stride = 0;
    other.m_bits = nullptr;
}

Surface& Surface::operator=(Surface&& other) noexcept {
    if (this != &other) {
        m_width = other.m_width;
        m_height = other.m_height;
        m_stride = other.m_stride;
        m_order = other.m_order;
        m_bits = other.m_bits;
        m_owned = std::move(other.m_owned);
        other.m_width = other.m_height = other.m_stride = 0;
        other.m_bits = nullptr;
    }
    return *this;
}

Surface::~Surface() = default;

Surface Surface::clone() const {
    Surface copy(m_width, m_height, m_order);
    for (int y = 0; y < copy.height(); ++y) std::memcpy(copy.row(y), row(y), static_cast<std::size_t>(m_width) * 4);
    return copy;
}

std::uint32_t* Surface::row(int y) {
    assert(y >= 0 && y < m_height);
    const int memoryRow = m_order == RowOrder::TopDown ? y : m_height - 1 - y;
    return reinterpret_cast<std::uint32_t*>(m_bits + static_cast<std::size_t>(memoryRow) * m_stride);
}

const std::uint32_t* Surface::row(int y) const { return const_cast<Surface*>(this)->row(y); }

std::uint32_t Surface::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
    return row(y)[x];
}

void Surface::setPixel(int x, int y, std::uint32_t value) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
    row(y)[x] = value;
}

void Surface::clear(std::uint32_t value) {
    if (isEmpty()) return;
    std::fill_n(row(0), m_width, value);
    for (int y = 1; y < m_height; ++y) std::memcpy(row(y), row(0), static_cast<std::size_t>(m_width) * 4);
}

bool Surface::writePng(const std::string& path) const {
    if (isEmpty()) return false;
    std::unique_ptr<cairo_surface_t, detail::CairoSurfaceDeleter> cs(detail::createCairoSurface(*this));
    if (!cs || cairo_surface_status(cs.get()) != CAIRO_STATUS_SUCCESS) return false;
    return cairo_surface_write_to_png(cs.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

Surface Surface::readPng(const std::string& path) {
    std::unique_ptr<cairo_surface_t, detail::CairoSurfaceDeleter> png(
        cairo_image_surface_create_from_png(path.c_str()));
    if (cairo_surface_status(png.get()) != CAIRO_STATUS_SUCCESS) return Surface();
    const cairo_format_t format = cairo_image_surface_get_format(png.get());
    const int w = cairo_image_surface_get_width(png.get());
    const int h = cairo_image_surface_get_height(png.get());
    Surface out(w, h);
    if (out.isEmpty()) return out;
    if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) {
        // Grey or 16-bit files: let cairo convert by painting onto ARGB32.
        std::unique_ptr<cairo_surface_t, detail::CairoSurfaceDeleter> target(detail::createCairoSurface(out));
        std::unique_ptr<cairo_t, detail::CairoDeleter> cr(cairo_create(target.get()));
        cairo_set_source_surface(cr.get(), png.get(), 0, 0);
        cairo_paint(cr.get());
        cairo_surface_flush(target.get());
        return out;
    }
    cairo_surface_flush(png.get());
    const std::uint8_t* data = cairo_image_surface_get_data(png.get());
    const int stride = cairo_image_surface_get_stride(png.get());
    const std::uint32_t alphaFill = format == CAIRO_FORMAT_RGB24 ? 0xFF000000u : 0u;
    for (int y = 0; y < h; ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
        std::uint32_t* o = out.row(y);
        for (int x = 0; x < w; ++x) o[x] = in[x] | alphaFill;
    }
    return out;
}

namespace detail {

cairo_surface_t* createCairoSurface(const Surface& surface) {
    if (surface.isEmpty()) return nullptr;
    auto* data = const_cast<std::uint8_t*>(surface.bits());
    int stride = surface.stride();
    if (surface.rowOrder() == RowOrder::BottomUp) {
        data += static_cast<std::size_t>(surface.height() - 1) * stride;
        stride = -stride;
    }
    return cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, surface.width(), surface.height(), stride);
}

} // namespace detail

// --- Region ---

namespace {

cairo_rectangle_int_t toCairo(const Rect& r) { return {r.left, r.top, r.width(), r.height()}; }

} // namespace

Region::Region() : m_data(std::make_unique<detail::RegionData>(cairo_region_create())) {}

Region::Region(const Rect& rect) {
    if (rect.isEmpty()) {
        m_data = std::make_unique<detail::RegionData>(cairo_region_create());
    } else {
        const cairo_rectangle_int_t r = toCairo(rect);
        m_data = std::make_unique<detail::RegionData>(cairo_region_create_rectangle(&r));
    }
}

Region Region::roundRect(const Rect& rect, int cornerWidth, int cornerHeight) {
    if (rect.isEmpty()) return Region();
    const int cw = std::clamp(cornerWidth, 0, rect.width());
    const int ch = std::clamp(cornerHeight, 0, rect.height());
    if (cw < 2 || ch < 2) return Region(rect);
    // One rectangle per row of the corner bands, one for the straight middle.
    const double a = cw / 2.0;
    const double b = ch / 2.0;
    const int band = (ch + 1) / 2;
    std::vector<cairo_rectangle_int_t> rows;
    rows.reserve(static_cast<std::size_t>(band) * 2 + 1);
    auto insetAt = [&](int dy) {
        // Pixel row dy of the top band; its centre is dy + 0.5 from the top edge.
        const double v = (b - (dy + 0.5)) / b;
        const double half = v >= 1.0 ? 0.0 : a * std::sqrt(1.0 - v * v);
        return std::clamp(static_cast<int>(std::ceil(a - half - 0.5)), 0, (rect.width() + 1) / 2);
    };
    for (int dy = 0; dy < band; ++dy) {
        const int inset = insetAt(dy);
        const int w = rect.width() - 2 * inset;
        if (w <= 0) continue;
        rows.push_back({rect.left + inset, rect.top + dy, w, 1});
        if (rect.bottom - 1 - dy != rect.top + dy) rows.push_back({rect.left + inset, rect.bottom - 1 - dy, w, 1});
    }
    if (rect.height() > 2 * band) rows.push_back({rect.left, rect.top + band, rect.width(), rect.height() - 2 * band});
    Region out;
    out.m_data->region.reset(cairo_region_create_rectangles(rows.data(), static_cast<int>(rows.size())));
    return out;
}

namespace {
cairo_region_t* copyOf(const Region& r) {
    return r.isEmpty() ? cairo_region_create() : cairo_region_copy(detail::RegionData::of(r));
}
} // namespace

Region::Region(const Region& other) : m_data(std::make_unique<detail::RegionData>(copyOf(other))) {}

Region& Region::operator=(const Region& other) {
    if (this != &other) {
        detail::RegionData::ensure(*this);
        m_data->region.reset(copyOf(other));
    }
    return *this;
}

Region::Region(Region&& other) noexcept = default;

Region& Region::operator=(Region&& other) noexcept {
    std::swap(m_data, other.m_data);
    return *this;
}

Region::~Region() = default;

bool Region::isEmpty() const { return !m_data || cairo_region_is_empty(m_data->region.get()); }

Rect Region::bounds() const {
    if (isEmpty()) return {};
    cairo_rectangle_int_t e;
    cairo_region_get_extents(m_data->region.get(), &e);
    return Rect::fromSize(e.x, e.y, e.width, e.height);
}

bool Region::contains(Point p) const { return m_data && cairo_region_contains_point(m_data->region.get(), p.x, p.y); }

void Region::intersect(const Region& other) {
    detail::RegionData::ensure(*this);
    if (!other.m_data) {
        m_data->region.reset(cairo_region_create());
        return;
    }
    cairo_region_intersect(m_data->region.get(), other.m_data->region.get());
}

void Region::intersect(const Rect& rect) {
    detail::RegionData::ensure(*this);
    if (rect.isEmpty()) {
        m_data->region.reset(cairo_region_create());
        return;
    }
    const cairo_rectangle_int_t r = toCairo(rect);
    cairo_region_intersect_rectangle(m_data->region.get(), &r);
}

void Region::unite(const Region& other) {
    detail::RegionData::ensure(*this);
    if (other.m_data) cairo_region_union(m_data->region.get(), other.m_data->region.get());
}

void Region::subtract(const Region& other) {
    detail::RegionData::ensure(*this);
    if (other.m_data) cairo_region_subtract(m_data->region.get(), other.m_data->region.get());
}

void Region::offset(int dx, int dy) {
    if (m_data) cairo_region_translate(m_data->region.get(), dx, dy);
}

std::vector<Rect> Region::rects() const {
    std::vector<Rect> out;
    if (!m_data) return out;
    const int n = cairo_region_num_rectangles(m_data->region.get());
    out.reserve(n);
    for (int i = 0; i < n; ++i) {
        cairo_rectangle_int_t r;
        cairo_region_get_rectangle(m_data->region.get(), i, &r);
        out.push_back(Rect::fromSize(r.x, r.y, r.width, r.height));
    }
    return out;
}

bool operator==(const Region& a, const Region& b) {
    if (a.isEmpty() || b.isEmpty()) return a.isEmpty() == b.isEmpty();
    return cairo_region_equal(a.m_data->region.get(), b.m_data->region.get());
}

} // namespace platform
