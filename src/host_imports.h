// Host import patching (window-resize mode): the host executable's user32 imports of
// GetClientRect and SetWindowPos redirected to the window-size replacements.
#pragma once

#include <windows.h>

typedef BOOL(WINAPI* GetClientRectFn)(HWND, LPRECT);
typedef BOOL(WINAPI* SetWindowPosFn)(HWND, HWND, int, int, int, int, UINT);

// Redirects the host executable's imports.
void HookHostImports();
// The same walk over any mapped image; HookHostImports applies it to the host executable.
void HookImportsOf(HMODULE image);

// What the replaced import slots held (null until a slot was replaced): the replacements
// forward to these. Tests set their own.
GetClientRectFn OriginalGetClientRect();
SetWindowPosFn OriginalSetWindowPos();
void SetOriginalImports(GetClientRectFn getClientRect, SetWindowPosFn setWindowPos);
