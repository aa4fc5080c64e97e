// 2xSaI, Super 2xSaI and Super Eagle.
//
// Each rule is written once, over "lanes": ScalarLanes runs it on one pixel (the plain
// C++ version), Sse2Lanes on 8 pixels at a time. Conditions are masks and every
// if/else of the published rules is a select, so both versions compute the same thing.
//
// Neighbourhood of the source pixel at (x, y), named as in the published rules of each
// filter:
//
//   2xSaI:             Super 2xSaI and Super Eagle:
//      I  E  F  J         B0 B1 B2 B3
//      G  A  B  K         4  5  6  S2
//      H  C  D  L         1  2  3  S1
//      M  N  O  P         A0 A1 A2 A3
//
// (A and 5 are the pixel itself.) The block's four sub-pixels are, in reading order,
// A, TR, BL, BR for 2xSaI and 1a, 1b, 2a, 2b for the other two.
#include "sai.h"

#include "padded.h"
#include "simd.h"

namespace {

const unsigned kSaiBorder = 2;  // the rules read one pixel up and left, two right and down

struct ScalarLanes {
  typedef uint16_t P;
  typedef bool M;
  typedef int I;
  static P Load(const uint16_t* p) { return *p; }
  static M Eq(P a, P b) { return a == b; }
  static M Ne(P a, P b) { return a != b; }
  static M And(M a, M b) { return a && b; }
  static M Or(M a, M b) { return a || b; }
  static M Not(M a) { return !a; }
  static P Sel(M m, P a, P b) { return m ? a : b; }
  static P Avg(P a, P b) { return Mean2(a, b); }
  static P Avg4(P a, P b, P c, P d) { return Mean4(a, b, c, d); }
  static I One(M m) { return m ? 1 : 0; }
  static I Add(I a, I b) { return a + b; }
  static I Sub(I a, I b) { return a - b; }
  static M Positive(I a) { return a > 0; }
  static M Negative(I a) { return a < 0; }
};

// The vote of the published rules ("GetResult"): +1 when C and D are not both A, -1
// when they are not both B (a pixel equal to A does not count for B).
template <typename L>
typename L::I Vote(typename L::P A, typename L::P B, typename L::P C, typename L::P D) {
  typename L::M ac = L::Eq(A, C), ad = L::Eq(A, D);
  typename L::M bc = L::And(L::Not(ac), L::Eq(B, C)), bd = L::And(L::Not(ad), L::Eq(B, D));
  return L::Sub(L::One(L::Not(L::And(ac, ad))), L::One(L::Not(L::And(bc, bd))));
}

// 2xSaI of the pixel at p (rows `pitch` pixels apart); out[0..3] = A, TR, BL, BR.
template <typename L>
void Sai2xBlock(const uint16_t* p, ptrdiff_t w, typename L::P out[4]) {
  typedef typename L::P P;
  typedef typename L::M M;
  P I = L::Load(p - w - 1), E = L::Load(p - w), F = L::Load(p - w + 1), J = L::Load(p - w + 2);
  P G = L::Load(p - 1), A = L::Load(p), B = L::Load(p + 1), K = L::Load(p + 2);
  P H = L::Load(p + w - 1), C = L::Load(p + w), D = L::Load(p + w + 1), Lp = L::Load(p + w + 2);
  P Mp = L::Load(p + 2 * w - 1), N = L::Load(p + 2 * w), O = L::Load(p + 2 * w + 1), Pp = L::Load(p + 2 * w + 2);
  (void)Pp;

  M ad = L::Eq(A, D), bc = L::Eq(B, C);
  M alongA = L::And(ad, L::Not(bc));  // only A-D is a line
  M alongB = L::And(bc, L::Not(ad));  // only B-C is a line
  M both = L::And(ad, bc);
  // Line continuations that keep a sub-pixel sharp.
  M topKeepsA = L::And(L::And(L::Eq(A, C), L::Eq(A, F)), L::And(L::Ne(B, E), L::Eq(B, J)));
  M topTakesB = L::And(L::And(L::Eq(B, E), L::Eq(B, D)), L::And(L::Ne(A, F), L::Eq(A, I)));
  M leftKeepsA = L::And(L::And(L::Eq(A, B), L::Eq(A, H)), L::And(L::Ne(G, C), L::Eq(C, Mp)));
  M leftTakesC = L::And(L::And(L::Eq(C, G), L::Eq(C, D)), L::And(L::Ne(A, H), L::Eq(A, I)));
  P meanAB = L::Avg(A, B), meanAC = L::Avg(A, C), mean4 = L::Avg4(A, B, C, D);
  M sameAB = L::Eq(A, B);

  // Top right.
  P topOther = L::Sel(topKeepsA, A, L::Sel(topTakesB, B, meanAB));
  P topAlongA = L::Sel(L::Or(L::And(L::Eq(A, E), L::Eq(B, Lp)), topKeepsA), A, meanAB);
  P topAlongB = L::Sel(L::Or(L::And(L::Eq(B, F), L::Eq(A, H)), topTakesB), B, meanAB);
  P topBoth = L::Sel(sameAB, A, meanAB);
  out[1] = L::Sel(alongA, topAlongA, L::Sel(alongB, topAlongB, L::Sel(both, topBoth, topOther)));

  // Bottom left.
  P leftOther = L::Sel(leftKeepsA, A, L::Sel(leftTakesC, C, meanAC));
  P leftAlongA = L::Sel(L::Or(L::And(L::Eq(A, G), L::Eq(C, O)), leftKeepsA), A, meanAC);
  P leftAlongB = L::Sel(L::Or(L::And(L::Eq(C, H), L::Eq(A, F)), leftTakesC), C, meanAC);
  P leftBoth = L::Sel(sameAB, A, meanAC);
  out[2] = L::Sel(alongA, leftAlongA, L::Sel(alongB, leftAlongB, L::Sel(both, leftBoth, leftOther)));

  // Bottom right: on a crossing of two lines, the vote of the surroundings decides.
  // (The published rules count the votes of B's side with the opposite sign.)
  typename L::I r = L::Sub(L::Add(Vote<L>(A, B, G, E), Vote<L>(A, B, Lp, O)),
                           L::Add(Vote<L>(B, A, K, F), Vote<L>(B, A, H, N)));
  P crossing = L::Sel(L::Or(sameAB, L::Positive(r)), A, L::Sel(L::Negative(r), B, mean4));
  out[3] = L::Sel(alongA, A, L::Sel(alongB, B, L::Sel(both, crossing, mean4)));
  out[0] = A;
}

// The vote of Super 2xSaI and Super Eagle where both diagonals of the 2x2 window are
// lines: positive for the 6-2 diagonal, negative for the 5-3 one.
template <typename L>
typename L::I CrossingVote(typename L::P c5, typename L::P c6, typename L::P c1, typename L::P c4,
                           typename L::P A1, typename L::P A2, typename L::P B1, typename L::P B2,
                           typename L::P S1, typename L::P S2) {
  return L::Add(L::Add(Vote<L>(c6, c5, c1, A1), Vote<L>(c6, c5, c4, B1)),
                L::Add(Vote<L>(c6, c5, A2, S1), Vote<L>(c6, c5, B2, S2)));
}

// Super 2xSaI of the pixel at p; out[0..3] = 1a, 1b, 2a, 2b.
template <typename L>
void SuperSai2xBlock(const uint16_t* p, ptrdiff_t w, typename L::P out[4]) {
  typedef typename L::P P;
  typedef typename L::M M;
  P B0 = L::Load(p - w - 1), B1 = L::Load(p - w), B2 = L::Load(p - w + 1), B3 = L::Load(p - w + 2);
  P c4 = L::Load(p - 1), c5 = L::Load(p), c6 = L::Load(p + 1), S2 = L::Load(p + 2);
  P c1 = L::Load(p + w - 1), c2 = L::Load(p + w), c3 = L::Load(p + w + 1), S1 = L::Load(p + w + 2);
  P A0 = L::Load(p + 2 * w - 1), A1 = L::Load(p + 2 * w), A2 = L::Load(p + 2 * w + 1), A3 = L::Load(p + 2 * w + 2);

  M line26 = L::Eq(c2, c6), line53 = L::Eq(c5, c3);
  M only26 = L::And(line26, L::Not(line53)), only53 = L::And(line53, L::Not(line26));
  M both = L::And(line26, line53);
  typename L::I r = CrossingVote<L>(c5, c6, c1, c4, A1, A2, B1, B2, S1, S2);
  P crossing = L::Sel(L::Positive(r), c6, L::Sel(L::Negative(r), c5, L::Avg(c5, c6)));

  // Right column where no diagonal is a line: a quarter towards the neighbour where a
  // line of three runs on.
  P lowerRight = L::Sel(L::And(L::And(L::Eq(c6, c3), L::Eq(c3, A1)), L::And(L::Ne(c2, A2), L::Ne(c3, A0))),
                        L::Avg4(c3, c3, c3, c2),
                        L::Sel(L::And(L::And(L::Eq(c5, c2), L::Eq(c2, A2)), L::And(L::Ne(A1, c3), L::Ne(c2, A3))),
                               L::Avg4(c2, c2, c2, c3), L::Avg(c2, c3)));
  P upperRight = L::Sel(L::And(L::And(L::Eq(c6, c3), L::Eq(c6, B1)), L::And(L::Ne(c5, B2), L::Ne(c6, B0))),
                        L::Avg4(c6, c6, c6, c5),
                        L::Sel(L::And(L::And(L::Eq(c5, c2), L::Eq(c5, B2)), L::And(L::Ne(B1, c6), L::Ne(c5, B3))),
                               L::Avg4(c6, c5, c5, c5), L::Avg(c5, c6)));
  out[3] = L::Sel(only26, c2, L::Sel(only53, c5, L::Sel(both, crossing, lowerRight)));
  out[1] = L::Sel(only26, c2, L::Sel(only53, c5, L::Sel(both, crossing, upperRight)));

  // Left column: the pixel itself (1a) and the one below (2a), halved with the other
  // where a line meets the block's edge.
  P mean25 = L::Avg(c2, c5);
  M lowerLeftMix = L::Or(L::And(L::And(only53, L::Eq(c4, c5)), L::Ne(c5, A2)),
                         L::And(L::And(L::Eq(c5, c1), L::Eq(c6, c5)), L::And(L::Ne(c4, c2), L::Ne(c5, A0))));
  M upperLeftMix = L::Or(L::And(L::And(only26, L::Eq(c1, c2)), L::Ne(c2, B2)),
                         L::And(L::And(L::Eq(c4, c2), L::Eq(c3, c2)), L::And(L::Ne(c1, c5), L::Ne(c2, B0))));
  out[2] = L::Sel(lowerLeftMix, mean25, c2);
  out[0] = L::Sel(upperLeftMix, mean25, c5);
}

// Super Eagle of the pixel at p; out[0..3] = 1a, 1b, 2a, 2b.
template <typename L>
void SuperEagle2xBlock(const uint16_t* p, ptrdiff_t w, typename L::P out[4]) {
  typedef typename L::P P;
  typedef typename L::M M;
  P B1 = L::Load(p - w), B2 = L::Load(p - w + 1);
  P c4 = L::Load(p - 1), c5 = L::Load(p), c6 = L::Load(p + 1), S2 = L::Load(p + 2);
  P c1 = L::Load(p + w - 1), c2 = L::Load(p + w), c3 = L::Load(p + w + 1), S1 = L::Load(p + w + 2);
  P A1 = L::Load(p + 2 * w), A2 = L::Load(p + 2 * w + 1);

  M line26 = L::Eq(c2, c6), line53 = L::Eq(c5, c3);
  M only26 = L::And(line26, L::Not(line53)), only53 = L::And(line53, L::Not(line26));
  M both = L::And(line26, line53);
  typename L::I r = CrossingVote<L>(c5, c6, c1, c4, A1, A2, B1, B2, S1, S2);
  P mean56 = L::Avg(c5, c6), mean23 = L::Avg(c2, c3);

  // Only the 6-2 diagonal is a line: 1b and 2a are its colour; 1a and 2b lean towards it
  // (three quarters) where it goes on beyond the window.
  P a1a = L::Sel(L::Or(L::Eq(c1, c2), L::Eq(c6, B2)), L::Avg(c2, L::Avg(c2, c5)), mean56);
  P a2b = L::Sel(L::Or(L::Eq(c6, S2), L::Eq(c2, A1)), L::Avg(c2, mean23), mean23);
  // Only the 5-3 diagonal: 1a and 2b are its colour; 1b and 2a lean towards it.
  P b1b = L::Sel(L::Or(L::Eq(B1, c5), L::Eq(c3, S1)), L::Avg(c5, mean56), mean56);
  P b2a = L::Sel(L::Or(L::Eq(c3, A2), L::Eq(c4, c5)), L::Avg(c5, L::Avg(c5, c2)), mean23);
  // Both: the vote picks the line that stays; the other diagonal's sub-pixels are the
  // mean of 5 and 6. A tie keeps each sub-pixel's own colour.
  M pos = L::Positive(r), neg = L::Negative(r);
  P x1a = L::Sel(pos, mean56, c5), x2b = L::Sel(pos, mean56, c5);
  P x1b = L::Sel(neg, mean56, c2), x2a = L::Sel(neg, mean56, c2);
  // Neither: each sub-pixel three quarters its own pixel, a quarter the mean of the
  // other diagonal.
  P mean26 = L::Avg(c2, c6), mean53 = L::Avg(c5, c3);
  P n1a = L::Avg4(c5, c5, c5, mean26), n2b = L::Avg4(c3, c3, c3, mean26);
  P n2a = L::Avg4(c2, c2, c2, mean53), n1b = L::Avg4(c6, c6, c6, mean53);

  out[0] = L::Sel(only26, a1a, L::Sel(only53, c5, L::Sel(both, x1a, n1a)));
  out[1] = L::Sel(only26, c2, L::Sel(only53, b1b, L::Sel(both, x1b, n1b)));
  out[2] = L::Sel(only26, c2, L::Sel(only53, b2a, L::Sel(both, x2a, n2a)));
  out[3] = L::Sel(only26, a2b, L::Sel(only53, c5, L::Sel(both, x2b, n2b)));
}

template <void (*Block)(const uint16_t*, ptrdiff_t, uint16_t*)>
void SaiScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
               uint16_t* dst, size_t dstPitchBytes, void* work) {
  if (srcWidth == 0 || srcHeight == 0) return;
  const uint16_t* origin = CopyWithBorder(src, srcPitchBytes, srcWidth, srcHeight, kSaiBorder, (uint16_t*)work);
  ptrdiff_t pitch = (ptrdiff_t)PaddedPitch(srcWidth, kSaiBorder);
  for (unsigned y = 0; y < srcHeight; ++y) {
    uint16_t* top = RowOf(dst, dstPitchBytes, 2 * (size_t)y);
    uint16_t* bottom = RowOf(dst, dstPitchBytes, 2 * (size_t)y + 1);
    for (unsigned x = 0; x < srcWidth; ++x) {
      uint16_t out[4];
      Block(origin + (ptrdiff_t)y * pitch + x, pitch, out);
      top[2 * x] = out[0], top[2 * x + 1] = out[1];
      bottom[2 * x] = out[2], bottom[2 * x + 1] = out[3];
    }
  }
}

