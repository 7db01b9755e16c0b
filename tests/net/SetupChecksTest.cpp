// The setup programs' checks: the SHA-256 taken piece by piece, and the
// configuration keys that name each language's hash and size.
#include <gtest/gtest.h>

#include <string>

#include "net/GameSettings.h"
#include "net/Sha256.h"
#include "tests/net/SignedFixtures.h"

namespace {

TEST(Sha256Hasher, PiecesGiveTheDigestOfTheWholeAndFinalStartsAfresh) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += static_cast<char>(i * 7 % 256);
  Sha256Hasher hasher;
  for (std::size_t at = 0, piece = 1; at < text.size(); at += piece, piece = piece * 3 % 65537 + 1) {
    ASSERT_TRUE(hasher.Update(std::string_view(text).substr(at, piece)));
  }
  EXPECT_EQ(hasher.Final(), Sha256(text));
  ASSERT_TRUE(hasher.Update("abc"));
  EXPECT_EQ(SignedFixtures::Hex(*hasher.Final()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  ASSERT_TRUE(hasher.Update("something else"));
  hasher.Reset();
  EXPECT_EQ(SignedFixtures::Hex(*hasher.Final()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Sha256Hasher, HexDigitsOfEitherCaseAndNothingElse) {
  const std::u16string lower = u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  EXPECT_EQ(ParseSha256Hex(lower), Sha256("abc"));
  EXPECT_EQ(ParseSha256Hex(u"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"), Sha256("abc"));
  EXPECT_FALSE(ParseSha256Hex(lower.substr(1)));
  EXPECT_FALSE(ParseSha256Hex(lower + u"0"));
  std::u16string blankFirst = lower;
  blankFirst[0] = u' ';
  EXPECT_FALSE(ParseSha256Hex(blankFirst));
  EXPECT_FALSE(ParseSha256Hex(lower.substr(0, 63) + u"g"));
}

constexpr char kFifteen[] =
    "U_PATH_ZKEN=a\r\nU_PATH_ZKSC=a\r\nU_PATH_ZKTC=a\r\nU_PATH_ZKRU=a\r\nU_PATH_ZKJP=a\r\n"
    "F_NAME_ZKEN=f\r\nF_NAME_ZKSC=f\r\nF_NAME_ZKTC=f\r\nF_NAME_ZKRU=f\r\nF_NAME_ZKJP=f\r\n"
    "F_NAME_Lst=l\r\nF_NAME_Game=g\r\nF_NAME_Update=u\r\nR_PATH_Root=r\r\nR_PATH_Game=g\r\n";
constexpr char kAbcHash[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

GameSettings Parsed(const std::string& extra) {
  GameSettings settings{};
  EXPECT_TRUE(ParseGameSettings(kFifteen + extra, settings));
  return settings;
}

TEST(ParseSetupChecks, EachLanguageHasItsOwnHashAndSize) {
  const GameSettings s = Parsed(std::string("S_SIZE_ZKRU=123\r\nH_SHA2_ZKRU=") + kAbcHash + "\r\n");
  EXPECT_EQ(s.setupCheck[3].sha256Given, SetupCheck::Given::kValue);
  EXPECT_EQ(s.setupCheck[3].sha256, *Sha256("abc"));
  EXPECT_EQ(s.setupCheck[3].sizeGiven, SetupCheck::Given::kValue);
  EXPECT_EQ(s.setupCheck[3].size, 123u);
  for (const int other : {0, 1, 2, 4}) {
    EXPECT_EQ(s.setupCheck[other].sha256Given, SetupCheck::Given::kNone) << other;
    EXPECT_EQ(s.setupCheck[other].sizeGiven, SetupCheck::Given::kNone) << other;
  }
}

TEST(ParseSetupChecks, TheFirstOccurrenceWinsEvenInsideAComment) {
  const GameSettings s = Parsed("; old: S_SIZE_ZKEN=7\r\nS_SIZE_ZKEN=8\r\n");
  EXPECT_EQ(s.setupCheck[0].size, 7u);
}

TEST(ParseSetupChecks, AnEmptyValueIsNoneAndAnythingButTheirFormIsMalformed) {
  for (const std::string& line : {std::string("H_SHA2_ZKEN=\r\n"), std::string("S_SIZE_ZKEN=\r\n")}) {
    const GameSettings s = Parsed(line);
    EXPECT_EQ(s.setupCheck[0].sha256Given, SetupCheck::Given::kNone) << line;
    EXPECT_EQ(s.setupCheck[0].sizeGiven, SetupCheck::Given::kNone) << line;
  }
  // Nothing is trimmed, as for every other value.
  for (const std::string& hash : {std::string(kAbcHash) + " ", std::string(kAbcHash).substr(2), std::string("x")}) {
    EXPECT_EQ(Parsed("H_SHA2_ZKEN=" + hash + "\r\n").setupCheck[0].sha256Given, SetupCheck::Given::kMalformed) << hash;
  }
  for (const char* size : {" 12", "12 ", "-1", "+1", "0x10", "18446744073709551616"}) {
    EXPECT_EQ(Parsed(std::string("S_SIZE_ZKEN=") + size + "\r\n").setupCheck[0].sizeGiven,
              SetupCheck::Given::kMalformed)
        << size;
  }
  EXPECT_EQ(Parsed("S_SIZE_ZKEN=18446744073709551615\r\n").setupCheck[0].size, UINT64_MAX);
}

// A record used for an earlier try keeps nothing of it.
TEST(ParseSetupChecks, AReusedRecordForgetsTheChecksOfTheLastFile) {
  GameSettings settings{};
  ASSERT_TRUE(ParseGameSettings(std::string(kFifteen) + "S_SIZE_ZKJP=5\r\n", settings));
  ASSERT_TRUE(ParseGameSettings(kFifteen, settings));
  EXPECT_EQ(settings.setupCheck[4].sizeGiven, SetupCheck::Given::kNone);
}

}  // namespace
