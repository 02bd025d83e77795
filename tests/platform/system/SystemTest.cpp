// System services: clock, paths, disk space, debugger output, code pages,
// process list (including Wine naming), termination, detached starts and
// named semaphores.
#include "platform/system/NamedSemaphore.h"
#include "platform/system/Process.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "tests/support/Pump.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testsupport::ScratchFolder;
using testsupport::waitUntil;

// Sets an environment variable for the scope of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Starts program with argv (argv[0] given explicitly) and extra environment;
// returns the child's pid.
pid_t spawn(const std::string& program, std::vector<std::string> args, const std::vector<std::string>& env = {},
            const std::string& cwd = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 1);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

std::optional<platform::ProcessEntry> findPid(int pid) {
    auto list = platform::listProcesses();
    if (!list) return std::nullopt;
    auto it = std::find_if(list->begin(), list->end(), [&](const auto& p) { return p.pid == pid; });
    if (it == list->end()) return std::nullopt;
    return *it;
}

TEST(System, TickCountIsMonotonicAndSleepWaits) {
    const auto t0 = platform::tickCount64();
    const auto s0 = platform::tickCount();
    platform::sleepMs(50);
    const auto t1 = platform::tickCount64();
    EXPECT_GE(t1 - t0, 50u);
    EXPECT_GE(static_cast<std::uint32_t>(platform::tickCount() - s0), 50u);
}

