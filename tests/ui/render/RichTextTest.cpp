// Rich text: tags, escapes, raw mode, links and hover, measuring, breaking,
// ellipsis and alignment. Pictures are compared with goldens; layout facts
// (link rectangles, extents) are asserted directly.
#include "ui/render/RenderEngine.h"

#include "ui/core/FormManagerUI.h"
#include "tests/ui/GoldenImage.h"
#include "tests/ui/TestSupport.h"

#include <gtest/gtest.h>

using platform::Point;
using platform::Rect;
using platform::Surface;

namespace {

constexpr const wchar_t* kFace = L"WenQuanYi Micro Hei";
constexpr int kFont = 1;    // 16 px
constexpr int kBigFont = 2; // 24 px

struct Rendered {
    Surface surface;
    Rect rect;
    std::vector<Rect> links;
    std::vector<std::wstring> targets;
};

class RichTextTest : public ::testing::Test {
protected:
    CFormManagerUI manager;

    void SetUp() override {
        manager.addFont(kFont, kFace, 16, false, false, false, false, false);
        manager.addFont(kBigFont, kFace, 24, false, false, false, false, false);
    }

    // Draws on white; `previous` links are what an earlier paint returned
    // (for the hover colour).
    Rendered render(const std::wstring& text, int width, int height, unsigned flags = 0, int capacity = 8,
                    const Rendered* previous = nullptr) {
        Rendered r{Surface(width, height), Rect{0, 0, width, height}, {}, {}};
        platform::Canvas canvas(r.surface);
        canvas.fillRect(r.surface.bounds(), 0xFFFFFFFF);
        std::vector<Rect> links(capacity);
        std::vector<CStringUI> targets(capacity);
        if (previous) {
            for (std::size_t i = 0; i < previous->links.size() && i < links.size(); ++i) {
                links[i] = previous->links[i];
                targets[i] = previous->targets[i];
            }
        }
        int count = capacity;
        render::drawRichText(canvas, &manager, r.rect, text, 0xFF000000, links.data(), targets.data(), count, kFont,
                             flags);
        for (int i = 0; i < count; ++i) {
            r.links.push_back(links[i]);
            r.targets.push_back(targets[i].toStd());
        }
        return r;
    }

    Rect measure(const std::wstring& text, Rect rect, unsigned flags = 0) {
        Surface scratch(1, 1);
        platform::Canvas canvas(scratch);
        int none = 0;
        render::drawRichText(canvas, &manager, rect, text, 0, nullptr, nullptr, none, kFont,
                             flags | platform::DT_CALCRECT);
        return rect;
    }

