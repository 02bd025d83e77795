// Clock, paths, disk space, debugger output, code pages and starting programs
// on Linux.
#include "platform/system/System.h"

#include "platform/system/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <map>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

// The text of the current errno, without strerror's shared buffer.
std::string errnoText() { return std::generic_category().message(errno); }

bool isSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Closes an iconv descriptor on scope exit.
struct IconvHandle {
    iconv_t cd;
    explicit IconvHandle(iconv_t d) : cd(d) {}
    ~IconvHandle() {
        if (valid()) iconv_close(cd);
    }
    bool valid() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

std::string_view untilNul(std::string_view text) {
    const size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::wstring_view untilNul(std::wstring_view text) {
    const size_t nul = text.find(L'\0');
    return nul == std::wstring_view::npos ? text : text.substr(0, nul);
}

} // namespace

std::uint64_t tickCount64() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

std::uint32_t tickCount() { return static_cast<std::uint32_t>(tickCount64()); }

void sleepMs(std::uint32_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {}
}

std::optional<std::string> privateFolderProblem(std::wstring_view path, unsigned ownerUid) {
    struct stat st {};
    if (::lstat(toUtf8(path).c_str(), &st) != 0) return "cannot be examined: " + errnoText();
    if (S_ISLNK(st.st_mode)) return std::string("is a symbolic link");
    if (!S_ISDIR(st.st_mode)) return std::string("is not a folder");
    if (st.st_uid != ownerUid) return "belongs to user " + std::to_string(st.st_uid);
    if (st.st_mode & 077) return std::string("is open to other users");
    return std::nullopt;
}

std::wstring userPrivateFolder(std::wstring_view base) {
    std::string folder = toUtf8(untilNul(base));
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    folder += "/quellan-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) == 0) {
        // Ours from the start; make sure we can enter it whatever the umask.
        ::chmod(folder.c_str(), 0700);
    } else if (errno != EEXIST) {
        debugOutput(fromUtf8(folder) + L" cannot be created: " + fromUtf8(errnoText()) + L"\n");
        return {};
    }
    // Someone else may have put something under this name before us.
    if (auto problem = privateFolderProblem(fromUtf8(folder), ::getuid())) {
        debugOutput(fromUtf8(folder) + L" " + fromUtf8(*problem) + L": not used\n");
        return {};
    }
    return fromUtf8(folder) + L"/";
}

namespace {
std::mutex g_fallbackLock;
std::map<std::wstring, std::wstring> g_fallbacks; // base folder → folder made for this process
bool g_keepFallbacks = false;
} // namespace

void keepFallbackTempFolders() {
    std::lock_guard guard(g_fallbackLock);
    g_keepFallbacks = true;
}

void removeFallbackTempFolders() {
    std::lock_guard guard(g_fallbackLock);
    if (g_keepFallbacks) return;
    for (const auto& [base, made] : g_fallbacks) {
        // Only what is still this user's private folder: never through a
        // link someone put in its place meanwhile.
        if (privateFolderProblem(made, ::getuid())) continue;
        std::error_code ec;
        std::filesystem::remove_all(toUtf8(made), ec);
    }
    g_fallbacks.clear();
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    // The reentrant lookup: other threads may ask for user records too.
    passwd entry{};
    passwd* pw = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &pw) == 0 && pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

std::wstring tempFolder() {
    const char* env = std::getenv("TMPDIR");
    const std::wstring base = env && *env ? fromUtf8(env) : std::wstring(L"/tmp");
    if (std::wstring folder = userPrivateFolder(base); !folder.empty()) return folder;

    // The usual folder is taken or unsafe: one made just for this process,
    // the same on every later call so that the log and the files stay together.
    std::lock_guard guard(g_fallbackLock);
    auto& fallbacks = g_fallbacks;
    if (auto it = fallbacks.find(base); it != fallbacks.end()) {
        if (!privateFolderProblem(it->second, ::getuid())) return it->second + L"/";
        fallbacks.erase(it);
    }
    std::string pattern = toUtf8(untilNul(base));
    while (!pattern.empty() && pattern.back() == '/') pattern.pop_back();
    pattern += "/quellan-" + std::to_string(::getuid()) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        debugOutput(L"no private temporary folder in " + base + L": " + fromUtf8(errnoText()) + L"\n");
        return {};
    }
    const std::wstring made = fromUtf8(pattern);
    fallbacks[base] = made;
    return made + L"/";
}

