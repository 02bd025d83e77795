// File lists (one per edition) and the download queue the workers share.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// One entry of a file list: the path below the installation folder ("\"
// separated, UTF-8) and the expected MD5 as 32 lower-case hex digits (empty
// when the list gave none).
struct DownloadItem {
    std::string file;
    std::string md5;
};

// A file list larger than this is refused (it is outside input: a list bomb
// must not fill the disk or the memory).
inline constexpr std::int64_t kMaxFileListBytes = std::int64_t{64} << 20;

// Parses a file list. The top-level value's elements are read in document
// order (an object's members too, although JSON objects are unordered);
// elements that are not objects are skipped; a missing or non-text "file" or
// "md5" reads as empty. Returns false, with no items, when the text is not
// JSON or its top-level value is neither an array nor an object (an error
// page, a cut-off list, "null"): such a list says nothing about what belongs
// in the folder. "[]" is a valid empty list.
bool ParseFileList(std::string_view text, std::vector<DownloadItem>& items);

// The configuration key of an edition's file list digest
// ("<code>_file_sha256"); empty for an unknown index.
std::string FileListDigestKey(std::uint32_t editionIndex);

// A string member of the configuration; empty when the configuration is not
// a JSON object or the member is missing or not a string.
std::string ConfigString(std::string_view configText, const std::string& key);

// The download queue: first in, first out, one lock. The file list job fills
// it before any worker starts; workers and the window's status line then take
// from it or count it from any thread.
class CDownloadQueue {
public:
    void Clear();
    void Assign(std::vector<DownloadItem> items);
    void Push(DownloadItem item);
    // Moves the front item into `item`; false when the queue is empty.
    bool Pop(DownloadItem& item);
    int Count() const;

private:
    mutable std::mutex m_lock;
    std::deque<DownloadItem> m_items;
};

extern CDownloadQueue g_downloadQueue;

bool PopDownloadItem(DownloadItem& item);
int GetDownloadItemCount();

// Installation folder of the running pass: written by the file list job before
// it announces the pass, read by the workers afterwards.
extern std::wstring g_installDir;

// Set by any worker when a file of the running pass failed; cleared by the file
// list job once the list is in hand.
extern std::atomic<bool> g_downloadFailed;

// Edition index (0 alder, 3 birch, 4 cedar, 5 elm, 6 dogwood) → edition code,
// or empty for an index that names no edition.
std::string_view EditionCodeForIndex(std::uint32_t editionIndex);

// The file list address the configuration gives for an edition:
// "filelist_url_prefix" followed by "<code>_file_url". Empty when the
// configuration is not JSON; an unknown edition adds nothing to the prefix.
std::string FileListAddress(std::string_view configText, std::uint32_t editionIndex);

// Where the file list is kept: the temporary folder joined with the last path
// component of the address (query and fragment left out). An address without
// a file name gets the fixed name "quellan-filelist.json", so the job never
// reads or deletes anything but its own copy.
std::wstring LocalFileListPath(std::wstring_view tempDir, std::string_view address);
