// Demo content for the download server: game files of all five editions and
// their file lists, written to a folder that `quellan-devserver --content`
// then serves.
#pragma once

#include <cstdint>
#include <string>

namespace devserver {

// Layout of a content folder: DIR/<edition code>/<files> and the edition's
// list DIR/<edition code>/filelist.json (not listed in itself). The devserver
// serves DIR under /files/.
inline constexpr const char* kEditionCodes[] = {"alder", "birch", "cedar", "dogwood", "elm"};

struct ContentSummary {
    int files = 0;
    std::uint64_t bytes = 0;
};

// Writes the demo content below dir (created when missing; existing edition
// folders are replaced): per edition nested folders, Chinese and
// blank-containing names, the launcher, an empty file, files under the
// folder the installer skips, a few files of several MiB, and the matching
// list. Deterministic: the same content every time. False with a message on
// failure.
bool MakeSampleContent(const std::string& dir, ContentSummary& summary, std::string& error);

// Writes a file list for every regular file below folder but listPath itself
// (paths relative to folder, "\" separated, sorted) to listPath. With asObject the list is an object
// whose members are the entries, in the same order.
bool WriteFileList(const std::string& folder, const std::string& listPath, bool asObject, ContentSummary& summary,
                   std::string& error);

// Lower-case hex MD5 of a file's content; empty when it cannot be read.
std::string FileMd5(const std::string& path);

} // namespace devserver
