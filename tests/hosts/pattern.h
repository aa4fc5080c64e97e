// The test hosts' frame content: a 16-bit value per pixel that differs from its
// neighbours, so that a pixel taken from the wrong place shows.
#pragma once

#include <cstdint>

inline uint16_t Pattern(uint32_t x, uint32_t y, uint32_t seed)
{
  return static_cast<uint16_t>((x * 0x9E37u) ^ (y * 0x5BD1u) ^ (x * y * 7u) ^ (seed * 0x3C6Fu));
}
