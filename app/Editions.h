// The five editions of the game client: every value that differs between
// them, and the rules derived from those values.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

// One edition. All fields are constants of the program.
struct Edition {
    std::string_view code;              // name in configuration keys ("alder")
    int number;                         // how the window names it to the jobs
    std::wstring_view optionControl;    // option control in the main window's markup
    std::wstring_view folderName;       // installation folder name
    std::string_view fileListKey;       // configuration key of the file list address
    std::string_view downloadPrefixKey; // configuration key of the file server prefix
    std::wstring_view launcher;         // executable the desktop shortcut starts
};

// Edition number meaning "none selected".
inline constexpr int kNoEdition = -1;

// In the order the program lists them (window set-up, option checks,
// configuration reading). The numbers are not consecutive: dogwood is 6 and
// elm 5; 1 and 2 name nothing. The launcher names differ in letter case.
inline constexpr std::array<Edition, 5> kEditions{{
    {"alder", 0, L"alder_ver_opt", L"Tolvar-alder", "alder_file_url", "alder_downloadurl_prefix", L"WoW.exe"},
    {"birch", 3, L"birch_ver_opt", L"Tolvar-birch", "birch_file_url", "birch_downloadurl_prefix", L"WoW.exe"},
    {"cedar", 4, L"cedar_ver_opt", L"Tolvar-cedar", "cedar_file_url", "cedar_downloadurl_prefix",
     L"WinterspringLauncher.exe"},
    {"dogwood", 6, L"dogwood_ver_opt", L"Tolvar-dogwood", "dogwood_file_url", "dogwood_downloadurl_prefix",
     L"WinterspringLauncher.exe"},
    {"elm", 5, L"elm_ver_opt", L"Tolvar-elm", "elm_file_url", "elm_downloadurl_prefix", L"Wow.exe"},
}};

// The edition with this number or code, or null.
const Edition* FindEditionByNumber(int number);
const Edition* FindEditionByCode(std::string_view code);

// Usage event code sent when an installation of the edition starts.
constexpr int ReportCode(const Edition& edition) { return 160000 + 1000 * edition.number; }

// Installation path offered when the edition is selected:
// "$HOME/Games/<folder name>/" (the current folder's "Games" when HOME is unset).
std::wstring DefaultInstallPath(const Edition& edition);

// The folder rule for a folder chosen in the folder dialog: unless the chosen
// folder's last component is already the edition's folder name (compared
// exactly), the folder name is appended; the result ends in a separator.
// "/" and "\" both count as separators; added separators are "/".
std::wstring ApplyFolderRule(std::wstring_view chosen, const Edition& edition);

// Tells whether the option control of that name is selected (false for a
// control that does not exist).
using IsOptionSelected = std::function<bool(std::wstring_view optionControl)>;

// The number of the first selected edition in table order, or kNoEdition.
int FirstSelectedEdition(const IsOptionSelected& isSelected);
// The number used when download workers start: starting from birch (3), every
// selected edition in table order overwrites it, so the last selected one wins
// and none selected gives 3.
int LastSelectedEditionOrBirch(const IsOptionSelected& isSelected);
