// The scene, laid out in fractions of the art image so that it fills the frame at
// every pixel size (320 x 240 art pixels at 2, 214 x 160 at 3, 160 x 120 at 4):
//
//   top band:     gradients (red, green, blue, grey) | 1-pixel checker | 4-pixel checker
//   middle band:  line fan | text panel | flat sky with sun, mountain and a turning hand
//   ground:       grass over a brick wall
//
// The hero and the slime walk along the grass, the bird flies across the middle band.
// The centre quarter of the frame, which the tour's contact sheet shows at 1:1, holds
// a piece of nearly everything: the grey ramp, the fine checker, the converging lines,
// the text, the sun's edge and, at scene time 0, all three sprites.
#include "scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "font.h"
#include "sprites.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Band boundaries, in per cent of the art height.
constexpr int kTopBandPercent = 33;
constexpr int kGroundPercent = 67;

// Sprite speeds in art pixels per second (2 to 3 art pixels per frame at 30 frames
// per second) and where each starts, in per cent of the art width.
constexpr double kHeroSpeed = 60.0;
constexpr double kSlimeSpeed = -45.0;
constexpr double kBirdSpeed = 90.0;
constexpr int kHeroStartPercent = 40;
constexpr int kSlimeStartPercent = 58;
constexpr int kBirdStartPercent = 68;
constexpr double kHeroStepsPerSecond = 6.0;
constexpr double kSlimeBlinksPerSecond = 2.0;
constexpr double kBirdFlapsPerSecond = 8.0;
constexpr double kSlimeHopsPerSecond = 1.5;
constexpr int kSlimeHopHeight = 5;
constexpr double kHandTurnsPerSecond = 0.125;

constexpr int kSmallChecker = 1;  // cell sizes in art pixels
constexpr int kLargeChecker = 4;
constexpr int kBrickWidth = 8;
constexpr int kBrickHeight = 4;
constexpr int kGrassRows = 3;

// Colours.
constexpr uint16_t kBlack = Rgb565(0, 0, 0);
constexpr uint16_t kWhite = Rgb565(255, 255, 255);
constexpr uint16_t kNight = Rgb565(16, 24, 64);
constexpr uint16_t kPanelGrey = Rgb565(48, 48, 56);
constexpr uint16_t kPanelBorder = Rgb565(160, 160, 176);
constexpr uint16_t kTextColour = Rgb565(240, 240, 160);
constexpr uint16_t kSky = Rgb565(96, 168, 232);
constexpr uint16_t kSun = Rgb565(255, 200, 40);
constexpr uint16_t kMountain = Rgb565(88, 96, 120);
constexpr uint16_t kSnow = Rgb565(236, 240, 248);
constexpr uint16_t kHand = Rgb565(200, 24, 48);
constexpr uint16_t kCheckerA = Rgb565(248, 120, 24);
constexpr uint16_t kCheckerB = Rgb565(104, 40, 152);
constexpr uint16_t kGrassLight = Rgb565(120, 216, 72);
constexpr uint16_t kGrassDark = Rgb565(32, 120, 40);
constexpr uint16_t kBrick = Rgb565(168, 72, 48);
constexpr uint16_t kMortar = Rgb565(208, 184, 160);
constexpr uint16_t kFanColours[] = {Rgb565(255, 255, 255), Rgb565(255, 232, 64),
                                    Rgb565(64, 232, 255)};

const char* const kTextLines[] = {"PIXELS!", "AaBbCc", "0123456", "x+y=z?"};

struct Rect {
  int x, y, w, h;
};

struct Layout {
  Rect gradients, smallChecker, largeChecker, fan, text, flat, ground;
};

Layout MakeLayout(int width, int height)
{
  const int top = height * kTopBandPercent / 100;
  const int ground = height * kGroundPercent / 100;
  const int half = width / 2, threeQuarters = width * 3 / 4;
  const int third = width / 3, twoThirds = width * 2 / 3;
  Layout l;
  l.gradients = {0, 0, half, top};
  l.smallChecker = {half, 0, threeQuarters - half, top};
  l.largeChecker = {threeQuarters, 0, width - threeQuarters, top};
  l.fan = {0, top, third, ground - top};
  l.text = {third, top, twoThirds - third, ground - top};
  l.flat = {twoThirds, top, width - twoThirds, ground - top};
  l.ground = {0, ground, width, height - ground};
  return l;
}

