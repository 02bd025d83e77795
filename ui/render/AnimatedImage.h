// Animated skin images: every frame of a GIF or an animated PNG decoded and
// composed in advance, with its delay and the file's loop count, and the
// readers of the animation data the image decoder does not report.
#pragma once

#include "ui/render/ImageRecord.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

// A delay of zero in the file is shown this long.
inline constexpr int kZeroFrameDelayMs = 100;

// One decoded animation. Every frame is a whole picture of the animation's
// size (disposal and blending already applied). Immutable once made; shared
// by the controls showing it.
struct AnimatedImage {
    struct Frame {
        std::unique_ptr<ImageRecord> image; // premultiplied BGRA, width × height
        int delayMs = kZeroFrameDelayMs;    // never 0
    };
    int width = 0;
    int height = 0;
    std::vector<Frame> frames; // at least one
    // How many times the frames are played through; 0 = without end.
    int plays = 1;
};

using AnimationHandle = std::shared_ptr<const AnimatedImage>;

namespace anim {

// Decoding limits: far above any skin animation, low enough that a few
// header bytes cannot make the decoder allocate gigabytes.
inline constexpr int kMaxFrames = 1024;
inline constexpr long long kMaxSidePixels = 8192;
inline constexpr long long kMaxTotalPixels = 16LL * 1024 * 1024; // all frames together

// --- GIF ---

// What a GIF says about its animation beside the pixels: canvas size, one
// delay per image (graphic control extension, centiseconds → ms, zero → 100)
// and the loop count of the looping application extension.
struct GifInfo {
    int width = 0;
    int height = 0;
    std::vector<int> delaysMs; // one per image
    // The extension's repetition count: -1 when the file has none (played
    // once), 0 for endless, N for N repetitions after the first play.
    int loopCount = -1;
    // Where the fields byte of each graphic control block asking to restore
    // the previous picture lies in the file.
    std::vector<std::size_t> restorePreviousAt;
};

// Walks the GIF block structure (header, screen descriptor, colour tables,
// extensions, image descriptors and their data sub-blocks, trailer). Strict:
// anything malformed, an image outside the canvas, more than kMaxFrames
// images or a truncated block fails with a reason in `error`. A file that
// ends exactly where the next block would begin is taken as complete (many
// writers leave out the trailer).
bool readGifInfo(std::span<const std::uint8_t> bytes, GifInfo& info, std::string& error);

// Every frame of a GIF, composed by the image decoder; delays and loops from
// readGifInfo. Null (with a reason) when the file is refused.
std::unique_ptr<AnimatedImage> decodeGif(std::span<const std::uint8_t> bytes, std::string& error);

// --- Animated PNG ---

// The animation chunks of a PNG, checked: every chunk's CRC, the sequence
// numbers of frame controls and frame data (0, 1, 2, ... in file order),
// frame regions inside the canvas, operations known, the frame count of the
// animation control equal to the frames present. `frames` holds each frame's
// control and its compressed data (from IDAT for a frame whose control comes
// before the image data, else from its fdAT chunks).
struct ApngFrameControl {
    std::uint32_t width = 0, height = 0, x = 0, y = 0;
    std::uint16_t delayNum = 0, delayDen = 0;
    std::uint8_t dispose = 0; // 0 none, 1 background, 2 previous
    std::uint8_t blend = 0;   // 0 source, 1 over
};
struct ApngInfo {
    std::uint32_t width = 0, height = 0;
    bool animated = false; // an animation control chunk is present
    std::uint32_t plays = 0;
    // Where the header and the chunks a frame's pixels need (palette,
    // transparency) lie in the file (valid while its bytes are): copied into
    // each frame's own PNG.
    std::vector<std::span<const std::uint8_t>> headerChunks;
    struct Frame {
        ApngFrameControl control;
        std::vector<std::uint8_t> data; // the frame's compressed image data
    };
    std::vector<Frame> frames;
    // The default image (IDAT) is not one of the frames.
    bool defaultImageHidden = false;
    // The default image's compressed data when it is not frame 0 (every
    // IDAT of a still PNG, or the hidden default image).
    std::vector<std::uint8_t> imageData;
};

// Reads the chunk structure of a PNG. Strict and bounded as described above;
// false with a reason in `error`. A PNG without an animation control reads
// as not animated (no frames).
bool readApng(std::span<const std::uint8_t> bytes, ApngInfo& info, std::string& error);

// A frame's delay in milliseconds: numerator / denominator seconds, a zero
// denominator meaning 100; zero becomes kZeroFrameDelayMs.
int apngDelayMs(std::uint16_t num, std::uint16_t den);

// Decodes and composes every frame of an animated PNG (each frame drawn at
// its place with its blend operation, then disposed as it says before the
// next). A PNG without animation is one frame. Null with a reason when refused.
std::unique_ptr<AnimatedImage> decodeApng(std::span<const std::uint8_t> bytes, std::string& error);

// --- Any skin image ---

// An animation from encoded bytes, by content: GIF and PNG (animated or not)
// as above, any other image the decoder knows as a single frame.
std::unique_ptr<AnimatedImage> decodeAnimation(std::span<const std::uint8_t> bytes, std::string& error);

// Finds the bytes the way skin images are found (see loadImage) and decodes
// them. Null with a reason when not found or refused.
std::unique_ptr<AnimatedImage> loadAnimation(const ImageSource& source, const wchar_t* type, std::string& error);

} // namespace anim

// --- Decoder access (implemented beside the image decoder) ---
namespace anim::detail {

// Decodes a GIF and hands each frame the decoder composes (straight RGBA,
// width × height) to `take`, at most `most` of them, in order, stopping when
// `take` answers false. Returns the number taken (0 when the decoder fails).
// Not for use outside ui/render.
int decodeGifFrames(std::span<const std::uint8_t> bytes, int& width, int& height, int most,
                    const std::function<bool(const std::uint8_t*)>& take);
// A still image as straight RGBA rows; empty when it does not decode.
std::vector<std::uint8_t> decodeRgba(std::span<const std::uint8_t> bytes, int& width, int& height);

} // namespace anim::detail
