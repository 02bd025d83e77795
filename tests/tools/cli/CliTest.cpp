// quellan-cli as a black box: a real process against the local service with
// the demo content, with and without faults.
#include "tests/support/Pump.h"
#include "tests/support/ScratchFolder.h"
#include "tests/tools/cli/ProcessRunner.h"
#include "tools/devserver/DevServer.h"
#include "tools/devserver/SampleContent.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <grp.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
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

    std::vector<std::pair<std::string, std::string>> environment() const {
        return {{"QUELLAN_SERVICE_BASE", m_server.BaseUrl()},
                {"QUELLAN_SERVICE_FALLBACK", m_server.BaseUrl()},
                {"HOME", (m_dir / "home").string()},
                {"XDG_CONFIG_HOME", (m_dir / "home" / ".config").string()},
                {"XDG_DATA_HOME", (m_dir / "home" / ".local/share").string()},
                {"XDG_STATE_HOME", (m_dir / "state").string()},
                {"TMPDIR", (m_dir / "tmp").string()}};
    }
    ProcessResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), std::string(QUELLAN_BINARY_DIR) + "/quellan-cli");
        return runProcess(args, environment());
    }
    std::vector<std::string> installArgs(const std::string& edition, std::vector<std::string> extra) const {
        std::vector<std::string> args{std::string(QUELLAN_BINARY_DIR) + "/quellan-cli",
                                      "install",
                                      "--edition",
                                      edition,
                                      "--path",
                                      installDir().string() + "/"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    ProcessResult install(const std::string& edition = "birch", std::vector<std::string> extra = {}) {
        return runProcess(installArgs(edition, std::move(extra)), environment());
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
    // With the engine's debug output, a failure shows which file failed
    // and why.
    auto debug = environment();
    debug.emplace_back("QUELLAN_DEBUG", "1");
    ProcessResult r = runProcess(installArgs("birch", {}), debug);
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
    EXPECT_EQ(readText(m_dir / "home/.local/share/applications/tolvar-realms.desktop"), shortcut);

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

// The command-line installer runs the same checks as the window: an answer
// that is not authentic, or a configuration older than one accepted before,
// stops it before anything is fetched.
TEST_F(CliTest, AnswersThatAreNotAuthenticOrRolledBackExit1) {
    devserver::Fault unsignedAnswer;
    unsignedAnswer.unsignedAnswer = true;
    m_server.SetFault("/Speed/Config/checkVersion", unsignedAnswer);
    ProcessResult r = install();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("检查更新失败，请下载最新版本！"), std::string::npos) << r.err;
    m_server.ClearFaults();

    m_server.SetSerial(3);
    r = cli({"check"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    m_server.SetSerial(2);
    r = install();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("配置数据获取失败！"), std::string::npos) << r.err;
    EXPECT_EQ(fileGets(), 0);
}

// A list that does not parse is a failed list, not an empty installation
// reported as complete.
TEST_F(CliTest, UnparseableListExits1) {
    for (const char* list : {"<html><body>502 Bad Gateway</body></html>", "[{\"file\": \"WoW.exe\"", "null"}) {
        SCOPED_TRACE(list);
        testsupport::writeBytes(s_content / "birch" / "broken.json", list);
        m_server.SetConfigValue("birch_file_url", "birch/broken.json");
        const ProcessResult r = install();
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("文件列表获取失败！"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("下载结束，安装完成！"), std::string::npos) << r.out;
    }
    fs::remove(s_content / "birch" / "broken.json");
}

// Two installers on one folder: the second stops at once (exit 1) and
// leaves the first to finish its pass.
TEST_F(CliTest, SecondInstallerOnTheSameFolderExits1) {
    devserver::Fault slow;
    slow.delayMs = 2000;
    slow.times = 1;
    m_server.SetFault("/files/birch/WoW.exe", slow);
    const pid_t first = toolstest::startProcess(installArgs("birch", {"--no-shortcut"}), environment());
    ASSERT_GT(first, 0);
    ASSERT_TRUE(testsupport::waitUntil([this] { return fileGets() >= 1; }, std::chrono::seconds(30)));
    m_server.ClearRequests();
    const ProcessResult second = install("birch", {"--no-shortcut"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("该文件夹正在被另一个安装程序使用！"), std::string::npos) << second.err;
    EXPECT_TRUE(m_server.RequestsTo("/files/birch/filelist.json").empty());
    int status = -1;
    ASSERT_EQ(::waitpid(first, &status, 0), first);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(wrongFiles().empty());
    // The folder is free again once the first has ended.
    EXPECT_EQ(install("birch", {"--no-shortcut"}).exitCode, 0);
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

// A list may give its digests in upper case: the files still count as in
// place, so the first run completes and the next one transfers nothing.
TEST_F(CliTest, UpperCaseDigestsInTheListMatchTheirFiles) {
    Json::Value list;
    std::ifstream(s_content / "elm" / "filelist.json") >> list;
    for (Json::Value& entry : list) {
        std::string digest = entry["md5"].asString();
        for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        entry["md5"] = digest;
    }
    const fs::path upperList = s_content / "elm" / "upper-filelist.json";
    std::ofstream(upperList) << list;
    m_server.SetConfigValue("elm_file_url", "elm/upper-filelist.json");

    ProcessResult r = install("elm", {"--no-shortcut"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(wrongFiles("elm").empty());
    m_server.ClearRequests();
    r = install("elm", {"--no-shortcut"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(fileGets("elm"), 0);
    fs::remove(upperList);
}

// When no job thread can be made at all, the run ends with an error instead
// of waiting for ever for a job that never ran.
TEST_F(CliTest, AJobThatCannotStartEndsTheRunWithAnError) {
    auto environment = this->environment();
    environment.emplace_back("ASAN_OPTIONS", "detect_leaks=0"); // leak checking at exit needs a thread
    const ProcessResult r = runProcess(
        installArgs("birch", {}), environment,
        [] {
            // No new thread for this user (root is exempt from the
            // limit, so the child becomes nobody first).
            if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(120);
            const rlimit none{0, 0};
            if (::setrlimit(RLIMIT_NPROC, &none) != 0) ::_exit(121);
        },
        60000);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("a job thread could not be started"), std::string::npos) << r.err;
    EXPECT_TRUE(m_server.Requests().empty());
}

// A crash in the middle of a pass loses nothing. The installer is killed
// (SIGKILL) at several moments of passes with large files on the way; each
// time no file under its real name differs from its digest, and a last run
// completes, fetches exactly what was still missing and leaves no part file.
TEST_F(CliTest, KilledPassesLeaveOnlyCompleteFilesAndTheNextRunFetchesTheRest) {
    const auto files = listedFiles(s_content / "birch" / "filelist.json");
    devserver::Fault slow;
    slow.rate = 1 << 20; // the large files take seconds each
    std::vector<std::string> large;
    for (const auto& [file, digest] : files) {
        if (file.find(".MPQ") == std::string::npos) continue;
        large.push_back(file);
        m_server.SetFault("/files/birch/" + file, slow);
    }
    ASSERT_FALSE(large.empty());
    const auto partFiles = [this] {
        std::vector<std::string> parts;
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(installDir(), ec))
            if (e.path().extension() == ".quellan-part") parts.push_back(e.path().string());
        return parts;
    };
    // The server has begun to send one of them in this run.
    const auto largeInFlight = [&] {
        for (const std::string& file : large)
            if (!m_server.RequestsTo("/files/birch/" + file).empty()) return true;
        return false;
    };
    struct Moment {
        const char* name;
        std::function<bool()> reached;
    } moments[] = {
        {"first file requested", [this] { return fileGets() >= 1; }},
        {"a large file on its way", largeInFlight},
        {"twenty files requested", [this] { return fileGets() >= 20; }},
        {"a large file on its way again", largeInFlight},
    };
    for (const Moment& moment : moments) {
        SCOPED_TRACE(moment.name);
        m_server.ClearRequests();
        const pid_t pid = toolstest::startProcess(installArgs("birch", {"--no-shortcut"}), environment());
        ASSERT_GT(pid, 0);
        int status = 0;
        bool ended = false;
        for (int waited = 0; waited < 60000 && !moment.reached(); waited += 2) {
            if ((ended = ::waitpid(pid, &status, WNOHANG) == pid)) break;
            ::usleep(2000);
        }
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        for (const auto& [file, digest] : files) {
            const fs::path path = installDir() / file;
            if (fs::exists(path)) {
                EXPECT_EQ(devserver::FileMd5(path.string()), digest) << file;
            }
        }
    }

    const std::size_t missing = wrongFiles().size();
    EXPECT_GT(missing, 0u);
    // Requests of the killed runs may still be queued in the server: a fresh
    // start lets none of them count for the last run.
    m_server.Stop();
    m_server.ClearFaults();
    m_server.ClearRequests();
    devserver::Options options;
    options.contentDir = s_content.string();
    ASSERT_TRUE(m_server.Start(options));
    const ProcessResult r = install("birch", {"--no-shortcut"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(wrongFiles().empty());
    EXPECT_EQ(static_cast<std::size_t>(fileGets()), missing);
    EXPECT_EQ(partFiles(), std::vector<std::string>{});
}

TEST_F(CliTest, ARunKilledMidWriteLeavesPartsTheNextRunContinues) {
    devserver::Fault slow;
    slow.rate = 1 << 20; // the large files take seconds each
    for (const auto& [file, digest] : listedFiles(s_content / "birch" / "filelist.json")) {
        if (file.find(".MPQ") != std::string::npos) m_server.SetFault("/files/birch/" + file, slow);
    }
    constexpr std::uintmax_t kEnough = 3 << 19; // 1.5 MiB: more than a part needs to be continued
    const auto parts = [this] {
        std::map<fs::path, std::uintmax_t> found;
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(installDir(), ec)) {
            if (e.path().extension() != ".quellan-part") continue;
            // A part may be renamed away between the listing and the look at it.
            std::error_code sizeError;
            const std::uintmax_t size = fs::file_size(e.path(), sizeError);
            if (!sizeError) found[e.path()] = size;
        }
        return found;
    };
    const pid_t pid = toolstest::startProcess(installArgs("birch", {"--no-shortcut"}), environment());
    ASSERT_GT(pid, 0);
    const bool reached = testsupport::waitUntil(
        [&] {
            for (const auto& [path, size] : parts())
                if (size >= kEnough) return true;
            return false;
        },
        std::chrono::seconds(120));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(reached);

    // What the kill left: parts of at least 1 MiB with their record are to be
    // continued from exactly their length.
    std::map<std::string, std::uintmax_t> kept; // file → part length
    for (const auto& [path, size] : parts()) {
        const fs::path record = path.parent_path() / ("." + path.filename().string() + ".resume");
        if (size < (1u << 20) || !fs::exists(record)) continue;
        std::string file = fs::relative(path, installDir()).generic_string();
        kept[file.substr(0, file.size() - std::string(".quellan-part").size())] = size;
    }
    if (kept.empty()) {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(installDir(), ec)) ADD_FAILURE() << e.path();
    }
    ASSERT_FALSE(kept.empty());

    // A fresh server on the same address: a part is only ever continued
    // from the address it came from.
    const int port = m_server.Port();
    m_server.Stop();
    m_server.ClearFaults();
    m_server.ClearRequests();
    devserver::Options options;
    options.contentDir = s_content.string();
    options.port = port;
    ASSERT_TRUE(m_server.Start(options));
    std::map<std::string, std::int64_t> sentBefore;
    for (const auto& [file, size] : kept) sentBefore[file] = m_server.BodyBytesSent("/files/birch/" + file);
    const ProcessResult r = install("birch", {"--no-shortcut", "--stats"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(wrongFiles().empty());
    std::uintmax_t resumed = 0;
    for (const auto& [file, size] : kept) {
        SCOPED_TRACE(file);
        const auto asked = m_server.RequestsTo("/files/birch/" + file);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].Header("Range"), "bytes=" + std::to_string(size) + "-");
        EXPECT_EQ(asked[0].status, 206);
        EXPECT_EQ(m_server.BodyBytesSent("/files/birch/" + file) - sentBefore[file],
                  static_cast<std::int64_t>(fs::file_size(installDir() / file) - size));
        resumed += size;
    }
    EXPECT_NE(r.err.find("resumed-bytes " + std::to_string(resumed) + ","), std::string::npos) << r.err;
    EXPECT_TRUE(parts().empty());
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(installDir(), ec))
        EXPECT_NE(e.path().extension(), ".resume") << e.path(); // no record outlives its part
}

TEST_F(CliTest, PublishedMapsLetTheNextReleasePatchTheChangedFiles) {
    // A release folder of our own, published with quellan-publish and served.
    const fs::path release = m_dir / "content" / "birch";
    fs::create_directories(release.parent_path());
    fs::copy(s_content / "birch", release, fs::copy_options::recursive);
    const fs::path list = release / "filelist.json";
    auto publish = [&] {
        return runProcess(
            {std::string(QUELLAN_BINARY_DIR) + "/quellan-publish", release.string(), "--list", list.string()},
            environment());
    };
    ProcessResult p = publish();
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_NE(p.out.find("list sha256: "), std::string::npos) << p.out;
    m_server.Stop();
    devserver::Options options;
    options.contentDir = (m_dir / "content").string();
    ASSERT_TRUE(m_server.Start(options));
    ASSERT_EQ(install("birch", {"--no-shortcut"}).exitCode, 0);

    // The next release changes 5000 bytes in every large file.
    std::vector<std::string> large;
    for (const auto& e : fs::recursive_directory_iterator(release)) {
        if (!e.is_regular_file() || e.path().extension() == ".qbm" || e.file_size() < (1u << 20)) continue;
        large.push_back(fs::relative(e.path(), release).generic_string());
        std::fstream f(e.path(), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(100000);
        f << std::string(5000, 'n');
    }
    ASSERT_FALSE(large.empty());
    p = publish();
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_NE(p.out.find("maps: " + std::to_string(large.size()) + " written"), std::string::npos) << p.out;
    std::map<std::string, std::int64_t> sentBefore;
    for (const auto& file : large) sentBefore[file] = m_server.BodyBytesSent("/files/birch/" + file);

    const ProcessResult r = install("birch", {"--no-shortcut", "--stats"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const auto& [file, digest] : listedFiles(list))
        EXPECT_EQ(devserver::FileMd5((installDir() / file).string()), digest) << file;
    EXPECT_NE(r.err.find("patched-files " + std::to_string(large.size()) + ","), std::string::npos) << r.err;
    for (const auto& file : large) {
        SCOPED_TRACE(file);
        // The changed bytes and at most the two blocks (of at most 64 KiB) they touch.
        const std::int64_t sent = m_server.BodyBytesSent("/files/birch/" + file) - sentBefore[file];
        EXPECT_GE(sent, 5000);
        EXPECT_LE(sent, 5000 + 2 * 65536);
        EXPECT_FALSE(fs::exists(installDir() / (file + ".quellan-part")));
    }
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
