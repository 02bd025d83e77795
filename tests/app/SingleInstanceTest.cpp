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

// A start on another display, or without one, does not find the window
// (it could not show it, and must not raise a window somewhere else): it
// goes on as a first start, writes its log, and ends for want of a display.
TEST_F(InstallerSecondStart, AnotherDisplayDoesNotFindTheWindow) {
    OpenWindow();
    const platform::WindowHandle first = m_window->windowHandle();
    platform::showWindow(first, platform::SW_MINIMIZE);
    ASSERT_TRUE(pump([&] { return platform::vdisplay::nativeState(first).minimized; }));
    for (const char* display : {"DISPLAY=", "DISPLAY=:93"}) {
        SCOPED_TRACE(display);
        ScratchFolder secondTmp;
        // QUELLAN_DISPLAY empty: the real display backend, which finds no
        // X server there.
        ChildProcess second(QUELLAN_BINARY_DIR "/quellan", {"quellan"},
                            {"QUELLAN_DISPLAY=", display, "WAYLAND_DISPLAY=", "QUELLAN_WINDOW_TITLE=" + utf8(title()),
                             "TMPDIR=" + secondTmp.string()});
        ASSERT_TRUE(second.started());
        ASSERT_TRUE(pump([&] { return second.exitStatus().has_value(); }, kLongWait));
        bool logged = false;
        for (const auto& entry : fs::recursive_directory_iterator(secondTmp.path()))
            logged |= entry.path().filename() == "brenniklog.txt";
        EXPECT_TRUE(logged) << "the second start took itself for the first";
        EXPECT_TRUE(platform::vdisplay::nativeState(first).minimized);
    }
}

} // namespace
} // namespace apptest
