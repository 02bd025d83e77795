// Service payload decryption (OpenSSL 3 EVP over the raw key bytes).
#include "engine/Payload.h"

#include "engine/DeploymentData.h"
#include "engine/EngineLog.h"
#include "platform/system/Text.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <cstring>
#include <memory>

namespace {

struct PkeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyDeleter>;

// Builds the key once from the raw big-endian n, e, d the program carries.
Pkey buildKey() {
    BIGNUM* n = BN_bin2bn(deployment::kPayloadModulus, 128, nullptr);
    BIGNUM* e = BN_bin2bn(deployment::kPayloadPublicExponent, 3, nullptr);
    BIGNUM* d = BN_bin2bn(deployment::kPayloadPrivateExponent, 128, nullptr);
    OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
    OSSL_PARAM* params = nullptr;
    EVP_PKEY* key = nullptr;
    if (n && e && d && bld && OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n) &&
        OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e) &&
        OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_D, d) && (params = OSSL_PARAM_BLD_to_param(bld))) {
        if (EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr)) {
            if (EVP_PKEY_fromdata_init(ctx) <= 0 || EVP_PKEY_fromdata(ctx, &key, EVP_PKEY_KEYPAIR, params) <= 0)
                key = nullptr;
            EVP_PKEY_CTX_free(ctx);
        }
    }
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    BN_free(n);
    BN_free(e);
    BN_clear_free(d);
    return Pkey(key);
}

EVP_PKEY* payloadKey() {
    static const Pkey key = buildKey();
    return key.get();
}

// One 128-byte block into out (appended up to its first zero byte). False
// when it does not decrypt.
bool decryptBlock(EVP_PKEY* key, const unsigned char* block, std::string& out) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    if (!ctx) return false;
    bool ok = false;
    unsigned char plain[1024] = {};
    std::size_t size = sizeof plain;
    if (EVP_PKEY_decrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0) {
        // Where the library would answer a bad block with random bytes
        // instead of an error, ask for the error: a bad block adds nothing.
        EVP_PKEY_CTX_ctrl_str(ctx, "rsa_pkcs1_implicit_rejection", "0");
        if (EVP_PKEY_decrypt(ctx, plain, &size, block, 128) > 0) {
            out.append(reinterpret_cast<const char*>(plain), strnlen(reinterpret_cast<const char*>(plain), size));
            ok = true;
        }
    }
    EVP_PKEY_CTX_free(ctx);
    return ok;
}

} // namespace

std::string DecryptPayload(const std::string& text) {
    if (text.size() <= 63) return text;
    std::uint32_t start = engine_log::TickCount();
    std::string out;
    if (EVP_PKEY* key = payloadKey()) {
        unsigned char block[128];
        std::size_t filled = 0;
        for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
            int high = platform::hexDigitValue(text[i]);
            int low = platform::hexDigitValue(text[i + 1]);
            // A pair that is not hex reads as 0, which spoils its block.
            block[filled++] = static_cast<unsigned char>(high < 0 || low < 0 ? 0 : high * 16 + low);
            if (filled == sizeof block) {
                decryptBlock(key, block, out);
                filled = 0;
            }
        }
    }
    engine_log::DecryptTiming(start, engine_log::TickCount());
    return out;
}

bool DecryptPayloadStrict(const std::string& text, std::string& out) {
    out.clear();
    if (text.size() <= 63) {
        out = text;
        return true;
    }
    if (text.size() % 256 != 0) return false;
    EVP_PKEY* key = payloadKey();
    if (!key) return false;
    std::uint32_t start = engine_log::TickCount();
    unsigned char block[128];
    bool ok = true;
    for (std::size_t i = 0; ok && i < text.size(); i += 256) {
        for (std::size_t k = 0; k < sizeof block; ++k) {
            const int high = platform::hexDigitValue(text[i + 2 * k]);
            const int low = platform::hexDigitValue(text[i + 2 * k + 1]);
            if (high < 0 || low < 0) {
                ok = false;
                break;
            }
            block[k] = static_cast<unsigned char>(high * 16 + low);
        }
        ok = ok && decryptBlock(key, block, out);
    }
    engine_log::DecryptTiming(start, engine_log::TickCount());
    if (!ok) out.clear();
    return ok;
}
