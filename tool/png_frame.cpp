// PNG files to and from R5G6B5 frames, through stb_image and stb_image_write.
#include "tool/png_frame.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include "tool/tool.h"

constexpr int RgbChannels = 3;

uint16_t PackRgb565(uint8_t r, uint8_t g, uint8_t b)
{
  const uint32_t r5 = (r * 31u + 127u) / 255u;
  const uint32_t g6 = (g * 63u + 127u) / 255u;
  const uint32_t b5 = (b * 31u + 127u) / 255u;
  return static_cast<uint16_t>(r5 << 11 | g6 << 5 | b5);
}

void UnpackRgb565(uint16_t pixel, uint8_t rgb[3])
{
  const uint32_t r5 = pixel >> 11, g6 = (pixel >> 5) & 0x3F, b5 = pixel & 0x1F;
  rgb[0] = static_cast<uint8_t>(r5 << 3 | r5 >> 2);
  rgb[1] = static_cast<uint8_t>(g6 << 2 | g6 >> 4);
  rgb[2] = static_cast<uint8_t>(b5 << 3 | b5 >> 2);
}

bool ReadPngFrame(const char* path, Frame565& frame)
{
  int width = 0, height = 0, channels = 0;
  stbi_uc* rgb = stbi_load(path, &width, &height, &channels, RgbChannels);
  if (!rgb) {
    // stb only says it could not open the file; a path the system refuses is told apart.
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILENAME_EXCED_RANGE)
      Error("cannot read %s: the path is too long for the system (Windows error %lu)", path,
            static_cast<unsigned long>(ERROR_FILENAME_EXCED_RANGE));
    else
      Error("cannot read %s as a PNG image: %s", path, stbi_failure_reason());
    return false;
  }
  if (width < 1 || height < 1 || uint32_t(width) > MaxFrameSide || uint32_t(height) > MaxFrameSide) {
    stbi_image_free(rgb);
    Error("%s: %dx%d is not a frame size from 1x1 to %lux%lu", path, width, height,
          static_cast<unsigned long>(MaxFrameSide), static_cast<unsigned long>(MaxFrameSide));
    return false;
  }
  frame.width = static_cast<uint32_t>(width);
  frame.height = static_cast<uint32_t>(height);
  frame.pixels.resize(size_t(frame.width) * frame.height);
  for (size_t i = 0; i < frame.pixels.size(); ++i) {
    const stbi_uc* p = rgb + i * RgbChannels;
    frame.pixels[i] = PackRgb565(p[0], p[1], p[2]);
  }
  stbi_image_free(rgb);
  return true;
}

bool WritePngFrame(const char* path, const Frame565& frame)
{
  std::vector<uint8_t> rgb(frame.pixels.size() * RgbChannels);
  for (size_t i = 0; i < frame.pixels.size(); ++i)
    UnpackRgb565(frame.pixels[i], &rgb[i * RgbChannels]);
  const int stride = static_cast<int>(frame.width) * RgbChannels;
  if (!stbi_write_png(path, static_cast<int>(frame.width), static_cast<int>(frame.height), RgbChannels, rgb.data(),
                      stride)) {
    Error("cannot write %s", path);
    return false;
  }
  return true;
}
