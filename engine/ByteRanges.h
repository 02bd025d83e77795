// Byte ranges over HTTP: the Range header a client sends, the Content-Range
// of an answer, and a strict streaming parser of multipart/byteranges bodies
// (several ranges in one answer). Answers are outside input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Bytes first..last of a resource, both included.
struct ByteRange {
    std::int64_t first = 0;
    std::int64_t last = -1;
    std::int64_t Length() const { return last - first + 1; }
};

// "bytes=A-B,C-D,...".
std::string FormatRangeHeader(const std::vector<ByteRange>& ranges);

// "bytes FIRST-LAST/TOTAL" with first <= last < total (a "*" total is not
// accepted: a patch must know the length it is building).
bool ParseContentRange(std::string_view value, ByteRange& range, std::int64_t& total);

// The boundary of "multipart/byteranges; boundary=B" (B quoted or not, 1 to
// 70 characters of the kinds a boundary may hold). False for anything else.
bool MultipartBoundary(std::string_view contentType, std::string& boundary);

// Parses a multipart/byteranges body as it arrives, in pieces of any size.
// Every line must end in CRLF; each part needs exactly one valid
// Content-Range (all parts of one resource, at most 16 header lines of at
// most 1 KiB each); the body may begin with one CRLF and end with a few
// CR/LF after the closing delimiter, nothing else. Owned by one transfer.
class CByteRangesParser {
public:
    class IHandler {
    public:
        virtual ~IHandler() = default;
        // A part begins; false stops the parse.
        virtual bool OnPart(const ByteRange& range, std::int64_t total) = 0;
        // The next bytes of the current part; false stops the parse.
        virtual bool OnPartData(const char* data, std::size_t length) = 0;
    };

    CByteRangesParser(std::string boundary, IHandler& handler);

    // Feeds the next piece; false once the body is malformed or the handler
    // said stop (and for every later piece).
    bool Feed(const char* data, std::size_t length);
    // The body has ended: true when it was complete and held at least one part.
    bool Finish() const;
    int Parts() const { return m_parts; }

private:
    enum class State { Lead, Headers, Data, AfterData, Delimiter, Done, Failed };
    bool line(std::string_view text);
    bool header(std::string_view text);

    std::string m_boundary;
    IHandler& m_handler;
    State m_state = State::Lead;
    std::string m_line;
    bool m_leadCrlfSeen = false;
    int m_headerLines = 0;
    bool m_haveRange = false;
    ByteRange m_range;
    std::int64_t m_total = -1;
    std::int64_t m_left = 0;
    int m_parts = 0;
    std::size_t m_epilogue = 0;
};
