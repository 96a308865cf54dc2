#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Parsers of cross-reference data (ISO 32000-1 7.5.4 tables, 7.5.8 streams) and of object
// stream headers (7.5.7). They work on bounded views and never read outside them.

// XrefRecord is one entry of a cross-reference section.
struct XrefRecord {
  enum class Kind : uint8_t { Free, Plain, Compressed };
  int32_t number = 0;
  Kind kind = Kind::Free;
  uint32_t generation = 0;  // Plain and Free; readers take any non-negative 32-bit value
  uint64_t offset = 0;      // Plain: the object's byte offset; Compressed: its object stream's number
  uint32_t index = 0;       // Compressed: its index inside the object stream
};

// Object numbers past ISO 32000-1's limit (Annex C) are not accepted by readers.
inline constexpr int64_t kMaxObjectNumber = 8388607;

// XrefTableCursor carries a classic table's parse across windows of the file.
struct XrefTableCursor {
  int64_t next = 0;       // number of the next entry of the current subsection
  int64_t remaining = 0;  // entries left in it
  bool done = false;      // "trailer" reached
  bool failed = false;
};
// FeedXrefTable parses the subsections of a classic table from the start of `text` (after the
// keyword "xref") and returns how many bytes it consumed. It stops before an item cut by the
// end of `text` unless `atEnd`; it sets `done` at "trailer" (not consumed) and `failed` on
// anything else that is not an entry or subsection header.
size_t FeedXrefTable(std::string_view text, bool atEnd, XrefTableCursor* cursor,
                     std::vector<XrefRecord>* out);

// ParseXrefStream reads the entries of a cross-reference stream from its dictionary body (/W,
// /Index, /Size) and decoded data. It returns false when /W is unusable; entries cut short by
// the end of the data are left out, and `complete` (when given) then says so.
bool ParseXrefStream(std::string_view dict, std::string_view data, std::vector<XrefRecord>* out,
                     bool* complete = nullptr);

// ObjectStreamEntry is one object of an object stream: its number and the offset of its text
// from the stream's start.
struct ObjectStreamEntry {
  int32_t number = 0;
  size_t offset = 0;
};
// ParseObjectStream reads the /N pairs in front of an object stream's objects, whose text
// starts at /First. It returns false when the header cannot be read or points outside the data.
bool ParseObjectStream(std::string_view dict, std::string_view data, std::vector<ObjectStreamEntry>* out);
// ObjectStreamText is the text of object `index` of an object stream: from its offset to the
// next object's, or to the data's end.
std::string_view ObjectStreamText(std::string_view data, const std::vector<ObjectStreamEntry>& entries,
                                  size_t index);
