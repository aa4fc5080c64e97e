// The plugin menu in each device window (in its menu bar, or in its system menu when it
// has no bar), and the window procedure that serves it: plugin choice, the cycling key,
// sizing cursors over the frame, saving the window's placement.
#pragma once

#include <windows.h>

#include <cstdint>

// Menu command identifiers: "None", then one per plugin upward.
constexpr UINT MenuIdNone = 50000;
constexpr UINT MenuIdFirstPlugin = 50001;
constexpr UINT MenuIdLast = 0xFFFF;  // WM_COMMAND carries 16 bits of identifier
// In a system menu the platform keeps the low four bits of WM_SYSCOMMAND's identifier
// for itself, and SC_* commands start at 0xF000: item n of the menu bar's numbering
// (None = 50000 = 0xC350, whose low four bits are clear) is 50000 + 16 n there.
UINT SystemMenuId(UINT id);
constexpr UINT MenuIdLastSystem = MenuIdNone + (0xF000 - MenuIdNone) / 16 - 1;  // the last n whose 50000 + 16 n < 0xF000
// The cycling key's default: Scroll Lock, which games rarely use.
constexpr UINT DefaultCycleKey = VK_SCROLL;
// The host menu item before which the popup goes, unless menu_id names another below 50000.
constexpr int32_t DefaultMenuInsertionId = 40022;

// One per plugin item; lives as long as the process.
struct PluginEntry {
  HMODULE hPluginModule;
  char szPath[MAX_PATH];  // "plugins/" and the file name as the directory search gave it
};

// The first window: loads every plugins/*.rpi, inserts the popup into the window's menu
// bar (or its system menu; nowhere when it has neither), activates the plugin named by
// default_filter, reads the cycling key and subclasses the window.
void CreatePluginsMenu(HWND hwnd);
// A later window: its own popup with the plugins registered so far (files found since
// are loaded and numbered after them), the current check mark, and the subclass. A
// window that was set up already is left alone.
void AddPluginsMenu(HWND hwnd);
// Whether the window was set up, and its popup (null for none).
bool WindowHasPluginsMenu(HWND hwnd);
HMENU WindowPluginPopup(HWND hwnd);
// The cycling key's virtual-key code (0: off), from filter_key.
UINT CycleKey();
LRESULT CALLBACK WindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// Writes the window's outer rectangle as left, top, width and height.
void SaveWindowPlacement(HWND hwnd);

// The first window's popup (null until built), the item that bears the check mark (as
// the menu bar numbers it), the host menu item the popup was inserted before, and the
// first window's procedure before ours.
HMENU PluginPopup();
UINT CheckedMenuId();
int32_t MenuInsertionId();
WNDPROC OriginalWindowProc();
// Back to the state at load, for a menu built anew (tests); entries stay registered.
void ForgetPluginMenu();
