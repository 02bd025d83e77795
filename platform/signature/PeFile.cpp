// Bounds-checked PE image reading.
#include "platform/signature/PeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace platform::pe {

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint16_t kCertTypePkcsSignedData = 0x0002;
constexpr std::uint32_t kResourceTypeIcon = 3;
constexpr std::uint32_t kResourceTypeIconGroup = 14;
constexpr std::uint32_t kResourceTypeVersion = 16;
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::size_t kMaxImageFileSize = 256u << 20;

// Little-endian reads that fail instead of reading past the end.
struct Reader {
    std::span<const std::uint8_t> data;

    bool has(std::size_t offset, std::size_t size) const {
        return offset <= data.size() && size <= data.size() - offset;
    }
    std::optional<std::uint16_t> u16(std::size_t offset) const {
        if (!has(offset, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(data[offset] | (data[offset + 1] << 8));
    }
    std::optional<std::uint32_t> u32(std::size_t offset) const {
        if (!has(offset, 4)) return std::nullopt;
        return static_cast<std::uint32_t>(data[offset]) | (static_cast<std::uint32_t>(data[offset + 1]) << 8) |
               (static_cast<std::uint32_t>(data[offset + 2]) << 16) |
               (static_cast<std::uint32_t>(data[offset + 3]) << 24);
    }
};

// Maps an RVA range to a file offset through the section table.
std::optional<std::size_t> rvaToOffset(const Headers& headers, std::uint32_t rva, std::uint32_t size) {
    for (const auto& s : headers.sections) {
        const std::uint64_t start = s.virtualAddress;
        const std::uint64_t extent = std::max(s.virtualSize, s.rawSize);
        if (rva < start || std::uint64_t(rva) + size > start + extent) continue;
        const std::uint64_t delta = rva - start;
        if (delta + size > s.rawSize) return std::nullopt; // lies in the zero-filled tail, not in the file
        return static_cast<std::size_t>(s.rawOffset + delta);
    }
    return std::nullopt;
}

// The entry of a resource directory with integer id `id`, or the first entry
// when id is 0. Returns its OffsetToData field.
std::optional<std::uint32_t> resourceEntry(const Reader& r, std::size_t dir, std::uint32_t id) {
    const auto named = r.u16(dir + 12);
    const auto ids = r.u16(dir + 14);
    if (!named || !ids) return std::nullopt;
    const std::size_t count = std::size_t(*named) + *ids;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = dir + 16 + i * 8;
        const auto name = r.u32(entry);
        const auto target = r.u32(entry + 4);
        if (!name || !target) return std::nullopt;
        if (id == 0 || (!(*name & 0x80000000u) && *name == id)) return *target;
    }
    return std::nullopt;
}

// The bytes of the resource of that type and integer id (0: the first one),
// first language. Offsets inside the resource tree are relative to its root.
std::optional<std::span<const std::uint8_t>> resourceData(std::span<const std::uint8_t> image, const Headers& headers,
                                                          std::uint32_t type, std::uint32_t id) {
    if (headers.resources.size == 0) return std::nullopt;
    const Reader r{image};
    const std::uint32_t rootRva = headers.resources.address;
    const auto root = rvaToOffset(headers, rootRva, 16);
    if (!root) return std::nullopt;
    // type → name → first language → data entry.
    std::size_t dir = *root;
    const std::uint32_t ids[3] = {type, id, 0};
    for (int level = 0; level < 3; ++level) {
        const auto entry = resourceEntry(r, dir, ids[level]);
        if (!entry) return std::nullopt;
        const bool isDirectory = *entry & 0x80000000u;
        if (isDirectory != (level < 2)) return std::nullopt;
        const auto next = rvaToOffset(headers, rootRva + (*entry & 0x7FFFFFFFu), 16);
        if (!next) return std::nullopt;
        dir = *next;
    }
    const auto dataRva = r.u32(dir);
    const auto dataSize = r.u32(dir + 4);
    if (!dataRva || !dataSize || *dataSize == 0) return std::nullopt;
    const auto data = rvaToOffset(headers, *dataRva, *dataSize);
    if (!data || !r.has(*data, *dataSize)) return std::nullopt;
    return image.subspan(*data, *dataSize);
}

std::uint32_t bigEndian32(std::span<const std::uint8_t> d, std::size_t at) {
    return (std::uint32_t(d[at]) << 24) | (std::uint32_t(d[at + 1]) << 16) | (std::uint32_t(d[at + 2]) << 8) |
           d[at + 3];
}

// Reads the size of one RT_ICON image from its own header.
std::optional<IconImage> describeIcon(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    IconImage icon;
    if (bytes.size() >= 24 && std::equal(kPngSignature, kPngSignature + 8, bytes.begin())) {
        if (bytes[12] != 'I' || bytes[13] != 'H' || bytes[14] != 'D' || bytes[15] != 'R') return std::nullopt;
        const std::uint32_t w = bigEndian32(bytes, 16), h = bigEndian32(bytes, 20);
        if (w == 0 || h == 0 || w > kMaxIconSide || h > kMaxIconSide) return std::nullopt;
        icon.width = static_cast<int>(w);
        icon.height = static_cast<int>(h);
        icon.bitCount = 32;
        icon.png = true;
    } else {
        const Reader r{bytes};
        const auto size = r.u32(0);
        const auto w = r.u32(4);
        const auto h = r.u32(8);
        const auto bits = r.u16(14);
        if (!size || *size < 40 || !w || !h || !bits) return std::nullopt;
        // The height counts the colour rows and the mask rows.
        const auto width = static_cast<std::int32_t>(*w);
        const std::int64_t height = std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(*h))) / 2;
        if (width <= 0 || width > kMaxIconSide || height <= 0 || height > kMaxIconSide) return std::nullopt;
        icon.width = width;
        icon.height = static_cast<int>(height);
        icon.bitCount = *bits;
    }
    return icon; // the bytes are copied for the one image that is kept
}

} // namespace

