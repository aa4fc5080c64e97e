// The demo's main window.
#include "app_window.h"

#include "scene.h"

namespace {

const char kClassName[] = "D3D9FiltersDemo";
const char kTitle[] = "d3d9filters demo";
const char kAboutText[] =
    "d3d9filters demo\n\nAn animated pixel-art scene drawn through Direct3D 9.\n"
    "Choose a render plugin from the plugin menu to filter every frame.";
constexpr int kWindowLeft = 40;  // a fixed place, fully on screen, for captures
constexpr int kWindowTop = 40;

bool g_interactive = false;
CommandObserver g_observer = nullptr;
void* g_observerContext = nullptr;

void Observe(UINT command)
{
  if (g_observer)
    g_observer(g_observerContext, command);
}

HMENU CreateMenuBar()
{
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, kCommandExit, "E&xit");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
  AppendMenuA(bar, MF_STRING, kCommandAbout, "&About");
  return bar;
}

void OnCommand(HWND window, UINT command)
{
  if (command == kCommandExit)
    DestroyWindow(window);
  else if (command == kCommandAbout && g_interactive)
    MessageBoxA(window, kAboutText, kTitle, MB_OK | MB_ICONINFORMATION);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  switch (message) {
    case WM_COMMAND:
      Observe(LOWORD(wParam));
      OnCommand(window, LOWORD(wParam));
      return 0;
    case WM_PAINT:
      ValidateRect(window, nullptr);  // Direct3D draws the client area
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

bool RegisterWindowClass(HINSTANCE instance)
{
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kClassName;
  return RegisterClassA(&wc) != 0;
}

}  // namespace

HWND CreateMainWindow(HINSTANCE instance, bool interactive)
{
  g_interactive = interactive;
  if (!RegisterWindowClass(instance))
    return nullptr;
  // A fixed-size window whose client area is exactly the frame.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT rect = {0, 0, kFrameWidth, kFrameHeight};
  AdjustWindowRect(&rect, style, TRUE);
  HWND window = CreateWindowA(kClassName, kTitle, style, kWindowLeft, kWindowTop,
                              rect.right - rect.left, rect.bottom - rect.top, nullptr,
                              CreateMenuBar(), instance, nullptr);
  if (!window)
    return nullptr;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return window;
}

void FitClientArea(HWND window)
{
  RECT client, outer;
  GetClientRect(window, &client);
  GetWindowRect(window, &outer);
  const int dw = kFrameWidth - (client.right - client.left);
  const int dh = kFrameHeight - (client.bottom - client.top);
  if (dw == 0 && dh == 0)
    return;
  SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dw, outer.bottom - outer.top + dh,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetCommandObserver(CommandObserver observer, void* context)
{
  g_observer = observer;
  g_observerContext = context;
}

bool PumpMessages()
{
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT)
      return false;
    if (msg.message == WM_COMMAND)
      Observe(LOWORD(msg.wParam));
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}