// Bresenham's line from (x0, y0) to (x1, y1), both ends included.
void DrawLine(Image565& art, int x0, int y0, int x1, int y1, uint16_t colour)
{
  const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int error = dx + dy;
  for (;;) {
    art.Put(x0, y0, colour);
    if (x0 == x1 && y0 == y1)
      return;
    const int twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x0 += sx;
    }
    if (twice <= dx) {
      error += dx;
      y0 += sy;
    }
  }
}

void FillCircle(Image565& art, int cx, int cy, int radius, uint16_t colour)
{
  for (int y = -radius; y <= radius; ++y)
    for (int x = -radius; x <= radius; ++x)
      if (x * x + y * y <= radius * radius)
        art.Put(cx + x, cy + y, colour);
}

// Four horizontal ramps from black to full red, green, blue and white: 16-bit colour
// turns them into visible steps that filters smooth or keep.
void DrawGradients(Image565& art, const Rect& r)
{
  const int rampHeight = std::max(r.h / 4, 1);
  for (int x = 0; x < r.w; ++x) {
    const int v = r.w > 1 ? x * 255 / (r.w - 1) : 255;
    const uint16_t ramps[4] = {Rgb565(v, 0, 0), Rgb565(0, v, 0), Rgb565(0, 0, v), Rgb565(v, v, v)};
    for (int ramp = 0; ramp < 4; ++ramp)
      art.FillRect(r.x + x, r.y + ramp * rampHeight, 1, rampHeight, ramps[ramp]);
  }
}

void DrawChecker(Image565& art, const Rect& r, int cell, uint16_t a, uint16_t b)
{
  for (int y = 0; y < r.h; ++y)
    for (int x = 0; x < r.w; ++x)
      art.Put(r.x + x, r.y + y, ((x / cell + y / cell) % 2) ? b : a);
}

// Lines from the panel's bottom-right corner, up and to the left at 10, 20, ... 80
// degrees: every staircase slope that a filter has to turn into a smooth edge.
void DrawLineFan(Image565& art, const Rect& r)
{
  art.FillRect(r.x, r.y, r.w, r.h, kNight);
  const int x0 = r.x + r.w - 3, y0 = r.y + r.h - 3;
  const int length = std::min(r.w, r.h) * 95 / 100;
  for (int i = 1; i <= 8; ++i) {
    const double angle = i * 10.0 * kPi / 180.0;
    const int x1 = x0 - static_cast<int>(std::lround(length * std::cos(angle)));
    const int y1 = y0 - static_cast<int>(std::lround(length * std::sin(angle)));
    DrawLine(art, x0, y0, x1, y1, kFanColours[i % 3]);
  }
}

// A bordered panel with a few lines of text, centred.
void DrawTextPanel(Image565& art, const Rect& r)
{
  art.FillRect(r.x, r.y, r.w, r.h, kPanelBorder);
  art.FillRect(r.x + 1, r.y + 1, r.w - 2, r.h - 2, kPanelGrey);
  const int lineCount = static_cast<int>(sizeof kTextLines / sizeof kTextLines[0]);
  const int top = r.y + (r.h - lineCount * kLineAdvance + 1) / 2;
  for (int i = 0; i < lineCount; ++i) {
    const std::string line = kTextLines[i];
    const int left = r.x + (r.w - TextWidth(line) + 1) / 2;
    DrawText(line, left, top + i * kLineAdvance, 1,
             [&](int x, int y) { art.Put(x, y, kTextColour); });
  }
}

// Flat sky with a round sun, a mountain with slopes of 1:1 and 1:2, and a hand that
// turns with time so that every line angle passes by.
void DrawFlatArea(Image565& art, const Rect& r, double seconds)
{
  art.FillRect(r.x, r.y, r.w, r.h, kSky);
  const int sunRadius = r.h / 5;
  FillCircle(art, r.x + r.w / 4, r.y + r.h / 3, sunRadius, kSun);
  // The mountain: each row one pixel wider on the left and two on the right.
  const int peakX = r.x + r.w * 2 / 3, peakY = r.y + r.h / 3, base = r.y + r.h;
  for (int y = peakY; y < base; ++y) {
    const int depth = y - peakY;
    const uint16_t colour = depth < r.h / 10 ? kSnow : kMountain;
    art.FillRect(peakX - depth, y, 3 * depth + 1, 1, colour);
  }
  // The hand, pivoting at the sun's centre.
  const double angle = 2.0 * kPi * kHandTurnsPerSecond * seconds;
  const int cx = r.x + r.w / 4, cy = r.y + r.h / 3;
  const int length = r.h * 3 / 5;
  DrawLine(art, cx, cy, cx + static_cast<int>(std::lround(length * std::cos(angle))),
           cy + static_cast<int>(std::lround(length * std::sin(angle))), kHand);
}

