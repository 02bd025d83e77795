// Traditional PKWARE encryption of ZIP entries.
#include "util/ZipCrypto.h"

#include <array>
#include <random>

namespace zipcrypto {

namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

// One step of the raw CRC register (no pre/post inversion): the key schedule
// uses the register itself, not the finished checksum.
constexpr std::uint32_t crcStep(std::uint32_t reg, std::uint8_t byte) {
    return kCrcTable[(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

} // namespace

Keys::Keys(std::string_view password) {
    for (char c : password) update(static_cast<std::uint8_t>(c));
}

void Keys::update(std::uint8_t plain) {
    m_k0 = crcStep(m_k0, plain);
    m_k1 = (m_k1 + (m_k0 & 0xFF)) * 134775813u + 1;
    m_k2 = crcStep(m_k2, static_cast<std::uint8_t>(m_k1 >> 24));
}

std::uint8_t Keys::streamByte() const {
    const std::uint32_t t = (m_k2 | 2) & 0xFFFF;
    return static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
}

std::uint8_t Keys::encrypt(std::uint8_t plain) {
    const std::uint8_t cipher = plain ^ streamByte();
    update(plain);
    return cipher;
}

std::uint8_t Keys::decrypt(std::uint8_t cipher) {
    const std::uint8_t plain = cipher ^ streamByte();
    update(plain);
    return plain;
}

std::uint32_t crc32(std::span<const std::uint8_t> data, std::uint32_t crc) {
    std::uint32_t reg = ~crc;
    for (std::uint8_t b : data) reg = crcStep(reg, b);
    return ~reg;
}

std::uint8_t checkByteFor(std::uint16_t flags, std::uint32_t crc, std::uint32_t dosDateTime) {
    if (flags & kFlagDataDescriptor) return static_cast<std::uint8_t>((dosDateTime >> 8) & 0xFF);
    return static_cast<std::uint8_t>(crc >> 24);
}

RandomSource systemRandom() {
    return [](std::span<std::uint8_t> out) {
        std::random_device device;
        for (auto& b : out) b = static_cast<std::uint8_t>(device());
    };
}

std::vector<std::uint8_t> encryptEntry(std::span<const std::uint8_t> data, std::string_view password,
                                       std::uint8_t checkByte, const RandomSource& random) {
    std::array<std::uint8_t, kHeaderSize> header{};
    random(std::span<std::uint8_t>(header.data(), kHeaderSize - 1));
    header[kHeaderSize - 1] = checkByte;

    std::vector<std::uint8_t> out;
    out.reserve(kHeaderSize + data.size());
    Keys keys(password);
    for (std::uint8_t b : header) out.push_back(keys.encrypt(b));
    for (std::uint8_t b : data) out.push_back(keys.encrypt(b));
    return out;
}

std::optional<std::vector<std::uint8_t>> decryptEntry(std::span<const std::uint8_t> raw, std::string_view password,
                                                      std::uint8_t checkByte) {
    if (raw.size() < kHeaderSize) return std::nullopt;
    Keys keys(password);
    std::uint8_t last = 0;
    for (std::size_t i = 0; i < kHeaderSize; ++i) last = keys.decrypt(raw[i]);
    if (last != checkByte) return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(raw.size() - kHeaderSize);
    for (std::size_t i = kHeaderSize; i < raw.size(); ++i) out.push_back(keys.decrypt(raw[i]));
    return out;
}

} // namespace zipcrypto
