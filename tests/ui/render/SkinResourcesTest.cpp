// Skin source and resource tables: archives (skin packer and zip -P), entry
// names, image loading rules, table replacement, fonts and defaults.
#include "ui/core/FormManagerUI.h"
#include "ui/markup/SkinXml.h"
#include "ui/render/ImageRecord.h"
#include "ui/render/SkinSource.h"

#include "platform/system/Resources.h"
#include "tests/ui/TestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::SkinSourceGuard;

namespace {

constexpr const char* kPassword = "kvtp5184@";

// A small skin: a document and two images, one in a sub-folder.
fs::path makeSkinFolder(const fs::path& dir) {
    fs::path skin = dir / "skin";
    testsupport::writeBytes(skin / "main.xml", "<Window size=\"10,10\"><Label text=\"hello\"/></Window>");
    testsupport::writePng(skin / "img" / "close_hot.png", 3, 2,
                          [](int x, int y) { return 0xFF000000u | (x * 40) << 16 | (y * 40) << 8 | 7; });
    testsupport::writePng(skin / "logo.png", 1, 1, [](int, int) { return 0xFF102030u; });
    return skin;
}

std::vector<std::uint8_t> packWithSkinPacker(const fs::path& dir, const char* password) {
    fs::path skin = makeSkinFolder(dir);
    fs::path zip = dir / "packed.zip";
    std::string cmd = std::string("'") + QUELLAN_BINARY_DIR + "/quellan-skinpack' '" + skin.string() + "' '" +
                      zip.string() + "' --password '" + password + "'";
    EXPECT_TRUE(testsupport::runIn(dir, cmd));
    return testsupport::readByteVector(zip);
}

std::vector<std::uint8_t> packWithZip(const fs::path& dir, const char* password) {
    fs::path skin = makeSkinFolder(dir);
    EXPECT_TRUE(testsupport::runIn(skin, std::string("zip -q -r -P '") + password + "' ../zipped.zip ."));
    return testsupport::readByteVector(dir / "zipped.zip");
}

class ArchiveTest : public ::testing::TestWithParam<bool> {
protected:
    SkinSourceGuard guard;
    testsupport::ScratchFolder scratch;
    std::vector<std::uint8_t> bytes;
    void SetUp() override {
        bytes = GetParam() ? packWithSkinPacker(scratch.path(), kPassword) : packWithZip(scratch.path(), kPassword);
        ASSERT_FALSE(bytes.empty());
    }
};

TEST_P(ArchiveTest, ReadsEntriesWithThePassword) {
    CFormManagerUI::setSkinArchive(bytes.data(), bytes.size(), kPassword);
    ASSERT_TRUE(skinsource::archiveIsOpen());
    EXPECT_EQ(skinsource::archiveName(), L"membuffer");

    CSkinXml doc;
    ASSERT_TRUE(doc.loadFromFile(L"main.xml")) << doc.lastError();
    EXPECT_STREQ(doc.root().name(), L"Window");

    // Every spelling of the same entry name finds it.
    for (const wchar_t* name : {L"img/close_hot.png", L"img\\close_hot.png", L"/img/close_hot.png",
                                L"IMG//Close_Hot.png", L"\\\\img\\\\CLOSE_HOT.PNG"}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        std::vector<std::uint8_t> out;
        EXPECT_EQ(skinsource::readArchiveEntry(name, out), skinsource::ReadStatus::Ok);
        auto image = loadImage(ImageSource::named(name), nullptr, 0);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->width, 3);
        EXPECT_EQ(image->bitmap.pixel(2, 1), 0xFF000000u | 80 << 16 | 40 << 8 | 7);
    }

    EXPECT_FALSE(doc.loadFromFile(L"nothing.xml"));
    EXPECT_STREQ(doc.lastError(), L"Could not find ziped file");
}

