// Writers of small GIF and animated PNG files for the animation tests: the
// files are built byte by byte so that each test states exactly what the
// file holds (delays, loops, frame regions, dispose and blend operations).
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

inline void putLe16(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void putBe32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
inline void putBe16(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

// --- GIF ---

struct GifFrame {
    GifFrame(int x_ = 0, int y_ = 0, int w_ = 1, int h_ = 1, std::optional<int> delay = {},
             std::vector<std::uint8_t> pixels = {}, int disposal_ = 0)
        : x(x_), y(y_), w(w_), h(h_), delayCs(delay), indexes(std::move(pixels)), disposal(disposal_) {}
    int x, y, w, h;
    std::optional<int> delayCs;        // no graphic control block when empty
    std::vector<std::uint8_t> indexes; // w × h palette indexes (0..3); empty = all 0
    int disposal;                      // of the graphic control block: 1 keep, 2 background, 3 previous
};

// LZW data that sends a clear code before every pixel, so that each pixel
// is a literal of a fixed width: larger than real LZW, just as valid.
inline Bytes gifImageData(const std::vector<std::uint8_t>& indexes) {
    constexpr unsigned kCodeSize = 2, kClear = 4, kEnd = 5, kWidth = 3;
    Bytes packed;
    std::uint32_t bits = 0;
    unsigned count = 0;
    auto put = [&](unsigned code) {
        bits |= code << count;
        count += kWidth;
        while (count >= 8) {
            packed.push_back(static_cast<std::uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    };
    for (std::uint8_t i : indexes) {
        put(kClear);
        put(i & 3u);
    }
    put(kEnd);
    if (count) packed.push_back(static_cast<std::uint8_t>(bits));
    Bytes out{static_cast<std::uint8_t>(kCodeSize)};
    for (std::size_t at = 0; at < packed.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, packed.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), packed.begin() + static_cast<long>(at), packed.begin() + static_cast<long>(at + n));
    }
    out.push_back(0);
    return out;
}

// A GIF89a of a four-colour palette (black, red, green, blue) with the
// frames given; `loop` adds the looping application extension.
inline Bytes makeGif(int width, int height, const std::vector<GifFrame>& frames, std::optional<int> loop = {},
                     bool trailer = true) {
    Bytes out{'G', 'I', 'F', '8', '9', 'a'};
    putLe16(out, static_cast<unsigned>(width));
    putLe16(out, static_cast<unsigned>(height));
    out.insert(out.end(), {0x81, 0, 0});
    out.insert(out.end(), {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255});
    if (loop) {
        const char* id = "NETSCAPE2.0";
        out.insert(out.end(), {0x21, 0xFF, 11});
        out.insert(out.end(), id, id + 11);
        out.insert(out.end(), {3, 1});
        putLe16(out, static_cast<unsigned>(*loop));
        out.push_back(0);
    }
    for (const GifFrame& f : frames) {
        if (f.delayCs) {
            out.insert(out.end(), {0x21, 0xF9, 4, static_cast<std::uint8_t>((f.disposal & 7) << 2)});
            putLe16(out, static_cast<unsigned>(*f.delayCs));
            out.insert(out.end(), {0, 0});
        }
        out.push_back(0x2C);
        for (int v : {f.x, f.y, f.w, f.h}) putLe16(out, static_cast<unsigned>(v));
        out.push_back(0);
        std::vector<std::uint8_t> indexes = f.indexes;
        if (indexes.empty()) indexes.assign(static_cast<std::size_t>(f.w * f.h), 0);
        Bytes data = gifImageData(indexes);
        out.insert(out.end(), data.begin(), data.end());
    }
    if (trailer) out.push_back(0x3B);
    return out;
}

// --- PNG and animated PNG ---

inline void putChunk(Bytes& out, const char* type, const Bytes& data) {
    putBe32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t at = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBe32(out, static_cast<std::uint32_t>(crc32(0, out.data() + at, static_cast<uInt>(4 + data.size()))));
}

using Rgba = std::uint32_t; // 0xRRGGBBAA, straight alpha

// Compressed RGBA rows of a w × h frame of one colour.
inline Bytes rgbaData(unsigned w, unsigned h, Rgba colour) {
    Bytes rows;
    for (unsigned y = 0; y < h; ++y) {
        rows.push_back(0);
        for (unsigned x = 0; x < w; ++x)
            for (int shift = 24; shift >= 0; shift -= 8) rows.push_back(static_cast<std::uint8_t>(colour >> shift));
    }
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    Bytes out(size);
    compress(out.data(), &size, rows.data(), static_cast<uLong>(rows.size()));
    out.resize(size);
    return out;
}

struct ApngFrame {
    unsigned x = 0, y = 0, w = 1, h = 1;
    Rgba colour = 0;
    std::uint8_t dispose = 0, blend = 0;
    unsigned delayNum = 1, delayDen = 10;
};

// The chunks of an animated PNG, editable before they are joined (to break
// one on purpose).
struct ApngChunks {
    struct Chunk {
        std::string type;
        Bytes data;
        bool badCrc = false;
    };
    std::vector<Chunk> chunks;

    Bytes bytes() const {
        Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        for (const Chunk& c : chunks) {
            putChunk(out, c.type.c_str(), c.data);
            if (c.badCrc) out.back() ^= 1;
        }
        return out;
    }
    Chunk* find(const std::string& type, int nth = 0) {
        for (Chunk& c : chunks)
            if (c.type == type && nth-- == 0) return &c;
        return nullptr;
    }
};

// Frame 0's control comes before the IDAT (so the default image is the
// first frame) unless `hiddenDefault`, when the IDAT is a separate picture
// of `defaultColour` that is not part of the animation.
inline ApngChunks makeApng(unsigned width, unsigned height, const std::vector<ApngFrame>& frames, unsigned plays = 0,
                           bool hiddenDefault = false, Rgba defaultColour = 0) {
    ApngChunks png;
    Bytes header;
    putBe32(header, width);
    putBe32(header, height);
    header.insert(header.end(), {8, 6, 0, 0, 0});
    png.chunks.push_back({"IHDR", header});
    Bytes actl;
    putBe32(actl, static_cast<std::uint32_t>(frames.size()));
    putBe32(actl, plays);
    png.chunks.push_back({"acTL", actl});
    std::uint32_t seq = 0;
    if (hiddenDefault) png.chunks.push_back({"IDAT", rgbaData(width, height, defaultColour)});
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const ApngFrame& f = frames[i];
        Bytes fc;
        putBe32(fc, seq++);
        for (unsigned v : {f.w, f.h, f.x, f.y}) putBe32(fc, v);
        putBe16(fc, f.delayNum);
        putBe16(fc, f.delayDen);
        fc.push_back(f.dispose);
        fc.push_back(f.blend);
        png.chunks.push_back({"fcTL", fc});
        Bytes data = rgbaData(f.w, f.h, f.colour);
        if (i == 0 && !hiddenDefault) {
            png.chunks.push_back({"IDAT", data});
        } else {
            Bytes fd;
            putBe32(fd, seq++);
            fd.insert(fd.end(), data.begin(), data.end());
            png.chunks.push_back({"fdAT", fd});
        }
    }
    png.chunks.push_back({"IEND", {}});
    return png;
}

} // namespace testsupport
