// xBR level 2, 2x/3x/4x.
//
// Naming, for the bottom-right corner of the source pixel E (x to the right, y down):
//
//           A1 B1 C1
//        A0 A  B  C  C4
//        D0 D  E  F  F4
//        G0 G  H  I  I4
//           G5 H5 I5
//
// The corner between E, F, H and I lies on an edge along F-H when the differences
// across that diagonal outweigh those along it:
//   e = d(E,C) + d(E,G) + d(I,F4) + d(I,H5) + 4 d(H,F)   (along F-H)
//   i = d(H,D) + d(H,I5) + d(F,I4) + d(F,B) + 4 d(E,I)   (along E-I)
// An edge needs E != F, E != H (exactly), e < i, and one of: F unlike B and H unlike D;
// E like I with F unlike I4 and H unlike I5; E like G; E like C ("like": distance
// below kXbrEqualBelow). The new colour is F or H, whichever is nearer E. The edge is
// shallow when F is much nearer G than H is to C (2 d(F,G) <= d(H,C), and G differs
// from E and D), steep in the mirrored case (d(F,G) >= 2 d(H,C), C differs from E and
// B), both when both hold, and diagonal otherwise. Each kind blends a fixed set of the
// corner's sub-pixels towards the new colour (the coverage tables below: the part of
// each sub-pixel beyond a 45-degree, 2:1 or 1:2 line through the corner).
//
// The four corners are treated in turn (bottom-right, top-right, top-left,
// bottom-left), each by the same rule rotated a quarter turn, and each blends the
// sub-pixels as the previous corners left them.
//
// The frame is prepared once: a copy with a border of repeated edge pixels,
// its Y, U, V planes, and planes of the distances between each pixel and its
// neighbours in eight directions, so that every distance of the rule is one load.
#include "xbr.h"

#include "padded.h"
#include "simd.h"

// ---- Thresholds and weights: all of xBR's numbers are here. ----

// Two colours closer than this count as the same colour in the edge tests: about 3
// levels of 8-bit luma, so colours one 5- or 6-bit step apart are alike, two are not.
const int kXbrEqualBelow = 39;

// Y, U, V of a pixel, 16 times their 8-bit values: Y = 0.299 R + 0.587 G + 0.114 B,
// U = -0.169 R - 0.331 G + 0.5 B, V = 0.5 R - 0.419 G - 0.081 B over 8-bit channels,
// written for 5/6/5-bit channels (8-bit R = 255/31 r, G = 255/63 g, B = 255/31 b).
const int kYRed = 39, kYGreen = 38, kYBlue = 15;
const int kURed = -22, kUGreen = -21, kUBlue = 66;
const int kVRed = 66, kVGreen = -27, kVBlue = -11;

// Distance (48|dY| + 7|dU| + 6|dV|) / 4 over 8-bit Y, U, V, from the 16x values:
// 48 / 4 / 16 = 3/4, 7 / 4 / 16 = 7/64, 6 / 4 / 16 = 3/32.
const int kDistYMul = 3, kDistYShift = 2;
const int kDistUMul = 7, kDistUShift = 6;
const int kDistVMul = 3, kDistVShift = 5;

// Weight of the distance between the two pixels across the corner's diagonal in the
// edge sums e and i.
const int kCentreWeight = 4;
// A shallow or steep edge needs one knight's-move distance at most 1/kSlopeFactor of
// the other.
const int kSlopeFactor = 2;

