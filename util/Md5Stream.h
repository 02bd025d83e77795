// Incremental MD5: a stream fed in pieces, continued from a chaining value
// where need be, and a descriptor's bytes fed to one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// MD5's chaining value: its state after a whole number of 64-byte blocks,
// as four little-endian words (the form a digest takes).
using Md5State = std::array<unsigned char, 16>;

// Incremental MD5 for data that arrives in pieces (a download being written).
// One object per stream; not shared between threads.
class CMd5Stream {
public:
    CMd5Stream();
    // Continues a stream at byte offset (a multiple of 64) whose chaining
    // value there is state: hashing the rest of an input from its state at
    // that point gives the whole input's digest. This is what lets one long
    // input be hashed in pieces on several threads.
    CMd5Stream(const Md5State& state, std::uint64_t offset);
    ~CMd5Stream();
    CMd5Stream(const CMd5Stream&) = delete;
    CMd5Stream& operator=(const CMd5Stream&) = delete;

    void Update(const void* data, std::size_t length);
    // The digest of everything fed so far, as 32 lower-case hex digits; the
    // stream then starts over empty.
    std::string Finish();
    // The same digest as its 16 bytes.
    Md5State FinishBytes();
    // Forgets everything fed so far.
    void Reset();
    // The chaining value after the bytes fed so far (since the start or the
    // offset continued from); false when their count is no multiple of 64.
    bool State(Md5State& out) const;

private:
    struct Impl;
    Impl* m_impl;
};

// Feeds md5 the bytes [from, from + length) of the file open as fd, or all of
// them up to its end when length is negative, read at their offsets in
// pieces (the descriptor's own position neither matters nor moves). False
// when a read fails, the file ends before length, or proceed (asked before
// each piece) answers false.
bool HashDescriptor(int fd, std::int64_t length, CMd5Stream& md5, const std::function<bool()>& proceed = {},
                    std::int64_t from = 0);

// An input's MD5 cut into pieces at its chaining values, one after every
// `interval` bytes (the last piece runs to the input's end); without values
// the whole input is one piece. Each piece can then be hashed on its own,
// from the value where it starts; it must arrive at the value where the
// next starts, and the last one ends in the input's digest. Only when every
// piece does is that digest the MD5 of the whole input, so values from
// anywhere need no trust: a wrong one only makes its piece fail.
class CMd5Pieces {
public:
    CMd5Pieces() = default;
    CMd5Pieces(std::vector<Md5State> chain, std::int64_t interval, std::int64_t length);

    std::size_t Count() const { return m_chain.size() + 1; }
    std::int64_t Start(std::size_t piece) const { return static_cast<std::int64_t>(piece) * m_interval; }
    // Where the piece ends (the input's length for the last one).
    std::int64_t End(std::size_t piece) const;
    // The piece holding the byte at offset.
    std::size_t PieceAt(std::int64_t offset) const { return static_cast<std::size_t>(offset / m_interval); }
    // A stream for the piece's bytes, continued from the value where it starts.
    CMd5Stream Begin(std::size_t piece) const;
    // After the piece's bytes: whether they arrived at the value where the
    // next piece starts; for the last piece always true, with the digest as
    // 32 lower-case hex digits in digest.
    bool Close(std::size_t piece, CMd5Stream& md5, std::string& digest) const;

private:
    std::vector<Md5State> m_chain;
    std::int64_t m_interval = 1;
    std::int64_t m_length = 0;
};
