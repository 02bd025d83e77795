// Process-wide service settings: compiled-in addresses with run-time overrides.
#include "engine/ServiceConfig.h"

#include <cstdlib>

#ifndef QUELLAN_SERVICE_BASE_DEFAULT
#define QUELLAN_SERVICE_BASE_DEFAULT "https://service.example.com"
#endif
#ifndef QUELLAN_SERVICE_FALLBACK_DEFAULT
#define QUELLAN_SERVICE_FALLBACK_DEFAULT "https://192.0.2.1"
#endif

namespace {

std::string fromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    std::string text = value && *value ? value : fallback;
    while (!text.empty() && text.back() == '/') text.pop_back();
    return text;
}

} // namespace

std::string g_serviceBase = fromEnvironment("QUELLAN_SERVICE_BASE", QUELLAN_SERVICE_BASE_DEFAULT);
std::string g_serviceFallback = fromEnvironment("QUELLAN_SERVICE_FALLBACK", QUELLAN_SERVICE_FALLBACK_DEFAULT);
std::uint32_t g_serviceRetryPauseMs = 3000;
std::string g_configText;
std::array<std::string, 5> g_downloadPrefix;
