// The file list job: fetch the edition's list, fill the download queue and
// announce the pass.
#pragma once

#include <cstdint>
#include <string>

class IEngineEvents;

// The installation folder the next file list job takes over (the window's
// path field at the moment the user pressed start). Any thread.
void SetRequestedInstallFolder(const std::wstring& folder);
std::wstring RequestedInstallFolder();

// Job body: empties the queue, takes over the requested folder as
// g_installDir, downloads the list named by g_configText for the edition into
// the temporary folder (overwriting an older copy, "?r=<tick>" appended),
// fills the queue in list order, then posts OnShowStatusText with
// "正在下载，剩余%d个文件", clears g_downloadFailed and posts OnStartDownload.
// A list that cannot be fetched, is not JSON, is neither an array nor an
// object, is over its size cap or does not match its digest in the
// configuration posts OnFileListFailed "文件列表获取失败！".
void RunGetFileList(std::uint32_t editionIndex, IEngineEvents& sink);

// Thread function: RunGetFileList reporting to EngineEvents().
void ThreadGetFileList(std::uintptr_t editionIndex);

// The edition's entry of g_downloadPrefix (empty for an unknown index).
std::string DownloadPrefixForEdition(std::uint32_t editionIndex);
