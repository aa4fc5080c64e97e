// Golden images: small inputs whose outputs follow by hand from each algorithm's
// published rules. Each case names the filter, the input, the expected output and how
// many source pixels at each edge are left out of the comparison (where the edge
// repetition changes the neighbourhood and the hand-written rule does not cover it).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "image.h"
#include "kernels/registry.h"
#include "kernels/rgb8.h"

namespace {

const uint16_t kInk = 0xFFFF;  // white strokes
const uint16_t kBack = 0x0000;  // on black
const uint16_t kOther = 0x07E0;  // pure green, the checkerboard's second colour

Image Diagonal(unsigned n) {
  Image image = FlatImage(n, n, kBack);
  for (unsigned k = 0; k < n; ++k) image.at(k, k) = kInk;
  return image;
}

Image SinglePixel(unsigned width, unsigned height, unsigned x, unsigned y) {
  Image image = FlatImage(width, height, kBack);
  image.at(x, y) = kInk;
  return image;
}

Image Checkerboard(unsigned width, unsigned height) {
  Image image = FlatImage(width, height, kBack);
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) image.at(x, y) = (x + y) % 2 ? kOther : kInk;
  }
  return image;
}

// A text-like "L": a vertical stroke at x = 2 (y = 2..6) and a horizontal one at
// y = 6 (x = 2..6), one pixel wide, in a 10 x 10 image.
Image LetterL() {
  Image image = FlatImage(10, 10, kBack);
  for (unsigned k = 2; k <= 6; ++k) image.at(2, k) = image.at(k, 6) = kInk;
  return image;
}

// The top-left corner of a white area: white where x >= 4 and y >= 4, in 8 x 8.
Image WhiteCorner() {
  Image image = FlatImage(8, 8, kBack);
  for (unsigned y = 4; y < 8; ++y)
    for (unsigned x = 4; x < 8; ++x) image.at(x, y) = kInk;
  return image;
}

// The output of a filter built block by block: block(x, y, cell) gives the colour of
// sub-pixel `cell` (row * s + column) of source pixel (x, y).
Image Blocks(unsigned width, unsigned height, unsigned s,
             const std::function<uint16_t(unsigned, unsigned, unsigned)>& block) {
  Image out = FlatImage(width * s, height * s, 0);
  for (unsigned y = 0; y < out.height; ++y) {
    for (unsigned x = 0; x < out.width; ++x) out.at(x, y) = block(x / s, y / s, (y % s) * s + x % s);
  }
  return out;
}

// Nearest enlargement with some sub-pixels replaced: {x, y, colour} in output pixels.
struct Patch {
  unsigned x, y;
  uint16_t colour;
};
Image NearestWith(const Image& src, unsigned s, std::initializer_list<Patch> patches) {
  Image out = NearestOf(src, s);
  for (const Patch& p : patches) out.at(p.x, p.y) = p.colour;
  return out;
}

// Scale2x (and MMPX) of a one-pixel diagonal: the staircase fills to a band three
// output pixels wide.
Image DiagonalBand(unsigned n) {
  Image out = FlatImage(2 * n, 2 * n, kBack);
  for (unsigned y = 0; y < 2 * n; ++y) {
    for (unsigned x = 0; x < 2 * n; ++x) out.at(x, y) = (x > y ? x - y : y - x) <= 1 ? kInk : kBack;
  }
  return out;
}

// Block rules for a white diagonal on black, by the pixel's place: on the line
// (y == x), right of it (x == y + 1), below it (y == x + 1), elsewhere.
Image DiagonalBlocks(unsigned n, unsigned s, std::vector<uint16_t> line,
                     std::vector<uint16_t> right, std::vector<uint16_t> below) {
  return Blocks(n, n, s, [&](unsigned x, unsigned y, unsigned cell) {
    if (x == y) return line[cell];
    if (x == y + 1) return right[cell];
    if (y == x + 1) return below[cell];
    return kBack;
  });
}

struct GoldenCase {
  std::string name;
  const FilterInfo* filter;
  std::function<Image()> input;
  std::function<Image(const Image&)> expected;
  unsigned margin;  // source pixels at each edge not compared
};

