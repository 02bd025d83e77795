// The process-wide skin source: resource folder, in-memory skin archive read
// through minizip with our own memory I/O and entry decryption.
#include "ui/render/SkinSource.h"

#include "platform/system/Text.h"
#include "util/Text.h"
#include "util/ZipCrypto.h"

#include <unzip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace skinsource {
namespace {

// minizip reads the archive from this block of memory.
struct MemoryArchive {
    const std::uint8_t* bytes = nullptr;
    std::uint64_t size = 0;
    std::uint64_t pos = 0;
};

voidpf ZCALLBACK memOpen(voidpf opaque, const void*, int mode) {
    // Read-only: the archive is never written.
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    auto* archive = static_cast<MemoryArchive*>(opaque);
    archive->pos = 0;
    return archive;
}

uLong ZCALLBACK memRead(voidpf, voidpf stream, void* buf, uLong size) {
    auto* archive = static_cast<MemoryArchive*>(stream);
    std::uint64_t left = archive->pos < archive->size ? archive->size - archive->pos : 0;
    uLong n = static_cast<uLong>(std::min<std::uint64_t>(size, left));
    if (n) std::memcpy(buf, archive->bytes + archive->pos, n);
    archive->pos += n;
    return n;
}

uLong ZCALLBACK memWrite(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK memTell(voidpf, voidpf stream) { return static_cast<MemoryArchive*>(stream)->pos; }

long ZCALLBACK memSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* archive = static_cast<MemoryArchive*>(stream);
    std::uint64_t base;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
        base = 0;
        break;
    case ZLIB_FILEFUNC_SEEK_CUR:
        base = archive->pos;
        break;
    case ZLIB_FILEFUNC_SEEK_END:
        base = archive->size;
        break;
    default:
        return -1;
    }
    // Offsets are unsigned; a seek before the start wraps and is refused here.
    std::uint64_t target = base + offset;
    if (target < base && offset != 0) return -1;
    if (target > archive->size) return -1;
    archive->pos = target;
    return 0;
}

int ZCALLBACK memClose(voidpf, voidpf) { return 0; }
int ZCALLBACK memError(voidpf, voidpf) { return 0; }

struct UnzCloser {
    void operator()(void* f) const { unzClose(static_cast<unzFile>(f)); }
};

struct State {
    void* instance = nullptr;
    std::wstring archiveName;
    MemoryArchive memory;
    std::unique_ptr<void, UnzCloser> archive;
    char password[64] = {};
    std::wstring resourcePath;
};

State& state() {
    static State s;
    return s;
}

std::string_view storedPassword() {
    const State& s = state();
    return std::string_view(s.password, strnlen(s.password, sizeof s.password));
}

// Deflate cannot expand more than about 1032:1; a directory entry claiming
// more is damaged, and trusting it would allocate whatever it says.
bool sizesPlausible(const unz_file_info64& info, std::uint64_t archiveSize) {
    std::uint64_t compressed = info.compressed_size;
    if (compressed > archiveSize) return false;
    bool encrypted = info.flag & zipcrypto::kFlagEncrypted;
    std::uint64_t payload =
        encrypted ? (compressed >= zipcrypto::kHeaderSize ? compressed - zipcrypto::kHeaderSize : 0) : compressed;
    if (info.compression_method == 0) return info.uncompressed_size == payload;
    if (info.compression_method == Z_DEFLATED) return info.uncompressed_size <= payload * 1032 + 64;
    return false;
}

bool inflateRaw(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out) {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    // zlib counts in uInt; skin entries are far below 4 GiB (checked before).
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    bool ok = rc == Z_STREAM_END && z.total_out == out.size();
    inflateEnd(&z);
    return ok;
}

} // namespace

void setInstance(void* instance) { state().instance = instance; }
void* instanceHandle() { return state().instance; }

void setSkinArchive(const void* bytes, std::size_t size, const char* password) {
    State& s = state();
    std::memset(s.password, 0, sizeof s.password);
    if (password) std::memcpy(s.password, password, strnlen(password, sizeof s.password));
    if (s.archiveName == L"membuffer") return;
    s.archiveName = L"membuffer";
    s.memory = MemoryArchive{static_cast<const std::uint8_t*>(bytes), bytes ? size : 0, 0};
    zlib_filefunc64_def io{};
    io.zopen64_file = memOpen;
    io.zread_file = memRead;
    io.zwrite_file = memWrite;
    io.ztell64_file = memTell;
    io.zseek64_file = memSeek;
    io.zclose_file = memClose;
    io.zerror_file = memError;
    io.opaque = &s.memory;
    s.archive.reset(bytes ? unzOpen2_64("membuffer", &io) : nullptr);
}

