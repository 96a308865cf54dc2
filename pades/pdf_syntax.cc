#include "pades/pdf_syntax.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <vector>

#include "core/text.h"

namespace {

inline uint8_t At(std::string_view text, size_t pos) {
  return uint8_t(text[pos]);
}

// A literal string: parentheses nest, a backslash hides the next byte.
size_t SkipLiteral(std::string_view text, size_t pos) {
  int64_t depth = 0;
  while (pos < text.size()) {
    uint8_t c = At(text, pos++);
    if (c == '\\') {
      if (pos < text.size()) ++pos;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) return pos;
    }
  }
  return text.size();
}

size_t SkipHex(std::string_view text, size_t pos) {
  size_t close = text.find('>', pos);
  return close == std::string_view::npos ? text.size() : close + 1;
}

size_t TokenEnd(std::string_view text, size_t pos) {
  while (pos < text.size() && !IsPdfDelimiter(At(text, pos))) ++pos;
  return pos;
}

// A plain token; one that starts with a digit may be the first of "N G R".
size_t SkipToken(std::string_view text, size_t pos) {
  size_t end = TokenEnd(text, pos);
  if (!IsDigit(At(text, pos))) return end;
  size_t p = SkipBlank(text, end);
  size_t digits = SkipDigits(text, p);
  if (digits == p) return end;
  p = SkipBlank(text, digits);
  if (p >= text.size() || text[p] != 'R') return end;
  ++p;
  if (p == text.size() || IsPdfDelimiter(At(text, p))) return p;
  return end;
}

// The bytes of a literal string from just after its "(" up to its closing ")".
bool ReadLiteral(std::string_view text, size_t* pos, std::string* out) {
  int depth = 1;
  size_t p = *pos;
  while (p < text.size()) {
    char c = text[p++];
    if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      *pos = p;
      return true;
    } else if (c == '\\' && p < text.size()) {
      c = text[p++];
      if (c >= '0' && c <= '7') {
        int value = c - '0';
        for (int i = 0; i < 2 && p < text.size() && text[p] >= '0' && text[p] <= '7'; ++i)
          value = value * 8 + (text[p++] - '0');
        out->push_back(char(value & 0xFF));
        continue;
      }
      if (c == '\r' || c == '\n') {  // a line continuation
        if (c == '\r' && p < text.size() && text[p] == '\n') ++p;
        continue;
      }
      static constexpr std::string_view kFrom = "nrtbf", kTo = "\n\r\t\b\f";
      size_t known = kFrom.find(c);
      out->push_back(known == std::string_view::npos ? c : kTo[known]);
      continue;
    } else if (c == '\r') {  // an end of line in the text reads as a line feed
      if (p < text.size() && text[p] == '\n') ++p;
      c = '\n';
    }
    out->push_back(c);
  }
  return false;
}

bool ReadHexString(std::string_view text, size_t* pos, std::string* out) {
  int high = -1;
  for (size_t p = *pos; p < text.size(); ++p) {
    const uint8_t c = At(text, p);
    if (c == '>') {
      if (high >= 0) out->push_back(char(high << 4));
      *pos = p + 1;
      return true;
    }
    if (IsPdfWhite(c)) continue;
    const int value = HexValue(char(c));
    if (value < 0) return false;
    if (high < 0) {
      high = value;
    } else {
      out->push_back(char(high << 4 | value));
      high = -1;
    }
  }
  return false;
}

bool IsCSpace(uint8_t c) {
  return c == ' ' || (c >= 9 && c <= 13);
}

}  // namespace

bool ReadStringBytes(std::string_view text, size_t* pos, std::string* out) {
  size_t p = SkipBlank(text, *pos);
  if (p >= text.size() || (text[p] != '(' && text[p] != '<') || text.compare(p, 2, "<<") == 0) return false;
  std::string bytes;
  const bool read = text[p] == '(' ? ReadLiteral(text, &++p, &bytes) : ReadHexString(text, &++p, &bytes);
  if (!read) return false;
  *out = std::move(bytes);
  *pos = p;
  return true;
}

size_t SkipDigits(std::string_view text, size_t pos) {
  while (pos < text.size() && IsDigit(At(text, pos))) ++pos;
  return pos;
}

