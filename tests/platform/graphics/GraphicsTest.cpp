// Surfaces, regions and the pixel-exact canvas operations.
#include "platform/graphics/Graphics.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace platform;

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

// A 4 × 2 source with a distinct opaque value per pixel: 0xFF00yyxx.
Surface numbered(int w = 4, int h = 2) {
    Surface s(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) s.setPixel(x, y, 0xFF000000u | (y << 8) | x);
    return s;
}

// Counts pixels of one value inside a rectangle.
int count(const Surface& s, const Rect& r, std::uint32_t value) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) n += s.pixel(x, y) == value;
    return n;
}

std::string tempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string("quellan-gfx-") + name)).string();
}

TEST(GraphicsSurface, StoresBgraBytesAndAddressesRowsByOrder) {
    Surface top(2, 2), bottom(2, 2, RowOrder::BottomUp);
    top.setPixel(1, 0, 0x80402010);
    bottom.setPixel(1, 0, 0x80402010);
    const std::uint8_t bgra[4] = {0x10, 0x20, 0x40, 0x80};
    EXPECT_EQ(std::memcmp(top.bits() + 4, bgra, 4), 0);
    // Bottom-up: visual row 0 is the last memory row.
    EXPECT_EQ(std::memcmp(bottom.bits() + bottom.stride() + 4, bgra, 4), 0);
    EXPECT_EQ(bottom.pixel(1, 0), 0x80402010u);
    EXPECT_EQ(top.pixel(-1, 0), 0u); // outside reads 0

    EXPECT_TRUE(Surface(0, 5).isEmpty());
    EXPECT_TRUE(Surface(-3, 5).isEmpty());
}

TEST(GraphicsSurface, PremultiplyRoundTripsAndConvertsRgba) {
    EXPECT_EQ(premultiply(0x80FF0000), 0x80800000u);
    EXPECT_EQ(premultiply(0xFF123456), 0xFF123456u);
    EXPECT_EQ(premultiply(0x00FFFFFF), 0u);
    EXPECT_EQ(unpremultiply(0x80800000), 0x80FF0000u);
    const std::uint8_t rgba[8] = {255, 0, 0, 128, 1, 2, 3, 255};
    Surface s = Surface::fromRgba(rgba, 2, 1);
    EXPECT_EQ(s.pixel(0, 0), 0x80800000u);
    EXPECT_EQ(s.pixel(1, 0), 0xFF010203u);
}

TEST(GraphicsSurface, PngRoundTripKeepsPixelsOfBothRowOrders) {
    for (RowOrder order : {RowOrder::TopDown, RowOrder::BottomUp}) {
        Surface s(3, 2, order);
        s.setPixel(0, 0, kRed);
        s.setPixel(2, 1, 0x80008000); // half-transparent green, premultiplied
        const std::string path = tempPath("roundtrip.png");
        ASSERT_TRUE(s.writePng(path));
        Surface back = Surface::readPng(path);
        ASSERT_EQ(back.size(), (Size{3, 2}));
        EXPECT_EQ(back.pixel(0, 0), kRed);
        EXPECT_EQ(back.pixel(2, 1), 0x80008000u);
        EXPECT_EQ(back.pixel(1, 1), 0u);
        std::filesystem::remove(path);
    }
    EXPECT_TRUE(Surface::readPng(tempPath("missing.png")).isEmpty());
    EXPECT_FALSE(Surface().writePng(tempPath("empty.png")));
}

TEST(GraphicsRegion, SetOperationsAndBounds) {
    Region r(Rect{0, 0, 10, 10});
    r.subtract(Region(Rect{0, 0, 5, 10}));
    EXPECT_EQ(r.bounds(), (Rect{5, 0, 10, 10}));
    r.unite(Region(Rect{20, 20, 21, 21}));
    EXPECT_EQ(r.bounds(), (Rect{5, 0, 21, 21}));
    EXPECT_TRUE(r.contains({20, 20}));
    EXPECT_FALSE(r.contains({21, 21}));
    r.intersect(Rect{0, 0, 6, 6});
    EXPECT_EQ(r, Region(Rect{5, 0, 6, 6}));
    r.offset(1, 1);
    EXPECT_EQ(r.bounds(), (Rect{6, 1, 7, 7}));
    EXPECT_TRUE(Region(Rect{3, 3, 3, 9}).isEmpty());
    EXPECT_EQ(Region().bounds(), Rect{});

    Region moved = std::move(r);
    r = moved; // a moved-from region is reusable
    EXPECT_EQ(r, moved);
}

