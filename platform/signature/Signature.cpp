// Authenticode signer reading with OpenSSL.
#include "platform/signature/Signature.h"

#include "platform/signature/PeFile.h"
#include "platform/system/Text.h"

#include <openssl/err.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

namespace platform {

namespace {

constexpr std::size_t kHeadSize = 64 * 1024;
constexpr std::size_t kMaxCertificateTable = 64u << 20;

struct Pkcs7Free {
    void operator()(PKCS7* p) const { PKCS7_free(p); }
};
struct GeneralNamesFree {
    void operator()(GENERAL_NAMES* p) const { GENERAL_NAMES_free(p); }
};

std::optional<std::wstring> asnText(const ASN1_STRING* value) {
    if (!value) return std::nullopt;
    unsigned char* utf8 = nullptr;
    const int n = ASN1_STRING_to_UTF8(&utf8, value);
    if (n < 0) return std::nullopt;
    std::wstring text = fromUtf8(std::string_view(reinterpret_cast<const char*>(utf8), std::size_t(n)));
    OPENSSL_free(utf8);
    return text;
}

// The simple display name of a certificate's subject.
std::optional<std::wstring> simpleDisplayName(X509* cert) {
    const X509_NAME* subject = X509_get_subject_name(cert);
    for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
        const int index = X509_NAME_get_index_by_NID(subject, nid, -1);
        if (index >= 0) return asnText(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index)));
    }
    std::unique_ptr<GENERAL_NAMES, GeneralNamesFree> alt(
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr)));
    if (!alt) return std::nullopt;
    for (int type : {GEN_EMAIL, GEN_DNS, GEN_URI}) {
        for (int i = 0; i < sk_GENERAL_NAME_num(alt.get()); ++i) {
            const GENERAL_NAME* g = sk_GENERAL_NAME_value(alt.get(), i);
            if (g->type == type) return asnText(g->d.ia5);
        }
    }
    return std::nullopt;
}

// Upper-case hex of the serial's DER content octets.
std::optional<std::wstring> serialHex(const ASN1_INTEGER* serial) {
    unsigned char* der = nullptr;
    const int n = i2d_ASN1_INTEGER(serial, &der);
    if (n < 2) {
        OPENSSL_free(der);
        return std::nullopt;
    }
    // Skip the tag and the (short or long form) length.
    std::size_t pos = 2;
    if (der[1] & 0x80) pos += der[1] & 0x7F;
    std::wstring hex;
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    for (std::size_t i = pos; i < std::size_t(n); ++i) {
        hex += kDigits[der[i] >> 4];
        hex += kDigits[der[i] & 0xF];
    }
    OPENSSL_free(der);
    if (hex.empty()) return std::nullopt;
    return hex;
}

std::optional<SignerInfo> signerFromCertificateTable(std::span<const std::uint8_t> table) {
    const auto der = pe::findPkcs7(table);
    if (!der) return std::nullopt;
    return readSignerFromPkcs7(*der);
}

std::optional<SignerInfo> parsePkcs7(std::span<const std::uint8_t> der) {
    const unsigned char* p = der.data();
    std::unique_ptr<PKCS7, Pkcs7Free> p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
    if (!p7 || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign) return std::nullopt;
    STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7.get());
    if (!infos || sk_PKCS7_SIGNER_INFO_num(infos) < 1) return std::nullopt;
    const PKCS7_SIGNER_INFO* first = sk_PKCS7_SIGNER_INFO_value(infos, 0);
    if (!first || !first->issuer_and_serial || !first->issuer_and_serial->issuer || !first->issuer_and_serial->serial)
        return std::nullopt;
    STACK_OF(X509)* certs = p7->d.sign->cert;
    if (!certs) return std::nullopt;
    X509* cert =
        X509_find_by_issuer_and_serial(certs, first->issuer_and_serial->issuer, first->issuer_and_serial->serial);
    if (!cert) return std::nullopt;

    auto serial = serialHex(X509_get0_serialNumber(cert));
    if (!serial) return std::nullopt;
    return SignerInfo{simpleDisplayName(cert), std::move(*serial)};
}

} // namespace

std::optional<SignerInfo> readSignerFromPkcs7(std::span<const std::uint8_t> der) {
    if (der.empty() || der.size() > LONG_MAX) return std::nullopt;
    auto signer = parsePkcs7(der);
    // Leave no parse errors behind in this thread's OpenSSL error queue,
    // where a later TLS call would take them for its own.
    ERR_clear_error();
    return signer;
}

std::optional<SignerInfo> readSignerFromImage(std::span<const std::uint8_t> image) {
    const auto headers = pe::parseHeaders(image);
    if (!headers) return std::nullopt;
    const auto& dir = headers->certificates;
    if (dir.size == 0 || dir.address > image.size() || dir.size > image.size() - dir.address) return std::nullopt;
    return signerFromCertificateTable(image.subspan(dir.address, dir.size));
}

std::optional<SignerInfo> readSigner(const std::string& path) {
    const pe::InputFile file(path);
    if (!file.isOpen()) return std::nullopt;
    // The headers are near the start; the certificate table usually at the end.
    std::vector<std::uint8_t> head(std::min(file.size(), kHeadSize));
    if (!file.readAt(0, head)) return std::nullopt;
    const auto headers = pe::parseHeaders(head);
    if (!headers) return std::nullopt;
    const auto& dir = headers->certificates;
    if (dir.size == 0 || dir.size > kMaxCertificateTable || dir.address > file.size() ||
        dir.size > file.size() - dir.address)
        return std::nullopt;
    std::vector<std::uint8_t> table(dir.size);
    if (!file.readAt(dir.address, table)) return std::nullopt;
    return signerFromCertificateTable(table);
}

} // namespace platform
