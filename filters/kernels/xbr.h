// xBR (level 2) 2x, 3x, 4x: Hyllian's edge-directed magnifier ("scale by rules"). At
// each corner of a source pixel it weighs the colour differences along the two
// diagonals through that corner; where the edge clearly runs along one of them, the
// corner sub-pixels are blended towards the neighbour across the edge, with a larger
// coverage for shallow (2:1) and steep (1:2) edges. Colour differences are measured in
// YUV; all thresholds and weights are named at the top of xbr.cpp. Pixels beyond the
// image edge repeat the edge pixel.
#pragma once

#include "pixel.h"

// Working memory: a bordered source copy, its Y, U and V planes and eight planes of
// colour distances between neighbours.
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

// The colour distance xBR compares: 48|dY| + 7|dU| + 6|dV| over 8-bit Y, U, V, divided
// by 4 so that sums of eight distances fit 16 bits. Exposed for the tests.
int XbrDistance(uint16_t a, uint16_t b);

// Two colours closer than this count as the same colour in xBR's edge tests.
extern const int kXbrEqualBelow;

// Blend of a towards b by w eighths, channel by channel, rounded to nearest.
static inline uint16_t BlendEighths(uint16_t a, uint16_t b, unsigned w) {
  const unsigned kSteps = 8, kHalf = 4, kShift = 3;
  unsigned r = (RedOf(a) * (kSteps - w) + RedOf(b) * w + kHalf) >> kShift;
  unsigned g = (GreenOf(a) * (kSteps - w) + GreenOf(b) * w + kHalf) >> kShift;
  unsigned bl = (BlueOf(a) * (kSteps - w) + BlueOf(b) * w + kHalf) >> kShift;
  return PackRgb(r, g, bl);
}

extern const FilterInfo kXbr2x;
extern const FilterInfo kXbr3x;
extern const FilterInfo kXbr4x;
