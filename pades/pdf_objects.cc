// PdfScan's object table: the cross-reference chain, the repair index for damaged tables, and
// reading objects, plain or inside object streams.
#include <algorithm>
#include <cstring>
#include <set>

#include "pades/pdf_scan.h"
#include "pades/pdf_scan_window.h"
#include "pades/pdf_syntax.h"
#include "pades/stream_decode.h"

using pdf_scan_internal::ParseObjectDict;
using pdf_scan_internal::ParseValue;

namespace {

// Longer /Prev chains are taken as loops; real files have a few sections, one per update.
constexpr int kMaxSections = 4096;
// Stream data larger than this is not read: cross-reference and object streams are far
// smaller, and only they are decoded.
constexpr uint64_t kMaxStreamData = uint64_t(64) << 20;
// Decoded object streams kept at once: enough for a page tree spread over several streams.
constexpr size_t kMaxStreams = 8;

bool IsObjectType(std::string_view dict, std::string_view type) {
  auto value = FindValue(dict, "Type");
  return value && Trim(*value) == type;
}

}  // namespace

const IndexEntry* PdfScan::Find(int64_t number) const {
  auto it = std::lower_bound(index_.begin(), index_.end(), number,
                             [](const IndexEntry& e, int64_t n) { return e.number < n; });
  if (it == index_.end() || it->number != number) return nullptr;
  return &*it;
}

std::optional<uint32_t> PdfScan::Offset(int64_t number) const {
  const IndexEntry* entry = Find(number);
  if (!entry || entry->compressed) return std::nullopt;
  return entry->offset;
}

uint32_t PdfScan::Generation(int64_t number) const {
  const IndexEntry* entry = Find(number);
  return entry ? entry->generation : 0;
}

std::optional<int64_t> PdfScan::RefTo(std::string_view body, std::string_view key) const {
  std::optional<Reference> ref = GetReference(body, key);
  if (!ref || ref->generation != Generation(ref->number)) return std::nullopt;
  return ref->number;
}

int64_t PdfScan::highestNumber() const {
  int64_t highest = index_.empty() ? 0 : index_.back().number;
  for (const IndexEntry& header : headers_) highest = std::max<int64_t>(highest, header.number);
  return highest;
}

bool PdfScan::ReadDictAt(uint64_t offset, std::string* body, uint64_t* end) {
  return WithWindow(offset, [&](std::string_view text, bool atEnd, size_t* used) {
    size_t start = 0, stop = 0;
    Parse parsed = ParseObjectDict(text, atEnd, false, &start, &stop, used);
    if (parsed != Parse::Done) return parsed;
    body->assign(text.substr(start, stop - start));
    *end = offset + *used;
    return Parse::Done;
  });
}

bool PdfScan::ReadStreamAt(uint64_t offset, std::string* dict, std::string* data) {
  uint64_t dictEnd = 0;
  if (!ReadDictAt(offset, dict, &dictEnd)) return false;
  const std::string after = ReadSpan(dictEnd, 32);
  const size_t start = StreamDataStart(after, 0);
  if (start == std::string_view::npos) return false;
  const uint64_t dataStart = dictEnd + start;

  // /Length may be indirect (written after the stream by one-pass producers).
  std::optional<int64_t> length;
  if (std::optional<Reference> ref = GetReference(*dict, "Length")) {
    const IndexEntry* entry = Find(ref->number);
    if (entry && !entry->compressed && entry->generation == ref->generation) {
      std::string text = ReadSpan(entry->offset, 64);
      size_t p = SkipDigits(text, 0);
      p = SkipDigits(text, SkipBlank(text, p));
      p = SkipBlank(text, p);
      int64_t value = 0;
      if (text.compare(p, 3, "obj") == 0 && ScanLong(text, &(p += 3), &value)) length = value;
    }
  } else if (auto value = FindValue(*dict, "Length")) {
    size_t p = 0;
    int64_t n = 0;
    if (ScanLong(*value, &p, &n)) length = n;
  }
  uint64_t size = 0;
  if (length && *length >= 0 && uint64_t(*length) <= length_ - std::min(length_, dataStart)) {
    size = uint64_t(*length);
  } else {
    std::optional<uint64_t> end = FindForward(dataStart, "endstream", kMaxStreamData);
    if (!end) return false;
    size = *end - dataStart;
  }
  if (size > kMaxStreamData) {
    streamRefused_ = true;
    return false;
  }
  const std::string raw = ReadSpan(dataStart, size_t(size));
  DecodeLimits limits;
  limits.maxOutput = size_t(std::min<uint64_t>(limits.maxOutput, budget_));
  DecodeStatus status = DecodeStream(*dict, raw, limits, data);
  if (status == DecodeStatus::TooLarge) streamRefused_ = true;
  if (status != DecodeStatus::Ok) return false;
  return Charge(data->size());
}

