// The skin packer end to end: archives it writes open with Debian's unzip and
// the right password only; bad input leaves no archive. (The skin reader
// itself reads archives of both packers in tests/ui/render.)
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kPassword = "kvtp5184@";

using TempDir = testsupport::ScratchFolder;

std::string quote(const fs::path& p) {
    std::string out = "'";
    for (char c : p.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

int run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& data) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> text(std::string_view s) { return {s.begin(), s.end()}; }

// Relative "/"-separated names of all regular files under root, with contents.
std::map<std::string, std::vector<std::uint8_t>> tree(const fs::path& root) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[e.path().lexically_relative(root).generic_string()] = readFile(e.path());
    return files;
}

// A skin folder with the kinds of files a skin holds: markup, binary images
// that do not compress, a large compressible file, an empty file, nested
// folders and a non-ASCII name.
std::map<std::string, std::vector<std::uint8_t>> makeSkin(const fs::path& root) {
    std::mt19937 gen(1234);
    std::vector<std::uint8_t> noise(5000);
    for (auto& b : noise) b = static_cast<std::uint8_t>(gen());
    std::string big;
    for (int i = 0; i < 5000; ++i) big += "<Button name=\"b" + std::to_string(i) + "\" text=\"按钮\"/>\n";
    const std::map<std::string, std::vector<std::uint8_t>> files = {
        {"main.xml", text("<?xml version=\"1.0\" encoding=\"utf-8\"?><Window size=\"10,10\"/>")},
        {"img/bg.png", noise},
        {"img/buttons/start.png", std::vector<std::uint8_t>(noise.begin(), noise.begin() + 100)},
        {"big.xml", text(big)},
        {"empty.txt", {}},
        {"字体/说明.txt", text("中文说明")},
    };
    for (const auto& [name, data] : files) writeFile(root / name, data);
    return files;
}

TEST(SkinPack, ArchiveExtractsWithUnzipByteIdenticalAndOnlyWithThePassword) {
    TempDir tmp;
    ASSERT_FALSE(tmp.path().empty());
    const auto files = makeSkin(tmp.path() / "skin");
    const fs::path zip = tmp.path() / "skin.zip";
    ASSERT_EQ(run(std::string(QUELLAN_SKINPACK) + " " + quote(tmp.path() / "skin") + " " + quote(zip)), 0);
    EXPECT_FALSE(fs::exists(zip.string() + ".tmp"));

    const fs::path out = tmp.path() / "out";
    ASSERT_EQ(run("unzip -P " + std::string(kPassword) + " -d " + quote(out) + " " + quote(zip)), 0);
    EXPECT_EQ(tree(out), files);

    const fs::path wrong = tmp.path() / "wrong";
    EXPECT_NE(run("unzip -P kvtp5184 -d " + quote(wrong) + " " + quote(zip)), 0);
    if (fs::exists(wrong)) {
        for (const auto& [name, data] : tree(wrong))
            EXPECT_NE(data, files.at(name)) << name << " came out with a wrong password";
    }
}

TEST(SkinPack, BuiltSkinArchiveHoldsTheSkinFolder) {
    TempDir tmp;
    const fs::path out = tmp.path() / "out";
    ASSERT_EQ(run("unzip -P " + std::string(kPassword) + " -d " + quote(out) + " " + quote(QUELLAN_SKIN_ZIP)), 0);
    const auto packed = tree(out);
    EXPECT_EQ(packed, tree(fs::path(QUELLAN_SOURCE_DIR) / "app/skin"));
    EXPECT_TRUE(packed.count("main.xml"));
    EXPECT_TRUE(packed.count("msgbox.xml"));
}

TEST(SkinPack, FailsWithoutLeavingAnArchiveForBadInput) {
    TempDir tmp;
    const fs::path zip = tmp.path() / "skin.zip";
    fs::create_directories(tmp.path() / "empty");
    EXPECT_NE(run(std::string(QUELLAN_SKINPACK) + " " + quote(tmp.path() / "empty") + " " + quote(zip)), 0);
    EXPECT_NE(run(std::string(QUELLAN_SKINPACK) + " " + quote(tmp.path() / "missing") + " " + quote(zip)), 0);
    EXPECT_NE(run(std::string(QUELLAN_SKINPACK) + " " + quote(tmp.path() / "empty")), 0);
    EXPECT_FALSE(fs::exists(zip));
    EXPECT_FALSE(fs::exists(zip.string() + ".tmp"));
}

} // namespace
