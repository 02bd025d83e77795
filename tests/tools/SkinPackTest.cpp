// The skin packer end to end: archives it writes open with Debian's unzip and
// the right password only, and entries encrypted by Info-ZIP's zip decrypt
// with our routine when read raw through minizip (the skin reader's path).
#include "tests/TestSupport.h"
#include "util/ZipCrypto.h"

#include <gtest/gtest.h>
#include <unzip.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
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

std::optional<std::vector<std::uint8_t>> inflateRaw(const std::vector<std::uint8_t>& in, std::size_t size) {
    std::vector<std::uint8_t> out(size);
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return std::nullopt;
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    const bool ok = rc == Z_STREAM_END && zs.total_out == size;
    inflateEnd(&zs);
    return ok ? std::optional(out) : std::nullopt;
}

// Reads every entry of an encrypted archive the way the skin reader does:
// raw through minizip, decrypted here, inflated, CRC-checked. A failed entry
// maps to nullopt.
std::map<std::string, std::optional<std::vector<std::uint8_t>>> readEncrypted(const fs::path& zip,
                                                                              const std::string& password) {
    std::map<std::string, std::optional<std::vector<std::uint8_t>>> entries;
    unzFile uf = unzOpen64(zip.c_str());
    if (!uf) return entries;
    for (int rc = unzGoToFirstFile(uf); rc == UNZ_OK; rc = unzGoToNextFile(uf)) {
        unz_file_info64 info{};
        char name[512] = {};
        if (unzGetCurrentFileInfo64(uf, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        auto& slot = entries[name];
        int method = 0, level = 0;
        if (!(info.flag & zipcrypto::kFlagEncrypted) || unzOpenCurrentFile2(uf, &method, &level, /*raw=*/1) != UNZ_OK)
            continue;
        std::vector<std::uint8_t> raw(info.compressed_size);
        const int got = unzReadCurrentFile(uf, raw.data(), static_cast<unsigned>(raw.size()));
        unzCloseCurrentFile(uf);
        if (got != static_cast<int>(raw.size())) continue;
        const auto check =
            zipcrypto::checkByteFor(static_cast<std::uint16_t>(info.flag), static_cast<std::uint32_t>(info.crc),
                                    static_cast<std::uint32_t>(info.dosDate));
        auto plain = zipcrypto::decryptEntry(raw, password, check);
        if (!plain) continue;
        std::optional<std::vector<std::uint8_t>> data;
        if (method == Z_DEFLATED)
            data = inflateRaw(*plain, info.uncompressed_size);
        else if (method == 0 && plain->size() == info.uncompressed_size)
            data = std::move(plain);
        if (data && zipcrypto::crc32(*data) == info.crc) slot = std::move(data);
    }
    unzClose(uf);
    return entries;
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

TEST(SkinPack, ArchiveReadsBackThroughMinizipRaw) {
    TempDir tmp;
    const auto files = makeSkin(tmp.path() / "skin");
    const fs::path zip = tmp.path() / "skin.zip";
    ASSERT_EQ(run(std::string(QUELLAN_SKINPACK) + " " + quote(tmp.path() / "skin") + " " + quote(zip)), 0);

    const auto entries = readEncrypted(zip, kPassword);
    ASSERT_EQ(entries.size(), files.size());
    for (const auto& [name, data] : files) {
        ASSERT_TRUE(entries.count(name)) << name;
        ASSERT_TRUE(entries.at(name).has_value()) << name;
        EXPECT_EQ(*entries.at(name), data) << name;
    }
    for (const auto& [name, data] : readEncrypted(zip, "wrong")) EXPECT_FALSE(data.has_value()) << name;
}

TEST(SkinPack, EntriesEncryptedByInfoZipDecryptWithOurRoutine) {
    // zip -P writes entries with a data descriptor, so the check byte is the
    // DOS time's high byte: the other half of the reader's rule.
    TempDir tmp;
    const auto files = makeSkin(tmp.path() / "skin");
    const fs::path zip = tmp.path() / "infozip.zip";
    ASSERT_EQ(run("cd " + quote(tmp.path() / "skin") + " && zip -q -r -P " + kPassword + " " + quote(zip) + " ."), 0);

    const auto entries = readEncrypted(zip, kPassword);
    for (const auto& [name, data] : files) {
        ASSERT_TRUE(entries.count(name)) << name;
        ASSERT_TRUE(entries.at(name).has_value()) << name;
        EXPECT_EQ(*entries.at(name), data) << name;
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
