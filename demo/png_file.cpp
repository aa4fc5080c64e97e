// Saving images as PNG files (stb_image_write; its implementation is compiled in
// stb_image_write_impl.cpp).
#include "png_file.h"

#include <stb_image_write.h>

bool WritePng(const std::string& path, const ImageRgb& image)
{
  constexpr int kChannels = 3;
  return stbi_write_png(path.c_str(), image.width, image.height, kChannels, image.rgb.data(),
                        image.width * kChannels) != 0;
}
