// build/quellan in a real X session (run-under-xvfb.sh: Xvfb with openbox),
// against a local service, driven by xdotool like a player: pick birch, choose
// a folder in the real folder dialog (zenity), type a path into the field,
// press start, watch the bar
// advance, confirm the completion in the message box (centred on the window),
// close the window; and the window behind the folder dialog, which keeps
// painting and showing progress; and the same install with the desktop at
// 200%. Screenshots of each step go to
// BUILD/tests/app/x11-shots/ and are checked by their pixels.
#include "tests/app/InstallerFixture.h"

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <thread>

namespace apptest {
namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

// Waits until a visible window has exactly this title; its id or empty.
std::string waitForWindow(const std::string& title, std::chrono::seconds patience = std::chrono::seconds(120)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string id = run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null | head -n 1");
        if (!id.empty()) return id.substr(0, id.find('\n'));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

Geometry geometryOf(const std::string& window) {
    Geometry g;
    const std::string out = run("xdotool getwindowgeometry --shell " + window);
    std::smatch m;
    if (std::regex_search(out, m, std::regex("X=(-?\\d+)"))) g.x = std::stoi(m[1]);
    if (std::regex_search(out, m, std::regex("Y=(-?\\d+)"))) g.y = std::stoi(m[1]);
    if (std::regex_search(out, m, std::regex("WIDTH=(\\d+)"))) g.width = std::stoi(m[1]);
    if (std::regex_search(out, m, std::regex("HEIGHT=(\\d+)"))) g.height = std::stoi(m[1]);
    return g;
}

// The geometry of a window that should come to sit centred on owner: read
// again until it does (a loaded window manager places a new window a moment
// after it is mapped), for a few seconds at most.
Geometry geometryOnceCentred(const std::string& window, const Geometry& owner) {
    Geometry g;
    testsupport::waitUntil(
        [&] {
            g = geometryOf(window);
            return std::abs(g.x + g.width / 2 - (owner.x + owner.width / 2)) <= 2 &&
                   std::abs(g.y + g.height / 2 - (owner.y + owner.height / 2)) <= 2;
        },
        std::chrono::seconds(10));
    return g;
}

struct Rgb {
    int r = -1, g = -1, b = -1;
};

// The colour of one screen pixel in a screenshot.
Rgb pixelAt(const std::string& png, int x, int y) {
    const std::string out =
        run("convert '" + png + "' -crop 1x1+" + std::to_string(x) + "+" + std::to_string(y) + " -depth 8 txt:-");
    std::smatch m;
    Rgb c;
    if (std::regex_search(out, m, std::regex("\\((\\d+),(\\d+),(\\d+)")))
        c = {std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3])};
    return c;
}

// The progress bar's gold (drawn by tools/skinart) against its dark track.
bool isGold(const Rgb& c) { return c.r > 150 && c.g > 90 && c.b < 120; }

class InstallerOnX : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run-under-xvfb.sh)";
        if (run("command -v xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
        unsetenv("DBUS_SESSION_BUS_ADDRESS"); // no portal: zenity answers
        unsetenv("XDG_RUNTIME_DIR");
        m_shots = fs::path(QUELLAN_BINARY_DIR) / "tests/app/x11-shots";
        fs::remove_all(m_shots);
        fs::create_directories(m_shots);
    }

    void click(const Geometry& window, int x, int y) {
        run("xdotool mousemove --sync " + std::to_string(window.x + x) + " " + std::to_string(window.y + y) +
            " click 1");
    }
    std::string shot(const std::string& name) {
        const std::string path = (m_shots / (std::to_string(++m_shotCount) + "-" + name + ".png")).string();
        run("import -window root '" + path + "'");
        return path;
    }

    fs::path m_shots;
    int m_shotCount = 0;
};

// The raw RGB bytes of a rectangle of a screenshot.
std::string regionBytes(const std::string& png, const Geometry& r) {
    return run("convert '" + png + "' -crop " + std::to_string(r.width) + "x" + std::to_string(r.height) + "+" +
               std::to_string(r.x) + "+" + std::to_string(r.y) + " -depth 8 rgb:-");
}

// Width of the gold part of the bar in a screenshot of the window at g.
int barWidth(const std::string& png, const Geometry& g) {
    int width = 0;
    while (width < 640 && isGold(pixelAt(png, g.x + 60 + width + 2, g.y + 584))) width += 8;
    return width;
}

