// Mapping of file list entries to local paths and download addresses.
#include "engine/LocalPath.h"

#include "platform/system/Text.h"

#include <vector>

std::wstring LocalPathForEntry(std::wstring_view installDir, std::string_view file) {
    if (installDir.empty() || file.empty() || file.front() == '\\' || file.front() == '/') return {};
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= file.size()) {
        std::size_t end = file.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = file.size();
        std::string_view part = file.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") return {};
        for (unsigned char c : part) {
            if (c < 0x20 || c == 0x7F || c == ':') return {};
        }
        parts.push_back(part);
    }
    if (parts.empty()) return {};
    std::string relative;
    for (std::string_view part : parts) {
        if (!relative.empty()) relative += '/';
        relative += part;
    }
    std::wstring path(installDir);
    if (path.back() != L'/' && path.back() != L'\\') path += L'/';
    return path + platform::fromUtf8(relative);
}

std::string DownloadAddressForEntry(std::string_view prefix, std::string_view file) {
    std::string address(prefix);
    address.reserve(prefix.size() + file.size());
    for (char c : file) address += c == '\\' ? '/' : c;
    return address;
}
