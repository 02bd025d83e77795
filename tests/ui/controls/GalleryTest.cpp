// The gallery skin (tests/gallery/): every control, container, window and
// builder feature in one window, rendered by the test harness and by
// quellan-skinview --window, both against the same golden; and a golden of
// the gallery after a run of skinview steps.
#include "tests/ui/GoldenImage.h"
#include "tests/ui/SkinWindow.h"
#include "tests/ui/TestSupport.h"
#include "ui/render/SkinSource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path kGallery = fs::path(QUELLAN_SOURCE_DIR) / "tests" / "gallery";

using testsupport::ToolRun;

ToolRun skinview(const std::string& args) { return testsupport::runSkinView(args); }

TEST(Gallery, HarnessRendersTheGolden) {
    testsupport::SkinSourceGuard guard;
    fs::current_path(kGallery);
    testsupport::SkinWindow window(L"gallery.xml");
    ASSERT_TRUE(window.built()) << platform::toUtf8(window.builder().lastError());
    EXPECT_EQ(window.find(L"never_built"), nullptr) << "unknown tags are skipped with their subtree";
    // The gallery is a layered window: what it shows is what its refresh timer painted.
    EXPECT_TRUE(window.manager().isLayered());
    window.advance(CFormManagerUI::kLayeredRefreshMs);
    EXPECT_TRUE(testsupport::matchesGolden(window.surface(), "gallery/gallery"));
}

TEST(Gallery, SkinViewRendersTheSameGolden) {
    const testsupport::ScratchFolder dir;
    ToolRun run =
        skinview("--window '" + (kGallery / "gallery.xml").string() + "' --png '" + (dir / "plain.png").string() + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "") << "no steps, no notices";
    EXPECT_TRUE(
        testsupport::matchesGolden(platform::Surface::readPng((dir / "plain.png").string()), "gallery/gallery"));
}

