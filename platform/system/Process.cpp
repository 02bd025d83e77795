// Process snapshots from /proc, Wine-aware naming, and termination through
// pidfds.
#include "platform/system/Process.h"

#include "platform/system/Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

std::string readLink(const std::string& path) {
    std::string buf(4096, '\0');
    const ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return {};
    buf.resize(static_cast<size_t>(n));
    return buf;
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> splitAtNul(const std::string& data) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\0', start);
        if (end == std::string::npos) end = data.size();
        parts.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string baseName(const std::string& path) {
    const size_t cut = path.find_last_of('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The executable link of a process whose file was replaced or removed reads
// "/path (deleted)"; the name it was started as is what a process list shows.
std::string stripDeleted(std::string path) {
    static const std::string kSuffix = " (deleted)";
    if (path.size() > kSuffix.size() && path.compare(path.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0)
        path.resize(path.size() - kSuffix.size());
    return path;
}

// The Wine prefix a process runs in: its WINEPREFIX, else ours, else ~/.wine.
std::string winePrefixOf(int pid) {
    for (const std::string& var : splitAtNul(readWholeFile("/proc/" + std::to_string(pid) + "/environ")))
        if (var.rfind("WINEPREFIX=", 0) == 0 && var.size() > 11) return var.substr(11);
    if (const char* own = std::getenv("WINEPREFIX"); own && *own) return own;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.wine";
    return {};
}

bool endsWithExe(const std::string& arg) {
    if (arg.size() < 5) return false;
    std::string ext = arg.substr(arg.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".exe";
}

bool isDrivePath(const std::string& arg) {
    return arg.size() >= 3 && std::isalpha(static_cast<unsigned char>(arg[0])) && arg[1] == ':' &&
           (arg[2] == '\\' || arg[2] == '/');
}

// The loader leaves the program as it was named when started: a Windows path
// ("C:\x\y.exe"), a Unix path ("/opt/x/y.exe"), or a path relative to the
// folder it was started in ("y.exe", "x\y.exe", "./y.exe").
bool looksLikeWindowsExe(const std::string& arg) {
    return isDrivePath(arg) || arg.rfind("\\\\", 0) == 0 || endsWithExe(arg);
}

// Removes "." and ".." steps and doubled separators from an absolute Unix path.
std::string normalised(const std::string& path) { return std::filesystem::path(path).lexically_normal().string(); }

bool isFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isZombie(const std::string& procDir) {
    const std::string stat = readWholeFile(procDir + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && (stat[close + 2] == 'Z' || stat[close + 2] == 'X');
}

// Wine works from its server's folder for a moment while a program starts,
// and for longer when the server has to be started first; the folder the
// program started in comes back afterwards. The server's folder is named
// after the device and inode of the prefix.
bool isWineServerFolder(const std::string& dir, const std::string& prefix) {
    struct stat st {};
    if (prefix.empty() || stat(prefix.c_str(), &st) != 0) return false;
    char name[64];
    std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    return baseName(dir) == name;
}

// The folder a Wine program started in; empty while Wine still works from
// its server's folder, which would give a wrong path to the program.
std::string wineWorkingFolder(const std::string& procDir, const std::string& prefix) {
    std::string cwd = readLink(procDir + "/cwd");
    for (int tries = 0; tries < 20 && isWineServerFolder(cwd, prefix); ++tries) {
        usleep(1000);
        cwd = readLink(procDir + "/cwd");
    }
    return isWineServerFolder(cwd, prefix) ? std::string() : cwd;
}

std::optional<ProcessEntry> describe(int pid) {
    const std::string dir = "/proc/" + std::to_string(pid);
    const std::string exe = stripDeleted(readLink(dir + "/exe"));
    if (!exe.empty() && detail::isWineLoaderName(baseName(exe))) {
        auto args = splitAtNul(readWholeFile(dir + "/cmdline"));
        const std::string prefix = winePrefixOf(pid);
        if (auto wine = detail::describeWineProcess(args, prefix, wineWorkingFolder(dir, prefix))) {
            wine->pid = pid;
            return wine;
        }
    }
    ProcessEntry entry;
    entry.pid = pid;
    if (!exe.empty()) {
        entry.exeName = fromUtf8(baseName(exe));
        entry.imagePath = fromUtf8(exe);
    } else {
        // No executable link: a kernel thread, another user's process, or
        // one that has ended and waits for its parent (a zombie, which no
        // process list shows).
        if (isZombie(dir)) return std::nullopt;
        std::string comm = readWholeFile(dir + "/comm");
        while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.pop_back();
        if (comm.empty()) return std::nullopt; // the process ended meanwhile
        entry.exeName = fromUtf8(comm);
    }
    return entry;
}

int openPidfd(int pid) {
#ifdef SYS_pidfd_open
    const long fd = syscall(SYS_pidfd_open, pid, 0);
    if (fd >= 0) return static_cast<int>(fd);
#endif
    (void)pid;
    return -1;
}

} // namespace

namespace detail {

bool isWineLoaderName(std::string_view fileName) {
    return fileName == "wine-preloader" || fileName == "wine64-preloader" || fileName == "wine" || fileName == "wine64";
}

std::optional<ProcessEntry> describeWineProcess(const std::vector<std::string>& args, const std::string& prefix,
                                                const std::string& cwd) {
    // The loader rewrites its command line to the program's; older loaders
    // keep their own path in front of it. Take the first executable named.
    auto it = std::find_if(args.begin(), args.end(), looksLikeWindowsExe);
    if (it == args.end()) return std::nullopt;
    std::string program = *it;
    // Some loaders leave the whole Windows command line in one argument:
    // the executable ends at the first ".exe" followed by a blank.
    std::string lower = program;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (const size_t exe = lower.find(".exe "); exe != std::string::npos) program.resize(exe + 4);

    ProcessEntry entry;
    const size_t cut = program.find_last_of("\\/");
    const std::string name = cut == std::string::npos ? program : program.substr(cut + 1);
    if (name.empty()) return std::nullopt;
    entry.exeName = fromUtf8(name);

    if (isDrivePath(program)) {
        // Through the prefix's drive mapping; a drive it does not map keeps
        // the Windows path.
        entry.imagePath = fromUtf8(program);
        if (prefix.empty()) return entry;
        std::string drive(1, static_cast<char>(std::tolower(static_cast<unsigned char>(program[0]))));
        const std::string link = prefix + "/dosdevices/" + drive + ":";
        char resolved[4096];
        if (realpath(link.c_str(), resolved)) {
            std::string rest = program.substr(2);
            std::replace(rest.begin(), rest.end(), '\\', '/');
            std::string root = resolved;
            if (root.size() > 1 && root.back() == '/') root.pop_back();
            if (root == "/") root.clear();
            entry.imagePath = fromUtf8(root + rest);
        }
    } else if (program.front() == '/') {
        entry.imagePath = fromUtf8(normalised(program));
    } else if (program.front() == '\\') {
        // A UNC path, or a path from the root of the current drive: no Linux
        // path can be told from it.
        entry.imagePath = fromUtf8(program);
    } else if (!cwd.empty() && cwd.front() == '/') {
        // Relative to the folder the program was started in. A name Wine
        // found on its search path instead is a system program.
        std::string relative = program;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        std::string path = normalised(cwd + "/" + relative);
        const std::string system = prefix.empty() ? std::string() : prefix + "/drive_c/windows/system32/" + relative;
        if (!isFile(path) && !system.empty() && isFile(system)) path = normalised(system);
        entry.imagePath = fromUtf8(path);
    }
    return entry;
}

} // namespace detail

std::optional<std::vector<ProcessEntry>> listProcesses() {
    DIR* proc = opendir("/proc");
    if (!proc) return std::nullopt;
    std::vector<int> pids;
    // readdir is safe on a stream no other thread reads.
    while (dirent* e = readdir(proc)) { // NOLINT(concurrency-mt-unsafe)
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (end != e->d_name && *end == '\0' && pid > 0) pids.push_back(static_cast<int>(pid));
    }
    closedir(proc);
    std::sort(pids.begin(), pids.end());
    std::vector<ProcessEntry> list;
    list.reserve(pids.size());
    for (int pid : pids)
        if (auto entry = describe(pid)) list.push_back(std::move(*entry));
    return list;
}

std::wstring processImagePath(int pid) {
    auto entry = describe(pid);
    return entry ? entry->imagePath : std::wstring();
}

int currentProcessId() { return static_cast<int>(getpid()); }

std::optional<Process> Process::open(int pid) {
    if (pid <= 0) return std::nullopt;
    const int fd = openPidfd(pid);
    if (fd < 0) {
        // Without pidfds (old kernels) fall back to the plain pid.
        if (errno == ESRCH || kill(pid, 0) != 0) return std::nullopt;
        return Process(pid, -1);
    }
    // Check that we may signal it, as opening for termination does.
#ifdef SYS_pidfd_send_signal
    if (syscall(SYS_pidfd_send_signal, fd, 0, nullptr, 0) != 0) {
        ::close(fd);
        return std::nullopt;
    }
#endif
    return Process(pid, fd);
}

Process::Process(Process&& other) noexcept : m_pid(other.m_pid), m_pidfd(other.m_pidfd) {
    other.m_pidfd = -1;
    other.m_pid = 0;
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        close();
        m_pid = other.m_pid;
        m_pidfd = other.m_pidfd;
        other.m_pidfd = -1;
        other.m_pid = 0;
    }
    return *this;
}

Process::~Process() { close(); }

void Process::close() {
    if (m_pidfd >= 0) ::close(m_pidfd);
    m_pidfd = -1;
}

bool Process::terminate() {
#ifdef SYS_pidfd_send_signal
    if (m_pidfd >= 0) return syscall(SYS_pidfd_send_signal, m_pidfd, SIGKILL, nullptr, 0) == 0;
#endif
    return m_pid > 0 && kill(m_pid, SIGKILL) == 0;
}

bool Process::hasEnded() const {
    // A zombie has ended: only its parent's bookkeeping is left.
    const std::string dir = "/proc/" + std::to_string(m_pid);
    return access(dir.c_str(), F_OK) != 0 || isZombie(dir);
}

bool Process::waitForExit(int timeoutMs) {
    if (m_pidfd >= 0) {
        pollfd p{m_pidfd, POLLIN, 0};
        int rc;
        while ((rc = poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {}
        return rc > 0;
    }
    for (int waited = 0;; waited += 10) {
        if (hasEnded()) return true;
        if (waited >= timeoutMs) return false;
        usleep(10000);
    }
}

bool terminateProcess(int pid) {
    auto process = Process::open(pid);
    return process && process->terminate();
}

} // namespace platform
