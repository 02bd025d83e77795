// The process list with real Windows programs under the Wine loader: however
// a program was started, it is listed under its Windows name with the Linux
// path of its .exe, and that file's signer can be read.
#include "platform/signature/Signature.h"
#include "platform/system/Process.h"
#include "platform/system/Text.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SigningFixture.h"
#include "tests/support/WineRuntime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::optional<platform::ProcessEntry> waitForListing(pid_t pid, const std::wstring& path) {
    // Bounds a broken run only: Wine starts slowly on a loaded machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::optional<platform::ProcessEntry> last;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const auto list = platform::listProcesses())
            for (const auto& p : *list)
                if (p.pid == pid) last = p;
        if (last && last->imagePath == path) return last;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return last;
}

TEST(WineProcesses, EveryWayOfStartingGivesTheNameAndLinuxPath) {
    const auto& base = testsupport::wineBase(QUELLAN_BINARY_DIR);
    if (!base.error.empty()) GTEST_SKIP() << base.error;
    const auto& certs = testsupport::signedFiles();
    ASSERT_TRUE(certs.error.empty()) << certs.error;
    testsupport::WineTestPrefix prefix(base);

    // The maker's test certificate signs the program in the prefix; a copy
    // outside any prefix stays unsigned.
    const fs::path inPrefix = prefix.installProgram("probe/wineprobe.exe");
    std::string error;
    ASSERT_TRUE(testsupport::detail::sh(certs.dir,
                                        "osslsigncode sign -certs t.pem -key t.key -in '" + inPrefix.string() +
                                            "' -out s.exe && mv s.exe '" + inPrefix.string() + "'",
                                        error))
        << error;
    testsupport::ScratchFolder outside;
    const fs::path unixCopy = outside / "wineprobe.exe";
    fs::copy_file(base.sleeper, unixCopy);

    const struct {
        const char* how;
        std::vector<std::string> argv;
        std::string cwd;
        fs::path image;
        bool signedByMaker;
    } cases[] = {
        {"Windows path", {"C:\\probe\\wineprobe.exe"}, "/", inPrefix, true},
        {"from its folder", {"wineprobe.exe"}, inPrefix.parent_path().string(), inPrefix, true},
        {"relative with backslash", {"probe\\wineprobe.exe", "-x"}, prefix.driveC().string(), inPrefix, true},
        {"Unix path", {unixCopy.string()}, "/", unixCopy, false},
    };
    for (const auto& c : cases) {
        const pid_t pid = prefix.start(c.argv, c.cwd);
        ASSERT_TRUE(prefix.waitForProgram(pid)) << c.how << "\n" << prefix.log();
        const auto entry = waitForListing(pid, platform::fromUtf8(c.image.string()));
        ASSERT_TRUE(entry) << c.how << "\n" << prefix.log();
        EXPECT_EQ(entry->exeName, L"wineprobe.exe") << c.how;
        EXPECT_EQ(entry->imagePath, platform::fromUtf8(c.image.string())) << c.how;
        EXPECT_EQ(platform::processImagePath(pid), entry->imagePath) << c.how;

        const auto signer = platform::readSigner(platform::toUtf8(entry->imagePath));
        EXPECT_EQ(signer.has_value(), c.signedByMaker) << c.how;
        if (signer && c.signedByMaker) {
            EXPECT_EQ(signer->name, L"Orsveld网络科技有限公司");
            EXPECT_EQ(signer->serial, L"7A31C9E04B82D6F15E0A93C47D28B6E1");
        }
        prefix.stop(pid);
    }
}

} // namespace
