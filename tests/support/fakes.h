// Small Direct3D 9 stand-ins with method tables of their own, for the failure paths
// that Wine's real Direct3D cannot be made to take. Only the methods the library calls
// are filled in; any other call finds a null entry and stops the test.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <cstdint>
#include <memory>
#include <vector>

struct FakeSurface {
  IDirect3DSurface9Vtbl* lpVtbl;  // first, as in the platform's objects
  LONG refs = 1;
  D3DSURFACE_DESC desc = {};
  INT pitch = 0;
  std::vector<uint8_t> pixels;
  HRESULT lockResult = D3D_OK;
  int locks = 0, unlocks = 0;

  FakeSurface(UINT width, UINT height, D3DFORMAT format, INT pitch);
  IDirect3DSurface9* iface() { return reinterpret_cast<IDirect3DSurface9*>(this); }
  uint16_t& Pixel(UINT x, UINT y) { return reinterpret_cast<uint16_t*>(pixels.data() + y * pitch)[x]; }
};

struct FakeDevice {
  IDirect3DDevice9Vtbl* lpVtbl;
  IDirect3DDevice9Vtbl table = {};  // this device's own method table
  FakeSurface renderTarget;
  INT copyPitch;                     // pitch of the surfaces it creates

  HRESULT getRenderTargetResult = D3D_OK;
  HRESULT getBackBufferResult = D3D_OK;
  HRESULT createSurfaceResult = D3D_OK;
  HRESULT copySurfaceLockResult = D3D_OK;
  HRESULT getRenderTargetDataResult = D3D_OK;
  HRESULT updateSurfaceResult = D3D_OK;
  HRESULT presentResult = D3D_OK;

  std::vector<std::unique_ptr<FakeSurface>> created;  // surfaces handed out
  int getRenderTargetDataCalls = 0, updateSurfaceCalls = 0, presentCalls = 0;
  const RECT* presentSource = nullptr;
  const RECT* presentDest = nullptr;
  HWND presentWindow = nullptr;
  const RGNDATA* presentRegion = nullptr;

  FakeDevice(UINT width, UINT height, INT pitch);
  IDirect3DDevice9* iface() { return reinterpret_cast<IDirect3DDevice9*>(this); }
};

// The fake's own Present, to stand in PresentOrg.
HRESULT STDMETHODCALLTYPE FakePresent(IDirect3DDevice9* self, const RECT* source, const RECT* dest, HWND window,
                                      const RGNDATA* region);

struct FakeDirect3D {
  IDirect3D9Vtbl* lpVtbl;
  IDirect3D9Vtbl table = {};
  HRESULT createResult = D3D_OK;
  FakeDevice* device = nullptr;      // handed out on success
  D3DFORMAT formatReceived = D3DFMT_UNKNOWN;
  IDirect3DDevice9** deviceOut = nullptr;
  HWND focusReceived = nullptr;
  int createCalls = 0;

  FakeDirect3D();
  IDirect3D9* iface() { return reinterpret_cast<IDirect3D9*>(this); }
};

HRESULT STDMETHODCALLTYPE FakeCreateDevice(IDirect3D9* self, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags,
                                           D3DPRESENT_PARAMETERS* pp, IDirect3DDevice9** device);
