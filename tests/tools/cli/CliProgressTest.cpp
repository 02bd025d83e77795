// The status line of quellan-cli: the window's texts and its speed units.
#include "tools/cli/CliProgress.h"

#include <gtest/gtest.h>

namespace {

TEST(CliStatusLine, SpeedUnitsAndTheCheckingNotice) {
    struct Case {
        int remaining;
        std::uint32_t speed;
        int state;
        const wchar_t* text;
    };
    const Case cases[] = {
        {5, 1023, kStateDownloading, L"剩余5个文件，速度:0Kb/s"},
        {5, 1048575, kStateDownloading, L"剩余5个文件，速度:1023Kb/s"},
        {5, 1024 * 1024, kStateDownloading, L"剩余5个文件，速度:1024Kb/s"}, // 1024 Kb/s stays in Kb/s
        {5, 1049600, kStateDownloading, L"剩余5个文件，速度:1Mb/s"},        // 1025 Kb/s
        {7, 0, kStateChecking, L"正在校验，还剩余7个文件"},
        {7, 1023, kStateChecking, L"正在校验，还剩余7个文件"}, // figure 0 while checking
        {7, 1024, kStateChecking, L"剩余7个文件，速度:1Kb/s"}, // any speed brings it back
        {0, 0, kStateDownloaded, L"剩余0个文件，速度:0Kb/s"},
    };
    for (const Case& c : cases) EXPECT_EQ(StatusLine(c.remaining, c.speed, c.state), c.text) << c.speed;
}

} // namespace
