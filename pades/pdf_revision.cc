#include "pades/pdf_revision.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "pades/pdf_syntax.h"
#include "pades/stream_decode.h"

namespace {

constexpr size_t kFirstWindow = 4096;
// A value that does not end within this many bytes is treated as damaged.
constexpr size_t kMaxWindow = size_t(8) << 20;
// Longer /Prev chains are loops in disguise; real files have one section per update.
constexpr size_t kMaxSections = 4096;
constexpr size_t kMaxObjectStreams = 8;
constexpr uint64_t kMaxStreamData = uint64_t(64) << 20;

std::string At(uint64_t offset) {
  return std::to_string(offset);
}

// Header reads "N G obj" at the start of `text` (after blanks); `*pos` ends after "obj".
bool Header(std::string_view text, size_t* pos, int64_t* number, int64_t* generation) {
  size_t p = SkipBlank(text, 0);
  *pos = p;
  auto digits = [&](int64_t* out) {
    const size_t start = p, end = SkipDigits(text, p);
    if (end == start || end - start > 10) return false;
    *out = 0;
    for (size_t k = start; k < end; ++k) *out = *out * 10 + (text[k] - '0');
    p = SkipBlank(text, end);
    return true;
  };
  if (!digits(number) || !digits(generation) || text.compare(p, 3, "obj") != 0) return false;
  p += 3;
  if (p < text.size() && !IsPdfDelimiter(uint8_t(text[p]))) return false;
  *pos = p;
  return true;
}

// DataStart is the first byte of stream data when "stream" and its end of line follow `p`.
size_t DataStart(std::string_view text, size_t p) {
  p = SkipBlank(text, p);
  if (text.compare(p, 6, "stream") != 0) return std::string_view::npos;
  p += 6;
  if (p < text.size() && text[p] == '\r') ++p;
  if (p < text.size() && text[p] == '\n') ++p;
  return p;
}

bool Integer(const PdfValue* value, int64_t* out) {
  if (!value || !value->Is(PdfValue::Type::Integer)) return false;
  *out = value->integer;
  return true;
}

// SortRecords orders a section's records and refuses one that lists a number twice: readers
// disagree on which entry wins.
bool SortRecords(std::vector<XrefRecord>* records, uint64_t offset, std::string* error) {
  std::stable_sort(records->begin(), records->end(),
                   [](const XrefRecord& a, const XrefRecord& b) { return a.number < b.number; });
  for (size_t i = 1; i < records->size(); ++i)
    if ((*records)[i].number == (*records)[i - 1].number) {
      *error = "la seccion de referencias cruzadas del byte " + At(offset) + " define dos veces el objeto " +
               std::to_string((*records)[i].number);
      return false;
    }
  return true;
}

// Opaque keeps text that could not be parsed, with every reference it might hold.
void Opaque(std::string_view text, PdfObject* out) {
  out->opaque = true;
  out->raw.assign(text);
  out->value = PdfValue();
  out->value.type = PdfValue::Type::Array;
  for (const auto& [number, generation] : ScanReferences(text)) {
    PdfValue ref;
    ref.type = PdfValue::Type::Reference;
    ref.integer = number;
    ref.generation = generation;
    out->value.items.push_back(ref);
  }
}

}  // namespace

uint64_t XrefSectionData::Start() const {
  uint64_t start = UINT64_MAX;
  for (const auto& extent : extents) start = std::min(start, extent.first);
  return start;
}

// Honest files parse each value about once; this many bytes of parsing stop hostile ones that
// make every window run to its limit.
uint64_t ParseBudget(uint64_t length) {
  return 8 * length + (uint64_t(256) << 20);
}

template <typename F>
bool PdfRevisionReader::ParseWindow(uint64_t offset, F&& parse) {
  for (size_t window = kFirstWindow;; window *= 4) {
    if (parsed_ > ParseBudget(file_->length())) return false;
    std::string text = file_->Read(offset, std::min(window, kMaxWindow));
    parsed_ += text.size();
    const bool atEnd = offset + text.size() >= file_->length();
    if (atEnd) text += '\n';  // the file's end closes its last token
    const ParseStatus status = parse(std::string_view(text));
    if (status == ParseStatus::Ok) return true;
    if (status == ParseStatus::Invalid || atEnd || window >= kMaxWindow) return false;
  }
}

PdfRevision::PdfRevision(PdfRevisionReader* reader, std::vector<const XrefSectionData*> chain)
    : reader_(reader), chain_(std::move(chain)) {}

