#include "pades/pdf_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/text.h"
#include "pades/pdf_syntax.h"

namespace {

constexpr int kMaxDepth = 256;

uint8_t At(std::string_view text, size_t pos) {
  return uint8_t(text[pos]);
}

size_t RegularEnd(std::string_view text, size_t pos) {
  while (pos < text.size() && !IsPdfDelimiter(At(text, pos))) ++pos;
  return pos;
}

// DecodeName turns "#xx" escapes into their bytes (ISO 32000-1 7.3.5); a '#' that is not
// followed by two hex digits stands for itself, as readers take it.
std::string DecodeName(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '#' && i + 2 < raw.size() && HexValue(raw[i + 1]) >= 0 && HexValue(raw[i + 2]) >= 0) {
      out += char(HexValue(raw[i + 1]) << 4 | HexValue(raw[i + 2]));
      i += 2;
    } else {
      out += raw[i];
    }
  }
  return out;
}

// Number reads a numeric token: an Integer, or a Real when it has a point or does not fit.
bool ReadNumber(std::string_view token, PdfValue* out) {
  size_t i = 0;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
  size_t digits = 0, points = 0;
  for (size_t k = i; k < token.size(); ++k) {
    if (IsDigit(uint8_t(token[k]))) {
      ++digits;
    } else if (token[k] == '.') {
      ++points;
    } else {
      return false;
    }
  }
  if (digits == 0 || points > 1) return false;
  if (points == 0) {
    int64_t value = 0;
    const char* first = token.data() + (token[0] == '+' ? 1 : 0);
    auto [end, ec] = std::from_chars(first, token.data() + token.size(), value);
    if (ec == std::errc() && end == token.data() + token.size()) {
      out->type = PdfValue::Type::Integer;
      out->integer = value;
      return true;
    }
  }
  size_t pos = 0;
  double real = 0;
  if (!ScanDouble(token, &pos, &real)) return false;
  out->type = PdfValue::Type::Real;
  out->real = real;
  return true;
}

ParseStatus ReadLiteral(std::string_view text, size_t* pos, std::string* out) {
  size_t p = *pos + 1;
  int depth = 1;
  while (p < text.size()) {
    char c = text[p++];
    if (c == '\\') {
      if (p >= text.size()) break;
      char e = text[p++];
      static constexpr std::string_view kFrom = "nrtbf", kTo = "\n\r\t\b\f";
      if (size_t k = kFrom.find(e); k != std::string_view::npos) {
        *out += kTo[k];
      } else if (e >= '0' && e <= '7') {
        int v = e - '0';
        for (int n = 0; n < 2 && p < text.size() && text[p] >= '0' && text[p] <= '7'; ++n)
          v = v * 8 + (text[p++] - '0');
        *out += char(v & 0xFF);
      } else if (e == '\r') {
        if (p < text.size() && text[p] == '\n') ++p;  // a line continuation
      } else if (e != '\n') {
        *out += e;
      }
    } else if (c == '\r') {
      // An end of line inside a string is one line feed, whatever its form (7.3.4.2).
      if (p < text.size() && text[p] == '\n') ++p;
      *out += '\n';
    } else {
      if (c == '(') ++depth;
      if (c == ')' && --depth == 0) {
        *pos = p;
        return ParseStatus::Ok;
      }
      *out += c;
    }
  }
  return ParseStatus::Truncated;
}

ParseStatus ReadHex(std::string_view text, size_t* pos, std::string* out) {
  int high = -1;
  for (size_t p = *pos + 1; p < text.size(); ++p) {
    const char c = text[p];
    if (c == '>') {
      if (high >= 0) *out += char(high << 4);
      *pos = p + 1;
      return ParseStatus::Ok;
    }
    if (IsPdfWhite(uint8_t(c))) continue;
    const int v = HexValue(c);
    if (v < 0) return ParseStatus::Invalid;
    if (high < 0) {
      high = v;
    } else {
      *out += char(high << 4 | v);
      high = -1;
    }
  }
  return ParseStatus::Truncated;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}
  ParseStatus Value(size_t* pos, PdfValue* out, int depth);

 private:
  ParseStatus Container(size_t* pos, PdfValue* out, int depth, bool dictionary);
  // TryReference completes "N G R" after the integer that ends at `*pos`; Truncated when the
  // text ends before it can tell.
  ParseStatus TryReference(size_t* pos, PdfValue* out);

  std::string_view text_;
};

