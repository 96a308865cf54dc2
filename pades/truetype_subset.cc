#include "pades/truetype_subset.h"

#include <set>
#include <utility>
#include <vector>

namespace {

// Composite glyph flags (OpenType glyf table).
constexpr uint16_t kWordArguments = 0x0001, kScale = 0x0008, kMoreComponents = 0x0020, kXYScale = 0x0040,
                   kTwoByTwo = 0x0080;

// ForEachComponent calls `f` with the offset of each component's glyph number in a composite
// outline; a simple outline has none.
template <typename F>
void ForEachComponent(std::string_view outline, F&& f) {
  if (outline.size() < 10 || int16_t(ReadU16(outline, 0)) >= 0) return;
  size_t at = 10;
  uint16_t flags = kMoreComponents;
  while ((flags & kMoreComponents) && at + 4 <= outline.size()) {
    flags = ReadU16(outline, at);
    f(at + 2);
    at += 4 + ((flags & kWordArguments) ? 4 : 2);
    at += (flags & kScale) ? 2 : (flags & kXYScale) ? 4 : (flags & kTwoByTwo) ? 8 : 0;
  }
}

std::set<uint16_t> GlyphClosure(const TrueTypeFont& font, const std::map<char32_t, uint16_t>& characters) {
  std::set<uint16_t> kept{0};
  std::vector<uint16_t> pending;
  for (const auto& [character, glyph] : characters) pending.push_back(glyph);
  while (!pending.empty()) {
    const uint16_t glyph = pending.back();
    pending.pop_back();
    if (glyph >= font.glyphCount() || !kept.insert(glyph).second) continue;
    const std::string_view outline = font.Outline(glyph);
    ForEachComponent(outline, [&](size_t at) { pending.push_back(ReadU16(outline, at)); });
  }
  return kept;
}

void SetU16(std::string* data, size_t at, uint16_t value) {
  if (at + 2 > data->size()) return;
  (*data)[at] = char(value >> 8);
  (*data)[at + 1] = char(value & 0xFF);
}

// A format 4 subtable with one segment per character, and the closing 0xFFFF segment.
std::string UnicodeCmap(const std::map<char32_t, uint16_t>& glyphs) {
  std::vector<std::pair<uint16_t, uint16_t>> segments;
  for (const auto& [character, glyph] : glyphs)
    if (character < 0xFFFF) segments.emplace_back(uint16_t(character), glyph);
  segments.emplace_back(0xFFFF, 1);  // maps 0xFFFF to glyph 0
  const uint16_t count = uint16_t(segments.size());
  uint16_t range = 1, selector = 0;
  while (range * 2 <= count) range *= 2, ++selector;
  std::string map;
  for (uint16_t v : {uint16_t(4), uint16_t(16 + 8 * count), uint16_t(0), uint16_t(2 * count),
                     uint16_t(2 * range), selector, uint16_t(2 * count - 2 * range)})
    AppendU16(&map, v);
  for (const auto& s : segments) AppendU16(&map, s.first);
  AppendU16(&map, 0);
  for (const auto& s : segments) AppendU16(&map, s.first);
  for (const auto& s : segments) AppendU16(&map, uint16_t(s.second - s.first));
  for (size_t i = 0; i < segments.size(); ++i) AppendU16(&map, 0);
  std::string cmap;
  for (uint16_t v : {uint16_t(0), uint16_t(1), uint16_t(3), uint16_t(1)}) AppendU16(&cmap, v);
  AppendU32(&cmap, 12);
  return cmap + map;
}

// The sum of the data as big-endian 32-bit words, the last one padded with zeros.
uint32_t Checksum(std::string_view data) {
  uint32_t sum = 0;
  for (size_t at = 0; at < data.size(); at += 4) {
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k) word = word << 8 | (at + k < data.size() ? uint8_t(data[at + k]) : 0u);
    sum += word;
  }
  return sum;
}

// Assemble writes the table directory and the tables, each padded to four bytes, and sets
// head's checksum adjustment (tables sorted by tag, as the directory requires).
std::string Assemble(std::map<std::string, std::string> tables) {
  const uint16_t count = uint16_t(tables.size());
  uint16_t range = 1, selector = 0;
  while (range * 2 <= count) range *= 2, ++selector;
  std::string out;
  AppendU32(&out, 0x00010000);
  for (uint16_t v : {count, uint16_t(16 * range), selector, uint16_t(16 * count - 16 * range)})
    AppendU16(&out, v);
  size_t offset = 12 + 16 * size_t(count), head = 0;
  std::string data;
  for (auto& [tag, table] : tables) {
    for (char c : tag) out.push_back(c);
    AppendU32(&out, Checksum(table));
    AppendU32(&out, uint32_t(offset + data.size()));
    AppendU32(&out, uint32_t(table.size()));
    if (tag == "head") head = offset + data.size();
    data += table;
    data.append((4 - table.size() % 4) % 4, '\0');
  }
  out += data;
  const uint32_t adjustment = 0xB1B0AFBA - Checksum(out);
  for (int i = 0; i < 4; ++i) out[head + 8 + size_t(i)] = char(adjustment >> (24 - 8 * i));
  return out;
}

}  // namespace

std::string SubsetTrueType(const TrueTypeFont& font, const std::map<char32_t, uint16_t>& characters,
                           std::map<char32_t, uint16_t>* renumbered) {
  const std::set<uint16_t> kept = GlyphClosure(font, characters);
  std::map<uint16_t, uint16_t> newNumber;
  for (uint16_t glyph : kept) newNumber.emplace(glyph, uint16_t(newNumber.size()));

  std::string glyf, loca, hmtx;
  for (uint16_t glyph : kept) {
    AppendU32(&loca, uint32_t(glyf.size()));
    std::string outline(font.Outline(glyph));
    ForEachComponent(outline, [&](size_t at) { SetU16(&outline, at, newNumber[ReadU16(outline, at)]); });
    glyf += outline;
    glyf.append((4 - glyf.size() % 4) % 4, '\0');
    AppendU16(&hmtx, font.Advance(glyph));
    AppendU16(&hmtx, uint16_t(font.LeftSideBearing(glyph)));
  }
  AppendU32(&loca, uint32_t(glyf.size()));

  renumbered->clear();
  for (const auto& [character, glyph] : characters)
    if (kept.count(glyph)) (*renumbered)[character] = newNumber[glyph];

  std::map<std::string, std::string> tables;
  tables["head"] = std::string(font.Table("head"));
  SetU16(&tables["head"], 8, 0);
  SetU16(&tables["head"], 10, 0);
  SetU16(&tables["head"], 50, 1);  // long loca offsets
  tables["hhea"] = std::string(font.Table("hhea"));
  SetU16(&tables["hhea"], 34, uint16_t(kept.size()));
  tables["maxp"] = std::string(font.Table("maxp"));
  SetU16(&tables["maxp"], 4, uint16_t(kept.size()));
  tables["hmtx"] = std::move(hmtx);
  tables["loca"] = std::move(loca);
  tables["glyf"] = std::move(glyf);
  tables["cmap"] = UnicodeCmap(*renumbered);
  for (const char* tag : {"OS/2", "name"})
    if (!font.Table(tag).empty()) tables[tag] = std::string(font.Table(tag));
  if (font.Table("post").size() >= 32) {
    tables["post"] = std::string(font.Table("post").substr(0, 32));
    SetU16(&tables["post"], 0, 3);
    SetU16(&tables["post"], 2, 0);
  }
  return Assemble(std::move(tables));
}