std::vector<GoldenCase> GoldenCases() {
  const uint16_t W = kInk, K = kBack, O = kOther;
  std::vector<GoldenCase> cases;
  auto nearest = [](unsigned s) { return [s](const Image& in) { return NearestOf(in, s); }; };

  // Nearest: replication, whatever the content.
  for (const FilterInfo* f : {&kNearest2x, &kNearest3x, &kNearest4x}) {
    cases.push_back({std::string(f->fileName) + "_random", f, [] { return RandomImage(7, 5, 0, 7); },
                     [f](const Image& in) {
                       Image out = FlatImage(in.width * f->scale, in.height * f->scale, 0);
                       for (unsigned y = 0; y < out.height; ++y)
                         for (unsigned x = 0; x < out.width; ++x) out.at(x, y) = in.at(x / f->scale, y / f->scale);
                       return out;
                     },
                     0});
  }

  // A single pixel stays a square block in the Scale family and MMPX but Scale4x, whose
  // second pass rounds the corners of the 2x2 block it got from the first.
  cases.push_back({"scale4x_single_pixel", &kScale4x, [] { return SinglePixel(7, 7, 3, 3); },
                   [=](const Image& in) { return NearestWith(in, 4, {{12, 12, K}, {15, 12, K}, {12, 15, K}, {15, 15, K}}); },
                   0});
  for (const FilterInfo* f : {&kScale2x, &kScale3x, &kMmpx2x}) {
    cases.push_back({std::string(f->fileName) + "_single_pixel", f, [] { return SinglePixel(7, 7, 3, 3); },
                     nearest(f->scale), 0});
  }

  // A single pixel in the top-left corner: the repeated edge makes it the corner of a
  // larger area, so the Scale family rounds its inner corner.
  cases.push_back({"scale2x_corner_pixel", &kScale2x, [] { return SinglePixel(4, 4, 0, 0); },
                   [=](const Image& in) { return NearestWith(in, 2, {{1, 1, K}}); }, 0});
  cases.push_back({"scale3x_corner_pixel", &kScale3x, [] { return SinglePixel(4, 4, 0, 0); },
                   [=](const Image& in) { return NearestWith(in, 3, {{2, 1, K}, {1, 2, K}, {2, 2, K}}); }, 0});
  cases.push_back({"scale4x_corner_pixel", &kScale4x, [] { return SinglePixel(4, 4, 0, 0); },
                   [=](const Image& in) {
                     return NearestWith(in, 4, {{3, 1, K}, {3, 2, K}, {1, 3, K}, {2, 3, K}, {3, 3, K}});
                   },
                   0});

  // A one-pixel diagonal. Scale2x, whole image: the band, with the line's two ends cut
  // where the edge repeats the end pixel.
  cases.push_back({"scale2x_diagonal", &kScale2x, [] { return Diagonal(8); },
                   [=](const Image&) {
                     Image out = DiagonalBand(8);
                     out.at(1, 1) = out.at(14, 14) = K;
                     return out;
                   },
                   0});
  cases.push_back({"mmpx2x_diagonal", &kMmpx2x, [] { return Diagonal(10); },
                   [](const Image&) { return DiagonalBand(10); }, 3});
  cases.push_back({"scale3x_diagonal", &kScale3x, [] { return Diagonal(8); },
                   [=](const Image&) {
                     return DiagonalBlocks(8, 3, {W, W, W, W, W, W, W, W, W}, {K, K, K, K, K, K, W, K, K},
                                           {K, K, W, K, K, K, K, K, K});
                   },
                   2});
  // Scale4x: Scale2x of the 2x band. Of each 2x pixel, by d = y - x: the band's edges
  // (d = +-1) lose their outer corner, the pixels beyond (d = +-2) gain their inner one.
  cases.push_back({"scale4x_diagonal", &kScale4x, [] { return Diagonal(8); },
                   [=](const Image&) {
                     return Blocks(16, 16, 2, [&](unsigned x, unsigned y, unsigned cell) {
                       int d = (int)y - (int)x;
                       if (d == 0) return W;
                       if (d == 1) return cell == 2 ? K : W;
                       if (d == -1) return cell == 1 ? K : W;
                       if (d == 2) return cell == 1 ? W : K;
                       if (d == -2) return cell == 2 ? W : K;
                       return K;
                     });
                   },
                   2});
  // A checkerboard (dithering) is left as it is, away from the edges, except by
  // Scale4x, whose second pass rounds the corners of the 2x squares.
  for (const FilterInfo* f : {&kScale2x, &kScale3x, &kMmpx2x}) {
    cases.push_back({std::string(f->fileName) + "_checkerboard", f, [] { return Checkerboard(12, 11); },
                     nearest(f->scale), f == &kMmpx2x ? 3u : 2u});
  }
  cases.push_back({"scale4x_checkerboard", &kScale4x, [] { return Checkerboard(12, 11); },
                   [=](const Image& in) {
                     return Blocks(12, 11, 4, [&](unsigned x, unsigned y, unsigned cell) {
                       uint16_t self = in.at(x, y), other = self == W ? O : W;
                       bool corner = cell == 0 || cell == 3 || cell == 12 || cell == 15;
                       return corner ? other : self;
                     });
                   },
                   2});

  // Text-like strokes: Scale2x rounds the inner and outer corner of the "L", Scale3x
  // by three sub-pixels each; MMPX keeps one-pixel strokes exactly.
  cases.push_back({"scale2x_strokes", &kScale2x, LetterL,
                   [=](const Image& in) { return NearestWith(in, 2, {{6, 11, W}, {4, 13, K}}); }, 0});
  cases.push_back({"scale3x_strokes", &kScale3x, LetterL,
                   [=](const Image& in) {
                     return NearestWith(in, 3, {{9, 16, W}, {9, 17, W}, {10, 17, W}, {6, 19, K}, {6, 20, K}, {7, 20, K}});
                   },
                   0});
  cases.push_back({"mmpx2x_strokes", &kMmpx2x, LetterL, nearest(2), 0});
  // The 2xSaI family (2xSaI, Super 2xSaI, Super Eagle), worked out by hand from the
  // published rules (kernels/sai.cpp names the neighbourhoods). Averages are per
  // channel, rounded down: g = mean of white and black (15, 31, 15); q = a quarter white
  // (7, 15, 7), the mean of black and g; d = (3 black + g) / 4 = (3, 7, 3); l = (3 white
  // + g) / 4 = (27, 55, 27); m = mean of white and green (15, 63, 15).
  const uint16_t g = 0x7BEF, q = 0x39E7, d = 0x18E3, l = 0xDEFB, m = 0x7FEF;
  // A white pixel on black. 2xSaI: in its own window only B-C (black) is a line, so its
  // block is W, g / g, B: the sides towards the black line are halved, the far corner
  // black; the pixels left of and above it (whose windows hold it as B and C) halve
  // their sub-pixels next to it, so it becomes a small diamond.
  cases.push_back({"2xsai_single_pixel", &kSai2x, [] { return SinglePixel(7, 7, 3, 3); },
                   [=](const Image& in) { return NearestWith(in, 2, {{7, 6, g}, {6, 7, g}, {7, 7, K}, {5, 6, g}, {6, 5, g}}); },
                   0});
  // Super 2xSaI: the right column of each block takes the line 2-6 (black), so the pixel
  // keeps only its top-left sub-pixel; the pixel above it copies its lower neighbour
  // into its bottom-left sub-pixel (the rule's default), which lifts the white half a
  // pixel.
  cases.push_back({"super2xsai_single_pixel", &kSuperSai2x, [] { return SinglePixel(7, 7, 3, 3); },
                   [=](const Image& in) { return NearestWith(in, 2, {{6, 5, W}, {7, 6, K}, {6, 7, K}, {7, 7, K}}); },
                   0});
  // Super Eagle: the black line 2-6 takes the pixel's block but for the top-left
  // sub-pixel, which goes three quarters towards black (q); the three windows around it
  // do the same to their sub-pixel next to it: a dim 2x2 square at its top-left corner.
  cases.push_back({"supereagle_single_pixel", &kSuperEagle2x, [] { return SinglePixel(7, 7, 3, 3); },
                   [=](const Image&) {
                     Image out = FlatImage(14, 14, K);
                     out.at(5, 5) = out.at(6, 5) = out.at(5, 6) = out.at(6, 6) = q;
                     return out;
                   },
                   0});
  // A one-pixel diagonal: on the line both diagonals of the window are lines; the vote
  // favours the white one (its surroundings are black on both sides), so the block is
  // W, g / g, W in 2xSaI and Super Eagle. Beside the line only the black diagonal is a
  // line, and the sub-pixel facing the white line is halved.
  for (const FilterInfo* f : {&kSai2x, &kSuperEagle2x}) {
    cases.push_back({std::string(f->fileName) + "_diagonal", f, [] { return Diagonal(10); },
                     [=](const Image&) { return DiagonalBlocks(10, 2, {W, g, g, W}, {K, K, g, K}, {K, g, K, K}); },
                     2});
  }
  // Super 2xSaI keeps the line's colours unmixed but moves them half a pixel: the line's
  // own bottom-left sub-pixel is black, its right neighbour's bottom-left white.
  cases.push_back({"super2xsai_diagonal", &kSuperSai2x, [] { return Diagonal(10); },
                   [=](const Image&) { return DiagonalBlocks(10, 2, {W, W, K, W}, {K, K, W, K}, {K, K, K, K}); },
                   2});
  // A checkerboard of white and green: both diagonals of every window are lines and the
  // vote ties. 2xSaI: the pixel, then means (the four-pixel mean equals the two-pixel
  // one here). Super 2xSaI: the pixel, m, the pixel below, m. Super Eagle keeps each
  // pixel's own colour on its diagonal and the other colour on the other: a finer
  // checkerboard.
  cases.push_back({"2xsai_checkerboard", &kSai2x, [] { return Checkerboard(12, 11); },
                   [=](const Image& in) {
                     return Blocks(12, 11, 2, [&](unsigned x, unsigned y, unsigned cell) { return cell == 0 ? in.at(x, y) : m; });
                   },
                   2});
  cases.push_back({"super2xsai_checkerboard", &kSuperSai2x, [] { return Checkerboard(12, 11); },
                   [=](const Image& in) {
                     return Blocks(12, 11, 2, [&](unsigned x, unsigned y, unsigned cell) {
                       uint16_t self = in.at(x, y), other = self == W ? O : W;
                       return cell == 0 ? self : cell == 2 ? other : m;
                     });
                   },
                   2});
  cases.push_back({"supereagle_checkerboard", &kSuperEagle2x, [] { return Checkerboard(12, 11); },
                   [=](const Image& in) {
                     return Blocks(12, 11, 2, [&](unsigned x, unsigned y, unsigned cell) {
                       uint16_t self = in.at(x, y), other = self == W ? O : W;
                       return cell == 0 || cell == 3 ? self : other;
                     });
                   },
                   2});
  // The top-left corner of a white area (x >= 4, y >= 4 of 8 x 8). 2xSaI: above the top
  // edge and left of the left edge no diagonal is a line, so the sub-pixels next to the
  // area are means (g); the window diagonally outside the corner has the black line B-C
  // and stays black: a rounded corner.
  cases.push_back({"2xsai_corner", &kSai2x, WhiteCorner, [=](const Image& in) {
                     Image out = NearestOf(in, 2);
                     for (unsigned k = 8; k < 16; ++k) out.at(k, 7) = out.at(7, k) = g;
                     return out;
                   },
                   0});
  // Super 2xSaI: above the top edge each block's lower half copies the white below it
  // (the area grows half a pixel upwards); left of the left edge, the right column is
  // the mean of the 5-6 and 2-3 pairs (g).
  cases.push_back({"super2xsai_corner", &kSuperSai2x, WhiteCorner, [=](const Image& in) {
                     Image out = NearestOf(in, 2);
                     for (unsigned k = 8; k < 16; ++k) out.at(k, 7) = W, out.at(7, k) = g;
                     return out;
                   },
                   0});
  // Super Eagle: beside each edge no diagonal is a line, and each sub-pixel is three
  // quarters its own pixel and a quarter the mean across: d on the black side, l on the
  // white side; the window outside the corner has the black line 2-6 and its sub-pixel
  // at the corner goes a quarter towards white (q).
  cases.push_back({"supereagle_corner", &kSuperEagle2x, WhiteCorner, [=](const Image& in) {
                     Image out = NearestOf(in, 2);
                     for (unsigned k = 8; k < 16; ++k) out.at(k, 6) = out.at(6, k) = d, out.at(k, 7) = out.at(7, k) = l;
                     out.at(7, 7) = q;
                     return out;
                   },
                   0});
  return cases;
}

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

