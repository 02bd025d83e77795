// Planning a patch: finding a new file's blocks in the old one.
#include "engine/PatchPlan.h"

#include "engine/RollingChecksum.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>

// --- Planning ---

namespace {
// Old files from this length on are scanned by two threads.
constexpr std::size_t kSplitScanBytes = 32 << 20;
} // namespace

PatchPlan PlanPatch(const BlockMap& map, const unsigned char* old, std::size_t oldLength,
                    const std::function<bool()>& proceed, const std::function<void()>& differs) {
    PatchPlan plan;
    const std::size_t count = map.BlockCount();
    plan.source.assign(count, -1);
    if (count == 0 || !old) return plan;
    const std::size_t size = map.blockSize;
    const std::size_t sb = map.strongBytes;
    // Full-size blocks are searched at every offset; a short last block
    // only where it can be (the old file's end or its own offset).
    const std::size_t full = map.BlockLength(count - 1) < static_cast<std::int64_t>(size) ? count - 1 : count;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
    index.reserve(full);
    for (std::size_t i = 0; i < full; ++i) index.emplace_back(map.weak[i], static_cast<std::uint32_t>(i));
    std::sort(index.begin(), index.end());
    // Most offsets match no block: a bit per hashed weak sum rules them out
    // before the search.
    constexpr unsigned kFilterBits = 22;
    std::vector<std::uint64_t> filter((1u << kFilterBits) / 64);
    auto slot = [](std::uint32_t weak) { return (weak * 0x9E3779B1u) >> (32 - kFilterBits); };
    for (const auto& entry : index) filter[slot(entry.first) / 64] |= 1ull << (slot(entry.first) % 64);

    auto claimIn = [&](PatchPlan& into, std::size_t block, std::size_t at) {
        if (into.source[block] >= 0) return;
        into.source[block] = static_cast<std::int64_t>(at);
        into.reusedBytes += map.BlockLength(block);
    };
    auto claim = [&](std::size_t block, std::size_t at) { claimIn(plan, block, at); };
    // A full block whose own offset holds other bytes shows that old is not
    // the new file; told once, by whichever scan sees it first.
    std::atomic<bool> told{false};
    auto notAtOwnOffset = [&] {
        if (differs && !told.exchange(true)) differs();
    };
    // Scans the windows starting in [from, to) into a plan; true when a
    // block matched. Reads nothing but the map, the old file and `into`, so
    // two scans of separate plans may run at once.
    auto scanInto = [&](PatchPlan& into, std::size_t from, std::size_t to) {
        bool found = false;
        if (oldLength < size || index.empty() || from + size > oldLength) return false;
        to = std::min(to, oldLength - size + 1);
        std::size_t pos = from;
        std::size_t last = 0; // the block found last
        // The next offset that is a multiple of the block size.
        std::size_t ownOffset = (from + size - 1) / size * size;
        CRollingChecksum sum;
        sum.Reset(old + pos, size);
        for (;;) {
            const std::uint32_t weak = sum.Value();
            if (pos == ownOffset) {
                if (pos / size < full && weak != map.weak[pos / size]) notAtOwnOffset();
                ownOffset += size;
            }
            bool matched = false;
            const std::uint32_t bit = slot(weak);
            if (filter[bit / 64] & (1ull << (bit % 64))) {
                auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(weak, 0u));
                if (it != index.end() && it->first == weak) {
                    const auto strong = StrongChecksum(old + pos, size);
                    for (; it != index.end() && it->first == weak; ++it) {
                        if (std::memcmp(strong.data(), map.Strong(it->second), sb) != 0) continue;
                        claimIn(into, it->second, pos);
                        last = it->second;
                        matched = true;
                    }
                }
            }
            if (matched) {
                found = true;
                pos += size;
                // Unchanged runs are the rule: the block after the one just
                // found is tried here first, by its strong sum alone, which
                // saves the weak sum's pass over the bytes.
                while (pos < to && last + 1 < full && into.source[last + 1] < 0) {
                    if (std::memcmp(StrongChecksum(old + pos, size).data(), map.Strong(last + 1), sb) != 0) {
                        if (pos == (last + 1) * size) notAtOwnOffset();
                        break;
                    }
                    claimIn(into, ++last, pos);
                    pos += size;
                }
                if (pos >= to) break;
                ownOffset = (pos + size - 1) / size * size;
                sum.Reset(old + pos, size);
                continue;
            }
            if (pos + 1 >= to) break;
            sum.Roll(old[pos], old[pos + size]);
            ++pos;
            if ((pos & 0xfffff) == 0 && proceed && !proceed()) break;
        }
        return found;
    };
    auto scan = [&](std::size_t from, std::size_t to) { return scanInto(plan, from, to); };
    const std::size_t window = std::max<std::size_t>(1 << 20, 64 * size);
    if (oldLength > 4 * window) {
        bool found = false;
        for (std::size_t quarter = 0; quarter < 4; ++quarter) {
            const std::size_t from = oldLength / 4 * quarter;
            found = scan(from, from + window) || found;
        }
        plan.gaveUp = !found;
    }
    if (!plan.gaveUp && oldLength < kSplitScanBytes) {
        scan(0, oldLength);
    } else if (!plan.gaveUp) {
        // A large file is scanned in two halves at once, on a second core:
        // the scan is most of a patch's own work. The first half's windows
        // reach into the second; where both halves found a block, the
        // first's copy is kept, as a single scan would have.
        PatchPlan second;
        second.source.assign(count, -1);
        const std::size_t middle = oldLength / 2;
        std::thread helper([&] { scanInto(second, middle, oldLength); });
        scan(0, middle);
        helper.join();
        for (std::size_t block = 0; block < count; ++block)
            if (plan.source[block] < 0 && second.source[block] >= 0)
                claim(block, static_cast<std::size_t>(second.source[block]));
    }
    if (full < count && !plan.gaveUp) {
        const std::size_t last = count - 1;
        const std::size_t length = static_cast<std::size_t>(map.BlockLength(last));
        const std::size_t places[] = {oldLength >= length ? oldLength - length : SIZE_MAX,
                                      static_cast<std::size_t>(map.BlockOffset(last))};
        for (std::size_t at : places) {
            if (at == SIZE_MAX || at + length > oldLength || plan.source[last] >= 0) continue;
            if (WeakChecksum(old + at, length) != map.weak[last]) continue;
            if (std::memcmp(StrongChecksum(old + at, length).data(), map.Strong(last), sb) == 0) claim(last, at);
        }
    }
    return plan;
}

std::vector<ByteRange> MissingRanges(const BlockMap& map, const PatchPlan& plan, std::int64_t from) {
    std::vector<ByteRange> ranges;
    for (std::size_t block = 0; block < map.BlockCount(); ++block) {
        const std::int64_t end = map.BlockOffset(block) + map.BlockLength(block);
        if (plan.source[block] >= 0 || end <= from) continue;
        const std::int64_t start = std::max(map.BlockOffset(block), from);
        if (!ranges.empty() && ranges.back().last + 1 == start)
            ranges.back().last = end - 1;
        else
            ranges.push_back({start, end - 1});
    }
    return ranges;
}
