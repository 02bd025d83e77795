// Resume records: their text form, a defensive parser and the file beside a part.
#include "engine/ResumeRecord.h"

#include "platform/system/Text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

const std::string_view kHeader = "quellan-resume 1";

// Records are a few hundred bytes; anything much larger is not one of ours.
constexpr std::size_t kMaxRecordBytes = 4096;

// Values end up in request headers: no control characters, so nothing read
// from the file can add a header line of its own.
bool isPlainText(std::string_view value) {
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

bool isHexDigest(std::string_view value) {
    if (value.size() != 32) return false;
    for (char c : value) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

bool parseLength(std::string_view value, std::int64_t& out) {
    if (value.empty() || value.size() > 18) return false; // 18 digits never overflow
    std::int64_t n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    out = n;
    return true;
}

} // namespace

std::string ResumeRecord::IfRangeValidator() const {
    if (!etag.empty() && etag.rfind("W/", 0) != 0) return etag;
    return lastModified;
}

std::string FormatResumeRecord(const ResumeRecord& record) {
    std::string text(kHeader);
    text += '\n';
    auto line = [&text](std::string_view key, const std::string& value) {
        if (value.empty()) return;
        text.append(key).append(" ").append(value).append("\n");
    };
    line("address", record.address);
    line("md5", record.md5);
    line("etag", record.etag);
    line("last-modified", record.lastModified);
    if (record.length >= 0) line("length", std::to_string(record.length));
    if (record.patch) line("kind", "patch");
    return text;
}

bool ParseResumeRecord(std::string_view text, ResumeRecord& out) {
    if (text.size() > kMaxRecordBytes || text.empty() || text.back() != '\n') return false; // cut short
    ResumeRecord record;
    bool seen[6] = {};
    bool first = true;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (first) {
            if (line != kHeader) return false;
            first = false;
            continue;
        }
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos) return false;
        const std::string_view key = line.substr(0, blank);
        const std::string_view value = line.substr(blank + 1);
        if (value.empty() || !isPlainText(value)) return false;
        int index;
        if (key == "address")
            index = 0;
        else if (key == "md5")
            index = 1;
        else if (key == "etag")
            index = 2;
        else if (key == "last-modified")
            index = 3;
        else if (key == "length")
            index = 4;
        else if (key == "kind" && value == "patch")
            index = 5;
        else
            return false;
        if (seen[index]) return false;
        seen[index] = true;
        switch (index) {
        case 0:
            record.address = value;
            break;
        case 1:
            if (!isHexDigest(value)) return false;
            record.md5 = value;
            break;
        case 2:
            record.etag = value;
            break;
        case 3:
            record.lastModified = value;
            break;
        case 4:
            if (!parseLength(value, record.length)) return false;
            break;
        default:
            record.patch = true;
            break;
        }
    }
    if (first || record.address.empty() || record.md5.empty() || record.IfRangeValidator().empty()) return false;
    out = std::move(record);
    return true;
}

std::wstring ResumeRecordPath(const std::wstring& partPath) {
    const std::size_t slash = partPath.find_last_of(L"/\\");
    const std::size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
    return partPath.substr(0, nameStart) + L"." + partPath.substr(nameStart) + L".resume";
}

bool ReadResumeRecord(const std::wstring& path, ResumeRecord& record) {
    const int fd = ::open(platform::toUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    std::string text(kMaxRecordBytes + 1, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    return ParseResumeRecord(text, record);
}

bool WriteResumeRecord(const std::wstring& path, const ResumeRecord& record) {
    const std::string native = platform::toUtf8(path);
    ::unlink(native.c_str()); // never write through a link someone left under the name
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const std::string text = FormatResumeRecord(record);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool ok = ::close(fd) == 0 && done == text.size();
    if (!ok) ::unlink(native.c_str());
    return ok;
}
