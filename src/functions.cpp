// Direct3DCreate9 forwarding, device creation, frame filtering, plugin activation and
// the window-size replacements.
#include "functions.h"

#include <cstring>
#include <type_traits>

#include "Hook.h"
#include "d3d9.h"
#include "log.h"

Direct3DCreate9Fn Direct3DCreate9Org = nullptr;
UINT(WINAPI* SystemDirectoryA)(LPSTR, UINT) = GetSystemDirectoryA;

// ---------------------------------------------------------------------------------
// Forwarding to the system's Direct3D 9

constexpr int LineCreate9 = 140;
constexpr int LineCreate9Success = 147;

// Loads d3d9.dll from the system directory and returns its Direct3DCreate9, or null.
// The system library is never released.
static Direct3DCreate9Fn LoadSystemDirect3D()
{
  static const char FileName[] = "\\d3d9.dll";  // 10 bytes with its NUL
  char path[MAX_PATH];
  const UINT length = SystemDirectoryA(path, MAX_PATH);
  // No system directory, or one too long to take the file name: refuse the load
  // rather than overrun the buffer.
  if (length == 0 || length + sizeof FileName > MAX_PATH) {
    if (bLog) {
      WriteLogLabel("system directory unusable, length = ", length);
      CloseLog();
    }
    return nullptr;
  }
  std::memcpy(path + std::strlen(path), FileName, sizeof FileName);
  WriteLogLabel("path = ", path);

  HMODULE h_d3d9 = LoadLibraryA(path);
  if (!h_d3d9) {
    if (bLog) {
      WriteLogLabel("h_d3d9 == NULL Err = ", static_cast<int32_t>(GetLastError()));
      CloseLog();
    }
    return nullptr;
  }
  if (h_d3d9 == hModule) {
    // The path led back to this very library.
    if (bLog) {
      WriteLogLabel("h_d3d9 == hModule");
      CloseLog();
    }
    return nullptr;
  }
  auto create = reinterpret_cast<Direct3DCreate9Fn>(
      reinterpret_cast<void*>(GetProcAddress(h_d3d9, "Direct3DCreate9")));
  if (!create && bLog) {
    WriteLogLabel("Direct3DCreate9Org == NULL");
    CloseLog();
  }
  return create;
}

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion)
{
  WriteLogLine("Direct3DCreate9", TagFunctions, LineCreate9);
  if (!Direct3DCreate9Org) {
    Direct3DCreate9Org = LoadSystemDirect3D();
    if (!Direct3DCreate9Org)
      return nullptr;
  }
  IDirect3D9* d3d = Direct3DCreate9Org(SDKVersion);
  if (!d3d) {
    // The system refused (an SDK version it does not take, say): nothing to patch.
    WriteLogLabel("Direct3DCreate9Org returned NULL");
    return nullptr;
  }
  HookCreateDevice(d3d);
  WriteLogLine("Direct3DCreate9 success", TagFunctions, LineCreate9Success);
  return d3d;
}

// The export keeps the platform's type and calling convention exactly (the
// declaration in <d3d9.h> already refuses any other definition).
static_assert(std::is_same<decltype(&Direct3DCreate9), Direct3DCreate9Fn>::value,
              "Direct3DCreate9 has the platform's type");
