// quellan-cli as a black box: a real process against the local service with
// the demo content, with and without faults.
#include "tests/support/ScratchFolder.h"
#include "tests/tools/cli/ProcessRunner.h"
#include "tools/devserver/DevServer.h"
#include "tools/devserver/SampleContent.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

namespace {

namespace fs = std::filesystem;
using toolstest::ProcessResult;
using toolstest::runProcess;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The edition's list entries (path with "/", digest), without the folder the
// installer skips.
std::map<std::string, std::string> listedFiles(const fs::path& list) {
    Json::Value root;
    std::ifstream in(list);
    in >> root;
    std::map<std::string, std::string> files;
    for (const auto& entry : root) {
        std::string file = entry["file"].asString();
        if (file.find("World of Warcraft\\Data") != std::string::npos) continue;
        std::replace(file.begin(), file.end(), '\\', '/');
        files[file] = entry["md5"].asString();
    }
    return files;
}

class CliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_contentFolder = std::make_unique<testsupport::ScratchFolder>();
        s_content = s_contentFolder->path();
        devserver::ContentSummary summary;
        std::string error;
        ASSERT_TRUE(devserver::MakeSampleContent(s_content.string(), summary, error)) << error;
    }
    static void TearDownTestSuite() { s_contentFolder.reset(); }

    void SetUp() override {
        m_dir = m_folder.path();
        fs::create_directories(m_dir / "home" / "Desktop");
        fs::create_directories(m_dir / "tmp");
        devserver::Options options;
        options.contentDir = s_content.string();
        std::string error;
        ASSERT_TRUE(m_server.Start(options, &error)) << error;
    }
    void TearDown() override { m_server.Stop(); }

    ProcessResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), std::string(QUELLAN_BINARY_DIR) + "/quellan-cli");
        return runProcess(args, {{"QUELLAN_SERVICE_BASE", m_server.BaseUrl()},
                                 {"QUELLAN_SERVICE_FALLBACK", m_server.BaseUrl()},
                                 {"HOME", (m_dir / "home").string()},
                                 {"XDG_CONFIG_HOME", (m_dir / "home" / ".config").string()},
                                 {"TMPDIR", (m_dir / "tmp").string()}});
    }
    ProcessResult install(const std::string& edition = "birch", std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"install", "--edition", edition, "--path", installDir().string() + "/"};
        args.insert(args.end(), extra.begin(), extra.end());
        return cli(args);
    }
    fs::path installDir() const { return m_dir / "games" / "Tolvar birch 中文"; }
    // Files of the list that are missing or differ locally.
    std::vector<std::string> wrongFiles(const std::string& edition = "birch") const {
        std::vector<std::string> wrong;
        for (const auto& [file, digest] : listedFiles(s_content / edition / "filelist.json")) {
            if (devserver::FileMd5((installDir() / file).string()) != digest) wrong.push_back(file);
        }
        return wrong;
    }
    int fileGets(const std::string& edition = "birch") const {
        int n = 0;
        for (const auto& r : m_server.Requests())
            n += r.path.rfind("/files/" + edition + "/", 0) == 0 && r.path.find("filelist.json") == std::string::npos;
        return n;
    }

    static std::unique_ptr<testsupport::ScratchFolder> s_contentFolder;
    static fs::path s_content;
    testsupport::ScratchFolder m_folder;
    fs::path m_dir;
    devserver::DevServer m_server;
};

std::unique_ptr<testsupport::ScratchFolder> CliTest::s_contentFolder;
fs::path CliTest::s_content;

