// Pre-flight rules that need no Wine: who counts as the trusted signer, the
// login value's name, the message box seam, and the start checks on the
// program folder and the free space.
#include "app/MsgBox.h"
#include "app/Preflight.h"
#include "app/RunModes.h"
#include "app/StartChecks.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "tests/support/Immutable.h"
#include "tests/support/PeFixture.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SigningFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

namespace {

using testsupport::ScratchFolder;

// Certificates with the trusted subject and serials, and near misses; each
// signs a copy of a small PE file.
struct SignerCase {
    const char* file;
    const char* subject; // openssl -subj
    const char* serial;  // openssl -set_serial
    bool trusted;
};

const SignerCase kSigners[] = {
    {"first-serial.exe", "/O=Orsveld Org/CN=Orsveld网络科技有限公司", "0x7a31c9e04b82d6f15e0a93c47d28b6e1", true},
    {"second-serial.exe", "/CN=Orsveld网络科技有限公司", "0x5b9e02d7c4a18f63e0b71c2d", true},
    // Names compare without regard to letter case.
    {"upper-case-name.exe", "/CN=ORSVELD网络科技有限公司", "0x5B9E02D7C4A18F63E0B71C2D", true},
    {"wrong-serial.exe", "/CN=Orsveld网络科技有限公司", "0x7a31c9e04b82d6f15e0a93c47d28b6e2", false},
    {"serial-prefix.exe", "/CN=Orsveld网络科技有限公司", "0x5b9e02d7c4a18f63e0b71c", false},
    {"wrong-name.exe", "/CN=Orsveld网络科技", "0x7a31c9e04b82d6f15e0a93c47d28b6e1", false},
    // The display name is the common name: an organisation of that name
    // with another common name does not count.
    {"name-in-organisation.exe", "/O=Orsveld网络科技有限公司/CN=Someone", "0x7a31c9e04b82d6f15e0a93c47d28b6e1", false},
};

TEST(Preflight, TrustedSignerIsTheMakersNameWithEitherSerial) {
    ScratchFolder dir;
    testsupport::detail::writeBytes(dir / "plain.exe", testsupport::makePe());
    std::string error;
    for (const SignerCase& c : kSigners) {
        const std::string key = std::string(c.file) + ".key";
        const std::string pem = std::string(c.file) + ".pem";
        ASSERT_TRUE(testsupport::detail::sh(dir.path(),
                                            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                                            "-days 30 -utf8 -keyout " +
                                                key + " -out " + pem + " -subj '" + c.subject + "' -set_serial " +
                                                c.serial + " && osslsigncode sign -certs " + pem + " -key " + key +
                                                " -in plain.exe -out " + c.file,
                                            error))
            << error;
        EXPECT_EQ(IsTrustedSigner(platform::fromUtf8((dir / c.file).string())), c.trusted) << c.file;
    }
    EXPECT_FALSE(IsTrustedSigner(platform::fromUtf8((dir / "plain.exe").string()))); // unsigned
    EXPECT_FALSE(IsTrustedSigner(platform::fromUtf8((dir / "missing.exe").string())));
    EXPECT_FALSE(IsTrustedSigner(L""));
    // A signature by a chain whose leaf is someone else.
    const auto& signedFiles = testsupport::signedFiles();
    ASSERT_TRUE(signedFiles.error.empty()) << signedFiles.error;
    EXPECT_FALSE(IsTrustedSigner(platform::fromUtf8(signedFiles.leafA.string())));
    EXPECT_TRUE(IsTrustedSigner(platform::fromUtf8(signedFiles.trusted64.string())));
}

TEST(Preflight, LoginValueNameIsTheEncryptedDigestOfTheMachineGuid) {
    // Computed with the md5sum and openssl programs: the first 16 hex digits
    // of the digest, AES-128-ECB with the text key, base64.
    const struct {
        std::wstring_view guid;
        std::wstring_view name;
    } cases[] = {
        {L"09a74442-6899-43e4-9286-5d761168611d", L"++p6GbDgUjWwSUC41MQ8FCzEDuOkXscLk12Gc92My6w="},
        {L"7D2E41B0-9A3C-4F58-B6E1-0C9F3A7D2E55", L"9WJSFFAubshUI0EUe2zyOizEDuOkXscLk12Gc92My6w="},
        // No machine identifier: the digest of the empty text.
        {L"", L"/I42yElQp9E2uhHe5/3KmCzEDuOkXscLk12Gc92My6w="},
    };
    for (const auto& c : cases) EXPECT_EQ(LoginValueName(c.guid), c.name) << platform::toUtf8(c.guid);
}

TEST(Preflight, MessageBoxesGoThroughThePresenterOrCountAsClosed) {
    EXPECT_EQ(ShowMsgBox(nullptr, L"无人", kMsgBoxOkCancel, L"好的", L"取消"), kMsgBoxClosed);
    std::vector<MsgBoxRequest> seen;
    {
        ScopedMsgBoxPresenter outer([&](const MsgBoxRequest& r) {
            seen.push_back(r);
            return kMsgBoxCancelPressed;
        });
        {
            ScopedMsgBoxPresenter inner([](const MsgBoxRequest&) { return kMsgBoxOkPressed; });
            EXPECT_EQ(ShowMsgBox(nullptr, L"a", kMsgBoxOk, L"确定", L"取消"), kMsgBoxOkPressed);
        }
        EXPECT_EQ(ShowMsgBox(nullptr, L"请先登录Harrow加速器！", kMsgBoxOkCancel, L"好的", L"下载Harrow"),
                  kMsgBoxCancelPressed);
    }
    EXPECT_EQ(ShowMsgBox(nullptr, L"b", kMsgBoxOk, L"确定", L"取消"), kMsgBoxClosed);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"请先登录Harrow加速器！");
    EXPECT_EQ(seen[0].kind, kMsgBoxOkCancel);
    EXPECT_EQ(seen[0].okCaption, L"好的");
    EXPECT_EQ(seen[0].cancelCaption, L"下载Harrow");
}