#if FILTERS_HAVE_SSE2

struct Sse2Lanes {
  typedef Vec P;
  typedef Vec M;
  typedef Vec I;
  static P Load(const uint16_t* p) { return LoadPixels(p); }
  static M Eq(P a, P b) { return Equal(a, b); }
  static M Ne(P a, P b) { return NotEqual(a, b); }
  static M And(M a, M b) { return _mm_and_si128(a, b); }
  static M Or(M a, M b) { return _mm_or_si128(a, b); }
  static M Not(M a) { return ::Not(a); }
  static P Sel(M m, P a, P b) { return Select(m, a, b); }
  static P Avg(P a, P b) {
    const Vec high = _mm_set1_epi16((short)0xF7DE), low = _mm_set1_epi16(0x0821);
    return _mm_add_epi16(_mm_add_epi16(_mm_srli_epi16(_mm_and_si128(a, high), 1), _mm_srli_epi16(_mm_and_si128(b, high), 1)),
                         _mm_and_si128(_mm_and_si128(a, b), low));
  }
  static P Avg4(P a, P b, P c, P d) {
    const Vec high = _mm_set1_epi16((short)0xE79C), low = _mm_set1_epi16(0x1863);
    Vec h = _mm_add_epi16(_mm_add_epi16(_mm_srli_epi16(_mm_and_si128(a, high), 2), _mm_srli_epi16(_mm_and_si128(b, high), 2)),
                          _mm_add_epi16(_mm_srli_epi16(_mm_and_si128(c, high), 2), _mm_srli_epi16(_mm_and_si128(d, high), 2)));
    Vec l = _mm_add_epi16(_mm_add_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low)),
                          _mm_add_epi16(_mm_and_si128(c, low), _mm_and_si128(d, low)));
    return _mm_add_epi16(h, _mm_and_si128(_mm_srli_epi16(l, 2), low));
  }
  static I One(M m) { return _mm_srli_epi16(m, 15); }
  static I Add(I a, I b) { return _mm_add_epi16(a, b); }
  static I Sub(I a, I b) { return _mm_sub_epi16(a, b); }
  static M Positive(I a) { return _mm_cmpgt_epi16(a, _mm_setzero_si128()); }
  static M Negative(I a) { return _mm_cmplt_epi16(a, _mm_setzero_si128()); }
};

