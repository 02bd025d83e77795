// Fonts, text layout and the anti-aliased drawing (strings, path gradients, smooth scaling).
#include "platform/graphics/Graphics.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace platform;

constexpr Argb kWhite = 0xFFFFFFFF, kBlack = 0xFF000000;

std::shared_ptr<const Font> pinned(int px = 16, FontStyle style = {}) {
    return Font::create(L"WenQuanYi Micro Hei", px, style);
}

// Bounding box of the pixels that differ from 'background'.
Rect inkBox(const Surface& s, std::uint32_t background = kWhite) {
    Rect box;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if (s.pixel(x, y) != background) box = box.unite({x, y, x + 1, y + 1});
    return box;
}

int inkCount(const Surface& s, std::uint32_t background = kWhite) {
    int n = 0;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x) n += s.pixel(x, y) != background;
    return n;
}

// Draws text on a fresh white surface and returns it.
Surface render(std::wstring_view text, Rect rect, unsigned flags, std::shared_ptr<const Font> font = pinned(),
               Size size = {200, 60}) {
    Surface s(size.cx, size.cy);
    s.clear(kWhite);
    Canvas c(s);
    c.setFont(std::move(font));
    c.drawText(text, rect, flags);
    return s;
}

bool samePixels(const Surface& a, const Surface& b) {
    if (a.size() != b.size()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) return false;
    return true;
}

TEST(GraphicsFont, MetricsOfThePinnedFaceAreConsistent) {
    const auto font = pinned(16);
    const FontMetrics& m = font->metrics();
    EXPECT_EQ(m.height, 19); // this face's lines are 19 px at 16 px
    EXPECT_EQ(m.ascent + m.descent, m.height);
    EXPECT_EQ(m.internalLeading, m.height - 16);
    EXPECT_GE(m.externalLeading, 0);
    EXPECT_GT(m.averageCharWidth, 3);
    EXPECT_LT(m.averageCharWidth, 16);
    EXPECT_GE(m.maxCharWidth, pinned(16)->measure(L"国").cx);
    EXPECT_GE(m.maxCharWidth, pinned(16)->measure(L"W").cx);
    EXPECT_GT(pinned(24)->metrics().height, m.height);

    const auto gui = Font::defaultGui();
    EXPECT_EQ(gui, Font::defaultGui());
    EXPECT_EQ(gui->face(), L"WenQuanYi Micro Hei");
    EXPECT_EQ(gui->pixelHeight(), 12);
    const auto fallbackSize = Font::create(L"", 0);
    EXPECT_EQ(fallbackSize->pixelHeight(), Font::kDefaultPixelHeight);
    EXPECT_EQ(fallbackSize->face(), Font::kFallbackFace);
}

TEST(GraphicsFont, MeasuredWidthsGrowWithTextAndCaretsFollow) {
    const auto f = pinned();
    EXPECT_EQ(f->measure(L"").cx, 0);
    EXPECT_EQ(f->measure(L"").cy, f->metrics().height);
    const int one = f->measure(L"下").cx, two = f->measure(L"下载").cx;
    EXPECT_GT(one, 10);
    EXPECT_GT(two, one);
    EXPECT_LT(f->measure(L"iii").cx, f->measure(L"WWW").cx);
    EXPECT_GT(f->measure(L"Hello world").cx, f->measure(L"Hello").cx);

    const std::wstring text = L"ab下载c";
    const std::vector<int> carets = f->caretPositions(text);
    ASSERT_EQ(carets.size(), text.size() + 1);
    EXPECT_EQ(carets.front(), 0);
    EXPECT_EQ(carets.back(), f->measure(text).cx);
    for (std::size_t i = 1; i < carets.size(); ++i) EXPECT_GT(carets[i], carets[i - 1]) << i;
    EXPECT_EQ(carets[2], f->measure(L"ab").cx);
}

