#include "registry.h"

const FilterInfo* const kAllFilters[] = {
    &kNearest2x, &kNearest3x, &kNearest4x, &kScale2x, &kScale3x, &kScale4x,
    &kMmpx2x,    &kXbr2x,     &kXbr3x,     &kXbr4x,   &kScanlines2x,
    &kHq2x,      &kHq3x,      &kHq4x,      &kSai2x,   &kSuperSai2x, &kSuperEagle2x,
    &kLcd3x,
};
const size_t kAllFilterCount = sizeof(kAllFilters) / sizeof(kAllFilters[0]);
