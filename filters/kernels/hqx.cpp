// hq2x, hq3x and hq4x, as FFmpeg's hqx filter computes them.
//
// The neighbours of the source pixel E, by position (reading order):
//
//     NW  N  NE        0 1 2
//     W   E  E'        3 4 5      (E' is the east neighbour; E itself is position 4)
//     SW  S  SE        6 7 8
//
// Each neighbour is "unlike" E when their 8-bit YUV differ by more than 48 in Y, 7 in U
// or 6 in V. Every sub-pixel of the output block is a mix of E and the three neighbours
// at its corner, chosen by rules: an ordered list per kind of sub-pixel, written for the
// top-left one (or the top-left quadrant), the first rule that matches wins. A rule
// matches when the neighbourhood fits one of its shapes, and, for some rules, when a
// pair of orthogonal neighbours (N and E', S and W, or W and N) is unlike too. A shape is
// a 3x3 picture, rows split by '/': '#' an unlike neighbour, '.' an alike one, '-' either,
// 'o' the pixel itself. Mixes are weights in sixteenths of E, N, W and NW (for the top-
// left sub-pixel), applied to each 8-bit channel and rounded down.
//
// The other sub-pixels use the same rules turned or mirrored: hq2x and hq4x mirror the
// top-left corner (quadrant) into the other three, hq3x turns its top-left corner and
// top-middle sub-pixels by quarter turns, and keeps E in the centre.
//
// At start-up the rules are compiled, per output sub-pixel, into a table over the 4096
// possible "keys" of a pixel: 8 bits for the unlike neighbours and 4 for the unlike
// orthogonal pairs. Filtering a pixel is then computing its key (the SSE2 version does
// that for 8 pixels at a time) and, per sub-pixel, one table look-up and one mix.
#include "hqx.h"

#include <string.h>

#include <vector>

#include "lanes.h"
#include "padded.h"
#include "rgb8.h"
#include "simd.h"

