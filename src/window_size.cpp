#include "window_size.h"

#include <type_traits>

#include "forwarding.h"
#include "frame_filter.h"
#include "host_imports.h"
#include "log.h"
#include "settings.h"
#include "startup.h"

// Written by SetWindowPosNew only (whichever thread the host calls it on: hosts resize
// their window from the thread that owns it).
static WindowPosMemory Memory = {};

WindowPosMemory SetWindowPosMemory() { return Memory; }
void ForgetWindowPos() { Memory = {}; }

// Styles given to every WS_SYSMENU window whose position request is passed on: a
// visible, resizable frame with a maximize box.
constexpr LONG ResizableStyle = WS_VISIBLE | WS_CLIPSIBLINGS | WS_THICKFRAME | WS_MAXIMIZEBOX;
static_assert(ResizableStyle == 0x14050000, "the four resizable-frame styles");
// Saved placement values below this count as absent.
constexpr int32_t PlacementMinimum = -9999;
constexpr int32_t PlacementAbsent = -10000;
constexpr UINT PlacementFlags = SWP_NOZORDER | SWP_NOSENDCHANGING;
static_assert(PlacementFlags == 0x0404, "placement restore flags");

static bool HasSystemMenu(HWND hWnd)
{
  return (GetWindowLongA(hWnd, GWL_STYLE) & WS_SYSMENU) != 0;
}

BOOL WINAPI GetClientRectNew(HWND hWnd, LPRECT lpRect)
{
  WriteLogLine(LogPoints::GetClientRectNew);
  // Before Direct3D is in use, for windows without a system menu, and for a call
  // that has nowhere to put the answer, the platform answers.
  if (!Direct3DInUse() || !lpRect || !HasSystemMenu(hWnd)) {
    const GetClientRectFn original = OriginalGetClientRect();
    return original ? original(hWnd, lpRect) : GetClientRect(hWnd, lpRect);
  }
  const D3DSURFACE_DESC backBuffer = MeasuredBackBuffer().Desc;
  lpRect->left = 0;
  lpRect->top = 0;
  lpRect->right = static_cast<LONG>(backBuffer.Width);
  lpRect->bottom = static_cast<LONG>(backBuffer.Height) + WindowResize().addClientHeight;
  return TRUE;
}

static BOOL ForwardSetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
  const SetWindowPosFn original = OriginalSetWindowPos();
  return original ? original(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags)
                  : SetWindowPos(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags);
}

BOOL WINAPI SetWindowPosNew(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
  WindowPosMemory& m = Memory;
  if (!m.XSeen) {
    m.XSeen = true;
    m.LastX = X;
  }
  if (!m.YSeen) {
    m.YSeen = true;
    m.LastY = Y;
  }

  BOOL result = TRUE;
  const LONG style = GetWindowLongA(hWnd, GWL_STYLE);
  if (!(style & WS_SYSMENU)) {
    result = ForwardSetWindowPos(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags);
  } else if (cx != m.LastCx || cy != m.LastCy || (X == m.LastX && Y == m.LastY)) {
    SetWindowLongA(hWnd, GWL_STYLE, style | ResizableStyle);
    result = ForwardSetWindowPos(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags);
    m.LastCx = cx;
    m.LastCy = cy;
  }
  // Otherwise the request keeps the last size but moves the window: dropped.
  m.LastX = X;
  m.LastY = Y;
  return result;
}

void LoadWindowPlacement(HWND hwnd)
{
  char settings[SettingsPathSize];
  SettingsPath(settings);
  int32_t placement[4];
  const char* const keys[4] = {"left", "top", "width", "height"};
  for (int i = 0; i < 4; ++i) {
    placement[i] = ReadSettingInt(settings, keys[i], PlacementAbsent);
    if (placement[i] < PlacementMinimum)
      return;
  }
  // Straight to the platform, twice, bypassing SetWindowPosNew and its memory.
  for (int i = 0; i < 2; ++i)
    SetWindowPos(hwnd, nullptr, placement[0], placement[1], placement[2], placement[3], PlacementFlags);
}

// The replacements stand in host import slots: exactly the platform's types.
static_assert(std::is_same<decltype(&GetClientRectNew), decltype(&GetClientRect)>::value,
              "GetClientRectNew has the type of GetClientRect");
static_assert(std::is_same<decltype(&SetWindowPosNew), decltype(&SetWindowPos)>::value,
              "SetWindowPosNew has the type of SetWindowPos");
