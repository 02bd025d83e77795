// Running processes: a snapshot of the process list, opening a process and
// ending it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One entry of a process snapshot.
struct ProcessEntry {
    int pid = 0;
    // The executable's file name without folder, as a process list shows it
    // ("oldprog", "WeChat.exe"). Never empty for a listed process.
    std::wstring exeName;
    // Full path of the executable, or empty when it cannot be determined
    // (processes of other users). For a Windows program under Wine this is
    // the Linux path of its .exe: through the prefix's drive mapping for a
    // Windows path (the Windows path itself when the drive is not mapped), as
    // given for a Unix path, and against the folder it was started in for a
    // relative one.
    std::wstring imagePath;
};

// Every process we can see, in ascending pid order. Processes that end while
// the snapshot is taken are left out. Nothing when /proc cannot be read.
//
// Windows programs run under Wine show up as a Wine preloader; they are
// listed by the Windows executable named on their command line, so that
// product checks written against Windows process names work unchanged.
// Other processes are named by /proc/PID/exe, or /proc/PID/comm when the
// executable link cannot be read.
std::optional<std::vector<ProcessEntry>> listProcesses();

// The executable path of one process (as listProcesses would report it),
// or empty when it cannot be determined.
std::wstring processImagePath(int pid);

// Our own process id.
int currentProcessId();

// A process opened for termination and waiting. The process is held through
// a pidfd where the kernel offers one, so a recycled pid is never signalled.
// Move-only; closes on destruction.
class Process {
public:
    // Opens process pid. Nothing when it does not exist or we may not signal it.
    static std::optional<Process> open(int pid);

    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    int pid() const { return m_pid; }
    // Ends the process at once (SIGKILL: it gets no chance to refuse).
    // True when the signal was delivered.
    bool terminate();
    // Waits up to timeoutMs for the process to end (a zombie counts as ended).
    // True when it has ended.
    bool waitForExit(int timeoutMs);

private:
    Process(int pid, int pidfd) : m_pid(pid), m_pidfd(pidfd) {}
    bool hasEnded() const;
    void close();

    int m_pid = 0;
    int m_pidfd = -1;
};

// Opens and terminates process pid. True when the signal was delivered.
bool terminateProcess(int pid);

namespace detail {
// Not for use outside platform/ and its tests.
//
// Describes a Wine process from its command line (arguments split at NUL),
// its Wine prefix folder and its working folder (Linux paths; either may be
// empty when unknown): the Windows executable name and its Linux path, a
// drive path mapped through <prefix>/dosdevices/<drive>:, a relative one
// resolved against cwd (or the prefix's system32 folder when the file is
// there and not in cwd). Nothing when no argument names an executable.
std::optional<ProcessEntry> describeWineProcess(const std::vector<std::string>& args, const std::string& prefix,
                                                const std::string& cwd = {});
// True for the file name of a Wine loader image ("wine-preloader",
// "wine64-preloader", "wine", "wine64").
bool isWineLoaderName(std::string_view fileName);
} // namespace detail

} // namespace platform
