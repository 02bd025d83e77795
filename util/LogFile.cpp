// The log writer: per-entry append of UTF-16LE lines under a re-entrant lock.
#include "util/LogFile.h"

#include "platform/system/Text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

CWriteLogFile g_log;

namespace {

// Longest formatted message in UTF-16 code units (a buffer of 10240 with its
// terminator).
constexpr size_t kMaxFormattedUnits = 10239;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

std::string nativePath(const std::wstring& path) { return platform::toUtf8(path); }

void appendUtf16Le(std::string& out, std::u16string_view units) {
    for (char16_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
}

std::u16string entryPrefix(const wchar_t* sourceFile, int line) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    wchar_t buf[64];
    std::swprintf(buf, 64, L"[%04d-%02d-%02d %02d:%02d:%02d][", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec);
    std::wstring prefix = buf;
    prefix += sourceFile ? sourceFile : L"";
    prefix += L' ';
    prefix += std::to_wstring(line);
    prefix += L']';
    return platform::toUtf16(prefix);
}

// Formats with the C library into a growing buffer (no fixed limit here; the
// caller cuts). On a formatting error whatever was produced is kept.
std::wstring formatWide(const std::wstring& format, va_list args) {
    wchar_t* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_wmemstream(&buffer, &size);
    if (!stream) return {};
    std::vfwprintf(stream, format.c_str(), args);
    std::fclose(stream);
    std::wstring out(buffer, size);
    std::free(buffer);
    return out;
}

} // namespace

#if !defined(__FILE_NAME__)
namespace detail_log {
std::wstring sourceName(const char* file) {
    std::string_view f(file);
    const size_t cut = f.find_last_of("/\\");
    if (cut != std::string_view::npos) f.remove_prefix(cut + 1);
    return L".\\" + platform::fromUtf8(f);
}
} // namespace detail_log
#endif

std::wstring TranslateWindowsFormat(std::wstring_view format) {
    std::wstring out;
    out.reserve(format.size() + 8);
    size_t i = 0;
    const size_t n = format.size();
    while (i < n) {
        const wchar_t c = format[i++];
        out += c;
        if (c != L'%') continue;
        if (i < n && format[i] == L'%') {
            out += format[i++];
            continue;
        }
        // Flags, width and precision pass unchanged.
        while (i < n && std::wcschr(L"-+ #0'", format[i]) && format[i] != L'\0') out += format[i++];
        while (i < n && ((format[i] >= L'0' && format[i] <= L'9') || format[i] == L'*')) out += format[i++];
        if (i < n && format[i] == L'.') {
            out += format[i++];
            while (i < n && ((format[i] >= L'0' && format[i] <= L'9') || format[i] == L'*')) out += format[i++];
        }
        // Size prefix: Windows' own ones are rewritten, the standard ones kept.
        enum class Width { None, Narrow, Wide } width = Width::None;
        std::wstring size;
        if (format.substr(i, 3) == L"I64") {
            size = L"ll";
            i += 3;
        } else if (format.substr(i, 3) == L"I32") {
            i += 3;
        } else if (i < n && format[i] == L'I') {
            size = L"z";
            ++i;
        } else if (i < n && format[i] == L'w') {
            width = Width::Wide;
            ++i;
        } else if (i < n && format[i] == L'h') {
            ++i;
            if (i < n && format[i] == L'h') {
                size = L"hh";
                ++i;
            } else if (i < n && (format[i] == L's' || format[i] == L'S' || format[i] == L'c' || format[i] == L'C')) {
                width = Width::Narrow;
            } else {
                size = L"h";
            }
        } else if (i < n && format[i] == L'l') {
            ++i;
            if (i < n && format[i] == L'l') {
                size = L"ll";
                ++i;
            } else if (i < n && (format[i] == L's' || format[i] == L'S' || format[i] == L'c' || format[i] == L'C')) {
                width = Width::Wide;
            } else {
                size = L"l";
            }
        } else if (i < n && std::wcschr(L"jztL", format[i]) && format[i] != L'\0') {
            size = format[i++];
        }
        if (i >= n) {
            out += size;
            break;
        }
        const wchar_t conv = format[i++];
        const bool isString = conv == L's' || conv == L'S';
        const bool isChar = conv == L'c' || conv == L'C';
        if (isString || isChar) {
            // In a wide format the lower-case forms are wide and the upper-case
            // forms narrow, unless a size prefix says otherwise.
            bool wide = conv == L's' || conv == L'c';
            if (width == Width::Wide) wide = true;
            if (width == Width::Narrow) wide = false;
            if (wide) out += L'l';
            out += isString ? L's' : L'c';
        } else {
            out += size;
            out += conv;
        }
    }
    return out;
}

