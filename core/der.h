#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "core/bytes.h"

// DerTlv returns tag, definite length and content. Lengths of 2^24 bytes or more never occur
// here (the largest element is a CMS inside the /Contents reservation).
Bytes DerTlv(uint8_t tag, const Bytes& content);
// DerTlv over several pieces, concatenated in order.
Bytes DerTlv(uint8_t tag, std::initializer_list<const Bytes*> pieces);
// DerAppendTlv appends the element to `out` without an intermediate copy of the content.
void DerAppendTlv(Bytes* out, uint8_t tag, const uint8_t* content, size_t len);

// DerElement locates one element inside a buffer: all positions are offsets from its start.
struct DerElement {
  uint32_t tag = 0;  // first byte, or the whole multi-byte tag value
  size_t headerStart = 0;
  size_t contentStart = 0;
  size_t contentLength = 0;
  size_t end = 0;  // one past the last content byte
};

// DerReadElement reads the element at `*cursor`: multi-byte tags (up to five continuation
// bytes), definite lengths of 1 to 4 bytes that are not negative as signed 32-bit values,
// content inside the buffer. On success `*cursor` moves to the element's end. It returns
// false, and leaves `*cursor` unchanged, on any violation.
[[nodiscard]] bool DerReadElement(const uint8_t* buf, size_t len, size_t* cursor, DerElement* out);

// DerReader walks the elements of one content range: a bounds-checked cursor that only
// moves forward on success.
class DerReader {
 public:
  DerReader() = default;
  DerReader(const uint8_t* data, size_t len) : data_(data), len_(len) {}

  bool Empty() const { return pos_ >= len_; }
  // Next reads any element; `contents` views its content.
  [[nodiscard]] bool Next(DerElement* element, DerReader* contents = nullptr);
  // Expect reads the next element only when its tag is `tag`.
  [[nodiscard]] bool Expect(uint32_t tag, DerReader* contents, DerElement* element = nullptr);
  // Peek tells the next element's tag without moving.
  [[nodiscard]] bool PeekTag(uint32_t* tag) const;

  const uint8_t* data() const { return data_; }
  size_t size() const { return len_; }
  Bytes ToBytes() const { return Bytes(data_, data_ + len_); }

 private:
  const uint8_t* data_ = nullptr;
  size_t len_ = 0;
  size_t pos_ = 0;
};

// DerReadTime reads the content of a UTCTime (tag 0x17, "YYMMDDHHMMSSZ", years 1950-2049) or a
// GeneralizedTime (tag 0x18, "YYYYMMDDHHMMSS" with optional fractional seconds, then "Z") into
// seconds since 1970 UTC: the forms RFC 5280 allows. It returns false on any other text.
[[nodiscard]] bool DerReadTime(uint32_t tag, const uint8_t* content, size_t len, int64_t* seconds);
