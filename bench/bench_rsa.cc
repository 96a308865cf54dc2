// Times VerifyRsaPkcs1Sha256 with a 2048-bit modulus and exponent 65537. The signature is
// not valid (the result is false), but the full exponentiation runs before the comparison.
#include <chrono>
#include <cstdio>

#include "core/rsa.h"

int main() {
  Bytes modulus(256), signature(256), exponent = {1, 0, 1};
  for (size_t i = 0; i < modulus.size(); ++i) {
    modulus[i] = uint8_t(0x80 | (i * 131 + 7));
    signature[i] = uint8_t(i * 17 + 3) & 0x7F;
  }
  modulus.back() |= 1;  // odd, as every RSA modulus is
  const uint8_t data[] = "bench";
  const int rounds = 50;
  auto start = std::chrono::steady_clock::now();
  int accepted = 0;
  for (int i = 0; i < rounds; ++i) accepted += VerifyRsaPkcs1Sha256(modulus, exponent, signature, data, 5);
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("rsa-2048 e=65537 verify: %.2f ms per verification (%d accepted)\n", ms / rounds, accepted);
  return 0;
}
