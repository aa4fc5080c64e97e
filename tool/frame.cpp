// apply and bench: frames through the plugin by the library's own activation
// (Activate) and the steps of its frame path.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "src/sample_down.h"
#include "tool/png_frame.h"
#include "tool/tool.h"

// bench: rounds whose median is reported, and the time one round aims at.
constexpr int BenchRounds = 9;
constexpr double BenchRoundSeconds = 0.05;
constexpr int BenchMaxFramesPerRound = 1000;
constexpr uint32_t BenchDefaultWidth = 640, BenchDefaultHeight = 480;

// Activates the plugin as the library does once it has measured a device's back buffer:
// R5G6B5 surface geometry of W x H with rows `pitch` bytes apart. False, with an error
// line, when the library could not obtain the staging buffer.
static bool ActivateLikeLibrary(const Plugin& plugin, uint32_t width, uint32_t height, int32_t pitch,
                                Activation& activation)
{
  SurfaceGeometryRecord geometry = {};
  geometry.Desc.Format = D3DFMT_R5G6B5;
  geometry.Desc.Width = width;
  geometry.Desc.Height = height;
  geometry.Pitch = pitch;
  activation = Activate(plugin.module, geometry);
  if (!activation.staging.data() || !activation.request.pSrc) {
    Error("the library obtained no staging buffer for a %lux%lu frame", static_cast<unsigned long>(width),
          static_cast<unsigned long>(height));
    return false;
  }
  return true;
}

// bench: the steps of the library's FilterLockedFrame one by one, to time the sampling
// and the plugin apart: sampled down into the request's source image, the request
// pointed at the frame, the plugin called. `stamps` takes the time before, between and
// after the two steps.
static void FilterLikeLibrary(Activation& a, void* frame, int32_t pitch, LARGE_INTEGER* stamps)
{
  PluginFrameRequest& request = a.request;
  QueryPerformanceCounter(&stamps[0]);
  SampleDown(frame, pitch, a.scale, const_cast<void*>(request.pSrc), request.dwSrcPitch, request.dwSrcWidth,
             request.dwSrcHeight);
  request.pDst = frame;
  QueryPerformanceCounter(&stamps[1]);
  if (a.output)
    a.output(&request);
  QueryPerformanceCounter(&stamps[2]);
}

// apply --source: the frame a program would render for this source picture at the
// plugin's scale, each source pixel an s x s block, so that the library's sampling
// (the top-left pixel of every block) gives the picture back exactly.
static Frame565 EnlargeLikeRendered(const Frame565& source, uint32_t scale)
{
  Frame565 frame;
  frame.width = source.width * scale;
  frame.height = source.height * scale;
  frame.pixels.resize(size_t(frame.width) * frame.height);
  for (uint32_t y = 0; y < frame.height; ++y)
    for (uint32_t x = 0; x < frame.width; ++x)
      frame.pixels[size_t(y) * frame.width + x] = source.pixels[size_t(y / scale) * source.width + x / scale];
  return frame;
}

int CommandApply(int argc, char** argv)
{
  static const char ApplyUsage[] = "usage: rpitool apply [--source] PLUGIN IN.png OUT.png";
  // Options may stand anywhere; "--" ends them (for a file whose name starts with "--").
  bool fromSource = false;
  const char* operands[3];
  int count = 0;
  bool optionsEnded = false;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (!optionsEnded && std::strcmp(arg, "--") == 0) {
      optionsEnded = true;
    } else if (!optionsEnded && std::strcmp(arg, "--source") == 0) {
      fromSource = true;
    } else if (!optionsEnded && arg[0] == '-' && arg[1] == '-') {
      return Error("unknown option '%s' (%s)", arg, ApplyUsage);
    } else {
      if (count == 3)
        return Error("%s", ApplyUsage);
      operands[count++] = arg;
    }
  }
  if (count != 3)
    return Error("%s", ApplyUsage);
  const char* pluginPath = operands[0];
  const char* inPath = operands[1];
  const char* outPath = operands[2];

  Plugin plugin;
  if (!LoadPlugin(pluginPath, plugin))
    return ExitError;
  Frame565 frame;
  if (!ReadPngFrame(inPath, frame))
    return ExitError;
  if (fromSource) {
    // IN is what the plugin is to receive: the frame is s times its size.
    const uint32_t largest = MaxFrameSide / plugin.scale;
    if (frame.width > largest || frame.height > largest)
      return Error("%s: a %lux%lu source makes a frame larger than %lux%lu at s = %lu (at most %lux%lu)", inPath,
                   static_cast<unsigned long>(frame.width), static_cast<unsigned long>(frame.height),
                   static_cast<unsigned long>(MaxFrameSide), static_cast<unsigned long>(MaxFrameSide),
                   static_cast<unsigned long>(plugin.scale), static_cast<unsigned long>(largest),
                   static_cast<unsigned long>(largest));
    frame = EnlargeLikeRendered(frame, plugin.scale);
  }
  const int32_t pitch = static_cast<int32_t>(2 * frame.width);
  Activation activation;
  if (!ActivateLikeLibrary(plugin, frame.width, frame.height, pitch, activation))
    return ExitError;
  SetCrashContext("rpitool: %s crashed in RenderPluginOutput", pluginPath);
  if (!FilterLockedFrame(activation, frame.pixels.data(), pitch))
    return Error("the library did not filter a %lux%lu frame", static_cast<unsigned long>(frame.width),
                 static_cast<unsigned long>(frame.height));
  if (!WritePngFrame(outPath, frame))
    return ExitError;
  std::printf("%s: %lux%lu, s = %d, source %lux%lu%s\n", outPath, static_cast<unsigned long>(frame.width),
              static_cast<unsigned long>(frame.height), static_cast<int>(activation.scale),
              static_cast<unsigned long>(activation.request.dwSrcWidth),
              static_cast<unsigned long>(activation.request.dwSrcHeight),
              activation.output ? "" : " (no RenderPluginOutput: the frame passes unfiltered)");
  return ExitOk;
}

