// multipart/byteranges answers of the download server.
#include "tools/devserver/MultiRange.h"

#include <algorithm>

namespace devserver {

namespace {

bool digits(const std::string& text) {
    return !text.empty() && text.size() <= 18 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

bool ParseMultiRange(const std::string& header, std::int64_t size, std::vector<FileRange>& ranges) {
    if (header.rfind("bytes=", 0) != 0) return false;
    ranges.clear();
    std::string spec = header.substr(6);
    std::size_t start = 0;
    while (start <= spec.size()) {
        std::size_t comma = spec.find(',', start);
        if (comma == std::string::npos) comma = spec.size();
        std::string one = spec.substr(start, comma - start);
        one.erase(0, one.find_first_not_of(' '));
        const std::size_t dash = one.find('-');
        if (dash == std::string::npos || !digits(one.substr(0, dash))) return false;
        FileRange range;
        range.first = std::stoll(one.substr(0, dash));
        const std::string end = one.substr(dash + 1);
        range.last = size - 1;
        if (!end.empty()) {
            if (!digits(end)) return false;
            range.last = std::min<std::int64_t>(range.last, std::stoll(end));
        }
        if (range.first > range.last || range.first >= size) return false;
        ranges.push_back(range);
        start = comma + 1;
    }
    return ranges.size() >= 2 && ranges.size() <= 1000;
}

MultipartLayout LayOutMultipart(const std::vector<FileRange>& ranges, std::int64_t size) {
    MultipartLayout layout;
    layout.boundary = "quellan0devserver0boundary";
    layout.ranges = ranges;
    for (const FileRange& range : ranges) {
        layout.heads.push_back(
            "\r\n--" + layout.boundary + "\r\nContent-Type: application/octet-stream\r\nContent-Range: bytes " +
            std::to_string(range.first) + "-" + std::to_string(range.last) + "/" + std::to_string(size) + "\r\n\r\n");
        layout.length += static_cast<std::int64_t>(layout.heads.back().size()) + range.last - range.first + 1;
    }
    layout.tail = "\r\n--" + layout.boundary + "--\r\n";
    layout.length += static_cast<std::int64_t>(layout.tail.size());
    return layout;
}

void MultipartLayout::Locate(std::int64_t at, std::size_t& part, std::int64_t& pieceOffset, bool& inHead,
                             std::int64_t& left) const {
    for (part = 0; part < heads.size(); ++part) {
        const auto head = static_cast<std::int64_t>(heads[part].size());
        if (at < head) {
            inHead = true;
            pieceOffset = at;
            left = head - at;
            return;
        }
        at -= head;
        const std::int64_t bytes = ranges[part].last - ranges[part].first + 1;
        if (at < bytes) {
            inHead = false;
            pieceOffset = ranges[part].first + at;
            left = bytes - at;
            return;
        }
        at -= bytes;
    }
    inHead = true;
    pieceOffset = at;
    left = static_cast<std::int64_t>(tail.size()) - at;
}

} // namespace devserver
