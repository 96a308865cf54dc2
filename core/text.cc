#include "core/text.h"

#include <cstdio>
#include <ctime>

#include "core/calendar.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string HexEncode(const uint8_t* data, size_t len) {
  std::string out;
  out.reserve(len * 2);
  for (size_t i = 0; i < len; ++i) {
    out.push_back(kHexDigits[data[i] >> 4]);
    out.push_back(kHexDigits[data[i] & 15]);
  }
  return out;
}

Bytes HexDecode(std::string_view text) {
  Bytes out;
  out.reserve(text.size() / 2);
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == ':' || c == '_') continue;
    int v = HexValue(c);
    if (v < 0) return {};
    if (high < 0) {
      high = v;
    } else {
      out.push_back(uint8_t(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

std::string Base64Encode(const uint8_t* data, size_t len) {
  std::string out;
  out.reserve((len + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= len; i += 3) {
    uint32_t v = uint32_t(data[i]) << 16 | uint32_t(data[i + 1]) << 8 | data[i + 2];
    out.push_back(kBase64Alphabet[v >> 18]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(kBase64Alphabet[(v >> 6) & 63]);
    out.push_back(kBase64Alphabet[v & 63]);
  }
  if (len - i == 1) {
    uint32_t v = uint32_t(data[i]) << 16;
    out.push_back(kBase64Alphabet[v >> 18]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.append("==");
  } else if (len - i == 2) {
    uint32_t v = uint32_t(data[i]) << 16 | uint32_t(data[i + 1]) << 8;
    out.push_back(kBase64Alphabet[v >> 18]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(kBase64Alphabet[(v >> 6) & 63]);
    out.push_back('=');
  }
  return out;
}

bool Base64Decode(std::string_view text, Bytes* out) {
  out->clear();
  std::string clean;
  clean.reserve(text.size());
  for (char c : text)
    if (c != '\t' && c != '\n' && c != '\r' && c != ' ') clean.push_back(c);
  if (clean.empty()) return true;
  if (clean.size() % 4) return false;
  Bytes result;
  result.reserve(clean.size() / 4 * 3);
  for (size_t g = 0; g < clean.size(); g += 4) {
    bool last = g + 4 == clean.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      char c = clean[g + k];
      if (c == '=') {
        if (!last || k < 2) return false;
        ++pad;
        v[k] = 0;
        continue;
      }
      if (pad) return false;  // a character after '='
      v[k] = Base64Value(c);
      if (v[k] < 0) return false;
    }
    uint32_t bits = uint32_t(v[0]) << 18 | uint32_t(v[1]) << 12 | uint32_t(v[2]) << 6 | uint32_t(v[3]);
    result.push_back(uint8_t(bits >> 16));
    if (pad < 2) result.push_back(uint8_t(bits >> 8));
    if (pad < 1) result.push_back(uint8_t(bits));
  }
  *out = std::move(result);
  return true;
}

std::string UtcTimeNow(const char* pattern) {
  const std::tm tm = UtcCalendar(std::time(nullptr));
  char buf[64];
  size_t n = std::strftime(buf, sizeof buf, pattern, &tm);
  return std::string(buf, n);
}

std::string PdfDate(std::string_view signingTime) {
  if (signingTime.size() >= 12) return "D:20" + std::string(signingTime.substr(0, 12)) + "+00'00'";
  return "D:" + UtcTimeNow("%Y%m%d%H%M%S") + "+00'00'";
}

std::string HumanUtcDate(std::string_view t) {
  if (t.size() < 12) return std::string(t);
  int year = 2000 + (t[0] - '0') * 10 + (t[1] - '0');
  std::string out = std::to_string(year);
  out += '-';
  out += t.substr(2, 2);
  out += '-';
  out += t.substr(4, 2);
  out += ' ';
  out += t.substr(6, 2);
  out += ':';
  out += t.substr(8, 2);
  out += ':';
  out += t.substr(10, 2);
  out += " UTC";
  return out;
}

char32_t DecodeUtf8(std::string_view text, size_t* pos) {
  const uint8_t lead = uint8_t(text[(*pos)++]);
  if (lead < 0x80) return lead;
  size_t extra;
  char32_t cp, smallest;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, smallest = 0x10000;
  } else {
    return kInvalidUtf8;  // a continuation byte, or F8..FF
  }
  size_t at = *pos;
  for (size_t k = 0; k < extra; ++k, ++at) {
    if (at >= text.size() || (uint8_t(text[at]) & 0xC0) != 0x80) return kInvalidUtf8;
    cp = cp << 6 | (uint8_t(text[at]) & 0x3F);
  }
  if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kInvalidUtf8;
  *pos = at;
  return cp;
}

void AppendUtf8(std::string* out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out->push_back(char(cp));
  } else if (cp < 0x800) {
    out->push_back(char(0xC0 | cp >> 6));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(char(0xE0 | cp >> 12));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(char(0xF0 | cp >> 18));
    out->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  }
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t cp = DecodeUtf8(text, &i);
    if (cp == kInvalidUtf8) continue;
    if (cp > 0xFFFF) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    AppendUtf8(&out, cp);  // an unpaired surrogate becomes U+FFFD there
  }
  return out;
}

std::string TextStringHex(std::string_view text) {
  std::u16string units = Utf8ToUtf16(text);
  std::string out = "<FEFF";
  out.reserve(out.size() + units.size() * 4 + 1);
  for (char16_t u : units) {
    out.push_back(kHexDigits[(u >> 12) & 15]);
    out.push_back(kHexDigits[(u >> 8) & 15]);
    out.push_back(kHexDigits[(u >> 4) & 15]);
    out.push_back(kHexDigits[u & 15]);
  }
  out.push_back('>');
  return out;
}

std::string NameString(std::string_view text) {
  for (char c : text)
    if (uint8_t(c) >= 0x80) return TextStringHex(text);
  std::string out = "(";
  out += EscapeLiteral(text);
  out += ')';
  return out;
}

std::string EscapeLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::string FormatNumber(double value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", value);
  return buf;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}
