#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/bytes.h"

using Sha256Digest = std::array<uint8_t, 32>;

// Sha256Context is a streaming SHA-256 (FIPS 180-4). Full 64-byte blocks are
// compressed straight from the caller's buffer; only a partial tail is copied.
class Sha256Context {
 public:
  Sha256Context();
  void Update(const void* data, size_t len);
  // Final pads, returns the digest and leaves the context reset for reuse.
  Sha256Digest Final();

 private:
  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t total_ = 0;
};

// Sha256 hashes one byte range in a single call.
Sha256Digest Sha256(const void* data, size_t len);
inline Bytes Sha256Bytes(const Bytes& data) {
  Sha256Digest d = Sha256(data.data(), data.size());
  return Bytes(d.begin(), d.end());
}

namespace sha256_internal {
// The 64 round constants, 16-byte aligned for vector loads.
extern const uint32_t kRound[64];
using BlockFunction = void (*)(uint32_t state[8], const uint8_t* data, size_t blocks);
void BlocksPortable(uint32_t state[8], const uint8_t* data, size_t blocks);
// BlocksShaExtensions is null when the CPU (or the build) lacks the x86 SHA extensions.
BlockFunction BlocksShaExtensions();
// Active is the compression function Sha256 uses; tests may override it.
BlockFunction& Active();
}  // namespace sha256_internal