static double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
  static LARGE_INTEGER frequency = {};
  if (!frequency.QuadPart)
    QueryPerformanceFrequency(&frequency);
  return 1000.0 * double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

static double Median(std::vector<double> values)
{
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int CommandBench(int argc, char** argv)
{
  if (argc < 1 || argc > 2)
    return Error("usage: rpitool bench PLUGIN [WxH]");
  uint32_t width = BenchDefaultWidth, height = BenchDefaultHeight;
  if (argc == 2 && !ParseSize(argv[1], width, height))
    return Error("bad frame size '%s': expected WxH, each from 1 to %lu", argv[1],
                 static_cast<unsigned long>(MaxFrameSide));
  Plugin plugin;
  if (!LoadPlugin(argv[0], plugin))
    return ExitError;
  if (!plugin.output)
    return Error("%s has no RenderPluginOutput: nothing to measure", argv[0]);

  // The frame as rendered, restored before every filtered frame (outside the timing),
  // as the library reads every frame back afresh.
  std::vector<uint16_t> rendered(size_t(width) * height);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      rendered[size_t(y) * width + x] = TestPixel(x, y);
  std::vector<uint16_t> frame(rendered);
  const int32_t pitch = static_cast<int32_t>(2 * width);
  Activation activation;
  if (!ActivateLikeLibrary(plugin, width, height, pitch, activation))
    return ExitError;
  SetCrashContext("rpitool: %s crashed in RenderPluginOutput", argv[0]);

  // One frame to warm up (the plugin may obtain its working memory now) and to choose
  // how many frames make a round.
  LARGE_INTEGER stamps[3];
  FilterLikeLibrary(activation, frame.data(), pitch, stamps);
  const double warmUp = std::max(Milliseconds(stamps[0], stamps[2]), 0.001);
  const int framesPerRound =
      std::clamp(static_cast<int>(BenchRoundSeconds * 1000.0 / warmUp), 1, BenchMaxFramesPerRound);

  std::vector<double> pluginRounds, sampleRounds;
  for (int round = 0; round < BenchRounds; ++round) {
    double pluginMs = 0, sampleMs = 0;
    for (int i = 0; i < framesPerRound; ++i) {
      std::memcpy(frame.data(), rendered.data(), rendered.size() * sizeof rendered[0]);
      FilterLikeLibrary(activation, frame.data(), pitch, stamps);
      sampleMs += Milliseconds(stamps[0], stamps[1]);
      pluginMs += Milliseconds(stamps[1], stamps[2]);
    }
    pluginRounds.push_back(pluginMs / framesPerRound);
    sampleRounds.push_back(sampleMs / framesPerRound);
  }
  std::printf("%s %lux%lu (s = %d, source %lux%lu): %.3f ms per frame (median of %d rounds of %d frames); "
              "sample-down %.3f ms\n",
              plugin.name, static_cast<unsigned long>(width), static_cast<unsigned long>(height),
              static_cast<int>(activation.scale), static_cast<unsigned long>(activation.request.dwSrcWidth),
              static_cast<unsigned long>(activation.request.dwSrcHeight),
              Median(pluginRounds), BenchRounds, framesPerRound, Median(sampleRounds));
  return ExitOk;
}