    int textWidth(const std::wstring& text) { return manager.fontInfo(kFont).font->measure(text).cx; }
    int lineHeight() {
        const FontRecord& f = manager.fontInfo(kFont);
        return f.metrics.height + f.metrics.externalLeading;
    }
};

bool samePixels(const Surface& a, const Surface& b) {
    if (a.size() != b.size()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) return false;
    return true;
}

// Counts pixels in `area` whose colour is dominated by the given channel mix.
int countInk(const Surface& s, const Rect& area, bool (*test)(std::uint32_t)) {
    int n = 0;
    for (int y = std::max(area.top, 0); y < std::min(area.bottom, s.height()); ++y)
        for (int x = std::max(area.left, 0); x < std::min(area.right, s.width()); ++x) n += test(s.pixel(x, y));
    return n;
}
bool isLinkBlue(std::uint32_t p) { return (p & 0xFF) > 200 && ((p >> 16) & 0xFF) < 80 && ((p >> 8) & 0xFF) < 80; }
bool isHoverRed(std::uint32_t p) { return ((p >> 16) & 0xFF) > 180 && (p & 0xFF) < 140 && ((p >> 8) & 0xFF) < 90; }
bool isInk(std::uint32_t p) { return p != 0xFFFFFFFFu; }

// --- Tags -----------------------------------------------------------------

TEST_F(RichTextTest, AngleAndBraceTagsAreEquivalent) {
    EXPECT_TRUE(samePixels(render(L"a <b>x</b> {c #FFFF0000}y{/c}", 120, 24).surface,
                           render(L"a {b}x{/b} <c #FFFF0000>y</c>", 120, 24).surface));
}

TEST_F(RichTextTest, RawModeEscapesAndNonTagsAreText) {
    EXPECT_EQ(measure(L"<r><b></r>", {0, 0, 400, 100}).right, textWidth(L"<b>"));
    EXPECT_EQ(measure(L"<bx>", {0, 0, 400, 100}).right, textWidth(L"<bx>"));
    EXPECT_EQ(measure(L"{r}<c #FF0000>{/r}", {0, 0, 400, 100}).right, textWidth(L"<c #FF0000>"));
    // Each escape stands for one character.
    EXPECT_EQ(measure(L"<{>", {0, 0, 400, 100}).right, textWidth(L"{"));
    EXPECT_EQ(measure(L"{<}", {0, 0, 400, 100}).right, textWidth(L"<"));
    EXPECT_EQ(measure(L"<}>{>}", {0, 0, 400, 100}).right, textWidth(L"}") + textWidth(L">"));
}

TEST_F(RichTextTest, LinksReturnRectanglesAndHoverColour) {
    Rendered plain = render(L"go <a link1>here</a> now", 200, 30);
    ASSERT_EQ(plain.links.size(), 1u);
    EXPECT_EQ(plain.targets[0], L"link1");
    const Rect& link = plain.links[0];
    EXPECT_EQ(link.left, textWidth(L"go "));
    EXPECT_EQ(link.top, 0);
    EXPECT_EQ(link.bottom, lineHeight());
    EXPECT_NEAR(link.width(), textWidth(L"here"), 2);
    EXPECT_GT(countInk(plain.surface, link, isLinkBlue), 10);
    EXPECT_EQ(countInk(plain.surface, link, isHoverRed), 0);
    EXPECT_EQ(countInk(plain.surface, {0, 0, link.left, 30}, isLinkBlue), 0) << "text before the link is black";

    manager.setLastMousePosition({link.left + 2, link.top + 5});
    Rendered hovered = render(L"go <a link1>here</a> now", 200, 30, 0, 8, &plain);
    EXPECT_GT(countInk(hovered.surface, link, isHoverRed), 10);
    EXPECT_EQ(countInk(hovered.surface, link, isLinkBlue), 0);
    EXPECT_TRUE(testsupport::matchesGolden(hovered.surface, "richtext/link-hover"));

    manager.setLastMousePosition({199, 29});
    Rendered away = render(L"go <a link1>here</a> now", 200, 30, 0, 8, &hovered);
    EXPECT_TRUE(samePixels(away.surface, plain.surface));
}

// The render layer draws from a resources object and the hover point it is
// given, with no paint manager behind them.
TEST_F(RichTextTest, SkinResourcesAndAGivenHoverPointNeedNoManager) {
    const Rect link = render(L"go <a link1>here</a> now", 200, 30).links.at(0);
    CSkinResourcesUI resources;
    resources.addFont(kFont, kFace, 16, false, false, false, false, false);
    resources.setLinkHoverColour(0xFF00C000);
    const auto isGreen = [](std::uint32_t p) {
        return ((p >> 8) & 0xFF) > 120 && ((p >> 16) & 0xFF) < 90 && (p & 0xFF) < 90;
    };
    for (const bool over : {false, true}) {
        Surface surface(200, 30);
        platform::Canvas canvas(surface);
        canvas.fillRect(surface.bounds(), 0xFFFFFFFF);
        std::vector<Rect> links{link};
        std::vector<CStringUI> targets{CStringUI(L"link1")};
        int count = 1;
        Rect rect{0, 0, 200, 30};
        const Point hover = over ? Point{link.left + 2, link.top + 5} : Point{-1, -1};
        render::drawRichText(canvas, resources, hover, rect, L"go <a link1>here</a> now", 0xFF000000, links.data(),
                             targets.data(), count, kFont, 0);
        EXPECT_EQ(count, 1);
        EXPECT_EQ(countInk(surface, link, +isGreen) > 10, over) << (over ? "hovered" : "not hovered");
        EXPECT_EQ(countInk(surface, link, isLinkBlue) > 10, !over);
    }
}

TEST_F(RichTextTest, LinkCountIsLimitedByCapacity) {
    Rendered r = render(L"<a 1>a</a> <a 2>b</a> <a 3>c</a>", 200, 30, 0, /*capacity=*/2);
    ASSERT_EQ(r.links.size(), 2u);
    EXPECT_EQ(r.targets[1], L"2");
    Rendered none = render(L"<a 1>a</a>", 200, 30, 0, /*capacity=*/0);
    EXPECT_TRUE(none.links.empty());
}

TEST_F(RichTextTest, LinkOverALineEndContinuesAsANewRectangle) {
    Rendered r = render(L"x <a far>one\ntwo</a>", 200, 60);
    ASSERT_EQ(r.links.size(), 2u);
    EXPECT_EQ(r.targets[0], L"far");
    EXPECT_EQ(r.targets[1], L"far");
    EXPECT_EQ(r.links[0].top, 0);
    EXPECT_EQ(r.links[1].left, 0);
    EXPECT_EQ(r.links[1].top, lineHeight());
}

TEST_F(RichTextTest, CentredLinesCarryTheirLinkRectangles) {
    Rendered r = render(L"<a t>centred link</a>\nand a longer second line", 300, 60, platform::DT_CENTER);
    ASSERT_EQ(r.links.size(), 1u);
    int width = textWidth(L"centred link");
    EXPECT_NEAR(r.links[0].left, (300 - width) / 2, 2);
    // All link-coloured ink lies inside the returned rectangle.
    EXPECT_EQ(countInk(r.surface, {0, 0, 300, 60}, isLinkBlue), countInk(r.surface, r.links[0], isLinkBlue));
}

// --- Layout ---------------------------------------------------------------

TEST_F(RichTextTest, MeasuringGivesWidestLineAndLastBottom) {
    Rect r = measure(L"ab\nlonger line\nc", {5, 7, 400, 300});
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.right, 5 + textWidth(L"longer line"));
    EXPECT_EQ(r.bottom, 7 + 3 * lineHeight());
    r = measure(L"ab\ncd", {0, 0, 400, 300}, platform::DT_SINGLELINE);
    EXPECT_EQ(r.bottom, lineHeight());
    EXPECT_EQ(r.right, textWidth(L"ab"));
    r = measure(L"", {0, 0, 400, 300});
    EXPECT_EQ(r.bottom, 0);
    // Wider than the rectangle: limited to its right edge.
    r = measure(L"a rather long single line of text", {0, 0, 60, 300}, platform::DT_SINGLELINE);
    EXPECT_LE(r.right, 60);
}

