// System information: adapter choice and format, version from a Wine prefix's
// ntdll.dll or the kernel, the processor signature against /proc/cpuinfo,
// the machine GUID, and the counters against /proc.
#include "util/SystemInfo.h"

#include "platform/system/Text.h"
#include "tests/support/PeFixture.h"
#include "tests/support/WinePrefix.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace {

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

AdapterAddress adapter(std::uint32_t index, std::vector<std::uint8_t> hw, bool loopback = false) {
    return {index, std::move(hw), loopback};
}

TEST(MacAddress, SmallestIndexWithSixByteAddressWins) {
    const std::vector<std::uint8_t> a = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    const std::vector<std::uint8_t> b = {0xAA, 0xBB, 0x0C, 0xDD, 0xEE, 0x0F};
    EXPECT_EQ(SelectMacAddress({adapter(12, a), adapter(7, b)}), "AA-BB-0C-DD-EE-0F");
    EXPECT_EQ(SelectMacAddress({adapter(7, b), adapter(12, a)}), "AA-BB-0C-DD-EE-0F");
    // Loopback (even with a 6-byte all-zero address, as Linux lists it) and
    // addresses of other lengths do not count.
    EXPECT_EQ(SelectMacAddress({adapter(1, {0, 0, 0, 0, 0, 0}, true), adapter(9, a)}), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(SelectMacAddress({adapter(2, {1, 2, 3, 4, 5, 6, 7, 8}), adapter(3, {}), adapter(9, a)}),
              "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(SelectMacAddress({adapter(1, {0, 0, 0, 0, 0, 0}, true)}), "");
    EXPECT_EQ(SelectMacAddress({}), "");
}

TEST(MacAddress, MachineAdapterMatchesSysfs) {
    // Independent reading of the same facts from /sys/class/net.
    std::map<std::uint32_t, std::string> expected;
    for (const auto& dev : std::filesystem::directory_iterator("/sys/class/net")) {
        const std::string type = readText(dev.path() / "type");
        const std::string address = readText(dev.path() / "address");
        if (std::stoi(type) == 772 || readText(dev.path() / "addr_len") != "6\n") continue;
        std::string upper;
        for (char c : address.substr(0, 17))
            upper += c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        expected[static_cast<std::uint32_t>(std::stoul(readText(dev.path() / "ifindex")))] = upper;
    }
    const std::string mac = GetMacAddress();
    if (expected.empty()) {
        EXPECT_EQ(mac, "");
    } else {
        EXPECT_EQ(mac, expected.begin()->second);
        EXPECT_TRUE(std::regex_match(mac, std::regex("([0-9A-F]{2}-){5}[0-9A-F]{2}"))) << mac;
    }
}

TEST(OsVersion, ComesFromNtdllInTheWinePrefix) {
    testsupport::TempWinePrefix wine;
    wine.write("drive_c/windows/system32/ntdll.dll",
               testsupport::makePe({true, std::array<std::uint16_t, 4>{10, 0, 19045, 3803}}));
    std::uint32_t major = 0, minor = 0;
    EXPECT_EQ(GetOsVersion(major, minor), 19045u);
    EXPECT_EQ(major, 10u);
    EXPECT_EQ(minor, 0u);
    EXPECT_TRUE(IsWindows8OrLater());

    wine.write("drive_c/windows/system32/ntdll.dll",
               testsupport::makePe({false, std::array<std::uint16_t, 4>{6, 1, 7601, 17514}}));
    EXPECT_EQ(GetOsVersion(major, minor), 7601u);
    EXPECT_EQ(major, 6u);
    EXPECT_EQ(minor, 1u);
    // What a prefix emulates for other programs is not the system we run on.
    EXPECT_TRUE(IsWindows8OrLater());
}

TEST(OsVersion, FallsBackToTheKernelVersionWithBuildZero) {
    testsupport::TempWinePrefix wine;
    // A library without a version resource counts as unreadable.
    wine.write("drive_c/windows/system32/ntdll.dll", testsupport::makePe());
    utsname u{};
    ASSERT_EQ(uname(&u), 0);
    unsigned expectedMajor = 0, expectedMinor = 0;
    std::sscanf(u.release, "%u.%u", &expectedMajor, &expectedMinor);
    std::uint32_t major = 99, minor = 99;
    EXPECT_EQ(GetOsVersion(major, minor), 0u);
    EXPECT_EQ(major, expectedMajor);
    EXPECT_EQ(minor, expectedMinor);
    // The native system counts as 8 or later whatever the kernel's release,
    // so the client identifier does not change with a kernel upgrade.
    EXPECT_TRUE(IsWindows8OrLater());
}

TEST(OsVersion, Windows8IsVersion6Point2) {
    EXPECT_TRUE(IsVersion8OrLater(10, 0));
    EXPECT_TRUE(IsVersion8OrLater(6, 3));
    EXPECT_TRUE(IsVersion8OrLater(6, 2));
    EXPECT_FALSE(IsVersion8OrLater(6, 1));
    EXPECT_FALSE(IsVersion8OrLater(5, 9));
}

#if defined(__x86_64__) || defined(__i386__)
TEST(CpuSignature, MatchesProcCpuinfo) {
    const std::string sig = GetCpuSignature();
    ASSERT_TRUE(std::regex_match(sig, std::regex("[0-9A-F]{16}"))) << sig;
    const unsigned long edx = std::stoul(sig.substr(0, 8), nullptr, 16);
    const unsigned long eax = std::stoul(sig.substr(8), nullptr, 16);

    std::map<std::string, std::string> info;
    std::istringstream cpuinfo(readText("/proc/cpuinfo"));
    for (std::string line; std::getline(cpuinfo, line) && !line.empty();) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon);
        key.erase(key.find_last_not_of(" \t") + 1);
        info[key] = colon + 2 <= line.size() ? line.substr(colon + 2) : "";
    }
    if (!info.count("cpu family") || !info.count("model") || !info.count("stepping"))
        GTEST_SKIP() << "/proc/cpuinfo lacks family, model or stepping";
    const unsigned family = (eax >> 8) & 0xF;
    const unsigned displayFamily = family == 0xF ? family + ((eax >> 20) & 0xFF) : family;
    const unsigned model = (eax >> 4) & 0xF;
    const unsigned displayModel = (family == 6 || family == 0xF) ? model + (((eax >> 16) & 0xF) << 4) : model;
    EXPECT_EQ(displayFamily, std::stoul(info["cpu family"]));
    EXPECT_EQ(displayModel, std::stoul(info["model"]));
    EXPECT_EQ(eax & 0xF, std::stoul(info["stepping"]));
    // EDX bit 0: an x87 unit, which every x86-64 processor reports.
    EXPECT_EQ(edx & 1, info["flags"].find("fpu") != std::string::npos ? 1u : 0u);
}
#endif

