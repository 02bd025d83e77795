// Download workers against a real local server: verification, replacement,
// failures, the skipped folder, addresses, several workers, unsafe entries,
// the post-download digest check and the temporary name.
#include "engine/DownloadWorker.h"
#include "engine/EngineEvents.h"
#include "engine/HttpClient.h"
#include "engine/PointerArg.h"
#include "engine/SafePath.h"
#include "platform/system/Text.h"
#include "tests/engine/EngineTestSupport.h"
#include "util/Text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

std::string md5(const std::string& text) { return CMd5A().GetMd5String(text); }

// Keeps a copy of every progress record as it was when its event was posted.
class RecordingEvents : public IEngineEvents {
public:
    void OnDownloadProgress(EventArg a1, EventArg a2) override {
        ProgressValues v = ArgPointer<const CProgressRecord>(a2)->Snapshot();
        std::lock_guard lock(m_lock);
        EXPECT_EQ(v.threadId, a1);
        m_progress.push_back(std::move(v));
    }
    void OnDownloadThreadEnd(EventArg a1, EventArg a2) override {
        std::lock_guard lock(m_lock);
        m_ends.emplace_back(a1, a2);
    }
    std::vector<int> statesOf(const std::wstring& file) const {
        std::lock_guard lock(m_lock);
        std::vector<int> states;
        for (const auto& v : m_progress) {
            if (v.fileName == file && (states.empty() || states.back() != v.state)) states.push_back(v.state);
        }
        return states;
    }
    std::vector<ProgressValues> progress() const {
        std::lock_guard lock(m_lock);
        return m_progress;
    }
    std::vector<std::pair<EventArg, EventArg>> ends() const {
        std::lock_guard lock(m_lock);
        return m_ends;
    }

private:
    mutable std::mutex m_lock;
    std::vector<ProgressValues> m_progress;
    std::vector<std::pair<EventArg, EventArg>> m_ends;
};

class DownloadWorkerTest : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        m_install = m_dir / "install/";
        fs::create_directories(m_install);
        m_pass.queue = &m_queue;
        m_pass.failed = &m_failed;
        m_pass.installDir = platform::fromUtf8(m_install);
        m_pass.prefix = url("/files/birch/");
        m_pass.endWaitMs = 0;
    }

    // Puts a file on the server and its entry in the queue.
    void serve(const std::string& file, const std::string& text, std::string digest = "-") {
        std::string path = file;
        std::replace(path.begin(), path.end(), '\\', '/');
        writeFile(content("birch/" + path), text);
        m_queue.Push({file, digest == "-" ? md5(text) : digest});
    }
    std::string local(const std::string& path) const { return m_install + path; }
    void run(std::uint32_t edition = 3) { RunDownloadWorker(m_pass, 77, edition, m_events); }
    int gets(const std::string& path) const { return int(m_server.RequestsTo("/files/birch/" + path).size()); }
    // Every file name below the installation folder.
    std::set<std::string> installed() const {
        std::set<std::string> names;
        for (auto& e : fs::recursive_directory_iterator(m_install)) {
            if (e.is_regular_file()) names.insert(fs::relative(e.path(), m_install).generic_string());
        }
        return names;
    }

    std::string m_install;
    CDownloadQueue m_queue;
    std::atomic<bool> m_failed{false};
    DownloadPass m_pass;
    RecordingEvents m_events;
};

