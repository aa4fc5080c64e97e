// Forwarding to the system's Direct3D 9: the library's export Direct3DCreate9 loads the
// system library once and hands the host its interface, with device creation patched.
#pragma once

#include <windows.h>
#include <d3d9.h>

typedef IDirect3D9*(WINAPI* Direct3DCreate9Fn)(UINT);

// The system library, loaded at the first call as Direct3DCreate9 loads it (the same
// log lines when that fails), or null when it cannot be loaded. Never released.
HMODULE SystemDirect3DModule();

// True once the system's Direct3DCreate9 was found, or Direct3DCreate9Ex handed out an
// interface: Direct3D is in use.
bool Direct3DInUse();
void NoteDirect3DExInUse();

// Where the system library is looked for: the platform's GetSystemDirectoryA unless a
// test points it at a directory of its own (to make the load fail in the ways the
// platform will not).
typedef UINT(WINAPI* SystemDirectoryFn)(LPSTR, UINT);
void SetSystemDirectorySource(SystemDirectoryFn source);
// Sets or forgets the system library's function (tests: Direct3D in use or not).
void UseSystemDirect3D(Direct3DCreate9Fn create);
