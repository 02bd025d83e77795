// The installer's window on the virtual display against a local service:
// a private home, temporary folder and Wine prefix (with a running, signed,
// logged-in accelerator stand-in), game content for every edition, and the
// main window itself. Message boxes are answered by a scripted user who
// records every question.
#pragma once

#include "app/Editions.h"
#include "app/MainWnd.h"
#include "app/MsgBox.h"
#include "app/Preflight.h"
#include "engine/DownloadWorker.h"
#include "engine/ServiceConfig.h"
#include "app/RunModes.h"
#include "platform/system/Resources.h"
#include "platform/system/Text.h"
#include "platform/window/VirtualDisplay.h"
#include "platform/window/Window.h"
#include "tests/support/Pump.h"
#include "tests/support/ScratchFolder.h"
#include "tools/devserver/DevServer.h"
#include "tools/devserver/SampleContent.h"
#include "ui/core/ControlUI.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace apptest {

namespace fs = std::filesystem;
using testsupport::ScratchFolder;

inline constexpr std::chrono::milliseconds kLongWait{120000};

inline std::string utf8(std::wstring_view text) { return platform::toUtf8(std::wstring(text)); }

// The skin archive embedded in the test executable, as the program uses it.
inline void UseInstallerSkin() {
    const auto skin = platform::findResource(kSkinResourceType, kSkinResourceId);
    ASSERT_FALSE(skin.empty()) << "no skin archive in the test executable";
    CFormManagerUI::setSkinArchive(skin.data(), skin.size(), kSkinPassword);
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// The prepared demo prefix (scripts/make-demo-prefix.sh without Wine), made
// once per build tree under a lock and shared read-only; each test runs its
// own accelerator stand-in in it.
inline fs::path DemoPrefix() {
    const fs::path dir = fs::path(QUELLAN_BINARY_DIR) / "tests/app";
    fs::create_directories(dir);
    const fs::path prefix = dir / "demo-prefix";
    const int lock = ::open((dir / "demo-prefix.lock").c_str(), O_CREAT | O_RDWR, 0600);
    if (lock >= 0) ::flock(lock, LOCK_EX);
    if (!fs::exists(prefix / "ready")) {
        fs::remove_all(prefix);
        const std::string script = std::string(QUELLAN_SOURCE_DIR) + "/scripts/make-demo-prefix.sh";
        const std::string make =
            "QUELLAN_DEMO_NO_WINE=1 bash '" + script + "' '" + prefix.string() + "' >/dev/null 2>&1";
        const std::string stop = "bash '" + script + "' --stop '" + prefix.string() + "' >/dev/null 2>&1";
        if (std::system(make.c_str()) == 0 && std::system(stop.c_str()) == 0)
            testsupport::writeBytes(prefix / "ready", "");
    }
    if (lock >= 0) ::close(lock);
    return prefix;
}

// A child process, ended (and reaped) with the object.
class ChildProcess {
public:
    // argv[0] is the name the process shows; program is what runs.
    ChildProcess(const std::string& program, std::vector<std::string> argv, std::vector<std::string> extraEnv = {}) {
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        // extraEnv replaces variables of the same name.
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('=') + 1);
            bool replaced = false;
            for (const std::string& x : extraEnv) replaced |= x.rfind(name, 0) == 0;
            if (!replaced) env.push_back(entry);
        }
        for (std::string& e : extraEnv) env.push_back(e);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, args.data(), envp.data()) != 0) m_pid = 0;
    }
    ~ChildProcess() {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }
    // The exit status once the process has ended, checked without waiting.
    std::optional<int> exitStatus() {
        if (m_pid <= 0) return std::nullopt;
        if (!m_exited) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return std::nullopt;
            m_exited = true;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return m_status;
    }

private:
    pid_t m_pid = 0;
    bool m_exited = false;
    int m_status = -1;
};

// Writes the game content of every edition below dir: the launcher, nested
// folders, a Chinese name with a blank, an empty file and one larger file,
// with each edition's file list.
inline void WriteGameContent(const fs::path& dir) {
    for (const Edition& e : kEditions) {
        const fs::path root = dir / std::string(e.code);
        testsupport::writeBytes(root / utf8(e.launcher), "launcher of " + std::string(e.code));
        testsupport::writeBytes(root / "Data/common.dat", std::string(70000, 'c'));
        testsupport::writeBytes(root / "Data/地图 一.bin", std::string(3000, 'm') + std::string(e.code));
        testsupport::writeBytes(root / "Interface/AddOns/empty.txt", "");
        std::string big(600 * 1024, '\0');
        for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7 + e.number) % 251);
        testsupport::writeBytes(root / "Data/big.mpq", big);
        devserver::ContentSummary summary;
        std::string error;
        EXPECT_TRUE(devserver::WriteFileList(root.string(), (root / "filelist.json").string(), false, summary, error))
            << error;
    }
}

// Every file of the edition's content (but the list) is in place under installDir.
inline ::testing::AssertionResult InstalledCompletely(const fs::path& content, const fs::path& installDir) {
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(content)) {
        if (!entry.is_regular_file() || entry.path().filename() == "filelist.json") continue;
        const fs::path installed = installDir / fs::relative(entry.path(), content);
        if (testsupport::readBytes(installed) != testsupport::readBytes(entry.path()) || !fs::exists(installed))
            return ::testing::AssertionFailure() << installed << " missing or different";
        ++count;
    }
    return ::testing::AssertionSuccess() << count << " files";
}

