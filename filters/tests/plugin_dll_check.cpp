// Loads every bundled plugin DLL the way the library does (LoadLibrary, the two exports
// by name) and checks it: the descriptor's name and flags, and one frame filtered
// exactly as the plugin's kernel filters it, with the leftover columns and rows of an
// odd-sized frame and the pitch's padding left as rendered. Runs under Wine in the
// x86_64 build; prints "N passed, M failed" and exits non-zero on any failure.
//
//   plugin_dll_check PLUGIN_DIRECTORY
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "image.h"
#include "kernels/registry.h"
#include "render_plugin.h"

namespace {

const uint16_t kRendered = 0x4321;

int g_passed = 0, g_failed = 0;

void Check(bool ok, const std::string& what) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    printf("FAIL: %s\n", what.c_str());
  }
}

uint32_t ExpectedFlags(unsigned scale) {
  return scale == 4 ? RPI_FLAG_SCALE4 : scale == 3 ? RPI_FLAG_SCALE3_BITS : 0;
}

void CheckPlugin(const std::string& directory, const FilterInfo& f) {
  std::string path = directory + "\\" + f.fileName + ".rpi";
  HMODULE module = LoadLibraryA(path.c_str());
  Check(module != nullptr, path + " loads");
  if (module == nullptr) return;
  auto getInfo = (RenderPluginGetInfoFn)(void*)GetProcAddress(module, "RenderPluginGetInfo");
  auto output = (RenderPluginOutputFn)(void*)GetProcAddress(module, "RenderPluginOutput");
  Check(getInfo != nullptr && output != nullptr, path + " exports both functions");
  if (getInfo != nullptr && output != nullptr) {
    PluginDescriptor* d = getInfo();
    Check(d != nullptr && strcmp(d->szName, f.displayName) == 0, path + " is named " + f.displayName);
    Check(d != nullptr && d->dwFlags == ExpectedFlags(f.scale), path + " has the flags of its scale");
    Check(getInfo() == d, path + " returns the same descriptor every time");

    // A frame one pixel short of the next multiple of the scale in each direction.
    Image source = SceneImage(37, 23);
    unsigned width = f.scale * source.width + f.scale - 1, height = f.scale * source.height + f.scale - 1;
    unsigned pitch = width + 5;
    std::vector<uint16_t> frame((size_t)pitch * height, kRendered);
    PluginFrameRequest request;
    memset(&request, 0, sizeof(request));
    request.dwSize = sizeof(request);
    request.dwFlags = RPI_REQUEST_ALWAYS;
    request.pSrc = source.pixels.data();
    request.dwSrcPitch = (uint32_t)source.pitchBytes();
    request.dwSrcWidth = source.width;
    request.dwSrcHeight = source.height;
    request.pDst = frame.data();
    request.dwDstPitch = pitch * sizeof(uint16_t);
    request.dwDstWidth = width;
    request.dwDstHeight = height;
    for (int repeat = 0; repeat < 2; ++repeat) output(&request);  // the second reuses its memory

    Image expected = RunKernel(f, f.scalar, source);
    bool same = true;
    for (unsigned y = 0; y < height && same; ++y) {
      for (unsigned x = 0; x < pitch && same; ++x) {
        bool covered = x < expected.width && y < expected.height;
        same = frame[(size_t)y * pitch + x] == (covered ? expected.at(x, y) : kRendered);
      }
    }
    Check(same, path + " filters the frame as its kernel does and leaves the rest");

    request.dwDstWidth = f.scale * source.width - 1;  // does not fit: no change at all
    std::vector<uint16_t> before = frame;
    output(&request);
    Check(frame == before, path + " ignores a destination too small");
  }
  Check(FreeLibrary(module) != 0, path + " unloads");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    printf("usage: plugin_dll_check PLUGIN_DIRECTORY\n");
    return 2;
  }
  for (size_t i = 0; i < kAllFilterCount; ++i) CheckPlugin(argv[1], *kAllFilters[i]);
  printf("plugin_dlls: %d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
