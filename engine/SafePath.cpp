// Link-free opens below a folder.
#include "engine/SafePath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

std::atomic<bool> g_openBeneathWalkOnly{false};

namespace {

std::vector<std::string> components(const std::string& relative) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        if (end > start) parts.push_back(relative.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

int walkBeneath(int dirFd, const std::string& relative, int flags, unsigned mode) {
    const std::vector<std::string> parts = components(relative);
    if (parts.empty()) {
        errno = ENOENT;
        return -1;
    }
    int current = dirFd;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i] == "..") {
            if (current != dirFd) ::close(current);
            errno = EXDEV;
            return -1;
        }
        const int next = ::openat(current, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int saved = errno;
        if (next < 0 && saved == ENOTDIR) {
            // O_DIRECTORY | O_NOFOLLOW calls a link "not a folder": report
            // it as the link it is, as openat2 would.
            struct stat st;
            if (::fstatat(current, parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                saved = ELOOP;
        }
        if (current != dirFd) ::close(current);
        if (next < 0) {
            errno = saved;
            return -1;
        }
        current = next;
    }
    if (parts.back() == "..") {
        if (current != dirFd) ::close(current);
        errno = EXDEV;
        return -1;
    }
    const int fd = ::openat(current, parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    const int saved = errno;
    if (current != dirFd) ::close(current);
    errno = saved;
    return fd;
}

} // namespace

int openBeneath(int dirFd, const std::string& relative, int flags, unsigned mode) {
    if (!g_openBeneathWalkOnly.load()) {
        open_how how{};
        how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
        how.mode = (flags & O_CREAT) ? mode : 0;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
        const long fd = ::syscall(SYS_openat2, dirFd, relative.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS) return static_cast<int>(fd);
    }
    return walkBeneath(dirFd, relative, flags, mode);
}

int openEntryFolder(int rootFd, const std::vector<std::string>& parents) {
    int current = ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    for (const std::string& part : parents) {
        if (current < 0) return -1;
        if (part.empty() || part == "." || part == "..") {
            ::close(current);
            return -1;
        }
        int next = -1;
        for (int attempt = 0; attempt < 3 && next < 0; ++attempt) {
            next = ::openat(current, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next >= 0) break;
            struct stat st;
            if (::fstatat(current, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                // Another worker made the folder since: open it.
                if (S_ISDIR(st.st_mode)) continue;
                // A link where a folder belongs goes (or another worker
                // removed it just now); its target stays.
                if (!S_ISLNK(st.st_mode) || (::unlinkat(current, part.c_str(), 0) != 0 && errno != ENOENT)) break;
            }
            if (::mkdirat(current, part.c_str(), 0777) != 0 && errno != EEXIST) break;
        }
        ::close(current);
        current = next;
    }
    return current;
}

int createPartBeneath(int dirFd, const std::string& name) {
    return ::openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

std::string descriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }
