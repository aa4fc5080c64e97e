// 8-bit colour for the filters that are defined on 8-bit channels (xBR, hqx): R5G6B5
// pixels expanded to 0x00RRGGBB, the YUV both filters measure colour differences in,
// and the quantisation of their 8-bit results back to R5G6B5.
#pragma once

#include "pixel.h"

// A 5-bit channel c expands to c << 3 | c >> 2 and a 6-bit one to c << 2 | c >> 4, so
// that 0 stays 0 and full intensity becomes 255.
static inline uint32_t Expand565(uint16_t p) {
  uint32_t r = RedOf(p), g = GreenOf(p), b = BlueOf(p);
  return (((r << 3) | (r >> 2)) << 16) | (((g << 2) | (g >> 4)) << 8) | ((b << 3) | (b >> 2));
}

// 8-bit channels back to R5G6B5, each rounded to the nearest level: c5 = (c8 * 31 + 127)
// / 255, c6 = (c8 * 63 + 127) / 255. Quantise565(Expand565(p)) == p for every p.
static inline uint16_t Quantise565(uint32_t rgb) {
  uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  return PackRgb((r * kRedMax + 127) / 255, (g * kGreenMax + 127) / 255, (b * kBlueMax + 127) / 255);
}

// Vector versions of the two, over a lane type L (lanes.h). They lie in an unnamed
// namespace, so that a file compiled for another instruction set gets its own copy,
// which cannot stand in for another file's at link time.
namespace {

// The 8-bit channels (red, green, blue) of R5G6B5 pixels in 16-bit lanes, as Expand565. A 5-bit channel c at the top of
// the lane (c << 11) times 264 / 2^16 is 8.25 c, whose whole part is c << 3 | c >> 2; a
// 6-bit one at bit 5 (c << 5) times 8320 / 2^16 is 4.0625 c, whose whole part is
// c << 2 | c >> 4. Blue is moved to the top first.
template <class L>
inline void Expand565Lanes(typename L::V p, typename L::V ch[3]) {
  const typename L::V k5 = L::Set(264);
  ch[0] = L::MulHigh(L::And(p, L::Set((short)(kRedMax << kRedShift))), k5);
  ch[1] = L::MulHigh(L::And(p, L::Set((short)(kGreenMax << kGreenShift))), L::Set(8320));
  ch[2] = L::MulHigh(L::template Sll<11>(p), k5);
}

// R5G6B5 of 8-bit channels in 16-bit lanes, as Quantise565: (c 31 + 127) / 255 equals (c 249 + 1014) >> 11
// and (c 63 + 127) / 255 equals (c 253 + 505) >> 10 for every c from 0 to 255 (checked
// by trying all); neither sum passes 16 bits.
template <class L>
inline typename L::V Quantise565Lanes(const typename L::V ch[3]) {
  typedef typename L::V V;
  const V m5 = L::Set(249), a5 = L::Set(1014);
  V r = L::Add(L::Mul(ch[0], m5), a5);
  V g = L::Add(L::Mul(ch[1], L::Set(253)), L::Set(505));
  V b = L::Add(L::Mul(ch[2], m5), a5);
  r = L::And(r, L::Set((short)(kRedMax << kRedShift)));
  g = L::And(L::template Srl<10 - kGreenShift>(g), L::Set((short)(kGreenMax << kGreenShift)));
  return L::Or(L::Or(r, g), L::template Srl<11>(b));
}

}  // namespace

// The YUV of a pixel as xBR and hqx compute it on 8-bit channels, packed 0x00YYUUVV:
//   Y = floor((299 R + 587 G + 114 B) / 1000)
//   U = 128 + trunc((500 (B - G) - 169 (R - G)) / 1000)
//   V = 128 + trunc((500 (R - G) -  81 (B - G)) / 1000)
// (trunc rounds towards zero; U and V are built from the channel differences to G).
uint32_t Yuv8Of(uint32_t rgb);

// Yuv8Of(Expand565(p)) for every R5G6B5 value p, computed at the first call.
const uint32_t* Yuv565Table();

// The Y, U and V of `count` R5G6B5 pixels, as Yuv8Of(Expand565(p)), into three byte
// planes: 8 pixels at a time with SSE2 arithmetic (no table: a table of every colour is
// 256 KiB, and random pixels miss the first-level cache on every look-up), the rest by
// Yuv565Table().
void Yuv565Planes(const uint16_t* pixels, size_t count, uint8_t* y, uint8_t* u, uint8_t* v);

// |dY| + |dU| + |dV| of two packed YUV values.
static inline unsigned YuvDistance(uint32_t a, uint32_t b) {
  int dy = (int)(a >> 16) - (int)(b >> 16);
  int du = (int)((a >> 8) & 0xFF) - (int)((b >> 8) & 0xFF);
  int dv = (int)(a & 0xFF) - (int)(b & 0xFF);
  return (unsigned)((dy < 0 ? -dy : dy) + (du < 0 ? -du : du) + (dv < 0 ? -dv : dv));
}
