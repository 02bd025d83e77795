// The self-update end to end: the job fetches the new program, starts it in
// update mode, which replaces a running old program and restarts it.
#include "engine/EngineEvents.h"
#include "engine/HttpClient.h"
#include "engine/SelfUpdate.h"
#include "platform/system/Text.h"
#include "tools/devserver/DevServer.h"
#include "tests/support/Pump.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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

    const std::wstring updateFile =
        RunSelfUpdate(server.BaseUrl() + "/files/update/quellan", platform::fromUtf8(old.string()), events);

    EXPECT_FALSE(events.failed);
    EXPECT_EQ(closeRequests, 1);
    const fs::path update = platform::toUtf8(updateFile);
    EXPECT_EQ(update.parent_path(), tmp);
    EXPECT_EQ(update.filename().string().rfind("temp_update_", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(update.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);

    // The old process ends, its file becomes the new program, and the new
    // program starts from there (its first act is the version log entry).
    int status = 0;
    EXPECT_TRUE(waitUntil([&] { return ::waitpid(oldPid, &status, WNOHANG) == oldPid; }));
    EXPECT_TRUE(waitUntil([&] { return readBytes(old) == readBytes(newProgram); }));
    EXPECT_TRUE(waitUntil([&] { return fs::exists(tmp / "brenniklog.txt"); }));

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

TEST(SelfUpdateEndToEnd, FailedDownloadReportsAndLeavesNothing) {
    const testsupport::ScratchFolder scratch;
    const fs::path& dir = scratch.path();
    const char* savedTmp = std::getenv("TMPDIR");
    const std::string restoreTmp = savedTmp ? savedTmp : "";
    ::setenv("TMPDIR", dir.c_str(), 1);
    devserver::DevServer server;
    ASSERT_TRUE(server.Start({}));
    std::atomic<int> closeRequests{0};
    SetCloseRequestHandler([&] { ++closeRequests; });
    UpdateEvents events;

    RunSelfUpdate(server.BaseUrl() + "/files/update/missing", L"/nonexistent/prog", events);

    EXPECT_TRUE(events.failed);
    EXPECT_EQ(closeRequests, 0);
    EXPECT_TRUE(fs::is_empty(dir));
    SetCloseRequestHandler(nullptr);
    if (savedTmp)
        ::setenv("TMPDIR", restoreTmp.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
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