TEST(MachineGuid, ReadFromThe64BitViewOfAWinePrefix) {
    testsupport::TempWinePrefix wine;
    EXPECT_EQ(GetMachineGuid(), L"");
    wine.write("system.reg", "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
                             "[Software\\\\Microsoft\\\\Cryptography] 1600000000\n"
                             "\"MachineGuid\"=\"6b8e1f3c-0d2a-4c57-9e4b-71a2c5d8f093\"\n\n"
                             "[Software\\\\Wow6432Node\\\\Microsoft\\\\Cryptography] 1600000000\n");
    EXPECT_EQ(GetMachineGuid(), L"6b8e1f3c-0d2a-4c57-9e4b-71a2c5d8f093");
}

TEST(MachineCounters, MatchTheKernelsFigures) {
    const std::string hostname = readText("/proc/sys/kernel/hostname");
    EXPECT_EQ(GetComputerNameText(), platform::fromUtf8(hostname.substr(0, hostname.find_first_of(".\n"))));
    // Every processor the system has, online or not (the count must not move
    // when one goes offline).
    int configured = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/devices/system/cpu")) {
        const std::string name = entry.path().filename().string();
        configured += name.size() > 3 && name.rfind("cpu", 0) == 0 &&
                      name.find_first_not_of("0123456789", 3) == std::string::npos;
    }
    EXPECT_EQ(GetLogicalProcessorCount(), static_cast<std::uint32_t>(std::max(configured, 1)));
    std::istringstream meminfo(readText("/proc/meminfo"));
    std::string key;
    std::uint64_t kib = 0;
    meminfo >> key >> kib;
    ASSERT_EQ(key, "MemTotal:");
    EXPECT_EQ(GetTotalPhysicalMemory(), kib * 1024);
}

} // namespace
