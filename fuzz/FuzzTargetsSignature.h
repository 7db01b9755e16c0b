// The fuzz target body for the configuration's signature line and expiry
// time, shared with the regression test that replays saved inputs. It
// checks invariants of its own and aborts on a violation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "net/Base64.h"
#include "net/ConfigTrust.h"
#include "net/DerSignature.h"
#include "tests/net/SignedFixtures.h"

namespace fuzz {

inline void CheckSignature(bool condition) {
  if (!condition) std::abort();
}

inline std::string EncodeBase64(std::span<const uint8_t> bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - at);
    uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i) group = group << 8 | (i < n ? bytes[at + i] : 0);
    for (std::size_t i = 0; i < 4; ++i) out += i <= n ? kAlphabet[(group >> (18 - 6 * i)) & 63] : '=';
  }
  return out;
}

// The shortest DER INTEGER of a 32-byte unsigned big-endian number.
inline void AppendInteger(std::vector<uint8_t>& der, const uint8_t* scalar) {
  std::size_t first = 0;
  while (first < 31 && scalar[first] == 0) ++first;
  const bool pad = (scalar[first] & 0x80) != 0;
  der.push_back(0x02);
  der.push_back(static_cast<uint8_t>(32 - first + (pad ? 1 : 0)));
  if (pad) der.push_back(0x00);
  der.insert(der.end(), scalar + first, scalar + 32);
}

inline std::vector<uint8_t> EncodeDer(const P256Signature& signature) {
  std::vector<uint8_t> inner;
  AppendInteger(inner, signature.data());
  AppendInteger(inner, signature.data() + 32);
  std::vector<uint8_t> der;
  der.reserve(2 + inner.size());  // one block: mingw's gcc 12 misreads the growth of a small one
  der.push_back(0x30);
  der.push_back(static_cast<uint8_t>(inner.size()));
  der.insert(der.end(), inner.begin(), inner.end());
  return der;
}

// The input is tried three ways: as a whole configuration file, as base64
// text and as DER bytes. Whatever a reader accepts must be the one
// canonical spelling of what it read.
inline void FuzzConfigSignature(const uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const std::span<const uint8_t> bytes(data, size);

  if (const auto decoded = DecodeBase64(file)) CheckSignature(EncodeBase64(*decoded) == file);
  if (const auto signature = ReadDerSignature(bytes)) {
    const std::vector<uint8_t> again = EncodeDer(*signature);
    CheckSignature(std::equal(again.begin(), again.end(), bytes.begin(), bytes.end()));
  }

  // The split: the signed bytes are a prefix that ends a line, and the file
  // is exactly they, the line and at most its line end.
  const SignatureLine line = SplitSignatureLine(file);
  CheckSignature(file.starts_with(line.signedBytes));
  CheckSignature(line.signedBytes.empty() || line.signedBytes.ends_with("\r\n"));
  if (line.base64) {
    const std::string rebuilt = std::string(line.signedBytes) + "SIG_P256=" + std::string(*line.base64);
    CheckSignature(file == rebuilt || file == rebuilt + "\r\n");
    CheckSignature(line.base64->find("\r\n") == std::string_view::npos);
  }

  const ConfigExpiry expiry = ReadConfigExpiry(file);
  CheckSignature(expiry.readable ? expiry.seconds >= 0 : expiry.present && expiry.seconds == 0);
  CheckSignature(expiry.seconds < 1000000000000000000);

  // Without keys the whole file is used, unless its expiry refuses it.
  const int64_t now = SignedFixtures::kExpires;
  std::string_view usable;
  const SettingsOutcome keyless = CheckGameConfiguration(file, {}, now, usable);
  const bool expiryPasses = expiry.readable && (!expiry.present || expiry.seconds >= now);
  CheckSignature((keyless == SettingsOutcome::kLoaded) == expiryPasses);
  if (keyless == SettingsOutcome::kLoaded) CheckSignature(usable.data() == file.data() && usable.size() == file.size());

  // With a key, what passes is only ever the signed prefix, and only with a
  // signature line that reads.
  const std::array<P256PublicKey, 1> keys = {SignedFixtures::Key1()};
  usable = {};
  const SettingsOutcome keyed = CheckGameConfiguration(file, keys, now, usable);
  if (!line.base64) CheckSignature(keyed == SettingsOutcome::kNoSignature);
  if (keyed == SettingsOutcome::kLoaded) {
    CheckSignature(line.base64 && usable.data() == file.data() && usable.size() == line.signedBytes.size());
    const auto der = DecodeBase64(*line.base64);
    CheckSignature(der && ReadDerSignature(*der));
  }
}

}  // namespace fuzz
