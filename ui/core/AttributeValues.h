// Reading attribute values of the markup: integers, lists of integers,
// booleans and colours, tolerant the way skins rely on (numbers that do not
// parse read as 0, any single character separates numbers in a list).
#pragma once

#include "platform/graphics/Geometry.h"

#include <string_view>

namespace attr {

// A decimal integer with optional leading blanks and sign; reading stops at
// the first other character. No digits give 0. Values beyond ±2^24 are
// clamped: no screen needs more, and sums of them stay far from overflow.
int parseInt(std::wstring_view text);

// Reads up to `count` integers, each followed by one separator character of
// any kind; values that are missing stay 0. Returns how many were read.
int parseIntList(std::wstring_view text, int* values, int count);

// "l,t,r,b" (any single separators).
platform::Rect parseRect(std::wstring_view text);
// "cx,cy".
platform::Size parseSize(std::wstring_view text);

// Names compared without regard to case (attribute and window attribute names).
bool equalsNoCase(std::wstring_view a, std::wstring_view b);

// True exactly for "true".
inline bool parseBool(std::wstring_view text) { return text == L"true"; }
// True for "true" in any case.
bool parseBoolNoCase(std::wstring_view text);

// A decimal fraction ("0.5", "-1", ".25"); 0 when it does not parse.
double parseDouble(std::wstring_view text);

// A colour: an optional "#" then hexadecimal ARGB. With skipBlanks, leading
// characters up to code 32 are skipped first.
platform::Argb parseColour(std::wstring_view text, bool skipBlanks = false);

} // namespace attr
