// The readers under the configuration's signature: strict base64, the
// strict DER reader, and the platform's SHA-256 and P-256 verification.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/Base64.h"
#include "net/DerSignature.h"
#include "net/SignatureVerify.h"
#include "tests/net/SignedFixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Text(const std::optional<Bytes>& bytes) {
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
}

TEST(Base64, DecodesEveryPaddingLength) {
  EXPECT_EQ(Text(DecodeBase64("")), "");
  EXPECT_EQ(Text(DecodeBase64("YQ==")), "a");
  EXPECT_EQ(Text(DecodeBase64("YWI=")), "ab");
  EXPECT_EQ(Text(DecodeBase64("YWJj")), "abc");
  EXPECT_EQ(Text(DecodeBase64("+/+/")), "\xFB\xFF\xBF");
}

TEST(Base64, OnlyTheCanonicalSpellingDecodes) {
  for (const char* text : {"YQ",        // padding left out
                           "YQ=",       // length not a multiple of four
                           "YR==",      // bits behind the last byte are not zero
                           "YWJ=",      // the same with one "="
                           "Y===",      // one letter cannot make a byte
                           "====",      //
                           "YQ==YWJj",  // "=" before the end
                           "YW=j",      //
                           "YWJj\r\n",  // a line break
                           " YWJj",     // a blank
                           "YW-j",      // the URL-safe alphabet is another one
                           "YW_j"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(DecodeBase64(text));
  }
}

// r = 0x7D.., s = 0xA9.. (needs its zero byte): a 71-byte signature.
Bytes Der(const Bytes& r, const Bytes& s) {
  Bytes out;
  out.reserve(6 + r.size() + s.size());  // one block: mingw's gcc 12 misreads the growth of a small one
  out.insert(out.end(), {0x30, static_cast<uint8_t>(4 + r.size() + s.size()), 0x02, static_cast<uint8_t>(r.size())});
  out.insert(out.end(), r.begin(), r.end());
  out.push_back(0x02);
  out.push_back(static_cast<uint8_t>(s.size()));
  out.insert(out.end(), s.begin(), s.end());
  return out;
}

Bytes Scalar(uint8_t first, std::size_t size, uint8_t fill = 0x11) {
  Bytes value(size, fill);
  value[0] = first;
  return value;
}

Bytes WithZero(Bytes value) {
  value.insert(value.begin(), 0x00);
  return value;
}

TEST(DerSignature, ReadsRAndSIntoThirtyTwoBytesEach) {
  const auto signature = ReadDerSignature(Der(Scalar(0x7D, 32), WithZero(Scalar(0xA9, 32))));
  ASSERT_TRUE(signature);
  EXPECT_EQ((*signature)[0], 0x7D);
  EXPECT_EQ((*signature)[31], 0x11);
  EXPECT_EQ((*signature)[32], 0xA9);
  EXPECT_EQ((*signature)[63], 0x11);
}

TEST(DerSignature, ShortIntegersAreLeftPaddedAndBothPaddedMakeSeventyTwoBytes) {
  const auto small = ReadDerSignature(Der({0x01}, {0x05, 0x06}));
  ASSERT_TRUE(small);
  Bytes r(32, 0), s(32, 0);
  r[31] = 0x01;
  s[30] = 0x05;
  s[31] = 0x06;
  EXPECT_EQ(Bytes(small->begin(), small->begin() + 32), r);
  EXPECT_EQ(Bytes(small->begin() + 32, small->end()), s);
  const Bytes longest = Der(WithZero(Scalar(0x80, 32)), WithZero(Scalar(0xFF, 32, 0x00)));
  ASSERT_EQ(longest.size(), kMaxDerSignatureBytes);
  EXPECT_TRUE(ReadDerSignature(longest));
}

TEST(DerSignature, LeadingZerosOnlyWhereTheTopBitNeedsThem) {
  EXPECT_FALSE(ReadDerSignature(Der(WithZero(Scalar(0x7D, 32)), Scalar(0x01, 32))));            // zero not needed
  EXPECT_FALSE(ReadDerSignature(Der(Scalar(0x01, 32), WithZero(WithZero(Scalar(0x80, 32))))));  // two zeros
  EXPECT_FALSE(ReadDerSignature(Der({0x00, 0x05}, {0x01})));  // short, zero not needed
}

TEST(DerSignature, NegativeZeroAndOutOfRangeScalarsAreRefused) {
  EXPECT_FALSE(ReadDerSignature(Der(Scalar(0xA9, 32), Scalar(0x01, 32))));  // top bit set: negative
  EXPECT_FALSE(ReadDerSignature(Der({0xFF}, {0x01})));                      // -1
  EXPECT_FALSE(ReadDerSignature(Der({0x00}, {0x01})));                      // r = 0
  EXPECT_FALSE(ReadDerSignature(Der({0x01}, {0x00})));                      // s = 0
  EXPECT_FALSE(ReadDerSignature(Der({0x01}, {})));                          // an INTEGER without bytes
  const Bytes order = WithZero(SignedFixtures::CurveOrder());
  Bytes belowOrder = order;
  belowOrder.back() -= 1;
  EXPECT_FALSE(ReadDerSignature(Der(order, {0x01})));  // r = n
  EXPECT_FALSE(ReadDerSignature(Der({0x01}, order)));  // s = n
  EXPECT_TRUE(ReadDerSignature(Der(belowOrder, belowOrder)));
}

TEST(DerSignature, OverLongFormsAreRefused) {
  EXPECT_FALSE(ReadDerSignature(Der(Scalar(0x01, 33), {0x01})));            // 33 bytes without a zero in front
  EXPECT_FALSE(ReadDerSignature(Der(WithZero(Scalar(0x01, 33)), {0x01})));  // 34
  // A long-form length, even of a short value.
  const Bytes r = Scalar(0x7D, 32);
  Bytes longForm;
  longForm.reserve(64);
  longForm.insert(longForm.end(), {0x30, 0x81, 0x26, 0x02, 0x20});
  longForm.insert(longForm.end(), r.begin(), r.end());
  longForm.insert(longForm.end(), {0x02, 0x01, 0x01});
  EXPECT_FALSE(ReadDerSignature(longForm));
  Bytes longInteger;
  longInteger.reserve(64);
  longInteger.insert(longInteger.end(), {0x30, 0x26, 0x02, 0x81, 0x20});
  longInteger.insert(longInteger.end(), r.begin(), r.end());
  longInteger.insert(longInteger.end(), {0x02, 0x01, 0x01});
  EXPECT_FALSE(ReadDerSignature(longInteger));
  EXPECT_FALSE(ReadDerSignature(Bytes(73, 0x30)));
}

TEST(DerSignature, TrailingOrMissingBytesAndWrongTagsAreRefused) {
  const Bytes good = Der(Scalar(0x7D, 32), Scalar(0x21, 32));
  ASSERT_TRUE(ReadDerSignature(good));
  Bytes trailing = good;
  trailing.push_back(0x00);
  EXPECT_FALSE(ReadDerSignature(trailing));  // behind the SEQUENCE
  Bytes inside = good;
  inside[1] += 2;
  inside.insert(inside.end(), {0x05, 0x00});
  EXPECT_FALSE(ReadDerSignature(inside));  // a third element inside it
  EXPECT_FALSE(ReadDerSignature(Bytes(good.begin(), good.end() - 1)));
  Bytes lengthTooLong = good;
  lengthTooLong[1] += 1;
  EXPECT_FALSE(ReadDerSignature(lengthTooLong));
  for (const std::size_t at : {std::size_t{0}, std::size_t{2}, std::size_t{36}}) {
    Bytes tag = good;
    tag[at] ^= 0x20;  // SEQUENCE into 0x10, INTEGER into 0x22
    EXPECT_FALSE(ReadDerSignature(tag)) << at;
  }
  Bytes rLongerThanSequence = good;
  rLongerThanSequence[3] = 0x40;
  EXPECT_FALSE(ReadDerSignature(rLongerThanSequence));
  EXPECT_FALSE(ReadDerSignature(Bytes{}));
  EXPECT_FALSE(ReadDerSignature(Bytes{0x30, 0x00}));
}

TEST(SignatureVerify, Sha256OfKnownTexts) {
  EXPECT_EQ(SignedFixtures::Hex(*Sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(SignedFixtures::Hex(*Sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(SignatureVerify, AcceptsTheSignatureOnlyWithItsKeyAndBytes) {
  const auto signature = ReadDerSignature(*DecodeBase64(SignedFixtures::kSignatureByKey1));
  ASSERT_TRUE(signature);
  const Sha256Digest digest = *Sha256(SignedFixtures::kBody);
  EXPECT_TRUE(VerifyP256(digest, *signature, SignedFixtures::Key1()));
  EXPECT_FALSE(VerifyP256(digest, *signature, SignedFixtures::Key2()));
  Sha256Digest otherDigest = digest;
  otherDigest[7] ^= 0x01;
  EXPECT_FALSE(VerifyP256(otherDigest, *signature, SignedFixtures::Key1()));
  P256Signature otherSignature = *signature;
  otherSignature[40] ^= 0x01;
  EXPECT_FALSE(VerifyP256(digest, otherSignature, SignedFixtures::Key1()));
}

TEST(SignatureVerify, AKeyThatIsNoPointOfTheCurveVerifiesNothing) {
  const auto signature = ReadDerSignature(*DecodeBase64(SignedFixtures::kSignatureByKey1));
  ASSERT_TRUE(signature);
  const Sha256Digest digest = *Sha256(SignedFixtures::kBody);
  P256PublicKey offCurve = SignedFixtures::Key1();
  offCurve[64] ^= 0x01;  // Y no longer matches X
  EXPECT_FALSE(VerifyP256(digest, *signature, offCurve));
  P256PublicKey compressedTag = SignedFixtures::Key1();
  compressedTag[0] = 0x02;
  EXPECT_FALSE(VerifyP256(digest, *signature, compressedTag));
  EXPECT_FALSE(VerifyP256(digest, *signature, P256PublicKey{}));
}

}  // namespace
