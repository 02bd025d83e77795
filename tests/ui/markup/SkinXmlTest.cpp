// Skin document parser: structure, references, errors, encodings, limits.
#include "ui/markup/SkinXml.h"

#include "platform/system/Text.h"
#include "ui/render/SkinSource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Compact tree text: name(attr=value;...)[text]{children,...}
std::wstring dump(CSkinXmlNode node) {
    std::wstring out;
    for (; node.isValid(); node = node.nextSibling()) {
        if (!out.empty()) out += L",";
        out += node.name();
        if (node.hasAttributes()) {
            out += L"(";
            for (int i = 0; i < node.attributeCount(); ++i) {
                if (i) out += L";";
                out += node.attributeName(i);
                out += L"=";
                out += node.attributeValue(i);
            }
            out += L")";
        }
        if (*node.text()) out += L"[" + std::wstring(node.text()) + L"]";
        if (node.hasChildren()) out += L"{" + dump(node.firstChild()) + L"}";
    }
    return out;
}

struct ParseCase {
    const char* what;
    const wchar_t* text;
    const wchar_t* tree;  // expected dump on success (empty: no root)
    const wchar_t* error; // expected message on failure, null on success
};

const ParseCase kCases[] = {
    {"child with one attribute", L"<Window><Button name=\"a\" /></Window>", L"Window{Button(name=a)}", nullptr},
    {"empty element without space", L"<Control/>", L"Control", nullptr},
    {"empty element with space", L"<Control />", L"Control", nullptr},
    {"five named references", L"<a v=\"&amp;&lt;&gt;&quot;&apos;\"/>", L"a(v=&<>\"')", nullptr},
    {"references back to back before the quote", L"<a v=\"x&amp;&amp;\"/>", L"a(v=x&&)", nullptr},
    {"numeric reference and lone ampersand stay", L"<a v=\"&#65; & &am;\"/>", L"a(v=&#65; & &am;)", nullptr},
    {"whitespace and line breaks in values stay", L"<a v=\" x\r\n\ty \"/>", L"a(v= x\r\n\ty )", nullptr},
    {"several attributes in order", L"<a x=\"1\"  y = \"2\"\nz=\"\"/>", L"a(x=1;y=2;z=)", nullptr},
    {"duplicate attributes kept", L"<a x=\"1\" x=\"2\"/>", L"a(x=1;x=2)", nullptr},
    {"single quotes refused", L"<a v='x'/>", nullptr, L"Expected attribute value"},
    {"mismatched end tag", L"<a><b></c></a>", nullptr, L"Unmatched closing tag"},
    {"end tag names are case-sensitive", L"<a></A>", nullptr, L"Unmatched closing tag"},
    {"end tag without closing bracket", L"<a></a x>", nullptr, L"Unmatched closing tag"},
    {"text after a child", L"<a><b>x<c/>y</b></a>", nullptr, L"Expected start tag"},
    {"declaration and comment before the root", L"<?xml version=\"1.0\"?>\n<!-- c -->\n<r x=\"1\"/>", L"r(x=1)",
     nullptr},
    {"comment between children", L"<r><a/><!-- <b/> --><c/></r>", L"r{a,c}", nullptr},
    {"comment ends at its first arrow", L"<r><!-- a -> b --></r>", nullptr, L"Expected start tag"},
    {"missing root end tag", L"<Window><Control/>", L"Window{Control}", nullptr},
    {"text ends in the root's text", L"<Window>abc", L"Window[abc]", nullptr},
    {"text ends in a root child's text", L"<Window><Label>abc", L"Window{Label[abc]}", nullptr},
    {"text ends deeper inside text", L"<a><b><c>abc", nullptr, L"Expected end-tag start"},
    {"text ends inside an element below the root", L"<a><b><c/>", nullptr, L"Expected start tag"},
    {"only whitespace", L" \r\n\t ", L"", nullptr},
    {"only comments", L"<!-- one --> <!-- two -->", L"", nullptr},
    {"empty text", L"", L"", nullptr},
    {"text ends inside a name", L"<abc", nullptr, L"Error parsing element name"},
    {"attribute without value", L"<a b></a>", nullptr, L"Error while parsing attributes"},
    {"dash is not a name character", L"<a-b/>", nullptr, L"Error while parsing attributes"},
    {"text ends inside a value", L"<a b=\"x></a>", nullptr, L"Error while parsing attribute string"},
    {"no closing bracket after attributes", L"<a b=\"x\"", nullptr, L"Expected start-tag closing"},
    {"stray text before the root", L"hello<a/>", nullptr, L"Expected start tag"},
    {"siblings and nesting", L"<r><a><b/><c/></a><d/></r>", L"r{a{b,c},d}", nullptr},
    {"whitespace inside tags", L"< r  x=\"1\" >< a /></ r >", L"r(x=1){a}", nullptr},
    {"several top-level elements", L"<a/><b/>", L"a,b", nullptr},
    {"non-Latin names", L"<窗口 名字=\"值\"/>", L"窗口(名字=值)", nullptr},
    {"colon and underscore in names", L"<x:y _z=\"1\"/>", L"x:y(_z=1)", nullptr},
    {"odd separator, unterminated root", L"<a%> [#=\"0x0x>.D/a>", L"a[ [#=\"0x0x>.D/a>]", nullptr},
    {"attributes then text", L"<a x=\"1\" >t\"u</a>", L"a(x=1)[t\"u]", nullptr},
    // Element text shortened by its references ends at its decoded end.
    {"element text with references", L"<a>x&amp;y</a>", L"a[x&y]", nullptr},
    {"element text of references only", L"<a>&lt;&gt;&quot;</a>", L"a[<>\"]", nullptr},
    {"element text with references before a child", L"<r><a>x&amp;y<b/></a></r>", L"r{a[x&y]{b}}", nullptr},
    {"element text kept as written", L"<a> x\r\n y </a>", L"a[ x\r\n y ]", nullptr},
};