// The gallery and the installer's main window at 2x and 1.5x: text laid
// out at the larger size, the installer's own 2x images at 2x (and drawn
// smaller at 1.5x), the gallery's 1x images enlarged by the filter.
TEST(Gallery, ScaledWindowsMatchTheirGoldens) {
    const std::string installer = std::string(QUELLAN_SOURCE_DIR) + "/app/skin/main.xml";
    const struct {
        std::string document;
        const char* scale;
        platform::Size size;
        const char* golden;
    } cases[] = {
        {(kGallery / "gallery.xml").string(), "2", {0, 0}, "gallery/gallery-2x"},
        {(kGallery / "gallery.xml").string(), "1.5", {0, 0}, "gallery/gallery-1.5x"},
        {installer, "2", {2180, 1288}, "gallery/installer-2x"},
        {installer, "1.5", {1635, 966}, "gallery/installer-1.5x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        const testsupport::ScratchFolder dir;
        const std::string png = (dir / "out.png").string();
        ToolRun run = skinview("--window '" + c.document + "' --scale " + c.scale + " --png '" + png + "'");
        ASSERT_EQ(run.status, 0) << run.out;
        const platform::Surface s = platform::Surface::readPng(png);
        if (c.size.cx > 0) {
            EXPECT_EQ(s.size(), c.size);
        }
        EXPECT_TRUE(testsupport::matchesGolden(s, c.golden));
    }
}

TEST(Gallery, SkinViewStepsChangeTheGallery) {
    const testsupport::ScratchFolder dir;
    const char* steps[] = {"hover:b_fade",     "wait:200",     "click:o_small", "click:cb_music",  "wheel:scroll:-1",
                           "drag:split:0,-20", "click:o_tab2", "key:tab",       "hover:b_colours", "wait:200",
                           "select:tab:2",     "wait:20",      "click:e_name",  "key:end",         "type:中文",
                           "key:backspace",    "key:return"};
    std::string args =
        "--window '" + (kGallery / "gallery.xml").string() + "' --png '" + (dir / "acted.png").string() + "'";
    for (const char* s : steps) args += std::string(" --act ") + s;
    ToolRun run = skinview(args);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "notice mouseenter \"b_fade\"\n"
                       "notice mouseleave \"b_fade\"\n"
                       "notice mouseenter \"o_small\"\n"
                       "notice killfocus \"close\"\n"
                       "notice setfocus \"o_small\"\n"
                       "notice click \"o_small\"\n"
                       "notice selectchanged \"o_small\"\n"
                       "notice mouseleave \"o_small\"\n"
                       "notice mouseenter \"cb_music\"\n"
                       "notice killfocus \"o_small\"\n"
                       "notice setfocus \"cb_music\"\n"
                       "notice click \"cb_music\"\n"
                       "notice selectchanged \"cb_music\"\n"
                       "notice mouseleave \"cb_music\"\n"
                       "notice scroll \"\"\n"
                       "notice killfocus \"cb_music\"\n"
                       "notice setfocus \"split\"\n"
                       "notice mouseenter \"o_tab2\"\n"
                       "notice killfocus \"split\"\n"
                       "notice setfocus \"o_tab2\"\n"
                       "notice click \"o_tab2\"\n"
                       "notice selectchanged \"o_tab2\"\n"
                       "notice mouseleave \"o_tab2\"\n"
                       "notice mouseenter \"b_colours\"\n"
                       // A layered window paints (and so moves a pending focus) on its timer.
                       "notice killfocus \"o_tab2\"\n"
                       "notice setfocus \"cb_sound\"\n"
                       // The new page has no tab stop: the focus wraps to the first one.
                       "notice killfocus \"cb_sound\"\n"
                       "notice setfocus \"page2\"\n"
                       "notice tabselect \"tab\"\n"
                       "notice killfocus \"page2\"\n"
                       "notice setfocus \"close\"\n"
                       "notice mouseleave \"b_colours\"\n"
                       "notice killfocus \"close\"\n"
                       "notice setfocus \"e_name\"\n"
                       "notice textchanged \"e_name\"\n"
                       "notice textchanged \"e_name\"\n"
                       "notice textchanged \"e_name\"\n"
                       "notice return \"e_name\"\n");
    EXPECT_TRUE(
        testsupport::matchesGolden(platform::Surface::readPng((dir / "acted.png").string()), "gallery/gallery-acted"));
}

TEST(Gallery, SkinViewPreviewsATypedInEditAndATabPage) {
    ToolRun run = skinview("--window '" + (kGallery / "gallery.xml").string() +
                           "' --tree --act select:tab:0 --act wait:20 --act click:e_number --act key:home"
                           " --act type:1x9 --act key:ctrl+a --act type:7 --act click:e_name --act key:end"
                           " --act key:backspace --act type:玩");
    ASSERT_EQ(run.status, 0) << run.out;
    auto line = [&](const std::string& start) {
        const std::size_t at = run.out.find(start);
        return at == std::string::npos ? std::string() : run.out.substr(at, run.out.find('\n', at) - at);
    };
    // Digits only, the whole text replaced after Ctrl+A; the edit closed when the focus moved on.
    EXPECT_NE(line("Edit \"e_number\"").find("text \"7\""), std::string::npos) << run.out;
    EXPECT_EQ(line("Edit \"e_number\"").find("editing"), std::string::npos);
    EXPECT_NE(line("Edit \"e_name\"").find("text \"玩家 Playe玩\" editing focused"), std::string::npos) << run.out;
    EXPECT_NE(line("TabLayout \"tab\"").find("page 0"), std::string::npos);
    EXPECT_NE(line("VerticalLayout \"page1\"").find("hidden"), std::string::npos);

    // Steps that cannot apply fail with a message.
    ToolRun bad = skinview("--window '" + (kGallery / "gallery.xml").string() + "' --act select:tab:7");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("no page 7"), std::string::npos) << bad.out;
    bad = skinview("--window '" + (kGallery / "gallery.xml").string() + "' --act select:e_name:0");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("no tab layout, list or combo named \"e_name\""), std::string::npos) << bad.out;
}

} // namespace

