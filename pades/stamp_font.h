#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The stamp's embedded font, for archival documents and for names that code page 1252 cannot
// write: DejaVu Sans (free to embed), cut for each signature to the glyphs its stamp shows and
// embedded as a Type 0 font over a CIDFontType2 (ISO 32000-1 9.7), with widths, descriptor,
// font program and a /ToUnicode map, so that text extraction gives the name as written.

// FontSubset is the stamp font cut down to some characters.
struct FontSubset {
  std::string program;                  // a TrueType font program
  std::map<char32_t, uint16_t> glyphs;  // each character's glyph in it; those the font lacks are absent
};
// SubsetStampFont cuts the stamp font down to `characters`. Each platform has its own
// (stamp_font_subset_*.cc): HarfBuzz over the system's DejaVu Sans on Linux, this engine's
// own subsetter over a build-time cut of it on Windows. It returns an empty program, and the
// Spanish reason in `error`, when the font cannot be read or cut.
FontSubset SubsetStampFont(const std::u32string& characters, std::string* error);

// EmbeddedStampFont is one stamp's text set in its subset of the font.
struct EmbeddedStampFont {
  std::array<std::string, 3> shown;  // each line as a hex string of glyph numbers, "<0003001A>"
  std::array<double, 3> widths{};    // each line's width in text space units at size 1
  std::string missing;               // characters the font lacks, drawn as "?", once each, in UTF-8
  std::string program;               // the subset's TrueType program
  std::string name;                  // the subset's PostScript name, "ABCDEF+DejaVuSans"
  std::vector<double> glyphWidths;   // each glyph's advance in thousandths of the em
  std::vector<char32_t> characters;  // each glyph's character; 0 for a glyph no text shows
  std::array<double, 4> box{};       // the font's bounding box, in thousandths of the em
  double ascent = 0, descent = 0, capHeight = 0;  // in thousandths of the em
  double italicAngle = 0;                         // in degrees
};
// MakeStampFont sets the three lines (UTF-8) in a subset of the stamp font. It returns nothing,
// and the Spanish reason in `error`, when the font cannot be read or cut.
std::optional<EmbeddedStampFont> MakeStampFont(const std::array<std::string, 3>& lines, std::string* error);

// The objects of an embedded stamp font, in the order StampFontObjects returns their bodies,
// numbered consecutively: the Type 0 font (the one the appearance names), its CIDFont, the
// font descriptor, the font program, the /ToUnicode map and the /CIDSet.
inline constexpr uint32_t kStampFontObjects = 6;
std::array<std::string, kStampFontObjects> StampFontObjects(const EmbeddedStampFont& font, uint32_t first);

// StreamObject is a stream object's body: the dictionary entries `keys` (without brackets),
// /Length, and the data between "stream" and "endstream", each keyword on a line of its own.
std::string StreamObject(std::string_view keys, std::string_view data);