// Coverage of the corner's sub-pixels by the new colour, in eighths, for the bottom-
// right corner; rows top to bottom. Index: edge kind, then sub-pixel.
enum XbrEdgeKind { kDiagonal, kShallow, kSteep, kShallowAndSteep, kEdgeKinds };
const unsigned kMaxCells = 16;
const uint8_t kCoverage2x[kEdgeKinds][kMaxCells] = {
    {0, 0,  //
     0, 4},
    {0, 0,  //
     2, 6},
    {0, 2,  //
     0, 6},
    {0, 2,  //
     2, 7},
};
const uint8_t kCoverage3x[kEdgeKinds][kMaxCells] = {
    {0, 0, 0,  //
     0, 0, 1,  //
     0, 1, 7},
    {0, 0, 0,  //
     0, 0, 2,  //
     2, 6, 8},
    {0, 0, 2,  //
     0, 0, 6,  //
     0, 2, 8},
    {0, 0, 2,  //
     0, 0, 6,  //
     2, 6, 8},
};
const uint8_t kCoverage4x[kEdgeKinds][kMaxCells] = {
    {0, 0, 0, 0,  //
     0, 0, 0, 0,  //
     0, 0, 0, 4,  //
     0, 0, 4, 8},
    {0, 0, 0, 0,  //
     0, 0, 0, 0,  //
     0, 0, 2, 6,  //
     2, 6, 8, 8},
    {0, 0, 0, 2,  //
     0, 0, 0, 6,  //
     0, 0, 2, 8,  //
     0, 0, 6, 8},
    {0, 0, 0, 2,  //
     0, 0, 0, 6,  //
     0, 0, 2, 8,  //
     2, 6, 8, 8},
};

// ---- Geometry of the rule ----

const unsigned kXbrReach = 2;  // the rule looks two pixels away
// The copy's border: distances are needed for every pixel within reach of the image,
// and each joins its pixel to one up to kXbrReach further out.
const unsigned kXbrBorder = 2 * kXbrReach;
const unsigned kCorners = 4;

// Directions of the distance planes: plane k at a pixel holds the distance between
// that pixel and the one (dx, dy) away.
const unsigned kDistancePlanes = 8;
const int kPlaneStep[kDistancePlanes][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1},
                                            {2, 1}, {2, -1}, {1, 2}, {1, -2}};

// The distances of the rule; each pair of pixels in corner coordinates (steps along
// u, the corner's "F" direction, and along v, its "H" direction).
enum XbrTerm { kEC, kEG, kIF4, kIH5, kHF, kHD, kHI5, kFI4, kFB, kEI, kFG, kHC, kEF, kEH, kTerms };
const int kTermPixels[kTerms][4] = {
    {0, 0, 1, -1},  // E C
    {0, 0, -1, 1},  // E G
    {1, 1, 2, 0},   // I F4
    {1, 1, 0, 2},   // I H5
    {0, 1, 1, 0},   // H F
    {0, 1, -1, 0},  // H D
    {0, 1, 1, 2},   // H I5
    {1, 0, 2, 1},   // F I4
    {1, 0, 0, -1},  // F B
    {0, 0, 1, 1},   // E I
    {1, 0, -1, 1},  // F G
    {0, 1, 1, -1},  // H C
    {0, 0, 1, 0},   // E F
    {0, 0, 0, 1},   // E H
};

// The corners' axes u and v (x, y of each), a quarter turn apart: bottom-right,
// top-right, top-left, bottom-left.
const int kCornerAxes[kCorners][4] = {{1, 0, 0, 1}, {0, -1, 1, 0}, {-1, 0, 0, -1}, {0, 1, -1, 0}};

// One corner's rule, resolved for a frame: offsets (in entries of the bordered planes)
// from E to the pixels and distances it reads, and where each coverage cell lands in
// the output block.
struct XbrCorner {
  ptrdiff_t f, h, b, d, c, g;
  const int16_t* term[kTerms];  // distance plane of each term, already offset from E
  unsigned cell[kMaxCells];     // output block index (row * scale + column) of each cell
};

// The prepared frame.
struct XbrFrame {
  unsigned scale;
  const uint8_t (*coverage)[kMaxCells];
  ptrdiff_t pitch;          // entries between rows of the bordered planes
  const uint16_t* origin;   // source pixel (0, 0) in the bordered copy
  size_t originIndex;       // its index in every plane
  XbrCorner corner[kCorners];
};