template <void (*Block)(const uint16_t*, ptrdiff_t, uint16_t*), void (*BlockV)(const uint16_t*, ptrdiff_t, Vec*)>
void SaiSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
             uint16_t* dst, size_t dstPitchBytes, void* work) {
  if (srcWidth == 0 || srcHeight == 0) return;
  const uint16_t* origin = CopyWithBorder(src, srcPitchBytes, srcWidth, srcHeight, kSaiBorder, (uint16_t*)work);
  ptrdiff_t pitch = (ptrdiff_t)PaddedPitch(srcWidth, kSaiBorder);
  for (unsigned y = 0; y < srcHeight; ++y) {
    uint16_t* top = RowOf(dst, dstPitchBytes, 2 * (size_t)y);
    uint16_t* bottom = RowOf(dst, dstPitchBytes, 2 * (size_t)y + 1);
    const uint16_t* row = origin + (ptrdiff_t)y * pitch;
    unsigned x = 0;
    for (; x + kLanes <= srcWidth; x += kLanes) {
      Vec out[4];
      BlockV(row + x, pitch, out);
      StoreInterleaved2(top + 2 * x, out[0], out[1]);
      StoreInterleaved2(bottom + 2 * x, out[2], out[3]);
    }
    for (; x < srcWidth; ++x) {
      uint16_t out[4];
      Block(row + x, pitch, out);
      top[2 * x] = out[0], top[2 * x + 1] = out[1];
      bottom[2 * x] = out[2], bottom[2 * x + 1] = out[3];
    }
  }
}

