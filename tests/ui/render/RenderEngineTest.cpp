// Render engine: image-description grammar, nine pieces, tiling, source and
// dest, fade, colour fills, gradients, clip scopes. Pixel-exact where the
// geometry is exact; stretched pieces are checked for the source range.
#include "ui/render/RenderEngine.h"

#include "ui/core/FormManagerUI.h"
#include "tests/ui/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace fs = std::filesystem;
using platform::Argb;
using platform::Canvas;
using platform::Rect;
using platform::Surface;

namespace {

// --- Grammar --------------------------------------------------------------

struct GrammarCase {
    const char* what;
    const wchar_t* text;
    const wchar_t* name;
    const wchar_t* type;
    Rect dest, source, corner;
    int fade;
    bool hole, xtiled, ytiled;
    std::uint32_t mask;
};

const GrammarCase kGrammar[] = {
    {"plain name", L"img/main_bk.png", L"img/main_bk.png", L"", {}, {}, {}, 255, false, false, false, 0},
    {"plain name with spaces", L"my image.png", L"my image.png", L"", {}, {}, {}, 255, false, false, false, 0},
    {"source and dest",
     L"file='a.png' source='0,0,20,20' dest='5,5,25,25'",
     L"a.png",
     L"",
     {5, 5, 25, 25},
     {0, 0, 20, 20},
     {},
     255,
     false,
     false,
     false,
     0},
    {"two spaces between entries", L"file='a.png'  fade='128'", L"a.png", L"", {}, {}, {}, 128, false, false, false, 0},
    {"a comma ends the list", L"file='a.png',fade='128'", L"a.png", L"", {}, {}, {}, 255, false, false, false, 0},
    {"empty value ignored", L"file='' res='x.png'", L"x.png", L"", {}, {}, {}, 255, false, false, false, 0},
    {"resource with type", L"res='12' restype='PNG'", L"12", L"PNG", {}, {}, {}, 255, false, false, false, 0},
    {"restype alone is not used",
     L"file='a.png' restype='PNG'",
     L"a.png",
     L"",
     {},
     {},
     {},
     255,
     false,
     false,
     false,
     0},
    {"colour", L"color='#80FF0000'", L"#80FF0000", L"*COLOR*", {}, {}, {}, 255, false, false, false, 0},
    // "file" names the image; the type that "res" or "color" chose stays.
    {"file after res keeps the type",
     L"res='12' restype='PNG' file='b.png'",
     L"b.png",
     L"PNG",
     {},
     {},
     {},
     255,
     false,
     false,
     false,
     0},
    {"file after colour keeps the type",
     L"color='#FF00FF00' file='c.png'",
     L"c.png",
     L"*COLOR*",
     {},
     {},
     {},
     255,
     false,
     false,
     false,
     0},
    {"flags are exactly true",
     L"file='a' hole='true' xtiled='TRUE' ytiled='true' mask='#FFFF00FF'",
     L"a",
     L"",
     {},
     {},
     {},
     255,
     true,
     false,
     true,
     0xFFFF00FF},
    {"corner and scale9", L"file='a' scale9='1,2,3,4'", L"a", L"", {}, {}, {1, 2, 3, 4}, 255, false, false, false, 0},
    {"short rectangle", L"file='a' dest='1,2'", L"a", L"", {1, 2, 0, 0}, {}, {}, 255, false, false, false, 0},
    {"unterminated value stops the parse",
     L"file='a.png' fade='128",
     L"a.png",
     L"",
     {},
     {},
     {},
     255,
     false,
     false,
     false,
     0},
    {"fade is clamped", L"file='a' fade='999'", L"a", L"", {}, {}, {}, 255, false, false, false, 0},
    {"unknown keys ignored", L"file='a' shine='yes' fade='7'", L"a", L"", {}, {}, {}, 7, false, false, false, 0},
};

TEST(ImageDescriptionGrammar, ParsesTable) {
    for (const GrammarCase& c : kGrammar) {
        SCOPED_TRACE(c.what);
        render::ParsedImageDescription p = render::parseImageDescription(c.text);
        EXPECT_EQ(p.name, c.name);
        EXPECT_EQ(p.type, c.type);
        EXPECT_EQ(p.dest, c.dest);
        EXPECT_EQ(p.source, c.source);
        EXPECT_EQ(p.corner, c.corner);
        EXPECT_EQ(p.fade, c.fade);
        EXPECT_EQ(p.hole, c.hole);
        EXPECT_EQ(p.xtiled, c.xtiled);
        EXPECT_EQ(p.ytiled, c.ytiled);
        EXPECT_EQ(p.mask, c.mask);
    }
}

// --- Drawing --------------------------------------------------------------

constexpr Argb kBackground = 0xFF0000F0;

// Pixel (x, y) of grid.png tells its own coordinates: red = 16x, green = 16y.
Argb gridPixel(int x, int y) { return 0xFF000000u | (x * 16) << 16 | (y * 16) << 8 | 0x55; }

struct SourcePoint {
    int x = -1, y = -1;
};

class DrawTest : public ::testing::Test {
public:
    testsupport::SkinSourceGuard guard;
    testsupport::ScratchFolder scratch;
    fs::path dir;
    Surface surface{60, 50};
    std::unique_ptr<Canvas> canvas;
    std::unique_ptr<CFormManagerUI> manager;
    const Rect item{10, 10, 40, 30};