// Grass on top of a brick wall: hard horizontal and vertical edges.
void DrawGround(Image565& art, const Rect& r)
{
  art.FillRect(r.x, r.y, r.w, 2, kGrassLight);
  art.FillRect(r.x, r.y + 2, r.w, kGrassRows - 2, kGrassDark);
  const int wallTop = r.y + kGrassRows;
  art.FillRect(r.x, wallTop, r.w, r.h - kGrassRows, kMortar);
  for (int row = 0; wallTop + row * kBrickHeight < r.y + r.h; ++row) {
    const int offset = (row % 2) ? kBrickWidth / 2 : 0;
    for (int x = -offset; x < r.w; x += kBrickWidth)
      art.FillRect(r.x + x, wallTop + row * kBrickHeight, kBrickWidth - 1, kBrickHeight - 1, kBrick);
  }
}

// Horizontal position of a sprite that starts at startPercent of the width and moves
// at speed, wrapping round so that it re-enters on the other side.
int WrappedX(int width, int spriteWidth, int startPercent, double speed, double seconds)
{
  const int span = width + spriteWidth;
  const long travelled = std::lround(width * startPercent / 100.0 + speed * seconds);
  return static_cast<int>(((travelled % span) + span) % span) - spriteWidth;
}

void DrawSprites(Image565& art, const Layout& l, double seconds)
{
  const int groundY = l.ground.y;
  const int heroX = WrappedX(art.width, SpriteWidth(SpriteKind::Hero), kHeroStartPercent, kHeroSpeed, seconds);
  DrawSprite(art, SpriteKind::Hero, static_cast<int>(seconds * kHeroStepsPerSecond), heroX,
             groundY - SpriteHeight(SpriteKind::Hero) + 1);

  const int slimeX = WrappedX(art.width, SpriteWidth(SpriteKind::Slime), kSlimeStartPercent, kSlimeSpeed, seconds);
  const int hop = static_cast<int>(std::lround(
      kSlimeHopHeight * std::fabs(std::sin(kPi * kSlimeHopsPerSecond * seconds))));
  DrawSprite(art, SpriteKind::Slime, static_cast<int>(seconds * kSlimeBlinksPerSecond), slimeX,
             groundY - SpriteHeight(SpriteKind::Slime) + 1 - hop);

  const int birdX = WrappedX(art.width, SpriteWidth(SpriteKind::Bird), kBirdStartPercent, kBirdSpeed, seconds);
  const int birdY = l.fan.y + 3 + static_cast<int>(std::lround(2.0 * std::sin(2.0 * kPi * seconds)));
  DrawSprite(art, SpriteKind::Bird, static_cast<int>(seconds * kBirdFlapsPerSecond), birdX, birdY);
}

}  // namespace

int ArtWidth(int pixelSize) { return (kFrameWidth + pixelSize - 1) / pixelSize; }
int ArtHeight(int pixelSize) { return (kFrameHeight + pixelSize - 1) / pixelSize; }

void DrawScene(Image565& art, double seconds)
{
  const Layout l = MakeLayout(art.width, art.height);
  art.FillRect(0, 0, art.width, art.height, kBlack);
  DrawGradients(art, l.gradients);
  DrawChecker(art, l.smallChecker, kSmallChecker, kBlack, kWhite);
  DrawChecker(art, l.largeChecker, kLargeChecker, kCheckerA, kCheckerB);
  DrawLineFan(art, l.fan);
  DrawTextPanel(art, l.text);
  DrawFlatArea(art, l.flat, seconds);
  DrawGround(art, l.ground);
  DrawSprites(art, l, seconds);
}
