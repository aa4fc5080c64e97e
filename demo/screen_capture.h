// Reading back what reached the screen after Present: the window's client rectangle
// copied from the screen with GDI (BitBlt from the screen's device context into a
// 32-bit DIB section).
#pragma once

#include <windows.h>

#include "image.h"

// Captures the width x height pixels at the top-left of window's client area, as
// they are on the screen now; false if GDI refused.
bool CaptureClientArea(HWND window, int width, int height, ImageRgb& out);