    void SetUp() override {
        dir = scratch.path();
        testsupport::writePng(dir / "grid.png", 12, 12, gridPixel);
        fs::current_path(dir);
        canvas = std::make_unique<Canvas>(surface);
        canvas->fillRect(surface.bounds(), kBackground);
        manager = std::make_unique<CFormManagerUI>();
    }

    bool draw(const wchar_t* description, Rect paint = {0, 0, 60, 50}) {
        ImageDescription d;
        d.setDescription(description);
        return render::drawImageDescription(canvas.get(), manager.get(), item, paint, d);
    }

    SourcePoint sourceAt(int x, int y) const {
        std::uint32_t p = surface.pixel(x, y);
        if (p == kBackground) return {};
        return {static_cast<int>((p >> 16) & 0xFF) / 16, static_cast<int>((p >> 8) & 0xFF) / 16};
    }
    bool isBackground(int x, int y) const { return surface.pixel(x, y) == kBackground; }
    void writeActual(const char* name) const { surface.writePng((dir / name).string()); }
};

TEST_F(DrawTest, PlainNameStretchesTheWholeImageOverTheItem) {
    ASSERT_TRUE(draw(L"grid.png"));
    EXPECT_EQ(sourceAt(10, 10).x, 0);
    EXPECT_EQ(sourceAt(10, 10).y, 0);
    EXPECT_EQ(sourceAt(39, 29).x, 11);
    EXPECT_EQ(sourceAt(39, 29).y, 11);
    EXPECT_TRUE(isBackground(9, 10));
    EXPECT_TRUE(isBackground(40, 29));
    EXPECT_TRUE(isBackground(39, 30));
}

// Checks the border pieces of grid.png drawn with 4-pixel corners over the
// item: corners unscaled, edges stretched along one axis only.
void expectBorders(const DrawTest& t, const Rect& item) {
    for (int dy = 0; dy < item.height(); ++dy) {
        for (int dx = 0; dx < item.width(); ++dx) {
            bool left = dx < 4, right = dx >= item.width() - 4, top = dy < 4, bottom = dy >= item.height() - 4;
            if (!(left || right || top || bottom)) continue;
            SourcePoint s = t.sourceAt(item.left + dx, item.top + dy);
            SCOPED_TRACE(::testing::Message() << "dest " << dx << "," << dy);
            int wantX = left ? dx : right ? 8 + dx - (item.width() - 4) : -1;
            int wantY = top ? dy : bottom ? 8 + dy - (item.height() - 4) : -1;
            if (wantX >= 0) {
                EXPECT_EQ(s.x, wantX);
            } else {
                EXPECT_TRUE(s.x >= 4 && s.x < 8);
            }
            if (wantY >= 0) {
                EXPECT_EQ(s.y, wantY);
            } else {
                EXPECT_TRUE(s.y >= 4 && s.y < 8);
            }
        }
    }
}

TEST_F(DrawTest, NinePiecesKeepCornersAndStretchTheMiddle) {
    ASSERT_TRUE(draw(L"file='grid.png' corner='4,4,4,4'"));
    expectBorders(*this, item);
    int previous = -1;
    for (int x = 14; x < 36; ++x) {
        SourcePoint s = sourceAt(x, 20);
        EXPECT_TRUE(s.x >= 4 && s.x < 8);
        EXPECT_GE(s.x, previous) << "stretching keeps the order";
        previous = s.x;
    }
    EXPECT_EQ(sourceAt(14, 14).x, 4);
    EXPECT_EQ(sourceAt(35, 25).x, 7);
    if (HasFailure()) writeActual("ninepieces-actual.png");
}

TEST_F(DrawTest, HoleLeavesTheMiddleEmpty) {
    ASSERT_TRUE(draw(L"file='grid.png' corner='4,4,4,4' hole='true'"));
    expectBorders(*this, item);
    for (int y = 14; y < 26; ++y)
        for (int x = 14; x < 36; ++x) EXPECT_TRUE(isBackground(x, y)) << x << "," << y;
}

TEST_F(DrawTest, TilingRepeatsTheSourceMiddle) {
    struct Case {
        const wchar_t* description;
        bool x, y;
    };
    for (Case c : {Case{L"file='grid.png' corner='4,4,4,4' xtiled='true'", true, false},
                   Case{L"file='grid.png' corner='4,4,4,4' ytiled='true'", false, true},
                   Case{L"file='grid.png' corner='4,4,4,4' xtiled='true' ytiled='true'", true, true}}) {
        SCOPED_TRACE(std::string(c.description, c.description + wcslen(c.description)));
        canvas->fillRect(surface.bounds(), kBackground);
        ASSERT_TRUE(draw(c.description));
        expectBorders(*this, item);
        // Middle: 22 × 12 pixels from a 4 × 4 source middle.
        for (int dy = 0; dy < 12; ++dy) {
            for (int dx = 0; dx < 22; ++dx) {
                SourcePoint s = sourceAt(14 + dx, 14 + dy);
                if (c.x) {
                    EXPECT_EQ(s.x, 4 + dx % 4);
                } else {
                    EXPECT_TRUE(s.x >= 4 && s.x < 8);
                }
                if (c.y) {
                    EXPECT_EQ(s.y, 4 + dy % 4);
                } else {
                    EXPECT_TRUE(s.y >= 4 && s.y < 8);
                }
            }
        }
    }
}

TEST_F(DrawTest, SourceAndDestPickAndPlace) {
    ASSERT_TRUE(draw(L"file='grid.png' source='0,0,5,5' dest='5,5,10,10'"));
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 60; ++x) {
            bool inside = x >= 15 && x < 20 && y >= 15 && y < 20;
            if (inside) {
                EXPECT_EQ(surface.pixel(x, y), gridPixel(x - 15, y - 15));
            } else {
                EXPECT_TRUE(isBackground(x, y)) << x << "," << y;
            }
        }
    }
    // A dest beyond the item is cut at the item's edge.
    canvas->fillRect(surface.bounds(), kBackground);
    ASSERT_TRUE(draw(L"file='grid.png' dest='20,5,50,10'"));
    EXPECT_FALSE(isBackground(39, 15));
    EXPECT_TRUE(isBackground(40, 15));
    EXPECT_EQ(sourceAt(30, 15).x, 0);
}