// ReadXrefSection reads one section: a classic table with its trailer (and, in a hybrid file,
// the stream its /XRefStm names), or a cross-reference stream.
bool PdfScan::ReadXrefSection(uint64_t offset, std::vector<XrefRecord>* records,
                              std::optional<int64_t>* prev) {
  *prev = std::nullopt;
  std::string head = ReadSpan(offset, 64);
  const size_t blank = SkipBlank(head, 0);
  std::string dict;
  if (head.compare(blank, 4, "xref") == 0) {
    std::vector<XrefRecord> table;
    XrefTableCursor cursor;
    uint64_t at = offset + blank + 4;
    while (!cursor.done) {
      const std::string text = ReadSpan(at, size_t(1) << 20);
      const size_t used = FeedXrefTable(text, at + text.size() >= length_, &cursor, &table);
      Charge(text.size());
      at += used;
      if (cursor.failed || budget_ == 0 || (!cursor.done && used == 0)) return false;
    }
    bool read = WithWindow(at + 7, [&](std::string_view text, bool atEnd, size_t* used) {
      size_t start = 0, end = 0;
      Parse parsed = ParseValue(text, 0, atEnd, false, &start, &end, used);
      if (parsed == Parse::Done) dict.assign(text.substr(start, end - start));
      return parsed;
    });
    if (!read) return false;
    // ISO 32000-1 7.5.8.4: a hybrid file's table comes first, then the stream it names, then
    // /Prev. A free entry of the table does not hide the stream's entry for that number.
    for (const XrefRecord& r : table)
      if (r.kind != XrefRecord::Kind::Free) records->push_back(r);
    if (std::optional<std::string_view> hidden = FindValue(dict, "XRefStm")) {
      size_t p = 0;
      int64_t stream = 0;
      std::string streamDict, data;
      if (ScanLong(*hidden, &p, &stream) && stream > 0 && uint64_t(stream) < length_ &&
          ReadStreamAt(uint64_t(stream), &streamDict, &data) && IsObjectType(streamDict, "/XRef"))
        ParseXrefStream(streamDict, data, records);
    }
    for (const XrefRecord& r : table)
      if (r.kind == XrefRecord::Kind::Free) records->push_back(r);
  } else {
    std::string data;
    if (!ReadStreamAt(offset + blank, &dict, &data) || !IsObjectType(dict, "/XRef") ||
        !ParseXrefStream(dict, data, records))
      return false;
  }
  if (auto value = FindValue(dict, "Prev")) {
    size_t p = 0;
    int64_t n = 0;
    if (ScanLong(*value, &p, &n)) *prev = n;
  }
  return true;
}

bool PdfScan::ReadXrefChain(std::vector<XrefRecord>* records) {
  std::vector<XrefSection> sections;
  const bool read = Sections(&sections);
  for (const XrefSection& section : sections)
    records->insert(records->end(), section.records.begin(), section.records.end());
  return read;
}

bool PdfScan::Sections(std::vector<XrefSection>* out) {
  out->clear();
  std::set<uint64_t> seen;
  std::optional<int64_t> next = startxref_;
  for (int sections = 0; next; ++sections) {
    if (*next <= 0 || uint64_t(*next) >= length_ || sections == kMaxSections ||
        !seen.insert(uint64_t(*next)).second)
      return false;
    XrefSection section;
    section.offset = uint64_t(*next);
    const bool read = ReadXrefSection(section.offset, &section.records, &next);
    // What a damaged section yielded still serves the repair of the index.
    out->push_back(std::move(section));
    if (!read) return false;
  }
  return true;
}

bool PdfScan::ReadRecordBody(const XrefRecord& record, std::string* body, bool* isArray) {
  for (bool array : {false, true}) {
    *isArray = array;
    if (record.kind == XrefRecord::Kind::Plain) {
      const std::optional<uint64_t> at = HeaderAt(record.offset, record.number, record.generation);
      if (!at) return false;
      bool read = WithWindow(*at, [&](std::string_view text, bool atEnd, size_t* used) {
        size_t start = 0, end = 0;
        Parse parsed = ParseObjectDict(text, atEnd, array, &start, &end, used);
        if (parsed == Parse::Done) body->assign(text.substr(start, end - start));
        return parsed;
      });
      if (read) return true;
    } else if (record.kind == XrefRecord::Kind::Compressed) {
      const ObjectStream* stream = LoadObjectStream(int64_t(record.offset));
      if (!stream || record.index >= stream->entries.size() ||
          stream->entries[record.index].number != record.number)
        return false;
      const std::string_view text = ObjectStreamText(stream->data, stream->entries, record.index);
      size_t start = 0, end = 0, used = 0;
      if (ParseValue(text, 0, true, array, &start, &end, &used) == Parse::Done) {
        body->assign(text.substr(start, end - start));
        return true;
      }
    } else {
      return false;
    }
  }
  return false;
}

