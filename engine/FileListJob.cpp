// The file list job.
#include "engine/FileListJob.h"

#include "engine/CancelFlag.h"
#include "engine/EngineEvents.h"
#include "engine/HttpClient.h"
#include "engine/Manifest.h"
#include "engine/ServiceConfig.h"
#include "engine/SignedAnswer.h"
#include "platform/system/System.h"
#include "util/FileHelpers.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace {
std::mutex g_requestedLock;
std::wstring g_requestedInstallDir;
} // namespace

void SetRequestedInstallFolder(const std::wstring& folder) {
    std::lock_guard lock(g_requestedLock);
    g_requestedInstallDir = folder;
}

std::wstring RequestedInstallFolder() {
    std::lock_guard lock(g_requestedLock);
    return g_requestedInstallDir;
}

std::string DownloadPrefixForEdition(std::uint32_t editionIndex) {
    const std::string_view code = EditionCodeForIndex(editionIndex);
    for (std::size_t i = 0; i < std::size(kConfigEditionCodes); ++i) {
        if (!code.empty() && code == kConfigEditionCodes[i]) return g_downloadPrefix[i];
    }
    return {};
}

void RunGetFileList(std::uint32_t editionIndex, IEngineEvents& sink) {
    CJobEvents events(sink);
    const std::wstring folder = RequestedInstallFolder();
    PublishUnlessCancelled([&] {
        g_downloadQueue.Clear();
        g_installDir = folder;
    });

    std::string address = FileListAddress(g_configText, editionIndex);
    const std::wstring temp = platform::tempFolder();
    bool fetched = false;
    std::wstring localList;
    if (!address.empty() && !temp.empty()) {
        // Each process keeps its own copy: two installers never read each
        // other's half-written list.
        localList = LocalFileListPath(temp, address) + L"." + std::to_wstring(::getpid());
        char tick[16];
        std::snprintf(tick, sizeof tick, "?r=%u", platform::tickCount());
        address += tick;
        fetched = HttpDownloadFile(address, localList, /*overwrite=*/true, kMaxFileListBytes);
    }
    // The list decides what lands in the folder: it counts only when it is
    // the one the signed configuration names by its digest, and parses.
    std::vector<DownloadItem> items;
    if (fetched) {
        const std::string text = ReadFileToString(localList);
        const std::string expected = ConfigString(g_configText, FileListDigestKey(editionIndex));
        if (!HexDigestMatches(Sha256File(localList), expected)) {
            platform::debugOutput(L"文件列表摘要不符");
            fetched = false;
        } else if (!ParseFileList(text, items)) {
            platform::debugOutput(L"文件列表无法解析");
            fetched = false;
        }
    }
    if (!fetched) {
        events.OnFileListFailed(0, MakeEventWideText(L"文件列表获取失败！"));
        return;
    }

    // The queue, the flag and the events that announce them go out together,
    // or not at all once the job is cancelled.
    PublishUnlessCancelled([&] {
        g_downloadQueue.Assign(std::move(items));
        wchar_t status[64];
        std::swprintf(status, std::size(status), L"正在下载，剩余%d个文件", GetDownloadItemCount());
        events.OnShowStatusText(0, MakeEventWideText(status));
        g_downloadFailed = false;
        events.OnStartDownload(0, 0);
    });
}

void ThreadGetFileList(std::uintptr_t editionIndex) {
    RunGetFileList(static_cast<std::uint32_t>(editionIndex), EngineEvents());
}
