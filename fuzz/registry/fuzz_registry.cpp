// Fuzzes the Wine registry file parser: indexing a hive, reading the values
// of keys named in it, and the string decoder on its own.
#include "platform/registry/RegistryHive.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t sink = 0;

    const platform::detail::RegistryHive hive(text);
    for (const wchar_t* key : {L"Software\\A", L"software\\wow6432node\\a", L"System", L""}) {
        if (const auto values = hive.values(key))
            for (const auto& [name, value] : *values)
                sink += name.size() + value.data.size() + platform::registryText(value.data).size();
    }
    for (char terminator : {'"', ']'}) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t before = pos;
            if (const auto s = platform::detail::decodeRegistryString(text, pos, terminator))
                sink += s->size();
            else
                break;
            if (pos <= before) __builtin_trap(); // the decoder must always make progress
        }
    }
    return sink == static_cast<std::size_t>(-1);
}
