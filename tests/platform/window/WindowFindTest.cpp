// Finding a window of another process and restoring and raising it, as the
// single-instance check does. The test binary starts itself as the other
// process: with QUELLAN_FIND_FIXTURE_TITLE set it only serves one minimised
// window and exits.
#include "WindowTestSupport.h"

#include "platform/system/Text.h"
// The name a window is published under, to take it from another account.
#include "platform/window/WindowInternal.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

using namespace wintest;

const wchar_t* kFixtureClass = L"QuellanFindFixture";

LResult fixtureProc(WindowHandle w, unsigned msg, WParam wp, LParam lp) { return defWindowProc(w, msg, wp, lp); }

// The other process: a minimised window that waits to be restored, made
// topmost and then ordinary again (the three steps of the single-instance
// check), then reports what it saw.
int runFindFixtureIfAsked() {
    const char* title = std::getenv("QUELLAN_FIND_FIXTURE_TITLE");
    const char* result = std::getenv("QUELLAN_FIND_FIXTURE_RESULT");
    if (!title || !result) return 0;
    if (!vdisplay::open({800, 600})) std::_Exit(3);
    registerWindowClass(WindowClass{kFixtureClass, 0, fixtureProc, CursorShape::Arrow});
    WindowHandle w =
        createWindow(0, kFixtureClass, fromUtf8(title), WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr);
    if (!w) std::_Exit(4);
    showWindow(w, SW_MINIMIZE);
    // Checked after every message: the topmost state lasts only between two.
    bool sawTopmost = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        Message msg;
        if (!peekMessage(msg)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        dispatchMessage(msg);
        if (windowExStyle(w) & WS_EX_TOPMOST) sawTopmost = true;
        if (sawTopmost && !isIconic(w) && !(windowExStyle(w) & WS_EX_TOPMOST) && activeWindow() == w) {
            std::ofstream(result) << "restored-raised";
            std::_Exit(0);
        }
    }
    std::ofstream(result) << "timeout iconic=" << isIconic(w) << " topmost=" << sawTopmost;
    std::_Exit(2);
}

[[maybe_unused]] const int g_fixture = runFindFixtureIfAsked();

using WindowFind = WindowTest;

TEST_F(WindowFind, FindsOwnWindowsByExactClassAndTitle) {
    WindowHandle w = createWindow(0, kClass, L"Quellan", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    EXPECT_EQ(findWindow(kClass, L"Quellan"), w);
    EXPECT_EQ(findWindow(L"QUELLANTESTWINDOW", L"Quellan"), w);
    EXPECT_EQ(findWindow(kClass, L"quellan"), nullptr);
    setWindowText(w, L"Renamed");
    EXPECT_EQ(findWindow(kClass, L"Renamed"), w);
    destroyWindow(w);
    EXPECT_EQ(findWindow(kClass, L"Renamed"), nullptr);
}

TEST_F(WindowFind, RestoresAndRaisesTheWindowOfAnotherProcess) {
    const std::string title = "Quellan find " + std::to_string(::getpid());
    const std::string result = std::string(QUELLAN_BINARY_DIR) + "/window-find-" + std::to_string(::getpid()) + ".txt";
    std::remove(result.c_str());
    const pid_t pid = spawnSelf({"QUELLAN_FIND_FIXTURE_TITLE=" + title, "QUELLAN_FIND_FIXTURE_RESULT=" + result});
    ASSERT_GT(pid, 0);

    const std::wstring wtitle = platform::fromUtf8(title);
    WindowHandle found = nullptr;
    ASSERT_TRUE(testsupport::waitUntil([&] { return (found = findWindow(kFixtureClass, wtitle)) != nullptr; }))
        << "the other process never showed its window";
    EXPECT_TRUE(isWindow(found));
    EXPECT_EQ(findWindow(kFixtureClass, wtitle + L"x"), nullptr);

    // The single-instance check's three steps.
    EXPECT_TRUE(showWindow(found, SW_RESTORE));
    EXPECT_TRUE(setWindowPos(found, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_TRUE(setWindowPos(found, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));

    const int code = waitExit(pid, 30);
    const std::string text = readFile(result);
    std::remove(result.c_str());
    EXPECT_EQ(code, 0) << text;
    EXPECT_EQ(text, "restored-raised");
    EXPECT_FALSE(isWindow(found)); // its process is gone
    EXPECT_FALSE(showWindow(found, SW_RESTORE));
}

// Window names are abstract socket names that anyone may take. A process of
// another account that takes ours and answers like a window of ours is not
// taken for one: it could otherwise keep the program from starting.
TEST_F(WindowFind, ANameTakenByAnotherAccountIsNoWindowOfOurs) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another account";
    const std::wstring title = L"Quellan squatted " + std::to_wstring(::getpid());
    const std::string name = platform::detail::remoteSocketName(kFixtureClass, title);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t squatter = ::fork();
    if (squatter == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path + 1, name.data(), std::min(name.size(), sizeof(addr.sun_path) - 1));
        const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 +
                                                     std::min(name.size(), sizeof(addr.sun_path) - 1));
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 4) != 0) ::_exit(2);
        [[maybe_unused]] ssize_t n = ::write(ready[1], "r", 1);
        for (;;) {
            const int client = ::accept(fd, nullptr, nullptr);
            char line[128];
            [[maybe_unused]] ssize_t got = ::read(client, line, sizeof line);
            [[maybe_unused]] ssize_t sent = ::send(client, "ok\n", 3, MSG_NOSIGNAL);
            ::close(client);
        }
    }
    ASSERT_GT(squatter, 0);
    char byte = 0;
    const bool serving = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    ::close(ready[1]);
    if (serving) {
        EXPECT_EQ(findWindow(kFixtureClass, title), nullptr);
    }
    ::kill(squatter, SIGKILL);
    ::waitpid(squatter, nullptr, 0);
    ASSERT_TRUE(serving);
}

} // namespace