// The parts of a character's advance add up to it and frame the ink the
// character leaves when drawn alone; italics lean past their advance.
TEST(GraphicsFont, GlyphWidthsFrameTheDrawnInk) {
    struct Case {
        const char* name;
        wchar_t ch;
        FontStyle style;
    };
    const std::vector<Case> cases = {
        {"upright l", L'l', {}},
        {"upright W", L'W', {}},
        {"italic l", L'l', {false, true}},
        {"italic f", L'f', {false, true}},
        {"bold W", L'W', {true, false}},
        {"CJK", L'国', {}},
        {"CJK italic", L'国', {false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto f = pinned(24, c.style);
        const GlyphWidths g = f->glyphWidths(c.ch);
        EXPECT_EQ(g.leading + g.ink + g.trailing, f->measure(std::wstring(1, c.ch)).cx);
        EXPECT_GT(g.ink, 0);
        Surface s(120, 60);
        s.clear(kWhite);
        Canvas canvas(s);
        canvas.setFont(f);
        const int x = 40;
        canvas.textOut({x, 10}, std::wstring(1, c.ch));
        const Rect box = inkBox(s);
        // Edge pixels the outline barely touches may stay white.
        EXPECT_GE(box.left, x + g.leading);
        EXPECT_LE(box.left, x + g.leading + 1);
        EXPECT_LE(box.right, x + g.leading + g.ink);
        EXPECT_GE(box.right, x + g.leading + g.ink - 1);
    }
    // Italic letters reach past their advance further than upright ones.
    EXPECT_LT(pinned(24, {false, true})->glyphWidths(L'l').trailing, pinned(24)->glyphWidths(L'l').trailing);
    EXPECT_LT(pinned(24, {false, true})->glyphWidths(L'f').trailing, 0);
    // A space has no ink: its whole advance trails.
    const auto italic = pinned(24, {false, true});
    EXPECT_EQ(italic->glyphWidths(L' '), (GlyphWidths{0, 0, italic->measure(L" ").cx}));
    EXPECT_GT(italic->glyphWidths(L' ').trailing, 0);
}

TEST(GraphicsFont, AbsurdHeightsAreCutToTheMaximum) {
    const auto huge = Font::create(L"", 2000000000);
    EXPECT_EQ(huge->pixelHeight(), Font::kMaxPixelHeight);
    EXPECT_GT(huge->metrics().height, Font::kMaxPixelHeight / 2);
    EXPECT_EQ(Font::create(L"", -5)->pixelHeight(), Font::kDefaultPixelHeight);
}

TEST(GraphicsFont, StylesAndMissingFacesStillDraw) {
    // A face that is not installed falls back to the pinned face, glyph for glyph.
    const Surface fallback = render(L"安装 Setup", {0, 0, 200, 60}, DT_NOPREFIX, Font::create(L"No Such Face 42", 16));
    const Surface direct = render(L"安装 Setup", {0, 0, 200, 60}, DT_NOPREFIX, pinned());
    EXPECT_TRUE(samePixels(fallback, direct));

    const Surface plain = render(L"Setup", {0, 0, 200, 60}, DT_NOPREFIX, pinned());
    for (FontStyle style : {FontStyle{.bold = true}, FontStyle{.italic = true}, FontStyle{.underline = true},
                            FontStyle{.strikeout = true}}) {
        const Surface styled = render(L"Setup", {0, 0, 200, 60}, DT_NOPREFIX, pinned(16, style));
        EXPECT_FALSE(samePixels(plain, styled));
        EXPECT_GT(inkCount(styled), 20);
    }
    // Underline adds a row of ink below the baseline.
    EXPECT_GT(inkBox(render(L"ace", {0, 0, 200, 60}, 0, pinned(16, {.underline = true}))).bottom,
              inkBox(render(L"ace", {0, 0, 200, 60}, 0, pinned())).bottom);
}

TEST(GraphicsFont, UsableFromSeveralThreads) {
    const auto f = pinned();
    const int expected = f->measure(L"并发测量 concurrent").cx;
    const Surface reference = render(L"并发测量 concurrent", {0, 0, 200, 60}, DT_SINGLELINE, f);
    std::vector<std::thread> threads;
    std::vector<int> widths(4);
    std::vector<bool> sameDrawing(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i)
                widths[t] = Font::create(L"WenQuanYi Micro Hei", 16)->measure(L"并发测量 concurrent").cx;
            // A shared font drawn on each thread's own surface.
            sameDrawing[t] = samePixels(render(L"并发测量 concurrent", {0, 0, 200, 60}, DT_SINGLELINE, f), reference);
        });
    for (auto& t : threads) t.join();
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(widths[t], expected);
        EXPECT_TRUE(sameDrawing[t]);
    }
}

