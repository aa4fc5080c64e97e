// xBR's rule geometry, shared by its scalar and SSE2 versions (xbr.cpp), and the SSE2
// version's working planes and per-step code. The step code is written over a lane type
// (see "The lane type L" below; xbr.cpp supplies 8 lanes of SSE2), so that it reads as
// the rule does and a wider instruction set can reuse it with a lane type of its own.
//
// The step code lies in an unnamed namespace, so that a file compiled for another
// instruction set that includes this header gets its own copy, which cannot stand in
// for xbr.cpp's at link time.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <type_traits>

#include "pixel.h"
#include "rgb8.h"

const unsigned kXbrBorder = 2;  // the rule looks two pixels away
const unsigned kCorners = 4;

// Pixels the rule reads, named for the bottom-right corner; (u, v) steps along the
// corner's F and H directions.
enum XbrName { kE, kF, kH, kI, kB, kD, kC, kG, kF4, kI4, kH5, kI5, kNames };
constexpr int kNameSteps[kNames][2] = {{0, 0}, {1, 0}, {0, 1},  {1, 1},  {0, -1}, {-1, 0},
                                       {1, -1}, {-1, 1}, {2, 0}, {2, 1}, {0, 2},  {1, 2}};

// The corners' F and H directions (x, y of each), in the order they are examined:
// bottom-right, top-right, top-left, bottom-left. Each is the one before turned a
// quarter turn.
constexpr int kCornerAxes[kCorners][4] = {{1, 0, 0, 1}, {0, -1, 1, 0}, {-1, 0, 0, -1}, {0, 1, -1, 0}};

// The vector version works on L::kCount (8 with SSE2) source pixels per step, one per
// 16-bit lane, through the same rule.
//
// Distances. Every colour distance the rule weighs joins two pixels that are at most a
// knight's move apart, in one of eight directions (below). For each direction, the
// distances from every pixel of a row (the anchor) to its partner are computed once, 16
// at a time from 8-bit Y, U and V planes, into a ring of rows that holds the five
// anchor rows around the current source row; a corner then loads any distance it needs
// as a vector. Computing them per pixel and corner would take about five times as many.
//
// Cases. Each corner decides its case per lane with masks: no rule, half blend,
// 45-degree edge, shallow, steep, or both.
//
// Blends. The sub-pixels are kept as 8-bit channels in 16-bit lanes. Every move the
// rule makes towards the new colour px is a + floor((px - a) m / 2^s) with s <= 3, that
// is a + floor((px - a) w / 8) with w = m 2^(3 - s): 1/4 is w = 2, 3/4 is 6, 7/8 is 7,
// 1/8 is 1, taking px itself is 8, and no change is 0. So each touched sub-pixel gets
// one per-lane weight from the lane's case, and one multiply moves all lanes. The half
// blend (each channel halved, dropping its low bit, then added) is the w = 4 move less
// 1 where both channels are odd. Where the rule copies a sub-pixel it has just blended
// to another, the other is blended from the first one's old value instead, which gives
// the same. The finished block is rounded to R5G6B5 with multiplies that equal
// Quantise565 exactly for every 8-bit value.
//
// Columns beyond the image: the last step of a row may reach up to L::kCount - 1 pixels
// past the right edge. The working copy and planes are wide enough for that (the extra columns
// repeat the edge pixel) and that step's blocks go through a small buffer, of which
// only the image's part is copied out.

// The directions of the distance planes (x, y): right, down, the two diagonals and the
// four knight moves. A pair of pixels is stored at the one of the two from which the
// other lies in one of these directions.
const unsigned kXbrDirections = 8;
constexpr int kXbrDirectionSteps[kXbrDirections][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1},
                                                       {2, 1}, {1, 2}, {2, -1}, {1, -2}};
const unsigned kXbrRingRows = 8;       // rows of the distance ring: a power of two >= 5
const unsigned kXbrRowsAround = 5;     // anchor rows a source row reads: y - 2 to y + 2
const unsigned kXbrYuvBorder = 4;      // rows of the YUV planes above and below the image
const unsigned kXbrDistanceStep = 16;  // anchors per step of the distance rows

// The vector versions' frame: the bordered copy and its planes in the working memory.
struct XbrVectorFrame {
  ptrdiff_t pitch;          // entries between rows of the copy and of the YUV planes
  size_t distanceLength;    // entries of one distance row
  const uint16_t* pixels;   // source pixel (0, 0) in the bordered copy
  const uint8_t* yuv[3];    // ... in the Y, U and V planes
  uint16_t* ring;           // the distance rows
};