TEST(StartChecks, FavoritesFolderWithEitherSeparator) {
    const struct {
        std::wstring_view dir;
        bool inFavorites;
    } cases[] = {
        {L"C:\\Users\\li\\Favorites\\tools\\", true},
        {L"/home/li/Favorites/tools/", true},
        {L"/home/li\\Favorites/", true}, // mixed separators
        {L"/home/li/Favorites", false},  // the program folder always ends in a separator
        {L"/home/li/favorites/", false}, // letter case counts
        {L"/home/li/MyFavorites/", false},
        {L"/home/li/Favorites2/", false},
        {L"/home/li/Favorites2/Favorites/", true},
        {L"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsInFavoritesFolder(c.dir), c.inFavorites) << platform::toUtf8(c.dir);
}

TEST(StartChecks, FreeSpaceMustExceedTenGiBOnTheNearestExistingFolder) {
    EXPECT_FALSE(IsEnoughFreeSpace(10ULL << 30));
    EXPECT_TRUE(IsEnoughFreeSpace((10ULL << 30) + 1));

    // A folder that does not exist yet is measured on its nearest ancestor:
    // the same answer as for that ancestor.
    ScratchFolder dir;
    const std::wstring existing = platform::fromUtf8(dir.path().string());
    const auto available = platform::freeDiskSpace(existing);
    ASSERT_TRUE(available);
    const std::wstring future = existing + L"/Games/Tolvar-birch/";
    EXPECT_EQ(HasRoomForInstallation(future), IsEnoughFreeSpace(*available));
    EXPECT_EQ(HasRoomForInstallation(existing), IsEnoughFreeSpace(*available));
    EXPECT_FALSE(HasRoomForInstallation(L""));
}

// Paths typed the way a Linux user types them end up below the home folder.
TEST(StartChecks, TypedPathsAreTakenFromTheHomeFolder) {
    const char* old = std::getenv("HOME");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    const struct {
        const char* home;
        std::wstring_view typed, used;
    } cases[] = {
        {"/home/li", L"~", L"/home/li"},
        {"/home/li", L"~/", L"/home/li/"},
        {"/home/li/", L"~/Games/x", L"/home/li/Games/x"},
        {"/home/li", L"Games/x/", L"/home/li/Games/x/"},
        {"/home/li", L"~other/x", L"/home/li/~other/x"}, // only "~" alone names a home folder
        {"/home/li", L"/srv/games", L"/srv/games"},
        {"/home/li", L"", L""},
        {"/", L"~/x", L"/x"},
    };
    for (const auto& c : cases) {
        setenv("HOME", c.home, 1);
        EXPECT_EQ(platform::toUtf8(ResolveTypedPath(c.typed)), platform::toUtf8(c.used))
            << c.home << " " << platform::toUtf8(c.typed);
    }
    if (saved)
        setenv("HOME", saved->c_str(), 1);
    else
        unsetenv("HOME");
}

// The installation folder is made with its parents and must take a file;
// the probe leaves nothing behind.
TEST(StartChecks, InstallFolderIsCreatedAndMustBeWritable) {
    ScratchFolder dir;
    const std::filesystem::path made = dir / "a/b/Tolvar-birch";
    EXPECT_TRUE(PrepareInstallFolder(platform::fromUtf8(made.string()) + L"/"));
    EXPECT_TRUE(std::filesystem::is_directory(made));
    EXPECT_TRUE(std::filesystem::is_empty(made));
    EXPECT_TRUE(PrepareInstallFolder(platform::fromUtf8(made.string()))); // existing: fine

    testsupport::writeBytes(dir / "file", "x");
    EXPECT_FALSE(PrepareInstallFolder(platform::fromUtf8((dir / "file/game").string())));
    EXPECT_FALSE(PrepareInstallFolder(platform::fromUtf8((dir / "file").string())));
    EXPECT_FALSE(PrepareInstallFolder(L""));

    // A folder that exists but takes no file (root passes the mode bits, so
    // the immutable attribute stands in for a read-only folder).
    std::filesystem::create_directories(dir / "locked");
    testsupport::ScopedImmutable locked(dir / "locked");
    if (!locked.active()) GTEST_SKIP() << "no immutable folders on this file system";
    EXPECT_FALSE(PrepareInstallFolder(platform::fromUtf8((dir / "locked").string())));
    EXPECT_FALSE(PrepareInstallFolder(platform::fromUtf8((dir / "locked/game").string())));
}

// The self-update's precheck: the program file and its folder must both be
// writable.
TEST(StartChecks, ProgramFileMustBeReplaceable) {
    ScratchFolder dir;
    const std::filesystem::path program = dir / "bin/quellan";
    testsupport::writeBytes(program, "program");
    const std::wstring path = platform::fromUtf8(program.string());
    EXPECT_EQ(ProgramReplaceProblem(path), std::nullopt);
    EXPECT_NE(ProgramReplaceProblem(platform::fromUtf8((dir / "bin/absent").string())), std::nullopt);
    EXPECT_NE(ProgramReplaceProblem(L""), std::nullopt);
    {
        testsupport::ScopedImmutable file(program);
        if (!file.active()) GTEST_SKIP() << "no immutable files on this file system";
        const auto problem = ProgramReplaceProblem(path);
        ASSERT_NE(problem, std::nullopt);
        EXPECT_NE(problem->find(path), std::wstring::npos) << "the reason names the file";
    }
    testsupport::ScopedImmutable folder(dir / "bin");
    ASSERT_TRUE(folder.active());
    EXPECT_NE(ProgramReplaceProblem(path), std::nullopt);
}

} // namespace

namespace {

// The demo's prefix (scripts/make-demo-prefix.sh), prepared by hand with the
// stand-in process, and made by Wine where Wine is installed: every check
// holds and nothing is asked.
TEST(Preflight, DemoPrefixSatisfiesEveryCheck) {
    const std::string script = std::string(QUELLAN_SOURCE_DIR) + "/scripts/make-demo-prefix.sh";
    const bool withWine = std::system("test -x /usr/lib/wine/wine64 || command -v wine64 >/dev/null") == 0;
    for (const char* mode : {"QUELLAN_DEMO_NO_WINE=1", ""}) {
        if (!*mode && !withWine) continue;
        SCOPED_TRACE(*mode ? "prepared prefix" : "Wine prefix");
        ScratchFolder dir;
        const auto prefix = dir / "prefix";
        ASSERT_EQ(std::system(
                      (std::string(mode) + " bash '" + script + "' '" + prefix.string() + "' >/dev/null 2>&1").c_str()),
                  0);
        struct Stop {
            std::string command;
            ~Stop() { (void)std::system(command.c_str()); }
        } stop{"bash '" + script + "' --stop '" + prefix.string() + "'"};

        const char* old = std::getenv("WINEPREFIX");
        const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("WINEPREFIX", prefix.c_str(), 1);
        std::vector<MsgBoxRequest> asked;
        {
            ScopedMsgBoxPresenter user([&](const MsgBoxRequest& r) {
                asked.push_back(r);
                return kMsgBoxClosed;
            });
            // The program starts in the background: wait until it is listed.
            const std::wstring expected =
                platform::fromUtf8((prefix / "drive_c/Program Files/Harrow/harrowjiasu.exe").string());
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
            while (FindAcceleratorProcess(kAcceleratorProducts[0]) != expected &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_EQ(FindAcceleratorProcess(kAcceleratorProducts[0]), expected);
            EXPECT_TRUE(RequireAccelerator(nullptr));
        }
        if (saved)
            setenv("WINEPREFIX", saved->c_str(), 1);
        else
            unsetenv("WINEPREFIX");
        EXPECT_TRUE(asked.empty());
    }
}

} // namespace
