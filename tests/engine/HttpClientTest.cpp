// CHttpClient, HttpDownloadFile and the address helpers against a real local
// server.
#include "engine/CancelFlag.h"
#include "engine/HttpClient.h"
#include "tools/devserver/RawCaptureServer.h"

#include "EngineTestSupport.h"

#include <cstdlib>
#include <future>
#include <vector>

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

// Lines of a raw request head (without the request line and the blank line).
std::vector<std::string> headerLines(const std::string& raw) {
    std::vector<std::string> lines;
    std::size_t end = raw.find("\r\n\r\n");
    std::size_t pos = raw.find("\r\n") + 2;
    while (pos < end) {
        std::size_t next = raw.find("\r\n", pos);
        lines.push_back(raw.substr(pos, next - pos));
        pos = next + 2;
    }
    return lines;
}

struct ProgressLog {
    std::vector<std::pair<std::int64_t, std::int64_t>> calls;
    bool abortAfterFirst = false;
};

bool recordProgress(void* user, std::int64_t total, std::int64_t received, double) {
    auto* log = static_cast<ProgressLog*>(user);
    log->calls.emplace_back(total, received);
    return !(log->abortAfterFirst && received > 0);
}

class HttpClientTest : public ServerFixture {};

} // namespace

TEST(UrlEscapeTest, KeepsUnreservedSetAndEscapesEverythingElse) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"http://h:80/a/b.txt?r=1", "http://h:80/a/b.txt?r=1"},
        {"a b", "a%20b"},
        {"a_b-c", "a%5Fb%2Dc"},
        {"x&y%z", "x%26y%25z"},
        {"\xe4\xb8\xad", "%E4%B8%AD"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(UrlEscape(c.in), c.out) << c.in;
}

TEST(CreateMultiDirectoryTest, CreatesMissingParentsAndAcceptsExisting) {
    ScratchFolder dir;
    std::string deep = dir / "a/b/c";
    EXPECT_TRUE(CreateMultiDirectory(std::wstring(deep.begin(), deep.end())));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(CreateMultiDirectory(std::wstring(deep.begin(), deep.end())));
    EXPECT_FALSE(CreateMultiDirectory(L"relative-without-separator-that-does-not-exist"));
    // A file in the way cannot become a folder.
    writeFile(dir / "file", "x");
    std::string blocked = dir / "file/sub";
    EXPECT_FALSE(CreateMultiDirectory(std::wstring(blocked.begin(), blocked.end())));
}

TEST(HttpClientWireTest, HeaderListOrderHostWithPortAndExtraHeaderSplitting) {
    devserver::RawCaptureServer raw;
    ASSERT_TRUE(raw.Start("answer"));
    CHttpClient client;
    ASSERT_TRUE(client.InitLibCurl());
    std::string body = "ts=1&sign=2";
    client.SetPostFields(body);
    std::string response;
    // No scheme: sent as http://. Extra text: CR LF and ";" separate, a
    // one-character piece is dropped.
    std::string address = "127.0.0.1:" + std::to_string(raw.Port()) + "/path";
    long status = client.Request(address, kRequestDefault, response, "One: 1\r\nTwo: 2;x;Three: 3");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(response, "answer");

    auto requests = raw.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")), "POST /path HTTP/1.1");
    std::vector<std::string> expected = {
        "Host: 127.0.0.1:" + std::to_string(raw.Port()),
        "Accept: */*",
        "Accept-Language: zh-CN",
        "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
        "Accept-Encoding: gzip, deflate",
        "Connection: Keep-Alive",
        "One: 1",
        "Two: 2",
        "Three: 3",
        "Content-Length: 11",
        "Content-Type: application/x-www-form-urlencoded",
    };
    EXPECT_EQ(headerLines(requests[0]), expected);
    EXPECT_EQ(requests[0].substr(requests[0].find("\r\n\r\n") + 4), body);
}

