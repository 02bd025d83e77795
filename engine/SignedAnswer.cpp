// Service answer signatures (OpenSSL 3, Ed25519).
#include "engine/SignedAnswer.h"

#include "engine/DeploymentData.h"
#include "engine/Payload.h"
#include "platform/system/Text.h"

#include <json/json.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace {

struct PkeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyDeleter>;

const char kHexDigits[] = "0123456789abcdef";

std::string toHex(const unsigned char* data, std::size_t size) {
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += kHexDigits[data[i] >> 4];
        out += kHexDigits[data[i] & 15];
    }
    return out;
}

Pkey loadAnswerKey() {
    const std::string_view pem = deployment::kAnswerPublicKeyPem;
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (!bio) return nullptr;
    EVP_PKEY* key = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (key && EVP_PKEY_get_base_id(key) != EVP_PKEY_ED25519) {
        EVP_PKEY_free(key);
        key = nullptr;
    }
    return Pkey(key);
}

EVP_PKEY* answerKey() {
    static const Pkey key = loadAnswerKey();
    return key.get();
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool parseJson(std::string_view text, Json::Value& root) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    // A hostile answer must not make the parser recurse without bound.
    builder["stackLimit"] = 64;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &root, &errors);
}

} // namespace

std::string MakeRequestNonce() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) return {};
    return toHex(bytes, sizeof bytes);
}

std::string SignedAnswerText(std::string_view path, std::string_view nonce, std::string_view payload) {
    std::string text = "quellan-answer-1\n";
    text.reserve(text.size() + path.size() + nonce.size() + payload.size() + 2);
    text.append(path).append("\n").append(nonce).append("\n").append(payload);
    return text;
}

bool DecodeBase64(std::string_view text, std::string& out) {
    out.clear();
    if (text.size() % 4 != 0) return false;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + static_cast<std::size_t>(k)];
            if (c == '=' && last && k >= 2) {
                v[k] = 0;
                ++padding;
                continue;
            }
            // Padding only at the very end, and nothing after it.
            if (padding > 0) return false;
            v[k] = base64Value(c);
            if (v[k] < 0) return false;
        }
        const unsigned triple = (static_cast<unsigned>(v[0]) << 18) | (static_cast<unsigned>(v[1]) << 12) |
                                (static_cast<unsigned>(v[2]) << 6) | static_cast<unsigned>(v[3]);
        // The bits the padding leaves unused must be zero: one text per value.
        if ((padding == 1 && (triple & 0xFF) != 0) || (padding == 2 && (triple & 0xFFFF) != 0)) return false;
        out += static_cast<char>((triple >> 16) & 0xFF);
        if (padding < 2) out += static_cast<char>((triple >> 8) & 0xFF);
        if (padding < 1) out += static_cast<char>(triple & 0xFF);
    }
    return true;
}

bool VerifyAnswerSignature(std::string_view path, std::string_view nonce, std::string_view payload,
                           std::string_view sigBase64) {
    EVP_PKEY* key = answerKey();
    std::string signature;
    if (!key || !DecodeBase64(sigBase64, signature) || signature.size() != 64) return false;
    const std::string message = SignedAnswerText(path, nonce, payload);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (!ctx) return false;
    const bool ok = EVP_DigestVerifyInit(ctx, nullptr, nullptr, nullptr, key) == 1 &&
                    EVP_DigestVerify(ctx, reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
    EVP_MD_CTX_free(ctx);
    return ok;
}

bool OpenSignedAnswer(std::string_view response, std::string_view path, std::string_view nonce, std::string& payload,
                      std::string& reason) {
    payload.clear();
    auto refuse = [&reason](const char* why) {
        reason = why;
        return false;
    };
    if (response.size() > kMaxServiceAnswerBytes) return refuse("answer too large");
    Json::Value root;
    try {
        if (!parseJson(response, root) || !root.isObject()) return refuse("answer is not a JSON object");
        if (root["code"].asInt() != 10001) return refuse("answer code is not 10001");
        const Json::Value& data = root["data"];
        const Json::Value& sig = root["sig"];
        if (!data.isString()) return refuse("answer data is not a string");
        if (!sig.isString()) return refuse("answer is not signed");
        std::string plain;
        if (!DecryptPayloadStrict(data.asString(), plain)) return refuse("answer data does not decrypt");
        if (!VerifyAnswerSignature(path, nonce, plain, sig.asString()))
            return refuse("answer signature does not verify");
        payload = std::move(plain);
        return true;
    } catch (const std::exception&) {
        return refuse("answer cannot be read");
    }
}

std::string AnswerKeyId() {
    EVP_PKEY* key = answerKey();
    unsigned char raw[64];
    std::size_t size = sizeof raw;
    if (!key || EVP_PKEY_get_raw_public_key(key, raw, &size) != 1) return {};
    return Sha256Hex(std::string_view(reinterpret_cast<const char*>(raw), size)).substr(0, 16);
}

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1) return {};
    return toHex(digest, size);
}

std::string Sha256File(const std::wstring& path) {
    const int fd = ::open(platform::toUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool ok = ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) == 1;
    std::unique_ptr<char[]> buffer(new char[1 << 16]);
    for (;;) {
        if (!ok) break;
        const ssize_t n = ::read(fd, buffer.get(), 1 << 16);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = EVP_DigestUpdate(ctx, buffer.get(), static_cast<std::size_t>(n)) == 1;
    }
    ::close(fd);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    ok = ok && EVP_DigestFinal_ex(ctx, digest, &size) == 1;
    EVP_MD_CTX_free(ctx);
    return ok ? toHex(digest, size) : std::string();
}

bool HexDigestMatches(std::string_view computed, std::string_view expected) {
    if (expected.empty() || computed.size() != expected.size()) return false;
    for (std::size_t i = 0; i < computed.size(); ++i) {
        const int a = platform::hexDigitValue(computed[i]);
        const int b = platform::hexDigitValue(expected[i]);
        if (a < 0 || a != b) return false;
    }
    return true;
}