namespace {

// Thresholds of "unlike" on 8-bit Y, U, V.
const int kMaxAlikeY = 48, kMaxAlikeU = 7, kMaxAlikeV = 6;

const unsigned kHqBorder = 1;
const unsigned kKeyBits = 12;
const unsigned kKeys = 1u << kKeyBits;

// Pairs of orthogonal neighbours a rule may also need unlike (for the top-left sub-pixel).
enum HqPair { kNoPair, kPairNE, kPairSW, kPairWN };

struct HqMix {
  uint8_t e, n, w, nw;  // sixteenths
};
constexpr HqMix Mix(int e, int n, int w, int nw) {
  return HqMix{(uint8_t)e, (uint8_t)n, (uint8_t)w, (uint8_t)nw};
}

struct HqRule {
  const char* shapes;  // alternatives separated by spaces; null: always matches
  HqPair pair;
  HqMix mix;
};

// hq2x: the top-left sub-pixel (the others are its mirror images).
const HqRule kHq2xCorner[] = {
    {"###/.o#/#-. ##-/.o#/-..", kPairNE, Mix(12, 0, 4, 0)},
    {"#.-/#o./-#. #.#/#o-/##.", kPairSW, Mix(12, 4, 0, 0)},
    {"##-/#o-/--- -#./#o./.#. -#./#o#/...", kPairWN, Mix(16, 0, 0, 0)},
    {".#./#o-/#.- .#-/#o./-.- .#./#o#/#-. .#./#o#/-#. .#./#o./--# .#./#o-/-.# .##/#o-/.#. .##/#o./.-- .#-/#o#/.#. .#-/#o./.-# .#./#o#/.#- .#./#o-/.-# .#-/#o-/..#", kPairWN, Mix(12, 0, 0, 4)},
    {"..-/#o-/---", kNoPair, Mix(8, 4, 0, 4)},
    {".#-/.o-/---", kNoPair, Mix(8, 0, 4, 4)},
    {"###/#o-/#--", kNoPair, Mix(14, 1, 1, 0)},
    {"###/.o#/#-. ##-/.o#/-..", kNoPair, Mix(10, 4, 2, 0)},
    {"#.-/#o./-#. #.#/#o-/##.", kNoPair, Mix(10, 2, 4, 0)},
    {"##-/.o./--- ##./.o-/-#- ##-/.o-/--# ##-/.o-/.#-", kNoPair, Mix(12, 0, 4, 0)},
    {"#.-/#o-/-.- #.-/#o-/--# #../#o#/--- #.-/#o#/.--", kNoPair, Mix(12, 4, 0, 0)},
    {"-#./#o./#.- ##./#o-/#.# ###/#o./.-# -##/#o./..-", kNoPair, Mix(4, 6, 6, 0)},
    {".#-/#o./##. .##/#o-/##- .##/#o#/#-- .#-/#o#/### .##/#o#/-## .##/#o#/-..", kNoPair, Mix(12, 0, 0, 4)},
    {"-.-/.o-/--- ##./#o-/-#- ##./#o#/--. ##./#o-/.-- -#./#o./.-. -#./#o-/... -#./#o./..- ##-/#o-/.#. ##-/#o#/.--", kNoPair, Mix(8, 4, 4, 0)},
    {nullptr, kNoPair, Mix(12, 2, 2, 0)},
};

// hq3x: the top-left sub-pixel (the other corners are it turned by quarter turns).
const HqRule kHq3xCorner[] = {
    {"#.-/#o./-#. #.#/#o-/##.", kPairSW, Mix(12, 4, 0, 0)},
    {"###/.o#/#-. ##-/.o#/-..", kPairNE, Mix(12, 0, 4, 0)},
    {"##-/#o-/--- -#./#o./.#. -#./#o#/...", kPairWN, Mix(16, 0, 0, 0)},
    {".#./#o-/#.- .#-/#o./-.- .#./#o#/#-. .#./#o#/-#. .#./#o./--# .#./#o-/-.# .##/#o-/.#. .##/#o./.-- .#-/#o#/.#. .#-/#o./.-# .#./#o#/.#- .#./#o-/.-# .#-/#o-/..#", kPairWN, Mix(12, 0, 0, 4)},
    {"#.-/#o-/-.- #.-/#o-/--# #../#o#/--- #.-/#o#/.--", kNoPair, Mix(12, 4, 0, 0)},
    {"##-/.o./--- ##./.o-/-#- ##-/.o-/--# ##-/.o-/.#-", kNoPair, Mix(12, 0, 4, 0)},
    {"-#./#o./#.- ##./#o-/#.# ###/#o./.-# -##/#o./..-", kNoPair, Mix(0, 8, 8, 0)},
    {"##./#o-/-#- ##./#o#/--. ##./#o-/.-- -#./#o./.-. -#./#o-/... -#./#o./..- ##-/#o-/.#. ##-/#o#/.--", kNoPair, Mix(2, 7, 7, 0)},
    {"..-/#o-/--- .--/#o./##. .#-/-o./##. .-#/#o-/##- .##/-o-/##- .-#/#o#/#-- .##/-o#/#-- .--/#o#/### .-#/#o#/-## .#-/-o#/### .##/-o#/-## .-#/#o#/-.. .##/-o#/-.. .#-/.o-/---", kNoPair, Mix(12, 0, 0, 4)},
    {nullptr, kNoPair, Mix(8, 4, 4, 0)},
};

// hq3x: the top-middle sub-pixel (the other edge middles are it turned; the centre is E).
const HqRule kHq3xEdge[] = {
    {"-##/#o#/.## -##/.o#/--. -#-/.o#/-.. .##/-o#/--- .#-/.o#/-.- .#-/.o#/.-.", kPairNE, Mix(16, 0, 0, 0)},
    {"##./#o-/--- -#./#o./-.- ##-/#o#/##. ##-/#o./.-- -#./#o./.-. -#-/#o./..-", kPairWN, Mix(16, 0, 0, 0)},
    {"###/#o./.-# -##/#o./..- ###/.o#/#-. ##-/.o#/-..", kNoPair, Mix(4, 12, 0, 0)},
    {"-.-/-o-/--- --./#o./#.- #-./#o-/#.# .-#/-o#/#.# .--/.o#/-.#", kNoPair, Mix(12, 4, 0, 0)},
    {"##./#o-/-#- ##-/#o#/##. -##/#o#/##. ##./#o#/--. ##./#o-/.-- -#./#o./.-. -#./#o./..- ##-/#o./.#. ##-/#o#/.## -##/#o#/.## -##/.o#/.#. .##/-o#/-#- .##/-o#/--. .##/#o#/.-- .#-/.o#/-.. .#-/.o#/.-.", kNoPair, Mix(14, 2, 0, 0)},
    {nullptr, kNoPair, Mix(16, 0, 0, 0)},
};

// hq4x: the four sub-pixels of the top-left quadrant, (0, 0) (1, 0) (0, 1) (1, 1); the
// other quadrants are their mirror images.
const HqRule kHq4x00[] = {
    {"###/.o#/#-. ##-/.o#/-..", kPairNE, Mix(10, 0, 6, 0)},
    {"#.-/#o./-#. #.#/#o-/##.", kPairSW, Mix(10, 6, 0, 0)},
    {"##-/#o-/--- -#./#o./.#. -#./#o#/...", kPairWN, Mix(16, 0, 0, 0)},
    {".#./#o-/#.- .#-/#o./-.- .#./#o#/#-. .#./#o#/-#. .#./#o./--# .#./#o-/-.# .##/#o-/.#. .##/#o./.-- .#-/#o#/.#. .#-/#o./.-# .#./#o#/.#- .#./#o-/.-# .#-/#o-/..#", kPairWN, Mix(10, 0, 0, 6)},
    {"#.-/#o./-#. #.#/#o-/##.", kNoPair, Mix(12, 0, 4, 0)},
    {"###/.o#/#-. ##-/.o#/-..", kNoPair, Mix(12, 4, 0, 0)},
    {"##-/.o./--- ##./.o-/-#- ##-/.o-/--# ##-/.o-/.#-", kNoPair, Mix(10, 0, 6, 0)},
    {"#.-/#o-/-.- #.-/#o-/--# #../#o#/--- #.-/#o#/.--", kNoPair, Mix(10, 6, 0, 0)},
    {"##./#o-/--- -#./#o./-.- ##-/#o-/.-- -#./#o./.-. -#-/#o./..- -#./#o-/...", kNoPair, Mix(0, 8, 8, 0)},
    {"..-/#o-/--- .--/#o./##. .#-/-o./##. .-#/#o-/##- .##/-o-/##- .-#/#o#/#-- .##/-o#/#-- .--/#o#/### .-#/#o#/-## .#-/-o#/### .##/-o#/-## .-#/#o#/-.. .##/-o#/-.. .#-/.o-/---", kNoPair, Mix(10, 0, 0, 6)},
    {nullptr, kNoPair, Mix(8, 4, 4, 0)},
};

// hq4x (1, 0)
const HqRule kHq4x10[] = {
    {"###/.o#/#-. ##-/.o#/-..", kPairNE, Mix(14, 0, 2, 0)},
    {"##./#o-/--- ##-/#o-/.-- -#./#o./.#. -#./#o#/...", kPairWN, Mix(16, 0, 0, 0)},
    {".#./#o-/#.- .#-/#o./-.- .#./#o#/#-. .#./#o#/-#. .#./#o./--# .#./#o-/-.# .##/#o-/.#. .##/#o./.-- .#-/#o#/.#. .#-/#o./.-# .#./#o#/.#- .#./#o-/.-# .#-/#o-/..#", kPairWN, Mix(12, 0, 0, 4)},
    {"###/#o-/#--", kNoPair, Mix(16, 0, 0, 0)},
    {"-.-/.o-/---", kNoPair, Mix(10, 4, 2, 0)},
    {"..-/#o-/---", kNoPair, Mix(10, 4, 0, 2)},
    {"#.-/#o-/---", kNoPair, Mix(10, 6, 0, 0)},
    {"###/.o#/#-. ##-/.o#/-..", kNoPair, Mix(4, 12, 0, 0)},
    {"-#./#o./#.- ##./#o-/#.#", kNoPair, Mix(4, 8, 4, 0)},
    {"###/#o./.-# -##/#o./..-", kNoPair, Mix(0, 10, 6, 0)},
    {"##-/.o./--- ##./.o-/-#- ##-/.o-/--# ##-/.o-/.#-", kNoPair, Mix(14, 0, 2, 0)},
    {".#-/-o./##. .##/-o-/##- .##/-o#/#-- .#-/-o#/### .##/-o#/-## .##/-o#/-.. .#-/.o-/---", kNoPair, Mix(12, 0, 0, 4)},
    {"##./#o-/-#- ##./#o#/--. ##./#o-/.-- -#./#o./.-. -#./#o-/... -#./#o./..- ##-/#o-/.#. ##-/#o#/.--", kNoPair, Mix(8, 8, 0, 0)},
    {nullptr, kNoPair, Mix(12, 4, 0, 0)},
};

// hq4x (0, 1)
const HqRule kHq4x01[] = {
    {"#.-/#o./-#. #.#/#o-/##.", kPairSW, Mix(14, 2, 0, 0)},
    {"##./#o-/--- ##-/#o-/.-- -#./#o./.#. -#./#o#/...", kPairWN, Mix(16, 0, 0, 0)},
    {".#./#o-/#.- .#-/#o./-.- .#./#o#/#-. .#./#o#/-#. .#./#o./--# .#./#o-/-.# .##/#o-/.#. .##/#o./.-- .#-/#o#/.#. .#-/#o./.-# .#./#o#/.#- .#./#o-/.-# .#-/#o-/..#", kPairWN, Mix(12, 0, 0, 4)},
    {"###/#o-/#--", kNoPair, Mix(16, 0, 0, 0)},
    {"-.-/.o-/---", kNoPair, Mix(10, 2, 4, 0)},
    {".#-/.o-/---", kNoPair, Mix(10, 0, 4, 2)},
    {"##-/.o-/---", kNoPair, Mix(10, 0, 6, 0)},
    {"#.-/#o./-#. #.#/#o-/##.", kNoPair, Mix(4, 0, 12, 0)},
    {"###/#o./.-# -##/#o./..-", kNoPair, Mix(4, 4, 8, 0)},
    {"-#./#o./#.- ##./#o-/#.#", kNoPair, Mix(0, 6, 10, 0)},
    {"#.-/#o-/-.- #.-/#o-/--# #../#o#/--- #.-/#o#/.--", kNoPair, Mix(14, 2, 0, 0)},
    {"..-/#o-/--- .--/#o./##. .-#/#o-/##- .-#/#o#/#-- .--/#o#/### .-#/#o#/-## .-#/#o#/-..", kNoPair, Mix(12, 0, 0, 4)},
    {"##./#o-/-#- ##./#o#/--. ##./#o-/.-- -#./#o./.-. -#./#o-/... -#./#o./..- ##-/#o-/.#. ##-/#o#/.--", kNoPair, Mix(8, 0, 8, 0)},
    {nullptr, kNoPair, Mix(12, 0, 4, 0)},
};

// hq4x (1, 1)
const HqRule kHq4x11[] = {
    {"##./#o./#.- ##./#o-/#.# ###/#o./.-# ###/#o./..-", kPairWN, Mix(16, 0, 0, 0)},
    {".#./#o-/#.- .#-/#o./-.- .#./#o#/#-. .#./#o#/-#. .#./#o./--# .#./#o-/-.# .##/#o-/.#. .##/#o./.-- .#-/#o#/.#. .#-/#o./.-# .#./#o#/.#- .#./#o-/.-# .#-/#o-/..#", kPairWN, Mix(14, 0, 0, 2)},
    {"##-/.o-/---", kNoPair, Mix(14, 0, 2, 0)},
    {"#.-/#o-/---", kNoPair, Mix(14, 2, 0, 0)},
    {"-.-/.o-/--- -#./#o./#.- ##./#o-/#.# ###/#o./.-# -##/#o./..-", kNoPair, Mix(12, 2, 2, 0)},
    {"..-/#o-/--- .--/#o./##. .#-/-o./##. .-#/#o-/##- .##/-o-/##- .-#/#o#/#-- .##/-o#/#-- .--/#o#/### .-#/#o#/-## .#-/-o#/### .##/-o#/-## .-#/#o#/-.. .##/-o#/-.. .#-/.o-/---", kNoPair, Mix(14, 0, 0, 2)},
    {nullptr, kNoPair, Mix(16, 0, 0, 0)},
};

// The one rule of hq3x's centre sub-pixel.
const HqRule kHqCentre[] = {{nullptr, kNoPair, Mix(16, 0, 0, 0)}};

// Offsets (dx, dy) of the positions 0..8.
inline int PosX(int pos) { return pos % 3 - 1; }
inline int PosY(int pos) { return pos / 3 - 1; }
inline int PosAt(int dx, int dy) { return (dy + 1) * 3 + dx + 1; }
// Key bit of a neighbour position (the centre has none).
inline int BitOf(int pos) { return pos < 4 ? pos : pos - 1; }

// The actual orthogonal pairs, in key bits 8..11: (W, N), (N, E'), (E', S), (S, W).
const int kPairPos[4][2] = {{3, 1}, {1, 5}, {5, 7}, {7, 3}};

// The canonical key of a rule: bits 0..7 unlike neighbours, bit 8 N-E' unlike, bit 9
// S-W unlike, bit 10 W-N unlike.
bool RuleMatches(const HqRule& rule, unsigned canonicalKey) {
  if (rule.pair == kPairNE && !(canonicalKey & (1u << 8))) return false;
  if (rule.pair == kPairSW && !(canonicalKey & (1u << 9))) return false;
  if (rule.pair == kPairWN && !(canonicalKey & (1u << 10))) return false;
  if (rule.shapes == nullptr) return true;
  const char* s = rule.shapes;
  while (*s != '\0') {
    bool fits = true;
    int pos = 0;
    for (; *s != '\0' && *s != ' '; ++s) {
      if (*s == '/') continue;
      if (*s == '#' || *s == '.') {
        bool unlike = (canonicalKey >> BitOf(pos)) & 1;
        if (unlike != (*s == '#')) fits = false;
      }
      ++pos;
    }
    if (fits) return true;
    if (*s == ' ') ++s;
  }
  return false;
}

// A turn or mirror of the block: (x, y) -> (a x + b y, c x + d y).
struct HqTransform {
  int a, b, c, d;
  int X(int x, int y) const { return a * x + b * y; }
  int Y(int x, int y) const { return c * x + d * y; }
};
const HqTransform kIdentity = {1, 0, 0, 1}, kMirrorX = {-1, 0, 0, 1}, kMirrorY = {1, 0, 0, -1},
                  kHalfTurn = {-1, 0, 0, -1}, kTurnRight = {0, -1, 1, 0}, kTurnLeft = {0, 1, -1, 0};

// A kind of sub-pixel: its rules and its place in the top-left part of the block.
struct HqCellKind {
  const HqRule* rules;
  size_t count;
  int x, y;
};
#define HQ_KIND(rules, x, y) {rules, sizeof(rules) / sizeof(rules[0]), x, y}

// One output sub-pixel, compiled: the positions of its N, W and NW (turned with it) and
// the mix of every key.
struct HqCell {
  uint8_t n, w, nw;
  bool alwaysE;  // E whatever the key (hq3x's centre): the SSE2 version copies E
  uint8_t mixOf[kKeys];
};

struct HqPlan {
  unsigned scale;
  std::vector<HqMix> mixes;
  // For the SSE2 version: per key, a row of the weights e, n, w, nw of every cell in
  // turn, so that one pixel's weights are in one place.
  size_t keyRowBytes;
  std::vector<uint8_t> keyWeights;
  std::vector<HqCell> cells;  // row by row
};

unsigned MixIndex(std::vector<HqMix>& mixes, HqMix m) {
  for (unsigned k = 0; k < mixes.size(); ++k)
    if (mixes[k].e == m.e && mixes[k].n == m.n && mixes[k].w == m.w && mixes[k].nw == m.nw) return k;
  mixes.push_back(m);
  return (unsigned)mixes.size() - 1;
}

void AddCells(HqPlan& plan, const HqCellKind& kind, const HqTransform& t) {
  int s = (int)plan.scale;
  // The sub-pixel's centre relative to the block's, doubled, turned.
  int u = 2 * kind.x - (s - 1), v = 2 * kind.y - (s - 1);
  int x = (t.X(u, v) + s - 1) / 2, y = (t.Y(u, v) + s - 1) / 2;
  HqCell& cell = plan.cells[(size_t)y * s + x];
  auto moved = [&](int pos) { return PosAt(t.X(PosX(pos), PosY(pos)), t.Y(PosX(pos), PosY(pos))); };
  cell.n = (uint8_t)moved(1), cell.w = (uint8_t)moved(3), cell.nw = (uint8_t)moved(0);
  // Key bit, in the actual key, of each canonical pair.
  auto pairBit = [&](int p, int q) {
    int mp = moved(p), mq = moved(q);
    for (int k = 0; k < 4; ++k)
      if ((kPairPos[k][0] == mp && kPairPos[k][1] == mq) || (kPairPos[k][0] == mq && kPairPos[k][1] == mp)) return 8 + k;
    return -1;
  };
  int bitNE = pairBit(1, 5), bitSW = pairBit(7, 3), bitWN = pairBit(3, 1);
  for (unsigned key = 0; key < kKeys; ++key) {
    unsigned canonical = 0;
    for (int pos = 0; pos < 9; ++pos)
      if (pos != 4 && ((key >> BitOf(moved(pos))) & 1)) canonical |= 1u << BitOf(pos);
    canonical |= ((key >> bitNE) & 1) << 8 | ((key >> bitSW) & 1) << 9 | ((key >> bitWN) & 1) << 10;
    size_t r = 0;
    while (r + 1 < kind.count && !RuleMatches(kind.rules[r], canonical)) ++r;
    cell.mixOf[key] = (uint8_t)MixIndex(plan.mixes, kind.rules[r].mix);
  }
}

HqPlan BuildPlan(unsigned scale) {
  HqPlan plan;
  plan.scale = scale;
  plan.cells.resize((size_t)scale * scale);
  if (scale == 2) {
    for (const HqTransform& t : {kIdentity, kMirrorX, kMirrorY, kHalfTurn})
      AddCells(plan, HQ_KIND(kHq2xCorner, 0, 0), t);
  } else if (scale == 3) {
    for (const HqTransform& t : {kIdentity, kTurnRight, kHalfTurn, kTurnLeft}) {
      AddCells(plan, HQ_KIND(kHq3xCorner, 0, 0), t);
      AddCells(plan, HQ_KIND(kHq3xEdge, 1, 0), t);
    }
    AddCells(plan, HQ_KIND(kHqCentre, 1, 1), kIdentity);
  } else {
    for (const HqTransform& t : {kIdentity, kMirrorX, kMirrorY, kHalfTurn}) {
      AddCells(plan, HQ_KIND(kHq4x00, 0, 0), t);
      AddCells(plan, HQ_KIND(kHq4x10, 1, 0), t);
      AddCells(plan, HQ_KIND(kHq4x01, 0, 1), t);
      AddCells(plan, HQ_KIND(kHq4x11, 1, 1), t);
    }
  }
  for (HqCell& cell : plan.cells) {
    cell.alwaysE = true;
    for (unsigned key = 0; key < kKeys; ++key) {
      const HqMix& m = plan.mixes[cell.mixOf[key]];
      if (m.e != 16) cell.alwaysE = false;
    }
  }
  const size_t rowBytes = plan.keyRowBytes = 4 * plan.cells.size();
  plan.keyWeights.assign(kKeys * rowBytes, 0);
  for (unsigned key = 0; key < kKeys; ++key) {
    for (size_t c = 0; c < plan.cells.size(); ++c) {
      const HqMix& m = plan.mixes[plan.cells[c].mixOf[key]];
      uint8_t* w = &plan.keyWeights[key * rowBytes + 4 * c];
      w[0] = m.e, w[1] = m.n, w[2] = m.w, w[3] = m.nw;
    }
  }
  return plan;
}

// The plans, each compiled at the first use of its scale.
const HqPlan& PlanFor(unsigned scale) {
  if (scale == 2) {
    static const HqPlan plan2 = BuildPlan(2);
    return plan2;
  }
  if (scale == 3) {
    static const HqPlan plan3 = BuildPlan(3);
    return plan3;
  }
  static const HqPlan plan4 = BuildPlan(4);
  return plan4;
}

// R5G6B5 rounded from 8-bit channels, by table.
struct Quantiser {
  uint16_t red[256], green[256], blue[256];
  Quantiser() {
    for (unsigned v = 0; v < 256; ++v) {
      red[v] = (uint16_t)(((v * kRedMax + 127) / 255) << kRedShift);
      green[v] = (uint16_t)(((v * kGreenMax + 127) / 255) << kGreenShift);
      blue[v] = (uint16_t)((v * kBlueMax + 127) / 255);
    }
  }
};
const Quantiser& Quantise() {
  static const Quantiser q;
  return q;
}

// The prepared frame: the bordered copy and its Y, U, V planes.
struct HqFrame {
  ptrdiff_t pitch;
  const uint16_t* pixels;  // source pixel (0, 0)
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  // Unlike-masks (0xFF where unlike) of each pixel and its neighbour to the right,
  // below, below-right and below-left; set up for the SSE2 version only.
  const uint8_t* right;
  const uint8_t* down;
  const uint8_t* downRight;
  const uint8_t* downLeft;
  // The channels expanded to 8 bits; for the SSE2 version only.
  const uint16_t* red;
  const uint16_t* green;
  const uint16_t* blue;
  ptrdiff_t at[9];  // offsets of the positions 0..8
};

bool Unlike(const HqFrame& f, ptrdiff_t a, ptrdiff_t b) {
  int dy = (int)f.y[a] - (int)f.y[b], du = (int)f.u[a] - (int)f.u[b], dv = (int)f.v[a] - (int)f.v[b];
  return dy > kMaxAlikeY || -dy > kMaxAlikeY || du > kMaxAlikeU || -du > kMaxAlikeU || dv > kMaxAlikeV ||
         -dv > kMaxAlikeV;
}

unsigned KeyOf(const HqFrame& f, ptrdiff_t e) {
  unsigned key = 0;
  for (int pos = 0; pos < 9; ++pos)
    if (pos != 4 && Unlike(f, e, e + f.at[pos])) key |= 1u << BitOf(pos);
  for (int k = 0; k < 4; ++k)
    if (Unlike(f, e + f.at[kPairPos[k][0]], e + f.at[kPairPos[k][1]])) key |= 1u << (8 + k);
  return key;
}

// The block of the pixel at e with the given key, at out.
template <unsigned N>
inline void HqBlock(const HqPlan& plan, const HqFrame& f, ptrdiff_t e, unsigned key, uint16_t* out,
                    size_t dstPitchBytes) {
  const Quantiser& q = Quantise();
  // Each neighbour's 8-bit channels, red and blue in one word (16 bits apart) and green
  // in another, so that a mix is two multiply-adds per weight.
  uint32_t rb[9], g[9];
  for (int pos = 0; pos < 9; ++pos) {
    uint32_t c = Expand565(f.pixels[e + f.at[pos]]);
    rb[pos] = ((c >> 16) & 0xFF) | ((c & 0xFF) << 16);
    g[pos] = (c >> 8) & 0xFF;
  }
  for (unsigned cy = 0; cy < N; ++cy) {
    uint16_t* row = RowOf(out, dstPitchBytes, cy);
    for (unsigned cx = 0; cx < N; ++cx) {
      const HqCell& cell = plan.cells[cy * N + cx];
      const HqMix& m = plan.mixes[cell.mixOf[key]];
      uint32_t sumRb = m.e * rb[4] + m.n * rb[cell.n] + m.w * rb[cell.w] + m.nw * rb[cell.nw];
      uint32_t sumG = m.e * g[4] + m.n * g[cell.n] + m.w * g[cell.w] + m.nw * g[cell.nw];
      row[cx] = (uint16_t)(q.red[(sumRb >> 4) & 0xFF] | q.green[(sumG >> 4) & 0xFF] | q.blue[(sumRb >> 20) & 0xFF]);
    }
  }
}

// The working memory: the bordered copy, its Y, U, V planes, and for the SSE2 version
// the four unlike-masks and the channels expanded to 8 bits (in 16-bit entries, ready
// to be multiplied). Each plane starts on a 16-byte boundary.
struct HqPlanes {
  uint16_t* pixels;
  uint8_t *y, *u, *v;
  uint8_t *right, *down, *downRight, *downLeft;
  uint16_t *red, *green, *blue;
  size_t end;  // bytes of working memory used, from the start of `work`
};

const size_t kPlaneAlign = 16;

HqPlanes LayOut(void* work, size_t count) {
  HqPlanes p;
  uint8_t* at = (uint8_t*)AlignUp((size_t)(uintptr_t)work, kPlaneAlign);
  auto take = [&](size_t bytes) {
    uint8_t* plane = at;
    at += AlignUp(bytes, kPlaneAlign);
    return plane;
  };
  p.pixels = (uint16_t*)take(count * sizeof(uint16_t));
  p.y = take(count), p.u = take(count), p.v = take(count);
  p.right = take(count), p.down = take(count), p.downRight = take(count), p.downLeft = take(count);
  p.red = (uint16_t*)take(count * sizeof(uint16_t));
  p.green = (uint16_t*)take(count * sizeof(uint16_t));
  p.blue = (uint16_t*)take(count * sizeof(uint16_t));
  p.end = (size_t)(at - (uint8_t*)work);
  return p;
}

// The frame as seen from source pixel (0, 0) of the planes.
HqFrame FrameOf(const HqPlanes& p, const uint16_t* origin, unsigned width) {
  HqFrame f;
  f.pitch = (ptrdiff_t)PaddedPitch(width, kHqBorder);
  size_t o = (size_t)(origin - p.pixels);
  f.pixels = origin;
  f.y = p.y + o, f.u = p.u + o, f.v = p.v + o;
  f.right = p.right + o, f.down = p.down + o, f.downRight = p.downRight + o, f.downLeft = p.downLeft + o;
  f.red = p.red + o, f.green = p.green + o, f.blue = p.blue + o;
  for (int pos = 0; pos < 9; ++pos) f.at[pos] = PosX(pos) + PosY(pos) * f.pitch;
  return f;
}

// The scalar version's frame: the bordered copy and its Y, U, V by table.
HqFrame PrepareHq(const uint16_t* src, size_t srcPitchBytes, unsigned width, unsigned height, void* work) {
  size_t count = PaddedPixelCount(width, height, kHqBorder);
  HqPlanes p = LayOut(work, count);
  const uint16_t* origin = CopyWithBorder(src, srcPitchBytes, width, height, kHqBorder, p.pixels);
  const uint32_t* table = Yuv565Table();
  for (size_t k = 0; k < count; ++k) {
    uint32_t yuv = table[p.pixels[k]];
    p.y[k] = (uint8_t)(yuv >> 16), p.u[k] = (uint8_t)(yuv >> 8), p.v[k] = (uint8_t)yuv;
  }
  return FrameOf(p, origin, width);
}

// True when all nine pixels of the neighbourhood are E: the block is E throughout.
inline bool Flat(const HqFrame& f, ptrdiff_t e) {
  uint16_t E = f.pixels[e];
  for (int pos = 0; pos < 9; ++pos)
    if (f.pixels[e + f.at[pos]] != E) return false;
  return true;
}

template <unsigned N>
inline void FlatBlock(uint16_t E, uint16_t* out, size_t dstPitchBytes) {
  for (unsigned cy = 0; cy < N; ++cy) {
    uint16_t* row = RowOf(out, dstPitchBytes, cy);
    for (unsigned cx = 0; cx < N; ++cx) row[cx] = E;
  }
}

template <unsigned N>
void HqScalar(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
              uint16_t* dst, size_t dstPitchBytes, void* work) {
  if (srcWidth == 0 || srcHeight == 0) return;
  const HqPlan& plan = PlanFor(N);
  HqFrame f = PrepareHq(src, srcPitchBytes, srcWidth, srcHeight, work);
  for (unsigned y = 0; y < srcHeight; ++y) {
    uint16_t* out = RowOf(dst, dstPitchBytes, (size_t)N * y);
    for (unsigned x = 0; x < srcWidth; ++x) {
      ptrdiff_t e = (ptrdiff_t)y * f.pitch + x;
      if (Flat(f, e))
        FlatBlock<N>(f.pixels[e], out + N * x, dstPitchBytes);
      else
        HqBlock<N>(plan, f, e, KeyOf(f, e), out + N * x, dstPitchBytes);
    }
  }
}

#if FILTERS_HAVE_SSE2

// 8 bytes of a plane as 8 16-bit lanes.
inline Vec LoadBytes(const uint8_t* p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i*)p), _mm_setzero_si128());
}

