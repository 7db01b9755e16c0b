// Whether a configuration file may be used: its last line, its signature by
// a trusted key, its expiry time, and a build without keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/ConfigTrust.h"
#include "tests/net/SignedFixtures.h"

namespace {

using SignedFixtures::kBody;
using SignedFixtures::SignedFile;

constexpr int64_t kBeforeExpiry = SignedFixtures::kExpires - 3600;

TEST(SignatureLine, TheLastLineEndsWithCrLfOrTheEndOfTheFile) {
  for (const std::string& file : {std::string("A=1\r\nSIG_P256=abc=\r\n"), std::string("A=1\r\nSIG_P256=abc=")}) {
    const SignatureLine line = SplitSignatureLine(file);
    EXPECT_EQ(line.signedBytes, "A=1\r\n");
    ASSERT_TRUE(line.base64);
    EXPECT_EQ(*line.base64, "abc=");
  }
  const SignatureLine alone = SplitSignatureLine("SIG_P256=x");
  EXPECT_EQ(alone.signedBytes, "");
  EXPECT_EQ(alone.base64.value_or("<none>"), "x");
}

TEST(SignatureLine, OnlyTheVeryLastLineCounts) {
  // An empty line behind the signature makes the last line empty.
  EXPECT_FALSE(SplitSignatureLine("A=1\r\nSIG_P256=abc=\r\n\r\n").base64);
  // A signature line above another line is just a line of the body.
  EXPECT_FALSE(SplitSignatureLine("SIG_P256=abc=\r\nA=1\r\n").base64);
  EXPECT_FALSE(SplitSignatureLine(" SIG_P256=abc=\r\n").base64);
  EXPECT_FALSE(SplitSignatureLine("").base64);
  // LF alone ends no line: the signature line runs to the end and keeps it.
  const SignatureLine lf = SplitSignatureLine("A=1\nSIG_P256=abc=\n");
  EXPECT_FALSE(lf.base64);
  const SignatureLine lfEnd = SplitSignatureLine("A=1\r\nSIG_P256=abc=\n");
  EXPECT_EQ(lfEnd.base64.value_or("<none>"), "abc=\n");
}

TEST(ConfigExpiry, DigitsOnlyAndTheFirstOccurrenceWins) {
  EXPECT_FALSE(ReadConfigExpiry("A=1\r\n").present);
  const ConfigExpiry plain = ReadConfigExpiry("A=1\r\nX_EXPIRES=1900000000");
  EXPECT_TRUE(plain.present && plain.readable);
  EXPECT_EQ(plain.seconds, 1900000000);
  // The first occurrence wins, even inside a comment.
  EXPECT_EQ(ReadConfigExpiry("; X_EXPIRES=5\r\nX_EXPIRES=1900000000\r\n").seconds, 5);
  EXPECT_EQ(ReadConfigExpiry("X_EXPIRES=000000000000000042\r\n").seconds, 42);
  for (const char* bad :
       {"X_EXPIRES=\r\n", "X_EXPIRES= 1900000000\r\n", "X_EXPIRES=1900000000 \r\n", "X_EXPIRES=+1900000000\r\n",
        "X_EXPIRES=-1\r\n", "X_EXPIRES=19e8\r\n", "X_EXPIRES=1234567890123456789\r\n", "X_EXPIRES=1900000000\n"}) {
    SCOPED_TRACE(bad);
    const ConfigExpiry expiry = ReadConfigExpiry(bad);
    EXPECT_TRUE(expiry.present);
    EXPECT_FALSE(expiry.readable);
  }
  // Searched like every key: in the text up to its first zero byte.
  EXPECT_FALSE(ReadConfigExpiry(std::string("A=1\r\n\0X_EXPIRES=1\r\n", 20)).present);
}

class ConfigCheckTest : public ::testing::Test {
 protected:
  SettingsOutcome Check(const std::string& file, std::vector<P256PublicKey> keys, int64_t now = kBeforeExpiry) {
    usable_ = "<untouched>";
    return CheckGameConfiguration(file, keys, now, usable_);
  }
  const std::vector<P256PublicKey> key1_{SignedFixtures::Key1()};
  std::string_view usable_;
};

TEST_F(ConfigCheckTest, ASignatureByATrustedKeyPassesAndOnlyTheSignedBytesAreUsed) {
  const std::string file = SignedFile();
  EXPECT_EQ(Check(file, key1_), SettingsOutcome::kLoaded);
  EXPECT_EQ(usable_, kBody);
  // Without the final line end too.
  const std::string withoutLineEnd = file.substr(0, file.size() - 2);
  EXPECT_EQ(Check(withoutLineEnd, key1_), SettingsOutcome::kLoaded);
  EXPECT_EQ(usable_, kBody);
}

TEST_F(ConfigCheckTest, AnyTrustedKeyMaySign) {
  const std::vector<P256PublicKey> both{SignedFixtures::Key1(), SignedFixtures::Key2()};
  EXPECT_EQ(Check(SignedFile(SignedFixtures::kSignatureByKey2), both), SettingsOutcome::kLoaded);
  EXPECT_EQ(Check(SignedFile(SignedFixtures::kSignatureByKey1), both), SettingsOutcome::kLoaded);
}

TEST_F(ConfigCheckTest, EveryTamperedFileIsRefusedWithItsCauseAndNothingIsUsable) {
  const std::string good = SignedFile();
  std::string body = good;
  body[40] ^= 0x01;  // inside U_PATH_ZKEN's value
  std::string signature = good;
  signature[good.size() - 20] = signature[good.size() - 20] == 'A' ? 'B' : 'A';  // inside s
  struct Case {
    const char* name;
    std::string file;
    std::vector<P256PublicKey> keys;
    SettingsOutcome outcome;
  };
  const std::vector<Case> cases = {
      {"a byte of the body", body, key1_, SettingsOutcome::kNotTrusted},
      {"a byte of the signature", signature, key1_, SettingsOutcome::kNotTrusted},
      {"no signature line", std::string(kBody), key1_, SettingsOutcome::kNoSignature},
      {"a line behind the signature", good + "A=1\r\n", key1_, SettingsOutcome::kNoSignature},
      {"an untrusted key", good, {SignedFixtures::Key2()}, SettingsOutcome::kNotTrusted},
      {"not base64", std::string(kBody) + "SIG_P256=MEUC*\r\n", key1_, SettingsOutcome::kMalformedSignature},
      {"base64 of no DER", std::string(kBody) + "SIG_P256=YWJj\r\n", key1_, SettingsOutcome::kMalformedSignature},
      {"an empty signature", std::string(kBody) + "SIG_P256=\r\n", key1_, SettingsOutcome::kMalformedSignature},
      {"a blank behind it", std::string(kBody) + "SIG_P256=" + std::string(SignedFixtures::kSignatureByKey1) + " \r\n",
       key1_, SettingsOutcome::kMalformedSignature},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Check(c.file, c.keys), c.outcome);
    EXPECT_EQ(usable_, "<untouched>");
  }
}