// HeaderAt returns where the header "number generation obj" begins when the bytes at `offset`
// (after blanks) are that header.
std::optional<uint64_t> PdfScan::HeaderAt(uint64_t offset, int64_t number, uint32_t generation) {
  auto it = std::lower_bound(headers_.begin(), headers_.end(), offset,
                             [](const IndexEntry& e, uint64_t at) { return e.offset < at; });
  if (it != headers_.end() && it->offset == offset)
    return it->number == number && it->generation == generation ? std::optional<uint64_t>(offset)
                                                                : std::nullopt;
  // Not found by the pass (it may lie inside what looked like stream data): read it.
  char bytes[48];
  size_t got = 0;
  if (offset >= length_ || !file_.input().ReadAt(offset, bytes, sizeof bytes, &got)) return std::nullopt;
  std::string_view text(bytes, got);
  size_t p = SkipBlank(text, 0), first = p;
  int64_t n = -1, g = -1;
  if (!IsDigit(uint8_t(text[std::min(p, got - 1)])) || !ScanLong(text, &p, &n) || !ScanLong(text, &p, &g))
    return std::nullopt;
  p = SkipBlank(text, p);
  if (n != number || g != generation || text.compare(p, 3, "obj") != 0) return std::nullopt;
  return offset + first;
}

// BuildIndex locates the objects. The cross-reference sections win, newest first (ISO 32000-1
// 7.5.4, 7.5.6, 7.5.8): they are what viewers resolve references through, and an object that
// only a raw scan finds (say, one written inside a stream's data) is not part of the document.
// When the chain cannot be read, an entry points at bytes that are not its object, or the
// catalog is not listed, the table is damaged and, as common readers repair such files, the
// headers found by the pass take its place: the last definition in the file wins, and entries
// for compressed objects are kept from whatever sections could be read.
void PdfScan::BuildIndex() {
  std::vector<XrefRecord> records;
  const bool chainRead = ReadXrefChain(&records);
  std::stable_sort(records.begin(), records.end(),
                   [](const XrefRecord& a, const XrefRecord& b) { return a.number < b.number; });
  std::vector<IndexEntry> table;
  bool valid = chainRead;
  for (size_t i = 0; i < records.size(); ++i) {
    const XrefRecord& r = records[i];
    if (i > 0 && records[i - 1].number == r.number) continue;  // an older section's entry
    if (r.kind == XrefRecord::Kind::Free) continue;
    IndexEntry entry;
    entry.number = r.number;
    entry.generation = r.generation;
    if (r.kind == XrefRecord::Kind::Compressed) {
      entry.compressed = true;
      entry.offset = uint32_t(r.offset);
      entry.streamIndex = r.index;
    } else {
      std::optional<uint64_t> at = HeaderAt(r.offset, r.number, r.generation);
      if (!at) {
        valid = false;
        continue;
      }
      entry.offset = uint32_t(*at);
    }
    table.push_back(entry);
  }
  index_ = table;
  if (valid && Find(root_)) {
    KeepCurrentFields();
    return;
  }

  UseScannedHeaders();
  std::vector<IndexEntry> compressed;
  for (const IndexEntry& e : table)
    if (e.compressed && !Find(e.number)) compressed.push_back(e);
  if (!compressed.empty()) {
    index_.insert(index_.end(), compressed.begin(), compressed.end());
    std::sort(index_.begin(), index_.end(),
              [](const IndexEntry& a, const IndexEntry& b) { return a.number < b.number; });
  }
  if (!Find(root_)) IndexScannedObjectStreams();
  index_.shrink_to_fit();
  KeepCurrentFields();
}

void PdfScan::UseScannedHeaders() {
  repaired_ = true;
  std::vector<IndexEntry> scanned = headers_;
  std::stable_sort(scanned.begin(), scanned.end(),
                   [](const IndexEntry& a, const IndexEntry& b) { return a.number < b.number; });
  index_.clear();
  for (size_t i = 0; i < scanned.size(); ++i) {
    if (!index_.empty() && index_.back().number == scanned[i].number) {
      index_.back() = scanned[i];
    } else {
      index_.push_back(scanned[i]);
    }
  }
}