// 0xFF in the bytes where pixels a and b (16 of each, as Y, U, V bytes) are unlike.
inline Vec UnlikeBytes(const uint8_t* y, const uint8_t* u, const uint8_t* v, size_t a, size_t b) {
  auto excess = [](const uint8_t* plane, size_t a, size_t b, int limit) {
    Vec pa = _mm_loadu_si128((const Vec*)(plane + a)), pb = _mm_loadu_si128((const Vec*)(plane + b));
    Vec distance = _mm_or_si128(_mm_subs_epu8(pa, pb), _mm_subs_epu8(pb, pa));
    return _mm_subs_epu8(distance, _mm_set1_epi8((char)limit));  // non-zero beyond the limit
  };
  Vec over = _mm_or_si128(_mm_or_si128(excess(y, a, b, kMaxAlikeY), excess(u, a, b, kMaxAlikeU)),
                          excess(v, a, b, kMaxAlikeV));
  return Not(_mm_cmpeq_epi8(over, _mm_setzero_si128()));
}

// The SSE2 version's frame: the bordered copy, its channels expanded to 8 bits, its Y,
// U, V (computed, rgb8.h), and the four unlike-masks of every pixel against its
// neighbour to the right, below, below-right and below-left.
HqFrame PrepareHqSse2(const uint16_t* src, size_t srcPitchBytes, unsigned width, unsigned height, void* work) {
  const size_t count = PaddedPixelCount(width, height, kHqBorder);
  HqPlanes p = LayOut(work, count);
  const uint16_t* origin = CopyWithBorder(src, srcPitchBytes, width, height, kHqBorder, p.pixels);
  size_t k = 0;
  for (; k + kLanes <= count; k += kLanes) {
    Vec ch[3];
    Expand565Lanes<Sse2Lanes>(LoadPixels(p.pixels + k), ch);
    StorePixels(p.red + k, ch[0]), StorePixels(p.green + k, ch[1]), StorePixels(p.blue + k, ch[2]);
  }
  for (; k < count; ++k) {
    uint32_t rgb = Expand565(p.pixels[k]);
    p.red[k] = (uint16_t)(rgb >> 16), p.green[k] = (uint16_t)((rgb >> 8) & 0xFF), p.blue[k] = (uint16_t)(rgb & 0xFF);
  }
  Yuv565Planes(p.pixels, count, p.y, p.u, p.v);

  const size_t pitch = PaddedPitch(width, kHqBorder);
  // Masks k < end have all four neighbours inside the copy (k + pitch + 1 < count);
  // the keys read one more, the below-left mask of the last pixel of the second-last
  // row (k == end). The masks no key reads are not written.
  const size_t end = count - pitch - 1;
  k = 0;
  for (; k + 16 <= end; k += 16) {
    _mm_storeu_si128((Vec*)(p.right + k), UnlikeBytes(p.y, p.u, p.v, k, k + 1));
    _mm_storeu_si128((Vec*)(p.down + k), UnlikeBytes(p.y, p.u, p.v, k, k + pitch));
    _mm_storeu_si128((Vec*)(p.downRight + k), UnlikeBytes(p.y, p.u, p.v, k, k + pitch + 1));
    _mm_storeu_si128((Vec*)(p.downLeft + k), UnlikeBytes(p.y, p.u, p.v, k, k + pitch - 1));
  }
  auto unlike = [&](size_t a, size_t b) {
    int dy = (int)p.y[a] - (int)p.y[b], du = (int)p.u[a] - (int)p.u[b], dv = (int)p.v[a] - (int)p.v[b];
    bool is = dy > kMaxAlikeY || -dy > kMaxAlikeY || du > kMaxAlikeU || -du > kMaxAlikeU ||
              dv > kMaxAlikeV || -dv > kMaxAlikeV;
    return (uint8_t)(is ? 0xFF : 0);
  };
  for (; k < end; ++k) {
    p.right[k] = unlike(k, k + 1), p.down[k] = unlike(k, k + pitch);
    p.downRight[k] = unlike(k, k + pitch + 1), p.downLeft[k] = unlike(k, k + pitch - 1);
  }
  p.downLeft[end] = unlike(end, end + pitch - 1);
  return FrameOf(p, origin, width);
}

