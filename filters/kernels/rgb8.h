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