ParseStatus Parser::TryReference(size_t* pos, PdfValue* out) {
  if (out->integer < 0) return ParseStatus::Ok;
  size_t p = SkipBlank(text_, *pos);
  if (p >= text_.size()) return ParseStatus::Truncated;
  if (!IsDigit(At(text_, p))) return ParseStatus::Ok;
  const size_t end = RegularEnd(text_, p);
  if (end >= text_.size()) return ParseStatus::Truncated;
  PdfValue generation;
  if (!ReadNumber(text_.substr(p, end - p), &generation) || !generation.Is(PdfValue::Type::Integer) ||
      generation.integer > 0xFFFFFFFFll)
    return ParseStatus::Ok;
  p = SkipBlank(text_, end);
  if (p + 1 >= text_.size()) return ParseStatus::Truncated;
  if (text_[p] != 'R' || !IsPdfDelimiter(At(text_, p + 1))) return ParseStatus::Ok;
  out->type = PdfValue::Type::Reference;
  out->generation = uint32_t(generation.integer);
  *pos = p + 1;
  return ParseStatus::Ok;
}

ParseStatus Parser::Container(size_t* pos, PdfValue* out, int depth, bool dictionary) {
  out->type = dictionary ? PdfValue::Type::Dictionary : PdfValue::Type::Array;
  size_t p = *pos + (dictionary ? 2 : 1);
  while (true) {
    p = SkipBlank(text_, p);
    if (p >= text_.size()) return ParseStatus::Truncated;
    if (!dictionary && text_[p] == ']') {
      *pos = p + 1;
      return ParseStatus::Ok;
    }
    if (dictionary && text_[p] == '>') {
      if (p + 1 >= text_.size()) return ParseStatus::Truncated;
      if (text_[p + 1] != '>') return ParseStatus::Invalid;
      *pos = p + 2;
      return ParseStatus::Ok;
    }
    if (dictionary) {
      if (text_[p] != '/') return ParseStatus::Invalid;
      const size_t end = RegularEnd(text_, p + 1);
      if (end >= text_.size()) return ParseStatus::Truncated;
      std::string key = DecodeName(text_.substr(p + 1, end - p - 1));
      p = SkipBlank(text_, end);
      if (p < text_.size() && text_[p] == '>') return ParseStatus::Invalid;  // a key without a value
      PdfValue value;
      if (ParseStatus s = Value(&p, &value, depth + 1); s != ParseStatus::Ok) return s;
      for (const auto& entry : out->entries) out->repeatedKey |= entry.first == key;
      out->entries.push_back({std::move(key), std::move(value)});
    } else {
      PdfValue value;
      if (ParseStatus s = Value(&p, &value, depth + 1); s != ParseStatus::Ok) return s;
      out->items.push_back(std::move(value));
    }
  }
}

ParseStatus Parser::Value(size_t* pos, PdfValue* out, int depth) {
  if (depth > kMaxDepth) return ParseStatus::Invalid;
  *out = PdfValue();
  size_t p = SkipBlank(text_, *pos);
  if (p >= text_.size()) return ParseStatus::Truncated;
  const char c = text_[p];
  ParseStatus status = ParseStatus::Ok;
  if (c == '<' && p + 1 < text_.size() && text_[p + 1] == '<') {
    status = Container(&p, out, depth, true);
  } else if (c == '<') {
    if (p + 1 >= text_.size()) return ParseStatus::Truncated;
    out->type = PdfValue::Type::String;
    status = ReadHex(text_, &p, &out->text);
  } else if (c == '[') {
    status = Container(&p, out, depth, false);
  } else if (c == '(') {
    out->type = PdfValue::Type::String;
    status = ReadLiteral(text_, &p, &out->text);
  } else if (c == '/') {
    const size_t end = RegularEnd(text_, p + 1);
    if (end >= text_.size()) return ParseStatus::Truncated;
    out->type = PdfValue::Type::Name;
    out->text = DecodeName(text_.substr(p + 1, end - p - 1));
    p = end;
  } else {
    const size_t end = RegularEnd(text_, p);
    if (end == p) return ParseStatus::Invalid;  // a stray ')', '>', ']', '{' or '}'
    if (end >= text_.size()) return ParseStatus::Truncated;
    const std::string_view token = text_.substr(p, end - p);
    if (token == "true" || token == "false") {
      out->type = PdfValue::Type::Boolean;
      out->boolean = token == "true";
    } else if (token != "null") {
      if (!ReadNumber(token, out)) return ParseStatus::Invalid;
      if (out->Is(PdfValue::Type::Integer) && IsDigit(At(token, 0))) {
        p = end;
        if (ParseStatus s = TryReference(&p, out); s != ParseStatus::Ok) return s;
        out->at = uint32_t(SkipBlank(text_, *pos));
        out->end = uint32_t(p);
        *pos = p;
        return ParseStatus::Ok;
      }
    }
    p = end;
  }
  if (status != ParseStatus::Ok) return status;
  out->at = uint32_t(SkipBlank(text_, *pos));
  out->end = uint32_t(p);
  *pos = p;
  return status;
}

