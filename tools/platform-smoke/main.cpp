// platform-smoke: a window with Chinese text over a gradient on the chosen
// display. Usage: platform-smoke [--png FILE] [--seconds N] [--layered]
//   --png FILE   paint once, write the window's picture to FILE and exit
//   --seconds N  close the window by itself after N seconds
//   --layered    show it as a layered window with a drawn shadow around it
//                (a plain window where the display has no layered windows)
// Without options it runs until the window is closed.
#include "platform/graphics/Graphics.h"
#include "platform/window/Window.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace platform;

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 200;
constexpr std::uintptr_t kQuitTimer = 1;
constexpr int kShadow = 16; // shadow ring of a layered window
constexpr const wchar_t* kLines = L"Quellan 平台自检\r\n中文显示正常：下载、安装、完成";

bool g_layered = false;

void paint(WindowHandle w, Canvas& canvas) {
    Rect client = clientRect(w);
    if (g_layered) client = client.inflate(-kShadow, -kShadow).offset(-kShadow, -kShadow);
    canvas.gradientFill(client, 0xFF1E3C72, 0xFF2A9D8F, GradientDirection::Horizontal);
    static const std::shared_ptr<const Font> font = Font::create(Font::kFallbackFace, 26, FontStyle{true});
    canvas.setFont(font);
    canvas.setTextColour(0xFFFFFFFF);
    canvas.setBackgroundMode(BackgroundMode::Transparent);
    // Centred both ways: measure first, as DT_VCENTER applies to single lines only.
    const Rect area = client.inflate(-16, -16);
    Rect measured = area;
    const int height = canvas.drawText(kLines, measured, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    Rect text{area.left, area.top + (area.height() - height) / 2, area.right, area.bottom};
    canvas.drawText(kLines, text, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
}

// The picture of a layered window of the given size: the content inside a
// soft black shadow ring of kShadow pixels with rounded outer corners.
Surface layeredPicture(WindowHandle w, Size size) {
    Surface picture(size.cx, size.cy);
    Canvas canvas(picture);
    const float d = 2.0f * kShadow, fw = static_cast<float>(size.cx), fh = static_cast<float>(size.cy), s = kShadow;
    Path outline;
    outline.addArc({0, 0, d, d}, 180, 90);
    outline.addLine({s, 0}, {fw - s, 0});
    outline.addArc({fw - d, 0, d, d}, 270, 90);
    outline.addLine({fw, s}, {fw, fh - s});
    outline.addArc({fw - d, fh - d, d, d}, 0, 90);
    outline.addLine({fw - s, fh}, {s, fh});
    outline.addArc({0, fh - d, d, d}, 90, 90);
    outline.addLine({0, fh - s}, {0, s});
    outline.closeFigure();
    Path ring = outline;
    ring.addRectangle({s, s, fw - d, fh - d});
    const float focus = (100.0f - kShadow) / 100.0f;
    canvas.fillPathGradient(ring, outline, 0xC0000000, 0x00000000, focus, focus);
    canvas.setOrigin({kShadow, kShadow});
    canvas.intersectClipRect(Rect{0, 0, size.cx - 2 * kShadow, size.cy - 2 * kShadow});
    printWindow(w, canvas, PRF_CLIENT);
    return picture;
}

LResult smokeProc(WindowHandle w, unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PaintInfo info;
        if (Canvas* canvas = beginPaint(w, info)) {
            if (g_layered)
                updateLayeredWindow(w, layeredPicture(w, clientRect(w).size()), nullptr, 255);
            else
                paint(w, *canvas);
        }
        endPaint(w, info);
        return 0;
    }
    case WM_PRINTCLIENT:
    case WM_PRINT:
        if (auto* canvas = reinterpret_cast<Canvas*>(wParam)) paint(w, *canvas);
        return 0;
    case WM_NCHITTEST: {
        // The top band drags the window, as the installer's caption does.
        const Point p = screenToClient(w, {xFromLParam(lParam), yFromLParam(lParam)});
        return p.y < 40 + (g_layered ? kShadow : 0) ? HTCAPTION : HTCLIENT;
    }
    case WM_TIMER:
        if (wParam == kQuitTimer) destroyWindow(w);
        return 0;
    case WM_DESTROY:
        postQuitMessage(0);
        return 0;
    default:
        return defWindowProc(w, message, wParam, lParam);
    }
}

int usage() {
    std::fprintf(stderr, "usage: platform-smoke [--png FILE] [--seconds N] [--layered]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string png;
    int seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--png" && i + 1 < argc)
            png = argv[++i];
        else if (arg == "--seconds" && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (arg == "--layered")
            g_layered = true;
        else
            return usage();
    }
    std::string error;
    if (!openDisplay(&error)) return 1; // the reason is already on stderr
    if (!registerWindowClass({L"QuellanPlatformSmoke", 0, &smokeProc, CursorShape::Arrow})) {
        std::fprintf(stderr, "platform-smoke: cannot register the window class\n");
        return 1;
    }
    if (g_layered && !layeredWindowsSupported()) {
        std::fprintf(stderr, "platform-smoke: this display has no layered windows; showing a plain one\n");
        g_layered = false;
    }
    const int width = kWidth + (g_layered ? 2 * kShadow : 0);
    const int height = kHeight + (g_layered ? 2 * kShadow : 0);
    const Rect work = screenRect();
    WindowHandle w = createWindow(g_layered ? WS_EX_LAYERED : 0, L"QuellanPlatformSmoke", L"Quellan 平台自检",
                                  WS_POPUP | WS_VISIBLE, work.left + (work.width() - width) / 2,
                                  work.top + (work.height() - height) / 2, width, height, nullptr, nullptr);
    if (!w) {
        std::fprintf(stderr, "platform-smoke: cannot create the window\n");
        return 1;
    }
    if (!g_layered) setWindowRoundRegion(w, Rect{0, 0, kWidth + 1, kHeight + 1}, Size{16, 16}, true);
    updateWindow(w);
    if (!png.empty()) {
        Surface picture(kWidth, kHeight);
        Canvas canvas(picture);
        printWindow(w, canvas, PRF_CLIENT | PRF_CHILDREN);
        const bool written = picture.writePng(png);
        destroyWindow(w);
        if (!written) {
            std::fprintf(stderr, "platform-smoke: cannot write %s\n", png.c_str());
            return 1;
        }
        return 0;
    }
    if (seconds > 0) setTimer(w, kQuitTimer, static_cast<unsigned>(seconds) * 1000u);
    Message msg;
    while (getMessage(msg)) {
        translateMessage(msg);
        dispatchMessage(msg);
    }
    return static_cast<int>(msg.wParam);
}
