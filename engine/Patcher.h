// Patching a changed file: the new version is built from the blocks of the
// old local copy that are still in it plus the bytes that changed, fetched
// with range requests, guided by the file's block map.
#pragma once

#include "engine/HttpClient.h"
#include "engine/PatchPlan.h"

#include <cstdint>
#include <string>
#include <vector>

// What became of a patch.
enum class PatchOutcome {
    Patched,  // the part holds the new file, its digest checked
    Fallback, // no patch possible (no map, a bad map or answer, ranges not honoured, wrong
              // result): nothing of it is left; fetch the file whole
    Broken,   // the transfer broke off or the job was cancelled; the part and its record are
              // kept when they can be continued
};

struct PatchTarget {
    std::wstring local;  // the old file, read only
    std::wstring part;   // where the new file is built
    std::string address; // the file's download address, without query
    std::string md5;     // the digest the file list expects
};

// Builds target.part from target.local and the file's map and ranges
// (continuing a part a broken patch left, where its record allows). Reports
// the bytes of the new file produced through progress. Counts into
// g_transferTotals.
PatchOutcome PatchFile(CHttpClient& client, const PatchTarget& target, void* userData, ProgressFunc progress);

// Ranges asked for in one request.
inline constexpr std::size_t kRangesPerRequest = 32;
