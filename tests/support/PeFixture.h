// Test support: builds small but well-formed PE images (PE32 or PE32+), with
// an optional version resource, that signing tools accept; PE32 images with
// any resources; icon images and icon groups.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct PeOptions {
    bool pe32Plus = false;
    // major, minor, build, revision of the version resource; none without.
    std::optional<std::array<std::uint16_t, 4>> version;
};

namespace detail {
inline void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}
} // namespace detail

// Layout: headers (0x200 bytes), .text at file 0x200 / RVA 0x1000, and when a
// version is given .rsrc at file 0x400 / RVA 0x2000.
inline std::vector<std::uint8_t> makePe(const PeOptions& options = {}) {
    using detail::put16;
    using detail::put32;
    const bool withResources = options.version.has_value();
    const std::uint16_t sections = withResources ? 2 : 1;
    std::vector<std::uint8_t> b(withResources ? 0x600 : 0x400, 0);

    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, 0x80);
    std::memcpy(&b[0x80], "PE\0\0", 4);
    const std::size_t coff = 0x84;
    put16(b, coff + 0, options.pe32Plus ? 0x8664 : 0x14C);
    put16(b, coff + 2, sections);
    const std::uint16_t optionalSize = options.pe32Plus ? 0xF0 : 0xE0;
    put16(b, coff + 16, optionalSize);
    put16(b, coff + 18, options.pe32Plus ? 0x0022 : 0x0102);

    const std::size_t opt = 0x98;
    put16(b, opt + 0, options.pe32Plus ? 0x20B : 0x10B);
    b[opt + 2] = 14;
    put32(b, opt + 4, 0x200);                     // SizeOfCode
    put32(b, opt + 8, withResources ? 0x200 : 0); // SizeOfInitializedData
    put32(b, opt + 16, 0x1000);                   // AddressOfEntryPoint
    put32(b, opt + 20, 0x1000);                   // BaseOfCode
    if (options.pe32Plus) {
        put32(b, opt + 24, 0x40000000); // ImageBase (low half)
        put32(b, opt + 28, 0x1);
    } else {
        put32(b, opt + 24, 0x2000);   // BaseOfData
        put32(b, opt + 28, 0x400000); // ImageBase
    }
    put32(b, opt + 32, 0x1000);                          // SectionAlignment
    put32(b, opt + 36, 0x200);                           // FileAlignment
    put16(b, opt + 40, 6);                               // OS version
    put16(b, opt + 48, 6);                               // subsystem version
    put32(b, opt + 56, withResources ? 0x3000 : 0x2000); // SizeOfImage
    put32(b, opt + 60, 0x200);                           // SizeOfHeaders
    put16(b, opt + 68, 2);                               // GUI subsystem
    put16(b, opt + 70, 0x8140);
    const std::size_t sizes = 72; // stack and heap sizes: 4 bytes each in PE32, 8 in PE32+
    if (options.pe32Plus) {
        put32(b, opt + sizes + 0, 0x100000);
        put32(b, opt + sizes + 8, 0x1000);
        put32(b, opt + sizes + 16, 0x100000);
        put32(b, opt + sizes + 24, 0x1000);
    } else {
        put32(b, opt + sizes + 0, 0x100000);
        put32(b, opt + sizes + 4, 0x1000);
        put32(b, opt + sizes + 8, 0x100000);
        put32(b, opt + sizes + 12, 0x1000);
    }
    const std::size_t countField = options.pe32Plus ? 108 : 92;
    put32(b, opt + countField, 16);
    const std::size_t dirs = opt + countField + 4;

    std::size_t table = opt + optionalSize;
    std::memcpy(&b[table], ".text", 5);
    put32(b, table + 8, 0x200);
    put32(b, table + 12, 0x1000);
    put32(b, table + 16, 0x200);
    put32(b, table + 20, 0x200);
    put32(b, table + 36, 0x60000020);
    b[0x200] = 0xC3; // ret

    if (withResources) {
        const auto& v = *options.version;
        const std::size_t r = 0x400;
        const std::uint32_t rva = 0x2000;
        // type directory: RT_VERSION → name directory: 1 → language 0x409 → data
        put16(b, r + 14, 1);
        put32(b, r + 16, 16);
        put32(b, r + 20, 0x80000000u | 0x18);
        put16(b, r + 0x18 + 14, 1);
        put32(b, r + 0x18 + 16, 1);
        put32(b, r + 0x18 + 20, 0x80000000u | 0x30);
        put16(b, r + 0x30 + 14, 1);
        put32(b, r + 0x30 + 16, 0x409);
        put32(b, r + 0x30 + 20, 0x48);
        const std::size_t info = 0x58;
        put32(b, r + 0x48, rva + info);
        put32(b, r + 0x48 + 4, 92);
        const std::size_t vi = r + info;
        put16(b, vi + 0, 92);
        put16(b, vi + 2, 52);
        const char16_t key[] = u"VS_VERSION_INFO";
        for (std::size_t i = 0; i < 16; ++i) put16(b, vi + 6 + i * 2, key[i]);
        const std::size_t fixed = vi + 40;
        put32(b, fixed + 0, 0xFEEF04BD);
        put32(b, fixed + 4, 0x00010000);
        put32(b, fixed + 8, (std::uint32_t(v[0]) << 16) | v[1]);
        put32(b, fixed + 12, (std::uint32_t(v[2]) << 16) | v[3]);
        put32(b, fixed + 16, (std::uint32_t(v[0]) << 16) | v[1]);
        put32(b, fixed + 20, (std::uint32_t(v[2]) << 16) | v[3]);
        put32(b, fixed + 24, 0x3F);
        put32(b, fixed + 32, 0x40004);
        put32(b, fixed + 36, 2);

        table += 40;
        std::memcpy(&b[table], ".rsrc", 5);
        put32(b, table + 8, info + 92);
        put32(b, table + 12, rva);
        put32(b, table + 16, 0x200);
        put32(b, table + 20, r);
        put32(b, table + 36, 0x40000040);
        put32(b, dirs + 2 * 8, rva);
        put32(b, dirs + 2 * 8 + 4, info + 92);
    }
    return b;
}

// One resource: type and integer id; its language is always 0x409.
struct PeResource {
    std::uint32_t type = 0;
    std::uint32_t id = 0;
    std::vector<std::uint8_t> bytes;
};

// A PE32 image (as makePe without a version) with these resources in a
// .rsrc section at file 0x400 / RVA 0x2000. Resources of one type must be
// given together, types and ids in ascending order.
inline std::vector<std::uint8_t> makePeWithResources(const std::vector<PeResource>& resources) {
    using detail::put16;
    using detail::put32;
    std::vector<std::uint8_t> b = makePe();
    // The tree: root → one directory per type → one per id → data entry.
    std::vector<std::uint32_t> types;
    for (const PeResource& r : resources)
        if (types.empty() || types.back() != r.type) types.push_back(r.type);
    std::vector<std::uint8_t> t;
    auto grow = [&](std::size_t n) {
        const std::size_t at = t.size();
        t.resize(at + n, 0);
        return at;
    };
    auto dir = [&](std::size_t entries) {
        const std::size_t at = grow(16 + 8 * entries);
        put16(t, at + 14, static_cast<std::uint32_t>(entries));
        return at;
    };
    const std::size_t root = dir(types.size());
    std::vector<std::size_t> dataEntries;
    for (std::size_t ti = 0; ti < types.size(); ++ti) {
        std::vector<const PeResource*> ofType;
        for (const PeResource& r : resources)
            if (r.type == types[ti]) ofType.push_back(&r);
        const std::size_t typeDir = dir(ofType.size());
        put32(t, root + 16 + ti * 8, types[ti]);
        put32(t, root + 16 + ti * 8 + 4, 0x80000000u | static_cast<std::uint32_t>(typeDir));
        for (std::size_t i = 0; i < ofType.size(); ++i) {
            const std::size_t langDir = dir(1);
            put32(t, typeDir + 16 + i * 8, ofType[i]->id);
            put32(t, typeDir + 16 + i * 8 + 4, 0x80000000u | static_cast<std::uint32_t>(langDir));
            const std::size_t entry = grow(16);
            put32(t, langDir + 16, 0x409);
            put32(t, langDir + 20, static_cast<std::uint32_t>(entry));
            dataEntries.push_back(entry);
        }
    }
    const std::uint32_t rva = 0x2000;
    std::size_t k = 0;
    for (std::uint32_t type : types)
        for (const PeResource& r : resources) {
            if (r.type != type) continue;
            const std::size_t at = grow((r.bytes.size() + 3) & ~std::size_t(3));
            std::memcpy(t.data() + at, r.bytes.data(), r.bytes.size());
            put32(t, dataEntries[k], rva + static_cast<std::uint32_t>(at));
            put32(t, dataEntries[k] + 4, static_cast<std::uint32_t>(r.bytes.size()));
            ++k;
        }
    const std::uint32_t rawSize = static_cast<std::uint32_t>((t.size() + 0x1FF) & ~std::size_t(0x1FF));
    t.resize(rawSize, 0);
    b.insert(b.end(), t.begin(), t.end());

    const std::size_t coff = 0x84, opt = 0x98;
    put16(b, coff + 2, 2);
    put32(b, opt + 8, rawSize);                                 // SizeOfInitializedData
    put32(b, opt + 56, 0x2000 + ((rawSize + 0xFFF) & ~0xFFFu)); // SizeOfImage
    put32(b, opt + 96 + 2 * 8, rva);                            // resource directory
    put32(b, opt + 96 + 2 * 8 + 4, static_cast<std::uint32_t>(t.size()));
    const std::size_t table = opt + 0xE0 + 40;
    std::memcpy(&b[table], ".rsrc", 5);
    put32(b, table + 8, rawSize);
    put32(b, table + 12, rva);
    put32(b, table + 16, rawSize);
    put32(b, table + 20, 0x400);
    put32(b, table + 36, 0x40000040);
    return b;
}