std::optional<Headers> parseHeaders(std::span<const std::uint8_t> head) {
    const Reader r{head};
    if (!r.has(0, 64) || head[0] != 'M' || head[1] != 'Z') return std::nullopt;
    const auto peOffset = r.u32(0x3C);
    if (!peOffset || !r.has(*peOffset, 24)) return std::nullopt;
    const std::size_t pe = *peOffset;
    if (head[pe] != 'P' || head[pe + 1] != 'E' || head[pe + 2] != 0 || head[pe + 3] != 0) return std::nullopt;
    const auto sectionCount = r.u16(pe + 6);
    const auto optionalSize = r.u16(pe + 20);
    const std::size_t opt = pe + 24;
    const auto magic = r.u16(opt);
    if (!sectionCount || !optionalSize || !magic || !r.has(opt, *optionalSize)) return std::nullopt;

    Headers headers;
    if (*magic == kPe32PlusMagic)
        headers.pe32Plus = true;
    else if (*magic != kPe32Magic)
        return std::nullopt;
    const std::size_t countField = headers.pe32Plus ? 108 : 92;
    const std::size_t directories = headers.pe32Plus ? 112 : 96;
    if (*optionalSize < countField + 4) return std::nullopt;
    const std::uint32_t count = *r.u32(opt + countField);
    // Only the directories that fit in the optional header are real.
    const std::size_t present =
        std::min<std::size_t>(count, (*optionalSize - std::min<std::size_t>(*optionalSize, directories)) / 8);
    auto directory = [&](std::size_t index) {
        DataDirectory d;
        if (index < present) {
            d.address = *r.u32(opt + directories + index * 8);
            d.size = *r.u32(opt + directories + index * 8 + 4);
        }
        return d;
    };
    headers.resources = directory(2);
    headers.certificates = directory(4);

    const std::size_t table = opt + *optionalSize;
    if (!r.has(table, std::size_t(*sectionCount) * 40)) return std::nullopt;
    for (std::size_t i = 0; i < *sectionCount; ++i) {
        const std::size_t s = table + i * 40;
        headers.sections.push_back({*r.u32(s + 12), *r.u32(s + 8), *r.u32(s + 20), *r.u32(s + 16)});
    }
    return headers;
}

std::optional<std::span<const std::uint8_t>> findPkcs7(std::span<const std::uint8_t> table) {
    const Reader r{table};
    std::size_t pos = 0;
    while (r.has(pos, 8)) {
        const std::uint32_t length = *r.u32(pos);
        const std::uint16_t type = *r.u16(pos + 6);
        if (length < 8 || !r.has(pos, length)) return std::nullopt;
        if (type == kCertTypePkcsSignedData) return table.subspan(pos + 8, length - 8);
        pos += (std::size_t(length) + 7) & ~std::size_t(7); // entries are 8-byte aligned
    }
    return std::nullopt;
}

