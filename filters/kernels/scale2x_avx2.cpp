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


// One pixel the scalar way (the first column and the rest of a row).
inline void Pixel(const uint16_t* up, const uint16_t* mid, const uint16_t* down, unsigned x,
                  unsigned width, uint16_t* out0, uint16_t* out1) {
  unsigned left = ClampIndex((long)x - 1, width), right = ClampIndex((long)x + 1, width);
  uint16_t b = up[x], d = mid[left], e = mid[x], f = mid[right], h = down[x];
  bool corners = b != h && d != f;
  out0[2 * x] = corners && d == b ? d : e;
  out0[2 * x + 1] = corners && b == f ? f : e;
  out1[2 * x] = corners && d == h ? d : e;
  out1[2 * x + 1] = corners && h == f ? f : e;
}

// Scale2x of the 16 pixels at columns x .. x + 15 (their neighbours inside the row).
// With kFlatRuns, 16 blocks that are all E are stored without the selects: that pays on
// pixel art, and costs mispredicted branches where flat and busy steps alternate (the
// second pass of Scale4x).
template <bool kFlatRuns>
inline void Step(const uint16_t* up, const uint16_t* mid, const uint16_t* down, unsigned x,
                 uint16_t* out0, uint16_t* out1) {
  Wide b = Load(up + x), h = Load(down + x);
  Wide d = Load(mid + x - 1), e = Load(mid + x), f = Load(mid + x + 1);
  // Lanes where B == H or D == F keep E everywhere.
  Wide flat = _mm256_or_si256(_mm256_cmpeq_epi16(b, h), _mm256_cmpeq_epi16(d, f));
  if (kFlatRuns && _mm256_testc_si256(flat, _mm256_set1_epi32(-1))) {  // all 16 blocks are E throughout
    StoreInterleaved2(out0 + 2 * x, e, e);
    StoreInterleaved2(out1 + 2 * x, e, e);
    return;
  }
  Wide e0 = Select(_mm256_andnot_si256(flat, _mm256_cmpeq_epi16(d, b)), d, e);
  Wide e1 = Select(_mm256_andnot_si256(flat, _mm256_cmpeq_epi16(b, f)), f, e);
  Wide e2 = Select(_mm256_andnot_si256(flat, _mm256_cmpeq_epi16(d, h)), d, e);
  Wide e3 = Select(_mm256_andnot_si256(flat, _mm256_cmpeq_epi16(h, f)), f, e);
  StoreInterleaved2(out0 + 2 * x, e0, e1);
  StoreInterleaved2(out1 + 2 * x, e2, e3);
}

// Where the steps after the first start in a row written at dst: the first column whose
// output lies on a 32-byte boundary (when the rows' alignment allows it), so that the
// stores do not straddle 32-byte units.
unsigned AlignedStart(const uint16_t* dst, size_t dstPitchBytes) {
  const size_t kAlign = 32;
  uintptr_t base = (uintptr_t)dst;
  unsigned start = kWideLanes;
  if (base % 4 == 0 && dstPitchBytes % kAlign == 0) {
    start = (unsigned)(((kAlign - base % kAlign) % kAlign) / 4);  // 4 output bytes per source pixel
    if (start == 0) start = kWideLanes;
  }
  return start;
}

// Scale2x of one row (mid, between up and down) into two output rows.
template <bool kFlatRuns>
inline void Scale2xRow(const uint16_t* up, const uint16_t* mid, const uint16_t* down, unsigned srcWidth,
                       unsigned alignedStart, uint16_t* out0, uint16_t* out1) {
  Pixel(up, mid, down, 0, srcWidth, out0, out1);
  // Steps whose left and right neighbours lie inside the row: columns 1 .. width - 2.
  // A first step at column 1, the aligned steps, then a last step moved left to end at
  // column width - 2. Steps may overlap (those pixels are written twice, with the same
  // values); only the first and the last column go pixel by pixel.
  unsigned x = 1;
  if (srcWidth >= kWideLanes + 2) {
    unsigned lastStep = srcWidth - 1 - kWideLanes;
    Step<kFlatRuns>(up, mid, down, 1, out0, out1);
    for (x = alignedStart; x < lastStep; x += kWideLanes) Step<kFlatRuns>(up, mid, down, x, out0, out1);
    Step<kFlatRuns>(up, mid, down, lastStep, out0, out1);
    x = srcWidth - 1;
  }
  for (; x < srcWidth; ++x) Pixel(up, mid, down, x, srcWidth, out0, out1);
}

