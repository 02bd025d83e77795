// The record kept beside a part file whose transfer broke off, so that the
// next pass can ask for the rest instead of the whole file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What a part file was fetched from. Written before the first byte of a body
// lands in the part, so a process killed mid-write still leaves a record
// describing the bytes that did land.
struct ResumeRecord {
    std::string address;      // download address without the cache-busting query
    std::string md5;          // the digest the file list expected for it
    std::string etag;         // the server's ETag, quotes included; may be empty
    std::string lastModified; // the server's Last-Modified; may be empty
    std::int64_t length = -1; // the whole resource's length; -1 when not said
    bool patch = false;       // the part was built from an older copy and ranges (it holds the
                              // new file's first bytes all the same)

    // The If-Range value to continue with: a strong ETag, else Last-Modified
    // (a weak ETag may not be used for ranges); empty when there is none.
    std::string IfRangeValidator() const;
};

// The record's text: a first line "quellan-resume 1", then one "key value"
// line each for address, md5, etag, last-modified, length, and "kind patch"
// for a part a patch built.
std::string FormatResumeRecord(const ResumeRecord& record);

// Parses a record's text. The file is outside input (it may be cut short,
// stale or edited): anything but a well-formed record of this version fails,
// and so does a record without a validator, without an address, with a
// digest that is not 32 hex digits or with a length that is not a number.
bool ParseResumeRecord(std::string_view text, ResumeRecord& out);

// The record of a part file: hidden, in the same folder ("." + the part's
// name + ".resume").
std::wstring ResumeRecordPath(const std::wstring& partPath);

// Reads and parses a record file (at most a few KiB are accepted). False when
// it is missing, unreadable or malformed.
bool ReadResumeRecord(const std::wstring& path, ResumeRecord& record);

// Writes a record file, replacing any older one. False when it cannot be
// written completely.
bool WriteResumeRecord(const std::wstring& path, const ResumeRecord& record);
