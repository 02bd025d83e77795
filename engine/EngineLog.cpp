// The engine's log entries, written through the process-wide log file.
#include "engine/EngineLog.h"

#include "platform/system/System.h"
#include "util/LogFile.h"
#include "util/Text.h"

namespace engine_log {

namespace {
// The modules these entries have always been attributed to.
const wchar_t kHelpersModule[] = L".\\StdAfx.cpp";
const wchar_t kJobsModule[] = L".\\ThreadCallFunc.cpp";
constexpr int kDownloadFailedLine = 65;
constexpr int kDecryptTimingLine = 237;
} // namespace

void DownloadFailed(const std::string& url, const std::wstring& targetFile, long status) {
    std::wstring address = AnsiToUnicode(url);
    g_log.WriteLog(kHelpersModule, kDownloadFailedLine, L"%s下载失败%s,%ld", address.c_str(), targetFile.c_str(),
                   status);
}

void ResponseText(ResponseSite site, const std::string& utf8Body) {
    g_log.WriteLogText(kJobsModule, static_cast<int>(site), Utf8ToUnicode(utf8Body));
}

void DecryptTiming(std::uint32_t start, std::uint32_t end) {
    g_log.WriteLog(kJobsModule, kDecryptTimingLine, L"RSADecrypt:dwStart=%d,dwStart1=%d,run=%d\r\n",
                   static_cast<int>(start), static_cast<int>(end), static_cast<int>(end - start));
}

std::uint32_t TickCount() { return platform::tickCount(); }

} // namespace engine_log
