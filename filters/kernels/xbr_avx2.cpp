// xBR 2x, 3x, 4x with AVX2: the step code of xbr_vector.h over 16 lanes. This file alone
// is compiled with AVX2 enabled; its functions run only where CpuHasAvx2() (cpu.h) said
// yes. Its step code lies in unnamed namespaces (xbr_vector.h and below), so no AVX2
// code can stand in for code of the other files. The frame (the bordered copy, its Y,
// U and V planes and the distance rows) is prepared by the SSE2 code of xbr.cpp.
#include <immintrin.h>

#include "simd.h"
#include "xbr.h"
#include "xbr_vector.h"

namespace {

typedef __m256i Wide;  // 16 lanes of 16 bits: 16 pixels

inline Vec LowHalf(Wide v) { return _mm256_castsi256_si128(v); }
inline Vec HighHalf(Wide v) { return _mm256_extracti128_si256(v, 1); }

// The lanes of the AVX2 version (see "The lane type L" in xbr_vector.h).
struct Avx2Lanes {
  typedef Wide V;
  static const unsigned kCount = 16;
  static V Load(const uint16_t* p) { return _mm256_loadu_si256((const Wide*)p); }
  static void Store(uint16_t* p, V v) { _mm256_storeu_si256((Wide*)p, v); }
  static V Set(short w) { return _mm256_set1_epi16(w); }
  static V Zero() { return _mm256_setzero_si256(); }
  static V Add(V a, V b) { return _mm256_add_epi16(a, b); }
  static V Sub(V a, V b) { return _mm256_sub_epi16(a, b); }
  static V Mul(V a, V b) { return _mm256_mullo_epi16(a, b); }
  static V MulHigh(V a, V b) { return _mm256_mulhi_epu16(a, b); }
  static V And(V a, V b) { return _mm256_and_si256(a, b); }
  static V Or(V a, V b) { return _mm256_or_si256(a, b); }
  static V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
  static V Equal(V a, V b) { return _mm256_cmpeq_epi16(a, b); }
  static V Greater(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
  template <int S> static V Sra(V a) { return _mm256_srai_epi16(a, S); }
  template <int S> static V Sll(V a) { return _mm256_slli_epi16(a, S); }
  template <int S> static V Srl(V a) { return _mm256_srli_epi16(a, S); }
  static V Select(V mask, V a, V b) { return _mm256_blendv_epi8(b, a, mask); }
  static bool Any(V mask) { return _mm256_movemask_epi8(mask) != 0; }
  // The interleaving stores work on the two 128-bit halves (pixels 0-7, then 8-15),
  // since AVX2's unpacks stay within halves.
  static void Store2(uint16_t* dst, V a, V b) {
    // lo holds pixels 0-3 and 8-11 interleaved, hi 4-7 and 12-15.
    Wide lo = _mm256_unpacklo_epi16(a, b), hi = _mm256_unpackhi_epi16(a, b);
    StorePixels(dst, LowHalf(lo));
    StorePixels(dst + 8, LowHalf(hi));
    StorePixels(dst + 16, HighHalf(lo));
    StorePixels(dst + 24, HighHalf(hi));
  }
  static void Store3(uint16_t* dst, V a, V b, V c) {
    StoreInterleaved3(dst, LowHalf(a), LowHalf(b), LowHalf(c));
    StoreInterleaved3(dst + 3 * kLanes, HighHalf(a), HighHalf(b), HighHalf(c));
  }
  static void Store4(uint16_t* dst, V a, V b, V c, V d) {
    StoreInterleaved4(dst, LowHalf(a), LowHalf(b), LowHalf(c), LowHalf(d));
    StoreInterleaved4(dst + 4 * kLanes, HighHalf(a), HighHalf(b), HighHalf(c), HighHalf(d));
  }
};

template <unsigned N>
void XbrAvx2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
             uint16_t* dst, size_t dstPitchBytes, void* work) {
  if (srcWidth == 0 || srcHeight == 0) return;
  XbrVectorFrame f = PrepareXbrVector(src, srcPitchBytes, srcWidth, srcHeight, work);
  XbrVectorFilter<Avx2Lanes, N>(f, srcWidth, srcHeight, dst, dstPitchBytes);
}

}  // namespace

void Xbr2xAvx2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
               uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrAvx2<2>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}
void Xbr3xAvx2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
               uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrAvx2<3>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}
void Xbr4xAvx2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
               uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrAvx2<4>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}
