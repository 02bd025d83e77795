// Authenticity of the service's answers: every checkVersion and getConfig
// answer carries an Ed25519 signature over the request path, the request's
// nonce and the decrypted payload, made with a key whose public half is built
// into the program. The payload encryption alone proves nothing (its private
// key ships in every copy), so nothing an answer says is acted on before its
// signature verified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Answers of the service larger than this (after any content decoding) are
// refused unread.
inline constexpr std::size_t kMaxServiceAnswerBytes = 1u << 20;

// A fresh request nonce: 32 lower-case hex digits from the system's random
// source. Empty only when that source fails.
std::string MakeRequestNonce();

// The bytes an answer's signature covers:
// "quellan-answer-1\n" + path + "\n" + nonce + "\n" + payload.
std::string SignedAnswerText(std::string_view path, std::string_view nonce, std::string_view payload);

// Standard base64 with "=" padding and nothing else (no line breaks, no
// spaces, no missing padding). False for anything else.
bool DecodeBase64(std::string_view text, std::string& out);

// True when sigBase64 is the base64 of a 64-byte Ed25519 signature of
// SignedAnswerText(path, nonce, payload) under the built-in public key.
bool VerifyAnswerSignature(std::string_view path, std::string_view nonce, std::string_view payload,
                           std::string_view sigBase64);

// The full check of a service answer: a JSON object with "code" 10001, a
// string "data" and a string "sig"; "data" either shorter than 64 characters
// (taken as plain text) or whole 128-byte blocks of hex that all decrypt; the
// signature verifying over the decrypted payload. True with the payload;
// false with a short reason (for the log) otherwise.
bool OpenSignedAnswer(std::string_view response, std::string_view path, std::string_view nonce, std::string& payload,
                      std::string& reason);

// First 16 hex digits of the SHA-256 of the built-in public key's 32 raw
// bytes: names the state kept per signing key.
std::string AnswerKeyId();

// SHA-256 as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);

// SHA-256 of a whole file (every byte, NULs included) as 64 lower-case hex
// digits; empty when it cannot be read.
std::string Sha256File(const std::wstring& path);

// A computed hex digest against an expected one: the same length and digits,
// letter case aside. An empty expected digest never matches.
bool HexDigestMatches(std::string_view computed, std::string_view expected);
