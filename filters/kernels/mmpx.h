// MMPX 2x: Morgan McGuire and Mara Gagiu's style-preserving pixel-art magnifier
// ("MMPX Style-Preserving Pixel-Art Magnification", JCGT 2021). Each source pixel
// becomes a 2x2 block that copies (never blends) neighbouring colours, chosen by
// pattern rules for 45-degree and 2:1 edges, line intersections and sharp tips. The
// rules look up to three pixels away; pixels beyond the edge repeat the edge pixel.
#pragma once

#include "pixel.h"

// Working memory: a copy of the source with a three-pixel border.
size_t MmpxWorkBytes(unsigned srcWidth, unsigned srcHeight);

void Mmpx2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                  unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Mmpx2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);

// The brightness MMPX's rules compare, as the paper defines it for opaque pixels: the
// sum of the three channels expanded to 8 bits (a 5-bit channel c becomes c << 3 | c >> 2,
// a 6-bit one c << 2 | c >> 4, so that full intensity is 255 in each). Pure red and pure
// green are then equally bright (255), and ties between them fall as in the paper.
// R5G6B5 has no alpha, so the paper's alpha weighting drops out.
static inline int MmpxLuma(uint16_t p) {
  unsigned r = RedOf(p), g = GreenOf(p), b = BlueOf(p);
  return (int)(((r << 3) | (r >> 2)) + ((g << 2) | (g >> 4)) + ((b << 3) | (b >> 2)));
}

extern const FilterInfo kMmpx2x;
