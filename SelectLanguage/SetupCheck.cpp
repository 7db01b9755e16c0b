#include "SelectLanguage/SetupCheck.h"

std::u16string_view SetupFailureEntry(SetupDownloadEnd end) {
  switch (end) {
    case SetupDownloadEnd::kNoChecksum: return u"The game settings file gives no checksum for this setup file.";
    case SetupDownloadEnd::kMalformedCheck:
      return u"The game settings file's checksum or size for this setup file is malformed.";
    case SetupDownloadEnd::kSizeDiffers: return u"The setup file's size differs from the game settings file's.";
    case SetupDownloadEnd::kChecksumDiffers:
      return u"The setup file's checksum differs from the game settings file's: it was changed.";
    case SetupDownloadEnd::kProxyCredentials:
      return u"The setup file could not be fetched: a proxy asked for credentials, and none that it accepts were "
             u"given.";
    case SetupDownloadEnd::kNoRoom: return u"There is not enough free disk space for the setup file.";
    case SetupDownloadEnd::kDiskFull: return u"The disk became full while the setup file was written.";
    case SetupDownloadEnd::kChanged: return u"The setup file was replaced after it was checked.";
    case SetupDownloadEnd::kDownloaded:
    case SetupDownloadEnd::kFailed: break;
  }
  return {};
}

SetupDownloadEnd ExpectationFor(const SetupCheck& check, bool checksumRequired, ExpectedSetup& expected) {
  expected = {};
  if (check.sha256Given == SetupCheck::Given::kMalformed || check.sizeGiven == SetupCheck::Given::kMalformed) {
    return SetupDownloadEnd::kMalformedCheck;
  }
  if (check.sha256Given == SetupCheck::Given::kValue) expected.sha256 = check.sha256;
  if (check.sizeGiven == SetupCheck::Given::kValue) expected.size = check.size;
  if (checksumRequired && !expected.sha256) return SetupDownloadEnd::kNoChecksum;
  return SetupDownloadEnd::kDownloaded;
}

bool BodyCheck::TotalFits(std::optional<uint64_t> total) const {
  return !expected_.size || !total || *total == *expected_.size;
}

bool BodyCheck::Fits(uint64_t more) const { return !expected_.size || more <= *expected_.size - seen_; }

void BodyCheck::Add(std::string_view bytes) {
  seen_ += bytes.size();
  if (expected_.sha256 && !hashFailed_) hashFailed_ = !hasher_.Update(bytes);
}

void BodyCheck::StartOver() {
  seen_ = 0;
  hashFailed_ = false;
  hasher_.Reset();
}

SetupDownloadEnd BodyCheck::Verdict() {
  if (expected_.size && seen_ != *expected_.size) return SetupDownloadEnd::kSizeDiffers;
  if (!expected_.sha256) return SetupDownloadEnd::kDownloaded;
  // A hash that could not be taken proves nothing: the file is not taken either.
  const auto digest = hashFailed_ ? std::nullopt : hasher_.Final();
  return digest && *digest == *expected_.sha256 ? SetupDownloadEnd::kDownloaded : SetupDownloadEnd::kChecksumDiffers;
}
