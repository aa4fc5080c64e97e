// The running demo: its window, the Direct3D 9 renderer, the art image and the screen
// capture, and what each frame's steps cost.
#pragma once

#include <windows.h>

#include <string>

#include "image.h"
#include "renderer.h"

// Milliseconds spent in each step, summed over all frames (or captures).
struct FrameTimings {
  double drawMs = 0;     // the scene, in software, at art resolution
  // Enlarging into the staging surface, UpdateSurface and Present (with the library's
  // filtering when a plugin is chosen). Wine queues Present and makes the next call
  // wait for it, so the two are only meaningful together.
  double uploadPresentMs = 0;
  double captureMs = 0;  // waiting until the frame is shown, and the screen copy
  long frames = 0;
  long captures = 0;
};

class DemoApp {
 public:
  // Opens the window and creates the device; on failure returns false and says why.
  bool Start(HINSTANCE instance, bool interactive, int defaultPixelSize, bool ask16Bit,
             std::string& error);

  HWND Window() const { return window_; }
  const Renderer& GetRenderer() const { return renderer_; }
  int PixelSize() const { return pixelSize_; }
  void SetPixelSize(int pixelSize);

  // Draws the scene at `seconds`, uploads and presents it.
  bool RenderFrame(double seconds, std::string& error);
  // What reached the screen: the window's client area after the last Present.
  bool CaptureScreen(ImageRgb& out, std::string& error);

  // A menu command reached the window: a plugin choice sets the pixel size to the
  // plugin's scale, so that art pixels line up with the library's sampling grid.
  void OnCommand(UINT command);

  void PrintTimings() const;

 private:
  void UpdateTitle();

  HWND window_ = nullptr;
  Renderer renderer_;
  Image565 art_;
  int pixelSize_ = 0;
  int defaultPixelSize_ = 0;
  std::string pluginName_ = "None";
  FrameTimings timings_;
};

// Milliseconds from an arbitrary start, with sub-millisecond resolution.
double NowMs();
