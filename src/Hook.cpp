// Interface slot patching.
#include "Hook.h"

#include "log.h"

constexpr int LineHookCreateDevice = 22;

void HookCreateDevice(IDirect3D9* d3d)
{
  (void)d3d;
  WriteLogLine("HookCreateDevice", TagHook, LineHookCreateDevice);
}
