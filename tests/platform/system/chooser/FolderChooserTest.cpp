// The folder chooser on a real X server (run-under-xvfb.sh): the real zenity
// dialog, found by its title and answered with xdotool; a pick, a cancel.
#include "platform/system/Shell.h"
#include "platform/system/Text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

// Waits until a visible window has exactly this title; its id or empty.
std::string waitForWindow(const std::string& title) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string id = run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null | head -n 1");
        if (!id.empty()) return id.substr(0, id.find('\n'));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

class FolderChooserOnX : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run-under-xvfb.sh)";
        if (run("command -v zenity").empty()) GTEST_SKIP() << "zenity is not installed";
        // No session bus: the portal is not tried, zenity answers.
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        unsetenv("XDG_RUNTIME_DIR");
        char templ[] = "/tmp/quellan-chooser-XXXXXX";
        ASSERT_TRUE(mkdtemp(templ));
        m_root = templ;
        // The dialog opens in the home folder: a name with a blank and CJK.
        m_home = m_root / "安装 目录";
        fs::create_directories(m_home);
        setenv("HOME", m_home.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        if (!m_root.empty()) fs::remove_all(m_root, ec);
    }

    // Opens the chooser on a thread of its own, answers it with keys.
    platform::FolderChooserResult chooseAnswering(const std::string& keys, platform::FolderChooser& used) {
        auto pending =
            std::async(std::launch::async, [&] { return platform::chooseFolder(L"选择安装路径", {}, &used); });
        const std::string window = waitForWindow("选择安装路径");
        EXPECT_FALSE(window.empty()) << "no window titled 选择安装路径";
        if (!window.empty()) {
            run("timeout 20 xdotool windowactivate --sync " + window);
            run("xdotool key " + keys);
        }
        return pending.get();
    }

    fs::path m_root;
    fs::path m_home;
};

TEST_F(FolderChooserOnX, ZenityPicksAFolderOrIsCancelled) {
    platform::FolderChooser used = platform::FolderChooser::Portal;
    const auto picked = chooseAnswering("Return", used);
    EXPECT_EQ(picked.choice, platform::FolderChoice::Chosen);
    EXPECT_EQ(picked.path, platform::fromUtf8(m_home.string()));
    EXPECT_EQ(used, platform::FolderChooser::Zenity);

    const auto cancelled = chooseAnswering("Escape", used);
    EXPECT_EQ(cancelled.choice, platform::FolderChoice::Cancelled);
    EXPECT_TRUE(cancelled.path.empty());
}

} // namespace
