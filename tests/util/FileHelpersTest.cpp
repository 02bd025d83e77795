// File, folder, process and instance helpers.
#include "util/FileHelpers.h"

#include "platform/system/Process.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using testsupport::ScratchFolder;

std::wstring wide(const std::filesystem::path& p) { return platform::fromUtf8(p.string()); }

TEST(CreateDirectoryTree, CreatesMissingLevelsAndSucceedsAgain) {
    ScratchFolder dir;
    const auto deep = dir / "one/two/three";
    std::filesystem::create_directory(dir / "one");
    EXPECT_TRUE(CreateDirectoryTree(wide(deep)));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(CreateDirectoryTree(wide(deep)));
    // Trailing separators and "\" separators, as paths from file lists have.
    EXPECT_TRUE(CreateDirectoryTree(wide(dir.path()) + L"/a\\b\\c\\"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b/c"));
    EXPECT_TRUE(CreateDirectoryTree(wide(dir.path()) + L"/中文/目录"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "中文/目录"));
}

TEST(CreateDirectoryTree, FailsForFileInTheWayOrNoParent) {
    ScratchFolder dir;
    testsupport::writeBytes(dir / "file", "x");
    EXPECT_FALSE(CreateDirectoryTree(wide(dir / "file")));
    EXPECT_FALSE(CreateDirectoryTree(wide(dir / "file/sub")));
    EXPECT_FALSE(CreateDirectoryTree(L""));
    EXPECT_FALSE(CreateDirectoryTree(L"quellan-no-parent-here"));
    EXPECT_FALSE(std::filesystem::exists("quellan-no-parent-here"));
}

TEST(CreateDirectoryTree, ConcurrentCallsForTheSameTreeAllSucceed) {
    ScratchFolder dir;
    const std::wstring root = wide(dir.path());
    for (int round = 0; round < 20; ++round) {
        const std::wstring target = root + L"/r" + std::to_wstring(round) + L"/x/y/z/w";
        std::vector<std::thread> threads;
        std::vector<int> ok(6, 0);
        for (int t = 0; t < 6; ++t) threads.emplace_back([&, t] { ok[t] = CreateDirectoryTree(target); });
        for (auto& t : threads) t.join();
        for (int t = 0; t < 6; ++t) EXPECT_TRUE(ok[t]) << "round " << round << " thread " << t;
    }
}

TEST(FileExists, FilesAndFoldersYesMissingAndEmptyNo) {
    ScratchFolder dir;
    testsupport::writeBytes(dir / "f", "");
    EXPECT_TRUE(FileExists(wide(dir / "f")));
    EXPECT_TRUE(FileExists(wide(dir.path())));
    EXPECT_FALSE(FileExists(wide(dir / "missing")));
    EXPECT_FALSE(FileExists(L""));
}

TEST(PathParts, SplitAtLastSlashOrBackslash) {
    struct Case {
        const wchar_t* path;
        const wchar_t* name;
        const wchar_t* folder;
    };
    const Case cases[] = {
        {L"/tmp/x/oldprog", L"oldprog", L"/tmp/x"},
        {L"C:\\Games\\Tolvar\\WoW.exe", L"WoW.exe", L"C:\\Games\\Tolvar"},
        {L"a/b\\c", L"c", L"a/b"},
        {L"a\\b/c", L"c", L"a\\b"},
        {L"dir\\", L"", L"dir"},
        {L"plain", L"plain", L"plain"},
        {L"", L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetFileNamePart(c.path), c.name) << platform::toUtf8(c.path);
        EXPECT_EQ(GetDirectoryPart(c.path), c.folder) << platform::toUtf8(c.path);
    }
}

TEST(GetModuleDirectory, IsTheExecutablesFolderWithSlash) {
    const std::wstring dir = GetModuleDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), L'/');
    EXPECT_EQ(dir + L"quellan_tests_util", platform::executablePath());
}

TEST(ReadFileToString, StopsAtZeroByteAndReadsLargeFiles) {
    ScratchFolder dir;
    testsupport::writeBytes(dir / "nul", std::string("text\0hidden", 11));
    EXPECT_EQ(ReadFileToString(wide(dir / "nul")), "text");

    std::string big(200000, 'q');
    big[199999] = 'z';
    testsupport::writeBytes(dir / "列表.txt", big);
    EXPECT_EQ(ReadFileToString(wide(dir / "列表.txt")), big);
    EXPECT_EQ(ReadFileToString(wide(dir / "missing")), "");
}

