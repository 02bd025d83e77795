// Shared helpers of the window-system tests: a recording window class on the
// virtual display and a fixture that gives every test a clean display.
#pragma once

#include "platform/Window.h"
#include "platform/WindowVirtual.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace wintest {

using namespace platform;

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

    // The recorded messages of one window (or all), optionally only the listed kinds.
    static std::vector<unsigned> messages(WindowHandle w = nullptr, std::vector<unsigned> only = {}) {
        std::vector<unsigned> out;
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

} // namespace wintest
