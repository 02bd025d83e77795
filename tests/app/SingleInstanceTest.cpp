// A second start of the installer while the first shows its window: the
// second restores and raises the first (here minimised) and ends with 0
// without touching its log.
#include "tests/app/InstallerFixture.h"

namespace apptest {
namespace {

using InstallerSecondStart = InstallerTest;

TEST_F(InstallerSecondStart, RaisesTheRunningWindowAndExits) {
    OpenWindow();
    const platform::WindowHandle first = m_window->windowHandle();
    platform::showWindow(first, platform::SW_MINIMIZE);
    ASSERT_TRUE(pump([&] { return platform::vdisplay::nativeState(first).minimized; }));

    ScratchFolder secondTmp;
    ChildProcess second(
        QUELLAN_BINARY_DIR "/quellan", {"quellan"},
        {"QUELLAN_DISPLAY=virtual", "QUELLAN_WINDOW_TITLE=" + utf8(title()), "TMPDIR=" + secondTmp.string()});
    ASSERT_TRUE(second.started());
    // The second asks this process (through the window's published address)
    // to restore and raise the window: keep the loop running meanwhile.
    ASSERT_TRUE(pump([&] { return second.exitStatus().has_value(); }, kLongWait));
    EXPECT_EQ(second.exitStatus(), 0);
    ASSERT_TRUE(pump([&] { return !platform::vdisplay::nativeState(first).minimized; }));
    EXPECT_TRUE(platform::vdisplay::nativeState(first).shown);
    EXPECT_FALSE(platform::vdisplay::nativeState(first).style.topmost);
    EXPECT_TRUE(windowOpen());
    // No log: the second stopped before opening it.
    bool logged = false;
    for (const auto& entry : fs::recursive_directory_iterator(secondTmp.path()))
        logged |= entry.path().filename() == "brenniklog.txt";
    EXPECT_FALSE(logged);
}

} // namespace
} // namespace apptest
