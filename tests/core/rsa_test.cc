#include "core/rsa.h"

#include <gtest/gtest.h>

#include "core/text.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

struct Key {
  std::string pem;
  Bytes modulus;
  Bytes exponent;
};

class RsaVerify : public ::testing::Test {
 protected:
  static Key MakeKey(int bits, int exponent) {
    Key key;
    static int count = 0;
    key.pem = dir_->File("rsa" + std::to_string(++count) + ".pem");
    CommandResult r =
        RunCommand("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:" + std::to_string(bits) +
                   " -pkeyopt rsa_keygen_pubexp:" + std::to_string(exponent) + " -out " + Quote(key.pem));
    EXPECT_EQ(r.status, 0) << r.output;
    r = RunCommand("openssl rsa -in " + Quote(key.pem) + " -noout -modulus");
    EXPECT_EQ(r.output.rfind("Modulus=", 0), 0u) << r.output;
    key.modulus = HexDecode(r.output.substr(8, r.output.find_last_not_of("\r\n") - 7));
    key.exponent = exponent == 3 ? Bytes{3} : Bytes{1, 0, 1};
    return key;
  }

  static Bytes Sign(const Key& key, const Bytes& data) {
    std::string in = dir_->File("data.bin"), out = dir_->File("sig.bin");
    WriteFileBytes(in, data);
    CommandResult r =
        RunCommand("openssl dgst -sha256 -sign " + Quote(key.pem) + " -out " + Quote(out) + " " + Quote(in));
    EXPECT_EQ(r.status, 0) << r.output;
    return ReadFileBytes(out);
  }

  static void SetUpTestSuite() { dir_ = new TempDir(); }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static TempDir* dir_;
};
TempDir* RsaVerify::dir_ = nullptr;

TEST_F(RsaVerify, AcceptsOpensslSignaturesOfEverySize) {
  const Bytes data = ToBytes("signed attributes stand-in");
  for (int bits : {1024, 2048, 3072, 4096}) {
    for (int exponent : {3, 65537}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, e=" + std::to_string(exponent));
      Key key = MakeKey(bits, exponent);
      ASSERT_EQ(key.modulus.size(), size_t(bits / 8));
      Bytes sig = Sign(key, data);
      EXPECT_TRUE(VerifyRsaPkcs1Sha256(key.modulus, key.exponent, sig, data.data(), data.size()));
      // Leading zero bytes of the exponent change nothing.
      Bytes padded = key.exponent;
      padded.insert(padded.begin(), 3, 0);
      EXPECT_TRUE(VerifyRsaPkcs1Sha256(key.modulus, padded, sig, data.data(), data.size()));
    }
  }
}

TEST_F(RsaVerify, RejectsTampering) {
  Key key = MakeKey(2048, 65537);
  Key other = MakeKey(2048, 65537);
  const Bytes data = ToBytes("the bytes that were signed");
  Bytes sig = Sign(key, data);
  ASSERT_TRUE(VerifyRsaPkcs1Sha256(key.modulus, key.exponent, sig, data.data(), data.size()));

  Bytes changed = data;
  changed[3] ^= 1;
  EXPECT_FALSE(VerifyRsaPkcs1Sha256(key.modulus, key.exponent, sig, changed.data(), changed.size()))
      << "one data byte changed";
  EXPECT_FALSE(VerifyRsaPkcs1Sha256(other.modulus, other.exponent, sig, data.data(), data.size()))
      << "another key's modulus";
  Bytes otherSig = Sign(other, data);
  EXPECT_FALSE(VerifyRsaPkcs1Sha256(key.modulus, key.exponent, otherSig, data.data(), data.size()))
      << "signed with another key";
  Bytes flipped = sig;
  flipped[100] ^= 0x10;
  EXPECT_FALSE(VerifyRsaPkcs1Sha256(key.modulus, key.exponent, flipped, data.data(), data.size()));
  Bytes shorter(sig.begin() + 1, sig.end());
  EXPECT_FALSE(VerifyRsaPkcs1Sha256(key.modulus, key.exponent, shorter, data.data(), data.size()))
      << "signature one byte short";
  EXPECT_FALSE(VerifyRsaPkcs1Sha256(key.modulus, key.exponent, key.modulus, data.data(), data.size()))
      << "signature equal to the modulus";
  Bytes large(sig.size(), 0xFF);
  EXPECT_FALSE(VerifyRsaPkcs1Sha256(key.modulus, key.exponent, large, data.data(), data.size()))
      << "signature above the modulus";
  EXPECT_FALSE(VerifyRsaPkcs1Sha256({}, key.exponent, sig, data.data(), data.size()));
  EXPECT_FALSE(VerifyRsaPkcs1Sha256(key.modulus, {}, sig, data.data(), data.size()));
  EXPECT_FALSE(VerifyRsaPkcs1Sha256(key.modulus, key.exponent, sig, nullptr, 0));
}

