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

#include <type_traits>

#include "padded.h"
#include "rgb8.h"
#include "simd.h"

const unsigned kXbrAlikeBelow = 155;

const unsigned kXbrBorder = 2;  // the rule looks two pixels away
const unsigned kCorners = 4;
const unsigned kMaxCells = 16;

// Pixels the rule reads, named for the bottom-right corner; (u, v) steps along the
// corner's F and H directions.
enum XbrName { kE, kF, kH, kI, kB, kD, kC, kG, kF4, kI4, kH5, kI5, kNames };
constexpr int kNameSteps[kNames][2] = {{0, 0}, {1, 0}, {0, 1},  {1, 1},  {0, -1}, {-1, 0},
                                   {1, -1}, {-1, 1}, {2, 0}, {2, 1}, {0, 2},  {1, 2}};

// The corners' F and H directions (x, y of each), in the order they are examined:
// bottom-right, top-right, top-left, bottom-left. Each is the one before turned a
// quarter turn.
constexpr int kCornerAxes[kCorners][4] = {{1, 0, 0, 1}, {0, -1, 1, 0}, {-1, 0, 0, -1}, {0, 1, -1, 0}};

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

static size_t AlignUp(size_t v, size_t a) { return (v + a - 1) / a * a; }

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

// The SSE2 version: 8 source pixels per step, one per 16-bit lane, through the same rule.
//
// Distances. Every colour distance the rule weighs joins two pixels that are at most a
// knight's move apart, in one of eight directions (below). For each direction, the
// distances from every pixel of a row (the anchor) to its partner are computed once, 16
// at a time from 8-bit Y, U and V planes, into a ring of rows that holds the five
// anchor rows around the current source row; a corner then loads any distance it needs
// as a vector of 8. Computing them per pixel and corner would take about five times as
// many.
//
// Cases. Each corner decides its case per lane with masks: no rule, half blend,
// 45-degree edge, shallow, steep, or both.
//
// Blends. The sub-pixels are kept as 8-bit channels in 16-bit lanes. Every move the
// rule makes towards the new colour px is a + floor((px - a) m / 2^s) with s <= 3, that
// is a + floor((px - a) w / 8) with w = m 2^(3 - s): 1/4 is w = 2, 3/4 is 6, 7/8 is 7,
// 1/8 is 1, taking px itself is 8, and no change is 0. So each touched sub-pixel gets
// one per-lane weight from the lane's case, and one multiply moves all 8 lanes. The
// half blend (each channel halved, dropping its low bit, then added) is the w = 4 move
// less 1 where both channels are odd. Where the rule copies a sub-pixel it has just
// blended to another, the other is blended from the first one's old value instead,
// which gives the same. The finished block is rounded to R5G6B5 with multiplies that
// equal Quantise565 exactly for every 8-bit value.
//
// Columns beyond the image: the last step of a row may reach up to 7 pixels past the
// right edge. The working copy and planes are wide enough for that (the extra columns
// repeat the edge pixel) and that step's blocks go through a small buffer, of which
// only the image's part is copied out.

// The four corners are forced inline into the 8-pixel step (GCC left them as calls,
// which kept the block in memory between corners: 20% slower at 2x).
#if defined(__GNUC__)
#define XBR_FORCE_INLINE inline __attribute__((always_inline))
#else
#define XBR_FORCE_INLINE inline
#endif

// The directions of the distance planes (x, y): right, down, the two diagonals and the
// four knight moves. A pair of pixels is stored at the one of the two from which the
// other lies in one of these directions.
const unsigned kXbrDirections = 8;
constexpr int kXbrDirectionSteps[kXbrDirections][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1},
                                                       {2, 1}, {1, 2}, {2, -1}, {1, -2}};
const unsigned kXbrRingRows = 8;     // rows of the distance ring: a power of two >= 5
const unsigned kXbrRowsAround = 5;   // anchor rows a source row reads: y - 2 to y + 2
const unsigned kXbrYuvBorder = 4;    // rows of the YUV planes above and below the image
const unsigned kXbrDistanceStep = 16;  // anchors per step of the distance rows

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

struct XbrVectorFrame {
  ptrdiff_t pitch;
  size_t distanceLength;
  const uint16_t* pixels;  // source pixel (0, 0) in the bordered copy
  const uint8_t* yuv[3];   // ... in the Y, U and V planes
  uint16_t* ring;          // the distance rows
};

