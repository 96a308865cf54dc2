#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Vy {

// Positions in toolkit texts count code points: every byte that is not a UTF-8 continuation
// byte starts one, so stray bytes count as characters and nothing is ever split. Encoding and
// decoding code points is core/text.h's.
inline bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

inline int CodePointCount(std::string_view text) {
  int n = 0;
  for (unsigned char c : text) n += !IsContinuation(c);
  return n;
}

// ByteOffset is the byte where code point `index` starts (the size for the end).
inline size_t ByteOffset(std::string_view text, int index) {
  size_t i = 0;
  for (int k = 0; i < text.size(); ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[i])) && k++ == index) return i;
  }
  return text.size();
}

}  // namespace Vy