TEST_P(ArchiveTest, WrongPasswordFailsExtraction) {
    CFormManagerUI::setSkinArchive(bytes.data(), bytes.size(), "wrong");
    CSkinXml doc;
    EXPECT_FALSE(doc.loadFromFile(L"main.xml"));
    EXPECT_STREQ(doc.lastError(), L"Could not unzip file");
    EXPECT_EQ(loadImage(ImageSource::named(L"logo.png"), nullptr, 0), nullptr);

    // A second archive is ignored, but its password replaces the first one.
    std::vector<std::uint8_t> other = {'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p'};
    CFormManagerUI::setSkinArchive(other.data(), other.size(), kPassword);
    EXPECT_TRUE(skinsource::archiveIsOpen());
    EXPECT_TRUE(doc.loadFromFile(L"main.xml")) << doc.lastError();

    CFormManagerUI::setSkinArchive(bytes.data(), bytes.size(), nullptr);
    EXPECT_FALSE(doc.loadFromFile(L"main.xml"));
    EXPECT_STREQ(doc.lastError(), L"Could not unzip file");
}

INSTANTIATE_TEST_SUITE_P(Packers, ArchiveTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "SkinPacker" : "ZipP"; });

TEST(SkinSource, EntryNamesAreNormalised) {
    EXPECT_EQ(skinsource::archiveEntryName(L"img\\close_hot.png"), "img/close_hot.png");
    EXPECT_EQ(skinsource::archiveEntryName(L"/img/close_hot.png"), "img/close_hot.png");
    EXPECT_EQ(skinsource::archiveEntryName(L"//a///b\\\\c"), "a/b/c");
    EXPECT_EQ(skinsource::archiveEntryName(std::wstring(300, L'x')).size(), 259u);
}

TEST(SkinSource, UnopenableArchiveFallsBackToFiles) {
    SkinSourceGuard guard;
    testsupport::ScratchFolder scratch;
    const fs::path dir = scratch.path();
    testsupport::writePng(dir / "plain.png", 2, 2, [](int, int) { return 0xFF00FF00u; });
    std::string junk = "PK but not really an archive";
    CFormManagerUI::setSkinArchive(junk.data(), junk.size(), kPassword);
    EXPECT_TRUE(skinsource::archiveIsSet());
    EXPECT_FALSE(skinsource::archiveIsOpen());

    CSkinXml doc;
    EXPECT_FALSE(doc.loadFromFile(L"main.xml"));
    EXPECT_STREQ(doc.lastError(), L"Error opening zip file");

    fs::current_path(dir);
    auto image = loadImage(ImageSource::named(L"plain.png"), nullptr, 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->bitmap.pixel(1, 1), 0xFF00FF00u);
}

TEST(SkinSource, ImageNotInArchiveIsReadFromTheCurrentFolder) {
    SkinSourceGuard guard;
    testsupport::ScratchFolder scratch;
    const fs::path dir = scratch.path();
    auto bytes = packWithSkinPacker(dir, kPassword);
    CFormManagerUI::setSkinArchive(bytes.data(), bytes.size(), kPassword);
    testsupport::writePng(dir / "loose.png", 1, 1, [](int, int) { return 0xFF0000FFu; });
    fs::current_path(dir);
    auto image = loadImage(ImageSource::named(L"loose.png"), nullptr, 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->bitmap.pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(loadImage(ImageSource::named(L"absent.png"), nullptr, 0), nullptr);
}

// --- Image conversion ---

TEST(LoadImage, ColourImagesArePremultiplied) {
    auto image = loadImage(ImageSource::named(L"#80FF0000"), L"*COLOR*", 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 1);
    EXPECT_EQ(image->height, 1);
    const std::uint8_t* p = image->pixels();
    EXPECT_EQ(p[0], 0);   // blue
    EXPECT_EQ(p[1], 0);   // green
    EXPECT_EQ(p[2], 128); // red × 128 / 255
    EXPECT_EQ(p[3], 128); // alpha
    EXPECT_TRUE(image->hasAlpha);

    auto opaque = loadImage(ImageSource::named(L"FF336699"), L"*COLOR*", 0);
    ASSERT_NE(opaque, nullptr);
    EXPECT_EQ(opaque->bitmap.pixel(0, 0), 0xFF336699u);
    EXPECT_FALSE(opaque->hasAlpha);
}

TEST(LoadImage, MaskAndAlphaRules) {
    SkinSourceGuard guard;
    testsupport::ScratchFolder scratch;
    const fs::path dir = scratch.path();
    testsupport::writePng(dir / "opaque.png", 4, 1, [](int x, int) { return x == 2 ? 0xFFFF00FFu : 0xFF102030u; });
    testsupport::writePng(dir / "alpha.png", 2, 1, [](int x, int) { return x == 0 ? 0x00000000u : 0xFF102030u; });
    fs::current_path(dir);

    auto plain = loadImage(ImageSource::named(L"opaque.png"), nullptr, 0);
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->hasAlpha) << "fully opaque, no masked pixel";

    auto masked = loadImage(ImageSource::named(L"opaque.png"), nullptr, 0xFFFF00FF);
    ASSERT_NE(masked, nullptr);
    EXPECT_TRUE(masked->hasAlpha);
    EXPECT_EQ(masked->bitmap.pixel(2, 0), 0u);
    EXPECT_EQ(masked->bitmap.pixel(1, 0), 0xFF102030u);

    auto transparent = loadImage(ImageSource::named(L"alpha.png"), nullptr, 0);
    ASSERT_NE(transparent, nullptr);
    EXPECT_TRUE(transparent->hasAlpha);
    EXPECT_EQ(transparent->bitmap.pixel(0, 0), 0u);
}

