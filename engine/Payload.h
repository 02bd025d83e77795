// Decryption of service payloads with the program's RSA private key.
#pragma once

#include <string>

// Decrypts the hex text of 128-byte RSA blocks (PKCS #1 v1.5) with the
// payload key and joins the plain texts. Text of at most 63 characters is
// taken as plain and returned as it is; a final partial block is ignored and
// a block that does not decrypt contributes nothing.
std::string DecryptPayload(const std::string& text);

// The same decryption for an answer whose signature is checked over the
// result, refusing instead of skipping: true with the plain text when the
// text is shorter than 64 characters (plain) or consists of whole 256-digit
// blocks of hex digits that all decrypt; false otherwise.
bool DecryptPayloadStrict(const std::string& text, std::string& out);