std::optional<FileVersion> readFileVersion(std::span<const std::uint8_t> image) {
    const auto headers = parseHeaders(image);
    if (!headers) return std::nullopt;
    const auto found = resourceData(image, *headers, kResourceTypeVersion, 0);
    if (!found) return std::nullopt;

    // VS_VERSIONINFO: length, value length, type, L"VS_VERSION_INFO\0",
    // padding to 32 bits, then VS_FIXEDFILEINFO.
    const Reader v{*found};
    constexpr std::u16string_view kKey = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i <= kKey.size(); ++i) {
        const auto c = v.u16(6 + i * 2);
        if (!c || *c != (i < kKey.size() ? kKey[i] : 0)) return std::nullopt;
    }
    const std::size_t fixed = (6 + (kKey.size() + 1) * 2 + 3) & ~std::size_t(3);
    const auto valueLength = v.u16(2);
    const auto signature = v.u32(fixed);
    const auto ms = v.u32(fixed + 8);
    const auto ls = v.u32(fixed + 12);
    if (!valueLength || *valueLength < 52 || !signature || *signature != kFixedFileInfoSignature || !ms || !ls)
        return std::nullopt;
    return FileVersion{static_cast<std::uint16_t>(*ms >> 16), static_cast<std::uint16_t>(*ms & 0xFFFF),
                       static_cast<std::uint16_t>(*ls >> 16), static_cast<std::uint16_t>(*ls & 0xFFFF)};
}

