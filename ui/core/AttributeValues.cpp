// Tolerant readers of attribute values.
#include "ui/core/AttributeValues.h"

#include "ui/render/Colour.h"

#include <algorithm>
#include <cwctype>

namespace attr {

namespace {

constexpr long long kLimit = 1 << 24;

bool isBlank(wchar_t c) { return c >= 1 && c <= 32; }

int readInt(std::wstring_view s, std::size_t& pos) {
    while (pos < s.size() && isBlank(s[pos])) ++pos;
    bool negative = false;
    if (pos < s.size() && (s[pos] == L'-' || s[pos] == L'+')) negative = s[pos++] == L'-';
    long long v = 0;
    while (pos < s.size() && s[pos] >= L'0' && s[pos] <= L'9') {
        if (v <= kLimit) v = v * 10 + (s[pos] - L'0');
        ++pos;
    }
    v = std::min(v, kLimit);
    return static_cast<int>(negative ? -v : v);
}

} // namespace

int parseInt(std::wstring_view text) {
    std::size_t pos = 0;
    return readInt(text, pos);
}

int parseIntList(std::wstring_view text, int* values, int count) {
    std::size_t pos = 0;
    int read = 0;
    for (int i = 0; i < count; ++i) values[i] = 0;
    for (int i = 0; i < count && pos < text.size(); ++i) {
        values[i] = readInt(text, pos);
        ++read;
        ++pos; // the separator, whatever it is
    }
    return read;
}

platform::Rect parseRect(std::wstring_view text) {
    int v[4];
    parseIntList(text, v, 4);
    return {v[0], v[1], v[2], v[3]};
}

platform::Size parseSize(std::wstring_view text) {
    int v[2];
    parseIntList(text, v, 2);
    return {v[0], v[1]};
}

bool equalsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
    return true;
}

bool parseBoolNoCase(std::wstring_view text) { return equalsNoCase(text, L"true"); }

double parseDouble(std::wstring_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+')) negative = text[pos++] == L'-';
    double v = 0;
    while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9')
        v = std::min(v * 10 + (text[pos++] - L'0'), 1e9);
    if (pos < text.size() && text[pos] == L'.') {
        double scale = 0.1;
        for (++pos; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos, scale /= 10)
            v += (text[pos] - L'0') * scale;
    }
    return negative ? -v : v;
}

platform::Argb parseColour(std::wstring_view text, bool skipBlanks) { return render::parseColour(text, skipBlanks); }

} // namespace attr
