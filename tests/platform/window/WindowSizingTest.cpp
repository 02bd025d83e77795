// Sizing top-level windows: WM_GETMINMAXINFO before every size change (the
// program's, a border drag's, the desktop's, maximising) and the track sizes
// it sets; border drags on the virtual display through the hit-test codes.
#include "WindowTestSupport.h"

namespace wintest {
namespace {

constexpr int kBorder = 6;

// Answers WM_NCHITTEST with sizing borders `kBorder` wide (corners where two
// meet), a caption band below the top border, and the client area; answers
// WM_GETMINMAXINFO with the limits of the test.
struct Limits {
    Size min;
    Size max{kMaxWindowExtent, kMaxWindowExtent};
    std::optional<Rect> maximised; // maxPosition and maxSize
};

int borderHit(WindowHandle w, Point screen) {
    const Rect r = windowRect(w);
    if (!r.contains(screen)) return HTNOWHERE;
    const bool left = screen.x < r.left + kBorder, right = screen.x >= r.right - kBorder;
    const bool top = screen.y < r.top + kBorder, bottom = screen.y >= r.bottom - kBorder;
    if (top && left) return HTTOPLEFT;
    if (top && right) return HTTOPRIGHT;
    if (bottom && left) return HTBOTTOMLEFT;
    if (bottom && right) return HTBOTTOMRIGHT;
    if (left) return HTLEFT;
    if (right) return HTRIGHT;
    if (top) return HTTOP;
    if (bottom) return HTBOTTOM;
    if (screen.y < r.top + 30) return HTCAPTION;
    return HTCLIENT;
}

class SizingTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        hook() = [this](WindowHandle w, unsigned msg, WParam, LParam lp) -> std::optional<LResult> {
            if (msg == WM_NCHITTEST && w == window) return borderHit(w, {xFromLParam(lp), yFromLParam(lp)});
            if (msg == WM_GETMINMAXINFO) {
                auto* info = reinterpret_cast<MinMaxInfo*>(lp);
                if (limits.min.cx > 0) info->minTrackSize = limits.min;
                if (limits.max.cx > 0) info->maxTrackSize = limits.max;
                if (limits.maximised) {
                    info->maxPosition = {limits.maximised->left, limits.maximised->top};
                    info->maxSize = limits.maximised->size();
                }
                return 0;
            }
            return std::nullopt;
        };
    }

    WindowHandle sizable(Rect r, unsigned style = WS_POPUP | WS_VISIBLE) {
        window = createWindow(0, kClass, L"sizable", style, r.left, r.top, r.width(), r.height(), nullptr, nullptr);
        vdisplay::pump();
        log().clear();
        return window;
    }
    // The size the last WM_SIZE reported.
    Size lastSize() {
        const auto sizes = records(window, WM_SIZE);
        if (sizes.empty()) return {};
        return {xFromLParam(sizes.back().lParam), yFromLParam(sizes.back().lParam)};
    }

    WindowHandle window = nullptr;
    Limits limits;
};

// One border drag per row, from a point on the window at (100, 100) 200 × 150
// by (dx, dy), with the window held between 120 × 100 and 300 × 250.
TEST_F(SizingTest, BorderDragsMoveTheirEdgesWithinTheTrackSizes) {
    const Rect start = Rect::fromSize(100, 100, 200, 150);
    struct Case {
        const char* name;
        Point from; // relative to the window's top-left
        int dx, dy;
        Rect expected;
    };
    const std::vector<Case> cases = {
        {"right edge grows", {198, 80}, 50, 0, Rect{100, 100, 350, 250}},
        {"right edge stops at the maximum", {198, 80}, 300, 0, Rect{100, 100, 400, 250}},
        {"left edge shrinks to the minimum, right edge stays", {1, 80}, 150, 0, Rect{180, 100, 300, 250}},
        {"left edge past the right edge", {1, 80}, 400, 0, Rect{180, 100, 300, 250}},
        {"top edge grows upwards, bottom stays", {100, 1}, 0, -40, Rect{100, 60, 300, 250}},
        {"bottom edge", {100, 148}, 7, 20, Rect{100, 100, 300, 270}},
        {"bottom-left corner, height at the maximum", {2, 148}, -20, 500, Rect{80, 100, 300, 350}},
        {"top-right corner shrinks both ways", {198, 2}, -300, 120, Rect{100, 150, 220, 250}},
        {"top-left corner", {2, 2}, -10, -10, Rect{90, 90, 300, 250}},
        {"caption moves without sizing", {100, 20}, 30, 40, Rect{130, 140, 330, 290}},
        {"client area neither moves nor sizes", {100, 100}, 30, 40, start},
    };
    limits.min = {120, 100};
    limits.max = {300, 250};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowHandle w = sizable(start);
        const Point from{start.left + c.from.x, start.top + c.from.y};
        vdisplay::drag(from, {from.x + c.dx, from.y + c.dy}, 3);
        vdisplay::pump();
        EXPECT_EQ(windowRect(w), c.expected);
        EXPECT_EQ(vdisplay::nativeState(w).rect, c.expected) << "the desktop shows the same";
        if (c.expected.size() != start.size()) {
            EXPECT_EQ(lastSize(), c.expected.size());
            EXPECT_FALSE(records(w, WM_GETMINMAXINFO).empty());
            EXPECT_EQ(vdisplay::nativeState(w).minSize, limits.min) << "the desktop knows the limits";
            EXPECT_EQ(vdisplay::nativeState(w).maxSize, limits.max);
        } else {
            EXPECT_TRUE(records(w, WM_SIZE).empty());
        }
        destroyWindow(w);
    }
}

