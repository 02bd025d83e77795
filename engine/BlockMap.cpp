// Block maps: building, their byte form and a strict parser.
#include "engine/BlockMap.h"

#include "engine/RollingChecksum.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr unsigned char kMagic[4] = {'Q', 'B', 'M', 0x1A};
constexpr unsigned char kVersion = 2;      // without chaining values
constexpr unsigned char kChainVersion = 3; // with them
constexpr unsigned kWeakBytes = 4;
constexpr std::size_t kHeaderBytes = 40;

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

void putU64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

std::uint32_t getU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t getU64(const unsigned char* p) {
    return static_cast<std::uint64_t>(getU32(p)) | static_cast<std::uint64_t>(getU32(p + 4)) << 32;
}

// The chaining values a file of this length gets at this interval: one
// after each whole interval that ends before the file does.
std::uint64_t chainStates(std::uint64_t length, std::uint32_t interval) {
    return interval == 0 || length == 0 ? 0 : (length - 1) / interval;
}

bool chainIntervalAllowed(std::uint32_t interval) { return interval >= kMinChainInterval && interval % 64 == 0; }

bool blockSizeAllowed(std::uint32_t size) { return size >= kMinBlockSize && size <= kMaxBlockSize; }

} // namespace

namespace {

std::uint64_t rotl64(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

std::uint64_t loadLittle64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

void storeLittle64(unsigned char* p, std::uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

std::uint64_t finalMix(std::uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdull;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ull;
    k ^= k >> 33;
    return k;
}

} // namespace

std::array<unsigned char, 16> StrongChecksum(const unsigned char* data, std::size_t length) {
    // Two 64-bit lanes, each word multiplied, rotated and folded into its
    // lane, the lanes crossed after every 16 bytes; the length and a final
    // avalanche per lane at the end. A short tail is padded with zeros (the
    // length tells the paddings apart).
    constexpr std::uint64_t kC1 = 0x87c37b91114253d5ull, kC2 = 0x4cf5ad432745937full;
    std::uint64_t h1 = 0, h2 = 0;
    auto round = [&](std::uint64_t k1, std::uint64_t k2) {
        h1 ^= rotl64(k1 * kC1, 31) * kC2;
        h1 = (rotl64(h1, 27) + h2) * 5 + 0x52dce729;
        h2 ^= rotl64(k2 * kC2, 33) * kC1;
        h2 = (rotl64(h2, 31) + h1) * 5 + 0x38495ab5;
    };
    std::size_t at = 0;
    for (; at + 16 <= length; at += 16) round(loadLittle64(data + at), loadLittle64(data + at + 8));
    if (at < length) {
        unsigned char tail[16] = {};
        std::memcpy(tail, data + at, length - at);
        round(loadLittle64(tail), loadLittle64(tail + 8));
    }
    h1 ^= length;
    h2 ^= length;
    h1 += h2;
    h2 += h1;
    h1 = finalMix(h1);
    h2 = finalMix(h2);
    h1 += h2;
    h2 += h1;
    std::array<unsigned char, 16> out{};
    storeLittle64(out.data(), h1);
    storeLittle64(out.data() + 8, h2);
    return out;
}

std::int64_t BlockMap::BlockLength(std::size_t block) const {
    const std::int64_t start = BlockOffset(block);
    return std::min<std::int64_t>(blockSize, length - start);
}

std::string BlockMap::Md5Hex() const {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : md5) {
        text += kHex[c >> 4];
        text += kHex[c & 15];
    }
    return text;
}

std::uint32_t ChooseBlockSize(std::int64_t length) {
    std::uint32_t size = 2048;
    const double root = std::sqrt(static_cast<double>(length > 0 ? length : 0));
    while (size < 65536 && size * 1.5 < root) size *= 2;
    return size;
}

unsigned ChooseStrongBytes(std::size_t blockCount) {
    unsigned bytes = kMinStrongBytes;
    for (std::size_t n = blockCount >> 16; n > 0 && bytes < kMaxStrongBytes; n >>= 8) ++bytes;
    return bytes;
}

BlockMap MakeBlockMap(const unsigned char* data, std::size_t length, std::uint32_t blockSize, unsigned strongBytes,
                      std::uint32_t chainInterval) {
    BlockMap map;
    map.length = static_cast<std::int64_t>(length);
    map.blockSize = blockSize ? blockSize : ChooseBlockSize(map.length);
    // A map that would need more chaining values than a map may hold gets
    // them further apart.
    while (chainIntervalAllowed(chainInterval) && chainStates(length, chainInterval) > kMaxChainStates)
        chainInterval *= 2;
    CMd5Stream md5;
    std::size_t hashed = 0;
    if (chainIntervalAllowed(chainInterval) && chainStates(length, chainInterval) > 0) {
        map.chainInterval = chainInterval;
        for (; hashed + chainInterval < length; hashed += chainInterval) {
            md5.Update(data + hashed, chainInterval);
            md5.State(map.chain.emplace_back());
        }
    }
    md5.Update(data + hashed, length - hashed);
    map.md5 = md5.FinishBytes();
    const std::size_t count = (length + map.blockSize - 1) / map.blockSize;
    map.strongBytes = strongBytes ? strongBytes : ChooseStrongBytes(count);
    strongBytes = map.strongBytes;
    map.weak.resize(count);
    map.strong.resize(count * strongBytes);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t start = i * map.blockSize;
        const std::size_t n = std::min<std::size_t>(map.blockSize, length - start);
        map.weak[i] = WeakChecksum(data + start, n);
        const auto strong = StrongChecksum(data + start, n);
        std::memcpy(map.strong.data() + i * strongBytes, strong.data(), strongBytes);
    }
    return map;
}

