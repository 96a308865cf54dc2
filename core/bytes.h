#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Raw bytes (DER, digests, APDUs, file images). Text is UTF-8 in std::string.
using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

inline std::string ToText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

inline void Append(Bytes* out, std::string_view text) {
  out->insert(out->end(), text.begin(), text.end());
}

inline void Append(Bytes* out, const Bytes& more) {
  out->insert(out->end(), more.begin(), more.end());
}

// SecureClear overwrites a buffer that held a secret before it is released.
inline void SecureClear(void* data, size_t len) {
  volatile uint8_t* p = static_cast<volatile uint8_t*>(data);
  while (len--) *p++ = 0;
}

inline void SecureClear(std::string* text) {
  if (!text->empty()) SecureClear(text->data(), text->size());
  text->clear();
}

inline void SecureClear(Bytes* bytes) {
  if (!bytes->empty()) SecureClear(bytes->data(), bytes->size());
  bytes->clear();
}
