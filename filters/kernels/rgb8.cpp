#include "rgb8.h"

#include "lanes.h"

#include <vector>

uint32_t Yuv8Of(uint32_t rgb) {
  int r = (int)((rgb >> 16) & 0xFF), g = (int)((rgb >> 8) & 0xFF), b = (int)(rgb & 0xFF);
  int rg = r - g, bg = b - g;
  int y = (299 * r + 587 * g + 114 * b) / 1000;  // never negative: floor
  int u = 128 + (500 * bg - 169 * rg) / 1000;    // C++ division truncates towards zero
  int v = 128 + (500 * rg - 81 * bg) / 1000;
  return ((uint32_t)y << 16) | ((uint32_t)u << 8) | (uint32_t)v;
}

const uint32_t* Yuv565Table() {
  static const std::vector<uint32_t> table = [] {
    std::vector<uint32_t> t(1u << 16);
    for (uint32_t p = 0; p < t.size(); ++p) t[p] = Yuv8Of(Expand565((uint16_t)p));
    return t;
  }();
  return table.data();
}

#if FILTERS_HAVE_SSE2
// Y, U and V of 8 pixels (16-bit lanes). The three sums of channel products are 32-bit multiply-adds, and the
// division by 1000, truncated towards zero, is a product with 0.001f in single
// precision. That is exact here: 0.001f is a little above 1/1000, so the product of a
// multiple of 1000 never falls below the whole quotient, and for |n| < 2^18 the excess
// (under 0.00002) never reaches the next one (at least 0.001 away). A test checks every
// colour.
static inline void YuvLanes(Vec p, Vec* y, Vec* u, Vec* v) {
  Vec ch[3];
  Expand565Lanes<Sse2Lanes>(p, ch);
  const Vec red = ch[0], green = ch[1], blue = ch[2];
  const Vec zero = _mm_setzero_si128();
  Vec rg[2] = {_mm_unpacklo_epi16(red, green), _mm_unpackhi_epi16(red, green)};
  Vec b0[2] = {_mm_unpacklo_epi16(blue, zero), _mm_unpackhi_epi16(blue, zero)};
  auto pair = [](int low, int high) { return _mm_set1_epi32((int)(((unsigned)high << 16) | ((unsigned)low & 0xFFFF))); };
  const __m128 thousandth = _mm_set1_ps(0.001f);
  auto lanes = [&](int wr, int wg, int wb) {
    Vec rgWeights = pair(wr, wg), blueWeight = pair(wb, 0), q[2];
    for (int h = 0; h < 2; ++h) {
      Vec n = _mm_add_epi32(_mm_madd_epi16(rg[h], rgWeights), _mm_madd_epi16(b0[h], blueWeight));
      q[h] = _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(n), thousandth));
    }
    return _mm_packs_epi32(q[0], q[1]);
  };
  const Vec middle = _mm_set1_epi16(128);
  *y = lanes(299, 587, 114);                           // 299 R + 587 G + 114 B
  *u = _mm_add_epi16(lanes(-169, -331, 500), middle);  // 500 (B - G) - 169 (R - G)
  *v = _mm_add_epi16(lanes(500, -419, -81), middle);   // 500 (R - G) - 81 (B - G)
}
#endif

void Yuv565Planes(const uint16_t* pixels, size_t count, uint8_t* y, uint8_t* u, uint8_t* v) {
  size_t k = 0;
#if FILTERS_HAVE_SSE2
  const Vec zero = _mm_setzero_si128();
  for (; k + kLanes <= count; k += kLanes) {
    Vec ly, lu, lv;
    YuvLanes(LoadPixels(pixels + k), &ly, &lu, &lv);
    _mm_storel_epi64((Vec*)(y + k), _mm_packus_epi16(ly, zero));
    _mm_storel_epi64((Vec*)(u + k), _mm_packus_epi16(lu, zero));
    _mm_storel_epi64((Vec*)(v + k), _mm_packus_epi16(lv, zero));
  }
#endif
  const uint32_t* table = Yuv565Table();
  for (; k < count; ++k) {
    uint32_t yuv = table[pixels[k]];
    y[k] = (uint8_t)(yuv >> 16), u[k] = (uint8_t)(yuv >> 8), v[k] = (uint8_t)yuv;
  }
}