size_t SkipBlank(std::string_view text, size_t pos) {
  while (pos < text.size()) {
    uint8_t c = At(text, pos);
    if (IsPdfWhite(c)) {
      ++pos;
    } else if (c == '%') {
      while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r') ++pos;
    } else {
      break;
    }
  }
  return pos;
}

// SkipValue keeps nesting on an explicit stack rather than the call stack, so deeply nested
// input cannot exhaust it. An entry > 0 is a dictionary with its "<<" depth; an entry < 0 is
// a run of that many nested arrays.
size_t SkipValue(std::string_view text, size_t pos) {
  const size_t n = text.size();
  std::vector<int64_t> stack;
  auto open = [&](bool array) {
    if (array && !stack.empty() && stack.back() < 0) {
      --stack.back();
    } else {
      stack.push_back(array ? -1 : 1);
    }
  };
  // Starts the value at `p` (not blank). Simple values return their end; containers are
  // opened and return npos.
  auto begin = [&](size_t p) -> size_t {
    uint8_t c = At(text, p);
    if (c == '<') {
      if (p + 1 < n && text[p + 1] == '<') {
        open(false);
        return std::string_view::npos;
      }
      return SkipHex(text, p + 1);
    }
    if (c == '[') {
      open(true);
      return std::string_view::npos;
    }
    if (c == '(') return SkipLiteral(text, p);
    if (c == '/') return TokenEnd(text, p + 1);
    return SkipToken(text, p);
  };

  pos = SkipBlank(text, pos);
  if (pos >= n) return n;
  size_t end = begin(pos);
  if (end != std::string_view::npos) return end;
  pos += text[pos] == '[' ? 1 : 2;
  while (true) {
    pos = SkipBlank(text, pos);
    if (pos >= n) return n;
    int64_t& top = stack.back();
    uint8_t c = At(text, pos);
    size_t closed = std::string_view::npos;
    if (top > 0) {
      if (c == '<' && pos + 1 < n && text[pos + 1] == '<') {
        ++top;
        pos += 2;
        continue;
      }
      if (c == '<') {
        pos = SkipHex(text, pos + 1);
        continue;
      }
      if (c == '>') {
        pos += (pos + 1 < n && text[pos + 1] == '>') ? 2 : 1;
        if (--top > 0) continue;
        closed = pos;
      } else if (c == '(') {
        pos = SkipLiteral(text, pos);
        continue;
      }
    } else if (c == ']') {
      closed = pos + 1;
    }
    if (closed == std::string_view::npos) {
      // An element: a simple value is skipped here, a container is entered.
      size_t start = pos;
      size_t e = begin(pos);
      if (e == std::string_view::npos) {
        pos = start + (text[start] == '[' ? 1 : 2);
      } else {
        pos = e > start ? e : start + 1;
      }
      continue;
    }
    // Close the innermost container; its value ends at `closed`, past its opener.
    if (stack.back() < -1) {
      ++stack.back();
    } else {
      stack.pop_back();
    }
    if (stack.empty()) return closed;
    pos = closed;
  }
}

std::optional<ValueSpan> FindKey(std::string_view body, std::string_view key) {
  size_t pos = 0;
  while (true) {
    pos = SkipBlank(body, pos);
    if (pos >= body.size()) return std::nullopt;
    if (body[pos] == '/') {
      size_t nameEnd = TokenEnd(body, pos + 1);
      size_t valueEnd = SkipValue(body, nameEnd);
      if (body.substr(pos + 1, nameEnd - pos - 1) == key) {
        if (valueEnd == nameEnd) return std::nullopt;
        return ValueSpan{nameEnd, valueEnd};
      }
      pos = valueEnd > pos + 1 ? valueEnd : pos + 1;
    } else {
      size_t next = SkipValue(body, pos);
      pos = next > pos ? next : pos + 1;
    }
  }
}

std::optional<std::string_view> FindValue(std::string_view body, std::string_view key) {
  auto span = FindKey(body, key);
  if (!span) return std::nullopt;
  return body.substr(span->start, span->end - span->start);
}

std::string_view Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && IsPdfWhite(At(text, b))) ++b;
  while (e > b && IsPdfWhite(At(text, e - 1))) --e;
  return text.substr(b, e - b);
}

