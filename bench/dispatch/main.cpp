// Message dispatch speed: a worker thread posts a message to a window and the
// UI thread's getMessage/dispatchMessage loop runs its procedure. Measured
// against the floor of any cross-thread handoff: a std::mutex +
// std::condition_variable queue between two threads, with the same protocol.
//   latency: one message in flight, worker → handler, median and 99th percentile
//   burst:   the worker posts N messages at once; time until the last is handled
// Usage: bench-dispatch [latency-rounds=20000] [burst=200000] [--sdl]
// (--sdl uses the display QUELLAN_DISPLAY names instead of the virtual one)
#include "platform/window/Window.h"
#include "platform/window/VirtualDisplay.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

constexpr unsigned kPing = WM_USER + 1000;
constexpr unsigned kStop = WM_USER + 1001;

// Shared between the worker and the handler of either contestant.
struct Run {
    std::vector<Clock::time_point> sent;
    std::vector<double> latencyUs;
    std::atomic<int> handled{0};
    std::mutex ackMutex;
    std::condition_variable ackCv;
    Clock::time_point lastHandled;

    void reset(std::size_t n) {
        sent.assign(n, {});
        latencyUs.assign(n, 0);
        handled = 0;
    }
    void onMessage(std::size_t i) {
        const auto now = Clock::now();
        latencyUs[i] = std::chrono::duration<double, std::micro>(now - sent[i]).count();
        lastHandled = now;
        {
            std::lock_guard lock(ackMutex);
            handled.fetch_add(1);
        }
        ackCv.notify_one();
    }
    // The worker waits for the handler before sending the next message, so
    // every message travels alone (the wait itself is outside the measurement).
    void waitHandled(int count) {
        std::unique_lock lock(ackMutex);
        ackCv.wait(lock, [&] { return handled.load() >= count; });
    }
};

Run g_run;

LResult benchProc(WindowHandle w, unsigned msg, WParam wp, LParam lp) {
    if (msg == kPing) {
        g_run.onMessage(static_cast<std::size_t>(wp));
        return 0;
    }
    if (msg == kStop) {
        postQuitMessage(0);
        return 0;
    }
    return defWindowProc(w, msg, wp, lp);
}

struct Result {
    double medianUs = 0;
    double p99Us = 0;
    double burstMs = 0;
};

void summarise(std::vector<double> v, Result& r) {
    std::sort(v.begin(), v.end());
    r.medianUs = v[v.size() / 2];
    r.p99Us = v[std::min(v.size() - 1, v.size() * 99 / 100)];
}

