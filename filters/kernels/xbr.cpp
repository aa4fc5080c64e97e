// xBR level 2, 2x/3x/4x, as FFmpeg's xbr filter computes it.
//
// Naming, for the bottom-right corner of the source pixel E (x to the right, y down):
//
//        A  B  C
//        D  E  F  F4
//        G  H  I  I4
//           H5 I5
//
// The corner between E, F, H and I is examined when E differs from both F and H. The
// colour differences d (|dY| + |dU| + |dV| over 8-bit YUV) across and along the
// diagonal F-H are weighed:
//   e = d(E,C) + d(E,G) + d(I,H5) + d(I,F4) + 4 d(H,F)
//   i = d(H,D) + d(H,I5) + d(F,I4) + d(F,B) + 4 d(E,I)
// With e <= i an edge runs along F-H, and the corner takes some of the new colour px,
// F or H, whichever is nearer E (F on a tie). With e == i, or when the edge is not
// confirmed (the confirmation differs at 3x, see EdgeConfirmed), only the corner
// sub-pixel is blended halfway. A confirmed edge is shallow ("left": 2 d(F,G) <=
// d(H,C), with G unlike E and D) or steep ("up": d(F,G) >= 2 d(H,C), with C unlike E
// and B), both, or neither (a 45-degree edge); each kind blends its own set of the
// corner's sub-pixels (CornerRule below). "Alike" means d below kXbrAlikeBelow;
// "unlike" in the shallow and steep tests is exact inequality of the pixels.
//
// The four corners are examined in turn, bottom-right, top-right, top-left and
// bottom-left, each by the same rule turned a quarter turn, and each blends the
// sub-pixels as the corners before it left them; some cases copy an already blended
// sub-pixel to another. Blends are on 8-bit channels with the reference's packed
// arithmetic and truncation (XbrBlend, XbrHalf); the finished block is rounded to
// R5G6B5.
//
// The frame is prepared once: a copy with a border of two repeated edge pixels, and
// its 8-bit RGB and YUV planes, so that every pixel and every YUV of the rule is one
// load.
#include "xbr.h"

#include <string.h>

#include "lanes.h"
#include "padded.h"
#include "rgb8.h"
#include "simd.h"
#include "xbr_vector.h"

const unsigned kXbrAlikeBelow = 155;

const unsigned kMaxCells = 16;

// One corner resolved for a frame: where each named pixel lies (in entries of the
// bordered planes, from E) and where each sub-pixel of the corner's own layout (the
// bottom-right one, row by row) lies in the output block.
struct XbrCorner {
  ptrdiff_t at[kNames];
  uint8_t cell[kMaxCells];
};

struct XbrFrame {
  ptrdiff_t pitch;      // entries between rows of the planes
  const uint16_t* pixels;  // source pixel (0, 0) in the bordered copy
  const uint32_t* rgb;     // ... in the 8-bit RGB plane
  const uint32_t* yuv;     // ... in the YUV plane
  XbrCorner corner[kCorners];
};

#if FILTERS_HAVE_SSE2
static size_t XbrVectorWorkBytes(unsigned width, unsigned height);
#endif

// Enough for the scalar version's planes and, where it exists, the SSE2 version's.
size_t XbrWorkBytes(unsigned srcWidth, unsigned srcHeight) {
  size_t count = PaddedPixelCount(srcWidth, srcHeight, kXbrBorder);
  const size_t kAlign = 16;
  size_t bytes = kAlign + AlignUp(count * sizeof(uint32_t), kAlign) * 2 + count * sizeof(uint16_t);
#if FILTERS_HAVE_SSE2
  size_t vectorBytes = XbrVectorWorkBytes(srcWidth, srcHeight);
  if (vectorBytes > bytes) bytes = vectorBytes;
#endif
  return bytes;
}

unsigned XbrDistance(uint16_t a, uint16_t b) {
  const uint32_t* yuv = Yuv565Table();
  return YuvDistance(yuv[a], yuv[b]);
}

