// The registry over Wine hive files: file format, escaping, views, case.
#include "platform/registry/RegistryHive.h"
#include "tests/support/WinePrefix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using namespace platform;

namespace {

// A system.reg as Wine writes it for a 64-bit prefix (abridged).
constexpr const char* kSystemReg64 = R"(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Microsoft\\Cryptography] 1600000000
#time=1d6a3f2b1c0e9a0
"MachineGuid"="2f9c3e1a-7b4d-4e0f-9a61-3c5d8e2b7f10"

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harrow\x52a0\x901f\x5668] 1600000001
#time=1d6a3f2b1c0e9a1
"DisplayName"="Harrow\x52a0\x901f\x5668"
"UninstallString"="C:\\Program Files\\Harrow\\uninst.exe"

[Software\\Wow6432Node\\Microsoft\\Cryptography] 1600000002
#time=1d6a3f2b1c0e9a2

[Software\\Wow6432Node\\Vendor\\Product] 1600000003
#time=1d6a3f2b1c0e9a3
@="default text"
"Escapes"="back\\slash \"quoted\" tab\tnl\nesc\e oct\033 \x4e2d1 \xe9!"
"Astral"="\xd83d\xde00"
"Raw"="原始"
"Count"=dword:0000002a
"Expand"=str(2):"%SystemRoot%\\system32"
"Blob"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\
  16,17,18
"Multi"=hex(7):61,00,00,00,62,00,00,00,00,00
"Bad line without equals
"After"="still read"

[Software\\Vendor\\Product] 1600000004
"Escapes"="64-bit copy"

[System\\Deep\\Leaf] 1600000005
"x"="y"
)";

