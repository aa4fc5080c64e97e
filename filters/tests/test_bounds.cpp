// No kernel writes outside its s*W x s*H rectangle, writes every pixel inside it, reads
// nothing of the destination, and reads nothing outside the source rectangle.
//
// The destination lies inside a larger buffer (rows of extra pixels above and below, a
// pitch with extra pixels left and right) filled with a sentinel; the source lies in a
// larger buffer too, its surroundings filled with a "poison" value. Each kernel runs
// twice, with different sentinels and poisons: the guard area must keep its sentinel,
// and the two outputs must be equal (so no output pixel depends on the destination's
// old content or on a pixel outside the source).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image.h"
#include "kernels/cpu.h"
#include "kernels/registry.h"

namespace {

const unsigned kGuardRows = 3;
const unsigned kGuardColumns = 5;  // on each side of every destination row
const unsigned kSourceMargin = 4;  // poisoned pixels around the source

struct GuardedRun {
  std::vector<uint16_t> buffer;
  size_t pitch = 0;  // pixels
  unsigned outWidth = 0, outHeight = 0;
  bool guardIntact = true;
  std::string firstBreach;
  Image inner;
};

GuardedRun RunGuarded(const FilterInfo& f, FilterFn kernel, const Image& src, uint16_t sentinel,
                      uint16_t poison) {
  // Source inside a poisoned frame: its pitch is larger than its row.
  size_t srcPitch = src.width + 2 * kSourceMargin;
  std::vector<uint16_t> source(srcPitch * (src.height + 2 * kSourceMargin), poison);
  uint16_t* srcOrigin = source.data() + kSourceMargin * srcPitch + kSourceMargin;
  for (unsigned y = 0; y < src.height; ++y)
    for (unsigned x = 0; x < src.width; ++x) srcOrigin[y * srcPitch + x] = src.at(x, y);

  GuardedRun run;
  run.outWidth = f.scale * src.width, run.outHeight = f.scale * src.height;
  run.pitch = run.outWidth + 2 * kGuardColumns;
  run.buffer.assign(run.pitch * (run.outHeight + 2 * kGuardRows), sentinel);
  uint16_t* dstOrigin = run.buffer.data() + kGuardRows * run.pitch + kGuardColumns;

  std::vector<uint8_t> work(f.workBytes ? f.workBytes(src.width, src.height) : 0, 0xA5);
  kernel(srcOrigin, srcPitch * sizeof(uint16_t), src.width, src.height, dstOrigin,
         run.pitch * sizeof(uint16_t), work.empty() ? nullptr : work.data());

  run.inner = FlatImage(run.outWidth, run.outHeight, 0);
  for (unsigned y = 0; y < run.outHeight + 2 * kGuardRows; ++y) {
    for (unsigned x = 0; x < run.pitch; ++x) {
      bool inside = y >= kGuardRows && y < kGuardRows + run.outHeight && x >= kGuardColumns &&
                    x < kGuardColumns + run.outWidth;
      uint16_t value = run.buffer[y * run.pitch + x];
      if (inside) {
        run.inner.at(x - kGuardColumns, y - kGuardRows) = value;
      } else if (value != sentinel && run.guardIntact) {
        run.guardIntact = false;
        run.firstBreach = "buffer (" + std::to_string(x) + ", " + std::to_string(y) + ")";
      }
    }
  }
  return run;
}

class Bounds : public testing::TestWithParam<const FilterInfo*> {};

TEST_P(Bounds, WritesExactlyItsRectangleAndReadsOnlyTheSource) {
  const FilterInfo& f = *GetParam();
  // One pixel, one row, one column, widths around the SSE2 (8) and AVX2 (16) steps.
  const unsigned kSizes[][2] = {{1, 1}, {1, 4}, {4, 1}, {2, 1}, {1, 2}, {2, 2}, {3, 3}, {7, 5},
                                {8, 2}, {9, 3}, {16, 1}, {17, 4}, {18, 1}, {25, 2}, {31, 2},
                                {33, 1}, {34, 3}, {47, 1}, {65, 3}, {213, 2}};
  for (const auto& size : kSizes) {
    Image src = RandomImage(size[0], size[1], 3, size[0] * 31 + size[1]);
    std::vector<FilterFn> kernels = {f.scalar, f.fast};
    if (f.avx2 != nullptr && CpuHasAvx2()) kernels.push_back(f.avx2);
    for (FilterFn kernel : kernels) {
      const char* which = kernel == f.scalar ? "scalar" : kernel == f.fast ? "fast" : "avx2";
      GuardedRun a = RunGuarded(f, kernel, src, 0xDEAD, 0x0000);
      GuardedRun b = RunGuarded(f, kernel, src, 0x5A5A, 0xFFFF);
      EXPECT_TRUE(a.guardIntact) << which << " " << size[0] << "x" << size[1] << ": wrote " << a.firstBreach;
      EXPECT_TRUE(b.guardIntact) << which << " " << size[0] << "x" << size[1] << ": wrote " << b.firstBreach;
      EXPECT_EQ(FirstDifference(a.inner, b.inner), "")
          << which << " " << size[0] << "x" << size[1]
          << ": output depends on the destination's old content or on pixels outside the source";
      EXPECT_EQ(FirstDifference(a.inner, RunKernel(f, f.scalar, src)), "") << which;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Filters, Bounds, testing::ValuesIn(kAllFilters, kAllFilters + kAllFilterCount),
                         [](const testing::TestParamInfo<const FilterInfo*>& info) {
                           return std::string(info.param->fileName);
                         });

}  // namespace