int PdfRevision::EntrySection(int64_t number) const {
  for (size_t i = 0; i < chain_.size(); ++i) {
    const std::vector<XrefRecord>& records = chain_[i]->records;
    auto it = std::lower_bound(records.begin(), records.end(), number,
                               [](const XrefRecord& r, int64_t n) { return r.number < n; });
    if (it != records.end() && it->number == number) return int(i);
  }
  return -1;
}

const XrefRecord* PdfRevision::Entry(int64_t number) const {
  const int section = EntrySection(number);
  if (section < 0) return nullptr;
  const std::vector<XrefRecord>& records = chain_[size_t(section)]->records;
  return &*std::lower_bound(records.begin(), records.end(), number,
                            [](const XrefRecord& r, int64_t n) { return r.number < n; });
}

PdfRevision::Load PdfRevision::LoadObject(int64_t number, PdfObject* out, std::string* error) {
  *out = PdfObject();
  const XrefRecord* entry = Entry(number);
  if (!entry || entry->kind == XrefRecord::Kind::Free) return Load::Null;
  const bool read =
      entry->kind == XrefRecord::Kind::Plain
          ? reader_->ReadPlainObject(entry->offset, number, entry->generation, this, out, error)
          : reader_->ReadCompressedObject(int64_t(entry->offset), entry->index, number, this, out, error);
  return read ? Load::Ok : Load::Damaged;
}

const PdfValue& PdfRevision::Resolve(const PdfValue& value, PdfObject* holder) {
  static const PdfValue kNull;
  if (!value.Is(PdfValue::Type::Reference)) return value;
  // A reference whose generation is not the entry's resolves to null, as readers take it.
  const XrefRecord* entry = Entry(value.integer);
  std::string error;
  if (!entry || entry->generation != value.generation ||
      LoadObject(value.integer, holder, &error) != Load::Ok)
    return kNull;
  return holder->value;
}

const XrefSectionData* PdfRevisionReader::Section(uint64_t offset, std::string* error) {
  if (auto it = sections_.find(offset); it != sections_.end()) return it->second.get();
  auto section = std::make_unique<XrefSectionData>();
  section->offset = offset;
  const std::string head = file_->Read(offset, 64);
  const size_t blank = SkipBlank(head, 0);
  const bool table = head.compare(blank, 4, "xref") == 0;
  if (offset >= file_->length() ||
      !(table ? ReadTable(offset, section.get(), error) : ReadStreamSection(offset, section.get(), error))) {
    if (error->empty())
      *error = "no hay una seccion de referencias cruzadas legible en el byte " + At(offset);
    return nullptr;
  }
  return (sections_[offset] = std::move(section)).get();
}

bool PdfRevisionReader::ReadTable(uint64_t offset, XrefSectionData* out, std::string* error) {
  const std::string head = file_->Read(offset, 64);
  const uint64_t start = offset + SkipBlank(head, 0);
  std::vector<XrefRecord> table;
  XrefTableCursor cursor;
  uint64_t at = start + 4;
  while (!cursor.done) {
    const std::string text = file_->Read(at, size_t(1) << 20);
    const size_t used = FeedXrefTable(text, at + text.size() >= file_->length(), &cursor, &table);
    at += used;
    if (cursor.failed || (!cursor.done && used == 0)) return false;
  }
  uint64_t end = 0;
  if (!ParseWindow(at + 7,
                   [&](std::string_view text) {
                     size_t p = 0;
                     const ParseStatus s = ParsePdfValue(text, &p, &out->trailer);
                     end = at + 7 + p;
                     return s;
                   }) ||
      !out->trailer.Is(PdfValue::Type::Dictionary))
    return false;
  out->extents.push_back({start, end});
  if (!SortRecords(&table, offset, error)) return false;
  int64_t hybrid = 0;
  if (Integer(out->trailer.Get("XRefStm"), &hybrid)) {
    XrefSectionData stream;
    if (hybrid <= 0 || !ReadStreamSection(uint64_t(hybrid), &stream, error)) {
      if (error->empty())
        *error = "el /XRefStm del byte " + At(offset) + " no lleva a un flujo de referencias";
      return false;
    }
    out->extents.insert(out->extents.end(), stream.extents.begin(), stream.extents.end());
    // ISO 32000-1 7.5.8.4: in a hybrid section the table's objects come first, then the
    // stream's; a free entry of the table does not hide the stream's entry for that number.
    std::vector<XrefRecord> merged;
    std::merge(table.begin(), table.end(), stream.records.begin(), stream.records.end(),
               std::back_inserter(merged),
               [](const XrefRecord& a, const XrefRecord& b) { return a.number < b.number; });
    for (const XrefRecord& r : merged) {
      if (!out->records.empty() && out->records.back().number == r.number) {
        if (out->records.back().kind == XrefRecord::Kind::Free) out->records.back() = r;
        continue;
      }
      out->records.push_back(r);
    }
  } else {
    out->records = std::move(table);
  }
  int64_t prev = 0;
  if (const PdfValue* value = out->trailer.Get("Prev")) {
    if (!Integer(value, &prev) || prev < 0) return false;
    out->prev = uint64_t(prev);
  }
  return true;
}

