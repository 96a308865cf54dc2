#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Vy {

// Positions in toolkit texts count code points: every byte that is not a UTF-8 continuation
// byte starts one, so stray bytes count as characters and nothing is ever split.
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

inline void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace Vy
