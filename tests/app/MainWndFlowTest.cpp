// The main window end to end on the virtual display against a local service:
// start-up (version check, update offer, configuration), the start checks,
// whole installation passes with their outcomes and the desktop entry, and
// the close questions.
#include "tests/app/InstallerFixture.h"

#include "app/FolderChoice.h"
#include "engine/EngineEvents.h"
#include "engine/FolderLock.h"
#include "engine/Manifest.h"
#include "platform/graphics/Graphics.h"
#include "platform/system/Shell.h"
#include "tests/support/PeFixture.h"
#include "ui/controls/OptionUI.h"

#include <regex>
#include <thread>

namespace apptest {
namespace {

const Edition& edition(std::string_view code) { return *FindEditionByCode(code); }

class MainWndFlow : public InstallerTest {
protected:
    void select(std::string_view code) { click(edition(code).optionControl); }
    // Waits until the start-up jobs are done (the configuration is in).
    bool waitIdle() {
        return pump(
            [&] {
                return !m_server.RequestsTo("/Speed/Config/getConfig").empty() &&
                       m_window->threads().RunningCount() == 0 && m_window->PendingCalls() == 0;
            },
            kLongWait);
    }
    // Presses start and waits for the question that ends the pass.
    bool runPass(std::size_t askedBefore) {
        click(L"startBtn");
        return waitAsked(askedBefore + 1);
    }
};

// Start-up: the window's controls as initialised, the cedar option hidden,
// the link button in the caption, and the version check followed by the
// configuration request, with nothing asked.
TEST_F(MainWndFlow, StartUpInitialisesTheWindowAndFetchesTheConfiguration) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(m_server.RequestsTo("/Speed/Config/checkVersion").size(), 1u);
    EXPECT_TRUE(m_asked.empty());
    EXPECT_EQ(text(L"title_lab"), "Quellan");
    EXPECT_EQ(text(L"path_edit"), "");
    EXPECT_EQ(text(L"startBtn"), "开始下载");
    EXPECT_EQ(m_window->GetSelectedEdition(), kNoEdition);
    for (const Edition& e : kEditions) {
        CControlUI* option = control(e.optionControl);
        ASSERT_NE(option, nullptr) << e.code;
        EXPECT_EQ(option->isShown(), e.code != "cedar") << e.code;
    }
    CControlUI* link = control(L"webbtn");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->parentControl(), control(L"close_btn")->parentControl());
    EXPECT_EQ(text(L"webbtn"), "点此下载Harrow加速器，游戏更稳定！");
    EXPECT_TRUE(link->isFloating());
    const platform::Rect parent = link->parentControl()->bounds();
    EXPECT_EQ(link->bounds().left - parent.left, 370);
    EXPECT_EQ(link->bounds().width(), 224);
    // The window takes the skin's size and the round region.
    const auto state = platform::vdisplay::nativeState(m_window->windowHandle());
    EXPECT_EQ(state.rect.width(), 1090);
    EXPECT_EQ(state.rect.height(), 644);
    EXPECT_TRUE(state.hasShape);
    EXPECT_FALSE(state.style.decorated);
    EXPECT_TRUE(state.hasIcon);
}

// The caption band drags the window except over its buttons; the window is
// never maximised; the minimise button and command minimise it.
TEST_F(MainWndFlow, CaptionBandAndSystemCommands) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    const platform::WindowHandle w = m_window->windowHandle();
    auto hit = [&](int x, int y) {
        const platform::Point p = platform::clientToScreen(w, {x, y});
        return platform::sendMessage(w, platform::WM_NCHITTEST, 0,
                                     static_cast<platform::LParam>((p.x & 0xFFFF) | ((p.y & 0xFFFF) << 16)));
    };
    auto centreOf = [&](const wchar_t* name) {
        const platform::Rect r = control(name)->bounds();
        return platform::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    };
    EXPECT_EQ(hit(30, 20), platform::HTCAPTION);  // the title label
    EXPECT_EQ(hit(250, 10), platform::HTCAPTION); // the band's background
    EXPECT_EQ(hit(centreOf(L"close_btn").x, centreOf(L"close_btn").y), platform::HTCLIENT);
    EXPECT_EQ(hit(centreOf(L"webbtn").x, centreOf(L"webbtn").y), platform::HTCLIENT);
    EXPECT_EQ(hit(250, 200), platform::HTCLIENT); // below the band
    EXPECT_EQ(platform::sendMessage(w, platform::WM_SYSCOMMAND, platform::SC_MAXIMIZE, 0), 0);
    EXPECT_FALSE(platform::isZoomed(w));
    click(L"min_btn");
    ASSERT_TRUE(pump([&] { return platform::isIconic(w); }));
    platform::showWindow(w, platform::SW_RESTORE);
    platform::sendMessage(w, platform::WM_SYSCOMMAND, platform::SC_MINIMIZE, 0);
    EXPECT_TRUE(platform::isIconic(w));
    EXPECT_TRUE(m_asked.empty());
}

