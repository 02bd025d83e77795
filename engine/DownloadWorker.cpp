// Download workers: per-file verification, transfer into a temporary name,
// digest check, and coalesced progress events.
#include "engine/DownloadWorker.h"

#include "engine/CancelFlag.h"
#include "engine/EngineEvents.h"
#include "engine/FileListJob.h"
#include "engine/HttpClient.h"
#include "engine/LocalPath.h"
#include "engine/Patcher.h"
#include "engine/PointerArg.h"
#include "engine/ResumeRecord.h"
#include "engine/SafePath.h"
#include "engine/WindowMultiThreadManager.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "util/FileHelpers.h"
#include "util/Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Entries below this folder belong to a second client that the installer
// leaves alone: never verified, never fetched, never reported.
const std::wstring kSkippedFolder = L"客户端2（两个客户端都要下载）1\\World of Warcraft\\Data";

// A transfer lands under this suffix next to its target and is renamed over
// the target only once it is complete and its digest matched, so a crash or a
// broken transfer never leaves a short file under the real name.
const std::wstring kPartSuffix = L".quellan-part";

// Progress events of one worker come at most this often during a transfer;
// state changes and each file's final state always get one.
constexpr std::uint32_t kProgressIntervalMs = 50;

std::mutex g_recordsLock;
std::deque<std::unique_ptr<CProgressRecord>> g_records;

bool removeFile(const std::wstring& path) { return ::unlink(platform::toUtf8(path).c_str()) == 0; }

// The size of a regular file; -1 when there is none.
std::int64_t fileSize(const std::wstring& path) {
    struct stat st;
    if (::lstat(platform::toUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
}

struct WorkerContext {
    CProgressRecord* record;
    IEngineEvents* events;
    std::uint32_t threadId;
    std::uint32_t lastPost = 0;
    bool posted = false;

    void post() {
        lastPost = platform::tickCount();
        posted = true;
        events->OnDownloadProgress(threadId, PointerArg(record));
    }
};

// Hashes a part file as it grows and keeps the record beside it true to it,
// so that a transfer that breaks off (or a process that dies) leaves a part
// the next pass can continue.
class PartObserver : public IDownloadObserver {
public:
    PartObserver(int partFd, std::wstring recordPath, ResumeRecord base, bool resuming)
        : m_partFd(partFd), m_recordPath(std::move(recordPath)), m_base(std::move(base)), m_resumable(resuming) {}

    bool OnBodyStart(std::int64_t kept, const ResponseValidators& response) override {
        m_digest.Reset();
        if (kept > 0) {
            // The digest covers the whole file: the bytes kept first.
            if (!hashPart(kept)) {
                // Only read so far: a part whose reading a cancel stopped is
                // still good for the next run, one that cannot be read is not.
                m_resumable = JobCancelled();
                return false;
            }
            g_transferTotals.resumedBytes += kept;
            ++g_transferTotals.resumedFiles;
            return true; // the record that led here still describes the part
        }
        // Where the bytes come from, written before the first one lands.
        // Without a validator (or an expected digest to check the result
        // against) a part could never be continued safely, and a file too
        // small to be worth continuing needs none: no record.
        ResumeRecord record = m_base;
        record.etag = response.etag;
        record.lastModified = response.lastModified;
        record.length = response.length;
        m_resumable = !record.md5.empty() && !record.IfRangeValidator().empty() &&
                      (record.length < 0 || record.length > kMinResumeBytes) && WriteResumeRecord(m_recordPath, record);
        if (!m_resumable) ::unlink(platform::toUtf8(m_recordPath).c_str());
        return true;
    }

    void OnChunk(const char* bytes, std::size_t length) override {
        m_digest.Update(bytes, length);
        g_transferTotals.fetchedBytes += static_cast<std::int64_t>(length);
    }

    std::string Finish() { return m_digest.Finish(); }
    // A record describes the part as it is on disk.
    bool Resumable() const { return m_resumable; }

private:
    // The kept bytes, read from the part the transfer writes (never by its
    // name, which someone might have replaced meanwhile).
    bool hashPart(std::int64_t length) {
        return HashDescriptor(m_partFd, length, m_digest, [] { return !JobCancelled(); });
    }

    int m_partFd;
    std::wstring m_recordPath;
    ResumeRecord m_base;
    bool m_resumable;
    CMd5Stream m_digest;
};

// Decides whether the part left by an earlier transfer can be continued:
// its record must be readable and name the same address and expected digest,
// the part must be large enough to be worth it and shorter than the
// resource. Anything else is removed, and the file is fetched from the start.
void planResume(const std::wstring& part, const std::wstring& recordPath, const ResumeRecord& base,
                DownloadOptions& options) {
    struct stat st;
    ResumeRecord record;
    const bool usable = ::lstat(platform::toUtf8(part).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                        st.st_size >= kMinResumeBytes && !base.md5.empty() && ReadResumeRecord(recordPath, record) &&
                        record.address == base.address && DigestsMatch(record.md5, base.md5) &&
                        (record.length < 0 || st.st_size < record.length);
    if (!usable) {
        removeFile(part);
        removeFile(recordPath);
        return;
    }
    options.resumeFrom = st.st_size;
    options.ifRange = record.IfRangeValidator();
}

// The MD5 of what a descriptor reads, as lower-case hex; empty when reading
// fails or proceed (asked between pieces) answers false.
std::string descriptorMd5(int fd, const std::function<bool()>& proceed) {
    CMd5Stream digest;
    return HashDescriptor(fd, -1, digest, proceed) ? digest.Finish() : std::string();
}

bool onProgress(void* data, std::int64_t total, std::int64_t received, double speed) {
    auto* ctx = static_cast<WorkerContext*>(data);
    ctx->record->SetTransfer(total, received, speed);
    if (!ctx->posted || platform::tickCount() - ctx->lastPost >= kProgressIntervalMs) ctx->post();
    return true;
}

} // namespace

std::atomic<std::uint32_t> g_downloadEndWaitMs{1000};
TransferTotals g_transferTotals;

// --- CProgressRecord ---

CProgressRecord* CProgressRecord::Create(std::uint32_t threadId) {
    std::lock_guard lock(g_recordsLock);
    g_records.push_back(std::unique_ptr<CProgressRecord>(new CProgressRecord(threadId)));
    return g_records.back().get();
}

ProgressValues CProgressRecord::Snapshot() const {
    std::lock_guard lock(m_lock);
    return m_values;
}

void CProgressRecord::SetFile(std::wstring fileName) {
    std::lock_guard lock(m_lock);
    m_values.fileName = std::move(fileName);
}

void CProgressRecord::SetState(int state) {
    std::lock_guard lock(m_lock);
    m_values.state = state;
    if (state != kStateDownloading) {
        m_values.total = 1;
        m_values.received = 1;
        m_values.speed = 0;
    }
}

void CProgressRecord::SetTransfer(std::int64_t total, std::int64_t received, double speed) {
    std::lock_guard lock(m_lock);
    m_values.total = total;
    m_values.received = received;
    m_values.speed = speed;
}

// --- Worker ---

std::string LocalFileMd5(const std::wstring& path, const std::function<bool()>& proceed) {
    return CMd5A().GetMd5File(path, proceed);
}

bool DigestsMatch(std::string_view computed, std::string_view expected) {
    if (computed.size() != expected.size()) return false;
    for (std::size_t i = 0; i < computed.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(computed[i])) !=
            std::tolower(static_cast<unsigned char>(expected[i])))
            return false;
    }
    return true;
}

