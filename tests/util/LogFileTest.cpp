// The log file: byte format, call site, size cap, formatting and concurrency.
#include "util/LogFile.h"

#include "platform/system/Text.h"
#include "tests/support/ScratchFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

namespace {

using testsupport::ScratchFolder;

// The file decoded: whether it starts with FF FE, and the text after it.
struct Decoded {
    bool bom = false;
    std::wstring text;
};

Decoded decode(const std::filesystem::path& path) {
    const std::string bytes = testsupport::readBytes(path);
    Decoded d;
    size_t start = 0;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        d.bom = true;
        start = 2;
    }
    std::u16string units;
    for (size_t i = start; i + 1 < bytes.size(); i += 2)
        units +=
            static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    d.text = platform::fromUtf16(units);
    return d;
}

std::vector<std::wstring> lines(const std::wstring& text) {
    std::vector<std::wstring> out;
    size_t start = 0;
    for (size_t hit; (hit = text.find(L"\r\n", start)) != std::wstring::npos; start = hit + 2)
        out.push_back(text.substr(start, hit - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return out;
}

class LogFileTest : public ::testing::Test {
protected:
    ScratchFolder dir;
    std::filesystem::path file = dir / "log.txt";
    std::wstring widePath = platform::fromUtf8(file.string());
};

TEST_F(LogFileTest, NewFileHasBomAndOneEntryWithTimeCallSiteAndCrLf) {
    CWriteLogFile log;
    log.SetLogFile(widePath, 1024);
    const int line = __LINE__ + 1;
    log.WriteLog(QUELLAN_LOG_SOURCE, __LINE__, L"当前版本：%s", L"20");

    const Decoded d = decode(file);
    EXPECT_TRUE(d.bom);
    const auto entries = lines(d.text);
    ASSERT_EQ(entries.size(), 1u);
    const std::wregex shape(L"\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\]\\[\\.\\\\LogFileTest\\.cpp (\\d+)\\]"
                            L"当前版本：20");
    std::wsmatch m;
    ASSERT_TRUE(std::regex_match(entries[0], m, shape)) << platform::toUtf8(entries[0]);
    EXPECT_EQ(std::stoi(m[1].str()), line);
}

TEST_F(LogFileTest, MacrosPassTheCallSite) {
    // The macros write to g_log; point it at our file for the test.
    const std::wstring before = g_log.LogFilePath();
    g_log.SetLogFile(widePath, 1024);
    const int first = __LINE__ + 1;
    WRITE_LOG(L"n=%d", 7);
    WRITE_LOG(L"no arguments");
    WRITE_LOG_TEXT(L"100% literal");
    g_log.SetLogFile(before, 1024);

    const auto entries = lines(decode(file).text);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_THAT(entries[0], ::testing::EndsWith(L"][.\\LogFileTest.cpp " + std::to_wstring(first) + L"]n=7"));
    EXPECT_THAT(entries[1], ::testing::EndsWith(L" " + std::to_wstring(first + 1) + L"]no arguments"));
    EXPECT_THAT(entries[2], ::testing::EndsWith(L" " + std::to_wstring(first + 2) + L"]100% literal"));
}

TEST_F(LogFileTest, LaterEntriesAddNoSecondBom) {
    CWriteLogFile log;
    log.SetLogFile(widePath, 1024);
    log.WriteLogText(L".\\a.cpp", 1, L"one");
    log.WriteLogText(L".\\a.cpp", 2, L"two");
    // A second writer object (as after a restart) appends to the same file.
    CWriteLogFile again;
    again.SetLogFile(widePath, 1024);
    again.WriteLogText(L".\\a.cpp", 3, L"three");

    const Decoded d = decode(file);
    EXPECT_TRUE(d.bom);
    EXPECT_EQ(d.text.find(L'\uFEFF'), std::wstring::npos);
    const auto entries = lines(d.text);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_THAT(entries[2], ::testing::EndsWith(L"][.\\a.cpp 3]three"));
}

TEST_F(LogFileTest, CapAllowsExactlyCapBytesAndRestartsBeyond) {
    CWriteLogFile log;
    testsupport::writeBytes(file, std::string(1024, 'x'));
    log.SetLogFile(widePath, 1); // exactly 1 KiB: kept
    log.WriteLogText(L"s", 1, L"appended");
    std::string bytes = testsupport::readBytes(file);
    EXPECT_EQ(bytes.substr(0, 1024), std::string(1024, 'x'));
    EXPECT_GT(bytes.size(), 1024u);

    // Now over the cap: the next entry starts a new file with a BOM.
    log.WriteLogText(L"s", 2, L"fresh");
    const Decoded d = decode(file);
    EXPECT_TRUE(d.bom);
    const auto entries = lines(d.text);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_THAT(entries[0], ::testing::EndsWith(L"[s 2]fresh"));
}

TEST_F(LogFileTest, SetLogFileDeletesEmptyAndOversizedFilesOnly) {
    CWriteLogFile log;
    testsupport::writeBytes(file, "");
    log.SetLogFile(widePath, 1);
    EXPECT_FALSE(std::filesystem::exists(file));

    testsupport::writeBytes(file, std::string(1025, 'x'));
    log.SetLogFile(widePath, 1);
    EXPECT_FALSE(std::filesystem::exists(file));

    testsupport::writeBytes(file, std::string(10, 'x'));
    log.SetLogFile(widePath, 1);
    EXPECT_EQ(std::filesystem::file_size(file), 10u);
    EXPECT_EQ(log.GetLogFileSize(widePath), 10);
    EXPECT_EQ(log.GetLogFileSize(widePath + L".missing"), 0);
}

TEST_F(LogFileTest, FormattedMessageIsCutAt10239UnitsTextIsNot) {
    CWriteLogFile log;
    log.SetLogFile(widePath, 1024);
    const std::wstring longText(20000, L'a');
    log.WriteLog(L"s", 1, L"%s", longText.c_str());
    log.WriteLogText(L"s", 2, longText);
    // A cut never splits a surrogate pair: 10238 units plus a pair would be 10240.
    const std::wstring astral = std::wstring(10238, L'b') + L"\U0001F600";
    log.WriteLog(L"s", 3, L"%s", astral.c_str());

    const auto entries = lines(decode(file).text);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_THAT(entries[0], ::testing::EndsWith(L"[s 1]" + std::wstring(10239, L'a')));
    EXPECT_EQ(entries[0].size(), 21u + 5u + 10239u);
    EXPECT_THAT(entries[1], ::testing::EndsWith(L"[s 2]" + longText));
    EXPECT_THAT(entries[2], ::testing::EndsWith(L"[s 3]" + std::wstring(10238, L'b')));
}

TEST_F(LogFileTest, MessageWithCrLfLeavesAnEmptyLine) {
    CWriteLogFile log;
    log.SetLogFile(widePath, 1024);
    log.WriteLog(L"s", 1, L"RSADecrypt:dwStart=%d,dwStart1=%d,run=%d\r\n", 5, 9, 4);
    const auto entries = lines(decode(file).text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_THAT(entries[0], ::testing::EndsWith(L"]RSADecrypt:dwStart=5,dwStart1=9,run=4"));
    EXPECT_EQ(entries[1], L"");
}

TEST_F(LogFileTest, DisabledOrPathlessWriterWritesNothing) {
    CWriteLogFile unset;
    unset.WriteLog(L"s", 1, L"x"); // no path yet: silently nothing

    CWriteLogFile log;
    log.SetLogFile(widePath, 1024);
    log.SetEnabled(false);
    log.WriteLog(L"s", 1, L"x");
    log.WriteLogText(L"s", 1, L"x");
    EXPECT_FALSE(std::filesystem::exists(file));

    CWriteLogFile unwritable;
    unwritable.SetLogFile(platform::fromUtf8((dir / "no/such/folder/log.txt").string()), 1024);
    unwritable.WriteLog(L"s", 1, L"x"); // disappears silently
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST_F(LogFileTest, ConcurrentWritersProduceWholeLines) {
    CWriteLogFile log;
    log.SetLogFile(widePath, 1024);
    constexpr int kPerThread = 200;
    auto writer = [&](wchar_t tag) {
        for (int i = 0; i < kPerThread; ++i) log.WriteLog(L"t", i, L"%c-%s-%d", tag, L"payload payload payload", i);
    };
    std::thread a(writer, L'A');
    std::thread b(writer, L'B');
    a.join();
    b.join();

    const auto entries = lines(decode(file).text);
    ASSERT_EQ(entries.size(), 2u * kPerThread);
    const std::wregex shape(L"\\[[-0-9: ]{19}\\]\\[t (\\d+)\\][AB]-payload payload payload-\\1");
    for (const auto& e : entries) EXPECT_TRUE(std::regex_match(e, shape)) << platform::toUtf8(e);
}

// --- Windows-style formats ---

struct FormatCase {
    const wchar_t* name;
    const wchar_t* windows;
    const wchar_t* library;
};

TEST(LogFormat, TranslatesWindowsConventionsInsideConversionsOnly) {
    const FormatCase cases[] = {
        {L"wide string", L"%s下载失败%s,%ld", L"%ls下载失败%ls,%ld"},
        {L"narrow string", L"%S|%hs", L"%s|%s"},
        {L"explicit wide", L"%ls|%ws|%lc|%wc", L"%ls|%ls|%lc|%lc"},
        {L"characters", L"%c%C%hc", L"%lc%c%c"},
        {L"flags width precision", L"[%-8s][%08.3f][%*d][%.*s]", L"[%-8ls][%08.3f][%*d][%.*ls]"},
        {L"percent literal", L"100%% s%%s", L"100%% s%%s"},
        {L"64-bit sizes", L"%I64d %I64u %I32d %Iu", L"%lld %llu %d %zu"},
        {L"standard sizes", L"%hd %hhu %lld %zu %lu %x %p", L"%hd %hhu %lld %zu %lu %x %p"},
        {L"trailing percent", L"50%", L"50%"},
    };
    for (const auto& c : cases) EXPECT_EQ(TranslateWindowsFormat(c.windows), c.library) << platform::toUtf8(c.name);
}

TEST_F(LogFileTest, WriteLogFormatsWindowsStyleArguments) {
    CWriteLogFile log;
    log.SetLogFile(widePath, 1024);
    const long status = 404;
    const long long big = 1LL << 40;
    log.WriteLog(L"s", 1, L"%s下载失败%s,%ld", L"http://127.0.0.1/a", L"/tmp/文件", status);
    log.WriteLog(L"s", 2, L"%S=%c%%|%I64d|%5s|", "narrow", L'中', big, L"ab");
    const auto entries = lines(decode(file).text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_THAT(entries[0], ::testing::EndsWith(L"]http://127.0.0.1/a下载失败/tmp/文件,404"));
    EXPECT_THAT(entries[1], ::testing::EndsWith(L"]narrow=中%|1099511627776|   ab|"));
}

} // namespace
