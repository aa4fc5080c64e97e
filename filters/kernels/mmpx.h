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

// The brightness MMPX's rules compare. The paper sums the three 8-bit channels (and
// weighs by alpha, which R5G6B5 lacks); here red and blue count double so that every
// channel spans the same 0..62/63 range, keeping the paper's equal channel weights.
static inline int MmpxLuma(uint16_t p) { return 2 * (int)RedOf(p) + (int)GreenOf(p) + 2 * (int)BlueOf(p); }

extern const FilterInfo kMmpx2x;
