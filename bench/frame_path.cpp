// Frame-path benchmark on Wine's real Direct3D 9, with the library's code linked in:
// milliseconds per 640x480 frame for Present alone (the host without the library),
// through the library with no plugin, and with a plugin at s = 2, 3 and 4, the
// filtered frames split into the platform's calls, the library's own work and the
// plugin. Every figure and ratio comes from this one run.
//
//   frame_path PLUGIN_DIR [FRAMES]     PLUGIN_DIR holds tp_s2.rpi, tp_s3.rpi, tp_s4.rpi
#include <windows.h>
#include <d3d9.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "src/activation.h"
#include "src/device.h"
#include "src/frame_filter.h"
#include "src/sample_down.h"

namespace {

constexpr UINT Width = 640, Height = 480;

double Now()
{
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// Milliseconds per call of f: the median of five rounds of `count` calls.
double PerCall(int count, const std::function<void()>& f)
{
  std::vector<double> rounds;
  for (int round = 0; round < 5; ++round) {
    const double start = Now();
    for (int i = 0; i < count; ++i)
      f();
    rounds.push_back((Now() - start) / count);
  }
  std::sort(rounds.begin(), rounds.end());
  return rounds[2];
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND MakeWindow()
{
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "FramePathBench";
  RegisterClassA(&wc);
  RECT r = {0, 0, LONG(Width), LONG(Height)};
  AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
  return CreateWindowA("FramePathBench", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, r.right - r.left,
                       r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
}

// The platform's calls of one filtered frame, in the library's order.
void PlatformCalls(IDirect3DDevice9* device)
{
  IDirect3DSurface9* target = nullptr;
  IDirect3DDevice9_GetRenderTarget(device, 0, &target);
  IDirect3DSurface9* copy = nullptr;
  IDirect3DDevice9_CreateOffscreenPlainSurface(device, Width, Height, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &copy, nullptr);
  IDirect3DDevice9_GetRenderTargetData(device, target, copy);
  D3DLOCKED_RECT locked;
  IDirect3DSurface9_LockRect(copy, &locked, nullptr, 0);
  IDirect3DSurface9_UnlockRect(copy);
  IDirect3DDevice9_UpdateSurface(device, copy, nullptr, target, nullptr);
  IDirect3DSurface9_Release(copy);
  IDirect3DSurface9_Release(target);
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc < 2) {
    std::fprintf(stderr, "usage: frame_path PLUGIN_DIR [FRAMES]\n");
    return 2;
  }
  const std::string pluginDir = argv[1];
  const int frames = argc > 2 ? std::atoi(argv[2]) : 100;

  HWND window = MakeWindow();
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);  // the library's: the system's object, patched
  D3DPRESENT_PARAMETERS pp = {};
  pp.BackBufferWidth = Width;
  pp.BackBufferHeight = Height;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.SwapEffect = D3DSWAPEFFECT_COPY;
  pp.hDeviceWindow = window;
  pp.Windowed = TRUE;
  IDirect3DDevice9* device = nullptr;
  if (!d3d || FAILED(IDirect3D9_CreateDevice(d3d, D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                             D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device))) {
    std::fprintf(stderr, "no device\n");
    return 1;
  }
  auto clear = [&] { IDirect3DDevice9_Clear(device, 0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(40, 90, 200), 1.0f, 0); };
  const PresentFn presentSystem = OriginalPresent(device);
  auto presentOrg = [&] { clear(); presentSystem(device, nullptr, nullptr, nullptr, nullptr); };
  auto presentNew = [&] { clear(); IDirect3DDevice9_Present(device, nullptr, nullptr, nullptr, nullptr); };
  auto clearOnly = [&] { clear(); };

  // Without a plugin: the host alone (the system's Present called directly) against the
  // same frames through the library, interleaved to share the machine's moods.
  SelectPlugin(nullptr);
  double alone = 0, through = 0;
  for (int i = 0; i < 3; ++i) {
    alone += PerCall(frames, presentOrg);
    through += PerCall(frames, presentNew);
  }
  alone /= 3;
  through /= 3;
  const double clearTime = PerCall(frames, clearOnly);

  std::printf("Frame path at %ux%u on Wine's Direct3D 9, ms per frame (%d frames per round)\n", Width, Height, frames);
  std::printf("  host alone (Clear + Present)       %8.3f\n", alone);
  std::printf("  through the library, no plugin     %8.3f   (%+.2f%% of the host alone)\n", through,
              100.0 * (through - alone) / alone);
  std::printf("\n  %-4s %10s %10s %10s %10s %10s %12s\n", "s", "frame", "Present", "platform", "plugin", "library",
              "library/frame");

  double frame2 = 1;
  for (const char* name : {"tp_s2", "tp_s3", "tp_s4"}) {
    HMODULE module = LoadLibraryA((pluginDir + "\\" + name + ".rpi").c_str());
    if (!module) {
      std::fprintf(stderr, "cannot load %s\n", name);
      return 1;
    }
    SelectPlugin(module);
    const double frame = PerCall(frames, presentNew);
    // After a Clear, as in a frame: reading the target back waits for the rendering.
    const double platform = PerCall(frames, [&] { clear(); PlatformCalls(device); }) - clearTime;

    // The plugin and the library's own sampling, on a locked surface as in a frame.
    IDirect3DSurface9* copy = nullptr;
    IDirect3DDevice9_CreateOffscreenPlainSurface(device, Width, Height, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &copy, nullptr);
    D3DLOCKED_RECT locked;
    IDirect3DSurface9_LockRect(copy, &locked, nullptr, 0);
    Activation a = Activate(module, MeasuredBackBuffer());
    PluginFrameRequest& request = a.request;
    request.pDst = locked.pBits;
    const double plugin = PerCall(frames, [&] { a.output(&request); });
    const double own = PerCall(frames * 10, [&] {
      SampleDown(locked.pBits, locked.Pitch, a.scale, const_cast<void*>(request.pSrc), request.dwSrcPitch,
                 request.dwSrcWidth, request.dwSrcHeight);
      request.pDst = locked.pBits;
    });
    IDirect3DSurface9_UnlockRect(copy);
    IDirect3DSurface9_Release(copy);
    if (a.scale == 2)
      frame2 = frame;
    std::printf("  %-4d %10.3f %10.3f %10.3f %10.3f %10.4f %11.2f%%\n", int(a.scale), frame, alone - clearTime, platform,
                plugin, own, 100.0 * own / frame);
  }
  std::printf("\n  frame: Clear + Present through the library; Present: the system's alone; platform: the\n"
              "  read-back and upload calls after a Clear (the Clear's own time taken off); plugin:\n"
              "  RenderPluginOutput; library: the library's own work (sampling down and the request),\n"
              "  measured on its own.\n");

  // The lock that every frame and every plugin choice take: one uncontended round trip.
  const double lockMs = PerCall(frames * 10000, [] { (void)ActivePlugin(); });
  std::printf("\n  frame lock, one uncontended round trip: %.1f ns (%.5f%% of the s = 2 frame)\n", lockMs * 1e6,
              100.0 * lockMs / frame2);

  // Other shapes of frames, with the s = 2 plugin: after a Reset to 1920x1080 (the
  // library measures the new back buffer and activates the plugin for it), and a 4x
  // multisampled back buffer (resolved, read back, filtered, and written back).
  SelectPlugin(LoadLibraryA((pluginDir + "\\tp_s2.rpi").c_str()));
  std::printf("\n  %-34s %10s %10s %8s\n", "other frames, s = 2", "filtered", "Present", "ratio");
  const struct {
    const char* name;
    UINT width, height;
    D3DMULTISAMPLE_TYPE samples;
    D3DSWAPEFFECT effect;
  } shapes[] = {
      {"after Reset to 1920x1080", 1920, 1080, D3DMULTISAMPLE_NONE, D3DSWAPEFFECT_COPY},
      {"640x480, 4x multisampled", Width, Height, D3DMULTISAMPLE_4_SAMPLES, D3DSWAPEFFECT_DISCARD},
  };
  for (const auto& shape : shapes) {
    D3DPRESENT_PARAMETERS other = pp;
    other.BackBufferWidth = shape.width;
    other.BackBufferHeight = shape.height;
    other.MultiSampleType = shape.samples;
    other.SwapEffect = shape.effect;
    if (FAILED(IDirect3DDevice9_Reset(device, &other))) {
      std::printf("  %-34s (the platform refused the Reset)\n", shape.name);
      continue;
    }
    const double filtered = PerCall(frames / 2 + 1, presentNew);
    const double unfiltered = PerCall(frames / 2 + 1, presentOrg);
    std::printf("  %-34s %10.3f %10.3f %7.2fx\n", shape.name, filtered, unfiltered, filtered / unfiltered);
  }
  IDirect3DDevice9_Release(device);
  IDirect3D9_Release(d3d);
  return 0;
}
