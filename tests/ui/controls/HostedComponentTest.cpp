// The hosted-component tags as they work here: an ActiveX control that
// reports its component unavailable and raises "showactivex" when shown,
// and a web browser whose home page is a link opened by the desktop.
#include "ui/controls/ActiveXUI.h"
#include "ui/controls/WebBrowserUI.h"

#include "platform/system/Text.h"
#include "tests/support/Pump.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/ScratchFolder.h"
#include "tests/ui/SkinWindow.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using testsupport::SkinWindow;
using Notices = std::vector<std::string>;

using testsupport::EnvGuard;

namespace {

Notices shownNotices(SkinWindow& w) {
    Notices out;
    for (std::string& n : w.takeNotices())
        if (n.rfind("showactivex", 0) == 0) out.push_back(n);
    return out;
}

} // namespace

TEST(HostedComponent, ActiveXIsReportedUnavailableAndNoticesEachShow) {
    EnvGuard env;
    env.set("QUELLAN_DEBUG", "1");
    testing::internal::CaptureStderr();
    SkinWindow w(LR"(<Window><VBox>
      <ActiveX name="ax" clsid="{8856F961-340A-11D0-A96B-00C04FD705A2}" modulename="shdocvw.dll" height="40"
               bkcolor="#FF102030"/>
      <VBox name="box"><ActiveX name="eager" clsid="{00000000-0000-0000-0000-000000000001}" delaycreate="false"
               visible="false" height="20"/></VBox>
      </VBox></Window>)",
                 {200, 200});
    ASSERT_TRUE(w.built());
    auto* ax = w.as<CActiveXUI>(L"ax", L"ActiveX");
    auto* eager = w.as<CActiveXUI>(L"eager", L"ActiveX");
    ASSERT_NE(ax, nullptr);
    ASSERT_NE(eager, nullptr);
    EXPECT_EQ(ax->componentId(), L"{8856F961-340A-11D0-A96B-00C04FD705A2}");
    EXPECT_EQ(ax->moduleName(), L"shdocvw.dll");
    EXPECT_FALSE(ax->isCreated());
    // Shown at start: one notice (queued, so the listener sees it).
    EXPECT_EQ(shownNotices(w), (Notices{"showactivex:ax"}));
    // It paints as a plain control.
    EXPECT_EQ(w.pixel({100, 20}) & 0xFFFFFFu, 0x102030u);

    // Hidden and shown again (itself, or through its parent): a notice each time it appears.
    ax->assignShown(false);
    SkinWindow::settle();
    ax->assignShown(true);
    SkinWindow::settle();
    eager->assignShown(true);
    SkinWindow::settle();
    w.find(L"box")->assignShown(false);
    SkinWindow::settle();
    w.find(L"box")->assignShown(true);
    SkinWindow::settle();
    EXPECT_EQ(shownNotices(w), (Notices{"showactivex:ax", "showactivex:eager", "showactivex:eager"}));
    const std::string log = testing::internal::GetCapturedStderr();
    // Each component is reported once: the eager one at initialisation, though hidden.
    EXPECT_NE(log.find("component {8856F961-340A-11D0-A96B-00C04FD705A2} from shdocvw.dll is not available"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("component {00000000-0000-0000-0000-000000000001} is not available"), std::string::npos) << log;
    std::size_t count = 0;
    for (std::size_t at = log.find("is not available"); at != std::string::npos;
         at = log.find("is not available", at + 1))
        ++count;
    EXPECT_EQ(count, 2u) << log;
}

TEST(HostedComponent, WebAddressesThatMayBeOpened) {
    const struct {
        const wchar_t* url;
        bool openable;
    } cases[] = {
        {L"https://harrow.example.com/", true}, {L"HTTP://harrow.example.com/news?x=1#top", true},
        {L"http://127.0.0.1:8080", true},       {L"https://", false},
        {L"https:///etc/passwd", false},        {L"file:///bin/sh", false},
        {L"javascript:alert(1)", false},        {L"/usr/bin/xterm", false},
        {L"https://example.com/a b", false},    {L"https://example.com/\n--help", false},
        {L"ftp://example.com/", false},         {L"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CWebBrowserUI::isOpenableAddress(c.url), c.openable) << platform::toUtf8(c.url);
}

TEST(HostedComponent, WebBrowserLinkOpensInTheUsersBrowser) {
    if (std::system("command -v xdg-open >/dev/null") != 0) GTEST_SKIP() << "xdg-open is not installed";
    testsupport::ScratchFolder dir;
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

    SkinWindow w(LR"(<Window><VBox><WebBrowser name="web" homepage="https://harrow.example.com/news" height="30"
                 bkcolor="#FFFFFFFF"/><WebBrowser name="bad" homepage="file:///bin/sh" height="30"/></VBox></Window>)",
                 {300, 100});
    ASSERT_TRUE(w.built());
    auto* web = w.as<CWebBrowserUI>(L"web", L"WebBrowser");
    auto* bad = w.as<CWebBrowserUI>(L"bad", L"WebBrowser");
    ASSERT_NE(web, nullptr);
    ASSERT_NE(bad, nullptr);
    // The link is the text's extent, underlined in the link colour.
    const platform::Rect link = web->linkRect();
    ASSERT_FALSE(link.isEmpty());
    EXPECT_EQ(link.left, 4);
    EXPECT_LT(link.right, 300);
    EXPECT_EQ(w.pixel({link.left + 2, link.bottom - 1}) & 0xFFFFFFu, 0x1A5FB4u);

    // A click beside the link opens nothing; on the link it opens the address.
    w.press({link.right + 20, 15});
    w.release({link.right + 20, 15});
    const platform::Rect badLink = bad->linkRect();
    w.press({badLink.left + 2, (badLink.top + badLink.bottom) / 2});
    w.release({badLink.left + 2, (badLink.top + badLink.bottom) / 2});
    EXPECT_FALSE(bad->openHomePage());
    w.press({link.left + 2, (link.top + link.bottom) / 2});
    w.release({link.left + 2, (link.top + link.bottom) / 2});
    ASSERT_TRUE(testsupport::waitUntil([&] { return !testsupport::readBytes(log).empty(); }, std::chrono::seconds(60)));
    // Only the web address arrived, once.
    EXPECT_EQ(testsupport::readBytes(log), "https://harrow.example.com/news\n");
}
