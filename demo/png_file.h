// Saving images as PNG files (stb_image_write).
#pragma once

#include <string>

#include "image.h"

bool WritePng(const std::string& path, const ImageRgb& image);
