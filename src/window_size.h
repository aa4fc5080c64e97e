// Window size interception (window-resize mode) and the placement restore.
#pragma once

#include <windows.h>

#include <cstdint>

// Stand in for the host executable's GetClientRect and SetWindowPos imports.
BOOL WINAPI GetClientRectNew(HWND hWnd, LPRECT lpRect);
BOOL WINAPI SetWindowPosNew(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags);

// SetWindowPosNew's memory of the last request, shared by all windows.
struct WindowPosMemory {
  int32_t LastX, LastY;    // position of the last call (any window)
  int32_t LastCx, LastCy;  // size of the last request passed on for a WS_SYSMENU window
  bool XSeen, YSeen;       // set by the first call
};
WindowPosMemory SetWindowPosMemory();
void ForgetWindowPos();  // back to the state at load (tests)

// Moves the window to the placement saved in filters.ini, if all four keys are there.
void LoadWindowPlacement(HWND hwnd);
