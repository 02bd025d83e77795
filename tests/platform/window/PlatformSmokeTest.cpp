// The platform-smoke program on the virtual display: it paints Chinese text
// over a gradient and writes the picture it painted.
#include "platform/graphics/Graphics.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using platform::Surface;

int channel(std::uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xFF); }

TEST(PlatformSmoke, WritesAPictureWithTextAndGradient) {
    const std::string png =
        (std::filesystem::temp_directory_path() / ("quellan-smoke-" + std::to_string(::getpid()) + ".png")).string();
    const std::string command =
        "QUELLAN_DISPLAY=virtual timeout 60 " + std::string(QUELLAN_BINARY_DIR) + "/platform-smoke --png " + png;
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Surface picture = Surface::readPng(png);
    std::filesystem::remove(png);
    ASSERT_EQ(picture.size(), (platform::Size{480, 200}));

    // The gradient runs from dark blue on the left to teal on the right.
    const std::uint32_t left = picture.pixel(1, 190);
    const std::uint32_t right = picture.pixel(478, 190);
    EXPECT_LT(channel(left, 8), 0x50);
    EXPECT_GT(channel(right, 8), 0x90);

    // White text ink on two lines: rows above and below the middle have ink.
    int top = 0, bottom = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint32_t p = picture.pixel(x, y);
            if (channel(p, 0) > 0xE0 && channel(p, 8) > 0xE0 && channel(p, 16) > 0xE0) (y < 100 ? top : bottom)++;
        }
    EXPECT_GT(top, 150);
    EXPECT_GT(bottom, 300);
}

TEST(PlatformSmoke, RejectsUnknownArguments) {
    const std::string command = std::string(QUELLAN_BINARY_DIR) + "/platform-smoke --bogus 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

} // namespace