// One message box as the scripted user saw it.
struct Asked {
    std::string text, ok, cancel;
    int kind = 0;
};

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::vdisplay::open());
        platform::vdisplay::reset();
        m_home = std::make_unique<ScopedEnv>("HOME", (m_dir / "home").string());
        m_tmp = std::make_unique<ScopedEnv>("TMPDIR", (m_dir / "tmp").string());
        m_xdg = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", (m_dir / "home/.config").string());
        unsetenv("XDG_DESKTOP_DIR");
        m_dataHome = std::make_unique<ScopedEnv>("XDG_DATA_HOME", (m_dir / "home/.local/share").string());
        fs::create_directories(m_dir / "home/Desktop");
        fs::create_directories(m_dir / "tmp");
        const fs::path prefix = DemoPrefix();
        ASSERT_TRUE(fs::exists(prefix / "ready")) << "the demo prefix could not be made";
        m_prefix = std::make_unique<ScopedEnv>("WINEPREFIX", prefix.string());
        m_accelerator = std::make_unique<ChildProcess>(
            (prefix / "stand-in/wine64").string(),
            std::vector<std::string>{"C:\\Program Files\\Harrow\\harrowjiasu.exe", "infinity"},
            std::vector<std::string>{"WINEPREFIX=" + prefix.string()});
        ASSERT_TRUE(m_accelerator->started());
        // Listed (under its Windows name) once the stand-in has started.
        ASSERT_TRUE(testsupport::waitUntil([] {
            const std::wstring path = FindAcceleratorProcess(kAcceleratorProducts[0]);
            return !path.empty() && IsTrustedSigner(path);
        }));

        WriteGameContent(m_dir / "content");
        devserver::Options options;
        options.contentDir = (m_dir / "content").string();
        std::string error;
        ASSERT_TRUE(m_server.Start(options, &error)) << error;
        m_savedBase = g_serviceBase;
        m_savedFallback = g_serviceFallback;
        g_serviceBase = g_serviceFallback = m_server.BaseUrl();
        g_serviceRetryPauseMs = 0;
        g_downloadEndWaitMs = 0;
        g_downloadRound = 0;
        g_lastDetailTick = 0;
        g_configText.clear();
        UseInstallerSkin();

        m_user = std::make_unique<ScopedMsgBoxPresenter>([this](const MsgBoxRequest& r) {
            m_asked.push_back({utf8(r.text), utf8(r.okCaption), utf8(r.cancelCaption), r.kind});
            int answer = kMsgBoxOkPressed;
            if (!m_answers.empty()) {
                answer = m_answers.front();
                m_answers.pop_front();
            }
            return answer;
        });
    }

    void TearDown() override {
        m_window.reset();
        platform::vdisplay::reset();
        m_server.Stop();
        g_serviceBase = m_savedBase;
        g_serviceFallback = m_savedFallback;
    }

    // Opens the main window and waits until it has initialised itself.
    void OpenWindow() {
        m_window = std::make_unique<CMainWnd>();
        ASSERT_TRUE(m_window->Create(title()));
        m_window->centreOnOwner();
        ASSERT_TRUE(pump([&] { return control(L"webbtn") != nullptr; }));
    }

    // A window title no other test process uses.
    static std::wstring title() { return L"Quellan-test-" + std::to_wstring(::getpid()); }

    bool pump(const std::function<bool()>& done, std::chrono::milliseconds timeout = testsupport::kPatience) {
        return testsupport::pumpUntil(done, timeout);
    }
    bool windowOpen() const { return m_window && platform::isWindow(m_window->windowHandle()); }
    CControlUI* control(std::wstring_view name) const { return m_window ? m_window->control(name) : nullptr; }
    std::string text(std::wstring_view name) const {
        CControlUI* c = control(name);
        return c ? utf8(c->textValue().view()) : std::string("<no control>");
    }
    void click(std::wstring_view name) {
        CControlUI* c = control(name);
        ASSERT_NE(c, nullptr) << utf8(name);
        const platform::Rect& r = c->bounds();
        platform::vdisplay::click(
            platform::clientToScreen(m_window->windowHandle(), {(r.left + r.right) / 2, (r.top + r.bottom) / 2}));
        testsupport::drainMessages();
    }
    // Waits until the scripted user has been asked `count` questions in all.
    bool waitAsked(std::size_t count, std::chrono::milliseconds timeout = kLongWait) {
        return pump([&] { return m_asked.size() >= count; }, timeout);
    }
    std::vector<std::string> askedTexts() const {
        std::vector<std::string> out;
        for (const Asked& a : m_asked) out.push_back(a.text);
        return out;
    }
    fs::path installDir(const Edition& e) const { return m_dir / "home/Games" / utf8(e.folderName); }
    fs::path desktopEntry() const { return m_dir / "home/Desktop/Tolvar Realms.desktop"; }
    fs::path menuEntry() const { return m_dir / "home/.local/share/applications/tolvar-realms.desktop"; }

    ScratchFolder m_dir;
    devserver::DevServer m_server;
    std::unique_ptr<CMainWnd> m_window;
    std::vector<Asked> m_asked;
    std::deque<int> m_answers; // answers of the next questions; OK when empty

private:
    std::unique_ptr<ScopedEnv> m_home, m_tmp, m_xdg, m_dataHome, m_prefix;
    std::unique_ptr<ChildProcess> m_accelerator;
    std::unique_ptr<ScopedMsgBoxPresenter> m_user;
    std::string m_savedBase, m_savedFallback;
};

} // namespace apptest
