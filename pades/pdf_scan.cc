#include "pades/pdf_scan.h"

#include <algorithm>
#include <cstring>

#include "core/text.h"
#include "pades/pdf_scan_window.h"
#include "pades/pdf_syntax.h"

namespace {

// Bytes kept from the end of one chunk in front of the next, so a keyword cut by the chunk
// edge is still found whole.
constexpr size_t kCarry = 16;

}  // namespace

PdfScan::PdfScan(size_t chunkSize) : chunkSize_(std::max<size_t>(chunkSize, 64)) {}

bool PdfScan::Charge(uint64_t bytes) {
  if (bytes > budget_) {
    budget_ = 0;
    return false;
  }
  budget_ -= bytes;
  return true;
}

std::string PdfScan::ReadSpan(uint64_t offset, size_t len) {
  return file_.Read(offset, len);
}

int PdfScan::ByteAt(uint64_t offset) {
  std::string one = ReadSpan(offset, 1);
  return one.empty() ? -1 : uint8_t(one[0]);
}

namespace pdf_scan_internal {

// A failed parse charges only the bytes it examined, not the whole window: the pass hands it
// the rest of its chunk, and a file with thousands of objects that are not dictionaries (the
// indirect /Length integers of one-pass producers) would otherwise spend the read budget on
// bytes nobody looked at.
Parse ParseValue(std::string_view text, size_t p, bool atEnd, bool wantArray, size_t* bodyStart,
                 size_t* bodyEnd, size_t* used) {
  *used = text.size();
  const Parse more = atEnd ? Parse::Failed : Parse::NeedMore;
  auto failed = [&](size_t examined) {
    *used = std::min(examined, text.size());
    return Parse::Failed;
  };
  p = SkipBlank(text, p);
  if (wantArray) {
    if (p >= text.size()) return more;
    if (text[p] != '[') return failed(p + 1);
  } else {
    if (p + 2 > text.size()) return more;
    if (text.compare(p, 2, "<<") != 0) return failed(p + 2);
  }
  size_t end = SkipValue(text, p);
  if (end >= text.size() && !atEnd) return Parse::NeedMore;
  *used = end;
  if (wantArray) {
    size_t close = end > p + 1 && text[end - 1] == ']' ? end - 1 : end;
    *bodyStart = p + 1;
    *bodyEnd = close;
    return Parse::Done;
  }
  if (end - p < 4) return Parse::Failed;
  *bodyStart = p + 2;
  *bodyEnd = end - 2;
  return Parse::Done;
}

Parse ParseObjectDict(std::string_view text, bool atEnd, bool wantArray, size_t* bodyStart, size_t* bodyEnd,
                      size_t* used) {
  *used = text.size();
  const Parse more = atEnd ? Parse::Failed : Parse::NeedMore;
  size_t p = SkipDigits(text, 0);
  p = SkipBlank(text, p);
  p = SkipDigits(text, p);
  p = SkipBlank(text, p);
  if (p + 3 > text.size()) return more;
  if (text.compare(p, 3, "obj") != 0) {
    *used = p + 3;
    return Parse::Failed;
  }
  return ParseValue(text, p + 3, atEnd, wantArray, bodyStart, bodyEnd, used);
}

}  // namespace pdf_scan_internal

using pdf_scan_internal::ParseObjectDict;

