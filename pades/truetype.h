#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// TrueTypeFont reads the tables of a TrueType font program (the OpenType glyf flavour) that
// embedding a font in a PDF needs: metrics for the font dictionary and descriptor, glyph
// outlines and the character map for subsetting. It holds a view of the program, which must
// outlive it. Every read is bounds-checked: a value past the end of its table reads as 0.
class TrueTypeFont {
 public:
  // Parse reads the table directory. It returns false when the program is not a TrueType font
  // or one of head, hhea, maxp, hmtx, loca and glyf is missing, lies outside the program or is
  // too short for the glyph count.
  bool Parse(std::string_view program);

  // Table is a table's bytes by its four-character tag; empty when absent.
  std::string_view Table(std::string_view tag) const;
  uint16_t unitsPerEm() const { return unitsPerEm_; }
  uint16_t glyphCount() const { return glyphCount_; }
  // The font's bounding box (xMin, yMin, xMax, yMax) in font units.
  const std::array<int16_t, 4>& box() const { return box_; }
  int16_t ascender() const;
  int16_t descender() const;
  // The height of capital letters: OS/2's sCapHeight, else the ascender.
  int16_t capHeight() const;
  // The italic angle in degrees, from post; 0 without one.
  double italicAngle() const;
  // The advance width and left side bearing of a glyph (the last metric repeats, as in hmtx).
  uint16_t Advance(uint16_t glyph) const;
  int16_t LeftSideBearing(uint16_t glyph) const;
  // Outline is a glyph's bytes in glyf; empty for a glyph without outline or out of range.
  std::string_view Outline(uint16_t glyph) const;
  // GlyphOf maps a character through the Unicode cmap subtable (format 12, else format 4);
  // nothing when the font has no glyph for it.
  std::optional<uint16_t> GlyphOf(char32_t character) const;

 private:
  struct Entry {
    uint32_t tag = 0;
    std::string_view data;
  };
  std::array<Entry, 32> tables_{};
  size_t tableCount_ = 0;
  uint16_t unitsPerEm_ = 0;
  uint16_t glyphCount_ = 0;
  uint16_t metricCount_ = 0;
  bool longOffsets_ = false;
  std::array<int16_t, 4> box_{};
};

// Big-endian reads from a bounded view: a value past its end reads as 0.
uint16_t ReadU16(std::string_view data, size_t at);
uint32_t ReadU32(std::string_view data, size_t at);
// Big-endian writes appended to a byte string.
void AppendU16(std::string* out, uint16_t value);
void AppendU32(std::string* out, uint32_t value);