#endif  // FILTERS_HAVE_SSE2

}  // namespace

size_t SaiWorkBytes(unsigned srcWidth, unsigned srcHeight) {
  return PaddedPixelCount(srcWidth, srcHeight, kSaiBorder) * sizeof(uint16_t);
}

#define SAI_ENTRIES(Name, Block)                                                                          \
  void Name##Scalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,    \
                    uint16_t* dst, size_t dstPitchBytes, void* work) {                                   \
    SaiScalar<Block<ScalarLanes>>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);    \
  }                                                                                                       \
  void Name##Sse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,      \
                  uint16_t* dst, size_t dstPitchBytes, void* work) {                                     \
    SAI_FAST(Block);                                                                                      \
  }
#if FILTERS_HAVE_SSE2
#define SAI_FAST(Block) \
  SaiSse2<Block<ScalarLanes>, Block<Sse2Lanes>>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work)
#else
#define SAI_FAST(Block) \
  SaiScalar<Block<ScalarLanes>>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work)
#endif
SAI_ENTRIES(Sai2x, Sai2xBlock)
SAI_ENTRIES(SuperSai2x, SuperSai2xBlock)
SAI_ENTRIES(SuperEagle2x, SuperEagle2xBlock)

const FilterInfo kSai2x = {"2xSaI", "2xsai", 2, SaiWorkBytes, Sai2xScalar, Sai2xSse2, FILTERS_HAVE_SSE2 != 0};
const FilterInfo kSuperSai2x = {"Super 2xSaI", "super2xsai", 2, SaiWorkBytes, SuperSai2xScalar, SuperSai2xSse2,
                                FILTERS_HAVE_SSE2 != 0};
const FilterInfo kSuperEagle2x = {"Super Eagle", "supereagle", 2, SaiWorkBytes, SuperEagle2xScalar,
                                  SuperEagle2xSse2, FILTERS_HAVE_SSE2 != 0};
