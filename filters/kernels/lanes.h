// Lane types: the vector operations of one instruction set as static functions of a
// struct, for code written once over lanes (xBR's step in xbr_vector.h; the channel
// expansion and rounding of rgb8.h), so that a wider instruction set can reuse that code
// with a lane type of its own.
#pragma once

#include "simd.h"

#if FILTERS_HAVE_SSE2

namespace {

// 8 pixels in a 128-bit vector, as a lane type: the operations that code written once
// over lanes (xbr_vector.h, and the channel expansion and rounding of rgb8.h) uses, each
// on 16-bit lanes.
struct Sse2Lanes {
  typedef Vec V;
  static const unsigned kCount = kLanes;
  static V Load(const uint16_t* p) { return LoadPixels(p); }
  static void Store(uint16_t* p, V v) { StorePixels(p, v); }
  static V Set(short w) { return _mm_set1_epi16(w); }
  static V Zero() { return _mm_setzero_si128(); }
  static V Add(V a, V b) { return _mm_add_epi16(a, b); }
  static V Sub(V a, V b) { return _mm_sub_epi16(a, b); }
  static V Mul(V a, V b) { return _mm_mullo_epi16(a, b); }
  static V MulHigh(V a, V b) { return _mm_mulhi_epu16(a, b); }
  static V And(V a, V b) { return _mm_and_si128(a, b); }
  static V Or(V a, V b) { return _mm_or_si128(a, b); }
  static V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }
  static V Equal(V a, V b) { return _mm_cmpeq_epi16(a, b); }
  static V Greater(V a, V b) { return _mm_cmpgt_epi16(a, b); }
  template <int S> static V Sra(V a) { return _mm_srai_epi16(a, S); }
  template <int S> static V Sll(V a) { return _mm_slli_epi16(a, S); }
  template <int S> static V Srl(V a) { return _mm_srli_epi16(a, S); }
  static V Select(V mask, V a, V b) { return ::Select(mask, a, b); }
  static bool Any(V mask) { return AnyLane(mask); }
  static void Store2(uint16_t* dst, V a, V b) { StoreInterleaved2(dst, a, b); }
  static void Store3(uint16_t* dst, V a, V b, V c) { StoreInterleaved3(dst, a, b, c); }
  static void Store4(uint16_t* dst, V a, V b, V c, V d) { StoreInterleaved4(dst, a, b, c, d); }
};

}  // namespace

#endif  // FILTERS_HAVE_SSE2
