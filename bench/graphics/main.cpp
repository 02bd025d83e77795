// Times a full 1090 × 644 window repaint through the canvas (fills, a
// stretched image, a 9-piece bordered image, 20 text runs) and its parts,
// side by side with a plain memcpy of the same surface: the physical floor of
// touching every pixel once.
#include "bench/BenchTiming.h"
#include "platform/graphics/Graphics.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace platform;

namespace {

constexpr int kWidth = 1090, kHeight = 644;

// A source image with a soft gradient and a translucent border, like a skin image.
Surface makeImage(int w, int h, bool translucentEdges) {
    Surface s(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool edge = x < 6 || y < 6 || x >= w - 6 || y >= h - 6;
            const Argb c = (translucentEdges && edge ? 0xA0000000u : 0xFF000000u) | ((x * 255 / w) << 16) |
                           ((y * 255 / h) << 8) | 0x60;
            s.setPixel(x, y, premultiply(c));
        }
    return s;
}

// The nine pieces of a bordered image, as a skin's corner attribute cuts them.
void drawNinePiece(Canvas& c, const Surface& img, const Rect& d, int corner) {
    const Rect s = img.bounds();
    const int k = corner;
    const Rect dst[9] = {
        {d.left + k, d.top + k, d.right - k, d.bottom - k}, {d.left, d.top, d.left + k, d.top + k},
        {d.left + k, d.top, d.right - k, d.top + k},        {d.right - k, d.top, d.right, d.top + k},
        {d.left, d.top + k, d.left + k, d.bottom - k},      {d.right - k, d.top + k, d.right, d.bottom - k},
        {d.left, d.bottom - k, d.left + k, d.bottom},       {d.left + k, d.bottom - k, d.right - k, d.bottom},
        {d.right - k, d.bottom - k, d.right, d.bottom}};
    const Rect src[9] = {
        {s.left + k, s.top + k, s.right - k, s.bottom - k}, {s.left, s.top, s.left + k, s.top + k},
        {s.left + k, s.top, s.right - k, s.top + k},        {s.right - k, s.top, s.right, s.top + k},
        {s.left, s.top + k, s.left + k, s.bottom - k},      {s.right - k, s.top + k, s.right, s.bottom - k},
        {s.left, s.bottom - k, s.left + k, s.bottom},       {s.left + k, s.bottom - k, s.right - k, s.bottom},
        {s.right - k, s.bottom - k, s.right, s.bottom}};
    for (int i = 0; i < 9; ++i) c.alphaBlend(img, dst[i], src[i], 255);
}

struct Scene {
    Surface background = makeImage(545, 322, false); // stretched 2× over the window
    Surface button = makeImage(60, 40, true);        // 9-piece source
    std::shared_ptr<const Font> font = Font::create(L"WenQuanYi Micro Hei", 14);
    std::shared_ptr<const Font> bold = Font::create(L"WenQuanYi Micro Hei", 16, {.bold = true});

    void fills(Canvas& c) const {
        c.fillRect({0, 0, kWidth, kHeight}, 0xFF20242C);
        for (int i = 0; i < 10; ++i) c.fillRect(Rect::fromSize(20 + i * 100, 560, 90, 60), 0xFF3A7BD5 + i * 0x0F0F);
        c.gradientFill({0, 0, kWidth, 40}, 0xFF3A7BD5, 0xFF1D3E6B, GradientDirection::Vertical);
    }
    void stretched(Canvas& c) const { c.stretchFrom(background, {0, 40, kWidth, kHeight}, background.bounds()); }
    void ninePiece(Canvas& c) const {
        drawNinePiece(c, button, {40, 120, 640, 420}, 8);
        drawNinePiece(c, button, {700, 120, 1050, 300}, 8);
    }
    void texts(Canvas& c) const {
        static const wchar_t* kTexts[] = {L"Tolvar Realms 安装程序",
                                          L"请选择要安装的版本",
                                          L"安装路径：",
                                          L"/home/player/Games/Tolvar Realms/",
                                          L"开始安装",
                                          L"剩余文件：128 个  速度：12.5 MB/s",
                                          L"当前文件：data/maps/region_04.pak",
                                          L"下载结束，安装完成！"};
        for (int i = 0; i < 20; ++i) {
            c.setFont(i % 4 == 0 ? bold : font);
            c.setTextColour(0xFFFFFFFF - i * 0x0A0A0A);
            Rect r = Rect::fromSize(40 + (i % 2) * 520, 130 + (i / 2) * 28, 480, 24);
            unsigned flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
            if (i % 3 == 1) flags |= DT_CENTER;
            if (i % 5 == 2) flags |= DT_END_ELLIPSIS;
            c.drawText(kTexts[i % 8], r, flags);
        }
    }
    void full(Canvas& c) const {
        fills(c);
        stretched(c);
        ninePiece(c);
        texts(c);
    }
};

// Median milliseconds per call over 'rounds' rounds of 'reps' calls.

} // namespace

int main(int argc, char** argv) {
    int rounds = 7, reps = 20;
    std::string png;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick")
            rounds = 3, reps = 5;
        else if (a == "--png" && i + 1 < argc)
            png = argv[++i];
    }
    Scene scene;
    Surface target(kWidth, kHeight);
    Surface copy(kWidth, kHeight);
    Canvas canvas(target);

    struct Row {
        const char* name;
        std::function<void()> fn;
    };
    const Row rows[] = {
        {"memcpy of the surface (floor)",
         [&] { std::memcpy(copy.bits(), target.bits(), static_cast<std::size_t>(target.stride()) * kHeight); }},
        {"full repaint through the canvas", [&] { scene.full(canvas); }},
        {"  fills + gradient", [&] { scene.fills(canvas); }},
        {"  stretched image (2x, nearest)", [&] { scene.stretched(canvas); }},
        {"  two 9-piece bordered images", [&] { scene.ninePiece(canvas); }},
        {"  20 text runs", [&] { scene.texts(canvas); }},
    };
    std::printf("bench-graphics: %d x %d, median of %d rounds x %d calls\n\n", kWidth, kHeight, rounds, reps);
    std::printf("%-34s %12s %14s\n", "operation", "ms per call", "x memcpy");
    double floor = 0;
    for (const Row& row : rows) {
        const double ms = bench::medianMs(row.fn, rounds, reps);
        if (floor == 0) floor = ms;
        std::printf("%-34s %12.3f %14.1f\n", row.name, ms, ms / floor);
    }
    if (!png.empty()) {
        scene.full(canvas);
        if (!target.writePng(png)) {
            std::fprintf(stderr, "cannot write %s\n", png.c_str());
            return 1;
        }
    }
    return 0;
}
