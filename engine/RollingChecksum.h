// The weak checksum of a block that can be moved along a file one byte at a
// time, and the strong checksum that confirms a block the weak one found.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Two 16-bit sums over a window of fixed length: a = sum of the bytes,
// b = sum of (length - i) * byte i. Rolling the window one byte costs a few
// additions, so a whole file can be searched for known blocks at every
// offset. Not secure: a match is only a candidate for the strong checksum.
class CRollingChecksum {
public:
    // Starts over on the window [data, data + length).
    void Reset(const unsigned char* data, std::size_t length) {
        std::uint32_t a = 0, b = 0;
        for (std::size_t i = 0; i < length; ++i) {
            a += data[i];
            b += static_cast<std::uint32_t>(length - i) * data[i];
        }
        m_a = a;
        m_b = b;
        m_length = static_cast<std::uint32_t>(length);
    }
    // Moves the window one byte on: `out` leaves at its start, `in` joins
    // at its end.
    void Roll(unsigned char out, unsigned char in) {
        m_a += static_cast<std::uint32_t>(in) - out;
        m_b += m_a - m_length * out;
    }
    std::uint32_t Value() const { return (m_a & 0xffff) | (m_b << 16); }

private:
    std::uint32_t m_a = 0, m_b = 0, m_length = 0;
};

// The weak checksum of one block.
inline std::uint32_t WeakChecksum(const unsigned char* data, std::size_t length) {
    CRollingChecksum sum;
    sum.Reset(data, length);
    return sum.Value();
}

// The strong checksum of one block: a 128-bit hash of which a map keeps the
// first bytes. It only tells blocks of benign data apart (a false match
// costs a whole download, as the file's MD5 decides), so it is built for
// speed, not against forgery: it takes about a quarter of SHA-256's time
// even where the processor has SHA instructions, and the scan hashes every
// block of an unchanged run.
std::array<unsigned char, 16> StrongChecksum(const unsigned char* data, std::size_t length);
