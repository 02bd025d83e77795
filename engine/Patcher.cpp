// Patching a changed file from its old copy, its block map and range requests.
//
// The new file is written in order, from its first byte to its last: blocks
// found in the old file are copied from there, the rest arrive in range
// answers (which come in the order asked). So the part is always a beginning
// of the new file, its MD5 grows as it is written, and a patch that breaks
// off leaves a part that either a patch or a plain range request continues.
#include "engine/Patcher.h"

#include "engine/CancelFlag.h"
#include "engine/DownloadWorker.h"
#include "engine/ResumeRecord.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "util/Text.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

constexpr std::int64_t kMiB = 1 << 20;

// --- Opening files ---

enum class PatchFileRole { OldFile, NewPart, ContinuedPart };

// The one place that opens the old file and the part, so how files below
// the installation folder are opened is decided once for the patch path.
// Never follows a link at the last component; a new part is created
// exclusively.
int openPatchFile(const std::wstring& path, PatchFileRole role) {
    const std::string native = platform::toUtf8(path);
    switch (role) {
    case PatchFileRole::OldFile:
        return ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    case PatchFileRole::NewPart:
        ::unlink(native.c_str());
        return ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    case PatchFileRole::ContinuedPart:
        return ::open(native.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    }
    return -1;
}

void removePath(const std::wstring& path) { ::unlink(platform::toUtf8(path).c_str()); }

std::int64_t regularFileSize(const std::wstring& path) {
    struct stat st;
    if (::lstat(platform::toUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
}

bool writeAll(int fd, const void* data, std::size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::write(fd, p, length);
        if (n <= 0) return false;
        p += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

struct FdCloser {
    int fd = -1;
    ~FdCloser() { reset(); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// The old file, mapped read-only for the scan and the copies.
class CMappedFile {
public:
    ~CMappedFile() {
        if (m_data) ::munmap(m_data, m_length);
    }
    bool Open(const std::wstring& path) {
        FdCloser file{openPatchFile(path, PatchFileRole::OldFile)};
        struct stat st;
        if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return false;
        m_length = static_cast<std::size_t>(st.st_size);
        void* data = ::mmap(nullptr, m_length, PROT_READ, MAP_PRIVATE, file.fd, 0);
        if (data == MAP_FAILED) return false;
        m_data = data;
        ::madvise(m_data, m_length, MADV_SEQUENTIAL);
        return true;
    }
    const unsigned char* Data() const { return static_cast<const unsigned char*>(m_data); }
    std::size_t Length() const { return m_length; }

private:
    void* m_data = nullptr;
    std::size_t m_length = 0;
};

// --- The map ---

// Collects a map's bytes, refusing anything larger than a map can be.
class CMapSink : public IFetchSink {
public:
    bool OnResponse(long status, const std::vector<std::string>&) override {
        m_status = status;
        return status == 200;
    }
    bool OnData(const char* data, std::size_t length) override {
        g_transferTotals.fetchedBytes += static_cast<std::int64_t>(length);
        if (static_cast<std::int64_t>(m_bytes.size() + length) > kMaxBlockMapBytes) return false;
        m_bytes.append(data, length);
        return true;
    }
    long m_status = 0;
    std::string m_bytes;
};

std::string headerValue(const std::vector<std::string>& headers, std::string_view name) {
    for (const std::string& line : headers) {
        if (line.size() <= name.size() || line[name.size()] != ':') continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i)
            same =
                std::tolower(static_cast<unsigned char>(line[i])) == std::tolower(static_cast<unsigned char>(name[i]));
        if (!same) continue;
        std::string value = line.substr(name.size() + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t") + 1);
        return value;
    }
    return {};
}

std::string tickQuery() {
    char tick[16];
    std::snprintf(tick, sizeof tick, "?r=%u", platform::tickCount());
    return tick;
}

// --- Building the new file ---

// Threads that hash a file in pieces: one per core, up to four.
std::size_t HashingThreads() { return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4); }

// The MD5 of the part, computed from the very bytes the builder writes. The
// digest is the patch's long pole (it costs more than the scan and the
// copies together), so its threads do nothing but hash: the builder fills
// one of a few buffers, writes it to the part and queues it; a hashing
// thread hashes it and frees it. Only the kept beginning of a continued part
// is read back from the part (through a descriptor of its own).
//
// A map with chaining values cuts the file into pieces (CMd5Pieces), and
// each of several threads takes every K-th piece; a piece that does not
// arrive at its value stops the patch. A map without them is one piece,
// hashed by one thread.
//
// The builder is the faster side and waits for free buffers. Waking a
// thread on another processor costs more than hashing a few KiB, so either
// side wakes the other only when it sleeps, and the builder only once half
// the buffers are free again.
class CPartDigest {
public:
    static constexpr std::size_t kBufferBytes = 1 << 20;

    // The part's first `kept` bytes are on disk already.
    CPartDigest(int fd, std::int64_t kept, const BlockMap& map)
        : m_fd(::dup(fd)), m_kept(kept), m_pieces(map.chain, map.chainInterval, map.length), m_next(kept) {
        m_hasherCount = std::min(m_pieces.Count(), HashingThreads());
        m_hashers.reset(new Hasher[m_hasherCount]);
        const std::size_t buffers = std::max<std::size_t>(8, 4 * m_hasherCount);
        m_buffers.resize(buffers);
        for (std::size_t i = 0; i < buffers; ++i) {
            m_buffers[i].reset(new char[kBufferBytes]);
            m_free.push_back(i);
        }
        for (std::size_t h = 0; h < m_hasherCount; ++h) m_hashers[h].thread = std::thread([this, h] { run(h); });
    }
    ~CPartDigest() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = m_closing = true;
        }
        joinAll();
        if (m_fd >= 0) ::close(m_fd);
    }
    CPartDigest(const CPartDigest&) = delete;
    CPartDigest& operator=(const CPartDigest&) = delete;

    // A buffer for the next bytes of the part, at most Room() of them (waits
    // while every buffer is queued for hashing). Null once the digest failed.
    char* Acquire() {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_free.empty() && !m_failed) {
            m_builderWaits = true;
            m_fillable.wait(lock, [&] { return m_free.size() >= m_buffers.size() / 2 || m_failed; });
            m_builderWaits = false;
        }
        if (m_failed) return nullptr;
        m_acquired = m_free.back();
        m_free.pop_back();
        return m_buffers[m_acquired].get();
    }

    // How many bytes the buffer for the part's next bytes may take: a buffer
    // never reaches into the next piece.
    std::size_t Room() const {
        const std::int64_t pieceEnd = m_pieces.End(m_pieces.PieceAt(m_next));
        return static_cast<std::size_t>(std::min<std::int64_t>(kBufferBytes, pieceEnd - m_next));
    }

    // The buffer acquired last holds the next `length` bytes of the part
    // (at most Room()), written there. A buffer never submitted is simply
    // not hashed.
    void Submit(std::size_t length) {
        Hasher& hasher = m_hashers[m_pieces.PieceAt(m_next) % m_hasherCount];
        m_next += static_cast<std::int64_t>(length);
        bool wake;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            hasher.queue.emplace_back(m_acquired, length);
            wake = hasher.waits;
        }
        if (wake) hasher.hashable.notify_one();
    }

    // Waits until every byte submitted is hashed: the digest as 32
    // lower-case hex digits, or empty when the kept bytes could not be read
    // or a piece did not arrive at its chaining value.
    std::string Finish() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closing = true;
        }
        joinAll();
        return m_failed ? std::string() : m_digest;
    }

