// Mapping of file list entries to local paths and download addresses.
#include "engine/LocalPath.h"

#include "platform/system/Text.h"

#include <vector>

namespace {

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Names of the installer's own files beside the game's.
bool reservedName(std::string_view name) {
    return endsWith(name, ".quellan-part") || endsWith(name, ".quellan-part.resume") || endsWith(name, ".qbm") ||
           name == ".quellan-lock";
}

} // namespace

std::string RelativePathForEntry(std::string_view file) {
    if (file.empty() || file.front() == '\\' || file.front() == '/') return {};
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
    if (parts.empty() || reservedName(parts.back())) return {};
    std::string relative;
    for (std::string_view part : parts) {
        if (!relative.empty()) relative += '/';
        relative += part;
    }
    return relative;
}

std::wstring LocalPathForEntry(std::wstring_view installDir, std::string_view file) {
    const std::string relative = RelativePathForEntry(file);
    if (installDir.empty() || relative.empty()) return {};
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
