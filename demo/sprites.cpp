// Character maps of the sprites. Letters name palette colours; '.' is transparent.
#include "sprites.h"

#include <cstring>

namespace {

constexpr int kHeroWidth = 12, kHeroHeight = 16;
constexpr int kSlimeWidth = 12, kSlimeHeight = 10;
constexpr int kBirdWidth = 10, kBirdHeight = 6;
constexpr int kFramesPerSprite = 2;

// Two walking frames: legs together, legs apart.
const char* const kHero[kFramesPerSprite][kHeroHeight] = {
    {"...kkkkkk...", "..khhhhhhk..", ".khhhhhhhhk.", ".khsssssshk.", ".kssksskssk.",
     ".kssssssssk.", "..ksskkssk..", "...kkkkkk...", "..krrrrrrk..", ".krrrrrrrrk.",
     "ksrrrrrrrrsk", ".kkbbbbbbkk.", "..kbbkkbbk..", "..kbbkkbbk..", "..kkk..kkk..",
     ".kkkk..kkkk."},
    {"...kkkkkk...", "..khhhhhhk..", ".khhhhhhhhk.", ".khsssssshk.", ".kssksskssk.",
     ".kssssssssk.", "..ksskkssk..", "...kkkkkk...", "..krrrrrrk..", ".krrrrrrrrk.",
     "ksrrrrrrrrsk", ".kkbbbbbbkk.", ".kbbk..kbbk.", "kbbk....kbbk", "kkk......kkk",
     "kkkk....kkkk"},
};

// The slime has one shape; its frames differ only in the highlight.
const char* const kSlime[kFramesPerSprite][kSlimeHeight] = {
    {"....kkkk....", "..kkggggkk..", ".kggggggggk.", ".kgwwggwwgk.", ".kgwkggwkgk.",
     "kglggggggggk", "kggggggggggk", "kggggggggggk", ".kggggggggk.", "..kkkkkkkk.."},
    {"....kkkk....", "..kkggggkk..", ".kglggggggk.", ".kgwwggwwgk.", ".kgwkggwkgk.",
     "kggggggggggk", "kggggggggggk", "kggggggggggk", ".kggggggggk.", "..kkkkkkkk.."},
};

// Wings up, wings down.
const char* const kBird[kFramesPerSprite][kBirdHeight] = {
    {".kk....kk.", "kyyk..kyyk", ".kyykkyyk.", "..kyyyykwk", "..kyyyyyyo", "...kkkkkk."},
    {"..........", "...kkkk...", "..kyyyykwk", ".kyyyyyyyo", "kyykyyykk.", "kyk.kkkk.."},
};

uint16_t PaletteColour(char letter)
{
  switch (letter) {
    case 'k': return Rgb565(24, 16, 32);     // outline
    case 'h': return Rgb565(120, 64, 24);    // hair
    case 's': return Rgb565(248, 192, 144);  // skin
    case 'r': return Rgb565(216, 40, 40);    // shirt
    case 'b': return Rgb565(40, 72, 200);    // trousers
    case 'g': return Rgb565(64, 184, 64);    // slime
    case 'l': return Rgb565(176, 248, 160);  // slime highlight
    case 'w': return Rgb565(248, 248, 248);  // eyes
    case 'y': return Rgb565(248, 216, 32);   // bird
    case 'o': return Rgb565(248, 128, 0);    // beak
    default: return 0;
  }
}

const char* const* Rows(SpriteKind kind, int frame)
{
  const int f = ((frame % kFramesPerSprite) + kFramesPerSprite) % kFramesPerSprite;
  switch (kind) {
    case SpriteKind::Hero: return kHero[f];
    case SpriteKind::Slime: return kSlime[f];
    default: return kBird[f];
  }
}

}  // namespace

int SpriteWidth(SpriteKind kind)
{
  switch (kind) {
    case SpriteKind::Hero: return kHeroWidth;
    case SpriteKind::Slime: return kSlimeWidth;
    default: return kBirdWidth;
  }
}

int SpriteHeight(SpriteKind kind)
{
  switch (kind) {
    case SpriteKind::Hero: return kHeroHeight;
    case SpriteKind::Slime: return kSlimeHeight;
    default: return kBirdHeight;
  }
}

void DrawSprite(Image565& image, SpriteKind kind, int frame, int x, int y)
{
  const char* const* rows = Rows(kind, frame);
  const int width = SpriteWidth(kind);
  for (int row = 0; row < SpriteHeight(kind); ++row) {
    // A map row of the wrong length would draw garbage: draw only what is there.
    const int length = static_cast<int>(std::strlen(rows[row]));
    for (int col = 0; col < width && col < length; ++col)
      if (rows[row][col] != '.')
        image.Put(x + col, y + row, PaletteColour(rows[row][col]));
  }
}
