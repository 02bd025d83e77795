// The skin document parser: decoding, the single in-place parse, nodes.
#include "ui/markup/SkinXml.h"

#include "platform/system/Text.h"
#include "ui/render/SkinSource.h"
#include "util/Text.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <locale.h>
#include <new>
#include <string>
#include <vector>

namespace {

bool isWhitespace(wchar_t c) { return c >= 1 && c <= 32; }

// Name characters: "_", ":" and letters and digits of any script. The
// classification must not depend on the process locale (a program started
// in the C locale would otherwise reject every non-Latin name), so a UTF-8
// locale object is used; without one every non-ASCII character counts.
bool isNameChar(wchar_t c) {
    if (c == L'_' || c == L':') return true;
    if (c < 0x80) return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
    static locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!unicode) return true;
    return iswalnum_l(static_cast<wint_t>(c), unicode) != 0;
}

// UTF-8 straight into the document buffer (one allocation, no copy), by the
// same rules as the platform conversion: invalid sequences become U+FFFD and
// the text ends at a NUL byte. `out` holds at least size + 1 units.
std::size_t decodeUtf8(const unsigned char* b, std::size_t size, wchar_t* out) {
    constexpr wchar_t kReplacement = 0xFFFD;
    std::size_t i = 0, n = 0;
    while (i < size) {
        unsigned char c0 = b[i];
        if (c0 < 0x80) {
            if (c0 == 0) break;
            out[n++] = c0;
            ++i;
            continue;
        }
        int extra;
        char32_t c, min;
        if ((c0 & 0xE0) == 0xC0) {
            c = c0 & 0x1F, extra = 1, min = 0x80;
        } else if ((c0 & 0xF0) == 0xE0) {
            c = c0 & 0x0F, extra = 2, min = 0x800;
        } else if ((c0 & 0xF8) == 0xF0) {
            c = c0 & 0x07, extra = 3, min = 0x10000;
        } else {
            out[n++] = kReplacement;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= size || (b[j] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (b[j] & 0x3F);
        }
        bool scalar = c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        if (!ok || c < min || !scalar) {
            out[n++] = kReplacement;
            i = ok ? j : (j > i + 1 ? j : i + 1);
            continue;
        }
        out[n++] = static_cast<wchar_t>(c);
        i = j;
    }
    out[n] = 0;
    return n;
}

void copyTruncated(wchar_t* to, std::size_t capacity, const wchar_t* from) {
    std::size_t n = 0;
    if (from)
        for (; n + 1 < capacity && from[n]; ++n) to[n] = from[n];
    to[n] = 0;
}

} // namespace

// --- Parser ---------------------------------------------------------------

// The single pass over the text. Levels are kept on an explicit stack rather
// than by recursion, so a deeply nested hostile document cannot exhaust the
// thread's stack; the order of every step is that of a recursive reader.
class CSkinXml::Parser {
public:
    explicit Parser(CSkinXml& doc) : m_doc(doc), m_t(doc.m_text) {}

