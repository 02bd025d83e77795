// Times a 500-control skin at 1090 × 644 on the virtual display, each figure
// beside a floor measured in the same run:
//   - layout and full paint through the paint manager, against the same
//     rectangles, images and texts drawn directly through the canvas;
//   - a hover change (only the button's rectangle is repainted), against a
//     full repaint of the window (pixels and time of both);
//   - the hit-test walk of the tree, against a flat scan of the same
//     rectangles;
//   - layout and full paint of the same skin in a window at scale 2,
//     against scale 1.
#include "bench/BenchTiming.h"
#include "platform/graphics/Graphics.h"
#include "platform/window/VirtualDisplay.h"
#include "platform/window/Window.h"
#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"
#include "ui/markup/SkinBuilder.h"
#include "ui/render/RenderEngine.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using platform::Argb;
using platform::Rect;

namespace {

constexpr int kWidth = 1090, kHeight = 644;
constexpr const wchar_t* kFace = L"WenQuanYi Micro Hei";

// A skin-like image: a gradient with a translucent frame when asked.
ImageHandle makeImage(int w, int h, bool translucentEdges, Argb tint) {
    auto image = std::make_shared<ImageRecord>();
    image->bitmap = platform::Surface(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool edge = x < 4 || y < 4 || x >= w - 4 || y >= h - 4;
            Argb c = (translucentEdges && edge ? 0xA0000000u : 0xFF000000u) |
                     ((tint & 0xFFFFFF) ^ (((x * 64 / w) << 16) | ((y * 64 / h) << 8)));
            image->bitmap.setPixel(x, y, platform::premultiply(c));
        }
    image->width = w;
    image->height = h;
    image->hasAlpha = translucentEdges;
    return image;
}

// What one control draws, kept to draw the same directly for the floor.
struct Item {
    std::wstring name;
    Argb bk = 0;
    std::wstring image; // image description, empty for none
    int percent = -1;   // a progress bar's image covers only this much of it
    std::wstring text;
    unsigned style = platform::DT_SINGLELINE | platform::DT_VCENTER;
    ImageDescription description;
    Rect rect;
};

struct Skin {
    std::wstring markup;
    std::vector<std::unique_ptr<Item>> items;

    std::wstring add(const wchar_t* tag, std::wstring attributes, Argb bk, std::wstring image, std::wstring text,
                     unsigned style = platform::DT_SINGLELINE | platform::DT_VCENTER, int percent = -1) {
        auto item = std::make_unique<Item>();
        item->name = L"c" + std::to_wstring(items.size());
        item->bk = bk;
        item->image = image;
        item->text = text;
        item->style = style;
        item->percent = percent;
        std::wstring xml = L"<" + std::wstring(tag) + L" name=\"" + item->name + L"\" " + attributes;
        wchar_t colour[16];
        if (bk) {
            std::swprintf(colour, 16, L"%08X", bk);
            xml += L" bkcolor=\"#" + std::wstring(colour) + L"\"";
        }
        if (!text.empty()) xml += L" text=\"" + text + L"\"";
        items.push_back(std::move(item));
        return xml;
    }

