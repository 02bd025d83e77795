// The progress display and the end of a pass, event by event: the window's
// handlers fed with progress records of its own workers (which find nothing
// to do and wait), checked against the texts, the bar and the throttle.
#include "tests/app/InstallerFixture.h"

#include "engine/Manifest.h"
#include "engine/PointerArg.h"
#include "platform/system/System.h"

namespace apptest {
namespace {

static_assert(SpeedText(1048575).figure == 1023 && !SpeedText(1048575).megabytes);
static_assert(SpeedText(1049600).figure == 1 && SpeedText(1049600).megabytes);
static_assert(SpeedText(1024 * 1024).figure == 1024 && !SpeedText(1024 * 1024).megabytes);
static_assert(SpeedText(1023).figure == 0);

class MainWndProgress : public InstallerTest {
protected:
    void SetUp() override {
        InstallerTest::SetUp();
        if (HasFatalFailure()) return;
        OpenWindow();
        ASSERT_TRUE(
            pump([&] { return m_window->threads().RunningCount() == 0 && m_window->PendingCalls() == 0; }, kLongWait));
        click(L"birch_ver_opt");
        // The workers find an empty queue and then wait (until the window
        // goes) before they would report their end.
        g_downloadEndWaitMs = 600000;
        m_window->OnStartDownload(0, 0);
        for (const auto& [id, speed] : m_window->threadSpeeds()) m_ids.push_back(id);
        ASSERT_EQ(m_ids.size(), 4u);
    }

    // Sends one progress event for worker `worker` (index into m_ids).
    void progress(std::size_t worker, const std::wstring& file, std::int64_t total, std::int64_t received, double speed,
                  int state, bool detailDue) {
        CProgressRecord*& record = m_records[worker];
        if (!record) record = CProgressRecord::Create(m_ids[worker]);
        record->SetFile(file);
        if (state == kStateDownloading) {
            record->SetState(kStateDownloading);
            record->SetTransfer(total, received, speed);
        } else {
            record->SetState(state);
        }
        g_lastDetailTick = detailDue ? platform::tickCount() - 5000 : platform::tickCount();
        m_window->OnDownloadProgress(m_ids[worker], PointerArg(record));
    }

    std::vector<std::uint32_t> m_ids;
    CProgressRecord* m_records[4] = {};
};

TEST_F(MainWndProgress, StatusLineDetailsBarAndThrottle) {
    ASSERT_EQ(GetDownloadItemCount(), 0); // remaining = queued 0 + four workers in hand
    struct Row {
        const char* what;
        std::size_t worker;
        std::int64_t total, received;
        double speed;
        int state;
        bool detailDue;
        const char* status;
        const char* detail; // null: unchanged
        const char* percent;
        int bar;
    };
    const Row rows[] = {
        {"checking, no speed anywhere", 0, 0, 0, 0, kStateChecking, true, "正在校验，还剩余4个文件",
         "剩余4个文件，正在校验：Data\\a.dat，请勿关闭", "100.00%", 640},
        {"1 048 575 B/s is still Kb/s", 1, 1000, 250, 1048575, kStateDownloading, true, "剩余4个文件，速度:1023Kb/s",
         "剩余4个文件，当前下载：Data\\a.dat", "25.00%", 160},
        {"a second worker adds 1025 B/s: 1 Mb/s", 2, 1000, 500, 1025, kStateDownloading, true,
         "剩余4个文件，速度:1Mb/s", "剩余4个文件，当前下载：Data\\a.dat", "50.00%", 320},
        {"within a second: only the status line", 2, 1000, 900, 1025, kStateDownloading, false,
         "剩余4个文件，速度:1Mb/s", nullptr, "50.00%", 320},
        {"unknown size counts as 1", 3, 0, 5, 0, kStateDownloading, true, "剩余4个文件，速度:1Mb/s",
         "剩余4个文件，当前下载：Data\\a.dat", "500.00%", 3200},
        {"verified: 100% and a full bar", 1, 0, 0, 0, kStateVerified, true, "剩余4个文件，速度:0Kb/s",
         "剩余4个文件，当前下载：Data\\a.dat", "100.00%", 640},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        // Speeds of the other rows stay as the map holds them.
        if (r.worker == 1 && r.state == kStateVerified) {
            progress(2, L"Data\\a.dat", 1, 1, 0, kStateVerified, false);
        }
        const std::string before = text(L"one_file_name_lab");
        progress(r.worker, L"Data\\a.dat", r.total, r.received, r.speed, r.state, r.detailDue);
        EXPECT_EQ(text(L"startBtn"), r.status);
        EXPECT_EQ(text(L"one_file_name_lab"), r.detail ? std::string(r.detail) : before);
        EXPECT_EQ(text(L"one_file_percent_lab"), r.percent);
        EXPECT_EQ(control(L"pro_lab")->fixedWidth(), r.bar);
    }
    // A worker of another pass changes nothing.
    const std::string status = text(L"startBtn");
    CProgressRecord* stranger = CProgressRecord::Create(4242);
    stranger->SetTransfer(10, 5, 1e9);
    g_lastDetailTick = 0;
    m_window->OnDownloadProgress(4242, PointerArg(stranger));
    EXPECT_EQ(text(L"startBtn"), status);
    EXPECT_EQ(m_window->threadSpeeds().count(4242), 0u);
}

// The first three ends only shrink the map; the fourth gives the button back
// and tells the outcome; an end while no pass runs does that again.
TEST_F(MainWndProgress, TheLastWorkerEndsThePass) {
    g_downloadFailed = false;
    control(L"startBtn")->assignEnabled(false); // as while a pass runs
    for (std::size_t i = 0; i < 3; ++i) {
        m_window->OnDownloadThreadEnd(m_ids[i], 3);
        EXPECT_EQ(m_window->threadSpeeds().size(), 3 - i);
        EXPECT_FALSE(control(L"startBtn")->enabledState());
        EXPECT_TRUE(m_asked.empty());
    }
    m_window->OnDownloadThreadEnd(m_ids[3], 3);
    EXPECT_TRUE(m_window->threadSpeeds().empty());
    EXPECT_EQ(text(L"startBtn"), "开始下载");
    EXPECT_TRUE(control(L"startBtn")->enabledState());
    ASSERT_EQ(m_asked.size(), 1u);
    EXPECT_EQ(m_asked[0].text, "下载结束，安装完成！");
    EXPECT_EQ(text(L"one_file_name_lab"), "所有文件下载完毕！");
    EXPECT_EQ(control(L"pro_lab")->fixedWidth(), 640);
    EXPECT_TRUE(fs::exists(desktopEntry()));

    g_downloadFailed = true;
    m_window->OnDownloadThreadEnd(99999, 3);
    ASSERT_EQ(m_asked.size(), 2u);
    EXPECT_EQ(m_asked[1].text, "下载结束，有部分文件下载失败，请再次点击开始下载按钮！");
    g_downloadFailed = false;
    // An edition number outside the table: the button only.
    m_window->OnDownloadThreadEnd(99999, 1);
    EXPECT_EQ(m_asked.size(), 2u);
}

} // namespace
} // namespace apptest
