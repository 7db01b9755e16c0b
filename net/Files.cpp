// The portable half of the file helpers; the platform half opens, reads and
// writes (files_<platform>.cpp).
#include "net/Files.h"

#include <cstring>

int64_t ReadWholeFile(std::u16string_view path, std::vector<uint8_t>& buffer, uint32_t extra, uint64_t maxBytes) {
  buffer.clear();
  FileHandle file;
  const int64_t size = file.OpenForRead(path);
  if (size <= 0) return -1;  // missing, unopenable or empty
  if (static_cast<uint64_t>(size) > maxBytes) return -1;
  std::vector<uint8_t> data;
  data.resize(static_cast<std::size_t>(size) + extra);  // the extra bytes are zero
  if (!file.ReadExact(data.data(), static_cast<std::size_t>(size))) return -1;
  buffer = std::move(data);
  return size;
}

int64_t ReadWholeFile(std::u16string_view path, std::span<uint8_t> buffer, uint32_t extra) {
  FileHandle file;
  const int64_t size = file.OpenForRead(path);
  if (size <= 0) return -1;
  const auto needed = static_cast<uint64_t>(size) + extra;
  if (needed > buffer.size()) return -1;
  if (!file.ReadExact(buffer.data(), static_cast<std::size_t>(size))) return -1;
  std::memset(buffer.data() + size, 0, extra);
  return size;
}

int WriteWholeFile(std::u16string_view path, const void* data, std::size_t length) {
  FileHandle file;
  if (!file.OpenForWrite(path)) return 0;
  return file.WriteExact(data, length);
}

int GetDirectoryPart(std::u16string& out, std::u16string_view path) {
  const auto end = path.find(u'\0');
  if (end != std::u16string_view::npos) path = path.substr(0, end);
  if (path.size() > kMaxPathUnits) return -1;
  const auto last = path.rfind(kPathSeparator);
  if (last == std::u16string_view::npos || last == 0) return -1;
  out.assign(path.substr(0, last));
  return static_cast<int>(2 * last);
}

int GetModuleDirectory(std::u16string& out) {
  std::u16string module;
  if (GetModulePath(module) < 0) return -1;
  return GetDirectoryPart(out, module);
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  path.push_back(kPathSeparator);
  path.append(name);
  return path;
}

bool FolderBoundary::Contains(std::u16string_view path) {
  const auto separator = path.rfind(kPathSeparator);
  const std::u16string_view parent = separator == std::u16string_view::npos ? std::u16string_view(u".")
                                     : separator == 0                       ? path.substr(0, 1)
                                                                            : path.substr(0, separator);
  if (!lastParent_.empty() && parent == lastParent_) return lastParentInside_;
  const ResolvedPath resolved = Resolve(parent);
  lastParent_.assign(parent);
  lastParentInside_ = folder_ != nullptr && resolved != nullptr && Within(*folder_, *resolved);
  return lastParentInside_;
}

bool FolderBoundary::ContainsResolved(std::u16string_view path) const {
  const ResolvedPath resolved = Resolve(path);
  return folder_ != nullptr && resolved != nullptr && Within(*folder_, *resolved);
}

std::u16string GetApplicationName() {
  std::u16string module;
  if (GetModulePath(module) < 0) return {};
  const auto slash = module.rfind(kPathSeparator);
  std::u16string name = slash == std::u16string::npos ? module : module.substr(slash + 1);
  const auto dot = name.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0) name.resize(dot);
  return name;
}
