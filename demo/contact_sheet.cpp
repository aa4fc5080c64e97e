// The tour's contact sheet: a grid of tiles, each the centre crop of one capture with
// its label above it, and a title line at the top.
#include "contact_sheet.h"

#include <algorithm>

#include "font.h"

namespace {

constexpr int kTileWidth = 320;   // the centre quarter of a 640 x 480 frame, 1:1
constexpr int kTileHeight = 240;
constexpr int kColumns = 4;
constexpr int kGap = 8;
constexpr int kTextScale = 2;     // font pixels are 2 x 2 sheet pixels
constexpr int kLabelHeight = kGlyphHeight * kTextScale + 6;
constexpr int kTitleHeight = kLabelHeight + kGap;
const char kTitle[] = "centre of each frame, 1:1";

struct Colour {
  uint8_t r, g, b;
};
constexpr Colour kBackground = {32, 32, 40};
constexpr Colour kLabelText = {240, 240, 240};
constexpr Colour kTitleText = {250, 210, 90};

void DrawLabel(ImageRgb& sheet, const std::string& text, int x, int y, int maxWidth, Colour c)
{
  const int maxChars = maxWidth / (kGlyphAdvance * kTextScale);
  const std::string shown = text.substr(0, static_cast<size_t>(std::max(maxChars, 0)));
  DrawText(shown, x, y, kTextScale, [&](int px, int py) { sheet.Put(px, py, c.r, c.g, c.b); });
}

void PlaceTile(ImageRgb& sheet, const LabelledCapture& capture, int left, int top)
{
  DrawLabel(sheet, capture.label, left, top + 2, kTileWidth, kLabelText);
  const int cropX = (capture.image.width - kTileWidth) / 2;
  const int cropY = (capture.image.height - kTileHeight) / 2;
  sheet.Blit(capture.image, cropX, cropY, kTileWidth, kTileHeight, left, top + kLabelHeight);
}

}  // namespace

ImageRgb BuildContactSheet(const std::vector<LabelledCapture>& captures)
{
  const int count = static_cast<int>(captures.size());
  const int columns = std::max(std::min(count, kColumns), 1);
  const int rows = std::max((count + columns - 1) / columns, 1);
  const int cellWidth = kTileWidth + kGap, cellHeight = kLabelHeight + kTileHeight + kGap;
  ImageRgb sheet;
  sheet.Resize(kGap + columns * cellWidth, kTitleHeight + kGap + rows * cellHeight);
  sheet.FillRect(0, 0, sheet.width, sheet.height, kBackground.r, kBackground.g, kBackground.b);
  DrawLabel(sheet, kTitle, kGap, kGap, sheet.width - 2 * kGap, kTitleText);
  for (int i = 0; i < count; ++i)
    PlaceTile(sheet, captures[i], kGap + (i % columns) * cellWidth,
              kTitleHeight + kGap + (i / columns) * cellHeight);
  return sheet;
}
