// MMPX 2x. Neighbourhood of the source pixel E (the rules also look at pixels three
// away along the row and the column, and at a few knight's-move pixels):
//
//           P
//        A  B  C
//     Q  D  E  F  R
//        G  H  I
//           S
//
// E becomes the block J K / L M. All start as E; the rules below, applied in this
// order, may overwrite them: 1:1 (45-degree) edges, intersections of lines, the tips of
// thin triangles, then 2:1 edges, which extend a neighbouring sub-pixel's colour.
// Equality is exact on the 16-bit value; brightness is MmpxLuma.
#include "mmpx.h"

#include "padded.h"
#include "simd.h"

const unsigned kMmpxBorder = 3;  // the rules look up to three pixels away

size_t MmpxWorkBytes(unsigned srcWidth, unsigned srcHeight) {
  return PaddedPixelCount(srcWidth, srcHeight, kMmpxBorder) * sizeof(uint16_t);
}

static inline bool AllEqual2(uint16_t b, uint16_t a0, uint16_t a1) { return b == a0 && b == a1; }
static inline bool AllEqual3(uint16_t b, uint16_t a0, uint16_t a1, uint16_t a2) {
  return b == a0 && b == a1 && b == a2;
}
static inline bool AllEqual4(uint16_t b, uint16_t a0, uint16_t a1, uint16_t a2, uint16_t a3) {
  return b == a0 && b == a1 && b == a2 && b == a3;
}
static inline bool AnyEqual3(uint16_t b, uint16_t a0, uint16_t a1, uint16_t a2) {
  return b == a0 || b == a1 || b == a2;
}
static inline bool NoneEqual2(uint16_t b, uint16_t a0, uint16_t a1) { return b != a0 && b != a1; }
static inline bool NoneEqual4(uint16_t b, uint16_t a0, uint16_t a1, uint16_t a2, uint16_t a3) {
  return b != a0 && b != a1 && b != a2 && b != a3;
}

// MMPX of the pixel at p (inside the bordered copy, rows `pitch` pixels apart); writes
// J K to top[0], top[1] and L M to bottom[0], bottom[1].
static void MmpxPixel(const uint16_t* p, ptrdiff_t pitch, uint16_t* top, uint16_t* bottom) {
  const ptrdiff_t w = pitch;
  uint16_t A = p[-w - 1], B = p[-w], C = p[-w + 1];
  uint16_t D = p[-1], E = p[0], F = p[1];
  uint16_t G = p[w - 1], H = p[w], I = p[w + 1];
  uint16_t J = E, K = E, L = E, M = E;

  if (A != E || B != E || C != E || D != E || F != E || G != E || H != E || I != E) {
    uint16_t P = p[-2 * w], Q = p[-2], R = p[2], S = p[2 * w];
    int Bl = MmpxLuma(B), Dl = MmpxLuma(D), El = MmpxLuma(E), Fl = MmpxLuma(F), Hl = MmpxLuma(H);

    // 1:1 edges: a corner takes the colour of the two neighbours meeting there, unless
    // that would eat a brighter E that does not continue to another corner.
    if (D == B && D != H && D != F && (El >= Dl || E == A) && AnyEqual3(E, A, C, G) &&
        (El < Dl || A != D || E != P || E != Q))
      J = D;
    if (B == F && B != D && B != H && (El >= Bl || E == C) && AnyEqual3(E, A, C, I) &&
        (El < Bl || C != B || E != P || E != R))
      K = B;
    if (H == D && H != F && H != B && (El >= Hl || E == G) && AnyEqual3(E, A, G, I) &&
        (El < Hl || G != H || E != S || E != Q))
      L = H;
    if (F == H && F != B && F != D && (El >= Fl || E == I) && AnyEqual3(E, C, G, I) &&
        (El < Fl || I != H || E != R || E != S))
      M = F;

    // Intersections: a one-pixel line crossing a region of E's colour keeps its width.
    if (E != F && AllEqual4(E, C, I, D, Q) && AllEqual2(F, B, H) && F != p[3]) K = M = F;
    if (E != D && AllEqual4(E, A, G, F, R) && AllEqual2(D, B, H) && D != p[-3]) J = L = D;
    if (E != H && AllEqual4(E, G, I, B, P) && AllEqual2(H, D, F) && H != p[3 * w]) L = M = H;
    if (E != B && AllEqual4(E, A, C, H, S) && AllEqual2(B, D, F) && B != p[-3 * w]) J = K = B;

    // Tips of thin triangles: a brighter E at a tip gives its outer half to the darker
    // neighbour, so the tip stays sharp.
    if (Bl < El && AllEqual4(E, G, H, I, S) && NoneEqual4(E, A, D, C, F)) J = K = B;
    if (Hl < El && AllEqual4(E, A, B, C, P) && NoneEqual4(E, D, G, I, F)) L = M = H;
    if (Fl < El && AllEqual4(E, A, D, G, Q) && NoneEqual4(E, B, C, I, H)) K = M = F;
    if (Dl < El && AllEqual4(E, C, F, I, R) && NoneEqual4(E, B, A, G, H)) J = L = D;

    // 2:1 edges: continue a neighbouring sub-pixel's colour along a shallow edge.
    if (H != B) {
      if (H != A && H != E && H != C) {
        if (AllEqual3(H, G, F, R) && NoneEqual2(H, D, p[-w + 2])) L = M;
        if (AllEqual3(H, I, D, Q) && NoneEqual2(H, F, p[-w - 2])) M = L;
      }
      if (B != I && B != G && B != E) {
        if (AllEqual3(B, A, F, R) && NoneEqual2(B, D, p[w + 2])) J = K;
        if (AllEqual3(B, C, D, Q) && NoneEqual2(B, F, p[w - 2])) K = J;
      }
    }
    if (F != D) {
      if (D != I && D != E && D != C) {
        if (AllEqual3(D, A, H, S) && NoneEqual2(D, B, p[2 * w + 1])) J = L;
        if (AllEqual3(D, G, B, P) && NoneEqual2(D, H, p[-2 * w + 1])) L = J;
      }
      if (F != E && F != A && F != G) {
        if (AllEqual3(F, C, H, S) && NoneEqual2(F, B, p[2 * w - 1])) K = M;
        if (AllEqual3(F, I, B, P) && NoneEqual2(F, H, p[-2 * w - 1])) M = K;
      }
    }
  }
  top[0] = J, top[1] = K;
  bottom[0] = L, bottom[1] = M;
}