TEST_F(ConfigCheckTest, PastItsExpiryTheFileIsRefusedEvenWhenSigned) {
  EXPECT_EQ(Check(SignedFile(), key1_, SignedFixtures::kExpires), SettingsOutcome::kLoaded);  // up to the second itself
  EXPECT_EQ(Check(SignedFile(), key1_, SignedFixtures::kExpires + 1), SettingsOutcome::kExpired);
  EXPECT_EQ(usable_, "<untouched>");
}

TEST_F(ConfigCheckTest, ABuildWithoutKeysIgnoresTheLineButKeepsTheExpiry) {
  // The line is not checked at all, however broken, and the whole file is used.
  for (const std::string& file : {SignedFile(), std::string(kBody), std::string(kBody) + "SIG_P256=not base64\r\n"}) {
    EXPECT_EQ(Check(file, {}), SettingsOutcome::kLoaded);
    EXPECT_EQ(usable_, file);
  }
  EXPECT_EQ(Check(std::string(kBody), {}, SignedFixtures::kExpires + 1), SettingsOutcome::kExpired);
  EXPECT_EQ(Check("X_EXPIRES=soon\r\n", {}), SettingsOutcome::kUnreadableExpiry);
}

TEST(SettingsRefusal, EachRefusalHasItsOwnEntryAndTheOthersNone) {
  EXPECT_TRUE(SettingsRefusalEntry(SettingsOutcome::kLoaded).empty());
  EXPECT_TRUE(SettingsRefusalEntry(SettingsOutcome::kNotFetched).empty());
  EXPECT_TRUE(SettingsRefusalEntry(SettingsOutcome::kIncomplete).empty());
  std::vector<std::u16string_view> entries;
  for (const SettingsOutcome outcome :
       {SettingsOutcome::kNoSignature, SettingsOutcome::kMalformedSignature, SettingsOutcome::kNotTrusted,
        SettingsOutcome::kUnreadableExpiry, SettingsOutcome::kExpired}) {
    const std::u16string_view entry = SettingsRefusalEntry(outcome);
    EXPECT_FALSE(entry.empty());
    for (const auto& earlier : entries) EXPECT_NE(entry, earlier);
    entries.push_back(entry);
  }
  EXPECT_NE(SettingsRefusalEntry(SettingsOutcome::kExpired).find(u"clock"), std::u16string_view::npos);
}

}  // namespace
