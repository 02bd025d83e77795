// Animated PNG: the chunk reader (animation control, frame control, frame
// data; CRCs and sequence numbers checked) and the composition of the frames
// with their blend and dispose operations.
#include "ui/render/AnimatedImage.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace anim {
namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFFu;

enum Dispose : std::uint8_t { DisposeNone = 0, DisposeBackground = 1, DisposePrevious = 2 };
enum Blend : std::uint8_t { BlendSource = 0, BlendOver = 1 };

std::uint32_t be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

void putBe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint32_t crcOf(const std::uint8_t* p, std::size_t n) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes the length as a 32-bit count: feed long data in pieces.
    while (n > 0) {
        const uInt piece = static_cast<uInt>(std::min<std::size_t>(n, 1u << 30));
        crc = crc32(crc, p, piece);
        p += piece;
        n -= piece;
    }
    return static_cast<std::uint32_t>(crc);
}

void appendChunk(std::vector<std::uint8_t>& out, const char* type, std::span<const std::uint8_t> data) {
    putBe32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBe32(out, crcOf(out.data() + typeAt, 4 + data.size()));
}

bool fail(std::string& error, const char* why) {
    error = why;
    return false;
}

bool isLetter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool typeIs(const std::uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

bool readFrameControl(const std::uint8_t* d, const ApngInfo& info, ApngFrameControl& fc, std::string& error) {
    fc.width = be32(d + 4);
    fc.height = be32(d + 8);
    fc.x = be32(d + 12);
    fc.y = be32(d + 16);
    fc.delayNum = be16(d + 20);
    fc.delayDen = be16(d + 22);
    fc.dispose = d[24];
    fc.blend = d[25];
    if (fc.width == 0 || fc.height == 0) return fail(error, "empty frame");
    if (static_cast<std::uint64_t>(fc.x) + fc.width > info.width ||
        static_cast<std::uint64_t>(fc.y) + fc.height > info.height)
        return fail(error, "frame outside the canvas");
    if (fc.dispose > DisposePrevious || fc.blend > BlendOver) return fail(error, "unknown frame operation");
    return true;
}

} // namespace

int apngDelayMs(std::uint16_t num, std::uint16_t den) {
    const int denominator = den == 0 ? 100 : den;
    const int ms = static_cast<int>(static_cast<long long>(num) * 1000 / denominator);
    return ms > 0 ? ms : kZeroFrameDelayMs;
}

// --- Chunk reader ---