// The distance row of direction k for anchors in source row r, at anchor column 0
// (the row starts at column -2).
static inline uint16_t* XbrDistanceRow(const XbrVectorFrame& f, unsigned k, ptrdiff_t r) {
  size_t slot = (size_t)r & (kXbrRingRows - 1);
  return f.ring + (slot * kXbrDirections + k) * f.distanceLength + kXbrBorder;
}

// The 8-bit channels of R5G6B5 pixels, as Expand565.
static inline void XbrExpand(Vec p, Vec ch[3]) {
  Vec r = _mm_srli_epi16(p, kRedShift);
  Vec g = _mm_and_si128(_mm_srli_epi16(p, kGreenShift), _mm_set1_epi16((short)kGreenMax));
  Vec b = _mm_and_si128(p, _mm_set1_epi16((short)kBlueMax));
  ch[0] = _mm_or_si128(_mm_slli_epi16(r, 3), _mm_srli_epi16(r, 2));
  ch[1] = _mm_or_si128(_mm_slli_epi16(g, 2), _mm_srli_epi16(g, 4));
  ch[2] = _mm_or_si128(_mm_slli_epi16(b, 3), _mm_srli_epi16(b, 2));
}

// trunc(n / 1000) of 32-bit lanes |n| <= 2^18, by floats: (n + 0.5 sign(n)) / 1000 lies at
// least 0.0005 from every whole number and the float error of the product stays below
// 0.0001, so truncating it gives the exact quotient.
static inline __m128i XbrDiv1000(__m128i n) {
  __m128 f = _mm_cvtepi32_ps(n);
  __m128 half = _mm_or_ps(_mm_and_ps(f, _mm_set1_ps(-0.0f)), _mm_set1_ps(0.5f));
  return _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(f, half), _mm_set1_ps(0.001f)));
}

// Y, U and V of 8 R5G6B5 pixels, as Yuv8Of(Expand565(p)), stored as bytes at y, u, v.
static inline void XbrYuv8(Vec p, uint8_t* y, uint8_t* u, uint8_t* v) {
  Vec ch[3];
  XbrExpand(p, ch);
  const Vec zero = _mm_setzero_si128();
  Vec rg = _mm_sub_epi16(ch[0], ch[1]), bg = _mm_sub_epi16(ch[2], ch[1]);
  // Pairs for _mm_madd_epi16: (R, G) and (B, 0) for Y, (B - G, R - G) for U and V.
  Vec rgLo = _mm_unpacklo_epi16(ch[0], ch[1]), rgHi = _mm_unpackhi_epi16(ch[0], ch[1]);
  Vec bLo = _mm_unpacklo_epi16(ch[2], zero), bHi = _mm_unpackhi_epi16(ch[2], zero);
  Vec dLo = _mm_unpacklo_epi16(bg, rg), dHi = _mm_unpackhi_epi16(bg, rg);
  const Vec kYrg = _mm_setr_epi16(299, 587, 299, 587, 299, 587, 299, 587);
  const Vec kYb = _mm_set1_epi32(114);
  const Vec kU = _mm_setr_epi16(500, -169, 500, -169, 500, -169, 500, -169);
  const Vec kV = _mm_setr_epi16(-81, 500, -81, 500, -81, 500, -81, 500);
  Vec yLo = XbrDiv1000(_mm_add_epi32(_mm_madd_epi16(rgLo, kYrg), _mm_madd_epi16(bLo, kYb)));
  Vec yHi = XbrDiv1000(_mm_add_epi32(_mm_madd_epi16(rgHi, kYrg), _mm_madd_epi16(bHi, kYb)));
  Vec uLo = XbrDiv1000(_mm_madd_epi16(dLo, kU)), uHi = XbrDiv1000(_mm_madd_epi16(dHi, kU));
  Vec vLo = XbrDiv1000(_mm_madd_epi16(dLo, kV)), vHi = XbrDiv1000(_mm_madd_epi16(dHi, kV));
  const Vec kMid = _mm_set1_epi16(128);
  Vec y16 = _mm_packs_epi32(yLo, yHi);
  Vec u16 = _mm_add_epi16(_mm_packs_epi32(uLo, uHi), kMid);
  Vec v16 = _mm_add_epi16(_mm_packs_epi32(vLo, vHi), kMid);
  _mm_storel_epi64((Vec*)y, _mm_packus_epi16(y16, y16));
  _mm_storel_epi64((Vec*)u, _mm_packus_epi16(u16, u16));
  _mm_storel_epi64((Vec*)v, _mm_packus_epi16(v16, v16));
}

