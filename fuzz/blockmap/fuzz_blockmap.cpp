// Fuzzes the block map parser: whatever a map holds, one that parses keeps
// its limits, has as many blocks as its length needs, is written back byte
// for byte, and plans a patch against the input itself without reaching
// outside either buffer, telling at most once that the input differs.
#include "engine/BlockMap.h"
#include "engine/PatchPlan.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    BlockMap map;
    if (!ParseBlockMap(text, map)) return 0;
    check(map.blockSize >= kMinBlockSize && map.blockSize <= kMaxBlockSize);
    check(map.strongBytes >= kMinStrongBytes && map.strongBytes <= kMaxStrongBytes);
    check(map.BlockCount() <= kMaxBlockCount && map.length >= 0);
    check(static_cast<std::int64_t>(map.BlockCount()) == (map.length + map.blockSize - 1) / map.blockSize);
    check(map.strong.size() == map.BlockCount() * map.strongBytes);
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
