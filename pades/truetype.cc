#include "pades/truetype.h"

namespace {

constexpr uint32_t Tag(std::string_view tag) {
  return uint32_t(uint8_t(tag[0])) << 24 | uint32_t(uint8_t(tag[1])) << 16 | uint32_t(uint8_t(tag[2])) << 8 |
         uint32_t(uint8_t(tag[3]));
}

int16_t ReadS16(std::string_view data, size_t at) {
  return int16_t(ReadU16(data, at));
}

// Format 4: segments of 16-bit codes, each mapped by a delta or through the glyph array.
std::optional<uint16_t> LookUpSegments(std::string_view map, char32_t c) {
  if (c > 0xFFFF) return std::nullopt;
  const size_t segments = ReadU16(map, 6) / 2;
  const size_t ends = 14, starts = ends + 2 * segments + 2, deltas = starts + 2 * segments,
               ranges = deltas + 2 * segments;
  for (size_t i = 0; i < segments; ++i) {
    if (ReadU16(map, ends + 2 * i) < c) continue;
    const uint16_t start = ReadU16(map, starts + 2 * i);
    if (start > c) return std::nullopt;
    const uint16_t delta = ReadU16(map, deltas + 2 * i), range = ReadU16(map, ranges + 2 * i);
    if (range == 0) return uint16_t(c + delta);
    const uint16_t glyph = ReadU16(map, ranges + 2 * i + range + 2 * (c - start));
    return glyph == 0 ? std::nullopt : std::optional<uint16_t>(uint16_t(glyph + delta));
  }
  return std::nullopt;
}

// Format 12: groups of consecutive codes mapped to consecutive glyphs.
std::optional<uint16_t> LookUpGroups(std::string_view map, char32_t c) {
  const uint32_t groups = ReadU32(map, 12);
  for (uint32_t i = 0; i < groups && 16 + 12 * size_t(i) + 12 <= map.size(); ++i) {
    const size_t at = 16 + 12 * size_t(i);
    const uint32_t first = ReadU32(map, at), last = ReadU32(map, at + 4);
    if (c >= first && c <= last) return uint16_t(ReadU32(map, at + 8) + (c - first));
  }
  return std::nullopt;
}

}  // namespace

uint16_t ReadU16(std::string_view data, size_t at) {
  if (at > data.size() || data.size() - at < 2) return 0;
  return uint16_t(uint8_t(data[at]) << 8 | uint8_t(data[at + 1]));
}

uint32_t ReadU32(std::string_view data, size_t at) {
  return uint32_t(ReadU16(data, at)) << 16 | ReadU16(data, at + 2);
}

void AppendU16(std::string* out, uint16_t value) {
  out->push_back(char(value >> 8));
  out->push_back(char(value & 0xFF));
}

void AppendU32(std::string* out, uint32_t value) {
  AppendU16(out, uint16_t(value >> 16));
  AppendU16(out, uint16_t(value & 0xFFFF));
}

bool TrueTypeFont::Parse(std::string_view program) {
  *this = TrueTypeFont();
  const uint32_t version = ReadU32(program, 0);
  if (version != 0x00010000 && version != Tag("true")) return false;
  const size_t count = ReadU16(program, 4);
  if (count > tables_.size() || program.size() < 12 + 16 * count) return false;
  for (size_t i = 0; i < count; ++i) {
    const size_t record = 12 + 16 * i;
    const uint32_t offset = ReadU32(program, record + 8), length = ReadU32(program, record + 12);
    if (offset > program.size() || program.size() - offset < length) return false;
    tables_[tableCount_++] = {ReadU32(program, record), program.substr(offset, length)};
  }
  const std::string_view head = Table("head"), hhea = Table("hhea"), maxp = Table("maxp");
  if (head.size() < 54 || hhea.size() < 36 || maxp.size() < 6) return false;
  unitsPerEm_ = ReadU16(head, 18);
  box_ = {ReadS16(head, 36), ReadS16(head, 38), ReadS16(head, 40), ReadS16(head, 42)};
  longOffsets_ = ReadU16(head, 50) != 0;
  glyphCount_ = ReadU16(maxp, 4);
  metricCount_ = ReadU16(hhea, 34);
  const size_t locaSize = (size_t(glyphCount_) + 1) * (longOffsets_ ? 4 : 2);
  const size_t hmtxSize = 4 * size_t(metricCount_) + 2 * (size_t(glyphCount_) - metricCount_);
  return unitsPerEm_ != 0 && glyphCount_ != 0 && metricCount_ != 0 && metricCount_ <= glyphCount_ &&
         Table("loca").size() >= locaSize && Table("hmtx").size() >= hmtxSize && !Table("glyf").empty();
}

