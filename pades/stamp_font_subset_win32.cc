#include "pades/stamp_font.h"
#include "pades/stamp_font_data.h"
#include "pades/truetype.h"
#include "pades/truetype_subset.h"

// HarfBuzz is not packaged for Windows builds: the program carries DejaVu Sans cut at build
// time (by HarfBuzz's hb-subset on the build machine) to the Latin, Greek and Cyrillic blocks,
// and each signature cuts that again to its own glyphs with this engine's subsetter.

FontSubset SubsetStampFont(const std::u32string& characters, std::string* error) {
  FontSubset out;
  TrueTypeFont font;
  if (!font.Parse(BuiltInStampFont())) {
    *error = "la fuente del sello incorporada al programa no es un programa TrueType valido.";
    return out;
  }
  std::map<char32_t, uint16_t> glyphs;
  for (char32_t c : characters)
    if (std::optional<uint16_t> glyph = font.GlyphOf(c)) glyphs[c] = *glyph;
  out.program = SubsetTrueType(font, glyphs, &out.glyphs);
  return out;
}
