// Text conversions, string utilities, base64, MD5 of texts and files and the
// fixed-key AES text encryption (OpenSSL EVP).
#include "util/Text.h"

#include "platform/system/System.h"
#include "platform/system/Text.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <memory>

// --- Conversions ---

std::wstring AnsiToUnicode(std::string_view text) { return platform::fromCodePage(text); }
std::string UnicodeToAnsi(std::wstring_view text) { return platform::toCodePage(text); }
std::wstring Utf8ToUnicode(std::string_view text) { return platform::fromUtf8(text); }
std::string UnicodeToUtf8(std::wstring_view text) { return platform::toUtf8(text); }

// --- String utilities ---

namespace {

template <typename String, typename View>
String replaceAll(String text, View from, View to) {
    if (from.empty() || from == to) return text;
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != String::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

} // namespace

std::string StringReplaceAll(std::string text, std::string_view from, std::string_view to) {
    return replaceAll(std::move(text), from, to);
}

std::wstring StringReplaceAll(std::wstring text, std::wstring_view from, std::wstring_view to) {
    return replaceAll(std::move(text), from, to);
}

std::string StringChangeCase(std::string text, bool upper) {
    for (char& c : text) {
        if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::vector<std::wstring> SplitString(std::wstring_view text, std::wstring_view separator) {
    std::vector<std::wstring> pieces;
    if (separator.empty()) {
        if (!text.empty()) pieces.emplace_back(text);
        return pieces;
    }
    size_t start = 0;
    for (size_t hit; (hit = text.find(separator, start)) != std::wstring_view::npos; start = hit + separator.size())
        pieces.emplace_back(text.substr(start, hit - start));
    if (start < text.size()) pieces.emplace_back(text.substr(start));
    return pieces;
}

std::string Base64Encode(const void* data, std::size_t length) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const unsigned v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (length - i == 1) {
        const unsigned v = bytes[i] << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (length - i == 2) {
        const unsigned v = bytes[i] << 16 | bytes[i + 1] << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string Base64Encode(std::string_view bytes) { return Base64Encode(bytes.data(), bytes.size()); }

// --- Encryption ---

namespace {

struct CipherCtxDeleter {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter>;

// "201711230417" and four zero bytes.
constexpr unsigned char kTextKey[16] = {'2', '0', '1', '7', '1', '1', '2', '3', '0', '4', '1', '7', 0, 0, 0, 0};

} // namespace

std::string EncryptText(std::string_view text) {
    if (text.empty()) return {};
    try {
        CipherCtx ctx(EVP_CIPHER_CTX_new());
        if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, kTextKey, nullptr) != 1) return {};
        // PKCS #7 padding by the cipher: a full block of 16 when the length is
        // already a multiple of 16.
        std::string cipher(text.size() + 16, '\0');
        int written = 0;
        int tail = 0;
        auto* out = reinterpret_cast<unsigned char*>(cipher.data());
        if (EVP_EncryptUpdate(ctx.get(), out, &written, reinterpret_cast<const unsigned char*>(text.data()),
                              static_cast<int>(text.size())) != 1 ||
            EVP_EncryptFinal_ex(ctx.get(), out + written, &tail) != 1)
            return {};
        cipher.resize(static_cast<size_t>(written) + static_cast<size_t>(tail));
        return Base64Encode(cipher);
    } catch (...) {
        return std::string(text);
    }
}

// --- MD5 ---

std::string CMd5A::GetMd5String(std::string_view text) const {
    CMd5Stream md5;
    md5.Update(text.data(), text.size());
    return md5.Finish();
}

std::string CMd5A::GetMd5File(const std::wstring& path, const std::function<bool()>& proceed) const {
    struct FileCloser {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<FILE, FileCloser> f(std::fopen(platform::toUtf8(path).c_str(), "rb"));
    if (!f) return {};
    // Large reads: the files are game data of up to gigabytes, and the digest
    // does not depend on the piece size.
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[1 << 16]);
    CMd5Stream md5;
    size_t n;
    while ((n = std::fread(buffer.get(), 1, 1 << 16, f.get())) > 0) {
        if (proceed && !proceed()) return {};
        md5.Update(buffer.get(), n);
    }
    if (std::ferror(f.get())) return {};
    return md5.Finish();
}
