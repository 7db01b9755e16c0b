// Code page 949, the one decoder of every platform. A byte below 0x80 is
// itself; a lead byte and the byte after it are one character when the
// table says so. Anything else is one U+FFFD for its first byte alone, and
// decoding resumes at the next byte: a bad pair never takes a valid byte
// with it (a CR, a "\" or a key's first letter stays what it is).
#include "net/Cp949Table.h"
#include "net/Text.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The character of the pair at `at`, or 0 when it is none.
char16_t PairAt(std::string_view bytes, std::size_t at) {
  if (at + 1 >= bytes.size()) return 0;
  const unsigned lead = static_cast<unsigned char>(bytes[at]) - kCp949FirstLead;
  const unsigned trail = static_cast<unsigned char>(bytes[at + 1]) - kCp949FirstTrail;
  if (lead >= kCp949Leads || trail >= kCp949Trails) return 0;
  return kCp949Pairs[lead * kCp949Trails + trail];
}

}  // namespace

std::u16string Cp949ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) {
      out.push_back(byte);
      ++i;
    } else if (const char16_t unit = PairAt(bytes, i)) {
      out.push_back(unit);
      i += 2;
    } else {
      out.push_back(kReplacement);
      ++i;
    }
  }
  return out;
}
