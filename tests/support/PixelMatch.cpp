// Pixel comparisons that print both colours.
#include "tests/support/PixelMatch.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testsupport {

namespace {

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

} // namespace

int channelDistance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
        if (d > worst) worst = d;
    }
    return worst;
}

::testing::AssertionResult pixelNear(std::uint32_t actual, std::uint32_t expected, int tolerance) {
    const int distance = channelDistance(actual, expected);
    if (distance <= tolerance)
        return ::testing::AssertionSuccess() << hex(actual) << " is within " << tolerance << " of " << hex(expected);
    return ::testing::AssertionFailure() << "pixel " << hex(actual) << " differs from " << hex(expected) << " by "
                                         << distance << " (tolerance " << tolerance << ")";
}

} // namespace testsupport
