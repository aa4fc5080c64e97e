#include "cpu.h"

bool CpuHasAvx2() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  // GCC's check reads CPUID and, through XGETBV, whether the system saves the YMM
  // registers; both are needed before any AVX2 instruction runs.
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
#else
  return false;
#endif
}

FilterFn FastestKernel(const FilterInfo& filter) {
  return filter.avx2 != nullptr && CpuHasAvx2() ? filter.avx2 : filter.fast;
}
