// Boundary conversions between wide strings, UTF-8 and UTF-16.
#include "platform/system/Text.h"

#include <gtest/gtest.h>

namespace {

TEST(PlatformText, RoundTripsChineseAndAstralThroughUtf8AndUtf16) {
    const std::wstring text = L"当前版本：20 \U0001F600 Tolvar";
    EXPECT_EQ(platform::fromUtf8(platform::toUtf8(text)), text);
    const std::u16string u16 = platform::toUtf16(text);
    EXPECT_EQ(u16.size(), text.size() + 1); // the emoji takes a surrogate pair
    EXPECT_EQ(platform::fromUtf16(u16), text);
}

TEST(PlatformText, InvalidInputBecomesReplacementCharacters) {
    EXPECT_EQ(platform::fromUtf8("a\xC3"), L"a\uFFFD");       // truncated sequence
    EXPECT_EQ(platform::fromUtf8("\xC0\xAF"), L"\uFFFD");     // overlong '/'
    EXPECT_EQ(platform::fromUtf8("\xED\xA0\x80"), L"\uFFFD"); // encoded surrogate
    EXPECT_EQ(platform::fromUtf16(u"\xD800x"), L"\uFFFDx");   // unpaired surrogate
    EXPECT_EQ(platform::toUtf8(std::wstring(1, static_cast<wchar_t>(0x110000))), "\xEF\xBF\xBD");
}

TEST(PlatformText, ConversionStopsAtNul) {
    EXPECT_EQ(platform::fromUtf8(std::string_view("ab\0cd", 5)), L"ab");
    EXPECT_EQ(platform::toUtf8(std::wstring_view(L"ab\0cd", 5)), "ab");
}

} // namespace