class Golden : public testing::TestWithParam<GoldenCase> {};

// The expected image restricted to the compared rectangle.
Image Inner(const Image& image, unsigned margin) {
  Image out = FlatImage(image.width - 2 * margin, image.height - 2 * margin, 0);
  for (unsigned y = 0; y < out.height; ++y)
    for (unsigned x = 0; x < out.width; ++x) out.at(x, y) = image.at(x + margin, y + margin);
  return out;
}

TEST_P(Golden, ScalarAndSse2MatchTheHandWrittenOutput) {
  const GoldenCase& c = GetParam();
  Image in = c.input();
  Image expected = c.expected(in);
  unsigned margin = c.margin * c.filter->scale;
  for (FilterFn kernel : {c.filter->scalar, c.filter->fast}) {
    Image out = RunKernel(*c.filter, kernel, in);
    EXPECT_EQ(FirstDifference(Inner(out, margin), Inner(expected, margin)), "")
        << (kernel == c.filter->scalar ? "scalar" : "fast");
  }
}

INSTANTIATE_TEST_SUITE_P(Filters, Golden, testing::ValuesIn(GoldenCases()),
                         [](const testing::TestParamInfo<GoldenCase>& info) { return info.param.name; });

// A flat field stays flat in every filter (Scanlines: every second row half as bright;
// LCD 3x: its cell pattern repeated).
class FlatField : public testing::TestWithParam<const FilterInfo*> {};

