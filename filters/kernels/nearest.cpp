// Nearest-neighbour enlargement by 2, 3 and 4.
#include "nearest.h"

#include "simd.h"

// Writes source row `in` enlarged s times horizontally into out (s * width pixels).
static void ReplicateRow(const uint16_t* in, unsigned width, unsigned s, uint16_t* out) {
  for (unsigned x = 0; x < width; ++x) {
    for (unsigned k = 0; k < s; ++k) out[s * x + k] = in[x];
  }
}

static void NearestScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                          unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, unsigned s) {
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* in = RowOf(src, srcPitchBytes, y);
    for (unsigned k = 0; k < s; ++k) ReplicateRow(in, srcWidth, s, RowOf(dst, dstPitchBytes, s * y + k));
  }
}

void Nearest2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                     unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  NearestScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, 2);
}
void Nearest3xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                     unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  NearestScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, 3);
}
void Nearest4xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                     unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  NearestScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, 4);
}

#if FILTERS_HAVE_SSE2

void Nearest2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  const unsigned s = 2;
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* in = RowOf(src, srcPitchBytes, y);
    uint16_t* out0 = RowOf(dst, dstPitchBytes, s * y);
    uint16_t* out1 = RowOf(dst, dstPitchBytes, s * y + 1);
    unsigned x = 0;
    for (; x + kLanes <= srcWidth; x += kLanes) {
      Vec v = LoadPixels(in + x);
      Vec lo = _mm_unpacklo_epi16(v, v), hi = _mm_unpackhi_epi16(v, v);
      StorePixels(out0 + s * x, lo);
      StorePixels(out0 + s * x + kLanes, hi);
      StorePixels(out1 + s * x, lo);
      StorePixels(out1 + s * x + kLanes, hi);
    }
    for (; x < srcWidth; ++x) out0[s * x] = out0[s * x + 1] = out1[s * x] = out1[s * x + 1] = in[x];
  }
}

void Nearest3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  const unsigned s = 3;
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* in = RowOf(src, srcPitchBytes, y);
    uint16_t* out[3];
    for (unsigned k = 0; k < s; ++k) out[k] = RowOf(dst, dstPitchBytes, s * y + k);
    unsigned x = 0;
    for (; x + kLanes <= srcWidth; x += kLanes) {
      Vec v = LoadPixels(in + x), tripled[3];
      Interleave3(v, v, v, tripled);
      for (unsigned k = 0; k < s; ++k) {
        for (unsigned part = 0; part < 3; ++part) StorePixels(out[k] + s * x + part * kLanes, tripled[part]);
      }
    }
    for (unsigned k = 0; k < s; ++k) ReplicateRow(in + x, srcWidth - x, s, out[k] + s * x);
  }
}

void Nearest4xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  const unsigned s = 4;
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* in = RowOf(src, srcPitchBytes, y);
    uint16_t* out[4];
    for (unsigned k = 0; k < s; ++k) out[k] = RowOf(dst, dstPitchBytes, s * y + k);
    unsigned x = 0;
    for (; x + kLanes <= srcWidth; x += kLanes) {
      Vec v = LoadPixels(in + x);
      Vec lo = _mm_unpacklo_epi16(v, v), hi = _mm_unpackhi_epi16(v, v);
      Vec q0 = _mm_unpacklo_epi32(lo, lo), q1 = _mm_unpackhi_epi32(lo, lo);
      Vec q2 = _mm_unpacklo_epi32(hi, hi), q3 = _mm_unpackhi_epi32(hi, hi);
      for (unsigned k = 0; k < s; ++k) {
        uint16_t* o = out[k] + s * x;
        StorePixels(o, q0);
        StorePixels(o + kLanes, q1);
        StorePixels(o + 2 * kLanes, q2);
        StorePixels(o + 3 * kLanes, q3);
      }
    }
    for (unsigned k = 0; k < s; ++k) ReplicateRow(in + x, srcWidth - x, s, out[k] + s * x);
  }
}

#else  // no SSE2: the fast versions are the scalar ones

void Nearest2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  Nearest2xScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes);
}
void Nearest3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  Nearest3xScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes);
}
void Nearest4xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  Nearest4xScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes);
}

#endif

const FilterInfo kNearest2x = {"Nearest 2x", "nearest2x", 2, nullptr,
                               WithoutWork<Nearest2xScalar>, WithoutWork<Nearest2xSse2>,
                               FILTERS_HAVE_SSE2 != 0};
const FilterInfo kNearest3x = {"Nearest 3x", "nearest3x", 3, nullptr,
                               WithoutWork<Nearest3xScalar>, WithoutWork<Nearest3xSse2>,
                               FILTERS_HAVE_SSE2 != 0};
const FilterInfo kNearest4x = {"Nearest 4x", "nearest4x", 4, nullptr,
                               WithoutWork<Nearest4xScalar>, WithoutWork<Nearest4xSse2>,
                               FILTERS_HAVE_SSE2 != 0};
