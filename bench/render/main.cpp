// Times one 1090 × 644 window frame drawn through the render engine: a
// background of nine-piece and tiled image descriptions and 50 rich-text runs,
// side by side with a plain memcpy of the same surface (the floor of touching
// every pixel once).
#include "bench/BenchTiming.h"
#include "platform/graphics/Graphics.h"
#include "ui/core/FormManagerUI.h"
#include "ui/render/RenderEngine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using platform::Rect;

namespace {

constexpr int kWidth = 1090, kHeight = 644;

// A skin-like image: a gradient with a translucent border when asked.
ImageHandle makeImage(int w, int h, bool translucentEdges) {
    auto image = std::make_shared<ImageRecord>();
    image->bitmap = platform::Surface(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool edge = x < 6 || y < 6 || x >= w - 6 || y >= h - 6;
            platform::Argb c = (translucentEdges && edge ? 0xA0000000u : 0xFF000000u) | ((x * 255 / w) << 16) |
                               ((y * 255 / h) << 8) | 0x60;
            image->bitmap.setPixel(x, y, platform::premultiply(c));
        }
    image->width = w;
    image->height = h;
    image->hasAlpha = translucentEdges;
    return image;
}

struct Item {
    Rect rect;
    ImageDescription description;
};

struct Scene {
    CFormManagerUI manager;
    std::vector<std::unique_ptr<Item>> images;
    std::vector<std::pair<Rect, std::wstring>> texts;
    std::vector<std::pair<Rect, std::wstring>> plain; // the same texts without tags

    Scene() {
        auto& shared = CFormManagerUI::sharedResources().images;
        shared.set(L"bk.png", makeImage(220, 160, false));
        shared.set(L"title.png", makeImage(40, 40, false));
        shared.set(L"panel.png", makeImage(60, 60, true));
        shared.set(L"btn.png", makeImage(48, 32, true));
        manager.addFont(1, L"WenQuanYi Micro Hei", 14, false, false, false, false, false);
        manager.addFont(2, L"WenQuanYi Micro Hei", 18, true, false, false, false, false);
        add({0, 0, kWidth, kHeight}, L"file='bk.png' corner='10,40,10,10'");
        add({0, 0, kWidth, 40}, L"file='title.png' corner='4,0,4,0' xtiled='true'");
        add({30, 60, 540, 600}, L"file='panel.png' corner='8,8,8,8'");
        add({560, 60, 1060, 600}, L"file='panel.png' corner='8,8,8,8' hole='true'");
        for (int i = 0; i < 12; ++i)
            add(Rect::fromSize(60 + (i % 6) * 160, 610 - 40 * (i / 6) - 40, 140, 32),
                L"file='btn.png' corner='5,5,5,5' fade='230'");
        add({40, 560, 1050, 572}, L"color='#C03A7BD5'");
        static const wchar_t* kTexts[] = {
            L"<b>Tolvar Realms</b> 安装程序 <c #FFFFD700>v20</c>",
            L"请选择要安装的版本：<a alder>Alder</a> / <a birch>Birch</a> / <a cedar>Cedar</a>",
            L"安装路径：{f 2}/home/player/Games/Tolvar Realms/{/f}",
            L"剩余文件：<b>128</b> 个  速度：<c #FF7CFC00>12.5 MB/s</c>",
            L"当前文件：data/maps/region_04.pak <u>详情</u>",
            L"下载结束，安装完成！<i>点击</i> <a start>开始游戏</a>"};
        static const wchar_t* kPlain[] = {L"Tolvar Realms 安装程序 v20",
                                          L"请选择要安装的版本：Alder / Birch / Cedar",
                                          L"安装路径：/home/player/Games/Tolvar Realms/",
                                          L"剩余文件：128 个  速度：12.5 MB/s",
                                          L"当前文件：data/maps/region_04.pak 详情",
                                          L"下载结束，安装完成！点击 开始游戏"};
        for (int i = 0; i < 50; ++i) {
            Rect r = Rect::fromSize(50 + (i % 2) * 520, 70 + (i / 2) * 21, 480, 21);
            texts.push_back({r, kTexts[i % 6]});
            plain.push_back({r, kPlain[i % 6]});
        }
    }

    void add(const Rect& r, const wchar_t* description) {
        auto item = std::make_unique<Item>();
        item->rect = r;
        item->description.setDescription(description);
        images.push_back(std::move(item));
    }

    void drawImages(platform::Canvas& canvas) {
        Rect paint{0, 0, kWidth, kHeight};
        for (auto& item : images) render::drawImageDescription(&canvas, &manager, item->rect, paint, item->description);
    }
    void drawTexts(platform::Canvas& canvas) {
        Rect links[8];
        CStringUI targets[8];
        for (auto& [rect, text] : texts) {
            Rect r = rect;
            int count = 8;
            render::drawRichText(canvas, &manager, r, text, 0xFFFFFFFF, links, targets, count, 1,
                                 platform::DT_SINGLELINE | platform::DT_VCENTER | platform::DT_END_ELLIPSIS);
        }
    }
    // Peer: the visible text of each run drawn as plain text (one layout, no tags).
    void drawPlain(platform::Canvas& canvas) {
        for (auto& [rect, text] : plain) {
            Rect r = rect;
            render::drawPlainText(canvas, &manager, r, text, 0xFFFFFFFF, 1,
                                  platform::DT_SINGLELINE | platform::DT_VCENTER | platform::DT_END_ELLIPSIS);
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    int rounds = 7, reps = 10;
    std::string png;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--quick")
            rounds = 3, reps = 3;
        else if (a == "--png" && i + 1 < argc)
            png = argv[++i];
    }
    Scene scene;
    platform::Surface target(kWidth, kHeight), copy(kWidth, kHeight);
    platform::Canvas canvas(target);

    struct Row {
        const char* name;
        std::function<void()> fn;
    };
    const Row rows[] = {
        {"memcpy of the surface (floor)",
         [&] { std::memcpy(copy.bits(), target.bits(), static_cast<std::size_t>(target.stride()) * kHeight); }},
        {"frame: images + 50 rich-text runs",
         [&] {
             scene.drawImages(canvas);
             scene.drawTexts(canvas);
         }},
        {"  16 image descriptions (nine-piece, tiled)", [&] { scene.drawImages(canvas); }},
        {"  50 rich-text runs", [&] { scene.drawTexts(canvas); }},
        {"  peer: the same 50 texts as plain text", [&] { scene.drawPlain(canvas); }},
    };
    std::printf("bench-render: %d x %d, median of %d rounds x %d frames\n\n", kWidth, kHeight, rounds, reps);
    std::printf("%-46s %12s %12s\n", "operation", "ms", "x memcpy");
    double floor = 0;
    for (const Row& row : rows) {
        double ms = bench::medianMs(row.fn, rounds, reps);
        if (floor == 0) floor = ms;
        std::printf("%-46s %12.3f %12.1f\n", row.name, ms, ms / floor);
    }
    if (!png.empty()) {
        scene.drawImages(canvas);
        scene.drawTexts(canvas);
        if (!target.writePng(png)) return 1;
    }
    return 0;
}