// Selecting options fills the field with the edition's default path; the
// start checks run in order: no edition, then empty path.
TEST_F(MainWndFlow, StartChecksRefuseWithoutEditionOrPath) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    click(L"startBtn");
    ASSERT_TRUE(waitAsked(1));
    EXPECT_EQ(m_asked[0].text, "请选择要下载的游戏版本！");
    EXPECT_EQ(m_asked[0].kind, kMsgBoxOk);
    EXPECT_EQ(m_asked[0].ok, "确定");
    click(L"selected_path_btn");
    ASSERT_TRUE(waitAsked(2));
    EXPECT_EQ(m_asked[1].text, "请选择要下载的游戏版本！");

    select("elm");
    EXPECT_EQ(m_window->GetSelectedEdition(), 5);
    EXPECT_EQ(text(L"path_edit"), utf8(DefaultInstallPath(edition("elm"))));
    select("alder");
    EXPECT_EQ(m_window->GetSelectedEdition(), 0);
    EXPECT_EQ(text(L"path_edit"), utf8(DefaultInstallPath(edition("alder"))));
    EXPECT_EQ(m_window->installPath(), DefaultInstallPath(edition("alder")));

    control(L"path_edit")->assignText(L"");
    click(L"startBtn");
    ASSERT_TRUE(waitAsked(3));
    EXPECT_EQ(m_asked[2].text, "保存路径不能为空！");
    EXPECT_EQ(text(L"startBtn"), "开始下载");
    EXPECT_TRUE(control(L"startBtn")->enabledState());
    EXPECT_TRUE(m_server.RequestsTo("/files/alder/filelist.json").empty());
}

// The folder button: a chosen folder gets the edition's folder rule and
// becomes the field's text and tooltip; a cancel leaves the field alone; no
// chooser at all tells the user to type the path.
TEST_F(MainWndFlow, FolderButtonAppliesTheFolderRule) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    select("elm");
    const std::string before = text(L"path_edit");
    std::deque<platform::FolderChooserResult> answers{
        {platform::FolderChoice::Chosen, L"/srv/games"},
        {platform::FolderChoice::Chosen, L"/srv/games/Tolvar-elm"},
        {platform::FolderChoice::Cancelled, L""},
        {platform::FolderChoice::Unavailable, L""},
    };
    std::vector<std::wstring> titles;
    ScopedFolderChooser chooser([&](std::wstring_view title, const std::function<void()>& whileWaiting) {
        titles.emplace_back(title);
        if (whileWaiting) whileWaiting();
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    });
    click(L"selected_path_btn");
    EXPECT_EQ(text(L"path_edit"), "/srv/games/Tolvar-elm/");
    EXPECT_EQ(utf8(control(L"path_edit")->tooltip().view()), "/srv/games/Tolvar-elm/");
    // installPath follows the field only when start is pressed.
    EXPECT_EQ(utf8(m_window->installPath()), before);
    click(L"selected_path_btn");
    EXPECT_EQ(text(L"path_edit"), "/srv/games/Tolvar-elm/");
    control(L"path_edit")->assignText(L"/typed/by/hand");
    click(L"selected_path_btn"); // cancelled
    EXPECT_EQ(text(L"path_edit"), "/typed/by/hand");
    click(L"selected_path_btn"); // no chooser
    ASSERT_TRUE(waitAsked(1));
    EXPECT_EQ(m_asked[0].text, utf8(kNoFolderChooserText));
    EXPECT_EQ(text(L"path_edit"), "/typed/by/hand");
    ASSERT_EQ(titles.size(), 4u);
    EXPECT_EQ(utf8(titles[0]), "选择安装路径");
}

