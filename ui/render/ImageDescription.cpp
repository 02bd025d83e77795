// Image descriptions: the key='value' grammar and the one-time resolution.
#include "ui/render/ImageDescription.h"

#include "ui/render/SkinResources.h"
#include "ui/render/Colour.h"

#include <algorithm>

void ImageDescription::reset() {
    description.clear();
    imageName.clear();
    image.reset();
    dest = source = corner = platform::Rect{};
    fade = 255;
    hole = xtiled = ytiled = attempted = destInDevicePixels = false;
}

void ImageDescription::setDescription(std::wstring_view text) {
    reset();
    description = text;
}

namespace render {
namespace {

bool isBlank(wchar_t c) { return c >= 1 && c <= 32; }

// A decimal integer with optional leading blanks and sign; stops at the
// first other character. `pos` ends on that character.
int readInt(std::wstring_view s, std::size_t& pos) {
    while (pos < s.size() && isBlank(s[pos])) ++pos;
    bool negative = false;
    if (pos < s.size() && (s[pos] == L'-' || s[pos] == L'+')) negative = s[pos++] == L'-';
    long long v = 0;
    while (pos < s.size() && s[pos] >= L'0' && s[pos] <= L'9') {
        if (v <= (1 << 24)) v = v * 10 + (s[pos] - L'0');
        ++pos;
    }
    // Far beyond any screen, and far from overflowing when added to one.
    v = std::min<long long>(v, 1 << 24);
    return static_cast<int>(negative ? -v : v);
}

// Four integers, each followed by one separator of any kind. A short list
// leaves the missing values 0 (the value ends where it ends).
platform::Rect readRect(std::wstring_view s) {
    int v[4] = {0, 0, 0, 0};
    std::size_t pos = 0;
    for (int& x : v) {
        if (pos >= s.size()) break;
        x = readInt(s, pos);
        ++pos;
    }
    return {v[0], v[1], v[2], v[3]};
}

} // namespace

ParsedImageDescription parseImageDescription(std::wstring_view text) {
    ParsedImageDescription out;
    out.name = text;
    enum class Kind { None, Resource, Colour } kind = Kind::None;
    std::wstring resourceType;
    std::size_t i = 0;
    const std::size_t n = text.size();
    for (;;) {
        while (i < n && isBlank(text[i])) ++i;
        std::size_t keyStart = i;
        while (i < n && text[i] != L'=' && !isBlank(text[i])) ++i;
        std::wstring_view key = text.substr(keyStart, i - keyStart);
        while (i < n && isBlank(text[i])) ++i;
        if (i >= n || text[i] != L'=') break;
        ++i;
        while (i < n && isBlank(text[i])) ++i;
        if (i >= n || text[i] != L'\'') break;
        ++i;
        std::size_t valueStart = i;
        while (i < n && text[i] != L'\'') ++i;
        if (i >= n) break; // unterminated: ignored, and the list ends
        std::wstring_view value = text.substr(valueStart, i - valueStart);
        ++i;
        if (!value.empty()) {
            if (key == L"file") {
                out.name = value; // the type chosen by "res" or "color" stays
            } else if (key == L"res") {
                out.name = value;
                kind = Kind::Resource;
            } else if (key == L"restype") {
                resourceType = value;
            } else if (key == L"color") {
                out.name = value;
                kind = Kind::Colour;
            } else if (key == L"dest") {
                out.dest = readRect(value);
            } else if (key == L"source") {
                out.source = readRect(value);
            } else if (key == L"corner" || key == L"scale9") {
                out.corner = readRect(value);
            } else if (key == L"mask") {
                out.mask = parseColour(value);
            } else if (key == L"fade") {
                std::size_t pos = 0;
                out.fade = std::clamp(readInt(value, pos), 0, 255);
            } else if (key == L"hole") {
                out.hole = value == L"true";
            } else if (key == L"xtiled") {
                out.xtiled = value == L"true";
            } else if (key == L"ytiled") {
                out.ytiled = value == L"true";
            } else if (key == L"hsl") {
                out.hsl = value == L"true";
            }
        }
        if (i >= n || text[i] != L' ') break;
    }
    if (kind == Kind::Resource)
        out.type = resourceType;
    else if (kind == Kind::Colour)
        out.type = kColourImageType;
    return out;
}

bool resolveImageDescription(CSkinResourcesUI& resources, ImageDescription& d) {
    if (d.image) return true;
    if (d.attempted) return false;
    d.attempted = true;
    if (d.description.isEmpty()) return false;
    ParsedImageDescription parsed = parseImageDescription(d.description.view());
    d.dest = parsed.dest;
    d.destInDevicePixels = false;
    d.source = parsed.source;
    d.corner = parsed.corner;
    d.fade = static_cast<std::uint8_t>(parsed.fade);
    d.hole = parsed.hole;
    d.xtiled = parsed.xtiled;
    d.ytiled = parsed.ytiled;
    d.imageName = parsed.name;
    ImageHandle image =
        resources.findOrLoadImage(parsed.name, parsed.type.empty() ? nullptr : parsed.type.c_str(), parsed.mask);
    if (!image) return false;
    d.image = std::move(image);
    if (d.source == platform::Rect{}) d.source = {0, 0, d.image->unitWidth(), d.image->unitHeight()};
    return true;
}

} // namespace render