std::string_view TrueTypeFont::Table(std::string_view tag) const {
  const uint32_t wanted = Tag(tag);
  for (size_t i = 0; i < tableCount_; ++i)
    if (tables_[i].tag == wanted) return tables_[i].data;
  return {};
}

int16_t TrueTypeFont::ascender() const {
  return ReadS16(Table("hhea"), 4);
}

int16_t TrueTypeFont::descender() const {
  return ReadS16(Table("hhea"), 6);
}

int16_t TrueTypeFont::capHeight() const {
  const std::string_view os2 = Table("OS/2");
  return ReadU16(os2, 0) >= 2 && os2.size() >= 90 ? ReadS16(os2, 88) : ascender();
}

double TrueTypeFont::italicAngle() const {
  return double(int32_t(ReadU32(Table("post"), 4))) / 65536.0;
}

uint16_t TrueTypeFont::Advance(uint16_t glyph) const {
  return ReadU16(Table("hmtx"), 4 * size_t(glyph < metricCount_ ? glyph : metricCount_ - 1));
}

int16_t TrueTypeFont::LeftSideBearing(uint16_t glyph) const {
  const std::string_view hmtx = Table("hmtx");
  if (glyph < metricCount_) return ReadS16(hmtx, 4 * size_t(glyph) + 2);
  return ReadS16(hmtx, 4 * size_t(metricCount_) + 2 * size_t(glyph - metricCount_));
}

std::string_view TrueTypeFont::Outline(uint16_t glyph) const {
  if (glyph >= glyphCount_) return {};
  const std::string_view loca = Table("loca"), glyf = Table("glyf");
  const size_t start =
      longOffsets_ ? ReadU32(loca, 4 * size_t(glyph)) : 2 * size_t(ReadU16(loca, 2 * size_t(glyph)));
  const size_t end =
      longOffsets_ ? ReadU32(loca, 4 * size_t(glyph) + 4) : 2 * size_t(ReadU16(loca, 2 * size_t(glyph) + 2));
  if (end <= start || end > glyf.size()) return {};
  return glyf.substr(start, end - start);
}

std::optional<uint16_t> TrueTypeFont::GlyphOf(char32_t character) const {
  const std::string_view cmap = Table("cmap");
  std::string_view segments, groups;
  for (size_t i = 0, n = ReadU16(cmap, 2); i < n; ++i) {
    const uint16_t platform = ReadU16(cmap, 4 + 8 * i), encoding = ReadU16(cmap, 6 + 8 * i);
    const uint32_t offset = ReadU32(cmap, 8 + 8 * i);
    if (offset >= cmap.size() || !(platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10))))
      continue;
    const std::string_view map = cmap.substr(offset);
    const uint16_t format = ReadU16(map, 0);
    if (format == 4) segments = map.substr(0, ReadU16(map, 2));
    if (format == 12) groups = map.substr(0, ReadU32(map, 4));
  }
  std::optional<uint16_t> glyph = !groups.empty()     ? LookUpGroups(groups, character)
                                  : !segments.empty() ? LookUpSegments(segments, character)
                                                      : std::nullopt;
  if (glyph && (*glyph == 0 || *glyph >= glyphCount_)) return std::nullopt;
  return glyph;
}