// The folder dialog is another program: while it is open the window keeps
// painting what it uncovers and a pass running behind it keeps its bar
// moving.
TEST_F(InstallerOnX, WindowStaysLiveBehindTheFolderChooser) {
    ScratchFolder dir;
    const fs::path home = dir / "home";
    fs::create_directories(home / "Desktop");
    fs::create_directories(dir / "tmp");
    const fs::path prefix = DemoPrefix();
    ASSERT_TRUE(fs::exists(prefix / "ready"));
    ChildProcess accelerator((prefix / "stand-in/wine64").string(),
                             {"C:\\Program Files\\Harrow\\harrowjiasu.exe", "infinity"},
                             {"WINEPREFIX=" + prefix.string()});
    WriteGameContent(dir / "content");
    devserver::DevServer server;
    devserver::Options options;
    options.contentDir = (dir / "content").string();
    std::string error;
    ASSERT_TRUE(server.Start(options, &error)) << error;
    // The pass lasts while the dialog is moved about.
    devserver::Fault slow;
    slow.rate = 24 * 1024;
    server.SetFault("/files/birch/Data/big.mpq", slow);

    const std::string title = "Quellan-x11-chooser-" + std::to_string(::getpid());
    ChildProcess quellan(QUELLAN_BINARY_DIR "/quellan", {"quellan"},
                         {"QUELLAN_DISPLAY=sdl", "QUELLAN_WINDOW_TITLE=" + title, "HOME=" + home.string(),
                          "TMPDIR=" + (dir / "tmp").string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
                          "WINEPREFIX=" + prefix.string(), "QUELLAN_SERVICE_BASE=" + server.BaseUrl(),
                          "QUELLAN_SERVICE_FALLBACK=" + server.BaseUrl()});
    ASSERT_TRUE(quellan.started());
    const std::string window = waitForWindow(title);
    ASSERT_FALSE(window.empty()) << "the installer's window did not appear";
    ASSERT_TRUE(testsupport::waitUntil([&] { return !server.RequestsTo("/Speed/Config/getConfig").empty(); }));
    const Geometry g = geometryOf(window);

    // Birch, start: the pass runs; the pointer leaves the window.
    click(g, 361, 412);
    click(g, 880, 563);
    ASSERT_TRUE(testsupport::waitUntil([&] { return !server.RequestsTo("/files/birch/Data/big.mpq").empty(); }));
    run("xdotool mousemove --sync 2 2");
    // The upper part of the window, which the pass does not change.
    const Geometry still{g.x + 20, g.y + 60, 1050, 340};
    const std::string before = regionBytes(shot("before-chooser"), still);
    ASSERT_EQ(before.size(), std::size_t(still.width) * still.height * 3);

    click(g, 845, 483);
    const std::string chooser = waitForWindow("选择安装路径", std::chrono::seconds(60));
    ASSERT_FALSE(chooser.empty()) << "no folder dialog (zenity missing?)";
    run("xdotool mousemove --sync 2 2");
    // Over the window...
    run("timeout 20 xdotool windowsize --sync " + chooser + " 520 300");
    run("timeout 20 xdotool windowmove --sync " + chooser + " " + std::to_string(g.x + 200) + " " +
        std::to_string(g.y + 80));
    ASSERT_NE(regionBytes(shot("covered"), still), before) << "the dialog is not over the window";
    // ...where the bar goes on moving behind it.
    const int firstWidth = barWidth(shot("bar-behind"), g);
    EXPECT_TRUE(
        testsupport::waitUntil([&] { return barWidth(shot("bar-behind"), g) > firstWidth; }, std::chrono::seconds(30)))
        << "the bar stood still while the dialog was open";
    // ...and away: the window shows again what it showed before.
    run("timeout 20 xdotool windowminimize --sync " + chooser);
    EXPECT_TRUE(testsupport::waitUntil([&] { return regionBytes(shot("uncovered"), still) == before; },
                                       std::chrono::seconds(15)))
        << "the window was not painted again where the dialog had been";

    // The dialog cancelled: the window takes input again.
    run("timeout 20 xdotool windowactivate --sync " + chooser);
    run("xdotool key Escape");
    ASSERT_TRUE(
        testsupport::waitUntil([] { return run("xdotool search --onlyvisible --name '^选择安装路径$'").empty(); }));
}