TEST(GraphicsRegion, RoundRectCutsCornersSymmetrically) {
    const Region rr = Region::roundRect({0, 0, 20, 10}, 8, 8);
    EXPECT_EQ(rr.bounds(), (Rect{0, 0, 20, 10}));
    for (Point corner : {Point{0, 0}, Point{19, 0}, Point{0, 9}, Point{19, 9}}) EXPECT_FALSE(rr.contains(corner));
    for (Point edge : {Point{10, 0}, Point{10, 9}, Point{0, 5}, Point{19, 5}, Point{1, 2}})
        EXPECT_TRUE(rr.contains(edge));
    // Mirror symmetry: the right half mirrors the left, the bottom the top.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            EXPECT_EQ(rr.contains({x, y}), rr.contains({19 - x, y})) << x << "," << y;
            EXPECT_EQ(rr.contains({x, y}), rr.contains({x, 9 - y})) << x << "," << y;
        }
    EXPECT_EQ(Region::roundRect({0, 0, 5, 5}, 0, 0), Region(Rect{0, 0, 5, 5}));
}

TEST(GraphicsCanvas, FillRespectsOriginClipAndEdges) {
    Surface s(10, 10);
    Canvas c(s);
    c.setOrigin({2, 1});
    c.fillRect({0, 0, 3, 2}, 0x00FF0000); // alpha byte ignored: opaque red
    EXPECT_EQ(count(s, s.bounds(), kRed), 6);
    EXPECT_EQ(count(s, {2, 1, 5, 3}, kRed), 6);

    s.clear();
    c.setOrigin({});
    c.intersectClipRect({2, 2, 5, 5});
    EXPECT_EQ(c.clipBox(), (Rect{2, 2, 5, 5}));
    c.fillRect({0, 0, 10, 10}, kBlue);
    EXPECT_EQ(count(s, s.bounds(), kBlue), 9);
    EXPECT_EQ(count(s, {2, 2, 5, 5}, kBlue), 9);
    EXPECT_TRUE(c.isVisible({4, 4, 9, 9}));
    EXPECT_FALSE(c.isVisible({5, 5, 9, 9}));

    c.offsetOrigin(1, 1); // clip box follows the origin in logical coordinates
    EXPECT_EQ(c.clipBox(), (Rect{1, 1, 4, 4}));
}

TEST(GraphicsCanvas, SaveRestoreAndSelectClipRegionBack) {
    Surface s(10, 10);
    Canvas c(s);
    const Region outer = c.clipRegion();
    const int level = c.save();
    c.setOrigin({3, 3});
    c.intersectClipRect({0, 0, 2, 2});
    EXPECT_EQ(c.clipBox(), (Rect{0, 0, 2, 2}));
    c.save();
    c.intersectClipRect({5, 5, 6, 6}); // disjoint: nothing drawable
    EXPECT_TRUE(c.clipBox().isEmpty());
    c.fillRect({0, 0, 10, 10}, kRed);
    EXPECT_EQ(count(s, s.bounds(), kRed), 0);
    c.restoreTo(level);
    EXPECT_EQ(c.origin(), (Point{0, 0}));
    EXPECT_EQ(c.clipBox(), (Rect{0, 0, 10, 10}));
    c.restore(); // nothing left to pop: harmless

    c.intersectClipRect({0, 0, 4, 4});
    const Region inner = c.clipRegion();
    c.selectClipRegion(outer);
    EXPECT_EQ(c.clipBox(), (Rect{0, 0, 10, 10}));
    c.selectClipRegion(inner);
    EXPECT_EQ(c.clipBox(), (Rect{0, 0, 4, 4}));
    c.selectClipRegion(Region(Rect{-5, -5, 50, 50})); // limited to the surface
    EXPECT_EQ(c.clipBox(), s.bounds());
    c.intersectClipRect({1, 1, 3, 3});
    c.resetClip();
    EXPECT_EQ(c.clipBox(), s.bounds());
}

