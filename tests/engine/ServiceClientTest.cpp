// Signed service requests, envelopes, payload decryption and the start-up
// jobs against the local service.
#include "engine/EngineEvents.h"
#include "engine/HttpClient.h"
#include "engine/Payload.h"
#include "engine/ServiceClient.h"
#include "engine/ServiceConfig.h"
#include "engine/ServiceState.h"
#include "tools/devserver/RawCaptureServer.h"

#include "EngineTestSupport.h"

#include <json/json.h>

#include <ctime>
#include <mutex>

using namespace enginetest;

namespace {

// Records events as the window would receive them, taking ownership of the
// strings.
class RecordingEvents : public IEngineEvents {
public:
    void OnCheckVersionResult(EventArg, EventArg a2) override { add("CheckVersionResult", *TakeEventText(a2)); }
    void OnCheckVersionFailed(EventArg, EventArg a2) override { addWide("CheckVersionFailed", *TakeEventWideText(a2)); }
    void OnGetConfigResult(EventArg, EventArg) override { add("GetConfigResult", ""); }
    void OnGetConfigFailed(EventArg, EventArg a2) override { addWide("GetConfigFailed", *TakeEventWideText(a2)); }

    std::vector<std::pair<std::string, std::string>> events;
    std::wstring lastWide;

private:
    void add(const std::string& name, const std::string& text) { events.emplace_back(name, text); }
    void addWide(const std::string& name, const std::wstring& text) {
        lastWide = text;
        events.emplace_back(name, "");
    }
};

class ServiceTest : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        m_savedBase = g_serviceBase;
        m_savedFallback = g_serviceFallback;
        m_savedPause = g_serviceRetryPauseMs;
        g_serviceBase = m_server.BaseUrl();
        g_serviceFallback = m_server.BaseUrl() + "/fallback";
        g_serviceRetryPauseMs = 50;
        g_configText.clear();
        g_downloadPrefix = {};
    }
    void TearDown() override {
        g_serviceBase = m_savedBase;
        g_serviceFallback = m_savedFallback;
        g_serviceRetryPauseMs = m_savedPause;
    }

    std::string m_savedBase, m_savedFallback;
    std::uint32_t m_savedPause = 0;
};

// A payload of n bytes of printable text.
std::string plainText(std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += static_cast<char>('A' + i % 26);
    return text;
}

} // namespace

