// The demo's command line.
#pragma once

#include <string>

constexpr int kMinPixelSize = 1;
constexpr int kMaxPixelSize = 4;
constexpr int kDefaultPixelSize = 2;

struct Options {
  int pixelSize = kDefaultPixelSize;  // screen pixels per art pixel
  long frames = -1;                   // frames to render before exiting; -1: until closed
  bool frozen = false;                // render every frame at freezeSeconds of scene time
  double freezeSeconds = 0.0;
  std::string capturePath;            // after the last frame, save the screen here (PNG)
  std::string tourDir;                // tour every render plugin, saving captures here
  bool ask16Bit = false;              // ask for an R5G6B5 back buffer ourselves
  bool help = false;
};

// Fills options from the command line; on a mistake returns false and says why.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);

void PrintUsage();
