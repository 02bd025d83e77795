// Animated images: the composition of animated PNG frames (blend and dispose
// operations) against pixel expectations, the chunk reader's refusals, GIF
// delays and loop counts, and decoding through the image decoder.
#include "tests/ui/render/AnimationFiles.h"
#include "ui/render/AnimatedImage.h"
#include "ui/render/ImageRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace testsupport;

// Straight RGBA colours of the fixtures (0xRRGGBBAA) and how a frame shows
// them (premultiplied 0xAARRGGBB).
constexpr Rgba kRed = 0xFF0000FF, kBlue = 0x0000FFFF, kHalfGreen = 0x00FF0080;
constexpr std::uint32_t kShownRed = 0xFFFF0000, kShownBlue = 0xFF0000FF, kShownHalfGreen = 0x80008000,
                        kHalfGreenOverRed = 0xFF7F8000, kNothing = 0;
constexpr std::uint8_t kNone = 0, kBackground = 1, kPrevious = 2, kSource = 0, kOver = 1;

std::span<const std::uint8_t> span(const Bytes& b) { return {b.data(), b.size()}; }

struct PixelCheck {
    int frame, x, y;
    std::uint32_t expected;
};

struct CompositionCase {
    const char* name;
    std::vector<ApngFrame> frames;
    std::vector<PixelCheck> checks;
    bool hiddenDefault = false;
};

// Every case draws on a 4 × 4 canvas.
const CompositionCase kCompositionCases[] = {
    {"over blends with what the frame before left",
     {{0, 0, 4, 4, kRed, kNone, kSource}, {1, 1, 2, 2, kHalfGreen, kNone, kOver}},
     {{0, 1, 1, kShownRed},
      {1, 1, 1, kHalfGreenOverRed},
      {1, 2, 2, kHalfGreenOverRed},
      {1, 0, 0, kShownRed},
      {1, 3, 3, kShownRed}}},
    {"source replaces, transparency included",
     {{0, 0, 4, 4, kRed, kNone, kSource}, {1, 1, 2, 2, kHalfGreen, kNone, kSource}},
     {{1, 1, 1, kShownHalfGreen}, {1, 0, 0, kShownRed}}},
    {"over a cleared canvas is the frame itself",
     {{0, 0, 4, 4, kRed, kBackground, kSource}, {0, 0, 1, 1, kHalfGreen, kNone, kOver}},
     {{1, 0, 0, kShownHalfGreen}, {1, 3, 3, kNothing}}},
    {"background clears only the frame's own region",
     {{0, 0, 4, 4, kRed, kNone, kSource}, {0, 0, 2, 2, kBlue, kBackground, kSource}, {3, 3, 1, 1, kBlue, kNone, kOver}},
     {{1, 0, 0, kShownBlue}, {2, 0, 0, kNothing}, {2, 1, 1, kNothing}, {2, 2, 2, kShownRed}, {2, 3, 3, kShownBlue}}},
    {"previous restores what was under the frame",
     {{0, 0, 4, 4, kRed, kNone, kSource},
      {2, 2, 2, 2, kBlue, kPrevious, kSource},
      {0, 0, 1, 1, kHalfGreen, kNone, kOver}},
     {{1, 3, 3, kShownBlue}, {2, 3, 3, kShownRed}, {2, 0, 0, kHalfGreenOverRed}}},
    {"previous on the first frame clears like background",
     {{0, 0, 4, 4, kRed, kPrevious, kSource}, {0, 0, 1, 1, kBlue, kNone, kOver}},
     {{0, 3, 3, kShownRed}, {1, 0, 0, kShownBlue}, {1, 3, 3, kNothing}}},
    {"previous goes back past a disposed frame to the one kept",
     {{0, 0, 4, 4, kRed, kNone, kSource},
      {0, 0, 2, 2, kBlue, kNone, kSource},
      {0, 0, 4, 4, kHalfGreen, kPrevious, kSource},
      {3, 3, 1, 1, kBlue, kNone, kOver}},
     {{2, 0, 0, kShownHalfGreen}, {3, 0, 0, kShownBlue}, {3, 2, 2, kShownRed}, {3, 3, 3, kShownBlue}}},
    {"a default image before the first frame control is not shown",
     {{0, 0, 4, 4, kRed, kNone, kSource}, {0, 0, 1, 1, kHalfGreen, kNone, kOver}},
     {{0, 0, 0, kShownRed}, {1, 0, 0, kHalfGreenOverRed}},
     /*hiddenDefault=*/true},
};