    bool run() {
        if (allocElement() == kNoRecord) return false; // placeholder record 0
        std::vector<Level> stack;
        stack.push_back({0, 0, 0, 0});
        skipWhitespace();
        while (!stack.empty()) {
            Level& level = stack.back();
            if (level.resumeElement != 0) {
                // Back from reading the children of resumeElement.
                std::uint32_t n = level.resumeElement;
                level.resumeElement = 0;
                if (!finishElement(n, level.resumeNameEnd)) return false;
                continue;
            }
            // 2.1: the end of the text may close the top two levels.
            if (cur() == 0 && level.parent <= 1) {
                stack.pop_back();
                continue;
            }
            skipWhitespace();
            if (cur() != L'<') return fail(L"Expected start tag");
            if (at(1) == L'/') {
                // An end tag: this level is over; the element that owns it
                // checks the tag.
                stack.pop_back();
                continue;
            }
            m_t[m_pos++] = 0;
            skipWhitespace();
            if (cur() == L'!' || cur() == L'?') {
                skipDeclaration();
                skipWhitespace();
                continue;
            }
            std::uint32_t n = allocElement();
            if (n == kNoRecord) return false;
            ElementRecord* records = m_doc.m_elements;
            records[n].namePos = m_pos;
            records[n].parent = level.parent;
            records[n].firstChild = 0;
            records[n].nextSibling = 0;
            records[n].valuePos = 0;
            if (level.previous != 0)
                records[level.previous].nextSibling = n;
            else if (level.parent != 0)
                records[level.parent].firstChild = n;
            level.previous = n;

            while (isNameChar(cur())) ++m_pos;
            if (cur() == 0) return fail(L"Error parsing element name");
            std::uint32_t nameEnd = m_pos;
            if (!readAttributes()) return false;
            skipWhitespace();
            if (cur() == L'/' && at(1) == L'>') {
                records = m_doc.m_elements;
                records[n].valuePos = m_pos;
                m_t[m_pos] = 0;
                m_pos += 2;
                m_t[nameEnd] = 0;
                skipWhitespace();
                continue;
            }
            if (cur() != L'>') return fail(L"Expected start-tag closing");
            ++m_pos;
            m_doc.m_elements[n].valuePos = m_pos;
            // Text shortened by references ends where its decoding ended;
            // otherwise the "<" that follows becomes its terminator.
            if (std::uint32_t end = readText(L'<'); end < m_pos) m_t[end] = 0;
            if (cur() == 0 && level.parent <= 1) {
                m_t[nameEnd] = 0;
                stack.pop_back();
                continue;
            }
            if (cur() != L'<') return fail(L"Expected end-tag start");
            if (at(1) != L'/') {
                level.resumeElement = n;
                level.resumeNameEnd = nameEnd;
                stack.push_back({n, 0, 0, 0});
                skipWhitespace();
                continue;
            }
            if (!finishElement(n, nameEnd)) return false;
        }
        return true;
    }

    const wchar_t* errorAt() const { return m_t + m_pos; }

private:
    static constexpr std::uint32_t kNoRecord = 0xFFFFFFFFu;

    struct Level {
        std::uint32_t parent;
        std::uint32_t previous;
        std::uint32_t resumeElement; // element whose children were being read
        std::uint32_t resumeNameEnd; // where that element's name ends
    };

    wchar_t cur() const { return m_t[m_pos]; }
    wchar_t at(std::uint32_t k) const {
        // Never look past the terminator of the text.
        for (std::uint32_t i = 0; i < k; ++i)
            if (m_t[m_pos + i] == 0) return 0;
        return m_t[m_pos + k];
    }
    void skipWhitespace() {
        while (isWhitespace(cur())) ++m_pos;
    }

    bool fail(const wchar_t* message) {
        m_doc.setError(message, m_t + m_pos);
        return false;
    }

    // Comments and processing instructions: skipped up to the first "->" or
    // "?>" (a comment ends at its first "->"), or to the end of the text.
    void skipDeclaration() {
        wchar_t first = cur() == L'!' ? L'-' : L'?';
        while (cur() != 0) {
            if (cur() == first && at(1) == L'>') {
                m_pos += 2;
                return;
            }
            ++m_pos;
        }
    }

    // Steps 14 and 15 for element n: the end tag (when the cursor is on one)
    // and the name terminator.
    bool finishElement(std::uint32_t n, std::uint32_t nameEnd) {
        const ElementRecord& record = m_doc.m_elements[n];
        if (cur() == L'<' && at(1) == L'/') {
            m_t[m_pos] = 0;
            m_pos += 2;
            skipWhitespace();
            std::uint32_t length = nameEnd - record.namePos;
            for (std::uint32_t i = 0; i < length; ++i) {
                if (m_t[m_pos + i] != m_t[record.namePos + i]) return fail(L"Unmatched closing tag");
            }
            m_pos += length;
            skipWhitespace();
            if (cur() != L'>') return fail(L"Unmatched closing tag");
            ++m_pos;
        }
        m_t[nameEnd] = 0;
        skipWhitespace();
        return true;
    }

