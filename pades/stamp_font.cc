#include "pades/stamp_font.h"

#include <zlib.h>

#include <algorithm>
#include <set>

#include "core/sha256.h"
#include "core/text.h"
#include "pades/truetype.h"

namespace {

constexpr std::string_view kFontName = "DejaVuSans";
// The bfchar lists of a CMap hold at most 100 entries each (ISO 32000-1 9.10.3).
constexpr size_t kCMapBlock = 100;

std::u32string Characters(std::string_view utf8) {
  std::u32string out;
  for (size_t pos = 0; pos < utf8.size();) {
    const char32_t c = DecodeUtf8(utf8, &pos);
    if (c != kInvalidUtf8) out += c;
  }
  return out;
}

std::string Ref(uint32_t number) {
  return std::to_string(number) + " 0 R";
}

std::string Hex4(uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(4, '0');
  for (int i = 3; i >= 0; --i, value >>= 4) out[size_t(i)] = kDigits[value & 0xF];
  return out;
}

// UTF-16BE in hex, as a CMap's destination.
std::string Utf16Hex(char32_t c) {
  if (c < 0x10000) return Hex4(c);
  c -= 0x10000;
  return Hex4(0xD800 + (c >> 10)) + Hex4(0xDC00 + (c & 0x3FF));
}

std::string Deflate(std::string_view data) {
  uLongf size = compressBound(uLong(data.size()));
  std::string out(size, '\0');
  // With a buffer of compressBound's size, compress2 cannot run out of room.
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
            uLong(data.size()), Z_BEST_COMPRESSION);
  out.resize(size);
  return out;
}

// Six capital letters from the program's digest (ISO 32000-1 9.6.4): equal subsets share it.
std::string SubsetTag(std::string_view program) {
  const Sha256Digest digest = Sha256(program.data(), program.size());
  std::string tag;
  for (size_t i = 0; i < 6; ++i) tag += char('A' + digest[i] % 26);
  return tag;
}

std::string ToUnicodeMap(const std::vector<char32_t>& characters) {
  std::vector<std::string> entries;
  for (size_t glyph = 0; glyph < characters.size(); ++glyph)
    if (characters[glyph])
      entries.push_back("<" + Hex4(uint32_t(glyph)) + "> <" + Utf16Hex(characters[glyph]) + ">\n");
  std::string map =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n/CIDSystemInfo << /Registry (Adobe) "
      "/Ordering (UCS) /Supplement 0 >> def\n/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  for (size_t i = 0; i < entries.size(); i += kCMapBlock) {
    const size_t n = std::min(kCMapBlock, entries.size() - i);
    map += std::to_string(n) + " beginbfchar\n";
    for (size_t k = i; k < i + n; ++k) map += entries[k];
    map += "endbfchar\n";
  }
  return map + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend";
}

// Every glyph of the subset is present, so every CID (CIDs are glyph numbers) is set.
std::string CidSet(size_t glyphs) {
  std::string bits((glyphs + 7) / 8, '\xFF');
  if (glyphs % 8) bits.back() = char(0xFF << (8 - glyphs % 8));
  return bits;
}

// FitSubset cuts the font to the characters; when it lacks some, it is cut again with "?",
// which stands for them, so that no text shows the .notdef glyph.
FontSubset FitSubset(const std::u32string& wanted, std::string* error) {
  FontSubset subset = SubsetStampFont(wanted, error);
  if (subset.program.empty() || subset.glyphs.size() == wanted.size() || subset.glyphs.count(U'?'))
    return subset;
  std::set<char32_t> present{U'?'};
  for (const auto& [character, glyph] : subset.glyphs) present.insert(character);
  return SubsetStampFont(std::u32string(present.begin(), present.end()), error);
}

