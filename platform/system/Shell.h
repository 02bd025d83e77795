// Desktop shell services in place of the Windows shell's: opening an address
// in the user's browser and the folder chooser.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Opens url (an http or https address) the way the desktop does, through
// xdg-open, never by starting a program of that name. Returns at once; true
// when xdg-open was started.
bool openUrl(std::wstring_view url);

// How a folder chooser ended.
enum class FolderChoice {
    Chosen,      // the user picked a folder: path holds it
    Cancelled,   // the user closed the chooser without picking one
    Unavailable, // no chooser could be shown: the user has to type the path
};

struct FolderChooserResult {
    FolderChoice choice = FolderChoice::Unavailable;
    std::wstring path; // absolute, without a trailing "/" (except "/" itself)
};

// The choosers, in the order they are tried.
enum class FolderChooser { Portal, Zenity, Kdialog };

// Lets the user pick a folder, with a dialog titled title. Tries the
// desktop's file-chooser portal when the session bus offers it, then zenity,
// then kdialog (each found on PATH, and only with a display to show it on);
// a chooser that cannot be started or fails on its own is skipped.
// Blocks until the dialog ends; whileWaiting (if given) is called about every
// 50 ms meanwhile, so the caller can keep its windows painted. usedChooser,
// when given, receives the chooser that answered.
FolderChooserResult chooseFolder(std::wstring_view title, const std::function<void()>& whileWaiting = {},
                                 FolderChooser* usedChooser = nullptr);

namespace detail {
// Not for use outside platform/ and its tests.

// The local path a file:// URI names (percent escapes decoded, host empty or
// "localhost"); empty for anything else.
std::string pathFromFileUri(std::string_view uri);

// The request object path the portal uses for a caller with this unique bus
// name (":1.42") and handle token.
std::string portalRequestPath(std::string_view uniqueName, std::string_view token);
} // namespace detail

} // namespace platform
