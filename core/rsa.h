#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/bytes.h"

// BigNat is an unsigned integer in 32-bit limbs, least significant first. Leading zero limbs
// are allowed. It serves only the public-key check below, so nothing is constant-time.
class BigNat {
 public:
  BigNat() = default;
  static BigNat FromBytes(const uint8_t* data, size_t len);  // big-endian
  static BigNat FromBytes(const Bytes& bytes) { return FromBytes(bytes.data(), bytes.size()); }
  // ToBytes writes exactly `len` big-endian bytes, dropping limbs beyond them.
  Bytes ToBytes(size_t len) const;

  // Compare returns -1, 0 or 1.
  static int Compare(const BigNat& a, const BigNat& b);
  static BigNat Multiply(const BigNat& a, const BigNat& b);
  // Remainder computes x mod n; n must not be zero.
  static BigNat Remainder(const BigNat& x, const BigNat& n);
  // PowMod computes base^exponent mod n for base < n; n must not be zero. An odd n (every RSA
  // modulus) takes Montgomery multiplication, any other the schoolbook product and remainder.
  static BigNat PowMod(const BigNat& base, const BigNat& exponent, const BigNat& n);

  const std::vector<uint32_t>& limbs() const { return limbs_; }

 private:
  size_t SignificantLimbs() const;
  std::vector<uint32_t> limbs_;
};

// RsaPublicKey is an RSA key as a certificate holds it.
struct RsaPublicKey {
  Bytes modulus;  // big-endian, leading zeros stripped
  Bytes exponent;
};

// DigestInfoPrefix is the DER DigestInfo header for SHA-256 with a NULL parameter (19 bytes).
const Bytes& DigestInfoPrefix();

// VerifyRsaPkcs1 checks an RSA PKCS#1 v1.5 signature whose block ends in `digestInfo` (the
// DER DigestInfo of any hash). It returns false on any mismatch or malformed input.
bool VerifyRsaPkcs1(const Bytes& modulus, const Bytes& exponent, const Bytes& signature,
                    const Bytes& digestInfo);

// VerifyRsaPkcs1Sha256 checks an RSA PKCS#1 v1.5 signature over the SHA-256 of `data`
// with the big-endian `modulus` and `exponent`. The signature must be exactly as long as the
// modulus. It returns false on any mismatch or malformed input.
bool VerifyRsaPkcs1Sha256(const Bytes& modulus, const Bytes& exponent, const Bytes& signature,
                          const uint8_t* data, size_t dataLen);
