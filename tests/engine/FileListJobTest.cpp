// The file list job and the usage report against a real local service.
#include "engine/EngineEvents.h"
#include "engine/FileListJob.h"
#include "engine/Manifest.h"
#include "engine/ServiceClient.h"
#include "engine/ServiceConfig.h"
#include "engine/SignedAnswer.h"
#include "engine/UsageReport.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "platform/system/System.h"
#include "tests/engine/EngineTestSupport.h"
#include "util/Text.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdlib>

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

class ListEvents : public IEngineEvents {
public:
    void OnFileListFailed(EventArg, EventArg a2) override { log.push_back(L"failed:" + *TakeEventWideText(a2)); }
    void OnShowStatusText(EventArg, EventArg a2) override { log.push_back(L"status:" + *TakeEventWideText(a2)); }
    void OnStartDownload(EventArg, EventArg) override { log.push_back(L"start"); }
    std::vector<std::wstring> log;
};

class FileListJobTest : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        const char* old = std::getenv("TMPDIR");
        m_oldTmp = old ? old : "";
        m_tmp = m_dir / "tmp";
        fs::create_directories(m_tmp);
        ::setenv("TMPDIR", m_tmp.c_str(), 1);
        setConfig("birch/filelist.json");
        SetRequestedInstallFolder(L"/games/Tolvar-birch/");
    }
    void TearDown() override {
        if (m_oldTmp.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", m_oldTmp.c_str(), 1);
        g_configText.clear();
        g_downloadQueue.Clear();
    }
    void setConfig(const std::string& birchList, const std::string& digest = {}) {
        g_configText = "{\"filelist_url_prefix\": \"" + url("/files/") + "\", \"birch_file_url\": \"" + birchList +
                       "\", \"birch_file_sha256\": \"" + digest + "\"}";
    }
    // Publishes the birch list and names its digest in the configuration.
    void writeList(const std::string& text) {
        writeFile(content("birch/filelist.json"), text);
        setConfig("birch/filelist.json", Sha256Hex(text));
    }
    std::wstring localCopy() const { return platform::tempFolder() + L"filelist.json." + std::to_wstring(::getpid()); }

    std::string m_oldTmp;
    std::string m_tmp;
    ListEvents m_events;
};

TEST_F(FileListJobTest, FillsTheQueueInListOrderAndAnnouncesThePass) {
    writeList(R"([{"file": "b.bin", "md5": "11"}, {"file": "Data\\a.bin", "md5": "22"}, {"file": "c"}])");
    g_downloadQueue.Push({"left over from an earlier pass", ""});
    g_downloadFailed = true;

    RunGetFileList(3, m_events);

    EXPECT_EQ(m_events.log, (std::vector<std::wstring>{L"status:正在下载，剩余3个文件", L"start"}));
    EXPECT_FALSE(g_downloadFailed);
    EXPECT_EQ(g_installDir, L"/games/Tolvar-birch/");
    DownloadItem item;
    ASSERT_TRUE(PopDownloadItem(item));
    EXPECT_EQ(item.file, "b.bin");
    EXPECT_EQ(item.md5, "11");
    ASSERT_TRUE(PopDownloadItem(item));
    EXPECT_EQ(item.file, "Data\\a.bin");
    ASSERT_TRUE(PopDownloadItem(item));
    EXPECT_EQ(item.md5, "");
    EXPECT_FALSE(PopDownloadItem(item));
    // The local copy is in the (private) temporary folder under the list's
    // name and the process id: two installers never share one.
    EXPECT_TRUE(fs::exists(platform::toUtf8(localCopy())));
}

TEST_F(FileListJobTest, EachPassFetchesAFreshListWithItsOwnTick) {
    writeList("[]");
    writeFile(platform::toUtf8(localCopy()), R"([{"file": "stale"}])");
    RunGetFileList(3, m_events);
    EXPECT_EQ(GetDownloadItemCount(), 0);
    EXPECT_EQ(m_events.log.front(), L"status:正在下载，剩余0个文件");
    // The next pass asks with a later tick, which makes its address new.
    const std::uint32_t tick = platform::tickCount();
    ASSERT_TRUE(waitUntil([&] { return platform::tickCount() != tick; }));
    RunGetFileList(3, m_events);
    const auto requests = m_server.RequestsTo("/files/birch/filelist.json");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].target, requests[1].target);
    EXPECT_EQ(requests[0].target.rfind("/files/birch/filelist.json?r=", 0), 0u);
}

