// Every bundled filter, for the native tests and benchmarks (each plugin links only
// its own kernel).
#pragma once

#include "hqx.h"
#include "lcd.h"
#include "mmpx.h"
#include "nearest.h"
#include "sai.h"
#include "scale2x.h"
#include "scanlines.h"
#include "xbr.h"

extern const FilterInfo* const kAllFilters[];
extern const size_t kAllFilterCount;