const std::wstring& archiveName() { return state().archiveName; }
bool archiveIsSet() { return !state().archiveName.empty(); }
bool archiveIsOpen() { return state().archive != nullptr; }

void setResourcePath(std::wstring_view path) { state().resourcePath = path; }
const std::wstring& resourcePath() { return state().resourcePath; }

std::string archiveEntryName(std::wstring_view name) {
    std::string ansi = UnicodeToAnsi(name);
    if (ansi.size() > 259) ansi.resize(259);
    std::string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
        if (c == '\\') c = '/';
        if (c == '/' && (out.empty() || out.back() == '/')) continue;
        out.push_back(c);
    }
    return out;
}

ReadStatus readArchiveEntry(std::wstring_view name, std::vector<std::uint8_t>& out, std::size_t maxSize) {
    out.clear();
    State& s = state();
    unzFile zip = static_cast<unzFile>(s.archive.get());
    if (!zip) return ReadStatus::NoArchive;
    std::string entry = archiveEntryName(name);
    if (entry.empty() || unzLocateFile(zip, entry.c_str(), 2) != UNZ_OK) return ReadStatus::EntryNotFound;
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return ReadStatus::ExtractFailed;
    if (info.uncompressed_size == 0) return ReadStatus::Empty;
    if (info.uncompressed_size > maxSize) return ReadStatus::TooLarge;
    if (!sizesPlausible(info, s.memory.size)) return ReadStatus::ExtractFailed;

    int method = 0, level = 0;
    if (unzOpenCurrentFile2(zip, &method, &level, /*raw=*/1) != UNZ_OK) return ReadStatus::ExtractFailed;
    std::vector<std::uint8_t> raw(info.compressed_size);
    std::size_t got = 0;
    while (got < raw.size()) {
        unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(raw.size() - got, 1u << 30));
        int n = unzReadCurrentFile(zip, raw.data() + got, chunk);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    unzCloseCurrentFile(zip);
    if (got != raw.size()) return ReadStatus::ExtractFailed;

    if (info.flag & zipcrypto::kFlagEncrypted) {
        std::string_view password = storedPassword();
        if (password.empty()) return ReadStatus::ExtractFailed;
        auto plain = zipcrypto::decryptEntry(raw, password,
                                             zipcrypto::checkByteFor(static_cast<std::uint16_t>(info.flag),
                                                                     static_cast<std::uint32_t>(info.crc),
                                                                     static_cast<std::uint32_t>(info.dosDate)));
        if (!plain) return ReadStatus::ExtractFailed;
        raw = std::move(*plain);
    }

    if (method == 0) {
        if (raw.size() != info.uncompressed_size) return ReadStatus::ExtractFailed;
        out = std::move(raw);
    } else if (method == Z_DEFLATED) {
        out.resize(info.uncompressed_size);
        if (!inflateRaw(raw, out)) {
            out.clear();
            return ReadStatus::ExtractFailed;
        }
    } else {
        return ReadStatus::ExtractFailed;
    }
    // A wrong password passes the header check once in 256 tries; the CRC
    // catches it (and any damage).
    if (zipcrypto::crc32(out) != static_cast<std::uint32_t>(info.crc)) {
        out.clear();
        return ReadStatus::ExtractFailed;
    }
    return ReadStatus::Ok;
}

ReadStatus readFile(std::wstring_view path, std::vector<std::uint8_t>& out, std::size_t maxSize) {
    out.clear();
    std::string utf8 = platform::toUtf8(path);
    if (utf8.empty()) return ReadStatus::OpenFailed;
    std::FILE* f = std::fopen(utf8.c_str(), "rb");
    if (!f) return ReadStatus::OpenFailed;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(f, std::fclose);
    struct stat st {};
    // Folders open fine on Linux but are not documents.
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return ReadStatus::OpenFailed;
    std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    if (size == 0) return ReadStatus::Empty;
    if (size > maxSize) return ReadStatus::TooLarge;
    out.resize(size);
    std::size_t got = std::fread(out.data(), 1, out.size(), f);
    if (got != out.size()) {
        out.clear();
        return ReadStatus::ReadFailed;
    }
    return ReadStatus::Ok;
}

std::vector<std::string> archiveEntries() {
    std::vector<std::string> names;
    unzFile zip = static_cast<unzFile>(state().archive.get());
    if (!zip) return names;
    for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
        char name[512];
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        names.emplace_back(name);
    }
    return names;
}

void reset() {
    State& s = state();
    s.archive.reset();
    s.archiveName.clear();
    s.memory = MemoryArchive{};
    std::memset(s.password, 0, sizeof s.password);
    s.resourcePath.clear();
    s.instance = nullptr;
}

} // namespace skinsource