    bool readAttributes() {
        if (cur() == L'>') return true;
        if (cur() == L'/' && at(1) == L'>') return true;
        m_t[m_pos++] = 0;
        skipWhitespace();
        while (cur() != 0 && cur() != L'>' && cur() != L'/') {
            while (isNameChar(cur())) ++m_pos;
            std::uint32_t nameEnd = m_pos;
            skipWhitespace();
            if (cur() != L'=') return fail(L"Error while parsing attributes");
            m_t[m_pos++] = L' ';
            m_t[nameEnd] = 0;
            skipWhitespace();
            wchar_t quote = cur();
            if (quote != 0) ++m_pos;
            if (quote != L'"') return fail(L"Expected attribute value");
            std::uint32_t end = readText(L'"');
            if (cur() == 0) return fail(L"Error while parsing attribute string");
            m_t[end] = 0;
            if (m_pos > end) m_t[m_pos] = L' ';
            ++m_pos;
            skipWhitespace();
        }
        return true;
    }

    // Decodes text in place up to `stop` (or the end); returns the write
    // position, which never overtakes the read position.
    std::uint32_t readText(wchar_t stop) {
        std::uint32_t write = m_pos;
        while (cur() != 0 && cur() != stop) {
            if (cur() == L'&') {
                m_t[write++] = decodeReference();
            } else {
                m_t[write++] = m_t[m_pos++];
            }
        }
        for (std::uint32_t i = write + 1; i < m_pos; ++i) m_t[i] = L' ';
        return write;
    }

    // At "&": consumes a named reference and returns its character, or only
    // the "&" itself for anything else (what follows is read as text).
    wchar_t decodeReference() {
        static const struct {
            const wchar_t* name;
            wchar_t value;
        } kReferences[] = {
            {L"amp;", L'&'}, {L"lt;", L'<'}, {L"gt;", L'>'}, {L"quot;", L'"'}, {L"apos;", L'\''},
        };
        for (const auto& ref : kReferences) {
            std::size_t len = std::wcslen(ref.name);
            bool match = true;
            for (std::size_t i = 0; i < len; ++i) {
                wchar_t c = m_t[m_pos + 1 + i];
                if (c != ref.name[i]) {
                    match = false;
                    break;
                }
            }
            if (match) {
                m_pos += static_cast<std::uint32_t>(len) + 1;
                return ref.value;
            }
        }
        ++m_pos;
        return L'&';
    }

    // Grows by capacity / 2 + 500 records. kNoRecord (with the error set) when
    // memory runs out.
    std::uint32_t allocElement() {
        CSkinXml& d = m_doc;
        if (d.m_elementCount >= d.m_elementCapacity) {
            std::uint64_t capacity = std::uint64_t(d.m_elementCapacity) + d.m_elementCapacity / 2 + 500;
            if (capacity > 0xFFFFFFF0u) {
                fail(L"Out of memory");
                return kNoRecord;
            }
            void* grown = std::realloc(d.m_elements, capacity * sizeof(ElementRecord));
            if (!grown) {
                fail(L"Out of memory");
                return kNoRecord;
            }
            d.m_elements = static_cast<ElementRecord*>(grown);
            d.m_elementCapacity = static_cast<std::uint32_t>(capacity);
        }
        std::uint32_t index = d.m_elementCount++;
        d.m_elements[index] = ElementRecord{0, 0, 0, 0, 0};
        return index;
    }

    CSkinXml& m_doc;
    wchar_t* m_t;
    std::uint32_t m_pos = 0;
};

// --- CSkinXml -------------------------------------------------------------

CSkinXml::CSkinXml(const wchar_t* text) {
    if (text) load(text);
}

CSkinXml::~CSkinXml() { release(); }

void CSkinXml::release() {
    delete[] m_text;
    m_text = nullptr;
    std::free(m_elements);
    m_elements = nullptr;
    m_elementCount = 0;
    m_elementCapacity = 0;
}

void CSkinXml::setError(const wchar_t* message, const wchar_t* location) {
    copyTruncated(m_lastError, std::size(m_lastError), message);
    copyTruncated(m_lastErrorLocation, std::size(m_lastErrorLocation), location);
}

bool CSkinXml::failRead(const wchar_t* message) {
    release();
    setError(message, nullptr);
    return false;
}

