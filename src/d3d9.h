// The library's start-up module: process attach, the settings file and the host
// import patching. (This is our own module header; the platform's Direct3D header is
// included as <d3d9.h>, and src/ is never on the include path.)
#pragma once

#include <windows.h>

#include <cstdint>

// This library's own module handle, recorded at process attach.
extern HMODULE hModule;

// Window-resize values, read at start-up; all 0 unless "window_resize" is on.
extern int32_t WindowResizeAddWidth;   // added to the window's outer width at device creation
extern int32_t WindowResizeAddHeight;  // added to the window's outer height at device creation
extern int32_t WindowAddHeight;        // added to the client height reported to the host

// Saved host import slots (null until HookHostImports replaced them).
extern BOOL(WINAPI* GetClientRectOrg)(HWND, LPRECT);
extern BOOL(WINAPI* SetWindowPosOrg)(HWND, HWND, int, int, int, int, UINT);

// Settings file "filters.ini", section "options", resolved against the current
// directory at each use. A current directory too long for a 260-character path reads
// every key as absent and writes nothing.
constexpr int SettingsPathSize = MAX_PATH;
bool SettingsPath(char (&path)[SettingsPathSize]);
int32_t ReadSettingInt(const char* path, const char* key, int32_t fallback);
void ReadSettingText(const char* path, const char* key, const char* fallback, char* out, DWORD size);
void WriteSettingText(const char* path, const char* key, const char* value);
void WriteSettingInt(const char* path, const char* key, int32_t value);

// Redirects the host executable's user32 imports of GetClientRect and SetWindowPos.
void HookHostImports();
// The same walk over any mapped image; HookHostImports applies it to the host executable.
void HookImportsOf(HMODULE image);
