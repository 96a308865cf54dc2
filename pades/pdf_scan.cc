#include "pades/pdf_scan.h"

#include <algorithm>
#include <cstring>

#include "pades/pdf_syntax.h"

namespace {

constexpr size_t kFirstWindow = 2048;
// A dictionary that does not end within this many bytes is treated as unreadable. Real ones
// are far smaller; even a flat /Kids of 100 000 pages takes about 1 MiB.
constexpr size_t kMaxWindow = size_t(8) << 20;
constexpr size_t kBlockSize = size_t(64) << 10;
constexpr size_t kMaxBlocks = 16;
// Bytes kept from the end of one chunk in front of the next, so a keyword cut by the chunk
// edge is still found whole.
constexpr size_t kCarry = 16;

bool IsHexOrWhite(char c) {
  return IsDigit(uint8_t(c)) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || IsPdfWhite(uint8_t(c));
}

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
  std::string out;
  if (offset >= length_) return out;
  len = size_t(std::min<uint64_t>(len, length_ - offset));
  if (len > kBlockSize * 4) {
    out.resize(len);
    size_t got = 0;
    if (!file_.ReadAt(offset, out.data(), len, &got)) got = 0;
    out.resize(got);
    return out;
  }
  out.reserve(len);
  while (len) {
    uint64_t index = offset / kBlockSize;
    Block* block = nullptr;
    for (Block& b : blocks_)
      if (b.index == index) block = &b;
    if (!block) {
      if (blocks_.size() < kMaxBlocks) {
        blocks_.emplace_back();
        block = &blocks_.back();
      } else {
        block = &*std::min_element(blocks_.begin(), blocks_.end(),
                                   [](const Block& a, const Block& b) { return a.used < b.used; });
      }
      block->index = index;
      block->data.resize(kBlockSize);
      size_t got = 0;
      if (!file_.ReadAt(index * kBlockSize, block->data.data(), kBlockSize, &got)) got = 0;
      block->data.resize(got);
    }
    block->used = ++clock_;
    size_t at = size_t(offset - index * kBlockSize);
    if (at >= block->data.size()) break;
    size_t take = std::min(len, block->data.size() - at);
    out.append(block->data, at, take);
    offset += take;
    len -= take;
  }
  return out;
}

int PdfScan::ByteAt(uint64_t offset) {
  std::string one = ReadSpan(offset, 1);
  return one.empty() ? -1 : uint8_t(one[0]);
}

// WithWindow runs `parse` over the file from `offset`, first on a small window and then on
// larger ones while the parse reports that it reached the window's end before the file's.
// `parse` sets how many bytes it examined; they are charged to the budget.
template <typename F>
bool PdfScan::WithWindow(uint64_t offset, F&& parse) {
  size_t window = kFirstWindow;
  while (budget_ > 0) {
    std::string text = ReadSpan(offset, window);
    bool atEnd = offset + text.size() >= length_;
    size_t used = text.size();
    Parse result = parse(std::string_view(text), atEnd, &used);
    Charge(used);
    if (result != Parse::NeedMore) return result == Parse::Done;
    if (atEnd || window >= kMaxWindow) return false;
    window = std::min(window * 4, kMaxWindow);
  }
  return false;
}

