// Direct3DCreate9 forwarding, device creation, frame filtering, plugin activation and
// the window-size replacements.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <cstdint>

// The system library's Direct3DCreate9; null until a load succeeded. Non-null is also
// the sign that Direct3D is in use.
typedef IDirect3D9*(WINAPI* Direct3DCreate9Fn)(UINT);
extern Direct3DCreate9Fn Direct3DCreate9Org;

// Where the system library is looked for: the platform's GetSystemDirectoryA. Tests
// point it at a directory of their own to make the load fail in the ways the platform
// will not.
extern UINT(WINAPI* SystemDirectoryA)(LPSTR, UINT);
