// Fuzzes the signed-answer check from the other side: a genuine answer
// (signed with the development key the build trusts) over a payload the
// fuzzer chooses, then changed at one byte the fuzzer chooses. The genuine
// answer must pass with its payload intact; a changed one must be refused
// unless the change left the same JSON value (a spelling the parser reads
// alike).
#include "engine/EngineLog.h"
#include "engine/SignedAnswer.h"

#include <json/json.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace engine_log {
void DecryptTiming(std::uint32_t, std::uint32_t) {}
std::uint32_t TickCount() { return 0; }
} // namespace engine_log

namespace {

EVP_PKEY* g_key = nullptr;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

std::string sign(const std::string& message) {
    unsigned char signature[64];
    std::size_t size = sizeof signature;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    check(ctx && EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, g_key) == 1 &&
          EVP_DigestSign(ctx, signature, &size, reinterpret_cast<const unsigned char*>(message.data()),
                         message.size()) == 1);
    EVP_MD_CTX_free(ctx);
    unsigned char text[128];
    const int length = EVP_EncodeBlock(text, signature, static_cast<int>(size));
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
}

std::string jsonText(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

bool parse(const std::string& text, Json::Value& value) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    try {
        return reader->parse(text.data(), text.data() + text.size(), &value, nullptr);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::FILE* file = std::fopen(QUELLAN_DEV_ANSWER_KEY, "r");
    if (file) {
        g_key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
        std::fclose(file);
    }
    check(g_key != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // Two bytes choose the change, the rest is the payload (plain text, so
    // shorter than the first encrypted length).
    const std::size_t at = (static_cast<std::size_t>(data[0]) << 8) | data[1];
    const std::uint8_t flip = data[2];
    std::string payload(reinterpret_cast<const char*>(data + 3), std::min<std::size_t>(size - 3, 63));
    const std::string path = "/Speed/Config/getConfig";
    const std::string nonce = "0123456789abcdef0123456789abcdef";
    Json::Value envelope;
    envelope["code"] = 10001;
    envelope["data"] = payload;
    envelope["sig"] = sign(SignedAnswerText(path, nonce, payload));
    const std::string genuine = jsonText(envelope);
    Json::Value reread;
    if (!parse(genuine, reread) || reread["data"].asString() != payload) return 0; // not representable
    std::string opened, reason;
    check(OpenSignedAnswer(genuine, path, nonce, opened, reason) && opened == payload);
    // The same answer for another request is refused.
    check(!OpenSignedAnswer(genuine, "/Speed/Config/checkVersion", nonce, opened, reason));
    check(!OpenSignedAnswer(genuine, path, "0123456789abcdef0123456789abcdee", opened, reason));

    if (flip == 0) return 0;
    std::string changed = genuine;
    changed[at % changed.size()] = static_cast<char>(changed[at % changed.size()] ^ flip);
    if (OpenSignedAnswer(changed, path, nonce, opened, reason)) {
        Json::Value value;
        check(parse(changed, value) && value["data"] == envelope["data"] && value["sig"] == envelope["sig"]);
        check(opened == payload);
    }
    return 0;
}
