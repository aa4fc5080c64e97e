// Nearest-neighbour enlargement (pixel replication): every source pixel becomes an
// s x s block of itself. The sharp baseline the other filters are compared with.
#pragma once

#include "pixel.h"

void Nearest2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                     unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);
void Nearest3xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                     unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);
void Nearest4xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                     unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);

// SSE2 versions: 8 source pixels per step, the rest of a row pixel by pixel.
void Nearest2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);
void Nearest3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);
void Nearest4xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);

extern const FilterInfo kNearest2x;
extern const FilterInfo kNearest3x;
extern const FilterInfo kNearest4x;
