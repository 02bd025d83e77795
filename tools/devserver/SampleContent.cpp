// Deterministic demo content and file lists for the download server.
#include "tools/devserver/SampleContent.h"

#include <json/json.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace devserver {

namespace {

// xorshift64*: fast and reproducible, good enough for filler bytes.
class Filler {
public:
    explicit Filler(std::uint64_t seed) : m_state(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    std::uint64_t next() {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 0x2545F4914F6CDD1Dull;
    }
    std::uint64_t below(std::uint64_t n) { return n ? next() % n : 0; }

private:
    std::uint64_t m_state;
};

bool writeFiller(const fs::path& path, std::uint64_t size, Filler& rng, std::string& error) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!f) {
        error = "cannot write " + path.string();
        return false;
    }
    std::vector<std::uint64_t> block(8192);
    while (size > 0) {
        for (auto& w : block) w = rng.next();
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, block.size() * 8));
        if (std::fwrite(block.data(), 1, n, f.get()) != n) {
            error = "cannot write " + path.string();
            return false;
        }
        size -= n;
    }
    return true;
}

struct EditionShape {
    const char* code;
    const char* launcher;
    int smallFiles;
    int largeFiles;
};

const EditionShape kShapes[] = {
    {"alder", "WoW.exe", 50, 1},
    {"birch", "WoW.exe", 90, 3},
    {"cedar", "WinterspringLauncher.exe", 40, 1},
    {"dogwood", "WinterspringLauncher.exe", 50, 2},
    {"elm", "Wow.exe", 50, 1},
};

// Folders the small files are spread over ("/" here, "\" in the lists).
const char* const kFolders[] = {
    "",
    "Data",
    "Data/enUS",
    "Data/zhCN/语音包",
    "Interface/AddOns/Quellan Helper",
    "Interface/AddOns/Quellan Helper/Locale",
    "My Documents/存档 备份",
    "Sounds/Ambient Sounds",
    "WTF/Account",
    "客户端资源/界面/图标",
};

const char* const kSkippedFolder = "客户端2（两个客户端都要下载）1/World of Warcraft/Data";

} // namespace

std::string FileMd5(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) return {};
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr);
    std::vector<char> buffer(1 << 18);
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f.get())) > 0)
        EVP_DigestUpdate(ctx.get(), buffer.data(), n);
    if (std::ferror(f.get())) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_DigestFinal_ex(ctx.get(), digest, &len);
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < len; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

bool WriteFileList(const std::string& folder, const std::string& listPath, bool asObject, ContentSummary& summary,
                   std::string& error) {
    std::error_code ec;
    std::vector<std::pair<std::string, std::string>> files; // relative ("/"), full
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file() && it->path().lexically_normal() != fs::path(listPath).lexically_normal())
            files.emplace_back(fs::relative(it->path(), folder).generic_string(), it->path().string());
    }
    if (ec) {
        error = "cannot read " + folder + ": " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end());
    Json::Value root(asObject ? Json::objectValue : Json::arrayValue);
    int index = 0;
    for (const auto& [relative, full] : files) {
        std::string name = relative;
        std::replace(name.begin(), name.end(), '/', '\\');
        Json::Value entry(Json::objectValue);
        entry["file"] = name;
        entry["md5"] = FileMd5(full);
        if (asObject) {
            // Member names that sort differently from the entries, so a
            // reader that loses document order shows it.
            char key[32];
            std::snprintf(key, sizeof key, "%c%04d", 'z' - index % 26, index);
            root[key] = entry;
        } else {
            root.append(entry);
        }
        ++index;
        summary.files++;
        summary.bytes += fs::file_size(full, ec);
    }
    Json::StreamWriterBuilder writer;
    writer["emitUTF8"] = true;
    writer["indentation"] = " ";
    std::string text = Json::writeString(writer, root);
    if (asObject) {
        // JsonCpp writes members sorted by name; put them back in list order
        // by writing the object by hand.
        text = "{\n";
        for (int i = 0; i < index; ++i) {
            char key[32];
            std::snprintf(key, sizeof key, "%c%04d", 'z' - i % 26, i);
            writer["indentation"] = "";
            text += std::string(i ? ",\n" : "") + " \"" + key + "\": " + Json::writeString(writer, root[key]);
        }
        text += "\n}\n";
    }
    fs::create_directories(fs::path(listPath).parent_path(), ec);
    std::ofstream out(listPath, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        error = "cannot write " + listPath;
        return false;
    }
    return true;
}

bool MakeSampleContent(const std::string& dir, ContentSummary& summary, std::string& error) {
    std::error_code ec;
    const fs::path root(dir);
    std::uint64_t seed = 20;
    for (const EditionShape& shape : kShapes) {
        Filler rng(++seed * 0x100000001B3ull);
        const fs::path base = root / shape.code;
        fs::remove_all(base, ec);
        if (!writeFiller(base / shape.launcher, 40 * 1024 + rng.below(60 * 1024), rng, error)) return false;
        if (!writeFiller(base / "Data" / "empty.dat", 0, rng, error)) return false;
        for (int i = 0; i < shape.smallFiles; ++i) {
            const char* folder = kFolders[rng.below(std::size(kFolders))];
            static const char* const kNames[] = {"part-%03d.bin", "贴图_%03d.blp", "sound %03d.ogg", "config-%03d.txt"};
            char name[64];
            std::snprintf(name, sizeof name, kNames[rng.below(std::size(kNames))], i);
            // Mostly small, some a few hundred KiB.
            const std::uint64_t size =
                rng.below(8) == 0 ? 100 * 1024 + rng.below(400 * 1024) : 1 + rng.below(48 * 1024);
            if (!writeFiller(base / folder / name, size, rng, error)) return false;
        }
        for (int i = 0; i < shape.largeFiles; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "Data/大型资源 %d.MPQ", i + 1);
            if (!writeFiller(base / name, (3 << 20) + rng.below(3 << 20), rng, error)) return false;
        }
        for (int i = 0; i < 3; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "/skipped-%d.dat", i);
            if (!writeFiller(base / (std::string(kSkippedFolder) + name), 1000 + rng.below(4000), rng, error))
                return false;
        }
        const bool asObject = std::string(shape.code) == "dogwood";
        if (!WriteFileList(base.string(), (base / "filelist.json").string(), asObject, summary, error)) return false;
    }
    return true;
}

} // namespace devserver
