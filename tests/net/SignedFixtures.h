// A configuration body signed once with two throwaway keys whose private
// halves were discarded: the public points and signatures are all that is
// kept, so the tests run the same on every platform without a signer.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/GameSettings.h"
#include "net/SignatureVerify.h"

namespace SignedFixtures {

inline constexpr std::string_view kBody =
    "; signed for the tests\r\nU_PATH_ZKEN=http://setup.zkgame.invalid/\r\nX_EXPIRES=1900000000\r\n";
inline constexpr int64_t kExpires = 1900000000;
inline constexpr std::string_view kSignatureByKey1 =
    "MEUCIH3ZHZgdTXGVhgYhGV76+virS3z4KaTBj0VzkY+GbK/lAiEAqap0yvQcCaCo/kI2hC7S0AUn5nt0yPZs8HFC6Yis+fE=";
inline constexpr std::string_view kSignatureByKey2 =
    "MEUCIQDSDPOFSA+TTfX4LINqJ8IMBhpK2Q+6B8QbUXZOJ+KjAgIgNXrU6luGxsilQIsPs10vYuoeSDrCSt+cFzL5/h/Qr0c=";

inline std::vector<uint8_t> FromHex(std::string_view hex) {
  std::vector<uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

template <std::size_t N>
std::string Hex(const std::array<uint8_t, N>& bytes) {
  std::string out;
  char pair[3];
  for (const uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", b);
    out += pair;
  }
  return out;
}

inline P256PublicKey Point(std::string_view hex) {
  const std::vector<uint8_t> bytes = FromHex(hex);
  P256PublicKey key{};
  std::copy(bytes.begin(), bytes.end(), key.begin());
  return key;
}

inline P256PublicKey Key1() {
  return Point(
      "0468766f1b8fcbf86a5f6b4860c2e0cd8355e0ff18c71e665cd7d5055ac40cd990e076c8e0e1e83e78326ca2723c4c734c9ee7784e37e"
      "495f4465f4ef5ecae68d8");
}

inline P256PublicKey Key2() {
  return Point(
      "0436284ab93f041dfb0029d4dbfb5ae952853a45a33e86cbb98c6e2cd539cd3d53109de4147b912aca696fbbe3d88d974ff255490f5e86"
      "ae3216ca2529c65edffc");
}

inline std::vector<uint8_t> CurveOrder() {
  return FromHex("ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551");
}

// The body with its signature line, ending in CR LF.
inline std::string SignedFile(std::string_view signature = kSignatureByKey1) {
  return std::string(kBody) + "SIG_P256=" + std::string(signature) + "\r\n";
}

// The sandbox's configuration modes (--fault config=...) and what loading
// each one must come to: the build's first test key signs, the second may.
inline const std::vector<std::pair<const char*, SettingsOutcome>> kServedSignatureCases = {
    {"ok", SettingsOutcome::kLoaded},
    {"sig-key2", SettingsOutcome::kLoaded},
    {"sig-body", SettingsOutcome::kNotTrusted},
    {"sig-flip", SettingsOutcome::kNotTrusted},
    {"sig-untrusted", SettingsOutcome::kNotTrusted},
    {"unsigned", SettingsOutcome::kNoSignature},
    {"expired", SettingsOutcome::kExpired},
};

}  // namespace SignedFixtures