// While the chooser (another program) is open, the window behaves as the
// owner of a modal dialog: input off, but the jobs' events are handled and
// what the chooser uncovers is painted again. Afterwards it takes input again.
TEST_F(MainWndFlow, WindowStaysLiveBehindTheFolderChooser) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    select("birch");
    const platform::WindowHandle w = m_window->windowHandle();
    bool disabled = false;
    std::string statusDuring;
    bool repainted = false;
    ScopedFolderChooser chooser([&](std::wstring_view, const std::function<void()>& whileWaiting) {
        disabled = !platform::isWindowEnabled(w);
        // A job reports from its thread; an expose arrives for a part of the window.
        std::thread([] { EngineEvents().OnShowStatusText(0, MakeEventWideText(L"剩余3个文件")); }).join();
        platform::invalidateRect(w, nullptr, false);
        testsupport::waitUntil([&] {
            whileWaiting();
            return text(L"startBtn") == "剩余3个文件" && !platform::getUpdateRect(w, nullptr, false);
        });
        statusDuring = text(L"startBtn");
        repainted = !platform::getUpdateRect(w, nullptr, false);
        return platform::FolderChooserResult{platform::FolderChoice::Cancelled, L""};
    });
    click(L"selected_path_btn");
    EXPECT_TRUE(disabled);
    EXPECT_EQ(statusDuring, "剩余3个文件");
    EXPECT_TRUE(repainted);
    EXPECT_TRUE(platform::isWindowEnabled(w));
    EXPECT_TRUE(m_asked.empty());
}

// A whole installation of each edition (cedar selected by the program, since
// its option is hidden): every file in place, the completion texts and full
// bar, the desktop entry for the edition's launcher, the usage report with
// the edition's code, four workers in the first pass.
TEST_F(MainWndFlow, InstallsEveryEditionAndLeavesTheDesktopEntry) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    for (const Edition& e : kEditions) {
        SCOPED_TRACE(std::string(e.code));
        if (e.code == "cedar") {
            for (const Edition& other : kEditions)
                static_cast<COptionUI*>(control(other.optionControl)->castTo(L"Option"))
                    ->assignSelected(other.code == "cedar", /*notify=*/true);
        } else {
            select(e.code);
        }
        ASSERT_EQ(m_window->GetSelectedEdition(), e.number);
        const std::size_t before = m_asked.size();
        click(L"startBtn");
        if (e.number == 0) {
            // While the pass runs the button is the (disabled) status line.
            if (m_asked.size() == before) {
                EXPECT_FALSE(control(L"startBtn")->enabledState());
            }
            ASSERT_TRUE(pump([&] { return m_window->threadSpeeds().size() == 4 || m_asked.size() > before; }));
        }
        ASSERT_TRUE(waitAsked(before + 1));
        EXPECT_EQ(m_asked.back().text, "下载结束，安装完成！");
        EXPECT_EQ(m_asked.back().kind, kMsgBoxOk);
        EXPECT_TRUE(InstalledCompletely(m_dir / "content" / std::string(e.code), installDir(e)));
        EXPECT_EQ(text(L"one_file_name_lab"), "所有文件下载完毕！");
        EXPECT_EQ(text(L"one_file_percent_lab"), "100.00%");
        EXPECT_EQ(control(L"pro_lab")->fixedWidth(), 640);
        EXPECT_EQ(text(L"startBtn"), "开始下载");
        EXPECT_TRUE(control(L"startBtn")->enabledState());
        EXPECT_TRUE(m_window->threadSpeeds().empty());
        const std::string entry = testsupport::readBytes(desktopEntry());
        EXPECT_NE(entry.find(utf8(e.launcher)), std::string::npos) << entry;
        EXPECT_NE(entry.find("Tolvar-" + std::string(e.code)), std::string::npos) << entry;
        // The same entry in the menu; the test launchers carry no icon.
        EXPECT_EQ(testsupport::readBytes(menuEntry()), entry);
        EXPECT_EQ(entry.find("Icon="), std::string::npos) << entry;
        ASSERT_TRUE(pump([&] { return m_server.RequestsTo("/Speed/Server/Report").size() > 0; }));
        bool reported = false;
        for (const auto& r : m_server.RequestsTo("/Speed/Server/Report"))
            reported |= r.body.find("code=" + std::to_string(ReportCode(e))) != std::string::npos;
        EXPECT_TRUE(reported);
    }
    EXPECT_EQ(g_downloadRound, 5);
}

