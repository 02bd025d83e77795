// The paint cycle on the virtual display: update regions, WM_PAINT and
// WM_ERASEBKGND, canvases on the window surface, child windows over their
// parents, printing, regions and layered windows, read back as pixels.
#include "WindowTestSupport.h"

#include "platform/graphics/Graphics.h"

#include <cstdio>
#include <map>

namespace {

using namespace wintest;

using WindowPaint = WindowTest;

// Fills each window's paint rectangle with the colour given for it.
std::map<WindowHandle, Argb>& fills() {
    static std::map<WindowHandle, Argb> colours;
    return colours;
}

void paintWithColours() {
    hook() = [](WindowHandle w, unsigned msg, WParam wp, LParam) -> std::optional<LResult> {
        if (msg == WM_PAINT && fills().count(w)) {
            PaintInfo info;
            Canvas* canvas = beginPaint(w, info);
            if (canvas) canvas->fillRect(clientRect(w), fills()[w]);
            endPaint(w, info);
            return 0;
        }
        if (msg == WM_PRINTCLIENT && fills().count(w)) {
            reinterpret_cast<Canvas*>(wp)->fillRect(clientRect(w), fills()[w]);
            return 0;
        }
        return std::nullopt;
    };
}

class WindowPaintColours : public WindowPaint {
protected:
    void SetUp() override {
        WindowPaint::SetUp();
        fills().clear();
        paintWithColours();
    }
    void TearDown() override {
        fills().clear();
        WindowPaint::TearDown();
    }
};

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kGreen = 0xFF00FF00;

TEST_F(WindowPaintColours, PaintsReachTheScreenAndChildrenPaintOverTheirParent) {
    WindowHandle w = createWindow(0, kClass, L"", WS_POPUP, 100, 100, 80, 60, nullptr, nullptr);
    fills()[w] = kRed;
    vdisplay::pump();
    EXPECT_TRUE(records(w, WM_PAINT).empty()); // hidden windows do not paint
    showWindow(w, SW_SHOW);
    WindowHandle kid = child(w, 10, 10, 20, 20);
    fills()[kid] = kBlue;
    vdisplay::pump();
    EXPECT_EQ(messages(w, {WM_PAINT}).size(), 1u);
    EXPECT_EQ(messages(kid, {WM_PAINT}).size(), 1u);
    vdisplay::Snapshot snap;
    ASSERT_TRUE(vdisplay::windowPixels(w, snap));
    EXPECT_EQ(snap.size, (Size{80, 60}));
    EXPECT_EQ(snap.at(0, 0), kRed);
    EXPECT_EQ(snap.at(79, 59), kRed);
    EXPECT_EQ(snap.at(10, 10), kBlue);
    EXPECT_EQ(snap.at(29, 29), kBlue);
    EXPECT_EQ(snap.at(30, 30), kRed);

    // Repainting the parent under the child brings the child back on top.
    log().clear();
    fills()[w] = kGreen;
    Rect part{0, 0, 15, 15};
    invalidateRect(w, &part, false);
    vdisplay::pump();
    ASSERT_EQ(messages(w, {WM_PAINT}).size(), 1u);
    EXPECT_EQ(messages(kid, {WM_PAINT}).size(), 1u);
    ASSERT_TRUE(vdisplay::windowPixels(w, snap));
    EXPECT_EQ(snap.at(5, 5), kGreen);
    EXPECT_EQ(snap.at(12, 12), kBlue);
    EXPECT_EQ(snap.at(20, 5), kRed); // outside the update rectangle: untouched
    EXPECT_EQ(vdisplay::nativeState(w).lastPresented, (Rect{0, 0, 15, 15}));
}

TEST_F(WindowPaintColours, UpdateRegionIsClippedAndDrawingStaysInsideIt) {
    WindowHandle w = topLevel(0, 0, 50, 50);
    vdisplay::pump();
    Rect big{40, 40, 100, 100};
    invalidateRect(w, &big, false);
    Rect update;
    ASSERT_TRUE(getUpdateRect(w, &update, false));
    EXPECT_EQ(update, (Rect{40, 40, 50, 50}));
    fills()[w] = kBlue;
    vdisplay::pump();
    EXPECT_FALSE(getUpdateRect(w, &update, false));
    vdisplay::Snapshot snap;
    ASSERT_TRUE(vdisplay::windowPixels(w, snap));
    EXPECT_EQ(snap.at(45, 45), kBlue);
    EXPECT_EQ(snap.at(39, 45), 0u); // the fill of the whole client area was clipped

    // Validating part of the region trims it; validating all removes the paint.
    Rect all{0, 0, 50, 50};
    invalidateRect(w, &all, false);
    Rect top{0, 0, 50, 20};
    validateRect(w, &top);
    ASSERT_TRUE(getUpdateRect(w, &update, false));
    EXPECT_EQ(update, (Rect{0, 20, 50, 50}));
    validateRect(w, nullptr);
    log().clear();
    EXPECT_EQ(vdisplay::pump(), 0);
}

TEST_F(WindowPaint, EraseIsAskedWhenRequestedAndReportedWhenNotDone) {
    WindowHandle w = topLevel(0, 0, 50, 50);
    vdisplay::pump();
    ASSERT_EQ(records(w, WM_ERASEBKGND).size(), 1u);    // the first paint erases
    EXPECT_NE(records(w, WM_ERASEBKGND)[0].wParam, 0u); // with the paint canvas
    log().clear();
    invalidateRect(w, nullptr, false);
    vdisplay::pump();
    EXPECT_TRUE(records(w, WM_ERASEBKGND).empty());
    invalidateRect(w, nullptr, true);
    bool erase = false;
    hook() = [&](WindowHandle win, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (msg == WM_PAINT) {
            PaintInfo info;
            beginPaint(win, info);
            erase = info.erase;
            endPaint(win, info);
            return 0;
        }
        return std::nullopt;
    };
    vdisplay::pump();
    EXPECT_TRUE(erase); // the default erase does nothing, so the painter must
}

TEST_F(WindowPaintColours, PrintDrawsTheWindowAndItsChildrenIntoAGivenCanvas) {
    WindowHandle w = topLevel(0, 0, 40, 40);
    WindowHandle kid = child(w, 20, 20, 10, 10);
    fills()[w] = kRed;
    fills()[kid] = kBlue;
    Surface target(40, 40);
    Canvas canvas(target);
    ASSERT_TRUE(printWindow(w, canvas, PRF_CLIENT | PRF_CHILDREN));
    EXPECT_EQ(target.pixel(0, 0), kRed);
    EXPECT_EQ(target.pixel(25, 25), kBlue);
    EXPECT_EQ(target.pixel(31, 31), kRed);
    EXPECT_EQ(canvas.origin(), (Point{0, 0})); // restored after the children

    // A hidden window prints nothing when asked to check visibility.
    showWindow(kid, SW_HIDE);
    Surface second(40, 40);
    Canvas secondCanvas(second);
    printWindow(kid, secondCanvas, PRF_CLIENT | PRF_CHECKVISIBLE);
    EXPECT_EQ(second.pixel(0, 0), 0u);
}

TEST_F(WindowPaintColours, RoundRegionMakesTheCornersTransparent) {
    WindowHandle w = topLevel(0, 0, 100, 100);
    fills()[w] = kRed;
    setWindowRoundRegion(w, Rect{0, 0, 101, 101}, Size{30, 30}, true);
    vdisplay::pump();
    vdisplay::Snapshot snap;
    ASSERT_TRUE(vdisplay::windowPixels(w, snap));
    EXPECT_EQ(snap.at(0, 0), 0u);
    EXPECT_EQ(snap.at(99, 0), 0u);
    EXPECT_EQ(snap.at(50, 0), kRed);
    EXPECT_EQ(snap.at(15, 15), kRed);
}

TEST_F(WindowPaint, LayeredWindowsShowTheirOwnPixelsWithOpacity) {
    ASSERT_TRUE(layeredWindowsSupported());
    WindowHandle plain = topLevel(0, 0, 4, 4);
    Surface pixels(4, 4);
    pixels.clear(0x80400000); // half-transparent premultiplied red
    pixels.setPixel(0, 0, 0);
    EXPECT_FALSE(updateLayeredWindow(plain, pixels, nullptr, 255)); // needs WS_EX_LAYERED

    WindowHandle w = topLevel(10, 10, 4, 4, kClass, WS_EX_LAYERED);
    EXPECT_TRUE(vdisplay::nativeState(w).style.layered);
    Point pos{30, 40};
    ASSERT_TRUE(updateLayeredWindow(w, pixels, &pos, 255));
    EXPECT_EQ(windowRect(w), Rect::fromSize(30, 40, 4, 4));
    vdisplay::pump(); // ordinary paints must not cover the layered pixels
    vdisplay::Snapshot snap;
    ASSERT_TRUE(vdisplay::windowPixels(w, snap));
    EXPECT_EQ(snap.at(0, 0), 0u);
    EXPECT_EQ(snap.at(3, 3), 0x80400000u);

    ASSERT_TRUE(updateLayeredWindow(w, pixels, nullptr, 128));
    ASSERT_TRUE(vdisplay::windowPixels(w, snap));
    EXPECT_EQ(snap.at(3, 3), 0x40200000u);

    // Whole-window opacity scales what the window shows.
    WindowHandle faded = topLevel(100, 0, 10, 10, kClass, WS_EX_LAYERED);
    hook() = [faded](WindowHandle win, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (win == faded && msg == WM_PAINT) {
            PaintInfo info;
            if (Canvas* c = beginPaint(win, info)) c->fillRect(clientRect(win), 0xFFFFFFFF);
            endPaint(win, info);
            return 0;
        }
        return std::nullopt;
    };
    ASSERT_TRUE(setWindowOpacity(faded, 0x80));
    vdisplay::pump();
    ASSERT_TRUE(vdisplay::windowPixels(faded, snap));
    EXPECT_EQ(snap.at(5, 5), 0x80808080u);
    EXPECT_FALSE(setWindowOpacity(plain, 0x80));

    // Leaving layered mode brings the painted pixels back.
    setWindowExStyle(w, windowExStyle(w) & ~WS_EX_LAYERED);
    vdisplay::pump();
    EXPECT_FALSE(vdisplay::nativeState(w).style.layered);
}

TEST_F(WindowPaintColours, WindowPixelsCanBeWrittenAsPng) {
    WindowHandle w = topLevel(0, 0, 16, 8);
    fills()[w] = kGreen;
    vdisplay::pump();
    const std::string path = std::string(QUELLAN_BINARY_DIR) + "/window-paint-test.png";
    ASSERT_TRUE(vdisplay::writeWindowPng(w, path));
    Surface back = Surface::readPng(path);
    EXPECT_EQ(back.size(), (Size{16, 8}));
    EXPECT_EQ(back.pixel(7, 7), kGreen);
    std::remove(path.c_str());
    EXPECT_FALSE(vdisplay::writeWindowPng(child(w, 0, 0, 2, 2), path)); // not a top-level window
}

TEST_F(WindowPaint, IconWorkAreaAndMetrics) {
    WindowHandle w = topLevel(0, 0, 10, 10);
    Surface icon(32, 32);
    icon.clear(0xFF112233);
    sendMessage(w, WM_SETICON, ICON_BIG, reinterpret_cast<LParam>(&icon));
    EXPECT_TRUE(vdisplay::nativeState(w).hasIcon);
    EXPECT_EQ(workAreaNear(w), (Rect{0, 0, 1280, 800}));
    EXPECT_EQ(systemMetric(SM_CXSCREEN), 1280);
    EXPECT_EQ(systemMetric(SM_CXICON), 32);
    EXPECT_GT(caretBlinkTime(), 0u);
}

} // namespace