bool readApng(std::span<const std::uint8_t> bytes, ApngInfo& info, std::string& error) {
    info = {};
    if (bytes.size() < 8 || std::memcmp(bytes.data(), kSignature, 8) != 0) return fail(error, "not a PNG");
    std::size_t pos = 8;
    std::uint32_t expectedFrames = 0;
    std::uint32_t nextSequence = 0;
    bool seenHeader = false, seenImageData = false, imageDataEnded = false, seenEnd = false;
    // The frame the next image data belongs to: -1 none.
    int open = -1;
    while (!seenEnd) {
        if (bytes.size() - pos < 12) return fail(error, "truncated chunk");
        const std::uint8_t* head = bytes.data() + pos;
        const std::uint32_t length = be32(head);
        const std::uint8_t* type = head + 4;
        if (length > kMaxChunkLength || bytes.size() - pos - 12 < length) return fail(error, "truncated chunk");
        const std::uint8_t* data = head + 8;
        if (be32(data + length) != crcOf(type, 4 + static_cast<std::size_t>(length)))
            return fail(error, "chunk checksum mismatch");
        std::span<const std::uint8_t> whole(head, 12 + static_cast<std::size_t>(length));
        pos += whole.size();
        for (int i = 0; i < 4; ++i)
            if (!isLetter(type[i])) return fail(error, "bad chunk type");

        if (!seenHeader && !typeIs(type, "IHDR")) return fail(error, "header chunk missing");
        const bool isImageData = typeIs(type, "IDAT");
        if (seenImageData && !isImageData) imageDataEnded = true;

        if (typeIs(type, "IHDR")) {
            if (seenHeader || length != 13) return fail(error, "bad header chunk");
            seenHeader = true;
            info.width = be32(data);
            info.height = be32(data + 4);
            if (info.width == 0 || info.height == 0 || info.width > kMaxSidePixels || info.height > kMaxSidePixels)
                return fail(error, "canvas size out of range");
            info.headerChunks.push_back(whole);
        } else if (typeIs(type, "PLTE") || typeIs(type, "tRNS")) {
            if (seenImageData) return fail(error, "palette after image data");
            info.headerChunks.push_back(whole);
        } else if (typeIs(type, "acTL")) {
            if (info.animated || seenImageData || length != 8) return fail(error, "bad animation control");
            info.animated = true;
            expectedFrames = be32(data);
            info.plays = be32(data + 4);
            if (expectedFrames == 0 || expectedFrames > static_cast<std::uint32_t>(kMaxFrames))
                return fail(error, "frame count out of range");
            if (static_cast<long long>(info.width) * info.height * expectedFrames > kMaxTotalPixels)
                return fail(error, "animation too large");
        } else if (typeIs(type, "fcTL")) {
            if (!info.animated) return fail(error, "frame control without animation control");
            if (length != 26) return fail(error, "bad frame control");
            if (be32(data) != nextSequence++) return fail(error, "sequence number out of order");
            if (info.frames.size() >= expectedFrames) return fail(error, "more frames than announced");
            if (open >= 0 && info.frames[static_cast<std::size_t>(open)].data.empty())
                return fail(error, "frame without image data");
            ApngInfo::Frame frame;
            if (!readFrameControl(data, info, frame.control, error)) return false;
            // The control of the default image describes the whole canvas.
            if (!seenImageData && (frame.control.x != 0 || frame.control.y != 0 || frame.control.width != info.width ||
                                   frame.control.height != info.height))
                return fail(error, "first frame does not cover the canvas");
            info.frames.push_back(std::move(frame));
            open = static_cast<int>(info.frames.size()) - 1;
        } else if (isImageData) {
            if (imageDataEnded) return fail(error, "image data split by other chunks");
            // Only a frame control before the default image makes it a frame.
            if (!seenImageData && info.animated && info.frames.empty()) info.defaultImageHidden = true;
            seenImageData = true;
            auto& target = info.animated && !info.defaultImageHidden ? info.frames[0].data : info.imageData;
            target.insert(target.end(), data, data + length);
        } else if (typeIs(type, "fdAT")) {
            if (length < 4) return fail(error, "bad frame data");
            if (be32(data) != nextSequence++) return fail(error, "sequence number out of order");
            if (!seenImageData || open < 0 || (open == 0 && !info.defaultImageHidden))
                return fail(error, "frame data without its frame control");
            auto& target = info.frames[static_cast<std::size_t>(open)].data;
            target.insert(target.end(), data + 4, data + length);
        } else if (typeIs(type, "IEND")) {
            seenEnd = true;
        } else if (type[0] >= 'A' && type[0] <= 'Z') {
            return fail(error, "unknown critical chunk");
        }
    }
    if (!seenImageData || (info.imageData.empty() && (info.frames.empty() || info.frames[0].data.empty())))
        return fail(error, "no image data");
    if (info.animated) {
        if (info.frames.size() != expectedFrames) return fail(error, "fewer frames than announced");
        for (const ApngInfo::Frame& frame : info.frames)
            if (frame.data.empty()) return fail(error, "frame without image data");
    }
    return true;
}

// --- Composition ---

namespace {

// Source over destination, straight (not premultiplied) alpha.
void blendOver(std::uint8_t* dst, const std::uint8_t* src) {
    const unsigned sa = src[3];
    if (sa == 255) {
        std::memcpy(dst, src, 4);
        return;
    }
    if (sa == 0) return;
    const unsigned da = dst[3];
    const unsigned u = sa * 255;
    const unsigned v = (255 - sa) * da;
    const unsigned total = u + v;
    for (int c = 0; c < 3; ++c) dst[c] = static_cast<std::uint8_t>((src[c] * u + dst[c] * v) / total);
    dst[3] = static_cast<std::uint8_t>(total / 255);
}

// The frame's own PNG: the header with the frame's size, the palette and
// transparency chunks, its image data and the end.
std::vector<std::uint8_t> framePng(const ApngInfo& info, const ApngInfo::Frame& frame) {
    std::vector<std::uint8_t> png(kSignature, kSignature + 8);
    for (std::span<const std::uint8_t> chunk : info.headerChunks) {
        if (typeIs(chunk.data() + 4, "IHDR")) {
            std::vector<std::uint8_t> header(chunk.data() + 8, chunk.data() + 8 + 13);
            for (int i = 0; i < 4; ++i) {
                header[i] = static_cast<std::uint8_t>(frame.control.width >> (24 - 8 * i));
                header[4 + i] = static_cast<std::uint8_t>(frame.control.height >> (24 - 8 * i));
            }
            appendChunk(png, "IHDR", header);
        } else {
            png.insert(png.end(), chunk.begin(), chunk.end());
        }
    }
    // One chunk holds at most 2^31 - 1 bytes; frame data is far below (it came from the file).
    appendChunk(png, "IDAT", frame.data);
    appendChunk(png, "IEND", {});
    return png;
}

} // namespace

