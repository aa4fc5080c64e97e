// Scale2x / Scale3x / Scale4x. Naming of the 3x3 neighbourhood of a source pixel E:
//
//     A B C
//     D E F
//     G H I
//
// Scale2x writes E0 E1 / E2 E3; Scale3x writes E0 E1 E2 / E3 E4 E5 / E6 E7 E8. When
// B != H and D != F (E is not inside a vertical or horizontal run), a corner copies
// the neighbour where its two sides agree; otherwise every sub-pixel is E.
#include "scale2x.h"

#include "simd.h"

// The three source rows a row y of output blocks looks at, clamped at the edges.
struct RowTriple {
  const uint16_t* up;
  const uint16_t* mid;
  const uint16_t* down;
};

static RowTriple RowsAround(const uint16_t* src, size_t pitchBytes, unsigned height, unsigned y) {
  RowTriple rows;
  rows.up = RowOf(src, pitchBytes, ClampIndex((long)y - 1, height));
  rows.mid = RowOf(src, pitchBytes, y);
  rows.down = RowOf(src, pitchBytes, ClampIndex((long)y + 1, height));
  return rows;
}

// Scale2x of the pixel at column x; out0 and out1 point at its two output rows.
static void Scale2xPixel(const RowTriple& r, unsigned x, unsigned width, uint16_t* out0,
                         uint16_t* out1) {
  unsigned left = ClampIndex((long)x - 1, width), right = ClampIndex((long)x + 1, width);
  uint16_t b = r.up[x], d = r.mid[left], e = r.mid[x], f = r.mid[right], h = r.down[x];
  bool corners = b != h && d != f;
  out0[2 * x] = corners && d == b ? d : e;
  out0[2 * x + 1] = corners && b == f ? f : e;
  out1[2 * x] = corners && d == h ? d : e;
  out1[2 * x + 1] = corners && h == f ? f : e;
}

void Scale2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  if (srcWidth == 0) return;
  for (unsigned y = 0; y < srcHeight; ++y) {
    RowTriple rows = RowsAround(src, srcPitchBytes, srcHeight, y);
    uint16_t* out0 = RowOf(dst, dstPitchBytes, 2 * y);
    uint16_t* out1 = RowOf(dst, dstPitchBytes, 2 * y + 1);
    for (unsigned x = 0; x < srcWidth; ++x) Scale2xPixel(rows, x, srcWidth, out0, out1);
  }
}

// Scale3x of the pixel at column x; out[k] points at its k-th output row.
static void Scale3xPixel(const RowTriple& r, unsigned x, unsigned width, uint16_t* const out[3]) {
  unsigned left = ClampIndex((long)x - 1, width), right = ClampIndex((long)x + 1, width);
  uint16_t a = r.up[left], b = r.up[x], c = r.up[right];
  uint16_t d = r.mid[left], e = r.mid[x], f = r.mid[right];
  uint16_t g = r.down[left], h = r.down[x], i = r.down[right];
  uint16_t e0 = e, e1 = e, e2 = e, e3 = e, e5 = e, e6 = e, e7 = e, e8 = e;
  if (b != h && d != f) {
    e0 = d == b ? d : e;
    e1 = (d == b && e != c) || (b == f && e != a) ? b : e;
    e2 = b == f ? f : e;
    e3 = (d == b && e != g) || (d == h && e != a) ? d : e;
    e5 = (b == f && e != i) || (h == f && e != c) ? f : e;
    e6 = d == h ? d : e;
    e7 = (d == h && e != i) || (h == f && e != g) ? h : e;
    e8 = h == f ? f : e;
  }
  unsigned o = 3 * x;
  out[0][o] = e0, out[0][o + 1] = e1, out[0][o + 2] = e2;
  out[1][o] = e3, out[1][o + 1] = e, out[1][o + 2] = e5;
  out[2][o] = e6, out[2][o + 1] = e7, out[2][o + 2] = e8;
}

