// Range headers and the multipart/byteranges parser.
#include "engine/ByteRanges.h"

#include <cctype>

namespace {

constexpr std::size_t kMaxLine = 1024;
constexpr int kMaxHeaderLines = 16;
constexpr int kMaxParts = 4096;
constexpr std::size_t kMaxEpilogue = 16;

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool parseNumber(std::string_view text, std::int64_t& out) {
    if (text.empty() || text.size() > 18) return false;
    std::int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    out = n;
    return true;
}

bool boundaryChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("'()+_,-./:=? ").find(c) != std::string_view::npos;
}

} // namespace

std::string FormatRangeHeader(const std::vector<ByteRange>& ranges) {
    std::string text = "bytes=";
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (i) text += ',';
        text += std::to_string(ranges[i].first) + "-" + std::to_string(ranges[i].last);
    }
    return text;
}

bool ParseContentRange(std::string_view value, ByteRange& range, std::int64_t& total) {
    value = trim(value);
    if (value.size() < 6 || !equalsNoCase(value.substr(0, 6), "bytes ")) return false;
    value.remove_prefix(6);
    const std::size_t dash = value.find('-');
    const std::size_t slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return false;
    ByteRange r;
    std::int64_t t;
    if (!parseNumber(value.substr(0, dash), r.first) ||
        !parseNumber(value.substr(dash + 1, slash - dash - 1), r.last) || !parseNumber(value.substr(slash + 1), t))
        return false;
    if (r.first > r.last || r.last >= t) return false;
    range = r;
    total = t;
    return true;
}

bool MultipartBoundary(std::string_view contentType, std::string& boundary) {
    const std::size_t semi = contentType.find(';');
    if (semi == std::string_view::npos || !equalsNoCase(trim(contentType.substr(0, semi)), "multipart/byteranges"))
        return false;
    std::string_view params = contentType.substr(semi + 1);
    while (!params.empty()) {
        const std::size_t next = params.find(';');
        std::string_view param = trim(params.substr(0, next));
        params = next == std::string_view::npos ? std::string_view() : params.substr(next + 1);
        const std::size_t eq = param.find('=');
        if (eq == std::string_view::npos || !equalsNoCase(trim(param.substr(0, eq)), "boundary")) continue;
        std::string_view value = trim(param.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.empty() || value.size() > 70 || value.back() == ' ') return false;
        for (char c : value) {
            if (!boundaryChar(c)) return false;
        }
        boundary = value;
        return true;
    }
    return false;
}

CByteRangesParser::CByteRangesParser(std::string boundary, IHandler& handler)
    : m_boundary("--" + std::move(boundary)), m_handler(handler) {}

bool CByteRangesParser::Feed(const char* data, std::size_t length) {
    std::size_t at = 0;
    while (at < length) {
        switch (m_state) {
        case State::Failed:
            return false;
        case State::Data: {
            const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(m_left, length - at));
            if (!m_handler.OnPartData(data + at, n)) {
                m_state = State::Failed;
                return false;
            }
            at += n;
            m_left -= static_cast<std::int64_t>(n);
            if (m_left == 0) m_state = State::AfterData;
            break;
        }
        case State::Done:
            // Only line ends may follow the closing delimiter.
            if ((data[at] != '\r' && data[at] != '\n') || ++m_epilogue > kMaxEpilogue) {
                m_state = State::Failed;
                return false;
            }
            ++at;
            break;
        default: {
            const char c = data[at++];
            m_line += c;
            if (c == '\n') {
                if (m_line.size() < 2 || m_line[m_line.size() - 2] != '\r' ||
                    !line(std::string_view(m_line).substr(0, m_line.size() - 2))) {
                    m_state = State::Failed;
                    return false;
                }
                m_line.clear();
            } else if (m_line.size() > kMaxLine) {
                m_state = State::Failed;
                return false;
            }
            break;
        }
        }
    }
    return m_state != State::Failed;
}

bool CByteRangesParser::line(std::string_view text) {
    switch (m_state) {
    case State::Lead:
        if (text.empty() && !m_leadCrlfSeen) {
            m_leadCrlfSeen = true;
            return true;
        }
        if (text != m_boundary) return false;
        m_state = State::Headers;
        return true;
    case State::Headers:
        if (!text.empty()) return header(text);
        if (!m_haveRange || ++m_parts > kMaxParts || !m_handler.OnPart(m_range, m_total)) return false;
        m_haveRange = false;
        m_headerLines = 0;
        m_left = m_range.Length();
        m_state = State::Data;
        return true;
    case State::AfterData:
        // The CRLF that belongs to the delimiter after a part's bytes.
        if (!text.empty()) return false;
        m_state = State::Delimiter;
        return true;
    case State::Delimiter:
        if (text == m_boundary) {
            m_state = State::Headers;
            return true;
        }
        if (text.size() == m_boundary.size() + 2 && text.substr(0, m_boundary.size()) == m_boundary &&
            text.substr(m_boundary.size()) == "--") {
            m_state = State::Done;
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool CByteRangesParser::header(std::string_view text) {
    if (++m_headerLines > kMaxHeaderLines) return false;
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const std::string_view name = text.substr(0, colon);
    for (char c : name) {
        if (c <= ' ' || c >= 0x7f) return false;
    }
    if (!equalsNoCase(name, "Content-Range")) return true;
    ByteRange range;
    std::int64_t total;
    if (m_haveRange || !ParseContentRange(text.substr(colon + 1), range, total)) return false;
    if (m_total >= 0 && total != m_total) return false;
    m_total = total;
    m_range = range;
    m_haveRange = true;
    return true;
}

bool CByteRangesParser::Finish() const {
    if (m_parts == 0) return false;
    if (m_state == State::Done) return true;
    // A closing delimiter without the line end after it ends the body too.
    return m_state == State::Delimiter && m_line == m_boundary + "--";
}