// Scale2x of a whole image.
void Scale2xImage(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
                  uint16_t* dst, size_t dstPitchBytes) {
  if (srcWidth == 0) return;
  const unsigned alignedStart = AlignedStart(dst, dstPitchBytes);
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* up = RowOf(src, srcPitchBytes, ClampIndex((long)y - 1, srcHeight));
    const uint16_t* mid = RowOf(src, srcPitchBytes, y);
    const uint16_t* down = RowOf(src, srcPitchBytes, ClampIndex((long)y + 1, srcHeight));
    Scale2xRow<true>(up, mid, down, srcWidth, alignedStart, RowOf(dst, dstPitchBytes, 2 * (size_t)y),
               RowOf(dst, dstPitchBytes, 2 * (size_t)y + 1));
  }
}

// Rows of the 2x image Scale4x keeps at once: the three the second pass reads, and the
// one more that the first pass writes with its pair.
const unsigned kRingRows = 4;

// Scale4x with the two passes interleaved: the 2x rows are made as the second pass
// needs them, into a ring of four rows that stays in the first-level cache, instead of
// a whole 2x image written out and read back. Returns false (and does nothing) when the
// working memory, sized for the whole 2x image, cannot hold the ring.
bool Scale4xRing(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
                 uint16_t* dst, size_t dstPitchBytes, void* work, size_t workBytes) {
  const size_t kAlign = 32;
  const unsigned midWidth = 2 * srcWidth, midHeight = 2 * srcHeight;
  const size_t ringPitchBytes = AlignUp((size_t)midWidth * sizeof(uint16_t), kAlign);
  if (kRingRows * ringPitchBytes + kAlign - 1 > workBytes) return false;
  uint16_t* ring = (uint16_t*)AlignUp((size_t)(uintptr_t)work, kAlign);
  auto ringRow = [&](unsigned j) { return RowOf(ring, ringPitchBytes, j % kRingRows); };
  const unsigned firstAligned = AlignedStart(ring, ringPitchBytes);
  const unsigned secondAligned = AlignedStart(dst, dstPitchBytes);
  unsigned made = 0;  // 2x rows made so far
  for (unsigned j = 0; j < midHeight; ++j) {
    // The 2x rows up to j + 1 (the last row stands in for the one below it).
    unsigned need = j + 2 < midHeight ? j + 2 : midHeight;
    while (made < need) {
      unsigned y = made / 2;
      const uint16_t* up = RowOf(src, srcPitchBytes, ClampIndex((long)y - 1, srcHeight));
      const uint16_t* mid = RowOf(src, srcPitchBytes, y);
      const uint16_t* down = RowOf(src, srcPitchBytes, ClampIndex((long)y + 1, srcHeight));
      Scale2xRow<true>(up, mid, down, srcWidth, firstAligned, ringRow(made), ringRow(made + 1));
      made += 2;
    }
    const uint16_t* up = ringRow(j == 0 ? 0 : j - 1);
    const uint16_t* down = ringRow(j + 1 < midHeight ? j + 1 : j);
    Scale2xRow<false>(up, ringRow(j), down, midWidth, secondAligned, RowOf(dst, dstPitchBytes, 2 * (size_t)j),
               RowOf(dst, dstPitchBytes, 2 * (size_t)j + 1));
  }
  return true;
}

}  // namespace

void Scale2xAvx2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  Scale2xImage(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes);
}

void Scale4xAvx2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  if (srcWidth == 0 || srcHeight == 0) return;
  if (Scale4xRing(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work,
                  Scale4xWorkBytes(srcWidth, srcHeight)))
    return;
  // Images of a row or two: the whole 2x image between the passes.
  uint16_t* mid = (uint16_t*)work;
  size_t midPitchBytes = (size_t)2 * srcWidth * sizeof(uint16_t);
  Scale2xImage(src, srcPitchBytes, srcWidth, srcHeight, mid, midPitchBytes);
  Scale2xImage(mid, midPitchBytes, 2 * srcWidth, 2 * srcHeight, dst, dstPitchBytes);
}
