// The pre-flight checks against real Windows programs: a Wine prefix made by
// wineboot, registry values written with Wine's reg, test programs built with
// MinGW and signed with osslsigncode, running under the Wine loader. Every
// path of the checks in turn, with message boxes answered by the test and
// download pages opened through the real xdg-open.
#include "app/MsgBox.h"
#include "app/Preflight.h"
#include "platform/system/Process.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "tests/TestSupport.h"
#include "tests/support/SigningFixture.h"
#include "tests/support/WineRuntime.h"
#include "util/SystemInfo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using testsupport::ScratchFolder;

bool waitFor(const std::function<bool()>& condition) {
    // A bound for a broken run, not a timing assumption: Wine starts slowly
    // on a loaded machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// Sets environment variables for the lifetime of the object.
class ScopedEnv {
public:
    void set(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// Answers message boxes from a script and remembers what was asked.
struct ScriptedUser {
    explicit ScriptedUser(std::initializer_list<int> script = {}) : answers(script) {}
    std::deque<int> answers;
    std::vector<MsgBoxRequest> asked;
    ScopedMsgBoxPresenter presenter{[this](const MsgBoxRequest& r) {
        asked.push_back(r);
        if (answers.empty()) return kMsgBoxClosed;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }};
};

class PreflightUnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        const auto& base = testsupport::wineBase(QUELLAN_BINARY_DIR);
        if (!base.error.empty()) GTEST_SKIP() << base.error;
        m_prefix = std::make_unique<testsupport::WineTestPrefix>(base);
        // xdg-open hands web addresses to $BROWSER when no desktop is known:
        // a script that writes down each address it is given.
        m_browserLog = m_scratch / "opened.txt";
        const fs::path browser = m_scratch / "browser";
        testsupport::writeBytes(browser, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + m_browserLog.string() + "'\n");
        fs::permissions(browser, fs::perms::owner_all);
        m_env.set("BROWSER", browser.string());
        m_env.set("XDG_CURRENT_DESKTOP", "");
        m_env.set("DISPLAY", "");
        m_env.set("XDG_CONFIG_HOME", (m_scratch / "config").string());
        m_env.set("XDG_DATA_HOME", (m_scratch / "data").string());
        m_env.set("XDG_DATA_DIRS", (m_scratch / "data").string());
    }

    // A copy of the test program signed by a certificate with this subject
    // and serial, at drive_c/<relative>.
    fs::path installSigned(const fs::path& relative, const std::string& subject, const std::string& serial) {
        const fs::path program = m_prefix->installProgram(relative);
        std::string error;
        const bool ok = testsupport::detail::sh(
            m_scratch.path(),
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 -utf8 "
            "-keyout k.pem -out c.pem -subj '" +
                subject + "' -set_serial " + serial + " && osslsigncode sign -certs c.pem -key k.pem -in '" +
                program.string() + "' -out signed.exe && mv signed.exe '" + program.string() + "'",
            error);
        EXPECT_TRUE(ok) << error;
        return program;
    }

    // Waits until the process list shows pid under name with that path.
    bool listed(pid_t pid, const std::wstring& name, const fs::path& path) {
        return m_prefix->waitForProgram(pid) && waitFor([&] {
                   const auto processes = platform::listProcesses();
                   if (!processes) return false;
                   for (const auto& p : *processes)
                       if (p.pid == pid) return p.exeName == name && p.imagePath == platform::fromUtf8(path.string());
                   return false;
               });
    }

    std::vector<std::string> openedPages() {
        std::vector<std::string> lines;
        std::istringstream text(testsupport::readBytes(m_browserLog));
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        return lines;
    }

    ScratchFolder m_scratch;
    ScopedEnv m_env;
    fs::path m_browserLog;
    std::unique_ptr<testsupport::WineTestPrefix> m_prefix;
};

const std::string kTrustedSubject = "/O=Orsveld Org/CN=Orsveld网络科技有限公司";
const std::string kFirstSerial = "0x7a31c9e04b82d6f15e0a93c47d28b6e1";
const std::string kSecondSerial = "0x5b9e02d7c4a18f63e0b71c2d";

TEST_F(PreflightUnderWine, EveryPathOfTheChecksInTurn) {
    const AcceleratorProduct& harrow = kAcceleratorProducts[0];
    const AcceleratorProduct& mossel = kAcceleratorProducts[1];
    const std::string harrowPage = platform::toUtf8(harrow.downloadPage);
    const std::wstring prompt(harrow.promptText);

    // 1. Nothing installed: the Harrow prompt; its download button opens the
    //    page, "好的" does not.
    {
        EXPECT_FALSE(IsAcceleratorInstalled(harrow));
        ScriptedUser user{{kMsgBoxCancelPressed, kMsgBoxOkPressed}};
        EXPECT_FALSE(RequireAccelerator(nullptr));
        EXPECT_FALSE(RequireAccelerator(nullptr));
        ASSERT_EQ(user.asked.size(), 2u);
        EXPECT_EQ(user.asked[0].text, prompt);
        EXPECT_EQ(user.asked[0].kind, kMsgBoxOkCancel);
        EXPECT_EQ(user.asked[0].okCaption, L"好的");
        EXPECT_EQ(user.asked[0].cancelCaption, L"下载Harrow");
        EXPECT_TRUE(waitFor([&] { return openedPages().size() == 1; }));
    }

    // 2. Harrow installed (uninstall entry written by reg) but not running,
    //    while Mossel (no uninstall entry) runs with a good signature: Mossel
    //    counts as installed, yet Harrow comes first and is refused.
    ASSERT_TRUE(m_prefix->reg({"add", "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harrow加速器",
                               "/v", "UninstallString", "/t", "REG_SZ", "/d", "C:\\harrow\\uninst.exe", "/f"}))
        << m_prefix->log();
    m_prefix->stopAll();
    const fs::path mosselExe = installSigned("Mossel/mosseljiasu.exe", kTrustedSubject, kFirstSerial);
    const pid_t mosselPid = m_prefix->start({"C:\\Mossel\\mosseljiasu.exe"});
    ASSERT_TRUE(listed(mosselPid, L"mosseljiasu.exe", mosselExe)) << m_prefix->log();
    EXPECT_TRUE(IsAcceleratorInstalled(harrow));
    EXPECT_TRUE(IsAcceleratorInstalled(mossel));
    EXPECT_EQ(FindAcceleratorProcess(harrow), L"");
    {
        ScriptedUser user{{kMsgBoxOkPressed}};
        EXPECT_FALSE(RequireAccelerator(nullptr));
        ASSERT_EQ(user.asked.size(), 1u);
        EXPECT_EQ(user.asked[0].text, prompt);
    }

    // 3. Running, started by its Windows path, but signed with a wrong serial.
    const fs::path harrowExe =
        installSigned("harrow/harrowjiasu.exe", kTrustedSubject, "0x7a31c9e04b82d6f15e0a93c47d28b6e2");
    pid_t harrowPid = m_prefix->start({"C:\\harrow\\harrowjiasu.exe"});
    ASSERT_TRUE(listed(harrowPid, L"harrowjiasu.exe", harrowExe)) << m_prefix->log();
    EXPECT_EQ(FindAcceleratorProcess(harrow), platform::fromUtf8(harrowExe.string()));
    EXPECT_FALSE(IsTrustedSigner(FindAcceleratorProcess(harrow)));
    {
        ScriptedUser user{{kMsgBoxClosed}};
        EXPECT_FALSE(RequireAccelerator(nullptr));
        ASSERT_EQ(user.asked.size(), 1u);
        EXPECT_EQ(user.asked[0].text, prompt);
    }

    // 4. Signed by the maker (second serial), started from its folder by
    //    name, but nobody logged in; then a login value with empty text.
    m_prefix->stop(harrowPid);
    installSigned("harrow/harrowjiasu.exe", kTrustedSubject, kSecondSerial);
    harrowPid = m_prefix->start({"harrowjiasu.exe"}, harrowExe.parent_path().string());
    ASSERT_TRUE(listed(harrowPid, L"harrowjiasu.exe", harrowExe)) << m_prefix->log();
    EXPECT_TRUE(IsTrustedSigner(FindAcceleratorProcess(harrow)));
    EXPECT_FALSE(IsAcceleratorLoggedIn(harrow));
    const std::wstring guid = GetMachineGuid();
    ASSERT_EQ(guid.size(), 36u) << "wineboot writes MachineGuid";
    const std::string loginValue = platform::toUtf8(LoginValueName(guid));
    ASSERT_TRUE(m_prefix->reg(
        {"add", "HKCU\\Software\\harrowjiasuqi\\appinfo", "/v", loginValue, "/t", "REG_SZ", "/d", "", "/f"}));
    m_prefix->stopAll();
    EXPECT_FALSE(IsAcceleratorLoggedIn(harrow));
    {
        ScriptedUser user{{kMsgBoxCancelPressed}};
        EXPECT_FALSE(RequireAccelerator(nullptr)); // not running any more, and not logged in
        ASSERT_EQ(user.asked.size(), 1u);
        EXPECT_EQ(user.asked[0].text, prompt);
    }
    EXPECT_TRUE(waitFor([&] { return openedPages().size() == 2; }));

    // 5. Logged in (the value other products' keys would hold too), and
    //    started by its Unix path: every check holds, no question is asked.
    ASSERT_TRUE(m_prefix->reg(
        {"add", "HKCU\\Software\\harrowjiasuqi\\appinfo", "/v", loginValue, "/t", "REG_SZ", "/d", "token-1", "/f"}));
    m_prefix->stopAll();
    EXPECT_TRUE(IsAcceleratorLoggedIn(harrow));
    EXPECT_FALSE(IsAcceleratorLoggedIn(mossel));
    harrowPid = m_prefix->start({harrowExe.string()}, "/");
    ASSERT_TRUE(listed(harrowPid, L"harrowjiasu.exe", harrowExe)) << m_prefix->log();
    {
        ScriptedUser user;
        EXPECT_TRUE(RequireAccelerator(nullptr));
        EXPECT_TRUE(ConfirmAntivirus(nullptr)); // no antivirus runs
        EXPECT_TRUE(user.asked.empty());
    }

    // 6. An antivirus product runs (its name in another letter case): the
    //    warning; "仍然继续" goes on, "我知道了" and closing the box stop.
    const fs::path tray = m_prefix->installProgram("360/360tray.EXE");
    const pid_t trayPid = m_prefix->start({"C:\\360\\360tray.EXE"});
    ASSERT_TRUE(listed(trayPid, L"360tray.EXE", tray)) << m_prefix->log();
    EXPECT_EQ(FindAntivirus(), L"请先关闭360安全卫士，否则可能下载失败！");
    {
        ScriptedUser user{{kMsgBoxOkPressed, kMsgBoxCancelPressed, kMsgBoxClosed}};
        EXPECT_TRUE(ConfirmAntivirus(nullptr));
        EXPECT_FALSE(ConfirmAntivirus(nullptr));
        EXPECT_FALSE(ConfirmAntivirus(nullptr));
        ASSERT_EQ(user.asked.size(), 3u);
        EXPECT_EQ(user.asked[0].text, L"请先关闭360安全卫士，否则可能下载失败！");
        EXPECT_EQ(user.asked[0].kind, kMsgBoxOkCancel);
        EXPECT_EQ(user.asked[0].okCaption, L"仍然继续");
        EXPECT_EQ(user.asked[0].cancelCaption, L"我知道了");
    }

    m_prefix->stopAll();
    const std::vector<std::string> expectedPages{harrowPage, harrowPage};
    EXPECT_EQ(openedPages(), expectedPages);
}

} // namespace
