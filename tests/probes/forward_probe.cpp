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
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <mmsystem.h>

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