private:
    struct Hasher {
        std::deque<std::pair<std::size_t, std::size_t>> queue; // (buffer, length) to hash, in order
        std::condition_variable hashable;                      // a buffer queued, or closing
        bool waits = false;
        std::thread thread;
    };

    void joinAll() {
        for (std::size_t h = 0; h < m_hasherCount; ++h) m_hashers[h].hashable.notify_one();
        for (std::size_t h = 0; h < m_hasherCount; ++h)
            if (m_hashers[h].thread.joinable()) m_hashers[h].thread.join();
    }

    void fail(std::unique_lock<std::mutex>& lock) {
        m_failed = true;
        lock.unlock();
        m_fillable.notify_one();
    }

    // Hashes the pieces h, h + K, h + 2K, ... of the part.
    void run(std::size_t h) {
        Hasher& me = m_hashers[h];
        for (std::size_t piece = h; piece < m_pieces.Count(); piece += m_hasherCount) {
            const std::int64_t start = m_pieces.Start(piece), end = m_pieces.End(piece);
            CMd5Stream md5 = m_pieces.Begin(piece);
            std::int64_t at = start;
            if (start < m_kept) {
                const std::int64_t kept = std::min(m_kept, end) - start;
                if (!HashDescriptor(
                        m_fd, kept, md5, [this] { return !m_stop; }, start)) {
                    std::unique_lock<std::mutex> lock(m_mutex);
                    if (!m_stop) fail(lock);
                    return;
                }
                at += kept;
            }
            std::unique_lock<std::mutex> lock(m_mutex);
            while (at < end) {
                if (me.queue.empty()) {
                    if (m_closing) return; // the builder stopped before the piece's end
                    me.waits = true;
                    me.hashable.wait(lock, [&] { return !me.queue.empty() || m_closing; });
                    me.waits = false;
                    continue;
                }
                if (m_stop) return;
                const auto [buffer, length] = me.queue.front();
                me.queue.pop_front();
                lock.unlock();
                md5.Update(m_buffers[buffer].get(), length);
                at += static_cast<std::int64_t>(length);
                lock.lock();
                m_free.push_back(buffer);
                if (m_builderWaits && m_free.size() >= m_buffers.size() / 2) m_fillable.notify_one();
            }
            lock.unlock();
            std::string digest;
            const bool arrived = m_pieces.Close(piece, md5, digest);
            lock.lock();
            if (!arrived) {
                fail(lock);
                return;
            }
            if (!digest.empty()) m_digest = digest;
        }
    }

    int m_fd;
    const std::int64_t m_kept;
    const CMd5Pieces m_pieces;
    std::int64_t m_next; // the builder's: offset of the next bytes submitted
    std::vector<std::unique_ptr<char[]>> m_buffers;
    std::unique_ptr<Hasher[]> m_hashers;
    std::size_t m_hasherCount = 0;
    std::mutex m_mutex;
    std::condition_variable m_fillable; // half the buffers free, or failed
    std::vector<std::size_t> m_free;    // buffers the builder may fill
    std::size_t m_acquired = 0;         // the builder's buffer
    bool m_builderWaits = false;
    bool m_closing = false;
    std::atomic<bool> m_stop{false}; // also read outside the lock while kept bytes are hashed
    bool m_failed = false;
    std::string m_digest; // the last piece's hasher's
};