TEST_F(RichTextTest, LeavingItalicAdvancesHalfAnItalicSpace) {
    const FontRecord& f = manager.fontInfo(kFont);
    const auto italicFont = platform::Font::create(f.face, f.size, {.italic = true});
    const int half = italicFont->glyphWidths(L' ').trailing / 2;
    const int italic = italicFont->measure(L"ab").cx;
    ASSERT_GT(half, 0);
    auto width = [&](const std::wstring& text) { return measure(text, {0, 0, 400, 100}).right; };
    EXPECT_EQ(width(L"<i>ab"), italic);
    EXPECT_EQ(width(L"<i>ab</i>"), italic + half);
    EXPECT_EQ(width(L"<i>ab</i>cd"), italic + half + textWidth(L"cd"));
    // Entering italic, or leaving it for italic text, does not move the position.
    EXPECT_EQ(width(L"cd<i>ab"), textWidth(L"cd") + italic);
    EXPECT_EQ(width(L"<i>a<i>b</i></i>"), italic + half);
}

TEST_F(RichTextTest, LineHeightFollowsFontsParagraphsAndY) {
    int big = manager.fontInfo(kBigFont).metrics.height + manager.fontInfo(kBigFont).metrics.externalLeading;
    EXPECT_EQ(measure(L"a<f 2>B</f>a\nx", {0, 0, 400, 300}).bottom, big + lineHeight());
    EXPECT_EQ(measure(L"<p 10>a</p>", {0, 0, 400, 300}).bottom, lineHeight() + 10);
    EXPECT_EQ(measure(L"a<y 40>\nb", {0, 0, 400, 300}).bottom, 40 + lineHeight());
    EXPECT_EQ(measure(L"a<n>b", {0, 0, 400, 300}).bottom, 2 * lineHeight());
    EXPECT_EQ(measure(L"a<x 30>b", {0, 0, 400, 300}).right, textWidth(L"a") + 30 + textWidth(L"b"));
}

