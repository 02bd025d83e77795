// Fuzzes the resume record parser: whatever a record file holds, a record
// that parses has a validator free of control characters (it becomes a
// request header) and survives a round trip through its text form.
#include "engine/ResumeRecord.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

bool plain(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ResumeRecord record;
    if (!ParseResumeRecord(text, record)) return 0;
    check(!record.IfRangeValidator().empty() && plain(record.IfRangeValidator()));
    check(!record.address.empty() && plain(record.address) && record.md5.size() == 32);
    check(record.length >= -1);
    ResumeRecord back;
    check(ParseResumeRecord(FormatResumeRecord(record), back));
    check(back.address == record.address && back.md5 == record.md5 && back.etag == record.etag &&
          back.lastModified == record.lastModified && back.length == record.length && back.patch == record.patch);
    return 0;
}
