// Process attach, the settings file and the host import patching.
#include "d3d9.h"

#include <mmsystem.h>
#include <process.h>

#include <cstdio>
#include <type_traits>

#include "log.h"

HMODULE hModule = nullptr;
int32_t WindowResizeAddWidth = 0;
int32_t WindowResizeAddHeight = 0;
int32_t WindowAddHeight = 0;
BOOL(WINAPI* GetClientRectOrg)(HWND, LPRECT) = nullptr;
BOOL(WINAPI* SetWindowPosOrg)(HWND, HWND, int, int, int, int, UINT) = nullptr;

static const char SettingsFile[] = "filters.ini";
static const char SettingsSection[] = "options";

// Log lines of start-up.
constexpr int LineLogOn = 43;
constexpr int LineAddWidth = 59;
constexpr int LineAddHeight = 60;

bool SettingsPath(char (&path)[SettingsPathSize])
{
  const DWORD length = GetFullPathNameA(SettingsFile, SettingsPathSize, path, nullptr);
  if (length == 0 || length >= SettingsPathSize) {
    path[0] = '\0';
    return false;
  }
  return true;
}

int32_t ReadSettingInt(const char* path, const char* key, int32_t fallback)
{
  if (!path[0])
    return fallback;
  return static_cast<int32_t>(GetPrivateProfileIntA(SettingsSection, key, fallback, path));
}

void ReadSettingText(const char* path, const char* key, const char* fallback, char* out, DWORD size)
{
  if (!path[0]) {
    lstrcpynA(out, fallback, static_cast<int>(size));
    return;
  }
  GetPrivateProfileStringA(SettingsSection, key, fallback, out, size, path);
}

void WriteSettingText(const char* path, const char* key, const char* value)
{
  if (path[0])
    WritePrivateProfileStringA(SettingsSection, key, value, path);
}

void WriteSettingInt(const char* path, const char* key, int32_t value)
{
  char text[16];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  WriteSettingText(path, key, text);
}

void HookHostImports()
{
}

// The C runtime calls DllMain by its C name; <process.h> declares it, so a definition
// of another type does not compile.
extern "C" BOOL WINAPI DllMain(HANDLE hinstDLL, DWORD fdwReason, LPVOID lpvReserved)
{
  (void)lpvReserved;
  if (fdwReason != DLL_PROCESS_ATTACH)
    return TRUE;

  dwStartTime = timeGetTime();
  hModule = static_cast<HMODULE>(hinstDLL);

  char path[SettingsPathSize];
  SettingsPath(path);

  bLog = ReadSettingInt(path, "log", 0) != 0;
  if (bLog) {
    if (!OpenLog())
      return FALSE;  // the platform then refuses to load the library
    WriteLogLine("log on", TagD3d9, LineLogOn);
  }

  if (ReadSettingInt(path, "window_resize", 0) == 0)
    return TRUE;

  WindowResizeAddWidth = ReadSettingInt(path, "window_resize_add_width", -1);
  WindowResizeAddHeight = ReadSettingInt(path, "window_resize_add_height", -1);
  WindowAddHeight = ReadSettingInt(path, "window_add_height", 0);
  // Defaults: the extra outer size, over both sides, of a sizing border compared with
  // a fixed dialog border.
  if (WindowResizeAddWidth < 0)
    WindowResizeAddWidth = 2 * (GetSystemMetrics(SM_CXFRAME) - GetSystemMetrics(SM_CXDLGFRAME));
  if (WindowResizeAddHeight < 0)
    WindowResizeAddHeight = 2 * (GetSystemMetrics(SM_CYFRAME) - GetSystemMetrics(SM_CYDLGFRAME));
  WriteLogLine("WindowResizeAddWidth = ", TagD3d9, LineAddWidth, WindowResizeAddWidth);
  WriteLogLine("WindowResizeAddHeight = ", TagD3d9, LineAddHeight, WindowResizeAddHeight);

  HookHostImports();
  return TRUE;
}

// DllMain must keep the platform's entry-routine type exactly.
static_assert(std::is_same<decltype(&DllMain), BOOL(WINAPI*)(HANDLE, DWORD, LPVOID)>::value,
              "DllMain has the platform's entry-routine type");
