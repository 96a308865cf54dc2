#include "pades/xref.h"

#include <algorithm>
#include <initializer_list>

#include "pades/pdf_syntax.h"

namespace {

enum class Read { Ok, More, Bad };

// Token reads one run of non-delimiters after blanks; one that touches the view's end may be
// cut, unless the view ends the file.
Read Token(std::string_view text, size_t* pos, std::string_view* out, bool atEnd) {
  size_t p = SkipBlank(text, *pos);
  size_t end = p;
  while (end < text.size() && !IsPdfDelimiter(uint8_t(text[end]))) ++end;
  if (end == text.size() && !atEnd) return Read::More;
  if (end == p) return Read::Bad;
  *out = text.substr(p, end - p);
  *pos = end;
  return Read::Ok;
}

// Tokens reads `count` tokens; the first that is not Ok decides.
Read Tokens(std::string_view text, size_t* pos, bool atEnd, std::initializer_list<std::string_view*> out) {
  for (std::string_view* token : out)
    if (Read r = Token(text, pos, token, atEnd); r != Read::Ok) return r;
  return Read::Ok;
}

bool Number(std::string_view token, int64_t* out) {
  if (token.empty() || token.size() > 18) return false;
  int64_t value = 0;
  for (char c : token) {
    if (!IsDigit(uint8_t(c))) return false;
    value = value * 10 + (c - '0');
  }
  *out = value;
  return true;
}

uint64_t Field(const uint8_t* at, int width) {
  uint64_t value = 0;
  for (int i = 0; i < width; ++i) value = (value << 8) | at[i];
  return value;
}

// IntegerArray reads up to `max` integers of an inline array value; none when one is negative.
std::vector<int64_t> IntegerArray(std::string_view value, size_t max) {
  std::vector<int64_t> out;
  value = Trim(value);
  if (value.size() < 2 || value.front() != '[') return out;
  size_t pos = 1;
  int64_t n = 0;
  while (out.size() < max && ScanLong(value, &pos, &n)) {
    if (n < 0) return {};
    out.push_back(n);
  }
  return out;
}

}  // namespace

size_t FeedXrefTable(std::string_view text, bool atEnd, XrefTableCursor* cursor,
                     std::vector<XrefRecord>* out) {
  size_t consumed = 0;
  while (!cursor->done && !cursor->failed) {
    size_t pos = consumed;
    if (cursor->remaining == 0) {
      size_t p = SkipBlank(text, pos);
      if (p >= text.size()) {
        if (atEnd) cursor->failed = true;
        return consumed;
      }
      if (text.compare(p, 7, "trailer") == 0) {
        cursor->done = true;
        return p;
      }
      std::string_view first, count;
      if (Read r = Tokens(text, &pos, atEnd, {&first, &count}); r != Read::Ok) {
        cursor->failed = r == Read::Bad;
        return consumed;
      }
      int64_t start = 0, n = 0;
      if (!Number(first, &start) || !Number(count, &n) || start + n > kMaxObjectNumber + 1) {
        cursor->failed = true;
        return consumed;
      }
      cursor->next = start;
      cursor->remaining = n;
      consumed = pos;
      continue;
    }
    std::string_view offset, generation, type;
    if (Read r = Tokens(text, &pos, atEnd, {&offset, &generation, &type}); r != Read::Ok) {
      cursor->failed = r == Read::Bad;
      return consumed;
    }
    int64_t at = 0, gen = 0;
    if (!Number(offset, &at) || !Number(generation, &gen) || gen > 0xFFFFFFFFll ||
        (type != "n" && type != "f")) {
      cursor->failed = true;
      return consumed;
    }
    if (cursor->next > 0) {
      XrefRecord record;
      record.number = int32_t(cursor->next);
      record.kind = type == "n" ? XrefRecord::Kind::Plain : XrefRecord::Kind::Free;
      record.generation = uint32_t(gen);
      record.offset = uint64_t(at);
      out->push_back(record);
    }
    ++cursor->next;
    --cursor->remaining;
    consumed = pos;
  }
  return consumed;
}

