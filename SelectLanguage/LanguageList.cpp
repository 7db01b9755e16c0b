#include "SelectLanguage/LanguageList.h"

#include <string_view>

std::vector<std::u16string> ParseLanguageList(std::span<const uint8_t> resource) {
  std::u16string text;
  const std::size_t units = resource.size() / 2;
  for (std::size_t i = 1; i < units; ++i) {  // unit 0 is the byte-order mark
    const auto unit = static_cast<char16_t>(resource[2 * i] | (resource[2 * i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  std::vector<std::u16string> names;
  std::u16string_view rest = text;
  for (;;) {
    const auto end = rest.find(u"\r\n");
    if (end == std::u16string_view::npos) break;
    const std::u16string_view line = rest.substr(0, end);
    if (line != u"한국어") names.emplace_back(line);
    rest.remove_prefix(end + 2);
  }
  return names;
}