TEST_F(DrawTest, OnlyPiecesMeetingThePaintRectangleAreDrawnWhole) {
    ASSERT_TRUE(draw(L"file='grid.png' corner='4,4,4,4'", {0, 0, 12, 12}));
    EXPECT_EQ(sourceAt(13, 13).x, 3) << "the whole top-left piece";
    EXPECT_TRUE(isBackground(20, 10)) << "top edge does not meet the paint rectangle";
    EXPECT_TRUE(isBackground(20, 20));
    EXPECT_TRUE(isBackground(10, 20));
}

TEST_F(DrawTest, FadeAndColourBlend) {
    canvas->fillRect(surface.bounds(), 0xFF000000);
    ASSERT_TRUE(draw(L"file='grid.png' fade='128'"));
    std::uint32_t p = surface.pixel(39, 29); // source (11, 11): red 176
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 176 * 128 / 255, 1);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 0x55 * 128 / 255, 1);

    canvas->fillRect(surface.bounds(), 0xFFFFFFFF);
    ASSERT_TRUE(draw(L"color='#80FF0000'"));
    p = surface.pixel(20, 20);
    EXPECT_EQ(p >> 24, 0xFFu);
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 255, 1);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 127, 1);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 127, 1);
    EXPECT_EQ(surface.pixel(9, 9), 0xFFFFFFFFu);
}

TEST_F(DrawTest, RestypeWithoutResLoadsAFile) { EXPECT_TRUE(draw(L"file='grid.png' restype='PNG'")); }

TEST_F(DrawTest, FailedImageIsNotRetriedUntilReset) {
    ImageDescription d;
    d.setDescription(L"file='late.png'");
    EXPECT_FALSE(render::drawImageDescription(canvas.get(), manager.get(), item, item, d));
    EXPECT_TRUE(d.attempted);
    testsupport::writePng(dir / "late.png", 2, 2, [](int, int) { return 0xFF123456u; });
    EXPECT_FALSE(render::drawImageDescription(canvas.get(), manager.get(), item, item, d));
    EXPECT_TRUE(isBackground(20, 20));
    d.setDescription(L"file='late.png'");
    EXPECT_TRUE(render::drawImageDescription(canvas.get(), manager.get(), item, item, d));
    EXPECT_EQ(surface.pixel(20, 20), 0xFF123456u);
}

