// Machine facts from Linux: getifaddrs, uname, CPUID, sysinfo, and the Wine
// prefix for what only exists there (ntdll.dll, the machine GUID).
#include "util/SystemInfo.h"

#include "platform/signature/PeFile.h"
#include "platform/registry/Registry.h"
#include "platform/system/Text.h"
#include "util/RegistryHelpers.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

std::vector<AdapterAddress> ListAdapters() {
    std::vector<AdapterAddress> adapters;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return adapters;
    for (const ifaddrs* it = list; it; it = it->ifa_next) {
        // The link-layer entry of each interface carries its hardware address.
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_PACKET) continue;
        const auto* ll = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
        AdapterAddress a;
        a.index = static_cast<std::uint32_t>(ll->sll_ifindex);
        const std::size_t length = std::min<std::size_t>(ll->sll_halen, sizeof ll->sll_addr);
        a.hardware.assign(ll->sll_addr, ll->sll_addr + length);
        a.loopback = (it->ifa_flags & IFF_LOOPBACK) || ll->sll_hatype == ARPHRD_LOOPBACK;
        adapters.push_back(std::move(a));
    }
    freeifaddrs(list);
    return adapters;
}

std::string SelectMacAddress(const std::vector<AdapterAddress>& adapters) {
    const AdapterAddress* best = nullptr;
    for (const auto& a : adapters) {
        if (a.loopback || a.hardware.size() != 6) continue;
        if (!best || a.index < best->index) best = &a;
    }
    if (!best) return {};
    char text[18];
    const auto& h = best->hardware;
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", h[0], h[1], h[2], h[3], h[4], h[5]);
    return text;
}

std::string GetMacAddress() { return SelectMacAddress(ListAdapters()); }

std::uint32_t GetOsVersion(std::uint32_t& major, std::uint32_t& minor) {
    const std::string prefix = platform::winePrefix();
    if (!prefix.empty()) {
        if (auto v = platform::pe::readFileVersionOfFile(prefix + "/drive_c/windows/system32/ntdll.dll")) {
            major = v->major;
            minor = v->minor;
            return v->build;
        }
    }
    major = 0;
    minor = 0;
    utsname u{};
    if (uname(&u) == 0) {
        unsigned ma = 0, mi = 0;
        if (std::sscanf(u.release, "%u.%u", &ma, &mi) >= 1) {
            major = ma;
            minor = mi;
        }
    }
    return 0;
}

bool IsVersion8OrLater(std::uint32_t major, std::uint32_t minor) { return major > 6 || (major == 6 && minor >= 2); }

bool IsWindows8OrLater() { return true; }

std::string GetCpuSignature() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid_count(1, 0, &eax, &ebx, &ecx, &edx)) return {};
    char text[17];
    std::snprintf(text, sizeof text, "%08X%08X", edx, eax);
    return text;
#else
    return {};
#endif
}

std::wstring GetMachineGuid() {
    std::wstring guid;
    if (!RegReadValue(platform::RegistryRoot::LocalMachine, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                      platform::kRegSz, guid))
        return {}; // no Wine prefix, or no such value
    return guid;
}

std::wstring GetComputerNameText() {
    char name[512] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    std::string text = name;
    text = text.substr(0, text.find('.'));
    return platform::fromUtf8(text);
}

std::uint32_t GetLogicalProcessorCount() {
    const long n = sysconf(_SC_NPROCESSORS_CONF);
    return n > 0 ? static_cast<std::uint32_t>(n) : 1;
}

std::uint64_t GetTotalPhysicalMemory() {
    struct sysinfo info {};
    if (sysinfo(&info) != 0) return 0;
    return static_cast<std::uint64_t>(info.totalram) * info.mem_unit;
}
