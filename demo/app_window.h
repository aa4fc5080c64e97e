// The demo's main window: a menu bar ("File" with "Exit", and "About" with command
// identifier 40022, before which the library inserts its plugin menu) and a 640 x 480
// client area.
#pragma once

#include <windows.h>

constexpr UINT kCommandExit = 40001;
constexpr UINT kCommandAbout = 40022;  // the library's default anchor (menu_id)

// Creates and shows the window; null on failure. interactive: "About" opens a
// message box (a tour must never wait on one).
HWND CreateMainWindow(HINSTANCE instance, bool interactive);

// Grows or shrinks the window so that its client area is exactly the frame again
// (a menu bar that wraps onto a second line, say, takes height from it).
void FitClientArea(HWND window);

// Called with every menu command the window gets: from the message queue before the
// message is dispatched (so the demo sees plugin choices even when the library
// consumes them) and from the window procedure (for commands sent, not posted).
using CommandObserver = void (*)(void* context, UINT command);
void SetCommandObserver(CommandObserver observer, void* context);

// Handles every waiting message; false once the window has been closed (WM_QUIT).
bool PumpMessages();
