// Signed requests to the installer's web service and the two jobs that use
// them at start: the version check and the remote configuration.
#pragma once

#include "engine/EngineLog.h"

#include <cstdint>
#include <string>

// Seconds since 1970-01-01 UTC as decimal text.
std::string MakeTimeStamp();

// The signed form body for params ("ts=T" or "code=N&ts=T"): params, then
// "&sign=" and the lower-case MD5 of params (its first field lower-cased)
// followed directly by the signing key.
std::string SignedBody(const std::string& params);

// The five identity header lines, CR LF between them, none after the last.
std::string GetClientHeaders();

// 32 lower-case hex digits identifying this machine; computed once.
std::string GetClientUuid();

// The facts the client identifier is made of.
struct ClientIdentityFacts {
    std::string computerName; // UTF-8
    std::string macText;      // "XX-XX-XX-XX-XX-XX" or empty
    int processorCount = 0;
    std::int64_t totalMemory = 0; // bytes
    std::string cpuSignature;
    bool windows8OrLater = false; // newer systems hide the MAC behind "FF-FF-FF-FF-FF-FF"
};
// MD5 of "name.mac.processors.memory.signature".
std::string ComposeClientUuid(const ClientIdentityFacts& facts);

// Where a failed first attempt of a request is logged.
using engine_log::ResponseSite;

// Posts body with the identity headers to g_serviceBase + path. When that
// answers a status outside 200..300 or nothing, waits g_serviceRetryPauseMs
// (cancellable), logs the answer at retrySite and posts once more to
// g_serviceFallback + fallbackPath. A non-empty nonce goes out as a sixth
// header "Nonce: " + nonce, the same on both attempts. An answer larger than
// kMaxServiceAnswerBytes (decoded) fails the transfer. Returns the status of
// the attempt used; response holds its body or the transfer error text.
long PostServiceRequest(const std::string& path, const std::string& fallbackPath, const std::string& body,
                        ResponseSite retrySite, std::string& response, const std::string& nonce = {});

// Reads the answer envelope: true when it is JSON with "code" 10001 and a
// string "data", which goes to data.
bool ReadServiceEnvelope(const std::string& response, std::string& data);

// One signed request with a time-stamp body and a fresh nonce, then the full
// answer check (OpenSignedAnswer over path and that nonce). True with the
// decrypted, authenticated payload; false with response holding what the
// service answered (for the log). A refused answer is final: it is not asked
// for again elsewhere.
bool CallService(const std::string& path, ResponseSite retrySite, std::string& payload, std::string& response);

class IEngineEvents;

// The job bodies: they report to sink (see IEngineEvents).
void RunCheckVersion(IEngineEvents& sink);
// Also fills g_configText and g_downloadPrefix before reporting success.
void RunGetConfig(IEngineEvents& sink);

// Thread functions for the thread manager; they ignore their parameter and
// report to EngineEvents().
void ThreadCheckVersion(std::uintptr_t);
void ThreadGetConfig(std::uintptr_t);
