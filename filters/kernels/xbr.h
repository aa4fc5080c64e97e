// xBR (level 2) 2x, 3x, 4x: Hyllian's edge-directed magnifier ("scale by rules"), as
// FFmpeg's xbr filter implements it. The filter is defined on 8-bit channels: the
// R5G6B5 source is expanded to 8 bits (rgb8.h), filtered exactly as the reference does
// (its YUV colour distance, its thresholds, its blends with their truncation), and
// each output pixel rounded back to R5G6B5. Pixels beyond the image edge repeat the
// edge pixel.
#pragma once

#include "pixel.h"

// Working memory: a bordered source copy and its 8-bit RGB and YUV planes.
size_t XbrWorkBytes(unsigned srcWidth, unsigned srcHeight);

void Xbr2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Xbr3xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Xbr4xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Xbr2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
               unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Xbr3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
               unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Xbr4xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
               unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);

// The colour distance xBR compares: |dY| + |dU| + |dV| of the two pixels' 8-bit YUV.
// Exposed for the tests.
unsigned XbrDistance(uint16_t a, uint16_t b);

// Two colours closer than this count as alike in xBR's edge tests.
extern const unsigned kXbrAlikeBelow;

// The blends xBR uses, on 0x00RRGGBB pixels, exactly as the reference computes them:
// a moved towards b by m / 2^s with red and blue in one 32-bit word and green in
// another (which comes to each channel moved by floor((b - a) m / 2^s): the borrows
// between the packed channels cancel), and the half blend that halves each channel
// (dropping its low bit) before adding.
static inline uint32_t XbrBlend(uint32_t a, uint32_t b, unsigned m, unsigned s) {
  const uint32_t kRedBlue = 0x00FF00FF, kGreen = 0x0000FF00;
  uint32_t rb = (a & kRedBlue) + ((((b & kRedBlue) - (a & kRedBlue)) * m) >> s);
  uint32_t g = (a & kGreen) + ((((b & kGreen) - (a & kGreen)) * m) >> s);
  return (rb & kRedBlue) | (g & kGreen);
}
static inline uint32_t XbrHalf(uint32_t a, uint32_t b) {
  const uint32_t kHighBits = 0x00FEFEFE;
  return ((a & kHighBits) >> 1) + ((b & kHighBits) >> 1);
}

extern const FilterInfo kXbr2x;
extern const FilterInfo kXbr3x;
extern const FilterInfo kXbr4x;
