// What the test plugin writes, for the tests that predict its output.
#pragma once

#include <cstdint>

inline uint16_t TestMark(uint32_t dx, uint32_t dy)
{
  return static_cast<uint16_t>(0x0841u * (dx + 1) + 0x2000u * dy);
}
