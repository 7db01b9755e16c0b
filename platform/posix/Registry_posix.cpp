// The registry on POSIX is a folder tree: HKEY_LOCAL_MACHINE\A\B value V is
// the file <root>/HKEY_LOCAL_MACHINE/A/B/V holding the value as UTF-8 text.
// <root> is $ZK_REGISTRY_ROOT, else /var/lib/zk-registry.
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "SelectLanguage/Registry.h"
#include "net/Files.h"
#include "net/Text.h"

namespace {

constexpr const char16_t* kDefaultRoot = u"/var/lib/zk-registry";

std::u16string StoreRoot() {
  const char* root = std::getenv("ZK_REGISTRY_ROOT");
  return (root != nullptr && *root != '\0') ? BytesToUtf16Escaped(root) : std::u16string(kDefaultRoot);
}

// A key or value name never leaves the store: no empty, "." or ".." parts and
// no "/" inside a part.
bool AppendParts(std::u16string& path, std::u16string_view name) {
  std::size_t start = 0;
  while (start <= name.size()) {
    const auto end = std::min(name.find(u'\\', start), name.size());
    const std::u16string_view part = name.substr(start, end - start);
    if (part.empty() || part == u"." || part == u".." || part.find(u'/') != std::u16string_view::npos ||
        part.find(u'\0') != std::u16string_view::npos) {
      return false;
    }
    path.push_back(u'/');
    path.append(part);
    start = end + 1;
  }
  return true;
}

}  // namespace

bool ReadRegistryValue(std::u16string_view subKey, std::u16string_view valueName, std::u16string& value,
                       std::size_t byteSize, RegistryRoot) {
  std::u16string path = StoreRoot() + u"/HKEY_LOCAL_MACHINE";
  if (!AppendParts(path, subKey) || !AppendParts(path, valueName)) return false;
  // A value of n UTF-16 units takes at most 3n bytes of UTF-8, so a file
  // longer than what the buffer's units can take cannot fit: it is refused
  // before more than that is read, however large it claims to be.
  const std::size_t units = byteSize / sizeof(char16_t);
  std::vector<uint8_t> bytes(units > 0 ? 3 * (units - 1) : 0);
  const int64_t size = ReadWholeFile(path, std::span<uint8_t>(bytes), 0);
  std::u16string text;
  if (size > 0) {
    // A folder's name may be in another encoding than UTF-8: its bytes are
    // kept, so that the folder is found as the setup program wrote it.
    text = BytesToUtf16Escaped(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), static_cast<std::size_t>(size)));
  } else {
    // Only an empty regular file is an empty value; a missing, too long or
    // unreadable one, or something else than a regular file, is no value.
    FileHandle file;
    if (file.OpenForRead(path) != 0) return false;
  }
  const auto end = text.find(u'\0');
  if (end != std::u16string::npos) text.resize(end);
  if ((text.size() + 1) * sizeof(char16_t) > byteSize) return false;
  value = std::move(text);
  return true;
}
