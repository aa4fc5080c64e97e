// Runs the library's Direct3DCreate9 (linked in, not loaded) against a system
// directory chosen on the command line, in a process of its own, so that each load
// failure can be seen in a fresh log. Prints "resultN=" per call.
//
//   forward_probe [log] [self=DLL] call=DIR|long:N[,SDK] ...
//     log       switch the log on (log.txt in the current directory)
//     self=DLL  load DLL first and take it as this library's own module
//     call=...  one Direct3DCreate9 call with the system directory DIR (the platform's
//               own for "system", a made-up one of N characters for "long:N"), and the
//               SDK version (default 32)
//     exports=DIR  calls every other export with the system directory DIR and prints
//               the answers (perf_begin0=, ..., create9ex_hr=, create9ex_out=)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <mmsystem.h>

#include "src/exports.h"
#include "src/forwarding.h"
#include "src/log.h"
#include "src/startup.h"

static std::string SystemDirectory;

static UINT WINAPI FakeSystemDirectory(LPSTR buffer, UINT size)
{
  if (SystemDirectory == "system")
    return GetSystemDirectoryA(buffer, size);
  const UINT length = static_cast<UINT>(SystemDirectory.size());
  if (length + 1 > size)
    return length + 1;  // as the platform: the size needed, nothing copied
  std::memcpy(buffer, SystemDirectory.c_str(), length + 1);
  return length;
}

int main(int argc, char** argv)
{
  SetSystemDirectorySource(FakeSystemDirectory);
  int calls = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "log") {
      if (!StartLog(timeGetTime()))
        return 3;
    } else if (arg.rfind("self=", 0) == 0) {
      SetLibraryModule(LoadLibraryA(arg.c_str() + 5));
    } else if (arg.rfind("exports=", 0) == 0) {
      SystemDirectory = arg.substr(8);
      std::printf("perf_begin0=%d\n", D3DPERF_BeginEvent(0xFF00FF00, L"outer"));
      std::printf("perf_begin1=%d\n", D3DPERF_BeginEvent(0xFF0000FF, L"inner"));
      D3DPERF_SetMarker(0xFFFFFFFF, L"marker");
      D3DPERF_SetRegion(0xFFFFFFFF, nullptr);
      D3DPERF_SetOptions(1);
      std::printf("perf_end1=%d\n", D3DPERF_EndEvent());
      std::printf("perf_end0=%d\n", D3DPERF_EndEvent());
      std::printf("perf_status=%lu\n", static_cast<unsigned long>(D3DPERF_GetStatus()));
      std::printf("perf_repeat=%d\n", static_cast<int>(D3DPERF_QueryRepeatFrame()));
      std::printf("validator=%p\n", Direct3DShaderValidatorCreate9());
      PSGPError(nullptr, 0, 0);
      PSGPSampleTexture(nullptr, 0, nullptr, 0, nullptr);
      DebugSetMute();
      std::printf("debug_level=%d\n", DebugSetLevel());
      std::printf("shim=%d\n", Direct3D9EnableMaximizedWindowedModeShim(1));
      IDirect3D9Ex* ex = reinterpret_cast<IDirect3D9Ex*>(&ex);  // must be cleared
      std::printf("create9ex_hr=0x%08lx\n", static_cast<unsigned long>(Direct3DCreate9Ex(D3D_SDK_VERSION, &ex)));
      std::printf("create9ex_out=%p\n", static_cast<void*>(ex));
      std::printf("create9ex_null_hr=0x%08lx\n", static_cast<unsigned long>(Direct3DCreate9Ex(D3D_SDK_VERSION, nullptr)));
    } else if (arg.rfind("call=", 0) == 0) {
      std::string dir = arg.substr(5);
      UINT sdk = D3D_SDK_VERSION;
      const size_t comma = dir.find(',');
      if (comma != std::string::npos) {
        sdk = static_cast<UINT>(std::strtoul(dir.c_str() + comma + 1, nullptr, 0));
        dir.resize(comma);
      }
      if (dir.rfind("long:", 0) == 0)
        dir = "C:\\" + std::string(std::atoi(dir.c_str() + 5) - 3, 'x');
      SystemDirectory = dir;
      IDirect3D9* d3d = Direct3DCreate9(sdk);
      std::printf("result%d=%p\n", calls++, static_cast<void*>(d3d));
    }
  }
  // What the fake system library saw, if it was loaded.
  if (HMODULE fake = GetModuleHandleA("d3d9.dll")) {
    if (auto* sdk = reinterpret_cast<UINT*>(GetProcAddress(fake, "FakeLastSdk")))
      std::printf("fake_sdk=%u\n", *sdk);
    if (auto* result = reinterpret_cast<void**>(GetProcAddress(fake, "FakeLastResult")))
      std::printf("fake_result=%p\n", *result);
  }
  return 0;
}
