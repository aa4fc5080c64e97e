// The demo's command line.
#include "options.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool ParseLong(const char* text, long& value)
{
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end != text && *end == '\0';
}

bool ParseDouble(const char* text, double& value)
{
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

// Reads the value that follows option argv[i]; advances i past it.
bool TakeValue(int argc, char** argv, int& i, const char*& value, std::string& error)
{
  if (i + 1 >= argc) {
    error = std::string(argv[i]) + " needs a value";
    return false;
  }
  value = argv[++i];
  return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options& options, std::string& error)
{
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    const char* value = nullptr;
    if (name == "--help" || name == "-h" || name == "/?") {
      options.help = true;
    } else if (name == "--r5g6b5") {
      options.ask16Bit = true;
    } else if (name == "--pixel") {
      long n = 0;
      if (!TakeValue(argc, argv, i, value, error))
        return false;
      if (!ParseLong(value, n) || n < kMinPixelSize || n > kMaxPixelSize) {
        error = "--pixel takes a whole number from 1 to 4";
        return false;
      }
      options.pixelSize = static_cast<int>(n);
    } else if (name == "--frames") {
      if (!TakeValue(argc, argv, i, value, error))
        return false;
      if (!ParseLong(value, options.frames) || options.frames < 1) {
        error = "--frames takes a whole number of 1 or more";
        return false;
      }
    } else if (name == "--freeze") {
      if (!TakeValue(argc, argv, i, value, error))
        return false;
      if (!ParseDouble(value, options.freezeSeconds)) {
        error = "--freeze takes a time in seconds";
        return false;
      }
      options.frozen = true;
    } else if (name == "--capture") {
      if (!TakeValue(argc, argv, i, value, error))
        return false;
      options.capturePath = value;
    } else if (name == "--tour") {
      if (!TakeValue(argc, argv, i, value, error))
        return false;
      options.tourDir = value;
    } else {
      error = "unknown option " + name;
      return false;
    }
  }
  return true;
}

void PrintUsage()
{
  std::printf(
      "demo.exe: an animated pixel-art scene drawn through Direct3D 9 (d3d9.dll).\n"
      "\n"
      "  --pixel N      screen pixels per art pixel, 1 to 4 (default 2)\n"
      "  --frames N     render N frames, then exit (default: until the window closes)\n"
      "  --freeze T     draw every frame at scene time T seconds\n"
      "  --capture FILE after the last frame, save what reached the screen as PNG\n"
      "  --r5g6b5       ask for a 16-bit back buffer (the library forces one anyway)\n"
      "  --tour DIR     choose each render plugin from the library's menu in turn,\n"
      "                 save what reached the screen as DIR/NN-<name>.png and a\n"
      "                 contact sheet DIR/contact-sheet.png, then exit\n"
      "\n"
      "Choosing a plugin from the menu sets the pixel size to the plugin's scale.\n");
}
