// The UI thread's queue: posting from other threads, ordering of posted,
// paint and timer messages, quit, nested modal loops and timers.
#include "WindowTestSupport.h"

#include "platform/window/WindowInternal.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace wintest;

using WindowQueue = WindowTest;

TEST_F(WindowQueue, PostsFromAnotherThreadArriveInOrderAndWakeAWaitingLoop) {
    WindowHandle w = topLevel(0, 0, 50, 50);
    vdisplay::pump();
    constexpr int kCount = 2000;
    std::thread worker([w] {
        // getMessage below is already waiting when the first post arrives.
        testsupport::waitUntil([] { return detail::Core::get().m_waiting.load(); });
        for (int i = 0; i < kCount; ++i) postMessage(w, WM_USER + 1000, static_cast<WParam>(i), -i);
        postMessage(w, WM_USER + 1001, 0, 0);
    });
    std::vector<int> seen;
    Message msg;
    while (getMessage(msg)) {
        if (msg.message == WM_USER + 1000) {
            EXPECT_EQ(msg.window, w);
            EXPECT_EQ(msg.lParam, -static_cast<LParam>(msg.wParam));
            seen.push_back(static_cast<int>(msg.wParam));
        }
        dispatchMessage(msg);
        if (msg.message == WM_USER + 1001) break;
    }
    worker.join();
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) ASSERT_EQ(seen[i], i);
    EXPECT_EQ(records(w, WM_USER + 1000).size(), static_cast<std::size_t>(kCount));
}

TEST_F(WindowQueue, ThreadMessagesAndQuitCode) {
    EXPECT_TRUE(postMessage(nullptr, WM_APP + 1, 7, 8));
    postQuitMessage(3);
    Message msg;
    ASSERT_TRUE(getMessage(msg)); // posted messages come before the quit
    EXPECT_EQ(msg.window, nullptr);
    EXPECT_EQ(msg.message, WM_APP + 1);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(getMessage(msg));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(peekMessage(msg)); // the quit was taken
}

TEST_F(WindowQueue, PaintAndTimerMessagesComeOnlyWhenNothingIsPosted) {
    WindowHandle w = topLevel(0, 0, 50, 50);
    vdisplay::pump();
    setTimer(w, 1, 1000);
    vdisplay::advanceTime(1500);
    invalidateRect(w, nullptr, false);
    postMessage(w, WM_USER + 1, 0, 0);
    log().clear();
    vdisplay::pump();
    EXPECT_EQ(messages(w, {WM_USER + 1, WM_PAINT, WM_TIMER}), (Messages{WM_USER + 1, WM_PAINT, WM_TIMER}));

    // A paint stays until validated; peeking without removal sees it again.
    invalidateRect(w, nullptr, false);
    Message msg;
    ASSERT_TRUE(peekMessage(msg, PeekMode::Keep));
    EXPECT_EQ(msg.message, WM_PAINT);
    validateRect(w, nullptr);
    EXPECT_FALSE(peekMessage(msg, PeekMode::Keep));
}

// The modal loop the framework runs: show, disable the owner, loop, re-enable.
int runModal(WindowHandle w, int& resultCode) {
    WindowHandle owner = relatedWindow(w, GW_OWNER);
    showWindow(w, SW_SHOWNORMAL);
    if (owner) enableWindow(owner, false);
    Message msg;
    bool quit = false;
    while (isWindow(w)) {
        if (!getMessage(msg)) {
            quit = true;
            break;
        }
        if (msg.window == w && msg.message == WM_CLOSE) {
            resultCode = static_cast<int>(msg.wParam);
            if (owner) {
                enableWindow(owner, true);
                setFocus(owner);
            }
        }
        translateMessage(msg);
        dispatchMessage(msg);
    }
    if (owner) {
        enableWindow(owner, true);
        setFocus(owner);
    }
    if (quit) postQuitMessage(static_cast<int>(msg.wParam));
    return resultCode;
}

TEST_F(WindowQueue, ModalLoopDisablesItsOwnerAndReturnsTheCloseCode) {
    WindowHandle main = topLevel(0, 0, 400, 300);
    WindowHandle dialog = createWindow(0, kClass, L"box", WS_POPUP, 50, 50, 100, 100, main, nullptr);
    bool ownerDisabledInside = false;
    hook() = [&](WindowHandle win, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (win == dialog && msg == WM_USER + 7) {
            ownerDisabledInside = !isWindowEnabled(main);
            postMessage(dialog, WM_CLOSE, 7, 0); // requestClose(7)
            return 0;
        }
        return std::nullopt;
    };
    postMessage(dialog, WM_USER + 7, 0, 0);
    int code = 0;
    EXPECT_EQ(runModal(dialog, code), 7);
    EXPECT_TRUE(ownerDisabledInside);
    EXPECT_FALSE(isWindow(dialog));
    EXPECT_TRUE(isWindowEnabled(main));
    EXPECT_EQ(focusWindow(), main);
    EXPECT_EQ(activeWindow(), main);
}