// Prepares the bordered copy (every row padded to the pitch with the edge pixel) and
// its Y, U and V planes (their extra rows above and below repeat the copy's first and
// last rows; they are read only for distances that no corner uses).
static XbrVectorFrame PrepareXbrVector(const uint16_t* src, size_t srcPitchBytes, unsigned width,
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
    // The pitch is a multiple of the step.
    for (ptrdiff_t c = 0; c < f.pitch; c += kLanes) XbrYuv8(LoadPixels(in + c), y + c, u + c, v + c);
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
static void XbrComputeDistances(const XbrVectorFrame& f, ptrdiff_t r) {
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

// The rows around source row y: the copy's rows y - 2 to y + 2 and the distance rows of
// those anchor rows, each at column 0.
struct XbrRows {
  const uint16_t* pixels[kXbrRowsAround];
  const uint16_t* distances[kXbrDirections][kXbrRowsAround];
};

// Where a named pixel of corner K lies, from E.
struct XbrStep {
  int x, y;
};
constexpr XbrStep XbrPlace(unsigned corner, XbrName n) {
  return {kNameSteps[n][0] * kCornerAxes[corner][0] + kNameSteps[n][1] * kCornerAxes[corner][2],
          kNameSteps[n][0] * kCornerAxes[corner][1] + kNameSteps[n][1] * kCornerAxes[corner][3]};
}

// Where the distance of two named pixels of corner K is kept: its direction and anchor.
struct XbrPairPlace {
  unsigned direction;  // kXbrDirections: the pair has no plane
  int x, y;
};
constexpr XbrPairPlace XbrPairOf(unsigned corner, XbrName a, XbrName b) {
  XbrStep p = XbrPlace(corner, a), q = XbrPlace(corner, b);
  int dx = q.x - p.x, dy = q.y - p.y;
  if (dx < 0 || (dx == 0 && dy < 0)) p = q, dx = -dx, dy = -dy;
  for (unsigned k = 0; k < kXbrDirections; ++k) {
    if (kXbrDirectionSteps[k][0] == dx && kXbrDirectionSteps[k][1] == dy) return {k, p.x, p.y};
  }
  return {kXbrDirections, 0, 0};
}

// Where sub-pixel n of corner K's layout (the bottom-right corner's, row by row) lies in
// the N x N block: the same turn as in PrepareXbr.
constexpr unsigned XbrCellOf(unsigned N, unsigned corner, unsigned n) {
  int u = 2 * (int)(n % N) - (int)(N - 1), v = 2 * (int)(n / N) - (int)(N - 1);
  int x = (u * kCornerAxes[corner][0] + v * kCornerAxes[corner][2] + (int)(N - 1)) / 2;
  int y = (u * kCornerAxes[corner][1] + v * kCornerAxes[corner][3] + (int)(N - 1)) / 2;
  return (unsigned)(y * (int)N + x);
}

template <unsigned K, XbrName A>
static inline Vec XbrLoadPixel(const XbrRows& rows, ptrdiff_t x) {
  constexpr XbrStep s = XbrPlace(K, A);
  return LoadPixels(rows.pixels[s.y + 2] + x + s.x);
}

template <unsigned K, XbrName A, XbrName B>
static inline Vec XbrLoadDistance(const XbrRows& rows, ptrdiff_t x) {
  constexpr XbrPairPlace p = XbrPairOf(K, A, B);
  static_assert(p.direction < kXbrDirections, "every distance of the rule has a plane");
  return LoadPixels(rows.distances[p.direction][p.y + 2] + x + p.x);
}

// An N x N block of 8 pixels: each sub-pixel's red, green and blue (8-bit, in 16-bit
// lanes).
template <unsigned N>
struct XbrCells {
  Vec ch[3][N * N];
};

// R5G6B5 of 8-bit channels, as Quantise565: (c 31 + 127) / 255 equals (c 249 + 1014) >> 11
// and (c 63 + 127) / 255 equals (c 253 + 505) >> 10 for every c from 0 to 255 (checked
// by trying all); neither sum passes 16 bits.
static inline Vec XbrQuantise(const Vec ch[3]) {
  const Vec m5 = _mm_set1_epi16(249), a5 = _mm_set1_epi16(1014);
  Vec r = _mm_add_epi16(_mm_mullo_epi16(ch[0], m5), a5);
  Vec g = _mm_add_epi16(_mm_mullo_epi16(ch[1], _mm_set1_epi16(253)), _mm_set1_epi16(505));
  Vec b = _mm_add_epi16(_mm_mullo_epi16(ch[2], m5), a5);
  r = _mm_and_si128(r, _mm_set1_epi16((short)(kRedMax << kRedShift)));
  g = _mm_and_si128(_mm_srli_epi16(g, 10 - kGreenShift), _mm_set1_epi16((short)(kGreenMax << kGreenShift)));
  return _mm_or_si128(_mm_or_si128(r, g), _mm_srli_epi16(b, 11));
}

// The case of one corner for 8 lanes: the new colour's channels and the lanes of each
// case (disjoint masks; lanes in none keep their sub-pixels).
struct XbrCase {
  Vec px[3];
  Vec half;     // the corner sub-pixel blended halfway (e == i, or the edge unconfirmed)
  Vec both;     // a confirmed edge both shallow and steep
  Vec shallow;  // ... shallow only
  Vec steep;    // ... steep only
  Vec diag;     // ... neither: a 45-degree edge
};

// mask ? w : 0, lane by lane.
static inline Vec XbrWeight(Vec mask, short w) { return _mm_and_si128(mask, _mm_set1_epi16(w)); }

// Moves sub-pixel `to` of the block towards px by w / 8 per lane, channel by channel,
// rounded down. With kTake it starts from sub-pixel `from` (its value before this
// corner) in the lanes of `take`; with kHalf it takes a further 1 off where halfOne has
// 1 and both channels are odd (a w = 4 move so becomes XbrHalf).
template <bool kTake, bool kHalf, unsigned N>
static inline void XbrMove(XbrCells<N>& c, unsigned to, unsigned from, Vec take, Vec w, Vec halfOne,
                           const Vec px[3]) {
  for (unsigned k = 0; k < 3; ++k) {
    Vec a = c.ch[k][to];
    if (kTake) a = Select(take, c.ch[k][from], a);
    Vec moved = _mm_add_epi16(a, _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(px[k], a), w), 3));
    if (kHalf) moved = _mm_sub_epi16(moved, _mm_and_si128(_mm_and_si128(a, px[k]), halfOne));
    c.ch[k][to] = moved;
  }
}

