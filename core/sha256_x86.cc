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
      __m128i m = _mm_add_epi32(cur, _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * r)));
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