TEST(GraphicsCanvas, RoundRectClipLeavesCornersUntouched) {
    Surface s(20, 20);
    Canvas c(s);
    c.intersectClipRoundRect({0, 0, 20, 20}, 10, 10);
    c.fillRect({0, 0, 20, 20}, kGreen);
    EXPECT_EQ(s.pixel(0, 0), 0u);
    EXPECT_EQ(s.pixel(19, 19), 0u);
    EXPECT_EQ(s.pixel(10, 0), kGreen);
    EXPECT_EQ(s.pixel(10, 10), kGreen);
    EXPECT_EQ(count(s, s.bounds(), kGreen), 400 - count(s, s.bounds(), 0));
    EXPECT_GT(count(s, s.bounds(), 0), 8); // every corner loses several pixels
}

TEST(GraphicsCanvas, CopyTakesAllChannelsAndSkipsMissingSource) {
    const Surface src = numbered();
    Surface dst(6, 4);
    dst.clear(kWhite);
    Canvas c(dst);
    c.copyFrom(src, {1, 1, 4, 3}, {1, 0});
    EXPECT_EQ(dst.pixel(1, 1), 0xFF000001u);
    EXPECT_EQ(dst.pixel(3, 2), 0xFF000103u);
    EXPECT_EQ(dst.pixel(0, 1), kWhite);
    // A source rectangle reaching past the source leaves those pixels alone.
    c.copyFrom(src, {0, 0, 6, 1}, {2, 1});
    EXPECT_EQ(dst.pixel(0, 0), 0xFF000102u);
    EXPECT_EQ(dst.pixel(1, 0), 0xFF000103u);
    EXPECT_EQ(dst.pixel(2, 0), kWhite);
    // Transparent source pixels are copied, not blended.
    Surface clear(2, 2);
    c.copyFrom(clear, {4, 2, 6, 4}, {0, 0});
    EXPECT_EQ(dst.pixel(5, 3), 0u);
}

TEST(GraphicsCanvas, CopyWithinOneSurfaceHandlesOverlap) {
    Surface s = numbered(4, 1);
    Canvas c(s);
    c.copyFrom(s, {1, 0, 4, 1}, {0, 0}); // shift right by one
    EXPECT_EQ(s.pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(s.pixel(1, 0), 0xFF000000u);
    EXPECT_EQ(s.pixel(2, 0), 0xFF000001u);
    EXPECT_EQ(s.pixel(3, 0), 0xFF000002u);
}

TEST(GraphicsCanvas, StretchUsesNearestNeighbour) {
    const Surface src = numbered();
    Surface dst(8, 4);
    Canvas c(dst);
    c.stretchFrom(src, {0, 0, 8, 4}, {0, 0, 4, 2}); // 2× in both directions
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.pixel(x, y), 0xFF000000u | ((y / 2) << 8) | (x / 2)) << x << "," << y;

    Surface small(2, 1);
    Canvas cs(small);
    cs.stretchFrom(src, {0, 0, 2, 1}, {0, 0, 4, 1}); // halving samples pixel centres
    EXPECT_EQ(small.pixel(0, 0), 0xFF000001u);
    EXPECT_EQ(small.pixel(1, 0), 0xFF000003u);

    // A single pixel stretched over an area fills it; the clip still holds.
    Surface one(1, 1);
    one.setPixel(0, 0, kRed);
    Surface big(5, 5);
    Canvas cb(big);
    cb.intersectClipRect({0, 0, 5, 2});
    cb.stretchFrom(one, {0, 0, 5, 5}, {0, 0, 1, 1});
    EXPECT_EQ(count(big, big.bounds(), kRed), 10);
}

