// Authenticode signer and version resource reading on PE files signed by
// osslsigncode, and on unsigned, truncated and damaged ones.
#include "platform/signature/PeFile.h"
#include "platform/signature/Signature.h"
#include "tests/support/PeFixture.h"
#include "tests/support/SigningFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

using namespace platform;
using testsupport::signedFiles;

namespace {

std::vector<std::uint8_t> readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Signature : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(signedFiles().error, ""); }
};

TEST_F(Signature, ReadsNameAndSerialOfTheSigner) {
    for (const auto& path : {signedFiles().trusted32, signedFiles().trusted64}) {
        const auto signer = readSigner(path.string());
        ASSERT_TRUE(signer.has_value()) << path;
        // The common name comes first although it is the subject's last part.
        EXPECT_EQ(signer->name, L"Orsveld网络科技有限公司");
        EXPECT_EQ(signer->serial, L"7A31C9E04B82D6F15E0A93C47D28B6E1");
        EXPECT_EQ(readSignerFromImage(readAll(path))->serial, signer->serial);
    }
}

TEST_F(Signature, SignerIsFoundByIssuerAndSerialAmongSeveralCertificates) {
    // Both files carry the CA and both leaves in the same order; each must
    // report its own signer. Without a common name the organisation is the
    // display name; a serial with its top bit set keeps its leading zero byte.
    const auto a = readSigner(signedFiles().leafA.string());
    const auto b = readSigner(signedFiles().leafB.string());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->name, L"Leaf a Org");
    EXPECT_EQ(a->serial, L"008A0B0C");
    EXPECT_EQ(b->name, L"Leaf b Org");
    EXPECT_EQ(b->serial, L"0B0C");
}

TEST_F(Signature, FilesWithoutReadableSignatureFail) {
    EXPECT_FALSE(readSigner(signedFiles().unsigned32.string()));
    EXPECT_FALSE(readSigner((signedFiles().dir / "missing.exe").string()));
    EXPECT_FALSE(readSigner(signedFiles().dir.string()));
    EXPECT_FALSE(readSigner((signedFiles().dir / "t.pem").string()));
    EXPECT_FALSE(readSigner(""));
    EXPECT_FALSE(readSignerFromImage({}));
    EXPECT_FALSE(readSignerFromPkcs7({}));
}

TEST_F(Signature, EveryTruncationFailsCleanly) {
    const auto image = readAll(signedFiles().trusted32);
    ASSERT_TRUE(readSignerFromImage(image));
    for (std::size_t n = 0; n < image.size(); ++n) EXPECT_FALSE(readSignerFromImage(std::span(image).first(n))) << n;

    // The same through the file reader, which reads only parts of the file.
    const auto cut = signedFiles().dir / "cut.exe";
    for (std::size_t n : {std::size_t(0), std::size_t(0x40), std::size_t(0x200), image.size() - 1}) {
        std::ofstream(cut, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(n));
        EXPECT_FALSE(readSigner(cut.string())) << n;
    }
}

TEST_F(Signature, DamagedCertificateTableFailsCleanly) {
    const auto image = readAll(signedFiles().trusted32);
    const auto headers = pe::parseHeaders(image);
    ASSERT_TRUE(headers);
    const std::size_t table = headers->certificates.address;
    const std::size_t dirField = 0x98 + 96 + 4 * 8; // certificate directory of the PE32 fixture
    ASSERT_EQ(table, std::size_t(image[dirField] | image[dirField + 1] << 8));

    auto withByte = [&](std::size_t at, std::uint8_t value) {
        auto copy = image;
        copy[at] = value;
        return copy;
    };
    EXPECT_FALSE(readSignerFromImage(withByte(table + 6, 1)));       // an X.509 entry, not PKCS#7
    EXPECT_FALSE(readSignerFromImage(withByte(table + 3, 0x7F)));    // entry longer than the table
    EXPECT_FALSE(readSignerFromImage(withByte(table + 0, 4)));       // entry shorter than its header
    EXPECT_FALSE(readSignerFromImage(withByte(dirField + 3, 0x10))); // table beyond the file
    EXPECT_FALSE(readSignerFromImage(withByte(table + 8, 0x31)));    // not a DER sequence
    EXPECT_FALSE(readSignerFromImage(withByte(0x80, 'X')));          // no PE signature
    EXPECT_FALSE(readSignerFromImage(withByte(0x98, 0x0C)));         // unknown optional header

    // Random damage inside the signature must never crash or read outside;
    // whatever it yields, it must not invent a serial of a different length.
    std::mt19937 gen(42);
    for (int i = 0; i < 2000; ++i) {
        auto copy = image;
        const std::size_t at = table + 8 + gen() % (image.size() - table - 8);
        copy[at] = static_cast<std::uint8_t>(gen());
        if (auto signer = readSignerFromImage(copy)) {
            EXPECT_FALSE(signer->serial.empty());
        }
    }
}

