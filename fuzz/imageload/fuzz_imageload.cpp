// Fuzzes image decoding and the conversion to premultiplied pixels.
#include "ui/render/ImageRecord.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto image = decodeImage(data, size, 0xFFFF00FF);
    if (image && image->bitmap.pixel(image->width - 1, image->height - 1) == 0x12345678u) return 0;
    return 0;
}
