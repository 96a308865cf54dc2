#include <gtest/gtest.h>
#include <hb.h>

#include "pades/truetype_subset.h"
#include "tests/support/test_support.h"

namespace {

// The Windows programs cut the stamp font with the engine's own subsetter. HarfBuzz, reading
// the result here, must find every character on a glyph with the source's advance and extents
// (composite glyphs included, whose components were renumbered).
TEST(TrueTypeSubset, HarfBuzzReadsTheSourceGlyphsBack) {
  const Bytes file = testing_support::ReadFileBytes("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  const std::string source(file.begin(), file.end());
  TrueTypeFont full;
  ASSERT_TRUE(full.Parse(source));
  hb_blob_t* sourceBlob =
      hb_blob_create(source.data(), unsigned(source.size()), HB_MEMORY_MODE_READONLY, nullptr, nullptr);
  hb_face_t* sourceFace = hb_face_create(sourceBlob, 0);
  hb_font_t* sourceFont = hb_font_create(sourceFace);

  std::map<char32_t, uint16_t> wanted;
  bool composite = false;
  for (char32_t c : std::u32string(U"AÅŁłçğıİŞǅΩώЖйЁ?€ \x1E9E")) {
    std::optional<uint16_t> glyph = full.GlyphOf(c);
    hb_codepoint_t expected = 0;
    ASSERT_TRUE(hb_font_get_nominal_glyph(sourceFont, c, &expected));
    ASSERT_EQ(glyph.value_or(0), expected) << "cmap lookup of U+" << std::hex << uint32_t(c);
    wanted[c] = *glyph;
    composite |= full.Outline(*glyph).size() >= 2 && int16_t(ReadU16(full.Outline(*glyph), 0)) < 0;
  }
  EXPECT_FALSE(full.GlyphOf(U'\x674E')) << "no Han characters in DejaVu Sans";
  ASSERT_TRUE(composite) << "the characters must include a composite glyph";

  std::map<char32_t, uint16_t> renumbered;
  const std::string program = SubsetTrueType(full, wanted, &renumbered);
  TrueTypeFont cut;
  ASSERT_TRUE(cut.Parse(program));
  hb_blob_t* blob =
      hb_blob_create(program.data(), unsigned(program.size()), HB_MEMORY_MODE_READONLY, nullptr, nullptr);
  hb_face_t* face = hb_face_create(blob, 0);
  hb_font_t* font = hb_font_create(face);
  EXPECT_EQ(hb_face_get_glyph_count(face), cut.glyphCount());
  EXPECT_LT(cut.glyphCount(), 2 * wanted.size());
  for (const auto& [c, glyph] : wanted) {
    SCOPED_TRACE(uint32_t(c));
    hb_codepoint_t mapped = 0;
    ASSERT_TRUE(hb_font_get_nominal_glyph(font, c, &mapped));
    EXPECT_EQ(mapped, renumbered.at(c));
    EXPECT_EQ(hb_font_get_glyph_h_advance(font, mapped), hb_font_get_glyph_h_advance(sourceFont, glyph));
    hb_glyph_extents_t a{}, b{};
    EXPECT_EQ(hb_font_get_glyph_extents(font, mapped, &a), hb_font_get_glyph_extents(sourceFont, glyph, &b));
    EXPECT_EQ(a.x_bearing, b.x_bearing);
    EXPECT_EQ(a.y_bearing, b.y_bearing);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
  }
  for (hb_font_t* f : {font, sourceFont}) hb_font_destroy(f);
  for (hb_face_t* f : {face, sourceFace}) hb_face_destroy(f);
  for (hb_blob_t* b : {blob, sourceBlob}) hb_blob_destroy(b);
}

}  // namespace