std::wstring executablePath() {
    std::string buf(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return {};
    buf.resize(static_cast<size_t>(n));
    return fromUtf8(buf);
}

std::optional<std::uint64_t> freeDiskSpace(std::wstring_view path) {
    std::wstring probe(untilNul(path));
    if (probe.empty()) probe = L".";
    for (;;) {
        struct statvfs st {};
        if (statvfs(toUtf8(probe).c_str(), &st) == 0) return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
        if (errno != ENOENT && errno != ENOTDIR) return std::nullopt;
        // Step to the parent: drop trailing separators, then the last component.
        while (probe.size() > 1 && isSeparator(probe.back())) probe.pop_back();
        const size_t cut = probe.find_last_of(L"/\\");
        if (cut == std::wstring::npos) {
            probe = L".";
        } else if (cut == 0) {
            probe = L"/";
        } else {
            probe.resize(cut);
        }
        if (probe == L"." || probe == L"/") {
            struct statvfs root {};
            if (statvfs(toUtf8(probe).c_str(), &root) != 0) return std::nullopt;
            return static_cast<std::uint64_t>(root.f_bavail) * root.f_frsize;
        }
    }
}

bool debugOutputEnabled() {
    const char* env = std::getenv("QUELLAN_DEBUG");
    return env && *env;
}

void debugOutput(std::wstring_view text) {
    if (!debugOutputEnabled()) return;
    static std::mutex lock;
    const std::string bytes = toUtf8(text);
    std::lock_guard guard(lock);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

std::string codePageName() {
    // Ask the locale the environment selects without switching the process's
    // own locale (which would change how the C library formats numbers).
    locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc) return "UTF-8";
    std::string name = nl_langinfo_l(CODESET, loc);
    freelocale(loc);
    if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII") return "UTF-8";
    return name;
}

std::wstring fromCodePage(std::string_view text) { return fromCodePage(text, codePageName()); }
std::string toCodePage(std::wstring_view text) { return toCodePage(text, codePageName()); }

std::wstring fromCodePage(std::string_view text, const std::string& charset) {
    text = untilNul(text);
    if (text.empty()) return {};
    IconvHandle cd(iconv_open("WCHAR_T", charset.c_str()));
    if (!cd.valid()) return {};
    std::wstring out;
    std::vector<wchar_t> chunk(256);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(chunk.data());
        size_t outLeft = chunk.size() * sizeof(wchar_t);
        const size_t rc = iconv(cd.cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk.data(), (chunk.size() * sizeof(wchar_t) - outLeft) / sizeof(wchar_t));
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (truncated sequence at the end): one byte becomes
        // a replacement character and conversion goes on after it.
        out += static_cast<wchar_t>(0xFFFD);
        ++in;
        --inLeft;
        iconv(cd.cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

std::string toCodePage(std::wstring_view text, const std::string& charset) {
    text = untilNul(text);
    if (text.empty()) return {};
    IconvHandle cd(iconv_open(charset.c_str(), "WCHAR_T"));
    if (!cd.valid()) return {};
    std::string out;
    std::vector<char> chunk(1024);
    char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(text.data()));
    size_t inLeft = text.size() * sizeof(wchar_t);
    while (inLeft > 0) {
        char* outPtr = chunk.data();
        size_t outLeft = chunk.size();
        const size_t rc = iconv(cd.cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk.data(), chunk.size() - outLeft);
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // A character the code page cannot hold (or an invalid code point).
        out += '?';
        in += sizeof(wchar_t);
        inLeft -= inLeft >= sizeof(wchar_t) ? sizeof(wchar_t) : inLeft;
        iconv(cd.cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Return the converter to its initial state (stateful encodings).
    char* outPtr = chunk.data();
    size_t outLeft = chunk.size();
    if (iconv(cd.cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1))
        out.append(chunk.data(), chunk.size() - outLeft);
    return out;
}

bool startDetached(const std::wstring& program, const std::vector<std::wstring>& args) {
    const std::string path = toUtf8(program);
    std::vector<std::string> argStore;
    argStore.push_back(path);
    for (const auto& a : args) argStore.push_back(toUtf8(a));
    std::vector<char*> argv;
    argv.reserve(argStore.size() + 1);
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The grandchild reports a failed exec through this pipe; a successful
    // exec closes it (close-on-exec) and the read sees end of file.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return false;

    const pid_t child = fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        ::close(report[0]);
        setsid();
        const pid_t grandchild = fork();
        if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        const int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
            if (devnull > 2) ::close(devnull);
        }
        execve(argv[0], argv.data(), environ);
        const int err = errno;
        ssize_t ignored = write(report[1], &err, sizeof err);
        (void)ignored;
        _exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    int err = 0;
    ssize_t n;
    while ((n = read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {}
    ::close(report[0]);
    const bool forked = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return forked && n == 0;
}

bool shellOpen(const std::wstring& target) {
    const std::string path = toUtf8(target);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0)
        return startDetached(target);
    for (const char* dir : {"/usr/local/bin/", "/usr/bin/", "/bin/"}) {
        const std::string opener = std::string(dir) + "xdg-open";
        if (access(opener.c_str(), X_OK) == 0) return startDetached(fromUtf8(opener), {target});
    }
    return false;
}

} // namespace platform
