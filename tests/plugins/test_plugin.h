// What the test plugin writes, for the tests that predict its output.
#pragma once

#include <cstdint>

inline uint16_t TestMark(uint32_t dx, uint32_t dy)
{
  return static_cast<uint16_t>(0x0841u * (dx + 1) + 0x2000u * dy);
}

// The frame the library presents with the test plugin of factor s (0: no plugin) over a
// rendered width x height frame whose pixel (x, y) is source(x, y): inside the s-aligned
// rectangle each pixel is its block's top-left source pixel XOR the mark, outside it the
// frame is as rendered.
template <typename Source>
uint16_t ExpectedTestFrame(Source source, uint32_t x, uint32_t y, uint32_t s, uint32_t width, uint32_t height)
{
  if (s && x < width / s * s && y < height / s * s)
    return static_cast<uint16_t>(source(x / s * s, y / s * s) ^ TestMark(x % s, y % s));
  return source(x, y);
}
