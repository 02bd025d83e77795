// Text conversions, string utilities, base64, MD5 and the fixed-key AES text
// encryption (OpenSSL).
#include "util/Text.h"

#include "platform/system/System.h"
#include "platform/system/Text.h"

// MD5 goes through OpenSSL's own MD5 context rather than EVP: only that
// context lets a stream continue from a chaining value. It is the same
// implementation underneath, marked deprecated since OpenSSL 3.0 but kept.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>
#include <openssl/md5.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

std::string hexDigest(const unsigned char* digest, unsigned length) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (unsigned i = 0; i < length; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

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

struct CMd5Stream::Impl {
    MD5_CTX ctx{};
    void start() { MD5_Init(&ctx); }
};

namespace {

std::uint32_t stateWord(const Md5State& state, int i) {
    return static_cast<std::uint32_t>(state[4 * i]) | static_cast<std::uint32_t>(state[4 * i + 1]) << 8 |
           static_cast<std::uint32_t>(state[4 * i + 2]) << 16 | static_cast<std::uint32_t>(state[4 * i + 3]) << 24;
}

} // namespace

CMd5Stream::CMd5Stream() : m_impl(new Impl) { m_impl->start(); }

CMd5Stream::CMd5Stream(const Md5State& state, std::uint64_t offset) : m_impl(new Impl) {
    m_impl->start();
    if (offset % 64 != 0) return;
    MD5_CTX& c = m_impl->ctx;
    c.A = stateWord(state, 0);
    c.B = stateWord(state, 1);
    c.C = stateWord(state, 2);
    c.D = stateWord(state, 3);
    // The context counts bits, in two 32-bit halves.
    c.Nl = static_cast<MD5_LONG>((offset << 3) & 0xffffffffu);
    c.Nh = static_cast<MD5_LONG>(offset >> 29);
}

CMd5Stream::~CMd5Stream() { delete m_impl; }

void CMd5Stream::Update(const void* data, std::size_t length) {
    if (length > 0) MD5_Update(&m_impl->ctx, data, length);
}

Md5State CMd5Stream::FinishBytes() {
    Md5State digest;
    MD5_Final(digest.data(), &m_impl->ctx);
    m_impl->start();
    return digest;
}

std::string CMd5Stream::Finish() {
    const Md5State digest = FinishBytes();
    return hexDigest(digest.data(), static_cast<unsigned>(digest.size()));
}

void CMd5Stream::Reset() { m_impl->start(); }

bool CMd5Stream::State(Md5State& out) const {
    const MD5_CTX& c = m_impl->ctx;
    if (c.num != 0) return false;
    const MD5_LONG words[] = {c.A, c.B, c.C, c.D};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) out[4 * i + k] = static_cast<unsigned char>(words[i] >> (8 * k));
    return true;
}

bool HashDescriptor(int fd, std::int64_t length, CMd5Stream& md5, const std::function<bool()>& proceed,
                    std::int64_t from) {
    // Pieces small enough to stay in the processor's cache between the read
    // and the hashing.
    constexpr std::int64_t kPiece = 128 << 10;
    std::unique_ptr<char[]> buffer(new char[kPiece]);
    for (std::int64_t at = 0; length < 0 || at < length;) {
        if (proceed && !proceed()) return false;
        const std::int64_t want = length < 0 ? kPiece : std::min(length - at, kPiece);
        const ssize_t got = ::pread(fd, buffer.get(), static_cast<std::size_t>(want), static_cast<off_t>(from + at));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return length < 0;
        md5.Update(buffer.get(), static_cast<std::size_t>(got));
        at += got;
    }
    return true;
}

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
