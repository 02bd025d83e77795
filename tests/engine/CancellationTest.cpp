// Cancelled jobs stay quiet: once TerminateAllThreads has returned, no job
// posts an event or calls back into its owner, whatever it was doing, and the
// owner may be destroyed at once. Each case parks a job at one point of a
// pass (a request the service never answers, a transfer that stalls, the MD5
// of a large file, the closing wait of a worker) and cancels it there.
#include "engine/CancelFlag.h"
#include "engine/DownloadWorker.h"
#include "engine/EngineEvents.h"
#include "engine/FileListJob.h"
#include "engine/HttpClient.h"
#include "engine/Manifest.h"
#include "engine/MsgDispatch.h"
#include "engine/PointerArg.h"
#include "engine/SelfUpdate.h"
#include "engine/ServiceClient.h"
#include "engine/ServiceConfig.h"
#include "engine/WindowMultiThreadManager.h"
#include "platform/system/Text.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/Pump.h"
#include "util/Text.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

// A service that hangs: accepts connections on 127.0.0.1, reads what comes
// and never answers.
class SilentServer {
public:
    SilentServer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(m_listen, 16) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || ::pipe(m_stop) != 0)
            return;
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~SilentServer() {
        if (m_thread.joinable()) {
            [[maybe_unused]] ssize_t n = ::write(m_stop[1], "x", 1);
            m_thread.join();
        }
        for (int fd : {m_listen, m_stop[0], m_stop[1]})
            if (fd >= 0) ::close(fd);
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
    int connections() const { return m_connections.load(); }

private:
    void serve() {
        std::vector<pollfd> fds{{m_stop[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
        for (;;) {
            if (::poll(fds.data(), fds.size(), -1) < 0) continue;
            if (fds[0].revents) break;
            if (fds[1].revents & POLLIN) {
                int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0) {
                    fds.push_back({client, POLLIN, 0});
                    ++m_connections;
                }
            }
            for (std::size_t i = 2; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                char buffer[4096];
                if (::read(fds[i].fd, buffer, sizeof buffer) <= 0) {
                    ::close(fds[i].fd);
                    fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i--));
                }
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) ::close(fds[i].fd);
    }

    int m_listen = -1;
    int m_stop[2] = {-1, -1};
    int m_port = 0;
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

// Records every event; once closed, every event that still arrives is late.
class Ledger : public IEngineEvents {
public:
#define QUELLAN_LEDGER_EVENT(Name)                                                                                     \
    void Name(EventArg a1, EventArg a2) override {                                                                     \
        note(#Name, a2&& std::string_view(#Name) == "OnDownloadProgress"                                               \
                        ? ArgPointer<const CProgressRecord>(a2)->Snapshot().state                                      \
                        : 0);                                                                                          \
        IEngineEvents::Name(a1, a2);                                                                                   \
    }
    QUELLAN_LEDGER_EVENT(OnCheckVersionResult)
    QUELLAN_LEDGER_EVENT(OnCheckVersionFailed)
    QUELLAN_LEDGER_EVENT(OnGetConfigResult)
    QUELLAN_LEDGER_EVENT(OnGetConfigFailed)
    QUELLAN_LEDGER_EVENT(OnFileListFailed)
    QUELLAN_LEDGER_EVENT(OnShowStatusText)
    QUELLAN_LEDGER_EVENT(OnStartDownload)
    QUELLAN_LEDGER_EVENT(OnDownloadProgress)
    QUELLAN_LEDGER_EVENT(OnDownloadThreadEnd)
    QUELLAN_LEDGER_EVENT(OnSelfUpdateFailed)
#undef QUELLAN_LEDGER_EVENT

    void close() { m_closed = true; }
    std::vector<std::string> late() const {
        std::lock_guard lock(m_lock);
        return m_late;
    }
    bool sawProgressState(int state) const {
        std::lock_guard lock(m_lock);
        return std::find(m_states.begin(), m_states.end(), state) != m_states.end();
    }

private:
    void note(const char* name, int state) {
        std::lock_guard lock(m_lock);
        if (m_closed) {
            m_late.push_back(name);
            return;
        }
        if (std::string_view(name) == "OnDownloadProgress") m_states.push_back(state);
    }

    mutable std::mutex m_lock;
    std::atomic<bool> m_closed{false};
    std::vector<std::string> m_late;
    std::vector<int> m_states;
};

// An owner as the window is one: its events queue member calls on itself,
// which its own thread runs (here the test's, when it asks for a state).
class QueueOwner : public CMsgDispatch<QueueOwner> {
public:
    QueueOwner() : events(*this) {}
    ~QueueOwner() override { DispatchCalls(); } // frees the strings of calls still queued
    void OnCheckVersionResult(EventArg, EventArg a2) { TakeEventText(a2); }
    void OnCheckVersionFailed(EventArg, EventArg a2) { TakeEventWideText(a2); }
    void OnGetConfigResult(EventArg, EventArg) {}
    void OnGetConfigFailed(EventArg, EventArg a2) { TakeEventWideText(a2); }
    void OnFileListFailed(EventArg, EventArg a2) { TakeEventWideText(a2); }
    void OnShowStatusText(EventArg, EventArg a2) { TakeEventWideText(a2); }
    void OnStartDownload(EventArg, EventArg) {}
    void OnDownloadProgress(EventArg, EventArg a2) {
        states.push_back(ArgPointer<const CProgressRecord>(a2)->Snapshot().state);
    }
    void OnDownloadThreadEnd(EventArg, EventArg) {}
    void OnSelfUpdateFailed(EventArg, EventArg) {}

    bool sawProgressState(int state) {
        DispatchCalls();
        return std::find(states.begin(), states.end(), state) != states.end();
    }

    CDispatchEvents<QueueOwner> events;
    std::vector<int> states;
};

// Tells whether a progress event of a state has reached the owner.
using StateProbe = std::function<bool(int state)>;

// Where a job is parked when it is cancelled.
enum class Point { VersionCheck, Configuration, FileList, SelfUpdate, Transfer, Md5OfLargeFile, ClosingWait };

const char* pointName(Point p) {
    switch (p) {
    case Point::VersionCheck:
        return "version check";
    case Point::Configuration:
        return "configuration";
    case Point::FileList:
        return "file list";
    case Point::SelfUpdate:
        return "self-update";
    case Point::Transfer:
        return "transfer";
    case Point::Md5OfLargeFile:
        return "MD5 of a 200 MB file";
    case Point::ClosingWait:
        return "closing wait";
    }
    return "?";
}

const Point kAllPoints[] = {Point::VersionCheck, Point::Configuration,  Point::FileList,   Point::SelfUpdate,
                            Point::Transfer,     Point::Md5OfLargeFile, Point::ClosingWait};

class CancellationTest : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        m_saved = {g_serviceBase, g_serviceFallback, g_configText};
        m_savedPrefix = g_downloadPrefix;
        m_savedEndWait = g_downloadEndWaitMs;
        if (const char* old = std::getenv("TMPDIR")) m_savedTmp = old;
        fs::create_directories(m_dir / "tmp");
        ::setenv("TMPDIR", (m_dir / "tmp").c_str(), 1);
        fs::create_directories(m_dir / "install");
        g_serviceBase = m_silent.url("");
        g_serviceFallback = m_silent.url("");
        g_configText = "{\"filelist_url_prefix\": \"" + m_silent.url("/files/") +
                       "\", \"birch_file_url\": \"birch/filelist.json\"}";
        g_downloadPrefix.fill(url("/files/birch/"));
        g_installDir = platform::fromUtf8((m_dir / "install/").string());
        g_downloadQueue.Clear();
    }
    void TearDown() override {
        SetEngineEvents(nullptr);
        g_serviceBase = m_saved[0];
        g_serviceFallback = m_saved[1];
        g_configText = m_saved[2];
        g_downloadPrefix = m_savedPrefix;
        g_downloadEndWaitMs = m_savedEndWait;
        g_downloadQueue.Clear();
        if (m_savedTmp.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", m_savedTmp.c_str(), 1);
    }

    // Starts the job of point p on jobs and returns a condition that holds
    // once the job is parked there; seen tells what progress reached the owner.
    std::function<bool()> start(Point p, CWindowMultiThreadManager& jobs, StateProbe seen) {
        const int before = m_silent.connections();
        auto parkedAtService = [this, before] { return m_silent.connections() > before; };
        switch (p) {
        case Point::VersionCheck:
            jobs.StartThread(ThreadCheckVersion, 0);
            return parkedAtService;
        case Point::Configuration:
            jobs.StartThread(ThreadGetConfig, 0);
            return parkedAtService;
        case Point::FileList:
            SetRequestedInstallFolder(g_installDir);
            jobs.StartThread(ThreadGetFileList, 3);
            return parkedAtService;
        case Point::SelfUpdate:
            jobs.StartThread(ThreadSelfUpdate, OwnedArg(std::make_unique<SelfUpdateRequest>(
                                                   SelfUpdateRequest{m_silent.url("/new"), std::string(64, '0')})));
            return parkedAtService;
        case Point::Transfer: {
            writeFile(content("birch/slow.bin"), patternBytes(300000));
            devserver::Fault stall;
            stall.stallMs = 60000;
            m_server.SetFault("/files/birch/slow.bin", stall);
            g_downloadQueue.Push({"slow.bin", CMd5A().GetMd5String(patternBytes(300000))});
            jobs.StartThread(ThreadDownloadFiles, 3);
            return [this] { return !m_server.RequestsTo("/files/birch/slow.bin").empty(); };
        }
        case Point::Md5OfLargeFile: {
            const std::string big = m_dir / "install/big.dat";
            std::ofstream(big).close();
            fs::resize_file(big, 200u << 20);
            g_downloadQueue.Push({"big.dat", std::string(32, '0')});
            jobs.StartThread(ThreadDownloadFiles, 3);
            return [seen] { return seen(kStateChecking); };
        }
        case Point::ClosingWait:
            writeFile(m_dir / "install/done.txt", "done");
            g_downloadQueue.Push({"done.txt", CMd5A().GetMd5String("done")});
            g_downloadEndWaitMs = 600000;
            jobs.StartThread(ThreadDownloadFiles, 3);
            return [seen] { return seen(kStateVerified); };
        }
        return [] { return true; };
    }

    SilentServer m_silent;
    std::array<std::string, 3> m_saved;
    std::array<std::string, 5> m_savedPrefix;
    std::uint32_t m_savedEndWait = 0;
    std::string m_savedTmp;
};

} // namespace