Result measureWindowQueue(int rounds, int burst) {
    Result result;
    WindowHandle w = createWindow(0, L"BenchDispatch", L"bench", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    if (!w) {
        std::fprintf(stderr, "cannot create the window\n");
        std::exit(1);
    }
    auto loop = [] {
        Message msg;
        while (getMessage(msg)) dispatchMessage(msg);
    };

    g_run.reset(static_cast<std::size_t>(rounds));
    std::thread worker([&] {
        for (int i = 0; i < rounds; ++i) {
            g_run.sent[static_cast<std::size_t>(i)] = Clock::now();
            postMessage(w, kPing, static_cast<WParam>(i), 0);
            g_run.waitHandled(i + 1);
        }
        postMessage(w, kStop, 0, 0);
    });
    loop();
    worker.join();
    summarise(g_run.latencyUs, result);

    g_run.reset(static_cast<std::size_t>(burst));
    Clock::time_point start;
    std::thread burster([&] {
        start = Clock::now();
        for (int i = 0; i < burst; ++i) {
            g_run.sent[static_cast<std::size_t>(i)] = start;
            postMessage(w, kPing, static_cast<WParam>(i), 0);
        }
        g_run.waitHandled(burst);
        postMessage(w, kStop, 0, 0);
    });
    loop();
    burster.join();
    result.burstMs = std::chrono::duration<double, std::milli>(g_run.lastHandled - start).count();
    destroyWindow(w);
    return result;
}

// The peer: a queue of indices guarded by a mutex, a consumer thread waiting on a condition variable.
Result measureConditionVariable(int rounds, int burst) {
    Result result;
    std::mutex m;
    std::condition_variable cv;
    std::deque<long> queue;
    auto consumer = [&] {
        for (;;) {
            long item;
            {
                std::unique_lock lock(m);
                cv.wait(lock, [&] { return !queue.empty(); });
                item = queue.front();
                queue.pop_front();
            }
            if (item < 0) return;
            g_run.onMessage(static_cast<std::size_t>(item));
        }
    };
    auto push = [&](long item) {
        {
            std::lock_guard lock(m);
            queue.push_back(item);
        }
        cv.notify_one();
    };

    g_run.reset(static_cast<std::size_t>(rounds));
    std::thread ui(consumer);
    for (int i = 0; i < rounds; ++i) {
        g_run.sent[static_cast<std::size_t>(i)] = Clock::now();
        push(i);
        g_run.waitHandled(i + 1);
    }
    push(-1);
    ui.join();
    summarise(g_run.latencyUs, result);

    g_run.reset(static_cast<std::size_t>(burst));
    std::thread ui2(consumer);
    const auto start = Clock::now();
    for (int i = 0; i < burst; ++i) {
        g_run.sent[static_cast<std::size_t>(i)] = start;
        push(i);
    }
    g_run.waitHandled(burst);
    push(-1);
    ui2.join();
    result.burstMs = std::chrono::duration<double, std::milli>(g_run.lastHandled - start).count();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 20000, burst = 200000;
    bool sdl = false;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sdl") == 0)
            sdl = true;
        else if (positional++ == 0)
            rounds = std::max(100, std::atoi(argv[i]));
        else
            burst = std::max(100, std::atoi(argv[i]));
    }
    std::string error;
    if (sdl ? !openDisplay(&error) : !vdisplay::open({800, 600})) {
        std::fprintf(stderr, "cannot open the display: %s\n", error.c_str());
        return 1;
    }
    registerWindowClass(WindowClass{L"BenchDispatch", 0, benchProc, CursorShape::Arrow});

    // Interleave the contestants so that machine load hits both alike.
    std::vector<Result> ours, peer;
    for (int round = 0; round < 3; ++round) {
        ours.push_back(measureWindowQueue(rounds, burst));
        peer.push_back(measureConditionVariable(rounds, burst));
    }
    auto best = [](const std::vector<Result>& v) {
        Result r = v[0];
        for (const Result& x : v) {
            r.medianUs = std::min(r.medianUs, x.medianUs);
            r.p99Us = std::min(r.p99Us, x.p99Us);
            r.burstMs = std::min(r.burstMs, x.burstMs);
        }
        return r;
    };
    const Result a = best(ours), b = best(peer);
    std::printf("display backend: %s; %d single messages, bursts of %d; best of 3 interleaved rounds\n",
                displayBackendName(), rounds, burst);
    std::printf("%-34s %12s %12s %14s %16s\n", "", "median us", "p99 us", "burst ms", "burst msg/s");
    std::printf("%-34s %12.2f %12.2f %14.1f %16.0f\n", "window queue post -> dispatch", a.medianUs, a.p99Us, a.burstMs,
                burst / (a.burstMs / 1000.0));
    std::printf("%-34s %12.2f %12.2f %14.1f %16.0f\n", "mutex + condition variable", b.medianUs, b.p99Us, b.burstMs,
                burst / (b.burstMs / 1000.0));
    std::printf("ratio window queue / peer: latency %.2fx, p99 %.2fx, burst %.2fx\n", a.medianUs / b.medianUs,
                a.p99Us / b.p99Us, a.burstMs / b.burstMs);
    return 0;
}