static void Scale3xRows(uint16_t* dst, size_t dstPitchBytes, unsigned y, uint16_t* out[3]) {
  for (unsigned k = 0; k < 3; ++k) out[k] = RowOf(dst, dstPitchBytes, 3 * y + k);
}

void Scale3xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  for (unsigned y = 0; y < srcHeight; ++y) {
    RowTriple rows = RowsAround(src, srcPitchBytes, srcHeight, y);
    uint16_t* out[3];
    Scale3xRows(dst, dstPitchBytes, y, out);
    for (unsigned x = 0; x < srcWidth; ++x) Scale3xPixel(rows, x, srcWidth, out);
  }
}

// The intermediate 2x image of Scale4x: packed rows of 2 * w pixels.
size_t Scale4xWorkBytes(unsigned srcWidth, unsigned srcHeight) {
  return (size_t)4 * srcWidth * srcHeight * sizeof(uint16_t);
}

void Scale4xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                   unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  uint16_t* mid = (uint16_t*)work;
  size_t midPitchBytes = (size_t)2 * srcWidth * sizeof(uint16_t);
  Scale2xScalar(src, srcPitchBytes, srcWidth, srcHeight, mid, midPitchBytes);
  Scale2xScalar(mid, midPitchBytes, 2 * srcWidth, 2 * srcHeight, dst, dstPitchBytes);
}

#if FILTERS_HAVE_SSE2

// The vectors of one step: 8 consecutive source pixels and their neighbours. The
// steps cover columns whose left and right neighbours lie inside the row, so that no
// load leaves it; the first column and the rest of a row go pixel by pixel.
struct Neighbours {
  Vec a, b, c, d, e, f, g, h, i;
};

static Neighbours LoadNeighbours(const RowTriple& r, unsigned x) {
  Neighbours n;
  n.a = LoadPixels(r.up + x - 1), n.b = LoadPixels(r.up + x), n.c = LoadPixels(r.up + x + 1);
  n.d = LoadPixels(r.mid + x - 1), n.e = LoadPixels(r.mid + x), n.f = LoadPixels(r.mid + x + 1);
  n.g = LoadPixels(r.down + x - 1), n.h = LoadPixels(r.down + x), n.i = LoadPixels(r.down + x + 1);
  return n;
}

// First column handled by vectors, and whether column x starts a whole vector step.
const unsigned kFirstVectorColumn = 1;
static inline bool VectorFits(unsigned x, unsigned width) { return x + kLanes + 1 <= width; }

void Scale2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  if (srcWidth == 0) return;
  for (unsigned y = 0; y < srcHeight; ++y) {
    RowTriple rows = RowsAround(src, srcPitchBytes, srcHeight, y);
    uint16_t* out0 = RowOf(dst, dstPitchBytes, 2 * y);
    uint16_t* out1 = RowOf(dst, dstPitchBytes, 2 * y + 1);
    Scale2xPixel(rows, 0, srcWidth, out0, out1);
    unsigned x = kFirstVectorColumn;
    for (; VectorFits(x, srcWidth); x += kLanes) {
      Vec b = LoadPixels(rows.up + x), h = LoadPixels(rows.down + x);
      Vec d = LoadPixels(rows.mid + x - 1), e = LoadPixels(rows.mid + x);
      Vec f = LoadPixels(rows.mid + x + 1);
      // Lanes where B == H or D == F keep E everywhere.
      Vec flat = _mm_or_si128(Equal(b, h), Equal(d, f));
      Vec e0 = Select(_mm_andnot_si128(flat, Equal(d, b)), d, e);
      Vec e1 = Select(_mm_andnot_si128(flat, Equal(b, f)), f, e);
      Vec e2 = Select(_mm_andnot_si128(flat, Equal(d, h)), d, e);
      Vec e3 = Select(_mm_andnot_si128(flat, Equal(h, f)), f, e);
      StoreInterleaved2(out0 + 2 * x, e0, e1);
      StoreInterleaved2(out1 + 2 * x, e2, e3);
    }
    for (; x < srcWidth; ++x) Scale2xPixel(rows, x, srcWidth, out0, out1);
  }
}