TEST(AnimatedImage, ApngFramesAreComposedWithTheirOperations) {
    for (const CompositionCase& c : kCompositionCases) {
        SCOPED_TRACE(c.name);
        const Bytes file = makeApng(4, 4, c.frames, 0, c.hiddenDefault, kBlue).bytes();
        std::string error;
        auto image = anim::decodeApng(span(file), error);
        ASSERT_NE(image, nullptr) << error;
        ASSERT_EQ(image->frames.size(), c.frames.size());
        EXPECT_EQ(image->width, 4);
        for (const PixelCheck& check : c.checks) {
            const ImageRecord& frame = *image->frames[static_cast<std::size_t>(check.frame)].image;
            EXPECT_EQ(frame.bitmap.pixel(check.x, check.y), check.expected)
                << "frame " << check.frame << " at " << check.x << "," << check.y;
        }
    }
}

TEST(AnimatedImage, ApngDelaysAndPlays) {
    struct {
        unsigned num, den;
        int ms;
    } const delays[] = {{1, 10, 100}, {5, 0, 50},   {0, 0, kZeroFrameDelayMs}, {0, 100, kZeroFrameDelayMs},
                        {1, 1000, 1}, {3, 1, 3000}, {65535, 1, 65535000}};
    for (const auto& d : delays)
        EXPECT_EQ(anim::apngDelayMs(static_cast<std::uint16_t>(d.num), static_cast<std::uint16_t>(d.den)), d.ms)
            << d.num << "/" << d.den;

    std::vector<ApngFrame> frames = {{0, 0, 2, 2, kRed, kNone, kSource, 3, 100},
                                     {0, 0, 2, 2, kBlue, kNone, kSource, 0, 0}};
    std::string error;
    auto image = anim::decodeApng(span(makeApng(2, 2, frames, 7).bytes()), error);
    ASSERT_NE(image, nullptr) << error;
    EXPECT_EQ(image->plays, 7);
    EXPECT_EQ(image->frames[0].delayMs, 30);
    EXPECT_EQ(image->frames[1].delayMs, kZeroFrameDelayMs);
    image = anim::decodeApng(span(makeApng(2, 2, frames, 0).bytes()), error);
    ASSERT_NE(image, nullptr) << error;
    EXPECT_EQ(image->plays, 0) << "endless";
}