TEST(GraphicsCanvas, AlphaBlendWithConstantAlpha) {
    Surface src(2, 1);
    src.setPixel(0, 0, kBlue);
    src.setPixel(1, 0, premultiply(0x80FF0000)); // half-transparent red
    Surface dst(2, 1);
    dst.clear(kWhite);
    Canvas c(dst);
    c.alphaBlend(src, {0, 0, 2, 1}, {0, 0, 2, 1}, 255);
    EXPECT_EQ(dst.pixel(0, 0), kBlue);
    EXPECT_EQ(dst.pixel(1, 0), 0xFFFF7F7Fu); // 128 red + 127 of the white left

    dst.clear(kWhite);
    c.alphaBlend(src, {0, 0, 2, 1}, {0, 0, 2, 1}, 128);
    EXPECT_EQ(dst.pixel(0, 0), 0xFF7F7FFFu);
    EXPECT_EQ(dst.pixel(1, 0), 0xFFFFBFBFu);

    // Over a transparent destination the result keeps the scaled alpha.
    Surface clear(1, 1);
    Canvas cc(clear);
    cc.alphaBlend(src, {0, 0, 1, 1}, {0, 0, 1, 1}, 128);
    EXPECT_EQ(clear.pixel(0, 0), 0x80000080u);

    // Stretched blend of a 1 × 1 colour, and alpha 0 changes nothing.
    Surface one(1, 1);
    one.setPixel(0, 0, premultiply(0x80FF0000));
    Surface area(3, 3);
    area.clear(kWhite);
    Canvas ca(area);
    ca.alphaBlend(one, {0, 0, 3, 3}, {0, 0, 1, 1}, 0);
    EXPECT_EQ(count(area, area.bounds(), kWhite), 9);
    ca.alphaBlend(one, {0, 0, 3, 3}, {0, 0, 1, 1}, 255);
    EXPECT_EQ(count(area, area.bounds(), 0xFFFF7F7Fu), 9);
}

TEST(GraphicsCanvas, GradientsHitBothEndsAndTheMiddle) {
    Surface s(5, 5);
    Canvas c(s);
    c.gradientFill({0, 0, 5, 1}, 0x00000000, 0x00FF8040, GradientDirection::Horizontal);
    EXPECT_EQ(s.pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(s.pixel(2, 0), 0xFF804020u);
    EXPECT_EQ(s.pixel(4, 0), 0xFFFF8040u);
    EXPECT_EQ(s.pixel(1, 0), 0xFF402010u);

    c.gradientFill({0, 1, 5, 4}, kRed, kBlue, GradientDirection::Vertical);
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(s.pixel(x, 1), kRed);
        EXPECT_EQ(s.pixel(x, 2), 0xFF800080u);
        EXPECT_EQ(s.pixel(x, 3), kBlue);
    }
    // Clipped gradients keep the colours of the full rectangle.
    Surface t(5, 1);
    Canvas ct(t);
    ct.intersectClipRect({4, 0, 5, 1});
    ct.gradientFill({0, 0, 5, 1}, kRed, kBlue, GradientDirection::Horizontal);
    EXPECT_EQ(t.pixel(4, 0), kBlue);
    EXPECT_EQ(t.pixel(3, 0), 0u);
}

TEST(GraphicsCanvas, LinesExcludeTheirEndPoint) {
    Surface s(10, 10);
    Canvas c(s);
    c.drawLine({1, 1}, {5, 1}, {kRed, 1, PS_SOLID});
    EXPECT_EQ(count(s, s.bounds(), kRed), 4);
    EXPECT_EQ(s.pixel(5, 1), 0u);
    c.drawLine({8, 8}, {8, 3}, {kBlue, 3, PS_SOLID}); // upward, 3 wide: x 7..9, y 4..8
    EXPECT_EQ(count(s, s.bounds(), kBlue), 15);
    EXPECT_EQ(s.pixel(8, 3), 0u);
    EXPECT_EQ(s.pixel(7, 8), kBlue);
    s.clear();
    c.drawLine({0, 0}, {4, 4}, {kGreen, 1, PS_SOLID});
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.pixel(i, i), kGreen);
    EXPECT_EQ(count(s, s.bounds(), kGreen), 4);
    s.clear();
    c.drawLine({0, 0}, {9, 0}, {kGreen, 1, PS_NULL});
    EXPECT_EQ(count(s, s.bounds(), kGreen), 0);
}

