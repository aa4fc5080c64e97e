// Derek Liauw Kie Fa's 2xSaI family ("Scale and Interpolate"): 2xSaI, Super 2xSaI and
// Super Eagle. Each source pixel becomes a 2x2 block; where two diagonal neighbours in
// the 2x2 window (the pixel, its right, lower and lower-right neighbours) are equal and
// the other diagonal is not, the block follows that diagonal, and where both diagonals
// agree, a vote over the surrounding pixels picks the one that continues a line; the
// remaining sub-pixels are averages of two or four pixels (per 5/6-bit channel,
// rounded down). Pixels beyond the image edge repeat the edge pixel.
#pragma once

#include "pixel.h"

// Working memory: a copy of the source with a two-pixel border.
size_t SaiWorkBytes(unsigned srcWidth, unsigned srcHeight);

void Sai2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Sai2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
               unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void SuperSai2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                      unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void SuperSai2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                    unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void SuperEagle2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                        unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void SuperEagle2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                      unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);

// Channel-wise means, rounded down, of two and of four R5G6B5 pixels.
static inline uint16_t Mean2(uint16_t a, uint16_t b) {
  const uint16_t kHigh = 0xF7DE, kLow = 0x0821;  // all but each channel's low bit; the low bits
  return (uint16_t)(((a & kHigh) >> 1) + ((b & kHigh) >> 1) + (a & b & kLow));
}
static inline uint16_t Mean4(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  const uint16_t kHigh = 0xE79C, kLow = 0x1863;  // all but each channel's two low bits; those bits
  unsigned high = ((a & kHigh) >> 2) + ((b & kHigh) >> 2) + ((c & kHigh) >> 2) + ((d & kHigh) >> 2);
  unsigned low = (((a & kLow) + (b & kLow) + (c & kLow) + (d & kLow)) >> 2) & kLow;
  return (uint16_t)(high + low);
}

extern const FilterInfo kSai2x;
extern const FilterInfo kSuperSai2x;
extern const FilterInfo kSuperEagle2x;
