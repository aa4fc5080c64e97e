// A copy of the source with a border of repeated edge pixels, so that the filters that
// look several pixels away (MMPX, xBR) read their neighbourhoods without testing for
// the edge, in vector code and pixel by pixel alike.
#pragma once

#include "pixel.h"

// Pixels of a copy of a w x h image with `border` extra pixels on each side.
static inline size_t PaddedPixelCount(unsigned width, unsigned height, unsigned border) {
  return ((size_t)width + 2 * border) * ((size_t)height + 2 * border);
}

// Distance in pixels between two rows of the padded copy.
static inline size_t PaddedPitch(unsigned width, unsigned border) {
  return (size_t)width + 2 * border;
}

// Fills out (PaddedPixelCount pixels) with the source and its border: a pixel outside
// the source repeats the nearest edge pixel. Returns the address of source pixel (0, 0)
// in the copy.
uint16_t* CopyWithBorder(const uint16_t* src, size_t srcPitchBytes, unsigned width,
                         unsigned height, unsigned border, uint16_t* out);