namespace {

// The data controls page after selecting a file by code, hovering another,
// picking an edition with the mouse and then the keyboard, and selecting a
// combo item.
TEST(Gallery, ListsPage) {
    const testsupport::ScratchFolder dir;
    std::string args =
        "--window '" + (kGallery / "lists.xml").string() + "' --png '" + (dir / "lists.png").string() + "' --tree";
    for (const char* s : {"select:files:1", "click:p1", "key:down", "select:edition:1", "hover:f2"})
        args += std::string(" --act ") + s;
    ToolRun run = skinview(args);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("List \"files\" 8,8,432,178 selected=1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" selected=2\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("      ChildLayout \"child\" 288,212,426,236\n        Label \"\" 288,212,426,236\n"),
              std::string::npos)
        << "the child layout's content: " << run.out;
    EXPECT_TRUE(testsupport::matchesGolden(platform::Surface::readPng((dir / "lists.png").string()), "gallery/lists"));
}

// The tree page after selecting a settings row, moving from a file to its
// folder with Left, unchecking that folder's subtree with Space and
// hovering a settings row.
TEST(Gallery, TreesPage) {
    const testsupport::ScratchFolder dir;
    std::string args =
        "--window '" + (kGallery / "trees.xml").string() + "' --png '" + (dir / "trees.png").string() + "' --tree";
    for (const char* s : {"select:settings:1", "select:game:3", "key:left", "key:space", "hover:s_vsync"})
        args += std::string(" --act ") + s;
    ToolRun run = skinview(args);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("notice itemcheck \"g_bin\"\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("TreeView \"game\" 8,8,224,252 focused selected=1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("TreeNode \"g_exe\" 9,57,223,81 expanded=1 checked=0\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("TreeNode \"g_pak\" 0,0,0,0 hidden expanded=1 checked=0\n"), std::string::npos) << run.out;
    EXPECT_TRUE(testsupport::matchesGolden(platform::Surface::readPng((dir / "trees.png").string()), "gallery/trees"));
}

} // namespace

namespace {

// The value controls page after dragging and stepping sliders, paging one,
// and changing the month of a date with its keys.
TEST(Gallery, ValuesPage) {
    const testsupport::ScratchFolder dir;
    std::string args =
        "--window '" + (kGallery / "values.xml").string() + "' --png '" + (dir / "values.png").string() + "' --tree";
    for (const char* s : {"drag:volume:23,0", "key:up", "drag:level:0,-30", "click:paged", "click:date", "key:escape",
                          "key:left", "key:up", "wait:300"})
        args += std::string(" --act ") + s;
    ToolRun run = skinview(args);
    ASSERT_EQ(run.status, 0) << run.out;
    // The drag starts on the thumb: its centre moves 23 px, 23/218 of the
    // range, in steps of 5; Up adds a step.
    EXPECT_NE(run.out.find("notice movevaluechanged \"volume\"\nnotice movevaluechanged \"volume\"\n"
                           "notice valuechanged \"volume\"\nnotice valuechanged \"volume\"\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Slider \"volume\" 10,10,240,28 value=55\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Slider \"level\" 254,10,272,142 value=5\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Slider \"paged\" 10,36,240,50 value=15\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Slider \"off\" 10,58,240,72 disabled value=70\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("notice datetimechange \"date\"\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" focused date=2024-03-29\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("date=1601-01-01\n"), std::string::npos) << run.out;
    // Caught at their first frames (they tick every ten minutes).
    EXPECT_NE(run.out.find("RotateImage \"rotor\" 286,10,326,50 angle=30\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" angle=135\n"), std::string::npos) << run.out;
    EXPECT_TRUE(
        testsupport::matchesGolden(platform::Surface::readPng((dir / "values.png").string()), "gallery/values"));
}

} // namespace
