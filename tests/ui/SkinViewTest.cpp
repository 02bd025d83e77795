// quellan-skinview from the outside: the tree dump of the shipped skin, a
// parse error, an image description and rich text links.
#include "platform/graphics/Graphics.h"
#include "tests/ui/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include <string>

namespace {

using testsupport::ToolRun;

ToolRun skinview(const std::string& args) { return testsupport::runSkinView(args); }

TEST(SkinView, DumpsTheShippedSkinAndReportsErrors) {
    std::string skin = std::string(QUELLAN_SOURCE_DIR) + "/app/skin";
    ToolRun main = skinview("--dump main.xml --skin-dir '" + skin + "'");
    EXPECT_EQ(main.status, 0) << main.out;
    EXPECT_EQ(main.out.rfind("Window ", 0), 0u) << main.out;
    ToolRun msgbox = skinview("--dump msgbox.xml --archive '" + std::string(QUELLAN_BINARY_DIR) +
                              "/skin.zip' --password 'kvtp5184@'");
    EXPECT_EQ(msgbox.status, 0) << msgbox.out;
    EXPECT_NE(msgbox.out.find("  VerticalLayout"), std::string::npos) << "children are indented";

    testsupport::ScratchFolder scratch;
    const auto& dir = scratch.path();
    testsupport::writeBytes(dir / "bad.xml", "<a><b></c></a>");
    ToolRun bad = skinview("--dump bad.xml --skin-dir '" + dir.string() + "'");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "error: Unmatched closing tag\nat: c></a>\n");
}

TEST(SkinView, RendersImagesAndRichText) {
    testsupport::ScratchFolder scratch;
    const auto& dir = scratch.path();
    std::string png = (dir / "image.png").string();
    ToolRun image =
        skinview("--image \"color='#FFFF0000' dest='1,1,3,3'\" --size 4x4 --png '" + png + "' --background FF0000FF");
    ASSERT_EQ(image.status, 0) << image.out;
    platform::Surface s = platform::Surface::readPng(png);
    ASSERT_EQ(s.size(), (platform::Size{4, 4}));
    EXPECT_EQ(s.pixel(1, 1), 0xFFFF0000u);
    EXPECT_EQ(s.pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(skinview("--image missing.png --size 4x4 --png '" + png + "'").status, 1);

    ToolRun text = skinview("--richtext 'go <a there>here</a>' --size 200x30 --png '" + (dir / "text.png").string() +
                            "' --font 'WenQuanYi Micro Hei,16'");
    EXPECT_EQ(text.status, 0) << text.out;
    EXPECT_NE(text.out.find("link 0: "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(" there\n"), std::string::npos) << text.out;
}

// A whole window: the tree with its flags, the notices of the steps, and
// the errors a skin author sees.
TEST(SkinView, WindowTreeNoticesAndErrors) {
    const testsupport::ScratchFolder dir;
    testsupport::writeBytes(dir / "w.xml", R"(<Window size="200,100"><VerticalLayout name="root">
        <Button name="ok" height="30" text="OK"/><Option name="opt" height="30" selected="true"/>
        <Label name="off" enabled="false" visible="false"/><HBox name="row"><Control name="c"/></HBox>
        </VerticalLayout></Window>)");
    ToolRun run = skinview("--window w.xml --skin-dir '" + dir.string() + "' --tree --act click:opt --act key:tab");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "notice mouseenter \"opt\"\n"
                       "notice killfocus \"ok\"\n"
                       "notice setfocus \"opt\"\n"
                       "notice click \"opt\"\n"
                       "notice selectchanged \"opt\"\n"
                       "notice killfocus \"opt\"\n"
                       "notice setfocus \"ok\"\n"
                       "VerticalLayout \"root\" 0,0,200,100\n"
                       "  Button \"ok\" 0,0,200,30 focused\n"
                       "  Option \"opt\" 0,30,200,60\n"
                       "  Label \"off\" 0,0,0,0 hidden disabled\n"
                       "  HorizontalLayout \"row\" 0,60,200,100\n"
                       "    Control \"c\" 0,60,200,100\n");

    // --size overrides the document's size; the document's own folder is
    // the skin folder when none is given.
    ToolRun sized = skinview("--window '" + (dir / "w.xml").string() + "' --size 120x40 --tree");
    ASSERT_EQ(sized.status, 0) << sized.out;
    EXPECT_EQ(sized.out.substr(0, sized.out.find('\n')), "VerticalLayout \"root\" 0,0,120,40");

    testsupport::writeBytes(dir / "bad.xml", "<Window><Button name=\"a\"></Label></Window>");
    ToolRun bad = skinview("--window bad.xml --skin-dir '" + dir.string() + "'");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "error: Unmatched closing tag\nat: Label></Window>\n");
    testsupport::writeBytes(dir / "empty.xml", "<Window><Unknown/></Window>");
    ToolRun empty = skinview("--window empty.xml --skin-dir '" + dir.string() + "'");
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.out, "error: the document builds no control\n");
    ToolRun missing = skinview("--window w.xml --skin-dir '" + dir.string() + "' --act click:nobody");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("no control named \"nobody\""), std::string::npos) << missing.out;
    EXPECT_EQ(skinview("--window w.xml --skin-dir '" + dir.string() + "' --act jump:ok").status, 2);

    // A control the build dropped (a second top-level element) cannot be
    // reached by its name any more.
    testsupport::writeBytes(dir / "two.xml", R"(<Window size="200,100"><VerticalLayout name="root"><Button name="b"/>
        </VerticalLayout><Button name="extra" width="50" height="30"/></Window>)");
    ToolRun dropped = skinview("--window two.xml --skin-dir '" + dir.string() + "' --act click:extra");
    EXPECT_EQ(dropped.status, 1);
    EXPECT_NE(dropped.out.find("no control named \"extra\""), std::string::npos) << dropped.out;

    // A window far larger than any picture: refused before it is painted.
    testsupport::writeBytes(dir / "huge.xml", R"(<Window size="16777216,16777216"><Control/></Window>)");
    ToolRun huge =
        skinview("--window huge.xml --skin-dir '" + dir.string() + "' --png '" + (dir / "h.png").string() + "'");
    EXPECT_EQ(huge.status, 1);
    EXPECT_NE(huge.out.find("error: picture 32767x32767 too large"), std::string::npos) << huge.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "h.png"));
}

