// Run-time choice of a filter's kernel: the AVX2 version where the filter has one and
// the processor (and the operating system, which must save the wider registers)
// supports AVX2, else the SSE2 one.
#pragma once

#include "pixel.h"

// True when AVX2 instructions may run here. Asked once; the answer is kept.
bool CpuHasAvx2();

// The kernel a plugin runs: avx2 when present and supported, else fast.
FilterFn FastestKernel(const FilterInfo& filter);