TEST_F(DrawTest, PreloadWithoutCanvasAndNothingWithoutManager) {
    ImageDescription d;
    d.setDescription(L"file='grid.png' source='0,0,99,99'");
    EXPECT_TRUE(render::drawImageDescription(nullptr, nullptr, item, item, d));
    EXPECT_EQ(d.image, nullptr);
    EXPECT_TRUE(render::drawImageDescription(nullptr, manager.get(), item, item, d));
    ASSERT_NE(d.image, nullptr);
    EXPECT_EQ(d.source, (Rect{0, 0, 12, 12})) << "the source is clamped to the image";
    EXPECT_TRUE(isBackground(20, 20));
    d.reset();
    EXPECT_EQ(d.image, nullptr);
    EXPECT_EQ(d.fade, 255);
    EXPECT_FALSE(render::drawImageDescription(canvas.get(), manager.get(), item, item, d)) << "empty description";
}

// --- Fills, lines, clips ---------------------------------------------------

class FillTest : public ::testing::Test {
protected:
    Surface surface{20, 10};
    Canvas canvas{surface};
    void SetUp() override { canvas.fillRect(surface.bounds(), 0xFF000000); }
    void TearDown() override { render::setSmoothGradients(true); }
};

TEST_F(FillTest, TransparentFillsDrawNothing) {
    render::fillColour(canvas, surface.bounds(), 0x00FFFFFF);
    render::fillGradient(canvas, surface.bounds(), 0x00FFFFFF, 0x00FF0000, true, 16);
    render::fillGradient(canvas, surface.bounds(), 0x01FFFFFF, 0x00FF0000, true, 16); // average 0
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(surface.pixel(x, y), 0xFF000000u);
    render::fillColour(canvas, {2, 2, 4, 4}, 0xFF00FF00);
    EXPECT_EQ(surface.pixel(3, 3), 0xFF00FF00u);
    EXPECT_EQ(surface.pixel(4, 4), 0xFF000000u);
}

TEST_F(FillTest, SmoothGradientEndsOnBothColours) {
    render::fillGradient(canvas, surface.bounds(), 0xFFFF0000, 0xFF0000FF, /*vertical=*/true, 16);
    EXPECT_EQ(surface.pixel(5, 0), 0xFFFF0000u);
    EXPECT_EQ(surface.pixel(5, 9), 0xFF0000FFu);
    render::fillGradient(canvas, surface.bounds(), 0xFF00FF00, 0xFF000000, /*vertical=*/false, 16);
    EXPECT_EQ(surface.pixel(0, 5), 0xFF00FF00u);
    EXPECT_EQ(surface.pixel(19, 5), 0xFF000001u) << "black is drawn as blue 1";
}

TEST_F(FillTest, BandedGradientFromTheFarEdge) {
    render::setSmoothGradients(false);
    // Two bands (steps < 4): the lower half has the second colour, the upper
    // half the mean.
    render::fillGradient(canvas, surface.bounds(), 0xFF804020, 0xFF00C0F0, /*vertical=*/true, 2);
    for (int y = 0; y < 10; ++y) {
        Argb expected = y >= 5 ? 0xFF00C0F0u : 0xFF408088u;
        EXPECT_EQ(surface.pixel(7, y), expected) << y;
    }
    // Eight bands across 20 columns (steps 8 to 15), from the right.
    render::fillGradient(canvas, surface.bounds(), 0xFF000000 | 0x800000, 0xFF000000 | 0x000080, false, 8);
    // band i covers [20 - ((i+1)*20 >> 3), 20 - (i*20 >> 3)); its red is (0x80 * i) >> 3.
    for (int i = 0; i < 8; ++i) {
        int from = 20 - (((i + 1) * 20) >> 3);
        unsigned red = (0x80u * i) >> 3, blue = (0x80u * (8 - i)) >> 3;
        EXPECT_EQ(surface.pixel(from, 3), 0xFF000000u | red << 16 | blue) << "band " << i;
    }
}

TEST_F(FillTest, TranslucentGradientBlendsWithTheMeanAlpha) {
    canvas.fillRect(surface.bounds(), 0xFFFFFFFF);
    render::fillGradient(canvas, surface.bounds(), 0x80FF0000, 0x80FF0000, true, 16);
    std::uint32_t p = surface.pixel(10, 5);
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 255, 1);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 127, 1);
}

