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

// SecretText keeps a secret (a PIN, a password) for as long as a run of operations needs it
// and wipes it when it goes. It cannot be copied, so no copy escapes the wipe.
class SecretText {
 public:
  SecretText() = default;
  explicit SecretText(const std::string& text) { Set(text); }
  ~SecretText() { SecureClear(&text_); }
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;

  const std::string& get() const { return text_; }
  bool empty() const { return text_.empty(); }
  void Clear() { SecureClear(&text_); }
  // Set wipes the old secret and keeps a copy of `text`, allocated once at its size.
  void Set(const std::string& text) {
    Clear();
    text_.reserve(text.size());
    text_.assign(text);
  }

 private:
  std::string text_;
};