// IndexScannedObjectStreams adds, for a file without a usable table, the objects of every
// object stream the pass found; a later stream's object replaces an earlier one, and a plain
// object is never replaced.
void PdfScan::IndexScannedObjectStreams() {
  std::vector<IndexEntry> found;
  for (int64_t number : scannedObjectStreams_) {
    const IndexEntry* stream = Find(number);
    if (!stream || stream->compressed) continue;
    const ObjectStream* objects = LoadObjectStream(number);
    if (!objects) continue;
    for (size_t i = 0; i < objects->entries.size(); ++i) {
      IndexEntry entry;
      entry.number = objects->entries[i].number;
      entry.compressed = true;
      entry.offset = uint32_t(number);
      entry.streamIndex = uint32_t(i);
      found.push_back(entry);
    }
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const IndexEntry& a, const IndexEntry& b) { return a.number < b.number; });
  std::vector<IndexEntry> added;
  for (size_t i = 0; i < found.size(); ++i) {
    if (i + 1 < found.size() && found[i + 1].number == found[i].number) continue;
    if (!Find(found[i].number)) added.push_back(found[i]);
  }
  index_.insert(index_.end(), added.begin(), added.end());
  std::sort(index_.begin(), index_.end(),
            [](const IndexEntry& a, const IndexEntry& b) { return a.number < b.number; });
}

// KeepCurrentFields keeps the fields the pass noted only where they are the indexed object.
void PdfScan::KeepCurrentFields() {
  std::vector<FieldObject> kept;
  for (FieldObject& field : fields_) {
    std::optional<uint32_t> at = Offset(field.number);
    if (at && *at == field.offset) kept.push_back(std::move(field));
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const FieldObject& a, const FieldObject& b) { return a.number < b.number; });
  // One object may have been noted more than once; its dictionary is the same each time.
  kept.erase(std::unique(kept.begin(), kept.end(),
                         [](const FieldObject& a, const FieldObject& b) { return a.number == b.number; }),
             kept.end());
  fields_ = std::move(kept);
}

// NoteCompressedFields finds the fields and widgets kept in object streams, which the pass
// cannot see, through the AcroForm's field tree.
void PdfScan::NoteCompressedFields() {
  if (std::none_of(index_.begin(), index_.end(), [](const IndexEntry& e) { return e.compressed; })) return;
  std::string form;
  if (std::optional<int64_t> number = RefTo(catalog_, "AcroForm")) {
    if (!ReadObjectDict(*number, &form)) return;
  } else if (auto value = FindValue(catalog_, "AcroForm")) {
    std::string_view inline_ = Trim(*value);
    if (inline_.size() < 4 || inline_.substr(0, 2) != "<<") return;
    form = std::string(inline_.substr(2, inline_.size() - 4));
  }
  std::set<int64_t> seen;
  uint64_t visits = 0;
  auto walk = [&](auto&& self, std::string_view list, int depth) -> void {
    std::string elements;
    list = Trim(list);
    if (std::optional<Reference> ref = [&] {
          size_t p = 0;
          return ReadReference(list, &p);
        }()) {
      if (!ReadObjectArray(ref->number, &elements)) return;
      list = elements;
    } else if (list.size() >= 2 && list.front() == '[') {
      list = list.substr(1, list.size() - 2);
    }
    for (size_t pos = 0; pos < list.size() && depth < 32;) {
      std::optional<Reference> kid = ReadReference(list, &pos);
      if (!kid) {
        size_t next = SkipValue(list, pos);
        if (next <= pos) break;
        pos = next;
        continue;
      }
      if (++visits > index_.size() + 64 || !seen.insert(kid->number).second) continue;
      const IndexEntry* entry = Find(kid->number);
      std::string body;
      if (!entry || !ReadObjectDict(kid->number, &body)) continue;
      if (entry->compressed) NoteFieldObject(int32_t(kid->number), 0, body);
      if (auto kids = FindValue(body, "Kids")) self(self, *kids, depth + 1);
    }
  };
  if (auto fields = FindValue(form, "Fields")) walk(walk, *fields, 0);
  std::stable_sort(fields_.begin(), fields_.end(),
                   [](const FieldObject& a, const FieldObject& b) { return a.number < b.number; });
}

