// Choosing the display: an unusable choice fails at once with a clear reason
// on stderr and in displayError(), and the program does not hang. The test
// program starts itself with QUELLAN_DISPLAY set to a display that cannot open.
#include "WindowTestSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace wintest;

LResult plainProc(WindowHandle w, unsigned msg, WParam wp, LParam lp) { return defWindowProc(w, msg, wp, lp); }

int runOpenFixtureIfAsked() {
    const char* result = std::getenv("QUELLAN_OPEN_FIXTURE_RESULT");
    if (!result) return 0;
    registerWindowClass(WindowClass{L"QuellanOpenFixture", 0, plainProc, CursorShape::Arrow});
    WindowHandle w = createWindow(0, L"QuellanOpenFixture", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr);
    std::string again;
    const bool reopened = openDisplay(&again);
    std::FILE* f = std::fopen(result, "w");
    if (f) {
        std::fprintf(f, "%s|%s|%s", w ? "window" : "null", reopened ? "open" : "closed", displayError().c_str());
        std::fclose(f);
    }
    std::_Exit(w == nullptr && !reopened && again == displayError() ? 0 : 1);
}

[[maybe_unused]] const int g_openFixture = runOpenFixtureIfAsked();

TEST(WindowDisplay, UnknownDisplayFailsFastWithAClearError) {
    const std::string base = std::string(QUELLAN_BINARY_DIR) + "/window-display-" + std::to_string(::getpid());
    const std::string result = base + ".txt", errors = base + ".err";
    const pid_t pid = spawnSelf({"QUELLAN_DISPLAY=teletype", "QUELLAN_OPEN_FIXTURE_RESULT=" + result}, errors);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(waitExit(pid, 30), 0);
    const std::string text = readFile(result), stderrText = readFile(errors);
    std::remove(result.c_str());
    std::remove(errors.c_str());
    EXPECT_EQ(text.substr(0, 12), "null|closed|");
    EXPECT_NE(text.find("cannot open the teletype display"), std::string::npos) << text;
    EXPECT_NE(stderrText.find("cannot open the teletype display"), std::string::npos) << stderrText;
}

} // namespace
