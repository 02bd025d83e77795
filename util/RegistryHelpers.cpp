// Registry string reads with the 64-bit view fallback, and the file signer query.
#include "util/RegistryHelpers.h"

#include "platform/signature/Signature.h"

#include <algorithm>
#include <optional>

using platform::RegistryKey;
using platform::RegistryStatus;
using platform::RegistryValue;
using platform::RegistryView;

bool RegReadValue(platform::RegistryRoot root, const std::wstring& subKey, const std::wstring& valueName,
                  std::uint32_t expectedType, std::wstring& result) {
    result.clear();
    std::optional<RegistryKey> key = RegistryKey::open(root, subKey, RegistryView::Default);
    if (!key) key = RegistryKey::open(root, subKey, RegistryView::Wow64_64Key);
    if (!key) return false;

    RegistryValue value;
    RegistryStatus status = key->query(valueName, kRegReadBufferSize, value);
    if (status == RegistryStatus::NotFound) {
        // A 32-bit program's view hides values that 64-bit programs wrote.
        key = RegistryKey::open(root, subKey, RegistryView::Wow64_64Key);
        if (!key) return false;
        status = key->query(valueName, kRegReadBufferSize, value);
    }
    if (status != RegistryStatus::Ok) return false;

    if (expectedType != platform::kRegSz || (value.type != platform::kRegSz && value.type != platform::kRegExpandSz))
        return false;
    result = platform::registryText(value.data);
    return true;
}

int GetFileSigner(const std::string& path, wchar_t* name, std::size_t nameCapacity, wchar_t* serial,
                  std::size_t serialCapacity) {
    const auto signer = platform::readSigner(path);
    if (!signer || !signer->name || !serial || signer->serial.size() + 1 > serialCapacity) return -1;
    if (name && nameCapacity == 0) return -1;

    std::copy(signer->serial.begin(), signer->serial.end(), serial);
    serial[signer->serial.size()] = L'\0';
    const std::wstring& text = *signer->name;
    if (!name) return static_cast<int>(text.size() + 1);
    const std::size_t n = std::min(text.size(), nameCapacity - 1);
    std::copy_n(text.begin(), n, name);
    name[n] = L'\0';
    return 0;
}
