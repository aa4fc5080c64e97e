// A small 5 x 7 bitmap font of our own (ASCII), used for the text-like strokes of the
// scene and for the labels of the contact sheet.
#pragma once

#include <string>

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = kGlyphWidth + 1;  // one blank column between glyphs
constexpr int kLineAdvance = kGlyphHeight + 1;  // one blank row between lines

// Whether pixel (x, y) of the glyph for c is lit; characters outside ASCII 32..127
// are drawn as '?'.
bool GlyphPixel(char c, int x, int y);

// Width in pixels of text drawn at the given scale.
int TextWidth(const std::string& text, int scale = 1);

// Draws text with its top-left corner at (x, y), each font pixel as a scale x scale
// block, by calling plot(px, py) for every lit pixel. The caller clips.
template <class Plot>
void DrawText(const std::string& text, int x, int y, int scale, Plot plot)
{
  for (size_t i = 0; i < text.size(); ++i) {
    const int left = x + static_cast<int>(i) * kGlyphAdvance * scale;
    for (int gy = 0; gy < kGlyphHeight; ++gy)
      for (int gx = 0; gx < kGlyphWidth; ++gx)
        if (GlyphPixel(text[i], gx, gy))
          for (int sy = 0; sy < scale; ++sy)
            for (int sx = 0; sx < scale; ++sx)
              plot(left + gx * scale + sx, y + gy * scale + sy);
  }
}
