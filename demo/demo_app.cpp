// The running demo.
#include "demo_app.h"

#include <cstdio>

#include "app_window.h"
#include "plugin_menu.h"
#include "screen_capture.h"
#include "scene.h"

namespace {

void ObserveCommand(void* context, UINT command)
{
  static_cast<DemoApp*>(context)->OnCommand(command);
}

double Average(double totalMs, long count) { return count > 0 ? totalMs / count : 0.0; }

}  // namespace

double NowMs()
{
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool DemoApp::Start(HINSTANCE instance, bool interactive, int defaultPixelSize, bool ask16Bit,
                    std::string& error)
{
  defaultPixelSize_ = defaultPixelSize;
  SetPixelSize(defaultPixelSize);
  window_ = CreateMainWindow(instance, interactive);
  if (!window_) {
    error = "could not create the window";
    return false;
  }
  SetCommandObserver(ObserveCommand, this);
  if (!renderer_.Create(window_, ask16Bit, error))
    return false;
  FitClientArea(window_);
  UpdateTitle();
  return true;
}

void DemoApp::SetPixelSize(int pixelSize)
{
  if (pixelSize == pixelSize_)
    return;
  pixelSize_ = pixelSize;
  art_.Resize(ArtWidth(pixelSize), ArtHeight(pixelSize));
  UpdateTitle();
}

void DemoApp::OnCommand(UINT command)
{
  if (command < kPluginNoneCommand || command >= kPluginCommandLimit)
    return;
  for (const PluginItem& item : FindPluginItems(GetMenu(window_))) {
    if (item.command != command)
      continue;
    pluginName_ = ShownText(item.text);
    // "None" goes back to the pixel size of the command line.
    SetPixelSize(command == kPluginNoneCommand ? defaultPixelSize_ : ScaleFromItemText(item.text));
    UpdateTitle();
    return;
  }
}

void DemoApp::UpdateTitle()
{
  if (!window_)
    return;
  char title[160];
  std::snprintf(title, sizeof title, "d3d9filters demo - %s - pixel size %d", pluginName_.c_str(),
                pixelSize_);
  SetWindowTextA(window_, title);
}

bool DemoApp::RenderFrame(double seconds, std::string& error)
{
  const double t0 = NowMs();
  DrawScene(art_, seconds);
  const double t1 = NowMs();
  if (!renderer_.Upload(art_, pixelSize_, error))
    return false;
  if (!renderer_.Present(error))
    return false;
  timings_.drawMs += t1 - t0;
  timings_.uploadPresentMs += NowMs() - t1;
  ++timings_.frames;
  return true;
}

bool DemoApp::CaptureScreen(ImageRgb& out, std::string& error)
{
  const double t0 = NowMs();
  renderer_.WaitUntilShown();
  if (!CaptureClientArea(window_, kFrameWidth, kFrameHeight, out)) {
    error = "the screen copy (GDI BitBlt) failed";
    return false;
  }
  timings_.captureMs += NowMs() - t0;
  ++timings_.captures;
  return true;
}

void DemoApp::PrintTimings() const
{
  std::printf("timings: %ld frames, per frame: drawing %.2f ms, upload and Present %.2f ms;"
              " %ld captures, %.1f ms each\n",
              timings_.frames, Average(timings_.drawMs, timings_.frames),
              Average(timings_.uploadPresentMs, timings_.frames), timings_.captures,
              Average(timings_.captureMs, timings_.captures));
}
