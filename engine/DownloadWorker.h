// The download workers: verify each queued file by MD5 and fetch the ones that
// are missing or differ, reporting progress to the front end.
#pragma once

#include "engine/Manifest.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

class IEngineEvents;

// Per-file states of a progress record.
enum DownloadState : int {
    kStateDownloading = 0,
    kStateChecking = 1,
    kStateVerified = 2,
    kStateDownloaded = -1,
};

// What a worker is doing, as the front end sees it.
struct ProgressValues {
    std::uint32_t threadId = 0;
    std::wstring fileName;  // the entry's path as the list gives it
    std::int64_t total = 0; // bytes of the current transfer (0 while unknown)
    std::int64_t received = 0;
    double speed = 0; // average bytes per second of the current transfer
    int state = kStateChecking;
};

// One per worker, written by the worker and read by the front end while the
// worker goes on: every access takes the record's lock, so a reader always
// sees whole values (possibly newer than the event it handles). Records are
// never freed before the process ends, because events referring to them may
// still be queued after their worker has gone.
class CProgressRecord {
public:
    // A new record that lives until the process ends.
    static CProgressRecord* Create(std::uint32_t threadId);

    ProgressValues Snapshot() const;
    void SetFile(std::wstring fileName);
    // Sets the state; any state but downloading shows the file as complete
    // (total = received = 1, speed 0).
    void SetState(int state);
    void SetTransfer(std::int64_t total, std::int64_t received, double speed);

private:
    explicit CProgressRecord(std::uint32_t threadId) { m_values.threadId = threadId; }

    mutable std::mutex m_lock;
    ProgressValues m_values;
};

// Why a file of a verification run is not in place.
enum class FileProblem { Missing, Differs, Unsafe };

// The shared state of one download pass.
struct DownloadPass {
    CDownloadQueue* queue = &g_downloadQueue;
    std::wstring installDir; // where the files go
    std::string prefix;      // the edition's download prefix
    std::atomic<bool>* failed = &g_downloadFailed;
    std::uint32_t endWaitMs = 1000; // the pause before a worker reports its end
    // Set for a verification run: files that are not in place are reported
    // here (from the worker threads) and nothing is deleted or fetched.
    std::function<void(const DownloadItem&, FileProblem)> verifyOnly;
    // Files from this size on are patched without waiting for their own MD5
    // (engine/Patcher.h, kEarlyPatchBytes); -1 takes that default.
    std::int64_t earlyPatchBytes = -1;
};

// Runs one worker on the calling thread until the queue is empty (or the job
// is cancelled), then waits endWaitMs and posts OnDownloadThreadEnd(threadId,
// editionIndex). Events go to `sink`. The worker copies the pass when it
// starts and reaches its queue, failure flag and callback only through the
// job's gate, so a cancelled worker leaves them alone (see
// CWindowMultiThreadManager); a cancelled worker posts no end event.
void RunDownloadWorker(const DownloadPass& sharedPass, std::uint32_t threadId, std::uint32_t editionIndex,
                       IEngineEvents& sink);

// Bytes of the download passes of this process, for statistics: fetched
// counts what came over the network, resumed what was continued from parts of
// earlier transfers instead of being fetched again.
struct TransferTotals {
    std::atomic<std::int64_t> fetchedBytes{0};
    std::atomic<std::int64_t> resumedBytes{0};
    std::atomic<std::int64_t> resumedFiles{0};
    // Files rebuilt from their old copy and the bytes of them taken from it
    // rather than fetched (engine/Patcher; its maps and ranges count as
    // fetched).
    std::atomic<std::int64_t> patchedFiles{0};
    std::atomic<std::int64_t> reusedBytes{0};
};
extern TransferTotals g_transferTotals;

// A part shorter than this is fetched again from the start rather than
// continued: the saving would not be worth a second request's risk.
inline constexpr std::int64_t kMinResumeBytes = 1 << 20;

// The pause of ThreadDownloadFiles before it reports its end: 1000 ms, as
// the window has always had it. A front end without a window may drop it.
extern std::atomic<std::uint32_t> g_downloadEndWaitMs;

// Job: a download worker of the running pass for an edition (index as in the
// file list), reporting to EngineEvents(). Uses g_downloadQueue, g_installDir,
// g_downloadFailed and the edition's entry of g_downloadPrefix.
void ThreadDownloadFiles(std::uintptr_t editionIndex);

// The MD5 of a local file as lower-case hex; empty when it cannot be read or
// when proceed (asked between pieces) answers false.
std::string LocalFileMd5(const std::wstring& path, const std::function<bool()>& proceed = {});

// A computed digest matches a file list entry's digest regardless of the
// letter case of the hex digits (a list may give them in upper case). An
// empty expected digest matches only the empty digest of a missing file.
bool DigestsMatch(std::string_view computed, std::string_view expected);

// Debugger output of one line, cut to 511 characters so it never overflows
// the fixed buffer the message format allows.
void DownloadDebugMessage(std::wstring text);