// Prepares the bordered planes in the working memory.
static XbrFrame PrepareXbr(const uint16_t* src, size_t srcPitchBytes, unsigned width,
                           unsigned height, unsigned scale, void* work) {
  const size_t kAlign = 16;
  size_t count = PaddedPixelCount(width, height, kXbrBorder);
  uint8_t* base = (uint8_t*)AlignUp((size_t)(uintptr_t)work, kAlign);
  uint32_t* rgb = (uint32_t*)base;
  uint32_t* yuv = (uint32_t*)(base + AlignUp(count * sizeof(uint32_t), kAlign));
  uint16_t* pixels = (uint16_t*)(base + 2 * AlignUp(count * sizeof(uint32_t), kAlign));
  const uint16_t* origin = CopyWithBorder(src, srcPitchBytes, width, height, kXbrBorder, pixels);
  const uint32_t* table = Yuv565Table();
  for (size_t k = 0; k < count; ++k) {
    rgb[k] = Expand565(pixels[k]);
    yuv[k] = table[pixels[k]];
  }

  XbrFrame f;
  f.pitch = (ptrdiff_t)PaddedPitch(width, kXbrBorder);
  size_t originIndex = (size_t)(origin - pixels);
  f.pixels = origin;
  f.rgb = rgb + originIndex;
  f.yuv = yuv + originIndex;
  for (unsigned k = 0; k < kCorners; ++k) {
    const int* axes = kCornerAxes[k];
    for (unsigned n = 0; n < kNames; ++n) {
      int dx = kNameSteps[n][0] * axes[0] + kNameSteps[n][1] * axes[2];
      int dy = kNameSteps[n][0] * axes[1] + kNameSteps[n][1] * axes[3];
      f.corner[k].at[n] = dx + dy * f.pitch;
    }
    // A sub-pixel's centre, relative to the block's centre and doubled to stay whole,
    // turned like the corner.
    for (unsigned cy = 0; cy < scale; ++cy) {
      for (unsigned cx = 0; cx < scale; ++cx) {
        int u = 2 * (int)cx - (int)(scale - 1), v = 2 * (int)cy - (int)(scale - 1);
        int x = (u * axes[0] + v * axes[2] + (int)(scale - 1)) / 2;
        int y = (u * axes[1] + v * axes[3] + (int)(scale - 1)) / 2;
        f.corner[k].cell[cy * scale + cx] = (uint8_t)(y * (int)scale + x);
      }
    }
  }
  return f;
}

// The confirmation of an edge along F-H. At 2x and 4x: F unlike B and H unlike D; or E
// like I with F unlike I4 and H unlike I5; or E like G; or E like C. At 3x the first
// two are stricter in one way and looser in another: F unlike both B and C, or H
// unlike both D and G; or E like I with F unlike both F4 and I4, or H unlike both H5
// and I5.
template <unsigned N, typename Alike>
static inline bool EdgeConfirmed(const Alike& alike) {
  if (N == 3) {
    return (!alike(kF, kB) && !alike(kF, kC)) || (!alike(kH, kD) && !alike(kH, kG)) ||
           (alike(kE, kI) && ((!alike(kF, kF4) && !alike(kF, kI4)) || (!alike(kH, kH5) && !alike(kH, kI5)))) ||
           alike(kE, kG) || alike(kE, kC);
  }
  return (!alike(kF, kB) && !alike(kH, kD)) || (alike(kE, kI) && !alike(kF, kI4) && !alike(kH, kI5)) ||
         alike(kE, kG) || alike(kE, kC);
}

// The colour distance of two packed YUV values, computed plainly (the scalar version).
struct PlainDistance {
  unsigned operator()(uint32_t a, uint32_t b) const { return YuvDistance(a, b); }
};

