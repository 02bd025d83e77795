// The antivirus warning and the accelerator requirement the start button runs.
#include "app/Preflight.h"

#include "app/MsgBox.h"
#include "platform/system/Process.h"
#include "platform/system/Shell.h"
#include "util/RegistryHelpers.h"
#include "util/SystemInfo.h"
#include "util/Text.h"

#include <algorithm>
#include <cwctype>

// The download pages are deployment data: addresses of the products' maker.
#ifndef QUELLAN_HARROW_DOWNLOAD_PAGE
#define QUELLAN_HARROW_DOWNLOAD_PAGE L"https://harrow.example.com/download"
#endif
#ifndef QUELLAN_MOSSEL_DOWNLOAD_PAGE
#define QUELLAN_MOSSEL_DOWNLOAD_PAGE L"https://mossel.example.com/download"
#endif
#ifndef QUELLAN_TINDLE_DOWNLOAD_PAGE
#define QUELLAN_TINDLE_DOWNLOAD_PAGE L"https://tindle.example.com/download"
#endif

const std::array<AcceleratorProduct, 3> kAcceleratorProducts{{
    {L"Harrow", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harrow加速器", L"harrowjiasu.exe",
     L"Software\\harrowjiasuqi\\appinfo", L"请先登录Harrow加速器！", L"下载Harrow", QUELLAN_HARROW_DOWNLOAD_PAGE},
    {L"Mossel", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{7D2E41B0-9A3C-4F58-B6E1-0C9F3A7D2E55}_is1",
     L"mosseljiasu.exe", L"Software\\mossel\\localinfo", L"请先登录Mossel加速器！", L"下载Mossel",
     QUELLAN_MOSSEL_DOWNLOAD_PAGE},
    {L"Tindle", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tindle", L"tindlejiasu.exe",
     L"Software\\tindlejiasuqi\\appinfo", L"请先登录Tindle加速器！", L"下载Tindle", QUELLAN_TINDLE_DOWNLOAD_PAGE},
}};

const std::array<AntivirusProduct, 8> kAntivirusProducts{{
    {L"360Tray.exe", L"请先关闭360安全卫士，否则可能下载失败！"},
    {L"HipsTray.exe", L"请先关闭火绒安全软件，否则可能下载失败！"},
    {L"360sd.exe", L"请先关闭360杀毒，否则可能下载失败！"},
    {L"QQPCTray.exe", L"请先关闭腾讯管家，否则可能下载失败！"},
    {L"kxetray.exe", L"请先关闭金山毒霸，否则可能下载失败！"},
    {L"avpui.exe", L"请先关闭卡巴斯基反病毒软件，否则可能下载失败！"},
    {L"McUICnt.exe", L"建议卸载迈克菲，否则可能下载失败！"},
    {L"NortonSecurity.exe", L"建议卸载Norton，否则可能下载失败！"},
}};

namespace {

constexpr wchar_t kUninstallValue[] = L"UninstallString";
// Processes 0 to 4 are the system's own on Windows; never a product.
constexpr int kLastSystemPid = 4;

bool equalsNoCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
           });
}

// Tells the user that product does not satisfy the checks; the cancel button
// opens its download page. The start is refused in every case.
void promptFor(platform::WindowHandle owner, const AcceleratorProduct& product) {
    if (ShowMsgBox(owner, product.promptText, kMsgBoxOkCancel, kAcceleratorPromptOk, product.downloadCaption) ==
        kMsgBoxCancelPressed)
        platform::openUrl(std::wstring(product.downloadPage));
}

} // namespace

std::wstring FindAntivirus() {
    const auto processes = platform::listProcesses();
    if (!processes) return {};
    for (const platform::ProcessEntry& process : *processes)
        for (const AntivirusProduct& product : kAntivirusProducts)
            if (equalsNoCase(process.exeName, product.processName)) return std::wstring(product.warning);
    return {};
}

bool ConfirmAntivirus(platform::WindowHandle owner) {
    const std::wstring warning = FindAntivirus();
    if (warning.empty()) return true;
    return ShowMsgBox(owner, warning, kMsgBoxOkCancel, kAntivirusContinue, kAntivirusUnderstood) == kMsgBoxOkPressed;
}

std::wstring FindAcceleratorProcess(const AcceleratorProduct& product) {
    const auto processes = platform::listProcesses();
    if (!processes) return {};
    const auto found = std::find_if(processes->begin(), processes->end(), [&](const platform::ProcessEntry& p) {
        return equalsNoCase(p.exeName, product.processName);
    });
    if (found == processes->end() || found->pid <= kLastSystemPid) return {};
    return found->imagePath;
}

bool IsTrustedSigner(const std::wstring& path) {
    if (path.empty()) return false;
    wchar_t name[1024] = {};
    wchar_t serial[128] = {};
    if (GetFileSigner(UnicodeToUtf8(path), name, std::size(name), serial, std::size(serial)) != 0) return false;
    if (!equalsNoCase(name, kTrustedSignerName)) return false;
    return std::any_of(kTrustedSignerSerials.begin(), kTrustedSignerSerials.end(),
                       [&](std::wstring_view trusted) { return equalsNoCase(serial, trusted); });
}

std::wstring LoginValueName(std::wstring_view machineGuid) {
    const std::string digest = CMd5A().GetMd5String(UnicodeToAnsi(machineGuid));
    return Utf8ToUnicode(EncryptText(digest.substr(0, 16)));
}

bool IsAcceleratorLoggedIn(const AcceleratorProduct& product) {
    std::wstring value;
    RegReadValue(platform::RegistryRoot::CurrentUser, std::wstring(product.loginKey), LoginValueName(GetMachineGuid()),
                 platform::kRegSz, value);
    return !value.empty();
}

bool IsAcceleratorInstalled(const AcceleratorProduct& product) {
    std::wstring uninstall;
    RegReadValue(platform::RegistryRoot::LocalMachine, std::wstring(product.uninstallKey), kUninstallValue,
                 platform::kRegSz, uninstall);
    if (!uninstall.empty()) return true;
    if (!FindAcceleratorProcess(product).empty()) return true;
    return IsAcceleratorLoggedIn(product);
}

bool RequireAccelerator(platform::WindowHandle owner) {
    const auto chosen = std::find_if(kAcceleratorProducts.begin(), kAcceleratorProducts.end(), IsAcceleratorInstalled);
    if (chosen == kAcceleratorProducts.end()) {
        promptFor(owner, kAcceleratorProducts.front());
        return false;
    }
    const AcceleratorProduct& product = *chosen;
    if (!IsTrustedSigner(FindAcceleratorProcess(product)) || !IsAcceleratorLoggedIn(product)) {
        promptFor(owner, product);
        return false;
    }
    return true;
}