    // 500 controls: a title bar of 16, and two columns of 24 rows of 10.
    Skin() {
        markup = L"<Window><Font id=\"0\" name=\"WenQuanYi Micro Hei\" size=\"13\" default=\"true\"/>";
        markup += add(L"VerticalLayout", L"inset=\"8,8,8,8\" bkimage=\"file='bench-bk.png' corner='10,40,10,10'\"", 0,
                      L"file='bench-bk.png' corner='10,40,10,10'", L"") +
                  L">";
        markup += add(L"HorizontalLayout", L"height=\"36\" childpadding=\"4\"", 0xFF1E2430, L"", L"") + L">";
        markup +=
            add(L"Label", L"width=\"240\" font=\"0\" textcolor=\"#FFFFFFFF\"", 0, L"", L"Tolvar Realms 安装程序") +
            L"/>";
        for (int i = 0; i < 14; ++i)
            markup += add(L"Button",
                          L"width=\"50\" normalimage=\"file='bench-btn.png' corner='5,5,5,5'\" "
                          L"hotimage=\"file='bench-btn.png' corner='5,5,5,5' fade='160'\"",
                          0, L"file='bench-btn.png' corner='5,5,5,5'", L"按钮" + std::to_wstring(i),
                          platform::DT_SINGLELINE | platform::DT_VCENTER | platform::DT_CENTER) +
                      L"/>";
        markup += L"</HorizontalLayout>";
        markup += add(L"HorizontalLayout", L"childpadding=\"8\"", 0, L"", L"") + L">";
        for (int column = 0; column < 2; ++column) {
            markup += add(L"VerticalLayout", L"childpadding=\"2\"", 0xFFF3F5F8, L"", L"") + L">";
            for (int row = 0; row < 24; ++row) {
                markup += add(L"HorizontalLayout", L"childpadding=\"3\"", 0, L"", L"") + L">";
                std::wstring n = std::to_wstring(column * 24 + row);
                markup += add(L"Label", L"width=\"90\"", 0, L"", L"文件 " + n + L".pak") + L"/>";
                markup += add(L"Button", L"width=\"60\" normalimage=\"file='bench-btn.png' corner='5,5,5,5'\"", 0,
                              L"file='bench-btn.png' corner='5,5,5,5'", L"开始",
                              platform::DT_SINGLELINE | platform::DT_VCENTER | platform::DT_CENTER) +
                          L"/>";
                markup += add(L"Option", L"width=\"50\" group=\"g" + n + L"\"", 0xFFDDEBFF, L"", L"选项") + L"/>";
                markup += add(L"CheckBox", L"width=\"50\"", 0xFFE8EEF7, L"", L"检查") + L"/>";
                markup += add(L"Control", L"width=\"12\"", 0xFF3A7BD5, L"", L"") + L"/>";
                markup += add(L"Progress",
                              L"width=\"80\" height=\"12\" value=\"" + std::to_wstring(row * 4) +
                                  L"\" foreimage=\"file='bench-bar.png'\"",
                              0xFFD5DAE1, L"file='bench-bar.png'", L"", platform::DT_SINGLELINE, row * 4) +
                          L"/>";
                markup += add(L"Label", L"width=\"40\" align=\"right\"", 0, L"", n + L"%",
                              platform::DT_SINGLELINE | platform::DT_VCENTER | platform::DT_RIGHT) +
                          L"/>";
                markup += add(L"Control", L"width=\"8\"", 0xFFC0392B, L"", L"") + L"/>";
                markup += add(L"Label", L"", 0, L"", L"12.5 MB/s 剩余 " + n) + L"/>";
                markup += L"</HorizontalLayout>";
            }
            markup += L"</VerticalLayout>";
        }
        markup += L"</HorizontalLayout></VerticalLayout></Window>";
    }
};

class BenchWindow final : public CWindowWnd {
public:
    const wchar_t* wndClassName() const override { return L"QuellanBenchSkin"; }
    platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) override {
        if (message == platform::WM_CREATE) manager.attachWindow(m_window, L"bench");
        platform::LResult result = 0;
        if (manager.handleMessage(message, wParam, lParam, result)) return result;
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }
    CFormManagerUI manager;
};

