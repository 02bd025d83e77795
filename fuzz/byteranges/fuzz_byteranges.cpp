// Fuzzes the multipart/byteranges parser: the first byte sets the size of
// the pieces the body arrives in (any split must parse the same), the rest
// is the body. Parts handed on are valid ranges, and each gets exactly its
// range's length of bytes, never more.
#include "engine/ByteRanges.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

class Checker : public CByteRangesParser::IHandler {
public:
    bool OnPart(const ByteRange& range, std::int64_t total) override {
        check(expected == received);
        check(range.first >= 0 && range.first <= range.last && range.last < total);
        expected = range.Length();
        received = 0;
        trace += std::to_string(range.first) + "-" + std::to_string(range.last) + "/" + std::to_string(total) + ";";
        return true;
    }
    bool OnPartData(const char* data, std::size_t length) override {
        received += static_cast<std::int64_t>(length);
        check(received <= expected);
        trace.append(data, length);
        return true;
    }
    std::int64_t expected = 0, received = 0;
    std::string trace;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t piece = data[0] % 64 + 1;
    const char* body = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    Checker whole;
    CByteRangesParser one("B", whole);
    const bool wholeOk = one.Feed(body, length);
    const bool wholeDone = wholeOk && one.Finish();

    Checker split;
    CByteRangesParser pieces("B", split);
    bool splitOk = true;
    for (std::size_t at = 0; at < length && splitOk; at += piece)
        splitOk = pieces.Feed(body + at, std::min(piece, length - at));
    check(splitOk == wholeOk);
    check((splitOk && pieces.Finish()) == wholeDone);
    if (wholeDone) {
        check(whole.received == whole.expected);
        check(whole.trace == split.trace);
    }

    // The header values of the same answer.
    std::string boundary;
    if (MultipartBoundary(std::string_view(body, length), boundary)) check(!boundary.empty() && boundary.size() <= 70);
    ByteRange range;
    std::int64_t total;
    if (ParseContentRange(std::string_view(body, length), range, total))
        check(range.first <= range.last && range.last < total);
    return 0;
}
