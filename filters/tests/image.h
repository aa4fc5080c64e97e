// Small R5G6B5 images for the native tests and benchmarks, and a runner that calls a
// kernel the way a plugin does (working memory obtained beforehand).
#pragma once

#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

#include "kernels/pixel.h"

struct Image {
  unsigned width = 0, height = 0;
  std::vector<uint16_t> pixels;  // packed rows

  uint16_t& at(unsigned x, unsigned y) { return pixels[(size_t)y * width + x]; }
  uint16_t at(unsigned x, unsigned y) const { return pixels[(size_t)y * width + x]; }
  size_t pitchBytes() const { return (size_t)width * sizeof(uint16_t); }
};

bool operator==(const Image& a, const Image& b);

Image FlatImage(unsigned width, unsigned height, uint16_t colour);

// Pixels drawn at random from `paletteSize` random colours (0: any 16-bit value).
// Few colours make the pattern rules fire often; any value exercises the blends.
Image RandomImage(unsigned width, unsigned height, unsigned paletteSize, uint32_t seed);

// A deterministic pixel-art frame: flat sky and ground, hills with diagonal and 2:1
// edges, outlined boxes, text-like strokes, a dithered patch and a few sprites. Used by
// the benchmarks as typical content.
Image SceneImage(unsigned width, unsigned height);

// Every pixel replicated into an s x s block.
Image NearestOf(const Image& src, unsigned s);

// Runs a kernel of `filter` on src into a packed destination of scale * size.
Image RunKernel(const FilterInfo& filter, FilterFn kernel, const Image& src);

// Printable description of the first difference between two images, or "" if equal.
std::string FirstDifference(const Image& actual, const Image& expected);

// Test names and failure messages show a filter by its file name.
inline void PrintTo(const FilterInfo* filter, std::ostream* os) { *os << filter->fileName; }
