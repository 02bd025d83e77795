// UTF-8 / UTF-16 / UTF-32 conversions used at the platform boundary.
#include "platform/system/Text.h"

#include <cstdint>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isScalar(char32_t c) { return c < 0x110000 && (c < 0xD800 || c > 0xDFFF); }

void appendUtf8(std::string& out, char32_t c) {
    if (!isScalar(c)) c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::wstring fromUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        if (b == 0) break;
        int extra;
        char32_t c;
        char32_t min;
        if (b < 0x80) {
            c = b;
            extra = 0;
            min = 0;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
            min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
            min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
            min = 0x10000;
        } else {
            out += static_cast<wchar_t>(kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= text.size() || (static_cast<std::uint8_t>(text[j]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (static_cast<std::uint8_t>(text[j]) & 0x3F);
        }
        if (!ok || c < min || !isScalar(c)) {
            out += static_cast<wchar_t>(kReplacement);
            i = ok ? j : (j > i + 1 ? j : i + 1);
            continue;
        }
        out += static_cast<wchar_t>(c);
        i = j;
    }
    return out;
}

std::string toUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t w : text) {
        if (w == 0) break;
        appendUtf8(out, static_cast<char32_t>(w));
    }
    return out;
}

std::u16string toUtf16(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t w : text) {
        char32_t c = static_cast<char32_t>(w);
        if (!isScalar(c)) c = kReplacement;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::wstring fromUtf16(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        out += static_cast<wchar_t>(c);
    }
    return out;
}

} // namespace platform
