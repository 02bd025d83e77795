// The engine's log entries, written through the process-wide log file.
#include "engine/EngineLog.h"

#include <chrono>
#include <cstdio>

namespace engine_log {

// FIXME: goes to stderr until the log file lands; then through g_log.
void DownloadFailed(const std::string& url, const std::wstring& targetFile, long status)
{
    std::fprintf(stderr, "%s download failed %ls,%ld\n", url.c_str(), targetFile.c_str(), status);
}

void ResponseText(ResponseSite site, const std::string& utf8Body)
{
    std::fprintf(stderr, "[%d] %s\n", static_cast<int>(site), utf8Body.c_str());
}

void DecryptTiming(std::uint32_t start, std::uint32_t end)
{
    std::fprintf(stderr, "RSADecrypt:dwStart=%u,dwStart1=%u,run=%u\n", start, end, end - start);
}

std::uint32_t TickCount()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace engine_log
