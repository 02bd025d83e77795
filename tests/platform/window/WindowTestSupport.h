// Shared helpers of the window-system tests: a recording window class on the
// virtual display and a fixture that gives every test a clean display.
#pragma once

#include "platform/window/Window.h"
#include "platform/window/VirtualDisplay.h"
#include "tests/support/MessageNames.h"
#include "tests/support/Pump.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <optional>
#include <string>
#include <vector>

namespace wintest {

using namespace platform;
using testsupport::Messages;

struct Record {
    WindowHandle window;
    unsigned message;
    WParam wParam;
    LParam lParam;
};

// Every message a recording window receives, in order.
inline std::vector<Record>& log() {
    static std::vector<Record> records;
    return records;
}

// Per-test answers: return a value to handle the message, nothing to pass it on.
using Hook = std::function<std::optional<LResult>(WindowHandle, unsigned, WParam, LParam)>;
inline Hook& hook() {
    static Hook h;
    return h;
}

inline LResult recordingProc(WindowHandle w, unsigned msg, WParam wp, LParam lp) {
    log().push_back({w, msg, wp, lp});
    if (hook())
        if (auto r = hook()(w, msg, wp, lp)) return *r;
    return defWindowProc(w, msg, wp, lp);
}

inline const wchar_t* kClass = L"QuellanTestWindow";
inline const wchar_t* kDblClass = L"QuellanTestDblClk";

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(vdisplay::open({1280, 800}));
        vdisplay::reset();
        log().clear();
        hook() = nullptr;
        WindowClass cls;
        cls.name = kClass;
        cls.proc = recordingProc;
        ASSERT_TRUE(registerWindowClass(cls));
        cls.name = kDblClass;
        cls.style = CS_DBLCLKS;
        ASSERT_TRUE(registerWindowClass(cls));
    }
    void TearDown() override {
        hook() = nullptr;
        vdisplay::reset();
        log().clear();
    }

    // A shown top-level window at (x, y) of the given size.
    WindowHandle topLevel(int x, int y, int w, int h, const wchar_t* cls = kClass, unsigned exStyle = 0,
                          WindowHandle owner = nullptr) {
        return createWindow(exStyle, cls, L"top", WS_POPUP | WS_VISIBLE, x, y, w, h, owner, nullptr);
    }
    WindowHandle child(WindowHandle parent, int x, int y, int w, int h, std::intptr_t id = 0) {
        return createWindow(0, kClass, L"", WS_CHILD | WS_VISIBLE, x, y, w, h, parent, nullptr, id);
    }

    // The recorded messages of one window (or all), optionally only the listed
    // kinds; printed by name when an expectation fails.
    static Messages messages(WindowHandle w = nullptr, std::vector<unsigned> only = {}) {
        Messages out;
        for (const Record& r : log()) {
            if (w && r.window != w) continue;
            if (!only.empty() && std::find(only.begin(), only.end(), r.message) == only.end()) continue;
            out.push_back(r.message);
        }
        return out;
    }
    static std::vector<Record> records(WindowHandle w, unsigned message) {
        std::vector<Record> out;
        for (const Record& r : log())
            if (r.window == w && r.message == message) out.push_back(r);
        return out;
    }
};

// Starts this test program again with extra environment entries ("NAME=value");
// its stderr goes to `stderrPath` when given. Returns the process id or -1.
inline pid_t spawnSelf(const std::vector<std::string>& extraEnv, const std::string& stderrPath = {}) {
    std::vector<char*> env;
    for (char** e = ::environ; *e; ++e) env.push_back(*e);
    for (const std::string& e : extraEnv) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stderrPath.empty())
        posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char self[] = "/proc/self/exe";
    char* argv[] = {self, nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, env.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for the process to end; kills it after `seconds`. The exit code, or -1
// when it had to be killed or did not exit normally.
inline int waitExit(pid_t pid, int seconds) {
    int status = 0;
    if (testsupport::waitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(seconds)))
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace wintest