// The blends of each case, per scale, in the corner's layout (see CornerRule). Sub-pixels
// that take another's value are moved first, while that one still has its old value.
template <unsigned K>
static inline void XbrApply(const XbrCase& s, XbrCells<2>& c) {
  const unsigned c1 = XbrCellOf(2, K, 1), c2 = XbrCellOf(2, K, 2), c3 = XbrCellOf(2, K, 3);
  const Vec one = _mm_set1_epi16(1), none = _mm_setzero_si128();
  Vec halfway = _mm_or_si128(s.half, s.diag);
  XbrMove<true, false>(c, c1, c2, s.both, XbrWeight(_mm_or_si128(s.both, s.steep), 2), none, s.px);
  XbrMove<false, false>(c, c2, c2, none, XbrWeight(_mm_or_si128(s.both, s.shallow), 2), none, s.px);
  Vec w3 = _mm_or_si128(_mm_or_si128(XbrWeight(s.both, 7), XbrWeight(_mm_or_si128(s.shallow, s.steep), 6)),
                        XbrWeight(halfway, 4));
  XbrMove<false, true>(c, c3, c3, none, w3, _mm_and_si128(halfway, one), s.px);
}

template <unsigned K>
static inline void XbrApply(const XbrCase& s, XbrCells<3>& c) {
  const unsigned c2 = XbrCellOf(3, K, 2), c5 = XbrCellOf(3, K, 5), c6 = XbrCellOf(3, K, 6);
  const unsigned c7 = XbrCellOf(3, K, 7), c8 = XbrCellOf(3, K, 8);
  const Vec one = _mm_set1_epi16(1), none = _mm_setzero_si128();
  Vec bothSteep = _mm_or_si128(s.both, s.steep), bothShallow = _mm_or_si128(s.both, s.shallow);
  Vec w5 = _mm_or_si128(_mm_or_si128(XbrWeight(bothSteep, 6), XbrWeight(s.shallow, 2)), XbrWeight(s.diag, 1));
  XbrMove<true, false>(c, c5, c7, s.both, w5, none, s.px);
  XbrMove<true, false>(c, c2, c6, s.both, XbrWeight(bothSteep, 2), none, s.px);
  Vec w7 = _mm_or_si128(_mm_or_si128(XbrWeight(bothShallow, 6), XbrWeight(s.steep, 2)), XbrWeight(s.diag, 1));
  XbrMove<false, false>(c, c7, c7, none, w7, none, s.px);
  XbrMove<false, false>(c, c6, c6, none, XbrWeight(bothShallow, 2), none, s.px);
  Vec w8 = _mm_or_si128(_mm_or_si128(XbrWeight(_mm_or_si128(bothShallow, s.steep), 8), XbrWeight(s.diag, 7)),
                        XbrWeight(s.half, 4));
  XbrMove<false, true>(c, c8, c8, none, w8, _mm_and_si128(s.half, one), s.px);
}

