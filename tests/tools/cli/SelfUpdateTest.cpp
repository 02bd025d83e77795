// The self-update end to end: the job fetches the new program, starts it in
// update mode, which replaces a running old program and restarts it.
#include "engine/EngineEvents.h"
#include "engine/HttpClient.h"
#include "engine/SelfUpdate.h"
#include "engine/ServiceConfig.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "tools/devserver/DevServer.h"
#include "tests/support/Pump.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

namespace {

namespace fs = std::filesystem;

using testsupport::readBytes;
using testsupport::waitUntil;

// Ends every process running the program at path (the restarted copy may
// still run when the test ends).
void killProcessesOf(const fs::path& path) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code linkError;
        const fs::path exe = fs::read_symlink(entry.path() / "exe", linkError);
        if (!linkError && exe == path) ::kill(static_cast<pid_t>(std::stol(name)), SIGKILL);
    }
}

class UpdateEvents : public IEngineEvents {
public:
    void OnSelfUpdateFailed(EventArg, EventArg) override { failed = true; }
    std::atomic<bool> failed{false};
};

TEST(SelfUpdateEndToEnd, RunningProgramIsReplacedAndRestarted) {
    const testsupport::ScratchFolder scratch;
    const fs::path& dir = scratch.path();
    const fs::path tmp = dir / "tmp";
    const fs::path old = dir / "old dir" / "oldprog";
    fs::create_directories(tmp);
    fs::create_directories(old.parent_path());
    fs::create_directories(dir / "content" / "update");
    const fs::path newProgram = fs::path(QUELLAN_BINARY_DIR) / "quellan";
    fs::copy_file(newProgram, dir / "content" / "update" / "quellan");
    fs::copy_file("/bin/sleep", old);

    // The old program runs under its own name until the update ends it.
    const pid_t oldPid = ::fork();
    if (oldPid == 0) {
        ::execl(old.c_str(), "oldprog", "120", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(oldPid, 0);

    const char* savedTmp = std::getenv("TMPDIR");
    const std::string restoreTmp = savedTmp ? savedTmp : "";
    ::setenv("TMPDIR", tmp.c_str(), 1); // the update file and the restarted program's log go here

    devserver::Options options;
    options.contentDir = (dir / "content").string();
    devserver::DevServer server;
    ASSERT_TRUE(server.Start(options));
    std::atomic<int> closeRequests{0};
    SetCloseRequestHandler([&] { ++closeRequests; });
    UpdateEvents events;

    const std::string savedBase = g_serviceBase;
    g_serviceBase = server.BaseUrl();
    const std::wstring updateFile =
        RunSelfUpdate(server.BaseUrl() + "/files/update/quellan", devserver::Sha256Hex(readBytes(newProgram)),
                      platform::fromUtf8(old.string()), events);
    g_serviceBase = savedBase;

    EXPECT_FALSE(events.failed);
    EXPECT_EQ(closeRequests, 1);
    // In the private temporary folder, not in the shared one.
    const fs::path privateTmp = platform::toUtf8(platform::tempFolder());
    EXPECT_EQ(privateTmp.parent_path().parent_path(), tmp);
    const fs::path update = platform::toUtf8(updateFile);
    EXPECT_EQ(update.parent_path(), privateTmp.parent_path());
    EXPECT_EQ(update.filename().string().rfind("temp_update_", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(update.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);

    // The old process ends, its file becomes the new program, and the new
    // program starts from there (its first act is the version log entry).
    int status = 0;
    EXPECT_TRUE(waitUntil([&] { return ::waitpid(oldPid, &status, WNOHANG) == oldPid; }));
    EXPECT_TRUE(waitUntil([&] { return readBytes(old) == readBytes(newProgram); }));
    EXPECT_TRUE(waitUntil([&] { return fs::exists(privateTmp / "brenniklog.txt"); }));

    SetCloseRequestHandler(nullptr);
    if (savedTmp)
        ::setenv("TMPDIR", restoreTmp.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    ::kill(oldPid, SIGKILL);
    ::waitpid(oldPid, &status, WNOHANG);
    killProcessesOf(old);
    server.Stop();
}

// A scratch folder as TMPDIR with a local service whose "update" is a script
// that writes a marker when it is started.
class UpdateScratch {
public:
    UpdateScratch() {
        std::string pattern = (fs::temp_directory_path() / "quellan-update-XXXXXX").string();
        dir = mkdtemp(pattern.data());
        if (const char* saved = std::getenv("TMPDIR")) m_savedTmp = saved;
        ::setenv("TMPDIR", dir.c_str(), 1);
        program = "#!/bin/sh\necho \"$@\" > '" + (dir / "started").string() + "'\n";
        fs::create_directories(dir / "content" / "update");
        // Large enough to arrive in several pieces.
        std::ofstream(dir / "content" / "update" / "quellan") << program << std::string(500000, '#') << "\n";
        devserver::Options options;
        options.contentDir = (dir / "content").string();
        started = server.Start(options);
        m_savedBase = g_serviceBase;
        g_serviceBase = server.BaseUrl(); // the service the answer came from
        m_savedStall = g_downloadStallSeconds.exchange(1);
        SetCloseRequestHandler([this] { ++closeRequests; });
    }
    ~UpdateScratch() {
        SetCloseRequestHandler(nullptr);
        g_serviceBase = m_savedBase;
        g_downloadStallSeconds = m_savedStall;
        server.Stop();
        if (m_savedTmp.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", m_savedTmp.c_str(), 1);
        fs::remove_all(dir);
    }
    bool programStarted() const { return fs::exists(dir / "started"); }
    std::string digest() const { return devserver::Sha256Hex(readBytes(dir / "content" / "update" / "quellan")); }

    fs::path dir;
    std::string program;
    devserver::DevServer server;
    bool started = false;
    std::atomic<int> closeRequests{0};
    UpdateEvents events;

private:
    std::string m_savedTmp;
    std::string m_savedBase;
    long m_savedStall = 0;
};

// Only a download that completed is ever started: a failed, cut or stalled
// one gives the failure event and starts nothing.
TEST(SelfUpdateEndToEnd, NothingButACompleteDownloadIsStarted) {
    enum class Case { NotFound, Cut, Stalled, OtherDigest, NoDigest, PlainTextFromTls };
    for (Case c :
         {Case::NotFound, Case::Cut, Case::Stalled, Case::OtherDigest, Case::NoDigest, Case::PlainTextFromTls}) {
        SCOPED_TRACE(static_cast<int>(c));
        UpdateScratch scratch;
        ASSERT_TRUE(scratch.started);
        devserver::Fault fault;
        if (c == Case::Cut) fault.truncateAt = 1000;
        if (c == Case::Stalled) fault.stallMs = 60000;
        scratch.server.SetFault("/files/update/quellan", fault);
        const std::string address =
            scratch.server.BaseUrl() + (c == Case::NotFound ? "/files/update/missing" : "/files/update/quellan");

        const std::string savedBase = g_serviceBase;
        if (c == Case::PlainTextFromTls) g_serviceBase = "https://service.example.com";
        const std::string digest = c == Case::OtherDigest ? devserver::Sha256Hex("another program")
                                   : c == Case::NoDigest  ? std::string()
                                                          : scratch.digest();

        const std::wstring used = RunSelfUpdate(address, digest, L"/nonexistent/prog", scratch.events);
        g_serviceBase = savedBase;

        EXPECT_TRUE(scratch.events.failed);
        EXPECT_FALSE(fs::exists(platform::toUtf8(used))); // nothing left that could be started later
        EXPECT_EQ(scratch.closeRequests, 0);
        EXPECT_FALSE(scratch.programStarted());
    }
}

// Sets the immutable attribute, so that not even its owner can remove or
// write the file: a stranger's file that a shared folder would keep under
// our name. False when the file system or our rights do not allow it.
bool makeImmutable(const fs::path& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

// A program that already sits under the update file's name, and cannot even
// be removed, is never started in place of the download: the job fails.
TEST(SelfUpdateEndToEnd, AFileAlreadyUnderTheUpdateNameIsNeverStarted) {
    UpdateScratch scratch;
    ASSERT_TRUE(scratch.started);
    const std::wstring folder = platform::tempFolder();
    std::set<std::wstring> taken;
    std::wstring used;
    // Every name the job may pick around a moment a little ahead is taken;
    // then the job starts at that moment. Tried again should making the
    // files take longer than the lead.
    for (int attempt = 0; attempt < 4 && !taken.count(used); ++attempt) {
        const std::uint32_t from = platform::tickCount() + 2000 + 2000 * attempt;
        for (std::uint32_t tick = from; tick < from + 400; ++tick) {
            const std::wstring path = UpdateFilePath(folder, tick);
            const fs::path native = platform::toUtf8(path);
            std::ofstream(native) << scratch.program;
            fs::permissions(native, fs::perms::owner_all);
            taken.insert(path);
            if (!makeImmutable(native, true)) {
                for (const std::wstring& made : taken) makeImmutable(platform::toUtf8(made), false);
                GTEST_SKIP() << "no immutable files on this file system";
            }
        }
        if (static_cast<std::int32_t>(platform::tickCount() - from) >= 0) continue;
        while (static_cast<std::int32_t>(platform::tickCount() - from) < 0) platform::sleepMs(1);
        used = RunSelfUpdate(scratch.server.BaseUrl() + "/files/update/quellan", scratch.digest(), L"/nonexistent/prog",
                             scratch.events);
    }
    EXPECT_TRUE(taken.count(used)) << "the job never ran while the names were taken";
    EXPECT_TRUE(scratch.events.failed);
    EXPECT_EQ(scratch.closeRequests, 0);
    EXPECT_FALSE(scratch.programStarted());
    for (const std::wstring& path : taken) makeImmutable(platform::toUtf8(path), false);
}

TEST(SelfUpdateNames, FileNameAndParameters) {
    EXPECT_EQ(UpdateFilePath(L"/tmp/", 12345), L"/tmp/temp_update_12345");
    EXPECT_EQ(UpdateFilePath(L"/tmp", 7), L"/tmp/temp_update_7");
    EXPECT_NE(UpdateFilePath(L"/tmp/", 1), UpdateFilePath(L"/tmp/", 2));
    // The update mode takes the text between the first and the last
    // apostrophe, so a path with one inside still arrives whole.
    EXPECT_EQ(UpdateParameters(L"/home/o'neil/quellan"), L"update '/home/o'neil/quellan'");
}

} // namespace
