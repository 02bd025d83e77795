// Authenticode signer and version resource reading on PE files signed by
// osslsigncode, and on unsigned, truncated and damaged ones.
#include "platform/signature/PeFile.h"
#include "platform/signature/Signature.h"
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

} // namespace
