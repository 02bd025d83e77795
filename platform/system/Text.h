// Conversions at the platform boundary: wide strings (wchar_t, UTF-32 on Linux)
// are the program's text; file system and library calls take UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 → wide. Invalid sequences become U+FFFD; conversion stops at a NUL.
std::wstring fromUtf8(std::string_view text);
// Wide → UTF-8. Code points that are not valid scalar values become U+FFFD;
// conversion stops at a NUL.
std::string toUtf8(std::wstring_view text);
// Wide → UTF-16 code units (surrogate pairs for code points above U+FFFF).
std::u16string toUtf16(std::wstring_view text);
// UTF-16 code units → wide (unpaired surrogates become U+FFFD).
std::wstring fromUtf16(std::u16string_view text);

// Value of one hexadecimal digit (either case), or -1 for any other character.
constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace platform
