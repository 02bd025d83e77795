// A framework window with a drawn shadow on the sdl display under Xvfb:
// with a compositing manager the desktop shows through the shadow ring and
// the transparent corners; without one the window falls back to a plain
// window without the shadow inset. Read back with screenshots of the screen.
#include "platform/graphics/Graphics.h"
#include "platform/window/Window.h"
#include "tests/support/PixelMatch.h"
#include "tests/support/Pump.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/XDesktop.h"
#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"
#include "ui/markup/SkinBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

using namespace platform;
using namespace std::chrono_literals;
using testsupport::pixelNear;
using testsupport::pumpUntil;

namespace {

constexpr Argb kDesktop = 0xFF00FF00; // the backdrop window
constexpr Argb kContent = 0xFFFF0000; // the framework window's tree

LResult backdropProc(WindowHandle w, unsigned message, WParam wParam, LParam lParam) {
    if (message == WM_PAINT) {
        PaintInfo info;
        if (Canvas* c = beginPaint(w, info)) c->fillRect(clientRect(w), kDesktop);
        endPaint(w, info);
        return 0;
    }
    return defWindowProc(w, message, wParam, lParam);
}

// A window built from markup, its messages going to its manager first.
class CSkinnedWindow : public CWindowWnd {
public:
    ~CSkinnedWindow() override {
        if (m_window) destroyWindow(m_window);
    }
    const wchar_t* wndClassName() const override { return L"QuellanLayeredSdlTest"; }
    LResult onWindowMessage(unsigned message, WParam wParam, LParam lParam) override {
        if (message == WM_CREATE) manager.attachWindow(m_window, L"layered");
        LResult result = 0;
        if (manager.handleMessage(message, wParam, lParam, result)) return result;
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }
    // Builds `document` (markup text, or a document name) into a window at `at`.
    bool open(Rect at, const wchar_t* document = kDocument) {
        if (!createHostWindow(nullptr, L"quellan layered sdl test", WS_POPUP, 0, at)) return false;
        CSkinBuilder builder;
        CControlUI* root = builder.build(document, nullptr, nullptr, &manager, nullptr);
        if (!root) return false;
        setWindowPos(m_window, nullptr, at.left, at.top, at.width(), at.height(), SWP_NOZORDER | SWP_NOACTIVATE);
        manager.setRoot(root);
        setShown(true, false);
        return true;
    }
    static constexpr const wchar_t* kDocument =
        LR"(<Window layeredimage="color='#00000000'" shadowsize="16" shadowcolor="#FF000000">
              <VerticalLayout name="root" bkcolor="#FFFF0000"/></Window>)";
    CFormManagerUI manager;
};

class LayeredSdl : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::setenv("QUELLAN_DISPLAY", "sdl", 1);
        std::string error;
        ASSERT_TRUE(openDisplay(&error)) << error;
        ASSERT_TRUE(registerWindowClass({L"QuellanLayeredBackdrop", 0, &backdropProc, CursorShape::Arrow}));
    }
    void TearDown() override {
        window.reset();
        if (backdrop) destroyWindow(backdrop);
        testsupport::drainMessages();
    }

    Surface screenshot() { return testsupport::rootScreenshot((scratch / "screen.png").string()); }

    // Shows the backdrop and, over it, the framework window at `at`.
    void openBoth(Rect at, const wchar_t* document = CSkinnedWindow::kDocument) {
        backdrop = createWindow(0, L"QuellanLayeredBackdrop", L"quellan layered backdrop", WS_POPUP | WS_VISIBLE,
                                at.left - 100, at.top - 100, at.width() + 200, at.height() + 200, nullptr, nullptr);
        ASSERT_NE(backdrop, nullptr);
        ASSERT_TRUE(pumpUntil(
            [&] { return static_cast<bool>(pixelNear(screenshot().pixel(at.left - 50, at.top), kDesktop, 8)); }, 20s))
            << "the backdrop never showed";
        window = std::make_unique<CSkinnedWindow>();
        ASSERT_TRUE(window->open(at, document));
    }

    // Pumps (the refresh timer runs in real time) until the screen satisfies `test`.
    bool pumpUntilScreen(const std::function<bool(const Surface&)>& test) {
        return pumpUntil(
            [&] {
                last = screenshot();
                return !last.isEmpty() && test(last);
            },
            20s);
    }

    const testsupport::ScratchFolder scratch;
    WindowHandle backdrop = nullptr;
    std::unique_ptr<CSkinnedWindow> window;
    Surface last;
};

