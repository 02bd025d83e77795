// The sdl display backend on a real X server (Xvfb with openbox, see
// run-under-xvfb.sh): pixels on screen, pointer and keyboard input from
// xdotool, caption and border drags, round regions, layered windows with and
// without a compositing manager, wake-ups and the smoke program.
#include "platform/graphics/Graphics.h"
#include "platform/window/Window.h"
#include "platform/window/WindowInternal.h"
#include "platform/system/Text.h"
#include "platform/window/builtin/WindowEdit.h"
#include "platform/window/backend/sdl/WindowSdl.h"
#include "platform/window/builtin/WindowTooltip.h"
#include "tests/support/PixelMatch.h"
#include "tests/support/Pump.h"
#include "tests/support/XDesktop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;
using testsupport::Compositor;
using testsupport::drainMessages;
using testsupport::pixelNear;
using testsupport::pumpUntil;
using testsupport::waitUntil;

namespace {

constexpr unsigned kPainted = WM_APP + 40;

// What the test windows saw.
struct Seen {
    std::vector<Message> messages;
    Argb colour = 0xFFFF0000;
    int captionHeight = 0; // the band at the top that answers HTCAPTION
    int rightBorder = 0;   // the band at the right that answers HTRIGHT
    Size minSize, maxSize; // answered to WM_GETMINMAXINFO when set
    bool printed = false;
};
Seen g_seen;

LResult testProc(WindowHandle w, unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_CHAR:
    case WM_KEYDOWN:
    case kPainted:
        g_seen.messages.push_back(Message{w, message, wParam, lParam, 0, {}});
        return 0;
    case WM_NCHITTEST: {
        const Point p = screenToClient(w, {xFromLParam(lParam), yFromLParam(lParam)});
        if (p.x >= clientRect(w).right - g_seen.rightBorder) return HTRIGHT;
        return p.y >= 0 && p.y < g_seen.captionHeight ? HTCAPTION : HTCLIENT;
    }
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MinMaxInfo*>(lParam);
        if (g_seen.minSize.cx) info->minTrackSize = g_seen.minSize;
        if (g_seen.maxSize.cx) info->maxTrackSize = g_seen.maxSize;
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PaintInfo info;
        if (Canvas* c = beginPaint(w, info)) {
            const Rect r = clientRect(w);
            c->fillRect(Rect{r.left, r.top, r.right / 2, r.bottom}, g_seen.colour);
            c->fillRect(Rect{r.right / 2, r.top, r.right, r.bottom}, 0xFF0000FF);
        }
        endPaint(w, info);
        g_seen.printed = true;
        return 0;
    }
    default:
        return defWindowProc(w, message, wParam, lParam);
    }
}

