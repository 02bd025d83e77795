// Table of the resources embedded into the executable at link time.
#include "platform/system/Resources.h"

#include <map>
#include <mutex>
#include <utility>

namespace platform {
namespace {

using Key = std::pair<std::wstring, std::wstring>;

struct Table {
    std::mutex lock;
    std::map<Key, std::span<const std::uint8_t>> entries;
};

// Function-local so that registrars in other translation units may run first.
Table& table() {
    static Table t;
    return t;
}

} // namespace

ResourceRegistrar::ResourceRegistrar(const wchar_t* type, const wchar_t* id, const unsigned char* begin,
                                     const unsigned char* end) {
    Table& t = table();
    std::lock_guard guard(t.lock);
    t.entries[{type, id}] = std::span<const std::uint8_t>(begin, static_cast<size_t>(end - begin));
}

std::span<const std::uint8_t> findResource(std::wstring_view type, std::wstring_view id) {
    Table& t = table();
    std::lock_guard guard(t.lock);
    auto it = t.entries.find({std::wstring(type), std::wstring(id)});
    return it == t.entries.end() ? std::span<const std::uint8_t>() : it->second;
}

std::span<const std::uint8_t> findResource(std::wstring_view type, int id) {
    return findResource(type, std::to_wstring(id));
}

} // namespace platform
