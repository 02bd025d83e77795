// Desktop folder lookup and the launcher entry written for the game.
#include "platform/system/Desktop.h"
#include "platform/system/Text.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A private HOME and XDG_CONFIG_HOME for the duration of a test.
class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("quellan-desktop-" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "home" / ".config");
        saveEnv("HOME");
        saveEnv("XDG_CONFIG_HOME");
        saveEnv("XDG_DESKTOP_DIR");
        saveEnv("XDG_DATA_HOME");
        ::setenv("HOME", (m_root / "home").c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_DESKTOP_DIR");
        ::unsetenv("XDG_DATA_HOME");
    }
    void TearDown() override {
        for (auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        fs::remove_all(m_root);
    }
    void saveEnv(const char* name) {
        const char* v = std::getenv(name);
        m_saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    }
    void writeUserDirs(const fs::path& configHome, const std::string& text) {
        fs::create_directories(configHome);
        std::ofstream(configHome / "user-dirs.dirs") << text;
    }
    std::string home() const { return (m_root / "home").string(); }

    fs::path m_root;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(DesktopTest, FolderFollowsUserDirsThenEnvironmentThenFallback) {
    EXPECT_EQ(platform::desktopFolder(), platform::fromUtf8(home() + "/Desktop"));

    ::setenv("XDG_DESKTOP_DIR", "/srv/desk/", 1);
    EXPECT_EQ(platform::desktopFolder(), L"/srv/desk");

    writeUserDirs(home() + "/.config", "# written by xdg-user-dirs-update\n"
                                       "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                                       "XDG_DESKTOP_DIR=\"$HOME/Old\"\n"
                                       "XDG_DESKTOP_DIR=\"$HOME/桌面 \\\"x\\\"\"\n");
    EXPECT_EQ(platform::desktopFolder(), platform::fromUtf8(home() + "/桌面 \"x\""));

    const fs::path other = m_root / "cfg";
    writeUserDirs(other, "XDG_DESKTOP_DIR=\"/abs/Desk\"\n");
    ::setenv("XDG_CONFIG_HOME", other.c_str(), 1);
    EXPECT_EQ(platform::desktopFolder(), L"/abs/Desk");

    // A value that is neither absolute nor under $HOME is not a folder.
    writeUserDirs(other, "XDG_DESKTOP_DIR=\"relative/Desk\"\n");
    EXPECT_EQ(platform::desktopFolder(), L"/srv/desk");
}

TEST_F(DesktopTest, ExecQuotingSurvivesAwkwardPaths) {
    EXPECT_EQ(platform::desktopExecLine(L"/g/Tolvar-birch/WoW.exe"), "wine \"/g/Tolvar-birch/WoW.exe\"");
    EXPECT_EQ(platform::desktopExecLine(L"/g/a b/100%/x\"y$z`w\\v.exe"),
              "wine \"/g/a b/100%%/x\\\\\"y\\\\$z\\\\`w\\\\\\\\v.exe\"");
}

TEST_F(DesktopTest, ShortcutReplacesOldEntryAndIsExecutable) {
    const fs::path desktop = m_root / "home" / "Desktop";
    fs::create_directories(desktop);
    const fs::path link = desktop / "Tolvar Realms.desktop";
    std::ofstream(link) << "old entry\n";

    const std::string install = (m_root / "游戏 dir" / "Tolvar-birch").string() + "/";
    ASSERT_TRUE(platform::createDesktopShortcut(platform::fromUtf8(install), L"WoW.exe"));

    std::stringstream text;
    text << std::ifstream(link).rdbuf();
    const std::string folder = install.substr(0, install.size() - 1);
    EXPECT_EQ(text.str(), "[Desktop Entry]\nType=Application\nVersion=1.0\nName=Tolvar Realms\n"
                          "Exec=wine \"" +
                              install + "WoW.exe\"\nPath=" + folder + "\nTerminal=false\n");
    struct stat st {};
    ASSERT_EQ(::stat(link.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    // Without the final separator the target still gets one.
    ASSERT_TRUE(platform::createDesktopShortcut(platform::fromUtf8(folder), L"Wow.exe"));
    text.str({});
    text << std::ifstream(link).rdbuf();
    EXPECT_NE(text.str().find("Exec=wine \"" + folder + "/Wow.exe\"\n"), std::string::npos);
}

TEST_F(DesktopTest, OlderEntriesLeaveEveryUserDesktopFolder) {
    // The desktop folder was localised after an earlier installation wrote
    // its entry into ~/Desktop: both old entries go, the new one is written
    // into the current folder only.
    const fs::path classic = m_root / "home" / "Desktop";
    const fs::path current = m_root / "home" / "桌面";
    fs::create_directories(classic);
    fs::create_directories(current);
    writeUserDirs(home() + "/.config", "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
    std::ofstream(classic / "Tolvar Realms.desktop") << "old\n";
    std::ofstream(current / "Tolvar Realms.desktop") << "old\n";
    std::ofstream(classic / "Other.desktop") << "keep\n";

    ASSERT_TRUE(platform::createDesktopShortcut(L"/g/Tolvar-birch/", L"WoW.exe"));
    EXPECT_FALSE(fs::exists(classic / "Tolvar Realms.desktop"));
    EXPECT_TRUE(fs::exists(current / "Tolvar Realms.desktop"));
    EXPECT_TRUE(fs::exists(classic / "Other.desktop"));

    // A folder of that name is not an entry and stays; when the new entry
    // cannot be written (the folder is in its way) the old ones are gone all
    // the same, as the result says.
    fs::remove(current / "Tolvar Realms.desktop");
    fs::create_directories(current / "Tolvar Realms.desktop" / "inside");
    std::ofstream(classic / "Tolvar Realms.desktop") << "old\n";
    EXPECT_FALSE(platform::createDesktopShortcut(L"/g/Tolvar-birch/", L"WoW.exe"));
    EXPECT_TRUE(fs::exists(current / "Tolvar Realms.desktop" / "inside"));
    EXPECT_FALSE(fs::exists(classic / "Tolvar Realms.desktop"));
}

// Where desktops do not show the desktop folder, the menu has the game: the
// same entry, with the icon when there is one, replacing an older one.
TEST_F(DesktopTest, MenuEntryBesideTheDesktopEntry) {
    fs::create_directories(m_root / "home" / "Desktop");
    const fs::path menu = m_root / "home/.local/share/applications/tolvar-realms.desktop";
    auto read = [](const fs::path& p) {
        std::stringstream text;
        text << std::ifstream(p).rdbuf();
        return text.str();
    };
    ASSERT_TRUE(platform::createDesktopShortcut(L"/g/Tolvar-birch/", L"WoW.exe", L"tolvar-realms"));
    const std::string entry = read(m_root / "home/Desktop/Tolvar Realms.desktop");
    EXPECT_EQ(entry, "[Desktop Entry]\nType=Application\nVersion=1.0\nName=Tolvar Realms\n"
                     "Exec=wine \"/g/Tolvar-birch/WoW.exe\"\nPath=/g/Tolvar-birch\nTerminal=false\n"
                     "Icon=tolvar-realms\n");
    EXPECT_EQ(read(menu), entry);

    // Without an icon: no Icon line; the older menu entry is replaced.
    ASSERT_TRUE(platform::createDesktopShortcut(L"/g/Tolvar-elm/", L"Wow.exe"));
    EXPECT_EQ(read(menu).find("Icon="), std::string::npos) << read(menu);
    EXPECT_NE(read(menu).find("Tolvar-elm/Wow.exe"), std::string::npos);

    // XDG_DATA_HOME names the data folder (a relative value does not count).
    ::setenv("XDG_DATA_HOME", (m_root / "data").c_str(), 1);
    EXPECT_EQ(platform::dataHomeFolder(), platform::fromUtf8((m_root / "data").string()));
    ASSERT_TRUE(platform::createDesktopShortcut(L"/g/Tolvar-elm/", L"Wow.exe"));
    EXPECT_TRUE(fs::exists(m_root / "data/applications/tolvar-realms.desktop"));
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(platform::dataHomeFolder(), platform::fromUtf8(home() + "/.local/share"));
}

TEST_F(DesktopTest, MissingDesktopFolderFailsWithoutCreatingIt) {
    EXPECT_FALSE(platform::createDesktopShortcut(L"/g/Tolvar-elm/", L"Wow.exe"));
    EXPECT_FALSE(fs::exists(m_root / "home" / "Desktop"));
    // The menu has the game all the same.
    EXPECT_TRUE(fs::exists(m_root / "home/.local/share/applications/tolvar-realms.desktop"));
}

} // namespace
