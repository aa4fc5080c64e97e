// The plugin menu in the host window's menu bar, and the window procedure that serves
// it: plugin choice, sizing cursors over the frame, saving the window's placement.
#pragma once

#include <windows.h>

#include <cstdint>

// Menu command identifiers: "None", then one per plugin upward.
constexpr UINT MenuIdNone = 50000;
constexpr UINT MenuIdFirstPlugin = 50001;
constexpr UINT MenuIdLast = 0xFFFF;  // WM_COMMAND carries 16 bits of identifier
// The host menu item before which the popup goes, unless menu_id names another below 50000.
constexpr int32_t DefaultMenuInsertionId = 40022;

// One per plugin item; lives as long as the process.
struct PluginEntry {
  HMODULE hPluginModule;
  char szPath[MAX_PATH];  // "plugins/" and the file name as the directory search gave it
};

// Loads every plugins/*.rpi, inserts the popup into the window's menu, activates the
// plugin named by default_filter and subclasses the window.
void CreatePluginsMenu(HWND hwnd);
LRESULT CALLBACK WindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// Writes the window's outer rectangle as left, top, width and height.
void SaveWindowPlacement(HWND hwnd);

// The popup we inserted (null until built), the item that bears the check mark, the
// host menu item the popup was inserted before, and the window procedure before ours.
HMENU PluginPopup();
UINT CheckedMenuId();
int32_t MenuInsertionId();
WNDPROC OriginalWindowProc();
// Back to the state at load, for a menu built anew (tests); entries stay registered.
void ForgetPluginMenu();
