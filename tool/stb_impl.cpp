// The one translation unit that compiles stb_image's PNG reader and stb_image_write.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
// Direct3D 9's largest surfaces are 16384 pixels a side: larger images are refused.
#define STBI_MAX_DIMENSIONS 16384
#include <stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
