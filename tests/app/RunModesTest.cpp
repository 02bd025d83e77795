// Run modes: command-line parsing, the atomic replace, and the installer
// executable end to end in normal and update mode with real processes.
#include "app/RunModes.h"

#include "platform/system/Process.h"
#include "platform/system/Text.h"
#include "tests/support/Immutable.h"
#include "tests/support/Pump.h"
#include "tests/support/ScratchFolder.h"
#include "util/FileHelpers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testsupport::ScratchFolder;
using testsupport::waitUntil;

const std::string kInstaller = QUELLAN_BINARY_DIR "/quellan";

std::wstring wide(const std::filesystem::path& p) { return platform::fromUtf8(p.string()); }

// Starts program with arguments (argv[0] is the program) and extra
// environment entries "NAME=value"; output goes to /dev/null.
pid_t spawn(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore = env;
    const pid_t pid = fork();
    if (pid == 0) {
        for (auto& e : envStore) putenv(e.data());
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Waits for a child; its exit code, or -1 when it was killed or took too long.
int waitExit(pid_t pid, int timeoutMs = 60000) {
    int status = 0;
    const bool done =
        waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::milliseconds(timeoutMs));
    if (!done) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True when the child ends by itself within timeoutMs (it is reaped).
bool endsWithin(pid_t pid, int timeoutMs) {
    return waitUntil([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, std::chrono::milliseconds(timeoutMs));
}

// The log file decoded from UTF-16LE; bom tells whether it started with FF FE.
std::wstring readLog(const std::filesystem::path& path, bool* bom) {
    const std::string bytes = testsupport::readBytes(path);
    *bom = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
    std::u16string units;
    for (size_t i = *bom ? 2 : 0; i + 1 < bytes.size(); i += 2)
        units +=
            static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return platform::fromUtf16(units);
}

// The version entry carries the line the log has always shown for it.
const std::wregex
    kVersionEntry(L"\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\]\\[\\.\\\\main\\.cpp 71\\]当前版本：20\r\n");

// The version entries of a log: normal mode writes one first thing, before
// the window goes on to talk to the service.
int versionEntries(const std::wstring& text) {
    int count = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find(L"\r\n", at);
        if (end == std::wstring::npos) break;
        count += std::regex_match(text.substr(at, end + 2 - at), kVersionEntry);
        at = end + 2;
    }
    return count;
}

// Normal mode keeps its window open until the player closes it: once the log
// shows the start, the test ends the program itself.
bool startedAndEnded(pid_t pid, const std::filesystem::path& log, int entries) {
    const bool started = waitUntil([&] {
        bool bom = false;
        return versionEntries(readLog(log, &bom)) >= entries;
    });
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return started;
}

// Where a program run with TMPDIR=tmp keeps its files: its private folder.
std::filesystem::path privateTemp(const std::filesystem::path& tmp) {
    return tmp / ("quellan-" + std::to_string(getuid()));
}

// --- Command line ---

TEST(CommandLine, ArgumentsAreJoinedWithSingleBlanks) {
    char prog[] = "quellan";
    char a[] = "update '/tmp/my games/oldprog'";
    char b[] = "x";
    char* one[] = {prog, a, nullptr};
    char* two[] = {prog, a, b, nullptr};
    char* none[] = {prog, nullptr};
    EXPECT_EQ(JoinArguments(2, one), L"update '/tmp/my games/oldprog'");
    EXPECT_EQ(JoinArguments(3, two), L"update '/tmp/my games/oldprog' x");
    EXPECT_EQ(JoinArguments(1, none), L"");
}

TEST(CommandLine, UpdateModeIsAnyCaseSensitiveOccurrence) {
    EXPECT_TRUE(IsUpdateCommandLine(L"update '/a/b'"));
    EXPECT_TRUE(IsUpdateCommandLine(L"--autoupdater"));
    EXPECT_TRUE(IsUpdateCommandLine(L"/home/p/update/folder"));
    EXPECT_FALSE(IsUpdateCommandLine(L"Update '/a/b'"));
    EXPECT_FALSE(IsUpdateCommandLine(L""));
}

TEST(CommandLine, OnlyTheExactUpdateFormNamesATarget) {
    struct Row {
        const wchar_t* line;
        const wchar_t* target; // null: none
    } rows[] = {
        {L"update '/tmp/x/oldprog'", L"/tmp/x/oldprog"},
        {L"update '/tmp/my games/o'brien/prog'", L"/tmp/my games/o'brien/prog"},
        {L"/home/p/update/notes.txt", nullptr}, // a folder name, no apostrophes
        {L"update", nullptr},
        {L"update '/tmp/x", nullptr},                // one apostrophe
        {L"update ''", nullptr},                     // empty path
        {L"update 'relative/prog'", nullptr},        // not absolute
        {L"update '/tmp/x/'", nullptr},              // a folder, no file
        {L"update '/tmp/x/prog' tail", nullptr},     // more after the path
        {L" update '/tmp/x/prog'", nullptr},         // more before it
        {L"--autoupdate '/tmp/x/prog'", nullptr},    // "update" inside a word
        {L"update '/tmp/x/prog''", L"/tmp/x/prog'"}, // the last apostrophe ends it
    };
    for (const Row& row : rows) {
        const auto target = UpdateTargetOf(row.line);
        if (row.target) {
            EXPECT_EQ(target, std::optional<std::wstring>(row.target)) << platform::toUtf8(row.line);
        } else {
            EXPECT_EQ(target, std::nullopt) << platform::toUtf8(row.line);
        }
    }
}

TEST(CommandLine, TargetIsCutBetweenFirstAndLastApostrophe) {
    EXPECT_EQ(ExtractUpdateTarget(L"update '/tmp/x/oldprog'"), L"/tmp/x/oldprog");
    EXPECT_EQ(ExtractUpdateTarget(L"update '/tmp/my games/o'brien/prog'"), L"/tmp/my games/o'brien/prog");
    EXPECT_EQ(ExtractUpdateTarget(L"update"), L"update");         // none: the whole line
    EXPECT_EQ(ExtractUpdateTarget(L"update '/tmp/x"), L"/tmp/x"); // one: what follows it
    EXPECT_EQ(ExtractUpdateTarget(L"update ''"), L"");
    EXPECT_EQ(ExtractUpdateTarget(L"update 'C:\\Tolvar\\q.exe' tail"), L"C:\\Tolvar\\q.exe");
}

// --- Atomic replace ---

TEST(ReplaceFileAtomically, ReplacesARunningProgramKeepingItsMode) {
    ScratchFolder dir;
    const auto target = dir / "running";
    std::filesystem::copy_file("/bin/sleep", target);
    chmod(target.c_str(), 0750);
    const pid_t runner = spawn(target.string(), {"60"}, {});
    ASSERT_TRUE(waitUntil([&] { return platform::processImagePath(runner) == wide(target); }));

    testsupport::writeBytes(dir / "new", "#!/bin/sh\nexit 0\n");
    ASSERT_TRUE(ReplaceFileAtomically(wide(dir / "new"), wide(target)));
    EXPECT_EQ(testsupport::readBytes(target), "#!/bin/sh\nexit 0\n");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    // The running program was not disturbed.
    EXPECT_EQ(waitpid(runner, nullptr, WNOHANG), 0);
    kill(runner, SIGKILL);
    waitpid(runner, nullptr, 0);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(ReplaceFileAtomically, NewTargetIsExecutableFailuresLeaveTargetAlone) {
    ScratchFolder dir;
    testsupport::writeBytes(dir / "src", "payload");
    ASSERT_TRUE(ReplaceFileAtomically(wide(dir / "src"), wide(dir / "fresh")));
    EXPECT_EQ(testsupport::readBytes(dir / "fresh"), "payload");
    EXPECT_EQ(access((dir / "fresh").c_str(), X_OK), 0);

    testsupport::writeBytes(dir / "keep", "old");
    EXPECT_FALSE(ReplaceFileAtomically(wide(dir / "missing"), wide(dir / "keep")));
    EXPECT_EQ(testsupport::readBytes(dir / "keep"), "old");
    EXPECT_FALSE(ReplaceFileAtomically(wide(dir / "src"), wide(dir / "no/folder/x")));
    EXPECT_FALSE(ReplaceFileAtomically(wide(dir / "src"), wide(dir.path()) + L"/"));
    // A folder in the way is not replaced.
    std::filesystem::create_directory(dir / "sub");
    testsupport::writeBytes(dir / "sub/inside", "x");
    EXPECT_FALSE(ReplaceFileAtomically(wide(dir / "src"), wide(dir / "sub")));
    EXPECT_TRUE(std::filesystem::exists(dir / "sub/inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4); // src fresh keep sub
}

// --- The installer executable ---

TEST(InstallerProgram, NormalModeStartsWithTheVersionEntry) {
    ScratchFolder tmp;
    const auto log = privateTemp(tmp.path()) / "brenniklog.txt";
    const pid_t pid = spawn(kInstaller, {}, {"TMPDIR=" + tmp.path().string(), "QUELLAN_DISPLAY=virtual"});
    ASSERT_TRUE(startedAndEnded(pid, log, 1));

    bool bom = false;
    const std::wstring text = readLog(log, &bom);
    EXPECT_TRUE(bom);
    EXPECT_TRUE(std::regex_match(text.substr(0, text.find(L"\r\n") + 2), kVersionEntry)) << platform::toUtf8(text);
    struct stat st {};
    ASSERT_EQ(stat(privateTemp(tmp.path()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A second start appends to the same file without a second mark.
    const pid_t again = spawn(kInstaller, {}, {"TMPDIR=" + tmp.path().string(), "QUELLAN_DISPLAY=virtual"});
    ASSERT_TRUE(startedAndEnded(again, log, 2));
    const std::wstring both = readLog(log, &bom);
    EXPECT_TRUE(bom);
    EXPECT_EQ(versionEntries(both), 2) << platform::toUtf8(both);
    EXPECT_EQ(both.find(L'\uFEFF'), std::wstring::npos);
}

TEST(InstallerProgram, UpdateModeReplacesKillsAndRestartsTheTarget) {
    ScratchFolder root;
    const auto folder = root / "x";
    const auto tmp = root / "tmp";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(tmp);
    // Names unique to this run: update mode ends every process of the name.
    const std::string name = "oldprog" + std::to_string(getpid());
    std::string otherCase = name;
    otherCase[0] = 'O';
    const auto target = folder / name;
    const auto bystander = folder / otherCase;
    std::filesystem::copy_file("/bin/sleep", target);
    std::filesystem::copy_file("/bin/sleep", bystander);
    const pid_t old = spawn(target.string(), {"120"}, {});
    const pid_t spared = spawn(bystander.string(), {"120"}, {});
    ASSERT_TRUE(waitUntil([&] {
        return platform::processImagePath(old) == wide(target) && platform::processImagePath(spared) == wide(bystander);
    }));

    const std::vector<std::string> env{"TMPDIR=" + tmp.string(), "QUELLAN_DISPLAY=virtual"};
    const pid_t updater = spawn(kInstaller, {"update '" + target.string() + "'"}, env);
    EXPECT_EQ(waitExit(updater), 0);

    // The old program was ended, the one differing in case was not.
    EXPECT_TRUE(endsWithin(old, 10000));
    EXPECT_FALSE(endsWithin(spared, 200));
    kill(spared, SIGKILL);
    waitpid(spared, nullptr, 0);

    // The target is now the installer, executable, with nothing left beside it.
    EXPECT_EQ(testsupport::readBytes(target), testsupport::readBytes(kInstaller));
    EXPECT_EQ(access(target.c_str(), X_OK), 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);

    // And it was started without arguments, in normal mode: its log appears.
    const auto log = privateTemp(tmp) / "brenniklog.txt";
    const bool restarted = waitUntil([&] {
        bool bom = false;
        return versionEntries(readLog(log, &bom)) >= 1;
    });
    // Leave nothing running: the restarted program keeps its window open.
    TerminateProcessByName(platform::fromUtf8(name), true);
    EXPECT_TRUE(restarted) << "the replaced program did not start";
}

// A private temporary folder that someone else prepared is never written
// through; the program keeps its log in a folder of its own instead.
TEST(InstallerProgram, NormalModeNeverWritesThroughAPreparedTemporaryFolder) {
    ScratchFolder tmp;
    ScratchFolder elsewhere;
    std::filesystem::permissions(elsewhere.path(), std::filesystem::perms::owner_all);
    std::filesystem::create_directory_symlink(elsewhere.path(), privateTemp(tmp.path()));
    const pid_t pid = spawn(kInstaller, {}, {"TMPDIR=" + tmp.path().string(), "QUELLAN_DISPLAY=virtual"});
    // Its own folder beside it holds the log.
    const auto logs = [&] {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(tmp.path())) {
            const std::string name = entry.path().filename().string();
            if (entry.is_symlink() || name.rfind("quellan-" + std::to_string(getuid()) + "-", 0) != 0) continue;
            bool bom = false;
            count += versionEntries(readLog(entry.path() / "brenniklog.txt", &bom)) == 1;
        }
        return count;
    };
    EXPECT_TRUE(waitUntil([&] { return logs() == 1; }));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
    EXPECT_EQ(logs(), 1);
}

// Any command line with "update" but not the exact form of the self-update
// selects update mode and touches nothing: no file is replaced, no process
// of that name is ended. The running program is never its own target.
TEST(InstallerProgram, UpdateModeTouchesOnlyWhatTheExactFormNames) {
    ScratchFolder root;
    const auto tmp = root / "tmp";
    std::filesystem::create_directories(root / "update");
    std::filesystem::create_directories(tmp);
    const auto notes = root / "update" / "notes.txt";
    testsupport::writeBytes(notes, "my notes");
    // A copy of the installer under a name of its own, so that nothing else
    // of that name can be ended.
    const auto self = root / ("quellan-self-" + std::to_string(getpid()));
    std::filesystem::copy_file(kInstaller, self);
    struct stat before {
    }, after{};
    const std::vector<std::string> lines{
        notes.string(),                          // a folder named update
        "update",                                // the whole line as target
        "update '" + notes.string(),             // one apostrophe
        "update '" + notes.string() + "' again", // more after the path
        "update 'update/notes.txt'",             // relative
        "update '" + self.string() + "'",        // the program itself
        "update '" + root.path().string() + "/./" + self.filename().string() + "'",
    };
    for (const std::string& line : lines) {
        ASSERT_EQ(stat(self.c_str(), &before), 0);
        const pid_t updater = spawn(self.string(), {line}, {"TMPDIR=" + tmp.string()});
        EXPECT_EQ(waitExit(updater), 0) << line;
        EXPECT_EQ(testsupport::readBytes(notes), "my notes") << line;
        ASSERT_EQ(stat(self.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << line; // not replaced
    }
    // Nothing was started in normal mode either: no log anywhere.
    EXPECT_TRUE(std::filesystem::is_empty(tmp));
}

// A copy that fails never starts the old program again (it would offer the
// same update, for ever): update mode logs why and exits with status 1.
TEST(InstallerProgram, UpdateModeFailedCopyLogsAndExitsOne) {
    ScratchFolder root;
    const auto tmp = root / "tmp";
    std::filesystem::create_directories(tmp);
    const auto log = privateTemp(tmp) / "brenniklog.txt";
    bool bom = false;

    const auto missing = root / "no/such/folder/prog";
    const pid_t updater = spawn(kInstaller, {"update '" + missing.string() + "'"}, {"TMPDIR=" + tmp.string()});
    EXPECT_EQ(waitExit(updater), 1);
    EXPECT_FALSE(std::filesystem::exists(root / "no"));
    EXPECT_NE(readLog(log, &bom).find(platform::fromUtf8(missing.string())), std::wstring::npos);

    // The old program is there but its folder takes no new file: it stays as
    // it was and is not started.
    const auto folder = root / "locked";
    const auto marker = root / "started.txt";
    const std::string name = "lockedprog" + std::to_string(getpid());
    testsupport::writeBytes(folder / name, "#!/bin/sh\necho started > '" + marker.string() + "'\n");
    std::filesystem::permissions(folder / name, std::filesystem::perms::owner_all);
    testsupport::ScopedImmutable locked(folder);
    if (!locked.active()) GTEST_SKIP() << "no immutable folders on this file system";
    const pid_t again = spawn(kInstaller, {"update '" + (folder / name).string() + "'"}, {"TMPDIR=" + tmp.string()});
    EXPECT_EQ(waitExit(again), 1);
    EXPECT_EQ(testsupport::readBytes(folder / name).rfind("#!/bin/sh", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(marker));
    const std::wstring text = readLog(log, &bom);
    EXPECT_NE(text.find(platform::fromUtf8((folder / name).string())), std::wstring::npos) << platform::toUtf8(text);
    EXPECT_EQ(versionEntries(text), 0) << "update mode writes its reason, not the version entry";
}

} // namespace
