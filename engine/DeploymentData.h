// Deployment data compiled into the program: the payload key as raw
// big-endian bytes and extra trusted CA certificates. Generated at build time
// from the key and CA files the build names; not for use outside engine/.
#pragma once

namespace deployment {
extern const unsigned char kPayloadModulus[128];
extern const unsigned char kPayloadPublicExponent[3];
extern const unsigned char kPayloadPrivateExponent[128];
// PEM text of CA certificates trusted besides the system store; may be empty.
extern const char kExtraCaPem[];
} // namespace deployment