// Writes the new file in order into the part; the digest follows it.
class CPatchBuilder {
public:
    CPatchBuilder(const BlockMap& map, const PatchPlan& plan, const CMappedFile& old, int fd, std::int64_t from,
                  CPartDigest& digest, std::function<void(std::int64_t)> advanced)
        : m_map(map), m_plan(plan), m_old(old), m_fd(fd), m_pos(from), m_digest(digest),
          m_advanced(std::move(advanced)) {}

    // Copies the blocks found in the old file up to offset; false when a
    // block in between has to be fetched (its bytes were skipped) or the
    // part cannot be written.
    bool ProduceUpTo(std::int64_t offset) {
        offset = std::min(offset, m_map.length);
        while (m_pos < offset) {
            const std::size_t block = static_cast<std::size_t>(m_pos / m_map.blockSize);
            const std::int64_t source = m_plan.source[block];
            if (source < 0) return false;
            const std::int64_t inBlock = m_pos - m_map.BlockOffset(block);
            // Copied in pieces, so the progress moves through long runs too.
            const std::int64_t n =
                std::min({m_map.BlockLength(block) - inBlock, offset - m_pos, static_cast<std::int64_t>(kMiB)});
            if (!emit(m_old.Data() + source + inBlock, static_cast<std::size_t>(n))) return false;
            g_transferTotals.reusedBytes += n;
        }
        return true;
    }

