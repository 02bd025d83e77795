// Command-line parsing and update mode.
#include "app/RunModes.h"

#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "util/FileHelpers.h"
#include "util/LogFile.h"

#include <algorithm>
#include <cstring>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::wstring g_programDir;

namespace {

// Closes a descriptor on scope exit.
struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool copyContent(int from, int to) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!writeAll(to, buffer, static_cast<size_t>(n))) return false;
    }
}

mode_t defaultExecutableMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0755 & ~mask;
}

} // namespace

std::wstring JoinArguments(int argc, char** argv) {
    std::wstring line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += L' ';
        line += platform::fromUtf8(argv[i]);
    }
    return line;
}

bool IsUpdateCommandLine(std::wstring_view commandLine) {
    return commandLine.find(L"update") != std::wstring_view::npos;
}

std::wstring ExtractUpdateTarget(std::wstring_view commandLine) {
    // Not found counts as position -1 for the first apostrophe and as the end
    // of the text for the last one, so the cut spans what is there.
    const size_t first = commandLine.find(L'\'');
    const size_t last = commandLine.rfind(L'\'');
    const size_t begin = first == std::wstring_view::npos ? 0 : first + 1;
    const size_t end = (last == std::wstring_view::npos || last < begin) ? commandLine.size() : last;
    return std::wstring(commandLine.substr(begin, end - begin));
}

std::optional<std::wstring> UpdateTargetOf(std::wstring_view commandLine) {
    constexpr std::wstring_view kHead = L"update '";
    if (commandLine.size() <= kHead.size() || commandLine.substr(0, kHead.size()) != kHead ||
        commandLine.back() != L'\'')
        return std::nullopt;
    // The first apostrophe ends the head and the last one ends the line, so
    // this is the same cut as ExtractUpdateTarget's.
    std::wstring target = ExtractUpdateTarget(commandLine);
    if (target.empty() || target.front() != L'/' || target.back() == L'/' || target.back() == L'\\')
        return std::nullopt;
    return target;
}

namespace {

// True when path names the file we are running from (by identity, so a link
// or another spelling of the path counts too).
bool isRunningExecutable(const std::wstring& path) {
    struct stat target {
    }, self{};
    return ::stat(platform::toUtf8(path).c_str(), &target) == 0 && ::stat("/proc/self/exe", &self) == 0 &&
           target.st_dev == self.st_dev && target.st_ino == self.st_ino;
}

} // namespace

bool ReplaceFileAtomically(const std::wstring& source, const std::wstring& target) {
    const std::string targetPath = platform::toUtf8(target);
    const size_t cut = targetPath.find_last_of('/');
    const std::string folder = cut == std::string::npos ? std::string(".") : targetPath.substr(0, cut == 0 ? 1 : cut);
    const std::string name = cut == std::string::npos ? targetPath : targetPath.substr(cut + 1);
    if (name.empty()) return false;

    Fd in(::open(platform::toUtf8(source).c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) return false;

    struct stat old {};
    const mode_t mode = ::stat(targetPath.c_str(), &old) == 0 ? (old.st_mode & 07777) : defaultExecutableMode();

    // A hidden temporary name in the same folder, so the rename cannot cross
    // file systems and nobody starts a half-written copy by its name.
    std::string temp = folder + "/." + name + ".new-XXXXXX";
    Fd out(mkostemp(temp.data(), O_CLOEXEC));
    if (out.fd < 0) return false;
    const bool written = copyContent(in.fd, out.fd) && ::fchmod(out.fd, mode) == 0 && ::fsync(out.fd) == 0;
    const bool closed = ::close(out.fd) == 0;
    out.fd = -1;
    if (!written || !closed || ::rename(temp.c_str(), targetPath.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd >= 0) ::fsync(dir.fd);
    return true;
}

int RunUpdateMode(std::wstring_view commandLine, unsigned waitMs) {
    const std::optional<std::wstring> named = UpdateTargetOf(commandLine);
    // Not what the self-update starts us with: nothing to replace. Replacing
    // ourselves would end in ending every copy of our own name.
    if (!named || isRunningExecutable(*named)) return 0;
    const std::wstring& target = *named;
    const std::wstring targetName = GetFileNamePart(target);

    // The old version, which started us, has been asked to close its window.
    platform::sleepMs(waitMs);
    TerminateProcessByName(targetName, /*all=*/true);
    // The running image is read through /proc/self/exe, which stays valid
    // even if our own file was moved meanwhile.
    if (!ReplaceFileAtomically(L"/proc/self/exe", target)) {
        const int error = errno;
        if (const std::wstring temp = platform::tempFolder(); !temp.empty())
            g_log.SetLogFile(temp + kLogFileName, kLogFileCapKilobytes);
        WRITE_LOG(L"更新失败：无法替换%s（%S）", target.c_str(), std::strerror(error));
        return 1;
    }
    platform::startDetached(target);
    return 0;
}

std::optional<std::wstring> ProgramReplaceProblem(const std::wstring& path) {
    const std::string file = platform::toUtf8(path);
    if (file.empty() || file.front() != '/') return L"the program's own path is unknown";
    const std::string folder = file.substr(0, std::max<std::size_t>(file.find_last_of('/'), 1));
    // access() also tells about read-only mounts and immutable files, which
    // the permission bits do not show (and root passes the bits anyway).
    if (::access(file.c_str(), W_OK) != 0)
        return path + L" cannot be written: " + platform::fromUtf8(std::strerror(errno));
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return platform::fromUtf8(folder) + L" cannot be written: " + platform::fromUtf8(std::strerror(errno));
    return std::nullopt;
}
