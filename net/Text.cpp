#include "net/Text.h"

#include <algorithm>
#include <optional>

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEscapedByteBase = 0xDC80;  // stands for byte 0x80

void AppendCodePoint(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// One UTF-8 sequence at `at`: its code point and length, or nothing when
// the bytes there do not start a valid, shortest-form sequence.
struct Decoded {
  char32_t cp;
  std::size_t length;
};

std::optional<Decoded> DecodeUtf8At(std::string_view in, std::size_t at) {
  const auto lead = static_cast<unsigned char>(in[at]);
  if (lead < 0x80) return Decoded{lead, 1};
  std::size_t extra = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, cp = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, cp = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (at + extra >= in.size()) return std::nullopt;
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto c = static_cast<unsigned char>(in[at + k]);
    if ((c & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  return Decoded{cp, extra + 1};
}

// Length of the maximal bad prefix at `at` that one U+FFFD replaces: the
// lead byte and the continuation bytes that follow it while they could
// still belong to it.
std::size_t BadPrefixLength(std::string_view in, std::size_t at) {
  const auto lead = static_cast<unsigned char>(in[at]);
  const std::size_t extra = (lead >= 0xC2 && lead <= 0xDF)   ? 1
                            : (lead >= 0xE0 && lead <= 0xEF) ? 2
                            : (lead >= 0xF0 && lead <= 0xF4) ? 3
                                                             : 0;
  std::size_t taken = 1;
  while (taken <= extra && at + taken < in.size() && (static_cast<unsigned char>(in[at + taken]) & 0xC0) == 0x80) {
    ++taken;
  }
  return taken;
}

// Decodes UTF-8; at bytes that do not decode, `bad` writes what stands for
// them and says how many it took.
template <typename Bad>
std::u16string DecodeUtf8(std::string_view in, Bad bad) {
  std::u16string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    if (const auto d = DecodeUtf8At(in, i)) {
      AppendCodePoint(out, d->cp);
      i += d->length;
    } else {
      i += bad(out, i);
    }
  }
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view in) {
  // One replacement for the maximal bad prefix; decoding resumes after it.
  return DecodeUtf8(in, [in](std::u16string& out, std::size_t at) {
    out.push_back(kReplacement);
    return BadPrefixLength(in, at);
  });
}

std::u16string BytesToUtf16Escaped(std::string_view in) {
  // One byte at a time, so that every byte comes back as it was.
  return DecodeUtf8(in, [in](std::u16string& out, std::size_t at) {
    out.push_back(static_cast<char16_t>(kEscapedByteBase + static_cast<unsigned char>(in[at]) - 0x80));
    return std::size_t{1};
  });
}

namespace {

// Encodes UTF-16 as UTF-8; a lone surrogate goes to `lone`, which writes
// what stands for it.
template <typename Lone>
std::string EncodeUtf8(std::u16string_view in, Lone lone) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char32_t unit = in[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (in[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      lone(out, static_cast<char16_t>(unit));
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

bool IsEscapedByte(char16_t unit) { return unit >= kEscapedByteBase && unit <= kEscapedByteBase + 0x7F; }

}  // namespace

std::string Utf16ToUtf8(std::u16string_view in) {
  return EncodeUtf8(in, [](std::string& out, char16_t) { AppendUtf8(out, kReplacement); });
}

std::string Utf16ToBytesEscaped(std::u16string_view in) {
  return EncodeUtf8(in, [](std::string& out, char16_t unit) {
    if (IsEscapedByte(unit)) {
      out.push_back(static_cast<char>(unit - kEscapedByteBase + 0x80));
    } else {
      AppendUtf8(out, kReplacement);
    }
  });
}

std::u16string SanitizeLogText(std::u16string_view in) {
  std::u16string out(in);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const char16_t unit = out[i];
    const bool pairStart =
        unit >= 0xD800 && unit <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF;
    if (pairStart) {
      ++i;
    } else if (unit < 0x20 || unit == 0x7F || (unit >= 0xD800 && unit <= 0xDFFF)) {
      out[i] = kReplacement;
    }
  }
  return out;
}

std::u16string FormatText(std::u16string_view format, std::initializer_list<FormatArg> args) {
  return FormatText(format, std::span<const FormatArg>(args.begin(), args.size()));
}

std::u16string FormatText(std::u16string_view format, std::span<const FormatArg> args) {
  std::u16string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char16_t c = format[i];
    if (c != u'%' || i + 1 >= format.size()) {
      out.push_back(c);
      continue;
    }
    const char16_t kind = format[i + 1];
    if (kind == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    const bool wantsNumber = kind == u'd';
    const bool wantsText = kind == u's';
    if ((!wantsNumber && !wantsText) || next == args.end() ||
        (wantsNumber != std::holds_alternative<long long>(*next))) {
      out.push_back(c);
      continue;
    }
    if (wantsNumber) {
      const std::string digits = std::to_string(std::get<long long>(*next));
      out.append(digits.begin(), digits.end());
    } else {
      out.append(std::get<std::u16string_view>(*next));
    }
    ++next;
    ++i;
  }
  return out;
}

std::u16string_view FieldText(std::span<const char16_t> field) {
  const std::u16string_view whole(field.data(), field.size());
  return whole.substr(0, whole.find(u'\0'));
}

bool StoreInField(std::span<char16_t> field, std::u16string_view text) {
  if (!FitsField(text.size(), field.size())) return false;
  text.copy(field.data(), text.size());
  field[text.size()] = u'\0';
  return true;
}