// The keys of the 8 pixels from e on, from the unlike-masks: each of the 12 key bits is
// a mask of a pixel near E (the same relation seen from E's neighbours).
inline Vec KeyLanes(const HqFrame& f, ptrdiff_t e) {
  const ptrdiff_t p = f.pitch;
  auto bit = [](const uint8_t* plane, ptrdiff_t at, int value) {
    return _mm_and_si128(_mm_loadl_epi64((const __m128i*)(plane + at)), _mm_set1_epi8((char)value));
  };
  // Bits 0-7: NW, N, NE, W, E', SW, S, SE unlike E.
  Vec low = _mm_or_si128(
      _mm_or_si128(_mm_or_si128(bit(f.downRight, e - p - 1, 0x01), bit(f.down, e - p, 0x02)),
                   _mm_or_si128(bit(f.downLeft, e - p + 1, 0x04), bit(f.right, e - 1, 0x08))),
      _mm_or_si128(_mm_or_si128(bit(f.right, e, 0x10), bit(f.downLeft, e, 0x20)),
                   _mm_or_si128(bit(f.down, e, 0x40), bit(f.downRight, e, 0x80))));
  // Bits 8-11: the pairs (W, N), (N, E'), (E', S), (S, W).
  Vec high = _mm_or_si128(_mm_or_si128(bit(f.downLeft, e - p, 0x01), bit(f.downRight, e - p, 0x02)),
                          _mm_or_si128(bit(f.downLeft, e + 1, 0x04), bit(f.downRight, e - 1, 0x08)));
  return _mm_unpacklo_epi8(low, high);
}

