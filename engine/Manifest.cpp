// File list parsing, the download queue and the file list address.
#include "engine/Manifest.h"

#include "platform/system/Text.h"

#include <json/json.h>

#include <algorithm>
#include <memory>

CDownloadQueue g_downloadQueue;
std::wstring g_installDir;
std::atomic<bool> g_downloadFailed{false};

namespace {

// Reads a member as text; anything but a string reads as empty.
std::string memberText(const Json::Value& entry, const char* key) {
    const Json::Value& v = entry[key];
    return v.isString() ? v.asString() : std::string();
}

bool parseJson(std::string_view text, Json::Value& root) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    // Outside input: nesting must not make the parser recurse without bound.
    builder["stackLimit"] = 64;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &root, &errors);
}

} // namespace

bool ParseFileList(std::string_view text, std::vector<DownloadItem>& items) {
    items.clear();
    Json::Value root;
    try {
        if (!parseJson(text, root)) return false;
        std::vector<const Json::Value*> elements;
        if (root.isArray()) {
            for (const Json::Value& v : root) elements.push_back(&v);
        } else if (root.isObject()) {
            // JsonCpp keeps members sorted by name; the list means the order in
            // which the server wrote them, which the parse offsets still tell.
            for (const Json::Value& v : root) elements.push_back(&v);
            std::stable_sort(elements.begin(), elements.end(), [](const Json::Value* a, const Json::Value* b) {
                return a->getOffsetStart() < b->getOffsetStart();
            });
        } else {
            return false;
        }
        items.reserve(elements.size());
        for (const Json::Value* v : elements) {
            if (!v->isObject()) continue;
            items.push_back({memberText(*v, "file"), memberText(*v, "md5")});
        }
    } catch (const std::exception&) {
        items.clear();
        return false;
    }
    return true;
}

void CDownloadQueue::Clear() {
    std::lock_guard lock(m_lock);
    m_items.clear();
}

void CDownloadQueue::Assign(std::vector<DownloadItem> items) {
    std::lock_guard lock(m_lock);
    m_items.assign(std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
}

void CDownloadQueue::Push(DownloadItem item) {
    std::lock_guard lock(m_lock);
    m_items.push_back(std::move(item));
}

bool CDownloadQueue::Pop(DownloadItem& item) {
    std::lock_guard lock(m_lock);
    if (m_items.empty()) return false;
    item = std::move(m_items.front());
    m_items.pop_front();
    return true;
}

int CDownloadQueue::Count() const {
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_items.size());
}

bool PopDownloadItem(DownloadItem& item) { return g_downloadQueue.Pop(item); }

int GetDownloadItemCount() { return g_downloadQueue.Count(); }

std::string_view EditionCodeForIndex(std::uint32_t editionIndex) {
    switch (editionIndex) {
    case 0:
        return "alder";
    case 3:
        return "birch";
    case 4:
        return "cedar";
    case 5:
        return "elm";
    case 6:
        return "dogwood";
    default:
        return {};
    }
}

std::string FileListDigestKey(std::uint32_t editionIndex) {
    const std::string_view code = EditionCodeForIndex(editionIndex);
    return code.empty() ? std::string() : std::string(code) + "_file_sha256";
}

std::string ConfigString(std::string_view configText, const std::string& key) {
    Json::Value root;
    try {
        if (key.empty() || !parseJson(configText, root) || !root.isObject()) return {};
        return memberText(root, key.c_str());
    } catch (const std::exception&) {
        return {};
    }
}

std::string FileListAddress(std::string_view configText, std::uint32_t editionIndex) {
    Json::Value root;
    try {
        if (!parseJson(configText, root) || !root.isObject()) return {};
        std::string address = memberText(root, "filelist_url_prefix");
        std::string_view code = EditionCodeForIndex(editionIndex);
        if (!code.empty()) address += memberText(root, (std::string(code) + "_file_url").c_str());
        return address;
    } catch (const std::exception&) {
        return {};
    }
}

std::wstring LocalFileListPath(std::wstring_view tempDir, std::string_view address) {
    std::string_view name = address.substr(0, address.find_first_of("?#"));
    const std::size_t scheme = name.find("://");
    const std::size_t slash = name.find_last_of("/\\");
    // An authority-only address ("http://host:port") names no file at all.
    const bool authorityOnly = scheme != std::string_view::npos && slash == scheme + 2;
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    // "." or ".." would name the temporary folder or its parent, and so would
    // a name that a NUL cuts short.
    const bool noFileName =
        authorityOnly || name.empty() || name == "." || name == ".." || name.find('\0') != std::string_view::npos;
    std::wstring path(tempDir);
    if (!path.empty() && path.back() != L'/') path += L'/';
    path += noFileName ? std::wstring(L"quellan-filelist.json") : platform::fromUtf8(name);
    return path;
}
