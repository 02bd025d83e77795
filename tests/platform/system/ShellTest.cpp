// Shell services without a display: the file URIs and request paths of the
// portal, the chooser's answer when nothing can be shown, and web addresses
// handed to the real xdg-open.
#include "platform/system/Shell.h"
#include "platform/system/Text.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

using testsupport::EnvGuard;
using testsupport::ScratchFolder;

TEST(Shell, FileUrisBecomeLocalPaths) {
    const struct {
        const char* uri;
        const char* path;
    } cases[] = {
        {"file:///home/li/Games", "/home/li/Games"},
        {"file://localhost/srv/x", "/srv/x"},
        {"file:///home/li/%E6%B8%B8%E6%88%8F%20dir/", "/home/li/游戏 dir/"},
        {"file:///a%2Fb", "/a/b"},
        {"file:///q?x=1", "/q"},
        {"file://otherhost/srv/x", ""}, // not a local file
        {"https://example.com/x", ""},
        {"file:///bad%2", ""},
        {"file:///bad%zz", ""},
        {"file:///nul%00x", ""},
        {"file://", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::detail::pathFromFileUri(c.uri), c.path) << c.uri;
}

TEST(Shell, PortalRequestPathFollowsTheCallersBusName) {
    EXPECT_EQ(platform::detail::portalRequestPath(":1.42", "quellan7_1"),
              "/org/freedesktop/portal/desktop/request/1_42/quellan7_1");
}

TEST(Shell, NoChooserToShowIsReportedAsUnavailable) {
    ScratchFolder empty;
    EnvGuard env;
    env.set("DBUS_SESSION_BUS_ADDRESS", nullptr);
    env.set("XDG_RUNTIME_DIR", nullptr);
    // A display but no chooser program on PATH.
    env.set("DISPLAY", ":99");
    env.set("PATH", empty.path().c_str());
    platform::FolderChooser used = platform::FolderChooser::Kdialog;
    auto result = platform::chooseFolder(L"选择安装路径", {}, &used);
    EXPECT_EQ(result.choice, platform::FolderChoice::Unavailable);
    EXPECT_TRUE(result.path.empty());
    EXPECT_EQ(used, platform::FolderChooser::Kdialog); // untouched: nobody answered

    // Chooser programs but no display: nothing is started.
    const auto fake = empty / "zenity";
    const auto marker = empty / "started";
    testsupport::writeBytes(fake, "#!/bin/sh\ntouch '" + marker.string() + "'\necho /tmp\n");
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    env.set("DISPLAY", nullptr);
    env.set("WAYLAND_DISPLAY", nullptr);
    result = platform::chooseFolder(L"选择安装路径");
    EXPECT_EQ(result.choice, platform::FolderChoice::Unavailable);
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(Shell, OpenUrlHandsTheAddressToXdgOpen) {
    if (std::system("command -v xdg-open >/dev/null") != 0) GTEST_SKIP() << "xdg-open is not installed";
    ScratchFolder dir;
    EnvGuard env;
    // Without a desktop xdg-open gives web addresses to $BROWSER.
    const auto browser = dir / "browser";
    const auto log = dir / "opened.txt";
    testsupport::writeBytes(browser, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log.string() + "'\n");
    std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
    env.set("BROWSER", browser.c_str());
    env.set("DISPLAY", nullptr);
    env.set("XDG_CURRENT_DESKTOP", nullptr);
    env.set("XDG_DATA_DIRS", dir.path().c_str());
    env.set("XDG_DATA_HOME", dir.path().c_str());
    env.set("XDG_CONFIG_HOME", dir.path().c_str());

    const std::wstring url = L"https://harrow.example.com/download?from=quellan&x=1";
    ASSERT_TRUE(platform::openUrl(url));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (testsupport::readBytes(log).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(testsupport::readBytes(log), platform::toUtf8(url) + "\n");
    EXPECT_FALSE(platform::openUrl(L""));
}

} // namespace
