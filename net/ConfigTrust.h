// Whether a configuration file may be used: its signature line, made by one
// of the keys this build trusts, and its optional expiry time.
//
// The signature travels inside the file, as its last line:
//   SIG_P256=<base64 of the DER ECDSA P-256 signature>
// over the SHA-256 of every byte before that line; the line ends with CR LF
// or with the end of the file. Base64 has no "_", so the line can never be
// taken for one of the configuration's keys.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "net/GameSettings.h"
#include "net/SignatureVerify.h"

// The keys this build trusts, fixed at build time (ZK_CONFIG_PUBLIC_KEYS);
// any of them may sign. Empty in a build without keys.
std::span<const P256PublicKey> TrustedConfigKeys();

// The file cut at its last line.
struct SignatureLine {
  std::string_view signedBytes;            // every byte before the last line
  std::optional<std::string_view> base64;  // the text after "SIG_P256=", when the last line is one
};
SignatureLine SplitSignatureLine(std::string_view file);

// "X_EXPIRES=": seconds since 1970-01-01 00:00:00 UTC, decimal digits only,
// found like every other key (the first occurrence in the text wins).
struct ConfigExpiry {
  bool present = false;
  bool readable = true;
  int64_t seconds = 0;
};
ConfigExpiry ReadConfigExpiry(std::string_view bytes);

// Checks a whole configuration file. With keys, only a file whose last line
// is a signature by one of them passes, and `usable` is then what the
// signature covers; without keys the line is ignored and `usable` is the
// whole file. Then a file past its expiry time (`now`, seconds since 1970)
// fails. kLoaded means that `usable` may be parsed; nothing else is set.
SettingsOutcome CheckGameConfiguration(std::string_view file, std::span<const P256PublicKey> trustedKeys, int64_t now,
                                       std::string_view& usable);
