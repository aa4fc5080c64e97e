// Interface slot patching: one entry of a Direct3D method table replaced by ours.
#pragma once

#include <windows.h>
#include <d3d9.h>

// Points the CreateDevice entry of the object's method table at CreateDeviceNew.
void HookCreateDevice(IDirect3D9* d3d);
