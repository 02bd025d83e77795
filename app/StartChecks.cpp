// The Favorites location check and the free-space check.
#include "app/StartChecks.h"

#include "platform/system/System.h"

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
