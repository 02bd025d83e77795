// Pixel comparisons that say what they saw: on failure both colours are
// printed, as 0xAARRGGBB values, with the tolerance.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

namespace testsupport {

// Success when every colour channel (red, green, blue) of `actual` is within
// `tolerance` of `expected`; alpha is not compared (screens have none).
// EXPECT_TRUE(pixelNear(shot.pixel(x, y), 0xFFFF0000, 24)).
::testing::AssertionResult pixelNear(std::uint32_t actual, std::uint32_t expected, int tolerance);

// The largest difference of the colour channels of two pixels.
int channelDistance(std::uint32_t a, std::uint32_t b);

} // namespace testsupport
