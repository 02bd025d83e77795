// Block maps: the description of a published file that lets the installer
// rebuild it from an older local copy plus the bytes that changed. A map is
// published beside its file as FILE.qbm.
#pragma once

#include "util/Md5Stream.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Suffix of a map beside its file; maps are never listed themselves.
inline constexpr std::string_view kBlockMapSuffix = ".qbm";
// Files shorter than this get no map: fetching them whole costs little.
inline constexpr std::int64_t kMinMappedFileBytes = 1 << 20;

// Limits a map must keep to parse; they keep a hostile map from making the
// installer allocate or loop without bound.
inline constexpr std::uint32_t kMinBlockSize = 512;
inline constexpr std::uint32_t kMaxBlockSize = 4 << 20;
inline constexpr std::uint32_t kMaxBlockCount = 1 << 22;
inline constexpr unsigned kMinStrongBytes = 4;
inline constexpr unsigned kMaxStrongBytes = 16;
// The MD5 chaining values a map carries (below) lie this far apart by
// default, at least kMinChainInterval apart, and number at most kMaxChainStates.
inline constexpr std::uint32_t kChainInterval = 1 << 20;
inline constexpr std::uint32_t kMinChainInterval = 64 << 10;
inline constexpr std::uint32_t kMaxChainStates = 1 << 16;
// The largest map the installer fetches (header plus 4 Mi blocks of 20 bytes,
// plus the chaining values).
inline constexpr std::int64_t kMaxBlockMapBytes =
    40 + static_cast<std::int64_t>(kMaxBlockCount) * 20 + 4 + static_cast<std::int64_t>(kMaxChainStates) * 16;

// A file cut into blocks of blockSize bytes (the last one may be shorter),
// with a weak (rolling) and a strong checksum per block. A file longer than
// the chain interval also carries its MD5's chaining value after every
// chainInterval bytes: the installer then checks the new file's digest in
// pieces on several processors, each piece from the value where the one
// before ends to the value where it ends itself. The values need no trust:
// a wrong one only makes its piece, and so the patch, fail.
struct BlockMap {
    std::int64_t length = 0;
    std::array<unsigned char, 16> md5{}; // of the whole file
    std::uint32_t blockSize = 0;
    unsigned strongBytes = 4;          // leading bytes of each block's strong checksum kept
    std::vector<std::uint32_t> weak;   // one per block
    std::vector<unsigned char> strong; // strongBytes per block
    std::uint32_t chainInterval = 0;   // 0: no chaining values
    std::vector<Md5State> chain;       // after chainInterval, 2 chainInterval, ... bytes (before the end)

    std::size_t BlockCount() const { return weak.size(); }
    std::int64_t BlockOffset(std::size_t block) const { return static_cast<std::int64_t>(block) * blockSize; }
    std::int64_t BlockLength(std::size_t block) const;
    const unsigned char* Strong(std::size_t block) const { return strong.data() + block * strongBytes; }
    // The whole file's MD5 as 32 lower-case hex digits, as file lists give it.
    std::string Md5Hex() const;
};

// The block size for a file of this length: about the square root of the
// length, as a power of two between 2 KiB and 64 KiB. Smaller blocks find
// more of an old file again, larger ones keep the map small.
std::uint32_t ChooseBlockSize(std::int64_t length);

// The strong bytes kept per block for a map of this many blocks. With the
// weak sum's 32 bits, 4 make a false match of a block rarer than one in
// 2^50 per offset tried; maps of more blocks keep more. A false match would
// only cost a whole download (the file's MD5 decides), never a wrong file.
unsigned ChooseStrongBytes(std::size_t blockCount);

// Builds the map of the bytes given. blockSize 0 and strongBytes 0 choose;
// chainInterval 0 leaves the chaining values out.
BlockMap MakeBlockMap(const unsigned char* data, std::size_t length, std::uint32_t blockSize = 0,
                      unsigned strongBytes = 0, std::uint32_t chainInterval = kChainInterval);

// Builds the map of a file (read through a private mapping). False with an
// error text when it cannot be read or a block size is out of bounds.
bool MakeBlockMapOfFile(const std::string& path, std::uint32_t blockSize, BlockMap& map, std::string& error);

// The map's bytes: "QBM" 0x1A, version (2, or 3 with chaining values), weak
// bytes 4, strong bytes, a zero byte; block size (u32); length (u64); MD5
// (16 bytes); block count (u32); then per block the weak checksum (u32) and
// the strong bytes; version 3 then has the chain interval (u32) and the
// chaining values (16 bytes each, as many as whole intervals end before the
// file's end, at least one). All numbers little-endian.
std::string FormatBlockMap(const BlockMap& map);

// Parses a map. It is outside input: anything but a well-formed map of this
// version within the limits above fails, and so does one whose block count
// does not follow from its length and block size or whose size is not
// exactly what its header promises.
bool ParseBlockMap(std::string_view bytes, BlockMap& out);
