// quellan-skinview from the outside: the tree dump of the shipped skin, a
// parse error, an image description and rich text links.
#include "platform/graphics/Graphics.h"
#include "tests/ui/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun skinview(const std::string& args) {
    std::string cmd = std::string("'") + QUELLAN_BINARY_DIR + "/quellan-skinview' " + args + " 2>&1";
    ToolRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) r.out += buf;
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

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

} // namespace