TEST_F(RichTextTest, BreakingWrapsAtSpacesAndStopsAtTheBottom) {
    std::wstring text = L"alpha beta gamma delta";
    int width = textWidth(L"alpha beta") + 4;
    Rendered wrapped = render(text, width, 200, platform::DT_WORDBREAK);
    Rect r = measure(text, {0, 0, width, 200}, platform::DT_WORDBREAK);
    EXPECT_EQ(r.bottom, 3 * lineHeight()) << "alpha beta / gamma / delta";
    // Without room for a second line nothing more is laid out.
    r = measure(text, {0, 0, width, lineHeight()}, platform::DT_WORDBREAK);
    EXPECT_EQ(r.bottom, lineHeight());
    (void)wrapped;
}

TEST_F(RichTextTest, InlineImagesDrawOneFrameAndRaiseTheLine) {
    testsupport::SkinSourceGuard guard;
    testsupport::ScratchFolder scratch;
    const auto& dir = scratch.path();
    // Three 4 × 30 frames: red, green, blue.
    testsupport::writePng(dir / "strip.png", 12, 30, [](int x, int) {
        return x < 4 ? 0xFFFF0000u : x < 8 ? 0xFF00FF00u : 0xFF0000FFu;
    });
    std::filesystem::current_path(dir);
    Rendered r = render(L"a<i strip.png 3 1>b", 100, 40);
    int x = textWidth(L"a");
    EXPECT_EQ(r.surface.pixel(x, 39 - 29), 0xFF00FF00u) << "frame 1, bottom-aligned in a 30-pixel line";
    EXPECT_EQ(r.surface.pixel(x + 3, 39), 0xFFFFFFFFu) << "below the line";
    EXPECT_EQ(r.surface.pixel(x + 3, 0), 0xFF00FF00u);
    EXPECT_EQ(r.surface.pixel(x + 4, 5), 0xFFFFFFFFu) << "one frame wide";
    EXPECT_EQ(measure(L"a<i strip.png 3 1>b", {0, 0, 100, 100}).bottom, 30);
    EXPECT_EQ(measure(L"a<i strip.png 3 7>b", {0, 0, 100, 100}).right, textWidth(L"a") + 4 + textWidth(L"b"))
        << "an index out of range draws frame 0";
    Rendered described = render(L"<i file='strip.png' 3 2>", 100, 40);
    EXPECT_EQ(described.surface.pixel(1, 20), 0xFF0000FFu);
    Rendered missing = render(L"<i nothing.png>x", 100, 40);
    EXPECT_EQ(measure(L"<i nothing.png>x", {0, 0, 100, 100}).right, textWidth(L"x"));
}

TEST_F(RichTextTest, PlainTextExpandsLanguageTokens) {
    CFormManagerUI::addLanguageText(12, L"hello");
    Surface a(80, 24), b(80, 24);
    platform::Canvas ca(a), cb(b);
    ca.fillRect(a.bounds(), 0xFFFFFFFF);
    cb.fillRect(b.bounds(), 0xFFFFFFFF);
    Rect ra = a.bounds(), rb = b.bounds();
    render::drawPlainText(ca, &manager, ra, L"%{12}", 0xFF000000, kFont, platform::DT_SINGLELINE);
    render::drawPlainText(cb, &manager, rb, L"hello", 0xFF000000, kFont, platform::DT_SINGLELINE);
    CFormManagerUI::removeAllLanguageTexts();
    EXPECT_TRUE(samePixels(a, b));
    EXPECT_GT(countInk(a, a.bounds(), [](std::uint32_t p) { return p == 0xFF000001u; }), 5)
        << "black text is drawn as blue 1";
}

// --- Goldens --------------------------------------------------------------

struct GoldenCase {
    const char* name;
    const wchar_t* text;
    int width, height;
    unsigned flags;
};