TEST(LoadImage, EmbeddedResourcesByNameAndId) {
    SkinSourceGuard guard;
    testsupport::ScratchFolder scratch;
    const fs::path dir = scratch.path();
    testsupport::writePng(dir / "res.png", 2, 2, [](int, int) { return 0xFFAABBCCu; });
    static std::vector<std::uint8_t> bytes = testsupport::readByteVector(dir / "res.png");
    static platform::ResourceRegistrar byId(L"PNG", L"4711", bytes.data(), bytes.data() + bytes.size());
    static platform::ResourceRegistrar byName(L"PNG", L"BUTTON", bytes.data(), bytes.data() + bytes.size());

    CFormManagerUI manager;
    ImageHandle numbered = manager.addImage(L"4711", L"PNG", 0, false);
    ASSERT_NE(numbered, nullptr);
    EXPECT_EQ(numbered->resourceType, L"PNG");
    EXPECT_EQ(numbered->bitmap.pixel(1, 1), 0xFFAABBCCu);
    EXPECT_NE(manager.addImage(L"BUTTON", L"PNG", 0, false), nullptr);
    EXPECT_EQ(manager.addImage(L"OTHER", L"PNG", 0, false), nullptr);
    // Without a type the same name is a file (there is none).
    EXPECT_EQ(manager.addImage(L"4712", nullptr, 0, false), nullptr);
}

TEST(LoadImage, UndecodableBytesGiveNull) {
    const std::uint8_t junk[] = {0x89, 'P', 'N', 'G', 0, 1, 2, 3};
    EXPECT_EQ(decodeImage(junk, sizeof junk, 0), nullptr);
    EXPECT_EQ(decodeImage(nullptr, 0, 0), nullptr);
}

// Skins are decoded in PNG, JPEG, BMP, GIF and TGA only; any other format is
// an unreadable image, however well formed. Among them is the crafted PNM
// file of the image fuzzer's corpus, on which the library's PNM decoder
// reads out of bounds. A JPEG whose Huffman table announces more symbols
// than a table holds (which the library would write past its arrays) is
// refused as well, also behind fill bytes before its first marker.
// The same bytes with 0xFF fill bytes before the start-of-image marker,
// which JPEG readers skip.
std::vector<std::uint8_t> filled(std::vector<std::uint8_t> jpeg) {
    jpeg.insert(jpeg.begin() + 1, 3, 0xFF);
    return jpeg;
}

