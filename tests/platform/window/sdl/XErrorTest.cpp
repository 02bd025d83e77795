// The program outlives the X error of an event sent to a window that has
// just been destroyed: SDL sends such events to wake a waiting loop when
// another thread posts, and a window can go away at that moment (a box
// closing, the program ending while a job still reports). Xlib's default
// handler would end the program with status 1. In a file of its own: Xlib's
// names clash with the window system's.
#include "platform/window/Window.h"

#include <gtest/gtest.h>
// After the test framework: Xlib defines None, Bool and Status as macros.
#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

namespace {

TEST(SdlXErrors, AnEventSentToAVanishedWindowDoesNotEndTheProgram) {
    std::string error;
    ASSERT_TRUE(platform::openDisplay(&error)) << error;
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const Window gone = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(display, gone);
    XEvent wake{};
    wake.xclient.type = ClientMessage;
    wake.xclient.window = gone;
    wake.xclient.format = 32;
    XSendEvent(display, gone, False, NoEventMask, &wake);
    XSync(display, False); // the BadWindow answer arrives here
    XCloseDisplay(display);

    // Every other error still goes to the handler that was there before,
    // which ends the program as it always did.
    // (Under the address sanitizer its leak check at exit turns the exit
    // into an abort: any death with Xlib's message counts.)
    EXPECT_DEATH(
        {
            Display* other = XOpenDisplay(nullptr);
            XMapWindow(other, gone);
            XSync(other, False);
            std::exit(0);
        },
        "BadWindow");
}

} // namespace
