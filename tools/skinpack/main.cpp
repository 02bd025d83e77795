// quellan-skinpack: packs a skin folder into a ZIP archive whose entries are
// deflated and protected with traditional PKWARE encryption.
//
//   quellan-skinpack SKIN_DIR OUT.zip [--password TEXT]
//
// Every regular file under SKIN_DIR becomes an entry named by its path
// relative to SKIN_DIR with "/" separators, in sorted order. minizip writes
// the archive structure; the entries are compressed and encrypted here and
// handed to minizip raw, because the minizip we build against cannot encrypt.
// The archive is written to a temporary file and renamed into place, so a
// failed run never leaves a partial archive behind.
#include "util/ZipCrypto.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The password the installer opens its embedded skin archive with.
constexpr const char* kSkinPassword = "kvtp5184@";

// "Made by" Unix, format 2.0: tells extractors the names are not in a DOS
// code page, so that UTF-8 names (flag bit 11) survive.
constexpr uLong kVersionMadeBy = (3 << 8) | 20;

struct Entry {
    std::string name; // relative, "/"-separated, UTF-8
    fs::path path;
};

bool readFile(const fs::path& path, std::vector<std::uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Raw deflate (no zlib header), as ZIP method 8 stores it.
bool deflateRaw(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out) {
    z_stream zs{};
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    out.resize(deflateBound(&zs, static_cast<uLong>(in.size())));
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return rc == Z_STREAM_END;
}

// The file's modification time as a ZIP date/time field (local time,
// clamped to the DOS range that starts in 1980).
uLong dosDateTime(const fs::path& path) {
    std::error_code ec;
    const auto ftime = fs::last_write_time(path, ec);
    std::time_t t =
        ec ? std::time(nullptr) : std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(ftime));
    std::tm tm{};
    localtime_r(&t, &tm);
    if (tm.tm_year < 80) {
        tm = {};
        tm.tm_year = 80;
        tm.tm_mday = 1;
    }
    const uLong date = static_cast<uLong>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    const uLong time = static_cast<uLong>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    return (date << 16) | time;
}

bool collect(const fs::path& root, std::vector<Entry>& entries) {
    std::error_code ec;
    fs::recursive_directory_iterator it(root, ec), end;
    if (ec) return false;
    for (; it != end; it.increment(ec)) {
        if (ec) return false;
        if (!it->is_regular_file(ec)) continue;
        entries.push_back({it->path().lexically_relative(root).generic_string(), it->path()});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
}

bool addEntry(zipFile zip, const Entry& entry, const std::string& password, const zipcrypto::RandomSource& random) {
    std::vector<std::uint8_t> data;
    if (!readFile(entry.path, data)) {
        std::fprintf(stderr, "skinpack: cannot read %s\n", entry.path.c_str());
        return false;
    }
    const std::uint32_t crc = zipcrypto::crc32(data);

    // Deflate unless that does not make the entry smaller (images usually).
    std::vector<std::uint8_t> stored;
    int method = Z_DEFLATED;
    if (!deflateRaw(data, stored) || stored.size() >= data.size()) {
        stored = data;
        method = 0;
    }

    zip_fileinfo info{};
    info.dosDate = dosDateTime(entry.path);
    info.external_fa = static_cast<uLong>(0100644) << 16; // regular file, rw-r--r--

    // minizip writes sizes and CRC into the local header afterwards (no data
    // descriptor), so the header's check byte is the CRC's high byte.
    uLong flags = zipcrypto::kFlagEncrypted;
    const bool ascii =
        std::all_of(entry.name.begin(), entry.name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) flags |= 0x0800; // names are UTF-8
    const std::uint8_t check = zipcrypto::checkByteFor(0, crc, info.dosDate);
    const std::vector<std::uint8_t> raw = zipcrypto::encryptEntry(stored, password, check, random);

    int rc = zipOpenNewFileInZip4(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                  method ? Z_BEST_COMPRESSION : 0, /*raw=*/1, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY,
                                  /*password=*/nullptr, 0, kVersionMadeBy, flags);
    if (rc == ZIP_OK) rc = zipWriteInFileInZip(zip, raw.data(), static_cast<unsigned>(raw.size()));
    if (rc == ZIP_OK)
        rc = zipCloseFileInZipRaw(zip, static_cast<uLong>(data.size()), crc);
    else
        zipCloseFileInZipRaw(zip, static_cast<uLong>(data.size()), crc);
    if (rc != ZIP_OK) {
        std::fprintf(stderr, "skinpack: cannot write entry %s (%d)\n", entry.name.c_str(), rc);
        return false;
    }
    return true;
}

// The archive being written; closed on every path. close() reports whether
// the central directory made it to disk.
class ZipWriter {
public:
    explicit ZipWriter(const fs::path& path) : m_zip(zipOpen64(path.c_str(), APPEND_STATUS_CREATE)) {}
    ~ZipWriter() {
        if (m_zip) zipClose(m_zip, nullptr);
    }
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    zipFile get() const { return m_zip; }
    bool close() {
        const int rc = zipClose(m_zip, nullptr);
        m_zip = nullptr;
        return rc == ZIP_OK;
    }

private:
    zipFile m_zip;
};

int usage() {
    std::fprintf(stderr, "usage: quellan-skinpack SKIN_DIR OUT.zip [--password TEXT]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) return usage();
    std::string password = kSkinPassword;
    if (argc == 5) {
        if (std::strcmp(argv[3], "--password") != 0) return usage();
        password = argv[4];
    }
    const fs::path root = argv[1];
    const fs::path out = argv[2];

    std::vector<Entry> entries;
    if (!collect(root, entries)) {
        std::fprintf(stderr, "skinpack: cannot list %s\n", root.c_str());
        return 1;
    }
    if (entries.empty()) {
        std::fprintf(stderr, "skinpack: %s holds no files\n", root.c_str());
        return 1;
    }

    const fs::path tmp = out.string() + ".tmp";
    ZipWriter zip(tmp);
    if (!zip.get()) {
        std::fprintf(stderr, "skinpack: cannot create %s\n", tmp.c_str());
        return 1;
    }
    const auto random = zipcrypto::systemRandom();
    bool ok = true;
    for (const auto& entry : entries) {
        if (!addEntry(zip.get(), entry, password, random)) {
            ok = false;
            break;
        }
    }
    if (!zip.close()) ok = false;

    std::error_code ec;
    if (ok) fs::rename(tmp, out, ec);
    if (!ok || ec) {
        if (ec) std::fprintf(stderr, "skinpack: cannot rename to %s: %s\n", out.c_str(), ec.message().c_str());
        fs::remove(tmp, ec);
        return 1;
    }
    return 0;
}