const GoldenCase kGoldens[] = {
    {"bold", L"plain <b>bold</b> plain {b}again{/b}", 260, 24, 0},
    {"colour", L"{c #FFFF0000}red{/c} <c #FF008000>green <c #FF0000FF>blue</c> green</c> black", 300, 24, 0},
    {"font-change", L"small <f 2>big</f> small <f WenQuanYi 12 bold>tiny</f>", 300, 34, 0},
    {"raw", L"before <r><b>{c #FFFF0000}</r> after", 300, 24, 0},
    {"escapes", L"<{>braces<}> and {<}angles{>}", 300, 24, 0},
    {"ellipsis", L"A long line of text that does not fit in the box at all", 200, 24,
     platform::DT_SINGLELINE | platform::DT_END_ELLIPSIS},
    {"wordbreak", L"A long line of text that wraps over several lines in the box", 200, 80, platform::DT_WORDBREAK},
    {"centre-multiline", L"first line\nthe second line is longer\nthird", 260, 70, platform::DT_CENTER},
    {"centre-single", L"centred <b>single</b> line", 260, 40,
     platform::DT_SINGLELINE | platform::DT_CENTER | platform::DT_VCENTER},
    {"right-bottom", L"to the right", 200, 40, platform::DT_SINGLELINE | platform::DT_RIGHT | platform::DT_BOTTOM},
    {"selection-underline-italic", L"{s}selected{/s} <u>under</u> <i>italic</i> 中文{v center}<f 2>大</f>{/v}", 300, 34,
     0},
};

TEST_F(RichTextTest, GoldenPictures) {
    for (const GoldenCase& c : kGoldens) {
        SCOPED_TRACE(c.name);
        Rendered r = render(c.text, c.width, c.height, c.flags);
        EXPECT_TRUE(testsupport::matchesGolden(r.surface, std::string("richtext/") + c.name));
    }
}

TEST_F(RichTextTest, AlignedTextLargerThanItsBoxPaintsOnlyInsideIt) {
    // A single line far wider and taller than its box: each alignment moves
    // the layout beyond the box, and the box still limits the paint.
    const Rect box{170, 35, 230, 45}; // 60 x 10, less than one line high
    const std::wstring text = L"a line of text much wider than its box";
    ASSERT_GT(textWidth(text), 2 * box.width());
    struct Case {
        const char* name;
        unsigned flags;
    };
    const Case cases[] = {
        {"centred", platform::DT_CENTER},
        {"right", platform::DT_RIGHT},
        {"vertically centred", platform::DT_VCENTER},
        {"bottom", platform::DT_BOTTOM},
        {"centred both ways", platform::DT_CENTER | platform::DT_VCENTER},
        {"right and bottom", platform::DT_RIGHT | platform::DT_BOTTOM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Surface surface(400, 80);
        platform::Canvas canvas(surface);
        canvas.fillRect(surface.bounds(), 0xFFFFFFFF);
        Rect rect = box;
        int none = 0;
        render::drawRichText(canvas, &manager, rect, text, 0xFF000000, nullptr, nullptr, none, kFont,
                             platform::DT_SINGLELINE | c.flags);
        int inside = 0, outside = 0;
        for (int y = 0; y < surface.height(); ++y)
            for (int x = 0; x < surface.width(); ++x)
                (box.contains({x, y}) ? inside : outside) += isInk(surface.pixel(x, y));
        EXPECT_EQ(outside, 0) << "ink outside the box";
        EXPECT_GT(inside, 0) << "the visible part of the line is drawn";
        // The clip the caller had is back afterwards.
        canvas.fillRect(surface.bounds(), 0xFF00FF00);
        EXPECT_EQ(surface.pixel(0, 0), 0xFF00FF00u);
    }
}

TEST_F(RichTextTest, EllipsisEndsInThreeDots) {
    std::wstring text = L"A long line of text that does not fit";
    Rendered cut = render(text, 150, 24, platform::DT_SINGLELINE | platform::DT_END_ELLIPSIS);
    Rendered plain = render(text, 150, 24, platform::DT_SINGLELINE);
    EXPECT_FALSE(samePixels(cut.surface, plain.surface));
    // The dots are the last ink of the line; nothing is drawn after them.
    int lastInk = 0;
    for (int x = 0; x < 150; ++x)
        if (countInk(cut.surface, {x, 0, x + 1, 24}, isInk)) lastInk = x;
    int dots = textWidth(L"...");
    EXPECT_LE(lastInk, 150);
    EXPECT_GT(lastInk, 150 - dots - textWidth(L"W") * 2);
}

} // namespace