bool MakeBlockMapOfFile(const std::string& path, std::uint32_t blockSize, BlockMap& map, std::string& error) {
    if (blockSize != 0 && !blockSizeAllowed(blockSize)) {
        error =
            "block size must lie between " + std::to_string(kMinBlockSize) + " and " + std::to_string(kMaxBlockSize);
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        error = "cannot read " + path;
        return false;
    }
    const std::size_t length = static_cast<std::size_t>(st.st_size);
    void* data = length ? ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0) : nullptr;
    ::close(fd);
    if (length && data == MAP_FAILED) {
        error = "cannot map " + path;
        return false;
    }
    if (length) ::madvise(data, length, MADV_SEQUENTIAL);
    const std::uint32_t size = blockSize ? blockSize : ChooseBlockSize(static_cast<std::int64_t>(length));
    if ((length + size - 1) / size > kMaxBlockCount) {
        if (length) ::munmap(data, length);
        error = path + " needs too many blocks of " + std::to_string(size) + " bytes";
        return false;
    }
    map = MakeBlockMap(static_cast<const unsigned char*>(data), length, size);
    if (length) ::munmap(data, length);
    return true;
}

std::string FormatBlockMap(const BlockMap& map) {
    std::string out;
    out.reserve(kHeaderBytes + map.BlockCount() * (kWeakBytes + map.strongBytes));
    out.append(reinterpret_cast<const char*>(kMagic), 4);
    out += static_cast<char>(map.chain.empty() ? kVersion : kChainVersion);
    out += static_cast<char>(kWeakBytes);
    out += static_cast<char>(map.strongBytes);
    out += '\0';
    putU32(out, map.blockSize);
    putU64(out, static_cast<std::uint64_t>(map.length));
    out.append(reinterpret_cast<const char*>(map.md5.data()), 16);
    putU32(out, static_cast<std::uint32_t>(map.BlockCount()));
    for (std::size_t i = 0; i < map.BlockCount(); ++i) {
        putU32(out, map.weak[i]);
        out.append(reinterpret_cast<const char*>(map.Strong(i)), map.strongBytes);
    }
    if (!map.chain.empty()) {
        putU32(out, map.chainInterval);
        for (const Md5State& state : map.chain) out.append(reinterpret_cast<const char*>(state.data()), state.size());
    }
    return out;
}

bool ParseBlockMap(std::string_view bytes, BlockMap& out) {
    if (bytes.size() < kHeaderBytes || static_cast<std::int64_t>(bytes.size()) > kMaxBlockMapBytes) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const bool chained = p[4] == kChainVersion;
    if (std::memcmp(p, kMagic, 4) != 0 || (p[4] != kVersion && !chained) || p[5] != kWeakBytes || p[7] != 0)
        return false;
    const unsigned strongBytes = p[6];
    if (strongBytes < kMinStrongBytes || strongBytes > kMaxStrongBytes) return false;
    const std::uint32_t blockSize = getU32(p + 8);
    const std::uint64_t length = getU64(p + 12);
    const std::uint32_t count = getU32(p + 36);
    if (!blockSizeAllowed(blockSize) || count > kMaxBlockCount) return false;
    // The count follows from the length; checked without overflow, as the
    // length is whatever the map says.
    if (length > static_cast<std::uint64_t>(kMaxBlockCount) * blockSize) return false;
    if ((length + blockSize - 1) / blockSize != count) return false;
    const std::uint64_t entry = kWeakBytes + strongBytes;
    const std::uint64_t blocksEnd = kHeaderBytes + count * entry;
    std::uint32_t interval = 0;
    std::uint64_t states = 0;
    if (chained) {
        // The chain follows the blocks: its interval, then exactly as many
        // values as the length needs, one at least (a map without any is
        // written as version 2).
        if (bytes.size() < blocksEnd + 4) return false;
        interval = getU32(p + blocksEnd);
        states = chainStates(length, interval);
        if (!chainIntervalAllowed(interval) || states == 0 || states > kMaxChainStates) return false;
    }
    if (bytes.size() != blocksEnd + (chained ? 4 + states * 16 : 0)) return false;

    BlockMap map;
    map.length = static_cast<std::int64_t>(length);
    map.blockSize = blockSize;
    map.strongBytes = strongBytes;
    std::memcpy(map.md5.data(), p + 20, 16);
    map.weak.resize(count);
    map.strong.resize(static_cast<std::size_t>(count) * strongBytes);
    const unsigned char* at = p + kHeaderBytes;
    for (std::uint32_t i = 0; i < count; ++i, at += entry) {
        map.weak[i] = getU32(at);
        std::memcpy(map.strong.data() + static_cast<std::size_t>(i) * strongBytes, at + kWeakBytes, strongBytes);
    }
    map.chainInterval = interval;
    map.chain.resize(static_cast<std::size_t>(states));
    if (chained) at += 4;
    for (Md5State& state : map.chain) {
        std::memcpy(state.data(), at, state.size());
        at += state.size();
    }
    out = std::move(map);
    return true;
}
