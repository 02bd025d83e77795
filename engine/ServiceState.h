// What this user's installer remembers between runs about the service's
// configurations: the highest serial accepted under the built-in signing key,
// so that an older (replayed) configuration is refused even though it was
// once signed.
#pragma once

#include <cstdint>
#include <string>

// The state file: $XDG_STATE_HOME/quellan/serial-<AnswerKeyId()> (an
// absolute XDG_STATE_HOME only; otherwise ~/.local/state/quellan/). Empty
// when neither can be named.
std::string SerialStatePath();

// The stored serial; 0 when there is none or it cannot be read.
std::int64_t ReadAcceptedSerial();

// Checks a configuration's "serial" and "expires" (Unix seconds), both
// JSON integers, against now and the stored serial: refused when either is
// missing or not an integer, when expires is not after now, or when serial is
// lower than the stored one. On acceptance a higher serial is stored (one
// decimal line, written atomically; a failed write is logged, not fatal).
// False with a short reason otherwise.
bool AcceptConfigFreshness(const std::string& configText, std::int64_t now, std::string& reason);
