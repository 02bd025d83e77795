// The Favorites location check, typed paths, the free-space check and the
// folder check.
#include "app/StartChecks.h"

#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "util/FileHelpers.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <unistd.h>

bool IsInFavoritesFolder(std::wstring_view programDir) {
    constexpr std::wstring_view kName = L"Favorites";
    for (size_t at = programDir.find(kName); at != std::wstring_view::npos; at = programDir.find(kName, at + 1)) {
        const size_t end = at + kName.size();
        const auto isSeparator = [](wchar_t c) { return c == L'/' || c == L'\\'; };
        if (at > 0 && isSeparator(programDir[at - 1]) && end < programDir.size() && isSeparator(programDir[end]))
            return true;
    }
    return false;
}

bool HasRoomForInstallation(std::wstring_view path) {
    if (path.empty()) return false;
    const auto available = platform::freeDiskSpace(path);
    return available && IsEnoughFreeSpace(*available);
}

namespace {

std::wstring homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return platform::fromUtf8(home);
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return platform::fromUtf8(pw->pw_dir);
    return {};
}

} // namespace

std::wstring ResolveTypedPath(std::wstring_view typed) {
    if (typed.empty() || typed.front() == L'/') return std::wstring(typed);
    std::wstring home = homeFolder();
    if (home.empty()) return std::wstring(typed);
    while (home.size() > 1 && home.back() == L'/') home.pop_back();
    const std::wstring_view join = home == L"/" ? L"" : L"/";
    if (typed == L"~") return home;
    if (typed.starts_with(L"~/")) return home + std::wstring(join) + std::wstring(typed.substr(2));
    return home + std::wstring(join) + std::wstring(typed);
}

bool PrepareInstallFolder(std::wstring_view path) {
    if (path.empty()) return false;
    std::wstring folder(path);
    for (wchar_t& c : folder)
        if (c == L'\\') c = L'/'; // as the folder tree and the downloads read it
    while (folder.size() > 1 && folder.back() == L'/') folder.pop_back();
    if (!CreateDirectoryTree(folder)) return false;
    // Write access on the folder is what counts, and only a real file tells
    // (read-only mounts, ACLs, a full quota of files).
    std::string probe = platform::toUtf8(folder) + "/.quellan-write-test-XXXXXX";
    const int fd = mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}