template <unsigned K>
static inline void XbrApply(const XbrCase& s, XbrCells<4>& c) {
  const unsigned c3 = XbrCellOf(4, K, 3), c7 = XbrCellOf(4, K, 7), c10 = XbrCellOf(4, K, 10);
  const unsigned c11 = XbrCellOf(4, K, 11), c12 = XbrCellOf(4, K, 12), c13 = XbrCellOf(4, K, 13);
  const unsigned c14 = XbrCellOf(4, K, 14), c15 = XbrCellOf(4, K, 15);
  const Vec one = _mm_set1_epi16(1), none = _mm_setzero_si128();
  Vec bothSteep = _mm_or_si128(s.both, s.steep), bothShallow = _mm_or_si128(s.both, s.shallow);
  Vec edge = _mm_or_si128(bothShallow, s.steep);
  Vec diagOne = _mm_and_si128(s.diag, one);
  XbrMove<true, false>(c, c10, c12, s.both, XbrWeight(edge, 2), none, s.px);
  XbrMove<true, false>(c, c3, c12, s.both, XbrWeight(bothSteep, 2), none, s.px);
  XbrMove<true, false>(c, c7, c13, s.both, XbrWeight(bothSteep, 6), none, s.px);
  XbrMove<false, false>(c, c12, c12, none, XbrWeight(bothShallow, 2), none, s.px);
  XbrMove<false, false>(c, c13, c13, none, XbrWeight(bothShallow, 6), none, s.px);
  Vec w14 = _mm_or_si128(_mm_or_si128(XbrWeight(bothShallow, 8), XbrWeight(s.steep, 6)), XbrWeight(s.diag, 4));
  XbrMove<false, true>(c, c14, c14, none, w14, diagOne, s.px);
  Vec w11 = _mm_or_si128(_mm_or_si128(XbrWeight(bothSteep, 8), XbrWeight(s.shallow, 6)), XbrWeight(s.diag, 4));
  XbrMove<false, true>(c, c11, c11, none, w11, diagOne, s.px);
  Vec w15 = _mm_or_si128(XbrWeight(_mm_or_si128(edge, s.diag), 8), XbrWeight(s.half, 4));
  XbrMove<false, true>(c, c15, c15, none, w15, _mm_and_si128(s.half, one), s.px);
}

