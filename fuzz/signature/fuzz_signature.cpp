// Fuzzes the PE and PKCS#7 readers. Inputs that start with "M" are read as PE
// images (signer and version resource); others as a bare PKCS#7 SignedData,
// so that mutations reach the DER parser without a PE wrapper around it.
#include "platform/signature/PeFile.h"
#include "platform/signature/Signature.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    std::size_t sink = 0;
    if (size > 0 && data[0] == 'M') {
        if (const auto signer = platform::readSignerFromImage(input))
            sink += signer->serial.size() + (signer->name ? signer->name->size() : 0);
        if (const auto version = platform::pe::readFileVersion(input)) sink += version->major;
    } else {
        if (const auto table = platform::pe::findPkcs7(input)) sink += table->size();
        if (const auto signer = platform::readSignerFromPkcs7(input))
            sink += signer->serial.size() + (signer->name ? signer->name->size() : 0);
    }
    return sink == static_cast<std::size_t>(-1); // keeps the results alive
}
