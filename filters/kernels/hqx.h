// hq2x, hq3x, hq4x: Maxim Stepin's "high quality" magnifiers, as FFmpeg's hqx filter
// implements them. Each source pixel E is compared with its eight neighbours in 8-bit
// YUV (alike when |dY| <= 48, |dU| <= 7 and |dV| <= 6); the pattern of alike and unlike
// neighbours, and for some patterns whether two orthogonal neighbours are alike, picks
// for every sub-pixel a fixed mix of E and the neighbours at that corner. Channels are
// expanded to 8 bits first and each output pixel is rounded back to R5G6B5 (rgb8.h).
// Pixels beyond the image edge repeat the edge pixel.
#pragma once

#include "pixel.h"

// Working memory: a bordered source copy and its Y, U, V planes.
size_t HqxWorkBytes(unsigned srcWidth, unsigned srcHeight);

void Hq2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Hq3xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Hq4xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Hq2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
              unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Hq3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
              unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Hq4xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
              unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);

// True when hqx counts the two colours as unlike. Exposed for the tests.
bool HqxUnlike(uint16_t a, uint16_t b);

extern const FilterInfo kHq2x;
extern const FilterInfo kHq3x;
extern const FilterInfo kHq4x;
