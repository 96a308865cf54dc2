#include "core/der.h"

#include "core/calendar.h"

namespace {

void AppendLength(Bytes* out, size_t n) {
  if (n < 0x80) {
    out->push_back(uint8_t(n));
  } else if (n <= 0xFF) {
    out->insert(out->end(), {0x81, uint8_t(n)});
  } else if (n <= 0xFFFF) {
    out->insert(out->end(), {0x82, uint8_t(n >> 8), uint8_t(n)});
  } else {
    out->insert(out->end(), {0x83, uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
  }
}

}  // namespace

void DerAppendTlv(Bytes* out, uint8_t tag, const uint8_t* content, size_t len) {
  out->push_back(tag);
  AppendLength(out, len);
  out->insert(out->end(), content, content + len);
}

Bytes DerTlv(uint8_t tag, const Bytes& content) {
  Bytes out;
  out.reserve(content.size() + 5);
  DerAppendTlv(&out, tag, content.data(), content.size());
  return out;
}

Bytes DerTlv(uint8_t tag, std::initializer_list<const Bytes*> pieces) {
  size_t total = 0;
  for (const Bytes* piece : pieces) total += piece->size();
  Bytes out;
  out.reserve(total + 5);
  out.push_back(tag);
  AppendLength(&out, total);
  for (const Bytes* piece : pieces) Append(&out, *piece);
  return out;
}

bool DerReadElement(const uint8_t* buf, size_t len, size_t* cursor, DerElement* out) {
  size_t p = *cursor;
  if (!buf || p >= len) return false;
  DerElement e;
  e.headerStart = p;
  uint32_t tag = buf[p++];
  if ((tag & 0x1F) == 0x1F) {
    // High tag number form: continuation bytes while the top bit is set, at most five.
    int count = 0;
    for (;;) {
      if (p >= len || ++count > 5) return false;
      uint8_t b = buf[p++];
      tag = (tag << 8) | b;
      if (!(b & 0x80)) break;
    }
  }
  e.tag = tag;
  if (p >= len) return false;
  uint8_t first = buf[p++];
  size_t length;
  if (first < 0x80) {
    length = first;
  } else {
    size_t count = first & 0x7F;
    if (count == 0 || count > 4 || len - p < count) return false;  // 0x80 is indefinite
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) value = (value << 8) | buf[p++];
    if (value > 0x7FFFFFFFu) return false;
    length = value;
  }
  if (length > len - p) return false;
  e.contentStart = p;
  e.contentLength = length;
  e.end = p + length;
  *out = e;
  *cursor = e.end;
  return true;
}

bool DerReader::Next(DerElement* element, DerReader* contents) {
  DerElement e;
  size_t p = pos_;
  if (!DerReadElement(data_, len_, &p, &e)) return false;
  pos_ = p;
  if (element) *element = e;
  if (contents) *contents = DerReader(data_ + e.contentStart, e.contentLength);
  return true;
}

bool DerReader::PeekTag(uint32_t* tag) const {
  DerElement e;
  size_t p = pos_;
  if (!DerReadElement(data_, len_, &p, &e)) return false;
  *tag = e.tag;
  return true;
}

bool DerReader::Expect(uint32_t tag, DerReader* contents, DerElement* element) {
  uint32_t next;
  if (!PeekTag(&next) || next != tag) return false;
  return Next(element, contents);
}

bool DerReadTime(uint32_t tag, const uint8_t* content, size_t len, int64_t* seconds) {
  size_t at = 0;
  auto digits = [&](int count, int* out) {
    int v = 0;
    for (int i = 0; i < count; ++i, ++at) {
      if (at >= len || content[at] < '0' || content[at] > '9') return false;
      v = v * 10 + (content[at] - '0');
    }
    *out = v;
    return true;
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (tag == 0x17) {
    if (!digits(2, &year)) return false;
    year += year < 50 ? 2000 : 1900;
  } else if (tag != 0x18 || !digits(4, &year)) {
    return false;
  }
  if (!digits(2, &month) || !digits(2, &day) || !digits(2, &hour) || !digits(2, &minute) ||
      !digits(2, &second))
    return false;
  if (tag == 0x18 && at < len && content[at] == '.') {
    size_t fraction = ++at;
    while (at < len && content[at] >= '0' && content[at] <= '9') ++at;
    if (at == fraction) return false;
  }
  if (at + 1 != len || content[at] != 'Z') return false;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
  *seconds = DaysSince1970(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}
