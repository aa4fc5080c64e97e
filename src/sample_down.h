// Sampling a 16-bit frame down by an integer factor: the pixel kernel of the frame path.
// Pure functions, no platform headers, so that they are tested and benchmarked natively.
#pragma once

#include <cstddef>
#include <cstdint>

// dst(c, r) = src(c * s, r * s) for c < width and r < height: the top-left pixel of each
// s x s block, copied unchanged. Pitches are in bytes. Only source columns below
// s * width and rows below s * height are read, and no store reaches past the last
// pixel of a destination row, for every width. s is 2, 3 or 4 (other factors take the
// plain loop).
void SampleDown(const void* src, ptrdiff_t srcPitch, uint32_t s, void* dst, ptrdiff_t dstPitch,
                uint32_t width, uint32_t height);

// The same, one 16-bit copy per pixel: the reference the fast version is held to.
void SampleDownScalar(const void* src, ptrdiff_t srcPitch, uint32_t s, void* dst, ptrdiff_t dstPitch,
                      uint32_t width, uint32_t height);