TEST(PeVersion, ReadsTheFixedFileVersion) {
    for (bool plus : {false, true}) {
        const auto image = testsupport::makePe({plus, std::array<std::uint16_t, 4>{10, 0, 19041, 3636}});
        EXPECT_EQ(pe::readFileVersion(image), (pe::FileVersion{10, 0, 19041, 3636})) << plus;
        EXPECT_FALSE(pe::readFileVersion(testsupport::makePe({plus, std::nullopt}))) << plus;
        // The version block ends at 0x4B4 in the fixture; bytes after it are padding.
        for (std::size_t n = 0; n < image.size(); ++n)
            EXPECT_EQ(pe::readFileVersion(std::span(image).first(n)).has_value(), n >= 0x4B4) << plus << " " << n;
    }
}

TEST_F(Signature, VersionIsReadFromASignedFileOnDisk) {
    EXPECT_EQ(pe::readFileVersionOfFile(signedFiles().trusted64.string()), (pe::FileVersion{6, 2, 9200, 16384}));
    EXPECT_FALSE(pe::readFileVersionOfFile(signedFiles().trusted32.string()));
    EXPECT_FALSE(pe::readFileVersionOfFile((signedFiles().dir / "missing.dll").string()));
    EXPECT_FALSE(pe::readFileVersionOfFile(signedFiles().dir.string()));
}

TEST(PeVersion, DamagedResourceTreeFailsCleanly) {
    const auto image = testsupport::makePe({false, std::array<std::uint16_t, 4>{1, 2, 3, 4}});
    std::mt19937 gen(7);
    int found = 0;
    for (int i = 0; i < 5000; ++i) {
        auto copy = image;
        // Damage the headers or the resource section.
        const std::size_t at = (i % 2) ? gen() % 0x200 : 0x400 + gen() % 0x200;
        copy[at] = static_cast<std::uint8_t>(gen());
        found += pe::readFileVersion(copy).has_value();
    }
    EXPECT_GT(found, 0); // damage to unused bytes leaves it readable
}

// --- The program's icon ---

constexpr std::uint32_t kRtIcon = 3, kRtGroupIcon = 14;

std::uint32_t testColour(int x, int y) {
    return 0xFF000000u | (std::uint32_t(x) << 16) | (std::uint32_t(y) << 8) | 0x40;
}

