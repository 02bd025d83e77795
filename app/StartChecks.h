// Rules the main window applies to where the program runs and where the game
// goes: the Favorites location check, typed paths, the free-space check and
// the check that the installation folder can be written.
#pragma once

#include <cstdint>
#include <string>
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

// Shown when the installation folder cannot be created or written.
inline constexpr std::wstring_view kFolderNotWritableText = L"无法写入所选文件夹，请选择其他路径！";

// The absolute path meant by a path typed into the path field, the way a
// Linux user types it: "~" and "~/..." stand for the home folder, and a
// relative path is taken relative to the home folder (the installer has no
// working folder the user could know). An absolute path and an empty text
// are returned unchanged; so is everything when no home folder is known.
std::wstring ResolveTypedPath(std::wstring_view typed);

// Creates the installation folder (with its missing parents) and checks
// that files can be created in it, with a probe file that is removed again.
// False when either fails: a pass would fail file after file.
bool PrepareInstallFolder(std::wstring_view path);
