// Parses one generated 1 MiB skin document with CSkinXml, libxml2 (a DOM,
// like ours) and expat (streaming callbacks), all from the same UTF-8 bytes,
// and prints the median time of each with the ratio to CSkinXml.
#include "bench/BenchTiming.h"
#include "ui/markup/SkinXml.h"

#include <expat.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// A skin-like document: nested layouts of controls with attributes, image
// descriptions, references, comments and some Chinese text.
std::string makeDocument(std::size_t target) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Window size=\"1090,644\" caption=\"0,0,0,40\" "
                      "roundcorner=\"6,6\">\n  <Font id=\"0\" name=\"WenQuanYi Micro Hei\" size=\"14\"/>\n";
    unsigned n = 0;
    while (doc.size() < target) {
        ++n;
        doc += "  <!-- section " + std::to_string(n) + " -->\n";
        doc += "  <VerticalLayout name=\"section" + std::to_string(n) +
               "\" padding=\"10,10,10,10\" bkimage=\"file='img/panel.png' corner='6,6,6,6'\" inset=\"4,4,4,4\">\n";
        for (int i = 0; i < 6; ++i) {
            std::string id = std::to_string(n) + "_" + std::to_string(i);
            doc += "    <HorizontalLayout height=\"32\" childpadding=\"8\">\n";
            doc += "      <Label name=\"label" + id + "\" text=\"版本 &quot;" + id +
                   "&quot; &amp; 安装路径\" textcolor=\"#FFFFFFFF\" font=\"0\" width=\"120\"/>\n";
            doc += "      <Option name=\"opt" + id +
                   "\" group=\"editions\" normalimage=\"file='img/opt.png' "
                   "source='0,0,20,20'\" selectedimage=\"file='img/opt.png' source='20,0,40,20'\" "
                   "tooltip=\"&lt;b&gt;tip&lt;/b&gt;\"/>\n";
            doc += "      <Button name=\"btn" + id +
                   "\" text=\"开始\" normalimage=\"img/btn_normal.png\" "
                   "hotimage=\"img/btn_hot.png\" pushedimage=\"img/btn_pushed.png\" width=\"80\"/>\n";
            doc += "    </HorizontalLayout>\n";
        }
        doc += "  </VerticalLayout>\n";
    }
    doc += "</Window>\n";
    return doc;
}

struct Counts {
    long elements = 0;
    long attributes = 0;
};

Counts walkSkinXml(CSkinXml& doc) {
    Counts c;
    std::vector<CSkinXmlNode> stack;
    if (doc.root().isValid()) stack.push_back(doc.root());
    while (!stack.empty()) {
        CSkinXmlNode node = stack.back();
        stack.pop_back();
        ++c.elements;
        c.attributes += node.attributeCount();
        if (auto next = node.nextSibling(); next.isValid()) stack.push_back(next);
        if (auto child = node.firstChild(); child.isValid()) stack.push_back(child);
    }
    return c;
}

Counts walkLibxml(xmlNode* node) {
    Counts c;
    std::vector<xmlNode*> stack{node};
    while (!stack.empty()) {
        xmlNode* n = stack.back();
        stack.pop_back();
        for (; n; n = n->next) {
            if (n->type != XML_ELEMENT_NODE) continue;
            ++c.elements;
            for (xmlAttr* a = n->properties; a; a = a->next) ++c.attributes;
            if (n->children) stack.push_back(n->children);
        }
    }
    return c;
}

void XMLCALL expatStart(void* data, const XML_Char*, const XML_Char** attrs) {
    auto* c = static_cast<Counts*>(data);
    ++c->elements;
    for (; *attrs; attrs += 2) ++c->attributes;
}
void XMLCALL expatEnd(void*, const XML_Char*) {}

} // namespace

int main(int argc, char** argv) {
    int rounds = 15;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quick") == 0) rounds = 3;
    const std::string doc = makeDocument(1 << 20);
    const double mib = doc.size() / 1048576.0;

    Counts oursWalked, libxml, expat;
    CSkinXml skin;
    double tOurs = bench::medianMs([&] { skin.loadFromMemory(doc.data(), doc.size(), XmlEncoding::Utf8); }, rounds);
    double tOursWalk = bench::medianMs(
        [&] {
            skin.loadFromMemory(doc.data(), doc.size(), XmlEncoding::Utf8);
            oursWalked = walkSkinXml(skin);
        },
        rounds);
    double tLibxml = bench::medianMs(
        [&] {
            xmlDoc* d = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "bench.xml", "UTF-8",
                                      XML_PARSE_NONET | XML_PARSE_NOBLANKS);
            libxml = walkLibxml(xmlDocGetRootElement(d));
            xmlFreeDoc(d);
        },
        rounds);
    double tExpat = bench::medianMs(
        [&] {
            expat = Counts{};
            XML_Parser p = XML_ParserCreate("UTF-8");
            XML_SetUserData(p, &expat);
            XML_SetElementHandler(p, expatStart, expatEnd);
            XML_Parse(p, doc.data(), static_cast<int>(doc.size()), 1);
            XML_ParserFree(p);
        },
        rounds);

    if (oursWalked.elements != libxml.elements || oursWalked.elements != expat.elements ||
        oursWalked.attributes != expat.attributes) {
        std::fprintf(stderr, "parsers disagree: ours %ld/%ld, libxml2 %ld/%ld, expat %ld/%ld\n", oursWalked.elements,
                     oursWalked.attributes, libxml.elements, libxml.attributes, expat.elements, expat.attributes);
        return 1;
    }
    std::printf("bench-markup: %.2f MiB document, %ld elements, %ld attributes; median of %d runs\n\n", mib,
                oursWalked.elements, oursWalked.attributes, rounds);
    std::printf("%-44s %10s %10s %12s\n", "parser", "ms", "MiB/s", "x CSkinXml");
    auto row = [&](const char* name, double ms) {
        std::printf("%-44s %10.2f %10.1f %12.2f\n", name, ms, mib / (ms / 1000), ms / tOurs);
    };
    row("CSkinXml (decode + in-place parse)", tOurs);
    row("CSkinXml + visiting every attribute", tOursWalk);
    row("libxml2 xmlReadMemory (DOM) + walk", tLibxml);
    row("expat XML_Parse (callbacks)", tExpat);
    return 0;
}
