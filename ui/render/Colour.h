// Colour text of the markup: an optional "#" and hexadecimal digits.
#pragma once

#include "platform/graphics/Geometry.h"

#include <string_view>

namespace render {

// Reads an optional "#" (after optional leading blanks, code units up to 32,
// when skipBlanks is set) and then hexadecimal digits as one unsigned number;
// reading stops at the first other character. More than eight digits keep
// the last eight. No digits give 0.
platform::Argb parseColour(std::wstring_view text, bool skipBlanks = false);

// Text, pen and gradient colours: pure black (with or without alpha) becomes
// 0xFF000001, which the drawing code treats as an ordinary opaque colour.
constexpr platform::Argb substituteBlack(platform::Argb c) { return (c == 0 || c == 0xFF000000u) ? 0xFF000001u : c; }

} // namespace render
