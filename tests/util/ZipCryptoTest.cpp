// Traditional ZIP encryption: round trips, password and check-byte handling.
// Interoperability with Info-ZIP's zip/unzip is covered by the tools tests.
#include "util/ZipCrypto.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> bytes(std::string_view s) { return {s.begin(), s.end()}; }

// Deterministic "random" header bytes so that failures reproduce.
zipcrypto::RandomSource counting(std::uint8_t start) {
    return [start](std::span<std::uint8_t> out) {
        std::uint8_t v = start;
        for (auto& b : out) b = v++;
    };
}

TEST(ZipCrypto, Crc32MatchesTheZipPolynomial) {
    EXPECT_EQ(zipcrypto::crc32(bytes("123456789")), 0xCBF43926u);
    EXPECT_EQ(zipcrypto::crc32({}), 0u);
    // Continuing a CRC over a second chunk equals the CRC of the whole.
    const auto whole = bytes("hello, world");
    const std::uint32_t first = zipcrypto::crc32(std::span(whole).first(5));
    EXPECT_EQ(zipcrypto::crc32(std::span(whole).subspan(5), first), zipcrypto::crc32(whole));
}

TEST(ZipCrypto, CheckByteComesFromCrcOrFromTimeWithDataDescriptor) {
    const std::uint32_t crc = 0xA1B2C3D4;
    const std::uint32_t dosDateTime = 0x5A21'7C3E; // date 0x5A21, time 0x7C3E
    EXPECT_EQ(zipcrypto::checkByteFor(zipcrypto::kFlagEncrypted, crc, dosDateTime), 0xA1);
    EXPECT_EQ(zipcrypto::checkByteFor(zipcrypto::kFlagEncrypted | zipcrypto::kFlagDataDescriptor, crc, dosDateTime),
              0x7C);
}

TEST(ZipCrypto, RoundTripsDataOfAnySize) {
    for (std::size_t size : {0u, 1u, 11u, 12u, 13u, 4096u}) {
        std::vector<std::uint8_t> data(size);
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
        const auto raw = zipcrypto::encryptEntry(data, "kvtp5184@", 0x5E, zipcrypto::systemRandom());
        ASSERT_EQ(raw.size(), size + zipcrypto::kHeaderSize) << size;
        if (size >= 16) {
            EXPECT_NE(std::vector<std::uint8_t>(raw.begin() + 12, raw.end()), data) << "not encrypted";
        }
        const auto plain = zipcrypto::decryptEntry(raw, "kvtp5184@", 0x5E);
        ASSERT_TRUE(plain.has_value()) << size;
        EXPECT_EQ(*plain, data) << size;
    }
}

TEST(ZipCrypto, HeaderIsFreshPerEntrySoEqualDataEncryptsDifferently) {
    const auto data = bytes("<Window size=\"10,10\"/>");
    const auto a = zipcrypto::encryptEntry(data, "pw", 1, zipcrypto::systemRandom());
    const auto b = zipcrypto::encryptEntry(data, "pw", 1, zipcrypto::systemRandom());
    EXPECT_NE(a, b);
}

TEST(ZipCrypto, WrongPasswordOrCheckByteIsRejected) {
    const auto data = bytes("secret skin markup, long enough to tell apart");
    const auto raw = zipcrypto::encryptEntry(data, "kvtp5184@", 0x42, counting(9));

    EXPECT_FALSE(zipcrypto::decryptEntry(raw, "kvtp5184@", 0x43).has_value());

    // A wrong password fails the check byte nearly always; when it passes by
    // chance (1 in 256) it still never yields the original bytes.
    int rejected = 0;
    for (int i = 0; i < 64; ++i) {
        const std::string wrong = "kvtp5184@" + std::to_string(i);
        const auto plain = zipcrypto::decryptEntry(raw, wrong, 0x42);
        if (!plain)
            ++rejected;
        else
            EXPECT_NE(*plain, data) << wrong;
    }
    EXPECT_GE(rejected, 60);
    EXPECT_FALSE(zipcrypto::decryptEntry(raw, "", 0x42).has_value());
}

TEST(ZipCrypto, InputShorterThanTheHeaderIsRejected) {
    const auto raw = zipcrypto::encryptEntry({}, "pw", 7, counting(0));
    ASSERT_EQ(raw.size(), 12u);
    EXPECT_TRUE(zipcrypto::decryptEntry(raw, "pw", 7).has_value());
    EXPECT_FALSE(zipcrypto::decryptEntry(std::span(raw).first(11), "pw", 7).has_value());
    EXPECT_FALSE(zipcrypto::decryptEntry({}, "pw", 7).has_value());
}

} // namespace
