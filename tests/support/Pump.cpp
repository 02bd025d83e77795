// Waiting for a condition while the UI thread's queue runs, or without it.
#include "tests/support/Pump.h"

#include "platform/window/Window.h"

#include <thread>

namespace testsupport {

namespace {
constexpr std::chrono::milliseconds kPoll{5};
}

void drainMessages() {
    platform::Message m;
    while (platform::peekMessage(m)) {
        platform::translateMessage(m);
        platform::dispatchMessage(m);
    }
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        drainMessages();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(kPoll);
    }
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

} // namespace testsupport
