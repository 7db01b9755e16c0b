#include "SelectLanguage/GameFolder.h"

#include "SelectLanguage/Registry.h"
#include "net/Files.h"
#include "net/GameSettings.h"

namespace {

// Each value is read into a buffer of this many bytes, terminator included.
constexpr std::size_t kRegistryValueBytes = 1024;

}  // namespace

std::optional<std::u16string> ReadGameFolder(const GameSettings& settings) {
  std::u16string path;
  std::u16string localFolder;
  if (!ReadRegistryValue(FieldText(settings.rPathRoot), u"Path", path, kRegistryValueBytes,
                         RegistryRoot::kLocalMachine) ||
      !ReadRegistryValue(FieldText(settings.rPathGame), u"localfolder", localFolder, kRegistryValueBytes,
                         RegistryRoot::kLocalMachine)) {
    return std::nullopt;
  }
  return JoinPath(path, localFolder);
}