TEST_F(CliTest, CheckPrintsVersionAnswerAndConfiguration) {
    const ProcessResult r = cli({"check"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("version: {"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"check_code\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("birch_downloadurl_prefix = " + m_server.BaseUrl() + "/files/birch/"), std::string::npos)
        << r.out;
}

TEST_F(CliTest, ServiceFailureGivesTheWindowTextAndExit1) {
    devserver::Fault fault;
    fault.status = 500;
    m_server.SetFault("/Speed/Config/getConfig", fault);
    const ProcessResult r = cli({"check"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("配置数据获取失败！"), std::string::npos) << r.err;
    EXPECT_EQ(m_server.RequestsTo("/Speed/Config/getConfig").size(), 2u); // primary, then fallback
}

TEST_F(CliTest, InstallPutsEveryFileInPlaceAndASecondRunTransfersNothing) {
    ProcessResult r = install();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("下载结束，安装完成！"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("正在下载，剩余"), std::string::npos) << r.err;
    EXPECT_TRUE(wrongFiles().empty());
    EXPECT_GT(fileGets(), 50);
    EXPECT_FALSE(fs::exists(installDir() / "客户端2（两个客户端都要下载）1"));
    const auto reports = m_server.RequestsTo("/Speed/Server/Report");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].body.rfind("code=163000&ts=", 0), 0u);
    const std::string shortcut = readText(m_dir / "home" / "Desktop" / "Tolvar Realms.desktop");
    EXPECT_NE(shortcut.find("Exec=wine \"" + installDir().string() + "/WoW.exe\""), std::string::npos) << shortcut;

    m_server.ClearRequests();
    r = install();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(fileGets(), 0);
}

TEST_F(CliTest, FailedFilesExit2UntilALaterPassRepairsThem) {
    devserver::Fault fault;
    fault.status = 503;
    m_server.SetFault("/files/birch/Data/empty.dat", fault);
    ProcessResult r = install("birch", {"--no-shortcut"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("下载结束，有部分文件下载失败，请再次点击开始下载按钮！"), std::string::npos) << r.err;
    EXPECT_EQ(wrongFiles(), (std::vector<std::string>{"Data/empty.dat"}));
    EXPECT_FALSE(fs::exists(m_dir / "home" / "Desktop" / "Tolvar Realms.desktop"));

    // One failing answer, then a good one: the second pass of the same run
    // fetches only that file.
    fault.times = 1;
    m_server.SetFault("/files/birch/Data/empty.dat", fault);
    m_server.ClearRequests();
    r = install("birch", {"--passes", "3", "--no-shortcut"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(wrongFiles().empty());
    EXPECT_EQ(fileGets(), 2);
    EXPECT_EQ(m_server.RequestsTo("/files/birch/filelist.json").size(), 2u);
}

TEST_F(CliTest, CorruptOrCutTransfersAreNeverReportedAsInstalled) {
    const auto files = listedFiles(s_content / "birch" / "filelist.json");
    std::string big;
    for (const auto& [file, digest] : files) {
        if (file.find(".MPQ") != std::string::npos) big = file;
    }
    ASSERT_FALSE(big.empty());
    devserver::Fault corrupt;
    corrupt.corrupt = true;
    m_server.SetFault("/files/birch/WoW.exe", corrupt);
    devserver::Fault cut;
    cut.truncateAt = 1 << 20;
    m_server.SetFault("/files/birch/" + big, cut);
    const ProcessResult r = install("birch", {"--no-shortcut"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(wrongFiles(), (std::vector<std::string>{big, "WoW.exe"}));
    EXPECT_FALSE(fs::exists(installDir() / "WoW.exe"));
    EXPECT_FALSE(fs::exists(installDir() / big));
}

TEST_F(CliTest, NewerVersionStopsWithTheOffer) {
    m_server.SetVersion("21", m_server.BaseUrl() + "/files/update/quellan");
    const ProcessResult r = install();
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("发现新版本，请更新后使用！"), std::string::npos) << r.err;
    EXPECT_TRUE(m_server.RequestsTo("/Speed/Config/getConfig").empty());
    EXPECT_EQ(fileGets(), 0);
}

TEST_F(CliTest, MissingFileListExits1) {
    m_server.SetConfigValue("birch_file_url", "birch/no-such-list.json");
    const ProcessResult r = install();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("文件列表获取失败！"), std::string::npos) << r.err;
}

TEST_F(CliTest, VerifyListsMissingAndDifferingFiles) {
    ASSERT_EQ(install("elm", {"--no-shortcut"}).exitCode, 0);
    ProcessResult r = cli({"verify", "--edition", "elm", "--path", installDir().string()});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    m_server.ClearRequests();

    std::ofstream(installDir() / "Wow.exe", std::ios::app) << "x";
    fs::remove(installDir() / "Data" / "empty.dat");
    r = cli({"verify", "--edition", "elm", "--path", installDir().string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("differs: Wow.exe\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("missing: Data\\empty.dat\n"), std::string::npos) << r.out;
    EXPECT_EQ(fileGets("elm"), 0); // verification fetches nothing
    EXPECT_TRUE(m_server.RequestsTo("/Speed/Server/Report").empty());
}

TEST_F(CliTest, BadArgumentsExit1WithUsage) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"install", "--edition", "oak", "--path", "/x"}, {"install", "--edition", "birch"}, {"frobnicate"}, {}}) {
        const ProcessResult r = cli(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("Usage: quellan-cli"), std::string::npos);
    }
}

} // namespace
