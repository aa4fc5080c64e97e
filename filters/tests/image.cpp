#include "image.h"

#include <stdio.h>

#include <cstdlib>
#include <random>
#include <string>

bool operator==(const Image& a, const Image& b) {
  return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

Image FlatImage(unsigned width, unsigned height, uint16_t colour) {
  Image image;
  image.width = width, image.height = height;
  image.pixels.assign((size_t)width * height, colour);
  return image;
}

Image RandomImage(unsigned width, unsigned height, unsigned paletteSize, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> anyValue(0, 0xFFFF);
  std::vector<uint16_t> palette;
  for (unsigned k = 0; k < paletteSize; ++k) palette.push_back((uint16_t)anyValue(random));
  Image image = FlatImage(width, height, 0);
  for (uint16_t& p : image.pixels) {
    p = paletteSize == 0 ? (uint16_t)anyValue(random) : palette[random() % paletteSize];
  }
  return image;
}

static void FillRect(Image& image, int x0, int y0, int w, int h, uint16_t colour) {
  for (int y = y0; y < y0 + h; ++y) {
    for (int x = x0; x < x0 + w; ++x) {
      if (x >= 0 && y >= 0 && x < (int)image.width && y < (int)image.height) image.at(x, y) = colour;
    }
  }
}

Image SceneImage(unsigned width, unsigned height) {
  const uint16_t kSky = PackRgb(12, 40, 30), kGround = PackRgb(10, 30, 4);
  const uint16_t kHill = PackRgb(6, 44, 8), kOutline = PackRgb(2, 6, 2);
  const uint16_t kBox = PackRgb(28, 36, 6), kInk = PackRgb(31, 63, 31), kSprite = PackRgb(30, 10, 12);
  Image image = FlatImage(width, height, kSky);
  int w = (int)width, h = (int)height;
  FillRect(image, 0, h * 3 / 4, w, h, kGround);
  // Hills: a 45-degree slope and a 2:1 slope, each with a dark outline.
  for (int x = 0; x < w; ++x) {
    int top45 = h / 2 + std::abs((x % (h / 2 + 1)) - h / 4);
    int top21 = h * 3 / 5 + std::abs(((x / 2) % (h / 3 + 1)) - h / 6);
    int top = top45 < top21 ? top45 : top21;
    FillRect(image, x, top, 1, h * 3 / 4 - top, kHill);
    FillRect(image, x, top, 1, 1, kOutline);
  }
  // Outlined boxes with text-like strokes inside.
  for (int bx = 8; bx + 40 < w; bx += 64) {
    int by = h / 8 + (bx / 64 % 3) * 10;
    FillRect(image, bx, by, 40, 24, kOutline);
    FillRect(image, bx + 1, by + 1, 38, 22, kBox);
    for (int c = 0; c < 5; ++c) {
      int cx = bx + 3 + c * 7;
      FillRect(image, cx, by + 4, 1, 7, kInk);          // stem
      FillRect(image, cx, by + 4 + (c % 3) * 3, 5, 1, kInk);  // bar
      FillRect(image, cx + 4, by + 4 + c % 2 * 3, 1, 4, kInk);
      FillRect(image, cx, by + 14, 5, 1, kInk);
      FillRect(image, cx + (c % 4), by + 15, 1, 5, kInk);
    }
  }
  // A dithered patch (checkerboard of two colours).
  for (int y = h / 2; y < h / 2 + h / 8; ++y) {
    for (int x = w / 3; x < w / 3 + w / 6 && x < w; ++x) {
      if (((x + y) & 1) == 0) image.at(x, y) = kBox;
    }
  }
  // Sprites: filled diamonds with an outline.
  for (int s = 0; s < 6; ++s) {
    int cx = 20 + s * (w / 6), cy = h * 3 / 4 + h / 10, r = 6 + s % 3;
    for (int y = -r; y <= r; ++y) {
      for (int x = -r; x <= r; ++x) {
        int d = std::abs(x) + std::abs(y);
        if (d <= r) FillRect(image, cx + x, cy + y, 1, 1, d == r ? kOutline : kSprite);
      }
    }
  }
  return image;
}

Image NearestOf(const Image& src, unsigned s) {
  Image out = FlatImage(src.width * s, src.height * s, 0);
  for (unsigned y = 0; y < out.height; ++y) {
    for (unsigned x = 0; x < out.width; ++x) out.at(x, y) = src.at(x / s, y / s);
  }
  return out;
}

Image RunKernel(const FilterInfo& filter, FilterFn kernel, const Image& src) {
  Image out = FlatImage(src.width * filter.scale, src.height * filter.scale, 0);
  std::vector<uint8_t> work(filter.workBytes ? filter.workBytes(src.width, src.height) : 0);
  kernel(src.pixels.data(), src.pitchBytes(), src.width, src.height, out.pixels.data(),
         out.pitchBytes(), work.empty() ? nullptr : work.data());
  return out;
}

std::string FirstDifference(const Image& actual, const Image& expected) {
  char text[160];
  if (actual.width != expected.width || actual.height != expected.height) {
    snprintf(text, sizeof(text), "size %ux%u, expected %ux%u", actual.width, actual.height,
             expected.width, expected.height);
    return text;
  }
  for (unsigned y = 0; y < actual.height; ++y) {
    for (unsigned x = 0; x < actual.width; ++x) {
      if (actual.at(x, y) != expected.at(x, y)) {
        snprintf(text, sizeof(text), "pixel (%u, %u) is 0x%04X, expected 0x%04X", x, y,
                 actual.at(x, y), expected.at(x, y));
        return text;
      }
    }
  }
  return "";
}