const PdfScan::ObjectStream* PdfScan::LoadObjectStream(int64_t number) {
  for (ObjectStream& s : streams_)
    if (s.number == number) {
      s.used = ++clock_;
      return &s;
    }
  const IndexEntry* entry = Find(number);
  if (!entry || entry->compressed) return nullptr;
  ObjectStream loaded;
  std::string dict;
  loaded.number = number;
  if (!ReadStreamAt(entry->offset, &dict, &loaded.data) || !IsObjectType(dict, "/ObjStm") ||
      !ParseObjectStream(dict, loaded.data, &loaded.entries))
    return nullptr;
  loaded.used = ++clock_;
  if (streams_.size() < kMaxStreams) {
    streams_.push_back(std::move(loaded));
    return &streams_.back();
  }
  ObjectStream& oldest =
      *std::min_element(streams_.begin(), streams_.end(),
                        [](const ObjectStream& a, const ObjectStream& b) { return a.used < b.used; });
  oldest = std::move(loaded);
  return &oldest;
}

bool PdfScan::ReadObjectBody(int64_t number, bool array, std::string* body) {
  const IndexEntry* entry = Find(number);
  if (!entry) return false;
  if (!entry->compressed) {
    return WithWindow(entry->offset, [&](std::string_view text, bool atEnd, size_t* used) {
      size_t start = 0, end = 0;
      Parse parsed = ParseObjectDict(text, atEnd, array, &start, &end, used);
      if (parsed != Parse::Done) return parsed;
      std::string_view value = text.substr(start, end - start);
      body->assign(array ? Trim(value) : value);
      return Parse::Done;
    });
  }
  const uint32_t index = entry->streamIndex;
  const ObjectStream* stream = LoadObjectStream(entry->offset);
  if (!stream || index >= stream->entries.size() || stream->entries[index].number != number) return false;
  const std::string_view text = ObjectStreamText(stream->data, stream->entries, index);
  size_t start = 0, end = 0, used = 0;
  if (ParseValue(text, 0, true, array, &start, &end, &used) != Parse::Done) return false;
  std::string_view value = text.substr(start, end - start);
  body->assign(array ? Trim(value) : value);
  return true;
}

bool PdfScan::ReadObjectDict(int64_t number, std::string* body) {
  return ReadObjectBody(number, false, body);
}

bool PdfScan::ReadObjectArray(int64_t number, std::string* elements) {
  return ReadObjectBody(number, true, elements);
}

bool PdfScan::ReadStream(int64_t number, std::string* dict, std::string* data) {
  const IndexEntry* entry = Find(number);
  return entry && !entry->compressed && ReadStreamAt(entry->offset, dict, data);
}

// CollectPages walks the tree with a stack of its own, so no depth is too deep and hostile
// nesting cannot exhaust the native stack. A node that is its own ancestor is a loop and is
// skipped; the visit bound stops trees whose nodes are shared so often that the walk would
// multiply (an honest tree visits each of its objects once).
std::vector<int64_t> PdfScan::CollectPages(int64_t rootNumber) {
  struct Node {
    int64_t number;
    std::string kids;  // the /Kids array's elements
    size_t pos;        // where the next kid starts
  };
  std::vector<int64_t> pages;
  std::vector<Node> path;
  std::set<int64_t> onPath;
  const uint64_t maxVisits = index_.size() + 64;
  uint64_t visits = 0;
  auto enter = [&](int64_t number) {
    std::string body;
    if (++visits > maxVisits || onPath.count(number) || !ReadObjectDict(number, &body)) return;
    auto type = FindValue(body, "Type");
    if (type && Trim(*type) == "/Page") {
      pages.push_back(number);
      return;
    }
    auto kidsValue = FindValue(body, "Kids");
    if (!kidsValue) return;
    std::string_view kids = Trim(*kidsValue);
    if (!kids.empty() && kids[0] == '[') kids.remove_prefix(1);
    path.push_back({number, std::string(kids), 0});
    onPath.insert(number);
  };
  enter(rootNumber);
  while (!path.empty()) {
    Node& node = path.back();
    const size_t pos = SkipBlank(node.kids, node.pos);
    const size_t next = pos < node.kids.size() && node.kids[pos] != ']' ? SkipValue(node.kids, pos) : pos;
    if (next <= pos) {
      onPath.erase(node.number);
      path.pop_back();
      continue;
    }
    node.pos = next;
    size_t p = pos;
    int64_t kid = 0, generation = 0;
    char r = 0;
    if (ScanLong(node.kids, &p, &kid) && ScanLong(node.kids, &p, &generation) &&
        ScanChar(node.kids, &p, &r) && r == 'R' && kid > 0)
      enter(kid);  // may grow `path`: `node` is not used after this
  }
  return pages;
}
