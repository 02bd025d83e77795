// Download workers: per-file verification, transfer into a temporary name,
// digest check, and coalesced progress events.
#include "engine/DownloadWorker.h"

#include "engine/CancelFlag.h"
#include "engine/EngineEvents.h"
#include "engine/FileListJob.h"
#include "engine/HttpClient.h"
#include "engine/LocalPath.h"
#include "engine/Patcher.h"
#include "engine/ResumeRecord.h"
#include "engine/WindowMultiThreadManager.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "util/FileHelpers.h"
#include "util/Text.h"

#include <cctype>
#include <cstdio>
#include <deque>
#include <memory>

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
        events->OnDownloadProgress(threadId, reinterpret_cast<EventArg>(record));
    }
};

// Hashes a part file as it grows and keeps the record beside it true to it,
// so that a transfer that breaks off (or a process that dies) leaves a part
// the next pass can continue.
class PartObserver : public IDownloadObserver {
public:
    PartObserver(std::wstring part, std::wstring recordPath, ResumeRecord base, bool resuming)
        : m_part(std::move(part)), m_recordPath(std::move(recordPath)), m_base(std::move(base)), m_resumable(resuming) {
    }

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
    bool hashPart(std::int64_t length) {
        std::FILE* file = std::fopen(platform::toUtf8(m_part).c_str(), "rbe");
        if (!file) return false;
        std::unique_ptr<char[]> buffer(new char[1 << 20]);
        std::int64_t left = length;
        while (left > 0 && !JobCancelled()) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, 1 << 20));
            const std::size_t got = std::fread(buffer.get(), 1, want, file);
            if (got == 0) break;
            m_digest.Update(buffer.get(), got);
            left -= static_cast<std::int64_t>(got);
        }
        std::fclose(file);
        return left == 0;
    }

    std::wstring m_part;
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

void RunDownloadWorker(const DownloadPass& sharedPass, std::uint32_t threadId, std::uint32_t editionIndex,
                       IEngineEvents& sink) {
    // The pass belongs to whoever started the worker: take a copy through the
    // gate, and reach its queue, flag and callback only through the gate.
    DownloadPass pass;
    if (!PublishUnlessCancelled([&] { pass = sharedPass; })) return;
    CJobEvents events(sink);
    CProgressRecord* record = CProgressRecord::Create(threadId);
    WorkerContext ctx{record, &events, threadId};
    auto report = [&pass](const DownloadItem& item, FileProblem problem) {
        PublishUnlessCancelled([&] {
            pass.failed->store(true);
            if (pass.verifyOnly) pass.verifyOnly(item, problem);
        });
    };
    auto next = [&pass](DownloadItem& item) {
        bool taken = false;
        PublishUnlessCancelled([&] { taken = pass.queue->Pop(item); });
        return taken;
    };
    // The MD5 of a large file takes long: it stops between pieces when the
    // job is cancelled.
    auto proceed = [] { return !JobCancelled(); };

    CHttpClient client; // one per worker: its connections serve file after file
    DownloadItem item;
    while (next(item)) {
        const std::wstring fileName = platform::fromUtf8(item.file);
        if (fileName.find(kSkippedFolder) != std::wstring::npos) continue;
        const std::wstring local = LocalPathForEntry(pass.installDir, item.file);
        if (local.empty()) {
            // Never written: it could land anywhere on the disk.
            DownloadDebugMessage(fileName + L" 路径不安全,不予写入");
            report(item, FileProblem::Unsafe);
            continue;
        }
        record->SetFile(fileName);
        record->SetState(kStateChecking);
        ctx.post();

        const std::string localMd5 = LocalFileMd5(local, proceed);
        if (JobCancelled()) break;
        if (DigestsMatch(localMd5, item.md5)) {
            record->SetState(kStateVerified);
            ctx.post();
            continue;
        }

        if (pass.verifyOnly) {
            report(item, FileExists(local) ? FileProblem::Differs : FileProblem::Missing);
            continue;
        }
        record->SetState(kStateDownloading);
        record->SetTransfer(0, 0, 0);
        DownloadDebugMessage(local + L" md5不一致,本地:" + platform::fromUtf8(localMd5) + L",线上:" +
                             platform::fromUtf8(item.md5));
        // --- Patch hook: a large old copy may rebuild most of the new file
        // (engine/Patcher). Anything the patch cannot do falls through to
        // the whole download below.
        if (!item.md5.empty() && fileSize(local) >= kMinMappedFileBytes) {
            const PatchTarget target{local, local + kPartSuffix, DownloadAddressForEntry(pass.prefix, item.file),
                                     item.md5};
            ctx.posted = false;
            const PatchOutcome patched = PatchFile(client, target, &ctx, &onProgress);
            if (patched == PatchOutcome::Patched) {
                if (std::rename(platform::toUtf8(target.part).c_str(), platform::toUtf8(local).c_str()) == 0) {
                    ctx.post(); // the whole file produced, before the state says so
                    record->SetState(kStateDownloaded);
                    ctx.post();
                    continue;
                }
                DownloadDebugMessage(local + L" 无法写入");
                removeFile(target.part);
            } else if (patched == PatchOutcome::Broken) {
                if (JobCancelled()) break;
                DownloadDebugMessage(platform::fromUtf8(target.address) + L" 修补中断");
            }
            if (patched != PatchOutcome::Fallback) {
                report(item, FileProblem::Differs);
                ctx.post();
                continue;
            }
            record->SetTransfer(0, 0, 0);
        }
        // --- End of the patch hook.
        removeFile(local);
        CreateDirectoryTree(GetDirectoryPart(local));

        char tick[16];
        std::snprintf(tick, sizeof tick, "?r=%u", platform::tickCount());
        const std::string address = DownloadAddressForEntry(pass.prefix, item.file);
        const std::wstring part = local + kPartSuffix;
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
        PartObserver observer(part, recordPath, base, options.resumeFrom > 0);
        options.observer = &observer;
        ctx.posted = false; // the first progress report of a file always goes out
        bool ok = client.DownloadFile(&ctx, address + tick, part, &onProgress, options);
        PartObserver* active = &observer;
        PartObserver whole(part, recordPath, base, false);
        if (!ok && client.LastDownload().rangeMismatch && !JobCancelled()) {
            // The server answered the range with other bytes than asked for:
            // its ranges cannot be trusted for this file, so fetch it whole.
            discardPart();
            options.resumeFrom = 0;
            options.ifRange.clear();
            options.observer = active = &whole;
            ok = client.DownloadFile(&ctx, address + tick, part, &onProgress, options);
        }
        bool transferred = ok;
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
            if (std::rename(platform::toUtf8(part).c_str(), platform::toUtf8(local).c_str()) != 0) {
                DownloadDebugMessage(local + L" 无法写入");
                ok = false;
            }
        }
        if (!ok) {
            // Only a transfer that broke off keeps its part, and only when a
            // record describes it and it is worth continuing; a complete one
            // that failed its check is wrong somewhere and goes.
            if (transferred || !active->Resumable() || fileSize(part) < kMinResumeBytes) discardPart();
            if (JobCancelled()) break;
            if (!transferred) DownloadDebugMessage(platform::fromCodePage(address + tick) + L" 下载失败");
            report(item, FileProblem::Differs);
            ctx.post(); // the file's last values, still in state 0
            continue;
        }
        record->SetState(kStateDownloaded);
        ctx.post();
    }
    if (JobCancelled()) return;
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
