// LCD 3x: the look of a handheld's colour LCD seen close up. Each source pixel becomes a
// 3x3 cell of three sub-pixel columns, red, green and blue: each column shows its own
// channel at full strength and the other two at a quarter, and the cell's bottom row
// is the same at half brightness, a dark line between pixel rows. Colours never mix
// between pixels.
#pragma once

#include "pixel.h"

void Lcd3xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);
void Lcd3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
               unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes);

// Each channel of p at a quarter and at half, rounded down.
static inline uint16_t LcdQuarter(uint16_t p) { return (uint16_t)((p >> 2) & 0x39E7); }
static inline uint16_t LcdHalf(uint16_t p) { return (uint16_t)((p >> 1) & 0x7BEF); }
// The red, green and blue sub-pixel columns of p.
static inline uint16_t LcdRed(uint16_t p) { return (uint16_t)((p & 0xF800) | (LcdQuarter(p) & 0x07FF)); }
static inline uint16_t LcdGreen(uint16_t p) { return (uint16_t)((p & 0x07E0) | (LcdQuarter(p) & 0xF81F)); }
static inline uint16_t LcdBlue(uint16_t p) { return (uint16_t)((p & 0x001F) | (LcdQuarter(p) & 0xFFE0)); }

extern const FilterInfo kLcd3x;
