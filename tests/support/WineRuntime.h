// Test support: real Wine for tests of the Windows products the installer
// looks for. A prefix made once per build tree with wineboot is cloned for
// each test (hard links for drive_c, copies of the hive files); Windows
// programs are built with the MinGW cross compiler and run under the Wine
// loader. Tests skip when Wine or MinGW is not installed.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string_view>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct WineTools {
    std::string loader;  // runs a Windows program: /usr/lib/wine/wine64 or wine64 on PATH
    std::string server;  // wineserver
    std::string compile; // x86_64-w64-mingw32-gcc
    bool complete() const { return !loader.empty() && !server.empty() && !compile.empty(); }
};

namespace detail {
inline std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    dirs += ":/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start < dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

inline std::string firstExecutable(std::initializer_list<const char*> paths, const char* name) {
    for (const char* p : paths)
        if (access(p, X_OK) == 0) return p;
    return onPath(name);
}

// Runs argv (argv[0] a path) with the environment Wine tests use, in cwd, its
// output appended to log. Returns the child's pid, or -1.
inline pid_t spawnWine(const std::vector<std::string>& argv, const std::string& cwd, const std::string& log) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
    }
    const int in = open("/dev/null", O_RDONLY);
    if (in >= 0) dup2(in, 0);
    // Headless, quiet, and without offering to install Mono or Gecko.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

inline int waitExit(pid_t pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline int runWine(const std::vector<std::string>& argv, const std::string& log, const std::string& cwd = {}) {
    return waitExit(spawnWine(argv, cwd, log));
}

// Serialises the one-time set-up of a build tree between test processes.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& path) : m_fd(open(path.c_str(), O_RDWR | O_CREAT, 0644)) {
        if (m_fd >= 0) flock(m_fd, LOCK_EX);
    }
    ~FileLock() {
        if (m_fd >= 0) close(m_fd); // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd;
};

// Runs until it is ended. "--ready=PATH" makes it create PATH once its main
// runs: Wine's start-up is over by then (while it connects to its server the
// program briefly works from the server's folder).
inline constexpr char kSleeperSource[] = R"(#include <windows.h>
#include <string.h>
int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (strncmp(argv[i], "--ready=", 8) == 0) {
            HANDLE h = CreateFileA(argv[i] + 8, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    Sleep(INFINITE);
    return 0;
}
)";
} // namespace detail

inline const WineTools& wineTools() {
    static const WineTools tools = [] {
        WineTools t;
        t.loader = detail::firstExecutable({"/usr/lib/wine/wine64"}, "wine64");
        t.server = detail::firstExecutable({"/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver"}, "wineserver");
        t.compile = detail::onPath("x86_64-w64-mingw32-gcc");
        return t;
    }();
    return tools;
}

// What a build tree keeps for Wine tests: the base prefix and a Windows
// program that runs until it is ended. Made on first use; empty paths and an
// error text when that fails.
struct WineBase {
    std::filesystem::path prefix;
    std::filesystem::path sleeper;
    std::string error;
};

inline const WineBase& wineBase(const std::filesystem::path& buildDir) {
    static const WineBase base = [&] {
        WineBase b;
        const WineTools& tools = wineTools();
        if (!tools.complete()) {
            b.error = "Wine (wine64) or MinGW (gcc-mingw-w64-x86-64) is not installed";
            return b;
        }
        const std::filesystem::path dir = buildDir / "tests" / "wine";
        std::filesystem::create_directories(dir);
        detail::FileLock lock(dir / "setup.lock");
        const std::string log = (dir / "setup.log").string();

        // Named after its source, so that a changed source is built again.
        char name[64];
        std::snprintf(name, sizeof name, "sleeper-%zx.exe", std::hash<std::string_view>{}(detail::kSleeperSource));
        const std::filesystem::path sleeper = dir / name;
        if (!std::filesystem::exists(sleeper)) {
            std::ofstream(dir / "sleeper.c") << detail::kSleeperSource;
            const std::string tmp = sleeper.string() + ".tmp";
            if (detail::runWine({tools.compile, "-O1", "-s", "-o", tmp, (dir / "sleeper.c").string()}, log) != 0) {
                b.error = "MinGW could not build the test program; see " + log;
                return b;
            }
            std::filesystem::rename(tmp, sleeper);
        }

        const std::filesystem::path prefix = dir / "base-prefix";
        if (!std::filesystem::exists(prefix / "system.reg")) {
            const std::filesystem::path tmp = dir / "base-prefix.tmp";
            std::error_code ec;
            std::filesystem::remove_all(tmp, ec);
            const char* old = std::getenv("WINEPREFIX");
            const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
            setenv("WINEPREFIX", tmp.c_str(), 1);
            const int boot = detail::runWine({tools.loader, "wineboot", "--init"}, log);
            const int wait = detail::runWine({tools.server, "-w"}, log);
            if (saved)
                setenv("WINEPREFIX", saved->c_str(), 1);
            else
                unsetenv("WINEPREFIX");
            std::filesystem::remove(tmp / "wineserver", ec);
            if (boot != 0 || wait != 0 || !std::filesystem::exists(tmp / "system.reg")) {
                b.error = "wineboot --init failed; see " + log;
                return b;
            }
            std::filesystem::rename(tmp, prefix);
        }
        b.prefix = prefix;
        b.sleeper = sleeper;
        return b;
    }();
    return base;
}