ScanStatus PdfScan::Open(const std::string& path) {
  bool notRegular = false;
  if (!file_.Open(path, &notRegular)) return notRegular ? ScanStatus::NotRegular : ScanStatus::Unreadable;
  length_ = file_.length();
  char head[8] = {};
  size_t got = 0;
  if (!file_.input().ReadAt(0, head, sizeof head, &got)) return ScanStatus::Unreadable;
  if (length_ <= 7 || got < 5 || std::memcmp(head, "%PDF-", 5) != 0) return ScanStatus::NotPdf;
  if (length_ >= kMaxSignedFileSize) return ScanStatus::TooLarge;
  // Honest files parse each dictionary about once; this bound only stops hostile ones that make
  // every window run to its limit or decode the same streams over and over.
  budget_ = 4 * length_ + (uint64_t(256) << 20);

  std::string buffer(kCarry + chunkSize_, '\0');
  size_t kept = 0;
  uint64_t readPos = 0;
  while (readPos < length_) {
    size_t want = size_t(std::min<uint64_t>(chunkSize_, length_ - readPos));
    if (!file_.input().ReadAt(readPos, buffer.data() + kept, want, &got) || got != want)
      return ScanStatus::Unreadable;
    hash_.Update(buffer.data() + kept, got);
    size_t filled = kept + got;
    readPos += got;
    lastByte_ = uint8_t(buffer[filled - 1]);
    ScanChunk(std::string_view(buffer.data(), filled), readPos - filled, readPos == length_);
    kept = std::min(kCarry, filled);
    std::memmove(buffer.data(), buffer.data() + filled - kept, kept);
  }

  ScanStatus status = lastStartxref_ ? ReadTrailer() : ScanStatus::NoStartxref;
  // A spent budget says why a read failed; it must not pass for a damaged structure.
  auto refused = [&](ScanStatus fallback) {
    return streamRefused_ ? ScanStatus::StreamTooLarge : budget_ == 0 ? ScanStatus::OverBudget : fallback;
  };
  if (status != ScanStatus::Ok) {
    UseScannedHeaders();  // what little can be said of the file's objects
    return refused(status);
  }
  BuildIndex();
  if (Generation(root_) != rootGeneration_) return ScanStatus::NoRoot;
  if (index_.empty()) return refused(ScanStatus::NoObjects);
  if (!ReadObjectDict(root_, &catalog_)) return refused(ScanStatus::BadCatalog);
  std::optional<int64_t> pagesRoot = RefTo(catalog_, "Pages");
  if (!pagesRoot) return ScanStatus::NoPagesReference;
  pages_ = CollectPages(*pagesRoot);
  if (pages_.empty()) return refused(ScanStatus::NoPages);
  NoteCompressedFields();
  return ScanStatus::Ok;
}

void PdfScan::ScanChunk(std::string_view view, uint64_t start, bool atEnd) {
  size_t from = nextObj_ > start ? size_t(nextObj_ - start) : 0;
  while (from < view.size()) {
    if (seekingEndstream_) {
      size_t end = FindBytes(view, "endstream", from);
      if (end == std::string_view::npos) {
        // The keyword may be cut by the chunk's edge: the carried bytes are searched again.
        nextObj_ = start + (view.size() > 8 ? view.size() - 8 : 0);
        nextObj_ = std::max<uint64_t>(nextObj_, start + from);
        break;
      }
      seekingEndstream_ = false;
      from = end + 9;
      nextObj_ = start + from;
      continue;
    }
    size_t p = FindBytes(view, "obj", from);
    // Positions p with p + 3 < file length are tested: "obj" as the file's last bytes is not.
    if (p == std::string_view::npos || start + p + 3 >= length_) break;
    from = p + 3;
    nextObj_ = start + from;
    TakeHeader(view, start, p, atEnd);
    // A stream's data was skipped: go on after it.
    if (nextObj_ > start + from)
      from = nextObj_ >= start + view.size() ? view.size() : size_t(nextObj_ - start);
  }
  from = nextStartxref_ > start ? size_t(nextStartxref_ - start) : 0;
  for (size_t p; (p = FindBytes(view, "startxref", from)) != std::string_view::npos;) {
    lastStartxref_ = start + p;
    from = p + 9;
    nextStartxref_ = start + from;
  }
}