// One corner of the pixel at `at` (index into the planes); block holds the N x N
// sub-pixels (8-bit RGB, row by row) as the earlier corners left them. Dist computes
// the distance of two packed YUV values.
template <unsigned N, typename Dist>
static inline void CornerRule(const XbrFrame& f, size_t at, const XbrCorner& k, uint32_t* block) {
  const uint32_t* rgb = f.rgb + at;
  const uint32_t* yuv = f.yuv + at;
  auto pixel = [&](XbrName n) { return rgb[k.at[n]]; };
  uint32_t E = rgb[0], F = pixel(kF), H = pixel(kH);
  if (E == F || E == H) return;
  auto d = [&](XbrName a, XbrName b) { return Dist()(yuv[k.at[a]], yuv[k.at[b]]); };
  auto alike = [&](XbrName a, XbrName b) { return d(a, b) < kXbrAlikeBelow; };
  unsigned e = d(kE, kC) + d(kE, kG) + d(kI, kH5) + d(kI, kF4) + 4 * d(kH, kF);
  unsigned i = d(kH, kD) + d(kH, kI5) + d(kF, kI4) + d(kF, kB) + 4 * d(kE, kI);
  if (e > i) return;
  uint32_t px = d(kE, kF) <= d(kE, kH) ? F : H;
  // Sub-pixel (cx, cy) of the corner's layout, and the same by its number cy * N + cx.
  auto at2 = [&](unsigned cx, unsigned cy) -> uint32_t& { return block[k.cell[cy * N + cx]]; };
  auto c = [&](unsigned n) -> uint32_t& { return at2(n % N, n / N); };
  uint32_t& corner = c(N * N - 1);
  if (e == i || !EdgeConfirmed<N>(alike)) {
    corner = XbrHalf(corner, px);
    return;
  }
  unsigned ke = d(kF, kG), ki = d(kH, kC);
  uint32_t G = pixel(kG), C = pixel(kC);
  bool shallow = 2 * ke <= ki && E != G && pixel(kD) != G;
  bool steep = ke >= 2 * ki && E != C && pixel(kB) != C;
  auto blend = [&](unsigned n, unsigned m, unsigned s) { c(n) = XbrBlend(c(n), px, m, s); };
  if (N == 2) {  // sub-pixels 0 1 / 2 3
    if (shallow && steep) {
      blend(3, 7, 3), blend(2, 1, 2);
      c(1) = c(2);
    } else if (shallow) {
      blend(3, 3, 2), blend(2, 1, 2);
    } else if (steep) {
      blend(3, 3, 2), blend(1, 1, 2);
    } else {
      corner = XbrHalf(corner, px);
    }
  } else if (N == 3) {  // 0 1 2 / 3 4 5 / 6 7 8
    if (shallow && steep) {
      blend(7, 3, 2), blend(6, 1, 2);
      c(5) = c(7), c(2) = c(6), c(8) = px;
    } else if (shallow) {
      blend(7, 3, 2), blend(5, 1, 2), blend(6, 1, 2);
      c(8) = px;
    } else if (steep) {
      blend(5, 3, 2), blend(7, 1, 2), blend(2, 1, 2);
      c(8) = px;
    } else {
      blend(8, 7, 3), blend(5, 1, 3), blend(7, 1, 3);
    }
  } else {  // 0 1 2 3 / 4 5 6 7 / 8 9 10 11 / 12 13 14 15
    if (shallow && steep) {
      blend(13, 3, 2), blend(12, 1, 2);
      c(15) = c(14) = c(11) = px;
      c(10) = c(3) = c(12);
      c(7) = c(13);
    } else if (shallow) {
      blend(11, 3, 2), blend(13, 3, 2), blend(10, 1, 2), blend(12, 1, 2);
      c(14) = c(15) = px;
    } else if (steep) {
      blend(14, 3, 2), blend(7, 3, 2), blend(10, 1, 2), blend(3, 1, 2);
      c(11) = c(15) = px;
    } else {
      c(11) = XbrHalf(c(11), px), c(14) = XbrHalf(c(14), px);
      c(15) = px;
    }
  }
}

// The N x N block of source pixel `at`, written at out (rows dstPitchBytes apart).
template <unsigned N, typename Dist = PlainDistance>
static inline void XbrPixel(const XbrFrame& f, size_t at, uint16_t* out, size_t dstPitchBytes) {
  uint32_t block[N * N];
  for (unsigned n = 0; n < N * N; ++n) block[n] = f.rgb[at];
  for (unsigned k = 0; k < kCorners; ++k) CornerRule<N, Dist>(f, at, f.corner[k], block);
  for (unsigned cy = 0; cy < N; ++cy) {
    uint16_t* row = RowOf(out, dstPitchBytes, cy);
    for (unsigned cx = 0; cx < N; ++cx) row[cx] = Quantise565(block[cy * N + cx]);
  }
}

template <unsigned N>
static void XbrScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                      unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  if (srcWidth == 0 || srcHeight == 0) return;
  XbrFrame f = PrepareXbr(src, srcPitchBytes, srcWidth, srcHeight, N, work);
  for (unsigned y = 0; y < srcHeight; ++y) {
    uint16_t* out = RowOf(dst, dstPitchBytes, (size_t)N * y);
    for (unsigned x = 0; x < srcWidth; ++x) XbrPixel<N>(f, (size_t)y * f.pitch + x, out + N * x, dstPitchBytes);
  }
}