bool CSkinXml::load(const wchar_t* text) {
    release();
    if (!text) text = L"";
    std::size_t length = std::wcslen(text);
    auto* copy = new (std::nothrow) wchar_t[length + 1];
    if (!copy) return failRead(L"Out of memory");
    std::wmemcpy(copy, text, length + 1);
    return adoptText(copy);
}

bool CSkinXml::adoptText(wchar_t* text) {
    m_text = text;
    return parse();
}

bool CSkinXml::parse() {
    m_lastError[0] = 0;
    m_lastErrorLocation[0] = 0;
    // Offsets are 32-bit: a longer text cannot be represented.
    if (std::wcslen(m_text) >= 0xFFFFFFF0u) return failRead(L"File too large");
    Parser parser(*this);
    if (parser.run()) return true;
    release();
    return false;
}

bool CSkinXml::loadFromMemory(const void* bytes, std::size_t size, XmlEncoding encoding) {
    release();
    m_lastError[0] = 0;
    m_lastErrorLocation[0] = 0;
    const auto* b = static_cast<const unsigned char*>(bytes);
    if (!b) size = 0;
    std::wstring decoded;
    switch (encoding) {
    case XmlEncoding::Utf8: {
        if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
            b += 3;
            size -= 3;
        }
        // A UTF-8 text never has more characters than bytes.
        auto* text = new (std::nothrow) wchar_t[size + 1];
        if (!text) return failRead(L"Out of memory");
        decodeUtf8(b, size, text);
        return adoptText(text);
    }
    case XmlEncoding::Ansi:
        decoded = AnsiToUnicode(std::string_view(reinterpret_cast<const char*>(b), size));
        break;
    case XmlEncoding::Utf16: {
        // A byte-order mark is required; without one there is no telling the
        // byte order, and the load fails without a message.
        if (size < 2) return false;
        bool bigEndian;
        if (b[0] == 0xFE && b[1] == 0xFF)
            bigEndian = true;
        else if (b[0] == 0xFF && b[1] == 0xFE)
            bigEndian = false;
        else
            return false;
        // The caller's buffer is left as it is: units are swapped while read.
        std::size_t units = size / 2 - 1;
        std::u16string utf16;
        utf16.reserve(units);
        for (std::size_t i = 0; i < units; ++i) {
            const unsigned char* p = b + 2 + 2 * i;
            char16_t unit = bigEndian ? char16_t(p[0] << 8 | p[1]) : char16_t(p[1] << 8 | p[0]);
            if (unit == 0) break; // the text ends at its first terminator
            utf16.push_back(unit);
        }
        decoded = platform::fromUtf16(utf16);
        break;
    }
    default:
        return false;
    }
    auto* text = new (std::nothrow) wchar_t[decoded.size() + 1];
    if (!text) return failRead(L"Out of memory");
    std::wmemcpy(text, decoded.c_str(), decoded.size() + 1);
    return adoptText(text);
}

bool CSkinXml::loadFromFile(const wchar_t* name, XmlEncoding encoding) {
    release();
    m_lastError[0] = 0;
    m_lastErrorLocation[0] = 0;
    if (!name) name = L"";
    std::vector<std::uint8_t> bytes;
    skinsource::ReadStatus status;
    if (skinsource::archiveIsSet()) {
        status = skinsource::readArchiveEntry(name, bytes, kMaxFileSize);
    } else {
        std::wstring path = skinsource::resourcePath() + name;
        status = skinsource::readFile(path, bytes, kMaxFileSize);
    }
    switch (status) {
    case skinsource::ReadStatus::Ok:
        break;
    case skinsource::ReadStatus::OpenFailed:
        return failRead(L"Error opening file");
    case skinsource::ReadStatus::Empty:
        return failRead(L"File is empty");
    case skinsource::ReadStatus::TooLarge:
        return failRead(L"File too large");
    case skinsource::ReadStatus::ReadFailed:
        return failRead(L"Could not read file");
    case skinsource::ReadStatus::NoArchive:
        return failRead(L"Error opening zip file");
    case skinsource::ReadStatus::EntryNotFound:
        return failRead(L"Could not find ziped file");
    case skinsource::ReadStatus::ExtractFailed:
        return failRead(L"Could not unzip file");
    }
    return loadFromMemory(bytes.data(), bytes.size(), encoding);
}

