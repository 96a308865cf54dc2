#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/bytes.h"

using Sha1Digest = std::array<uint8_t, 20>;

// Sha1 hashes one byte range (FIPS 180-4). It is here only for identifiers that other formats
// fix to SHA-1: OCSP certificate IDs and responder key hashes (RFC 6960) and the keys of a PDF
// document security store. Nothing is signed or verified over it.
Sha1Digest Sha1(const void* data, size_t len);
inline Bytes Sha1Bytes(const Bytes& data) {
  const Sha1Digest d = Sha1(data.data(), data.size());
  return Bytes(d.begin(), d.end());
}
