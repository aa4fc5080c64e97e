// R5G6B5 images from and to PNG files for the native tests and tools: 8-bit channels
// are rounded to R5G6B5 when read (Quantise565) and expanded when written (Expand565),
// so an image written and read back is unchanged.
#pragma once

#include <string>

#include "image.h"

// False when the file cannot be read as a PNG.
bool ReadPng(const std::string& path, Image* image);
bool WritePng(const std::string& path, const Image& image);