TEST(System, TempFolderIsAPrivateFolderInTmpdir) {
    ScratchFolder dir;
    const std::string mine = "quellan-" + std::to_string(getuid());
    for (const std::string& tmpdir : {dir.path().string(), dir.path().string() + "/"}) {
        ScopedEnv env("TMPDIR", tmpdir.c_str());
        EXPECT_EQ(platform::tempFolder(), platform::fromUtf8((dir / mine).string() + "/"));
    }
    struct stat st {};
    ASSERT_EQ(lstat((dir / mine).c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, getuid());
    {
        ScopedEnv env("TMPDIR", "");
        EXPECT_EQ(platform::tempFolder(), platform::fromUtf8("/tmp/" + mine + "/"));
    }
}

// A quellan-<uid> that is not a folder only we can enter is never used nor
// written through: the program gets a fresh private folder beside it.
TEST(System, TempFolderNeverUsesAPreparedFolder) {
    enum class Prepared { SymlinkToFolder, OpenToAll, RegularFile, OtherOwner };
    for (Prepared kind :
         {Prepared::SymlinkToFolder, Prepared::OpenToAll, Prepared::RegularFile, Prepared::OtherOwner}) {
        SCOPED_TRACE(static_cast<int>(kind));
        ScratchFolder dir;
        ScratchFolder target; // where a link would lead
        const auto prepared = dir / ("quellan-" + std::to_string(getuid()));
        switch (kind) {
        case Prepared::SymlinkToFolder:
            std::filesystem::create_directory_symlink(target.path(), prepared);
            break;
        case Prepared::OpenToAll:
            std::filesystem::create_directory(prepared);
            chmod(prepared.c_str(), 0777);
            break;
        case Prepared::RegularFile:
            testsupport::writeBytes(prepared, "not a folder");
            break;
        case Prepared::OtherOwner:
            std::filesystem::create_directory(prepared);
            chmod(prepared.c_str(), 0700);
            // Giving a folder away needs root; the check itself is shown
            // with a stand-in owner below either way.
            if (geteuid() != 0 || chown(prepared.c_str(), 4242, 4242) != 0) continue;
            break;
        }
        ScopedEnv env("TMPDIR", dir.path().c_str());
        const std::wstring folder = platform::tempFolder();
        ASSERT_FALSE(folder.empty());
        const std::filesystem::path used = platform::toUtf8(folder);
        EXPECT_NE(used.parent_path(), prepared);
        EXPECT_EQ(used.parent_path().parent_path(), dir.path());
        EXPECT_FALSE(platform::privateFolderProblem(folder, getuid()).has_value());
        // The same folder for the rest of the process, and usable.
        EXPECT_EQ(platform::tempFolder(), folder);
        testsupport::writeBytes(used / "brenniklog.txt", "x");
        EXPECT_EQ(testsupport::readBytes(used / "brenniklog.txt"), "x");
        // Nothing went into or through what was prepared.
        EXPECT_TRUE(std::filesystem::is_empty(target.path()));
        if (kind == Prepared::OpenToAll || kind == Prepared::OtherOwner) {
            EXPECT_TRUE(std::filesystem::is_empty(prepared));
        }
        if (kind == Prepared::RegularFile) {
            EXPECT_EQ(testsupport::readBytes(prepared), "not a folder");
        }
    }
}

// A folder made for this process alone goes with it; one something was
// started from stays.
TEST(System, FallbackTempFolderIsRemovedAtTheEnd) {
    ScratchFolder dir;
    testsupport::writeBytes(dir / ("quellan-" + std::to_string(getuid())), "not a folder");
    ScopedEnv env("TMPDIR", dir.path().c_str());
    const std::filesystem::path used = platform::toUtf8(platform::tempFolder());
    testsupport::writeBytes(used / "filelist.json.1", "[]");
    platform::removeFallbackTempFolders();
    EXPECT_FALSE(std::filesystem::exists(used));
    EXPECT_EQ(testsupport::readBytes(dir / ("quellan-" + std::to_string(getuid()))), "not a folder");

    const std::filesystem::path again = platform::toUtf8(platform::tempFolder());
    ASSERT_FALSE(again.empty());
    platform::keepFallbackTempFolders();
    platform::removeFallbackTempFolders();
    EXPECT_TRUE(std::filesystem::is_directory(again));
}

TEST(System, PrivateFolderCheckNamesEachProblem) {
    ScratchFolder dir;
    std::filesystem::create_directory(dir / "mine");
    chmod((dir / "mine").c_str(), 0700);
    std::filesystem::create_directory(dir / "group");
    chmod((dir / "group").c_str(), 0750);
    std::filesystem::create_directory_symlink(dir / "mine", dir / "link");
    testsupport::writeBytes(dir / "file", "");
    const auto problem = [&](const char* name, unsigned uid) {
        return platform::privateFolderProblem(platform::fromUtf8((dir / name).string()), uid).value_or("");
    };
    EXPECT_EQ(problem("mine", getuid()), "");
    EXPECT_EQ(problem("mine", getuid() + 1), "belongs to user " + std::to_string(getuid())); // stand-in owner
    EXPECT_EQ(problem("group", getuid()), "is open to other users");
    EXPECT_EQ(problem("link", getuid()), "is a symbolic link");
    EXPECT_EQ(problem("file", getuid()), "is not a folder");
    EXPECT_EQ(problem("missing", getuid()).rfind("cannot be examined", 0), 0u);
}

TEST(System, ExecutablePathIsThisTestProgram) {
    const std::wstring exe = platform::executablePath();
    EXPECT_EQ(exe.substr(exe.find_last_of(L'/') + 1), L"quellan_tests_platform");
    EXPECT_EQ(exe.front(), L'/');
}

TEST(System, FreeDiskSpaceOfAPathNotYetCreatedAsksItsAncestor) {
    ScratchFolder dir;
    const auto existing = platform::freeDiskSpace(platform::fromUtf8(dir.path().string()));
    ASSERT_TRUE(existing.has_value());
    EXPECT_GT(*existing, 0u);
    const auto planned = platform::freeDiskSpace(platform::fromUtf8((dir / "a/b/c/").string()));
    ASSERT_TRUE(planned.has_value());
    // Same file system; allow for other writers in between.
    EXPECT_NEAR(static_cast<double>(*planned), static_cast<double>(*existing), 64.0 * 1024 * 1024);
    EXPECT_TRUE(platform::freeDiskSpace(L"relative/not/there").has_value());
}

TEST(System, DebugOutputGoesToStderrOnlyWhenEnabled) {
    ScratchFolder dir;
    const auto capture = dir / "stderr.txt";
    const int saved = dup(2);
    const int fd = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    {
        ScopedEnv off("QUELLAN_DEBUG", nullptr);
        platform::debugOutput(L"hidden\n");
    }
    {
        ScopedEnv on("QUELLAN_DEBUG", "1");
        platform::debugOutput(L"文件打开失败\n");
    }
    dup2(saved, 2);
    close(saved);
    close(fd);
    EXPECT_EQ(testsupport::readBytes(capture), "文件打开失败\n");
}

TEST(System, CodePageFollowsLocaleCharset) {
    {
        ScopedEnv env("LC_ALL", "C.UTF-8");
        EXPECT_EQ(platform::codePageName(), "UTF-8");
        EXPECT_EQ(platform::toCodePage(L"中文"), "中文");
    }
    {
        ScopedEnv env("LC_ALL", "C");
        EXPECT_EQ(platform::codePageName(), "UTF-8");
    }
}

TEST(System, MultiByteCodePageThroughIconv) {
    // GBK is what a Chinese Windows system uses as its byte code page.
    const std::string gbk = "\xD6\xD0\xCE\xC4"; // 中文
    EXPECT_EQ(platform::fromCodePage(gbk, "GBK"), L"中文");
    EXPECT_EQ(platform::toCodePage(L"中文", "GBK"), gbk);
    // Invalid bytes become U+FFFD, unrepresentable characters "?".
    EXPECT_EQ(platform::fromCodePage("a\xFF"
                                     "b",
                                     "UTF-8"),
              L"a\uFFFDb");
    EXPECT_EQ(platform::fromCodePage("a\xD6", "GBK"), L"a\uFFFD"); // cut multi-byte sequence
    EXPECT_EQ(platform::toCodePage(L"a中b", "ISO-8859-1"), "a?b");
    EXPECT_EQ(platform::fromCodePage("x", "NO-SUCH-CHARSET"), L"");
    // Longer than the converter's internal chunk.
    const std::wstring longText(5000, L'中');
    EXPECT_EQ(platform::fromCodePage(platform::toCodePage(longText, "GBK"), "GBK"), longText);
}

// --- Processes ---

TEST(Processes, ListShowsOurselvesAndAChildByExecutableName) {
    ScratchFolder dir;
    const auto prog = dir / "quellan-sleeper";
    std::filesystem::copy_file("/bin/sleep", prog);
    const pid_t child = spawn(prog.string(), {"renamed-argv0", "30"});
    ASSERT_GT(child, 0);

    const auto self = findPid(getpid());
    ASSERT_TRUE(self);
    EXPECT_EQ(self->exeName, L"quellan_tests_platform");
    EXPECT_EQ(self->imagePath, platform::executablePath());

    ASSERT_TRUE(waitUntil([&] {
        auto e = findPid(child);
        return e && e->exeName == L"quellan-sleeper";
    }));
    EXPECT_EQ(findPid(child)->imagePath, platform::fromUtf8(prog.string()));
    EXPECT_EQ(platform::processImagePath(child), platform::fromUtf8(prog.string()));

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

TEST(Processes, OpenTerminateAndWait) {
    const pid_t child = spawn("/bin/sleep", {"sleep", "30"});
    ASSERT_GT(child, 0);
    auto process = platform::Process::open(child);
    ASSERT_TRUE(process);
    EXPECT_FALSE(process->waitForExit(50));
    EXPECT_TRUE(process->terminate());
    EXPECT_TRUE(process->waitForExit(10000));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    // Gone now: nothing to open or end.
    EXPECT_FALSE(platform::Process::open(child));
    EXPECT_FALSE(platform::terminateProcess(child));
    EXPECT_FALSE(platform::Process::open(0));
}

TEST(Processes, ProcessOfAnotherUserCannotBeOpened) {
    // From an unprivileged child (root drops to "nobody" first), our own
    // process belongs to another user, unless we are that user already.
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
        _exit(platform::Process::open(geteuid() == 65534 ? parent : 1) ? 1 : 0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A fake Wine prefix whose drive C is <prefix>/drive_c.
struct FakePrefix {
    ScratchFolder dir;
    std::filesystem::path prefix = dir / "prefix";
    FakePrefix() {
        std::filesystem::create_directories(prefix / "dosdevices");
        std::filesystem::create_directories(prefix / "drive_c/Program Files/Orsveld");
        std::filesystem::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
    }
};

TEST(Processes, WineCommandLineNamesTheWindowsExecutable) {
    FakePrefix wine;
    const std::string root = std::filesystem::canonical(wine.prefix / "drive_c").string();
    const std::string cwd = root + "/Program Files/Orsveld";
    testsupport::writeBytes(wine.prefix / "drive_c/Program Files/Orsveld/Booster.exe", "MZ");
    std::filesystem::create_directories(wine.prefix / "drive_c/windows/system32");
    testsupport::writeBytes(wine.prefix / "drive_c/windows/system32/start.exe", "MZ");
    struct Case {
        std::vector<std::string> args;
        std::string cwd;
        std::wstring name;
        std::wstring path;
    };
    const Case cases[] = {
        {{"C:\\Program Files\\Orsveld\\Booster.exe", "-min"},
         "/",
         L"Booster.exe",
         platform::fromUtf8(root + "/Program Files/Orsveld/Booster.exe")},
        // Older loaders keep their own path in front.
        {{"/usr/lib/wine/wine64", "c:\\windows\\explorer.exe"},
         "/",
         L"explorer.exe",
         platform::fromUtf8(root + "/windows/explorer.exe")},
        // A drive the prefix does not map keeps its Windows path.
        {{"Z:\\x\\y.exe"}, "/", L"y.exe", L"Z:\\x\\y.exe"},
        // Started from its folder by file name: resolved against that folder.
        {{"Booster.exe"}, cwd, L"Booster.exe", platform::fromUtf8(cwd + "/Booster.exe")},
        {{"./Booster.exe", "x"}, cwd, L"Booster.exe", platform::fromUtf8(cwd + "/Booster.exe")},
        {{"Orsveld\\Booster.exe"}, root + "/Program Files", L"Booster.exe", platform::fromUtf8(cwd + "/Booster.exe")},
        {{"../Orsveld/BOOSTER.EXE"}, cwd, L"BOOSTER.EXE", platform::fromUtf8(cwd + "/BOOSTER.EXE")},
        // Found on Wine's search path rather than in the working folder.
        {{"start.exe", "/exec", "ping.exe"},
         "/tmp",
         L"start.exe",
         platform::fromUtf8(root + "/windows/system32/start.exe")},
        // Unknown working folder: no path.
        {{"notepad.exe"}, "", L"notepad.exe", L""},
        // Started by its Unix path.
        {{"/opt/x/../tools/Tool.exe", "--flag"}, "/", L"Tool.exe", L"/opt/tools/Tool.exe"},
        // The whole command line in one argument.
        {{"C:\\windows\\system32\\explorer.EXE /desktop"},
         "/",
         L"explorer.EXE",
         platform::fromUtf8(root + "/windows/system32/explorer.EXE")},
    };
    for (const auto& c : cases) {
        const auto entry = platform::detail::describeWineProcess(c.args, wine.prefix.string(), c.cwd);
        ASSERT_TRUE(entry) << c.args[0];
        EXPECT_EQ(entry->exeName, c.name) << c.args[0];
        EXPECT_EQ(entry->imagePath, c.path) << c.args[0];
    }
    EXPECT_FALSE(platform::detail::describeWineProcess({"/usr/bin/wineserver"}, wine.prefix.string()));
    EXPECT_FALSE(platform::detail::describeWineProcess({"/usr/lib/wine/wine64", "--version"}, wine.prefix.string()));
    EXPECT_FALSE(platform::detail::describeWineProcess({}, wine.prefix.string()));
}

TEST(Processes, RunningWineLoaderIsListedUnderItsWindowsName) {
    // A stand-in loader: a program whose image is named like Wine's preloader
    // and whose command line is the Windows one, as the real loader leaves it.
    FakePrefix wine;
    const auto loader = wine.dir / "wine64-preloader";
    std::filesystem::copy_file("/bin/sleep", loader);
    const std::string windowsExe = "C:\\Program Files\\Orsveld\\Booster.exe";
    const pid_t child = spawn(loader.string(), {windowsExe, "30"}, {"WINEPREFIX=" + wine.prefix.string()});
    ASSERT_GT(child, 0);

    const std::wstring expectedPath = platform::fromUtf8(std::filesystem::canonical(wine.prefix / "drive_c").string() +
                                                         "/Program Files/Orsveld/Booster.exe");
    EXPECT_TRUE(waitUntil([&] {
        auto e = findPid(child);
        return e && e->exeName == L"Booster.exe" && e->imagePath == expectedPath;
    }));

    // Started by a relative name while it works from Wine's server folder
    // (named after the prefix's device and inode), as it does for a moment
    // while it starts: the path is unknown, never one inside that folder.
    struct stat st {};
    ASSERT_EQ(stat(wine.prefix.c_str(), &st), 0);
    char serverName[64];
    std::snprintf(serverName, sizeof serverName, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    const auto serverFolder = wine.dir / serverName;
    std::filesystem::create_directories(serverFolder);
    testsupport::writeBytes(serverFolder / "Booster.exe", "MZ");
    const pid_t starting =
        spawn(loader.string(), {"Booster.exe", "30"}, {"WINEPREFIX=" + wine.prefix.string()}, serverFolder.string());
    ASSERT_GT(starting, 0);
    EXPECT_TRUE(waitUntil([&] {
        auto e = findPid(starting);
        return e && e->exeName == L"Booster.exe";
    }));
    EXPECT_EQ(platform::processImagePath(starting), L"");
    for (pid_t p : {child, starting}) {
        kill(p, SIGKILL);
        waitpid(p, nullptr, 0);
    }
}

TEST(Processes, StartDetachedRunsOutsideOurProcessTree) {
    ScratchFolder dir;
    const auto out = dir / "ppid.txt";
    ASSERT_TRUE(
        platform::startDetached(L"/bin/sh", {L"-c", L"echo $PPID > '" + platform::fromUtf8(out.string()) + L"'"}));
    ASSERT_TRUE(waitUntil([&] { return testsupport::readBytes(out).find('\n') != std::string::npos; }));
    const int parent = std::stoi(testsupport::readBytes(out));
    EXPECT_NE(parent, getpid());

    EXPECT_FALSE(platform::startDetached(platform::fromUtf8((dir / "missing").string())));
    testsupport::writeBytes(dir / "plain.txt", "not a program");
    EXPECT_FALSE(platform::startDetached(platform::fromUtf8((dir / "plain.txt").string())));
}

TEST(Processes, ShellOpenStartsAnExecutableFile) {
    ScratchFolder dir;
    const auto script = dir / "launcher";
    const auto marker = dir / "started";
    testsupport::writeBytes(script, "#!/bin/sh\necho ok > '" + marker.string() + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    EXPECT_TRUE(platform::shellOpen(platform::fromUtf8(script.string())));
    EXPECT_TRUE(waitUntil([&] { return testsupport::readBytes(marker) == "ok\n"; }));
}

} // namespace