bool SameEntries(const PdfValue& a, const PdfValue& b) {
  if (a.entries.size() != b.entries.size() || a.repeatedKey != b.repeatedKey) return false;
  if (a.repeatedKey) {
    for (size_t i = 0; i < a.entries.size(); ++i)
      if (a.entries[i].first != b.entries[i].first || !SameValue(a.entries[i].second, b.entries[i].second))
        return false;
    return true;
  }
  for (const auto& [key, value] : a.entries) {
    const PdfValue* other = b.Get(key);
    if (!other || !SameValue(value, *other)) return false;
  }
  return true;
}

}  // namespace

const PdfValue* PdfValue::Get(std::string_view key) const {
  if (type != Type::Dictionary) return nullptr;
  for (const auto& entry : entries)
    if (entry.first == key) return &entry.second;
  return nullptr;
}

bool PdfValue::Number(double* out) const {
  if (type == Type::Integer) return *out = double(integer), true;
  if (type == Type::Real) return *out = real, true;
  return false;
}

bool SameValue(const PdfValue& a, const PdfValue& b) {
  double x = 0, y = 0;
  if (a.Number(&x) && b.Number(&y)) return x == y;
  if (a.type != b.type) return false;
  switch (a.type) {
    case PdfValue::Type::Null: return true;
    case PdfValue::Type::Boolean: return a.boolean == b.boolean;
    case PdfValue::Type::String:
    case PdfValue::Type::Name: return a.text == b.text;
    case PdfValue::Type::Reference: return a.integer == b.integer && a.generation == b.generation;
    case PdfValue::Type::Array:
      return std::equal(a.items.begin(), a.items.end(), b.items.begin(), b.items.end(), SameValue);
    case PdfValue::Type::Dictionary: return SameEntries(a, b);
    default: return false;
  }
}

ParseStatus ParsePdfValue(std::string_view text, size_t* pos, PdfValue* out) {
  return Parser(text).Value(pos, out, 0);
}

std::vector<std::pair<int64_t, uint32_t>> ScanReferences(std::string_view text) {
  std::vector<std::pair<int64_t, uint32_t>> out;
  for (size_t p = 0; (p = text.find('R', p)) != std::string_view::npos; ++p) {
    // Walk back over "N G " from the 'R'.
    size_t i = p;
    auto back = [&](auto test) {
      size_t end = i;
      while (i > 0 && test(At(text, i - 1))) --i;
      return end - i;
    };
    if (back(IsPdfWhite) == 0) continue;
    const size_t generationEnd = i;
    if (back(IsDigit) == 0) continue;
    const size_t generationStart = i;
    if (back(IsPdfWhite) == 0) continue;
    const size_t numberEnd = i;
    if (back(IsDigit) == 0) continue;
    int64_t number = 0, generation = 0;
    std::from_chars(text.data() + i, text.data() + numberEnd, number);
    std::from_chars(text.data() + generationStart, text.data() + generationEnd, generation);
    if (number > 0 && generation >= 0 && generation <= 0xFFFFFFFFll)
      out.emplace_back(number, uint32_t(generation));
  }
  return out;
}