size_t XbrWorkBytes(unsigned srcWidth, unsigned srcHeight) {
  const size_t kPlanes = 1 + 3 + kDistancePlanes;  // copy, Y, U, V, distances
  return kPlanes * PaddedPixelCount(srcWidth, srcHeight, kXbrBorder) * sizeof(uint16_t);
}

// ---- Colour distance ----

static inline int YOf(uint16_t p) { return kYRed * (int)RedOf(p) + kYGreen * (int)GreenOf(p) + kYBlue * (int)BlueOf(p); }
static inline int UOf(uint16_t p) { return kURed * (int)RedOf(p) + kUGreen * (int)GreenOf(p) + kUBlue * (int)BlueOf(p); }
static inline int VOf(uint16_t p) { return kVRed * (int)RedOf(p) + kVGreen * (int)GreenOf(p) + kVBlue * (int)BlueOf(p); }

static inline int Abs(int v) { return v < 0 ? -v : v; }

static inline int DistanceOfYuv(int dy, int du, int dv) {
  return ((kDistYMul * Abs(dy)) >> kDistYShift) + ((kDistUMul * Abs(du)) >> kDistUShift) +
         ((kDistVMul * Abs(dv)) >> kDistVShift);
}

int XbrDistance(uint16_t a, uint16_t b) {
  return DistanceOfYuv(YOf(a) - YOf(b), UOf(a) - UOf(b), VOf(a) - VOf(b));
}

// ---- Frame preparation ----

struct XbrPlanes {
  uint16_t* pixels;
  int16_t* y;
  int16_t* u;
  int16_t* v;
  int16_t* distance[kDistancePlanes];
  unsigned width, height;  // of the bordered planes
};

static XbrPlanes PlanesIn(void* work, unsigned srcWidth, unsigned srcHeight) {
  size_t count = PaddedPixelCount(srcWidth, srcHeight, kXbrBorder);
  XbrPlanes planes;
  planes.pixels = (uint16_t*)work;
  int16_t* next = (int16_t*)work + count;
  planes.y = next, next += count;
  planes.u = next, next += count;
  planes.v = next, next += count;
  for (unsigned k = 0; k < kDistancePlanes; ++k) planes.distance[k] = next, next += count;
  planes.width = srcWidth + 2 * kXbrBorder;
  planes.height = srcHeight + 2 * kXbrBorder;
  return planes;
}

static void YuvPixels(const XbrPlanes& planes, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    planes.y[i] = (int16_t)YOf(planes.pixels[i]);
    planes.u[i] = (int16_t)UOf(planes.pixels[i]);
    planes.v[i] = (int16_t)VOf(planes.pixels[i]);
  }
}

// Offsets, in plane entries, from a pixel to its neighbour in each plane's direction.
static void PlaneSteps(const XbrPlanes& planes, ptrdiff_t steps[kDistancePlanes]) {
  for (unsigned k = 0; k < kDistancePlanes; ++k)
    steps[k] = (ptrdiff_t)kPlaneStep[k][1] * planes.width + kPlaneStep[k][0];
}

// All distance planes at the entries [from, to).
static void DistancePixels(const XbrPlanes& planes, const ptrdiff_t steps[kDistancePlanes], size_t from,
                           size_t to) {
  for (size_t i = from; i < to; ++i) {
    for (unsigned k = 0; k < kDistancePlanes; ++k) {
      planes.distance[k][i] = (int16_t)DistanceOfYuv(planes.y[i] - planes.y[i + steps[k]],
                                                     planes.u[i] - planes.u[i + steps[k]],
                                                     planes.v[i] - planes.v[i + steps[k]]);
    }
  }
}

// The entries whose distances are computed: the rows within kXbrReach of the image,
// as one run from the first such row to the last (the columns beyond reach come along
// at no cost; their values are never read). Every direction steps 0 to 2 columns right
// and at most 2 rows up or down, so a neighbour never leaves the planes.
struct EntryRun {
  size_t from, to;
};

