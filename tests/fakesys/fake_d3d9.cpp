// A stand-in for the system's d3d9.dll, for the tests that point the library's
// system-directory lookup elsewhere. Direct3DCreate9 records the SDK version it gets
// and hands out one object of its own; SDK version FakeRefusedSdk gets null.
//
// Built twice: as fakesys/d3d9.dll, and with FAKE_NO_CREATE as nocreate/d3d9.dll,
// a library that lacks Direct3DCreate9.
#include <windows.h>
#include <d3d9.h>

extern "C" {

__declspec(dllexport) UINT FakeLastSdk = 0;
__declspec(dllexport) void* FakeLastResult = nullptr;

#ifndef FAKE_NO_CREATE
static const UINT FakeRefusedSdk = 0xDEAD;

static void* FakeTable[32];       // the object's method table; entries stay null
static void* FakeObject[1] = {FakeTable};

__declspec(dllexport) IDirect3D9* WINAPI Direct3DCreate9(UINT sdk)
{
  FakeLastSdk = sdk;
  FakeLastResult = sdk == FakeRefusedSdk ? nullptr : FakeObject;
  return static_cast<IDirect3D9*>(FakeLastResult);
}
#endif

}  // extern "C"