TEST_F(SizingTest, TheProgramsSizesAreHeldToo) {
    struct Case {
        const char* name;
        Size min, max, asked, expected;
    };
    const std::vector<Case> cases = {
        {"inside the limits", {100, 100}, {400, 400}, {250, 150}, {250, 150}},
        {"too small", {100, 100}, {400, 400}, {10, 0}, {100, 100}},
        {"too large", {100, 100}, {400, 400}, {1000, 900}, {400, 400}},
        {"the minimum wins where the limits cross", {300, 300}, {200, 200}, {250, 250}, {300, 300}},
        {"no limits", {0, 0}, {0, 0}, {3000, 2}, {3000, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        limits.min = c.min;
        limits.max = c.max;
        WindowHandle w = sizable(Rect::fromSize(50, 60, 200, 200));
        ASSERT_TRUE(setWindowPos(w, nullptr, 0, 0, c.asked.cx, c.asked.cy, SWP_NOMOVE | SWP_NOZORDER));
        EXPECT_EQ(windowRect(w), Rect::fromSize(50, 60, c.expected.cx, c.expected.cy)) << "the top-left stays";
        ASSERT_TRUE(moveWindow(w, 70, 80, c.asked.cx, c.asked.cy, true));
        EXPECT_EQ(windowRect(w), Rect::fromSize(70, 80, c.expected.cx, c.expected.cy));
        EXPECT_EQ(lastSize(), c.expected);
        destroyWindow(w);
    }

    // Moving alone asks nothing; child windows are never held.
    limits.min = {100, 100};
    WindowHandle w = sizable(Rect::fromSize(50, 60, 200, 200));
    ASSERT_TRUE(setWindowPos(w, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    EXPECT_TRUE(records(w, WM_GETMINMAXINFO).empty());
    WindowHandle c = child(w, 0, 0, 150, 150);
    log().clear();
    ASSERT_TRUE(setWindowPos(c, nullptr, 0, 0, 20, 20, SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_EQ(windowRect(c).size(), (Size{20, 20}));
    EXPECT_TRUE(records(c, WM_GETMINMAXINFO).empty());
}

TEST_F(SizingTest, MaximisingUsesTheMaximisedPlaceAndSize) {
    // Defaults: the work area (the whole virtual screen).
    WindowHandle w = sizable(Rect::fromSize(50, 60, 200, 200), WS_POPUP | WS_VISIBLE | WS_THICKFRAME | WS_MAXIMIZEBOX);
    showWindow(w, SW_MAXIMIZE);
    EXPECT_EQ(windowRect(w), (Rect{0, 0, 1280, 800}));
    showWindow(w, SW_RESTORE);
    EXPECT_EQ(windowRect(w), Rect::fromSize(50, 60, 200, 200));

    // A window that names its maximised place, and a maximum track size below it.
    limits.maximised = Rect::fromSize(20, 30, 900, 700);
    limits.max = {800, 1000};
    showWindow(w, SW_MAXIMIZE);
    EXPECT_EQ(windowRect(w), Rect::fromSize(20, 30, 800, 700));
    EXPECT_TRUE(isZoomed(w));
}

} // namespace
} // namespace wintest
