// Job threads: registration before the job runs, leaving the registers,
// cooperative termination of blocked jobs.
#include "engine/CancelFlag.h"
#include "engine/HttpClient.h"
#include "engine/PointerArg.h"
#include "engine/WindowMultiThreadManager.h"

#include "EngineTestSupport.h"

#include <atomic>

using namespace enginetest;

namespace {

CWindowMultiThreadManager* g_manager = nullptr;

// What a job saw of itself while it ran.
struct JobView {
    std::atomic<bool> ran{false};
    std::atomic<bool> registeredWhileRunning{false};
    std::atomic<std::uint32_t> id{0};
    std::atomic<bool> release{false};
    ThreadParam param = 0;
};

void observingJob(ThreadParam param) {
    auto* view = reinterpret_cast<JobView*>(param);
    view->param = param;
    view->id = CurrentThreadId();
    auto r = g_manager->RegisteredIn(view->id);
    view->registeredWhileRunning = r.handle && r.function && r.parameter;
    while (!view->release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    view->ran = true;
}

// Counters of sleeping jobs. A job cancelled before it has started never runs
// (as a thread terminated before its first instruction), so tests cancel only
// after every job has started.
struct Sleepers {
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    ThreadParam param() { return PointerArg(this); }
};

void sleepingJob(ThreadParam param) {
    auto* sleepers = reinterpret_cast<Sleepers*>(param);
    ++sleepers->started;
    CancellableSleep(600000);
    ++sleepers->finished;
}

class ThreadManagerTest : public ::testing::Test {
protected:
    void SetUp() override { g_manager = &m_manager; }
    void TearDown() override {
        m_manager.TerminateAllThreads();
        EXPECT_TRUE(m_manager.WaitForAll(std::chrono::seconds(10)));
        g_manager = nullptr;
    }
    CWindowMultiThreadManager m_manager;
};

} // namespace

TEST_F(ThreadManagerTest, JobIsRegisteredBeforeItRunsAndLeavesAllRegistersWhenItEnds) {
    JobView view;
    std::uint32_t id = m_manager.StartThread(observingJob, PointerArg(&view));
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(waitUntil([&] { return view.id != 0; }));
    EXPECT_EQ(view.id, id);
    EXPECT_TRUE(view.registeredWhileRunning);
    EXPECT_EQ(view.param, PointerArg(&view));
    EXPECT_EQ(m_manager.RunningCount(), 1);

    view.release = true;
    ASSERT_TRUE(m_manager.WaitForAll(std::chrono::seconds(10)));
    EXPECT_TRUE(view.ran);
    auto r = m_manager.RegisteredIn(id);
    EXPECT_FALSE(r.handle || r.function || r.parameter);
    // Terminating afterwards finds nothing of it and does no harm.
    m_manager.TerminateAllThreads();
    EXPECT_FALSE(m_manager.RegisteredIn(id).function);
}

TEST_F(ThreadManagerTest, TerminateAllThreadsEndsBlockedJobsPromptly) {
    ScratchFolder dir;
    devserver::DevServer server;
    devserver::Options options;
    options.contentDir = dir.path().string();
    writeFile(dir / "slow.bin", patternBytes(1'000'000));
    ASSERT_TRUE(server.Start(options));
    devserver::Fault stall;
    stall.stallMs = 60000;
    server.SetFault("/files/slow.bin", stall);
    static std::string s_url;
    s_url = server.BaseUrl() + "/files/slow.bin";
    static std::wstring s_target;
    s_target = std::wstring(dir.path().wstring()) + L"/out.bin";

    Sleepers sleepers;
    static std::atomic<bool> s_transferOk{true};
    for (int i = 0; i < 2; ++i) ASSERT_NE(m_manager.StartThread(sleepingJob, sleepers.param()), 0u);
    m_manager.StartThread([](ThreadParam) { s_transferOk = HttpDownloadFile(s_url, s_target, true); }, 0);
    ASSERT_TRUE(
        waitUntil([&] { return !server.RequestsTo("/files/slow.bin").empty() || m_manager.RunningCount() < 3; }));
    EXPECT_EQ(m_manager.RunningCount(), 3);
    ASSERT_TRUE(waitUntil([&] { return sleepers.started == 2; }));

    m_manager.TerminateAllThreads();
    ASSERT_TRUE(m_manager.WaitForAll(std::chrono::seconds(5)));
    EXPECT_EQ(sleepers.finished, 2);
    EXPECT_FALSE(s_transferOk);
    EXPECT_FALSE(std::filesystem::exists(s_target));
}

TEST_F(ThreadManagerTest, RemoveThreadWithTerminateCancelsOnlyThatJob) {
    Sleepers sleepers;
    std::uint32_t first = m_manager.StartThread(sleepingJob, sleepers.param());
    std::uint32_t second = m_manager.StartThread(sleepingJob, sleepers.param());
    ASSERT_NE(first, second);
    ASSERT_TRUE(waitUntil([&] { return sleepers.started == 2; }));
    m_manager.RemoveThread(first, true);
    ASSERT_TRUE(waitUntil([&] { return m_manager.RunningCount() == 1; }));
    EXPECT_EQ(sleepers.finished, 1);
    EXPECT_FALSE(m_manager.RegisteredIn(first).function);
    EXPECT_TRUE(m_manager.RegisteredIn(second).handle);
    // The second job uses sleepers: end it while they still exist.
    m_manager.TerminateAllThreads();
    EXPECT_TRUE(m_manager.WaitForAll(std::chrono::seconds(10)));
    EXPECT_EQ(sleepers.finished, 2);
}

TEST(ThreadManagerLifetimeTest, ManagerDestroyedWhileJobsRunCancelsThem) {
    static Sleepers sleepers;
    sleepers.started = 0;
    sleepers.finished = 0;
    {
        CWindowMultiThreadManager manager;
        for (int i = 0; i < 3; ++i) manager.StartThread(sleepingJob, sleepers.param());
        ASSERT_TRUE(waitUntil([] { return sleepers.started == 3; }));
    }
    EXPECT_TRUE(waitUntil([] { return sleepers.finished == 3; }));
}