void DownloadDebugMessage(std::wstring text) {
    constexpr std::size_t kBuffer = 512;
    if (text.size() > kBuffer - 1) text.resize(kBuffer - 1);
    platform::debugOutput(text);
}

namespace {

// Closes a descriptor when its scope ends.
struct FdCloser {
    int fd = -1;
    FdCloser() = default;
    explicit FdCloser(int descriptor) : fd(descriptor) {}
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

// Puts a finished part in the place of the file it replaces. The two names
// are exchanged and the old file, now under the part's name, removed: a
// plain rename over an existing file makes ext4 write the whole new file out
// before the rename returns (its guard for programs that never flush), which
// holds the worker a tenth of a second per 256 MiB. Every pass checks every
// file's MD5, so a file a crash leaves unwritten is fetched again. Where no
// regular file is in place, or the file system cannot exchange, a rename
// (which refuses to replace a folder, as before).
bool replaceWithPart(int folderFd, const std::string& partName, const std::string& leaf) {
    struct stat st;
    if (::fstatat(folderFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        ::renameat2(folderFd, partName.c_str(), folderFd, leaf.c_str(), RENAME_EXCHANGE) == 0) {
        ::unlinkat(folderFd, partName.c_str(), 0);
        return true;
    }
    return ::renameat(folderFd, partName.c_str(), folderFd, leaf.c_str()) == 0;
}

// What became of one entry of the queue.
enum class EntryResult {
    InPlace,   // verified, downloaded or patched, or skipped by rule
    Failed,    // reported as failed
    Cancelled, // the job was cancelled: stop the worker
};

// Where an entry that is not in place gets written: its folder, reached from
// the installation folder without links (a link in place of one of its
// folders is removed), and the names in it. Everything below is taken
// relative to the folder's descriptor, never by a path someone could bend.
struct EntryPlace {
    FdCloser folder;
    std::string leaf;       // the entry's own name
    std::string partName;   // leaf + ".quellan-part"
    std::string folderPath; // a path of the descriptor itself, with "/"
};

// One worker's run over the pass's queue: each entry in turn is checked,
// then patched or fetched where it is not in place. Lives on the worker's
// thread.
class CWorker {
public:
    CWorker(DownloadPass& pass, IEngineEvents& events, std::uint32_t threadId)
        : m_pass(pass), m_record(CProgressRecord::Create(threadId)), m_ctx{m_record, &events, threadId} {}

    // Works until the queue is empty; false when the job was cancelled.
    bool Run() {
        // Everything below the folder is reached from this descriptor without
        // following links (engine/SafePath.h). A folder that is missing is made
        // for a download; a verification finds every file missing instead.
        if (!m_pass.verifyOnly) CreateDirectoryTree(m_pass.installDir);
        m_root.fd = ::open(platform::toUtf8(m_pass.installDir).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DownloadItem item;
        while (next(item)) {
            const EntryResult result = handle(item);
            if (result == EntryResult::Cancelled) return false;
            if (result == EntryResult::Failed) {
                report(item, FileProblem::Differs);
                m_ctx.post(); // the file's last values
            }
        }
        return !JobCancelled();
    }

private:
    bool next(DownloadItem& item) {
        bool taken = false;
        PublishUnlessCancelled([&] { taken = m_pass.queue->Pop(item); });
        return taken;
    }

    void report(const DownloadItem& item, FileProblem problem) {
        PublishUnlessCancelled([&] {
            m_pass.failed->store(true);
            if (m_pass.verifyOnly) m_pass.verifyOnly(item, problem);
        });
    }

    // --- Step 1: is the entry in place? ---
    EntryResult handle(const DownloadItem& item) {
        const std::wstring fileName = platform::fromUtf8(item.file);
        std::wstring skipName = fileName;
        std::replace(skipName.begin(), skipName.end(), L'/', L'\\');
        if (skipName.find(kSkippedFolder) != std::wstring::npos) return EntryResult::InPlace;
        const std::wstring local = LocalPathForEntry(m_pass.installDir, item.file);
        const std::string relative = RelativePathForEntry(item.file);
        if (local.empty() || relative.empty()) {
            // Never written: it could land anywhere on the disk.
            DownloadDebugMessage(fileName + L" 路径不安全,不予写入");
            report(item, FileProblem::Unsafe);
            return EntryResult::InPlace;
        }
        m_record->SetFile(fileName);
        m_record->SetState(kStateChecking);
        m_ctx.post();

        // A link anywhere on the way reads as no file: it is replaced below.
        // The MD5 of a large file takes long: it stops between pieces when
        // the job is cancelled.
        FdCloser localFile(m_root.fd < 0 ? -1 : openBeneath(m_root.fd, relative, O_RDONLY));
        const bool present = localFile.fd >= 0;
        const std::string address = DownloadAddressForEntry(m_pass.prefix, item.file);
        EntryPlace place;
        bool placed = false;
        bool announced = false; // the file's download state and message went out
        std::string localMd5;
        bool changed = false;      // the patch showed that the file changed, without its MD5
        bool patchStarted = false; // before the MD5 was known
        const bool mayPatch = present && !m_pass.verifyOnly && !item.md5.empty();
        const std::int64_t early = m_pass.earlyPatchBytes < 0 ? kEarlyPatchBytes : m_pass.earlyPatchBytes;
        if (mayPatch && regularSize(localFile.fd) >= early) {
            // A large file an install may patch: the patch's map and scan
            // often tell sooner than the file's own MD5 that it changed;
            // the MD5 runs beside the scan where it may still decide
            // (engine/Patcher).
            COldFileDigest digest(localFile.fd);
            placed = patchStarted = placeEntry(relative, place);
            EntryResult result = EntryResult::Failed;
            if (placed && patch(item, address, place, local, &digest, announced, result)) return result;
            localMd5 = digest.Wait();
            changed = digest.Stopped();
        } else if (present) {
            localMd5 = descriptorMd5(localFile.fd, [] { return !JobCancelled(); });
        }
        ::close(localFile.fd);
        localFile.fd = -1;
        if (JobCancelled()) return EntryResult::Cancelled;
        if (!changed && DigestsMatch(localMd5, item.md5)) {
            m_record->SetState(kStateVerified);
            m_ctx.post();
            return EntryResult::InPlace;
        }
        if (m_pass.verifyOnly) {
            report(item, present ? FileProblem::Differs : FileProblem::Missing);
            return EntryResult::InPlace;
        }

        if (!announced) {
            announce(local, localMd5, item.md5);
            announced = true;
        }
        if (!placed && !placeEntry(relative, place)) {
            DownloadDebugMessage(local + L" 无法写入");
            return EntryResult::Failed;
        }
        if (mayPatch && !patchStarted) {
            // A smaller file is patched once its MD5 said that it changed.
            EntryResult result = EntryResult::Failed;
            if (patch(item, address, place, local, nullptr, announced, result)) return result;
        }
        ::unlinkat(place.folder.fd, place.leaf.c_str(), 0); // the file, or a link in its place (never its target)
        return fetchWhole(item, address, place, local);
    }

    // The file is to be downloaded or patched.
    void announce(const std::wstring& local, const std::string& localMd5, const std::string& expected) {
        m_record->SetState(kStateDownloading);
        m_record->SetTransfer(0, 0, 0);
        DownloadDebugMessage(local + L" md5不一致,本地:" + platform::fromUtf8(localMd5) + L",线上:" +
                             platform::fromUtf8(expected));
    }

    // The size of a regular file; -1 for anything else.
    static std::int64_t regularSize(int fd) {
        struct stat st;
        return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
    }

    bool placeEntry(const std::string& relative, EntryPlace& place) const {
        std::vector<std::string> parents;
        for (std::size_t start = 0, slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1)
            parents.push_back(relative.substr(start, slash - start));
        place.leaf = relative.substr(relative.rfind('/') + 1);
        place.folder.fd = m_root.fd < 0 ? -1 : openEntryFolder(m_root.fd, parents);
        if (place.folder.fd < 0) return false;
        place.partName = place.leaf + platform::toUtf8(kPartSuffix);
        place.folderPath = descriptorPath(place.folder.fd) + "/";
        return true;
    }

    // --- Step 2: patch a large old copy (engine/Patcher) ---
    // True when the patch decided the entry (result set); false when the
    // old file's digest is to decide, and the file to be fetched whole if it
    // is not in place. digest is the old file's MD5 under way, or null when
    // it said that the file changed.
    bool patch(const DownloadItem& item, const std::string& address, const EntryPlace& place, const std::wstring& local,
               COldFileDigest* digest, bool& announced, EntryResult& result) {
        struct stat st;
        if (::fstatat(place.folder.fd, place.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_size < kMinMappedFileBytes)
            return false;
        // Paths through the folder's descriptor: the patch opens them without
        // following a link at the last component.
        const PatchTarget target{platform::fromUtf8(place.folderPath + place.leaf),
                                 platform::fromUtf8(place.folderPath + place.partName), address, item.md5};
        PatchCheck check;
        check.digest = digest;
        check.changed = [&] {
            // The old file's digest when it was waited for, else none.
            if (!announced) announce(local, digest->Stopped() ? std::string() : digest->Wait(), item.md5);
            announced = true;
            m_ctx.posted = false; // the file's first progress report goes out
        };
        const PatchOutcome patched = PatchFile(m_client, target, &m_ctx, &onProgress, check);
        if (patched == PatchOutcome::InPlace) {
            m_record->SetState(kStateVerified);
            m_ctx.post();
            result = EntryResult::InPlace;
            return true;
        }
        if (patched == PatchOutcome::Patched) {
            if (replaceWithPart(place.folder.fd, place.partName, place.leaf)) {
                m_ctx.post(); // the whole file produced, before the state says so
                m_record->SetState(kStateDownloaded);
                m_ctx.post();
                result = EntryResult::InPlace;
                return true;
            }
            DownloadDebugMessage(local + L" 无法写入");
            ::unlinkat(place.folder.fd, place.partName.c_str(), 0);
        } else if (patched == PatchOutcome::Broken) {
            if (JobCancelled()) {
                result = EntryResult::Cancelled;
                return true;
            }
            DownloadDebugMessage(platform::fromUtf8(address) + L" 修补中断");
        }
        if (patched != PatchOutcome::Fallback) {
            result = EntryResult::Failed;
            return true;
        }
        if (announced) m_record->SetTransfer(0, 0, 0);
        return false;
    }

    // --- Step 3: fetch the whole file into its part, check, rename ---
    EntryResult fetchWhole(const DownloadItem& item, const std::string& address, const EntryPlace& place,
                           const std::wstring& local) {
        const int folderFd = place.folder.fd;
        const std::wstring part = platform::fromUtf8(place.folderPath + place.partName);
        char tick[16];
        std::snprintf(tick, sizeof tick, "?r=%u", platform::tickCount());
        const std::wstring recordPath = ResumeRecordPath(part);
        auto discardPart = [&] {
            removeFile(part);
            removeFile(recordPath);
        };

        // A part an earlier transfer left behind is continued where it can
        // be; its bytes count into the digest before the new ones.
        DownloadOptions options;
        options.keepOnFailure = true;
        ResumeRecord base;
        base.address = address;
        base.md5 = item.md5;
        planResume(part, recordPath, base, options);
        // The part is opened once, without following a link, and created
        // only where nothing is: a link planted under its name meanwhile
        // fails this file instead of receiving the download.
        FdCloser partFd{options.resumeFrom > 0
                            ? ::openat(folderFd, place.partName.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC)
                            : createPartBeneath(folderFd, place.partName)};
        bool ok = partFd.fd >= 0;
        bool transferred = false;
        PartObserver observer(partFd.fd, recordPath, base, options.resumeFrom > 0);
        PartObserver* active = &observer;
        std::optional<PartObserver> whole;
        if (ok) {
            options.targetFd = partFd.fd;
            options.observer = &observer;
            m_ctx.posted = false; // the first progress report of a file always goes out
            ok = m_client.DownloadFile(&m_ctx, address + tick, part, &onProgress, options);
            if (!ok && m_client.LastDownload().rangeMismatch && !JobCancelled()) {
                // The server answered the range with other bytes than asked for:
                // its ranges cannot be trusted for this file, so fetch it whole.
                discardPart();
                ::close(partFd.fd);
                partFd.fd = createPartBeneath(folderFd, place.partName);
                whole.emplace(partFd.fd, recordPath, base, false);
                options.resumeFrom = 0;
                options.ifRange.clear();
                options.targetFd = partFd.fd;
                options.observer = active = &*whole;
                ok = partFd.fd >= 0 && m_client.DownloadFile(&m_ctx, address + tick, part, &onProgress, options);
            }
            transferred = ok;
        } else {
            DownloadDebugMessage(local + L" 无法写入");
        }
        if (ok && !item.md5.empty()) {
            const std::string got = active->Finish();
            if (!DigestsMatch(got, item.md5)) {
                DownloadDebugMessage(local + L" 下载后md5不一致,本地:" + platform::fromUtf8(got) + L",线上:" +
                                     platform::fromUtf8(item.md5));
                ok = false;
            }
        }
        if (ok) {
            removeFile(recordPath);
            if (!replaceWithPart(folderFd, place.partName, place.leaf)) {
                DownloadDebugMessage(local + L" 无法写入");
                ok = false;
            }
        }
        if (!ok) {
            // Only a transfer that broke off keeps its part, and only when a
            // record describes it and it is worth continuing; a complete one
            // that failed its check is wrong somewhere and goes. A part we
            // could not open is not ours to remove.
            if (partFd.fd >= 0 && (transferred || !active->Resumable() || fileSize(part) < kMinResumeBytes))
                discardPart();
            if (JobCancelled()) return EntryResult::Cancelled;
            if (partFd.fd >= 0 && !transferred)
                DownloadDebugMessage(platform::fromCodePage(address + tick) + L" 下载失败");
            return EntryResult::Failed; // still in state 0
        }
        m_record->SetState(kStateDownloaded);
        m_ctx.post();
        return EntryResult::InPlace;
    }

    DownloadPass& m_pass;
    CProgressRecord* m_record;
    WorkerContext m_ctx;
    CHttpClient m_client; // one per worker: its connections serve file after file
    FdCloser m_root;
};

} // namespace

void RunDownloadWorker(const DownloadPass& sharedPass, std::uint32_t threadId, std::uint32_t editionIndex,
                       IEngineEvents& sink) {
    // The pass belongs to whoever started the worker: take a copy through the
    // gate, and reach its queue, flag and callback only through the gate.
    DownloadPass pass;
    if (!PublishUnlessCancelled([&] { pass = sharedPass; })) return;
    CJobEvents events(sink);
    if (!CWorker(pass, events, threadId).Run()) return;
    CancellableSleep(pass.endWaitMs);
    events.OnDownloadThreadEnd(threadId, editionIndex);
}

void ThreadDownloadFiles(std::uintptr_t editionIndex) {
    DownloadPass pass;
    pass.endWaitMs = g_downloadEndWaitMs;
    pass.installDir = g_installDir;
    pass.prefix = DownloadPrefixForEdition(static_cast<std::uint32_t>(editionIndex));
    RunDownloadWorker(pass, CurrentThreadId(), static_cast<std::uint32_t>(editionIndex), EngineEvents());
}
