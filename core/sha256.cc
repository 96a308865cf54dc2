#include "core/sha256.h"

#include <cstring>

namespace sha256_internal {

alignas(16) const uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

namespace {

inline uint32_t Rotr(uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

inline uint32_t LoadBigEndian(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

void BlocksPortable(uint32_t state[8], const uint8_t* data, size_t blocks) {
  uint32_t w[16];
  for (; blocks; --blocks, data += 64) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    // The message schedule lives in a 16-word ring; unrolled, its indexes are constants.
#pragma GCC unroll 64
    for (int i = 0; i < 64; ++i) {
      uint32_t word;
      if (i < 16) {
        word = w[i] = LoadBigEndian(data + 4 * i);
      } else {
        uint32_t w15 = w[(i - 15) & 15], w2 = w[(i - 2) & 15];
        uint32_t s0 = Rotr(w15, 7) ^ Rotr(w15, 18) ^ (w15 >> 3);
        uint32_t s1 = Rotr(w2, 17) ^ Rotr(w2, 19) ^ (w2 >> 10);
        word = w[i & 15] += s0 + w[(i - 7) & 15] + s1;
      }
      uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + word;
      uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

BlockFunction& Active() {
  static BlockFunction active = BlocksShaExtensions() ? BlocksShaExtensions() : BlocksPortable;
  return active;
}

}  // namespace sha256_internal

namespace {
constexpr uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
}

Sha256Context::Sha256Context() {
  std::memcpy(state_, kInitial, sizeof state_);
}

void Sha256Context::Update(const void* data, size_t len) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  total_ += len;
  auto blocks = sha256_internal::Active();
  if (buffered_) {
    size_t take = std::min(len, 64 - buffered_);
    std::memcpy(buffer_ + buffered_, p, take);
    buffered_ += take;
    p += take;
    len -= take;
    if (buffered_ < 64) return;
    blocks(state_, buffer_, 1);
    buffered_ = 0;
  }
  if (len >= 64) {
    blocks(state_, p, len / 64);
    p += len & ~size_t(63);
    len &= 63;
  }
  if (len) std::memcpy(buffer_, p, len);
  buffered_ = len;
}

Sha256Digest Sha256Context::Final() {
  uint64_t bits = total_ * 8;
  uint8_t pad[72] = {0x80};
  size_t padLen = (buffered_ < 56 ? 56 : 120) - buffered_;
  for (int i = 0; i < 8; ++i) pad[padLen + i] = uint8_t(bits >> (56 - 8 * i));
  Update(pad, padLen + 8);
  Sha256Digest out;
  for (int i = 0; i < 8; ++i) {
    out[4 * i] = uint8_t(state_[i] >> 24);
    out[4 * i + 1] = uint8_t(state_[i] >> 16);
    out[4 * i + 2] = uint8_t(state_[i] >> 8);
    out[4 * i + 3] = uint8_t(state_[i]);
  }
  *this = Sha256Context();
  return out;
}

Sha256Digest Sha256(const void* data, size_t len) {
  Sha256Context ctx;
  ctx.Update(data, len);
  return ctx.Final();
}
