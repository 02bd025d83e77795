// Traditional PKWARE ("ZipCrypto") encryption of ZIP entries.
//
// The skin archive inside the executable is protected with this scheme. The
// packer encrypts entries here and writes them raw through minizip; the skin
// reader reads entries raw through minizip and decrypts them here, because
// the minizip we build against has no encryption support of its own.
//
// An encrypted entry is a 12-byte header followed by the (usually deflated)
// entry bytes, all run through the same key stream. The header's last byte,
// once decrypted, must equal the entry's check byte (see checkByteFor); a
// mismatch means a wrong password. The scheme offers obfuscation, not
// security.
//
// All functions are pure and re-entrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace zipcrypto {

inline constexpr std::size_t kHeaderSize = 12;
// General-purpose flag bits of a ZIP entry that matter here.
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;

// The three-word key state of the cipher, initialised from a password.
// Each call to encrypt/decrypt advances it by one byte.
class Keys {
public:
    explicit Keys(std::string_view password);
    std::uint8_t encrypt(std::uint8_t plain);
    std::uint8_t decrypt(std::uint8_t cipher);

private:
    void update(std::uint8_t plain);
    std::uint8_t streamByte() const;

    std::uint32_t m_k0 = 0x12345678;
    std::uint32_t m_k1 = 0x23456789;
    std::uint32_t m_k2 = 0x34567890;
};

// CRC-32 (the ZIP polynomial) of a byte range, continuing from `crc`
// (start with 0). Matches zlib's crc32().
std::uint32_t crc32(std::span<const std::uint8_t> data, std::uint32_t crc = 0);

// The byte the decrypted header must end with: the high byte of the DOS
// modification time when the entry has a data descriptor (flag bit 3, the
// CRC was unknown when the header was written), else the high byte of the
// CRC-32. `dosDateTime` is the 32-bit date/time field of the entry header
// (time in the low 16 bits), as minizip reports it.
std::uint8_t checkByteFor(std::uint16_t flags, std::uint32_t crc, std::uint32_t dosDateTime);

// Fills its argument with unpredictable bytes (the header's first 11 bytes).
using RandomSource = std::function<void(std::span<std::uint8_t>)>;

// A RandomSource backed by std::random_device.
RandomSource systemRandom();

// Encrypts `data` (the entry bytes as stored: deflated or not) with
// `password`. Result: the 12-byte header (11 random bytes from `random`, then
// `checkByte`) followed by the encrypted data, all encrypted; its size is
// data.size() + kHeaderSize.
std::vector<std::uint8_t> encryptEntry(std::span<const std::uint8_t> data, std::string_view password,
                                       std::uint8_t checkByte, const RandomSource& random);

// Decrypts an entry's raw bytes (header + data). nullopt when `raw` is
// shorter than the header or the decrypted header does not end in
// `checkByte` (wrong password, or damaged data). A wrong password passes the
// check by chance once in 256 tries: callers verify the CRC-32 of the
// decompressed result as well.
std::optional<std::vector<std::uint8_t>> decryptEntry(std::span<const std::uint8_t> raw, std::string_view password,
                                                      std::uint8_t checkByte);

} // namespace zipcrypto