// Paths typed the way a Linux user types them; the folder check as the last
// start check; the launcher's own icon in the desktop and menu entries.
TEST_F(MainWndFlow, TypedPathFolderCheckAndLauncherIcon) {
    // birch's launcher becomes a Windows program with a 48 × 48 icon.
    const auto colour = [](int x, int y) { return 0xFF000000u | (std::uint32_t(x) << 16) | (std::uint32_t(y) << 8); };
    const auto launcher = testsupport::makePeWithResources(
        {{3, 5, testsupport::makeBitmapIcon(48, 48, 32, colour, [](int, int) { return false; })},
         {14, 1, testsupport::makeIconGroup({{48, 48, 32, 5}})}});
    const fs::path content = m_dir / "content/birch";
    testsupport::writeBytes(content / "WoW.exe", std::string(launcher.begin(), launcher.end()));
    devserver::ContentSummary summary;
    std::string error;
    ASSERT_TRUE(devserver::WriteFileList(content.string(), (content / "filelist.json").string(), false, summary, error))
        << error;

    OpenWindow();
    ASSERT_TRUE(waitIdle());
    select("birch");
    // A folder that cannot be made (a file is in the way): refused before
    // anything is fetched, the window as it was.
    testsupport::writeBytes(m_dir / "home/blocker", "a file");
    control(L"path_edit")->assignText(L"~/blocker/game");
    click(L"startBtn");
    ASSERT_TRUE(waitAsked(1));
    EXPECT_EQ(m_asked[0].text, "无法写入所选文件夹，请选择其他路径！");
    EXPECT_EQ(m_asked[0].ok, "确定");
    EXPECT_EQ(m_asked[0].kind, kMsgBoxOk);
    EXPECT_EQ(text(L"startBtn"), "开始下载");
    EXPECT_TRUE(control(L"startBtn")->enabledState());
    EXPECT_TRUE(m_server.RequestsTo("/files/birch/filelist.json").empty());
    EXPECT_EQ(text(L"path_edit"), (m_dir / "home/blocker/game").string());

    // "~/…" is the home folder; the field shows the path really used.
    control(L"path_edit")->assignText(L"~/Games/typed");
    ASSERT_TRUE(runPass(1));
    EXPECT_EQ(m_asked[1].text, "下载结束，安装完成！");
    EXPECT_EQ(text(L"path_edit"), (m_dir / "home/Games/typed").string());
    EXPECT_TRUE(InstalledCompletely(content, m_dir / "home/Games/typed"));

    const std::string entry = testsupport::readBytes(desktopEntry());
    EXPECT_NE(entry.find("\nIcon=tolvar-realms\n"), std::string::npos) << entry;
    EXPECT_EQ(testsupport::readBytes(menuEntry()), entry);
    const platform::Surface icon =
        platform::Surface::readPng((m_dir / "home/.local/share/icons/hicolor/48x48/apps/tolvar-realms.png").string());
    ASSERT_EQ(icon.size(), (platform::Size{48, 48}));
    EXPECT_EQ(icon.pixel(10, 20), colour(10, 20));
    EXPECT_EQ(icon.pixel(47, 0), colour(47, 0));
}