void SetMetrics(const TrueTypeFont& font, EmbeddedStampFont* out) {
  const double scale = 1000.0 / font.unitsPerEm();
  out->glyphWidths.resize(font.glyphCount());
  for (uint16_t g = 0; g < font.glyphCount(); ++g) out->glyphWidths[g] = font.Advance(g) * scale;
  out->characters.assign(font.glyphCount(), 0);
  for (size_t i = 0; i < 4; ++i) out->box[i] = font.box()[i] * scale;
  out->ascent = font.ascender() * scale;
  out->descent = font.descender() * scale;
  out->capHeight = font.capHeight() * scale;
  out->italicAngle = font.italicAngle();
}

}  // namespace

std::string StreamObject(std::string_view keys, std::string_view data) {
  return "<< " + std::string(keys) + (keys.empty() ? "" : " ") + "/Length " + std::to_string(data.size()) +
         " >>\nstream\n" + std::string(data) + "\nendstream";
}

std::optional<EmbeddedStampFont> MakeStampFont(const std::array<std::string, 3>& lines, std::string* error) {
  std::array<std::u32string, 3> text;
  std::set<char32_t> distinct;
  for (size_t i = 0; i < lines.size(); ++i) {
    text[i] = Characters(lines[i]);
    distinct.insert(text[i].begin(), text[i].end());
  }
  FontSubset subset = FitSubset(std::u32string(distinct.begin(), distinct.end()), error);
  if (subset.program.empty()) return std::nullopt;
  TrueTypeFont font;
  const auto question = subset.glyphs.find(U'?');
  const bool lacking =
      std::any_of(distinct.begin(), distinct.end(), [&](char32_t c) { return !subset.glyphs.count(c); });
  if (!font.Parse(subset.program) || (lacking && question == subset.glyphs.end())) {
    *error = "la fuente del sello recortada no es un programa TrueType valido.";
    return std::nullopt;
  }
  EmbeddedStampFont out;
  SetMetrics(font, &out);
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string glyphs;
    for (char32_t c : text[i]) {
      auto hit = subset.glyphs.find(c);
      if (hit == subset.glyphs.end()) {
        std::string character;
        AppendUtf8(&character, c);
        if (out.missing.find(character) == std::string::npos) out.missing += character;
        hit = question;
      }
      glyphs += Hex4(hit->second);
      out.widths[i] += double(font.Advance(hit->second)) / font.unitsPerEm();
      if (hit->second < out.characters.size() && !out.characters[hit->second])
        out.characters[hit->second] = hit->first;
    }
    out.shown[i] = "<" + glyphs + ">";
  }
  out.name = SubsetTag(subset.program) + "+" + std::string(kFontName);
  out.program = std::move(subset.program);
  return out;
}

std::array<std::string, kStampFontObjects> StampFontObjects(const EmbeddedStampFont& font, uint32_t first) {
  const std::string name = "/" + font.name;
  std::string widths;
  for (double w : font.glyphWidths) widths += (widths.empty() ? "" : " ") + FormatNumber(w);
  std::string box;
  for (double v : font.box) box += (box.empty() ? "" : " ") + FormatNumber(v);
  return {
      "<< /Type /Font /Subtype /Type0 /BaseFont " + name + " /Encoding /Identity-H /DescendantFonts [" +
          Ref(first + 1) + "] /ToUnicode " + Ref(first + 4) + " >>",
      "<< /Type /Font /Subtype /CIDFontType2 /BaseFont " + name +
          " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor " +
          Ref(first + 2) + " /CIDToGIDMap /Identity /W [0 [" + widths + "]] >>",
      "<< /Type /FontDescriptor /FontName " + name + " /Flags 4 /FontBBox [" + box + "] /ItalicAngle " +
          FormatNumber(font.italicAngle) + " /Ascent " + FormatNumber(font.ascent) + " /Descent " +
          FormatNumber(font.descent) + " /CapHeight " + FormatNumber(font.capHeight) +
          " /StemV 80 /FontFile2 " + Ref(first + 3) + " /CIDSet " + Ref(first + 5) + " >>",
      StreamObject("/Length1 " + std::to_string(font.program.size()) + " /Filter /FlateDecode",
                   Deflate(font.program)),
      StreamObject("/Filter /FlateDecode", Deflate(ToUnicodeMap(font.characters))),
      StreamObject("", CidSet(font.glyphWidths.size())),
  };
}
