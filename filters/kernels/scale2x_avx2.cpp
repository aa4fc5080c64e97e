// Scale2x and Scale4x with AVX2: 16 pixels per step. This file alone is compiled with
// AVX2 enabled; its functions run only where CpuHasAvx2() (cpu.h) said yes. It holds no
// templates or inline functions with external linkage, so no AVX2 code can stand in
// for code of the other files.
#include <immintrin.h>

#include "scale2x.h"

namespace {

typedef __m256i Wide;  // 16 pixels
const unsigned kWideLanes = 16;

inline Wide Load(const uint16_t* p) { return _mm256_loadu_si256((const Wide*)p); }
inline Wide Select(Wide mask, Wide a, Wide b) { return _mm256_blendv_epi8(b, a, mask); }

// Writes a0 b0 a1 b1 ... a15 b15 (32 pixels) at dst. The unpacks work within each
// 128-bit half (lo: pixels 0-3 and 8-11, hi: 4-7 and 12-15), so the four halves are
// stored in order as 128-bit stores: measured faster here than putting the halves back
// together with two lane permutes and two 256-bit stores.
inline void StoreInterleaved2(uint16_t* dst, Wide a, Wide b) {
  Wide lo = _mm256_unpacklo_epi16(a, b), hi = _mm256_unpackhi_epi16(a, b);
  _mm_storeu_si128((__m128i*)dst, _mm256_castsi256_si128(lo));
  _mm_storeu_si128((__m128i*)(dst + 8), _mm256_castsi256_si128(hi));
  _mm_storeu_si128((__m128i*)(dst + 16), _mm256_extracti128_si256(lo, 1));
  _mm_storeu_si128((__m128i*)(dst + 24), _mm256_extracti128_si256(hi, 1));
}

inline unsigned Clamp(long i, unsigned n) { return i < 0 ? 0 : i >= (long)n ? n - 1 : (unsigned)i; }

// One pixel the scalar way (the first column and the rest of a row).
inline void Pixel(const uint16_t* up, const uint16_t* mid, const uint16_t* down, unsigned x,
                  unsigned width, uint16_t* out0, uint16_t* out1) {
  unsigned left = Clamp((long)x - 1, width), right = Clamp((long)x + 1, width);
  uint16_t b = up[x], d = mid[left], e = mid[x], f = mid[right], h = down[x];
  bool corners = b != h && d != f;
  out0[2 * x] = corners && d == b ? d : e;
  out0[2 * x + 1] = corners && b == f ? f : e;
  out1[2 * x] = corners && d == h ? d : e;
  out1[2 * x + 1] = corners && h == f ? f : e;
}

// Scale2x of the 16 pixels at columns x .. x + 15 (their neighbours inside the row).
inline void Step(const uint16_t* up, const uint16_t* mid, const uint16_t* down, unsigned x,
                 uint16_t* out0, uint16_t* out1) {
  Wide b = Load(up + x), h = Load(down + x);
  Wide d = Load(mid + x - 1), e = Load(mid + x), f = Load(mid + x + 1);
  // Lanes where B == H or D == F keep E everywhere.
  Wide flat = _mm256_or_si256(_mm256_cmpeq_epi16(b, h), _mm256_cmpeq_epi16(d, f));
  Wide e0 = Select(_mm256_andnot_si256(flat, _mm256_cmpeq_epi16(d, b)), d, e);
  Wide e1 = Select(_mm256_andnot_si256(flat, _mm256_cmpeq_epi16(b, f)), f, e);
  Wide e2 = Select(_mm256_andnot_si256(flat, _mm256_cmpeq_epi16(d, h)), d, e);
  Wide e3 = Select(_mm256_andnot_si256(flat, _mm256_cmpeq_epi16(h, f)), f, e);
  StoreInterleaved2(out0 + 2 * x, e0, e1);
  StoreInterleaved2(out1 + 2 * x, e2, e3);
}

// Scale2x of a whole image.
void Scale2xImage(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
                  uint16_t* dst, size_t dstPitchBytes) {
  if (srcWidth == 0) return;
  // The steps after the first start at the first column whose output lies on a 32-byte
  // boundary (when the rows' alignment allows it), so that the stores do not straddle
  // 32-byte units.
  const size_t kAlign = 32;
  uintptr_t base = (uintptr_t)dst;
  unsigned alignedStart = kWideLanes;
  if (base % 4 == 0 && dstPitchBytes % kAlign == 0) {
    alignedStart = (unsigned)(((kAlign - base % kAlign) % kAlign) / 4);  // 4 output bytes per source pixel
    if (alignedStart == 0) alignedStart = kWideLanes;
  }
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* up = RowOf(src, srcPitchBytes, Clamp((long)y - 1, srcHeight));
    const uint16_t* mid = RowOf(src, srcPitchBytes, y);
    const uint16_t* down = RowOf(src, srcPitchBytes, Clamp((long)y + 1, srcHeight));
    uint16_t* out0 = RowOf(dst, dstPitchBytes, 2 * (size_t)y);
    uint16_t* out1 = RowOf(dst, dstPitchBytes, 2 * (size_t)y + 1);
    Pixel(up, mid, down, 0, srcWidth, out0, out1);
    // Steps whose left and right neighbours lie inside the row: columns 1 .. width - 2.
    // A first step at column 1, the aligned steps, then a last step moved left to end
    // at column width - 2. Steps may overlap (those pixels are written twice, with the
    // same values); only the first and the last column go pixel by pixel.
    unsigned x = 1;
    if (srcWidth >= kWideLanes + 2) {
      unsigned lastStep = srcWidth - 1 - kWideLanes;
      Step(up, mid, down, 1, out0, out1);
      for (x = alignedStart; x < lastStep; x += kWideLanes) Step(up, mid, down, x, out0, out1);
      Step(up, mid, down, lastStep, out0, out1);
      x = srcWidth - 1;
    }
    for (; x < srcWidth; ++x) Pixel(up, mid, down, x, srcWidth, out0, out1);
  }
}

}  // namespace


void Scale2xAvx2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  Scale2xImage(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes);
}

void Scale4xAvx2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  uint16_t* mid = (uint16_t*)work;
  size_t midPitchBytes = (size_t)2 * srcWidth * sizeof(uint16_t);
  Scale2xImage(src, srcPitchBytes, srcWidth, srcHeight, mid, midPitchBytes);
  Scale2xImage(mid, midPitchBytes, 2 * srcWidth, 2 * srcHeight, dst, dstPitchBytes);
}
