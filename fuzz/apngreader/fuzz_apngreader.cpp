// Fuzzes the animated PNG chunk reader and the frame composition.
#include "ui/render/AnimatedImage.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    std::span<const std::uint8_t> bytes(data, size);
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
