#include "SelectLanguage/GameFolder.h"

#include <algorithm>

#include "SelectLanguage/Registry.h"
#include "net/Files.h"
#include "net/GameSettings.h"

using namespace std::string_view_literals;

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
  // A relative "Path" would name a folder beside whatever the current one is.
  if (!IsAbsolutePath(path)) return std::nullopt;
  return JoinPath(path, localFolder);
}

std::optional<std::u16string> RelativePathInside(std::u16string_view name) {
  std::u16string path;
  std::size_t start = 0;
  while (start <= name.size()) {
    const auto end = std::min(name.find_first_of(u"\\/", start), name.size());
    const std::u16string_view part = name.substr(start, end - start);
    if (part.empty() || part == u"." || part == u".." || part.find_first_of(u":\0"sv) != std::u16string_view::npos) {
      return std::nullopt;
    }
    if (!path.empty()) path.push_back(kPathSeparator);
    path.append(part);
    start = end + 1;
  }
  return path;
}

std::optional<std::u16string> GameFilePath(std::u16string_view gameFolder, std::u16string_view name) {
  const auto relative = RelativePathInside(name);
  if (!relative) return std::nullopt;
  std::u16string path = JoinPath(gameFolder, *relative);
  if (!FolderBoundary(gameFolder).ContainsResolved(path)) return std::nullopt;
  return path;
}
