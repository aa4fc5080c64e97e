// Shared helpers of the pixel kernels: R5G6B5 channel access, row addressing and the
// common kernel signature. Plain C++17, no platform headers.
#pragma once

#include <stddef.h>
#include <stdint.h>

// R5G6B5: red in bits 15-11, green in 10-5, blue in 4-0.
const unsigned kRedShift = 11;
const unsigned kGreenShift = 5;
const unsigned kRedMax = 31;
const unsigned kGreenMax = 63;
const unsigned kBlueMax = 31;

static inline unsigned RedOf(uint16_t p) { return p >> kRedShift; }
static inline unsigned GreenOf(uint16_t p) { return (p >> kGreenShift) & kGreenMax; }
static inline unsigned BlueOf(uint16_t p) { return p & kBlueMax; }
static inline uint16_t PackRgb(unsigned r, unsigned g, unsigned b) {
  return (uint16_t)((r << kRedShift) | (g << kGreenShift) | b);
}

// Row y of an image whose rows lie pitchBytes apart.
static inline const uint16_t* RowOf(const uint16_t* image, size_t pitchBytes, size_t y) {
  return (const uint16_t*)((const uint8_t*)image + y * pitchBytes);
}
static inline uint16_t* RowOf(uint16_t* image, size_t pitchBytes, size_t y) {
  return (uint16_t*)((uint8_t*)image + y * pitchBytes);
}

// v rounded up to a multiple of a (laying out working memory).
static inline size_t AlignUp(size_t v, size_t a) { return (v + a - 1) / a * a; }

// Index i clamped to [0, n - 1]: pixels beyond the edge repeat the edge pixel.
static inline unsigned ClampIndex(long i, unsigned n) {
  if (i < 0) return 0;
  if (i >= (long)n) return n - 1;
  return (unsigned)i;
}

// Every kernel has this shape: it reads srcWidth x srcHeight pixels at src (rows
// srcPitchBytes apart) and writes exactly (s * srcWidth) x (s * srcHeight) pixels at
// dst (rows dstPitchBytes apart), s being the kernel's scale. Kernels that need working
// memory get it through `work` (at least their *WorkBytes(w, h) bytes, any alignment);
// the others ignore it. A kernel reads nothing outside the source rectangle, and
// neither reads the destination nor writes outside its destination rectangle.
typedef void (*FilterFn)(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                         unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work);

// Working memory a kernel needs for a source of the given size (0: none).
typedef size_t (*WorkBytesFn)(unsigned srcWidth, unsigned srcHeight);

// One bundled filter: what the plugins and the native tests and benchmarks know of it.
struct FilterInfo {
  const char* displayName;  // the plugin's menu name
  const char* fileName;     // the plugin's file name without ".rpi"
  unsigned scale;           // 2, 3 or 4
  WorkBytesFn workBytes;    // working memory for a source size; null when none
  FilterFn scalar;          // plain C++ version
  FilterFn fast;            // SSE2 version where there is one, else the scalar one
  bool hasSse2;             // fast is an SSE2 kernel
  FilterFn avx2 = nullptr;  // AVX2 version (null when none); run only where CpuHasAvx2()
};

// Adapter giving a kernel without working memory the common signature.
template <void (*Kernel)(const uint16_t*, size_t, unsigned, unsigned, uint16_t*, size_t)>
void WithoutWork(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void*) {
  Kernel(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes);
}

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define FILTERS_HAVE_SSE2 1
#else
#define FILTERS_HAVE_SSE2 0
#endif
