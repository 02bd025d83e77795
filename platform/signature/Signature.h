// Who signed a Windows executable: the Authenticode signature embedded in a PE
// file (certificate table → PKCS#7 SignedData → first signer → its
// certificate), read with OpenSSL. Only the signer is read; neither the
// signature nor the certificate chain is verified.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

struct SignerInfo {
    // The certificate subject's simple display name, formed as Windows forms
    // it: the first common name, else organisational unit, organisation,
    // e-mail address, else an e-mail, DNS or URI alternative name; nullopt
    // when the certificate has none of these.
    std::optional<std::wstring> name;
    // The certificate's serial number, upper-case hex, two digits per byte of
    // its DER encoding, most significant first (a serial whose top bit is set
    // keeps its leading "00").
    std::wstring serial;
};

// The signer of the PE file at `path` (UTF-8); nullopt for a missing,
// unsigned, truncated or malformed file.
[[nodiscard]] std::optional<SignerInfo> readSigner(const std::string& path);

// The same for a whole PE image in memory.
[[nodiscard]] std::optional<SignerInfo> readSignerFromImage(std::span<const std::uint8_t> image);

// The signer of a DER-encoded PKCS#7 SignedData structure.
[[nodiscard]] std::optional<SignerInfo> readSignerFromPkcs7(std::span<const std::uint8_t> der);

} // namespace platform