// The four weights at offset `at` of each lane's row (one pixel's key), turned into
// four vectors of 8 lanes: e, n, w and nw. Done per cell rather than for several cells
// at once, which keeps few vectors alive (the i686 build has eight registers).
inline void CellWeights(const uint8_t* const rows[kLanes], size_t at, Vec out[4]) {
  auto dword = [&](unsigned k) {
    int32_t v;
    memcpy(&v, rows[k] + at, sizeof v);
    return _mm_cvtsi32_si128(v);
  };
  Vec low = _mm_unpacklo_epi64(_mm_unpacklo_epi32(dword(0), dword(1)), _mm_unpacklo_epi32(dword(2), dword(3)));
  Vec high = _mm_unpacklo_epi64(_mm_unpacklo_epi32(dword(4), dword(5)), _mm_unpacklo_epi32(dword(6), dword(7)));
  // Bytes: low = lanes 0-3 (e n w nw each), high = lanes 4-7; three rounds of byte
  // interleaving sort them by weight.
  Vec a = _mm_unpacklo_epi8(low, high), b = _mm_unpackhi_epi8(low, high);
  Vec c = _mm_unpacklo_epi8(a, b), d = _mm_unpackhi_epi8(a, b);
  Vec en = _mm_unpacklo_epi8(c, d), wnw = _mm_unpackhi_epi8(c, d);
  const Vec zero = _mm_setzero_si128();
  out[0] = _mm_unpacklo_epi8(en, zero), out[1] = _mm_unpackhi_epi8(en, zero);
  out[2] = _mm_unpacklo_epi8(wnw, zero), out[3] = _mm_unpackhi_epi8(wnw, zero);
}

