// The DER form of an ECDSA P-256 signature, as `openssl dgst -sign` writes
// it: a SEQUENCE of two INTEGERs, r and s.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "net/SignatureVerify.h"

// The longest such signature: two 33-byte INTEGERs with their headers, in a
// SEQUENCE with its header.
inline constexpr std::size_t kMaxDerSignatureBytes = 72;

// Reads the signature into r and s, 32 bytes each, big-endian. Strict: one
// SEQUENCE with short-form lengths that end exactly at the end of the input,
// two INTEGERs in their shortest form (one zero byte in front only where the
// top bit would make the number negative), nothing negative, and each of r
// and s between 1 and the curve's order minus 1. Anything else gives nothing.
std::optional<P256Signature> ReadDerSignature(std::span<const uint8_t> der);