TEST(GraphicsCanvas, RectangleOutlinesForEachPenKind) {
    Surface s(12, 12);
    Canvas c(s);
    c.drawRectangle({1, 1, 6, 5}, {kRed, 1, PS_SOLID});
    EXPECT_EQ(count(s, s.bounds(), kRed), 14); // 5×4 outline
    EXPECT_EQ(s.pixel(5, 4), kRed);
    EXPECT_EQ(s.pixel(6, 5), 0u);
    EXPECT_EQ(s.pixel(3, 3), 0u); // null brush: inside untouched

    s.clear();
    c.drawRectangle({2, 2, 10, 10}, {kBlue, 2, PS_INSIDEFRAME});
    EXPECT_EQ(count(s, {2, 2, 10, 10}, kBlue), 64 - 16);
    EXPECT_EQ(count(s, s.bounds(), kBlue), 48);

    s.clear();
    c.drawRectangle({2, 2, 10, 10}, {kBlue, 3, PS_SOLID}); // centred: reaches one pixel outside
    EXPECT_EQ(s.pixel(1, 1), kBlue);
    EXPECT_EQ(s.pixel(0, 0), 0u);
    EXPECT_EQ(s.pixel(3, 3), kBlue);
    EXPECT_EQ(s.pixel(4, 4), 0u);

    s.clear();
    c.drawRectangle({2, 2, 10, 10}, {kBlue, 3, PS_DASH | PS_INSIDEFRAME}); // wide dashes: solid, inside
    EXPECT_EQ(count(s, s.bounds(), kBlue), 64 - 4);
    EXPECT_EQ(s.pixel(1, 1), 0u);

    s.clear();
    c.drawRectangle({0, 0, 12, 12}, {kGreen, 1, PS_DOT});
    const int dots = count(s, s.bounds(), kGreen);
    EXPECT_GT(dots, 18);
    EXPECT_LT(dots, 26); // about half of the 44 outline pixels
    EXPECT_EQ(s.pixel(0, 0), kGreen);
    EXPECT_EQ(s.pixel(3, 0), 0u);
}

TEST(GraphicsCanvas, RoundRectOutlineStaysInsideAndSkipsCorners) {
    Surface s(20, 20);
    Canvas c(s);
    c.drawRoundRect({0, 0, 20, 20}, 8, 8, {kRed, 1, PS_SOLID | PS_INSIDEFRAME});
    EXPECT_EQ(s.pixel(0, 0), 0u);
    EXPECT_EQ(s.pixel(10, 0), kRed);
    EXPECT_EQ(s.pixel(19, 10), kRed);
    EXPECT_EQ(s.pixel(10, 19), kRed);
    EXPECT_EQ(s.pixel(10, 10), 0u);
    EXPECT_EQ(s.pixel(10, 1), 0u);
    // Every row and column of the frame is closed: the frame meets each edge line.
    for (int i = 4; i < 16; ++i) {
        EXPECT_EQ(s.pixel(i, 0), kRed);
        EXPECT_EQ(s.pixel(0, i), kRed);
    }
}

TEST(GraphicsCanvas, DegenerateInputsDrawNothingAndDoNotFail) {
    Surface empty;
    Canvas onEmpty(empty);
    const Surface src = numbered();
    onEmpty.fillRect({0, 0, 10, 10}, kRed);
    onEmpty.copyFrom(src, {0, 0, 4, 2}, {0, 0});
    onEmpty.alphaBlend(src, {0, 0, 8, 8}, src.bounds(), 255);
    onEmpty.gradientFill({0, 0, 10, 10}, kRed, kBlue, GradientDirection::Vertical);
    onEmpty.drawRoundRect({0, 0, 10, 10}, 4, 4, {});
    Rect r{0, 0, 50, 20};
    onEmpty.drawText(L"text", r, DT_SINGLELINE);
    EXPECT_TRUE(onEmpty.clipBox().isEmpty());

    Surface s(4, 4);
    Canvas c(s);
    c.stretchFrom(src, {0, 0, 4, 4}, {0, 0, 0, 2});           // empty source rectangle
    c.alphaBlend(Surface(), {0, 0, 4, 4}, {0, 0, 1, 1}, 255); // empty source
    c.fillRect({3, 3, 1, 1}, kRed);                           // inverted rectangle
    EXPECT_EQ(count(s, s.bounds(), 0), 16);
    // A gradient far larger than the surface only computes what shows.
    c.gradientFill({-1000000000, 0, 1000000000, 4}, 0xFF000000, 0xFF0000FE, GradientDirection::Horizontal);
    EXPECT_EQ(s.pixel(0, 0), 0xFF00007Fu);
    c.stretchFrom(src, {-1000000000, 0, 1000000000, 4}, {0, 0, 4, 2});
    EXPECT_EQ(s.pixel(3, 3), 0xFF000102u);
}

} // namespace
