// The filters that reproduce FFmpeg's xbr and hqx filters, against golden pairs made
// with FFmpeg itself (tests/oracle/oracle.py golden): for each picture in
// tests/golden, <picture>.png is the R5G6B5 input and <picture>.<filter>.png FFmpeg's
// output rounded to R5G6B5. "art" is pixel art with the features these filters treat
// specially (diagonals, single pixels, a dither, 2:1 slopes, colours one step apart),
// "noise" any colours. Both versions of each kernel must give FFmpeg's picture exactly.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "image.h"
#include "kernels/registry.h"
#include "png_image.h"

namespace {

struct ReferenceCase {
  const char* picture;
  const char* filter;
};

const FilterInfo* FilterNamed(const char* name) {
  for (size_t k = 0; k < kAllFilterCount; ++k)
    if (strcmp(kAllFilters[k]->fileName, name) == 0) return kAllFilters[k];
  return nullptr;
}

class MatchesFfmpeg : public testing::TestWithParam<ReferenceCase> {};

TEST_P(MatchesFfmpeg, OnTheGoldenPair) {
  const ReferenceCase& c = GetParam();
  const FilterInfo* f = FilterNamed(c.filter);
  ASSERT_NE(f, nullptr) << c.filter;
  std::string base = std::string(FILTERS_GOLDEN_DIR) + "/" + c.picture;
  Image in, expected;
  ASSERT_TRUE(ReadPng(base + ".png", &in)) << base;
  ASSERT_TRUE(ReadPng(base + "." + c.filter + ".png", &expected)) << base;
  for (FilterFn kernel : {f->scalar, f->fast}) {
    Image out = RunKernel(*f, kernel, in);
    ASSERT_EQ(out.pixels.size(), expected.pixels.size());
    size_t differ = 0;
    for (size_t k = 0; k < out.pixels.size(); ++k) differ += out.pixels[k] != expected.pixels[k];
    EXPECT_EQ(FirstDifference(out, expected), "")
        << (kernel == f->scalar ? "scalar" : "fast") << ": " << differ << " of " << out.pixels.size()
        << " pixels differ";
  }
}

std::vector<ReferenceCase> Cases() {
  std::vector<ReferenceCase> cases;
  for (const char* picture : {"art", "noise"})
    for (const char* filter : {"xbr2x", "xbr3x", "xbr4x", "hq2x", "hq3x", "hq4x"}) cases.push_back({picture, filter});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Golden, MatchesFfmpeg, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<ReferenceCase>& info) {
                           return std::string(info.param.picture) + "_" + info.param.filter;
                         });

}  // namespace
