// The program's log file: UTF-16LE lines with time stamp and call site,
// written by the process-wide CWriteLogFile g_log.
//
// Use the macros, which pass the call site:
//
//     WRITE_LOG(L"%s下载失败%s,%ld", url.c_str(), path.c_str(), status);
//     WRITE_LOG_TEXT(responseBody);      // verbatim, any length, "%" is literal
//
// The call site is written as ".\" plus the source file's base name
// (".\ThreadCallFunc.cpp") and the line of the macro.
//
// Formats are Windows-style wide printf formats, as the program's messages
// are written: in a wide format "%s" and "%c" take WIDE arguments
// (const wchar_t*, wchar_t) and "%S"/"%hs" and "%C"/"%hc" take narrow ones
// (const char*, char); "%ls"/"%ws" are wide as well; "%I64d" is a 64-bit
// integer. They are translated to the C library's meaning before formatting,
// inside conversion specifications only ("%%" stays a literal percent sign).
// Integer sizes follow the C++ types passed: "%d" an int, "%ld" a long.
// Narrow string arguments are decoded with the C library's current locale,
// which is "C" (ASCII) unless the program sets one: pass non-ASCII text wide
// (Utf8ToUnicode) rather than through "%S".
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

// Logging a message formatted from fmt and the further arguments.
#define WRITE_LOG(fmt, ...) g_log.WriteLog(QUELLAN_LOG_SOURCE, __LINE__, fmt __VA_OPT__(, ) __VA_ARGS__)
// Logging a wide text exactly as it is.
#define WRITE_LOG_TEXT(text) g_log.WriteLogText(QUELLAN_LOG_SOURCE, __LINE__, text)

// ".\" followed by the base name of the current source file, as a wide literal.
#if defined(__FILE_NAME__)
#define QUELLAN_LOG_SOURCE (L".\\" __FILE_NAME__)
#else
#define QUELLAN_LOG_SOURCE (::detail_log::sourceName(__FILE__).c_str())
namespace detail_log {
// Not for use outside the logging macros.
std::wstring sourceName(const char* file);
} // namespace detail_log
#endif

// Writes log entries to one file. Any thread may write at any time; each entry
// is appended under a re-entrant lock and the file is opened and closed per
// entry, so entries never interleave and nothing is lost when the process is
// killed. The file is deleted and started afresh when it has outgrown the cap.
class CWriteLogFile {
public:
    CWriteLogFile();
    virtual ~CWriteLogFile();
    CWriteLogFile(const CWriteLogFile&) = delete;
    CWriteLogFile& operator=(const CWriteLogFile&) = delete;

    // Selects the file and its cap in kilobytes (1024 bytes). An existing
    // file that is empty or larger than the cap is deleted first. Must be
    // called before other threads write (it takes no lock for the fields).
    void SetLogFile(const std::wstring& path, int capKilobytes);

    // Appends "[YYYY-MM-DD hh:mm:ss][source line]message\r\n" with message
    // formatted from format (see the header comment for its conventions),
    // cut to 10239 UTF-16 code units.
    void WriteLog(const wchar_t* sourceFile, int line, const wchar_t* format, ...);
    // Appends the same line with text as the message, unformatted and uncut.
    void WriteLogText(const wchar_t* sourceFile, int line, std::wstring_view text);

    // Size of the file at path in bytes; 0 when it is missing or cannot be
    // opened.
    std::int64_t GetLogFileSize(const std::wstring& path);

    // While disabled every write does nothing. Enabled after construction.
    void SetEnabled(bool enabled);

    const std::wstring& LogFilePath() const { return m_path; }

private:
    void append(const wchar_t* sourceFile, int line, std::u16string_view message);

    std::wstring m_path;
    int m_capKilobytes = 0;
    std::atomic<bool> m_enabled{true};
    std::recursive_mutex m_lock;
};

extern CWriteLogFile g_log;

// Translates a Windows-style wide printf format (see above) into the C
// library's wide printf conventions. Exposed for tests.
std::wstring TranslateWindowsFormat(std::wstring_view format);