// TakeHeader walks back from an "obj" keyword over "N G " and records the object when the
// number stands on its own: after a delimiter, at the file's start, or right after "%%EOF" or
// "endobj". The walk leaves the chunk only in the rare case of a header cut by its edge.
void PdfScan::TakeHeader(std::string_view view, uint64_t start, size_t objPos, bool atEnd) {
  auto at = [&](uint64_t offset) -> int {
    return offset >= start ? uint8_t(view[size_t(offset - start)]) : ByteAt(offset);
  };
  uint64_t i = start + objPos;
  while (i > 0 && at(i - 1) >= 0 && IsPdfWhite(uint8_t(at(i - 1)))) --i;
  const uint64_t generationEnd = i;
  while (i > 0 && at(i - 1) >= 0 && IsDigit(uint8_t(at(i - 1)))) --i;
  if (i == generationEnd) return;
  const uint64_t generationStart = i;
  while (i > 0 && at(i - 1) >= 0 && IsPdfWhite(uint8_t(at(i - 1)))) --i;
  uint64_t numberEnd = i;
  while (i > 0 && at(i - 1) >= 0 && IsDigit(uint8_t(at(i - 1)))) --i;
  if (i == numberEnd) return;
  const uint64_t first = i;

  bool standsAlone = first == 0 || (at(first - 1) >= 0 && IsPdfDelimiter(uint8_t(at(first - 1))));
  auto precededBy = [&](const char* word) {
    size_t n = std::strlen(word);
    if (first < n) return false;
    for (size_t k = 0; k < n; ++k)
      if (at(first - n + k) != uint8_t(word[k])) return false;
    return true;
  };
  if (!standsAlone && !precededBy("%%EOF") && !precededBy("endobj")) return;

  // Object numbers are signed 32-bit and at least 1; longer digit runs are not numbers.
  uint64_t number = 0;
  for (uint64_t k = first; k < numberEnd; ++k) {
    number = number * 10 + uint64_t(at(k) - '0');
    if (number > 0x7FFFFFFF) return;
  }
  if (number == 0) return;
  uint64_t generation = 0;
  for (uint64_t k = generationStart; k < generationEnd && generation <= 0xFFFFFFFF; ++k)
    generation = generation * 10 + uint64_t(at(k) - '0');
  IndexEntry entry;
  entry.number = int32_t(number);
  entry.offset = uint32_t(first);
  entry.generation = uint32_t(std::min<uint64_t>(generation, 0xFFFFFFFF));
  headers_.push_back(entry);
  if (budget_ == 0) return;

  // The dictionary is read now, while its bytes are at hand; one cut by the chunk's edge (or
  // larger than a chunk) is read through a window.
  std::string body;
  uint64_t dictEnd = 0;
  bool read = false;
  if (first >= start) {
    std::string_view text = view.substr(size_t(first - start));
    size_t bodyStart = 0, bodyEnd = 0, used = 0;
    Parse parsed = ParseObjectDict(text, atEnd, false, &bodyStart, &bodyEnd, &used);
    Charge(used);
    if (parsed == Parse::Done) {
      NoteFieldObject(entry.number, entry.offset, text.substr(bodyStart, bodyEnd - bodyStart));
      SkipStreamData(text.substr(bodyStart, bodyEnd - bodyStart), first + used, view, start);
      return;
    }
    if (parsed == Parse::Failed) return;
  }
  read = ReadDictAt(first, &body, &dictEnd);
  if (!read) return;
  NoteFieldObject(entry.number, entry.offset, body);
  SkipStreamData(body, dictEnd, view, start);
}