// The SSE2 version works on 8 pixels at a time: their keys, and for each sub-pixel the
// weights each lane's key selects and the mix of its four pixels. Runs of 8 pixels
// whose neighbourhoods are all flat are stored as blocks of E at once.
template <unsigned N>
void HqSse2(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,
            uint16_t* dst, size_t dstPitchBytes, void* work) {
  if (srcWidth == 0 || srcHeight == 0) return;
  const HqPlan& plan = PlanFor(N);
  HqFrame f = PrepareHqSse2(src, srcPitchBytes, srcWidth, srcHeight, work);
  for (unsigned y = 0; y < srcHeight; ++y) {
    uint16_t* out = RowOf(dst, dstPitchBytes, (size_t)N * y);
    unsigned x = 0;
    for (; x + kLanes <= srcWidth; x += kLanes) {
      ptrdiff_t e = (ptrdiff_t)y * f.pitch + x;
      // A flat neighbourhood has no unlike neighbour, so only keys of all zeros need
      // the test of equal pixels.
      Vec key = KeyLanes(f, e);
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(key, _mm_setzero_si128())) == 0xFFFF) {
        Vec E = LoadPixels(f.pixels + e), same = AllOnes();
        for (int pos = 0; pos < 9; ++pos) same = _mm_and_si128(same, Equal(E, LoadPixels(f.pixels + e + f.at[pos])));
        if (_mm_movemask_epi8(same) == 0xFFFF) {  // all 8 neighbourhoods flat
          for (unsigned cy = 0; cy < N; ++cy) {
            uint16_t* row = RowOf(out + N * x, dstPitchBytes, cy);
            if (N == 2) StoreInterleaved2(row, E, E);
            if (N == 3) StoreInterleaved3(row, E, E, E);
            if (N == 4) StoreInterleaved4(row, E, E, E, E);
          }
          continue;
        }
      }
      alignas(16) uint16_t keys[kLanes];
      _mm_store_si128((Vec*)keys, key);
      const uint8_t* weightRow[kLanes];
      for (unsigned k = 0; k < kLanes; ++k) weightRow[k] = &plan.keyWeights[(size_t)keys[k] * plan.keyRowBytes];
      // E's channels, expanded to 8 bits, in 16-bit lanes; the neighbours' are loaded
      // where a mix needs them.
      const Vec eRed = LoadPixels(f.red + e), eGreen = LoadPixels(f.green + e), eBlue = LoadPixels(f.blue + e);
      Vec cells[N * N];
      for (unsigned c = 0; c < N * N; ++c) {
        const HqCell& cell = plan.cells[c];
        if (cell.alwaysE) {
          cells[c] = LoadPixels(f.pixels + e);
          continue;
        }
        Vec w[4];
        CellWeights(weightRow, 4 * c, w);
        const ptrdiff_t n = e + f.at[cell.n], west = e + f.at[cell.w], nw = e + f.at[cell.nw];
        auto mix = [&](Vec centre, const uint16_t* plane) {
          Vec sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(w[0], centre), _mm_mullo_epi16(w[1], LoadPixels(plane + n))),
                                  _mm_add_epi16(_mm_mullo_epi16(w[2], LoadPixels(plane + west)),
                                                _mm_mullo_epi16(w[3], LoadPixels(plane + nw))));
          return _mm_srli_epi16(sum, 4);
        };
        const Vec mixed[3] = {mix(eRed, f.red), mix(eGreen, f.green), mix(eBlue, f.blue)};
        cells[c] = Quantise565Lanes<Sse2Lanes>(mixed);
      }
      for (unsigned cy = 0; cy < N; ++cy) {
        uint16_t* row = RowOf(out + N * x, dstPitchBytes, cy);
        const Vec* c = cells + cy * N;
        if (N == 2) StoreInterleaved2(row, c[0], c[1]);
        if (N == 3) StoreInterleaved3(row, c[0], c[1], c[2]);
        if (N == 4) StoreInterleaved4(row, c[0], c[1], c[2], c[3]);
      }
    }
    for (; x < srcWidth; ++x) {
      ptrdiff_t e = (ptrdiff_t)y * f.pitch + x;
      if (Flat(f, e))
        FlatBlock<N>(f.pixels[e], out + N * x, dstPitchBytes);
      else
        HqBlock<N>(plan, f, e, KeyOf(f, e), out + N * x, dstPitchBytes);
    }
  }
}

