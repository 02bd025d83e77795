// Named semaphores: the single-instance guard, within one process and
// across processes (a second holder, a holder that crashed, a guard lock
// held elsewhere).
#include "platform/system/NamedSemaphore.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

class NamedSemaphoreTest : public ::testing::Test {
protected:
    // Unique per test run so that parallel runs do not meet.
    std::string name = "Global\\_quellan_test_" + std::to_string(getpid()) + "_";
};

TEST_F(NamedSemaphoreTest, SecondHolderSeesAlreadyExistsUntilAllClosed) {
    platform::NamedSemaphore first;
    platform::NamedSemaphore second;
    EXPECT_EQ(first.create(name, 1), platform::NamedSemaphore::Result::Created);
    EXPECT_EQ(second.create(name, 1), platform::NamedSemaphore::Result::AlreadyExists);
    // Both handles name the same semaphore.
    EXPECT_TRUE(second.tryWait());
    EXPECT_FALSE(first.tryWait());
    EXPECT_TRUE(first.post());
    EXPECT_TRUE(second.tryWait());

    first.close();
    platform::NamedSemaphore third;
    EXPECT_EQ(third.create(name, 1), platform::NamedSemaphore::Result::AlreadyExists);
    second.close();
    third.close();
    // Nobody holds it any more: the next one creates it afresh.
    platform::NamedSemaphore fourth;
    EXPECT_EQ(fourth.create(name, 1), platform::NamedSemaphore::Result::Created);
    EXPECT_TRUE(fourth.tryWait());
}

TEST_F(NamedSemaphoreTest, OtherProcessesSeeItAndACrashedHolderDoesNotKeepIt) {
    platform::NamedSemaphore mine;
    ASSERT_EQ(mine.create(name, 1), platform::NamedSemaphore::Result::Created);
    const pid_t other = fork();
    if (other == 0) {
        platform::NamedSemaphore theirs;
        _exit(theirs.create(name, 1) == platform::NamedSemaphore::Result::AlreadyExists ? 0 : 1);
    }
    int status = -1;
    waitpid(other, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    mine.close();

    // A holder that dies without closing.
    const pid_t crasher = fork();
    if (crasher == 0) {
        auto* leaked = new platform::NamedSemaphore;
        _exit(leaked->create(name, 1) == platform::NamedSemaphore::Result::Created ? 0 : 1);
    }
    waitpid(crasher, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    platform::NamedSemaphore after;
    EXPECT_EQ(after.create(name, 1), platform::NamedSemaphore::Result::Created);
}

// Another process stuck holding the guard lock (or anyone else at all) can
// never keep the program from starting: create gives up after a short wait.
TEST_F(NamedSemaphoreTest, AGuardHeldElsewhereMakesCreateFailInsteadOfWaiting) {
    const std::string folder = platform::NamedSemaphore::lockFolder();
    ASSERT_FALSE(folder.empty());
    struct stat st {};
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const int fd = open((folder + "sem.guard").c_str(), O_RDWR | O_CREAT, 0600);
        const bool held = fd >= 0 && flock(fd, LOCK_EX) == 0;
        [[maybe_unused]] ssize_t n = write(ready[1], held ? "1" : "0", 1);
        pause();
        _exit(0);
    }
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, '1');
    platform::NamedSemaphore blocked;
    EXPECT_EQ(blocked.create(name, 1), platform::NamedSemaphore::Result::Failed);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    platform::NamedSemaphore free;
    EXPECT_EQ(free.create(name, 1), platform::NamedSemaphore::Result::Created);
}

TEST(NamedSemaphore, NamesMapToValidDistinctPosixNamesOfThisUser) {
    const std::string user = "/quellan-" + std::to_string(getuid()) + ".";
    EXPECT_EQ(platform::NamedSemaphore::posixName("Global\\_ONCE_RUN_tavorhub_1_"),
              user + "Global%5C_ONCE_RUN_tavorhub_1_");
    EXPECT_EQ(platform::NamedSemaphore::posixName("a/b"), user + "a%2Fb");
    EXPECT_NE(platform::NamedSemaphore::posixName("a\\b"), platform::NamedSemaphore::posixName("a_b"));
    EXPECT_NE(platform::NamedSemaphore::posixName("a%5Cb"), platform::NamedSemaphore::posixName("a\\b"));
}

} // namespace
