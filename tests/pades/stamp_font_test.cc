#include <gtest/gtest.h>

#include "core/text.h"
#include "pades/stamp_font.h"
#include "pades/truetype.h"

namespace {

std::u32string Characters(std::string_view utf8) {
  std::u32string out;
  for (size_t pos = 0; pos < utf8.size();) out += DecodeUtf8(utf8, &pos);
  return out;
}

// Each platform's subsetter (HarfBuzz on Linux, the engine's own under Windows) gives a valid
// program in which every shown glyph draws its character and maps back to it.
TEST(StampFont, SetsEveryLineInItsOwnSubset) {
  const std::array<std::string, 3> lines = {"Firmado digitalmente por:",
                                            "\xC5\x81ukasz \xC3\x87"
                                            "a\xC4\x9Fr\xC4\xB1 \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 "
                                            "\xD0\x96\xD1\x83\xD0\xBA\xD0\xBE\xD0\xB2 \xE6\x9D\x8E",
                                            "Fecha: 2026-12-06 10:15:00 UTC"};
  std::string error;
  const std::optional<EmbeddedStampFont> font = MakeStampFont(lines, &error);
  ASSERT_TRUE(font) << error;
  EXPECT_EQ(font->missing, "\xE6\x9D\x8E") << "the font has no Han characters";
  TrueTypeFont program;
  ASSERT_TRUE(program.Parse(font->program));
  EXPECT_EQ(program.glyphCount(), font->glyphWidths.size());
  EXPECT_EQ(font->name.size(), 17u);
  EXPECT_EQ(font->name.substr(6), "+DejaVuSans");
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    const std::u32string text = Characters(lines[i]);
    const std::string& shown = font->shown[i];
    ASSERT_EQ(shown.size(), 2 + 4 * text.size());
    double width = 0;
    for (size_t k = 0; k < text.size(); ++k) {
      const Bytes id = HexDecode(shown.substr(1 + 4 * k, 4));
      const uint16_t glyph = uint16_t(id[0] << 8 | id[1]);
      ASSERT_GT(glyph, 0) << "never .notdef";
      ASSERT_LT(glyph, font->characters.size());
      const char32_t expected = text[k] == U'\x674E' ? U'?' : text[k];
      EXPECT_EQ(font->characters[glyph], expected) << "character " << k;
      EXPECT_EQ(program.Outline(glyph).empty(), expected == U' ');
      width += double(program.Advance(glyph)) / program.unitsPerEm();
    }
    EXPECT_DOUBLE_EQ(font->widths[i], width);
  }
  // The same lines give the same bytes.
  const std::optional<EmbeddedStampFont> again = MakeStampFont(lines, &error);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->program, font->program);
  EXPECT_EQ(again->name, font->name);
}

}  // namespace