// --scale: the tree in device pixels, --size and drag steps in skin units.
TEST(SkinView, WindowAtAScale) {
    const testsupport::ScratchFolder dir;
    testsupport::writeBytes(dir / "s.xml", R"(<Window size="200,100"><VerticalLayout name="root">
        <Button name="ok" height="30"/><VerticalLayout name="box" height="20" sepheight="4" sepimm="true"/>
        <Control name="rest"/></VerticalLayout></Window>)");
    const std::string base = "--window s.xml --skin-dir '" + dir.string() + "' --tree";
    ToolRun run = skinview(base + " --scale 1.5");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "VerticalLayout \"root\" 0,0,300,150\n"
                       "  Button \"ok\" 0,0,300,45 focused\n"
                       "  VerticalLayout \"box\" 0,45,300,75\n"
                       "  Control \"rest\" 0,75,300,150\n");
    ToolRun sized = skinview(base + " --scale 2 --size 50x40");
    ASSERT_EQ(sized.status, 0) << sized.out;
    EXPECT_EQ(sized.out.substr(0, sized.out.find('\n')), "VerticalLayout \"root\" 0,0,100,80");
    // The same drag in skin units moves the separator twice as far at 2×
    // (the strip, in which a drag first has to get past the edge, doubles too).
    ToolRun dragged1 = skinview(base + " --act drag:box:0,10");
    ToolRun dragged2 = skinview(base + " --scale 2 --act drag:box:0,10");
    ASSERT_EQ(dragged1.status, 0) << dragged1.out;
    ASSERT_EQ(dragged2.status, 0) << dragged2.out;
    EXPECT_NE(dragged1.out.find("VerticalLayout \"box\" 0,30,200,55 focused\n"), std::string::npos) << dragged1.out;
    EXPECT_NE(dragged2.out.find("VerticalLayout \"box\" 0,60,400,110 focused\n"), std::string::npos) << dragged2.out;
    for (const char* bad : {"0.5", "4", "big"}) EXPECT_EQ(skinview(base + " --scale " + bad).status, 2) << bad;
}

