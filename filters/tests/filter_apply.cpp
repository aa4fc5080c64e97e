// filter_apply FILTER IN.png OUT.png: runs a bundled filter's kernels (FILTER is its
// file name, e.g. xbr3x) on a picture rounded to R5G6B5 and writes the result; the
// fast (SSE2/AVX2) and scalar versions must agree. Used by tests/oracle/oracle.py to
// measure agreement with FFmpeg on larger pictures.
#include <stdio.h>
#include <string.h>

#include "image.h"
#include "kernels/registry.h"
#include "png_image.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: filter_apply FILTER IN.png OUT.png\n");
    return 2;
  }
  const FilterInfo* filter = nullptr;
  for (size_t k = 0; k < kAllFilterCount; ++k)
    if (strcmp(kAllFilters[k]->fileName, argv[1]) == 0) filter = kAllFilters[k];
  Image in;
  if (filter == nullptr || !ReadPng(argv[2], &in)) {
    fprintf(stderr, "filter_apply: unknown filter or unreadable picture\n");
    return 1;
  }
  Image out = RunKernel(*filter, filter->fast, in);
  std::string diff = FirstDifference(out, RunKernel(*filter, filter->scalar, in));
  if (!diff.empty()) {
    fprintf(stderr, "filter_apply: fast and scalar versions differ: %s\n", diff.c_str());
    return 1;
  }
  return WritePng(argv[3], out) ? 0 : 1;
}
