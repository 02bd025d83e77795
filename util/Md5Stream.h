// Incremental MD5: a stream fed in pieces, continued from a chaining value
// where need be, and a descriptor's bytes fed to one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

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
