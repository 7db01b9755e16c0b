// ECDSA P-256 verification, from the cryptography the platform
// already has (OpenSSL on POSIX, CNG on Windows).
// Implemented per platform (SignatureVerify_posix.cpp, SignatureVerify_win32.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "net/Sha256.h"

// r then s, each 32 bytes big-endian: the form CNG takes.
using P256Signature = std::array<uint8_t, 64>;
// An uncompressed curve point: 0x04, then X and Y, 32 bytes each.
using P256PublicKey = std::array<uint8_t, 65>;

// True only when `signature` is a valid signature of `digest` by `key`; a
// key that is not a point of the curve verifies nothing.
bool VerifyP256(const Sha256Digest& digest, const P256Signature& signature, const P256PublicKey& key);
