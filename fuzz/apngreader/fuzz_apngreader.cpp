// Fuzzes the animated PNG chunk reader and the frame composition. Chunk
// checksums are made right before the reader sees the input, so that mutated
// chunks reach the checks behind the checksum (a wrong one is refused first;
// the unit tests cover that refusal).
#include "ui/render/AnimatedImage.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void fixChecksums(std::vector<std::uint8_t>& b) {
    std::size_t pos = 8;
    while (b.size() >= 12 && pos <= b.size() - 12) {
        const std::size_t length =
            static_cast<std::size_t>(b[pos]) << 24 | b[pos + 1] << 16 | b[pos + 2] << 8 | b[pos + 3];
        if (length > b.size() - pos - 12) return;
        const uLong crc = crc32(0L, b.data() + pos + 4, static_cast<uInt>(4 + length));
        for (int i = 0; i < 4; ++i) b[pos + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        pos += 12 + length;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> copy(data, data + size);
    fixChecksums(copy);
    std::string error;
    std::span<const std::uint8_t> bytes(copy.data(), copy.size());
    anim::ApngInfo info;
    const bool read = anim::readApng(bytes, info, error);
    auto image = anim::decodeApng(bytes, error);
    // Whatever the reader refuses is never decoded.
    if (image && !read) __builtin_trap();
    if (image) {
        for (const AnimatedImage::Frame& frame : image->frames)
            if (frame.delayMs <= 0 || frame.image->width != image->width || frame.image->height != image->height)
                __builtin_trap();
        const ImageRecord& last = *image->frames.back().image;
        if (last.bitmap.pixel(last.width - 1, last.height - 1) == 0x12345678u) return 0;
    }
    return 0;
}