TEST_F(RsaVerify, SmallestKeysAndEmptyData) {
  // k = 64 still holds the 51-byte DigestInfo plus 11 bytes of padding; k = 61 cannot.
  Bytes tooSmall(61, 0xC5), sig61(61, 0x01);
  uint8_t empty = 0;
  EXPECT_FALSE(VerifyRsaPkcs1Sha256(tooSmall, {3}, sig61, &empty, 0));
  Key key = MakeKey(512, 65537);
  ASSERT_EQ(key.modulus.size(), 64u);
  Bytes none;
  Bytes sig = Sign(key, none);
  EXPECT_TRUE(VerifyRsaPkcs1Sha256(key.modulus, key.exponent, sig, &empty, 0));
}

TEST(BigNat, ArithmeticAgainstKnownValues) {
  BigNat a = BigNat::FromBytes(HexDecode("0123456789ABCDEF0011"));
  EXPECT_EQ(a.limbs(), (std::vector<uint32_t>{0xCDEF0011, 0x456789AB, 0x0123}));
  EXPECT_EQ(HexEncode(a.ToBytes(12)), "00000123456789ABCDEF0011");
  BigNat b = BigNat::FromBytes(HexDecode("00000000FFFFFFFFFFFF"));
  BigNat c = BigNat::FromBytes(HexDecode("FFFFFFFFFFFF"));
  EXPECT_EQ(BigNat::Compare(b, c), 0);  // leading zero limbs are ignored
  EXPECT_EQ(HexEncode(BigNat::Multiply(b, c).ToBytes(12)), "FFFFFFFFFFFE000000000001");
  BigNat m = BigNat::FromBytes(HexDecode("010000000000000001"));
  // 2^64 = -1 (mod 2^64 + 1), so 2^96 - 1 = -2^32 - 1 = 2^64 - 2^32.
  BigNat x = BigNat::FromBytes(HexDecode("FFFFFFFFFFFFFFFFFFFFFFFF"));
  EXPECT_EQ(HexEncode(BigNat::Remainder(x, m).ToBytes(9)), "00FFFFFFFF00000000");
  EXPECT_EQ(HexEncode(BigNat::Remainder(x, BigNat::FromBytes(HexDecode("0A"))).ToBytes(1)), "05");

  // PowMod's Montgomery path (odd moduli) agrees with square-and-multiply by the schoolbook
  // product and remainder, which even moduli still take.
  const BigNat base = BigNat::FromBytes(HexDecode("0FEDCBA9876543210FEDCBA987654321"));
  for (const char* modulus : {"F123456789ABCDEF0123456789ABCDEF01", "F123456789ABCDEF0123456789ABCDEF02"}) {
    SCOPED_TRACE(modulus);
    const BigNat n = BigNat::FromBytes(HexDecode(modulus));
    BigNat expected = BigNat::FromBytes(Bytes{1});
    for (int bit = 16; bit >= 0; --bit) {
      expected = BigNat::Remainder(BigNat::Multiply(expected, expected), n);
      if ((65537 >> bit) & 1) expected = BigNat::Remainder(BigNat::Multiply(expected, base), n);
    }
    EXPECT_EQ(HexEncode(BigNat::PowMod(base, BigNat::FromBytes(HexDecode("010001")), n).ToBytes(17)),
              HexEncode(expected.ToBytes(17)));
  }
}

}  // namespace