TEST_F(InstallerOnX, PlayerInstallsBirch) {
    ScratchFolder dir;
    const fs::path home = dir / "home";
    fs::create_directories(home / "Desktop");
    fs::create_directories(dir / "tmp");
    const fs::path prefix = DemoPrefix();
    ASSERT_TRUE(fs::exists(prefix / "ready"));
    ChildProcess accelerator((prefix / "stand-in/wine64").string(),
                             {"C:\\Program Files\\Harrow\\harrowjiasu.exe", "infinity"},
                             {"WINEPREFIX=" + prefix.string()});

    WriteGameContent(dir / "content");
    devserver::DevServer server;
    devserver::Options options;
    options.contentDir = (dir / "content").string();
    std::string error;
    ASSERT_TRUE(server.Start(options, &error)) << error;
    // Slow enough that the bar is seen moving.
    devserver::Fault slow;
    slow.rate = 200 * 1024;
    server.SetFault("/files/birch/Data/big.mpq", slow);

    const std::string title = "Quellan-x11-" + std::to_string(::getpid());
    ChildProcess quellan(QUELLAN_BINARY_DIR "/quellan", {"quellan"},
                         {"QUELLAN_DISPLAY=sdl", "QUELLAN_WINDOW_TITLE=" + title, "HOME=" + home.string(),
                          "TMPDIR=" + (dir / "tmp").string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
                          "XDG_STATE_HOME=" + (dir / "state").string(), "WINEPREFIX=" + prefix.string(),
                          "QUELLAN_SERVICE_BASE=" + server.BaseUrl(), "QUELLAN_SERVICE_FALLBACK=" + server.BaseUrl()});
    ASSERT_TRUE(quellan.started());
    const std::string window = waitForWindow(title);
    ASSERT_FALSE(window.empty()) << "the installer's window did not appear";
    // Idle once the configuration has been fetched.
    ASSERT_TRUE(testsupport::waitUntil([&] { return !server.RequestsTo("/Speed/Config/getConfig").empty(); }));
    Geometry g = geometryOf(window);
    EXPECT_EQ(g.width, 1090);
    EXPECT_EQ(g.height, 644);
    shot("start");

    // Birch, then the folder dialog: the folder's path typed into its
    // location field; the folder rule adds the edition's folder.
    click(g, 361, 412);
    const fs::path chosen = home / "游戏";
    fs::create_directories(chosen);
    click(g, 845, 483);
    const std::string chooser = waitForWindow("选择安装路径", std::chrono::seconds(60));
    ASSERT_FALSE(chooser.empty()) << "no folder dialog (zenity missing?)";
    run("timeout 20 xdotool windowactivate --sync " + chooser);
    run("xdotool key ctrl+l");
    run("xdotool type --delay 40 '" + chosen.string() + "'");
    shot("folder");
    run("xdotool key Return");
    ASSERT_TRUE(
        testsupport::waitUntil([] { return run("xdotool search --onlyvisible --name '^选择安装路径$'").empty(); }));
    // Then the path typed into the field itself, as typed (no folder rule).
    const fs::path target = home / "typed" / "Tolvar realms";
    click(g, 460, 483);
    run("xdotool key ctrl+a BackSpace");
    run("xdotool type --delay 40 '" + target.string() + "'");
    shot("typed");

    click(g, 880, 563);
    // The bar advances while the large file arrives.
    std::vector<int> widths;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::string box;
    while (std::chrono::steady_clock::now() < deadline) {
        box = run("xdotool search --onlyvisible --name '^Quellan$' 2>/dev/null | head -n 1");
        if (!box.empty()) break;
        const std::string png = shot("progress");
        int width = 0;
        while (width < 640 && isGold(pixelAt(png, g.x + 60 + width + 2, g.y + 584))) width += 8;
        widths.push_back(width);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ASSERT_FALSE(box.empty()) << "no message box at the end of the pass";
    box = box.substr(0, box.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let it paint
    const std::string complete = shot("complete");
    bool advanced = false;
    for (std::size_t i = 1; i < widths.size(); ++i) advanced |= widths[i] > widths[i - 1] && widths[i - 1] >= 0;
    EXPECT_TRUE(advanced) << "the progress bar was never seen moving";
    // The message box sits centred on the window; at the end the bar is full.
    const Geometry b = geometryOnceCentred(box, g);
    EXPECT_NEAR(b.x + b.width / 2, g.x + g.width / 2, 2);
    EXPECT_NEAR(b.y + b.height / 2, g.y + g.height / 2, 2);
    EXPECT_TRUE(isGold(pixelAt(complete, g.x + 60 + 630, g.y + 584)));

    // OK (the only button of the box), then the window's close button.
    click(b, b.width / 2, 191);
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return run("xdotool search --onlyvisible --name '^Quellan$' 2>/dev/null").empty(); }));
    shot("done");
    EXPECT_TRUE(InstalledCompletely(dir / "content/birch", target));
    const std::string entry = testsupport::readBytes(home / "Desktop/Tolvar Realms.desktop");
    EXPECT_NE(entry.find((target / "WoW.exe").string()), std::string::npos) << entry;
    click(g, 1066, 20);
    ASSERT_TRUE(testsupport::waitUntil([&] { return quellan.exitStatus().has_value(); }));
    EXPECT_EQ(quellan.exitStatus(), 0);
}

