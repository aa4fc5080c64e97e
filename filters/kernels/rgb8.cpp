#include "rgb8.h"

#include <vector>

uint32_t Yuv8Of(uint32_t rgb) {
  int r = (int)((rgb >> 16) & 0xFF), g = (int)((rgb >> 8) & 0xFF), b = (int)(rgb & 0xFF);
  int rg = r - g, bg = b - g;
  int y = (299 * r + 587 * g + 114 * b) / 1000;  // never negative: floor
  int u = 128 + (500 * bg - 169 * rg) / 1000;    // C++ division truncates towards zero
  int v = 128 + (500 * rg - 81 * bg) / 1000;
  return ((uint32_t)y << 16) | ((uint32_t)u << 8) | (uint32_t)v;
}

const uint32_t* Yuv565Table() {
  static const std::vector<uint32_t> table = [] {
    std::vector<uint32_t> t(1u << 16);
    for (uint32_t p = 0; p < t.size(); ++p) t[p] = Yuv8Of(Expand565((uint16_t)p));
    return t;
  }();
  return table.data();
}