    // Bytes of the new file from offset on, as an answer gave them; what was
    // written already is skipped.
    bool Write(std::int64_t offset, const char* data, std::size_t length) {
        if (offset + static_cast<std::int64_t>(length) > m_map.length) return false;
        if (offset > m_pos && !ProduceUpTo(offset)) return false;
        const std::int64_t skip = m_pos - offset;
        if (skip >= static_cast<std::int64_t>(length)) return true;
        return emit(data + skip, length - static_cast<std::size_t>(skip));
    }

    // Bytes of the new file produced; the last of them may still wait in a
    // buffer for Flush.
    std::int64_t Position() const { return m_pos; }

    // Writes the bytes produced that still wait in the buffer.
    bool Flush() {
        if (m_fill == 0) return true;
        if (!writeAll(m_fd, m_buffer, m_fill)) return false;
        m_digest.Submit(m_fill);
        m_buffer = nullptr;
        m_fill = 0;
        return true;
    }

private:
    // Gathers the bytes in the digest's buffers and writes a buffer when it
    // is full: the bytes hashed are the bytes written, whatever happens to
    // the source meanwhile, and blocks of a few KiB do not each cost a
    // write and a hand-over.
    bool emit(const void* data, std::size_t length) {
        const char* from = static_cast<const char*>(data);
        while (length > 0) {
            if (!m_buffer) {
                if (!(m_buffer = m_digest.Acquire())) return false;
                m_room = m_digest.Room();
            }
            const std::size_t n = std::min(length, m_room - m_fill);
            std::memcpy(m_buffer + m_fill, from, n);
            m_fill += n;
            from += n;
            length -= n;
            m_pos += static_cast<std::int64_t>(n);
            if (m_fill == m_room && !Flush()) return false;
        }
        if (m_advanced) m_advanced(m_pos);
        return true;
    }

    const BlockMap& m_map;
    const PatchPlan& m_plan;
    const CMappedFile& m_old;
    int m_fd;
    std::int64_t m_pos;
    CPartDigest& m_digest;
    std::function<void(std::int64_t)> m_advanced;
    char* m_buffer = nullptr; // the digest's buffer being filled
    std::size_t m_room = 0;   // how much of it the piece's bytes may take
    std::size_t m_fill = 0;
};

// Why a range request did not deliver.
enum class RangeResult { Complete, Refused, Broken };

// Takes one range answer apart (a single range or multipart/byteranges) and
// hands its bytes to the builder; remembers the server's validators.
class CRangeSink : public IFetchSink, public CByteRangesParser::IHandler {
public:
    // validators is told the answer's ETag and Last-Modified before any of
    // its bytes land.
    CRangeSink(CPatchBuilder& builder, const BlockMap& map, std::int64_t& fetched,
               std::function<void(const std::string&, const std::string&)> validators)
        : m_builder(builder), m_map(map), m_fetched(fetched), m_validators(std::move(validators)) {}

    bool OnResponse(long status, const std::vector<std::string>& headers) override {
        if (status != 206) return refuse(); // ranges ignored, or the file changed (If-Range)
        const std::string encoding = headerValue(headers, "Content-Encoding");
        if (!encoding.empty() && encoding != "identity") return refuse();
        m_validators(headerValue(headers, "ETag"), headerValue(headers, "Last-Modified"));
        std::string boundary;
        if (MultipartBoundary(headerValue(headers, "Content-Type"), boundary)) {
            m_parser.emplace(boundary, *this);
            return true;
        }
        ByteRange range;
        std::int64_t total;
        if (!ParseContentRange(headerValue(headers, "Content-Range"), range, total) || !OnPart(range, total))
            return refuse();
        m_single = true;
        return true;
    }