TEST(GraphicsText, BottomUpSurfacesDrawTheSamePicture) {
    // Layered windows draw into bottom-up surfaces: cairo must see them upright.
    Surface top(120, 40), bottom(120, 40, RowOrder::BottomUp);
    for (Surface* s : {&top, &bottom}) {
        Canvas c(*s);
        c.setFont(pinned());
        Rect r{0, 0, 120, 40};
        c.drawText(L"上下 Up", r, DT_SINGLELINE | DT_VCENTER);
        Path p;
        p.addRectangle({80, 2, 30, 10});
        c.fillPathGradient(p, p, 0xFF0000FF, 0x00000000, 0.2f, 0.2f);
        StringFormat format;
        c.drawString(L"x", *pinned(10), {0, 0, 20, 12}, format, {0xFF00FF00, 0xFF00FF00});
    }
    EXPECT_GT(inkCount(top, 0), 50);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) ASSERT_EQ(top.pixel(x, y), bottom.pixel(x, y)) << x << "," << y;
}

TEST(GraphicsText, ChineseGlyphsProduceDistinctInk) {
    const Surface an = render(L"安", {0, 0, 40, 40}, DT_NOPREFIX, pinned(), {40, 40});
    const Surface zhuang = render(L"装", {0, 0, 40, 40}, DT_NOPREFIX, pinned(), {40, 40});
    EXPECT_GT(inkCount(an), 30);
    EXPECT_GT(inkCount(zhuang), 30);
    EXPECT_FALSE(samePixels(an, zhuang)); // missing-glyph boxes would look alike
    const Rect box = inkBox(an);
    EXPECT_GE(box.width(), 10);
    EXPECT_GE(box.height(), 10);
    // Black text leaves dark, opaque pixels on white.
    EXPECT_EQ(an.pixel(box.left + box.width() / 2, box.top + 1) >> 24, 0xFFu);
}

