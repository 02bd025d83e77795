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
    [[nodiscard]] static std::optional<RegistryKey> open(RegistryRoot root, std::wstring_view subKey,
                                                         RegistryView view = RegistryView::Default);

    // Reads value `name` (empty = the key's default value). MoreData when the
    // data is larger than `capacity` bytes; `out` is then left unchanged.
    [[nodiscard]] RegistryStatus query(std::wstring_view name, std::size_t capacity, RegistryValue& out) const;

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

} // namespace platform