#endif  // FILTERS_HAVE_SSE2

}  // namespace

size_t HqxWorkBytes(unsigned srcWidth, unsigned srcHeight) {
  // Laid out from an address one byte past a 16-byte boundary: the most alignment
  // padding any start needs.
  return LayOut((void*)(uintptr_t)1, PaddedPixelCount(srcWidth, srcHeight, kHqBorder)).end;
}

bool HqxUnlike(uint16_t a, uint16_t b) {
  const uint32_t* table = Yuv565Table();
  uint32_t ya = table[a], yb = table[b];
  int dy = (int)(ya >> 16) - (int)(yb >> 16);
  int du = (int)((ya >> 8) & 0xFF) - (int)((yb >> 8) & 0xFF);
  int dv = (int)(ya & 0xFF) - (int)(yb & 0xFF);
  return dy > kMaxAlikeY || -dy > kMaxAlikeY || du > kMaxAlikeU || -du > kMaxAlikeU || dv > kMaxAlikeV ||
         -dv > kMaxAlikeV;
}

#define HQ_ENTRY(name, N, variant)                                                                  \
  void name(const uint16_t* src, size_t srcPitchBytes, unsigned srcWidth, unsigned srcHeight,       \
            uint16_t* dst, size_t dstPitchBytes, void* work) {                                      \
    variant<N>(src, srcPitchBytes, srcWidth, srcHeight, dst, dstPitchBytes, work);                  \
  }