void Xbr2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
                 uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrScalar<2>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}
void Xbr3xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
                 uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrScalar<3>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}
void Xbr4xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
                 uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrScalar<4>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}

#if FILTERS_HAVE_SSE2

// The SSE2 version: the working frame, its distances, and the step code of xbr_vector.h
// over 8 lanes.

// Sizes of the vector version's working memory for a source of width x height.
struct XbrVectorLayout {
  size_t pitch;           // entries between rows of the pixel copy and the YUV planes
  size_t distanceLength;  // entries of one distance row
  size_t pixelBytes, yuvPlaneBytes, ringBytes;
};

static XbrVectorLayout XbrVectorLayoutOf(unsigned width, unsigned height) {
  const size_t kAlign = 16;
  XbrVectorLayout l;
  // Steps of 8 cover AlignUp(width, 8) columns; the rule reads 2 beyond each side.
  size_t stepped = AlignUp(width, kLanes);
  l.distanceLength = AlignUp(stepped + 2 * kXbrBorder, kXbrDistanceStep);
  // The distance rows read partners up to 2 columns beyond their last anchor.
  l.pitch = l.distanceLength + kXbrDistanceStep;
  l.pixelBytes = AlignUp(l.pitch * ((size_t)height + 2 * kXbrBorder) * sizeof(uint16_t), kAlign);
  l.yuvPlaneBytes = AlignUp(l.pitch * ((size_t)height + 2 * kXbrYuvBorder), kAlign);
  l.ringBytes = kXbrRingRows * kXbrDirections * l.distanceLength * sizeof(uint16_t);
  return l;
}

static size_t XbrVectorWorkBytes(unsigned width, unsigned height) {
  XbrVectorLayout l = XbrVectorLayoutOf(width, height);
  return 16 + l.pixelBytes + 3 * l.yuvPlaneBytes + l.ringBytes;
}

// Prepares the bordered copy (every row padded to the pitch with the edge pixel) and
// its Y, U and V planes (their extra rows above and below repeat the copy's first and
// last rows; they are read only for distances that no corner uses).
XbrVectorFrame PrepareXbrVector(const uint16_t* src, size_t srcPitchBytes, unsigned width,
                                unsigned height, void* work) {
  XbrVectorLayout l = XbrVectorLayoutOf(width, height);
  uint8_t* base = (uint8_t*)AlignUp((size_t)(uintptr_t)work, 16);
  uint16_t* pixels = (uint16_t*)base;
  uint8_t* planes = base + l.pixelBytes;
  XbrVectorFrame f;
  f.pitch = (ptrdiff_t)l.pitch;
  f.distanceLength = l.distanceLength;
  f.ring = (uint16_t*)(planes + 3 * l.yuvPlaneBytes);
  const ptrdiff_t border = kXbrBorder, rows = (ptrdiff_t)height + 2 * border;
  for (ptrdiff_t r = 0; r < rows; ++r) {
    const uint16_t* in = RowOf(src, srcPitchBytes, ClampIndex((long)(r - border), height));
    uint16_t* row = pixels + r * f.pitch;
    for (ptrdiff_t c = 0; c < border; ++c) row[c] = in[0];
    memcpy(row + border, in, (size_t)width * sizeof(uint16_t));
    for (ptrdiff_t c = border + width; c < f.pitch; ++c) row[c] = in[width - 1];
  }
  f.pixels = pixels + border * f.pitch + border;

  const ptrdiff_t extra = kXbrYuvBorder - kXbrBorder;  // rows of a plane above the copy's first
  for (unsigned p = 0; p < 3; ++p) {
    uint8_t* plane = planes + p * l.yuvPlaneBytes;
    f.yuv[p] = plane + (ptrdiff_t)kXbrYuvBorder * f.pitch + border;
  }
  for (ptrdiff_t r = 0; r < rows; ++r) {
    const uint16_t* in = pixels + r * f.pitch;
    uint8_t* y = planes + (r + extra) * f.pitch;
    uint8_t* u = y + l.yuvPlaneBytes;
    uint8_t* v = u + l.yuvPlaneBytes;
    Yuv565Planes(in, (size_t)f.pitch, y, u, v);
  }
  for (unsigned p = 0; p < 3; ++p) {
    uint8_t* plane = planes + p * l.yuvPlaneBytes;
    for (ptrdiff_t r = 0; r < extra; ++r) {
      memcpy(plane + r * f.pitch, plane + extra * f.pitch, l.pitch);
      memcpy(plane + (extra + rows + r) * f.pitch, plane + (extra + rows - 1) * f.pitch, l.pitch);
    }
  }
  return f;
}