static EntryRun DistanceRun(const XbrPlanes& planes) {
  const unsigned kMaxRightStep = 2;
  size_t firstRow = kXbrBorder - kXbrReach, endRow = planes.height - (kXbrBorder - kXbrReach);
  return EntryRun{firstRow * planes.width, endRow * planes.width - kMaxRightStep};
}

static void PreparePlanesScalar(const XbrPlanes& planes) {
  YuvPixels(planes, 0, (size_t)planes.width * planes.height);
  ptrdiff_t steps[kDistancePlanes];
  PlaneSteps(planes, steps);
  EntryRun run = DistanceRun(planes);
  DistancePixels(planes, steps, run.from, run.to);
}

// Offset from a pixel to the one a steps along u and b along v.
static ptrdiff_t CornerOffset(const int axes[4], int a, int b, ptrdiff_t pitch) {
  int dx = a * axes[0] + b * axes[2], dy = a * axes[1] + b * axes[3];
  return (ptrdiff_t)dy * pitch + dx;
}

// Resolves a term for a corner: the plane whose direction joins its two pixels, read
// at whichever of them the direction starts from.
static const int16_t* TermPlane(const XbrPlanes& planes, const int axes[4], const int pixels[4],
                                size_t originIndex) {
  int ax = pixels[0] * axes[0] + pixels[1] * axes[2], ay = pixels[0] * axes[1] + pixels[1] * axes[3];
  int bx = pixels[2] * axes[0] + pixels[3] * axes[2], by = pixels[2] * axes[1] + pixels[3] * axes[3];
  for (unsigned k = 0; k < kDistancePlanes; ++k) {
    int sx = kPlaneStep[k][0], sy = kPlaneStep[k][1];
    ptrdiff_t pitch = planes.width;
    if (bx - ax == sx && by - ay == sy) return planes.distance[k] + originIndex + (ptrdiff_t)ay * pitch + ax;
    if (ax - bx == sx && ay - by == sy) return planes.distance[k] + originIndex + (ptrdiff_t)by * pitch + bx;
  }
  return nullptr;  // not reached: every term's pixels are one plane step apart
}

static XbrFrame ResolveFrame(const XbrPlanes& planes, unsigned scale) {
  XbrFrame f;
  f.scale = scale;
  f.coverage = scale == 2 ? kCoverage2x : scale == 3 ? kCoverage3x : kCoverage4x;
  f.pitch = planes.width;
  f.originIndex = (size_t)kXbrBorder * planes.width + kXbrBorder;
  f.origin = planes.pixels + f.originIndex;
  for (unsigned c = 0; c < kCorners; ++c) {
    const int* axes = kCornerAxes[c];
    XbrCorner& corner = f.corner[c];
    corner.f = CornerOffset(axes, 1, 0, f.pitch);
    corner.h = CornerOffset(axes, 0, 1, f.pitch);
    corner.b = CornerOffset(axes, 0, -1, f.pitch);
    corner.d = CornerOffset(axes, -1, 0, f.pitch);
    corner.c = CornerOffset(axes, 1, -1, f.pitch);
    corner.g = CornerOffset(axes, -1, 1, f.pitch);
    for (unsigned t = 0; t < kTerms; ++t) corner.term[t] = TermPlane(planes, axes, kTermPixels[t], f.originIndex);
    // Cell (cu, cv) of the bottom-right layout, turned with the corner: positions are
    // doubled and centred on the block so that the turn is exact.
    int n = (int)scale - 1;
    for (unsigned cv = 0; cv < scale; ++cv) {
      for (unsigned cu = 0; cu < scale; ++cu) {
        int a = 2 * (int)cu - n, b = 2 * (int)cv - n;
        int col = (a * axes[0] + b * axes[2] + n) / 2, row = (a * axes[1] + b * axes[3] + n) / 2;
        corner.cell[cv * scale + cu] = (unsigned)(row * (int)scale + col);
      }
    }
  }
  return f;
}

// ---- The rule, pixel by pixel ----