TEST(SkinView, ListStateSelectStepAndKeys) {
    const testsupport::ScratchFolder dir;
    testsupport::writeBytes(dir / "l.xml", R"(<Window size="100,60"><List name="l" multiselect="true">
        <ListHeader name="h" height="10"><ListHeaderItem name="c" width="40"/></ListHeader>
        <ListLabelElement name="a" height="20"/><ListLabelElement name="b" height="20"/>
        <ListLabelElement name="c2" height="20"/></List></Window>)");
    const std::string base = "--window l.xml --skin-dir '" + dir.string() + "' --tree";
    ToolRun run = skinview(base + " --act select:l:0 --act key:down --act key:pagedown --act key:up");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "notice itemselect \"l\"\n"
                       "notice itemselect \"l\"\n"
                       "notice itemselect \"l\"\n"
                       "notice scroll \"\"\n" // PageDown scrolled the last row into view
                       "notice itemselect \"l\"\n"
                       "List \"l\" 0,0,100,60 focused selected=1\n"
                       "  ListHeader \"h\" 0,0,100,10\n"
                       "    ListHeaderItem \"c\" 0,0,40,10\n"
                       "  ListLabelElement \"a\" 0,0,84,20\n"
                       "  ListLabelElement \"b\" 0,20,84,40\n"
                       "  ListLabelElement \"c2\" 0,40,84,60\n");
    ToolRun none = skinview(base);
    ASSERT_EQ(none.status, 0) << none.out;
    EXPECT_EQ(none.out.substr(0, none.out.find('\n')), "List \"l\" 0,0,100,60 focused selected=-1");
    // A combo: its state, and its open popup with the rows under it.
    testsupport::writeBytes(dir / "c.xml", R"(<Window size="100,60"><VBox><Combo name="c" height="20">
        <ListLabelElement name="x" height="20"/><ListLabelElement name="y" height="20"/></Combo><Control/>
        </VBox></Window>)");
    ToolRun combo = skinview("--window c.xml --skin-dir '" + dir.string() + "' --tree --act select:c:1 --act click:c");
    ASSERT_EQ(combo.status, 0) << combo.out;
    EXPECT_NE(combo.out.find("Combo \"c\" 0,0,100,20 focused selected=1 open=1\n"
                             "    Popup \"\" 0,20,100,62\n"
                             "      ListLabelElement \"x\" 1,1,99,21\n" // the popup's own coordinates
                             "      ListLabelElement \"y\" 1,21,99,41\n"),
              std::string::npos)
        << combo.out;
    ToolRun missing = skinview(base + " --act select:l:7");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("\"l\" has no item 7"), std::string::npos) << missing.out;
}

TEST(SkinView, TreeStateWordsAndKeys) {
    const testsupport::ScratchFolder dir;
    testsupport::writeBytes(dir / "t.xml", R"(<Window size="100,60"><TreeView name="t" showcheck="true" indent="10">
        <TreeNode name="a" height="20" checked="true"><TreeNode name="a1" height="20"><Label name="l"/></TreeNode>
        </TreeNode><TreeNode name="b" height="20"/></TreeView></Window>)");
    ToolRun run = skinview("--window t.xml --skin-dir '" + dir.string() +
                           "' --tree --act select:t:0 --act key:left --act key:down --act key:space");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "notice itemselect \"t\"\n"
                       "notice itemcollapse \"a\"\n"
                       "notice itemselect \"t\"\n"
                       "notice itemcheck \"b\"\n"
                       "TreeView \"t\" 0,0,100,60 focused selected=2\n"
                       "  ListHeader \"\" 0,0,0,0 hidden\n"
                       "  TreeNode \"a\" 0,0,100,20 expanded=0 checked=1\n"
                       "    HorizontalLayout \"\" 32,0,100,20\n"
                       "    TreeNode \"a1\" 0,20,100,40 hidden expanded=1 checked=0\n"
                       "      HorizontalLayout \"\" 42,20,100,40\n"
                       "        Label \"l\" 42,20,100,40\n"
                       "  TreeNode \"b\" 0,20,100,40 expanded=1 checked=1\n"
                       "    HorizontalLayout \"\" 32,20,100,40\n");
}

TEST(SkinView, DrawsTheShippedSkin) {
    const testsupport::ScratchFolder dir;
    std::string png = (dir / "main.png").string();
    ToolRun run = skinview("--window '" + std::string(QUELLAN_SOURCE_DIR) + "/app/skin/main.xml' --png '" + png + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    platform::Surface s = platform::Surface::readPng(png);
    EXPECT_EQ(s.size(), (platform::Size{1090, 644}));
    // The skin's images (tools/skinart) are found next to the document: the
    // dark lower panel, its gold edge, the gold start button.
    auto channels = [](std::uint32_t p) {
        return std::array<int, 3>{int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255)};
    };
    const auto panel = channels(s.pixel(20, 620));
    EXPECT_TRUE(panel[0] < 40 && panel[1] < 40 && panel[2] < 60) << std::hex << s.pixel(20, 620);
    const auto edge = channels(s.pixel(20, 330));
    EXPECT_TRUE(edge[0] > 120 && edge[1] > 90 && edge[2] < 100) << std::hex << s.pixel(20, 330);
    const auto start = channels(s.pixel(880, 563));
    EXPECT_TRUE(start[0] > 180 && start[1] > 120 && start[2] < 100) << std::hex << s.pixel(880, 563);

    ToolRun packed = skinview("--window msgbox.xml --archive '" + std::string(QUELLAN_BINARY_DIR) +
                              "/skin.zip' --password 'kvtp5184@' --tree");
    ASSERT_EQ(packed.status, 0) << packed.out;
    EXPECT_EQ(packed.out.rfind("VerticalLayout \"\" 0,0,440,230\n", 0), 0u) << packed.out;
    EXPECT_NE(packed.out.find("  Button \"msgbox_ok\" "), std::string::npos) << packed.out;
}

} // namespace
