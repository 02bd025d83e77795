// The process-wide skin source: where skin documents and images are read
// from (a resource folder, or the in-memory skin archive with its password).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace skinsource {

// Outcome of reading a skin file; each maps to one message of the parser.
enum class ReadStatus {
    Ok,
    OpenFailed,    // the file cannot be opened
    Empty,         // size 0
    TooLarge,      // above the caller's limit
    ReadFailed,    // fewer bytes than the size
    NoArchive,     // an archive is set but could not be opened
    EntryNotFound, // no entry of that name
    ExtractFailed, // reading, decrypting, inflating or checking the entry failed
};

// Module handle the program registered; embedded resources are found in the
// executable whatever it is, so it is only kept and handed back.
void setInstance(void* instance);
void* instanceHandle();

// Registers the in-memory skin archive. The first call opens the archive
// (the bytes are not copied: they must outlive the process's use of the
// skin); later calls only replace the password. A null or empty password
// means none; at most 64 bytes are kept.
void setSkinArchive(const void* bytes, std::size_t size, const char* password);
// "membuffer" once an archive is set, else empty.
const std::wstring& archiveName();
bool archiveIsSet();
// True when an archive is set and it could be opened.
bool archiveIsOpen();

// Folder prefix for documents read without an archive. It is prepended as
// is (no separator added), like the name was always meant to be appended.
void setResourcePath(std::wstring_view path);
const std::wstring& resourcePath();

// The archive entry name a skin name maps to: ANSI bytes (at most 259),
// backslashes as "/", no leading "/" and no doubled "/". Located without
// regard to ASCII case.
std::string archiveEntryName(std::wstring_view name);

// Reads the named entry of the open archive into `out` (resized to the
// entry's size). Entries above `maxSize` give TooLarge.
ReadStatus readArchiveEntry(std::wstring_view name, std::vector<std::uint8_t>& out, std::size_t maxSize = SIZE_MAX);
// Reads a whole file (UTF-8 path after conversion) into `out`.
ReadStatus readFile(std::wstring_view path, std::vector<std::uint8_t>& out, std::size_t maxSize = SIZE_MAX);

// Lists the archive's entry names (for tools); empty without an open archive.
std::vector<std::string> archiveEntries();

// Returns the source to its start-up state (no archive, no password, empty
// resource path). Tools and tests use it; the program sets its skin once.
void reset();

} // namespace skinsource
