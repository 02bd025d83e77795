// Fuzzes the skin document parser in all three encodings (the first byte
// picks one) and walks every node of what it accepts, reading every name,
// attribute and element text to its end.
#include "ui/markup/SkinXml.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    auto encoding = static_cast<XmlEncoding>(data[0] % 3);
    CSkinXml doc;
    if (!doc.loadFromMemory(data + 1, size - 1, encoding)) return 0;
    std::vector<CSkinXmlNode> stack;
    if (doc.root().isValid()) stack.push_back(doc.root());
    wchar_t buffer[9];
    while (!stack.empty()) {
        CSkinXmlNode node = stack.back();
        stack.pop_back();
        volatile wchar_t sink = node.name()[0];
        // Element text must end at a terminator inside the document.
        for (const wchar_t* t = node.text(); *t; ++t) sink = *t;
        for (int i = -1; i <= node.attributeCount(); ++i) sink = node.attributeName(i)[0] + node.attributeValue(i)[0];
        node.copyAttributeValue(L"name", buffer, 8);
        (void)sink;
        if (CSkinXmlNode next = node.nextSibling(); next.isValid()) stack.push_back(next);
        if (CSkinXmlNode child = node.firstChild(); child.isValid()) stack.push_back(child);
    }
    return 0;
}