TEST_F(CancellationTest, NoEventReachesTheOwnerOnceTerminateHasReturned) {
    for (Point p : kAllPoints) {
        SCOPED_TRACE(pointName(p));
        Ledger ledger;
        SetEngineEvents(&ledger);
        CWindowMultiThreadManager jobs;
        const auto parked = start(p, jobs, [&ledger](int state) { return ledger.sawProgressState(state); });
        ASSERT_TRUE(testsupport::waitUntil(parked, std::chrono::seconds(30)));

        jobs.TerminateAllThreads();
        ledger.close();
        ASSERT_TRUE(jobs.WaitForAll(std::chrono::seconds(30)));
        EXPECT_EQ(ledger.late(), std::vector<std::string>{});
        SetEngineEvents(nullptr);
        g_downloadQueue.Clear();
        g_downloadEndWaitMs = m_savedEndWait;
    }
}

// The window's way of closing: terminate, then destroy the owner at once,
// without waiting for the threads. Under the sanitizers a job that still
// posted would be a use of freed memory.
TEST_F(CancellationTest, OwnerMayBeDestroyedRightAfterTerminate) {
    for (Point p : kAllPoints) {
        SCOPED_TRACE(pointName(p));
        auto* owner = new QueueOwner;
        CWindowMultiThreadManager jobs;
        SetEngineEvents(&owner->events);
        const auto parked = start(p, jobs, [owner](int state) { return owner->sawProgressState(state); });
        ASSERT_TRUE(testsupport::waitUntil(parked, std::chrono::seconds(30)));

        jobs.TerminateAllThreads();
        SetEngineEvents(nullptr);
        delete owner;
        ASSERT_TRUE(jobs.WaitForAll(std::chrono::seconds(30)));
        g_downloadQueue.Clear();
        g_downloadEndWaitMs = m_savedEndWait;
    }
}

// The check of a large local file stops between pieces: a cancelled worker
// does not read on through the whole file.
TEST_F(CancellationTest, Md5OfAHugeFileStopsWhenTheJobIsCancelled) {
    const std::string huge = m_dir / "install/huge.dat";
    std::ofstream(huge).close();
    fs::resize_file(huge, std::uintmax_t(256) << 30); // sparse: reading it takes minutes
    g_downloadQueue.Push({"huge.dat", std::string(32, '0')});
    Ledger ledger;
    SetEngineEvents(&ledger);
    CWindowMultiThreadManager jobs;
    jobs.StartThread(ThreadDownloadFiles, 3);
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return ledger.sawProgressState(kStateChecking); }, std::chrono::seconds(30)));

    jobs.TerminateAllThreads();
    EXPECT_TRUE(jobs.WaitForAll(std::chrono::seconds(30)));
    EXPECT_TRUE(m_server.RequestsTo("/files/birch/huge.dat").empty());
}