std::vector<std::uint8_t> utf16z(std::u16string_view s) {
    std::vector<std::uint8_t> out;
    for (char16_t c : s) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

class Registry : public ::testing::Test {
protected:
    void writeHive(const char* file, const std::string& text) { m_wine.write(file, text); }
    // The value's data, or nullopt when the key or value is missing.
    std::optional<RegistryValue> read(RegistryRoot root, std::wstring_view key, std::wstring_view name,
                                      RegistryView view = RegistryView::Default) {
        auto k = RegistryKey::open(root, key, view);
        RegistryValue v;
        if (!k || k->query(name, 1 << 20, v) != RegistryStatus::Ok) return std::nullopt;
        return v;
    }
    std::optional<std::wstring> text(RegistryRoot root, std::wstring_view key, std::wstring_view name,
                                     RegistryView view = RegistryView::Default) {
        auto v = read(root, key, name, view);
        if (!v) return std::nullopt;
        return registryText(v->data);
    }

    testsupport::TempWinePrefix m_wine;
    const fs::path& m_prefix = m_wine.path();
};

constexpr auto HKLM = RegistryRoot::LocalMachine;
constexpr auto HKCU = RegistryRoot::CurrentUser;
constexpr auto View64 = RegistryView::Wow64_64Key;

TEST_F(Registry, DefaultViewOfSoftwareIsWow6432NodeInA64BitPrefix) {
    writeHive("system.reg", kSystemReg64);
    EXPECT_EQ(text(HKLM, L"Software\\Vendor\\Product", L"Escapes", View64), L"64-bit copy");
    EXPECT_NE(text(HKLM, L"Software\\Vendor\\Product", L"Escapes"), L"64-bit copy");
    // The redirected key exists without the value; the plain key has it.
    EXPECT_TRUE(RegistryKey::open(HKLM, L"SOFTWARE\\Microsoft\\Cryptography").has_value());
    EXPECT_EQ(text(HKLM, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid"), std::nullopt);
    EXPECT_EQ(text(HKLM, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid", View64),
              L"2f9c3e1a-7b4d-4e0f-9a61-3c5d8e2b7f10");
    // A key only in the 64-bit view is absent from the default view.
    EXPECT_FALSE(RegistryKey::open(HKLM, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                         L"Harrow加速器")
                     .has_value());
    // Keys outside Software are the same in both views, and explicit
    // Wow6432Node paths are not redirected twice.
    EXPECT_EQ(text(HKLM, L"System\\Deep\\Leaf", L"x"), L"y");
    EXPECT_EQ(text(HKLM, L"Software\\Wow6432Node\\Vendor\\Product", L"", View64), L"default text");
}

TEST_F(Registry, BothViewsReadThePlainKeyInA32BitPrefix) {
    std::string reg = kSystemReg64;
    reg.replace(reg.find("#arch=win64"), 11, "#arch=win32");
    writeHive("system.reg", reg);
    EXPECT_EQ(text(HKLM, L"Software\\Vendor\\Product", L"Escapes"), L"64-bit copy");
    EXPECT_EQ(text(HKLM, L"Software\\Vendor\\Product", L"Escapes", View64), L"64-bit copy");
}

TEST_F(Registry, CurrentUserSoftwareIsSharedBetweenViews) {
    writeHive("system.reg", kSystemReg64);
    writeHive("user.reg", "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                          "#arch=win64\n\n[Software\\\\harrowjiasuqi\\\\appinfo] 1600000000\n"
                          "\"abc+/==\"=\"logged in\"\n");
    EXPECT_EQ(text(HKCU, L"Software\\harrowjiasuqi\\appinfo", L"abc+/=="), L"logged in");
    EXPECT_EQ(text(HKCU, L"Software\\harrowjiasuqi\\appinfo", L"abc+/==", View64), L"logged in");
    EXPECT_EQ(text(HKLM, L"Software\\harrowjiasuqi\\appinfo", L"abc+/==", View64), std::nullopt);
}

TEST_F(Registry, StringsDecodeWineEscapes) {
    writeHive("system.reg", kSystemReg64);
    const std::wstring key = L"Software\\Vendor\\Product";
    EXPECT_EQ(text(HKLM, key, L"Escapes"), L"back\\slash \"quoted\" tab\tnl\nesc\x1b oct\x1b \x4e2d"
                                           L"1 \xe9!");
    EXPECT_EQ(text(HKLM, key, L"Astral"), std::wstring(1, wchar_t(0x1F600)));
    EXPECT_EQ(text(HKLM, key, L"Raw"), L"原始");
    EXPECT_EQ(
        text(HKLM, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harrow加速器", L"DisplayName", View64),
        L"Harrow加速器");
    EXPECT_EQ(text(HKLM, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harrow加速器", L"UninstallString",
                   View64),
              L"C:\\Program Files\\Harrow\\uninst.exe");
    // String data is stored as Windows returns it: UTF-16LE with terminator.
    EXPECT_EQ(read(HKLM, key, L"Raw")->data, utf16z(u"原始"));
}

TEST_F(Registry, OtherValueTypes) {
    writeHive("system.reg", kSystemReg64);
    const std::wstring key = L"Software\\Vendor\\Product";
    EXPECT_EQ(read(HKLM, key, L""), (RegistryValue{kRegSz, utf16z(u"default text")}));
    EXPECT_EQ(read(HKLM, key, L"Count"), (RegistryValue{kRegDword, {0x2a, 0, 0, 0}}));
    EXPECT_EQ(read(HKLM, key, L"Expand"), (RegistryValue{kRegExpandSz, utf16z(u"%SystemRoot%\\system32")}));
    std::vector<std::uint8_t> blob;
    for (int i = 0; i <= 0x18; ++i) blob.push_back(static_cast<std::uint8_t>(i));
    EXPECT_EQ(read(HKLM, key, L"Blob"), (RegistryValue{kRegBinary, blob}));
    EXPECT_EQ(read(HKLM, key, L"Multi"), (RegistryValue{kRegMultiSz, {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}}));
    // A line it cannot parse is skipped, not the rest of the key.
    EXPECT_EQ(text(HKLM, key, L"After"), L"still read");
}

TEST_F(Registry, NamesIgnoreLetterCase) {
    writeHive("system.reg", kSystemReg64);
    EXPECT_EQ(text(HKLM, L"sOFTWARE\\MICROSOFT\\cryptography", L"MACHINEGUID", View64),
              L"2f9c3e1a-7b4d-4e0f-9a61-3c5d8e2b7f10");
    EXPECT_EQ(text(HKLM, L"\\Software\\Vendor\\Product\\", L"escapes", View64), L"64-bit copy");
}

TEST_F(Registry, MissingThingsAreAbsent) {
    // No hive files at all.
    EXPECT_FALSE(RegistryKey::open(HKLM, L"Software\\Microsoft\\Cryptography", View64).has_value());
    EXPECT_FALSE(RegistryKey::open(HKCU, L"Software", View64).has_value());
    setenv("WINEPREFIX", (m_prefix / "no-such-prefix").c_str(), 1);
    EXPECT_FALSE(RegistryKey::open(HKLM, L"Software\\Microsoft\\Cryptography", View64).has_value());
    setenv("WINEPREFIX", m_prefix.c_str(), 1);

    writeHive("system.reg", kSystemReg64);
    EXPECT_FALSE(RegistryKey::open(HKLM, L"Software\\Nobody", View64).has_value());
    EXPECT_FALSE(RegistryKey::open(HKLM, L"Software\\Vendor\\Prod", View64).has_value());
    auto key = RegistryKey::open(HKLM, L"Software\\Vendor\\Product", View64);
    ASSERT_TRUE(key);
    RegistryValue v{kRegDword, {1}};
    EXPECT_EQ(key->query(L"Nope", 100, v), RegistryStatus::NotFound);
    EXPECT_EQ(v, (RegistryValue{kRegDword, {1}}));
    // A key with only sub-keys and no section of its own still exists.
    EXPECT_TRUE(RegistryKey::open(HKLM, L"System\\Deep", View64).has_value());
    EXPECT_FALSE(RegistryKey::open(HKCU, L"Software", View64).has_value());
}

TEST_F(Registry, ValueLargerThanTheBufferIsMoreData) {
    writeHive("system.reg", kSystemReg64);
    auto key = RegistryKey::open(HKLM, L"Software\\Vendor\\Product");
    ASSERT_TRUE(key);
    RegistryValue v;
    EXPECT_EQ(key->query(L"Count", 3, v), RegistryStatus::MoreData);
    EXPECT_EQ(v, RegistryValue{});
    EXPECT_EQ(key->query(L"Count", 4, v), RegistryStatus::Ok);
}

TEST_F(Registry, ChangedHiveFileIsReadAgain) {
    writeHive("system.reg", "WINE REGISTRY Version 2\n\n[Software\\\\A] 1\n\"v\"=\"one\"\n");
    EXPECT_EQ(text(HKLM, L"Software\\A", L"v"), L"one");
    writeHive("system.reg", "WINE REGISTRY Version 2\n\n[Software\\\\A] 1\n\"v\"=\"second\"\n");
    EXPECT_EQ(text(HKLM, L"Software\\A", L"v"), L"second");
    fs::remove(m_prefix / "system.reg");
    EXPECT_EQ(text(HKLM, L"Software\\A", L"v"), std::nullopt);
}

TEST(RegistryParser, MalformedInputIsSkippedSafely) {
    // Unterminated names and strings, dangling escapes, truncated hex. The
    // trailing backslash of "b" joins the next line to it, as for hex data.
    const detail::RegistryHive hive("[Software\\\\Broken\n[Software\\\\Ok] 1\n\"a\"=\"unterminated\n"
                                    "\"b\"=\"trailing\\\n\"c\"=hex:0\n\"d\"=hex:zz\n\"e\"=dword:\n"
                                    "\"f\"=str(2:\"x\"\n\"g\"=\"\\x\"\n\"h\"=\"fine\"\n[Software\\\\Last]");
    EXPECT_EQ(hive.keyCount(), 2u);
    const auto values = hive.values(L"software\\ok");
    ASSERT_TRUE(values);
    std::vector<std::wstring> names;
    for (const auto& [name, value] : *values) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"b", L"g", L"h"}));
    EXPECT_EQ(registryText(values->back().second.data), L"fine");
    EXPECT_EQ(registryText((*values)[0].second.data), L"trailing");
    EXPECT_EQ(registryText((*values)[1].second.data), L"x");
    EXPECT_TRUE(hive.values(L"Software\\Last").has_value());
    EXPECT_EQ(registryText({0x41, 0x00, 0x00, 0x00, 0x42, 0x00}), L"A");
    EXPECT_EQ(registryText({0x41, 0x00, 0x42}), L"A");
}

} // namespace
