// Answers with several byte ranges (multipart/byteranges) for the download
// server; kept apart from the service answers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devserver {

struct FileRange {
    std::int64_t first = 0, last = 0; // both included
};

// "bytes=A-B,C-D,..." with at least two ranges of the forms "N-M" and "N-",
// each starting within size (ends past it are cut to it). False otherwise.
bool ParseMultiRange(const std::string& header, std::int64_t size, std::vector<FileRange>& ranges);

// The body of a multipart/byteranges answer as pieces: the text before each
// range's bytes, then the closing text. Bytes of range i follow heads[i].
struct MultipartLayout {
    std::string boundary;
    std::vector<std::string> heads;
    std::string tail;
    std::int64_t length = 0; // of the whole body

    // Where body offset `at` lies: in heads[part] (fileOffset -1) or the
    // file's byte fileOffset, and how many bytes of that piece remain.
    // part == heads.size() means the tail.
    void Locate(std::int64_t at, std::size_t& part, std::int64_t& pieceOffset, bool& inHead, std::int64_t& left) const;
    std::vector<FileRange> ranges;
};

MultipartLayout LayOutMultipart(const std::vector<FileRange>& ranges, std::int64_t size);

} // namespace devserver
