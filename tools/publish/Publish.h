// Publishing a release: the file list of a folder and the block map beside
// every large file, as quellan-publish and quellan-devserver --make-list
// write them.
#pragma once

#include <cstdint>
#include <string>

namespace publish {

struct PublishOptions {
    bool maps = true;            // write FILE.qbm beside every file of at least 1 MiB
    std::uint32_t blockSize = 0; // 0: chosen per file
};

struct PublishSummary {
    int files = 0;
    std::uint64_t bytes = 0;
    int mapsWritten = 0;   // new or changed maps
    int mapsUnchanged = 0; // maps already as they should be
    int mapsRemoved = 0;   // maps whose file is gone or too small now
    bool listWritten = false;
    std::string listSha256; // of the list as it is on disk afterwards
};

// Lists every regular file below folder (paths relative to it, "\"
// separated, sorted; the list itself and maps left out) with its MD5 and
// writes the list (a JSON array of {"file", "md5"}) to listPath, and with
// maps the block maps. Files already as they should be are not rewritten.
// False with an error text on failure.
bool PublishTree(const std::string& folder, const std::string& listPath, const PublishOptions& options,
                 PublishSummary& summary, std::string& error);

// SHA-256 of a file as 64 lower-case hex digits; empty when unreadable.
std::string FileSha256(const std::string& path);

} // namespace publish
