#include "core/der.h"

#include <gtest/gtest.h>

#include "core/text.h"

namespace {

TEST(Der, TlvLengthForms) {
  struct Case {
    size_t size;
    const char* header;
  } cases[] = {{0, "0400"},       {127, "047F"},       {128, "048180"},      {255, "0481FF"},
               {256, "04820100"}, {65535, "0482FFFF"}, {65536, "0483010000"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Bytes out = DerTlv(0x04, Bytes(c.size, 0xAB));
    Bytes header = HexDecode(c.header);
    ASSERT_EQ(out.size(), header.size() + c.size);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), out.begin()));
    size_t cursor = 0;
    DerElement e;
    ASSERT_TRUE(DerReadElement(out.data(), out.size(), &cursor, &e));
    EXPECT_EQ(e.contentLength, c.size);
    EXPECT_EQ(e.contentStart, header.size());
    EXPECT_EQ(cursor, out.size());
  }
}

TEST(Der, ReadRejectsMalformedElements) {
  struct Case {
    const char* hex;
    const char* reason;
  } cases[] = {
      {"", "empty input"},
      {"30", "tag without length"},
      {"3080", "indefinite length"},
      {"3005010203", "content runs past the end"},
      {"3085000000000100", "five length bytes"},
      {"308480000000", "length negative as signed 32-bit"},
      {"3F", "high tag form cut off"},
      {"3F8181818181810100", "more than five tag continuation bytes"},
      {"3082", "long length cut off"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    Bytes in = HexDecode(c.hex);
    size_t cursor = 0;
    DerElement e;
    EXPECT_FALSE(DerReadElement(in.data(), in.size(), &cursor, &e));
    EXPECT_EQ(cursor, 0u);
  }
}

TEST(Der, ReadsHighTagsAndWalksContents) {
  Bytes in = HexDecode("BF8101 03 020105  3006 0201 07 0401AA");
  size_t cursor = 0;
  DerElement e;
  ASSERT_TRUE(DerReadElement(in.data(), in.size(), &cursor, &e));
  EXPECT_EQ(e.tag, 0xBF8101u);
  EXPECT_EQ(e.contentStart, 4u);
  EXPECT_EQ(e.end, 7u);

  DerReader reader(in.data() + 7, in.size() - 7), seq, integer, octets;
  ASSERT_TRUE(reader.Expect(0x30, &seq));
  EXPECT_FALSE(seq.Expect(0x04, &octets));  // wrong tag does not move the cursor
  ASSERT_TRUE(seq.Expect(0x02, &integer));
  ASSERT_TRUE(seq.Expect(0x04, &octets));
  EXPECT_EQ(integer.ToBytes(), Bytes{7});
  EXPECT_EQ(octets.ToBytes(), Bytes{0xAA});
  EXPECT_TRUE(seq.Empty());
  EXPECT_TRUE(reader.Empty());
}

}  // namespace

TEST(Der, TimesInTheFormsCertificatesAndRevocationDataUse) {
  struct Case {
    uint32_t tag;
    const char* text;
    int64_t seconds;  // -1: refused
  } cases[] = {
      {0x17, "261206101500Z", 1796552100},
      {0x17, "500101000000Z", -631152000},  // two-digit years from 50 are 19xx
      {0x18, "20261206101500Z", 1796552100},
      {0x18, "20261206101500.25Z", 1796552100},
      {0x18, "20261206101500", -1},       // local time
      {0x18, "20261206101500+0100", -1},  // offsets are not DER
      {0x17, "2612061015Z", -1},          // seconds left out
      {0x18, "20261206101500.Z", -1},
      {0x18, "20261306101500Z", -1},
      {0x18, "2026120610150AZ", -1},
      {0x17, "261206101500Z ", -1},
      {0x04, "261206101500Z", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int64_t seconds = 0;
    const std::string text = c.text;
    const bool ok = DerReadTime(c.tag, reinterpret_cast<const uint8_t*>(text.data()), text.size(), &seconds);
    EXPECT_EQ(ok, c.seconds != -1);
    if (ok) {
      EXPECT_EQ(seconds, c.seconds);
    }
  }
}
