// Every SSE2 kernel equals its scalar twin, pixel for pixel, on random images of many
// sizes: widths around the vector step (8) and odd ones, heights from 1 up.
#include <gtest/gtest.h>

#include <string>

#include "image.h"
#include "kernels/cpu.h"
#include "kernels/registry.h"

namespace {

class Sse2MatchesScalar : public testing::TestWithParam<const FilterInfo*> {};

TEST_P(Sse2MatchesScalar, OnRandomImagesOfManySizes) {
  const FilterInfo& f = *GetParam();
  if (!f.hasSse2) GTEST_SKIP() << "no SSE2 version on this machine";
  const unsigned kWidths[] = {1, 2, 3, 5, 7, 8, 9, 10, 11, 15, 16, 17, 18, 23, 24, 25, 31, 33, 40, 63, 213};
  const unsigned kMaxHeight = 6;
  // 2 and 3 colours: the pattern rules fire everywhere; 0: any value (blends, ties).
  const unsigned kPalettes[] = {2, 3, 5, 0};
  uint32_t seed = 1;
  for (unsigned width : kWidths) {
    for (unsigned height = 1; height <= kMaxHeight; ++height) {
      for (unsigned palette : kPalettes) {
        Image in = RandomImage(width, height, palette, seed++);
        std::string diff = FirstDifference(RunKernel(f, f.fast, in), RunKernel(f, f.scalar, in));
        ASSERT_EQ(diff, "") << width << "x" << height << ", palette " << palette << ", seed " << seed - 1;
      }
    }
  }
}

// Taller images with structure: the scene the benchmarks use, at a few odd sizes.
TEST_P(Sse2MatchesScalar, OnTheBenchmarkScene) {
  const FilterInfo& f = *GetParam();
  if (!f.hasSse2) GTEST_SKIP() << "no SSE2 version on this machine";
  const unsigned kSizes[][2] = {{320, 240}, {213, 160}, {161, 121}, {99, 37}};
  for (const auto& size : kSizes) {
    Image in = SceneImage(size[0], size[1]);
    ASSERT_EQ(FirstDifference(RunKernel(f, f.fast, in), RunKernel(f, f.scalar, in)), "")
        << size[0] << "x" << size[1];
  }
}

// A picture holding every R5G6B5 value once, in a scrambled order so that neighbours
// differ in every way: the vector versions compute colour expansions and YUV with
// arithmetic of their own, which must agree with the scalar version's for every colour.
Image EveryColour() {
  const unsigned kSide = 256;
  Image in = FlatImage(kSide, kSide, 0);
  for (unsigned k = 0; k < kSide * kSide; ++k) in.pixels[k] = (uint16_t)(k * 40503u);  // odd: a permutation
  return in;
}

TEST_P(Sse2MatchesScalar, OnEveryColour) {
  const FilterInfo& f = *GetParam();
  if (!f.hasSse2) GTEST_SKIP() << "no SSE2 version on this machine";
  Image in = EveryColour();
  ASSERT_EQ(FirstDifference(RunKernel(f, f.fast, in), RunKernel(f, f.scalar, in)), "");
}

// The AVX2 versions, on this machine's processor when it has AVX2, on the same images.
class Avx2MatchesScalar : public testing::TestWithParam<const FilterInfo*> {};

TEST_P(Avx2MatchesScalar, OnRandomImagesAndTheScene) {
  const FilterInfo& f = *GetParam();
  if (f.avx2 == nullptr) GTEST_SKIP() << "no AVX2 version";
  if (!CpuHasAvx2()) GTEST_SKIP() << "this processor has no AVX2";
  const unsigned kWidths[] = {1, 2, 3, 15, 16, 17, 18, 31, 32, 33, 34, 47, 49, 63, 64, 65, 213};
  uint32_t seed = 7;
  for (unsigned width : kWidths) {
    for (unsigned height = 1; height <= 5; ++height) {
      for (unsigned palette : {2u, 3u, 0u}) {
        Image in = RandomImage(width, height, palette, seed++);
        ASSERT_EQ(FirstDifference(RunKernel(f, f.avx2, in), RunKernel(f, f.scalar, in)), "")
            << width << "x" << height << ", palette " << palette;
      }
    }
  }
  for (unsigned size : {320u, 161u}) {
    Image in = SceneImage(size, size * 3 / 4);
    ASSERT_EQ(FirstDifference(RunKernel(f, f.avx2, in), RunKernel(f, f.scalar, in)), "") << size;
  }
  Image every = EveryColour();
  ASSERT_EQ(FirstDifference(RunKernel(f, f.avx2, every), RunKernel(f, f.scalar, every)), "") << "every colour";
}

INSTANTIATE_TEST_SUITE_P(Filters, Avx2MatchesScalar,
                         testing::ValuesIn(kAllFilters, kAllFilters + kAllFilterCount),
                         [](const testing::TestParamInfo<const FilterInfo*>& info) {
                           return std::string(info.param->fileName);
                         });

INSTANTIATE_TEST_SUITE_P(Filters, Sse2MatchesScalar,
                         testing::ValuesIn(kAllFilters, kAllFilters + kAllFilterCount),
                         [](const testing::TestParamInfo<const FilterInfo*>& info) {
                           return std::string(info.param->fileName);
                         });

}  // namespace
