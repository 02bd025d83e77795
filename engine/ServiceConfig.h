// Process-wide service settings and the remote configuration they yield.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Primary and fallback service addresses, without a trailing slash. Compiled
// in as deployment data; QUELLAN_SERVICE_BASE and QUELLAN_SERVICE_FALLBACK
// override them at start. Written only before jobs start.
extern std::string g_serviceBase;
extern std::string g_serviceFallback;

// Pause before the fallback attempt of a service request, in milliseconds.
// 3000 in the program; tests shorten it.
extern std::uint32_t g_serviceRetryPauseMs;

// The decrypted configuration JSON, empty until the configuration request
// succeeded. Written by the configuration job before it reports success;
// read only after that event.
extern std::string g_configText;

// Base address of each edition's game files, from the configuration, in the
// order of kConfigEditionCodes.
extern std::array<std::string, 5> g_downloadPrefix;

// Edition codes in the order of the configuration keys and of g_downloadPrefix.
inline constexpr const char* kConfigEditionCodes[5] = {"alder", "birch", "cedar", "dogwood", "elm"};

// The program's own version, sent with every service request.
inline constexpr int kServiceClientVersion = 20;
