// System services in place of the Windows kernel and shell calls: clock, sleep,
// well-known paths, disk space, debugger output, code-page conversion, starting
// programs. Processes are in platform/system/Process.h, named semaphores in
// platform/system/NamedSemaphore.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Milliseconds since an arbitrary fixed point (boot), monotonic. The 32-bit
// form wraps after 49.7 days like the tick count the program was designed for;
// differences taken in uint32_t arithmetic stay right across the wrap.
std::uint32_t tickCount();
std::uint64_t tickCount64();

// Suspends the calling thread for at least ms milliseconds.
void sleepMs(std::uint32_t ms);

// The folder for temporary files, which only this user can enter:
// userPrivateFolder of $TMPDIR (when set and not empty, else "/tmp"). When
// that one must not be used, a fresh folder made with mkdtemp beside it,
// kept for the rest of the process. Ends in "/"; empty only when no private
// folder can be made at all. Everything the program keeps in its temporary
// folder (log, file list copy, self-update file) goes through this function.
// Any thread.
std::wstring tempFolder();

// The user's home folder: $HOME when set and not empty, else the user
// database's entry (UTF-8); empty when neither is known. Any thread.
std::string homeFolder();

// Removes, with everything in them, the fallback folders tempFolder made for
// this process, unless keepFallbackTempFolders was called: for the end of
// the process, so that no per-process folder outlives it. Any thread.
void removeFallbackTempFolders();
// Keeps them at the end: something started from there (the self-update's new
// program) still needs its files.
void keepFallbackTempFolders();

// base/quellan-<uid>/, created with mode 0700 when missing. An existing one
// is used only when it passes privateFolderProblem; otherwise the reason
// goes to the debugger output and the result is empty, and nothing inside
// it is ever touched. Empty as well when it cannot be created.
std::wstring userPrivateFolder(std::wstring_view base);

// Why path is not a folder that only ownerUid can enter, or nothing when it
// is: examined with lstat, it must be a real directory (not a symbolic
// link), owned by ownerUid, with no group or other access.
std::optional<std::string> privateFolderProblem(std::wstring_view path, unsigned ownerUid);

// Full path of the running executable (/proc/self/exe), or empty when unknown.
std::wstring executablePath();

// Bytes available to an unprivileged user on the file system that holds path.
// The path need not exist yet: its nearest existing ancestor is asked (so a
// target folder that the installer is about to create can be checked).
// Nothing when no ancestor can be queried.
std::optional<std::uint64_t> freeDiskSpace(std::wstring_view path);

// Diagnostic text for a developer watching the program: written to stderr
// only when the environment variable QUELLAN_DEBUG is set (to anything but
// empty); otherwise dropped. Thread-safe; the text is written as given.
void debugOutput(std::wstring_view text);
bool debugOutputEnabled();

// The name of the system's byte-string code page: the charset of the locale
// the environment selects (LC_ALL / LC_CTYPE / LANG), as iconv names it.
// A plain C/POSIX locale counts as "UTF-8": ASCII is a subset of it, and file
// names and terminals on Linux are UTF-8 in practice.
std::string codePageName();

// Code page → wide and back, through iconv. Conversion stops at the first NUL.
// Bytes that are invalid in the code page become U+FFFD; characters the code
// page cannot represent become "?", as the system conversion does by default.
std::wstring fromCodePage(std::string_view text);
std::string toCodePage(std::wstring_view text);
// The same with an explicit iconv charset name (for tests and for callers
// that know the encoding). Empty result when the charset is unknown.
std::wstring fromCodePage(std::string_view text, const std::string& charset);
std::string toCodePage(std::wstring_view text, const std::string& charset);

// Starts program with args (not including the program itself as argv[0],
// which is set to program) detached from us: in a new session, stdin, stdout
// and stderr on /dev/null, not a child of ours (it is never left a zombie),
// with our environment and working folder. True when the program was
// executed; false when it could not be (missing, not executable).
bool startDetached(const std::wstring& program, const std::vector<std::wstring>& args = {});

// Opens a file, folder or URL the way the desktop would ("open" verb):
// an executable file is started directly, anything else is handed to
// xdg-open. True when the starting step succeeded.
bool shellOpen(const std::wstring& target);

} // namespace platform
