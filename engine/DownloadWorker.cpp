// Download workers: per-file verification, transfer into a temporary name,
// digest check, and coalesced progress events.
#include "engine/DownloadWorker.h"

#include "engine/CancelFlag.h"
#include "engine/EngineEvents.h"
#include "engine/FileListJob.h"
#include "engine/HttpClient.h"
#include "engine/LocalPath.h"
#include "engine/WindowMultiThreadManager.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "util/FileHelpers.h"
#include "util/Text.h"

#include <cctype>
#include <cstdio>
#include <deque>
#include <memory>

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

bool onProgress(void* data, std::int64_t total, std::int64_t received, double speed) {
    auto* ctx = static_cast<WorkerContext*>(data);
    ctx->record->SetTransfer(total, received, speed);
    if (!ctx->posted || platform::tickCount() - ctx->lastPost >= kProgressIntervalMs) ctx->post();
    return true;
}

} // namespace

std::atomic<std::uint32_t> g_downloadEndWaitMs{1000};

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
        removeFile(local);
        CreateDirectoryTree(GetDirectoryPart(local));

        char tick[16];
        std::snprintf(tick, sizeof tick, "?r=%u", platform::tickCount());
        const std::string address = DownloadAddressForEntry(pass.prefix, item.file) + tick;
        const std::wstring part = local + kPartSuffix;

        ctx.posted = false; // the first progress report of a file always goes out
        // The digest is taken from the bytes as they are written, which
        // spares reading the file again.
        CMd5Stream digest;
        client.SetChunkObserver([](void* md5, const char* bytes,
                                   std::size_t length) { static_cast<CMd5Stream*>(md5)->Update(bytes, length); },
                                &digest);
        bool ok = client.DownloadFile(&ctx, address, part, &onProgress);
        client.SetChunkObserver(nullptr, nullptr);
        if (!ok) {
            if (JobCancelled()) break;
            DownloadDebugMessage(platform::fromCodePage(address) + L" 下载失败");
        } else if (!item.md5.empty()) {
            const std::string got = digest.Finish();
            if (!DigestsMatch(got, item.md5)) {
                DownloadDebugMessage(local + L" 下载后md5不一致,本地:" + platform::fromUtf8(got) + L",线上:" +
                                     platform::fromUtf8(item.md5));
                ok = false;
            }
        }
        if (ok && std::rename(platform::toUtf8(part).c_str(), platform::toUtf8(local).c_str()) != 0) {
            DownloadDebugMessage(local + L" 无法写入");
            ok = false;
        }
        if (!ok) {
            removeFile(part);
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