// xBR of the source pixel at index `at` (relative to source pixel (0, 0) in the
// bordered planes); writes scale * scale sub-pixels, row by row, to cells.
static void XbrPixel(const XbrFrame& f, ptrdiff_t at, uint16_t* cells) {
  const uint16_t* p = f.origin + at;
  uint16_t e = p[0];
  unsigned cellCount = f.scale * f.scale;
  for (unsigned k = 0; k < cellCount; ++k) cells[k] = e;
  for (unsigned c = 0; c < kCorners; ++c) {
    const XbrCorner& corner = f.corner[c];
    uint16_t fp = p[corner.f], hp = p[corner.h];
    if (e == fp || e == hp) continue;
    int d[kTerms];
    for (unsigned t = 0; t < kTerms; ++t) d[t] = corner.term[t][at];
    int alongFH = d[kEC] + d[kEG] + d[kIF4] + d[kIH5] + kCentreWeight * d[kHF];
    int alongEI = d[kHD] + d[kHI5] + d[kFI4] + d[kFB] + kCentreWeight * d[kEI];
    if (alongFH >= alongEI) continue;
    bool likeFB = d[kFB] < kXbrEqualBelow, likeHD = d[kHD] < kXbrEqualBelow;
    bool likeEI = d[kEI] < kXbrEqualBelow, likeFI4 = d[kFI4] < kXbrEqualBelow;
    bool likeHI5 = d[kHI5] < kXbrEqualBelow, likeEG = d[kEG] < kXbrEqualBelow;
    bool likeEC = d[kEC] < kXbrEqualBelow;
    if (!((!likeFB && !likeHD) || (likeEI && !likeFI4 && !likeHI5) || likeEG || likeEC)) continue;
    uint16_t colour = d[kEF] <= d[kEH] ? fp : hp;
    uint16_t bp = p[corner.b], dp = p[corner.d], cp = p[corner.c], gp = p[corner.g];
    bool shallow = kSlopeFactor * d[kFG] <= d[kHC] && e != gp && dp != gp;
    bool steep = d[kFG] >= kSlopeFactor * d[kHC] && e != cp && bp != cp;
    int kind = shallow ? (steep ? kShallowAndSteep : kShallow) : (steep ? kSteep : kDiagonal);
    for (unsigned k = 0; k < cellCount; ++k) {
      unsigned w = f.coverage[kind][k];
      if (w != 0) cells[corner.cell[k]] = BlendEighths(cells[corner.cell[k]], colour, w);
    }
  }
}

// Writes the cells of the pixel at column x of source row y.
static void StoreCells(const uint16_t* cells, unsigned scale, uint16_t* const rows[], unsigned x) {
  for (unsigned r = 0; r < scale; ++r) {
    for (unsigned k = 0; k < scale; ++k) rows[r][scale * x + k] = cells[r * scale + k];
  }
}

static void XbrScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                      unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work,
                      unsigned scale) {
  if (srcWidth == 0 || srcHeight == 0) return;
  XbrPlanes planes = PlanesIn(work, srcWidth, srcHeight);
  CopyWithBorder(src, srcPitchBytes, srcWidth, srcHeight, kXbrBorder, planes.pixels);
  PreparePlanesScalar(planes);
  XbrFrame f = ResolveFrame(planes, scale);
  uint16_t cells[kMaxCells];
  uint16_t* rows[4];
  for (unsigned y = 0; y < srcHeight; ++y) {
    for (unsigned r = 0; r < scale; ++r) rows[r] = RowOf(dst, dstPitchBytes, scale * y + r);
    for (unsigned x = 0; x < srcWidth; ++x) {
      XbrPixel(f, (ptrdiff_t)y * f.pitch + x, cells);
      StoreCells(cells, scale, rows, x);
    }
  }
}

void Xbr2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work, 2);
}
void Xbr3xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work, 3);
}
void Xbr4xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work, 4);
}

#if FILTERS_HAVE_SSE2

// ---- The same, 8 pixels at a time ----

