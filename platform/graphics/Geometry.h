// Integer geometry shared by the window system, graphics and the UI framework.
// Rectangles keep the Windows convention: right and bottom are exclusive.
#pragma once

#include <algorithm>
#include <cstdint>

namespace platform {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static Rect fromSize(int x, int y, int width, int height) { return {x, y, x + width, y + height}; }

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    Size size() const { return {width(), height()}; }
    // Empty when it encloses no pixel.
    bool isEmpty() const { return right <= left || bottom <= top; }
    bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    Rect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    Rect inflate(int dx, int dy) const { return {left - dx, top - dy, right + dx, bottom + dy}; }
    // Common part; an empty rectangle (all zero) when they do not meet.
    Rect intersect(const Rect& o) const {
        Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
        return r.isEmpty() ? Rect{} : r;
    }
    // Smallest rectangle holding both; an empty side is ignored.
    Rect unite(const Rect& o) const {
        if (isEmpty()) return o;
        if (o.isEmpty()) return *this;
        return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A colour as 0xAARRGGBB (not premultiplied unless a function says so).
using Argb = std::uint32_t;

} // namespace platform
