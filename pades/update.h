#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The incremental update: objects appended after the input's last byte, a classic
// cross-reference section listing only them, and a trailer chained to the input's by /Prev
// (ISO 32000-1, 7.5.6). Offsets are taken from the buffer as each object is appended.

struct XrefEntry {
  uint32_t number = 0;
  uint64_t offset = 0;  // absolute offset of the object's first byte; a compressed one's stream
  uint32_t generation = 0;
  bool compressed = false;  // inside object stream `offset`, at `index`
  uint32_t index = 0;
};

class UpdateBuffer {
 public:
  explicit UpdateBuffer(uint64_t inputLength) : base_(inputLength) {}
  // Offset is the absolute file offset of the next appended byte.
  uint64_t Offset() const { return base_ + text_.size(); }
  uint64_t base() const { return base_; }
  std::string& text() { return text_; }
  const std::string& text() const { return text_; }
  void Record(uint32_t number, uint32_t generation = 0) {
    entries_.push_back({number, Offset(), generation});
  }
  // Keep lists an object of the input as it stands, for a section that lists every object.
  void Keep(const XrefEntry& entry) { entries_.push_back(entry); }
  const std::vector<XrefEntry>& entries() const { return entries_; }

 private:
  uint64_t base_;
  std::string text_;
  std::vector<XrefEntry> entries_;
};

// WriteObject appends "N G obj\n" + body + "\nendobj\n" and records its offset. A rewritten
// object keeps its generation; new ones have 0.
void WriteObject(UpdateBuffer* update, uint32_t number, std::string_view body, uint32_t generation = 0);
// WrapDict encloses a dictionary body in "<<" ">>" ("<< >>" when empty; a body that already
// begins with "<<" is kept as it is).
std::string WrapDict(std::string_view body);
// SetKey replaces a top-level key's value, or appends the key when absent.
std::string SetKey(std::string_view body, std::string_view key, std::string_view value);

// ArrayReader gives the trimmed elements of an indexed array object, or false.
using ArrayReader = std::function<bool(int64_t number, std::string* elements)>;
// AppendRef adds "N 0 R" to the array under `key`: a new array when the key is absent, the
// inline array extended, or an indirect array's elements copied inline and extended.
std::string AppendRef(std::string_view body, std::string_view key, uint32_t number,
                      const ArrayReader& readArray);

struct TrailerFields {
  uint32_t size = 0;
  int64_t root = 0;
  uint32_t rootGeneration = 0;
  // The /Info value to carry over into every trailer, as the previous one's entries are.
  std::string info;
  std::optional<int64_t> prev;  // the previous section, for an update
  std::optional<std::pair<std::string, std::string>> id;
};
enum class XrefLayout {
  PerObject,  // an update: a subsection for each object
  WholeFile,  // every object: one subsection from object 0, the free head included
};
// WriteXrefAndTrailer appends the cross-reference section (entries in ascending order), the
// trailer, startxref and %%EOF.
void WriteXrefAndTrailer(UpdateBuffer* update, const TrailerFields& trailer,
                         XrefLayout layout = XrefLayout::PerObject);
// WriteXrefStream appends the update's cross-reference as an uncompressed cross-reference
// stream, object `number`, which lists itself too (ISO 32000-1 7.5.8), then startxref and
// %%EOF. Its dictionary carries the trailer's keys.
void WriteXrefStream(UpdateBuffer* update, const TrailerFields& trailer, uint32_t number);
