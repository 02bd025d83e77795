// Read-only registry over the hive files of a Wine prefix.
#include "platform/registry/RegistryHive.h"

#include "platform/system/Text.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

namespace platform {

namespace detail {

namespace {

void appendCodePoint(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

// Decodes one UTF-8 sequence at text[pos]; advances pos. Bad bytes give U+FFFD.
char32_t decodeUtf8(std::string_view text, std::size_t& pos) {
    const auto b = static_cast<unsigned char>(text[pos++]);
    int extra = 0;
    char32_t c = 0;
    char32_t min = 0;
    if ((b & 0xE0) == 0xC0) {
        extra = 1;
        c = b & 0x1F;
        min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        extra = 2;
        c = b & 0x0F;
        min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        extra = 3;
        c = b & 0x07;
        min = 0x10000;
    } else {
        return 0xFFFD;
    }
    for (int i = 0; i < extra; ++i) {
        if (pos >= text.size() || (static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80) return 0xFFFD;
        c = (c << 6) | (static_cast<unsigned char>(text[pos++]) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0xFFFD;
    return c;
}

std::vector<std::uint8_t> utf16Bytes(const std::u16string& s) {
    std::vector<std::uint8_t> out;
    out.reserve(s.size() * 2 + 2);
    for (char16_t u : s) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

void skipBlanks(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

// Parses a hexadecimal number of at most `maxDigits` digits.
std::optional<std::uint32_t> parseHex(std::string_view line, std::size_t& pos, int maxDigits) {
    std::uint32_t v = 0;
    int n = 0;
    for (; n < maxDigits && pos < line.size() && hexDigitValue(line[pos]) >= 0; ++n, ++pos)
        v = (v << 4) | static_cast<std::uint32_t>(hexDigitValue(line[pos]));
    if (n == 0) return std::nullopt;
    return v;
}

// "xx,xx,..." bytes of a hex value (continuation lines already joined).
std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view line, std::size_t pos) {
    std::vector<std::uint8_t> out;
    while (true) {
        skipBlanks(line, pos);
        if (pos >= line.size()) return out;
        const auto byte = parseHex(line, pos, 2);
        if (!byte) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(*byte));
        skipBlanks(line, pos);
        if (pos < line.size()) {
            if (line[pos] != ',') return std::nullopt;
            ++pos;
        }
    }
}

// Parses the data after "=" of a value line.
std::optional<RegistryValue> parseData(std::string_view line, std::size_t pos) {
    RegistryValue value;
    auto starts = [&](std::string_view prefix) { return line.substr(pos, prefix.size()) == prefix; };
    if (starts("\"")) {
        ++pos;
        auto s = decodeRegistryString(line, pos, '"');
        if (!s) return std::nullopt;
        value.type = kRegSz;
        value.data = utf16Bytes(*s);
    } else if (starts("str(")) {
        pos += 4;
        const auto type = parseHex(line, pos, 8);
        if (!type || line.substr(pos, 3) != "):\"") return std::nullopt;
        pos += 3;
        auto s = decodeRegistryString(line, pos, '"');
        if (!s) return std::nullopt;
        value.type = *type;
        value.data = utf16Bytes(*s);
    } else if (starts("dword:")) {
        pos += 6;
        const auto v = parseHex(line, pos, 8);
        if (!v) return std::nullopt;
        value.type = kRegDword;
        for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<std::uint8_t>(*v >> (8 * i)));
    } else if (starts("hex:")) {
        auto bytes = parseHexBytes(line, pos + 4);
        if (!bytes) return std::nullopt;
        value.type = kRegBinary;
        value.data = std::move(*bytes);
    } else if (starts("hex(")) {
        pos += 4;
        const auto type = parseHex(line, pos, 8);
        if (!type || line.substr(pos, 2) != "):") return std::nullopt;
        auto bytes = parseHexBytes(line, pos + 2);
        if (!bytes) return std::nullopt;
        value.type = *type;
        value.data = std::move(*bytes);
    } else {
        return std::nullopt;
    }
    return value;
}

// A value line: "name"=data or @=data.
std::optional<std::pair<std::wstring, RegistryValue>> parseValueLine(std::string_view line) {
    std::size_t pos = 0;
    skipBlanks(line, pos);
    std::u16string name;
    if (pos < line.size() && line[pos] == '@') {
        ++pos;
    } else if (pos < line.size() && line[pos] == '"') {
        ++pos;
        auto decoded = decodeRegistryString(line, pos, '"');
        if (!decoded) return std::nullopt;
        name = std::move(*decoded);
    } else {
        return std::nullopt;
    }
    skipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    ++pos;
    skipBlanks(line, pos);
    auto value = parseData(line, pos);
    if (!value) return std::nullopt;
    return std::make_pair(foldName(fromUtf16(name)), std::move(*value));
}

// Cuts the next physical line (without CR LF) from text at pos.
std::string_view nextLine(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
        end = text.size();
        pos = end;
    } else {
        pos = end + 1;
    }
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool isKeyHeader(std::string_view line) {
    std::size_t pos = 0;
    skipBlanks(line, pos);
    return pos < line.size() && line[pos] == '[';
}

} // namespace

std::wstring foldName(std::wstring_view name) {
    std::wstring out(name);
    for (auto& c : out) {
        if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
            (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
            c += 0x20;
        else if (c >= 0x400 && c <= 0x40F)
            c += 0x50;
    }
    return out;
}

std::optional<std::u16string> decodeRegistryString(std::string_view text, std::size_t& pos, char terminator) {
    std::u16string out;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == terminator) {
            ++pos;
            return out;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            appendCodePoint(out, decodeUtf8(text, pos));
            continue;
        }
        if (c != '\\') {
            out += static_cast<char16_t>(c);
            ++pos;
            continue;
        }
        if (++pos >= text.size()) return std::nullopt;
        const char e = text[pos++];
        switch (e) {
        case 'a':
            out += u'\a';
            break;
        case 'b':
            out += u'\b';
            break;
        case 't':
            out += u'\t';
            break;
        case 'n':
            out += u'\n';
            break;
        case 'v':
            out += u'\v';
            break;
        case 'f':
            out += u'\f';
            break;
        case 'r':
            out += u'\r';
            break;
        case 'e':
            out += u'\x1b';
            break;
        case 'x': {
            const auto v = parseHex(text, pos, 4);
            if (v)
                out += static_cast<char16_t>(*v);
            else
                out += u'x';
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                std::uint32_t v = static_cast<std::uint32_t>(e - '0');
                for (int i = 0; i < 2 && pos < text.size() && text[pos] >= '0' && text[pos] <= '7'; ++i)
                    v = v * 8 + static_cast<std::uint32_t>(text[pos++] - '0');
                out += static_cast<char16_t>(v);
            } else if (static_cast<unsigned char>(e) >= 0x80) {
                --pos;
                appendCodePoint(out, decodeUtf8(text, pos));
            } else {
                out += static_cast<char16_t>(e);
            }
        }
    }
    return std::nullopt;
}

RegistryHive::RegistryHive(std::string text) : m_text(std::move(text)) {
    const std::string_view all = m_text;
    std::size_t pos = 0;
    bool seenKey = false;
    while (pos < all.size()) {
        std::string_view line = nextLine(all, pos);
        if (!isKeyHeader(line)) {
            if (!seenKey && line.starts_with("#arch=win64")) m_win64 = true;
            continue;
        }
        seenKey = true;
        std::size_t at = line.find('[') + 1;
        const auto name = decodeRegistryString(line, at, ']');
        if (!name) continue;
        m_index.emplace_back(toUtf8(foldName(fromUtf16(*name))), pos);
    }
    std::stable_sort(m_index.begin(), m_index.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
}

std::optional<std::vector<std::pair<std::wstring, RegistryValue>>> RegistryHive::values(std::wstring_view path) const {
    const std::string folded = toUtf8(foldName(path));
    auto less = [](const std::pair<std::string, std::size_t>& entry, const std::string& key) {
        return entry.first < key;
    };
    auto it = std::lower_bound(m_index.begin(), m_index.end(), folded, less);
    std::vector<std::pair<std::wstring, RegistryValue>> values;
    if (it == m_index.end() || it->first != folded) {
        // A key that only has sub-keys may have no section of its own.
        const std::string prefix = folded + "\\";
        auto sub = std::lower_bound(m_index.begin(), m_index.end(), prefix, less);
        if (folded.empty() || sub == m_index.end() || !sub->first.starts_with(prefix)) return std::nullopt;
        return values;
    }

    const std::string_view all = m_text;
    std::size_t pos = it->second;
    while (pos < all.size()) {
        std::string_view physical = nextLine(all, pos);
        if (isKeyHeader(physical)) break;
        std::string joined;
        std::string_view line = physical;
        // Long hex data continues on the next line after a trailing backslash.
        while (!line.empty() && line.back() == '\\' && pos < all.size()) {
            if (joined.empty()) joined.assign(line);
            joined.pop_back();
            std::string_view next = nextLine(all, pos);
            std::size_t skip = 0;
            skipBlanks(next, skip);
            joined.append(next.substr(skip));
            line = joined;
        }
        if (auto value = parseValueLine(line)) {
            const bool seen =
                std::any_of(values.begin(), values.end(), [&](const auto& v) { return v.first == value->first; });
            if (!seen) values.push_back(std::move(*value));
        }
    }
    return values;
}

} // namespace detail

namespace {

struct CachedHive {
    std::string path;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{};
    std::shared_ptr<const detail::RegistryHive> hive;
};

std::mutex g_cacheMutex;
CachedHive g_cache[2];

// The parsed hive file, re-read when it changed; null when it cannot be read.
std::shared_ptr<const detail::RegistryHive> loadHive(RegistryRoot root) {
    const std::string prefix = winePrefix();
    if (prefix.empty()) return nullptr;
    const std::string path = prefix + (root == RegistryRoot::LocalMachine ? "/system.reg" : "/user.reg");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;

    std::lock_guard lock(g_cacheMutex);
    CachedHive& cached = g_cache[root == RegistryRoot::LocalMachine ? 0 : 1];
    if (cached.hive && cached.path == path && cached.dev == st.st_dev && cached.ino == st.st_ino &&
        cached.size == st.st_size && cached.mtime.tv_sec == st.st_mtim.tv_sec &&
        cached.mtime.tv_nsec == st.st_mtim.tv_nsec)
        return cached.hive;

    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount())); // a file that shrank meanwhile is read as it is
    cached = {path,       st.st_dev,  st.st_ino,
              st.st_size, st.st_mtim, std::make_shared<const detail::RegistryHive>(std::move(text))};
    return cached.hive;
}

// Splits at "\", dropping empty components (leading, trailing, doubled).
std::vector<std::wstring> components(std::wstring_view path) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring_view::npos) end = path.size();
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

} // namespace

std::string winePrefix() {
    if (const char* p = std::getenv("WINEPREFIX"); p && *p) return p;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.wine";
    return {};
}

std::wstring registryText(const std::vector<std::uint8_t>& data) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const char16_t u = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (u == 0) break;
        units += u;
    }
    return fromUtf16(units);
}

