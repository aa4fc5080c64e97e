#include "png_image.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include <vector>

#include "kernels/rgb8.h"

bool ReadPng(const std::string& path, Image* image) {
  int w = 0, h = 0, channels = 0;
  unsigned char* data = stbi_load(path.c_str(), &w, &h, &channels, 3);
  if (data == nullptr) return false;
  *image = FlatImage((unsigned)w, (unsigned)h, 0);
  for (size_t k = 0; k < image->pixels.size(); ++k) {
    const unsigned char* p = data + 3 * k;
    image->pixels[k] = Quantise565(((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2]);
  }
  stbi_image_free(data);
  return true;
}

bool WritePng(const std::string& path, const Image& image) {
  std::vector<unsigned char> rgb(image.pixels.size() * 3);
  for (size_t k = 0; k < image.pixels.size(); ++k) {
    uint32_t c = Expand565(image.pixels[k]);
    rgb[3 * k] = (unsigned char)(c >> 16), rgb[3 * k + 1] = (unsigned char)(c >> 8), rgb[3 * k + 2] = (unsigned char)c;
  }
  return stbi_write_png(path.c_str(), (int)image.width, (int)image.height, 3, rgb.data(),
                        (int)image.width * 3) != 0;
}
