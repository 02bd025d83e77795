// Waiting for a condition instead of sleeping for a fixed time: a loaded
// machine makes a test slower, never wrong.
#pragma once

#include <chrono>
#include <functional>

namespace testsupport {

inline constexpr std::chrono::milliseconds kPatience{15000};

// Runs the UI thread's queue (peek, translate, dispatch everything pending)
// until `done` holds; false when `timeout` passes first. For tests that wait
// for the display: input, mapping, painting.
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kPatience);

// Dispatches every message pending now, without waiting for more.
void drainMessages();

// Checks `done` every few milliseconds until it holds; false after `timeout`.
// For state that other threads or processes change.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kPatience);

} // namespace testsupport