TEST(ServiceSigningTest, BodyAndSignatureForKnownTimeStamps) {
    EXPECT_EQ(SignedBody("ts=1700000000"), "ts=1700000000&sign=22a3fdb39bcffc1f2a56d5452b0ecf74");
    EXPECT_EQ(SignedBody("ts=1700000001"), "ts=1700000001&sign=8eeaec116634a3931a8abfd547179e03");
    EXPECT_EQ(SignedBody("code=163000&ts=1700000000"),
              "code=163000&ts=1700000000&sign=290a0905684ed14aa78deb86557ca472");
    std::string ts = MakeTimeStamp();
    ASSERT_FALSE(ts.empty());
    EXPECT_EQ(ts.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_GT(std::stoll(ts), 1700000000);
}

TEST(ServiceIdentityTest, HeaderBlockAndClientUuid) {
    std::string headers = GetClientHeaders();
    std::string uuid = GetClientUuid();
    EXPECT_EQ(headers, "Userid: 0\r\nClientuuid: " + uuid + "\r\nCategoryid: 6\r\nVersion: 20\r\nLang: zh-cn");
    ASSERT_EQ(uuid.size(), 32u);
    EXPECT_EQ(uuid.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(GetClientUuid(), uuid);

    ClientIdentityFacts facts{"localhost", "00-11-22-33-44-55", 4, 8589934592LL, "0000000000000000", true};
    EXPECT_EQ(ComposeClientUuid(facts), "67e12719e2c405c46921ba3abc702074");
    facts.windows8OrLater = false;
    EXPECT_NE(ComposeClientUuid(facts), "67e12719e2c405c46921ba3abc702074");
}

TEST(ServiceWireTest, ExactRequestBytes) {
    devserver::RawCaptureServer raw;
    ASSERT_TRUE(raw.Start("{}"));
    std::string saved = g_serviceBase;
    g_serviceBase = "http://127.0.0.1:" + std::to_string(raw.Port());
    std::string response;
    long status = PostServiceRequest("/Speed/Config/checkVersion", "/Speed/Config/checkVersion",
                                     SignedBody("ts=1700000000"), ResponseSite::CheckVersionRetry, response);
    g_serviceBase = saved;
    EXPECT_EQ(status, 200);
    EXPECT_EQ(response, "{}");

    auto requests = raw.Requests();
    ASSERT_EQ(requests.size(), 1u);
    std::string expected = "POST /Speed/Config/checkVersion HTTP/1.1\r\n"
                           "Host: 127.0.0.1:" +
                           std::to_string(raw.Port()) +
                           "\r\n"
                           "Accept: */*\r\n"
                           "Accept-Language: zh-CN\r\n"
                           "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
                           "Accept-Encoding: gzip, deflate\r\n"
                           "Connection: Keep-Alive\r\n"
                           "Userid: 0\r\n"
                           "Clientuuid: " +
                           GetClientUuid() +
                           "\r\n"
                           "Categoryid: 6\r\n"
                           "Version: 20\r\n"
                           "Lang: zh-cn\r\n"
                           "Content-Length: 51\r\n"
                           "Content-Type: application/x-www-form-urlencoded\r\n"
                           "\r\n"
                           "ts=1700000000&sign=22a3fdb39bcffc1f2a56d5452b0ecf74";
    EXPECT_EQ(requests[0], expected);
}

TEST(ServiceEnvelopeTest, OnlyCode10001WithStringDataSucceeds) {
    struct Case {
        const char* json;
        bool ok;
        const char* data;
    } cases[] = {
        {R"({"code":10001,"data":"abc"})", true, "abc"},
        {R"({"code":10002,"data":"abc"})", false, ""},
        {R"({"code":10001,"data":5})", false, ""},
        {R"({"code":10001})", false, ""},
        {R"({"code":"10001","data":"abc"})", false, ""},
        {R"({"data":"abc"})", false, ""},
        {R"([1,2])", false, ""},
        {"not json", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        std::string data;
        EXPECT_EQ(ReadServiceEnvelope(c.json, data), c.ok) << c.json;
        if (c.ok) {
            EXPECT_EQ(data, c.data);
        }
    }
}

TEST_F(ServiceTest, PayloadDecryptionBlocksAndPlainShortText) {
    std::string text = plainText(300); // three 117-byte chunks: 100, 117... blocks
    std::string hex = m_server.EncryptPayload(text);
    ASSERT_EQ(hex.size(), 3u * 256u);
    EXPECT_EQ(DecryptPayload(hex), text);

    // 63 characters are taken as plain text; 64 are decrypted (and fail).
    std::string plain63(63, 'a');
    EXPECT_EQ(DecryptPayload(plain63), plain63);
    EXPECT_EQ(DecryptPayload(std::string(64, 'a')), "");
    EXPECT_EQ(DecryptPayload(""), "");

    // A partial last block is dropped.
    EXPECT_EQ(DecryptPayload(hex.substr(0, 256 * 2 + 100)), text.substr(0, 234));
    // A block that does not decrypt adds nothing; the others stay.
    std::string damaged = hex;
    damaged.replace(256, 256, std::string(256, '0'));
    EXPECT_EQ(DecryptPayload(damaged), text.substr(0, 117) + text.substr(234));
    // A pair that is not hex reads as zero: put it where the block has no
    // zero byte (a random ciphertext often starts with one).
    std::string notHex = hex;
    std::size_t pair = 0;
    while (hex.compare(pair, 2, "00") == 0) pair += 2;
    ASSERT_LT(pair, 256u);
    notHex.replace(pair, 2, "zz");
    EXPECT_EQ(DecryptPayload(notHex), text.substr(117));
}

TEST_F(ServiceTest, VersionCheckSucceedsWithSignedRequest) {
    m_server.SetVersion("21", "http://example.invalid/new");
    RecordingEvents events;
    RunCheckVersion(events);
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].first, "CheckVersionResult");
    Json::Value version;
    ASSERT_TRUE(Json::Reader().parse(events.events[0].second, version));
    EXPECT_EQ(version["check_code"].asString(), "21");
    EXPECT_EQ(version["file_url"].asString(), "http://example.invalid/new");

    auto requests = m_server.RequestsTo("/Speed/Config/checkVersion");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].status, 200);
    EXPECT_EQ(requests[0].Header("Categoryid"), "6");
    EXPECT_EQ(requests[0].body.rfind("ts=", 0), 0u);
}