CWriteLogFile::CWriteLogFile() = default;
CWriteLogFile::~CWriteLogFile() = default;

void CWriteLogFile::SetLogFile(const std::wstring& path, int capKilobytes) {
    const std::int64_t size = GetLogFileSize(path);
    if (size > static_cast<std::int64_t>(capKilobytes) * 1024 || size == 0) ::unlink(nativePath(path).c_str());
    m_path = path;
    m_capKilobytes = capKilobytes;
}

void CWriteLogFile::SetEnabled(bool enabled) { m_enabled = enabled; }

std::int64_t CWriteLogFile::GetLogFileSize(const std::wstring& path) {
    std::lock_guard guard(m_lock);
    FilePtr f(std::fopen(nativePath(path).c_str(), "rb"));
    if (!f) return 0;
    struct stat st {};
    if (fstat(fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<std::int64_t>(st.st_size);
}

void CWriteLogFile::WriteLog(const wchar_t* sourceFile, int line, const wchar_t* format, ...) {
    if (!m_enabled || !format) return;
    va_list args;
    va_start(args, format);
    const std::wstring message = formatWide(TranslateWindowsFormat(format), args);
    va_end(args);
    std::u16string units = platform::toUtf16(message);
    if (units.size() > kMaxFormattedUnits) {
        units.resize(kMaxFormattedUnits);
        // Never leave half a surrogate pair at the cut.
        if (units.back() >= 0xD800 && units.back() <= 0xDBFF) units.pop_back();
    }
    append(sourceFile, line, units);
}

void CWriteLogFile::WriteLogText(const wchar_t* sourceFile, int line, std::wstring_view text) {
    if (!m_enabled) return;
    append(sourceFile, line, platform::toUtf16(text));
}

void CWriteLogFile::append(const wchar_t* sourceFile, int line, std::u16string_view message) {
    std::lock_guard guard(m_lock);
    if (!m_enabled || m_path.empty()) return;
    try {
        const std::string path = nativePath(m_path);
        const std::uint64_t limit =
            m_capKilobytes < 0 ? UINT64_MAX : static_cast<std::uint64_t>(m_capKilobytes) * 1024u;
        if (static_cast<std::uint64_t>(GetLogFileSize(m_path)) > limit) ::unlink(path.c_str());

        FilePtr f(std::fopen(path.c_str(), "ab+"));
        if (!f) return;
        // A new (or emptied) file starts with the byte-order mark. Testing
        // the size of the opened file rather than existence beforehand also
        // covers an empty file left by someone else.
        struct stat st {};
        const bool empty = fstat(fileno(f.get()), &st) == 0 && st.st_size == 0;

        std::string bytes;
        bytes.reserve(64 + message.size() * 2);
        if (empty) bytes += "\xFF\xFE";
        appendUtf16Le(bytes, entryPrefix(sourceFile, line));
        appendUtf16Le(bytes, message);
        appendUtf16Le(bytes, u"\r\n");
        std::fwrite(bytes.data(), 1, bytes.size(), f.get());
    } catch (...) {
        // Logging never disturbs the program.
    }
}