TEST(GraphicsText, CalcRectMeasuresWithoutDrawing) {
    const auto f = pinned();
    Surface s(200, 60);
    s.clear(kWhite);
    Canvas c(s);
    c.setFont(f);
    Rect r{5, 7, 195, 50};
    const int h = c.drawText(L"Hello 世界", r, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(h, f->metrics().height);
    EXPECT_EQ(r, (Rect{5, 7, 5 + f->measure(L"Hello 世界").cx, 7 + h}));
    EXPECT_EQ(inkCount(s), 0);

    Rect lines{0, 0, 190, 50};
    c.drawText(L"one\ntwo\r\nthree", lines, DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(lines.height(), 3 * f->metrics().height);
    EXPECT_EQ(lines.width(), f->measure(L"three").cx);

    Rect single{0, 0, 190, 50};
    c.drawText(L"one\ntwo", single, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(single.height(), f->metrics().height);
    EXPECT_EQ(single.width(), f->measure(L"onetwo").cx);

    // Without a font the default GUI font is used.
    Canvas bare(s);
    Rect d{0, 0, 100, 100};
    EXPECT_EQ(bare.drawText(L"x", d, DT_CALCRECT), Font::defaultGui()->metrics().height);
}

TEST(GraphicsText, WordBreakWrapsAtTheRectWidth) {
    const auto f = pinned();
    const std::wstring text = L"the quick brown fox jumps over the lazy dog";
    Surface s(10, 10);
    Canvas c(s);
    c.setFont(f);
    Rect oneLine{0, 0, 100, 200};
    c.drawText(text, oneLine, DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(oneLine.height(), f->metrics().height);
    EXPECT_GT(oneLine.width(), 100);

    Rect wrapped{0, 0, 100, 200};
    c.drawText(text, wrapped, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    EXPECT_GE(wrapped.height(), 3 * f->metrics().height);
    EXPECT_EQ(wrapped.height() % f->metrics().height, 0);
    EXPECT_LE(wrapped.width(), 100);

    // Chinese text has no spaces but still wraps between characters.
    Rect cjk{0, 0, 60, 200};
    c.drawText(L"下载结束安装完成请重新启动", cjk, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    EXPECT_GE(cjk.height(), 3 * f->metrics().height);
    EXPECT_LE(cjk.width(), 60);

    // Drawn: ink spans several lines and stays inside the width.
    const Surface drawn = render(text, {0, 0, 100, 60}, DT_WORDBREAK | DT_NOPREFIX, f, {200, 60});
    EXPECT_LE(inkBox(drawn).right, 100);
    EXPECT_GT(inkBox(drawn).height(), 2 * f->metrics().height);
}

TEST(GraphicsText, EndEllipsisShortensToTheRect) {
    const auto f = pinned();
    const std::wstring text = L"C:\\Games\\Tolvar Realms\\very long folder name";
    Surface s(10, 10);
    Canvas c(s);
    c.setFont(f);
    Rect plain{0, 0, 120, 30}, shortened{0, 0, 120, 30};
    c.drawText(text, plain, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    c.drawText(text, shortened, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    EXPECT_GT(plain.width(), 120);
    EXPECT_LE(shortened.width(), 120);
    EXPECT_GT(shortened.width(), 80);

    // Drawn with DT_NOCLIP so that only the ellipsis keeps the ink inside.
    const Surface drawn = render(text, {0, 0, 120, 30}, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX | DT_NOCLIP, f);
    EXPECT_LE(inkBox(drawn).right, 120);
    EXPECT_GT(inkBox(drawn).right, 100);
    // A text that fits is not shortened.
    Rect fits{0, 0, 120, 30};
    c.drawText(L"short", fits, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
    EXPECT_EQ(fits.width(), f->measure(L"short").cx);
}

TEST(GraphicsText, AlignmentPlacesTheInk) {
    const auto f = pinned();
    const Rect area{20, 10, 180, 50};
    const Rect left = inkBox(render(L"Tolvar", area, DT_SINGLELINE | DT_LEFT | DT_TOP, f));
    const Rect centre = inkBox(render(L"Tolvar", area, DT_SINGLELINE | DT_CENTER | DT_VCENTER, f));
    const Rect right = inkBox(render(L"Tolvar", area, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM, f));
    EXPECT_LE(left.left - area.left, 2);
    EXPECT_LE(area.right - right.right, 3);
    EXPECT_LE(std::abs((centre.left - area.left) - (area.right - centre.right)), 3);
    EXPECT_EQ(centre.width(), left.width());
    // Vertical: top hugs the top; bottom ends near the bottom; centre is between.
    EXPECT_LE(left.top - area.top, f->metrics().internalLeading + 2);
    EXPECT_LE(area.bottom - right.bottom, f->metrics().descent + 1);
    EXPECT_GT(centre.top, left.top);
    EXPECT_LT(centre.top, right.top);
    // DT_VCENTER is a single-line flag: multi-line text stays at the top.
    EXPECT_EQ(inkBox(render(L"Tolvar", area, DT_VCENTER, f)).top, left.top);
}

TEST(GraphicsText, PrefixesClippingAndBackground) {
    const auto f = pinned();
    EXPECT_TRUE(
        samePixels(render(L"&&Save", {0, 0, 200, 60}, 0, f), render(L"&Save", {0, 0, 200, 60}, DT_NOPREFIX, f)));
    const Rect marked = inkBox(render(L"&Save", {0, 0, 200, 60}, 0, f));
    const Rect plain = inkBox(render(L"Save", {0, 0, 200, 60}, 0, f));
    EXPECT_EQ(marked.left, plain.left);
    EXPECT_GT(marked.bottom, plain.bottom); // the mnemonic is underlined

    // Text is clipped to its rectangle unless DT_NOCLIP, and always to the canvas clip.
    EXPECT_LE(inkBox(render(L"WWWWWWWW", {0, 0, 30, 60}, DT_SINGLELINE, f)).right, 30);
    EXPECT_GT(inkBox(render(L"WWWWWWWW", {0, 0, 30, 60}, DT_SINGLELINE | DT_NOCLIP, f)).right, 30);
    Surface s(200, 60);
    s.clear(kWhite);
    Canvas c(s);
    c.setFont(f);
    c.intersectClipRect({0, 0, 10, 60});
    Rect r{0, 0, 200, 60};
    c.drawText(L"WWWWWWWW", r, DT_SINGLELINE);
    EXPECT_LE(inkBox(s).right, 10);

    // Opaque mode fills the line's cell; the text colour ignores its alpha byte.
    Surface sel(100, 30);
    sel.clear(kWhite);
    Canvas cs(sel);
    cs.setFont(f);
    cs.setBackgroundMode(BackgroundMode::Opaque);
    cs.setBackgroundColour(0x003399FF);
    cs.setTextColour(0x000000FF);
    Rect line{0, 0, 100, 30};
    cs.drawText(L"ab", line, DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(sel.pixel(0, 0), 0xFF3399FFu);
    EXPECT_EQ(sel.pixel(0, f->metrics().height), kWhite);
    EXPECT_EQ(sel.pixel(f->measure(L"ab").cx, 0), kWhite);
    bool blueInk = false;
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 19; ++y) blueInk |= sel.pixel(x, y) == 0xFF0000FFu;
    EXPECT_TRUE(blueInk);
}

TEST(GraphicsText, TextOutDrawsOneLineAtAPoint) {
    Surface s(200, 60);
    s.clear(kWhite);
    Canvas c(s);
    c.setFont(pinned());
    c.setOrigin({10, 5});
    c.textOut({20, 10}, L"第一行\n");
    const Rect box = inkBox(s);
    EXPECT_GE(box.left, 30);
    EXPECT_GE(box.top, 15);
    EXPECT_LE(box.bottom, 15 + pinned()->metrics().height);
}

TEST(GraphicsString, GradientBrushAndAlpha) {
    const auto f = pinned(24, {.bold = true});
    Surface s(200, 40);
    Canvas c(s);
    StringFormat format;
    format.noWrap = true;
    c.drawString(L"Tolvar", *f, {0, 0, 200, 40}, format, {0xFFFF0000, 0xFF0000FF, {0, 0}, {0, 40}});
    // Ink near the top leans red, near the bottom blue.
    const Rect box = inkBox(s, 0);
    std::uint32_t topInk = 0, bottomInk = 0;
    for (int x = box.left; x < box.right; ++x) {
        if (s.pixel(x, box.top + 1) >> 24 == 255) topInk = s.pixel(x, box.top + 1);
        if (s.pixel(x, box.bottom - 2) >> 24 == 255) bottomInk = s.pixel(x, box.bottom - 2);
    }
    ASSERT_NE(topInk, 0u);
    ASSERT_NE(bottomInk, 0u);
    EXPECT_GT((topInk >> 16) & 0xFF, topInk & 0xFF);
    EXPECT_GT(bottomInk & 0xFF, (bottomInk >> 16) & 0xFF);

    // A half-transparent solid brush never makes more than half-opaque pixels.
    Surface t(200, 40);
    Canvas ct(t);
    format.alignment = StringFormat::Far;
    ct.drawString(L"Tolvar", *f, {0, 0, 200, 40}, format, {0x80000000, 0x80000000});
    int maxAlpha = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) maxAlpha = std::max<int>(maxAlpha, t.pixel(x, y) >> 24);
    EXPECT_GT(maxAlpha, 100);
    EXPECT_LE(maxAlpha, 128);
    EXPECT_GT(inkBox(t, 0).left, 100); // far alignment
}

TEST(GraphicsPath, ShadowRingFadesOutwardsAndSparesTheContent) {
    const int w = 100, h = 60, sz = 10;
    const float d = 2.0f * sz, fw = w, fh = h, fs = sz;
    Path outline;
    outline.addArc({0, 0, d, d}, 180, 90);
    outline.addLine({fs, 0}, {fw - fs, 0});
    outline.addArc({fw - d, 0, d, d}, 270, 90);
    outline.addLine({fw, fs}, {fw, fh - fs});
    outline.addArc({fw - d, fh - d, d, d}, 0, 90);
    outline.addLine({fw - fs, fh}, {fs, fh});
    outline.addArc({0, fh - d, d, d}, 90, 90);
    outline.addLine({0, fh - fs}, {0, fs});
    outline.closeFigure();
    Path ring = outline;
    ring.addRectangle({fs, fs, fw - d, fh - d});
    EXPECT_FLOAT_EQ(outline.bounds().width, fw);

    Surface s(w, h);
    s.setPixel(50, 30, 0xFF123456); // content must stay as it is
    Canvas c(s);
    c.fillPathGradient(ring, outline, 0xFF000000, 0x00000000, 0.5f, 0.5f);
    EXPECT_EQ(s.pixel(50, 30), 0xFF123456u);
    EXPECT_EQ(s.pixel(20, 20), 0u);
    EXPECT_EQ(s.pixel(0, 0), 0u); // outside the rounded corner
    // Alpha grows from the outer edge towards the content.
    const int a0 = s.pixel(50, 0) >> 24, a4 = s.pixel(50, 4) >> 24, a9 = s.pixel(50, 9) >> 24;
    EXPECT_LT(a0, a4);
    EXPECT_LT(a4, a9);
    EXPECT_GT(a9, 0);
    EXPECT_EQ(s.pixel(50, 9) & 0xFFFFFF, 0u); // black, premultiplied
    // Symmetric left/right and top/bottom.
    EXPECT_NEAR(int(s.pixel(3, 30) >> 24), int(s.pixel(w - 4, 30) >> 24), 1);
    EXPECT_NEAR(int(s.pixel(50, 2) >> 24), int(s.pixel(50, h - 3) >> 24), 1);

    // A focus scale of 1 makes the whole ring the centre colour (edges anti-aliased only).
    Surface full(w, h);
    Canvas cf(full);
    cf.fillPathGradient(ring, outline, 0xFF000000, 0x00000000, 1.0f, 1.0f);
    EXPECT_EQ(full.pixel(50, 5), 0xFF000000u);
}

TEST(GraphicsPath, SmoothScalingInterpolates) {
    Surface src(2, 1);
    src.setPixel(0, 0, kBlack);
    src.setPixel(1, 0, kWhite);
    Surface dst(20, 2);
    Canvas c(dst);
    c.drawSurfaceSmooth(src, {0, 0, 20, 2}, src.bounds());
    EXPECT_EQ(dst.pixel(0, 0), kBlack);
    EXPECT_EQ(dst.pixel(19, 0), kWhite);
    const std::uint32_t mid = dst.pixel(10, 0);
    EXPECT_EQ(mid >> 24, 0xFFu);
    EXPECT_GT(mid & 0xFF, 0x20u);
    EXPECT_LT(mid & 0xFF, 0xE0u);

    Surface faded(2, 2);
    Canvas cf(faded);
    cf.drawSurfaceSmooth(src, {0, 0, 2, 2}, {1, 0, 2, 1}, 128);
    EXPECT_EQ(faded.pixel(0, 0), 0x80808080u);
}

} // namespace
