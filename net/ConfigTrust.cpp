#include "net/ConfigTrust.h"

#include <optional>
#include <string>
#include <vector>

#include "net/Base64.h"
#include "net/DerSignature.h"

namespace {

constexpr std::string_view kSignatureKey = "SIG_P256=";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::u16string_view kExpiryKey = u"X_EXPIRES=";
// More digits could overflow; no real time needs them.
constexpr std::size_t kMaxExpiryDigits = 18;

SettingsOutcome CheckSignature(const SignatureLine& line, std::span<const P256PublicKey> trustedKeys) {
  if (!line.base64) return SettingsOutcome::kNoSignature;
  const std::optional<std::vector<uint8_t>> der = DecodeBase64(*line.base64);
  if (!der) return SettingsOutcome::kMalformedSignature;
  const std::optional<P256Signature> signature = ReadDerSignature(*der);
  if (!signature) return SettingsOutcome::kMalformedSignature;
  const std::optional<Sha256Digest> digest = Sha256(line.signedBytes);
  if (!digest) return SettingsOutcome::kNotTrusted;
  for (const P256PublicKey& key : trustedKeys) {
    if (VerifyP256(*digest, *signature, key)) return SettingsOutcome::kLoaded;
  }
  return SettingsOutcome::kNotTrusted;
}

}  // namespace

SignatureLine SplitSignatureLine(std::string_view file) {
  std::string_view content = file;
  if (content.ends_with(kLineEnd)) content.remove_suffix(kLineEnd.size());
  const std::size_t previousEnd = content.rfind(kLineEnd);
  const std::size_t lineStart = previousEnd == std::string_view::npos ? 0 : previousEnd + kLineEnd.size();
  const std::string_view line = content.substr(lineStart);
  SignatureLine split{file.substr(0, lineStart), std::nullopt};
  if (line.starts_with(kSignatureKey)) split.base64 = line.substr(kSignatureKey.size());
  return split;
}

ConfigExpiry ReadConfigExpiry(std::string_view bytes) {
  const std::u16string text = DecodeGameConfigText(bytes);
  const std::size_t at = text.find(kExpiryKey);
  if (at == std::u16string::npos) return {};
  const std::size_t start = at + kExpiryKey.size();
  const std::u16string_view value = std::u16string_view(text).substr(start, text.find(u"\r\n", start) - start);
  const ConfigExpiry unreadable{true, false, 0};
  if (value.empty() || value.size() > kMaxExpiryDigits) return unreadable;
  int64_t seconds = 0;
  for (const char16_t unit : value) {
    if (unit < u'0' || unit > u'9') return unreadable;
    seconds = seconds * 10 + (unit - u'0');
  }
  return {true, true, seconds};
}

SettingsOutcome CheckGameConfiguration(std::string_view file, std::span<const P256PublicKey> trustedKeys, int64_t now,
                                       std::string_view& usable) {
  std::string_view covered = file;
  if (!trustedKeys.empty()) {
    const SignatureLine line = SplitSignatureLine(file);
    const SettingsOutcome signature = CheckSignature(line, trustedKeys);
    if (signature != SettingsOutcome::kLoaded) return signature;
    covered = line.signedBytes;
  }
  const ConfigExpiry expiry = ReadConfigExpiry(covered);
  if (!expiry.readable) return SettingsOutcome::kUnreadableExpiry;
  if (expiry.present && now > expiry.seconds) return SettingsOutcome::kExpired;
  usable = covered;
  return SettingsOutcome::kLoaded;
}
