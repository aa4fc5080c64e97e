// The bordered source copy used by MMPX and xBR.
#include "padded.h"

#include <string.h>

uint16_t* CopyWithBorder(const uint16_t* src, size_t srcPitchBytes, unsigned width,
                         unsigned height, unsigned border, uint16_t* out) {
  size_t pitch = PaddedPitch(width, border);
  unsigned rows = height + 2 * border;
  for (unsigned r = 0; r < rows; ++r) {
    const uint16_t* in = RowOf(src, srcPitchBytes, ClampIndex((long)r - (long)border, height));
    uint16_t* row = out + r * pitch;
    for (unsigned k = 0; k < border; ++k) row[k] = in[0];
    memcpy(row + border, in, (size_t)width * sizeof(uint16_t));
    for (unsigned k = 0; k < border; ++k) row[border + width + k] = in[width - 1];
  }
  return out + border * pitch + border;
}
