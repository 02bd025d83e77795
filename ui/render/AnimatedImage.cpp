// GIF animations: the block reader that finds frame delays and the loop
// count, the frames from the image decoder, and loading any skin image as
// an animation.
#include "ui/render/AnimatedImage.h"

#include <algorithm>
#include <cstring>

namespace anim {
namespace {

// A bounded little-endian reader over the file.
class Bytes {
public:
    explicit Bytes(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    bool atEnd() const { return m_pos >= m_bytes.size(); }
    std::size_t left() const { return m_bytes.size() - m_pos; }
    std::size_t position() const { return m_pos; }
    bool byte(std::uint8_t& out) {
        if (atEnd()) return false;
        out = m_bytes[m_pos++];
        return true;
    }
    bool word(int& out) {
        if (left() < 2) return false;
        out = m_bytes[m_pos] | m_bytes[m_pos + 1] << 8;
        m_pos += 2;
        return true;
    }
    bool skip(std::size_t n) {
        if (left() < n) return false;
        m_pos += n;
        return true;
    }
    std::span<const std::uint8_t> take(std::size_t n) {
        if (left() < n) return {};
        auto out = m_bytes.subspan(m_pos, n);
        m_pos += n;
        return out;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

// Skips data sub-blocks up to and including the zero-length terminator.
bool skipSubBlocks(Bytes& in) {
    for (;;) {
        std::uint8_t size = 0;
        if (!in.byte(size)) return false;
        if (size == 0) return true;
        if (!in.skip(size)) return false;
    }
}

bool fail(std::string& error, const char* why) {
    error = why;
    return false;
}

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

} // namespace

// --- GIF block reader ---

bool readGifInfo(std::span<const std::uint8_t> bytes, GifInfo& info, std::string& error) {
    info = {};
    Bytes in(bytes);
    std::span<const std::uint8_t> header = in.take(6);
    if (header.empty() ||
        (std::memcmp(header.data(), "GIF87a", 6) != 0 && std::memcmp(header.data(), "GIF89a", 6) != 0))
        return fail(error, "not a GIF");
    std::uint8_t packed = 0;
    if (!in.word(info.width) || !in.word(info.height) || !in.byte(packed) || !in.skip(2))
        return fail(error, "truncated screen descriptor");
    if (info.width <= 0 || info.height <= 0 || info.width > kMaxSidePixels || info.height > kMaxSidePixels)
        return fail(error, "canvas size out of range");
    if ((packed & 0x80) && !in.skip(3u << ((packed & 7) + 1))) return fail(error, "truncated colour table");

    int pendingDelay = -1; // from a graphic control extension, for the next image
    for (;;) {
        std::uint8_t introducer = 0;
        // Ending where a block would begin: the trailer is missing, nothing else.
        if (!in.byte(introducer)) break;
        if (introducer == 0x3B) break;
        if (introducer == 0x21) {
            std::uint8_t label = 0, size = 0;
            if (!in.byte(label) || !in.byte(size)) return fail(error, "truncated extension");
            if (label == 0xF9) {
                // Graphic control: packed fields, delay, transparent index.
                int delay = 0;
                std::uint8_t fields = 0;
                if (size != 4) return fail(error, "bad graphic control block");
                const std::size_t fieldsAt = in.position();
                if (!in.byte(fields) || !in.word(delay) || !in.skip(1)) return fail(error, "truncated graphic control");
                pendingDelay = delay;
                if ((fields >> 2 & 7) == 3) info.restorePreviousAt.push_back(fieldsAt);
            } else if (label == 0xFF && size == 11) {
                std::span<const std::uint8_t> id = in.take(11);
                if (id.empty()) return fail(error, "truncated application extension");
                const bool looping =
                    std::memcmp(id.data(), "NETSCAPE2.0", 11) == 0 || std::memcmp(id.data(), "ANIMEXTS1.0", 11) == 0;
                if (looping) {
                    // Sub-block 1 holds the repetition count; others are skipped.
                    std::uint8_t subSize = 0, subId = 0;
                    int count = 0;
                    if (!in.byte(subSize)) return fail(error, "truncated application extension");
                    if (subSize == 0) continue;
                    if (subSize >= 3 && in.left() >= subSize) {
                        if (!in.byte(subId) || !in.word(count)) return fail(error, "truncated loop block");
                        if (subId == 1) info.loopCount = count;
                        if (!in.skip(subSize - 3u)) return fail(error, "truncated loop block");
                    } else if (!in.skip(subSize)) {
                        return fail(error, "truncated loop block");
                    }
                }
            } else if (!in.skip(size)) {
                return fail(error, "truncated extension");
            }
            if (!skipSubBlocks(in)) return fail(error, "truncated extension data");
        } else if (introducer == 0x2C) {
            int left = 0, top = 0, w = 0, h = 0;
            std::uint8_t imagePacked = 0, codeSize = 0;
            if (!in.word(left) || !in.word(top) || !in.word(w) || !in.word(h) || !in.byte(imagePacked))
                return fail(error, "truncated image descriptor");
            if (w <= 0 || h <= 0 || left + w > info.width || top + h > info.height)
                return fail(error, "image outside the canvas");
            if ((imagePacked & 0x80) && !in.skip(3u << ((imagePacked & 7) + 1)))
                return fail(error, "truncated colour table");
            if (!in.byte(codeSize) || codeSize < 2 || codeSize > 11) return fail(error, "bad code size");
            if (!skipSubBlocks(in)) return fail(error, "truncated image data");
            if (static_cast<int>(info.delaysMs.size()) >= kMaxFrames) return fail(error, "too many frames");
            info.delaysMs.push_back(pendingDelay > 0 ? pendingDelay * 10 : kZeroFrameDelayMs);
            pendingDelay = -1;
        } else {
            return fail(error, "unknown block");
        }
    }
    if (info.delaysMs.empty()) return fail(error, "no image");
    if (static_cast<long long>(info.width) * info.height * static_cast<long long>(info.delaysMs.size()) >
        kMaxTotalPixels)
        return fail(error, "animation too large");
    return true;
}

std::unique_ptr<AnimatedImage> decodeGif(std::span<const std::uint8_t> bytes, std::string& error) {
    GifInfo info;
    if (!readGifInfo(bytes, info, error)) return nullptr;
    // "Restore previous" reaches the decoder as "restore background". Its own
    // handling of the former reads the picture before last through a pointer
    // that is wrong (once its buffer has grown, into freed memory); its
    // handling of the latter puts back, pixel for pixel, what the frame
    // covered before it was drawn, which is what "restore previous" asks.
    std::vector<std::uint8_t> patched;
    if (!info.restorePreviousAt.empty()) {
        patched.assign(bytes.begin(), bytes.end());
        for (std::size_t at : info.restorePreviousAt)
            patched[at] = static_cast<std::uint8_t>((patched[at] & ~0x1Cu) | 2u << 2);
        bytes = patched;
    }
    auto out = std::make_unique<AnimatedImage>();
    out->plays = info.loopCount < 0 ? 1 : info.loopCount == 0 ? 0 : info.loopCount + 1;
    int width = 0, height = 0;
    // The decoder stops at the first image it cannot read: what it read is shown.
    const int count = detail::decodeGifFrames(
        bytes, width, height, static_cast<int>(info.delaysMs.size()), [&](const std::uint8_t* rgba) {
            if (width != info.width || height != info.height) return false;
            std::unique_ptr<ImageRecord> image = imageFromRgba(rgba, width, height, 0);
            if (!image) return false;
            out->frames.push_back({std::move(image), info.delaysMs[out->frames.size()]});
            return true;
        });
    if (count == 0 || out->frames.empty()) {
        error = "the image data does not decode";
        return nullptr;
    }
    out->width = width;
    out->height = height;
    return out;
}

// --- Any image ---

std::unique_ptr<AnimatedImage> decodeAnimation(std::span<const std::uint8_t> bytes, std::string& error) {
    if (bytes.size() >= 6 &&
        (std::memcmp(bytes.data(), "GIF87a", 6) == 0 || std::memcmp(bytes.data(), "GIF89a", 6) == 0))
        return decodeGif(bytes, error);
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0) return decodeApng(bytes, error);
    std::unique_ptr<ImageRecord> still = decodeImage(bytes.data(), bytes.size(), 0);
    if (!still) {
        error = "not an image";
        return nullptr;
    }
    auto out = std::make_unique<AnimatedImage>();
    out->width = still->width;
    out->height = still->height;
    out->frames.push_back({std::move(still), kZeroFrameDelayMs});
    return out;
}

std::unique_ptr<AnimatedImage> loadAnimation(const ImageSource& source, const wchar_t* type, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!readImageBytes(source, type, bytes)) {
        error = "not found";
        return nullptr;
    }
    return decodeAnimation(bytes, error);
}

} // namespace anim
