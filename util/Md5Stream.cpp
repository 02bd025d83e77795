// Incremental MD5 (OpenSSL) and hashing a descriptor's bytes.
#include "util/Md5Stream.h"

// MD5 goes through OpenSSL's own MD5 context rather than EVP: only that
// context lets a stream continue from a chaining value. It is the same
// implementation underneath, marked deprecated since OpenSSL 3.0 but kept.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

struct CMd5Stream::Impl {
    MD5_CTX ctx{};
    void start() { MD5_Init(&ctx); }
};

namespace {

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

CMd5Pieces::CMd5Pieces(std::vector<Md5State> chain, std::int64_t interval, std::int64_t length)
    : m_chain(std::move(chain)), m_interval(m_chain.empty() ? std::max<std::int64_t>(length, 1) : interval),
      m_length(length) {}

std::int64_t CMd5Pieces::End(std::size_t piece) const { return piece + 1 == Count() ? m_length : Start(piece + 1); }

CMd5Stream CMd5Pieces::Begin(std::size_t piece) const {
    return piece == 0 ? CMd5Stream() : CMd5Stream(m_chain[piece - 1], static_cast<std::uint64_t>(Start(piece)));
}

bool CMd5Pieces::Close(std::size_t piece, CMd5Stream& md5, std::string& digest) const {
    if (piece + 1 == Count()) {
        digest = md5.Finish();
        return true;
    }
    Md5State state;
    return md5.State(state) && state == m_chain[piece];
}