TEST(LoadImage, OnlyTheFiveSkinFormatsAreDecoded) {
    const fs::path corpus = fs::path(QUELLAN_SOURCE_DIR) / "fuzz/imageload/corpus";
    // An uncompressed 1x1 true-colour TGA: a blue pixel (B, G, R).
    const std::vector<std::uint8_t> tga{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0, 255, 0, 0};
    const std::string pnm("P6\n1 1\n255\n\xff\x00\x00", 12);
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool decoded;
    } rows[] = {
        {"red.png", testsupport::readByteVector(corpus / "red.png"), true},
        {"white.jpg", testsupport::readByteVector(corpus / "white.jpg"), true},
        {"blue.bmp", testsupport::readByteVector(corpus / "blue.bmp"), true},
        {"green.gif", testsupport::readByteVector(corpus / "green.gif"), true},
        {"1x1.tga", tga, true},
        {"1x1.ppm", std::vector<std::uint8_t>(pnm.begin(), pnm.end()), false},
        {"pnm-wild-read", testsupport::readByteVector(corpus / "pnm-wild-read"), false},
        {"jpeg-huffman-overflow", testsupport::readByteVector(corpus / "jpeg-huffman-overflow"), false},
        {"jpeg-huffman-overflow after fill bytes",
         filled(testsupport::readByteVector(corpus / "jpeg-huffman-overflow")), false},
    };
    for (const Row& row : rows) {
        ASSERT_FALSE(row.bytes.empty()) << row.name;
        auto image = decodeImage(row.bytes.data(), row.bytes.size(), 0);
        EXPECT_EQ(image != nullptr, row.decoded) << row.name;
    }
    auto tgaImage = decodeImage(tga.data(), tga.size(), 0);
    ASSERT_NE(tgaImage, nullptr);
    EXPECT_EQ(tgaImage->bitmap.pixel(0, 0), 0xFF0000FFu);
}

// --- Tables ---

class TablesTest : public ::testing::Test {
protected:
    SkinSourceGuard guard;
    testsupport::ScratchFolder scratch;
    void SetUp() override {
        dir = scratch.path();
        testsupport::writePng(dir / "one.png", 1, 1, [](int, int) { return 0xFF111111u; });
        testsupport::writePng(dir / "two.png", 2, 1, [](int, int) { return 0xFF222222u; });
        fs::current_path(dir);
    }
    void TearDown() override {
        CFormManagerUI::sharedResources().images.clear();
        CFormManagerUI::sharedResources().fonts.clear();
        CFormManagerUI::sharedResources().defaultAttributes.clear();
        CFormManagerUI::removeAllLanguageTexts();
    }
    fs::path dir;
};

TEST_F(TablesTest, ImagesAreReplacedAndSearchedWindowFirst) {
    CFormManagerUI window;
    ImageHandle first = window.addImage(L"pic", nullptr, 0, false);
    EXPECT_EQ(first, nullptr) << "no file named pic";
    first = window.addImage(L"one.png", nullptr, 0, false);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(window.findImage(L"one.png"), first);
    ImageHandle second = window.addImage(L"one.png", nullptr, 0x12345678, false);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(window.findImage(L"one.png"), second);
    EXPECT_EQ(second->mask, 0x12345678u);
    EXPECT_EQ(first->width, 1) << "a replaced image stays valid for whoever still holds it";

    CFormManagerUI other;
    EXPECT_EQ(other.findImage(L"one.png"), nullptr);
    ImageHandle shared = other.addImage(L"two.png", nullptr, 0, true);
    EXPECT_EQ(window.findImage(L"two.png"), shared) << "shared images are seen by every window";
    EXPECT_EQ(window.addImage(L"", nullptr, 0, false), nullptr);

    // A window using shared resources stores there.
    other.useSharedResources(true);
    ImageHandle loaded = other.findOrLoadImage(L"one.png", nullptr, 0);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(CFormManagerUI::sharedResources().images.find(L"one.png") != nullptr, true);
    EXPECT_EQ(window.findImage(L"one.png"), second) << "window table first";

    window.removeAllImages(false);
    EXPECT_EQ(window.findImage(L"one.png"), loaded);
    window.removeAllImages(true);
    EXPECT_EQ(window.findImage(L"one.png"), nullptr);
}

