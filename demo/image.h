// Plain in-memory images: the 16-bit R5G6B5 art the scene is drawn into, and 24-bit
// RGB images for captures, PNG files and the contact sheet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Packs 8-bit red, green and blue into R5G6B5 (red in bits 15-11, green 10-5, blue 4-0).
constexpr uint16_t Rgb565(int r, int g, int b)
{
  return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// A 16-bit image, rows packed.
struct Image565 {
  int width = 0;
  int height = 0;
  std::vector<uint16_t> pixels;

  void Resize(int w, int h);
  // Writes one pixel; coordinates outside the image are ignored (clipping).
  void Put(int x, int y, uint16_t colour);
  uint16_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  void FillRect(int x, int y, int w, int h, uint16_t colour);
};

// An 8-bit-per-channel RGB image, rows packed (3 bytes per pixel).
struct ImageRgb {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;

  void Resize(int w, int h);
  void Put(int x, int y, uint8_t r, uint8_t g, uint8_t b);
  void FillRect(int x, int y, int w, int h, uint8_t r, uint8_t g, uint8_t b);
  // Copies a w x h block of source (from sx, sy) to (dx, dy); parts outside either
  // image are skipped.
  void Blit(const ImageRgb& source, int sx, int sy, int w, int h, int dx, int dy);
};