std::optional<RegistryKey> RegistryKey::open(RegistryRoot root, std::wstring_view subKey, RegistryView view) {
    const auto hive = loadHive(root);
    if (!hive) return std::nullopt;

    std::vector<std::wstring> parts = components(subKey);
    if (view == RegistryView::Default && root == RegistryRoot::LocalMachine && hive->isWin64() && !parts.empty() &&
        detail::foldName(parts[0]) == L"software" && (parts.size() < 2 || detail::foldName(parts[1]) != L"wow6432node"))
        parts.insert(parts.begin() + 1, L"Wow6432Node");

    RegistryKey key;
    for (const auto& part : parts) {
        if (!key.m_path.empty()) key.m_path += L'\\';
        key.m_path += part;
    }
    if (key.m_path.empty()) return key; // the root key itself, which holds no values here
    auto values = hive->values(key.m_path);
    if (!values) return std::nullopt;
    key.m_values = std::move(*values);
    return key;
}

RegistryStatus RegistryKey::query(std::wstring_view name, std::size_t capacity, RegistryValue& out) const {
    const std::wstring folded = detail::foldName(name);
    for (const auto& [valueName, value] : m_values) {
        if (valueName != folded) continue;
        if (value.data.size() > capacity) return RegistryStatus::MoreData;
        out = value;
        return RegistryStatus::Ok;
    }
    return RegistryStatus::NotFound;
}

} // namespace platform
