// The engine's log entries as they land in the log file: module, line and
// message text with their arguments.
#include "engine/EngineEvents.h"
#include "engine/HttpClient.h"
#include "engine/Payload.h"
#include "engine/ServiceClient.h"
#include "engine/ServiceConfig.h"
#include "platform/system/Text.h"
#include "util/LogFile.h"

#include "EngineTestSupport.h"

using namespace enginetest;

namespace {

class EngineLogTest : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        m_logPath = m_dir / "log.txt";
        g_log.SetLogFile(platform::fromUtf8(m_logPath), 1024);
    }
    void TearDown() override { g_log.SetLogFile(L"", 1024); }

    // The log file's text without its byte-order mark.
    std::wstring logText() const {
        std::string bytes = readFile(m_logPath);
        std::u16string units;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8));
        return platform::fromUtf16(units);
    }

    std::string m_logPath;
};

} // namespace

TEST_F(EngineLogTest, DownloadFailureNamesAddressTargetAndStatus) {
    std::string address = url("/files/missing.bin");
    EXPECT_FALSE(HttpDownloadFile(address, target("missing.bin"), true));
    std::wstring expected =
        L"][.\\StdAfx.cpp 65]" + platform::fromUtf8(address) + L"下载失败" + target("missing.bin") + L",404\r\n";
    EXPECT_NE(logText().find(expected), std::wstring::npos) << platform::toUtf8(logText());
}

TEST_F(EngineLogTest, RetryAndFailureBodiesAndDecryptionTiming) {
    std::string savedBase = g_serviceBase, savedFallback = g_serviceFallback;
    std::uint32_t savedPause = g_serviceRetryPauseMs;
    g_serviceBase = g_serviceFallback = m_server.BaseUrl();
    g_serviceRetryPauseMs = 1;
    devserver::Fault fault;
    fault.status = 500;
    fault.times = 1;
    m_server.SetFault("/Speed/Config/getConfig", fault);
    devserver::Fault wrong;
    wrong.rawData = "100% plain";
    wrong.wrongCode = true;
    m_server.SetFault("/Speed/Config/checkVersion", wrong);

    IEngineEvents drop;
    RunGetConfig(drop);    // 500, then a good answer from the fallback
    RunCheckVersion(drop); // code 10002: logged as the final failure
    DecryptPayload(std::string(256, '0'));
    g_serviceBase = savedBase;
    g_serviceFallback = savedFallback;
    g_serviceRetryPauseMs = savedPause;

    std::wstring log = logText();
    EXPECT_NE(log.find(L"][.\\ThreadCallFunc.cpp 346]fault\r\n"), std::wstring::npos) << platform::toUtf8(log);
    EXPECT_NE(log.find(L"][.\\ThreadCallFunc.cpp 311]{\"code\":10002,\"data\":\"100% plain\",\"sig\":\""),
              std::wstring::npos);
    EXPECT_NE(log.find(L"][.\\ThreadCallFunc.cpp 237]RSADecrypt:dwStart="), std::wstring::npos);
    EXPECT_EQ(log.find(L"ThreadCallFunc.cpp 389]"), std::wstring::npos);
}