// A bitmap icon image (BITMAPINFOHEADER, colour rows bottom-up, mask) of
// w × h at 32 or 24 bits per pixel; colour(x, y) gives 0xAARRGGBB (top row
// first), mask(x, y) whether the pixel is transparent.
template <class Colour, class Mask>
std::vector<std::uint8_t> makeBitmapIcon(int w, int h, int bpp, Colour colour, Mask mask) {
    using detail::put16;
    using detail::put32;
    const std::size_t stride = ((std::size_t(w) * bpp + 31) / 32) * 4;
    const std::size_t maskStride = ((std::size_t(w) + 31) / 32) * 4;
    std::vector<std::uint8_t> b(40 + stride * h + maskStride * h, 0);
    put32(b, 0, 40);
    put32(b, 4, static_cast<std::uint32_t>(w));
    put32(b, 8, static_cast<std::uint32_t>(2 * h));
    put16(b, 12, 1);
    put16(b, 14, static_cast<std::uint32_t>(bpp));
    for (int y = 0; y < h; ++y) {
        const std::size_t row = 40 + stride * (h - 1 - y);
        const std::size_t maskRow = 40 + stride * h + maskStride * (h - 1 - y);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = colour(x, y);
            const std::size_t p = row + x * (bpp / 8);
            b[p] = c & 0xFF;
            b[p + 1] = (c >> 8) & 0xFF;
            b[p + 2] = (c >> 16) & 0xFF;
            if (bpp == 32) b[p + 3] = c >> 24;
            if (mask(x, y)) b[maskRow + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    return b;
}

// An icon group (RT_GROUP_ICON) naming RT_ICON ids with the sizes its
// directory claims.
struct IconEntry {
    int width, height, bitCount;
    std::uint16_t id;
};
inline std::vector<std::uint8_t> makeIconGroup(const std::vector<IconEntry>& entries) {
    std::vector<std::uint8_t> b(6 + 14 * entries.size(), 0);
    detail::put16(b, 2, 1);
    detail::put16(b, 4, static_cast<std::uint32_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t e = 6 + 14 * i;
        b[e] = static_cast<std::uint8_t>(entries[i].width); // 256 is written as 0
        b[e + 1] = static_cast<std::uint8_t>(entries[i].height);
        detail::put16(b, e + 4, 1);
        detail::put16(b, e + 6, static_cast<std::uint32_t>(entries[i].bitCount));
        detail::put16(b, e + 12, entries[i].id);
    }
    return b;
}

} // namespace testsupport