TEST_F(ServiceTest, PrimaryFailureFallsBackOnceAfterThePause) {
    for (bool emptyBody : {false, true}) {
        m_server.ClearRequests();
        devserver::Fault fault;
        fault.status = emptyBody ? 0 : 500;
        fault.emptyBody = emptyBody;
        fault.times = 1;
        m_server.SetFault("/Speed/Config/checkVersion", fault);
        // The fallback of this fixture is a path prefix on the same server,
        // which does not exist: the second answer is used as it is.
        RecordingEvents events;
        auto start = std::chrono::steady_clock::now();
        RunCheckVersion(events);
        auto elapsed = std::chrono::steady_clock::now() - start;
        auto requests = m_server.Requests();
        ASSERT_EQ(requests.size(), 2u) << emptyBody;
        EXPECT_EQ(requests[0].path, "/Speed/Config/checkVersion");
        EXPECT_EQ(requests[1].path, "/fallback/Speed/Config/checkVersion");
        EXPECT_EQ(requests[1].body, requests[0].body);
        // One nonce per request, the same on its fallback attempt.
        const std::string nonce = requests[0].Header("Nonce");
        EXPECT_EQ(nonce.size(), 32u);
        EXPECT_EQ(nonce.find_first_not_of("0123456789abcdef"), std::string::npos) << nonce;
        EXPECT_EQ(requests[1].Header("Nonce"), requests[0].Header("Nonce"));
        EXPECT_GE(elapsed, std::chrono::milliseconds(50));
        ASSERT_EQ(events.events.size(), 1u);
        EXPECT_EQ(events.events[0].first, "CheckVersionFailed");
        EXPECT_EQ(events.lastWide, L"检查更新失败，请下载最新版本！");
    }
}

TEST_F(ServiceTest, UnreachablePrimaryUsesTheFallbackAnswer) {
    g_serviceFallback = m_server.BaseUrl();
    // A port nobody listens on.
    devserver::RawCaptureServer closed;
    ASSERT_TRUE(closed.Start());
    int port = closed.Port();
    closed.Stop();
    g_serviceBase = "http://127.0.0.1:" + std::to_string(port);
    RecordingEvents events;
    RunCheckVersion(events);
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].first, "CheckVersionResult");
    EXPECT_EQ(m_server.RequestsTo("/Speed/Config/checkVersion").size(), 1u);
}

TEST_F(ServiceTest, ShortPlainDataIsTakenWhenSigned) {
    devserver::Fault plain;
    plain.rawData = R"({"check_code":"20"})";
    m_server.SetFault("/Speed/Config/checkVersion", plain);
    RecordingEvents events;
    RunCheckVersion(events);
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].first, "CheckVersionResult");
    EXPECT_EQ(events.events[0].second, R"({"check_code":"20"})");
}

