// Fuzzes the GIF block reader (delays, loop count) and the animated GIF decoding.
#include "ui/render/AnimatedImage.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    std::span<const std::uint8_t> bytes(data, size);
    anim::GifInfo info;
    const bool read = anim::readGifInfo(bytes, info, error);
    auto image = anim::decodeGif(bytes, error);
    if (image && !read) __builtin_trap();
    if (image) {
        if (image->frames.empty() || image->frames.size() > info.delaysMs.size()) __builtin_trap();
        for (const AnimatedImage::Frame& frame : image->frames)
            if (frame.delayMs <= 0 || frame.image->width != image->width || frame.image->height != image->height)
                __builtin_trap();
    }
    return 0;
}