// SkipStreamData moves the pass past the data of a stream whose dictionary ends at `dictEnd`,
// so that nothing written inside a stream can ever pass for an object. A direct /Length is
// trusted when "endstream" stands where it says; otherwise the data runs to the next
// "endstream", as common readers repair it.
void PdfScan::SkipStreamData(std::string_view dict, uint64_t dictEnd, std::string_view view, uint64_t start) {
  std::string after = dictEnd >= start && dictEnd + 32 <= start + view.size()
                          ? std::string(view.substr(size_t(dictEnd - start), 32))
                          : ReadSpan(dictEnd, 32);
  const size_t data = StreamDataStart(after, 0);
  if (data == std::string_view::npos) return;
  if (FindBytes(dict, "/ObjStm") != std::string_view::npos)
    scannedObjectStreams_.push_back(headers_.back().number);
  const uint64_t dataStart = dictEnd + data;
  std::optional<std::string_view> length = FindValue(dict, "Length");
  size_t pos = 0;
  int64_t declared = -1;
  if (length && !GetReference(dict, "Length") && ScanLong(*length, &pos, &declared) && declared >= 0 &&
      uint64_t(declared) < length_ - std::min(length_, dataStart)) {
    char tail[32];
    size_t got = 0;
    const uint64_t end = dataStart + uint64_t(declared);
    if (file_.input().ReadAt(end, tail, sizeof tail, &got)) {
      std::string_view text(tail, got);
      size_t k = SkipBlank(text, 0);
      if (text.compare(k, 9, "endstream") == 0) {
        nextObj_ = end + k + 9;
        return;
      }
    }
  }
  nextObj_ = dataStart;
  seekingEndstream_ = true;
}

void PdfScan::NoteFieldObject(int32_t number, uint32_t offset, std::string_view body) {
  // Only fields and widgets matter; most dictionaries are rejected by these two searches.
  if (FindBytes(body, "/FT") == std::string_view::npos &&
      FindBytes(body, "/Widget") == std::string_view::npos &&
      FindBytes(body, "/Stamp") == std::string_view::npos)
    return;
  FieldObject field;
  field.number = number;
  field.offset = offset;
  auto ft = FindValue(body, "FT");
  field.signatureField = ft && Trim(*ft) == "/Sig";
  auto subtype = FindValue(body, "Subtype");
  field.widget = subtype && Trim(*subtype) == "/Widget";
  if (subtype && Trim(*subtype) == "/Stamp") {
    auto name = FindValue(body, "NM");
    field.signatureStamp = name && Trim(*name).substr(0, 10) == "(Signature";
  }
  if (!field.signatureField && !field.widget && !field.signatureStamp) return;
  if (field.signatureField) {
    if (auto t = FindValue(body, "T")) {
      std::string_view name = Trim(*t);
      if (name.size() >= 2 && name.front() == '(' && name.back() == ')')
        field.name = std::string(name.substr(1, name.size() - 2));
    }
  }
  if (auto page = GetReference(body, "P")) field.page = page->number;
  if (auto parent = GetReference(body, "Parent")) field.parent = parent->number;
  double rect[4];
  auto r = FindValue(body, "Rect");
  field.rectangleValid = r && ScanRectangle(*r, rect) && rect[2] > rect[0] && rect[3] > rect[1];
  if (field.rectangleValid) std::copy(rect, rect + 4, field.rectangle.begin());
  fields_.push_back(std::move(field));
}

std::optional<uint64_t> PdfScan::FindForward(uint64_t from, std::string_view needle, uint64_t limit) {
  constexpr size_t kStep = size_t(1) << 20;
  for (uint64_t at = from; at < length_ && at - from <= limit;) {
    std::string text = ReadSpan(at, kStep + needle.size() - 1);
    size_t hit = FindBytes(text, needle);
    if (hit != std::string_view::npos) return at + hit;
    if (at + text.size() >= length_) break;
    at += kStep;
  }
  return std::nullopt;
}