// A pass with a failed file asks for another pass; the second pass (one
// worker) fetches only that file and completes.
TEST_F(MainWndFlow, FailedFilesThenTheRepeatOfferThenComplete) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    devserver::Fault missing;
    missing.status = 404;
    m_server.SetFault("/files/birch/Data/big.mpq", missing);
    select("birch");
    ASSERT_TRUE(runPass(0));
    EXPECT_EQ(m_asked[0].text, "下载结束，有部分文件下载失败，请再次点击开始下载按钮！");
    EXPECT_EQ(text(L"startBtn"), "开始下载");
    EXPECT_TRUE(control(L"startBtn")->enabledState());
    EXPECT_FALSE(fs::exists(desktopEntry()));
    EXPECT_FALSE(InstalledCompletely(m_dir / "content/birch", installDir(edition("birch"))));
    EXPECT_EQ(g_downloadRound, 1);

    m_server.ClearFaults();
    m_server.ClearRequests();
    click(L"startBtn");
    ASSERT_TRUE(pump([&] { return m_window->threadSpeeds().size() == 1 || m_asked.size() > 1; }));
    ASSERT_TRUE(waitAsked(2));
    EXPECT_EQ(m_asked[1].text, "下载结束，安装完成！");
    EXPECT_TRUE(InstalledCompletely(m_dir / "content/birch", installDir(edition("birch"))));
    EXPECT_TRUE(fs::exists(desktopEntry()));
    // Only the missing file was fetched again.
    int fetched = 0;
    for (const auto& r : m_server.Requests())
        if (r.path.rfind("/files/birch/", 0) == 0 && r.path != "/files/birch/filelist.json") ++fetched;
    EXPECT_EQ(fetched, 1);
    EXPECT_EQ(g_downloadRound, 2);
}

// The file list cannot be fetched: the button comes back and a later press
// succeeds.
TEST_F(MainWndFlow, FileListFailureThenRetry) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    devserver::Fault broken;
    broken.status = 500;
    m_server.SetFault("/files/dogwood/filelist.json", broken);
    select("dogwood");
    ASSERT_TRUE(runPass(0));
    EXPECT_EQ(m_asked[0].text, "文件列表获取失败！");
    EXPECT_EQ(m_asked[0].ok, "确定");
    EXPECT_EQ(text(L"startBtn"), "开始下载");
    EXPECT_TRUE(control(L"startBtn")->enabledState());
    EXPECT_EQ(g_downloadRound, 0);
    m_server.ClearFaults();
    ASSERT_TRUE(runPass(1));
    EXPECT_EQ(m_asked[1].text, "下载结束，安装完成！");
    EXPECT_TRUE(InstalledCompletely(m_dir / "content/dogwood", installDir(edition("dogwood"))));
}

// Another installer holds the folder: the window says so, fetches nothing
// and keeps its start button; once the folder is free, the pass runs (and
// holds the folder itself until the pass ends).
TEST_F(MainWndFlow, FolderInUseByAnotherInstallerIsRefused) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    select("dogwood");
    auto other = std::make_unique<CFolderLock>();
    ASSERT_TRUE(other->Acquire(installDir(edition("dogwood")).wstring()));
    m_server.ClearRequests();
    ASSERT_TRUE(runPass(0));
    EXPECT_EQ(m_asked[0].text, "该文件夹正在被另一个安装程序使用！");
    EXPECT_EQ(m_asked[0].ok, "确定");
    EXPECT_EQ(m_asked[0].kind, kMsgBoxOk);
    EXPECT_EQ(text(L"startBtn"), "开始下载");
    EXPECT_TRUE(control(L"startBtn")->enabledState());
    EXPECT_TRUE(m_server.RequestsTo("/files/dogwood/filelist.json").empty());

    other.reset();
    ASSERT_TRUE(runPass(1));
    EXPECT_EQ(m_asked[1].text, "下载结束，安装完成！");
    CFolderLock after;
    EXPECT_TRUE(after.Acquire(installDir(edition("dogwood")).wstring())); // released with the pass
}

