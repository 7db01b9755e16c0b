#include "net/GameSettings.h"

#include <string>
#include <vector>

#include "net/Files.h"
#include "net/ServiceConfig.h"
#include "net/UrlFetch.h"

namespace {

const std::u16string kConfigFile = u"InfoGlobal.txt";

}  // namespace

bool LoadGameSettings(GameSettings& settings) {
  if (FetchUrlToFile(GameConfigUrl(), kConfigFile, kMaxGameConfigBytes) != FetchResult::kComplete) {
    return false;
  }
  std::vector<uint8_t> buffer;
  const int64_t size = ReadWholeFile(kConfigFile, buffer, 10, kMaxGameConfigBytes);
  if (size < 0) return false;
  DeleteFilePath(kConfigFile);
  return ParseGameSettings(
      std::string_view(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(size)),
      settings);
}
