// Skin image loading: finding the bytes, decoding with stb_image, and the
// conversion to premultiplied BGRA with the mask rule.
#include "ui/render/ImageRecord.h"

#include "ui/render/AnimatedImage.h"

#include "platform/system/Resources.h"
#include "ui/render/Colour.h"
#include "ui/render/SkinSource.h"

// The decoder is compiled here, with only the formats a skin uses: PNG,
// JPEG, BMP, GIF and TGA. Every skin image, whatever its name or origin,
// goes through it, and the other decoders of the library (PNM, PSD, PIC, HDR)
// have read out of bounds on crafted input; left out, such a file is simply
// not an image. Its functions stay private to this file.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
// Its internal checks must not end the program on a malformed file in debug
// builds either: a broken image is refused, whatever the build.
#define STBI_ASSERT(x) ((void)0)
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <climits>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr long long kMaxImagePixels = 32LL * 1024 * 1024;

} // namespace

// Straight RGBA rows → premultiplied BGRA. Colour bytes are scaled with a
// truncating division, so that a pixel is exactly what the skin author
// computed by hand; a pixel that then equals the mask is cleared.
std::unique_ptr<ImageRecord> imageFromRgba(const std::uint8_t* rgba, int width, int height, std::uint32_t mask) {
    auto record = std::make_unique<ImageRecord>();
    record->bitmap = platform::Surface(width, height);
    if (record->bitmap.isEmpty()) return nullptr;
    record->width = width;
    record->height = height;
    bool hasAlpha = false;
    for (int y = 0; y < height; ++y) {
        std::uint32_t* row = record->bitmap.row(y);
        const std::uint8_t* in = rgba + static_cast<std::size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x, in += 4) {
            std::uint32_t r = in[0], g = in[1], b = in[2], a = in[3];
            if (a != 255) {
                r = r * a / 255;
                g = g * a / 255;
                b = b * a / 255;
                hasAlpha = true;
            }
            std::uint32_t value = a << 24 | r << 16 | g << 8 | b;
            if (value == mask) {
                value = 0;
                hasAlpha = true;
            }
            row[x] = value;
        }
    }
    record->hasAlpha = hasAlpha;
    return record;
}

namespace {

// The library's JPEG reader trusts the symbol counts of each Huffman table:
// a table that announces more than 256 symbols is written past the end of
// its arrays. Such a file is refused before it gets there. The walk follows
// the marker segments as the reader does (by their lengths), through the
// entropy-coded data of every scan (where 0xFF is always followed by 0x00, a
// restart marker or the next marker), so tables between the scans of a
// progressive image are seen too. Only what the reader would act on matters
// here; anything else malformed is left for it to refuse.
bool jpegTablesFit(const std::uint8_t* bytes, std::size_t size, std::size_t pos) {
    // Past the end the reader sees zero bytes.
    auto at = [bytes, size](std::size_t i) -> unsigned { return i < size ? bytes[i] : 0u; };
    while (pos + 1 < size) {
        if (bytes[pos] != 0xFF) {
            ++pos; // entropy-coded data
            continue;
        }
        const unsigned marker = bytes[pos + 1];
        const bool standalone =
            marker == 0x00 || marker == 0x01 || marker == 0xFF || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7);
        if (marker == 0xD9) return true; // end of image
        if (standalone) {
            pos += marker == 0xFF ? 1 : 2;
            continue;
        }
        const std::size_t length = at(pos + 2) << 8 | at(pos + 3);
        if (marker == 0xC4) {
            // Tables follow one another while the segment lasts: class and
            // slot, 16 counts, then as many symbols as the counts add up to.
            long left = static_cast<long>(length) - 2;
            std::size_t table = pos + 4;
            while (left > 0) {
                unsigned symbols = 0;
                for (std::size_t i = 0; i < 16; ++i) symbols += at(table + 1 + i);
                if (symbols > 256) return false;
                table += 17 + symbols;
                left -= 17 + static_cast<long>(symbols);
            }
        }
        pos += 2 + length;
    }
    return true;
}

// Where a JPEG's segments begin (after its start-of-image marker, which the
// reader finds after any number of 0xFF fill bytes), or 0 when the bytes are
// no JPEG to the reader.
std::size_t jpegSegmentsStart(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2 || bytes[0] != 0xFF) return 0;
    std::size_t pos = 1;
    while (pos < size && bytes[pos] == 0xFF) ++pos;
    return pos < size && bytes[pos] == 0xD8 ? pos + 1 : 0;
}

// A PNG's empty image-data chunks carry nothing, but the decoder copies from
// a null buffer when the first one is empty (undefined behaviour). Answers a
// copy without them, or nothing when there are none (or the bytes are no
// PNG); chunks it cannot walk are left for the decoder to refuse.
std::vector<std::uint8_t> withoutEmptyImageData(const std::uint8_t* bytes, std::size_t size) {
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> copy;
    if (size < 8 || std::memcmp(bytes, kSignature, 8) != 0) return copy;
    std::size_t kept = 0; // bytes[0, kept) already judged
    for (std::size_t pos = 8; size - pos >= 12;) {
        const std::size_t length = (std::size_t{bytes[pos]} << 24) | (std::size_t{bytes[pos + 1]} << 16) |
                                   (std::size_t{bytes[pos + 2]} << 8) | bytes[pos + 3];
        if (length > size - pos - 12) break;
        if (length == 0 && std::memcmp(bytes + pos + 4, "IDAT", 4) == 0) {
            copy.insert(copy.end(), bytes + kept, bytes + pos);
            kept = pos + 12;
        }
        pos += 12 + length;
    }
    if (kept > 0) copy.insert(copy.end(), bytes + kept, bytes + size);
    return copy;
}

} // namespace