ScanStatus PdfScan::ReadTrailer() {
  bool found = false;
  WithWindow(*lastStartxref_ + 9, [&](std::string_view text, bool atEnd, size_t*) {
    size_t p = SkipBlank(text, 0);
    int64_t value = 0;
    if (!ScanLong(text, &p, &value)) return atEnd || p < text.size() ? Parse::Failed : Parse::NeedMore;
    if (p >= text.size() && !atEnd) return Parse::NeedMore;
    startxref_ = value;
    found = true;
    return Parse::Done;
  });
  if (!found || startxref_ <= 0 || uint64_t(startxref_) >= length_) return ScanStatus::StartxrefOutside;

  const uint64_t xref = uint64_t(startxref_);
  size_t blank = 0;
  bool classic = false;
  if (!WithWindow(xref, [&](std::string_view text, bool atEnd, size_t*) {
        blank = SkipBlank(text, 0);
        if (blank + 4 > text.size()) return atEnd ? Parse::Done : Parse::NeedMore;
        classic = text.compare(blank, 4, "xref") == 0;
        return Parse::Done;
      }))
    return ScanStatus::BadTrailer;

  bool read = false;
  if (classic) {
    std::optional<uint64_t> keyword = FindForward(xref + blank, "trailer");
    if (!keyword) return ScanStatus::BadTrailer;
    read = WithWindow(*keyword + 7, [&](std::string_view text, bool atEnd, size_t*) {
      size_t p = SkipBlank(text, 0);
      if (p + 2 > text.size()) return atEnd ? Parse::Failed : Parse::NeedMore;
      if (text.compare(p, 2, "<<") != 0) return Parse::Failed;
      size_t end = SkipValue(text, p);
      if (end >= text.size() && !atEnd) return Parse::NeedMore;
      // An unterminated dictionary runs to the end of the file; its body is all of it.
      size_t bodyEnd = end >= p + 4 ? end - 2 : p + 2;
      trailer_ = std::string(text.substr(p + 2, bodyEnd - (p + 2)));
      return Parse::Done;
    });
  } else {
    // A cross-reference stream: its dictionary serves as the trailer.
    read = WithWindow(xref + blank, [&](std::string_view text, bool atEnd, size_t* used) {
      size_t digits = SkipDigits(text, 0);
      if (digits >= text.size() && !atEnd) return Parse::NeedMore;
      bool positive = false;
      for (size_t k = 0; k < digits; ++k) positive |= text[k] != '0';
      if (!positive) return Parse::Failed;
      size_t bodyStart = 0, bodyEnd = 0;
      Parse parsed = ParseObjectDict(text, atEnd, false, &bodyStart, &bodyEnd, used);
      if (parsed != Parse::Done) return parsed;
      trailer_ = std::string(text.substr(bodyStart, bodyEnd - bodyStart));
      return Parse::Done;
    });
  }
  if (!read) return ScanStatus::BadTrailer;

  newestIsStream_ = !classic;
  std::optional<Reference> root = GetReference(trailer_, "Root");
  if (!root) return ScanStatus::NoRoot;
  root_ = root->number;
  rootGeneration_ = root->generation;
  // Plain objects appended to an encrypted file would not decrypt: such a file cannot be updated.
  if (HasKey(trailer_, "Encrypt")) return ScanStatus::Encrypted;
  if (auto size = FindValue(trailer_, "Size")) {
    size_t p = 0;
    int64_t value = 0;
    if (ScanLong(*size, &p, &value)) size_ = std::clamp<int64_t>(value, 0, 0x7FFFFFFF);
  }
  // The first identifier is permanent (ISO 32000-1 14.4). A hex one is carried on as written;
  // Ghostscript writes a literal one, whose bytes are carried on in hex.
  if (auto id = FindValue(trailer_, "ID")) {
    size_t start = SkipBlank(*id, 0);
    if (start < id->size() && (*id)[start] == '[') start = SkipBlank(*id, start + 1);
    size_t end = start;
    std::string first;
    if (ReadStringBytes(*id, &end, &first) && !first.empty())
      firstId_ = (*id)[start] == '<'
                     ? std::string(id->substr(start + 1, end - start - 2))
                     : HexEncode(reinterpret_cast<const uint8_t*>(first.data()), first.size());
  }
  return ScanStatus::Ok;
}
