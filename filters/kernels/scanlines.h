// Scanlines 2x: a CRT look. Nearest 2x, with every second output row (the lower row of
// each 2x2 block) at half brightness: each channel halved, rounded down.
#pragma once

#include "pixel.h"

// A pixel with each of its channels halved (rounded down).
static inline uint16_t HalfBrightness(uint16_t p) {
  // Shifting the whole pixel right halves every channel; the mask clears the bit each
  // channel receives from the lowest bit of the channel above it.
  const uint16_t kHalfMask = 0x7BEF;  // 0 11110 111110 1111 (r: bits 14-11, g: 9-5, b: 3-0)
  return (uint16_t)((p >> 1) & kHalfMask);
}

void Scanlines2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                       unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);
void Scanlines2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                     unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);

extern const FilterInfo kScanlines2x;
