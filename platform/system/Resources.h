// Embedded resources: bytes linked into the executable under a (type, id) key.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// The bytes of the resource (type, id), or an empty span when the executable
// has none. The bytes live as long as the process. Ids are given as numbers
// or names; a numeric id matches its decimal text.
std::span<const std::uint8_t> findResource(std::wstring_view type, std::wstring_view id);
std::span<const std::uint8_t> findResource(std::wstring_view type, int id);

// Adds a resource at static-initialisation time (used by generated code of
// cmake/Resources.cmake; tests may register their own).
class ResourceRegistrar {
public:
    ResourceRegistrar(const wchar_t* type, const wchar_t* id, const unsigned char* begin, const unsigned char* end);
};

} // namespace platform