// Only the list the signed configuration names by its digest counts, and
// only when it is a list: anything else is a failed list, never an empty pass
// that would end as a finished installation.
TEST_F(FileListJobTest, ListsThatCannotBeTrustedOrReadFail) {
    const std::string good = R"([{"file": "a.bin", "md5": ""}])";
    struct Case {
        const char* name;
        std::string served;
        std::string digestOf; // the list the configuration vouches for
    } cases[] = {
        {"other list than the configuration names", R"([{"file": "evil.exe"}])", good},
        {"no digest in the configuration", good, ""},
        {"error page", "<html>oops</html>", "<html>oops</html>"},
        {"cut off", R"([{"file": "a.bin")", R"([{"file": "a.bin")"},
        {"null", "null", "null"},
        {"number", "7", "7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_events.log.clear();
        g_downloadQueue.Push({"left over", ""});
        writeFile(content("birch/filelist.json"), c.served);
        setConfig("birch/filelist.json", c.digestOf.empty() ? "" : Sha256Hex(c.digestOf));
        RunGetFileList(3, m_events);
        EXPECT_EQ(m_events.log, (std::vector<std::wstring>{L"failed:文件列表获取失败！"}));
        EXPECT_EQ(GetDownloadItemCount(), 0);
    }
    // The digest's letter case does not matter.
    m_events.log.clear();
    writeFile(content("birch/filelist.json"), good);
    std::string upper = Sha256Hex(good);
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    setConfig("birch/filelist.json", upper);
    RunGetFileList(3, m_events);
    EXPECT_EQ(m_events.log, (std::vector<std::wstring>{L"status:正在下载，剩余1个文件", L"start"}));
}

// A list far larger than any real one is cut off and removed, however well
// it compresses, before it fills the temporary folder.
TEST_F(FileListJobTest, ListBombIsRefusedAndLeavesNothingBehind) {
    writeList("[" + std::string(static_cast<std::size_t>(kMaxFileListBytes), ' ') + "]");
    devserver::Fault gzip;
    gzip.gzip = true;
    m_server.SetFault("/files/birch/filelist.json", gzip);
    RunGetFileList(3, m_events);
    EXPECT_EQ(m_events.log, (std::vector<std::wstring>{L"failed:文件列表获取失败！"}));
    EXPECT_FALSE(fs::exists(platform::toUtf8(localCopy())));
    EXPECT_LT(m_server.BodyBytesSent("/files/birch/filelist.json"), 1 << 20); // it was small on the wire
}

TEST_F(FileListJobTest, FailuresReportTheWindowText) {
    RunGetFileList(3, m_events); // no list on the server
    g_configText = "not json";
    RunGetFileList(3, m_events);
    EXPECT_EQ(m_events.log, (std::vector<std::wstring>{L"failed:文件列表获取失败！", L"failed:文件列表获取失败！"}));
    EXPECT_EQ(m_server.RequestsTo("/files/birch/filelist.json").size(), 1u);
}

TEST_F(FileListJobTest, AddressWithoutFileNameTouchesNothingElse) {
    const std::string temp = platform::toUtf8(platform::tempFolder());
    writeFile(temp + "keep.txt", "mine");
    setConfig(""); // list address ends in "/"
    RunGetFileList(3, m_events);
    EXPECT_EQ(m_events.log, (std::vector<std::wstring>{L"failed:文件列表获取失败！"}));
    EXPECT_EQ(readFile(temp + "keep.txt"), "mine");
    EXPECT_TRUE(fs::is_directory(temp));
}

// --- Usage report ---

class ReportTest : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        m_oldBase = g_serviceBase;
        m_oldFallback = g_serviceFallback;
        m_oldPause = g_serviceRetryPauseMs;
        g_serviceRetryPauseMs = 50;
    }
    void TearDown() override {
        g_serviceBase = m_oldBase;
        g_serviceFallback = m_oldFallback;
        g_serviceRetryPauseMs = m_oldPause;
    }
    std::string m_oldBase, m_oldFallback;
    std::uint32_t m_oldPause = 0;
};

TEST_F(ReportTest, BirchBodyIsSignedOverLowerCasedCode) {
    const std::string body = ReportBody(ReportEventCode(3), "1700000000");
    EXPECT_EQ(body, "code=163000&ts=1700000000&sign=" +
                        CMd5A().GetMd5String("code=163000&ts=1700000000" + std::string(devserver::kSigningKey)));

    g_serviceBase = m_server.BaseUrl();
    g_serviceFallback = m_server.BaseUrl();
    RunReport(163000);
    const auto requests = m_server.RequestsTo("/Speed/Server/Report");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/Speed/Server/Report?");
    EXPECT_EQ(requests[0].status, 200);
    EXPECT_EQ(requests[0].body.rfind("code=163000&ts=", 0), 0u);
    EXPECT_EQ(requests[0].Header("Categoryid"), "6");
}

TEST_F(ReportTest, FailedPrimaryIsRetriedOnceAtTheFallbackWithTheSameBody) {
    devserver::DevServer fallback;
    ASSERT_TRUE(fallback.Start({}));
    devserver::Fault notFound;
    notFound.status = 404;
    m_server.SetFault("/Speed/Server/Report", notFound);
    g_serviceBase = m_server.BaseUrl();
    g_serviceFallback = fallback.BaseUrl();

    RunReport(166000);

    const auto first = m_server.RequestsTo("/Speed/Server/Report");
    const auto second = fallback.RequestsTo("/Speed/Server/Report");
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].target, "/Speed/Server/Report");
    EXPECT_EQ(second[0].body, first[0].body);
    EXPECT_EQ(second[0].status, 200);
}

} // namespace
