// The user's desktop folder and launcher entries on it and in the desktop's
// menu (freedesktop .desktop files standing in for shell links).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// File name of the game's launcher entry on the desktop; one for all editions.
inline constexpr std::wstring_view kShortcutFileName = L"Tolvar Realms.desktop";
inline constexpr std::wstring_view kShortcutName = L"Tolvar Realms";
// File name of the same entry in the menu folder, and the icon's theme name.
inline constexpr std::wstring_view kMenuEntryFileName = L"tolvar-realms.desktop";
inline constexpr std::wstring_view kIconName = L"tolvar-realms";

// $XDG_DATA_HOME, else $HOME/.local/share; no trailing separator. Empty
// when no home folder is known.
std::wstring dataHomeFolder();

// The user's desktop folder the way `xdg-user-dir DESKTOP` reports it:
// XDG_DESKTOP_DIR from $XDG_CONFIG_HOME/user-dirs.dirs (default
// ~/.config/user-dirs.dirs), else from the environment, else $HOME/Desktop.
// No trailing separator. Empty when no home folder is known.
std::wstring desktopFolder();

// Exec value that starts a Windows program through wine, quoted and escaped
// so that any path (blanks, quotes, "$", "%", backslashes) reaches wine whole.
std::string desktopExecLine(std::wstring_view target);

// Writes a launcher entry at `linkPath` (Type=Application, Name, Exec through
// wine, Path = working folder, and Icon when icon is not empty) and makes it
// executable. An existing entry of that name is removed first. False when
// the file cannot be written; no partial entry is left behind.
bool createDesktopEntry(std::wstring_view linkPath, std::wstring_view name, std::wstring_view target,
                        std::wstring_view workingDir, std::wstring_view icon = {});

// Removes the installer's entry (kShortcutFileName) left by an earlier
// installation from the user's desktop folders: desktopFolder() and, when it
// differs, $HOME/Desktop (where entries went before the desktop folder was
// renamed or localised). Only files are removed; failures are ignored. There
// is no all-users desktop to clean: Linux desktops show the user's folder only.
void removeOldDesktopShortcuts();

// The installer's shortcut: older entries are removed first
// (removeOldDesktopShortcuts), then target = installation folder (a separator added
// when missing) + launcher, working folder = the installation folder, written
// as kShortcutFileName into desktopFolder(), and the same entry as
// kMenuEntryFileName into dataHomeFolder()/applications (created when
// missing; an older one replaced), where many Linux desktops only look.
// icon, when not empty, becomes the entries' Icon value. False when there is
// no desktop folder or either entry cannot be written.
bool createDesktopShortcut(std::wstring_view installDir, std::wstring_view launcher, std::wstring_view icon = {});

} // namespace platform