std::unique_ptr<AnimatedImage> decodeApng(std::span<const std::uint8_t> bytes, std::string& error) {
    ApngInfo info;
    if (!readApng(bytes, info, error)) return nullptr;
    auto out = std::make_unique<AnimatedImage>();
    out->width = static_cast<int>(info.width);
    out->height = static_cast<int>(info.height);
    if (!info.animated) {
        // Decoded from the file's image data in one chunk, as the frames are.
        ApngInfo::Frame whole;
        whole.control.width = info.width;
        whole.control.height = info.height;
        whole.data = std::move(info.imageData);
        int w = 0, h = 0;
        std::vector<std::uint8_t> pixels = detail::decodeRgba(framePng(info, whole), w, h);
        std::unique_ptr<ImageRecord> still;
        if (!pixels.empty() && w == out->width && h == out->height) still = imageFromRgba(pixels.data(), w, h, 0);
        if (!still) {
            error = "the image data does not decode";
            return nullptr;
        }
        out->frames.push_back({std::move(still), kZeroFrameDelayMs});
        return out;
    }
    out->plays = static_cast<int>(std::min<std::uint32_t>(info.plays, INT_MAX));

    const std::size_t canvasWidth = info.width;
    std::vector<std::uint8_t> canvas(canvasWidth * info.height * 4, 0);
    std::vector<std::uint8_t> saved;
    for (std::size_t i = 0; i < info.frames.size(); ++i) {
        const ApngInfo::Frame& frame = info.frames[i];
        const ApngFrameControl& fc = frame.control;
        int w = 0, h = 0;
        std::vector<std::uint8_t> pixels = detail::decodeRgba(framePng(info, frame), w, h);
        if (pixels.empty() || static_cast<std::uint32_t>(w) != fc.width || static_cast<std::uint32_t>(h) != fc.height) {
            error = "frame image data does not decode";
            return nullptr;
        }
        const std::size_t rowBytes = static_cast<std::size_t>(fc.width) * 4;
        auto canvasRow = [&](std::uint32_t y) { return canvas.data() + ((fc.y + y) * canvasWidth + fc.x) * 4; };
        // The first frame has nothing before it to go back to.
        const std::uint8_t dispose =
            i == 0 && fc.dispose == DisposePrevious ? std::uint8_t{DisposeBackground} : fc.dispose;
        if (dispose == DisposePrevious) {
            saved.resize(rowBytes * fc.height);
            for (std::uint32_t y = 0; y < fc.height; ++y)
                std::memcpy(saved.data() + y * rowBytes, canvasRow(y), rowBytes);
        }
        for (std::uint32_t y = 0; y < fc.height; ++y) {
            std::uint8_t* dst = canvasRow(y);
            const std::uint8_t* src = pixels.data() + y * rowBytes;
            if (fc.blend == BlendSource)
                std::memcpy(dst, src, rowBytes);
            else
                for (std::uint32_t x = 0; x < fc.width; ++x) blendOver(dst + x * 4, src + x * 4);
        }
        std::unique_ptr<ImageRecord> image = imageFromRgba(canvas.data(), out->width, out->height, 0);
        if (!image) {
            error = "out of memory";
            return nullptr;
        }
        out->frames.push_back({std::move(image), apngDelayMs(fc.delayNum, fc.delayDen)});
        if (dispose == DisposeBackground)
            for (std::uint32_t y = 0; y < fc.height; ++y) std::memset(canvasRow(y), 0, rowBytes);
        else if (dispose == DisposePrevious)
            for (std::uint32_t y = 0; y < fc.height; ++y)
                std::memcpy(canvasRow(y), saved.data() + y * rowBytes, rowBytes);
    }
    return out;
}

} // namespace anim
