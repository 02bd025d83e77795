// Facts about the machine for the client identifier and the machine-bound
// registry value: network adapter address, system version, processor
// signature, machine GUID, host name, processor count, memory. Nothing here
// changes the system; failures give an empty text or a fallback. Re-entrant.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One network interface as the system lists it.
struct AdapterAddress {
    std::uint32_t index = 0;            // interface index
    std::vector<std::uint8_t> hardware; // hardware address (6 bytes for Ethernet and Wi-Fi)
    bool loopback = false;
};

// The system's network interfaces with their hardware addresses.
std::vector<AdapterAddress> ListAdapters();

// The address of the adapter with the smallest index among those with a
// 6-byte hardware address (loopback excluded, up or down alike), as
// "%02X-%02X-%02X-%02X-%02X-%02X"; empty when none qualifies.
std::string SelectMacAddress(const std::vector<AdapterAddress>& adapters);

// SelectMacAddress over this machine's adapters.
std::string GetMacAddress();

// The system version: the file version of ntdll.dll in the Wine prefix's
// windows/system32 folder when it can be read, else the kernel's version
// (uname) with build 0. Returns the build; major and minor go to the outs.
std::uint32_t GetOsVersion(std::uint32_t& major, std::uint32_t& minor);

// True for version 6.2 (Windows 8) or later.
bool IsVersion8OrLater(std::uint32_t major, std::uint32_t minor);
// Always true here: the program runs natively, on a current system, not
// under the Windows that a Wine prefix emulates for other programs. The
// client identifier depends on this answer, so it must not follow the
// kernel's release (or a prefix's settings) from one run to the next.
bool IsWindows8OrLater();

// Processor identification leaf 1 as "%08X%08X": EDX, then EAX (the
// signature). Empty on processors without that instruction.
std::string GetCpuSignature();

// Value "MachineGuid" of HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Cryptography;
// empty when absent.
std::wstring GetMachineGuid();

// The computer's name: the host name up to its first dot.
std::wstring GetComputerNameText();

// Number of logical processors the system has configured (at least 1):
// the count does not change when processors go on- or offline, so the
// client identifier built from it stays the same.
std::uint32_t GetLogicalProcessorCount();

// Total physical memory in bytes (0 when unknown).
std::uint64_t GetTotalPhysicalMemory();
