// Registry and code-signing helpers the installer's checks are built on:
// a string read with the 64-bit view fallback, and the signer of an
// executable. Both are stateless and re-entrant.
#pragma once

#include "platform/registry/Registry.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Size of the buffer a value is read into; larger values count as unreadable.
inline constexpr std::size_t kRegReadBufferSize = 10240;

// Reads value `valueName` of `subKey` under `root` into `result`. Tries the
// default (32-bit) view first and the 64-bit view when the key or the value
// is missing there. Only string values are read: `expectedType` must be
// platform::kRegSz, and the stored value must be a string (REG_SZ or
// REG_EXPAND_SZ) of at most kRegReadBufferSize bytes; the result is its text
// up to the first zero character. `result` is emptied first and stays empty
// on failure (false).
[[nodiscard]] bool RegReadValue(platform::RegistryRoot root, const std::wstring& subKey, const std::wstring& valueName,
                                std::uint32_t expectedType, std::wstring& result);

// Reads who signed the PE file at `path` (UTF-8): the simple display name of
// the signing certificate's subject and its serial number as upper-case hex,
// most significant byte first. The signature itself is not verified.
//
// `serial` receives the zero-terminated serial and holds `serialCapacity`
// characters. With `name` (capacity `nameCapacity` characters, at least 1)
// the name is written zero-terminated, cut to fit, and the result is 0.
// Without `name` the result is the name's length including the terminator.
// -1 when the file has no readable signature, the signer has no name or the
// serial does not fit; both buffers are then left unchanged.
[[nodiscard]] int GetFileSigner(const std::string& path, wchar_t* name, std::size_t nameCapacity, wchar_t* serial,
                                std::size_t serialCapacity);
