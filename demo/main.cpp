// demo.exe: a Direct3D 9 program of the old kind, for showing d3d9filters at work.
// It imports d3d9.dll by name, so a d3d9.dll placed beside it is the one it loads.
//
//   demo.exe                       runs until the window is closed
//   demo.exe --frames 60 --capture shot.png
//   demo.exe --tour shots          every render plugin in turn, captured into the folder "shots"
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app_window.h"
#include "demo_app.h"
#include "image.h"
#include "options.h"
#include "png_file.h"
#include "scene.h"
#include "tour.h"

namespace {

constexpr double kFrameIntervalMs = 1000.0 / kSceneFramesPerSecond;

// Waits until the next frame is due, so that the scene runs at its own speed.
void PaceFrame(double& nextFrameMs)
{
  const double now = NowMs();
  if (nextFrameMs > now)
    Sleep(static_cast<DWORD>(nextFrameMs - now));
  nextFrameMs = std::max(nextFrameMs, now) + kFrameIntervalMs;
}

bool SaveCapture(DemoApp& app, const std::string& path)
{
  ImageRgb capture;
  std::string error;
  if (!app.CaptureScreen(capture, error)) {
    std::printf("capture: %s\n", error.c_str());
    return false;
  }
  if (!WritePng(path, capture)) {
    std::printf("capture: could not write %s\n", path.c_str());
    return false;
  }
  std::printf("capture: %s\n", path.c_str());
  return true;
}

// The ordinary run: frames until the window closes or the frame count is reached.
int RunFrames(DemoApp& app, const Options& options)
{
  double nextFrameMs = NowMs();
  std::string error;
  for (long frame = 0; options.frames < 0 || frame < options.frames; ++frame) {
    if (!PumpMessages())
      break;  // the window was closed
    const double seconds = options.frozen ? options.freezeSeconds : frame / kSceneFramesPerSecond;
    if (!app.RenderFrame(seconds, error)) {
      std::printf("demo: %s\n", error.c_str());
      return 1;
    }
    PaceFrame(nextFrameMs);
  }
  const bool saved = options.capturePath.empty() || SaveCapture(app, options.capturePath);
  app.PrintTimings();
  return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::printf("demo: %s\n\n", error.c_str());
    PrintUsage();
    return 2;
  }
  if (options.help) {
    PrintUsage();
    return 0;
  }
  const bool interactive = options.tourDir.empty() && options.frames < 0;
  DemoApp app;
  if (!app.Start(GetModuleHandleA(nullptr), interactive, options.pixelSize, options.ask16Bit, error)) {
    std::printf("demo: %s\n", error.c_str());
    return 1;
  }
  std::printf("demo: back buffer %s (asked for %s), pixel size %d\n",
              FormatName(app.GetRenderer().BackBufferFormat()).c_str(),
              FormatName(app.GetRenderer().RequestedFormat()).c_str(), app.PixelSize());
  std::fflush(stdout);
  const int result = options.tourDir.empty() ? RunFrames(app, options) : RunTour(app, options);
  std::fflush(stdout);
  return result;
}
