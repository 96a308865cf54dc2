#pragma once

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"

// Sha512Context is a streaming SHA-512 or SHA-384 (FIPS 180-4): the same rounds, with other
// initial values and a shorter digest for SHA-384. Verifying signatures made by other signers
// needs them; this system signs only with SHA-256.
class Sha512Context {
 public:
  explicit Sha512Context(bool sha384 = false);
  void Update(const void* data, size_t len);
  // Final returns the 64-byte (SHA-384: 48-byte) digest and leaves the context reset.
  Bytes Final();

 private:
  void Reset();
  void Block(const uint8_t* block);
  bool sha384_;
  uint64_t state_[8];
  uint8_t buffer_[128];
  size_t buffered_ = 0;
  uint64_t total_ = 0;
};