bool ParseXrefStream(std::string_view dict, std::string_view data, std::vector<XrefRecord>* out,
                     bool* complete) {
  if (complete) *complete = true;
  const std::vector<int64_t> w = IntegerArray(FindValue(dict, "W").value_or(""), 3);
  if (w.size() != 3 || w[0] > 4 || w[1] > 8 || w[2] > 4 || w[1] < 1) return false;
  const size_t width = size_t(w[0] + w[1] + w[2]);
  int64_t size = 0;
  size_t pos = 0;
  if (auto value = FindValue(dict, "Size")) ScanLong(*value, &pos, &size);
  // No more pairs are read than the data could hold entries for.
  std::vector<int64_t> index =
      IntegerArray(FindValue(dict, "Index").value_or(""), 2 * (data.size() / width + 1));
  if (!FindValue(dict, "Index")) index = {0, size};
  if (complete && index.size() % 2) *complete = false;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data.data());
  size_t at = 0;
  for (size_t i = 0; i + 1 < index.size(); i += 2) {
    const int64_t start = index[i], count = index[i + 1];
    if (start < 0 || count < 0 || start + count > kMaxObjectNumber + 1) return false;
    for (int64_t k = 0; k < count; ++k) {
      if (data.size() - at < width) {
        if (complete) *complete = false;
        return true;
      }
      const uint64_t type = w[0] ? Field(bytes + at, int(w[0])) : 1;
      const uint64_t second = Field(bytes + at + w[0], int(w[1]));
      const uint64_t third = Field(bytes + at + w[0] + w[1], int(w[2]));
      at += width;
      const int64_t number = start + k;
      // Entries of unknown types are null references (7.5.8.3); object 0 is the free list head.
      if (number == 0 || type > 2) continue;
      XrefRecord record;
      record.number = int32_t(number);
      if (type == 0) {
        record.kind = XrefRecord::Kind::Free;
        record.generation = uint32_t(std::min<uint64_t>(third, 0xFFFFFFFF));
      } else if (type == 1) {
        record.kind = XrefRecord::Kind::Plain;
        record.offset = second;
        record.generation = uint32_t(std::min<uint64_t>(third, 0xFFFFFFFF));
      } else {
        if (second < 1 || second > uint64_t(kMaxObjectNumber)) continue;
        record.kind = XrefRecord::Kind::Compressed;
        record.offset = second;
        record.index = uint32_t(std::min<uint64_t>(third, 0xFFFFFFFF));
      }
      out->push_back(record);
    }
  }
  return true;
}

bool ParseObjectStream(std::string_view dict, std::string_view data, std::vector<ObjectStreamEntry>* out) {
  int64_t n = -1, first = -1;
  size_t pos = 0;
  if (auto value = FindValue(dict, "N")) ScanLong(*value, &pos, &n);
  pos = 0;
  if (auto value = FindValue(dict, "First")) ScanLong(*value, &pos, &first);
  if (n < 0 || first < 0 || uint64_t(first) > data.size() || uint64_t(n) > data.size() / 2 + 1) return false;
  const std::string_view header = data.substr(0, size_t(first));
  pos = 0;
  out->clear();
  for (int64_t i = 0; i < n; ++i) {
    int64_t number = 0, offset = 0;
    if (!ScanLong(header, &pos, &number) || !ScanLong(header, &pos, &offset)) return false;
    if (number < 1 || number > kMaxObjectNumber || offset < 0 ||
        uint64_t(offset) > data.size() - size_t(first))
      return false;
    out->push_back({int32_t(number), size_t(first) + size_t(offset)});
  }
  return true;
}

std::string_view ObjectStreamText(std::string_view data, const std::vector<ObjectStreamEntry>& entries,
                                  size_t index) {
  if (index >= entries.size()) return {};
  const size_t begin = entries[index].offset;
  size_t end = data.size();
  if (index + 1 < entries.size() && entries[index + 1].offset >= begin) end = entries[index + 1].offset;
  return data.substr(begin, end - begin);
}
