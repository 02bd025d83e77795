// The checks the start button runs before an installation: a warning about
// known antivirus products, and the requirement that one of the maker's three
// network accelerators is installed, running, signed by the maker and logged
// in. The products live in the Wine prefix (registry, processes, files).
//
// The checks read the registry, the process list and files; they never
// report a system error to the user: anything that cannot be read counts as
// "not present". ConfirmAntivirus and RequireAccelerator show message boxes
// and run on the UI thread; the other functions are re-entrant.
#pragma once

#include "platform/window/Window.h"

#include <array>
#include <string>
#include <string_view>

// One accelerator product, with everything the checks look at.
struct AcceleratorProduct {
    std::wstring_view name;            // "Harrow"
    std::wstring_view uninstallKey;    // under HKEY_LOCAL_MACHINE; value "UninstallString"
    std::wstring_view processName;     // executable file name, compared without regard to case
    std::wstring_view loginKey;        // under HKEY_CURRENT_USER; holds the login value
    std::wstring_view promptText;      // shown when the product does not satisfy the checks
    std::wstring_view downloadCaption; // the prompt's cancel button, which opens the download page
    std::wstring_view downloadPage;    // HTTPS address of the product's download page
};

// In the order the products are tried; the first is also the one offered
// when none is installed.
extern const std::array<AcceleratorProduct, 3> kAcceleratorProducts;

// The OK caption of every product prompt.
inline constexpr std::wstring_view kAcceleratorPromptOk = L"好的";

// The maker's signing certificate: this subject name with either serial.
inline constexpr std::wstring_view kTrustedSignerName = L"Orsveld网络科技有限公司";
inline constexpr std::array<std::wstring_view, 2> kTrustedSignerSerials{L"7a31c9e04b82d6f15e0a93c47d28b6e1",
                                                                        L"5b9e02d7c4a18f63e0b71c2d"};

// A known antivirus product: its process name and the warning shown for it.
struct AntivirusProduct {
    std::wstring_view processName;
    std::wstring_view warning;
};

// In the order each running process is compared with them.
extern const std::array<AntivirusProduct, 8> kAntivirusProducts;

// The antivirus question's buttons.
inline constexpr std::wstring_view kAntivirusContinue = L"仍然继续";
inline constexpr std::wstring_view kAntivirusUnderstood = L"我知道了";

// Shows the warning for a running antivirus product, if any, and asks whether
// to go on anyway. True when the start may continue: no product runs, or the
// user chose "仍然继续"; "我知道了" or closing the box gives false.
bool ConfirmAntivirus(platform::WindowHandle owner);

// True when the first installed accelerator product (Harrow when none is)
// runs, is signed by the maker and is logged in. Otherwise shows that
// product's prompt, opens its download page when the user asks for it, and
// returns false.
bool RequireAccelerator(platform::WindowHandle owner);

// The warning of the first process (in process-list order) whose executable
// name is one of the known antivirus names (without regard to case); empty
// when none runs or the process list cannot be read.
std::wstring FindAntivirus();

// True when the product has an uninstall entry, runs, or is logged in.
bool IsAcceleratorInstalled(const AcceleratorProduct& product);

// The full image path of the first process named like the product (without
// regard to case, process id above 4); empty when none runs or its path
// cannot be read.
std::wstring FindAcceleratorProcess(const AcceleratorProduct& product);

// True when the executable at path is signed by the maker's certificate
// (subject name and one of the serials, both without regard to case).
// Only who signed is read; the signature is not verified.
bool IsTrustedSigner(const std::wstring& path);

// True when the product's login key holds a non-empty login value for this
// machine.
bool IsAcceleratorLoggedIn(const AcceleratorProduct& product);

// The name of the login value for a machine identifier: the first 16 hex
// digits of the MD5 of the identifier in the system code page, encrypted
// with the program's text key, in base64. The same for every product.
std::wstring LoginValueName(std::wstring_view machineGuid);