TEST(HttpClientWireTest, GetAndPatchKindsAndLongExtraHeadersAreBounded) {
    devserver::RawCaptureServer raw;
    ASSERT_TRUE(raw.Start());
    CHttpClient client;
    ASSERT_TRUE(client.InitLibCurl());
    std::string response;
    std::string base = "http://127.0.0.1:" + std::to_string(raw.Port());
    // 1020 bytes of one header, then a second one beyond the 1023-byte bound.
    std::string longHeader = "Long: " + std::string(1014, 'v') + "\r\nCut: away";
    EXPECT_EQ(client.Request(base + "/get", kRequestGet, response, longHeader.c_str()), 200);
    EXPECT_EQ(client.Request(base + "/patch", kRequestPatch, response), 200);

    auto requests = raw.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].rfind("GET /get HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(requests[0].find("Long: " + std::string(1014, 'v') + "\r\n"), std::string::npos);
    EXPECT_EQ(requests[0].find("Cut"), std::string::npos);
    EXPECT_EQ(requests[1].rfind("PATCH /patch HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(requests[1].find("\r\nX-HTTP-Method-Override: PATCH\r\n"), std::string::npos);
}

TEST(HttpClientWireTest, RequestWithoutHandleAnswersNotInvoked) {
    CHttpClient client;
    std::string response;
    EXPECT_EQ(client.Request("http://127.0.0.1:1/", kRequestGet, response), 0);
    EXPECT_EQ(response, "InitLibCurl is not invoked");
    EXPECT_EQ(client.GetResponseCode(), 0);
    EXPECT_EQ(client.Request("", kRequestGet, response), 0);
}

TEST_F(HttpClientTest, GzipEncodedAnswersAreDecodedAndRedirectsFollowed) {
    std::string text(20000, 'q');
    writeFile(content("big.txt"), text);
    devserver::Fault gzip;
    gzip.gzip = true;
    m_server.SetFault("/files/big.txt", gzip);
    m_server.AddRedirect("/moved", "/files/big.txt");

    CHttpClient client;
    ASSERT_TRUE(client.InitLibCurl());
    std::string response;
    EXPECT_EQ(client.Request(url("/files/big.txt"), kRequestGet, response), 200);
    EXPECT_EQ(response, text);
    EXPECT_NE(client.HeaderText().find("Content-Encoding: gzip"), std::string::npos);

    EXPECT_EQ(client.Request(url("/moved"), kRequestGet, response), 200);
    EXPECT_EQ(response, text);
    EXPECT_NE(client.HeaderText().find("302"), std::string::npos);
}

TEST_F(HttpClientTest, TransportFailureGivesStatusZeroAndErrorText) {
    CHttpClient client;
    ASSERT_TRUE(client.InitLibCurl());
    client.SetTimeLimits(5, 5);
    std::string response;
    // A port nobody listens on (the server's own port after it stopped).
    int port = m_server.Port();
    m_server.Stop();
    EXPECT_EQ(client.Request("http://127.0.0.1:" + std::to_string(port) + "/", kRequestGet, response), 0);
    EXPECT_FALSE(response.empty());
    EXPECT_EQ(response, client.ErrorText());
}

TEST_F(HttpClientTest, RequestDeletesAnExistingTargetEvenWhenTheTransferFails) {
    writeFile(targetPath("old.bin"), "stale");
    CHttpClient client;
    ASSERT_TRUE(client.InitLibCurl());
    std::string response;
    EXPECT_EQ(client.Request(url("/files/missing.bin"), kRequestGet, response, nullptr, target("old.bin")), 404);
    // The 404 body went to the target file; the stale content is gone.
    EXPECT_NE(readFile(targetPath("old.bin")), "stale");
}

TEST_F(HttpClientTest, DownloadFileFailsOn404AndFollowsA302WithProgress) {
    std::string data = patternBytes(300000);
    writeFile(content("game/data.pak"), data);
    m_server.AddRedirect("/elsewhere", "/files/game/data.pak");

    CHttpClient client;
    ProgressLog progress;
    EXPECT_FALSE(client.DownloadFile(&progress, url("/files/none.pak"), target("none.pak"), recordProgress));
    EXPECT_FALSE(fs::exists(targetPath("none.pak")));

    progress.calls.clear();
    EXPECT_TRUE(client.DownloadFile(&progress, url("/elsewhere"), target("sub/data.pak"), recordProgress));
    EXPECT_EQ(readFile(targetPath("sub/data.pak")), data);
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.back().first, 300000);
    EXPECT_EQ(progress.calls.back().second, 300000);
}

TEST_F(HttpClientTest, DownloadFileAbortedByProgressLeavesNoFile) {
    writeFile(content("big.bin"), patternBytes(2'000'000));
    devserver::Fault slow;
    slow.stallMs = 20;
    m_server.SetFault("/files/big.bin", slow);
    CHttpClient client;
    ProgressLog progress;
    progress.abortAfterFirst = true;
    EXPECT_FALSE(client.DownloadFile(&progress, url("/files/big.bin"), target("big.bin"), recordProgress));
    EXPECT_FALSE(fs::exists(targetPath("big.bin")));
}

TEST_F(HttpClientTest, HttpDownloadFileKeepsAnExistingFileWithoutOverwrite) {
    writeFile(content("list.json"), "new");
    writeFile(targetPath("list.json"), "old");
    EXPECT_TRUE(HttpDownloadFile(url("/files/list.json"), target("list.json"), false));
    EXPECT_EQ(readFile(targetPath("list.json")), "old");
    EXPECT_TRUE(m_server.RequestsTo("/files/list.json").empty());

    EXPECT_TRUE(HttpDownloadFile(url("/files/list.json?r=5"), target("list.json"), true));
    EXPECT_EQ(readFile(targetPath("list.json")), "new");
}

TEST_F(HttpClientTest, HttpDownloadFileFailuresLeaveNoFile) {
    writeFile(content("update.bin"), patternBytes(500000));
    // Status 200, then the connection breaks off half-way.
    devserver::Fault broken;
    broken.truncateAt = 200000;
    m_server.SetFault("/files/update.bin", broken);
    EXPECT_FALSE(HttpDownloadFile(url("/files/update.bin"), target("update.bin"), true));
    EXPECT_FALSE(fs::exists(targetPath("update.bin")));

    EXPECT_FALSE(HttpDownloadFile(url("/files/absent.bin"), target("absent.bin"), true));
    EXPECT_FALSE(fs::exists(targetPath("absent.bin")));
    EXPECT_FALSE(HttpDownloadFile("", target("x.bin"), true));
}

TEST_F(HttpClientTest, TargetThatCannotBeWrittenFailsTheTransfer) {
    writeFile(content("data.bin"), patternBytes(1000));
    // A file where the target's folder should be: nothing can be written.
    writeFile(targetPath("blocker"), "x");
    CHttpClient client;
    ASSERT_TRUE(client.InitLibCurl());
    std::string response;
    client.Request(url("/files/data.bin"), kRequestGet, response, nullptr, target("blocker/data.bin"));
    EXPECT_FALSE(client.ErrorText().empty());
    EXPECT_EQ(response, client.ErrorText());
    EXPECT_FALSE(HttpDownloadFile(url("/files/data.bin"), target("blocker/data.bin"), true));
}

TEST_F(HttpClientTest, CancellationEndsATransferInProgressPromptly) {
    writeFile(content("slow.bin"), patternBytes(1'000'000));
    devserver::Fault stall;
    stall.stallMs = 30000;
    m_server.SetFault("/files/slow.bin", stall);

    CCancelFlag flag;
    std::atomic<bool> started{false};
    auto progress = [](void* user, std::int64_t, std::int64_t received, double) {
        if (received > 0) static_cast<std::atomic<bool>*>(user)->store(true);
        return true;
    };
    auto done = std::async(std::launch::async, [&] {
        CHttpClient client;
        client.SetCancelFlag(&flag);
        return client.DownloadFile(&started, url("/files/slow.bin"), target("slow.bin"), progress);
    });
    ASSERT_TRUE(waitUntil([&] { return started.load(); }));
    auto before = std::chrono::steady_clock::now();
    flag.Cancel();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    auto elapsed = std::chrono::steady_clock::now() - before;
    EXPECT_FALSE(done.get());
    EXPECT_LT(elapsed, std::chrono::milliseconds(100));
    EXPECT_FALSE(fs::exists(targetPath("slow.bin")));
}

TEST_F(HttpClientTest, CancelledFlagStopsARequestBeforeItStarts) {
    CCancelFlag flag;
    flag.Cancel();
    CHttpClient client;
    ASSERT_TRUE(client.InitLibCurl());
    client.SetCancelFlag(&flag);
    std::string response;
    EXPECT_EQ(client.Request(url("/files/x"), kRequestGet, response), 0);
    EXPECT_FALSE(client.ErrorText().empty());
    EXPECT_TRUE(m_server.Requests().empty());
}

class HttpsClientTest : public ServerFixture {
protected:
    void SetUp() override { startServer(true); }
    void TearDown() override { unsetenv("QUELLAN_CA_FILE"); }
};

// What was asked for over TLS never arrives over plain text: a redirect from
// https to http fails every kind of transfer; one to https is followed.
TEST_F(HttpsClientTest, RedirectsNeverLeaveTls) {
    setenv("QUELLAN_CA_FILE", (dataDir() + "/tls/ca.pem").c_str(), 1);
    writeFile(content("list.json"), "[]");
    devserver::DevServer plain;
    devserver::Options options;
    options.contentDir = m_dir / "content";
    ASSERT_TRUE(plain.Start(options));
    m_server.AddRedirect("/down", plain.BaseUrl() + "/files/list.json");
    m_server.AddRedirect("/moved", "/files/list.json");

    CHttpClient client;
    ASSERT_TRUE(client.InitLibCurl());
    std::string response;
    EXPECT_NE(client.Request(url("/down"), kRequestGet, response), 200);
    EXPECT_NE(response, "[]");
    EXPECT_FALSE(client.DownloadFile(nullptr, url("/down"), target("a.json")));
    EXPECT_FALSE(HttpDownloadFile(url("/down"), target("b.json"), true));
    EXPECT_TRUE(plain.Requests().empty());
    EXPECT_FALSE(fs::exists(targetPath("a.json")));
    EXPECT_FALSE(fs::exists(targetPath("b.json")));

    EXPECT_EQ(client.Request(url("/moved"), kRequestGet, response), 200);
    EXPECT_EQ(response, "[]");
    EXPECT_TRUE(HttpDownloadFile(url("/moved"), target("c.json"), true));
    // Plain http may still be redirected (to either).
    plain.AddRedirect("/again", plain.BaseUrl() + "/files/list.json");
    EXPECT_TRUE(HttpDownloadFile(plain.BaseUrl() + "/again", target("d.json"), true));
}

TEST_F(HttpsClientTest, PrivateCaIsRefusedWithoutItAndAcceptedWithIt) {
    writeFile(content("hello.txt"), "hello over tls");
    ASSERT_EQ(m_server.BaseUrl().rfind("https://127.0.0.1:", 0), 0u);
    unsetenv("QUELLAN_CA_FILE");
    {
        CHttpClient client;
        ASSERT_TRUE(client.InitLibCurl());
        std::string response;
        EXPECT_EQ(client.Request(url("/files/hello.txt"), kRequestGet, response), 0);
        EXPECT_NE(response, "hello over tls");
        EXPECT_TRUE(m_server.RequestsTo("/files/hello.txt").empty());
        EXPECT_FALSE(client.DownloadFile(nullptr, url("/files/hello.txt"), target("hello.txt")));
    }
    setenv("QUELLAN_CA_FILE", (dataDir() + "/tls/ca.pem").c_str(), 1);
    {
        CHttpClient client;
        ASSERT_TRUE(client.InitLibCurl());
        std::string response;
        EXPECT_EQ(client.Request(url("/files/hello.txt"), kRequestGet, response), 200);
        EXPECT_EQ(response, "hello over tls");
        EXPECT_TRUE(client.DownloadFile(nullptr, url("/files/hello.txt"), target("hello.txt")));
        EXPECT_EQ(readFile(targetPath("hello.txt")), "hello over tls");
    }
}

TEST_F(HttpsClientTest, HostNameMismatchIsRefusedEvenWithTheCa) {
    // The certificate names 127.0.0.1 and localhost; an address of another
    // name for the same host must not pass.
    setenv("QUELLAN_CA_FILE", (dataDir() + "/tls/ca.pem").c_str(), 1);
    writeFile(content("hello.txt"), "x");
    CHttpClient client;
    ASSERT_TRUE(client.InitLibCurl());
    std::string response;
    std::string address = "https://127.0.0.2:" + std::to_string(m_server.Port()) + "/files/hello.txt";
    EXPECT_EQ(client.Request(address, kRequestGet, response), 0);
}