TEST_F(DownloadWorkerTest, CorrectFileIsOnlyCheckedAndWrongFileIsReplaced) {
    serve("good.bin", patternBytes(5000));
    serve("Data\\bad.bin", patternBytes(7000));
    writeFile(local("good.bin"), patternBytes(5000));
    writeFile(local("Data/bad.bin"), "stale content");

    run();

    EXPECT_EQ(m_events.statesOf(L"good.bin"), (std::vector<int>{kStateChecking, kStateVerified}));
    EXPECT_EQ(gets("good.bin"), 0);
    EXPECT_EQ(m_events.statesOf(L"Data\\bad.bin"),
              (std::vector<int>{kStateChecking, kStateDownloading, kStateDownloaded}));
    EXPECT_EQ(readFile(local("Data/bad.bin")), patternBytes(7000));
    EXPECT_FALSE(m_failed);
    // States other than downloading show the file complete.
    const auto last = m_events.progress().back();
    EXPECT_EQ(last.state, kStateDownloaded);
    EXPECT_EQ(last.total, 1);
    EXPECT_EQ(last.received, 1);
    EXPECT_EQ(last.speed, 0);
    ASSERT_EQ(m_events.ends().size(), 1u);
    EXPECT_EQ(m_events.ends()[0], (std::pair<EventArg, EventArg>(77, 3)));
}

TEST_F(DownloadWorkerTest, FailedTransferLeavesNoFileAndSetsTheFlag) {
    m_queue.Push({"gone.bin", md5("whatever")});
    writeFile(local("gone.bin"), "wrong content");
    serve("later.bin", "fine");

    run();

    EXPECT_TRUE(m_failed);
    EXPECT_EQ(gets("gone.bin"), 1);
    EXPECT_EQ(installed(), (std::set<std::string>{"later.bin"})); // the worker went on
    EXPECT_EQ(m_events.statesOf(L"gone.bin"), (std::vector<int>{kStateChecking, kStateDownloading}));
}

TEST_F(DownloadWorkerTest, SkippedFolderProducesNoEventAndNoTransfer) {
    serve("客户端2（两个客户端都要下载）1\\World of Warcraft\\Data\\x.MPQ", "x");
    serve("Data\\客户端2（两个客户端都要下载）1\\World of Warcraft\\Data\\y.MPQ", "y");
    serve("客户端2（两个客户端都要下载）1/World of Warcraft/Data/z.MPQ", "z"); // "/" separates too
    run();
    EXPECT_TRUE(m_events.progress().empty());
    EXPECT_TRUE(
        m_server.RequestsTo("/files/birch/客户端2（两个客户端都要下载）1/World of Warcraft/Data/x.MPQ").empty());
    EXPECT_TRUE(installed().empty());
    EXPECT_FALSE(m_failed);
    EXPECT_EQ(m_events.ends().size(), 1u);
}

TEST_F(DownloadWorkerTest, BackslashPathBecomesEscapedAddressWithTick) {
    serve("Data\\sub dir\\my-file_1.bin", "abc");
    run();
    const auto requests = m_server.RequestsTo("/files/birch/Data/sub dir/my-file_1.bin");
    ASSERT_EQ(requests.size(), 1u);
    const std::string target = requests[0].target;
    const std::string expected = "/files/birch/Data/sub%20dir/my%2Dfile%5F1.bin?r=";
    ASSERT_EQ(target.substr(0, expected.size()), expected);
    const std::string tick = target.substr(expected.size());
    EXPECT_FALSE(tick.empty());
    EXPECT_EQ(tick.find_first_not_of("0123456789"), std::string::npos) << target;
    EXPECT_EQ(readFile(local("Data/sub dir/my-file_1.bin")), "abc");
}

TEST_F(DownloadWorkerTest, EmptyQueueStillWaitsThenEnds) {
    m_pass.endWaitMs = 1000;
    const auto start = std::chrono::steady_clock::now();
    run(6);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(1000));
    ASSERT_EQ(m_events.ends().size(), 1u);
    EXPECT_EQ(m_events.ends()[0].second, 6u);
    EXPECT_TRUE(m_events.progress().empty());
}

