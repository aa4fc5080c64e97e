// The tour of the render plugins.
#include "tour.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app_window.h"
#include "contact_sheet.h"
#include "plugin_menu.h"
#include "png_file.h"

namespace {

constexpr int kFramesPerStep = 4;           // frames rendered before each capture
constexpr double kTourSceneSeconds = 0.0;   // sprites in the centre of the frame
constexpr double kMenuWaitMs = 1500.0;      // how long to wait for the plugin menu
const char kSheetName[] = "contact-sheet.png";

struct TourStep {
  UINT command = 0;  // 0: nothing to choose (no plugin menu)
  std::string name;
  int pixelSize = kDefaultPixelSize;
};

std::string FullPath(const std::string& path)
{
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return (n > 0 && n < MAX_PATH) ? std::string(full) : path;
}

std::string StepFileName(int index, const std::string& name)
{
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, "%02d-", index);
  return prefix + SanitiseForFileName(name) + ".png";
}

bool RenderFrames(DemoApp& app, int count, double seconds, std::string& error)
{
  for (int i = 0; i < count; ++i) {
    if (!PumpMessages()) {
      error = "the window was closed";
      return false;
    }
    if (!app.RenderFrame(seconds, error))
      return false;
  }
  return true;
}

// The library may build its menu when the device is created or at the first frames:
// keep rendering for a while until the popup shows up.
std::vector<PluginItem> WaitForPluginItems(DemoApp& app, double seconds, std::string& error)
{
  const double deadline = NowMs() + kMenuWaitMs;
  std::vector<PluginItem> items = FindPluginItems(GetMenu(app.Window()));
  while (items.empty() && NowMs() < deadline) {
    if (!RenderFrames(app, 1, seconds, error))
      return items;
    Sleep(10);
    items = FindPluginItems(GetMenu(app.Window()));
  }
  return items;
}

std::vector<TourStep> PlanSteps(const std::vector<PluginItem>& items, int defaultPixelSize)
{
  std::vector<TourStep> steps;
  for (const PluginItem& item : items) {
    const int scale = item.command == kPluginNoneCommand ? defaultPixelSize : ScaleFromItemText(item.text);
    steps.push_back({item.command, ShownText(item.text), scale});
  }
  if (steps.empty())
    steps.push_back({0, "unfiltered", defaultPixelSize});
  return steps;
}

// Chooses a plugin as a click on its menu item does: the menu posts WM_COMMAND with
// the item's identifier (notification code 0, no control) to the window.
void ChooseFromMenu(HWND window, UINT command)
{
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
  PumpMessages();
}

bool RunStep(DemoApp& app, const TourStep& step, double seconds, ImageRgb& capture,
             std::string& error)
{
  if (step.command)
    ChooseFromMenu(app.Window(), step.command);
  app.SetPixelSize(step.pixelSize);
  return RenderFrames(app, kFramesPerStep, seconds, error) && app.CaptureScreen(capture, error);
}

bool SaveSheet(const std::vector<LabelledCapture>& captures, const std::string& dir)
{
  const std::string path = dir + "\\" + kSheetName;
  if (!WritePng(path, BuildContactSheet(captures))) {
    std::printf("tour: could not write %s\n", path.c_str());
    return false;
  }
  std::printf("tour: contact sheet: %s\n", FullPath(path).c_str());
  return true;
}

}  // namespace

int RunTour(DemoApp& app, const Options& options)
{
  std::error_code ec;
  std::filesystem::create_directories(options.tourDir, ec);
  if (ec) {
    std::printf("tour: cannot create %s: %s\n", options.tourDir.c_str(), ec.message().c_str());
    return 1;
  }
  const std::string dir = FullPath(options.tourDir);
  const double seconds = options.frozen ? options.freezeSeconds : kTourSceneSeconds;

  std::string error;
  const std::vector<PluginItem> items = WaitForPluginItems(app, seconds, error);
  if (!error.empty()) {
    std::printf("tour: %s\n", error.c_str());
    return 1;
  }
  FitClientArea(app.Window());  // in case the new menu made the menu bar taller
  if (items.empty())
    std::printf("tour: no plugin menu (no item %u in the menu bar): capturing the unfiltered "
                "frame only\n", kPluginNoneCommand);
  else
    std::printf("tour: plugin menu with %u items\n", static_cast<unsigned>(items.size()));

  std::vector<LabelledCapture> captures;
  int failures = 0;
  const std::vector<TourStep> steps = PlanSteps(items, options.pixelSize);
  for (size_t i = 0; i < steps.size(); ++i) {
    const TourStep& step = steps[i];
    ImageRgb capture;
    if (!RunStep(app, step, seconds, capture, error)) {
      std::printf("tour: %s: %s\n", step.name.c_str(), error.c_str());
      ++failures;
      if (!IsWindow(app.Window()))
        break;  // closed by the user: nothing more to capture
      continue;
    }
    const std::string path = dir + "\\" + StepFileName(static_cast<int>(i), step.name);
    if (!WritePng(path, capture)) {
      std::printf("tour: could not write %s\n", path.c_str());
      ++failures;
      continue;
    }
    std::printf("tour: %-24s pixel size %d  %s\n", step.name.c_str(), step.pixelSize, path.c_str());
    char label[96];
    std::snprintf(label, sizeof label, "%02d %s (%dx)", static_cast<int>(i), step.name.c_str(),
                  step.pixelSize);
    captures.push_back({label, std::move(capture)});
  }
  // Leave the program as it started: "None" chosen (the library remembers the choice).
  if (!items.empty() && IsWindow(app.Window()))
    ChooseFromMenu(app.Window(), kPluginNoneCommand);

  if (!SaveSheet(captures, dir))
    ++failures;
  std::printf("tour: %u captures in %s\n", static_cast<unsigned>(captures.size()), dir.c_str());
  app.PrintTimings();
  return failures == 0 ? 0 : 1;
}