TEST(SkinXml, ParsesTable) {
    for (const ParseCase& c : kCases) {
        SCOPED_TRACE(c.what);
        CSkinXml doc;
        bool ok = doc.load(c.text);
        if (c.error) {
            EXPECT_FALSE(ok);
            EXPECT_STREQ(doc.lastError(), c.error);
            EXPECT_FALSE(doc.isValid());
            EXPECT_FALSE(doc.root().isValid());
        } else {
            ASSERT_TRUE(ok) << std::string(doc.lastError(), doc.lastError() + wcslen(doc.lastError()));
            EXPECT_STREQ(doc.lastError(), L"");
            EXPECT_TRUE(doc.isValid());
            EXPECT_EQ(dump(doc.root()), c.tree);
        }
    }
}

TEST(SkinXml, ErrorLocationIsTheTextAtTheCursor) {
    CSkinXml doc;
    EXPECT_FALSE(doc.load(L"<a><b></c></a>"));
    EXPECT_STREQ(doc.lastErrorLocation(), L"c></a>");

    // The excerpt starts where the parse stopped.
    EXPECT_FALSE(doc.load(L"<a x=\"1\"><b>x<c/>y</b></a>"));
    EXPECT_STREQ(doc.lastErrorLocation(), L"y</b></a>");

    // A later successful parse clears both.
    EXPECT_TRUE(doc.load(L"<a/>"));
    EXPECT_STREQ(doc.lastError(), L"");
    EXPECT_STREQ(doc.lastErrorLocation(), L"");
}

TEST(SkinXml, LongErrorLocationIsCut) {
    CSkinXml doc;
    std::wstring tail(80, L'z');
    EXPECT_FALSE(doc.load((L"<a v='" + tail).c_str()));
    EXPECT_STREQ(doc.lastError(), L"Expected attribute value");
    EXPECT_EQ(std::wstring(doc.lastErrorLocation()), tail.substr(0, 49));
}

TEST(SkinXml, AttributeMappingStopsAt64) {
    std::wstring text = L"<a";
    for (int i = 0; i < 70; ++i) text += L" k" + std::to_wstring(i) + L"=\"v" + std::to_wstring(i) + L"\"";
    text += L"/>";
    CSkinXml doc(text.c_str());
    CSkinXmlNode root = doc.root();
    ASSERT_TRUE(root.isValid());
    EXPECT_EQ(root.attributeCount(), 64);
    EXPECT_STREQ(root.attributeName(63), L"k63");
    EXPECT_STREQ(root.attributeValue(63), L"v63");
    EXPECT_STREQ(root.attributeName(-1), L"");
    EXPECT_STREQ(root.attributeName(64), L"");
    EXPECT_STREQ(root.attributeValue(64), L"");
    wchar_t buffer[16] = L"untouched";
    EXPECT_TRUE(root.copyAttributeValue(L"k0", buffer, 15));
    EXPECT_STREQ(buffer, L"v0");
    wcscpy(buffer, L"untouched");
    EXPECT_FALSE(root.copyAttributeValue(L"k64", buffer, 15));
    EXPECT_FALSE(root.copyAttributeValue(L"k69", buffer, 15));
    EXPECT_STREQ(buffer, L"untouched");
}

TEST(SkinXml, CopyAttributeValueMatchesExactlyAndCuts) {
    CSkinXml doc(L"<a Name=\"first\" name=\"abcdef\" name=\"second\"/>");
    CSkinXmlNode root = doc.root();
    wchar_t buffer[8] = {};
    EXPECT_TRUE(root.copyAttributeValue(L"name", buffer, 3));
    EXPECT_STREQ(buffer, L"abc");
    EXPECT_TRUE(root.copyAttributeValue(L"Name", buffer, 7));
    EXPECT_STREQ(buffer, L"first");
    EXPECT_FALSE(root.copyAttributeValue(L"NAME", buffer, 7));
}

