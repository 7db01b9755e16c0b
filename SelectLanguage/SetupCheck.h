// The checks of a setup program's bytes against what the configuration says
// of them (net/GameSettings.h, SetupCheck): the size and the SHA-256, taken
// as the body arrives, so the file is never read a second time.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "net/GameSettings.h"
#include "net/Sha256.h"

// What the downloaded file must be; nothing given is nothing checked.
struct ExpectedSetup {
  std::optional<Sha256Digest> sha256;
  std::optional<uint64_t> size;
};

// How a setup download ended. Every value but kDownloaded is a failed
// download: message 2027 carries it as its wParam, so the plain failure
// keeps the 0 it always had; kChanged stays the last.
enum class SetupDownloadEnd : uint8_t {
  kFailed,  // the download itself failed
  kDownloaded,
  kNoChecksum,        // a build with keys, and the configuration gives the language no SHA-256
  kMalformedCheck,    // the language's SHA-256 or size is neither empty nor well formed
  kSizeDiffers,       // announced, sent or whole: not the configuration's size
  kChecksumDiffers,   // the whole body's SHA-256 is not the configuration's
  kProxyCredentials,  // the system's proxy asked for credentials that could not be given
  kNoRoom,            // the file's folder cannot take the file's announced or expected size
  kDiskFull,          // a write failed on the way with the disk full
  kChanged,           // the file at the setup's name is no longer the one checked
};

// The log entry that names why a setup download failed; empty for a failure
// that the entry "Failed to load setup file." already tells.
std::u16string_view SetupFailureEntry(SetupDownloadEnd end);

// What a language's download must meet. In a build with keys (checksumRequired)
// a language without a SHA-256 cannot be downloaded at all; a malformed value
// is never taken for none.
SetupDownloadEnd ExpectationFor(const SetupCheck& check, bool checksumRequired, ExpectedSetup& expected);

// Follows the body of one download as it arrives: its length against the
// size, its bytes into the running hash. A resumed body goes on with the
// running hash; a body that starts the file again starts it again.
class BodyCheck {
 public:
  explicit BodyCheck(const ExpectedSetup& expected) : expected_(expected) {}

  std::optional<uint64_t> Size() const { return expected_.size; }
  // Whether a whole file of `total` bytes (when announced) can be the one expected.
  bool TotalFits(std::optional<uint64_t> total) const;
  // Whether `more` bytes can follow what has come without passing the size.
  bool Fits(uint64_t more) const;
  // Takes the next bytes of the file (after Fits).
  void Add(std::string_view bytes);
  // The file starts over from its first byte.
  void StartOver();
  // The whole file has come: kDownloaded when its size and hash are the
  // expected ones.
  SetupDownloadEnd Verdict();

 private:
  ExpectedSetup expected_;
  Sha256Hasher hasher_;
  uint64_t seen_ = 0;
  bool hashFailed_ = false;
};