// Bordered copy of the source in the working memory; returns source pixel (0, 0).
static uint16_t* PrepareMmpx(const uint16_t* src, size_t srcPitchBytes, unsigned width,
                             unsigned height, void* work) {
  return CopyWithBorder(src, srcPitchBytes, width, height, kMmpxBorder, (uint16_t*)work);
}

void Mmpx2xScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                  unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  if (srcWidth == 0 || srcHeight == 0) return;
  const uint16_t* origin = PrepareMmpx(src, srcPitchBytes, srcWidth, srcHeight, work);
  ptrdiff_t pitch = (ptrdiff_t)PaddedPitch(srcWidth, kMmpxBorder);
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* row = origin + y * pitch;
    uint16_t* top = RowOf(dst, dstPitchBytes, 2 * y);
    uint16_t* bottom = RowOf(dst, dstPitchBytes, 2 * y + 1);
    for (unsigned x = 0; x < srcWidth; ++x) MmpxPixel(row + x, pitch, top + 2 * x, bottom + 2 * x);
  }
}

#if FILTERS_HAVE_SSE2

static inline Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
static inline Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
static inline Vec AndNot(Vec a, Vec notB) { return _mm_andnot_si128(notB, a); }  // a & ~notB

static inline Vec LumaOf(Vec v) {
  const Vec greenMask = _mm_set1_epi16((short)kGreenMax), blueMask = _mm_set1_epi16((short)kBlueMax);
  Vec red = _mm_srli_epi16(v, kRedShift);
  Vec green = _mm_and_si128(_mm_srli_epi16(v, kGreenShift), greenMask);
  Vec blue = _mm_and_si128(v, blueMask);
  // Each channel expanded to 8 bits as MmpxLuma does; the sum (at most 765) fits a lane.
  Vec red8 = _mm_or_si128(_mm_slli_epi16(red, 3), _mm_srli_epi16(red, 2));
  Vec green8 = _mm_or_si128(_mm_slli_epi16(green, 2), _mm_srli_epi16(green, 4));
  Vec blue8 = _mm_or_si128(_mm_slli_epi16(blue, 3), _mm_srli_epi16(blue, 2));
  return _mm_add_epi16(_mm_add_epi16(red8, green8), blue8);
}

static inline Vec AllEqual2(Vec b, Vec a0, Vec a1) { return And(Equal(b, a0), Equal(b, a1)); }
static inline Vec AllEqual3(Vec b, Vec a0, Vec a1, Vec a2) { return And(AllEqual2(b, a0, a1), Equal(b, a2)); }
static inline Vec AllEqual4(Vec b, Vec a0, Vec a1, Vec a2, Vec a3) {
  return And(AllEqual2(b, a0, a1), AllEqual2(b, a2, a3));
}
static inline Vec AnyEqual3(Vec b, Vec a0, Vec a1, Vec a2) {
  return Or(Or(Equal(b, a0), Equal(b, a1)), Equal(b, a2));
}
static inline Vec NoneEqual2(Vec b, Vec a0, Vec a1) { return Not(Or(Equal(b, a0), Equal(b, a1))); }
static inline Vec NoneEqual4(Vec b, Vec a0, Vec a1, Vec a2, Vec a3) {
  return Not(Or(Or(Equal(b, a0), Equal(b, a1)), Or(Equal(b, a2), Equal(b, a3))));
}