// Start pressed before the configuration has arrived: the file list job has
// no address, reports its failure, and the button comes back.
TEST_F(MainWndFlow, StartBeforeTheConfigurationFailsTheFileList) {
    devserver::Fault slow;
    slow.delayMs = 5000;
    m_server.SetFault("/Speed/Config/getConfig", slow);
    OpenWindow();
    select("birch");
    click(L"startBtn");
    ASSERT_TRUE(waitAsked(1));
    EXPECT_EQ(m_asked[0].text, "文件列表获取失败！");
    EXPECT_EQ(text(L"startBtn"), "开始下载");
    EXPECT_TRUE(control(L"startBtn")->enabledState());
}

// The close button while workers report speed asks with the speed; "取消"
// keeps the window and the download going, "确定" closes. Alt+F4 (the
// system close) always asks.
TEST_F(MainWndFlow, CloseQuestionWhileDownloading) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    // Without a running pass the close button would close at once; the
    // system close asks all the same.
    m_answers = {kMsgBoxCancelPressed};
    platform::vdisplay::requestClose(m_window->windowHandle());
    ASSERT_TRUE(waitAsked(1));
    EXPECT_EQ(m_asked[0].text, "确定退出吗");
    EXPECT_EQ(m_asked[0].kind, kMsgBoxOkCancel);
    EXPECT_EQ(m_asked[0].cancel, "取消");
    EXPECT_TRUE(windowOpen());

    devserver::Fault slow;
    slow.rate = 48 * 1024;
    m_server.SetFault("/files/birch/Data/big.mpq", slow);
    select("birch");
    click(L"startBtn");
    ASSERT_TRUE(pump(
        [&] {
            // Only the worker with the slow file is left, and it reports speed
            // (the others' speeds drop to 0 once their files are in place).
            if (m_window->threadSpeeds().size() != 1) return false;
            std::uint32_t sum = 0;
            for (const auto& [id, speed] : m_window->threadSpeeds()) sum += static_cast<std::uint32_t>(speed);
            return sum >= 1024;
        },
        kLongWait));
    EXPECT_NE(text(L"startBtn").find("剩余"), std::string::npos) << text(L"startBtn");
    m_answers = {kMsgBoxCancelPressed};
    click(L"close_btn");
    ASSERT_TRUE(waitAsked(2));
    EXPECT_TRUE(std::regex_match(m_asked[1].text, std::regex("当前正在下载，速度:[0-9]+Kb/s，确定退出吗？")))
        << m_asked[1].text;
    EXPECT_EQ(m_asked[1].ok, "确定");
    EXPECT_TRUE(windowOpen());
    m_answers = {kMsgBoxOkPressed};
    click(L"close_btn");
    ASSERT_TRUE(waitAsked(3));
    ASSERT_TRUE(pump([&] { return !windowOpen(); }));
    // Closing stopped the jobs: nothing runs on.
    EXPECT_TRUE(m_window->threads().WaitForAll(std::chrono::seconds(30)));
}

// Without a pass the close button closes at once, without a question.
TEST_F(MainWndFlow, CloseButtonWithoutDownloadClosesAtOnce) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    click(L"close_btn");
    ASSERT_TRUE(pump([&] { return !windowOpen(); }));
    EXPECT_TRUE(m_asked.empty());
}

// A newer version is offered: refusing closes without asking for the
// configuration; taking it shows "正在下载新版本", runs the new program with
// the update parameters and closes.
TEST_F(MainWndFlow, UpdateOfferRefusedCloses) {
    m_server.SetVersion("21", "");
    m_answers = {kMsgBoxCancelPressed};
    OpenWindow();
    ASSERT_TRUE(waitAsked(1));
    EXPECT_EQ(m_asked[0].text, "发现新版本，请更新后使用！");
    EXPECT_EQ(m_asked[0].ok, "开始更新");
    EXPECT_EQ(m_asked[0].cancel, "退出程序");
    EXPECT_EQ(m_asked[0].kind, kMsgBoxOkCancel);
    ASSERT_TRUE(pump([&] { return !windowOpen(); }));
    EXPECT_TRUE(m_server.RequestsTo("/Speed/Config/getConfig").empty());
}

