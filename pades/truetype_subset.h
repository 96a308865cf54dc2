#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "pades/truetype.h"

// SubsetTrueType writes a TrueType program that holds only the glyphs of `characters` (each
// character with its glyph in `font`), the glyphs their composites are built from and .notdef,
// renumbered in their old order. Its tables are head, hhea, maxp, hmtx, loca (long offsets),
// glyf, a Unicode cmap (format 4) for the characters below U+10000, and, when the font has
// them, OS/2, name and post (version 3, without glyph names). The source is expected to carry
// no hinting: glyph instructions are copied as they stand, the tables they would need are not.
// `renumbered` receives each character's glyph in the new program.
std::string SubsetTrueType(const TrueTypeFont& font, const std::map<char32_t, uint16_t>& characters,
                           std::map<char32_t, uint16_t>* renumbered);
