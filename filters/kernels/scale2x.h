// Scale2x, Scale3x and Scale4x: Andrea Mazzoleni's edge-following magnifiers (the
// AdvMAME family, after Eric Johnston's EPX). Each source pixel E becomes a block whose
// sub-pixels copy a neighbour where two neighbours meet at that corner; pixels beyond
// the image edge repeat the edge pixel. Scale4x is Scale2x applied twice.
#pragma once

#include "pixel.h"

void Scale2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);
void Scale2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);
void Scale3xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);
void Scale3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);

// Scale4x needs the 2x image in between: work holds Scale4xWorkBytes(w, h) bytes.
size_t Scale4xWorkBytes(unsigned srcWidth, unsigned srcHeight);
void Scale4xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);
void Scale4xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);

// AVX2 versions (scale2x_avx2.cpp): run them only where CpuHasAvx2() (cpu.h).
void Scale2xAvx2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);
void Scale4xAvx2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);

extern const FilterInfo kScale2x;
extern const FilterInfo kScale3x;
extern const FilterInfo kScale4x;