bool PdfRevisionReader::ReadStreamSection(uint64_t offset, XrefSectionData* out, std::string* error) {
  PdfObject object;
  std::string dictBody;
  uint64_t start = 0;
  bool ok = ParseWindow(offset, [&](std::string_view text) {
    size_t p = 0;
    int64_t number = 0, generation = 0;
    if (!Header(text, &p, &number, &generation) || number < 1) return ParseStatus::Invalid;
    start = offset + SkipBlank(text, 0);
    const size_t valueStart = SkipBlank(text, p);
    const ParseStatus s = ParsePdfValue(text, &p, &object.value);
    if (s == ParseStatus::Ok && p >= valueStart + 4)
      dictBody.assign(text.substr(valueStart + 2, p - valueStart - 4));
    if (s == ParseStatus::Ok && DataStart(text, p) == std::string_view::npos) return ParseStatus::Invalid;
    if (s == ParseStatus::Ok) object.dataStart = offset + DataStart(text, p);
    return s;
  });
  int64_t length = 0;
  // A cross-reference stream's /Length is direct: nothing can be resolved before it is read.
  if (!ok || !object.value.Get("Type") || !object.value.Get("Type")->IsName("XRef") ||
      !Integer(object.value.Get("Length"), &length) || length < 0)
    return false;
  object.stream = true;
  if (!StreamData(object.value, object.dataStart, nullptr, &object)) return false;
  std::string data;
  if (!DecodeData(dictBody, object, &data, error)) return false;
  bool complete = false;
  if (!ParseXrefStream(dictBody, data, &out->records, &complete) || !complete) {
    *error =
        "el flujo de referencias cruzadas del byte " + At(offset) + " no se puede leer entero (/W, /Index)";
    return false;
  }
  if (!SortRecords(&out->records, offset, error)) return false;
  out->trailer = std::move(object.value);
  out->stream = true;
  out->extents.push_back({start, object.end});
  int64_t prev = 0;
  if (const PdfValue* value = out->trailer.Get("Prev")) {
    if (!Integer(value, &prev) || prev < 0) return false;
    out->prev = uint64_t(prev);
  }
  return true;
}

bool PdfRevisionReader::Chain(uint64_t startxref, std::vector<const XrefSectionData*>* out,
                              std::string* error) {
  out->clear();
  std::set<uint64_t> seen;
  for (std::optional<uint64_t> next = startxref; next;) {
    if (!seen.insert(*next).second || out->size() == kMaxSections) {
      *error = "la cadena de referencias cruzadas vuelve sobre si misma (/Prev " + At(*next) + ")";
      return false;
    }
    const XrefSectionData* section = Section(*next, error);
    if (!section) return false;
    out->push_back(section);
    next = section->prev;
  }
  return true;
}

std::optional<uint64_t> PdfRevisionReader::RevisionStartxref(uint64_t end) {
  if (end < 20 || end > file_->length()) return std::nullopt;
  const uint64_t from = end > 1100 ? end - 1100 : 0;
  const std::string tail = file_->Read(from, size_t(end - from));
  std::string_view text = tail;
  // The end of line after "%%EOF" must be whole: a range that stops between CR and LF leaves
  // a byte of its revision outside.
  if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") {
    text.remove_suffix(2);
  } else if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    const std::string next = file_->Read(end, 1);
    if (text.back() == '\r' && next == "\n") return std::nullopt;
    text.remove_suffix(1);
  } else if (end != file_->length()) {
    return std::nullopt;
  }
  if (text.size() < 5 || text.substr(text.size() - 5) != "%%EOF") return std::nullopt;
  text.remove_suffix(5);
  const size_t keyword = text.rfind("startxref");
  if (keyword == std::string_view::npos) return std::nullopt;
  size_t p = SkipBlank(text, keyword + 9);
  const size_t digits = SkipDigits(text, p);
  if (digits == p || digits - p > 12 || SkipBlank(text, digits) != text.size()) return std::nullopt;
  uint64_t value = 0;
  for (size_t k = p; k < digits; ++k) value = value * 10 + uint64_t(text[k] - '0');
  return value;
}