InputFile::InputFile(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (m_fd >= 0 && (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd >= 0) m_size = static_cast<std::size_t>(st.st_size);
}

InputFile::~InputFile() {
    if (m_fd >= 0) ::close(m_fd);
}

bool InputFile::readAt(std::size_t offset, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

namespace {

std::optional<std::vector<std::uint8_t>> readWholeImage(const std::string& path) {
    const InputFile file(path);
    if (!file.isOpen() || file.size() > kMaxImageFileSize) return std::nullopt;
    std::vector<std::uint8_t> bytes(file.size());
    if (!file.readAt(0, bytes)) return std::nullopt;
    return bytes;
}

} // namespace

std::optional<FileVersion> readFileVersionOfFile(const std::string& path) {
    const auto bytes = readWholeImage(path);
    return bytes ? readFileVersion(*bytes) : std::nullopt;
}

std::optional<IconImage> readLargestIcon(std::span<const std::uint8_t> image) {
    const auto headers = parseHeaders(image);
    if (!headers) return std::nullopt;
    const auto group = resourceData(image, *headers, kResourceTypeIconGroup, 0);
    if (!group) return std::nullopt;
    // GRPICONDIR: reserved, type 1, count, then 14-byte entries whose last
    // field is the id of the RT_ICON resource.
    const Reader g{*group};
    const auto type = g.u16(2);
    const auto count = g.u16(4);
    if (!type || *type != 1 || !count) return std::nullopt;
    std::optional<IconImage> best;
    std::span<const std::uint8_t> bestBytes;
    // Real icons hold a dozen images or so; a hostile count must not make
    // the search quadratic in the size of the file.
    constexpr std::size_t kMaxImages = 256;
    for (std::size_t i = 0; i < std::min<std::size_t>(*count, kMaxImages); ++i) {
        const auto id = g.u16(6 + i * 14 + 12);
        if (!id) break; // the directory ends early
        if (*id == 0) continue;
        const auto bytes = resourceData(image, *headers, kResourceTypeIcon, *id);
        if (!bytes) continue;
        auto icon = describeIcon(*bytes);
        if (!icon) continue;
        const auto area = [](const IconImage& c) { return std::int64_t(c.width) * c.height; };
        if (!best || area(*icon) > area(*best) || (area(*icon) == area(*best) && icon->bitCount > best->bitCount)) {
            best = std::move(icon);
            bestBytes = *bytes;
        }
    }
    if (best) best->data.assign(bestBytes.begin(), bestBytes.end());
    return best;
}

std::optional<IconImage> readLargestIconOfFile(const std::string& path) {
    const auto bytes = readWholeImage(path);
    return bytes ? readLargestIcon(*bytes) : std::nullopt;
}

std::optional<std::vector<std::uint32_t>> decodeIconBitmap(const IconImage& icon) {
    if (icon.png || icon.width <= 0 || icon.height <= 0 || icon.width > kMaxIconSide || icon.height > kMaxIconSide)
        return std::nullopt;
    const Reader r{icon.data};
    const auto headerSize = r.u32(0);
    const auto storedHeight = r.u32(8);
    const auto planes = r.u16(12);
    const auto bits = r.u16(14);
    const auto compression = r.u32(16);
    const auto coloursUsed = r.u32(32);
    if (!headerSize || *headerSize < 40 || !storedHeight || !planes || !bits || !compression || !coloursUsed)
        return std::nullopt;
    const int bpp = *bits;
    if (*compression != 0 || (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)) return std::nullopt;
    // Rows run from the bottom up unless the height is negative.
    const bool topDown = static_cast<std::int32_t>(*storedHeight) < 0;
    const std::size_t w = static_cast<std::size_t>(icon.width), h = static_cast<std::size_t>(icon.height);

    std::size_t paletteSize = 0;
    if (bpp <= 8) {
        paletteSize = *coloursUsed ? *coloursUsed : (std::size_t(1) << bpp);
        if (paletteSize > (std::size_t(1) << bpp)) return std::nullopt;
    }
    const std::size_t palette = *headerSize;
    if (!r.has(palette, paletteSize * 4)) return std::nullopt;
    const std::size_t colourStride = ((w * bpp + 31) / 32) * 4;
    const std::size_t colours = palette + paletteSize * 4;
    if (!r.has(colours, colourStride * h)) return std::nullopt;
    const std::size_t maskStride = ((w + 31) / 32) * 4;
    const std::size_t mask = colours + colourStride * h;
    // 32-bit images may leave the mask out: their alpha says it all.
    const bool hasMask = r.has(mask, maskStride * h);
    if (!hasMask && bpp != 32) return std::nullopt;

    const std::span<const std::uint8_t> d = icon.data;
    std::vector<std::uint32_t> pixels(w * h);
    bool anyAlpha = false;
    for (std::size_t y = 0; y < h; ++y) {
        const std::size_t stored = topDown ? y : h - 1 - y;
        const std::size_t row = colours + stored * colourStride;
        for (std::size_t x = 0; x < w; ++x) {
            std::uint32_t argb = 0;
            if (bpp == 32) {
                const std::size_t p = row + x * 4;
                argb = (std::uint32_t(d[p + 3]) << 24) | (std::uint32_t(d[p + 2]) << 16) |
                       (std::uint32_t(d[p + 1]) << 8) | d[p];
                anyAlpha = anyAlpha || d[p + 3] != 0;
            } else if (bpp == 24) {
                const std::size_t p = row + x * 3;
                argb = 0xFF000000u | (std::uint32_t(d[p + 2]) << 16) | (std::uint32_t(d[p + 1]) << 8) | d[p];
            } else {
                const std::size_t bit = x * bpp;
                const std::size_t index = (d[row + bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                if (index >= paletteSize) return std::nullopt;
                const std::size_t p = palette + index * 4;
                argb = 0xFF000000u | (std::uint32_t(d[p + 2]) << 16) | (std::uint32_t(d[p + 1]) << 8) | d[p];
            }
            pixels[y * w + x] = argb;
        }
    }
    // The mask makes pixels transparent, unless a 32-bit image carries its
    // own alpha (older 32-bit icons leave it all zero and rely on the mask).
    if (hasMask && !(bpp == 32 && anyAlpha)) {
        for (std::size_t y = 0; y < h; ++y) {
            const std::size_t stored = topDown ? y : h - 1 - y;
            const std::size_t row = mask + stored * maskStride;
            for (std::size_t x = 0; x < w; ++x) {
                const bool transparent = (d[row + x / 8] >> (7 - x % 8)) & 1;
                std::uint32_t& px = pixels[y * w + x];
                px = transparent ? 0 : (px | 0xFF000000u);
            }
        }
    }
    return pixels;
}

} // namespace platform::pe
