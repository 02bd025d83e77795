// Fuzzes the check of a service answer as it comes off the network: the
// envelope JSON, the signature's base64 and the payload's hex blocks. Nothing
// the fuzzer writes is signed with the built-in key, so nothing may pass;
// and the base64 reader accepts exactly one spelling of each value.
#include "engine/EngineLog.h"
#include "engine/Payload.h"
#include "engine/SignedAnswer.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The timing log entry of the decryption has no log file here.
namespace engine_log {
void DecryptTiming(std::uint32_t, std::uint32_t) {}
std::uint32_t TickCount() { return 0; }
} // namespace engine_log

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

std::string encodeBase64(const std::string& bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (n > 1) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (n > 2) v |= static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
        out += n > 2 ? kAlphabet[v & 63] : '=';
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string payload, reason;
    for (const char* path : {"/Speed/Config/checkVersion", "/Speed/Config/getConfig"}) {
        const bool accepted = OpenSignedAnswer(text, path, "00112233445566778899aabbccddeeff", payload, reason);
        check(!accepted && payload.empty() && !reason.empty());
    }
    std::string bytes;
    if (DecodeBase64(text, bytes)) check(encodeBase64(bytes) == text);
    std::string plain;
    if (DecryptPayloadStrict(text, plain)) check(text.size() < 64 ? plain == text : text.size() % 256 == 0);
    check(!VerifyAnswerSignature("/p", "n", text, text));
    return 0;
}
