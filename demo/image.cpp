// Plain in-memory images.
#include "image.h"

#include <algorithm>

void Image565::Resize(int w, int h)
{
  width = w;
  height = h;
  pixels.assign(static_cast<size_t>(w) * h, 0);
}

void Image565::Put(int x, int y, uint16_t colour)
{
  if (x < 0 || y < 0 || x >= width || y >= height)
    return;
  pixels[static_cast<size_t>(y) * width + x] = colour;
}

void Image565::FillRect(int x, int y, int w, int h, uint16_t colour)
{
  const int x0 = std::max(x, 0), x1 = std::min(x + w, width);
  const int y0 = std::max(y, 0), y1 = std::min(y + h, height);
  for (int row = y0; row < y1; ++row)
    std::fill(pixels.begin() + static_cast<size_t>(row) * width + x0,
              pixels.begin() + static_cast<size_t>(row) * width + x1, colour);
}

void ImageRgb::Resize(int w, int h)
{
  width = w;
  height = h;
  rgb.assign(static_cast<size_t>(w) * h * 3, 0);
}

void ImageRgb::Put(int x, int y, uint8_t r, uint8_t g, uint8_t b)
{
  if (x < 0 || y < 0 || x >= width || y >= height)
    return;
  uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
  p[0] = r;
  p[1] = g;
  p[2] = b;
}

void ImageRgb::FillRect(int x, int y, int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
  for (int row = y; row < y + h; ++row)
    for (int col = x; col < x + w; ++col)
      Put(col, row, r, g, b);
}

void ImageRgb::Blit(const ImageRgb& source, int sx, int sy, int w, int h, int dx, int dy)
{
  for (int row = 0; row < h; ++row) {
    const int from = sy + row, to = dy + row;
    if (from < 0 || from >= source.height || to < 0 || to >= height)
      continue;
    for (int col = 0; col < w; ++col) {
      const int fx = sx + col, tx = dx + col;
      if (fx < 0 || fx >= source.width || tx < 0 || tx >= width)
        continue;
      const uint8_t* p = &source.rgb[(static_cast<size_t>(from) * source.width + fx) * 3];
      Put(tx, to, p[0], p[1], p[2]);
    }
  }
}
