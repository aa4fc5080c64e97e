// PNG files to and from R5G6B5 frames.
#pragma once

#include <cstdint>
#include <vector>

// A frame of R5G6B5 pixels, rows packed (2 * width bytes apart).
struct Frame565 {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint16_t> pixels;
};

// 8-bit RGB to R5G6B5, each channel rounded to the nearest level:
// r5 = (r * 31 + 127) / 255, g6 = (g * 63 + 127) / 255, b5 = (b * 31 + 127) / 255.
uint16_t PackRgb565(uint8_t r, uint8_t g, uint8_t b);
// R5G6B5 to 8-bit RGB by bit replication: r = r5 << 3 | r5 >> 2, g = g6 << 2 | g6 >> 4.
// PackRgb565 gives every expanded value back exactly.
void UnpackRgb565(uint16_t pixel, uint8_t rgb[3]);

// Reads a PNG (any bit depth or colour type; alpha is ignored, grey taken as RGB) as a
// frame. On failure prints one error line and returns false.
bool ReadPngFrame(const char* path, Frame565& frame);
// Writes the frame as an 8-bit RGB PNG. On failure prints one error line and returns false.
bool WritePngFrame(const char* path, const Frame565& frame);
