// Rules the main window applies to where the program runs and where the game
// goes: the Favorites location check and the free-space check.
#pragma once

#include <cstdint>
#include <string_view>

// Free space an installation needs: more than this many bytes (10 GiB).
inline constexpr std::uint64_t kRequiredFreeBytes = 0x280000000ULL;

// True when the program folder lies inside a folder named "Favorites" (the
// name compared exactly), with "/" or "\" around it.
bool IsInFavoritesFolder(std::wstring_view programDir);

// True when the file system that holds path (its nearest existing ancestor:
// the folder need not exist yet) has more than kRequiredFreeBytes available
// to the user. False for an empty path or when no ancestor can be queried.
bool HasRoomForInstallation(std::wstring_view path);

// The same rule over a known number of available bytes.
constexpr bool IsEnoughFreeSpace(std::uint64_t availableBytes) { return availableBytes > kRequiredFreeBytes; }
