// The file list and block maps of a release folder.
#include "tools/publish/Publish.h"

#include "engine/BlockMap.h"

#include <json/json.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace publish {

namespace {

std::string hex(const unsigned char* data, std::size_t length) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += kHex[data[i] >> 4];
        text += kHex[data[i] & 15];
    }
    return text;
}

std::string fileDigest(const std::string& path, const EVP_MD* md) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) return {};
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EVP_DigestInit_ex(ctx.get(), md, nullptr);
    std::vector<char> buffer(1 << 18);
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f.get())) > 0)
        EVP_DigestUpdate(ctx.get(), buffer.data(), n);
    if (std::ferror(f.get())) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_DigestFinal_ex(ctx.get(), digest, &len);
    return hex(digest, len);
}

bool readFile(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Writes text unless the file holds it already: through a temporary name
// and a rename, so a reader (or a web server) never sees half a file.
// written tells whether anything was written.
bool writeIfChanged(const fs::path& path, const std::string& text, bool& written, std::string& error) {
    std::string current;
    written = false;
    if (readFile(path, current) && current == text) return true;
    const fs::path temporary = path.string() + ".publishing";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            error = "cannot write " + temporary.string();
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        error = "cannot write " + path.string() + ": " + ec.message();
        return false;
    }
    written = true;
    return true;
}

bool isMap(const fs::path& path) { return path.extension() == std::string(kBlockMapSuffix); }

} // namespace

std::string FileSha256(const std::string& path) { return fileDigest(path, EVP_sha256()); }

bool PublishTree(const std::string& folder, const std::string& listPath, const PublishOptions& options,
                 PublishSummary& summary, std::string& error) {
    if (options.blockSize != 0 && (options.blockSize < kMinBlockSize || options.blockSize > kMaxBlockSize)) {
        error =
            "block size must lie between " + std::to_string(kMinBlockSize) + " and " + std::to_string(kMaxBlockSize);
        return false;
    }
    std::error_code ec;
    const fs::path list = fs::absolute(listPath, ec).lexically_normal();
    std::vector<std::pair<std::string, fs::path>> files; // relative ("/"), full
    std::vector<fs::path> maps;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        const fs::path full = fs::absolute(it->path()).lexically_normal();
        if (full == list || full.string() == list.string() + ".publishing") continue;
        if (isMap(full)) {
            maps.push_back(full);
            continue;
        }
        files.emplace_back(fs::relative(it->path(), folder).generic_string(), full);
    }
    if (ec) {
        error = "cannot read " + folder + ": " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end());

    Json::Value root(Json::arrayValue);
    std::vector<fs::path> wanted;
    for (const auto& [relative, full] : files) {
        const std::uint64_t size = fs::file_size(full, ec);
        std::string md5;
        if (options.maps && static_cast<std::int64_t>(size) >= kMinMappedFileBytes) {
            BlockMap map;
            if (!MakeBlockMapOfFile(full.string(), options.blockSize, map, error)) return false;
            md5 = map.Md5Hex();
            const fs::path mapPath = full.string() + std::string(kBlockMapSuffix);
            bool written = false;
            if (!writeIfChanged(mapPath, FormatBlockMap(map), written, error)) return false;
            ++(written ? summary.mapsWritten : summary.mapsUnchanged);
            wanted.push_back(mapPath);
        } else {
            md5 = fileDigest(full.string(), EVP_md5());
            if (md5.empty()) {
                error = "cannot read " + full.string();
                return false;
            }
        }
        std::string name = relative;
        std::replace(name.begin(), name.end(), '/', '\\');
        Json::Value entry(Json::objectValue);
        entry["file"] = name;
        entry["md5"] = md5;
        root.append(entry);
        ++summary.files;
        summary.bytes += size;
    }
    if (options.maps) {
        // A map whose file is gone or no longer mapped would mislead nobody
        // (its digest would not match), but it is dead weight on the host.
        for (const fs::path& map : maps) {
            if (std::find(wanted.begin(), wanted.end(), map) != wanted.end()) continue;
            if (fs::remove(map, ec)) ++summary.mapsRemoved;
        }
    }

    Json::StreamWriterBuilder writer;
    writer["emitUTF8"] = true;
    writer["indentation"] = " ";
    fs::create_directories(list.parent_path(), ec);
    if (!writeIfChanged(list, Json::writeString(writer, root), summary.listWritten, error)) return false;
    summary.listSha256 = FileSha256(list.string());
    return true;
}

} // namespace publish
