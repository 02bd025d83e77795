// The engine's log entries. They carry the call sites the log has always
// shown for them (module and line), independent of where the code now lives.
// Not for use outside engine/.
#pragma once

#include <cstdint>
#include <string>

namespace engine_log {

// "%s下载失败%s,%ld": address, target file, HTTP status.
void DownloadFailed(const std::string& url, const std::wstring& targetFile, long status);

// A service response body (UTF-8), written verbatim, at one of the fixed
// lines of the job module.
enum class ResponseSite : int {
    CheckVersionRetry = 279,
    CheckVersionFailed = 311,
    GetConfigRetry = 346,
    GetConfigFailed = 389,
    ReportRetry = 435,
};
void ResponseText(ResponseSite site, const std::string& utf8Body);

// "RSADecrypt:dwStart=%d,dwStart1=%d,run=%d\r\n" with the tick counts
// around a payload decryption.
void DecryptTiming(std::uint32_t start, std::uint32_t end);

// Milliseconds of the system tick count, for the timing entry.
std::uint32_t TickCount();

} // namespace engine_log
