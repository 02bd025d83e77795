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

} // namespace platform
