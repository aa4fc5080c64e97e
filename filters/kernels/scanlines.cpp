// Scanlines 2x: nearest 2x with the lower row of each block at half brightness.
#include "scanlines.h"

#include "simd.h"

void Scanlines2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                       unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* in = RowOf(src, srcPitchBytes, y);
    uint16_t* bright = RowOf(dst, dstPitchBytes, 2 * y);
    uint16_t* dark = RowOf(dst, dstPitchBytes, 2 * y + 1);
    for (unsigned x = 0; x < srcWidth; ++x) {
      bright[2 * x] = bright[2 * x + 1] = in[x];
      dark[2 * x] = dark[2 * x + 1] = HalfBrightness(in[x]);
    }
  }
}

#if FILTERS_HAVE_SSE2

void Scanlines2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                     unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  const Vec halfMask = _mm_set1_epi16((short)HalfBrightness(0xFFFF));
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* in = RowOf(src, srcPitchBytes, y);
    uint16_t* bright = RowOf(dst, dstPitchBytes, 2 * y);
    uint16_t* dark = RowOf(dst, dstPitchBytes, 2 * y + 1);
    unsigned x = 0;
    for (; x + kLanes <= srcWidth; x += kLanes) {
      Vec v = LoadPixels(in + x);
      Vec half = _mm_and_si128(_mm_srli_epi16(v, 1), halfMask);
      StoreInterleaved2(bright + 2 * x, v, v);
      StoreInterleaved2(dark + 2 * x, half, half);
    }
    for (; x < srcWidth; ++x) {
      bright[2 * x] = bright[2 * x + 1] = in[x];
      dark[2 * x] = dark[2 * x + 1] = HalfBrightness(in[x]);
    }
  }
}

#else  // no SSE2: the fast version is the scalar one

void Scanlines2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                     unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  Scanlines2xScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes);
}

#endif

const FilterInfo kScanlines2x = {"Scanlines 2x", "scanlines2x", 2, nullptr,
                                 WithoutWork<Scanlines2xScalar>, WithoutWork<Scanlines2xSse2>,
                                 FILTERS_HAVE_SSE2 != 0};