void settle() {
    for (int i = 0; i < 10000 && platform::vdisplay::pump() > 0; ++i) {}
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 9, reps = 10;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--quick") rounds = 3, reps = 3;

    if (!platform::vdisplay::open({2560, 1600})) {
        std::fprintf(stderr, "the virtual display cannot be opened\n");
        return 1;
    }
    auto& shared = CFormManagerUI::sharedResources().images;
    shared.set(L"bench-bk.png", makeImage(220, 160, false, 0x2B3A55));
    shared.set(L"bench-btn.png", makeImage(48, 24, true, 0x3A7BD5));
    shared.set(L"bench-bar.png", makeImage(40, 12, false, 0x1F8A3B));

    Skin skin;
    BenchWindow window;
    window.createHostWindow(nullptr, L"bench-skin", platform::WS_POPUP, 0, 0, 0, kWidth, kHeight);
    CSkinBuilder builder;
    CControlUI* root = builder.build(skin.markup.c_str(), nullptr, nullptr, &window.manager, nullptr);
    if (!root || skin.items.size() != 500) {
        std::fprintf(stderr, "the skin did not build (%zu items)\n", skin.items.size());
        return 1;
    }
    window.manager.setRoot(root);
    window.setShown(true, true);
    settle();
    const platform::WindowHandle hwnd = window.windowHandle();

    // The floor: every control's colour, image and text straight onto a
    // surface, then one copy of the frame, as the paint manager presents it.
    for (auto& item : skin.items) {
        CControlUI* control = window.manager.findControlByName(item->name);
        item->rect = control->bounds();
        if (!item->image.empty()) item->description.setDescription(item->image);
    }
    platform::Surface direct(kWidth, kHeight), presented(kWidth, kHeight);
    platform::Canvas directCanvas(direct), presentCanvas(presented);
    const Rect all{0, 0, kWidth, kHeight};
    auto drawDirect = [&] {
        for (auto& item : skin.items) {
            if (item->bk) render::fillColour(directCanvas, item->rect, item->bk);
            if (!item->image.empty()) {
                if (item->percent >= 0 && render::resolveImageDescription(&window.manager, item->description))
                    item->description.dest = {0, 0, item->rect.width() * item->percent / 100, item->rect.height()};
                render::drawImageDescription(&directCanvas, &window.manager, item->rect, all, item->description);
            }
            if (!item->text.empty()) {
                Rect r = item->rect;
                render::drawPlainText(directCanvas, &window.manager, r, item->text, 0xFF20242C, 0, item->style);
            }
        }
        presentCanvas.copyFrom(direct, all, {0, 0});
    };
    auto frame = [&] {
        root->scheduleLayout();
        window.manager.invalidateAll();
        platform::updateWindow(hwnd);
    };
    platform::Surface scratch(kWidth, kHeight);
    platform::Canvas scratchCanvas(scratch);

    std::printf("bench-skin: %d controls at %d x %d on the virtual display; median of %d rounds x %d\n\n",
                static_cast<int>(skin.items.size()), kWidth, kHeight, rounds, reps);
    std::printf("%-58s %10s %8s\n", "operation", "ms", "ratio");
    double floor = bench::medianMs(drawDirect, rounds, reps);
    double full = bench::medianMs(frame, rounds, reps);
    double layout = bench::medianMs([&] { root->place(all, false); }, rounds, reps);
    // Every text changed: each label measures again.
    std::vector<std::pair<CControlUI*, std::wstring>> labels;
    for (auto& item : skin.items)
        if (CControlUI* c = window.manager.findControlByName(item->name); c->castTo(L"Label") && !item->text.empty())
            labels.push_back({c, item->text});
    bool alternate = false;
    double coldLayout = bench::medianMs(
        [&] {
            alternate = !alternate;
            for (auto& [control, text] : labels) control->assignText(alternate ? text + L" " : text);
            root->place(all, false);
        },
        rounds, reps);
    double paint = bench::medianMs([&] { root->paintTree(scratchCanvas, all, nullptr); }, rounds, reps);
    std::printf("%-58s %10.3f %8s\n", "floor: same colours, images, texts via canvas + copy", floor, "1.00");
    std::printf("%-58s %10.3f %8.2f\n", "framework: layout + full paint + present (WM_PAINT)", full, full / floor);
    std::printf("%-58s %10.3f %8.2f\n", "  layout of the whole tree alone", layout, layout / floor);
    std::printf("%-58s %10.3f %8.2f\n", "  layout after every text changed (each label measures)", coldLayout,
                coldLayout / floor);
    std::printf("%-58s %10.3f %8.2f\n", "  paint of the whole tree alone (no present)", paint, paint / floor);

    // Hover: in and out of one button; only its rectangle is repainted.
    CControlUI* button = window.manager.findControlByName(L"c3");
    const Rect b = button->bounds();
    const platform::Point in = platform::clientToScreen(hwnd, {(b.left + b.right) / 2, (b.top + b.bottom) / 2});
    const platform::Point out = platform::clientToScreen(hwnd, {5, kHeight - 3});
    bool inside = false;
    Rect hoverPainted;
    double hover = bench::medianMs(
        [&] {
            inside = !inside;
            platform::vdisplay::moveMouse(inside ? in : out);
            settle();
            hoverPainted = platform::vdisplay::nativeState(hwnd).lastPresented;
        },
        rounds, reps);
    Rect fullPainted;
    double repaint = bench::medianMs(
        [&] {
            window.manager.invalidateAll();
            platform::updateWindow(hwnd);
            fullPainted = platform::vdisplay::nativeState(hwnd).lastPresented;
        },
        rounds, reps);
    std::printf("\n%-58s %10s %10s %8s\n", "repaint", "ms", "pixels", "ratio");
    std::printf("%-58s %10.3f %10d %8s\n", "full repaint of the window (floor)", repaint,
                fullPainted.width() * fullPainted.height(), "1.00");
    std::printf("%-58s %10.3f %10d %8.2f\n", "hover change of one button (its rectangle)", hover,
                hoverPainted.width() * hoverPainted.height(), hover / repaint);

    // Hit testing over a grid of points.
    std::vector<platform::Point> points;
    for (int y = 1; y < kHeight; y += 23)
        for (int x = 1; x < kWidth; x += 37) points.push_back({x, y});
    std::vector<Rect> rects;
    for (auto& item : skin.items) rects.push_back(item->rect);
    volatile std::intptr_t sink = 0;
    double walk = bench::medianMs(
        [&] {
            for (const platform::Point& p : points)
                sink = sink + reinterpret_cast<std::intptr_t>(window.manager.findControlAt(p));
        },
        rounds, reps);
    double scan = bench::medianMs(
        [&] {
            for (const platform::Point& p : points) {
                // The last control containing the point: the topmost, as the walk finds it.
                for (std::size_t i = rects.size(); i-- > 0;)
                    if (rects[i].contains(p)) {
                        sink = sink + static_cast<std::intptr_t>(i);
                        break;
                    }
            }
        },
        rounds, reps);
    const double perWalk = walk * 1e6 / points.size(), perScan = scan * 1e6 / points.size();
    std::printf("\n%-58s %10s %8s\n", "hit test (per point)", "ns", "ratio");
    std::printf("%-58s %10.0f %8s\n", "flat scan of the 500 rectangles (floor)", perScan, "1.00");
    std::printf("%-58s %10.0f %8.2f\n", "findControlAt: the tree walk", perWalk, perWalk / perScan);

    // The same skin in a window at scale 2 (a desktop at 200%): four times
    // the pixels, text at twice the size, images enlarged by the filter.
    BenchWindow scaled;
    scaled.createHostWindow(nullptr, L"bench-skin-2x", platform::WS_POPUP, 0, 0, 0, 2 * kWidth, 2 * kHeight);
    scaled.manager.setScale(2.0);
    CSkinBuilder scaledBuilder;
    CControlUI* scaledRoot = scaledBuilder.build(skin.markup.c_str(), nullptr, nullptr, &scaled.manager, nullptr);
    if (!scaledRoot) {
        std::fprintf(stderr, "the skin did not build at scale 2\n");
        return 1;
    }
    scaled.manager.setRoot(scaledRoot);
    scaled.setShown(true, true);
    settle();
    const platform::WindowHandle scaledHwnd = scaled.windowHandle();
    const Rect all2{0, 0, 2 * kWidth, 2 * kHeight};
    platform::Surface scratch2(2 * kWidth, 2 * kHeight);
    platform::Canvas scratchCanvas2(scratch2);
    auto scaledFrame = [&] {
        scaledRoot->scheduleLayout();
        scaled.manager.invalidateAll();
        platform::updateWindow(scaledHwnd);
    };
    double full2 = bench::medianMs(scaledFrame, rounds, reps);
    double layoutPaint1 = bench::medianMs(
        [&] {
            root->place(all, false);
            root->paintTree(scratchCanvas, all, nullptr);
        },
        rounds, reps);
    double layoutPaint2 = bench::medianMs(
        [&] {
            scaledRoot->place(all2, false);
            scaledRoot->paintTree(scratchCanvas2, all2, nullptr);
        },
        rounds, reps);
    std::printf("\n%-58s %10s %10s %8s\n", "scale 2 against scale 1 (target: at most 4.5x)", "ms", "pixels", "ratio");
    std::printf("%-58s %10.3f %10d %8s\n", "scale 1: layout + full paint (floor)", layoutPaint1, kWidth * kHeight,
                "1.00");
    std::printf("%-58s %10.3f %10d %8.2f\n", "scale 2: layout + full paint", layoutPaint2, 4 * kWidth * kHeight,
                layoutPaint2 / layoutPaint1);
    std::printf("%-58s %10.3f %10d %8s\n", "scale 1: layout + full paint + present (floor)", full, kWidth * kHeight,
                "1.00");
    std::printf("%-58s %10.3f %10d %8.2f\n", "scale 2: layout + full paint + present", full2, 4 * kWidth * kHeight,
                full2 / full);

    platform::destroyWindow(scaledHwnd);
    platform::destroyWindow(hwnd);
    return 0;
}
