// Fuzzes the block map parser: whatever a map holds, one that parses keeps
// its limits, has as many blocks (and MD5 chaining values) as its length
// needs, is written back byte for byte, and plans a patch against the input
// itself without reaching outside either buffer, telling at most once that
// the input differs. Other inputs make an old file and an edit of it (below).
#include "engine/BlockMap.h"
#include "engine/PatchPlan.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

// An input that is no map is an old file and an edit: the first four bytes
// say where to cut how many bytes out and how many of the old file's own
// bytes to put in their place; the new file's map is planned against the old
// file. Every block the plan reuses must hold the new file's bytes, and an
// unchanged file must be found whole without a word that it differs.
void planEdit(const std::uint8_t* data, std::size_t size) {
    if (size < 4 + kMinBlockSize) return;
    const std::string old(reinterpret_cast<const char*>(data) + 4, size - 4);
    const std::size_t at = (data[0] | data[1] << 8) % old.size();
    const std::size_t cut = std::min<std::size_t>(data[2] * 7u, old.size() - at);
    std::string changed = old;
    changed.replace(at, cut, old.substr(old.size() / 3, data[3] * 5u));
    const auto* oldBytes = reinterpret_cast<const unsigned char*>(old.data());
    const auto* newBytes = reinterpret_cast<const unsigned char*>(changed.data());
    const BlockMap map = MakeBlockMap(newBytes, changed.size(), kMinBlockSize);
    int told = 0;
    const PatchPlan plan = PlanPatch(map, oldBytes, old.size(), {}, [&told] { ++told; });
    check(told <= 1);
    for (std::size_t b = 0; b < map.BlockCount(); ++b) {
        if (plan.source[b] < 0) continue;
        const auto length = static_cast<std::size_t>(map.BlockLength(b));
        check(static_cast<std::size_t>(plan.source[b]) + length <= old.size());
        check(std::memcmp(oldBytes + plan.source[b], newBytes + map.BlockOffset(b), length) == 0);
    }
    if (changed == old) check(told == 0 && plan.reusedBytes == map.length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    BlockMap map;
    if (!ParseBlockMap(text, map)) {
        planEdit(data, size);
        return 0;
    }
    check(map.blockSize >= kMinBlockSize && map.blockSize <= kMaxBlockSize);
    check(map.strongBytes >= kMinStrongBytes && map.strongBytes <= kMaxStrongBytes);
    check(map.BlockCount() <= kMaxBlockCount && map.length >= 0);
    check(static_cast<std::int64_t>(map.BlockCount()) == (map.length + map.blockSize - 1) / map.blockSize);
    check(map.strong.size() == map.BlockCount() * map.strongBytes);
    // Chaining values: none, or exactly one per whole interval before the end.
    if (!map.chain.empty())
        check(map.chainInterval >= kMinChainInterval && map.chainInterval % 64 == 0 &&
              map.chain.size() == static_cast<std::size_t>((map.length - 1) / map.chainInterval) &&
              map.chain.size() <= kMaxChainStates);
    check(FormatBlockMap(map) == text);
    int told = 0;
    const PatchPlan plan = PlanPatch(map, data, size, {}, [&told] { ++told; });
    check(told <= 1);
    std::int64_t missing = 0;
    for (const ByteRange& r : MissingRanges(map, plan)) {
        check(r.first >= 0 && r.first <= r.last && r.last < map.length);
        missing += r.Length();
    }
    for (std::size_t b = 0; b < map.BlockCount(); ++b) {
        if (plan.source[b] < 0) continue;
        check(plan.source[b] + map.BlockLength(b) <= static_cast<std::int64_t>(size));
    }
    check(missing + plan.reusedBytes == map.length);
    return 0;
}
