#include "platform/posix/EmbeddedResources.h"
#include "net/Text.h"
#include "resources/ProgramResources.h"

std::span<const uint8_t> FindProgramResource(std::u16string_view type, int id) {
  for (unsigned i = 0; i < kEmbeddedResourceCount; ++i) {
    const EmbeddedResource& r = kEmbeddedResources[i];
    if (r.id == id && type == r.type) return {r.data, r.size};
  }
  return {};
}

std::u16string LoadProgramString(int id) {
  // Strings are embedded as UTF-8 files of type "STRING".
  const auto bytes = FindProgramResource(u"STRING", id);
  return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}
