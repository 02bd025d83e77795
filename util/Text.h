// Text conversions, string utilities, MD5, base64 and the fixed-key text
// encryption. All functions are stateless and re-entrant.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// --- Conversions (each stops at the first NUL; empty input gives empty) ---

// System code page (the locale's charset) → wide. Invalid bytes become U+FFFD.
std::wstring AnsiToUnicode(std::string_view text);
// Wide → system code page; characters it cannot hold become "?".
std::string UnicodeToAnsi(std::wstring_view text);
// UTF-8 → wide; invalid sequences become U+FFFD.
std::wstring Utf8ToUnicode(std::string_view text);
// Wide → UTF-8.
std::string UnicodeToUtf8(std::wstring_view text);

// --- String utilities ---

// Replaces every occurrence of from by to, scanning left to right and
// continuing after each inserted replacement (so a replacement that contains
// from is not replaced again). An empty from leaves the text unchanged.
std::string StringReplaceAll(std::string text, std::string_view from, std::string_view to);
std::wstring StringReplaceAll(std::wstring text, std::wstring_view from, std::wstring_view to);

// ASCII letters to upper case (upper true) or lower case; other bytes,
// including UTF-8 sequences, are left alone.
std::string StringChangeCase(std::string text, bool upper);

// Pieces of text between separators, in order. Adjacent separators give an
// empty piece between them; the piece after the last separator is added only
// when it is not empty (so a trailing separator adds nothing). An empty
// separator gives the whole text as one piece (none for empty text).
std::vector<std::wstring> SplitString(std::wstring_view text, std::wstring_view separator);

// Standard base64 with "=" padding and no line breaks.
std::string Base64Encode(const void* data, std::size_t length);
std::string Base64Encode(std::string_view bytes);

// AES-128-ECB with the program's fixed text key and PKCS #7 padding, then
// base64. Empty text gives empty text; if the cipher cannot be set up the
// result is empty too.
std::string EncryptText(std::string_view text);

// --- MD5 ---

// MD5 digests as 32 lower-case hexadecimal digits. No state of its own.
class CMd5A {
public:
    CMd5A() = default;
    virtual ~CMd5A() = default;

    // MD5 of the bytes of text.
    std::string GetMd5String(std::string_view text) const;
    // MD5 of the file's content, or empty when it cannot be opened for reading
    // (a read error half-way also gives empty: a partial digest would match
    // nothing but could be mistaken for a real one). When proceed is given it
    // is asked between pieces; once it answers false the reading stops and
    // the result is empty (a job that was cancelled in a large file).
    std::string GetMd5File(const std::wstring& path, const std::function<bool()>& proceed = {}) const;
};

// MD5's chaining value: its state after a whole number of 64-byte blocks,
// as four little-endian words (the form a digest takes).
using Md5State = std::array<unsigned char, 16>;

// Incremental MD5 for data that arrives in pieces (a download being written).
// One object per stream; not shared between threads.
class CMd5Stream {
public:
    CMd5Stream();
    // Continues a stream at byte offset (a multiple of 64) whose chaining
    // value there is state: hashing the rest of an input from its state at
    // that point gives the whole input's digest. This is what lets one long
    // input be hashed in pieces on several threads.
    CMd5Stream(const Md5State& state, std::uint64_t offset);
    ~CMd5Stream();
    CMd5Stream(const CMd5Stream&) = delete;
    CMd5Stream& operator=(const CMd5Stream&) = delete;

    void Update(const void* data, std::size_t length);
    // The digest of everything fed so far, as 32 lower-case hex digits; the
    // stream then starts over empty.
    std::string Finish();
    // The same digest as its 16 bytes.
    Md5State FinishBytes();
    // Forgets everything fed so far.
    void Reset();
    // The chaining value after the bytes fed so far (since the start or the
    // offset continued from); false when their count is no multiple of 64.
    bool State(Md5State& out) const;

private:
    struct Impl;
    Impl* m_impl;
};

// Feeds md5 the bytes [from, from + length) of the file open as fd, or all of
// them up to its end when length is negative, read at their offsets in
// pieces (the descriptor's own position neither matters nor moves). False
// when a read fails, the file ends before length, or proceed (asked before
// each piece) answers false.
bool HashDescriptor(int fd, std::int64_t length, CMd5Stream& md5, const std::function<bool()>& proceed = {},
                    std::int64_t from = 0);