namespace {

// ParseObjectDict reads "N G obj << ... >>" from the start of `text` and sets the body span.
// NeedMore means the text ended before the answer was certain.
Parse ParseObjectDict(std::string_view text, bool atEnd, bool wantArray, size_t* bodyStart, size_t* bodyEnd,
                      size_t* used) {
  *used = text.size();
  const Parse more = atEnd ? Parse::Failed : Parse::NeedMore;
  size_t p = SkipDigits(text, 0);
  p = SkipBlank(text, p);
  p = SkipDigits(text, p);
  p = SkipBlank(text, p);
  if (p + 3 > text.size()) return more;
  if (text.compare(p, 3, "obj") != 0) return Parse::Failed;
  p = SkipBlank(text, p + 3);
  if (wantArray) {
    if (p >= text.size()) return more;
    if (text[p] != '[') return Parse::Failed;
  } else {
    if (p + 2 > text.size()) return more;
    if (text.compare(p, 2, "<<") != 0) return Parse::Failed;
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

}  // namespace

ScanStatus PdfScan::Open(const std::string& path) {
  if (!file_.Open(path)) return ScanStatus::Unreadable;
  length_ = file_.size();
  char head[8] = {};
  size_t got = 0;
  if (!file_.ReadAt(0, head, sizeof head, &got)) return ScanStatus::Unreadable;
  if (length_ <= 7 || got < 5 || std::memcmp(head, "%PDF-", 5) != 0) return ScanStatus::NotPdf;
  if (length_ >= kMaxSignedFileSize) return ScanStatus::TooLarge;
  // Honest files parse each dictionary about once; this bound only stops hostile ones that make
  // every window run to its limit.
  budget_ = 4 * length_ + (uint64_t(256) << 20);

  std::string buffer(kCarry + chunkSize_, '\0');
  size_t kept = 0;
  uint64_t readPos = 0;
  while (readPos < length_) {
    size_t want = size_t(std::min<uint64_t>(chunkSize_, length_ - readPos));
    if (!file_.ReadAt(readPos, buffer.data() + kept, want, &got) || got != want)
      return ScanStatus::Unreadable;
    hash_.Update(buffer.data() + kept, got);
    size_t filled = kept + got;
    readPos += got;
    lastByte_ = uint8_t(buffer[filled - 1]);
    ScanChunk(std::string_view(buffer.data(), filled), readPos - filled, readPos == length_);
    kept = std::min(kCarry, filled);
    std::memmove(buffer.data(), buffer.data() + filled - kept, kept);
  }
  FinishIndex();

  if (!lastStartxref_) return ScanStatus::NoStartxref;
  ScanStatus status = ReadTrailer();
  if (status != ScanStatus::Ok) return status;
  if (index_.empty()) return ScanStatus::NoObjects;
  if (!ReadObjectDict(root_, &catalog_)) return ScanStatus::BadCatalog;
  std::optional<int64_t> pagesRoot = GetRef(catalog_, "Pages");
  if (!pagesRoot) return ScanStatus::NoPagesReference;
  pages_ = CollectPages(*pagesRoot);
  if (pages_.empty()) return ScanStatus::NoPages;
  return ScanStatus::Ok;
}

void PdfScan::ScanChunk(std::string_view view, uint64_t start, bool atEnd) {
  size_t from = nextObj_ > start ? size_t(nextObj_ - start) : 0;
  for (size_t p; (p = FindBytes(view, "obj", from)) != std::string_view::npos;) {
    // Positions p with p + 3 < file length are tested: "obj" as the file's last bytes is not.
    if (start + p + 3 >= length_) break;
    from = p + 3;
    nextObj_ = start + from;
    TakeHeader(view, start, p, atEnd);
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
  uint64_t generationEnd = i;
  while (i > 0 && at(i - 1) >= 0 && IsDigit(uint8_t(at(i - 1)))) --i;
  if (i == generationEnd) return;
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
  IndexEntry entry{int32_t(number), uint32_t(first)};
  index_.push_back(entry);

  // Read the dictionary now, while its bytes are at hand, when it ends inside this chunk.
  if (first < start) {
    deferred_.push_back(entry);
    return;
  }
  if (budget_ == 0) return;
  std::string_view text = view.substr(size_t(first - start));
  size_t bodyStart = 0, bodyEnd = 0, used = 0;
  Parse parsed = ParseObjectDict(text, atEnd, false, &bodyStart, &bodyEnd, &used);
  Charge(used);
  if (parsed == Parse::NeedMore) {
    deferred_.push_back(entry);
    return;
  }
  if (parsed == Parse::Done)
    NoteFieldObject(entry.number, entry.offset, text.substr(bodyStart, bodyEnd - bodyStart));
}

void PdfScan::NoteFieldObject(int32_t number, uint32_t offset, std::string_view body) {
  // Only fields and widgets matter; most dictionaries are rejected by these two searches.
  if (FindBytes(body, "/FT") == std::string_view::npos &&
      FindBytes(body, "/Widget") == std::string_view::npos)
    return;
  FieldObject field;
  field.number = number;
  field.offset = offset;
  auto ft = FindValue(body, "FT");
  field.signatureField = ft && Trim(*ft) == "/Sig";
  auto subtype = FindValue(body, "Subtype");
  field.widget = subtype && Trim(*subtype) == "/Widget";
  if (!field.signatureField && !field.widget) return;
  if (field.signatureField) {
    if (auto t = FindValue(body, "T")) {
      std::string_view name = Trim(*t);
      if (name.size() >= 2 && name.front() == '(' && name.back() == ')')
        field.name = std::string(name.substr(1, name.size() - 2));
    }
  }
  field.page = GetRef(body, "P");
  field.parent = GetRef(body, "Parent");
  double rect[4];
  auto r = FindValue(body, "Rect");
  field.rectangleValid = r && ScanRectangle(*r, rect) && rect[2] > rect[0] && rect[3] > rect[1];
  fields_.push_back(std::move(field));
}

void PdfScan::FinishIndex() {
  // Entries arrive in file order; for each number keep the last definition.
  std::sort(index_.begin(), index_.end(), [](const IndexEntry& a, const IndexEntry& b) {
    return a.number != b.number ? a.number < b.number : a.offset < b.offset;
  });
  size_t out = 0;
  for (size_t i = 0; i < index_.size(); ++i) {
    if (out > 0 && index_[out - 1].number == index_[i].number) {
      index_[out - 1] = index_[i];
    } else {
      index_[out++] = index_[i];
    }
  }
  index_.resize(out);
  index_.shrink_to_fit();

  auto current = [&](int32_t number, uint32_t offset) {
    std::optional<uint32_t> at = Offset(number);
    return at && *at == offset;
  };
  std::vector<FieldObject> kept;
  for (FieldObject& field : fields_)
    if (current(field.number, field.offset)) kept.push_back(std::move(field));
  fields_ = std::move(kept);
  for (const IndexEntry& entry : deferred_) {
    if (!current(entry.number, entry.offset)) continue;
    std::string body;
    if (ReadObjectDict(entry.number, &body)) NoteFieldObject(entry.number, entry.offset, body);
  }
  deferred_.clear();
  deferred_.shrink_to_fit();
  std::sort(fields_.begin(), fields_.end(),
            [](const FieldObject& a, const FieldObject& b) { return a.number < b.number; });
}

std::optional<uint64_t> PdfScan::FindForward(uint64_t from, std::string_view needle) {
  constexpr size_t kStep = size_t(1) << 20;
  for (uint64_t at = from; at < length_;) {
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

  std::optional<int64_t> root = GetRef(trailer_, "Root");
  if (!root) return ScanStatus::NoRoot;
  root_ = *root;
  // Plain objects appended to an encrypted file would not decrypt: such a file cannot be updated.
  if (HasKey(trailer_, "Encrypt")) return ScanStatus::Encrypted;
  if (auto size = FindValue(trailer_, "Size")) {
    size_t p = 0;
    int64_t value = 0;
    if (ScanLong(*size, &p, &value)) size_ = std::clamp<int64_t>(value, 0, 0x7FFFFFFF);
  }
  if (auto id = FindValue(trailer_, "ID")) {
    size_t open = id->find('<');
    size_t close = open == std::string_view::npos ? open : id->find('>', open + 1);
    if (close != std::string_view::npos) {
      std::string_view digits = id->substr(open + 1, close - open - 1);
      // Anything but hex would break the new trailer's syntax; such an /ID is not reused.
      if (std::all_of(digits.begin(), digits.end(), IsHexOrWhite)) firstId_ = std::string(digits);
    }
  }
  return ScanStatus::Ok;
}

std::optional<uint32_t> PdfScan::Offset(int64_t number) const {
  auto it = std::lower_bound(index_.begin(), index_.end(), number,
                             [](const IndexEntry& e, int64_t n) { return e.number < n; });
  if (it == index_.end() || it->number != number) return std::nullopt;
  return it->offset;
}

bool PdfScan::ReadObjectBody(int64_t number, bool array, std::string* body) {
  std::optional<uint32_t> offset = Offset(number);
  if (!offset) return false;
  return WithWindow(*offset, [&](std::string_view text, bool atEnd, size_t* used) {
    size_t start = 0, end = 0;
    Parse parsed = ParseObjectDict(text, atEnd, array, &start, &end, used);
    if (parsed != Parse::Done) return parsed;
    std::string_view value = text.substr(start, end - start);
    body->assign(array ? Trim(value) : value);
    return Parse::Done;
  });
}

bool PdfScan::ReadObjectDict(int64_t number, std::string* body) {
  return ReadObjectBody(number, false, body);
}

bool PdfScan::ReadObjectArray(int64_t number, std::string* elements) {
  return ReadObjectBody(number, true, elements);
}

std::vector<int64_t> PdfScan::CollectPages(int64_t rootNumber) {
  std::vector<int64_t> pages;
  uint64_t visits = 0;
  Visit(rootNumber, 0, &pages, &visits);
  return pages;
}

void PdfScan::Visit(int64_t number, int depth, std::vector<int64_t>* pages, uint64_t* visits) {
  // Depth stops cycles; the visit bound stops trees whose nodes are shared so often that the
  // walk would multiply (an honest tree visits each of its objects once).
  if (depth == 33 || *visits > index_.size() + 64) return;
  ++*visits;
  std::string body;
  if (!ReadObjectDict(number, &body)) return;
  auto type = FindValue(body, "Type");
  if (type && Trim(*type) == "/Page") {
    pages->push_back(number);
    return;
  }
  auto kidsValue = FindValue(body, "Kids");
  if (!kidsValue) return;
  std::string_view kids = Trim(*kidsValue);
  size_t pos = !kids.empty() && kids[0] == '[' ? 1 : 0;
  while (true) {
    pos = SkipBlank(kids, pos);
    if (pos >= kids.size() || kids[pos] == ']') break;
    size_t p = pos;
    int64_t kid = 0, generation = 0;
    char r = 0;
    if (ScanLong(kids, &p, &kid) && ScanLong(kids, &p, &generation) && ScanChar(kids, &p, &r) && r == 'R' &&
        kid > 0)
      Visit(kid, depth + 1, pages, visits);
    size_t next = SkipValue(kids, pos);
    if (next <= pos) break;
    pos = next;
  }
}