int green(std::uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
int red(std::uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }

TEST_F(LayeredSdl, TheDesktopShowsThroughTheShadowWithACompositor) {
    testsupport::Compositor compositor;
    ASSERT_TRUE(compositor.started()) << "xcompmgr is missing (see scripts/packages.txt)";
    ASSERT_TRUE(pumpUntil([] { return layeredWindowsSupported(); }, 10s));

    const Rect at = Rect::fromSize(300, 250, 240, 160);
    openBoth(at);
    ASSERT_TRUE(window->manager.isLayered());

    const int midY = at.top + at.height() / 2;
    const bool shown = pumpUntilScreen([&](const Surface& s) {
        const std::uint32_t outer = s.pixel(at.left + 3, midY), inner = s.pixel(at.left + 13, midY);
        return pixelNear(s.pixel(at.left + 120, midY), kContent, 8) && red(outer) < 16 && red(inner) < 16 &&
               green(outer) > green(inner) + 40 && green(inner) > 8 && green(outer) < 250;
    });
    EXPECT_TRUE(shown) << std::hex << "content " << last.pixel(at.left + 120, midY) << ", shadow "
                       << last.pixel(at.left + 3, midY) << " .. " << last.pixel(at.left + 13, midY);
    EXPECT_EQ(window->manager.root()->bounds(), Rect(16, 16, 224, 144));
    // The rounded corner of the ring is transparent; outside the window the desktop is untouched.
    EXPECT_TRUE(pixelNear(last.pixel(at.left + 1, at.top + 1), kDesktop, 8))
        << std::hex << last.pixel(at.left + 1, at.top + 1);
    EXPECT_TRUE(pixelNear(last.pixel(at.left - 3, midY), kDesktop, 4));

    // The compositing manager ends: at its next repaint the window turns plain.
    compositor.stop();
    ASSERT_TRUE(pumpUntil([] { return !layeredWindowsSupported(); }, 10s));
    window->manager.invalidateAll();
    EXPECT_TRUE(pumpUntil([&] { return !window->manager.isLayered(); }, 20s));
    EXPECT_TRUE(pumpUntil([&] { return window->manager.root()->bounds() == Rect(0, 0, 240, 160); }, 20s));
    EXPECT_TRUE(pumpUntilScreen([&](const Surface& s) {
        return static_cast<bool>(pixelNear(s.pixel(at.left + 3, midY), kContent, 8));
    })) << std::hex
        << last.pixel(at.left + 3, midY);
}

TEST_F(LayeredSdl, TheGalleryShowsItsShadowOverTheDesktop) {
    testsupport::Compositor compositor;
    ASSERT_TRUE(compositor.started()) << "xcompmgr is missing (see scripts/packages.txt)";
    ASSERT_TRUE(pumpUntil([] { return layeredWindowsSupported(); }, 10s));
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::path(QUELLAN_SOURCE_DIR) / "tests" / "gallery");
    const Rect at = Rect::fromSize(150, 60, 900, 840);
    // Images load when first painted, from the skin folder.
    struct Back {
        std::filesystem::path to;
        ~Back() { std::filesystem::current_path(to); }
    } back{cwd};
    openBoth(at, L"gallery.xml");
    ASSERT_TRUE(window->manager.isLayered());
    const int midY = at.top + at.height() / 2;
    // The title bar (dark blue) inside, the ring around it darkening the green desktop.
    const bool shown = pumpUntilScreen([&](const Surface& s) {
        const std::uint32_t title = s.pixel(at.left + 450, at.top + 20), ring = s.pixel(at.left + 5, midY);
        return (title & 0xFF) > 0x40 && green(title) < 0x90 && red(ring) < 16 && green(ring) > 16 && green(ring) < 240;
    });
    EXPECT_TRUE(shown) << std::hex << "title " << last.pixel(at.left + 450, at.top + 20) << ", ring "
                       << last.pixel(at.left + 5, midY);
    if (const char* out = std::getenv("QUELLAN_SCREENSHOT")) last.writePng(out);
}

TEST_F(LayeredSdl, WithoutACompositorTheWindowIsPlainWithoutInset) {
    ASSERT_TRUE(pumpUntil([] { return !layeredWindowsSupported(); }, 10s)) << "a compositing manager still runs";
    const Rect at = Rect::fromSize(300, 250, 240, 160);
    openBoth(at);
    EXPECT_FALSE(window->manager.isLayered());
    EXPECT_FALSE(windowExStyle(window->windowHandle()) & WS_EX_LAYERED);
    ASSERT_TRUE(pumpUntil([&] { return window->manager.root()->bounds() == Rect(0, 0, 240, 160); }, 20s));
    const int midY = at.top + at.height() / 2;
    EXPECT_TRUE(pumpUntilScreen([&](const Surface& s) {
        return pixelNear(s.pixel(at.left + 3, midY), kContent, 8) &&
               pixelNear(s.pixel(at.left + 1, at.top + 1), kContent, 8);
    })) << std::hex
        << last.pixel(at.left + 3, midY);
}

} // namespace