    bool OnData(const char* data, std::size_t length) override {
        g_transferTotals.fetchedBytes += static_cast<std::int64_t>(length);
        m_fetched += static_cast<std::int64_t>(length);
        bool ok;
        if (m_parser)
            ok = m_parser->Feed(data, length);
        else
            ok = m_single && static_cast<std::int64_t>(length) <= m_partLeft && OnPartData(data, length);
        if (!ok) return refuse();
        return true;
    }

    bool OnPart(const ByteRange& range, std::int64_t total) override {
        if (total != m_map.length) return false;
        m_partOffset = range.first;
        m_partLeft = range.Length();
        return true;
    }

    bool OnPartData(const char* data, std::size_t length) override {
        if (!m_builder.Write(m_partOffset, data, length)) return false;
        m_partOffset += static_cast<std::int64_t>(length);
        m_partLeft -= static_cast<std::int64_t>(length);
        return true;
    }

    // After the transfer: did it deliver every byte up to `end`?
    RangeResult Result(bool transferred) const {
        if (m_refused) return RangeResult::Refused;
        if (!transferred) return RangeResult::Broken;
        const bool complete = m_parser ? m_parser->Finish() : m_single && m_partLeft == 0;
        return complete ? RangeResult::Complete : RangeResult::Refused;
    }

private:
    bool refuse() {
        m_refused = true;
        return false;
    }
    CPatchBuilder& m_builder;
    const BlockMap& m_map;
    std::int64_t& m_fetched;
    std::function<void(const std::string&, const std::string&)> m_validators;
    std::optional<CByteRangesParser> m_parser;
    bool m_single = false;
    bool m_refused = false;
    std::int64_t m_partOffset = 0, m_partLeft = 0;
};

} // namespace

// --- The old file's own digest ---

COldFileDigest::COldFileDigest(int fd) : m_fd(::dup(fd)), m_cancel(CCancelFlag::Current()) {}

COldFileDigest::~COldFileDigest() {
    m_stop = true;
    joinAll();
    if (m_fd >= 0) ::close(m_fd);
}

void COldFileDigest::joinAll() {
    for (std::thread& thread : m_threads)
        if (thread.joinable()) thread.join();
}

void COldFileDigest::Start(const BlockMap* map) {
    if (m_started) return;
    m_started = true;
    if (map) m_pieces = CMd5Pieces(map->chain, map->chainInterval, map->length);
    const std::size_t threads = std::min(m_pieces.Count(), HashingThreads());
    for (std::size_t first = 0; first < threads; ++first)
        m_threads.emplace_back([this, first, threads] { run(first, threads); });
}

std::string COldFileDigest::Wait() {
    Start();
    joinAll();
    return m_failed ? std::string() : m_result;
}

void COldFileDigest::Stop() {
    if (!m_started) {
        m_started = m_stopped = true;
        return;
    }
    if (m_threads.empty() || !m_threads.front().joinable()) return;
    m_stop = true;
    joinAll();
    m_stopped = m_failed || m_result.empty();
}

// Hashes the pieces first, first + step, ... of the file (one piece, the
// whole file, without a map).
void COldFileDigest::run(std::size_t first, std::size_t step) {
    if (m_fd < 0) return;
    auto proceed = [this] { return !m_stop && !m_failed && !(m_cancel && m_cancel->IsCancelled()); };
    for (std::size_t piece = first; piece < m_pieces.Count(); piece += step) {
        const std::int64_t start = m_pieces.Start(piece);
        const bool last = piece + 1 == m_pieces.Count();
        CMd5Stream md5 = m_pieces.Begin(piece);
        // The last piece reads to the file's end, whatever its length now.
        std::string digest;
        if (!HashDescriptor(m_fd, last ? -1 : m_pieces.End(piece) - start, md5, proceed, start) ||
            !m_pieces.Close(piece, md5, digest)) {
            m_failed = true;
            return;
        }
        if (last) m_result = digest;
    }
}