// Runs a shell command on another thread while this thread keeps pumping (a
// caption drag needs our hit-test answer while the button is down). The
// events it causes may still be on their way: callers wait for what they
// expect. (xdotool's --sync is only used for moves that surely change the
// position: it waits forever for a move to where the pointer already is.)
int runWhilePumping(const std::string& command) {
    std::atomic<bool> finished{false};
    int status = -1;
    std::thread runner([&] {
        status = std::system(("timeout 30 " + command).c_str());
        finished = true;
    });
    pumpUntil([&] { return finished.load(); }, 40s);
    runner.join();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("quellan-sdl-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

// Typing: xdotool gives each character missing from the keyboard map (the
// Chinese ones) a spare key and takes it back after the delay, so the delay
// is the time the program has to read the new map: generous on a loaded
// machine.
//
// Whether the X server's input focus is on our test window (typed keys go
// there): the window manager hands it over a little after a click.
bool desktopFocusOnTestWindow() {
    FILE* p = ::popen("timeout 10 xdotool getwindowfocus getwindowname 2>/dev/null", "r");
    if (!p) return false;
    char name[256] = {};
    const bool read = std::fgets(name, sizeof name, p) != nullptr;
    ::pclose(p);
    return read && std::string(name) == "sdl test\n";
}

// The whole screen as the X server shows it.
Surface screenshot() {
    const std::string path = tempPath("screen.png");
    const std::string command = "timeout 30 /usr/bin/import -window root " + path;
    if (std::system(command.c_str()) != 0) return {};
    Surface s = Surface::readPng(path);
    std::filesystem::remove(path);
    return s;
}

constexpr int kTolerance = 24;

// Whether each point of the screen shows its colour; the screen is read once.
struct ScreenPoint {
    Point at;
    Argb colour;
    bool shown = true; // false: the point must show something else
};
bool screenShows(std::initializer_list<ScreenPoint> points, int tolerance = kTolerance) {
    const Surface shot = screenshot();
    if (shot.isEmpty()) return false;
    for (const ScreenPoint& p : points)
        if (static_cast<bool>(pixelNear(shot.pixel(p.at.x, p.at.y), p.colour, tolerance)) != p.shown) return false;
    return true;
}

// Pumps until the screen shows the points as asked (each try takes a screenshot).
bool pumpUntilScreenShows(std::initializer_list<ScreenPoint> points, int tolerance = kTolerance) {
    return pumpUntil([&] { return screenShows(points, tolerance); }, 20s);
}

class SdlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::setenv("QUELLAN_DISPLAY", "sdl", 1);
        std::string error;
        ASSERT_TRUE(openDisplay(&error)) << error;
        ASSERT_EQ(detail::sdlVideoDriver(), "x11");
        ASSERT_TRUE(registerWindowClass({L"SdlTestWindow", 0, &testProc, CursorShape::Arrow}));
    }

    void SetUp() override { g_seen = Seen{}; }
    void TearDown() override {
        for (WindowHandle w : windows) destroyWindow(w);
        drainMessages();
    }

    // A shown window at r, once the screen shows it there: mapping takes a
    // round trip to the X server and the window manager.
    WindowHandle open(Rect r, unsigned exStyle = 0) {
        g_seen.printed = false;
        WindowHandle w = createWindow(exStyle, L"SdlTestWindow", L"sdl test", WS_POPUP | WS_VISIBLE, r.left, r.top,
                                      r.width(), r.height(), nullptr, nullptr);
        EXPECT_NE(w, nullptr);
        windows.push_back(w);
        EXPECT_TRUE(pumpUntil([] { return g_seen.printed; }, 20s));
        // Shown there, and the desktop's last word on its place agrees (SDL
        // may report a passing wrong position while the window is mapped).
        EXPECT_TRUE(pumpUntil(
            [&] {
                return windowRect(w) == r && screenShows({{{r.left + 4, r.top + r.height() / 2}, g_seen.colour},
                                                          {{r.right - 5, r.top + r.height() / 2}, 0xFF0000FF}});
            },
            20s))
            << "the window never showed at its place";
        return w;
    }

    std::vector<const Message*> seen(unsigned message) {
        std::vector<const Message*> out;
        for (const Message& m : g_seen.messages)
            if (m.message == message) out.push_back(&m);
        return out;
    }

    std::vector<WindowHandle> windows;
};

TEST_F(SdlTest, WindowShowsThePixelsItPresented) {
    const Rect r = Rect::fromSize(200, 150, 300, 200);
    open(r);
    const Surface shot = screenshot();
    ASSERT_FALSE(shot.isEmpty());
    EXPECT_TRUE(pixelNear(shot.pixel(r.left + 20, r.top + 100), 0xFFFF0000, kTolerance));
    EXPECT_TRUE(pixelNear(shot.pixel(r.right - 20, r.top + 100), 0xFF0000FF, kTolerance));
    EXPECT_FALSE(pixelNear(shot.pixel(r.right + 30, r.top + 100), 0xFF0000FF, kTolerance))
        << "nothing drawn outside the window";

    // A repaint after an invalidation reaches the screen as well.
    g_seen.colour = 0xFF00FF00;
    invalidateRect(windows.front(), nullptr, false);
    EXPECT_TRUE(pumpUntilScreenShows({{{r.left + 20, r.top + 100}, 0xFF00FF00}}));
}

