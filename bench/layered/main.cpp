// Times one full repaint of the gallery window (tests/gallery/gallery.xml,
// 900 × 840) on the virtual display: as a plain window (the peer), as a
// per-pixel layered window (tree, alpha correction, layered output), and as a
// layered window whose shadow ring is drawn again each frame.
#include "bench/BenchTiming.h"
#include "platform/window/VirtualDisplay.h"
#include "platform/window/Window.h"
#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"
#include "ui/markup/SkinBuilder.h"
#include "ui/render/SkinSource.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

class CBenchWindow : public CWindowWnd {
public:
    const wchar_t* wndClassName() const override { return L"QuellanBenchLayered"; }
    platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) override {
        if (message == platform::WM_CREATE) manager.attachWindow(m_window, L"bench");
        platform::LResult result = 0;
        if (manager.handleMessage(message, wParam, lParam, result)) return result;
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }
    CFormManagerUI manager;
};

void settle() {
    platform::Message msg;
    while (platform::peekMessage(msg, platform::PeekMode::Remove)) {
        if (msg.message == platform::WM_QUIT) break;
        platform::dispatchMessage(msg);
    }
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 7, reps = 10;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--quick") rounds = 3, reps = 3;

    std::filesystem::current_path(std::filesystem::path(QUELLAN_SOURCE_DIR) / "tests" / "gallery");
    if (!platform::vdisplay::open({2000, 2000})) {
        std::fprintf(stderr, "bench-layered: the virtual display cannot be opened\n");
        return 1;
    }
    CBenchWindow window;
    window.createHostWindow(nullptr, L"bench", platform::WS_POPUP, 0, 0, 0, 400, 300);
    CSkinBuilder builder;
    CControlUI* root = builder.build(L"gallery.xml", nullptr, nullptr, &window.manager, nullptr);
    if (!root) {
        std::fprintf(stderr, "bench-layered: the gallery does not build\n");
        return 1;
    }
    window.manager.setRoot(root);
    window.setShown(true, false);
    settle();
    CFormManagerUI& m = window.manager;
    const platform::Size size = platform::clientRect(window.windowHandle()).size();

    auto layeredFrame = [&](bool shadowToo) {
        if (shadowToo) m.setShadowColour(m.shadowColour() ^ 1u);
        m.invalidateAll();
        platform::vdisplay::advanceTime(CFormManagerUI::kLayeredRefreshMs);
        settle();
    };
    const double layered = bench::medianMs([&] { layeredFrame(false); }, rounds, reps);
    const double withShadow = bench::medianMs([&] { layeredFrame(true); }, rounds, reps);
    m.switchLayered(false);
    settle();
    const double plain = bench::medianMs(
        [&] {
            m.invalidateAll();
            settle();
        },
        rounds, reps);

    std::printf("bench-layered: gallery %d x %d, full repaint, median of %d rounds x %d frames\n\n", size.cx, size.cy,
                rounds, reps);
    std::printf("%-44s %10s %10s\n", "frame", "ms", "x plain");
    std::printf("%-44s %10.3f %10.2f\n", "plain window (peer)", plain, 1.0);
    std::printf("%-44s %10.3f %10.2f\n", "layered window, shadow kept", layered, layered / plain);
    std::printf("%-44s %10.3f %10.2f\n", "layered window, shadow drawn again", withShadow, withShadow / plain);
    platform::destroyWindow(window.windowHandle());
    return 0;
}