std::optional<int64_t> GetRef(std::string_view body, std::string_view key) {
  auto value = FindValue(body, key);
  if (!value) return std::nullopt;
  size_t pos = 0;
  int64_t number = 0, generation = 0;
  char r = 0;
  if (!ScanLong(*value, &pos, &number) || !ScanLong(*value, &pos, &generation) || !ScanChar(*value, &pos, &r))
    return std::nullopt;
  if (r != 'R' || number < 1 || generation != 0) return std::nullopt;
  return number;
}

std::optional<Reference> ReadReference(std::string_view text, size_t* pos) {
  size_t p = *pos;
  Reference ref;
  char r = 0;
  if (!ScanLong(text, &p, &ref.number) || !ScanLong(text, &p, &ref.generation) || !ScanChar(text, &p, &r))
    return std::nullopt;
  if (r != 'R' || ref.number < 1 || ref.generation < 0 || ref.generation > 0xFFFFFFFFll) return std::nullopt;
  *pos = p;
  return ref;
}

std::optional<Reference> GetReference(std::string_view body, std::string_view key) {
  auto value = FindValue(body, key);
  if (!value) return std::nullopt;
  size_t pos = 0;
  return ReadReference(*value, &pos);
}

size_t StreamDataStart(std::string_view text, size_t dictEnd) {
  size_t p = dictEnd;
  while (p < text.size() && IsPdfWhite(At(text, p))) ++p;
  if (text.compare(p, 6, "stream") != 0) return std::string_view::npos;
  p += 6;
  if (p < text.size() && text[p] == '\r') ++p;
  if (p < text.size() && text[p] == '\n') ++p;
  return p;
}

bool ScanLong(std::string_view text, size_t* pos, int64_t* out) {
  size_t p = *pos;
  while (p < text.size() && IsCSpace(At(text, p))) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  size_t digits = p;
  uint64_t value = 0;
  bool overflow = false;
  constexpr uint64_t kLimit = uint64_t(std::numeric_limits<int64_t>::max());
  for (; p < text.size() && IsDigit(At(text, p)); ++p) {
    if (value > (kLimit - (text[p] - '0')) / 10) overflow = true;
    if (!overflow) value = value * 10 + uint64_t(text[p] - '0');
  }
  if (p == digits) return false;
  if (overflow) {
    *out = negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
  } else {
    *out = negative ? -int64_t(value) : int64_t(value);
  }
  *pos = p;
  return true;
}

bool ScanDouble(std::string_view text, size_t* pos, double* out) {
  size_t p = *pos;
  while (p < text.size() && IsCSpace(At(text, p))) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  // Another sign after the first is not a number.
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) return false;
  double value = 0;
  auto [end, ec] = std::from_chars(text.data() + p, text.data() + text.size(), value);
  if (ec != std::errc() && ec != std::errc::result_out_of_range) return false;
  *out = negative ? -value : value;
  *pos = size_t(end - text.data());
  return true;
}

bool ScanChar(std::string_view text, size_t* pos, char* out) {
  size_t p = *pos;
  while (p < text.size() && IsCSpace(At(text, p))) ++p;
  if (p >= text.size()) return false;
  *out = text[p];
  *pos = p + 1;
  return true;
}

bool ScanRectangle(std::string_view text, double out[4]) {
  size_t pos = 0;
  while (pos < text.size() && (IsPdfWhite(At(text, pos)) || text[pos] == '[')) ++pos;
  for (int i = 0; i < 4; ++i)
    if (!ScanDouble(text, &pos, &out[i])) return false;
  return true;
}

size_t FindBytes(std::string_view hay, std::string_view needle, size_t from) {
  if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
  if (from >= hay.size() || hay.size() - from < needle.size()) return std::string_view::npos;
  // Anchor on the needle's last byte: memchr is vectorised and, for the keywords searched
  // here, that byte is rarer than the first.
  const size_t last = needle.size() - 1;
  const char* base = hay.data();
  const char* p = base + from + last;
  const char* end = base + hay.size();
  while (p < end) {
    const void* hit = std::memchr(p, needle[last], size_t(end - p));
    if (!hit) break;
    const char* h = static_cast<const char*>(hit);
    if (std::memcmp(h - last, needle.data(), last) == 0) return size_t(h - last - base);
    p = h + 1;
  }
  return std::string_view::npos;
}
