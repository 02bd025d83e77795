// RegReadValue's view fallback and buffer rules; GetFileSigner's results and
// buffer handling on signed and unsigned files.
#include "util/RegistryHelpers.h"

#include "tests/support/SigningFixture.h"
#include "tests/support/WinePrefix.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

using platform::RegistryRoot;

namespace {

constexpr const char* kHeader = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";

std::string section(const std::string& key, const std::string& values) {
    return "[" + key + "] 1600000000\n#time=1d6a3f2b1c0e9a0\n" + values + "\n";
}

bool read(RegistryRoot root, const std::wstring& key, const std::wstring& name, std::wstring& out,
          std::uint32_t type = platform::kRegSz) {
    out = L"stale";
    return RegReadValue(root, key, name, type, out);
}

TEST(RegReadValue, FallsBackToThe64BitViewForMissingKeysAndValues) {
    testsupport::TempWinePrefix wine;
    wine.write("system.reg", std::string(kHeader) +
                                 // The redirected key exists without the value: the value is found in the 64-bit view.
                                 section("Software\\\\Wow6432Node\\\\Microsoft\\\\Cryptography", "") +
                                 section("Software\\\\Microsoft\\\\Cryptography", "\"MachineGuid\"=\"guid-64\"") +
                                 // Only in the 64-bit view.
                                 section("Software\\\\Only64", "\"v\"=\"sixty-four\"") +
                                 // Only in the 32-bit view.
                                 section("Software\\\\Wow6432Node\\\\Only32", "\"v\"=\"thirty-two\"") +
                                 // In both: the default view wins.
                                 section("Software\\\\Wow6432Node\\\\Both", "\"v\"=\"32\"") +
                                 section("Software\\\\Both", "\"v\"=\"64\"\n\"w\"=\"64 only\""));
    std::wstring out;
    EXPECT_TRUE(read(RegistryRoot::LocalMachine, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid", out));
    EXPECT_EQ(out, L"guid-64");
    EXPECT_TRUE(read(RegistryRoot::LocalMachine, L"Software\\Only64", L"v", out));
    EXPECT_EQ(out, L"sixty-four");
    EXPECT_TRUE(read(RegistryRoot::LocalMachine, L"Software\\Only32", L"v", out));
    EXPECT_EQ(out, L"thirty-two");
    EXPECT_TRUE(read(RegistryRoot::LocalMachine, L"Software\\Both", L"v", out));
    EXPECT_EQ(out, L"32");
    EXPECT_TRUE(read(RegistryRoot::LocalMachine, L"Software\\Both", L"w", out));
    EXPECT_EQ(out, L"64 only");

    EXPECT_FALSE(read(RegistryRoot::LocalMachine, L"Software\\Both", L"missing", out));
    EXPECT_EQ(out, L"");
    EXPECT_FALSE(read(RegistryRoot::LocalMachine, L"Software\\Nowhere", L"v", out));
    EXPECT_EQ(out, L"");
    EXPECT_FALSE(read(RegistryRoot::CurrentUser, L"Software\\Both", L"v", out));
}

TEST(RegReadValue, TextEndsAtTheFirstZeroAndMustFitTheBuffer) {
    testsupport::TempWinePrefix wine;
    // 5119 characters and the terminator fill the 10240-byte buffer exactly.
    const std::string fits(5119, 'a');
    const std::string tooLong(5120, 'b');
    wine.write("user.reg",
               std::string(kHeader) + section("Software\\\\Test", "\"zero\"=hex(1):41,00,00,00,42,00,00,00\n"
                                                                  "\"fits\"=\"" +
                                                                      fits +
                                                                      "\"\n"
                                                                      "\"long\"=\"" +
                                                                      tooLong +
                                                                      "\"\n"
                                                                      "\"empty\"=\"\"\n"
                                                                      "\"number\"=dword:00000007\n"
                                                                      "\"expand\"=str(2):\"%TEMP%\""));
    std::wstring out;
    EXPECT_TRUE(read(RegistryRoot::CurrentUser, L"Software\\Test", L"zero", out));
    EXPECT_EQ(out, L"A");
    EXPECT_TRUE(read(RegistryRoot::CurrentUser, L"Software\\Test", L"fits", out));
    EXPECT_EQ(out.size(), 5119u);
    EXPECT_FALSE(read(RegistryRoot::CurrentUser, L"Software\\Test", L"long", out));
    EXPECT_EQ(out, L"");
    EXPECT_TRUE(read(RegistryRoot::CurrentUser, L"Software\\Test", L"empty", out));
    EXPECT_EQ(out, L"");
    EXPECT_TRUE(read(RegistryRoot::CurrentUser, L"Software\\Test", L"expand", out));
    EXPECT_EQ(out, L"%TEMP%");
    // A number is not text; nor is anything read as another type.
    EXPECT_FALSE(read(RegistryRoot::CurrentUser, L"Software\\Test", L"number", out));
    EXPECT_FALSE(read(RegistryRoot::CurrentUser, L"Software\\Test", L"fits", out, platform::kRegDword));
    EXPECT_EQ(out, L"");
}

TEST(RegReadValue, MissingPrefixMeansNothingIsThere) {
    testsupport::TempWinePrefix wine;
    std::wstring out;
    EXPECT_FALSE(read(RegistryRoot::LocalMachine, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid", out));
    EXPECT_EQ(out, L"");
}

class FileSigner : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(testsupport::signedFiles().error, ""); }
    std::string trusted() const { return testsupport::signedFiles().trusted32.string(); }
};

TEST_F(FileSigner, WritesNameAndSerial) {
    wchar_t name[1024];
    wchar_t serial[64];
    EXPECT_EQ(GetFileSigner(trusted(), name, 1024, serial, 64), 0);
    EXPECT_STREQ(name, L"Orsveld网络科技有限公司");
    EXPECT_STREQ(serial, L"7A31C9E04B82D6F15E0A93C47D28B6E1");
    // The comparison the pre-flight check makes ignores letter case.
    EXPECT_EQ(wcscasecmp(serial, L"7a31c9e04b82d6f15e0a93c47d28b6e1"), 0);
}

TEST_F(FileSigner, WithoutNameBufferReturnsTheNameLength) {
    wchar_t serial[64];
    EXPECT_EQ(GetFileSigner(trusted(), nullptr, 0, serial, 64), 16); // 15 characters and the terminator
    EXPECT_STREQ(serial, L"7A31C9E04B82D6F15E0A93C47D28B6E1");
}

TEST_F(FileSigner, NameIsCutToTheBuffer) {
    wchar_t name[8];
    wchar_t serial[33];
    EXPECT_EQ(GetFileSigner(trusted(), name, 8, serial, 33), 0);
    EXPECT_STREQ(name, L"Orsveld");
    EXPECT_STREQ(serial, L"7A31C9E04B82D6F15E0A93C47D28B6E1");
}

TEST_F(FileSigner, FailuresLeaveBothBuffersUnchanged) {
    const std::string files[] = {testsupport::signedFiles().unsigned32.string(),
                                 (testsupport::signedFiles().dir / "missing.exe").string(),
                                 (testsupport::signedFiles().dir / "t.pem").string()};
    for (const auto& file : files) {
        wchar_t name[16] = L"untouched";
        wchar_t serial[64] = L"untouched";
        EXPECT_EQ(GetFileSigner(file, name, 16, serial, 64), -1) << file;
        EXPECT_EQ(GetFileSigner(file, nullptr, 0, serial, 64), -1) << file;
        EXPECT_STREQ(name, L"untouched");
        EXPECT_STREQ(serial, L"untouched");
    }
    // A serial that does not fit its buffer fails instead of overflowing it.
    wchar_t name[16] = L"untouched";
    wchar_t serial[32] = L"untouched";
    EXPECT_EQ(GetFileSigner(trusted(), name, 16, serial, 32), -1);
    EXPECT_STREQ(name, L"untouched");
    EXPECT_STREQ(serial, L"untouched");
    EXPECT_EQ(GetFileSigner(trusted(), name, 0, serial, 64), -1);
    EXPECT_STREQ(serial, L"untouched");
}

} // namespace