std::optional<uint64_t> PdfRevisionReader::LastRevisionEnd() {
  const uint64_t length = file_->length();
  for (uint64_t to = length; to > 0;) {
    const uint64_t from = to > (uint64_t(1) << 20) ? to - (uint64_t(1) << 20) : 0;
    const std::string text = file_->Read(from, size_t(std::min<uint64_t>(to + 4, length) - from));
    const size_t hit = text.rfind("%%EOF");
    if (hit != std::string::npos) {
      uint64_t end = from + hit + 5;
      const std::string after = file_->Read(end, 2);
      if (after.compare(0, 2, "\r\n") == 0) {
        end += 2;
      } else if (!after.empty() && (after[0] == '\n' || after[0] == '\r')) {
        end += 1;
      }
      return end;
    }
    to = from;
  }
  return std::nullopt;
}

bool PdfRevisionReader::StreamData(const PdfValue& dict, uint64_t dataStart, PdfRevision* revision,
                                   PdfObject* out) {
  int64_t length = -1;
  const PdfValue* value = dict.Get("Length");
  if (value && value->Is(PdfValue::Type::Reference) && revision) {
    PdfObject holder;
    Integer(&revision->Resolve(*value, &holder), &length);
  } else {
    Integer(value, &length);
  }
  const uint64_t fileLength = file_->length();
  uint64_t dataEnd = 0;
  bool found = false;
  if (length >= 0 && uint64_t(length) <= fileLength - std::min(fileLength, dataStart)) {
    const std::string after = file_->Read(dataStart + uint64_t(length), 32);
    const size_t p = SkipBlank(after, 0);
    if (after.compare(p, 9, "endstream") == 0) {
      dataEnd = dataStart + uint64_t(length);
      out->end = dataEnd + p + 9;
      found = true;
    }
  }
  // A wrong /Length is repaired as readers repair it: the data runs to the next "endstream".
  for (uint64_t at = dataStart; !found && at < fileLength && at - dataStart <= kMaxStreamData;) {
    const std::string text = file_->Read(at, (size_t(1) << 20) + 8);
    const size_t hit = FindBytes(text, "endstream");
    if (hit != std::string::npos) {
      dataEnd = at + hit;
      out->end = dataEnd + 9;
      if (dataEnd > dataStart && file_->Read(dataEnd - 1, 1) == "\n") --dataEnd;
      if (dataEnd > dataStart && file_->Read(dataEnd - 1, 1) == "\r") --dataEnd;
      found = true;
    } else if (at + text.size() >= fileLength) {
      break;
    } else {
      at += size_t(1) << 20;
    }
  }
  if (!found) return false;
  out->dataStart = dataStart;
  out->dataLength = dataEnd - dataStart;
  const std::string after = file_->Read(out->end, 64);
  const size_t p = SkipBlank(after, 0);
  if (after.compare(p, 6, "endobj") == 0) out->end += p + 6;
  return true;
}

bool PdfRevisionReader::DecodeData(std::string_view dictBody, const PdfObject& object, std::string* out,
                                   std::string* error) {
  if (object.dataLength > kMaxStreamData) {
    *error = "un flujo de referencias u objetos es demasiado grande";
    return false;
  }
  const std::string raw = file_->Read(object.dataStart, size_t(object.dataLength));
  DecodeLimits limits;
  // Hostile files could name the same huge stream over and over: the total is bounded.
  const uint64_t budget = 4 * file_->length() + (uint64_t(256) << 20);
  limits.maxOutput = size_t(std::min<uint64_t>(limits.maxOutput, budget - std::min(budget, decoded_)));
  if (DecodeStream(dictBody, raw, limits, out) != DecodeStatus::Ok) {
    *error = "no se pudo descomprimir un flujo de referencias u objetos";
    return false;
  }
  decoded_ += out->size();
  return true;
}

