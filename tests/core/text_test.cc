#include "core/text.h"

#include <gtest/gtest.h>

#include "core/paths.h"

namespace {

TEST(Hex, EncodeAndDecode) {
  EXPECT_EQ(HexEncode(Bytes{0x00, 0x0A, 0xFF}), "000AFF");
  EXPECT_EQ(HexDecode("0a:FF"), (Bytes{0x0A, 0xFF}));
  EXPECT_EQ(HexDecode("0a ff_01"), (Bytes{0x0A, 0xFF, 0x01}));
  EXPECT_EQ(HexDecode("ABC"), (Bytes{0xAB}));  // unpaired last digit dropped
  EXPECT_TRUE(HexDecode("0G").empty());
  EXPECT_TRUE(HexDecode("AB-CD").empty());
}

TEST(Base64, RoundTripAndStrictDecoding) {
  for (size_t len = 0; len < 40; ++len) {
    Bytes data(len);
    for (size_t i = 0; i < len; ++i) data[i] = uint8_t(i * 37 + len);
    Bytes back;
    ASSERT_TRUE(Base64Decode(Base64Encode(data), &back));
    EXPECT_EQ(back, data);
  }
  EXPECT_EQ(Base64Encode(ToBytes("foobar")), "Zm9vYmFy");
  EXPECT_EQ(Base64Encode(ToBytes("fo")), "Zm8=");

  Bytes out;
  ASSERT_TRUE(Base64Decode("QQ==", &out));
  EXPECT_EQ(out, Bytes{0x41});
  ASSERT_TRUE(Base64Decode("Zm9v\r\nYmE=\n", &out));
  EXPECT_EQ(ToText(out), "fooba");
  ASSERT_TRUE(Base64Decode(" \n", &out));
  EXPECT_TRUE(out.empty());
  const char* bad[] = {"QQ=A", "Q===", "QQ==QQ==", "QQ=", "Q!==", "QUJD\x80"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    out = {1, 2};
    EXPECT_FALSE(Base64Decode(text, &out));
    EXPECT_TRUE(out.empty());
  }
}

TEST(PdfText, DatesFromSigningTime) {
  EXPECT_EQ(PdfDate("261206101500Z"), "D:20261206101500+00'00'");
  EXPECT_EQ(HumanUtcDate("261206101500Z"), "2026-12-06 10:15:00 UTC");
  EXPECT_EQ(HumanUtcDate("short"), "short");
  std::string now = PdfDate("x");
  ASSERT_EQ(now.size(), 23u);  // D:YYYYMMDDHHMMSS+00'00'
  EXPECT_EQ(now.substr(0, 4), "D:20");
  EXPECT_EQ(now.substr(16), "+00'00'");
  EXPECT_EQ(UtcTimeNow("%y%m%d%H%M%SZ").size(), 13u);
}

TEST(PdfText, StringsAndNames) {
  EXPECT_EQ(EscapeLiteral("a(b)c\\d"), "a\\(b\\)c\\\\d");
  EXPECT_EQ(NameString("Juan (Perez)"), "(Juan \\(Perez\\))");
  EXPECT_EQ(NameString("\xC3\x91u"), "<FEFF00D10075>");
  EXPECT_EQ(TextStringHex("Lima"), "<FEFF004C0069006D0061>");
  EXPECT_EQ(TextStringHex("\xF0\x9F\x98\x80"), "<FEFFD83DDE00>");  // surrogate pair
  EXPECT_EQ(FormatNumber(50), "50");
  EXPECT_EQ(FormatNumber(230.5), "230.5");
  EXPECT_EQ(FormatNumber(1234567), "1.23457e+06");
  EXPECT_EQ(AsciiLower("ÁBC Reader"), "Ábc reader");
}

TEST(PdfText, Utf8ToUtf16IsLenient) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3\xB1"), u"añ");
  EXPECT_EQ(Utf8ToUtf16("a\x80"
                        "b"),
            u"ab");  // stray continuation byte skipped
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"ab");                             // invalid lead skipped
  EXPECT_EQ(Utf8ToUtf16("ab\xE2\x82"), u"ab");  // cut-off sequence ends the text
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("Perú €")), "Perú €");
}

// Every malformed sequence is dropped byte by byte, and never takes a good byte with it.
TEST(PdfText, MalformedUtf8IsDroppedWithoutTheNextCharacter) {
  const struct {
    const char* text;
    std::u16string utf16;
    const char* why;
  } kCases[] = {
      {"\xC3"
       "A",
       u"A", "a lead byte followed by no continuation"},
      {"\xE2\x82"
       "A",
       u"A", "a three-byte sequence cut short"},
      {"\xC0\x80"
       "A",
       u"A", "an overlong NUL"},
      {"\xED\xA0\x80"
       "A",
       u"A", "an encoded surrogate"},
      {"\xF4\x90\x80\x80"
       "A",
       u"A", "past U+10FFFF"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(Utf8ToUtf16(c.text), c.utf16);
  }
  // What cannot be encoded is written as U+FFFD.
  for (char32_t cp : {char32_t(0xD800), char32_t(0xDFFF), char32_t(0x110000)}) {
    std::string out;
    AppendUtf8(&out, cp);
    EXPECT_EQ(out, "\xEF\xBF\xBD") << std::hex << uint32_t(cp);
  }
  EXPECT_EQ(Utf16ToUtf8(u"a\xD800"), "a\xEF\xBF\xBD");
}

TEST(Paths, DirectoryRules) {
  EXPECT_EQ(DirectoryOf("/usr/bin/signer"), "/usr/bin");
  EXPECT_EQ(DirectoryOf("C:\\Programas\\signer.exe"), "C:\\Programas");
  EXPECT_EQ(DirectoryOf("/signer"), "/");
  EXPECT_EQ(DirectoryOf("signer"), ".");
  EXPECT_FALSE(ExecutableDirectory().empty());
  EXPECT_NE(ExecutableDirectory(), ".");
}

}  // namespace