// Corner K of 8 pixels E at column x: decides each lane's case as CornerRule does and
// blends the block.
template <unsigned N, unsigned K>
static XBR_FORCE_INLINE void XbrCornerVector(const XbrRows& rows, ptrdiff_t x, Vec E, XbrCells<N>& cells) {
  auto pixel = [&](auto name) { return XbrLoadPixel<K, decltype(name)::value>(rows, x); };
  auto d = [&](auto a, auto b) { return XbrLoadDistance<K, decltype(a)::value, decltype(b)::value>(rows, x); };
  typedef std::integral_constant<XbrName, kE> nE;
  typedef std::integral_constant<XbrName, kF> nF;
  typedef std::integral_constant<XbrName, kH> nH;
  typedef std::integral_constant<XbrName, kI> nI;
  typedef std::integral_constant<XbrName, kB> nB;
  typedef std::integral_constant<XbrName, kD> nD;
  typedef std::integral_constant<XbrName, kC> nC;
  typedef std::integral_constant<XbrName, kG> nG;
  typedef std::integral_constant<XbrName, kF4> nF4;
  typedef std::integral_constant<XbrName, kI4> nI4;
  typedef std::integral_constant<XbrName, kH5> nH5;
  typedef std::integral_constant<XbrName, kI5> nI5;

  Vec F = pixel(nF()), H = pixel(nH());
  Vec gate = Not(_mm_or_si128(Equal(E, F), Equal(E, H)));
  if (!AnyLane(gate)) return;
  Vec e = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(d(nE(), nC()), d(nE(), nG())),
                                      _mm_add_epi16(d(nI(), nH5()), d(nI(), nF4()))),
                        _mm_slli_epi16(d(nH(), nF()), 2));
  Vec i = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(d(nH(), nD()), d(nH(), nI5())),
                                      _mm_add_epi16(d(nF(), nI4()), d(nF(), nB()))),
                        _mm_slli_epi16(d(nE(), nI()), 2));
  // Sums reach 8 * 765 at most: signed 16-bit compares are exact.
  Vec fire = _mm_andnot_si128(_mm_cmpgt_epi16(e, i), gate);
  if (!AnyLane(fire)) return;

  const Vec alikeBelow = _mm_set1_epi16((short)kXbrAlikeBelow);
  auto alike = [&](Vec dist) { return _mm_cmplt_epi16(dist, alikeBelow); };
  auto unlike = [&](Vec dist) { return Not(alike(dist)); };
  Vec alikeEI = alike(d(nE(), nI()));
  Vec confirmed;
  if (N == 3) {
    Vec alongF = _mm_and_si128(unlike(d(nF(), nB())), unlike(d(nF(), nC())));
    Vec alongH = _mm_and_si128(unlike(d(nH(), nD())), unlike(d(nH(), nG())));
    Vec farF = _mm_and_si128(unlike(d(nF(), nF4())), unlike(d(nF(), nI4())));
    Vec farH = _mm_and_si128(unlike(d(nH(), nH5())), unlike(d(nH(), nI5())));
    confirmed = _mm_or_si128(_mm_or_si128(alongF, alongH), _mm_and_si128(alikeEI, _mm_or_si128(farF, farH)));
  } else {
    Vec sides = _mm_and_si128(unlike(d(nF(), nB())), unlike(d(nH(), nD())));
    Vec far = _mm_and_si128(alikeEI, _mm_and_si128(unlike(d(nF(), nI4())), unlike(d(nH(), nI5()))));
    confirmed = _mm_or_si128(sides, far);
  }
  confirmed = _mm_or_si128(confirmed, _mm_or_si128(alike(d(nE(), nG())), alike(d(nE(), nC()))));

  XbrCase s;
  s.half = _mm_and_si128(fire, _mm_or_si128(Equal(e, i), Not(confirmed)));
  Vec full = _mm_andnot_si128(s.half, fire);
  Vec G = pixel(nG()), C = pixel(nC());
  Vec ke = d(nF(), nG()), ki = d(nH(), nC());
  Vec notShallow = _mm_or_si128(_mm_cmpgt_epi16(_mm_add_epi16(ke, ke), ki),
                                _mm_or_si128(Equal(E, G), Equal(pixel(nD()), G)));
  Vec notSteep = _mm_or_si128(_mm_cmpgt_epi16(_mm_add_epi16(ki, ki), ke),
                              _mm_or_si128(Equal(E, C), Equal(pixel(nB()), C)));
  Vec shallow = _mm_andnot_si128(notShallow, full), steep = _mm_andnot_si128(notSteep, full);
  s.both = _mm_and_si128(shallow, steep);
  s.shallow = _mm_andnot_si128(steep, shallow);
  s.steep = _mm_andnot_si128(shallow, steep);
  s.diag = _mm_andnot_si128(_mm_or_si128(shallow, steep), full);
  // px is F where d(E, F) <= d(E, H), else H.
  Vec pxIsF = Not(_mm_cmpgt_epi16(d(nE(), nF()), d(nE(), nH())));
  XbrExpand(Select(pxIsF, F, H), s.px);
  XbrApply<K>(s, cells);
}