// --- Patching ---

PatchOutcome PatchFile(CHttpClient& client, const PatchTarget& target, void* userData, ProgressFunc progress,
                       const PatchCheck& check) {
    const std::wstring recordPath = ResumeRecordPath(target.part);
    auto discard = [&] {
        removePath(target.part);
        removePath(recordPath);
    };

    // A part a patch left is continued by the rules of any broken-off
    // transfer; a whole download's part is left to the whole download.
    ResumeRecord kept;
    const std::int64_t partSize = regularFileSize(target.part);
    const bool haveRecord = ReadResumeRecord(recordPath, kept);
    if (haveRecord && !kept.patch && partSize >= 0) return PatchOutcome::Fallback;
    std::int64_t from = 0;
    if (haveRecord && kept.address == target.address && DigestsMatch(kept.md5, target.md5) &&
        partSize >= kMinResumeBytes && (kept.length < 0 || partSize < kept.length))
        from = partSize;
    else
        discard();

    // The map: its own address and cache-busting query.
    CMapSink mapSink;
    BlockMap map;
    const bool mapFetched = client.Fetch(target.address + std::string(kBlockMapSuffix) + tickQuery(), {}, mapSink);
    if (JobCancelled()) return PatchOutcome::Broken;
    if (!mapFetched || mapSink.m_status != 200 || !ParseBlockMap(mapSink.m_bytes, map) ||
        !DigestsMatch(map.Md5Hex(), target.md5) || (from > 0 && kept.length >= 0 && kept.length != map.length)) {
        DownloadDebugMessage(target.local + L" 无可用的块映射,整体下载");
        discard();
        return PatchOutcome::Fallback;
    }

    CMappedFile old;
    if (!old.Open(target.local)) {
        discard();
        return PatchOutcome::Fallback;
    }
    // An old file of another length than the map's changed: its MD5 is
    // never needed. Otherwise it runs beside the scan.
    if (check.digest && static_cast<std::int64_t>(old.Length()) != map.length) check.digest->Stop();
    if (check.digest) check.digest->Start(&map);
    // The scan may run on two threads: the job's flag is taken here, as
    // JobCancelled() answers for the calling thread only.
    CCancelFlag* const cancel = CCancelFlag::Current();
    COldFileDigest* const oldDigest = check.digest;
    const PatchPlan plan = PlanPatch(
        map, old.Data(), old.Length(), [cancel] { return !(cancel && cancel->IsCancelled()); },
        [oldDigest] {
            if (oldDigest) oldDigest->Abandon();
        });
    if (JobCancelled()) return PatchOutcome::Broken;
    if (check.digest) {
        // An old file equal to the new one holds every block at its own
        // offset; only then can it be the new file, and its MD5 tells.
        if (static_cast<std::int64_t>(old.Length()) == map.length && plan.reusedBytes == map.length) {
            const std::string oldMd5 = check.digest->Wait();
            if (JobCancelled()) return PatchOutcome::Broken;
            if (DigestsMatch(oldMd5, target.md5)) return PatchOutcome::InPlace;
        } else {
            check.digest->Stop();
            // Done before it could be stopped: then it decides after all.
            if (!check.digest->Stopped() && DigestsMatch(check.digest->Wait(), target.md5))
                return PatchOutcome::InPlace;
        }
    }
    if (plan.reusedBytes == 0) {
        // Nothing to reuse: one plain request does better than ranges.
        discard();
        return PatchOutcome::Fallback;
    }

    if (check.changed) check.changed();
    FdCloser part{openPatchFile(target.part, from > 0 ? PatchFileRole::ContinuedPart : PatchFileRole::NewPart)};
    if (part.fd < 0) {
        discard();
        return PatchOutcome::Fallback;
    }
    if (from > 0 && (::ftruncate(part.fd, from) != 0 || ::lseek(part.fd, from, SEEK_SET) != from)) {
        part.reset();
        discard();
        return PatchOutcome::Fallback;
    }
    // The kept beginning of a continued part is hashed alongside the rest.
    CPartDigest digest(part.fd, from, map);
    if (from > 0) {
        g_transferTotals.resumedBytes += from;
        ++g_transferTotals.resumedFiles;
    }
    // Progress counts the new file's bytes produced, at most one report per
    // 256 KiB and always the last; the speed is that of the fetched bytes.
    const std::uint64_t started = platform::tickCount64();
    std::int64_t fetched = 0, reported = -1;
    auto report = [&](std::int64_t produced) {
        if (!progress || (produced - reported < (256 << 10) && produced != map.length)) return;
        reported = produced;
        const double seconds = static_cast<double>(platform::tickCount64() - started) / 1000.0;
        progress(userData, map.length, produced, seconds > 0 ? static_cast<double>(fetched) / seconds : 0);
    };
    report(from);
    CPatchBuilder builder(map, plan, old, part.fd, from, digest, report);

    ResumeRecord record;
    record.address = target.address;
    record.md5 = target.md5;
    record.length = map.length;
    record.patch = true;
    bool recorded = from > 0;
    std::string validator = from > 0 ? kept.IfRangeValidator() : std::string();
    auto fallBack = [&] {
        part.reset();
        discard();
        return PatchOutcome::Fallback;
    };

    const std::vector<ByteRange> ranges = MissingRanges(map, plan, from);
    for (std::size_t first = 0; first < ranges.size(); first += kRangesPerRequest) {
        const std::size_t end = std::min(ranges.size(), first + kRangesPerRequest);
        const std::vector<ByteRange> batch(ranges.begin() + static_cast<std::ptrdiff_t>(first),
                                           ranges.begin() + static_cast<std::ptrdiff_t>(end));
        std::vector<std::string> headers{"Range: " + FormatRangeHeader(batch)};
        // A file published anew while the patch runs answers 200, not
        // ranges of other bytes.
        if (!validator.empty()) headers.push_back("If-Range: " + validator);
        // The record goes down with the first answer, before any fetched byte
        // lands: the part can be continued once it says where its bytes
        // came from.
        CRangeSink sink(builder, map, fetched, [&](const std::string& etag, const std::string& lastModified) {
            if (recorded) return;
            record.etag = etag;
            record.lastModified = lastModified;
            validator = record.IfRangeValidator();
            recorded = !validator.empty() && WriteResumeRecord(recordPath, record);
        });
        const bool transferred = client.Fetch(target.address + tickQuery(), headers, sink);
        switch (sink.Result(transferred)) {
        case RangeResult::Complete:
            if (builder.Position() < batch.back().last + 1) return fallBack();
            break;
        case RangeResult::Refused:
            if (JobCancelled()) return PatchOutcome::Broken;
            DownloadDebugMessage(target.local + L" 分段下载不可用,整体下载");
            return fallBack();
        case RangeResult::Broken:
            // What was produced goes to the part, to be continued from.
            if (!builder.Flush() || !recorded || builder.Position() < kMinResumeBytes) {
                part.reset();
                discard();
            }
            return PatchOutcome::Broken;
        }
    }
    if (!builder.ProduceUpTo(map.length) || builder.Position() != map.length || !builder.Flush()) return fallBack();
    const std::string got = digest.Finish();
    if (::close(part.fd) != 0) {
        part.fd = -1;
        return fallBack();
    }
    part.fd = -1;
    if (!DigestsMatch(got, target.md5)) {
        DownloadDebugMessage(target.local + L" 修补后md5不一致,整体下载");
        return fallBack();
    }
    removePath(recordPath);
    ++g_transferTotals.patchedFiles;
    return PatchOutcome::Patched;
}