TEST_F(TablesTest, FontsByIdWithDefaultFallback) {
    CFormManagerUI window;
    FontHandle defaultFont = window.defaultFontInfo().font;
    ASSERT_NE(defaultFont, nullptr);
    EXPECT_EQ(window.fontHandle(5), defaultFont);
    EXPECT_EQ(window.fontHandle(-1), defaultFont);

    FontHandle five = window.addFont(5, L"WenQuanYi Micro Hei", 16, true, false, false, false, false);
    ASSERT_NE(five, nullptr);
    EXPECT_EQ(window.fontHandle(5), five);
    const FontRecord& info = window.fontInfo(5);
    EXPECT_EQ(info.size, 16);
    EXPECT_TRUE(info.bold);
    EXPECT_GT(info.metrics.height, 0) << "metrics are measured when handed out";
    EXPECT_EQ(&window.fontInfoOf(five), &info);
    EXPECT_EQ(window.findFont(L"WenQuanYi Micro Hei", 16, true, false, false, false), five);
    EXPECT_EQ(window.findFont(L"wenquanyi micro hei", 16, true, false, false, false), nullptr);
    EXPECT_EQ(window.fontHandle(-5), defaultFont);

    FontHandle replaced = window.addFont(5, L"WenQuanYi Micro Hei", 20, false, false, false, false, false);
    EXPECT_EQ(window.fontHandle(5), replaced);
    EXPECT_EQ(window.fontInfo(5).size, 20);

    FontHandle shared = window.addFont(6, L"WenQuanYi Micro Hei", 12, false, true, false, false, true);
    CFormManagerUI other;
    EXPECT_EQ(other.fontHandle(6), shared);
    EXPECT_EQ(other.fontHandle(5), other.defaultFontInfo().font);

    window.removeAllFonts(false);
    EXPECT_EQ(window.fontHandle(5), defaultFont);
    EXPECT_EQ(window.fontHandle(6), shared);
}

TEST_F(TablesTest, WindowDefaultFontOverridesTheSharedOneForThatWindowOnly) {
    CFormManagerUI a, b;
    const FontRecord& sharedDefault = b.defaultFontInfo();
    EXPECT_FALSE(sharedDefault.face.empty());
    EXPECT_EQ(&a.defaultFontInfo(), &sharedDefault);
    a.setDefaultFont(L"WenQuanYi Micro Hei", 18, false, false, true, false, false);
    EXPECT_EQ(a.defaultFontInfo().size, 18);
    EXPECT_TRUE(a.defaultFontInfo().italic);
    EXPECT_EQ(a.fontHandle(-1), a.defaultFontInfo().font);
    EXPECT_EQ(&b.defaultFontInfo(), &CFormManagerUI::sharedResources().defaultFont);
}

TEST_F(TablesTest, DefaultAttributesWindowAttributesAndLanguage) {
    CFormManagerUI window, other;
    window.addDefaultAttributes(L"Button", L"width=\"10\"", true);
    EXPECT_STREQ(other.defaultAttributes(L"Button"), L"width=\"10\"");
    window.addDefaultAttributes(L"Button", L"width=\"20\"", false);
    EXPECT_STREQ(window.defaultAttributes(L"Button"), L"width=\"20\"");
    window.addDefaultAttributes(L"Button", L"width=\"30\"", false);
    EXPECT_STREQ(window.defaultAttributes(L"Button"), L"width=\"30\"");
    EXPECT_EQ(window.defaultAttributes(L"button"), nullptr) << "tags are case-sensitive";
    window.removeAllDefaultAttributes(false);
    EXPECT_STREQ(window.defaultAttributes(L"Button"), L"width=\"10\"");

    window.addWindowAttribute(L"theme", L"dark");
    window.addWindowAttribute(L"theme", L"light");
    window.addWindowAttribute(L"", L"x");
    window.addWindowAttribute(L"empty", L"");
    EXPECT_STREQ(window.windowAttribute(L"theme"), L"dark");
    EXPECT_EQ(window.windowAttribute(L"empty"), nullptr);

    CFormManagerUI::addLanguageText(3, L"first");
    CFormManagerUI::addLanguageText(3, L"second");
    EXPECT_STREQ(CFormManagerUI::languageText(3), L"second");
    EXPECT_EQ(CFormManagerUI::languageText(4), nullptr);
    CStringUI text(L"a%{3}b%{4}c%{}d%{3");
    CFormManagerUI::expandTextIds(text);
    EXPECT_EQ(text, L"asecondb%{4}c%{}d%{3");
}

TEST_F(TablesTest, ColoursAreCopiedFromTheSharedDefaults) {
    CFormManagerUI window;
    EXPECT_EQ(window.disabledTextColour(), 0xFFA7A6AAu);
    EXPECT_EQ(window.defaultTextColour(), 0xFF000000u);
    EXPECT_EQ(window.linkColour(), 0xFF0000FFu);
    EXPECT_EQ(window.linkHoverColour(), 0xFFD3215Fu);
    EXPECT_EQ(window.selectedColour(), 0xFFBAE4FFu);
    window.setLinkColour(0xFF00FF00);
    CFormManagerUI other;
    EXPECT_EQ(other.linkColour(), 0xFF0000FFu);
}

} // namespace
