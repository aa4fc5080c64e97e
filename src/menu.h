// The plugin menu in the host window's menu bar, and the window procedure that serves it.
#pragma once

#include <windows.h>

#include <cstdint>

// Menu command identifiers: "None", then one per plugin upward.
constexpr UINT MenuIdNone = 50000;
constexpr UINT MenuIdFirstPlugin = 50001;
constexpr UINT MenuIdLast = 0xFFFF;  // WM_COMMAND carries 16 bits of identifier

// One per plugin item; lives as long as the process.
struct PluginEntry {
  HMODULE hPluginModule;
  char szPath[MAX_PATH];  // "plugins/" and the file name as the directory search gave it
};

// The active render plugin's module, or null.
extern HMODULE hPlugin;
// The host menu item before which the popup goes (menu_id replaces it when below 50000).
extern int32_t MenuInsertionId;
// The popup item that bears the check mark.
extern UINT CheckedMenuId;
// The popup we inserted (null until built).
extern HMENU PluginPopup;
// The host window's procedure before ours.
extern WNDPROC WindowProcOrg;

// Loads every plugins/*.rpi, inserts the popup into the window's menu, activates the
// plugin named by default_filter and subclasses the window. Once per process.
void CreatePluginsMenu(HWND hwnd);
LRESULT CALLBACK WindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// Writes the window's outer rectangle as left, top, width and height.
void SaveWindowPlacement(HWND hwnd);
