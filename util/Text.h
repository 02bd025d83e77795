// Text conversions, string utilities, MD5, base64 and the fixed-key text
// encryption. All functions are stateless and re-entrant.
#pragma once

#include "util/Md5Stream.h"

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