TEST_F(SdlTest, ClickArrivesAtTheClientPoint) {
    const Rect r = Rect::fromSize(300, 200, 240, 160);
    open(r);
    ASSERT_EQ(runWhilePumping("xdotool mousemove 350 260 sleep 0.2 click 1"), 0);
    ASSERT_TRUE(pumpUntil([&] { return !seen(WM_LBUTTONUP).empty(); }, 5s));
    const auto downs = seen(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(xFromLParam(downs[0]->lParam), 50);
    EXPECT_EQ(yFromLParam(downs[0]->lParam), 60);
    EXPECT_EQ(xFromLParam(seen(WM_LBUTTONUP)[0]->lParam), 50);
    EXPECT_EQ(yFromLParam(seen(WM_LBUTTONUP)[0]->lParam), 60);
}

TEST_F(SdlTest, TypingArrivesAsCharacters) {
    const Rect r = Rect::fromSize(300, 200, 240, 160);
    WindowHandle w = open(r);
    ASSERT_EQ(runWhilePumping("xdotool mousemove 400 280 sleep 0.2 click 1"), 0); // focus by click
    setFocus(w);
    ASSERT_TRUE(pumpUntil(
        [&] { return focusWindow() == w && !seen(WM_LBUTTONUP).empty() && desktopFocusOnTestWindow(); }, 20s));
    g_seen.messages.clear();
    ASSERT_EQ(runWhilePumping("xdotool type --delay 250 'ab中'"), 0);
    ASSERT_TRUE(pumpUntil([&] { return seen(WM_CHAR).size() >= 3; }, 5s));
    std::wstring typed;
    for (const Message* m : seen(WM_CHAR)) typed += static_cast<wchar_t>(m->wParam);
    EXPECT_EQ(typed, L"ab中");
    bool keyA = false;
    for (const Message* m : seen(WM_KEYDOWN)) keyA |= m->wParam == 'A';
    EXPECT_TRUE(keyA) << "key presses arrive with their virtual key";
}

TEST_F(SdlTest, AnEditGetsTypedTextEachTimeItHasTheFocus) {
    WindowHandle w = open(Rect::fromSize(300, 200, 300, 120));
    WindowHandle edit =
        createWindow(0, kEditClassName, L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 10, 10, 200, 24, w, nullptr, 1);
    ASSERT_NE(edit, nullptr);
    ASSERT_EQ(runWhilePumping("xdotool mousemove 420 222 sleep 0.2 click 1"), 0); // into the edit
    ASSERT_TRUE(pumpUntil([&] { return focusWindow() == edit && desktopFocusOnTestWindow(); }, 20s));
    ASSERT_EQ(runWhilePumping("xdotool type --delay 250 'x安'"), 0);
    ASSERT_TRUE(pumpUntil([&] { return windowText(edit) == L"x安"; }, 5s)) << platform::toUtf8(windowText(edit));
    // Losing the focus ends text input; getting it back starts it again.
    setFocus(w);
    drainMessages();
    setFocus(edit);
    drainMessages();
    ASSERT_EQ(runWhilePumping("xdotool type --delay 250 'y'"), 0);
    EXPECT_TRUE(pumpUntil([&] { return windowText(edit) == L"x安y"; }, 5s)) << platform::toUtf8(windowText(edit));
}

TEST_F(SdlTest, CaptionDragMovesTheWindow) {
    g_seen.captionHeight = 30;
    const Rect r = Rect::fromSize(200, 200, 300, 200);
    WindowHandle w = open(r);
    ASSERT_EQ(windowRect(w), r);
    ASSERT_EQ(runWhilePumping("sh -c 'xdotool mousemove 300 210 sleep 0.2 mousedown 1; sleep 0.3;"
                              " xdotool mousemove --sync 350 250; sleep 0.3;"
                              " xdotool mousemove --sync 400 290; sleep 0.3; xdotool mouseup 1'"),
              0);
    EXPECT_TRUE(pumpUntil([&] { return windowRect(w) == r.offset(100, 80); }, 20s))
        << windowRect(w).left << "," << windowRect(w).top;
    // The screen agrees with the core.
    EXPECT_TRUE(pumpUntilScreenShows({{{r.left + 100 + 20, r.top + 80 + 100}, g_seen.colour}}));
    // A click below the caption band is a click, not a drag.
    g_seen.messages.clear();
    ASSERT_EQ(runWhilePumping("xdotool mousemove 350 380 sleep 0.2 click 1"), 0);
    ASSERT_TRUE(pumpUntil([&] { return !seen(WM_LBUTTONUP).empty(); }, 20s));
    EXPECT_EQ(seen(WM_LBUTTONDOWN).size(), 1u);
    EXPECT_EQ(windowRect(w), r.offset(100, 80));
}

TEST_F(SdlTest, RoundRegionCutsTheCorners) {
    ASSERT_TRUE(detail::sdlShapesSupported());
    g_seen.colour = 0xFFFF0000;
    const Rect r = Rect::fromSize(500, 300, 200, 150);
    WindowHandle w = open(r);
    ASSERT_TRUE(setWindowRoundRegion(w, Rect{0, 0, 201, 151}, Size{60, 60}, true));
    // Corners cut, edges and inside kept.
    EXPECT_TRUE(pumpUntilScreenShows({{{r.left + 1, r.top + 1}, 0xFFFF0000, false},
                                      {{r.right - 2, r.bottom - 2}, 0xFF0000FF, false},
                                      {{r.left + 1, r.top + 75}, 0xFFFF0000},
                                      {{r.left + 30, r.top + 30}, 0xFFFF0000},
                                      {{r.right - 30, r.bottom - 30}, 0xFF0000FF}}));
    EXPECT_EQ(windowRect(w), r) << "shaping leaves the window where it was";

    // A resized window keeps a region set for its new size, and its place.
    ASSERT_TRUE(setWindowPos(w, nullptr, 0, 0, 260, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    ASSERT_TRUE(setWindowRoundRegion(w, Rect{0, 0, 261, 151}, Size{60, 60}, true));
    EXPECT_TRUE(pumpUntilScreenShows(
        {{{r.left + 250, r.top + 75}, 0xFF0000FF}, {{r.left + 259, r.top + 1}, 0xFF0000FF, false}}));
    EXPECT_EQ(windowRect(w).left, r.left);
}

TEST_F(SdlTest, PostFromAWorkerThreadWakesAWaitingLoop) {
    WindowHandle w = open(Rect::fromSize(100, 100, 120, 80));
    std::atomic<bool> answered{false};
    std::thread watchdog([&] {
        if (!waitUntil([&] { return answered.load(); }, 20s)) {
            std::fprintf(stderr, "a posted message never woke getMessage\n");
            std::_Exit(3);
        }
    });
    drainMessages(); // nothing left that would end the wait by itself
    const auto posted = std::chrono::steady_clock::now();
    std::thread worker([w] {
        // Posted once getMessage below waits in the backend.
        waitUntil([] { return detail::Core::get().m_waiting.load(); }, 20s);
        postMessage(w, kPainted, 42, 0);
    });
    Message m;
    bool got = false;
    while (!got && getMessage(m)) {
        dispatchMessage(m);
        got = m.message == kPainted;
    }
    answered = true;
    worker.join();
    watchdog.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(m.wParam, 42u);
    EXPECT_LT(std::chrono::steady_clock::now() - posted, 5s);
}

TEST_F(SdlTest, ATooltipShowsWithoutTakingTheFocus) {
    WindowHandle w = open(Rect::fromSize(300, 300, 300, 200));
    ASSERT_EQ(runWhilePumping("xdotool mousemove 400 400 sleep 0.2 click 1"), 0);
    ASSERT_TRUE(pumpUntil([&] { return focusWindow() == w && desktopFocusOnTestWindow(); }, 20s));
    WindowHandle tip = createWindow(0, kTooltipClassName, L"", WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, w, nullptr);
    ASSERT_NE(tip, nullptr);
    windows.insert(windows.begin(), tip);
    ToolInfo info;
    info.flags = TTF_IDISHWND;
    info.window = w;
    info.id = reinterpret_cast<std::uintptr_t>(w);
    info.text = L"提示 tooltip";
    sendMessage(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LParam>(&info));
    sendMessage(tip, TTM_TRACKACTIVATE, 1, reinterpret_cast<LParam>(&info));
    sendMessage(tip, TTM_TRACKPOSITION, 0, makeLParam(100, 100));
    ASSERT_TRUE(pumpUntil([&] { return isWindowVisible(tip); }, 20s));
    const Rect r = windowRect(tip);
    EXPECT_TRUE(pumpUntilScreenShows({{{r.left + 2, r.top + 2}, 0xFFFFFFE1}}, 8)) << "the tip is on screen, on top";
    EXPECT_EQ(focusWindow(), w);
}

TEST_F(SdlTest, TitleAndIconReachTheDesktop) {
    WindowHandle w = open(Rect::fromSize(100, 100, 120, 80));
    ASSERT_TRUE(setWindowText(w, L"Quellan 图标"));
    Surface icon(32, 32);
    icon.clear(0xFF3366CCu);
    ASSERT_TRUE(setWindowIcon(w, ICON_BIG, icon));
    // What the desktop has for the window, asked again until both arrived.
    const std::string out = tempPath("xprop.txt");
    std::string text;
    auto desktopHasIcon = [&] {
        text.clear();
        if (std::system(("timeout 20 xprop -name 'Quellan 图标' _NET_WM_ICON > " + out + " 2>/dev/null").c_str()) != 0)
            return false;
        if (FILE* f = std::fopen(out.c_str(), "r")) {
            char buf[256];
            while (std::fgets(buf, sizeof buf, f) && text.size() < 4096) text += buf;
            std::fclose(f);
        }
        return text.find("32 x 32") != std::string::npos;
    };
    EXPECT_TRUE(pumpUntil(desktopHasIcon, 20s)) << text.substr(0, 200);
    std::filesystem::remove(out);
}

TEST_F(SdlTest, ClipboardRoundTrip) {
    open(Rect::fromSize(100, 100, 120, 80));
    ASSERT_TRUE(setClipboardText(L"安装路径 /home/x"));
    EXPECT_EQ(clipboardText(), L"安装路径 /home/x");
}

TEST_F(SdlTest, BorderDragIsHeldToTheTrackSizes) {
    g_seen.rightBorder = 8;
    g_seen.minSize = {150, 100};
    g_seen.maxSize = {320, 400};
    const Rect r = Rect::fromSize(200, 200, 200, 150);
    WindowHandle w = open(r);
    // The desktop sizes the window from our hit-test answer, within the limits.
    ASSERT_EQ(runWhilePumping("sh -c 'xdotool mousemove 396 260 sleep 0.2 mousedown 1; sleep 0.3;"
                              " xdotool mousemove --sync 450 260; sleep 0.3;"
                              " xdotool mousemove --sync 600 262; sleep 0.3; xdotool mouseup 1'"),
              0);
    EXPECT_TRUE(pumpUntil([&] { return windowRect(w) == Rect::fromSize(200, 200, 320, 150); }, 20s))
        << windowRect(w).width() << " x " << windowRect(w).height();
    // And so does the program's own sizing.
    ASSERT_TRUE(setWindowPos(w, nullptr, 0, 0, 40, 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    EXPECT_EQ(windowRect(w).size(), (Size{150, 100}));
    EXPECT_TRUE(pumpUntilScreenShows({{{200 + 140, 200 + 90}, 0xFF0000FF}, {{200 + 170, 200 + 90}, 0xFF0000FF, false}}))
        << "the window shows at its held size";
}

// --- Layered windows ---

// Premultiplied pixels of a layered window: a ring of black shadow whose alpha
// rises from 0 at the outer edge to 128 inside `ring` pixels, half-alpha red
// in the left half of the inside, nothing (alpha 0) in the right half.
Surface layeredPicture(Size size, int ring) {
    Surface s(size.cx, size.cy);
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) {
            const int edge = std::min({x, y, size.cx - 1 - x, size.cy - 1 - y});
            std::uint32_t p = 0;
            if (edge < ring)
                p = static_cast<std::uint32_t>(128 * edge / ring) << 24;
            else if (x < size.cx / 2)
                p = 0x80800000u;
            s.setPixel(x, y, p);
        }
    return s;
}

// Pumps until the screen pixel satisfies the test (a compositor paints when it
// likes); `seen` gets the last pixel read.
bool screenShows(Point p, const std::function<bool(std::uint32_t)>& test, std::uint32_t* seen) {
    return pumpUntil(
        [&] {
            const Surface shot = screenshot();
            *seen = shot.isEmpty() ? 0 : shot.pixel(p.x, p.y);
            return !shot.isEmpty() && test(*seen);
        },
        20s);
}

// A pixel test for screenShows: within `tolerance` of `colour`.
std::function<bool(std::uint32_t)> near(Argb colour, int tolerance) {
    return [=](std::uint32_t p) { return static_cast<bool>(pixelNear(p, colour, tolerance)); };
}

TEST_F(SdlTest, LayeredWindowsLetTheDesktopShowThroughWithACompositor) {
    Compositor compositor;
    ASSERT_TRUE(compositor.started()) << "xcompmgr is missing (see scripts/packages.txt)";
    ASSERT_TRUE(pumpUntil([] { return layeredWindowsSupported(); }, 10s));

    g_seen.colour = 0xFF00FF00; // the backdrop: green on the left, blue on the right
    const Rect back = Rect::fromSize(100, 100, 600, 300);
    open(back);
    const Rect r = Rect::fromSize(150, 150, 200, 120);
    WindowHandle layered = open(r, WS_EX_LAYERED);
    // Painted pixels of a layered window are opaque until it shows layered ones.
    std::uint32_t px = 0;
    EXPECT_TRUE(screenShows({r.left + 60, r.top + 60}, near(0xFF00FF00, 8), &px)) << std::hex << px;
    EXPECT_TRUE(screenShows({r.right - 10, r.top + 60}, near(0xFF0000FF, 8), &px)) << std::hex << px;

    const int ring = 20;
    ASSERT_TRUE(updateLayeredWindow(layered, layeredPicture(r.size(), ring), nullptr, 255));
    // Half-alpha red over green; the transparent half shows the backdrop.
    EXPECT_TRUE(screenShows({r.left + 60, r.top + 60}, near(0xFF807F00, 6), &px)) << std::hex << px;
    EXPECT_TRUE(screenShows({r.right - 40, r.top + 60}, near(0xFF00FF00, 6), &px)) << std::hex << px;
    // The shadow darkens the backdrop more towards the inside: the desktop shows through it.
    const Surface shot = screenshot();
    const std::uint32_t outer = shot.pixel(r.left + 2, r.top + 60), inner = shot.pixel(r.left + ring - 2, r.top + 60);
    EXPECT_TRUE(pixelNear(outer, 0xFF00F000, 10)) << std::hex << outer;
    EXPECT_TRUE(pixelNear(inner, 0xFF008B00, 10)) << std::hex << inner;
    EXPECT_TRUE(pixelNear(shot.pixel(r.left - 2, r.top + 60), 0xFF00FF00, 4)) << "nothing outside the window";

    // The constant alpha of the update and the window's opacity scale it all.
    ASSERT_TRUE(updateLayeredWindow(layered, layeredPicture(r.size(), ring), nullptr, 128));
    EXPECT_TRUE(screenShows({r.left + 60, r.top + 60}, near(0xFF40BF00, 6), &px)) << std::hex << px;
    ASSERT_TRUE(updateLayeredWindow(layered, layeredPicture(r.size(), ring), nullptr, 255));
    ASSERT_TRUE(setWindowOpacity(layered, 128));
    EXPECT_TRUE(screenShows({r.left + 60, r.top + 60}, near(0xFF40BF00, 8), &px)) << std::hex << px;

    // A window that turns layered after it was made is made again by the
    // desktop side, with the same place and content.
    g_seen.colour = 0xFFFF0000;
    const Rect late = Rect::fromSize(400, 150, 200, 120);
    WindowHandle plain = open(late);
    setWindowExStyle(plain, windowExStyle(plain) | WS_EX_LAYERED);
    ASSERT_TRUE(updateLayeredWindow(plain, layeredPicture(late.size(), ring), nullptr, 255));
    EXPECT_TRUE(screenShows(
        {late.left + 60, late.top + 60},
        [](std::uint32_t p) { return near(0xFF807F00, 6)(p) || near(0xFF80007F, 6)(p); }, &px))
        << std::hex << px;
    EXPECT_EQ(windowRect(plain), late);
}

TEST_F(SdlTest, WithoutACompositorLayeredWindowsFallBackToPlainOnes) {
    ASSERT_TRUE(pumpUntil([] { return !layeredWindowsSupported(); }, 10s)) << "a compositing manager still runs";
    g_seen.colour = 0xFFFF0000;
    const Rect r = Rect::fromSize(150, 150, 200, 120);
    WindowHandle w = open(r, WS_EX_LAYERED);
    Surface picture(r.width(), r.height());
    picture.clear(0x80800000u);
    EXPECT_FALSE(updateLayeredWindow(w, picture, nullptr, 255));
    // The painted pixels stay on show, opaque.
    std::uint32_t px = 0;
    EXPECT_TRUE(screenShows({r.left + 40, r.top + 60}, near(0xFFFF0000, 8), &px)) << std::hex << px;
    g_seen.colour = 0xFF00FF00;
    invalidateRect(w, nullptr, false);
    EXPECT_TRUE(screenShows({r.left + 40, r.top + 60}, near(0xFF00FF00, 8), &px)) << std::hex << px;
}

// --- The smoke program ---

std::string smoke() { return std::string(QUELLAN_BINARY_DIR) + "/platform-smoke"; }

int countWhite(const Surface& s, Rect area) {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) n += testsupport::channelDistance(s.pixel(x, y), 0xFFFFFFFF) <= 40;
    return n;
}

TEST_F(SdlTest, SmokeProgramShowsItsWindowAndWritesItsPicture) {
    const std::string png = tempPath("smoke.png");
    ASSERT_EQ(std::system(("timeout 30 " + smoke() + " --png " + png).c_str()), 0);
    const Surface picture = Surface::readPng(png);
    std::filesystem::remove(png);
    ASSERT_EQ(picture.size(), (Size{480, 200}));
    EXPECT_GT(countWhite(picture, picture.bounds()), 300) << "text ink";
    EXPECT_TRUE(pixelNear(picture.pixel(2, 100), 0xFF1E3C72, 8));
    EXPECT_TRUE(pixelNear(picture.pixel(477, 100), 0xFF2A9D8F, 8));

    // On screen: centred on the 1280 x 1024 screen while it runs (until it is
    // ended here, once the screen shows it or the wait is over).
    const std::string program = smoke();
    char seconds[] = "60";
    char option[] = "--seconds";
    char* argv[] = {const_cast<char*>(program.c_str()), option, seconds, nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, ::environ), 0);
    const Rect onScreen = Rect::fromSize(400, 412, 480, 200);
    Surface shot;
    auto shown = [&] {
        shot = screenshot();
        return !shot.isEmpty() && pixelNear(shot.pixel(onScreen.left + 4, onScreen.top + 100), 0xFF1E3C72, 12) &&
               pixelNear(shot.pixel(onScreen.right - 5, onScreen.top + 100), 0xFF2A9D8F, 12);
    };
    const bool appeared = waitUntil(shown, 20s);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    ASSERT_TRUE(appeared) << "the smoke window never showed centred on the screen";
    EXPECT_GT(countWhite(shot, onScreen.inflate(-8, -8)), 300);
    EXPECT_FALSE(pixelNear(shot.pixel(onScreen.left, onScreen.top), 0xFF1E3C72, 12)) << "round corner";
}

TEST_F(SdlTest, UnreachableDisplayFailsClearlyAndQuickly) {
    const std::string err = tempPath("err.txt");
    const auto started = std::chrono::steady_clock::now();
    const int status = std::system(
        ("env -u WAYLAND_DISPLAY DISPLAY=:987 QUELLAN_DISPLAY=sdl timeout 20 " + smoke() + " --png /dev/null 2>" + err)
            .c_str());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 15s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string text;
    if (FILE* f = std::fopen(err.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, f)) text += buf;
        std::fclose(f);
    }
    std::filesystem::remove(err);
    EXPECT_NE(text.find("cannot open the sdl display"), std::string::npos) << text;
}

} // namespace