TEST_F(MainWndFlow, UpdateOfferTakenRunsTheNewProgram) {
    const fs::path marker = m_dir / "updated.txt";
    testsupport::writeBytes(m_dir / "content/update/new-quellan",
                            "#!/bin/sh\nprintf '%s' \"$*\" > '" + marker.string() + "'\n");
    m_server.SetVersion("21", m_server.BaseUrl() + "/files/update/new-quellan");
    devserver::Fault slow;
    slow.delayMs = 1500;
    m_server.SetFault("/files/update/new-quellan", slow);
    OpenWindow();
    ASSERT_TRUE(waitAsked(1));
    // While the new version downloads, start does nothing.
    ASSERT_TRUE(pump([&] { return text(L"startBtn") == "正在下载新版本"; }));
    EXPECT_FALSE(control(L"startBtn")->enabledState());
    select("birch");
    click(L"startBtn");
    EXPECT_TRUE(m_server.RequestsTo("/files/birch/filelist.json").empty());
    ASSERT_TRUE(pump([&] { return !windowOpen(); }, kLongWait));
    EXPECT_TRUE(testsupport::waitUntil([&] { return !testsupport::readBytes(marker).empty(); }));
    EXPECT_EQ(testsupport::readBytes(marker).rfind("update '", 0), 0u) << testsupport::readBytes(marker);
    EXPECT_EQ(m_asked.size(), 1u);
}

// Only the program the signed version answer names by its digest is ever
// started: a different one (or one without a digest) gives the update
// failure and the window closes without running anything.
TEST_F(MainWndFlow, UpdateWithoutTheNamedDigestIsNeverStarted) {
    const fs::path marker = m_dir / "updated.txt";
    testsupport::writeBytes(m_dir / "content/update/new-quellan",
                            "#!/bin/sh\nprintf '%s' \"$*\" > '" + marker.string() + "'\n");
    m_server.SetVersion("21", m_server.BaseUrl() + "/files/update/new-quellan");
    for (const std::string& digest : {devserver::Sha256Hex("the program the service meant"), std::string()}) {
        SCOPED_TRACE(digest);
        m_asked.clear();
        m_server.SetUpdateDigest(digest);
        OpenWindow();
        ASSERT_TRUE(waitAsked(2, kLongWait));
        EXPECT_EQ(m_asked[1].text, "更新失败，请去网站获取最新版本！");
        ASSERT_TRUE(pump([&] { return !windowOpen(); }));
        m_window.reset();
        EXPECT_FALSE(fs::exists(marker));
    }
}

// "check_code" 20 is not newer: no offer, the configuration follows.
TEST_F(MainWndFlow, SameVersionIsNotOffered) {
    m_server.SetVersion("20", "");
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(m_asked.empty());
}

// The update download fails: the message, then the window closes.
TEST_F(MainWndFlow, UpdateDownloadFailureCloses) {
    m_server.SetVersion("21", m_server.BaseUrl() + "/files/update/absent");
    OpenWindow();
    ASSERT_TRUE(waitAsked(2, kLongWait));
    EXPECT_EQ(m_asked[1].text, "更新失败，请去网站获取最新版本！");
    ASSERT_TRUE(pump([&] { return !windowOpen(); }));
}

// An update that could never be put in place (the program file cannot be
// replaced by this user) is not even downloaded: it fails as a failed
// download does, instead of being offered again after every restart.
TEST_F(MainWndFlow, UpdateThatCannotReplaceTheProgramIsNotDownloaded) {
    testsupport::writeBytes(m_dir / "content/update/new-quellan", "#!/bin/sh\n");
    m_server.SetVersion("21", m_server.BaseUrl() + "/files/update/new-quellan");
    m_window = std::make_unique<CMainWnd>();
    m_window->setProgramFile(platform::fromUtf8((m_dir / "gone/quellan").string()));
    ASSERT_TRUE(m_window->Create(title()));
    ASSERT_TRUE(waitAsked(2, kLongWait));
    EXPECT_EQ(m_asked[0].text, "发现新版本，请更新后使用！");
    EXPECT_EQ(m_asked[1].text, "更新失败，请去网站获取最新版本！");
    ASSERT_TRUE(pump([&] { return !windowOpen(); }));
    EXPECT_TRUE(m_server.RequestsTo("/files/update/new-quellan").empty());
}