TEST_P(FlatField, StaysFlat) {
  const FilterInfo& f = *GetParam();
  const uint16_t kColour = PackRgb(19, 41, 7);
  const uint16_t kHalf = PackRgb(9, 20, 3);
  Image in = FlatImage(11, 6, kColour);
  for (FilterFn kernel : {f.scalar, f.fast}) {
    Image out = RunKernel(f, kernel, in);
    Image expected = FlatImage(out.width, out.height, kColour);
    if (&f == &kScanlines2x)
      for (unsigned y = 1; y < out.height; y += 2)
        for (unsigned x = 0; x < out.width; ++x) expected.at(x, y) = kHalf;
    if (&f == &kLcd3x) {
      // (19, 41, 7): red column (19, 10, 1), green (4, 41, 1), blue (4, 10, 7); the bottom
      // row halves each: (9, 5, 0), (2, 20, 0), (2, 5, 3).
      const uint16_t cell[2][3] = {{PackRgb(19, 10, 1), PackRgb(4, 41, 1), PackRgb(4, 10, 7)},
                                   {PackRgb(9, 5, 0), PackRgb(2, 20, 0), PackRgb(2, 5, 3)}};
      for (unsigned y = 0; y < out.height; ++y)
        for (unsigned x = 0; x < out.width; ++x) expected.at(x, y) = cell[y % 3 == 2][x % 3];
    }
    EXPECT_EQ(FirstDifference(out, expected), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Filters, FlatField, testing::ValuesIn(kAllFilters, kAllFilters + kAllFilterCount),
                         [](const testing::TestParamInfo<const FilterInfo*>& info) {
                           return std::string(info.param->fileName);
                         });

// Scanlines: upper rows are the source pixels, lower rows each channel halved (rounded
// down), written out here value by value.
TEST(Scanlines, LowerRowsAreHalfBright) {
  const uint16_t in[] = {0xFFFF, 0xF800, 0x07E0, 0x001F, 0x0821, 0x1234, 0x0000, 0x8410, 0x7BEF};
  const uint16_t half[] = {0x7BEF, 0x7800, 0x03E0, 0x000F, 0x0000, 0x090A, 0x0000, 0x4208, 0x39E7};
  const unsigned n = sizeof(in) / sizeof(in[0]);
  Image src = FlatImage(n, 1, 0);
  for (unsigned x = 0; x < n; ++x) src.at(x, 0) = in[x];
  for (FilterFn kernel : {kScanlines2x.scalar, kScanlines2x.fast}) {
    Image out = RunKernel(kScanlines2x, kernel, src);
    for (unsigned x = 0; x < 2 * n; ++x) {
      EXPECT_EQ(out.at(x, 0), in[x / 2]) << x;
      EXPECT_EQ(out.at(x, 1), half[x / 2]) << x;
    }
  }
}

// LCD 3x: a pixel's three columns and the darker bottom row, value by value: white,
// pure red, and a colour with odd channels (rounding down).
TEST(Lcd3x, SubPixelColumnsAndRowLine) {
  struct Cell {
    uint16_t in, red, green, blue, redLow, greenLow, blueLow;
  };
  const Cell cells[] = {
      // white (31, 63, 31): columns (31, 15, 7), (7, 63, 7), (7, 15, 31); halved.
      {0xFFFF, PackRgb(31, 15, 7), PackRgb(7, 63, 7), PackRgb(7, 15, 31), PackRgb(15, 7, 3), PackRgb(3, 31, 3), PackRgb(3, 7, 15)},
      // pure red: only the red column lights up fully; the others keep a quarter of red.
      {0xF800, PackRgb(31, 0, 0), PackRgb(7, 0, 0), PackRgb(7, 0, 0), PackRgb(15, 0, 0), PackRgb(3, 0, 0), PackRgb(3, 0, 0)},
      // (5, 13, 3): quarters (1, 3, 0).
      {PackRgb(5, 13, 3), PackRgb(5, 3, 0), PackRgb(1, 13, 0), PackRgb(1, 3, 3), PackRgb(2, 1, 0), PackRgb(0, 6, 0), PackRgb(0, 1, 1)},
  };
  Image src = FlatImage(3, 1, 0);
  for (unsigned x = 0; x < 3; ++x) src.at(x, 0) = cells[x].in;
  for (FilterFn kernel : {kLcd3x.scalar, kLcd3x.fast}) {
    Image out = RunKernel(kLcd3x, kernel, src);
    for (unsigned x = 0; x < 3; ++x) {
      const Cell& c = cells[x];
      for (unsigned row = 0; row < 2; ++row) {
        EXPECT_EQ(out.at(3 * x, row), c.red) << x;
        EXPECT_EQ(out.at(3 * x + 1, row), c.green) << x;
        EXPECT_EQ(out.at(3 * x + 2, row), c.blue) << x;
      }
      EXPECT_EQ(out.at(3 * x, 2), c.redLow) << x;
      EXPECT_EQ(out.at(3 * x + 1, 2), c.greenLow) << x;
      EXPECT_EQ(out.at(3 * x + 2, 2), c.blueLow) << x;
    }
  }
}

// Scale4x is, by definition, Scale2x applied twice.
TEST(Scale4x, IsScale2xTwice) {
  for (unsigned palette : {2u, 3u}) {
    Image in = RandomImage(23, 9, palette, 100 + palette);
    Image twice = RunKernel(kScale2x, kScale2x.scalar, RunKernel(kScale2x, kScale2x.scalar, in));
    for (FilterFn kernel : {kScale4x.scalar, kScale4x.fast}) {
      EXPECT_EQ(FirstDifference(RunKernel(kScale4x, kernel, in), twice), "") << "palette " << palette;
    }
  }
}

// MMPX compares brightness on channels expanded to 8 bits, so pure red (255, 0, 0) and
// pure green (0, 255, 0) are equally bright. At E below the 1:1-edge rule of sub-pixel
// M (bottom right) sees F == H (green), F != B, F != D, and needs E at least as bright
// as F: with the tie it holds, and since E != R the rule fires, so M turns green. (A
// brightness that weighed the 5- and 6-bit values directly would make red 62 and green
// 63, and M would stay red.) No other rule fires: every one needs an equality that the
// neighbourhood lacks. Neighbourhood, with the pixels the rules read named:
//
//       .  .  P  .  .          P = 0000
//       .  A  B  C  .          A = DEFB, B = C = 0000
//       Q  D  E  F  R          Q = D = E = F800, F = R = 07E0
//       .  G  H  I  .          G = F800, H = I = 07E0
//       .  .  S  .  .          S = F800; the unnamed pixels are black
TEST(Mmpx, BrightnessTieFallsAsInThePaper) {
  const uint16_t red = 0xF800, green = 0x07E0, black = 0x0000;
  Image in = FlatImage(5, 5, black);
  in.at(1, 1) = 0xDEFB;                                         // A
  in.at(2, 1) = in.at(3, 1) = in.at(2, 0) = black;              // B, C, P
  in.at(0, 2) = in.at(1, 2) = in.at(2, 2) = in.at(1, 3) = red;  // Q, D, E, G
  in.at(2, 4) = red;                                            // S
  in.at(3, 2) = in.at(4, 2) = in.at(2, 3) = in.at(3, 3) = green;  // F, R, H, I
  EXPECT_EQ(MmpxLuma(red), 255);
  EXPECT_EQ(MmpxLuma(green), 255);
  EXPECT_EQ(MmpxLuma(0xFFFF), 765);
  for (FilterFn kernel : {kMmpx2x.scalar, kMmpx2x.fast}) {
    Image out = RunKernel(kMmpx2x, kernel, in);
    const char* which = kernel == kMmpx2x.scalar ? "scalar" : "fast";
    EXPECT_EQ(out.at(4, 4), red) << which << " J";
    EXPECT_EQ(out.at(5, 4), red) << which << " K";
    EXPECT_EQ(out.at(4, 5), red) << which << " L";
    EXPECT_EQ(out.at(5, 5), green) << which << " M";
  }
}

// xBR's colour distance: |dY| + |dU| + |dV| of the 8-bit YUV, worked out by hand for a
// few pixels (channels expanded to 8 bits first).
TEST(XbrDistance, IsTheSumOfYuvDifferences) {
  EXPECT_EQ(XbrDistance(0x1234, 0x1234), 0u);
  EXPECT_EQ(XbrDistance(0xFFFF, 0x0000), XbrDistance(0x0000, 0xFFFF));
  // White: Y 255, U 128, V 128; black: Y 0, U 128, V 128.
  EXPECT_EQ(XbrDistance(0xFFFF, 0x0000), 255u);
  // Pure red (255, 0, 0): Y = 76 (76.245), U = 128 - 43 (-43.095 truncated), V = 128 + 127
  // (127.5 truncated); against black: 76 + 43 + 127.
  EXPECT_EQ(XbrDistance(0xF800, 0x0000), 76u + 43u + 127u);
  // Pure blue (0, 0, 255): Y 29, U 128 + 127, V 128 - 20 (-20.655 truncated).
  EXPECT_EQ(XbrDistance(0x001F, 0x0000), 29u + 127u + 20u);
  EXPECT_EQ(Yuv8Of(0xFF0000), (76u << 16) | (85u << 8) | 255u);
  EXPECT_EQ(Yuv8Of(0x0000FF), (29u << 16) | (255u << 8) | 108u);
}

// A shape amid pixels that all differ. The SSE2 version skips the rule groups that no
// lane of a step of 8 can fire (the edge rules need two alike neighbours of E, the
// intersections and tips a neighbour alike to E), so a shape must fire even when every
// other pixel of its step is busy. The shape, at one column per lane: F, H, G and R are
// X, I is E, every other pixel is its own colour. The 1:1 edge rule gives M = F (the
// corner is E's own, E = I), then the 2:1 edge rule carries M to L; J and K stay E.
TEST(Mmpx, AShapeAmidBusyPixelsStillFires) {
  const unsigned kWidth = 40, kLanes = 8, kRowsPerShape = 5;
  Image in = FlatImage(kWidth, kLanes * kRowsPerShape + 2, 0);
  // Distinct colours: an odd multiplier permutes the 16-bit values.
  for (size_t k = 0; k < in.pixels.size(); ++k) in.pixels[k] = (uint16_t)(k * 40503u + 12345u);
  const uint16_t X = (uint16_t)(65535u * 40503u + 12345u);  // a colour no pixel has
  for (unsigned lane = 0; lane < kLanes; ++lane) {
    unsigned x = 16 + lane, y = 1 + kRowsPerShape * lane;
    in.at(x + 1, y) = in.at(x + 2, y) = in.at(x, y + 1) = in.at(x - 1, y + 1) = X;  // F, R, H, G
    in.at(x + 1, y + 1) = in.at(x, y);                                             // I = E
  }
  for (FilterFn kernel : {kMmpx2x.scalar, kMmpx2x.fast}) {
    Image out = RunKernel(kMmpx2x, kernel, in);
    const char* which = kernel == kMmpx2x.scalar ? "scalar" : "fast";
    for (unsigned lane = 0; lane < kLanes; ++lane) {
      unsigned x = 16 + lane, y = 1 + kRowsPerShape * lane;
      uint16_t E = in.at(x, y);
      EXPECT_EQ(out.at(2 * x, 2 * y), E) << which << " J, column " << x;
      EXPECT_EQ(out.at(2 * x + 1, 2 * y), E) << which << " K, column " << x;
      EXPECT_EQ(out.at(2 * x, 2 * y + 1), X) << which << " L, column " << x;
      EXPECT_EQ(out.at(2 * x + 1, 2 * y + 1), X) << which << " M, column " << x;
    }
  }
}

// The vector YUV of xBR and hqx (multiply-adds and a single-precision division by 1000)
// equals the integer formula for every R5G6B5 colour, including the sums that are exact
// multiples of 1000, where a careless division would come out one too low.
TEST(Yuv565Planes, EqualTheIntegerFormulaForEveryColour) {
  const size_t kColours = 1u << 16;
  std::vector<uint16_t> pixels(kColours);
  for (size_t p = 0; p < kColours; ++p) pixels[p] = (uint16_t)p;
  std::vector<uint8_t> y(kColours), u(kColours), v(kColours);
  Yuv565Planes(pixels.data(), kColours, y.data(), u.data(), v.data());
  size_t wrong = 0;
  for (size_t p = 0; p < kColours; ++p) {
    uint32_t expected = Yuv8Of(Expand565((uint16_t)p));
    uint32_t got = (uint32_t)y[p] << 16 | (uint32_t)u[p] << 8 | v[p];
    if (got != expected && wrong++ < 5)
      ADD_FAILURE() << "colour 0x" << std::hex << p << ": YUV 0x" << got << ", expected 0x" << expected;
  }
  EXPECT_EQ(wrong, 0u);
}

// The blends on packed 8-bit channels, values worked out by hand: towards b by m / 2^s
// per channel, rounded down.
TEST(XbrBlend, MovesEachChannelAndTruncates) {
  EXPECT_EQ(XbrBlend(0x000000, 0xFFFFFF, 1, 2), 0x3F3F3Fu);  // 255 / 4 = 63.75
  EXPECT_EQ(XbrBlend(0x000000, 0xFFFFFF, 3, 2), 0xBFBFBFu);  // 765 / 4 = 191.25
  EXPECT_EQ(XbrBlend(0x000000, 0xFFFFFF, 7, 3), 0xDFDFDFu);  // 1785 / 8 = 223.1
  EXPECT_EQ(XbrBlend(0xFFFFFF, 0x000000, 1, 3), 0xDFDFDFu);  // 255 - 31.875, rounded down
  // Blue falling while red stays: the borrow between the packed channels cancels out.
  EXPECT_EQ(XbrBlend(0x100010, 0x100000, 1, 2), 0x10000Cu);
  EXPECT_EQ(XbrBlend(0x204080, 0x000000, 3, 2), 0x081020u);
  EXPECT_EQ(XbrHalf(0xFFFFFF, 0x000000), 0x7F7F7Fu);
  // Each channel halved (low bit dropped) before the sum: red 1/2 + 3/2 = 0 + 1, green
  // 2/2 + 3/2 = 1 + 1, blue 3/2 + 3/2 = 1 + 1 (a true mean would give 2, 2, 3).
  EXPECT_EQ(XbrHalf(0x010203, 0x030303), 0x010202u);
}

}  // namespace