// Whoever answers in place of the service (a hostile network, a mirror, a
// hijacked name) must not be able to say anything the program acts on: each
// of these answers is refused as a failed request, and no fallback attempt
// follows a refusal.
TEST_F(ServiceTest, AnswersThatAreNotAuthenticAreRefused) {
    // A genuine answer of an earlier request (another nonce), for playback.
    RecordingEvents first;
    RunGetConfig(first);
    ASSERT_EQ(first.events.size(), 1u);
    ASSERT_EQ(first.events[0].first, "GetConfigResult");
    Json::Value earlier;
    ASSERT_TRUE(Json::Reader().parse(m_server.RequestsTo("/Speed/Config/getConfig").at(0).response, earlier));
    const std::string oldData = earlier["data"].asString(), oldSig = earlier["sig"].asString();
    ASSERT_GE(oldData.size(), 3u * 256u); // the configuration spans several blocks

    using Tamper = std::function<void(std::string&, std::string&)>;
    struct Case {
        const char* name;
        devserver::Fault fault;
    } cases[] = {
        {"wrong code", devserver::Fault{.wrongCode = true}},
        {"unsigned", devserver::Fault{.unsignedAnswer = true}},
        {"undecryptable data", devserver::Fault{.badPayload = true}},
        {"played back", devserver::Fault{.tamper = Tamper([&](std::string& d, std::string& s) {
                                             d = oldData;
                                             s = oldSig;
                                         })}},
        {"block cut out", devserver::Fault{.tamper = Tamper([](std::string& d, std::string&) { d.erase(256, 256); })}},
        {"block repeated",
         devserver::Fault{.tamper = Tamper([](std::string& d, std::string&) { d.insert(0, d.substr(0, 256)); })}},
        {"block spliced in", devserver::Fault{.tamper = Tamper([](std::string& d, std::string&) {
                                                  d.insert(256, std::string(256, '0'));
                                              })}},
        {"partial block", devserver::Fault{.tamper = Tamper([](std::string& d, std::string&) { d += "00"; })}},
        {"not hex", devserver::Fault{.tamper = Tamper([](std::string& d, std::string&) { d[10] = 'g'; })}},
        {"signature flipped",
         devserver::Fault{.tamper = Tamper([](std::string&, std::string& s) { s[5] = s[5] == 'A' ? 'B' : 'A'; })}},
        {"signature not base64", devserver::Fault{.tamper = Tamper([](std::string&, std::string& s) {
                                                      s = s.substr(0, 40) + "\n" + s.substr(40);
                                                  })}},
        {"signature of another path", devserver::Fault{.tamper = Tamper([&](std::string&, std::string& s) {
                                                           s = m_server.SignAnswer("/Speed/Config/checkVersion", "",
                                                                                   m_server.ConfigJson());
                                                       })}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.ClearRequests();
        m_server.SetFault("/Speed/Config/getConfig", c.fault);
        g_configText.clear();
        RecordingEvents events;
        RunGetConfig(events);
        ASSERT_EQ(events.events.size(), 1u);
        EXPECT_EQ(events.events[0].first, "GetConfigFailed");
        EXPECT_EQ(g_configText, "");
        EXPECT_EQ(m_server.Requests().size(), 1u); // refused for good: no fallback
    }

    // Signed with a key that is not the built-in one.
    devserver::DevServer forger;
    devserver::Options options;
    options.signKeyFile = dataDir() + "/other-answer-key.pem";
    ASSERT_TRUE(forger.Start(options));
    forger.SetVersion("99", "http://forger.invalid/evil");
    g_serviceBase = forger.BaseUrl();
    RecordingEvents events;
    RunCheckVersion(events);
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].first, "CheckVersionFailed");
}

TEST_F(ServiceTest, ConfigurationFillsTheGlobalsBeforeReporting) {
    m_server.SetConfigValue("birch_downloadurl_prefix", "http://cdn.example.com/birch/");
    m_server.RemoveConfigKey("elm_downloadurl_prefix");
    // A fixed expiry: the default is a day after each answer, which moves
    // when the comparison below runs a second after the answer was served.
    m_server.SetExpires(static_cast<std::int64_t>(std::time(nullptr)) + 86400);
    RecordingEvents events;
    RunGetConfig(events);
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].first, "GetConfigResult");
    EXPECT_EQ(g_configText, m_server.ConfigJson());
    EXPECT_EQ(g_downloadPrefix[0], m_server.BaseUrl() + "/files/alder/");
    EXPECT_EQ(g_downloadPrefix[1], "http://cdn.example.com/birch/");
    EXPECT_EQ(g_downloadPrefix[3], m_server.BaseUrl() + "/files/dogwood/");
    EXPECT_EQ(g_downloadPrefix[4], "");
}

// An answer that inflates far beyond any real one is cut off, not held.
TEST_F(ServiceTest, AnswerBombIsRefused) {
    devserver::Fault bomb;
    bomb.gzip = true;
    bomb.rawData = std::string(8u << 20, 'a');
    m_server.SetFault("/Speed/Config/checkVersion", bomb);
    RecordingEvents events;
    RunCheckVersion(events);
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].first, "CheckVersionFailed");
    EXPECT_LT(m_server.RequestsTo("/Speed/Config/checkVersion").at(0).response.size(), 64u << 10);
}