// Writes 8 pixels v, each as an N x N block, at out (N rows).
template <unsigned N>
static inline void StoreBlocks(uint16_t* out, size_t dstPitchBytes, Vec v) {
  for (unsigned cy = 0; cy < N; ++cy) {
    uint16_t* row = RowOf(out, dstPitchBytes, cy);
    if (N == 2) StoreInterleaved2(row, v, v);
    if (N == 3) StoreInterleaved3(row, v, v, v);
    if (N == 4) StoreInterleaved4(row, v, v, v, v);
  }
}

// The blocks of the 8 pixels at column x, written at out (N rows). Where no corner of
// the 8 can fire (none has E unlike both pixels beside a corner), each block is E.
template <unsigned N>
static inline void XbrStep8(const XbrRows& rows, ptrdiff_t x, uint16_t* out, size_t dstPitchBytes) {
  const uint16_t* mid = rows.pixels[2] + x;
  Vec E = LoadPixels(mid);
  Vec newF = NotEqual(E, LoadPixels(mid + 1)), newD = NotEqual(E, LoadPixels(mid - 1));
  Vec newB = NotEqual(E, LoadPixels(rows.pixels[1] + x)), newH = NotEqual(E, LoadPixels(rows.pixels[3] + x));
  if (!AnyLane(_mm_and_si128(_mm_or_si128(newF, newD), _mm_or_si128(newB, newH)))) {
    StoreBlocks<N>(out, dstPitchBytes, E);
    return;
  }
  XbrCells<N> cells;
  Vec e[3];
  XbrExpand(E, e);
  for (unsigned k = 0; k < 3; ++k) {
    for (unsigned n = 0; n < N * N; ++n) cells.ch[k][n] = e[k];
  }
  XbrCornerVector<N, 0>(rows, x, E, cells);
  XbrCornerVector<N, 1>(rows, x, E, cells);
  XbrCornerVector<N, 2>(rows, x, E, cells);
  XbrCornerVector<N, 3>(rows, x, E, cells);
  Vec q[N * N];
  for (unsigned n = 0; n < N * N; ++n) {
    Vec ch[3] = {cells.ch[0][n], cells.ch[1][n], cells.ch[2][n]};
    q[n] = XbrQuantise(ch);
  }
  for (unsigned cy = 0; cy < N; ++cy) {
    uint16_t* row = RowOf(out, dstPitchBytes, cy);
    const Vec* r = q + cy * N;
    if (N == 2) StoreInterleaved2(row, r[0], r[1]);
    if (N == 3) StoreInterleaved3(row, r[0], r[1], r[2]);
    if (N == 4) StoreInterleaved4(row, r[0], r[1], r[2], r[3]);
  }
}

template <unsigned N>
static void XbrSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                    unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  if (srcWidth == 0 || srcHeight == 0) return;
  XbrVectorFrame f = PrepareXbrVector(src, srcPitchBytes, srcWidth, srcHeight, work);
  const ptrdiff_t height = srcHeight, width = srcWidth, around = kXbrRowsAround / 2;
  for (ptrdiff_t r = -around; r < around; ++r) XbrComputeDistances(f, r);
  for (ptrdiff_t y = 0; y < height; ++y) {
    XbrComputeDistances(f, y + around);
    XbrRows rows;
    for (unsigned j = 0; j < kXbrRowsAround; ++j) {
      ptrdiff_t r = y + (ptrdiff_t)j - around;
      rows.pixels[j] = f.pixels + r * f.pitch;
      for (unsigned k = 0; k < kXbrDirections; ++k) rows.distances[k][j] = XbrDistanceRow(f, k, r);
    }
    uint16_t* out = RowOf(dst, dstPitchBytes, (size_t)N * y);
    ptrdiff_t x = 0;
    for (; x + (ptrdiff_t)kLanes <= width; x += kLanes) XbrStep8<N>(rows, x, out + N * x, dstPitchBytes);
    if (x < width) {
      // The last pixels of the row: a whole step into a buffer, of which the row's part
      // is copied out.
      const size_t kRow = N * kLanes;
      uint16_t tail[N * kRow];
      XbrStep8<N>(rows, x, tail, kRow * sizeof(uint16_t));
      for (unsigned cy = 0; cy < N; ++cy)
        memcpy(RowOf(out, dstPitchBytes, cy) + N * x, tail + cy * kRow, N * (size_t)(width - x) * sizeof(uint16_t));
    }
  }
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
