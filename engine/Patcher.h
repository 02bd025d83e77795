// Patching a changed file: the new version is built from the blocks of the
// old local copy that are still in it plus the bytes that changed, fetched
// with range requests, guided by the file's block map.
#pragma once

#include "engine/CancelFlag.h"
#include "engine/HttpClient.h"
#include "engine/PatchPlan.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// What became of a patch.
enum class PatchOutcome {
    Patched,  // the part holds the new file, its digest checked
    InPlace,  // the old file is the new one already (its own MD5 matched): nothing was written
    Fallback, // no patch possible (no map, a bad map or answer, ranges not honoured, wrong
              // result): nothing of it is left; fetch the file whole
    Broken,   // the transfer broke off or the job was cancelled; the part and its record are
              // kept when they can be continued
};

struct PatchTarget {
    std::wstring local;  // the old file, read only
    std::wstring part;   // where the new file is built
    std::string address; // the file's download address, without query
    std::string md5;     // the digest the file list expects
};

// The old file's own MD5, computed on threads of its own while a patch
// scans the file: both read the same bytes (from the page cache), and the
// digest is waited for only when the map and the scan cannot tell that the
// file changed. It is not started at all when the map gives another length.
// With the map's MD5 chaining values it is computed in pieces on every core,
// as the new file's is (engine/Patcher.cpp): a piece that does not arrive at
// its value gives no digest, and the file is not taken as in place.
class COldFileDigest {
public:
    // Will hash what fd reads (through a descriptor of its own) from its
    // first byte, once started. Stops early when the constructing thread's
    // job is cancelled.
    explicit COldFileDigest(int fd);
    ~COldFileDigest();
    COldFileDigest(const COldFileDigest&) = delete;
    COldFileDigest& operator=(const COldFileDigest&) = delete;

    // Starts hashing, unless it was started or stopped before: in pieces
    // when the map has chaining values (they are copied), else on one
    // thread.
    void Start(const BlockMap* map = nullptr);
    // The digest as 32 lower-case hex digits once every byte is hashed
    // (starting it if need be); empty when reading failed, a piece missed
    // its chaining value, the job was cancelled or Stop came first.
    std::string Wait();
    // The digest is not needed: the threads end at their next piece, or
    // never start.
    void Stop();
    // The same, asked from any thread and without waiting: the threads end
    // at their next piece. Stop or Wait still follow on the owner's thread.
    void Abandon() { m_stop = true; }
    // Stop was called before the digest was complete.
    bool Stopped() const { return m_stopped; }

private:
    void run(std::size_t first, std::size_t step);
    void joinAll();
    int m_fd;
    CCancelFlag* m_cancel;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_failed{false};
    bool m_started = false;
    bool m_stopped = false;
    CMd5Pieces m_pieces;  // at the map's chaining values, when it has them
    std::string m_result; // written by the thread that hashes the last piece, read after all ended
    std::vector<std::thread> m_threads;
};

// From this size on an install pass starts patching a file before its own
// MD5 is known: the map and the scan, which read the file alongside the MD5,
// often tell sooner that it changed. The price is a map fetched for a file
// that turns out unchanged: 8 bytes per block of 4 KiB or more there (the
// block sizes the publisher chooses), 0.2% of the file at most. A smaller
// file's MD5 is quick, and its map is asked for only once the MD5 differs.
inline constexpr std::int64_t kEarlyPatchBytes = 32 << 20;

// A patch that starts before the old file's own check has ended.
struct PatchCheck {
    // The old file's MD5 under way. When the map and the scan show that the
    // file changed (another length, a block's own offset holding other
    // bytes, or a block of the new file that the old one lacks; a map that
    // names the list's digest and describes an equal file finds every block
    // at its own offset), it is stopped unread, the moment the scan sees it:
    // the new file's MD5 decides anyway, so a map that lies costs at most a
    // download. Otherwise the patch waits for it, and a match is InPlace.
    COldFileDigest* digest = nullptr;
    // Told once, before the patch produces anything, that the file is being
    // patched.
    std::function<void()> changed;
};

// Builds target.part from target.local and the file's map and ranges
// (continuing a part a broken patch left, where its record allows). Reports
// the bytes of the new file produced through progress. Counts into
// g_transferTotals.
PatchOutcome PatchFile(CHttpClient& client, const PatchTarget& target, void* userData, ProgressFunc progress,
                       const PatchCheck& check);

// Ranges asked for in one request.
inline constexpr std::size_t kRangesPerRequest = 32;
