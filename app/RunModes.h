// The program's two run modes: the pieces of the entry point that tests and
// the self-update call on their own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The drive and folder of the running executable, ending in "/". Set by the
// entry point before anything else runs; read-only afterwards.
extern std::wstring g_programDir;

// The program's version: written in the first log entry and compared with
// the newest version the service announces.
inline constexpr wchar_t kClientVersion[] = L"20";
inline constexpr int kClientVersionNumber = 20;

// Name of the semaphore that marks a running instance.
inline constexpr char kInstanceSemaphoreName[] = "Global\\_ONCE_RUN_tavorhub_1_";
// Log file name in the temporary folder, and its cap in kilobytes.
inline constexpr wchar_t kLogFileName[] = L"brenniklog.txt";
inline constexpr int kLogFileCapKilobytes = 1024;
// The line the version entry has always carried in the log (module main).
inline constexpr int kVersionLogLine = 71;
// The embedded skin archive and its password.
inline constexpr wchar_t kSkinResourceType[] = L"ZIPRES";
inline constexpr int kSkinResourceId = 101;
inline constexpr char kSkinPassword[] = "kvtp5184@";

// The command line as the program sees it: its arguments (without the
// program name) joined with single blanks. A launcher that passes the update
// parameters as one argument thus hands them over unchanged.
std::wstring JoinArguments(int argc, char** argv);

// True when the command line asks for update mode: it contains "update"
// anywhere (case-sensitive).
bool IsUpdateCommandLine(std::wstring_view commandLine);

// The file that update mode may replace: only for the exact form
// "update '<path>'" (the command line is that and nothing else) with an
// absolute path that names a file (not ending in "/"). Nothing for any other
// command line, however much of "update" it contains, so that a word or a
// folder name can never make the program overwrite a file.
std::optional<std::wstring> UpdateTargetOf(std::wstring_view commandLine);

// The target path of update mode: the text after the first apostrophe and
// before the last one. With one apostrophe it is the text after it; with none
// it is the whole command line.
std::wstring ExtractUpdateTarget(std::wstring_view commandLine);

// Replaces target by a copy of source without ever leaving a partial target:
// the copy goes to a temporary file in target's folder, gets target's
// permission bits (or rwxr-xr-x less the umask when target does not exist),
// is flushed to disk and renamed over target. This works while target is a
// running program, which cannot be written in place. True on success; on
// failure target is untouched and no temporary file is left.
bool ReplaceFileAtomically(const std::wstring& source, const std::wstring& target);

// Why this user cannot replace the program file at path (the file and its
// folder must both be writable), or nothing when it can. The self-update
// asks before it downloads anything: an update that cannot be put in place
// would otherwise be offered, fetched and started again and again.
std::optional<std::wstring> ProgramReplaceProblem(const std::wstring& path);

// Update mode, completely: waits for the old version to close its window,
// ends every process running an executable of the target's file name, puts a
// copy of the running executable in the target's place and starts it
// detached without arguments; returns 0. When the copy fails, the old
// program is NOT started (it would offer the same update again, for ever):
// the reason goes to the log file in the temporary folder (the one normal
// mode writes) and the result is 1. A command line without a target
// (UpdateTargetOf), or whose target is the running executable itself,
// touches nothing and returns 0 at once.
// waitMs is the initial wait (1000 in the program; tests may shorten it).
int RunUpdateMode(std::wstring_view commandLine, unsigned waitMs = 1000);