// The desktop at 200%: a window twice the size with its 2x images, driven
// by clicks at twice the 1x positions. Its own run with a 2560x1600 screen
// (tests/app/x11/CMakeLists.txt).
TEST_F(InstallerOnX, PlayerInstallsAtDoubleScale) {
    ScratchFolder dir;
    const fs::path home = dir / "home";
    fs::create_directories(home / "Desktop");
    fs::create_directories(dir / "tmp");
    const fs::path prefix = DemoPrefix();
    ASSERT_TRUE(fs::exists(prefix / "ready"));
    ChildProcess accelerator((prefix / "stand-in/wine64").string(),
                             {"C:\\Program Files\\Harrow\\harrowjiasu.exe", "infinity"},
                             {"WINEPREFIX=" + prefix.string()});
    WriteGameContent(dir / "content");
    devserver::DevServer server;
    devserver::Options options;
    options.contentDir = (dir / "content").string();
    std::string error;
    ASSERT_TRUE(server.Start(options, &error)) << error;

    const std::string title = "Quellan-x11-2x-" + std::to_string(::getpid());
    ChildProcess quellan(QUELLAN_BINARY_DIR "/quellan", {"quellan"},
                         {"QUELLAN_DISPLAY=sdl", "QUELLAN_SCALE=2", "QUELLAN_WINDOW_TITLE=" + title,
                          "HOME=" + home.string(), "TMPDIR=" + (dir / "tmp").string(),
                          "XDG_CONFIG_HOME=" + (home / ".config").string(),
                          "XDG_STATE_HOME=" + (dir / "state").string(), "WINEPREFIX=" + prefix.string(),
                          "QUELLAN_SERVICE_BASE=" + server.BaseUrl(), "QUELLAN_SERVICE_FALLBACK=" + server.BaseUrl()});
    ASSERT_TRUE(quellan.started());
    const std::string window = waitForWindow(title);
    ASSERT_FALSE(window.empty()) << "the installer's window did not appear";
    ASSERT_TRUE(testsupport::waitUntil([&] { return !server.RequestsTo("/Speed/Config/getConfig").empty(); }));
    const Geometry g = geometryOf(window);
    EXPECT_EQ(g.width, 2 * 1090);
    EXPECT_EQ(g.height, 2 * 644);
    // The start button's gold (from start@2x.png) where twice its 1x position
    // lies, once the first frame at this size has been painted.
    EXPECT_TRUE(testsupport::waitUntil([&] { return isGold(pixelAt(shot("2x-start"), g.x + 2 * 880, g.y + 2 * 563)); },
                                       std::chrono::seconds(20)));

    // Birch, a path typed into the field, start.
    click(g, 2 * 361, 2 * 412);
    const fs::path target = home / "scaled" / "Tolvar realms";
    click(g, 2 * 460, 2 * 483);
    run("xdotool key ctrl+a BackSpace");
    run("xdotool type --delay 20 '" + target.string() + "'");
    shot("2x-typed");
    click(g, 2 * 880, 2 * 563);
    std::string box;
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            box = run("xdotool search --onlyvisible --name '^Quellan$' 2>/dev/null | head -n 1");
            return !box.empty();
        },
        std::chrono::seconds(120)))
        << "no message box at the end of the pass";
    box = box.substr(0, box.find('\n'));
    // The message box takes its owner's scale and sits centred on it; the bar is full.
    const Geometry b = geometryOnceCentred(box, g);
    EXPECT_EQ(b.width, 2 * 440);
    EXPECT_EQ(b.height, 2 * 230);
    EXPECT_NEAR(b.x + b.width / 2, g.x + g.width / 2, 2);
    EXPECT_NEAR(b.y + b.height / 2, g.y + g.height / 2, 2);
    EXPECT_TRUE(testsupport::waitUntil(
        [&] { return isGold(pixelAt(shot("2x-complete"), g.x + 2 * 690, g.y + 2 * 584)); }, std::chrono::seconds(20)));

    click(b, b.width / 2, 2 * 191);
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return run("xdotool search --onlyvisible --name '^Quellan$' 2>/dev/null").empty(); }));
    EXPECT_TRUE(InstalledCompletely(dir / "content/birch", target));
    click(g, 2 * 1066, 2 * 20);
    ASSERT_TRUE(testsupport::waitUntil([&] { return quellan.exitStatus().has_value(); }));
    EXPECT_EQ(quellan.exitStatus(), 0);
}

} // namespace
} // namespace apptest