// A signed configuration is still refused when it has run out or is older
// than one this user already accepted (played back to undo a change).
TEST_F(ServiceTest, ExpiredAndRolledBackConfigurationsAreRefused) {
    const std::int64_t now = std::stoll(MakeTimeStamp());
    auto fetch = [this] {
        g_configText.clear();
        RecordingEvents events;
        RunGetConfig(events);
        return events.events.size() == 1 ? events.events[0].first : std::string("?");
    };
    const std::string state = m_dir / "state/quellan";
    m_server.SetSerial(5);
    EXPECT_EQ(fetch(), "GetConfigResult");
    ASSERT_EQ(SerialStatePath().rfind(state + "/serial-", 0), 0u);
    EXPECT_EQ(SerialStatePath().size(), state.size() + 8 + 16);
    EXPECT_EQ(readFile(SerialStatePath()), "5\n");
    m_server.SetSerial(4);
    EXPECT_EQ(fetch(), "GetConfigFailed");
    EXPECT_EQ(readFile(SerialStatePath()), "5\n");
    m_server.SetSerial(5);
    EXPECT_EQ(fetch(), "GetConfigResult");
    m_server.SetSerial(7);
    m_server.SetExpires(now - 1);
    EXPECT_EQ(fetch(), "GetConfigFailed");
    EXPECT_EQ(ReadAcceptedSerial(), 5);
    m_server.SetExpires(now + 60);
    EXPECT_EQ(fetch(), "GetConfigResult");
    EXPECT_EQ(ReadAcceptedSerial(), 7);

    // Both must be JSON integers.
    for (const char* text : {R"({"serial": 9, "expires": "9999999999"})", R"({"serial": 9.0, "expires": 9999999999})",
                             R"({"expires": 9999999999})", R"({"serial": 9})"}) {
        m_server.SetConfigText(text);
        EXPECT_EQ(fetch(), "GetConfigFailed") << text;
    }
    EXPECT_EQ(ReadAcceptedSerial(), 7);
}

TEST_F(ServiceTest, EventsWithoutAHandlerAreDroppedWithoutLeaking) {
    // The default handlers free the strings that come with the events.
    IEngineEvents drop;
    RunCheckVersion(drop);
    m_server.SetFault("/Speed/Config/getConfig", devserver::Fault{.wrongCode = true});
    RunGetConfig(drop);
    EXPECT_EQ(m_server.Requests().size(), 2u);
}

TEST_F(ServiceTest, ConfigurationThatIsNotAnObjectFails) {
    m_server.SetConfigText("[\"not\", \"an object\"]");
    RecordingEvents events;
    RunGetConfig(events);
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].first, "GetConfigFailed");
    EXPECT_EQ(events.lastWide, L"配置数据获取失败！");
}

TEST_F(ServiceTest, ServiceRefusesBadSignaturesAndIdentity) {
    g_serviceFallback = m_server.BaseUrl();
    std::string response;
    std::string body = "ts=1700000000&sign=00000000000000000000000000000000";
    long status = PostServiceRequest("/Speed/Config/getConfig", "/Speed/Config/getConfig", body,
                                     ResponseSite::GetConfigRetry, response);
    EXPECT_EQ(status, 403);
    EXPECT_NE(response.find("bad signature"), std::string::npos);

    // Missing identity headers.
    CHttpClient client;
    ASSERT_TRUE(client.InitLibCurl());
    std::string good = SignedBody("ts=" + MakeTimeStamp());
    client.SetPostFields(good);
    EXPECT_EQ(client.Request(url("/Speed/Config/getConfig"), kRequestDefault, response), 403);
    EXPECT_EQ(client.Request(url("/Speed/Config/getConfig"), kRequestDefault, response, GetClientHeaders().c_str()),
              200);
}

TEST_F(ServiceTest, ReportPathWithTrailingQuestionMarkIsAcceptedWithItsSignature) {
    std::string response;
    std::string body = SignedBody("code=163000&ts=" + MakeTimeStamp());
    long status =
        PostServiceRequest("/Speed/Server/Report?", "/Speed/Server/Report", body, ResponseSite::ReportRetry, response);
    EXPECT_EQ(status, 200);
    auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/Speed/Server/Report?");
    EXPECT_EQ(requests[0].body, body);
    EXPECT_EQ(requests[0].Header("Nonce"), ""); // nobody checks the report's answer
    std::string data;
    EXPECT_TRUE(ReadServiceEnvelope(response, data));
}