CSkinXmlNode CSkinXml::root() {
    if (!m_elements || m_elementCount < 2) return {};
    return CSkinXmlNode(this, 1);
}

// --- CSkinXmlNode ---------------------------------------------------------

CSkinXmlNode CSkinXmlNode::nextSibling() const {
    if (!m_document) return {};
    std::uint32_t next = m_document->m_elements[m_element].nextSibling;
    return next ? CSkinXmlNode(m_document, next) : CSkinXmlNode();
}

CSkinXmlNode CSkinXmlNode::firstChild() const {
    if (!m_document) return {};
    std::uint32_t child = m_document->m_elements[m_element].firstChild;
    return child ? CSkinXmlNode(m_document, child) : CSkinXmlNode();
}

bool CSkinXmlNode::hasChildren() const { return m_document && m_document->m_elements[m_element].firstChild != 0; }

const wchar_t* CSkinXmlNode::name() const {
    if (!m_document) return nullptr;
    return m_document->m_text + m_document->m_elements[m_element].namePos;
}

const wchar_t* CSkinXmlNode::text() const {
    if (!m_document) return nullptr;
    return m_document->m_text + m_document->m_elements[m_element].valuePos;
}

void CSkinXmlNode::mapAttributes() const {
    if (!m_document || m_attributeCount != 0) return;
    const wchar_t* t = m_document->m_text;
    const CSkinXml::ElementRecord& record = m_document->m_elements[m_element];
    std::uint32_t pos = record.namePos;
    while (t[pos]) ++pos;
    ++pos; // past the name's terminator
    // Every scan stays before the value position: the ">" of the start tag
    // is not a terminator, and scanning on from it would run into the
    // element's text (or past the end of an unterminated document).
    const std::uint32_t end = record.valuePos;
    while (pos < end) {
        while (pos < end && isWhitespace(t[pos])) ++pos;
        if (pos >= end) break;
        std::uint32_t namePos = pos;
        while (pos < end && t[pos]) ++pos;
        if (pos >= end) break;
        ++pos;
        while (pos < end && isWhitespace(t[pos])) ++pos;
        if (pos >= end || t[pos] != L'"') break;
        std::uint32_t valuePos = ++pos;
        while (pos < end && t[pos]) ++pos;
        if (pos >= end) break;
        m_attributes[m_attributeCount][0] = namePos;
        m_attributes[m_attributeCount][1] = valuePos;
        if (++m_attributeCount == kMaxAttributes) break;
        ++pos;
    }
}

int CSkinXmlNode::attributeCount() const {
    mapAttributes();
    return static_cast<int>(m_attributeCount);
}

const wchar_t* CSkinXmlNode::attributeName(int index) const {
    if (!m_document) return nullptr;
    mapAttributes();
    if (index < 0 || static_cast<std::uint32_t>(index) >= m_attributeCount) return L"";
    return m_document->m_text + m_attributes[index][0];
}

const wchar_t* CSkinXmlNode::attributeValue(int index) const {
    if (!m_document) return nullptr;
    mapAttributes();
    if (index < 0 || static_cast<std::uint32_t>(index) >= m_attributeCount) return L"";
    return m_document->m_text + m_attributes[index][1];
}

bool CSkinXmlNode::copyAttributeValue(const wchar_t* name, wchar_t* buffer, std::size_t capacity) const {
    if (!m_document || !name || !buffer) return false;
    mapAttributes();
    const wchar_t* t = m_document->m_text;
    for (std::uint32_t i = 0; i < m_attributeCount; ++i) {
        if (std::wcscmp(t + m_attributes[i][0], name) != 0) continue;
        const wchar_t* value = t + m_attributes[i][1];
        std::size_t n = 0;
        for (; n < capacity && value[n]; ++n) buffer[n] = value[n];
        buffer[n] = 0;
        return true;
    }
    return false;
}

bool CSkinXmlNode::hasAttributes() const { return attributeCount() > 0; }