// A valid two-frame animation, broken one way per row.
TEST(AnimatedImage, ApngReaderRefusesMalformedChunks) {
    const std::vector<ApngFrame> frames = {{0, 0, 4, 4, kRed, kNone, kSource}, {1, 1, 2, 2, kBlue, kNone, kOver}};
    auto setBe32 = [](Bytes& data, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            data[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    struct Case {
        const char* name;
        std::function<void(ApngChunks&)> breakIt;
        const char* error;
    };
    const Case cases[] = {
        {"checksum", [](ApngChunks& p) { p.find("fcTL", 1)->badCrc = true; }, "chunk checksum mismatch"},
        {"sequence skips", [&](ApngChunks& p) { setBe32(p.find("fdAT")->data, 0, 5); }, "sequence number out of order"},
        {"sequence repeats", [&](ApngChunks& p) { setBe32(p.find("fcTL", 1)->data, 0, 0); },
         "sequence number out of order"},
        {"frame past the right edge", [&](ApngChunks& p) { setBe32(p.find("fcTL", 1)->data, 12, 3); },
         "frame outside the canvas"},
        {"offset wraps around", [&](ApngChunks& p) { setBe32(p.find("fcTL", 1)->data, 16, 0xFFFFFFFF); },
         "frame outside the canvas"},
        {"empty frame", [&](ApngChunks& p) { setBe32(p.find("fcTL", 1)->data, 4, 0); }, "empty frame"},
        {"unknown dispose", [](ApngChunks& p) { p.find("fcTL", 1)->data[24] = 3; }, "unknown frame operation"},
        {"unknown blend", [](ApngChunks& p) { p.find("fcTL", 1)->data[25] = 2; }, "unknown frame operation"},
        {"first frame smaller than the canvas", [&](ApngChunks& p) { setBe32(p.find("fcTL")->data, 4, 3); },
         "first frame does not cover the canvas"},
        {"more frames announced", [&](ApngChunks& p) { setBe32(p.find("acTL")->data, 0, 3); },
         "fewer frames than announced"},
        {"fewer frames announced", [&](ApngChunks& p) { setBe32(p.find("acTL")->data, 0, 1); },
         "more frames than announced"},
        {"no frames announced", [&](ApngChunks& p) { setBe32(p.find("acTL")->data, 0, 0); },
         "frame count out of range"},
        {"too many frames", [&](ApngChunks& p) { setBe32(p.find("acTL")->data, 0, 5000); }, "frame count out of range"},
        {"canvas too wide", [&](ApngChunks& p) { setBe32(p.chunks[0].data, 0, 100000); }, "canvas size out of range"},
        {"frames too large together",
         [&](ApngChunks& p) {
             setBe32(p.chunks[0].data, 0, 4096);
             setBe32(p.chunks[0].data, 4, 4096);
             setBe32(p.find("acTL")->data, 0, 2);
         },
         "animation too large"},
        {"frame control without animation control", [](ApngChunks& p) { p.chunks.erase(p.chunks.begin() + 1); },
         "frame control without animation control"},
        {"animation control after image data",
         [](ApngChunks& p) {
             p.chunks = {p.chunks[0], p.chunks[3], p.chunks[1], p.chunks[6]};
         },
         "bad animation control"},
        {"frame data before its control", [](ApngChunks& p) { std::swap(p.chunks[4], p.chunks[5]); },
         "sequence number out of order"},
        {"frame data without a control",
         [&](ApngChunks& p) {
             p.chunks.erase(p.chunks.begin() + 4);
             setBe32(p.find("acTL")->data, 0, 1);
             setBe32(p.find("fdAT")->data, 0, 1);
         },
         "frame data without its frame control"},
        {"frame control without data", [](ApngChunks& p) { p.chunks.erase(p.chunks.begin() + 5); },
         "frame without image data"},
        {"truncated before the end", [](ApngChunks& p) { p.chunks.pop_back(); }, "truncated chunk"},
        {"unknown critical chunk",
         [](ApngChunks& p) {
             p.chunks.insert(p.chunks.begin() + 1, {"ABCD", {1}});
         },
         "unknown critical chunk"},
        {"header twice", [](ApngChunks& p) { p.chunks.insert(p.chunks.begin() + 1, p.chunks[0]); }, "bad header chunk"},
        {"header not first", [](ApngChunks& p) { std::swap(p.chunks[0], p.chunks[1]); }, "header chunk missing"},
        {"image data split",
         [](ApngChunks& p) {
             p.chunks.insert(p.chunks.begin() + 4, p.chunks[3]);
             p.chunks.insert(p.chunks.begin() + 4, {"tEXt", {'a', 0, 'b'}});
         },
         "image data split by other chunks"},
    };
    std::string error;
    anim::ApngInfo info;
    ApngChunks good = makeApng(4, 4, frames);
    ASSERT_TRUE(anim::readApng(span(good.bytes()), info, error)) << error;
    EXPECT_EQ(info.frames.size(), 2u);
    for (const Case& c : cases) {
        ApngChunks broken = makeApng(4, 4, frames);
        c.breakIt(broken);
        error.clear();
        EXPECT_FALSE(anim::readApng(span(broken.bytes()), info, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(anim::decodeApng(span(broken.bytes()), error), nullptr) << c.name;
    }
    // Cut anywhere, the file is refused, never read past its end.
    const Bytes whole = good.bytes();
    for (std::size_t n = 0; n < whole.size(); ++n) {
        Bytes cut(whole.begin(), whole.begin() + static_cast<long>(n));
        EXPECT_FALSE(anim::readApng(span(cut), info, error)) << n;
    }
}

TEST(AnimatedImage, PngWithoutAnimationIsOneFrame) {
    ApngChunks png = makeApng(3, 2, {{0, 0, 3, 2, kBlue}});
    png.chunks.erase(png.chunks.begin() + 1, png.chunks.begin() + 3); // acTL, fcTL
    // An empty image data chunk first (legal, and a null copy in the decoder
    // when handed on as it is).
    png.chunks.insert(png.chunks.begin() + 1, {"IDAT", {}});
    std::string error;
    auto image = anim::decodeAnimation(span(png.bytes()), error);
    ASSERT_NE(image, nullptr) << error;
    ASSERT_EQ(image->frames.size(), 1u);
    EXPECT_EQ(image->plays, 1);
    EXPECT_EQ(image->frames[0].image->bitmap.pixel(2, 1), kShownBlue);
    // Every skin image takes the same way past the empty chunk.
    const Bytes still = png.bytes();
    auto record = decodeImage(still.data(), still.size(), 0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->bitmap.pixel(2, 1), kShownBlue);
    EXPECT_EQ(anim::decodeAnimation(span(Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}), error),
              nullptr);
    png.chunks.erase(png.chunks.begin() + 2);
    EXPECT_EQ(anim::decodeAnimation(span(png.bytes()), error), nullptr);
    EXPECT_EQ(error, "no image data");
}

// --- GIF ---

struct GifCase {
    const char* name;
    std::vector<GifFrame> frames;
    std::optional<int> loop;
    std::vector<int> delays;
    int loopCount;
};

const GifCase kGifCases[] = {
    {"delays in hundredths, zero as 100 ms",
     {{0, 0, 1, 1, 5}, {0, 0, 1, 1, 0}, {0, 0, 1, 1, 12}},
     std::nullopt,
     {50, kZeroFrameDelayMs, 120},
     -1},
    {"a control block applies to the next image only",
     {{0, 0, 1, 1, 20}, {0, 0, 1, 1, std::nullopt}, {0, 0, 1, 1, 30}},
     0,
     {200, kZeroFrameDelayMs, 300},
     0},
    {"repetition count", {{0, 0, 1, 1, 1}, {1, 1, 1, 1, 1}}, 3, {10, 10}, 3},
    {"one image", {{0, 0, 2, 2, std::nullopt}}, std::nullopt, {kZeroFrameDelayMs}, -1},
};

TEST(AnimatedImage, GifDelaysAndLoopCount) {
    for (const GifCase& c : kGifCases) {
        SCOPED_TRACE(c.name);
        anim::GifInfo info;
        std::string error;
        ASSERT_TRUE(anim::readGifInfo(span(makeGif(2, 2, c.frames, c.loop)), info, error)) << error;
        EXPECT_EQ(info.delaysMs, c.delays);
        EXPECT_EQ(info.loopCount, c.loopCount);
        EXPECT_EQ(info.width, 2);
        // The missing trailer many writers leave out changes nothing.
        anim::GifInfo untrailed;
        ASSERT_TRUE(anim::readGifInfo(span(makeGif(2, 2, c.frames, c.loop, false)), untrailed, error)) << error;
        EXPECT_EQ(untrailed.delaysMs, c.delays);
    }
}

TEST(AnimatedImage, GifReaderRefusesMalformedBlocks) {
    const std::vector<GifFrame> one = {{0, 0, 2, 2, 10}};
    const Bytes good = makeGif(2, 2, one, 0);
    auto edited = [&](auto edit) {
        Bytes b = good;
        edit(b);
        return b;
    };
    // Offsets: screen descriptor at 6, colour table 13..24, looping extension 25..43,
    // control block 44..51, image descriptor 52..61, code size 62.
    struct Case {
        const char* name;
        Bytes file;
        const char* error;
    } const cases[] = {
        {"not a GIF", edited([](Bytes& b) {
             b[3] = '7';
             b[4] = '7';
         }),
         "not a GIF"},
        {"zero width", edited([](Bytes& b) { b[6] = b[7] = 0; }), "canvas size out of range"},
        {"image outside the canvas", makeGif(2, 2, {{1, 0, 2, 2, 10}}), "image outside the canvas"},
        {"empty image", makeGif(2, 2, {{0, 0, 0, 2, 10}}), "image outside the canvas"},
        {"code size", edited([](Bytes& b) { b[62] = 12; }), "bad code size"},
        {"control block size", edited([](Bytes& b) { b[46] = 5; }), "bad graphic control block"},
        {"unknown block", edited([](Bytes& b) { b[52] = 0x2B; }), "unknown block"},
        {"no image", makeGif(2, 2, {}), "no image"},
        {"truncated image data", Bytes(good.begin(), good.end() - 4), "truncated image data"},
        {"truncated colour table", Bytes(good.begin(), good.begin() + 20), "truncated colour table"},
        {"too many frames", makeGif(1, 1, std::vector<GifFrame>(anim::kMaxFrames + 1, GifFrame{})), "too many frames"},
        {"frames too large together", makeGif(4096, 4096, std::vector<GifFrame>(2, GifFrame{})), "animation too large"},
    };
    for (const Case& c : cases) {
        anim::GifInfo info;
        std::string error;
        EXPECT_FALSE(anim::readGifInfo(span(c.file), info, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(anim::decodeGif(span(c.file), error), nullptr) << c.name;
    }
    for (std::size_t n = 0; n < good.size(); ++n) {
        anim::GifInfo info;
        std::string error;
        const Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
        // Cut exactly between blocks, the images read so far stand.
        const bool read = anim::readGifInfo(span(cut), info, error);
        EXPECT_EQ(read, n == good.size() - 1) << n << " " << error;
    }
}

TEST(AnimatedImage, GifFramesDecodeWithTheirDelaysAndPlays) {
    // 2 × 2: red, green / blue, black; then blue over the bottom-right pixel.
    const Bytes file = makeGif(2, 2, {{0, 0, 2, 2, 10, {1, 2, 3, 0}}, {1, 1, 1, 1, 0, {3}}}, 2);
    std::string error;
    auto image = anim::decodeAnimation(span(file), error);
    ASSERT_NE(image, nullptr) << error;
    ASSERT_EQ(image->frames.size(), 2u);
    EXPECT_EQ(image->plays, 3) << "two repetitions after the first play";
    EXPECT_EQ(image->frames[0].delayMs, 100);
    EXPECT_EQ(image->frames[1].delayMs, kZeroFrameDelayMs);
    const platform::Surface& first = image->frames[0].image->bitmap;
    EXPECT_EQ(first.pixel(0, 0), kShownRed);
    EXPECT_EQ(first.pixel(1, 0), 0xFF00FF00u);
    EXPECT_EQ(first.pixel(0, 1), kShownBlue);
    EXPECT_EQ(first.pixel(1, 1), 0xFF000000u);
    const platform::Surface& second = image->frames[1].image->bitmap;
    EXPECT_EQ(second.pixel(1, 1), kShownBlue);
    EXPECT_EQ(second.pixel(0, 0), kShownRed) << "the first frame stays under the second";

    // Restoring the previous picture, on the fourth frame as on the second
    // (the decoder's own handling of it reads freed memory).
    const std::vector<std::uint8_t> red(4, 1);
    image = anim::decodeAnimation(span(makeGif(2, 2,
                                               {{0, 0, 2, 2, 10, red, 1},
                                                {0, 0, 1, 1, 10, {3}, 3},
                                                {1, 0, 1, 1, 10, {2}, 1},
                                                {0, 1, 1, 1, 10, {3}, 3},
                                                {1, 1, 1, 1, 10, {2}, 1}})),
                                  error);
    ASSERT_NE(image, nullptr) << error;
    ASSERT_EQ(image->frames.size(), 5u);
    EXPECT_EQ(image->frames[1].image->bitmap.pixel(0, 0), kShownBlue);
    EXPECT_EQ(image->frames[2].image->bitmap.pixel(0, 0), kShownRed) << "blue taken away again";
    EXPECT_EQ(image->frames[2].image->bitmap.pixel(1, 0), 0xFF00FF00u);
    EXPECT_EQ(image->frames[3].image->bitmap.pixel(0, 1), kShownBlue);
    EXPECT_EQ(image->frames[4].image->bitmap.pixel(0, 1), kShownRed);
    EXPECT_EQ(image->frames[4].image->bitmap.pixel(1, 1), 0xFF00FF00u);
    EXPECT_EQ(image->frames[4].image->bitmap.pixel(1, 0), 0xFF00FF00u) << "kept";

    image = anim::decodeAnimation(span(makeGif(2, 2, {{0, 0, 2, 2, 10}})), error);
    ASSERT_NE(image, nullptr) << error;
    EXPECT_EQ(image->plays, 1) << "no looping extension: played once";
}

} // namespace
