// SSE2 helpers shared by the kernels: selects and the interleaving stores that turn
// per-sub-pixel vectors (8 source pixels each) into output rows. All loads and stores
// are unaligned, so nothing here depends on the caller's alignment.
#pragma once

#include "pixel.h"

#if FILTERS_HAVE_SSE2
#include <emmintrin.h>

typedef __m128i Vec;  // 8 lanes of 16 bits: 8 pixels

const unsigned kLanes = 8;

static inline Vec LoadPixels(const uint16_t* p) { return _mm_loadu_si128((const Vec*)p); }
static inline void StorePixels(uint16_t* p, Vec v) { _mm_storeu_si128((Vec*)p, v); }

// mask ? a : b, lane by lane (mask lanes are all ones or all zeros).
static inline Vec Select(Vec mask, Vec a, Vec b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
static inline Vec Equal(Vec a, Vec b) { return _mm_cmpeq_epi16(a, b); }
static inline Vec AllOnes() { return _mm_set1_epi32(-1); }
static inline Vec Not(Vec a) { return _mm_xor_si128(a, AllOnes()); }
static inline Vec NotEqual(Vec a, Vec b) { return Not(Equal(a, b)); }
static inline bool AnyLane(Vec mask) { return _mm_movemask_epi8(mask) != 0; }

// Writes a0 b0 a1 b1 ... a7 b7 (16 pixels) at dst.
static inline void StoreInterleaved2(uint16_t* dst, Vec a, Vec b) {
  StorePixels(dst, _mm_unpacklo_epi16(a, b));
  StorePixels(dst + kLanes, _mm_unpackhi_epi16(a, b));
}

// Writes a0 b0 c0 d0 a1 b1 c1 d1 ... (32 pixels) at dst.
static inline void StoreInterleaved4(uint16_t* dst, Vec a, Vec b, Vec c, Vec d) {
  Vec abLo = _mm_unpacklo_epi16(a, b), abHi = _mm_unpackhi_epi16(a, b);
  Vec cdLo = _mm_unpacklo_epi16(c, d), cdHi = _mm_unpackhi_epi16(c, d);
  StorePixels(dst, _mm_unpacklo_epi32(abLo, cdLo));
  StorePixels(dst + kLanes, _mm_unpackhi_epi32(abLo, cdLo));
  StorePixels(dst + 2 * kLanes, _mm_unpacklo_epi32(abHi, cdHi));
  StorePixels(dst + 3 * kLanes, _mm_unpackhi_epi32(abHi, cdHi));
}

// Lane masks for the three-way interleave: output lane k takes source k % 3.
static inline Vec LaneMask(int l0, int l1, int l2, int l3, int l4, int l5, int l6, int l7) {
  return _mm_setr_epi16((short)-l0, (short)-l1, (short)-l2, (short)-l3, (short)-l4,
                        (short)-l5, (short)-l6, (short)-l7);
}

// Moves 16-bit words of v: first whole dwords (D), then words within the low (L) and
// high (H) halves. Each output of the three-way interleave takes its lanes this way.
#define FILTERS_PLACE(v, D, L, H) \
  _mm_shufflehi_epi16(_mm_shufflelo_epi16(_mm_shuffle_epi32((v), (D)), (L)), (H))

// Interleaves three vectors into out[0..2] = a0 b0 c0 a1 b1 c1 ... a7 b7 c7. SSE2 has no
// byte shuffle, so each source's words are moved to their lanes with dword and word
// shuffles and merged under lane masks.
static inline void Interleave3(Vec a, Vec b, Vec c, Vec out[3]) {
  const Vec m0 = LaneMask(1, 0, 0, 1, 0, 0, 1, 0);  // lanes 0, 3, 6
  const Vec m1 = LaneMask(0, 1, 0, 0, 1, 0, 0, 1);  // lanes 1, 4, 7
  const Vec m2 = LaneMask(0, 0, 1, 0, 0, 1, 0, 0);  // lanes 2, 5
  // Output 0: a0 b0 c0 a1 b1 c1 a2 b2.
  Vec a0 = FILTERS_PLACE(a, _MM_SHUFFLE(1, 1, 0, 0), _MM_SHUFFLE(1, 0, 0, 0), _MM_SHUFFLE(0, 0, 0, 0));
  Vec b0 = FILTERS_PLACE(b, _MM_SHUFFLE(1, 0, 0, 0), _MM_SHUFFLE(0, 0, 0, 0), _MM_SHUFFLE(2, 0, 0, 1));
  Vec c0 = FILTERS_PLACE(c, _MM_SHUFFLE(0, 0, 0, 0), _MM_SHUFFLE(0, 0, 0, 0), _MM_SHUFFLE(0, 0, 1, 0));
  out[0] = (_mm_or_si128(_mm_or_si128(_mm_and_si128(m0, a0), _mm_and_si128(m1, b0)),
                                _mm_and_si128(m2, c0)));
  // Output 1: c2 a3 b3 c3 a4 b4 c4 a5.
  Vec a1 = FILTERS_PLACE(a, _MM_SHUFFLE(2, 2, 1, 1), _MM_SHUFFLE(0, 0, 1, 0), _MM_SHUFFLE(1, 0, 0, 0));
  Vec b1 = FILTERS_PLACE(b, _MM_SHUFFLE(2, 2, 1, 1), _MM_SHUFFLE(0, 1, 0, 0), _MM_SHUFFLE(0, 0, 0, 0));
  Vec c1 = FILTERS_PLACE(c, _MM_SHUFFLE(2, 2, 1, 1), _MM_SHUFFLE(1, 0, 0, 0), _MM_SHUFFLE(0, 0, 0, 0));
  out[1] = (_mm_or_si128(_mm_or_si128(_mm_and_si128(m1, a1), _mm_and_si128(m2, b1)),
                                         _mm_and_si128(m0, c1)));
  // Output 2: b5 c5 a6 b6 c6 a7 b7 c7.
  Vec a2 = FILTERS_PLACE(a, _MM_SHUFFLE(3, 3, 3, 3), _MM_SHUFFLE(0, 0, 0, 0), _MM_SHUFFLE(0, 0, 1, 0));
  Vec b2 = FILTERS_PLACE(b, _MM_SHUFFLE(3, 3, 3, 2), _MM_SHUFFLE(2, 0, 0, 1), _MM_SHUFFLE(0, 1, 0, 0));
  Vec c2 = FILTERS_PLACE(c, _MM_SHUFFLE(3, 3, 2, 2), _MM_SHUFFLE(0, 0, 1, 0), _MM_SHUFFLE(1, 0, 0, 0));
  out[2] = (_mm_or_si128(_mm_or_si128(_mm_and_si128(m2, a2), _mm_and_si128(m0, b2)),
                                             _mm_and_si128(m1, c2)));
}

// Writes a0 b0 c0 a1 b1 c1 ... a7 b7 c7 (24 pixels) at dst.
static inline void StoreInterleaved3(uint16_t* dst, Vec a, Vec b, Vec c) {
  Vec out[3];
  Interleave3(a, b, c, out);
  for (unsigned k = 0; k < 3; ++k) StorePixels(dst + k * kLanes, out[k]);
}

#undef FILTERS_PLACE
#endif  // FILTERS_HAVE_SSE2
