// Fuzzes the program icon reader: the icon group and icon resources of a PE
// image, and the decoding of the bitmap image it picks.
#include "platform/signature/PeFile.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    std::size_t sink = 0;
    if (const auto icon = platform::pe::readLargestIcon(input)) {
        sink += icon->data.size();
        if (const auto pixels = platform::pe::decodeIconBitmap(*icon)) {
            if (pixels->size() != static_cast<std::size_t>(icon->width) * icon->height) __builtin_trap();
            for (std::uint32_t p : *pixels) sink += p;
        }
    }
    return sink == static_cast<std::size_t>(-1); // keeps the results alive
}