// A PNG image's first bytes: signature and header chunk (the rest is not read).
std::vector<std::uint8_t> pngHead(std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (std::uint32_t v : {w, h})
        for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
    b.insert(b.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
    return b;
}

// The largest image wins by its own size (not the group's claim), then by
// colour depth; images the group does not name, or that cannot be read,
// do not count.
TEST(PeIcon, LargestImageOfTheGroup) {
    const auto opaque = [](int, int) { return false; };
    const auto small32 = testsupport::makeBitmapIcon(16, 16, 32, testColour, opaque);
    const auto big24 = testsupport::makeBitmapIcon(48, 48, 24, testColour, opaque);
    const auto big32 = testsupport::makeBitmapIcon(48, 48, 32, testColour, opaque);
    const auto unnamed = testsupport::makeBitmapIcon(64, 64, 32, testColour, opaque);
    const struct {
        const char* proves;
        std::vector<testsupport::PeResource> resources;
        std::optional<std::array<int, 3>> expected; // width, height, bit count
        bool png = false;
    } cases[] = {
        {"one image",
         {{kRtIcon, 1, small32}, {kRtGroupIcon, 1, testsupport::makeIconGroup({{16, 16, 32, 1}})}},
         std::array{16, 16, 32}},
        {"the larger one, whatever the group claims; at equal size the deeper one",
         {{kRtIcon, 1, small32},
          {kRtIcon, 2, big24},
          {kRtIcon, 3, big32},
          {kRtIcon, 4, unnamed},
          {kRtGroupIcon, 1, testsupport::makeIconGroup({{255, 255, 32, 1}, {48, 48, 24, 2}, {48, 48, 32, 3}})}},
         std::array{48, 48, 32}},
        {"a PNG image counts by its header",
         {{kRtIcon, 1, small32},
          {kRtIcon, 2, pngHead(256, 256)},
          {kRtGroupIcon, 1, testsupport::makeIconGroup({{16, 16, 32, 1}, {0, 0, 32, 2}})}},
         std::array{256, 256, 32},
         true},
        {"a missing or unreadable image is passed over",
         {{kRtIcon, 1, small32},
          {kRtIcon, 2, pngHead(5000, 5000)},
          {kRtIcon, 3, {1, 2, 3}},
          {kRtGroupIcon, 1,
           testsupport::makeIconGroup({{16, 16, 32, 1}, {0, 0, 32, 2}, {48, 48, 32, 3}, {48, 48, 32, 9}})}},
         std::array{16, 16, 32}},
        {"icons without a group", {{kRtIcon, 1, small32}}, std::nullopt},
        {"a group naming nothing there",
         {{kRtGroupIcon, 1, testsupport::makeIconGroup({{16, 16, 32, 7}})}},
         std::nullopt},
        {"no resources at all", {}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        const auto image = c.resources.empty() ? testsupport::makePe() : testsupport::makePeWithResources(c.resources);
        const auto icon = pe::readLargestIcon(image);
        ASSERT_EQ(icon.has_value(), c.expected.has_value());
        if (!icon) continue;
        EXPECT_EQ((std::array{icon->width, icon->height, icon->bitCount}), *c.expected);
        EXPECT_EQ(icon->png, c.png);
        if (c.png) {
            EXPECT_EQ(icon->data, pngHead(256, 256));
        }
    }
}

// Bitmap images decode to straight ARGB, top row first, the mask making
// pixels transparent unless 32-bit colour carries alpha of its own.
TEST(PeIcon, BitmapImagesDecode) {
    const auto corner = [](int x, int y) { return x < 2 && y < 1; };
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        const auto bytes = testsupport::makeBitmapIcon(5, 3, bpp, testColour, corner);
        const auto image = testsupport::makePeWithResources(
            {{kRtIcon, 7, bytes}, {kRtGroupIcon, 1, testsupport::makeIconGroup({{5, 3, bpp, 7}})}});
        const auto icon = pe::readLargestIcon(image);
        ASSERT_TRUE(icon);
        const auto pixels = pe::decodeIconBitmap(*icon);
        ASSERT_TRUE(pixels);
        ASSERT_EQ(pixels->size(), 15u);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ((*pixels)[y * 5 + x], corner(x, y) && bpp == 24 ? 0u : testColour(x, y)) << x << "," << y;
        // Cut anywhere inside the colour rows: refused.
        auto cut = *icon;
        cut.data.resize(40 + 10);
        EXPECT_FALSE(pe::decodeIconBitmap(cut));
    }
    // 32-bit colour with no alpha at all: the mask decides.
    const auto noAlpha = testsupport::makeBitmapIcon(
        4, 2, 32, [](int x, int y) { return testColour(x, y) & 0x00FFFFFFu; }, corner);
    pe::IconImage legacy{4, 2, 32, false, noAlpha};
    const auto pixels = pe::decodeIconBitmap(legacy);
    ASSERT_TRUE(pixels);
    EXPECT_EQ((*pixels)[0], 0u);
    EXPECT_EQ((*pixels)[2], testColour(2, 0));

    // A palette image: 1 bit per pixel, two colours.
    std::vector<std::uint8_t> mono(40 + 8 + 4 * 2 + 4 * 2, 0);
    mono[0] = 40;
    mono[4] = 3;
    mono[8] = 4; // two rows of colour and two of mask
    mono[12] = 1;
    mono[14] = 1;
    mono[40] = 0x00; // colour 0: black
    mono[44 + 0] = 0xFF;
    mono[44 + 1] = 0xFF;
    mono[44 + 2] = 0xFF; // colour 1: white
    mono[48] = 0xA0;     // bottom row: 1 0 1
    mono[52] = 0x40;     // top row: 0 1 0
    const auto decoded = pe::decodeIconBitmap(pe::IconImage{3, 2, 1, false, mono});
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, (std::vector<std::uint32_t>{0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu, 0xFF000000u,
                                                    0xFFFFFFFFu}));
    EXPECT_FALSE(pe::decodeIconBitmap(pe::IconImage{3, 2, 1, true, mono})) << "PNG images are not bitmaps";
}

// Damage anywhere in the resource tree or the images: an answer or
// nothing, never a read out of bounds (the sanitizer build watches).
TEST(PeIcon, DamagedIconsFailCleanly) {
    const auto image = testsupport::makePeWithResources(
        {{kRtIcon, 1, testsupport::makeBitmapIcon(8, 8, 32, testColour, [](int, int) { return false; })},
         {kRtGroupIcon, 1, testsupport::makeIconGroup({{8, 8, 32, 1}})}});
    std::mt19937 gen(11);
    int found = 0;
    for (int i = 0; i < 3000; ++i) {
        auto copy = image;
        for (int k = 0; k < 3; ++k) copy[0x400 + gen() % (copy.size() - 0x400)] = static_cast<std::uint8_t>(gen());
        if (const auto icon = pe::readLargestIcon(copy)) {
            ++found;
            if (const auto pixels = pe::decodeIconBitmap(*icon)) {
                EXPECT_EQ(pixels->size(), std::size_t(icon->width) * icon->height);
            }
        }
    }
    EXPECT_GT(found, 0);
    for (std::size_t n = 0; n < image.size(); n += 7) (void)pe::readLargestIcon(std::span(image).first(n));
}

} // namespace