TEST(SkinXml, InvalidNodesAnswerNothing) {
    CSkinXmlNode none;
    EXPECT_FALSE(none.isValid());
    EXPECT_FALSE(none.firstChild().isValid());
    EXPECT_FALSE(none.nextSibling().isValid());
    EXPECT_FALSE(none.hasChildren());
    EXPECT_FALSE(none.hasAttributes());
    EXPECT_EQ(none.name(), nullptr);
    EXPECT_EQ(none.attributeCount(), 0);
    EXPECT_EQ(none.attributeName(0), nullptr);
    wchar_t buffer[4] = L"x";
    EXPECT_FALSE(none.copyAttributeValue(L"a", buffer, 3));

    CSkinXml doc(L"<a><b/></a>");
    CSkinXmlNode b = doc.root().firstChild();
    EXPECT_FALSE(b.firstChild().isValid());
    EXPECT_FALSE(b.nextSibling().isValid());
    EXPECT_FALSE(b.hasAttributes());
}

TEST(SkinXml, RecordsGrowByHalfPlus500) {
    auto withChildren = [](int n) {
        std::wstring text = L"<r>";
        for (int i = 0; i < n; ++i) text += L"<c/>";
        return text + L"</r>";
    };
    CSkinXml doc;
    ASSERT_TRUE(doc.load(withChildren(498).c_str())); // 1 placeholder + root + 498 = 500
    EXPECT_EQ(doc.elementCount(), 500u);
    EXPECT_EQ(doc.elementCapacity(), 500u);
    ASSERT_TRUE(doc.load(withChildren(499).c_str()));
    EXPECT_EQ(doc.elementCount(), 501u);
    EXPECT_EQ(doc.elementCapacity(), 1250u);
    // Links survive the reallocation.
    int count = 0;
    for (CSkinXmlNode c = doc.root().firstChild(); c.isValid(); c = c.nextSibling()) ++count;
    EXPECT_EQ(count, 499);
}

TEST(SkinXml, DeepNestingDoesNotExhaustTheStack) {
    const int depth = 200000;
    std::wstring text;
    for (int i = 0; i < depth; ++i) text += L"<a>";
    for (int i = 0; i < depth; ++i) text += L"</a>";
    CSkinXml doc;
    ASSERT_TRUE(doc.load(text.c_str()));
    int levels = 0;
    for (CSkinXmlNode n = doc.root(); n.isValid(); n = n.firstChild()) ++levels;
    EXPECT_EQ(levels, depth);
}

TEST(SkinXml, FailureReleasesThePreviousDocument) {
    CSkinXml doc(L"<a/>");
    ASSERT_TRUE(doc.isValid());
    EXPECT_FALSE(doc.load(L"<a><b></a>"));
    EXPECT_FALSE(doc.isValid());
    EXPECT_FALSE(doc.root().isValid());
    doc.release();
    EXPECT_FALSE(doc.isValid());
}

// --- Encodings ---

std::vector<unsigned char> utf16(const std::u16string& text, bool bigEndian, bool bom = true) {
    std::vector<unsigned char> out;
    auto put = [&](char16_t u) {
        if (bigEndian) {
            out.push_back(static_cast<unsigned char>(u >> 8));
            out.push_back(static_cast<unsigned char>(u));
        } else {
            out.push_back(static_cast<unsigned char>(u));
            out.push_back(static_cast<unsigned char>(u >> 8));
        }
    };
    if (bom) put(0xFEFF);
    for (char16_t u : text) put(u);
    return out;
}

TEST(SkinXml, DecodesEveryEncodingToTheSameTree) {
    const std::wstring expected = L"Window(title=标题 😀){Button(name=a)}";
    const std::string utf8 = "<Window title=\"标题 😀\"><Button name=\"a\"/></Window>";
    const std::u16string u16 = u"<Window title=\"标题 😀\"><Button name=\"a\"/></Window>";

    CSkinXml doc;
    ASSERT_TRUE(doc.loadFromMemory(utf8.data(), utf8.size(), XmlEncoding::Utf8));
    EXPECT_EQ(dump(doc.root()), expected);

    std::string withBom = "\xEF\xBB\xBF" + utf8;
    ASSERT_TRUE(doc.loadFromMemory(withBom.data(), withBom.size(), XmlEncoding::Utf8));
    EXPECT_EQ(dump(doc.root()), expected);

    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        std::vector<unsigned char> bytes = utf16(u16, big);
        const std::vector<unsigned char> original = bytes;
        bytes.push_back(0x41); // an odd trailing byte is ignored
        ASSERT_TRUE(doc.loadFromMemory(bytes.data(), bytes.size(), XmlEncoding::Utf16));
        EXPECT_EQ(dump(doc.root()), expected);
        bytes.pop_back();
        EXPECT_EQ(bytes, original) << "the caller's buffer stays as it was";
    }

    // ASCII reads the same in any code page.
    const std::string ascii = "<a b=\"c\"/>";
    ASSERT_TRUE(doc.loadFromMemory(ascii.data(), ascii.size(), XmlEncoding::Ansi));
    EXPECT_EQ(dump(doc.root()), L"a(b=c)");
}