// Configuration failures close the program after their message: one that
// will not decrypt, and one that decrypts to something that is not JSON.
TEST_F(MainWndFlow, ConfigurationThatWillNotDecryptCloses) {
    devserver::Fault garbled;
    garbled.badPayload = true;
    m_server.SetFault("/Speed/Config/getConfig", garbled);
    OpenWindow();
    ASSERT_TRUE(waitAsked(1, kLongWait));
    EXPECT_EQ(m_asked[0].text, "配置数据获取失败！");
    EXPECT_EQ(m_asked[0].ok, "我知道了");
    ASSERT_TRUE(pump([&] { return !windowOpen(); }));
}

// The configuration job only reports success for a JSON object, so the
// window's own check sees text that is not JSON only when the stored
// configuration changes under it: it says so and closes.
TEST_F(MainWndFlow, StoredConfigurationThatIsNotJsonCloses) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(m_asked.empty());
    const std::string saved = g_configText;
    g_configText = "this is not json";
    m_window->OnGetConfigResult(0, 0);
    g_configText = saved;
    ASSERT_EQ(m_asked.size(), 1u);
    EXPECT_EQ(m_asked[0].text, "数据错误！");
    EXPECT_EQ(m_asked[0].ok, "确定");
    ASSERT_TRUE(pump([&] { return !windowOpen(); }));
}

TEST_F(MainWndFlow, VersionCheckFailureCloses) {
    devserver::Fault down;
    down.status = 503;
    m_server.SetFault("/Speed/Config/checkVersion", down);
    OpenWindow();
    ASSERT_TRUE(waitAsked(1, kLongWait));
    EXPECT_EQ(m_asked[0].text, "检查更新失败，请下载最新版本！");
    EXPECT_EQ(m_asked[0].ok, "我知道了");
    ASSERT_TRUE(pump([&] { return !windowOpen(); }));
}

// The pre-flight checks stop the start before the window's own checks: a
// running antivirus product asks first ("我知道了" stops, "仍然继续" goes
// on), and a prefix without an accelerator prompts for the Harrow product.
TEST_F(MainWndFlow, PreflightChecksComeFirst) {
    OpenWindow();
    ASSERT_TRUE(waitIdle());
    fs::copy_file("/bin/sleep", m_dir / "360Tray.exe");
    ChildProcess antivirus((m_dir / "360Tray.exe").string(), {"360Tray.exe", "infinity"});
    ASSERT_TRUE(antivirus.started());
    ASSERT_TRUE(testsupport::waitUntil([] { return !FindAntivirus().empty(); }));
    m_answers = {kMsgBoxCancelPressed};
    click(L"startBtn");
    ASSERT_TRUE(waitAsked(1));
    EXPECT_EQ(m_asked[0].text, "请先关闭360安全卫士，否则可能下载失败！");
    EXPECT_EQ(m_asked[0].ok, "仍然继续");
    EXPECT_EQ(m_asked[0].cancel, "我知道了");
    EXPECT_EQ(m_asked.size(), 1u); // stopped there
    m_answers = {kMsgBoxOkPressed};
    click(L"startBtn");
    ASSERT_TRUE(waitAsked(3));
    EXPECT_EQ(m_asked[2].text, "请选择要下载的游戏版本！"); // the window's own checks follow

    // A prefix with nothing installed: the Harrow prompt, and no start.
    ScratchFolder empty;
    ScopedEnv prefix("WINEPREFIX", empty.string());
    m_answers = {kMsgBoxOkPressed, kMsgBoxOkPressed};
    select("birch");
    click(L"startBtn");
    ASSERT_TRUE(waitAsked(5));
    EXPECT_EQ(m_asked[4].text, "请先登录Harrow加速器！");
    EXPECT_EQ(m_asked[4].ok, "好的");
    EXPECT_EQ(m_asked[4].cancel, "下载Harrow");
    EXPECT_EQ(text(L"startBtn"), "开始下载");
    EXPECT_TRUE(m_server.RequestsTo("/files/birch/filelist.json").empty());
}

} // namespace
} // namespace apptest
