// Timing helper shared by the benchmarks: median time of repeated calls.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace bench {

// Calls fn once to warm caches, then times `rounds` rounds of `reps` calls
// each; returns the median milliseconds per call.
inline double medianMs(const std::function<void()>& fn, int rounds, int reps = 1) {
    std::vector<double> samples;
    fn();
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < reps; ++i) fn();
        const auto t1 = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count() / reps);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

} // namespace bench