HQ_ENTRY(Hq2xScalar, 2, HqScalar)
HQ_ENTRY(Hq3xScalar, 3, HqScalar)
HQ_ENTRY(Hq4xScalar, 4, HqScalar)
#if FILTERS_HAVE_SSE2
HQ_ENTRY(Hq2xSse2, 2, HqSse2)
HQ_ENTRY(Hq3xSse2, 3, HqSse2)
HQ_ENTRY(Hq4xSse2, 4, HqSse2)
#define HQ_FAST(n) Hq##n##xSse2
#else
HQ_ENTRY(Hq2xSse2, 2, HqScalar)
HQ_ENTRY(Hq3xSse2, 3, HqScalar)
HQ_ENTRY(Hq4xSse2, 4, HqScalar)
#define HQ_FAST(n) Hq##n##xScalar
#endif

const FilterInfo kHq2x = {"hq2x", "hq2x", 2, HqxWorkBytes, Hq2xScalar, HQ_FAST(2), FILTERS_HAVE_SSE2 != 0};
const FilterInfo kHq3x = {"hq3x", "hq3x", 3, HqxWorkBytes, Hq3xScalar, HQ_FAST(3), FILTERS_HAVE_SSE2 != 0};
const FilterInfo kHq4x = {"hq4x", "hq4x", 4, HqxWorkBytes, Hq4xScalar, HQ_FAST(4), FILTERS_HAVE_SSE2 != 0};
