// The skin document parser: a small non-validating XML reader that decodes a
// document into one wide buffer and parses it in place in a single pass.
#pragma once

#include <cstddef>
#include <cstdint>

// Byte encodings a document can be decoded from.
enum class XmlEncoding { Utf8 = 0, Utf16 = 1, Ansi = 2 };

class CSkinXml;

// A view of one element of a loaded document. Copied freely, owns nothing;
// valid until the document is released, reloaded or destroyed. Attribute
// positions are mapped on the first attribute query and cached in the node.
// Every operation on an invalid node returns an invalid node, false, 0 or null.
class CSkinXmlNode {
public:
    static constexpr int kMaxAttributes = 64;

    CSkinXmlNode() = default;

    bool isValid() const noexcept { return m_document != nullptr; }
    CSkinXmlNode nextSibling() const;
    CSkinXmlNode firstChild() const;
    bool hasChildren() const;
    // The element name as written; null for an invalid node.
    const wchar_t* name() const;
    // The element's own text, decoded: what stands between its start tag and
    // its first child or its end tag. Empty for an empty element; null for an
    // invalid node.
    const wchar_t* text() const;

    // 0 to 64: attributes beyond the 64th are invisible.
    int attributeCount() const;
    // An index outside 0..count-1 gives the empty string (null only for an
    // invalid node).
    const wchar_t* attributeName(int index) const;
    const wchar_t* attributeValue(int index) const;
    // Copies the value of the first attribute named exactly `name` into
    // `buffer` (capacity characters at most, plus a terminator: the buffer
    // holds capacity + 1 units). False, buffer untouched, when absent.
    bool copyAttributeValue(const wchar_t* name, wchar_t* buffer, std::size_t capacity) const;
    bool hasAttributes() const;

private:
    friend class CSkinXml;
    CSkinXmlNode(CSkinXml* document, std::uint32_t element) : m_element(element), m_document(document) {}
    void mapAttributes() const;

    std::uint32_t m_element = 0;
    mutable std::uint32_t m_attributeCount = 0;
    mutable std::uint32_t m_attributes[kMaxAttributes][2] = {}; // name and value offsets
    CSkinXml* m_document = nullptr;
};

// One loaded skin document: the decoded text (rewritten by the parse) and a
// flat array of element records linked by index. UI thread only.
class CSkinXml {
public:
    // Five offsets/indices; index 0 in a link means "none".
    struct ElementRecord {
        std::uint32_t namePos;
        std::uint32_t firstChild;
        std::uint32_t nextSibling;
        std::uint32_t parent;
        std::uint32_t valuePos;
    };

    static constexpr std::size_t kMaxFileSize = 4194304;

    explicit CSkinXml(const wchar_t* text = nullptr);
    ~CSkinXml();
    CSkinXml(const CSkinXml&) = delete;
    CSkinXml& operator=(const CSkinXml&) = delete;

    // Parses a copy of the zero-terminated text. On failure the document is
    // released and lastError() says why.
    bool load(const wchar_t* text);
    // Decodes the bytes (which stay the caller's) and parses them.
    bool loadFromMemory(const void* bytes, std::size_t size, XmlEncoding encoding);
    // Reads the named document from the skin source (the resource folder, or
    // the skin archive when one is set) and parses it.
    bool loadFromFile(const wchar_t* name, XmlEncoding encoding = XmlEncoding::Utf8);
    void release();

    bool isValid() const noexcept { return m_elements != nullptr; }
    // Element 1 when the document has one, else an invalid node.
    CSkinXmlNode root();

    const wchar_t* lastError() const noexcept { return m_lastError; }
    const wchar_t* lastErrorLocation() const noexcept { return m_lastErrorLocation; }

    // For inspection by tools and tests: records in use (with placeholder 0)
    // and allocated.
    std::uint32_t elementCount() const noexcept { return m_elementCount; }
    std::uint32_t elementCapacity() const noexcept { return m_elementCapacity; }

private:
    friend class CSkinXmlNode;
    class Parser;

    bool parse();
    bool adoptText(wchar_t* text); // takes ownership, parses
    bool failRead(const wchar_t* message);
    void setError(const wchar_t* message, const wchar_t* location);

    wchar_t* m_text = nullptr;
    ElementRecord* m_elements = nullptr;
    std::uint32_t m_elementCount = 0;
    std::uint32_t m_elementCapacity = 0;
    wchar_t m_lastError[100] = {};
    wchar_t m_lastErrorLocation[50] = {};
};
