// config-dump: prints what the installer reads from a configuration file, as
// JSON, through the installer's own code: the verdict on the file, the
// fifteen values, each language's hash and size and mirrors, and the expiry
// time.
//
//   config-dump [--key PUBLIC.pem]... FILE
//
// With --key, those keys are trusted; without, the ones this build trusts.
// The values are read from every byte before the signature line (the whole
// file where there is none, or where no key is trusted), whatever the
// verdict, so that a refused file can still be compared. Exit status 0 when
// the file was read, 2 for a wrong command line, an unreadable file or a key
// that is no P-256 public key.
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/Base64.h"
#include "net/ConfigTrust.h"
#include "net/GameSettings.h"
#include "net/Text.h"

using namespace std::string_view_literals;

namespace {

// The DER SubjectPublicKeyInfo of a P-256 key: this header (its last byte
// a zero, which the literal's length keeps), then the point; the same rule
// as the build's (cmake/ConfigKeys.cmake).
constexpr std::string_view kP256Header =
    "\x30\x59\x30\x13\x06\x07\x2a\x86\x48\xce\x3d\x02\x01\x06\x08\x2a\x86\x48\xce\x3d\x03\x01\x07\x03\x42\x00"sv;

std::optional<std::string> ReadFile(const char* path, std::size_t limit) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return std::nullopt;
  std::string bytes;
  char piece[65536];
  std::size_t got = 0;
  while (bytes.size() <= limit && (got = std::fread(piece, 1, sizeof piece, file)) > 0) bytes.append(piece, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  return bytes;
}

// A PEM "PUBLIC KEY" that is an uncompressed P-256 point; nothing otherwise.
std::optional<P256PublicKey> ReadPublicKey(std::string_view pem) {
  constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
  constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";
  const auto begin = pem.find(kBegin);
  const auto end = pem.find(kEnd);
  if (begin == std::string_view::npos || end == std::string_view::npos || end < begin) return std::nullopt;
  std::string base64;
  for (const char c : pem.substr(begin + kBegin.size(), end - begin - kBegin.size())) {
    if (c != '\r' && c != '\n') base64.push_back(c);
  }
  const auto der = DecodeBase64(base64);
  P256PublicKey key{};
  if (!der || der->size() != kP256Header.size() + key.size() ||
      std::string_view(reinterpret_cast<const char*>(der->data()), kP256Header.size()) != kP256Header) {
    return std::nullopt;
  }
  std::copy(der->begin() + kP256Header.size(), der->end(), key.begin());
  return key;
}

std::string Json(std::u16string_view text) {
  std::string out = "\"";
  for (const char c : Utf16ToUtf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

const char* VerdictName(SettingsOutcome outcome) {
  switch (outcome) {
    case SettingsOutcome::kLoaded: return "loaded";
    case SettingsOutcome::kNotFetched:
    case SettingsOutcome::kProxyCredentials: return "not fetched";  // a file is read: no proxy is asked
    case SettingsOutcome::kIncomplete: return "incomplete";
    case SettingsOutcome::kNoSignature: return "not signed";
    case SettingsOutcome::kMalformedSignature: return "malformed signature";
    case SettingsOutcome::kNotTrusted: return "not trusted";
    case SettingsOutcome::kUnreadableExpiry: return "unreadable expiry";
    case SettingsOutcome::kExpired: return "expired";
  }
  return "unknown";
}

const char* SignatureName(SettingsOutcome outcome, bool keys) {
  if (!keys) return "not checked";
  switch (outcome) {
    case SettingsOutcome::kNotFetched:
    case SettingsOutcome::kProxyCredentials: return "not checked";
    case SettingsOutcome::kNoSignature: return "not signed";
    case SettingsOutcome::kMalformedSignature: return "malformed";
    case SettingsOutcome::kNotTrusted: return "does not match";
    default: return "verified";
  }
}

std::string Given(SetupCheck::Given given, const std::string& value) {
  return given == SetupCheck::Given::kNone ? "null" : given == SetupCheck::Given::kMalformed ? "\"malformed\"" : value;
}

std::string Hex(const Sha256Digest& digest) {
  std::string hex = "\"";
  for (const uint8_t byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex + "\"";
}

void Dump(std::string_view file, std::span<const P256PublicKey> keys) {
  std::string_view usable;
  SettingsOutcome outcome = SettingsOutcome::kNotFetched;
  // What the fetch refuses never reaches the checks: empty, or over the limit.
  if (!file.empty() && file.size() <= kMaxGameConfigBytes) {
    outcome = CheckGameConfiguration(file, keys, std::time(nullptr), usable);
  }
  std::string_view read = file;
  if (!keys.empty()) {
    const SignatureLine line = SplitSignatureLine(file);
    if (line.base64) read = line.signedBytes;
  }
  if (outcome == SettingsOutcome::kNotFetched) read = {};
  GameSettings settings{};
  const bool complete = !read.empty() && ParseGameSettings(read, settings);
  if (outcome == SettingsOutcome::kLoaded && !complete) outcome = SettingsOutcome::kIncomplete;

  const std::u16string text = read.empty() ? std::u16string() : DecodeGameConfigText(read);
  const ConfigExpiry expiry = ReadConfigExpiry(read);
  std::printf("{\n  \"verdict\": \"%s\",\n  \"signature\": \"%s\",\n  \"trusted_keys\": %zu,\n", VerdictName(outcome),
              SignatureName(outcome, !keys.empty()), keys.size());
  std::printf("  \"read_bytes\": %zu,\n  \"complete\": %s,\n  \"expiry\": %s,\n  \"values\": {\n", read.size(),
              complete ? "true" : "false",
              !expiry.present    ? "null"
              : !expiry.readable ? "\"unreadable\""
                                 : std::to_string(expiry.seconds).c_str());
  for (std::size_t i = 0; i < kGameSettingsKeys; ++i) {
    const std::u16string_view key = GameSettingsKey(i);
    const auto value = FindConfigValue(text, key);
    std::printf("    %s: %s%s\n", Json(key).c_str(), value ? Json(*value).c_str() : "null",
                i + 1 < kGameSettingsKeys ? "," : "");
  }
  std::printf("  },\n  \"checks\": [\n");
  for (int slot = 0; slot < kLanguageSlots; ++slot) {
    const SetupCheck check = ReadSetupCheck(text, slot);
    std::printf("    {\"sha256\": %s, \"size\": %s}%s\n", Given(check.sha256Given, Hex(check.sha256)).c_str(),
                Given(check.sizeGiven, std::to_string(check.size)).c_str(), slot + 1 < kLanguageSlots ? "," : "");
  }
  // The mirrors the download takes: none for an empty value or one too long.
  std::printf("  ],\n  \"mirrors\": [\n");
  for (int slot = 0; slot < kLanguageSlots; ++slot) {
    std::string row;
    for (int n = 0; n < kMirrorPaths; ++n) {
      const auto value = FindConfigValue(text, MirrorPathKey(slot, n));
      const bool taken = value && !value->empty() && FitsField(value->size(), kUrlFieldUnits);
      row += (n > 0 ? ", " : "") + (taken ? Json(*value) : std::string("null"));
    }
    std::printf("    [%s]%s\n", row.c_str(), slot + 1 < kLanguageSlots ? "," : "");
  }
  std::printf("  ]\n}\n");
}

int Usage() {
  std::fprintf(stderr, "usage: config-dump [--key PUBLIC.pem]... FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<P256PublicKey> keys;
  bool keysGiven = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--key" && i + 1 < argc) {
      const char* keyPath = argv[++i];
      const auto pem = ReadFile(keyPath, 64 * 1024);
      const auto key = pem ? ReadPublicKey(*pem) : std::nullopt;
      if (!key) {
        std::fprintf(stderr, "config-dump: %s is no uncompressed P-256 (prime256v1) public key in PEM\n", keyPath);
        return 2;
      }
      keys.push_back(*key);
      keysGiven = true;
    } else if (path == nullptr && !arg.starts_with("--")) {
      path = argv[i];
    } else {
      return Usage();
    }
  }
  if (path == nullptr) return Usage();
  const auto file = ReadFile(path, kMaxGameConfigBytes);
  if (!file) {
    std::fprintf(stderr, "config-dump: cannot read %s\n", path);
    return 2;
  }
  const std::span<const P256PublicKey> trusted = keysGiven ? std::span<const P256PublicKey>(keys) : TrustedConfigKeys();
  Dump(*file, trusted);
  return 0;
}
