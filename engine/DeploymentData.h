// Deployment data compiled into the program: the payload key as raw
// big-endian bytes, the public key service answers are signed with and extra
// trusted CA certificates. Generated at build time from the key and CA files
// the build names; not for use outside engine/.
#pragma once

namespace deployment {
extern const unsigned char kPayloadModulus[128];
extern const unsigned char kPayloadPublicExponent[3];
extern const unsigned char kPayloadPrivateExponent[128];
// PEM text of the Ed25519 public key every service answer must be signed with.
extern const char kAnswerPublicKeyPem[];
// PEM text of CA certificates trusted besides the system store; may be empty.
extern const char kExtraCaPem[];
} // namespace deployment