// MMPX of the 8 pixels starting at p, as in MmpxPixel, lane by lane: each rule becomes
// a lane mask and each assignment a select, in the same order.
static void MmpxVector(const uint16_t* p, ptrdiff_t w, uint16_t* top, uint16_t* bottom) {
  Vec A = LoadPixels(p - w - 1), B = LoadPixels(p - w), C = LoadPixels(p - w + 1);
  Vec D = LoadPixels(p - 1), E = LoadPixels(p), F = LoadPixels(p + 1);
  Vec G = LoadPixels(p + w - 1), H = LoadPixels(p + w), I = LoadPixels(p + w + 1);
  Vec J = E, K = E, L = E, M = E;

  Vec differs = Or(Or(Or(NotEqual(A, E), NotEqual(B, E)), Or(NotEqual(C, E), NotEqual(D, E))),
                   Or(Or(NotEqual(F, E), NotEqual(G, E)), Or(NotEqual(H, E), NotEqual(I, E))));
  // Every edge rule (1:1 and 2:1) needs two of E's orthogonal neighbours alike, and
  // every intersection or tip needs E alike to one of them. Groups of rules that no lane
  // can fire are skipped; on busy pictures (photographs, noise) that is most steps.
  bool edges = false, ends = false;
  if (AnyLane(differs)) {
    edges = AnyLane(Or(Or(Equal(D, B), Equal(B, F)), Or(Equal(H, D), Equal(F, H))));
    ends = AnyLane(Or(Or(Equal(E, B), Equal(E, D)), Or(Equal(E, F), Equal(E, H))));
  }
  if (edges || ends) {
    // No rule fires where the 3x3 neighbourhood is flat, so the lanes need no masking
    // (and the step needs no rule when all 8 are flat).
    Vec P = LoadPixels(p - 2 * w), Q = LoadPixels(p - 2), R = LoadPixels(p + 2), S = LoadPixels(p + 2 * w);
    Vec Bl = LumaOf(B), Dl = LumaOf(D), El = LumaOf(E), Fl = LumaOf(F), Hl = LumaOf(H);
    Vec darkerD = _mm_cmpgt_epi16(Dl, El);  // El < Dl
    Vec darkerB = _mm_cmpgt_epi16(Bl, El);
    Vec darkerH = _mm_cmpgt_epi16(Hl, El);
    Vec darkerF = _mm_cmpgt_epi16(Fl, El);
    Vec rule;

    // 1:1 edges.
    if (edges) {
      rule = And(And(Equal(D, B), NoneEqual2(D, H, F)),
                 And(Or(Not(darkerD), Equal(E, A)), AnyEqual3(E, A, C, G)));
      rule = And(rule, Or(Or(darkerD, NotEqual(A, D)), Or(NotEqual(E, P), NotEqual(E, Q))));
      J = Select(rule, D, J);
      rule = And(And(Equal(B, F), NoneEqual2(B, D, H)), And(Or(Not(darkerB), Equal(E, C)), AnyEqual3(E, A, C, I)));
      rule = And(rule, Or(Or(darkerB, NotEqual(C, B)), Or(NotEqual(E, P), NotEqual(E, R))));
      K = Select(rule, B, K);
      rule = And(And(Equal(H, D), NoneEqual2(H, F, B)), And(Or(Not(darkerH), Equal(E, G)), AnyEqual3(E, A, G, I)));
      rule = And(rule, Or(Or(darkerH, NotEqual(G, H)), Or(NotEqual(E, S), NotEqual(E, Q))));
      L = Select(rule, H, L);
      rule = And(And(Equal(F, H), NoneEqual2(F, B, D)), And(Or(Not(darkerF), Equal(E, I)), AnyEqual3(E, C, G, I)));
      rule = And(rule, Or(Or(darkerF, NotEqual(I, H)), Or(NotEqual(E, R), NotEqual(E, S))));
      M = Select(rule, F, M);
    }

    // Intersections.
    if (ends) {
      rule = And(And(NotEqual(E, F), AllEqual4(E, C, I, D, Q)), And(AllEqual2(F, B, H), NotEqual(F, LoadPixels(p + 3))));
      K = Select(rule, F, K), M = Select(rule, F, M);
      rule = And(And(NotEqual(E, D), AllEqual4(E, A, G, F, R)), And(AllEqual2(D, B, H), NotEqual(D, LoadPixels(p - 3))));
      J = Select(rule, D, J), L = Select(rule, D, L);
      rule = And(And(NotEqual(E, H), AllEqual4(E, G, I, B, P)), And(AllEqual2(H, D, F), NotEqual(H, LoadPixels(p + 3 * w))));
      L = Select(rule, H, L), M = Select(rule, H, M);
      rule = And(And(NotEqual(E, B), AllEqual4(E, A, C, H, S)), And(AllEqual2(B, D, F), NotEqual(B, LoadPixels(p - 3 * w))));
      J = Select(rule, B, J), K = Select(rule, B, K);

      // Tips of thin triangles.
      rule = And(_mm_cmpgt_epi16(El, Bl), And(AllEqual4(E, G, H, I, S), NoneEqual4(E, A, D, C, F)));
      J = Select(rule, B, J), K = Select(rule, B, K);
      rule = And(_mm_cmpgt_epi16(El, Hl), And(AllEqual4(E, A, B, C, P), NoneEqual4(E, D, G, I, F)));
      L = Select(rule, H, L), M = Select(rule, H, M);
      rule = And(_mm_cmpgt_epi16(El, Fl), And(AllEqual4(E, A, D, G, Q), NoneEqual4(E, B, C, I, H)));
      K = Select(rule, F, K), M = Select(rule, F, M);
      rule = And(_mm_cmpgt_epi16(El, Dl), And(AllEqual4(E, C, F, I, R), NoneEqual4(E, B, A, G, H)));
      J = Select(rule, D, J), L = Select(rule, D, L);
    }

    // 2:1 edges.
    if (edges) {
      Vec hb = NotEqual(H, B);
      Vec guard = And(hb, Not(AnyEqual3(H, A, E, C)));
      rule = And(guard, And(AllEqual3(H, G, F, R), NoneEqual2(H, D, LoadPixels(p - w + 2))));
      L = Select(rule, M, L);
      rule = And(guard, And(AllEqual3(H, I, D, Q), NoneEqual2(H, F, LoadPixels(p - w - 2))));
      M = Select(rule, L, M);
      guard = And(hb, Not(AnyEqual3(B, I, G, E)));
      rule = And(guard, And(AllEqual3(B, A, F, R), NoneEqual2(B, D, LoadPixels(p + w + 2))));
      J = Select(rule, K, J);
      rule = And(guard, And(AllEqual3(B, C, D, Q), NoneEqual2(B, F, LoadPixels(p + w - 2))));
      K = Select(rule, J, K);
      Vec fd = NotEqual(F, D);
      guard = And(fd, Not(AnyEqual3(D, I, E, C)));
      rule = And(guard, And(AllEqual3(D, A, H, S), NoneEqual2(D, B, LoadPixels(p + 2 * w + 1))));
      J = Select(rule, L, J);
      rule = And(guard, And(AllEqual3(D, G, B, P), NoneEqual2(D, H, LoadPixels(p - 2 * w + 1))));
      L = Select(rule, J, L);
      guard = And(fd, Not(AnyEqual3(F, E, A, G)));
      rule = And(guard, And(AllEqual3(F, C, H, S), NoneEqual2(F, B, LoadPixels(p + 2 * w - 1))));
      K = Select(rule, M, K);
      rule = And(guard, And(AllEqual3(F, I, B, P), NoneEqual2(F, H, LoadPixels(p - 2 * w - 1))));
      M = Select(rule, K, M);
    }
  }
  StoreInterleaved2(top, J, K);
  StoreInterleaved2(bottom, L, M);
}

