// Where a file list entry lives on disk, and which entries must never be written.
#pragma once

#include <string>
#include <string_view>

// The local file of a file list entry: the installation folder, a separator
// when the folder text lacks one, and the entry's path with "\" and "/" both
// taken as separators (empty and "." components dropped). A file list is
// outside input, so an entry that is empty, absolute, has a ".." component, a
// ":" (a drive letter or a stream name) or a control character, and so could
// name something outside the folder, yields the empty text: it is never
// written. An empty folder yields the empty text as well.
//
// Names the installer keeps for itself beside the files (a part in transfer
// and its resume record, a block map, the folder lock) are refused the same
// way: a list must not make the installer overwrite or read them as files.
std::wstring LocalPathForEntry(std::wstring_view installDir, std::string_view file);

// The same rules, giving the entry's path below the folder with "/" between
// its components ("Data/a.bin"); empty when the entry is refused.
std::string RelativePathForEntry(std::string_view file);

// The download address of an entry: the edition's prefix followed by the
// entry's path with every "\" turned into "/".
std::string DownloadAddressForEntry(std::string_view prefix, std::string_view file);
