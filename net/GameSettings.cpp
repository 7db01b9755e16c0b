#include "net/GameSettings.h"

#include <ctime>
#include <string>
#include <vector>

#include "net/ConfigTrust.h"
#include "net/Files.h"
#include "net/ServiceConfig.h"
#include "net/UrlFetch.h"

namespace {

const std::u16string kConfigFile = u"InfoGlobal.txt";

}  // namespace

std::u16string_view SettingsRefusalEntry(SettingsOutcome outcome) {
  switch (outcome) {
    case SettingsOutcome::kNoSignature: return u"The game settings file is not signed.";
    case SettingsOutcome::kMalformedSignature: return u"The game settings file's signature is malformed.";
    case SettingsOutcome::kNotTrusted:
      return u"The game settings file's signature does not match: it was changed, or signed by an untrusted key.";
    case SettingsOutcome::kUnreadableExpiry: return u"The game settings file's expiry time is not a number.";
    case SettingsOutcome::kExpired:
      return u"The game settings file has expired. Check that the computer's clock is right.";
    case SettingsOutcome::kProxyCredentials:
      return u"The game settings file could not be fetched: a proxy asked for credentials, and none that it accepts "
             u"were given.";
    case SettingsOutcome::kLoaded:
    case SettingsOutcome::kNotFetched:
    case SettingsOutcome::kIncomplete: break;
  }
  return {};
}

SettingsOutcome LoadGameSettings(GameSettings& settings) { return LoadGameSettings(settings, TrustedConfigKeys()); }

SettingsOutcome LoadGameSettings(GameSettings& settings, std::span<const P256PublicKey> trustedKeys) {
  const std::u16string url = GameConfigUrl();
  FetchResult fetched = FetchUrlToFile(url, kConfigFile, kMaxGameConfigBytes, FetchRoute::kDirect);
  if (fetched == FetchResult::kNotConnected && !trustedKeys.empty()) {
    fetched = FetchUrlToFile(url, kConfigFile, kMaxGameConfigBytes, FetchRoute::kSystemProxy);
  }
  if (fetched == FetchResult::kProxyCredentials) return SettingsOutcome::kProxyCredentials;
  if (fetched != FetchResult::kComplete) return SettingsOutcome::kNotFetched;
  std::vector<uint8_t> buffer;
  const int64_t size = ReadWholeFile(kConfigFile, buffer, 10, kMaxGameConfigBytes);
  if (size < 0) return SettingsOutcome::kNotFetched;
  DeleteFilePath(kConfigFile);
  const std::string_view file(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(size));
  std::string_view usable;
  const SettingsOutcome trust = CheckGameConfiguration(file, trustedKeys, std::time(nullptr), usable);
  if (trust != SettingsOutcome::kLoaded) return trust;
  return ParseGameSettings(usable, settings) ? SettingsOutcome::kLoaded : SettingsOutcome::kIncomplete;
}