// A read that fails after part of the text arrived gives the empty text, not
// the part (a file list cut short would pass for a shorter list). The source
// here is a socket whose peer sends a little and then goes quiet: the next
// read times out with an error.
TEST(ReadFileToString, ReadErrorPartWayGivesTheEmptyText) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    timeval limit{0, 100000};
    ASSERT_EQ(setsockopt(pair[0], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit), 0);
    ASSERT_EQ(write(pair[1], "[{\"file\": \"a\"}", 15), 15);
    EXPECT_EQ(ReadDescriptorToString(pair[0], L"list"), "");
    // The same source closed properly reads whole.
    ASSERT_EQ(write(pair[1], "]", 1), 1);
    close(pair[1]);
    EXPECT_EQ(ReadDescriptorToString(pair[0], L"list"), "]");
    close(pair[0]);
    // A folder cannot be read at all.
    ScratchFolder dir;
    EXPECT_EQ(ReadFileToString(wide(dir.path())), "");
}

// --- Processes ---

// Starts copies of /bin/sleep under chosen names in a scratch folder.
class SleeperFarm {
public:
    pid_t start(const std::string& name) {
        const auto path = m_dir / name;
        if (!std::filesystem::exists(path)) std::filesystem::copy_file("/bin/sleep", path);
        const pid_t pid = fork();
        if (pid == 0) {
            execl(path.c_str(), name.c_str(), "60", static_cast<char*>(nullptr));
            _exit(127);
        }
        m_pids.push_back(pid);
        // Wait until the exec has happened, so the process carries its name.
        for (int i = 0; i < 500 && platform::processImagePath(pid) != platform::fromUtf8(path.string()); ++i)
            usleep(10000);
        return pid;
    }
    // True when pid has ended (reaping it if it is our zombie).
    static bool ended(pid_t pid, int timeoutMs) {
        for (int waited = 0;; waited += 10) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) return true;
            if (waited >= timeoutMs) return false;
            usleep(10000);
        }
    }
    ~SleeperFarm() {
        for (pid_t pid : m_pids) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

private:
    ScratchFolder m_dir;
    std::vector<pid_t> m_pids;
};

TEST(TerminateProcessByName, EndsEveryExactMatchAndSparesOtherCase) {
    // Names unique to this run, so parallel test runs do not meet.
    const std::string name = "qlnkill" + std::to_string(getpid());
    std::string upper = name;
    upper[0] = 'Q';
    SleeperFarm farm;
    const pid_t a = farm.start(name);
    const pid_t b = farm.start(name);
    const pid_t other = farm.start(upper);

    EXPECT_TRUE(TerminateProcessByName(platform::fromUtf8(name), /*all=*/true));
    EXPECT_TRUE(SleeperFarm::ended(a, 10000));
    EXPECT_TRUE(SleeperFarm::ended(b, 10000));
    EXPECT_FALSE(SleeperFarm::ended(other, 200));
    // Nothing of that name left: still a success.
    EXPECT_TRUE(TerminateProcessByName(platform::fromUtf8(name), true));
}

TEST(TerminateProcessByName, WithoutAllStopsAfterTheFirst) {
    const std::string name = "qlnone" + std::to_string(getpid());
    SleeperFarm farm;
    const pid_t a = farm.start(name);
    const pid_t b = farm.start(name);
    EXPECT_TRUE(TerminateProcessByName(platform::fromUtf8(name), /*all=*/false));
    bool aEnded = false;
    bool bEnded = false;
    for (int i = 0; i < 1000 && !aEnded && !bEnded; ++i) {
        aEnded = SleeperFarm::ended(a, 0);
        bEnded = SleeperFarm::ended(b, 0);
        if (!aEnded && !bEnded) usleep(10000);
    }
    EXPECT_TRUE(aEnded || bEnded);
    EXPECT_FALSE(SleeperFarm::ended(aEnded ? b : a, 300)) << "both ended";
}

TEST(CInstanceSemaphore, SecondCreateSeesAlreadyExists) {
    const std::string name = "Global\\_quellan_instance_test_" + std::to_string(getpid());
    CInstanceSemaphore first;
    first.Create(name);
    EXPECT_TRUE(first.IsOpen());
    EXPECT_FALSE(first.AlreadyExists());
    {
        CInstanceSemaphore second;
        second.Create(name);
        EXPECT_TRUE(second.AlreadyExists());
    }
    first.Close();
    EXPECT_FALSE(first.IsOpen());
    first.Create(name);
    EXPECT_FALSE(first.AlreadyExists());
}

} // namespace