bool PdfRevisionReader::ReadPlainObject(uint64_t offset, int64_t number, uint32_t generation,
                                        PdfRevision* revision, PdfObject* out, std::string* error) {
  *out = PdfObject();
  size_t valueEnd = 0;
  bool mismatch = false;
  const bool parsed = ParseWindow(offset, [&](std::string_view text) {
    size_t p = 0;
    int64_t n = 0, g = 0;
    if (!Header(text, &p, &n, &g) || n != number || g != int64_t(generation)) {
      mismatch = true;
      return ParseStatus::Invalid;
    }
    out->start = offset + SkipBlank(text, 0);
    out->textBase = offset;
    const ParseStatus s = ParsePdfValue(text, &p, &out->value);
    if (s == ParseStatus::Invalid) {
      // Text no reader agrees on: kept as it stands, with every reference it might hold.
      const size_t end = FindBytes(text, "endobj", p);
      if (end == std::string_view::npos) return ParseStatus::Truncated;
      Opaque(text.substr(p, end - p), out);
      valueEnd = end + 6;
      out->end = offset + valueEnd;
      return ParseStatus::Ok;
    }
    if (s != ParseStatus::Ok) return s;
    valueEnd = p;
    const size_t data =
        out->value.Is(PdfValue::Type::Dictionary) ? DataStart(text, p) : std::string_view::npos;
    if (data != std::string_view::npos) {
      out->stream = true;
      out->dataStart = offset + data;
    }
    return ParseStatus::Ok;
  });
  if (!parsed) {
    *error = mismatch
                 ? "la referencia cruzada del objeto " + std::to_string(number) + " no apunta a su definicion"
                 : "el objeto " + std::to_string(number) + " no es legible";
    return false;
  }
  if (out->opaque) return true;
  if (out->stream) {
    if (!StreamData(out->value, out->dataStart, revision, out)) {
      *error = "el flujo del objeto " + std::to_string(number) + " no termina";
      return false;
    }
    return true;
  }
  out->end = offset + valueEnd;
  const std::string after = file_->Read(out->end, 64);
  const size_t p = SkipBlank(after, 0);
  if (after.compare(p, 6, "endobj") == 0) out->end += p + 6;
  return true;
}

bool PdfRevisionReader::LoadObjectStream(int64_t number, const XrefRecord& entry, PdfRevision* revision,
                                         DecodedStream* out, std::string* error) {
  PdfObject container;
  if (!ReadPlainObject(entry.offset, number, entry.generation, revision, &container, error)) return false;
  const PdfValue* type = container.value.Get("Type");
  if (!container.stream || !type || !type->IsName("ObjStm")) return false;
  // The dictionary's text is read again for the decoders, which take it as written.
  std::string dictBody;
  ParseWindow(container.start, [&](std::string_view text) {
    size_t p = 0;
    int64_t n = 0, g = 0;
    Header(text, &p, &n, &g);
    const size_t valueStart = SkipBlank(text, p);
    PdfValue ignored;
    const ParseStatus s = ParsePdfValue(text, &p, &ignored);
    if (s == ParseStatus::Ok) dictBody.assign(text.substr(valueStart + 2, p - valueStart - 4));
    return s;
  });
  out->offset = entry.offset;
  out->start = container.start;
  out->end = container.end;
  return DecodeData(dictBody, container, &out->data, error) &&
         ParseObjectStream(dictBody, out->data, &out->entries);
}

bool PdfRevisionReader::ReadCompressedObject(int64_t stream, uint32_t index, int64_t number,
                                             PdfRevision* revision, PdfObject* out, std::string* error) {
  *out = PdfObject();
  const XrefRecord* entry = revision->Entry(stream);
  const std::string where = "el objeto " + std::to_string(number);
  if (!entry || entry->kind != XrefRecord::Kind::Plain) {
    *error = where + " esta en un flujo de objetos que no es un objeto normal";
    return false;
  }
  DecodedStream* decoded = nullptr;
  for (DecodedStream& s : objectStreams_)
    if (s.offset == entry->offset) decoded = &s;
  if (!decoded) {
    DecodedStream loaded;
    if (!LoadObjectStream(stream, *entry, revision, &loaded, error)) {
      if (error->empty()) *error = where + " esta en un flujo de objetos ilegible";
      return false;
    }
    if (objectStreams_.size() < kMaxObjectStreams) {
      decoded = &objectStreams_.emplace_back(std::move(loaded));
    } else {
      decoded =
          &*std::min_element(objectStreams_.begin(), objectStreams_.end(),
                             [](const DecodedStream& a, const DecodedStream& b) { return a.used < b.used; });
      *decoded = std::move(loaded);
    }
  }
  decoded->used = ++clock_;
  if (index >= decoded->entries.size() || decoded->entries[index].number != number) {
    *error = where + " no esta donde su referencia cruzada dice";
    return false;
  }
  const std::string text = std::string(ObjectStreamText(decoded->data, decoded->entries, index)) + "\n";
  size_t p = 0;
  if (ParsePdfValue(text, &p, &out->value) != ParseStatus::Ok) Opaque(text, out);
  out->container = stream;
  out->start = decoded->start;
  out->end = decoded->end;
  return true;
}