static inline Vec Splat(int v) { return _mm_set1_epi16((short)v); }
static inline Vec LoadPlane(const int16_t* p) { return _mm_loadu_si128((const Vec*)p); }
static inline void StorePlane(int16_t* p, Vec v) { _mm_storeu_si128((Vec*)p, v); }
static inline Vec AbsOf(Vec v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

static inline Vec ChannelRed(Vec p) { return _mm_srli_epi16(p, kRedShift); }
static inline Vec ChannelGreen(Vec p) { return _mm_and_si128(_mm_srli_epi16(p, kGreenShift), Splat(kGreenMax)); }
static inline Vec ChannelBlue(Vec p) { return _mm_and_si128(p, Splat(kBlueMax)); }

static inline Vec Weighted(Vec r, Vec g, Vec b, int wr, int wg, int wb) {
  return _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(r, Splat(wr)), _mm_mullo_epi16(g, Splat(wg))),
                       _mm_mullo_epi16(b, Splat(wb)));
}

static void YuvVectors(const XbrPlanes& planes, size_t count) {
  size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    Vec p = LoadPixels(planes.pixels + i);
    Vec r = ChannelRed(p), g = ChannelGreen(p), b = ChannelBlue(p);
    StorePlane(planes.y + i, Weighted(r, g, b, kYRed, kYGreen, kYBlue));
    StorePlane(planes.u + i, Weighted(r, g, b, kURed, kUGreen, kUBlue));
    StorePlane(planes.v + i, Weighted(r, g, b, kVRed, kVGreen, kVBlue));
  }
  YuvPixels(planes, i, count);
}

static inline Vec ScaledAbs(Vec diff, int mul, int shift) {
  return _mm_srli_epi16(_mm_mullo_epi16(AbsOf(diff), Splat(mul)), shift);
}

// All distance planes at the entries [from, to), 8 at a time: the centre pixels' Y, U,
// V are loaded once for the eight directions.
static void DistanceVectors(const XbrPlanes& planes, const ptrdiff_t steps[kDistancePlanes], size_t from,
                            size_t to) {
  size_t i = from;
  for (; i + kLanes <= to; i += kLanes) {
    Vec y = LoadPlane(planes.y + i), u = LoadPlane(planes.u + i), v = LoadPlane(planes.v + i);
    for (unsigned k = 0; k < kDistancePlanes; ++k) {
      Vec dy = _mm_sub_epi16(y, LoadPlane(planes.y + i + steps[k]));
      Vec du = _mm_sub_epi16(u, LoadPlane(planes.u + i + steps[k]));
      Vec dv = _mm_sub_epi16(v, LoadPlane(planes.v + i + steps[k]));
      Vec d = _mm_add_epi16(_mm_add_epi16(ScaledAbs(dy, kDistYMul, kDistYShift), ScaledAbs(du, kDistUMul, kDistUShift)),
                            ScaledAbs(dv, kDistVMul, kDistVShift));
      StorePlane(planes.distance[k] + i, d);
    }
  }
  DistancePixels(planes, steps, i, to);
}

static void PreparePlanesSse2(const XbrPlanes& planes) {
  YuvVectors(planes, (size_t)planes.width * planes.height);
  ptrdiff_t steps[kDistancePlanes];
  PlaneSteps(planes, steps);
  EntryRun run = DistanceRun(planes);
  DistanceVectors(planes, steps, run.from, run.to);
}

// Blend of a towards b by w eighths (w per lane), as BlendEighths: per channel
// a + ((b - a) * w + 4) >> 3, which equals (a * (8 - w) + b * w + 4) >> 3.
static inline Vec BlendChannel(Vec a, Vec b, Vec w) {
  Vec step = _mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(b, a), w), Splat(4));
  return _mm_add_epi16(a, _mm_srai_epi16(step, 3));
}

// A sub-pixel vector split into its channels, so that several blends of one sub-pixel
// pack it only once.
struct Channels {
  Vec r, g, b;
};

