// The Windows registry as Wine keeps it: read-only access to the hive files of
// a Wine prefix, for the Windows programs the installer looks for.
//
// The prefix is $WINEPREFIX, else ~/.wine. Its system.reg holds
// HKEY_LOCAL_MACHINE and user.reg HKEY_CURRENT_USER. A missing prefix or hive
// file means every key is absent. Key and value names compare without regard
// to letter case, as on Windows.
//
// Views: in a 64-bit prefix ("#arch=win64") a 32-bit program's default view of
// HKEY_LOCAL_MACHINE\Software\X is Software\Wow6432Node\X; the 64-bit view
// reads Software\X. HKEY_CURRENT_USER\Software is shared between the views, as
// on Windows. In a 32-bit prefix both views read the plain key.
//
// Hive files are re-read when they change on disk; all functions are
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class RegistryRoot { LocalMachine, CurrentUser };
enum class RegistryView { Default, Wow64_64Key };

// Value types, numbered as Windows numbers them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// A value's type and its data as Windows returns it: strings are UTF-16LE
// code units including the terminating zero.
struct RegistryValue {
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;
    bool operator==(const RegistryValue&) const = default;
};

enum class RegistryStatus { Ok, NotFound, MoreData };

// An opened key: a snapshot of its values taken when it was opened.
class RegistryKey {
public:
    // Opens `subKey` ("\"-separated, no leading "\") under `root` in `view`;
    // nullopt when the key does not exist.
    static std::optional<RegistryKey> open(RegistryRoot root, std::wstring_view subKey,
                                           RegistryView view = RegistryView::Default);

    // Reads value `name` (empty = the key's default value). MoreData when the
    // data is larger than `capacity` bytes; `out` is then left unchanged.
    RegistryStatus query(std::wstring_view name, std::size_t capacity, RegistryValue& out) const;

    // The key's path within its hive after view redirection.
    const std::wstring& path() const { return m_path; }

private:
    std::wstring m_path;
    std::vector<std::pair<std::wstring, RegistryValue>> m_values; // names case-folded
};

// The Wine prefix folder: $WINEPREFIX when set and not empty, else
// $HOME/.wine; empty when neither can be determined.
std::string winePrefix();

// Interprets string data (UTF-16LE) up to its first zero code unit.
std::wstring registryText(const std::vector<std::uint8_t>& data);

namespace detail {
// Not for use outside platform/ (and its tests and fuzz targets).

// Case folding used for key and value names.
std::wstring foldName(std::wstring_view name);

// One hive file, parsed into an index of keys.
class RegistryHive {
public:
    // Parses the text of a Wine registry file. Never fails: lines it does not
    // understand are skipped.
    explicit RegistryHive(std::string text);

    bool isWin64() const { return m_win64; }
    // The values of the key at `path` (any letter case), or nullopt.
    std::optional<std::vector<std::pair<std::wstring, RegistryValue>>> values(std::wstring_view path) const;
    // Number of keys found.
    std::size_t keyCount() const { return m_index.size(); }

private:
    std::string m_text;
    bool m_win64 = false;
    // Case-folded key path (UTF-8, compact for hives of many thousand keys)
    // → offset of the key's first value line; sorted by path.
    std::vector<std::pair<std::string, std::size_t>> m_index;
};

// Decodes a quoted name or string of a registry file starting at `pos` (just
// after the opening quote or bracket) up to the unescaped `terminator`;
// `pos` ends after the terminator. Escapes: \\, \", \[, \], \a \b \t \n \v
// \f \r \e, \xHHHH (UTF-16 code units, pairs combine), \ooo (octal); raw
// UTF-8 is accepted too. nullopt when the terminator is missing.
std::optional<std::u16string> decodeRegistryString(std::string_view text, std::size_t& pos, char terminator);

} // namespace detail

} // namespace platform