TEST_F(DownloadWorkerTest, FourWorkersTakeEveryItemExactlyOnce) {
    const int kFiles = 60;
    for (int i = 0; i < kFiles; ++i) serve("f\\" + std::to_string(i) + ".bin", patternBytes(1000 + i * 37));
    std::vector<std::thread> workers;
    for (std::uint32_t id = 1; id <= 4; ++id)
        workers.emplace_back([this, id] { RunDownloadWorker(m_pass, id, 3, m_events); });
    for (auto& w : workers) w.join();
    EXPECT_FALSE(m_failed);
    EXPECT_EQ(m_events.ends().size(), 4u);
    EXPECT_EQ(installed().size(), std::size_t(kFiles));
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_EQ(gets("f/" + std::to_string(i) + ".bin"), 1) << i;
        EXPECT_EQ(readFile(local("f/" + std::to_string(i) + ".bin")), patternBytes(1000 + i * 37));
    }
}

// Workers that meet a missing folder at once each make or find it: none may
// take the folder another just made for something it must not open.
TEST(EntryFolderTest, FoldersMadeByManyWorkersAtOnceAreOpenedByEach) {
    const fs::path root = fs::path(::testing::TempDir()) / ("entry-folders-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(rootFd, 0);
    constexpr int kWorkers = 6, kRounds = 300;
    std::atomic<int> failures{0};
    for (int round = 0; round < kRounds; ++round) {
        const std::vector<std::string> parents{"r" + std::to_string(round), "a", "b"};
        std::atomic<int> ready{0};
        std::vector<std::thread> workers;
        for (int w = 0; w < kWorkers; ++w)
            workers.emplace_back([&] {
                ready.fetch_add(1);
                while (ready.load() < kWorkers) std::this_thread::yield();
                const int fd = openEntryFolder(rootFd, parents);
                if (fd < 0)
                    failures.fetch_add(1);
                else
                    ::close(fd);
            });
        for (auto& worker : workers) worker.join();
    }
    ::close(rootFd);
    fs::remove_all(root);
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(DownloadWorkerTest, EntriesLeavingTheFolderAreNeverWritten) {
    const fs::path outside = m_dir.path() / "outside.txt";
    writeFile(content("outside.txt"), "escaped");
    m_queue.Push({"..\\outside.txt", md5("escaped")});
    m_queue.Push({"Data\\..\\..\\outside.txt", md5("escaped")});
    m_queue.Push({outside.string(), md5("escaped")});
    m_queue.Push({"C:\\outside.txt", md5("escaped")});
    serve("inside.txt", "kept");

    run();

    EXPECT_TRUE(m_failed);
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_EQ(installed(), (std::set<std::string>{"inside.txt"}));
    EXPECT_TRUE(m_server.RequestsTo("/files/outside.txt").empty());
    EXPECT_EQ(m_server.Requests().size(), 1u);
}

// Links inside the folder (to a folder or a file outside it) never lead the
// installer outside: each link is removed, never its target, and the file is
// fetched into its place. Both ways of opening are covered: openat2 and the
// component walk for kernels without it.
TEST_F(DownloadWorkerTest, LinksInsideTheFolderNeverLeadOutside) {
    for (bool walkOnly : {false, true}) {
        SCOPED_TRACE(walkOnly);
        g_openBeneathWalkOnly = walkOnly;
        fs::remove_all(m_install);
        fs::create_directories(m_install);
        const fs::path outside = m_dir / ("outside" + std::to_string(walkOnly));
        writeFile((outside / "a.bin").string(), "precious a");
        writeFile((outside / "b.bin").string(), patternBytes(3000)); // what the list expects, but elsewhere
        fs::create_directory_symlink(outside, local("Data"));
        fs::create_symlink(outside / "b.bin", local("WoW.exe"));
        fs::create_directories(local("Sub"));
        fs::create_directory_symlink(outside, local("Sub/Deep"));
        serve("Data\\a.bin", patternBytes(5000));
        serve("WoW.exe", patternBytes(3000));
        serve("Sub\\Deep\\c.bin", "c");

        run();

        g_openBeneathWalkOnly = false;
        EXPECT_FALSE(m_failed);
        EXPECT_TRUE(readFile((outside / "a.bin").string()) == "precious a");
        EXPECT_TRUE(readFile((outside / "b.bin").string()) == patternBytes(3000));
        EXPECT_FALSE(fs::exists(outside / "c.bin"));
        EXPECT_FALSE(fs::is_symlink(local("Data")));
        EXPECT_FALSE(fs::is_symlink(local("WoW.exe")));
        EXPECT_FALSE(fs::is_symlink(local("Sub/Deep")));
        EXPECT_TRUE(readFile(local("Data/a.bin")) == patternBytes(5000));
        EXPECT_TRUE(readFile(local("WoW.exe")) == patternBytes(3000));
        EXPECT_EQ(readFile(local("Sub/Deep/c.bin")), "c");
    }
}

// Someone who can write into the folder keeps planting a link under the
// part's name, aiming at a file outside: the download never goes through it.
// A pass may fail that file; the next one puts it in place.
TEST_F(DownloadWorkerTest, PartNameReplantedAsALinkNeverReceivesTheDownload) {
    const std::string victim = m_dir / "victim.txt";
    writeFile(victim, "precious");
    const std::string part = local("big.bin.quellan-part");
    std::atomic<bool> stop{false};
    std::thread planter([&] {
        while (!stop) {
            ::symlink(victim.c_str(), part.c_str());
            std::this_thread::yield();
        }
    });
    int failedPasses = 0;
    for (int round = 0; round < 20; ++round) {
        fs::remove(local("big.bin"));
        m_failed = false;
        serve("big.bin", patternBytes(200000));
        run();
        failedPasses += m_failed ? 1 : 0;
        if (fs::exists(local("big.bin"))) {
            EXPECT_TRUE(readFile(local("big.bin")) == patternBytes(200000));
        }
    }
    stop = true;
    planter.join();
    EXPECT_TRUE(readFile(victim) == "precious");
    EXPECT_TRUE(fs::is_symlink(part) || !fs::exists(part));
    fs::remove(part);
    m_failed = false;
    serve("big.bin", patternBytes(200000));
    run();
    EXPECT_FALSE(m_failed);
    EXPECT_TRUE(readFile(local("big.bin")) == patternBytes(200000));
    RecordProperty("failedPasses", failedPasses);
}

TEST_F(DownloadWorkerTest, DownloadedFileIsCheckedBeforeItCounts) {
    serve("corrupt.bin", patternBytes(4000));
    devserver::Fault corrupt;
    corrupt.corrupt = true;
    m_server.SetFault("/files/birch/corrupt.bin", corrupt);
    // Without an expected digest a fetched file is kept as it came; a
    // missing one counts as verified (both digests empty) and is not fetched.
    serve("nodigest.bin", "anything goes", "");
    writeFile(local("nodigest.bin"), "older");
    serve("absent-nodigest.bin", "never fetched", "");
    serve("wrongdigest.bin", "served", md5("expected"));

    run();

    EXPECT_TRUE(m_failed);
    EXPECT_EQ(installed(), (std::set<std::string>{"nodigest.bin"}));
    EXPECT_EQ(readFile(local("nodigest.bin")), "anything goes");
    EXPECT_EQ(gets("absent-nodigest.bin"), 0);
    EXPECT_EQ(m_events.statesOf(L"absent-nodigest.bin"), (std::vector<int>{kStateChecking, kStateVerified}));
    EXPECT_EQ(m_events.statesOf(L"corrupt.bin"), (std::vector<int>{kStateChecking, kStateDownloading}));
}

TEST_F(DownloadWorkerTest, TransferWritesATemporaryNameUntilComplete) {
    // A slow transfer: while it runs the real name does not exist.
    serve("Data\\slow.bin", patternBytes(1024 * 1024)); // several pieces, with a stall between each
    devserver::Fault slow;
    slow.stallMs = 300;
    m_server.SetFault("/files/birch/Data/slow.bin", slow);
    std::thread worker([this] { run(); });
    EXPECT_TRUE(waitUntil([&] { return fs::exists(local("Data/slow.bin.quellan-part")); }));
    EXPECT_FALSE(fs::exists(local("Data/slow.bin")));
    worker.join();
    EXPECT_EQ(readFile(local("Data/slow.bin")), patternBytes(1024 * 1024));
    EXPECT_FALSE(fs::exists(local("Data/slow.bin.quellan-part")));

    // A transfer cut off leaves neither the real name nor the temporary one,
    // and an older file of that name is gone as well (it did not match).
    serve("cut.bin", patternBytes(300000));
    writeFile(local("cut.bin"), "old");
    devserver::Fault cut;
    cut.truncateAt = 100000;
    m_server.SetFault("/files/birch/cut.bin", cut);
    run();
    EXPECT_TRUE(m_failed);
    EXPECT_FALSE(fs::exists(local("cut.bin")));
    EXPECT_FALSE(fs::exists(local("cut.bin.quellan-part")));
}

TEST_F(DownloadWorkerTest, ProgressEventsAreCoalescedButFinalStatesArrive) {
    serve("big.bin", patternBytes(2 << 20));
    devserver::Fault rate;
    rate.rate = 4 << 20; // half a second
    m_server.SetFault("/files/birch/big.bin", rate);
    const auto start = std::chrono::steady_clock::now();
    run();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const auto events = m_events.progress();
    int during = 0;
    std::int64_t lastReceived = -1;
    for (const auto& v : events) {
        if (v.state != kStateDownloading) continue;
        ++during;
        EXPECT_GE(v.received, lastReceived); // never torn or going backwards
        lastReceived = v.received;
    }
    EXPECT_GE(during, 3);                   // the bar moves
    EXPECT_LE(during, ms.count() / 50 + 2); // at most one per 50 ms
    EXPECT_EQ(events.back().state, kStateDownloaded);
}

} // namespace

namespace {

TEST_F(DownloadWorkerTest, DeadConnectionIsGivenUpInsteadOfHangingThePass) {
    serve("dead.bin", patternBytes(300000));
    devserver::Fault stall;
    stall.delayMs = 30000; // the answer never comes in time
    m_server.SetFault("/files/birch/dead.bin", stall);
    serve("after.bin", "next");
    g_downloadStallSeconds = 3; // the next file must not look stalled on a loaded machine
    const auto start = std::chrono::steady_clock::now();
    run();
    g_downloadStallSeconds = 60;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(m_failed);
    EXPECT_EQ(installed(), (std::set<std::string>{"after.bin"}));
}

} // namespace

namespace {

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

TEST_F(DownloadWorkerTest, DigestsMatchInEitherLetterCaseAndAnEmptyOneKeepsItsRule) {
    serve("in place.bin", patternBytes(3000), upper(md5(patternBytes(3000))));
    writeFile(local("in place.bin"), patternBytes(3000));
    serve("fetched.bin", patternBytes(4000), upper(md5(patternBytes(4000))));
    m_queue.Push({"absent.bin", ""}); // no digest and no file: in place
    serve("undigested.bin", "new", "");
    writeFile(local("undigested.bin"), "old"); // no digest but a file: fetched, not checked

    run();

    EXPECT_EQ(m_events.statesOf(L"in place.bin"), (std::vector<int>{kStateChecking, kStateVerified}));
    EXPECT_EQ(gets("in place.bin"), 0);
    EXPECT_EQ(m_events.statesOf(L"fetched.bin"),
              (std::vector<int>{kStateChecking, kStateDownloading, kStateDownloaded}));
    EXPECT_EQ(readFile(local("fetched.bin")), patternBytes(4000));
    EXPECT_EQ(m_events.statesOf(L"absent.bin"), (std::vector<int>{kStateChecking, kStateVerified}));
    EXPECT_EQ(readFile(local("undigested.bin")), "new");
    EXPECT_FALSE(m_failed);
}