static inline Channels SplitChannels(Vec p) { return Channels{ChannelRed(p), ChannelGreen(p), ChannelBlue(p)}; }

static inline Vec PackChannels(const Channels& c) {
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(c.r, kRedShift), _mm_slli_epi16(c.g, kGreenShift)), c.b);
}

static inline void BlendChannels(Channels& a, const Channels& b, Vec w) {
  a.r = BlendChannel(a.r, b.r, w);
  a.g = BlendChannel(a.g, b.g, w);
  a.b = BlendChannel(a.b, b.b, w);
}

static inline Vec Below(Vec a, Vec b) { return _mm_cmplt_epi16(a, b); }
static inline Vec Like(Vec distance) { return Below(distance, Splat(kXbrEqualBelow)); }

// xBR of the 8 source pixels starting at index `at`, as XbrPixel lane by lane; the
// cells hold one vector per sub-pixel.
static void XbrVector(const XbrFrame& f, ptrdiff_t at, Vec* cells) {
  const uint16_t* p = f.origin + at;
  Vec e = LoadPixels(p);
  unsigned cellCount = f.scale * f.scale;
  Channels split[kMaxCells];
  bool blended = false;
  for (unsigned c = 0; c < kCorners; ++c) {
    const XbrCorner& corner = f.corner[c];
    Vec fp = LoadPixels(p + corner.f), hp = LoadPixels(p + corner.h);
    Vec edge = Not(_mm_or_si128(Equal(e, fp), Equal(e, hp)));
    if (!AnyLane(edge)) continue;
    Vec d[kTerms];
    for (unsigned t = 0; t < kTerms; ++t) d[t] = LoadPlane(corner.term[t] + at);
    Vec centre = Splat(kCentreWeight);
    Vec alongFH = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(d[kEC], d[kEG]), _mm_add_epi16(d[kIF4], d[kIH5])),
                                _mm_mullo_epi16(d[kHF], centre));
    Vec alongEI = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(d[kHD], d[kHI5]), _mm_add_epi16(d[kFI4], d[kFB])),
                                _mm_mullo_epi16(d[kEI], centre));
    edge = _mm_and_si128(edge, Below(alongFH, alongEI));
    if (!AnyLane(edge)) continue;
    Vec unlikeFBHD = Not(_mm_or_si128(Like(d[kFB]), Like(d[kHD])));
    Vec diagonalRun = _mm_andnot_si128(_mm_or_si128(Like(d[kFI4]), Like(d[kHI5])), Like(d[kEI]));
    Vec confirmed = _mm_or_si128(_mm_or_si128(unlikeFBHD, diagonalRun), _mm_or_si128(Like(d[kEG]), Like(d[kEC])));
    edge = _mm_and_si128(edge, confirmed);
    if (!AnyLane(edge)) continue;
    Channels colour = SplitChannels(Select(_mm_cmpgt_epi16(d[kEF], d[kEH]), hp, fp));
    Vec bp = LoadPixels(p + corner.b), dp = LoadPixels(p + corner.d);
    Vec cp = LoadPixels(p + corner.c), gp = LoadPixels(p + corner.g);
    Vec slope = Splat(kSlopeFactor);
    Vec shallow = _mm_andnot_si128(_mm_cmpgt_epi16(_mm_mullo_epi16(d[kFG], slope), d[kHC]),
                                   Not(_mm_or_si128(Equal(e, gp), Equal(dp, gp))));
    Vec steep = _mm_andnot_si128(_mm_cmpgt_epi16(_mm_mullo_epi16(d[kHC], slope), d[kFG]),
                                 Not(_mm_or_si128(Equal(e, cp), Equal(bp, cp))));
    // Lane masks of the four kinds, only where there is an edge.
    Vec kinds[kEdgeKinds];
    kinds[kShallowAndSteep] = _mm_and_si128(edge, _mm_and_si128(shallow, steep));
    kinds[kShallow] = _mm_and_si128(edge, _mm_andnot_si128(steep, shallow));
    kinds[kSteep] = _mm_and_si128(edge, _mm_andnot_si128(shallow, steep));
    kinds[kDiagonal] = _mm_andnot_si128(_mm_or_si128(shallow, steep), edge);
    if (!blended) {
      Channels centreChannels = SplitChannels(e);
      for (unsigned k = 0; k < cellCount; ++k) split[k] = centreChannels;
      blended = true;
    }
    for (unsigned k = 0; k < cellCount; ++k) {
      Vec w = _mm_setzero_si128();
      bool touched = false;
      for (unsigned kind = 0; kind < kEdgeKinds; ++kind) {
        if (f.coverage[kind][k] == 0) continue;
        w = _mm_or_si128(w, _mm_and_si128(kinds[kind], Splat(f.coverage[kind][k])));
        touched = true;
      }
      if (touched) BlendChannels(split[corner.cell[k]], colour, w);
    }
  }
  for (unsigned k = 0; k < cellCount; ++k) cells[k] = blended ? PackChannels(split[k]) : e;
}

