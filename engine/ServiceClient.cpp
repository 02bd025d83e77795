// Signed service requests, the client identity and the start-up jobs.
#include "engine/ServiceClient.h"

#include "engine/CancelFlag.h"
#include "engine/EngineEvents.h"
#include "engine/HttpClient.h"
#include "engine/Payload.h"
#include "engine/ServiceConfig.h"
#include "engine/ServiceState.h"
#include "engine/SignedAnswer.h"

#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "util/SystemInfo.h"
#include "util/Text.h"

#include <json/json.h>

#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

const char kSigningKey[] = "Rb4TqL8wXz2MnK7v";

std::string md5Hex(const std::string& text) { return CMd5A().GetMd5String(text); }

bool parseJson(const std::string& text, Json::Value& value) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &value, &errors);
}

ClientIdentityFacts collectFacts();

} // namespace

std::string MakeTimeStamp() {
    using namespace std::chrono;
    long long seconds = duration_cast<std::chrono::seconds>(system_clock::now().time_since_epoch()).count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld", seconds);
    return text;
}

std::string SignedBody(const std::string& params) {
    // The service lower-cases the first field before hashing (the report's
    // "code=N"); for "ts=T" that changes nothing.
    std::size_t first = params.find('&');
    std::string hashed = params;
    for (std::size_t i = 0; i < (first == std::string::npos ? 0 : first); ++i)
        hashed[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(hashed[i])));
    return params + "&sign=" + md5Hex(hashed + kSigningKey);
}

std::string GetClientHeaders() {
    return "Userid: 0\r\nClientuuid: " + GetClientUuid() +
           "\r\nCategoryid: 6\r\nVersion: " + std::to_string(kServiceClientVersion) + "\r\nLang: zh-cn";
}

std::string ComposeClientUuid(const ClientIdentityFacts& facts) {
    std::string mac = facts.windows8OrLater ? "FF-FF-FF-FF-FF-FF" : facts.macText;
    std::string text = facts.computerName + "." + mac + "." + std::to_string(facts.processorCount) + "." +
                       std::to_string(facts.totalMemory) + "." + facts.cpuSignature;
    return md5Hex(text);
}

std::string GetClientUuid() {
    static std::once_flag once;
    static std::string uuid;
    std::call_once(once, [] { uuid = ComposeClientUuid(collectFacts()); });
    return uuid;
}

long PostServiceRequest(const std::string& path, const std::string& fallbackPath, const std::string& body,
                        ResponseSite retrySite, std::string& response, const std::string& nonce) {
    std::string headers = GetClientHeaders();
    if (!nonce.empty()) headers += "\r\nNonce: " + nonce;
    CHttpClient client;
    long status = 0;
    response.clear();
    if (!client.InitLibCurl()) {
        response = "InitLibCurl is not invoked";
        return 0;
    }
    client.SetBodyLimit(kMaxServiceAnswerBytes);
    client.SetPostFields(body);
    status = client.Request(g_serviceBase + path, kRequestDefault, response, headers.c_str());
    if (status < 200 || status > 300 || response.empty()) {
        if (!CancellableSleep(g_serviceRetryPauseMs)) {
            client.Cleanup();
            return status;
        }
        engine_log::ResponseText(retrySite, response);
        client.SetPostFields(body);
        status = client.Request(g_serviceFallback + fallbackPath, kRequestDefault, response, headers.c_str());
    }
    client.Cleanup();
    return status;
}

bool ReadServiceEnvelope(const std::string& response, std::string& data) {
    try {
        Json::Value root;
        if (!parseJson(response, root) || !root.isObject()) return false;
        if (root["code"].asInt() != 10001) return false;
        const Json::Value& value = root["data"];
        if (!value.isString()) return false;
        data = value.asString();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CallService(const std::string& path, ResponseSite retrySite, std::string& payload, std::string& response) {
    std::string body = SignedBody("ts=" + MakeTimeStamp());
    const std::string nonce = MakeRequestNonce();
    if (nonce.empty()) {
        response = "no random source for the request nonce";
        return false;
    }
    PostServiceRequest(path, path, body, retrySite, response, nonce);
    std::string reason;
    if (OpenSignedAnswer(response, path, nonce, payload, reason)) return true;
    platform::debugOutput(L"服务应答被拒绝: " + platform::fromUtf8(reason));
    return false;
}

void RunCheckVersion(IEngineEvents& sink) {
    CJobEvents events(sink);
    std::string payload, response;
    bool ok = false;
    try {
        ok = CallService("/Speed/Config/checkVersion", ResponseSite::CheckVersionRetry, payload, response);
    } catch (const std::exception&) {
        ok = false;
    }
    // A cancelled request is no failure of the service: nothing to log or say.
    if (JobCancelled()) return;
    if (ok) {
        events.OnCheckVersionResult(0, MakeEventText(std::move(payload)));
        return;
    }
    engine_log::ResponseText(ResponseSite::CheckVersionFailed, response);
    events.OnCheckVersionFailed(0, MakeEventWideText(L"检查更新失败，请下载最新版本！"));
}

void RunGetConfig(IEngineEvents& sink) {
    CJobEvents events(sink);
    std::string payload, response;
    bool ok = false;
    bool isObject = false;
    std::array<std::string, std::size(kConfigEditionCodes)> prefixes;
    try {
        ok = CallService("/Speed/Config/getConfig", ResponseSite::GetConfigRetry, payload, response);
        if (ok) {
            Json::Value config;
            isObject = parseJson(payload, config) && config.isObject();
            // A signed configuration may still be an old one played back, or
            // one past its time: refused like a failed request.
            std::string reason;
            if (isObject && !AcceptConfigFreshness(payload, std::stoll(MakeTimeStamp()), reason)) {
                platform::debugOutput(L"配置被拒绝: " + platform::fromUtf8(reason));
                ok = false;
                isObject = false;
            }
            if (isObject) {
                for (std::size_t i = 0; i < prefixes.size(); ++i) {
                    const Json::Value& value = config[std::string(kConfigEditionCodes[i]) + "_downloadurl_prefix"];
                    prefixes[i] = value.isConvertibleTo(Json::stringValue) ? value.asString() : std::string();
                }
            }
        }
    } catch (const std::exception&) {
        ok = false;
    }
    // The configuration and its event reach the window together, or not at
    // all once the job is cancelled.
    PublishUnlessCancelled([&] {
        if (ok) g_configText = payload;
        if (ok && isObject) {
            g_downloadPrefix = prefixes;
            events.OnGetConfigResult(0, 0);
            return;
        }
        engine_log::ResponseText(ResponseSite::GetConfigFailed, response);
        events.OnGetConfigFailed(0, MakeEventWideText(L"配置数据获取失败！"));
    });
}

void ThreadCheckVersion(std::uintptr_t) { RunCheckVersion(EngineEvents()); }

void ThreadGetConfig(std::uintptr_t) { RunGetConfig(EngineEvents()); }

namespace {

ClientIdentityFacts collectFacts() {
    ClientIdentityFacts facts;
    facts.computerName = UnicodeToUtf8(GetComputerNameText());
    facts.macText = GetMacAddress();
    facts.processorCount = static_cast<int>(GetLogicalProcessorCount());
    facts.totalMemory = static_cast<std::int64_t>(GetTotalPhysicalMemory());
    facts.cpuSignature = GetCpuSignature();
    facts.windows8OrLater = IsWindows8OrLater();
    return facts;
}

} // namespace
