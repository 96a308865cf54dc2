#include "core/sha256.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/sha1.h"
#include "core/text.h"

namespace {

std::string Hex(const Sha256Digest& d) {
  return HexEncode(d.data(), d.size());
}

TEST(Sha256, NistVectors) {
  struct Case {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
      {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopq"
       "rstnopqrstu",
       "CF5B16A778AF8380036CE59E7B0492370B249B11E8F07A51AFAC45037AFEE9D1"},
      {std::string(1000000, 'a'), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.substr(0, 20));
    EXPECT_EQ(Hex(Sha256(c.input.data(), c.input.size())), c.digest);
    // The same bytes fed in uneven pieces give the same digest.
    Sha256Context ctx;
    for (size_t pos = 0, step = 1; pos < c.input.size(); pos += step, step = step * 3 % 97 + 1)
      ctx.Update(c.input.data() + pos, std::min(step, c.input.size() - pos));
    EXPECT_EQ(Hex(ctx.Final()), c.digest);
  }
}

// The SHA extension path and the portable one must agree on every length and alignment.
TEST(Sha256, ExtensionPathMatchesPortable) {
  auto extensions = sha256_internal::BlocksShaExtensions();
  if (!extensions) GTEST_SKIP() << "CPU without SHA extensions";
  std::mt19937 rng(7);
  std::vector<uint8_t> data(4096 + 16);
  for (auto& b : data) b = uint8_t(rng());
  auto& active = sha256_internal::Active();
  auto saved = active;
  for (size_t len = 0; len <= 4096; len += (len < 300 ? 1 : 37)) {
    size_t offset = len % 13;  // unaligned starts too
    active = sha256_internal::BlocksPortable;
    Sha256Digest portable = Sha256(data.data() + offset, len);
    active = extensions;
    Sha256Digest fast = Sha256(data.data() + offset, len);
    ASSERT_EQ(portable, fast) << "length " << len;
  }
  active = saved;
}

}  // namespace

// SHA-1 only names things (OCSP certificate IDs, security-store keys); lengths around the
// one- and two-block padding edges are where a hand-written one goes wrong.
TEST(Sha1, KnownDigests) {
  struct Case {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
      {"abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
      {std::string(55, 'a'), "C1C8BBDC22796E28C0E15163D20899B65621D65A"},
      {std::string(64, 'a'), "0098BA824B5C16427BD7A1122A5A442A25EC644D"},
      {std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.size());
    const Sha1Digest d = Sha1(c.input.data(), c.input.size());
    EXPECT_EQ(HexEncode(d.data(), d.size()), c.digest);
  }
}