// A private clone of the base prefix that $WINEPREFIX names while the object
// lives; every Wine process of the prefix is ended on destruction.
class WineTestPrefix {
public:
    explicit WineTestPrefix(const WineBase& base) : m_base(base) {
        std::string templ = (std::filesystem::temp_directory_path() / "quellan-wine-XXXXXX").string();
        if (!mkdtemp(templ.data())) return;
        m_scratch = templ;
        m_path = m_scratch / "prefix";
        m_log = (m_scratch / "wine.log").string();
        namespace fs = std::filesystem;
        fs::create_directories(m_path);
        // drive_c shares the base's files (Wine replaces rather than rewrites
        // them); the hive files are Wine's to rewrite, so they are copies.
        // Symbolic links (the user folders point into $HOME) stay links.
        fs::copy(base.prefix / "drive_c", m_path / "drive_c",
                 fs::copy_options::recursive | fs::copy_options::create_hard_links | fs::copy_options::copy_symlinks);
        fs::copy(base.prefix / "dosdevices", m_path / "dosdevices",
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        for (const char* file : {"system.reg", "user.reg", "userdef.reg", ".update-timestamp"})
            if (fs::exists(base.prefix / file)) fs::copy_file(base.prefix / file, m_path / file);
        if (const char* old = std::getenv("WINEPREFIX")) m_old = old;
        setenv("WINEPREFIX", m_path.c_str(), 1);
    }
    ~WineTestPrefix() {
        stopAll();
        if (m_old)
            setenv("WINEPREFIX", m_old->c_str(), 1);
        else
            unsetenv("WINEPREFIX");
        std::error_code ec;
        if (!m_scratch.empty()) std::filesystem::remove_all(m_scratch, ec);
    }
    WineTestPrefix(const WineTestPrefix&) = delete;
    WineTestPrefix& operator=(const WineTestPrefix&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path driveC() const { return m_path / "drive_c"; }
    // What Wine printed, for failure messages.
    std::string log() const {
        std::ifstream in(m_log);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Runs "reg ARGS..." in the prefix (the Windows reg program). True when
    // it succeeded. The change reaches the hive files when the prefix's
    // server stops: see stopAll.
    bool reg(const std::vector<std::string>& args) {
        std::vector<std::string> argv{wineTools().loader, "reg"};
        argv.insert(argv.end(), args.begin(), args.end());
        return detail::runWine(argv, m_log) == 0;
    }

    // Starts a Windows program: argv[0] as the loader is to be given it (a
    // Windows path, a Unix path or a name relative to cwd). Returns its pid.
    // The test program gets "--ready=" with a file of its own (see waitForProgram).
    pid_t start(const std::vector<std::string>& argv, const std::string& cwd = {}) {
        const std::filesystem::path ready = m_scratch / ("ready-" + std::to_string(m_readyFiles.size()));
        std::string windowsReady = "Z:" + ready.string();
        std::replace(windowsReady.begin(), windowsReady.end(), '/', '\\');
        std::vector<std::string> full{wineTools().loader};
        full.insert(full.end(), argv.begin(), argv.end());
        full.push_back("--ready=" + windowsReady);
        const pid_t pid = detail::spawnWine(full, cwd, m_log);
        if (pid > 0) {
            m_started.push_back(pid);
            m_readyFiles.emplace_back(pid, ready);
        }
        return pid;
    }

    // Waits until the program started by start runs its main: the loader has
    // rewritten its command line to the program's and Wine's start-up is
    // over. False when that does not happen within two minutes.
    bool waitForProgram(pid_t pid) const {
        const auto it =
            std::find_if(m_readyFiles.begin(), m_readyFiles.end(), [&](const auto& r) { return r.first == pid; });
        if (it == m_readyFiles.end()) return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (std::chrono::steady_clock::now() < deadline) {
            if (std::filesystem::exists(it->second)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Ends one program started by start and waits until it is gone.
    void stop(pid_t pid) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        std::erase(m_started, pid);
    }

    // Ends every Wine process of the prefix and waits for its server to stop,
    // which writes the registry to the hive files.
    void stopAll() {
        if (m_path.empty()) return;
        detail::runWine({wineTools().server, "-k"}, m_log);
        for (pid_t pid : m_started) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        m_started.clear();
        detail::runWine({wineTools().server, "-w"}, m_log);
    }

    // Copies the base's test program to a path below drive_c (folders are
    // created); returns the Linux path.
    std::filesystem::path installProgram(const std::filesystem::path& relative) const {
        const auto target = driveC() / relative;
        std::filesystem::create_directories(target.parent_path());
        std::filesystem::copy_file(m_base.sleeper, target, std::filesystem::copy_options::overwrite_existing);
        return target;
    }

private:
    const WineBase& m_base;
    std::filesystem::path m_scratch;
    std::filesystem::path m_path;
    std::string m_log;
    std::optional<std::string> m_old;
    std::vector<pid_t> m_started;
    std::vector<std::pair<pid_t, std::filesystem::path>> m_readyFiles; // of every start
};

} // namespace testsupport
