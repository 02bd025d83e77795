// Fuzzes the file list parser and the rule that keeps every entry inside the
// installation folder: whatever the list says, a local path is either refused
// or lies below the folder, and the list copy stays in the temporary folder.
#include "engine/LocalPath.h"
#include "engine/Manifest.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

// True when path, below prefix, has no "." or ".." component and no ":".
bool staysBelow(const std::wstring& path, const std::wstring& prefix) {
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) return false;
    std::size_t start = prefix.size();
    while (start <= path.size()) {
        std::size_t end = path.find(L'/', start);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring part = path.substr(start, end - start);
        if (part.empty() || part == L"." || part == L".." || part.find(L':') != std::wstring::npos) return false;
        start = end + 1;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<DownloadItem> items;
    ParseFileList(text, items);
    items.push_back({text, ""}); // the raw input as one entry path as well
    for (const DownloadItem& item : items) {
        const std::wstring local = LocalPathForEntry(L"/inst/", item.file);
        check(local.empty() || staysBelow(local, L"/inst/"));
        DownloadAddressForEntry("http://h/p/", item.file);
    }
    const std::wstring list = LocalFileListPath(L"/tmp/", text);
    check(list.size() > 5 && list.compare(0, 5, L"/tmp/") == 0);
    const std::wstring name = list.substr(5);
    check(name.find(L'/') == std::wstring::npos && name != L"." && name != L"..");
    FileListAddress(text, 3);
    return 0;
}
