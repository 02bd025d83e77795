// Comparing rendered surfaces with golden PNGs under tests/golden/.
#pragma once

#include "platform/graphics/Graphics.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testsupport {

// A pixel matches when no channel differs by more than kChannelTolerance;
// the picture matches when at most kMismatchShare of its pixels do not.
// Anti-aliased text may move a little between library versions; layout
// faults move whole glyphs and fail by far.
inline constexpr int kChannelTolerance = 48;
inline constexpr double kMismatchShare = 0.004;

// Compares `actual` with tests/golden/<name>.png. With QUELLAN_UPDATE_GOLDENS
// set, writes the golden instead. On a mismatch writes <name>-actual.png and
// <name>-diff.png (red where pixels differ) under build/golden-failures/.
inline ::testing::AssertionResult matchesGolden(const platform::Surface& actual, const std::string& name) {
    namespace fs = std::filesystem;
    fs::path golden = fs::path(QUELLAN_SOURCE_DIR) / "tests" / "golden" / (name + ".png");
    if (std::getenv("QUELLAN_UPDATE_GOLDENS")) {
        fs::create_directories(golden.parent_path());
        if (!actual.writePng(golden.string())) return ::testing::AssertionFailure() << "cannot write " << golden;
        return ::testing::AssertionSuccess();
    }
    fs::path failures = fs::path(QUELLAN_BINARY_DIR) / "golden-failures";
    auto fail = [&](const std::string& why) {
        fs::create_directories((failures / name).parent_path());
        actual.writePng((failures / (name + "-actual.png")).string());
        return ::testing::AssertionFailure()
               << why << " (actual written to " << (failures / (name + "-actual.png")) << ")";
    };
    platform::Surface expected = platform::Surface::readPng(golden.string());
    if (expected.isEmpty()) return fail("no golden " + golden.string());
    if (expected.size() != actual.size()) return fail("size differs from " + golden.string());
    platform::Surface diff(actual.width(), actual.height());
    long mismatches = 0;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            std::uint32_t a = actual.pixel(x, y), e = expected.pixel(x, y);
            int worst = 0;
            for (int shift = 0; shift < 32; shift += 8)
                worst = std::max(
                    worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((e >> shift) & 0xFF)));
            bool bad = worst > kChannelTolerance;
            mismatches += bad;
            diff.setPixel(x, y, bad ? 0xFFFF0000u : (0xFF000000u | ((a >> 2) & 0x3F3F3F)));
        }
    }
    long allowed = static_cast<long>(kMismatchShare * actual.width() * actual.height());
    if (mismatches > allowed) {
        diff.writePng((failures / (name + "-diff.png")).string());
        return fail(std::to_string(mismatches) + " pixels differ from " + golden.string() + " (allowed " +
                    std::to_string(allowed) + ")");
    }
    return ::testing::AssertionSuccess();
}

} // namespace testsupport