// Prepares the frame in the working memory (xbr.cpp).
XbrVectorFrame PrepareXbrVector(const uint16_t* src, size_t srcPitchBytes, unsigned width,
                                unsigned height, void* work);

// Fills the ring's rows for anchor row r (xbr.cpp).
void XbrComputeDistances(const XbrVectorFrame& f, ptrdiff_t r);

// The four corners are forced inline into the step (GCC left them as calls, which kept
// the block in memory between corners: 20% slower at 2x).
#if defined(__GNUC__)
#define XBR_FORCE_INLINE inline __attribute__((always_inline))
#else
#define XBR_FORCE_INLINE inline
#endif

namespace {

// The distance row of direction k for anchors in source row r, at anchor column 0
// (the row starts at column -2).
inline uint16_t* XbrDistanceRow(const XbrVectorFrame& f, unsigned k, ptrdiff_t r) {
  size_t slot = (size_t)r & (kXbrRingRows - 1);
  return f.ring + (slot * kXbrDirections + k) * f.distanceLength + kXbrBorder;
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
// the N x N block: the sub-pixel's centre, relative to the block's centre and doubled
// to stay whole, turned like the corner.
constexpr unsigned XbrCellOf(unsigned N, unsigned corner, unsigned n) {
  int u = 2 * (int)(n % N) - (int)(N - 1), v = 2 * (int)(n / N) - (int)(N - 1);
  int x = (u * kCornerAxes[corner][0] + v * kCornerAxes[corner][2] + (int)(N - 1)) / 2;
  int y = (u * kCornerAxes[corner][1] + v * kCornerAxes[corner][3] + (int)(N - 1)) / 2;
  return (unsigned)(y * (int)N + x);
}

// The lane type L supplies, as static functions on L::V (lanes of 16 bits):
//   Load(p), Store(p, v)           unaligned, L::kCount pixels
//   Set(w), Zero()                 every lane w, or 0
//   Add, Sub, Mul (low 16 bits), MulHigh (high 16 bits, unsigned), And, Or,
//   AndNot(a, b) = ~a & b, Equal, Greater (signed)
//   Sra<s>, Sll<s>, Srl<s>         shifts by a constant
//   Select(mask, a, b)             mask ? a : b per lane
//   Any(mask)                      some lane of the mask is set
//   Store2(dst, a, b), Store3(dst, a, b, c), Store4(dst, a, b, c, d): a0 b0 a1 b1 ...

template <class L, unsigned K, XbrName A>
inline typename L::V XbrLoadPixel(const XbrRows& rows, ptrdiff_t x) {
  constexpr XbrStep s = XbrPlace(K, A);
  return L::Load(rows.pixels[s.y + 2] + x + s.x);
}

template <class L, unsigned K, XbrName A, XbrName B>
inline typename L::V XbrLoadDistance(const XbrRows& rows, ptrdiff_t x) {
  constexpr XbrPairPlace p = XbrPairOf(K, A, B);
  static_assert(p.direction < kXbrDirections, "every distance of the rule has a plane");
  return L::Load(rows.distances[p.direction][p.y + 2] + x + p.x);
}

// An N x N block of L::kCount pixels: each sub-pixel's red, green and blue (8-bit, in
// 16-bit lanes).
template <class L, unsigned N>
struct XbrCells {
  typename L::V ch[3][N * N];
};

// The case of one corner for a step's lanes: the new colour's channels and the lanes of
// each case (disjoint masks; lanes in none keep their sub-pixels).
template <class L>
struct XbrCase {
  typename L::V px[3];
  typename L::V half;     // the corner sub-pixel blended halfway (e == i, or the edge unconfirmed)
  typename L::V both;     // a confirmed edge both shallow and steep
  typename L::V shallow;  // ... shallow only
  typename L::V steep;    // ... steep only
  typename L::V diag;     // ... neither: a 45-degree edge
};

// mask ? w : 0, lane by lane.
template <class L>
inline typename L::V XbrWeight(typename L::V mask, short w) {
  return L::And(mask, L::Set(w));
}

// Moves sub-pixel `to` of the block towards px by w / 8 per lane, channel by channel,
// rounded down. With kTake it starts from sub-pixel `from` (its value before this
// corner) in the lanes of `take`; with kHalf it takes a further 1 off where halfOne has
// 1 and both channels are odd (a w = 4 move so becomes XbrHalf).
template <bool kTake, bool kHalf, class L, unsigned N>
inline void XbrMove(XbrCells<L, N>& c, unsigned to, unsigned from, typename L::V take, typename L::V w,
                    typename L::V halfOne, const typename L::V px[3]) {
  typedef typename L::V V;
  for (unsigned k = 0; k < 3; ++k) {
    V a = c.ch[k][to];
    if (kTake) a = L::Select(take, c.ch[k][from], a);
    V moved = L::Add(a, L::template Sra<3>(L::Mul(L::Sub(px[k], a), w)));
    if (kHalf) moved = L::Sub(moved, L::And(L::And(a, px[k]), halfOne));
    c.ch[k][to] = moved;
  }
}

// The blends of each case, per scale, in the corner's layout (see CornerRule in
// xbr.cpp). Sub-pixels that take another's value are moved first, while that one still
// has its old value.
template <unsigned K, class L>
inline void XbrApply(const XbrCase<L>& s, XbrCells<L, 2>& c) {
  typedef typename L::V V;
  const unsigned c1 = XbrCellOf(2, K, 1), c2 = XbrCellOf(2, K, 2), c3 = XbrCellOf(2, K, 3);
  const V one = L::Set(1), none = L::Zero();
  V halfway = L::Or(s.half, s.diag);
  XbrMove<true, false>(c, c1, c2, s.both, XbrWeight<L>(L::Or(s.both, s.steep), 2), none, s.px);
  XbrMove<false, false>(c, c2, c2, none, XbrWeight<L>(L::Or(s.both, s.shallow), 2), none, s.px);
  V w3 = L::Or(L::Or(XbrWeight<L>(s.both, 7), XbrWeight<L>(L::Or(s.shallow, s.steep), 6)),
               XbrWeight<L>(halfway, 4));
  XbrMove<false, true>(c, c3, c3, none, w3, L::And(halfway, one), s.px);
}

template <unsigned K, class L>
inline void XbrApply(const XbrCase<L>& s, XbrCells<L, 3>& c) {
  typedef typename L::V V;
  const unsigned c2 = XbrCellOf(3, K, 2), c5 = XbrCellOf(3, K, 5), c6 = XbrCellOf(3, K, 6);
  const unsigned c7 = XbrCellOf(3, K, 7), c8 = XbrCellOf(3, K, 8);
  const V one = L::Set(1), none = L::Zero();
  V bothSteep = L::Or(s.both, s.steep), bothShallow = L::Or(s.both, s.shallow);
  V w5 = L::Or(L::Or(XbrWeight<L>(bothSteep, 6), XbrWeight<L>(s.shallow, 2)), XbrWeight<L>(s.diag, 1));
  XbrMove<true, false>(c, c5, c7, s.both, w5, none, s.px);
  XbrMove<true, false>(c, c2, c6, s.both, XbrWeight<L>(bothSteep, 2), none, s.px);
  V w7 = L::Or(L::Or(XbrWeight<L>(bothShallow, 6), XbrWeight<L>(s.steep, 2)), XbrWeight<L>(s.diag, 1));
  XbrMove<false, false>(c, c7, c7, none, w7, none, s.px);
  XbrMove<false, false>(c, c6, c6, none, XbrWeight<L>(bothShallow, 2), none, s.px);
  V w8 = L::Or(L::Or(XbrWeight<L>(L::Or(bothShallow, s.steep), 8), XbrWeight<L>(s.diag, 7)),
               XbrWeight<L>(s.half, 4));
  XbrMove<false, true>(c, c8, c8, none, w8, L::And(s.half, one), s.px);
}

template <unsigned K, class L>
inline void XbrApply(const XbrCase<L>& s, XbrCells<L, 4>& c) {
  typedef typename L::V V;
  const unsigned c3 = XbrCellOf(4, K, 3), c7 = XbrCellOf(4, K, 7), c10 = XbrCellOf(4, K, 10);
  const unsigned c11 = XbrCellOf(4, K, 11), c12 = XbrCellOf(4, K, 12), c13 = XbrCellOf(4, K, 13);
  const unsigned c14 = XbrCellOf(4, K, 14), c15 = XbrCellOf(4, K, 15);
  const V one = L::Set(1), none = L::Zero();
  V bothSteep = L::Or(s.both, s.steep), bothShallow = L::Or(s.both, s.shallow);
  V edge = L::Or(bothShallow, s.steep);
  V diagOne = L::And(s.diag, one);
  XbrMove<true, false>(c, c10, c12, s.both, XbrWeight<L>(edge, 2), none, s.px);
  XbrMove<true, false>(c, c3, c12, s.both, XbrWeight<L>(bothSteep, 2), none, s.px);
  XbrMove<true, false>(c, c7, c13, s.both, XbrWeight<L>(bothSteep, 6), none, s.px);
  XbrMove<false, false>(c, c12, c12, none, XbrWeight<L>(bothShallow, 2), none, s.px);
  XbrMove<false, false>(c, c13, c13, none, XbrWeight<L>(bothShallow, 6), none, s.px);
  V w14 = L::Or(L::Or(XbrWeight<L>(bothShallow, 8), XbrWeight<L>(s.steep, 6)), XbrWeight<L>(s.diag, 4));
  XbrMove<false, true>(c, c14, c14, none, w14, diagOne, s.px);
  V w11 = L::Or(L::Or(XbrWeight<L>(bothSteep, 8), XbrWeight<L>(s.shallow, 6)), XbrWeight<L>(s.diag, 4));
  XbrMove<false, true>(c, c11, c11, none, w11, diagOne, s.px);
  V w15 = L::Or(XbrWeight<L>(L::Or(edge, s.diag), 8), XbrWeight<L>(s.half, 4));
  XbrMove<false, true>(c, c15, c15, none, w15, L::And(s.half, one), s.px);
}

// Corner K of the step's pixels E at column x: decides each lane's case as CornerRule
// does and blends the block.
template <class L, unsigned N, unsigned K>
XBR_FORCE_INLINE void XbrCornerVector(const XbrRows& rows, ptrdiff_t x, typename L::V E, XbrCells<L, N>& cells) {
  typedef typename L::V V;
  auto pixel = [&](auto name) { return XbrLoadPixel<L, K, decltype(name)::value>(rows, x); };
  auto d = [&](auto a, auto b) {
    return XbrLoadDistance<L, K, decltype(a)::value, decltype(b)::value>(rows, x);
  };
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

  V F = pixel(nF()), H = pixel(nH());
  V same = L::Or(L::Equal(E, F), L::Equal(E, H));
  if (!L::Any(L::AndNot(same, L::Equal(same, same)))) return;
  V e = L::Add(L::Add(L::Add(d(nE(), nC()), d(nE(), nG())), L::Add(d(nI(), nH5()), d(nI(), nF4()))),
               L::template Sll<2>(d(nH(), nF())));
  V i = L::Add(L::Add(L::Add(d(nH(), nD()), d(nH(), nI5())), L::Add(d(nF(), nI4()), d(nF(), nB()))),
               L::template Sll<2>(d(nE(), nI())));
  // Sums reach 8 * 765 at most: signed 16-bit compares are exact.
  V fire = L::AndNot(L::Or(same, L::Greater(e, i)), L::Equal(e, e));
  if (!L::Any(fire)) return;

  const V alikeBelow = L::Set((short)kXbrAlikeBelow);
  auto alike = [&](V dist) { return L::Greater(alikeBelow, dist); };
  auto unlike = [&](V dist) { return L::AndNot(alike(dist), fire); };  // within fire
  V alikeEI = alike(d(nE(), nI()));
  V confirmed;
  if (N == 3) {
    V alongF = L::And(unlike(d(nF(), nB())), unlike(d(nF(), nC())));
    V alongH = L::And(unlike(d(nH(), nD())), unlike(d(nH(), nG())));
    V farF = L::And(unlike(d(nF(), nF4())), unlike(d(nF(), nI4())));
    V farH = L::And(unlike(d(nH(), nH5())), unlike(d(nH(), nI5())));
    confirmed = L::Or(L::Or(alongF, alongH), L::And(alikeEI, L::Or(farF, farH)));
  } else {
    V sides = L::And(unlike(d(nF(), nB())), unlike(d(nH(), nD())));
    V far = L::And(alikeEI, L::And(unlike(d(nF(), nI4())), unlike(d(nH(), nI5()))));
    confirmed = L::Or(sides, far);
  }
  confirmed = L::And(fire, L::Or(confirmed, L::Or(alike(d(nE(), nG())), alike(d(nE(), nC())))));

  XbrCase<L> s;
  // Lanes that fire with e < i and a confirmed edge blend by the edge's kind; the other
  // lanes that fire blend halfway.
  V full = L::AndNot(L::Equal(e, i), confirmed);
  s.half = L::AndNot(full, fire);
  V G = pixel(nG()), C = pixel(nC());
  V ke = d(nF(), nG()), ki = d(nH(), nC());
  V notShallow = L::Or(L::Greater(L::Add(ke, ke), ki), L::Or(L::Equal(E, G), L::Equal(pixel(nD()), G)));
  V notSteep = L::Or(L::Greater(L::Add(ki, ki), ke), L::Or(L::Equal(E, C), L::Equal(pixel(nB()), C)));
  V shallow = L::AndNot(notShallow, full), steep = L::AndNot(notSteep, full);
  s.both = L::And(shallow, steep);
  s.shallow = L::AndNot(steep, shallow);
  s.steep = L::AndNot(shallow, steep);
  s.diag = L::AndNot(L::Or(shallow, steep), full);
  // px is F where d(E, F) <= d(E, H), else H.
  V pxIsH = L::Greater(d(nE(), nF()), d(nE(), nH()));
  Expand565Lanes<L>(L::Select(pxIsH, H, F), s.px);
  XbrApply<K>(s, cells);
}

// Writes the step's pixels v, each as an N x N block, at out (N rows).
template <class L, unsigned N>
inline void XbrStoreBlocks(uint16_t* out, size_t dstPitchBytes, const typename L::V* cells) {
  for (unsigned cy = 0; cy < N; ++cy) {
    uint16_t* row = RowOf(out, dstPitchBytes, cy);
    const typename L::V* r = cells + cy * N;
    if (N == 2) L::Store2(row, r[0], r[1]);
    if (N == 3) L::Store3(row, r[0], r[1], r[2]);
    if (N == 4) L::Store4(row, r[0], r[1], r[2], r[3]);
  }
}

// The blocks of the step's pixels at column x, written at out (N rows). Where no corner
// of the step can fire (none has E unlike both pixels beside a corner), each block is E.
template <class L, unsigned N>
inline void XbrStepLanes(const XbrRows& rows, ptrdiff_t x, uint16_t* out, size_t dstPitchBytes) {
  typedef typename L::V V;
  const uint16_t* mid = rows.pixels[2] + x;
  V E = L::Load(mid);
  V sameF = L::Equal(E, L::Load(mid + 1)), sameD = L::Equal(E, L::Load(mid - 1));
  V sameB = L::Equal(E, L::Load(rows.pixels[1] + x)), sameH = L::Equal(E, L::Load(rows.pixels[3] + x));
  // A corner can fire where (F or D) and (B or H) differ from E.
  V quiet = L::Or(L::And(sameF, sameD), L::And(sameB, sameH));
  V q[N * N];
  if (!L::Any(L::AndNot(quiet, L::Equal(E, E)))) {
    for (unsigned n = 0; n < N * N; ++n) q[n] = E;
    XbrStoreBlocks<L, N>(out, dstPitchBytes, q);
    return;
  }
  XbrCells<L, N> cells;
  V e[3];
  Expand565Lanes<L>(E, e);
  for (unsigned k = 0; k < 3; ++k) {
    for (unsigned n = 0; n < N * N; ++n) cells.ch[k][n] = e[k];
  }
  XbrCornerVector<L, N, 0>(rows, x, E, cells);
  XbrCornerVector<L, N, 1>(rows, x, E, cells);
  XbrCornerVector<L, N, 2>(rows, x, E, cells);
  XbrCornerVector<L, N, 3>(rows, x, E, cells);
  for (unsigned n = 0; n < N * N; ++n) {
    V ch[3] = {cells.ch[0][n], cells.ch[1][n], cells.ch[2][n]};
    q[n] = Quantise565Lanes<L>(ch);
  }
  XbrStoreBlocks<L, N>(out, dstPitchBytes, q);
}

// The vector version over a prepared frame, L::kCount pixels per step.
template <class L, unsigned N>
void XbrVectorFilter(const XbrVectorFrame& f, unsigned srcWidth, unsigned srcHeight, uint16_t* dst,
                     size_t dstPitchBytes) {
  const ptrdiff_t height = srcHeight, width = srcWidth, around = kXbrRowsAround / 2;
  const ptrdiff_t lanes = L::kCount;
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
    for (; x + lanes <= width; x += lanes) XbrStepLanes<L, N>(rows, x, out + N * x, dstPitchBytes);
    if (x < width) {
      // The last pixels of the row: a whole step into a buffer, of which the row's part
      // is copied out.
      const size_t kRow = N * L::kCount;
      uint16_t tail[N * kRow];
      XbrStepLanes<L, N>(rows, x, tail, kRow * sizeof(uint16_t));
      for (unsigned cy = 0; cy < N; ++cy) {
        uint16_t* to = RowOf(out, dstPitchBytes, cy) + N * x;
        for (size_t k = 0; k < N * (size_t)(width - x); ++k) to[k] = tail[cy * kRow + k];
      }
    }
  }
}

}  // namespace