TEST_F(WindowQueue, QuitInsideNestedModalLoopsEndsEveryLoop) {
    WindowHandle main = topLevel(0, 0, 400, 300);
    WindowHandle outer = createWindow(0, kClass, L"outer", WS_POPUP, 20, 20, 200, 200, main, nullptr);
    WindowHandle inner = nullptr;
    int innerCode = -1, outerCode = -1;
    bool outerDisabledInside = false, mainDisabledInside = false;
    hook() = [&](WindowHandle win, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (win == outer && msg == WM_USER + 1) {
            inner = createWindow(0, kClass, L"inner", WS_POPUP, 40, 40, 50, 50, outer, nullptr);
            postMessage(inner, WM_USER + 2, 0, 0);
            int code = 0;
            innerCode = runModal(inner, code);
            return 0;
        }
        if (win == inner && msg == WM_USER + 2) {
            outerDisabledInside = !isWindowEnabled(outer);
            mainDisabledInside = !isWindowEnabled(main);
            postQuitMessage(9);
            return 0;
        }
        return std::nullopt;
    };
    postMessage(outer, WM_USER + 1, 0, 0);
    int code = 0;
    outerCode = runModal(outer, code);
    EXPECT_TRUE(outerDisabledInside);
    EXPECT_TRUE(mainDisabledInside);
    EXPECT_EQ(innerCode, 0);
    EXPECT_EQ(outerCode, 0);
    // Both loops ended on the quit and the outermost caller still sees it.
    Message msg;
    EXPECT_FALSE(getMessage(msg));
    EXPECT_EQ(msg.wParam, 9u);
    EXPECT_TRUE(isWindowEnabled(main));
    EXPECT_TRUE(isWindowEnabled(outer));
    EXPECT_TRUE(isWindow(inner)); // quitting does not destroy
}

TEST_F(WindowQueue, DestroyingTheWindowEndsItsModalLoop) {
    WindowHandle main = topLevel(0, 0, 400, 300);
    WindowHandle dialog = createWindow(0, kClass, L"box", WS_POPUP, 50, 50, 100, 100, main, nullptr);
    setTimer(dialog, 3, 10);
    hook() = [&](WindowHandle win, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (win == dialog && msg == WM_TIMER) destroyWindow(win);
        return std::nullopt;
    };
    vdisplay::advanceTime(50);
    int code = 5;
    EXPECT_EQ(runModal(dialog, code), 5);
    EXPECT_TRUE(isWindowEnabled(main));
}

TEST_F(WindowQueue, DesktopCloseBecomesScCloseAndTheDefaultDestroys) {
    WindowHandle w = topLevel(0, 0, 100, 100);
    vdisplay::requestClose(w);
    vdisplay::pump();
    ASSERT_EQ(records(w, WM_SYSCOMMAND).size(), 1u);
    EXPECT_EQ(records(w, WM_SYSCOMMAND)[0].wParam, SC_CLOSE);
    EXPECT_EQ(messages(w, {WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}), (Messages{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}));
    EXPECT_FALSE(isWindow(w));

    // A window that answers SC_CLOSE itself stays; a disabled one is not asked.
    WindowHandle kept = topLevel(0, 0, 100, 100);
    hook() = [](WindowHandle, unsigned msg, WParam, LParam) -> std::optional<LResult> {
        if (msg == WM_SYSCOMMAND) return 0;
        return std::nullopt;
    };
    vdisplay::requestClose(kept);
    vdisplay::pump();
    EXPECT_TRUE(isWindow(kept));
    log().clear();
    enableWindow(kept, false);
    vdisplay::requestClose(kept);
    vdisplay::pump();
    EXPECT_TRUE(records(kept, WM_SYSCOMMAND).empty());
}

TEST_F(WindowQueue, TimersFireByIdRestartAndStop) {
    WindowHandle w = topLevel(0, 0, 50, 50);
    vdisplay::pump();
    // Intervals are long so that a slow run cannot fire a timer twice.
    EXPECT_EQ(setTimer(w, 17, 1000), 17u);
    EXPECT_EQ(setTimer(w, 0x2000, 200), 0x2000u);
    EXPECT_EQ(setTimer(nullptr, 5, 10), 0u);
    log().clear();
    vdisplay::advanceTime(250);
    vdisplay::pump();
    ASSERT_EQ(records(w, WM_TIMER).size(), 1u);
    EXPECT_EQ(records(w, WM_TIMER)[0].wParam, 0x2000u);

    log().clear();
    vdisplay::advanceTime(800);
    vdisplay::pump();
    std::vector<WParam> ids;
    for (const Record& r : records(w, WM_TIMER)) ids.push_back(r.wParam);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<WParam>{17, 0x2000}));

    // Setting an existing id again restarts it with the new interval.
    setTimer(w, 17, 5000);
    EXPECT_TRUE(killTimer(w, 0x2000));
    EXPECT_FALSE(killTimer(w, 0x2000));
    log().clear();
    vdisplay::advanceTime(2500);
    vdisplay::pump();
    EXPECT_TRUE(records(w, WM_TIMER).empty());
    vdisplay::advanceTime(2600);
    vdisplay::pump();
    EXPECT_EQ(records(w, WM_TIMER).size(), 1u);

    // Real time also drives timers: a blocked getMessage wakes for the timer.
    killTimer(w, 17);
    setTimer(w, 4, 30);
    log().clear();
    Message msg;
    ASSERT_TRUE(getMessage(msg));
    EXPECT_EQ(msg.message, WM_TIMER);
    EXPECT_EQ(msg.wParam, 4u);

    // A counter that wrapped around reaches id 0, which is a timer like any other.
    killTimer(w, 4);
    EXPECT_NE(setTimer(w, 0, 1000), 0u);
    log().clear();
    vdisplay::advanceTime(1500);
    vdisplay::pump();
    ASSERT_EQ(records(w, WM_TIMER).size(), 1u);
    EXPECT_EQ(records(w, WM_TIMER)[0].wParam, 0u);
    EXPECT_TRUE(killTimer(w, 0));

    // Timers die with their window.
    destroyWindow(w);
    EXPECT_FALSE(killTimer(w, 4));
    vdisplay::advanceTime(100);
    EXPECT_EQ(vdisplay::pump(), 0);
}

} // namespace