// |a - b| of unsigned bytes.
static inline Vec AbsDiffBytes(Vec a, Vec b) {
  return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
}

// Fills the ring's rows for anchor row r: the distance of every anchor (from column -2
// on) to its partner in each direction, 16 anchors at a time.
void XbrComputeDistances(const XbrVectorFrame& f, ptrdiff_t r) {
  const uint8_t* y = f.yuv[0] + r * f.pitch;
  const uint8_t* u = f.yuv[1] + r * f.pitch;
  const uint8_t* v = f.yuv[2] + r * f.pitch;
  uint16_t* out[kXbrDirections];
  ptrdiff_t partner[kXbrDirections];
  for (unsigned k = 0; k < kXbrDirections; ++k) {
    out[k] = XbrDistanceRow(f, k, r);
    partner[k] = kXbrDirectionSteps[k][0] + kXbrDirectionSteps[k][1] * f.pitch;
  }
  const Vec zero = _mm_setzero_si128();
  const ptrdiff_t first = -(ptrdiff_t)kXbrBorder, end = first + (ptrdiff_t)f.distanceLength;
  for (ptrdiff_t x = first; x < end; x += kXbrDistanceStep) {
    Vec ay = _mm_loadu_si128((const Vec*)(y + x));
    Vec au = _mm_loadu_si128((const Vec*)(u + x));
    Vec av = _mm_loadu_si128((const Vec*)(v + x));
    for (unsigned k = 0; k < kXbrDirections; ++k) {
      ptrdiff_t at = x + partner[k];
      Vec dy = AbsDiffBytes(ay, _mm_loadu_si128((const Vec*)(y + at)));
      Vec du = AbsDiffBytes(au, _mm_loadu_si128((const Vec*)(u + at)));
      Vec dv = AbsDiffBytes(av, _mm_loadu_si128((const Vec*)(v + at)));
      Vec lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(dy, zero), _mm_unpacklo_epi8(du, zero)),
                             _mm_unpacklo_epi8(dv, zero));
      Vec hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(dy, zero), _mm_unpackhi_epi8(du, zero)),
                             _mm_unpackhi_epi8(dv, zero));
      StorePixels(out[k] + x, lo);
      StorePixels(out[k] + x + kLanes, hi);
    }
  }
}

template <unsigned N>
static void XbrSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                    unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  if (srcWidth == 0 || srcHeight == 0) return;
  XbrVectorFrame f = PrepareXbrVector(src, srcPitchBytes, srcWidth, srcHeight, work);
  XbrVectorFilter<Sse2Lanes, N>(f, srcWidth, srcHeight, dst, dstPitchBytes);
}

void Xbr2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
               uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrSse2<2>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}
void Xbr3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
               uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrSse2<3>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}
void Xbr4xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
               uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrSse2<4>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}

const FilterInfo kXbr2x = {"xBR 2x", "xbr2x", 2, XbrWorkBytes, Xbr2xScalar, Xbr2xSse2, true};
const FilterInfo kXbr3x = {"xBR 3x", "xbr3x", 3, XbrWorkBytes, Xbr3xScalar, Xbr3xSse2, true};
const FilterInfo kXbr4x = {"xBR 4x", "xbr4x", 4, XbrWorkBytes, Xbr4xScalar, Xbr4xSse2, true};
#else
const FilterInfo kXbr2x = {"xBR 2x", "xbr2x", 2, XbrWorkBytes, Xbr2xScalar, Xbr2xScalar, false};
const FilterInfo kXbr3x = {"xBR 3x", "xbr3x", 3, XbrWorkBytes, Xbr3xScalar, Xbr3xScalar, false};
const FilterInfo kXbr4x = {"xBR 4x", "xbr4x", 4, XbrWorkBytes, Xbr4xScalar, Xbr4xScalar, false};
#endif