void Mmpx2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  if (srcWidth == 0 || srcHeight == 0) return;
  const uint16_t* origin = PrepareMmpx(src, srcPitchBytes, srcWidth, srcHeight, work);
  ptrdiff_t pitch = (ptrdiff_t)PaddedPitch(srcWidth, kMmpxBorder);
  for (unsigned y = 0; y < srcHeight; ++y) {
    const uint16_t* row = origin + y * pitch;
    uint16_t* top = RowOf(dst, dstPitchBytes, 2 * y);
    uint16_t* bottom = RowOf(dst, dstPitchBytes, 2 * y + 1);
    // The border covers every load of a whole step; the rest of the row goes pixel by pixel.
    unsigned x = 0;
    for (; x + kLanes <= srcWidth; x += kLanes) MmpxVector(row + x, pitch, top + 2 * x, bottom + 2 * x);
    for (; x < srcWidth; ++x) MmpxPixel(row + x, pitch, top + 2 * x, bottom + 2 * x);
  }
}

#else  // no SSE2: the fast version is the scalar one

void Mmpx2xSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth,
                unsigned srcHeight, uint16_t* dst, size_t dstPitchBytes, void* work) {
  Mmpx2xScalar(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);
}

#endif

const FilterInfo kMmpx2x = {"MMPX 2x", "mmpx2x", 2, MmpxWorkBytes, Mmpx2xScalar, Mmpx2xSse2,
                            FILTERS_HAVE_SSE2 != 0};
