// The Wine registry file parser behind Registry.h. Not for use outside
// platform/registry/ (and its tests and fuzz target).
#pragma once

#include "platform/registry/Registry.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

namespace detail {

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
    [[nodiscard]] std::optional<std::vector<std::pair<std::wstring, RegistryValue>>>
    values(std::wstring_view path) const;
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
[[nodiscard]] std::optional<std::u16string> decodeRegistryString(std::string_view text, std::size_t& pos,
                                                                 char terminator);

} // namespace detail

} // namespace platform