void Scale3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  if (srcWidth == 0) return;
  for (unsigned y = 0; y < srcHeight; ++y) {
    RowTriple rows = RowsAround(src, srcPitchBytes, srcHeight, y);
    uint16_t* out[3];
    Scale3xRows(dst, dstPitchBytes, y, out);
    Scale3xPixel(rows, 0, srcWidth, out);
    unsigned x = kFirstVectorColumn;
    for (; VectorFits(x, srcWidth); x += kLanes) {
      Neighbours n = LoadNeighbours(rows, x);
      Vec corners = Not(_mm_or_si128(Equal(n.b, n.h), Equal(n.d, n.f)));
      Vec db = _mm_and_si128(corners, Equal(n.d, n.b));
      Vec bf = _mm_and_si128(corners, Equal(n.b, n.f));
      Vec dh = _mm_and_si128(corners, Equal(n.d, n.h));
      Vec hf = _mm_and_si128(corners, Equal(n.h, n.f));
      Vec ea = NotEqual(n.e, n.a), ec = NotEqual(n.e, n.c);
      Vec eg = NotEqual(n.e, n.g), ei = NotEqual(n.e, n.i);
      Vec e0 = Select(db, n.d, n.e);
      Vec e1 = Select(_mm_or_si128(_mm_and_si128(db, ec), _mm_and_si128(bf, ea)), n.b, n.e);
      Vec e2 = Select(bf, n.f, n.e);
      Vec e3 = Select(_mm_or_si128(_mm_and_si128(db, eg), _mm_and_si128(dh, ea)), n.d, n.e);
      Vec e5 = Select(_mm_or_si128(_mm_and_si128(bf, ei), _mm_and_si128(hf, ec)), n.f, n.e);
      Vec e6 = Select(dh, n.d, n.e);
      Vec e7 = Select(_mm_or_si128(_mm_and_si128(dh, ei), _mm_and_si128(hf, eg)), n.h, n.e);
      Vec e8 = Select(hf, n.f, n.e);
      StoreInterleaved3(out[0] + 3 * x, e0, e1, e2);
      StoreInterleaved3(out[1] + 3 * x, e3, n.e, e5);
      StoreInterleaved3(out[2] + 3 * x, e6, e7, e8);
    }
    for (; x < srcWidth; ++x) Scale3xPixel(rows, x, srcWidth, out);
  }
}

void Scale4xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  uint16_t* mid = (uint16_t*)work;
  size_t midPitchBytes = (size_t)2 * srcWidth * sizeof(uint16_t);
  Scale2xSse2(src, srcPitchBytes, srcWidth, srcHeight, mid, midPitchBytes);
  Scale2xSse2(mid, midPitchBytes, 2 * srcWidth, 2 * srcHeight, dst, dstPitchBytes);
}

#else  // no SSE2: the fast versions are the scalar ones

void Scale2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  Scale2xScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes);
}
void Scale3xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes) {
  Scale3xScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes);
}
void Scale4xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                 unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  Scale4xScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}

#endif

const FilterInfo kScale2x = {"Scale2x", "scale2x", 2, nullptr, WithoutWork<Scale2xScalar>,
                             WithoutWork<Scale2xSse2>, FILTERS_HAVE_SSE2 != 0, WithoutWork<Scale2xAvx2>};
const FilterInfo kScale3x = {"Scale3x", "scale3x", 3, nullptr, WithoutWork<Scale3xScalar>,
                             WithoutWork<Scale3xSse2>, FILTERS_HAVE_SSE2 != 0};
const FilterInfo kScale4x = {"Scale4x", "scale4x", 4, Scale4xWorkBytes, Scale4xScalar,
                             Scale4xSse2, FILTERS_HAVE_SSE2 != 0, Scale4xAvx2};