std::unique_ptr<ImageRecord> decodeImage(const std::uint8_t* bytes, std::size_t size, std::uint32_t mask) {
    if (!bytes || size == 0 || size > INT_MAX) return nullptr;
    if (const std::vector<std::uint8_t> cleaned = withoutEmptyImageData(bytes, size); !cleaned.empty())
        return decodeImage(cleaned.data(), cleaned.size(), mask);
    if (const std::size_t segments = jpegSegmentsStart(bytes, size); segments && !jpegTablesFit(bytes, size, segments))
        return nullptr;
    int width = 0, height = 0, channels = 0;
    // Refuse absurd sizes before decoding: a few header bytes can otherwise
    // ask for gigabytes. Skin images are far smaller than this.
    if (!stbi_info_from_memory(bytes, static_cast<int>(size), &width, &height, &channels)) return nullptr;
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > kMaxImagePixels) return nullptr;
    stbi_uc* rgba = stbi_load_from_memory(bytes, static_cast<int>(size), &width, &height, &channels, 4);
    if (!rgba) return nullptr;
    std::unique_ptr<ImageRecord> record;
    if (width > 0 && height > 0) record = imageFromRgba(rgba, width, height, mask);
    stbi_image_free(rgba);
    return record;
}

bool readImageBytes(const ImageSource& source, const wchar_t* type, std::vector<std::uint8_t>& bytes) {
    std::wstring_view typeText = type ? std::wstring_view(type) : std::wstring_view();
    bytes.clear();
    bool found = false;
    if (!typeText.empty()) {
        std::span<const std::uint8_t> resource =
            source.byId ? platform::findResource(typeText, source.id) : platform::findResource(typeText, source.name);
        if (!resource.empty()) {
            bytes.assign(resource.begin(), resource.end());
            found = true;
        }
    } else if (!source.byId) {
        if (skinsource::archiveIsSet())
            found = skinsource::readArchiveEntry(source.name, bytes) == skinsource::ReadStatus::Ok;
        else
            found = skinsource::readFile(source.name, bytes) == skinsource::ReadStatus::Ok;
    }
    if (!found && !source.byId && !source.name.empty())
        found = skinsource::readFile(source.name, bytes) == skinsource::ReadStatus::Ok;
    return found && !bytes.empty();
}

std::unique_ptr<ImageRecord> loadImage(const ImageSource& source, const wchar_t* type, std::uint32_t mask) {
    std::wstring_view typeText = type ? std::wstring_view(type) : std::wstring_view();
    if (typeText == kColourImageType) {
        if (source.byId) return nullptr;
        platform::Argb colour = render::parseColour(source.name);
        std::uint8_t rgba[4] = {static_cast<std::uint8_t>(colour >> 16), static_cast<std::uint8_t>(colour >> 8),
                                static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(colour >> 24)};
        return imageFromRgba(rgba, 1, 1, mask);
    }
    std::vector<std::uint8_t> bytes;
    if (!readImageBytes(source, type, bytes)) return nullptr;
    return decodeImage(bytes.data(), bytes.size(), mask);
}

// --- Decoder access for animations ---

namespace anim::detail {

std::vector<std::uint8_t> decodeRgba(std::span<const std::uint8_t> bytes, int& width, int& height) {
    width = height = 0;
    if (bytes.empty() || bytes.size() > INT_MAX) return {};
    const int size = static_cast<int>(bytes.size());
    int channels = 0;
    if (!stbi_info_from_memory(bytes.data(), size, &width, &height, &channels)) return {};
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > kMaxImagePixels) return {};
    stbi_uc* rgba = stbi_load_from_memory(bytes.data(), size, &width, &height, &channels, 4);
    if (!rgba) return {};
    std::vector<std::uint8_t> out(rgba, rgba + static_cast<std::size_t>(width) * height * 4);
    stbi_image_free(rgba);
    return out;
}

int decodeGifFrames(std::span<const std::uint8_t> bytes, int& width, int& height, int most,
                    const std::function<bool(const std::uint8_t*)>& take) {
    width = height = 0;
    if (bytes.empty() || bytes.size() > INT_MAX) return 0;
    // Frame by frame through the decoder's own step, never with a picture
    // before last: its whole-file loader passes one that points into memory
    // it has already freed once its buffer grew. Without one, "restore
    // previous" falls back to "restore background". The delays are read by
    // our own extension reader, which scopes each graphic control block to
    // the one image it precedes.
    stbi__context context;
    stbi__start_mem(&context, bytes.data(), static_cast<int>(bytes.size()));
    stbi__gif gif;
    std::memset(&gif, 0, sizeof gif);
    int channels = 0, taken = 0;
    while (taken < most) {
        stbi_uc* frame = stbi__gif_load_next(&context, &gif, &channels, 4, nullptr);
        if (!frame || frame == reinterpret_cast<stbi_uc*>(&context)) break; // an error, or the end
        width = gif.w;
        height = gif.h;
        if (width <= 0 || height <= 0 || !take(frame)) break;
        ++taken;
    }
    STBI_FREE(gif.out);
    STBI_FREE(gif.history);
    STBI_FREE(gif.background);
    return taken;
}

} // namespace anim::detail