static void StoreCellVectors(const Vec* cells, unsigned scale, uint16_t* const rows[], unsigned x) {
  for (unsigned r = 0; r < scale; ++r) {
    const Vec* c = cells + r * scale;
    uint16_t* out = rows[r] + scale * x;
    if (scale == 2) StoreInterleaved2(out, c[0], c[1]);
    else if (scale == 3) StoreInterleaved3(out, c[0], c[1], c[2]);
    else StoreInterleaved4(out, c[0], c[1], c[2], c[3]);
  }
}

static void XbrSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                    unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work,
                    unsigned scale) {
  if (srcWidth == 0 || srcHeight == 0) return;
  XbrPlanes planes = PlanesIn(work, srcWidth, srcHeight);
  CopyWithBorder(src, srcPitchBytes, srcWidth, srcHeight, kXbrBorder, planes.pixels);
  PreparePlanesSse2(planes);
  XbrFrame f = ResolveFrame(planes, scale);
  Vec cellVectors[kMaxCells];
  uint16_t cells[kMaxCells];
  uint16_t* rows[4];
  for (unsigned y = 0; y < srcHeight; ++y) {
    for (unsigned r = 0; r < scale; ++r) rows[r] = RowOf(dst, dstPitchBytes, scale * y + r);
    ptrdiff_t rowStart = (ptrdiff_t)y * f.pitch;
    // The border covers every load of a whole step; the rest of the row goes pixel by pixel.
    unsigned x = 0;
    for (; x + kLanes <= srcWidth; x += kLanes) {
      XbrVector(f, rowStart + x, cellVectors);
      StoreCellVectors(cellVectors, scale, rows, x);
    }
    for (; x < srcWidth; ++x) {
      XbrPixel(f, rowStart + x, cells);
      StoreCells(cells, scale, rows, x);
    }
  }
}

void Xbr2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
               unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrSse2(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work, 2);
}
void Xbr3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
               unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrSse2(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work, 3);
}
void Xbr4xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
               unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  XbrSse2(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work, 4);
}

#else  // no SSE2: the fast versions are the scalar ones

void Xbr2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
               unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  Xbr2xScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}
void Xbr3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
               unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  Xbr3xScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}
void Xbr4xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
               unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  Xbr4xScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}

#endif

const FilterInfo kXbr2x = {"xBR 2x", "xbr2x", 2, XbrWorkBytes, Xbr2xScalar, Xbr2xSse2, FILTERS_HAVE_SSE2 != 0};
const FilterInfo kXbr3x = {"xBR 3x", "xbr3x", 3, XbrWorkBytes, Xbr3xScalar, Xbr3xSse2, FILTERS_HAVE_SSE2 != 0};
const FilterInfo kXbr4x = {"xBR 4x", "xbr4x", 4, XbrWorkBytes, Xbr4xScalar, Xbr4xSse2, FILTERS_HAVE_SSE2 != 0};