TEST(SkinXml, InvalidUtf8DecodesLikeThePlatformConversion) {
    const std::string value = "ok\xC3\x28\xE2\x82|\xF0\x9F\x98|\xC0\xAF\xED\xA0\x80\xF8\x80|\xF4\x90\x80\x80z";
    const std::string text = "<a v=\"" + value + "\"/>";
    CSkinXml doc;
    ASSERT_TRUE(doc.loadFromMemory(text.data(), text.size(), XmlEncoding::Utf8));
    EXPECT_EQ(std::wstring(doc.root().attributeValue(0)), platform::fromUtf8(value));
    // The text ends at a NUL byte.
    const std::string withNul = std::string("<a/>\0<b/>", 9);
    ASSERT_TRUE(doc.loadFromMemory(withNul.data(), withNul.size(), XmlEncoding::Utf8));
    EXPECT_FALSE(doc.root().nextSibling().isValid());
}

TEST(SkinXml, Utf16WithoutByteOrderMarkFailsQuietly) {
    CSkinXml doc(L"<a/>");
    std::vector<unsigned char> bytes = utf16(u"<a/>", false, /*bom=*/false);
    EXPECT_FALSE(doc.loadFromMemory(bytes.data(), bytes.size(), XmlEncoding::Utf16));
    EXPECT_FALSE(doc.isValid());
    EXPECT_STREQ(doc.lastError(), L"");
    unsigned char one = 0xFF;
    EXPECT_FALSE(doc.loadFromMemory(&one, 1, XmlEncoding::Utf16));
}

TEST(SkinXml, EmptyBufferParsesWithoutRoot) {
    CSkinXml doc;
    EXPECT_TRUE(doc.loadFromMemory("", 0, XmlEncoding::Utf8));
    EXPECT_TRUE(doc.isValid());
    EXPECT_FALSE(doc.root().isValid());
    EXPECT_TRUE(doc.loadFromMemory("", 0, XmlEncoding::Ansi));
}

// --- Named documents from a folder ---

class SkinXmlFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        skinsource::reset();
        m_dir = std::filesystem::path(QUELLAN_BINARY_DIR) / "test-skinxml" /
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        skinsource::setResourcePath((m_dir.wstring() + L"/"));
    }
    void TearDown() override { skinsource::reset(); }
    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
    }
    std::filesystem::path m_dir;
};

TEST_F(SkinXmlFileTest, ReadsFromTheResourceFolder) {
    write("main.xml", "<Window><Label text=\"hi\"/></Window>");
    CSkinXml doc;
    ASSERT_TRUE(doc.loadFromFile(L"main.xml"));
    EXPECT_EQ(dump(doc.root()), L"Window{Label(text=hi)}");
}

TEST_F(SkinXmlFileTest, ReportsReadFailures) {
    CSkinXml doc;
    EXPECT_FALSE(doc.loadFromFile(L"missing.xml"));
    EXPECT_STREQ(doc.lastError(), L"Error opening file");
    EXPECT_STREQ(doc.lastErrorLocation(), L"");

    write("empty.xml", "");
    EXPECT_FALSE(doc.loadFromFile(L"empty.xml"));
    EXPECT_STREQ(doc.lastError(), L"File is empty");

    std::filesystem::create_directories(m_dir / "folder.xml");
    EXPECT_FALSE(doc.loadFromFile(L"folder.xml"));
    EXPECT_STREQ(doc.lastError(), L"Error opening file");
}

TEST_F(SkinXmlFileTest, AcceptsExactlyFourMebibytes) {
    const std::size_t limit = 4194304;
    std::string body = "<a v=\"";
    std::string tail = "\"/>";
    std::string text = body + std::string(limit - body.size() - tail.size(), 'x') + tail;
    ASSERT_EQ(text.size(), limit);
    write("limit.xml", text);
    CSkinXml doc;
    EXPECT_TRUE(doc.loadFromFile(L"limit.xml"));
    EXPECT_EQ(std::wstring(doc.root().attributeValue(0)).size(), limit - body.size() - tail.size());

    write("over.xml", text + " ");
    EXPECT_FALSE(doc.loadFromFile(L"over.xml"));
    EXPECT_STREQ(doc.lastError(), L"File too large");
}

} // namespace
