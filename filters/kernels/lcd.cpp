// LCD 3x.
#include "lcd.h"

#include "simd.h"

void Lcd3xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
                 uint16_t* dst, size_t dstPitchBytes) {
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* in = RowOf(src, srcPitchBytes, y);
    uint16_t* rows[3];
    for (unsigned k = 0; k < 3; ++k) rows[k] = RowOf(dst, dstPitchBytes, 3 * (size_t)y + k);
    for (unsigned x = 0; x < srcWidth; ++x) {
      uint16_t p = in[x];
      uint16_t cell[3] = {LcdRed(p), LcdGreen(p), LcdBlue(p)};
      for (unsigned k = 0; k < 3; ++k) {
        rows[0][3 * x + k] = rows[1][3 * x + k] = cell[k];
        rows[2][3 * x + k] = LcdHalf(cell[k]);
      }
    }
  }
}

#if FILTERS_HAVE_SSE2
void Lcd3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
               uint16_t* dst, size_t dstPitchBytes) {
  const Vec quarterMask = _mm_set1_epi16(0x39E7), halfMask = _mm_set1_epi16(0x7BEF);
  const Vec red = _mm_set1_epi16((short)0xF800), green = _mm_set1_epi16(0x07E0), blue = _mm_set1_epi16(0x001F);
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* in = RowOf(src, srcPitchBytes, y);
    uint16_t* rows[3];
    for (unsigned k = 0; k < 3; ++k) rows[k] = RowOf(dst, dstPitchBytes, 3 * (size_t)y + k);
    unsigned x = 0;
    for (; x + kLanes <= srcWidth; x += kLanes) {
      Vec p = LoadPixels(in + x);
      Vec quarter = _mm_and_si128(_mm_srli_epi16(p, 2), quarterMask);
      Vec r = Select(red, p, quarter), g = Select(green, p, quarter), b = Select(blue, p, quarter);
      StoreInterleaved3(rows[0] + 3 * x, r, g, b);
      StoreInterleaved3(rows[1] + 3 * x, r, g, b);
      StoreInterleaved3(rows[2] + 3 * x, _mm_and_si128(_mm_srli_epi16(r, 1), halfMask),
                        _mm_and_si128(_mm_srli_epi16(g, 1), halfMask), _mm_and_si128(_mm_srli_epi16(b, 1), halfMask));
    }
    for (; x < srcWidth; ++x) {
      uint16_t p = in[x];
      uint16_t cell[3] = {LcdRed(p), LcdGreen(p), LcdBlue(p)};
      for (unsigned k = 0; k < 3; ++k) {
        rows[0][3 * x + k] = rows[1][3 * x + k] = cell[k];
        rows[2][3 * x + k] = LcdHalf(cell[k]);
      }
    }
  }
}
const FilterInfo kLcd3x = {"LCD 3x", "lcd3x", 3, nullptr, WithoutWork<Lcd3xScalar>, WithoutWork<Lcd3xSse2>, true};
#else
const FilterInfo kLcd3x = {"LCD 3x", "lcd3x", 3, nullptr, WithoutWork<Lcd3xScalar>, WithoutWork<Lcd3xScalar>, false};
#endif
