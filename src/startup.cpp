// Process attach: records the start time and the module, switches the log on, reads the
// window-resize values and, in window-resize mode, redirects the host's imports.
#include "startup.h"

#include <mmsystem.h>
#include <process.h>

#include <type_traits>

#include "host_imports.h"
#include "log.h"
#include "settings.h"

static HMODULE Module = nullptr;
static WindowResizeValues Resize;

HMODULE LibraryModule() { return Module; }
void SetLibraryModule(HMODULE module) { Module = module; }
const WindowResizeValues& WindowResize() { return Resize; }
void SetWindowResize(const WindowResizeValues& values) { Resize = values; }

WindowResizeValues ReadWindowResizeValues(const char* settingsPath)
{
  WindowResizeValues values;
  if (ReadSettingInt(settingsPath, "window_resize", 0) == 0)
    return values;
  values.addWidth = ReadSettingInt(settingsPath, "window_resize_add_width", -1);
  values.addHeight = ReadSettingInt(settingsPath, "window_resize_add_height", -1);
  values.addClientHeight = ReadSettingInt(settingsPath, "window_add_height", 0);
  if (values.addWidth < 0)
    values.addWidth = 2 * (GetSystemMetrics(SM_CXFRAME) - GetSystemMetrics(SM_CXDLGFRAME));
  if (values.addHeight < 0)
    values.addHeight = 2 * (GetSystemMetrics(SM_CYFRAME) - GetSystemMetrics(SM_CYDLGFRAME));
  return values;
}

// The C runtime calls DllMain by its C name; <process.h> declares it, so a definition
// of another type does not compile.
extern "C" BOOL WINAPI DllMain(HANDLE hinstDLL, DWORD fdwReason, LPVOID lpvReserved)
{
  (void)lpvReserved;
  if (fdwReason != DLL_PROCESS_ATTACH)
    return TRUE;

  const DWORD startTime = timeGetTime();
  Module = static_cast<HMODULE>(hinstDLL);

  char path[SettingsPathSize];
  SettingsPath(path);

  if (ReadSettingInt(path, "log", 0) != 0) {
    if (!StartLog(startTime))
      return FALSE;  // the platform then refuses to load the library
    WriteLogLine(LogPoints::LogOn);
  } else {
    SetLogStartTime(startTime);
  }

  if (ReadSettingInt(path, "window_resize", 0) == 0)
    return TRUE;
  Resize = ReadWindowResizeValues(path);
  WriteLogLine(LogPoints::AddWidth, Resize.addWidth);
  WriteLogLine(LogPoints::AddHeight, Resize.addHeight);
  HookHostImports();
  return TRUE;
}

// DllMain must keep the platform's entry-routine type exactly.
static_assert(std::is_same<decltype(&DllMain), BOOL(WINAPI*)(HANDLE, DWORD, LPVOID)>::value,
              "DllMain has the platform's entry-routine type");
