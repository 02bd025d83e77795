// Planning a patch: which blocks of a new file an old copy already holds,
// and the byte ranges left to fetch.
#pragma once

#include "engine/BlockMap.h"
#include "engine/ByteRanges.h"

#include <cstdint>
#include <functional>
#include <vector>

// Where each block of the new file can be copied from in the old one.
struct PatchPlan {
    std::vector<std::int64_t> source; // per block: offset in the old file, or -1 (fetch it)
    std::int64_t reusedBytes = 0;
    bool gaveUp = false; // the scan stopped early, having found nothing
};

// Finds the map's blocks in old (at any offset) with the rolling checksum,
// each confirmed by its strong checksum. A large old file is probed first in
// four windows (start, quarter, half, three quarters): when none holds any
// block, the scan gives up, as such a file has nothing to offer and the
// whole fetch should not wait for a full scan.
// A large old file is scanned by two threads at once; proceed (asked every
// MiB, from either thread) stops the scan early when it answers false.
// differs is told (once, from either thread) as soon as the scan meets a
// full block whose own offset in old holds other bytes: old is then not the
// new file, whatever the rest of the scan finds.
PatchPlan PlanPatch(const BlockMap& map, const unsigned char* old, std::size_t oldLength,
                    const std::function<bool()>& proceed = {}, const std::function<void()>& differs = {});

// The byte ranges a plan must fetch, from offset `from` on (adjacent
// blocks merged).
std::vector<ByteRange> MissingRanges(const BlockMap& map, const PatchPlan& plan, std::int64_t from = 0);
