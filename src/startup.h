// Process attach: the "log" switch and the window-resize values of the settings file,
// and the host import patching of window-resize mode.
#pragma once

#include <windows.h>

#include <cstdint>

// This library's own module, recorded at process attach (null in a program that links
// the library's code instead of loading the DLL).
HMODULE LibraryModule();
void SetLibraryModule(HMODULE module);

// Window-resize values: all 0 unless "window_resize" is on.
struct WindowResizeValues {
  int32_t addWidth = 0;         // added to the window's outer width at device creation
  int32_t addHeight = 0;        // added to the window's outer height at device creation
  int32_t addClientHeight = 0;  // added to the client height reported to the host
};

// Reads the window-resize keys from the settings file at `settingsPath`: zeros when
// "window_resize" is 0, otherwise the three keys with the computed defaults for negative
// additions (the extra outer size, over both sides, of a sizing border compared with a
// fixed dialog border).
WindowResizeValues ReadWindowResizeValues(const char* settingsPath);

// The values in force: read once at process attach; tests set their own.
const WindowResizeValues& WindowResize();
void SetWindowResize(const WindowResizeValues& values);
