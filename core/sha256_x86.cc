// SHA-256 compression with the x86 SHA extensions (SHA-NI), chosen at run time.
#include "core/sha256.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>

namespace sha256_internal {
namespace {

// Two rounds per _mm_sha256rnds2_epu32; the message words are scheduled four at a time.
__attribute__((target("sha,sse4.1"))) void BlocksShaNi(uint32_t state[8], const uint8_t* data,
                                                       size_t blocks) {
  const __m128i kByteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  static const uint32_t K[64] __attribute__((aligned(16))) = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
      0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
      0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
      0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
      0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
      0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
      0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

  // The instructions want the state as ABEF / CDGH.
  __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));         // DCBA
  __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));  // HGFE
  tmp = _mm_shuffle_epi32(tmp, 0xB1);                                             // CDAB
  state1 = _mm_shuffle_epi32(state1, 0x1B);                                       // EFGH
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);                               // ABEF
  state1 = _mm_blend_epi16(state1, tmp, 0xF0);                                    // CDGH

  for (; blocks; --blocks, data += 64) {
    const __m128i abefSave = state0;
    const __m128i cdghSave = state1;
    __m128i msg[4];
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i)
      msg[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), kByteSwap);

      // Fully unrolled so the four message registers never touch memory.
#pragma GCC unroll 16
    for (int r = 0; r < 16; ++r) {
      __m128i& cur = msg[r & 3];
      __m128i m = _mm_add_epi32(cur, _mm_load_si128(reinterpret_cast<const __m128i*>(K + 4 * r)));
      state1 = _mm_sha256rnds2_epu32(state1, state0, m);
      if (r >= 3 && r < 15) {
        // Finish the word four groups ahead: W[t] needs W[t-7] (alignr) and sha256msg2.
        __m128i& next = msg[(r + 1) & 3];
        __m128i t7 = _mm_alignr_epi8(cur, msg[(r + 3) & 3], 4);
        next = _mm_add_epi32(next, t7);
        next = _mm_sha256msg2_epu32(next, cur);
      }
      m = _mm_shuffle_epi32(m, 0x0E);
      state0 = _mm_sha256rnds2_epu32(state0, state1, m);
      if (r >= 1 && r < 13) msg[(r + 3) & 3] = _mm_sha256msg1_epu32(msg[(r + 3) & 3], cur);
    }
    state0 = _mm_add_epi32(state0, abefSave);
    state1 = _mm_add_epi32(state1, cdghSave);
  }

  tmp = _mm_shuffle_epi32(state0, 0x1B);        // FEBA
  state1 = _mm_shuffle_epi32(state1, 0xB1);     // DCHG
  state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // DCBA
  state1 = _mm_alignr_epi8(state1, tmp, 8);     // ABEF -> HGFE
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}

bool CpuHasShaExtensions() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSE4_1) || !(c & bit_SSSE3)) return false;
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  __cpuid_count(7, 0, a, b, c, d);
  return (b & (1u << 29)) != 0;
}

}  // namespace

BlockFunction BlocksShaExtensions() {
  static const bool available = CpuHasShaExtensions();
  return available ? BlocksShaNi : nullptr;
}

}  // namespace sha256_internal

#else

namespace sha256_internal {
BlockFunction BlocksShaExtensions() {
  return nullptr;
}
}  // namespace sha256_internal

#endif