TEST_F(FillTest, LinesAndFramesNeverDrawPureBlack) {
    canvas.fillRect(surface.bounds(), 0xFFFFFFFF);
    render::drawLine(canvas, {0, 2, 10, 2}, 1, 0xFF000000);
    EXPECT_EQ(surface.pixel(3, 2), 0xFF000001u);
    render::drawRect(canvas, {0, 4, 8, 9}, 1, 0, platform::PS_SOLID);
    EXPECT_EQ(surface.pixel(0, 4), 0xFF000001u);
    EXPECT_EQ(surface.pixel(7, 8), 0xFF000001u);
    EXPECT_EQ(surface.pixel(3, 6), 0xFFFFFFFFu) << "null brush";
}

TEST_F(FillTest, TheNullPenDrawsNothingOnAnyPath) {
    // Width 1 (the dashed-pen path) and wider (the inside-frame path), plain
    // style 5 and style 5 with end-cap bits above the style.
    for (int width : {1, 3}) {
        for (int style : {platform::PS_NULL, platform::PS_NULL | 0x100}) {
            SCOPED_TRACE(::testing::Message() << "width " << width << " style " << style);
            canvas.fillRect(surface.bounds(), 0xFFFFFFFF);
            render::drawLine(canvas, {0, 5, 20, 5}, width, 0xFFFF0000, style);
            render::drawLine(canvas, {3, 0, 3, 10}, width, 0xFFFF0000, style);
            render::drawRect(canvas, {1, 1, 19, 9}, width, 0xFFFF0000, style);
            render::drawRoundRect(canvas, {2, 2, 18, 8}, width, 4, 4, 0xFFFF0000, style);
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 20; ++x) ASSERT_EQ(surface.pixel(x, y), 0xFFFFFFFFu) << x << "," << y;
        }
    }
    // The same calls with a solid pen do draw: the check above can fail.
    render::drawRoundRect(canvas, {2, 2, 18, 8}, 1, 4, 4, 0xFFFF0000, platform::PS_SOLID);
    EXPECT_EQ(surface.pixel(10, 2), 0xFFFF0000u);
}

TEST_F(FillTest, ClipScopesNarrowAndRestore) {
    {
        render::ClipScope scope;
        render::clipToRect(canvas, {2, 2, 6, 6}, scope);
        canvas.fillRect(surface.bounds(), 0xFF00FF00);
        EXPECT_EQ(surface.pixel(2, 2), 0xFF00FF00u);
        EXPECT_EQ(surface.pixel(6, 6), 0xFF000000u);
        scope.useOuter();
        canvas.fillRect({10, 0, 11, 1}, 0xFF0000FF);
        EXPECT_EQ(surface.pixel(10, 0), 0xFF0000FFu);
        scope.useInner();
        canvas.fillRect({10, 2, 11, 3}, 0xFF0000FF);
        EXPECT_EQ(surface.pixel(10, 2), 0xFF000000u);
    }
    canvas.fillRect({15, 8, 16, 9}, 0xFFFF0000);
    EXPECT_EQ(surface.pixel(15, 8), 0xFFFF0000u) << "closing the scope restores the clip";

    canvas.fillRect(surface.bounds(), 0xFF000000);
    {
        render::ClipScope outer;
        render::clipToRoundRect(canvas, {0, 0, 20, 10}, {0, 0, 19, 9}, 8, 8, outer);
        {
            render::ClipScope inner;
            render::clipToRect(canvas, {0, 0, 10, 10}, inner);
        }
        canvas.fillRect(surface.bounds(), 0xFFFFFFFF);
        EXPECT_EQ(surface.pixel(0, 0), 0xFF000000u) << "the rounded corner survives an inner scope";
        EXPECT_EQ(surface.pixel(10, 5), 0xFFFFFFFFu);
    }
}

TEST(RenderHelpers, AdjustColourAndArgbBitmaps) {
    EXPECT_EQ(render::adjustColour(0x80123456, 180, 100, 100), 0x80123456u);
    EXPECT_EQ(render::adjustColour(0xFFFF0000, 300, 100, 100), 0xFF00FF00u);
    EXPECT_EQ(render::adjustColour(0xFFFF0000, 180, 0, 100), 0xFF808080u);
    Surface bitmap = render::createArgbBitmap(7, 3);
    EXPECT_EQ(bitmap.size(), (platform::Size{7, 3}));
    EXPECT_EQ(bitmap.rowOrder(), platform::RowOrder::BottomUp);
    EXPECT_EQ(bitmap.pixel(6, 2), 0u);
}

} // namespace
