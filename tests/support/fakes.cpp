#include "fakes.h"

#include <cstring>

namespace {

ULONG STDMETHODCALLTYPE SurfaceAddRef(IDirect3DSurface9* self)
{
  return ++reinterpret_cast<FakeSurface*>(self)->refs;
}

ULONG STDMETHODCALLTYPE SurfaceRelease(IDirect3DSurface9* self)
{
  return --reinterpret_cast<FakeSurface*>(self)->refs;
}

HRESULT STDMETHODCALLTYPE SurfaceGetDesc(IDirect3DSurface9* self, D3DSURFACE_DESC* desc)
{
  *desc = reinterpret_cast<FakeSurface*>(self)->desc;
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE SurfaceLockRect(IDirect3DSurface9* self, D3DLOCKED_RECT* locked, const RECT*, DWORD)
{
  FakeSurface* s = reinterpret_cast<FakeSurface*>(self);
  if (FAILED(s->lockResult))
    return s->lockResult;
  ++s->locks;
  locked->pBits = s->pixels.data();
  locked->Pitch = s->pitch;
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE SurfaceUnlockRect(IDirect3DSurface9* self)
{
  ++reinterpret_cast<FakeSurface*>(self)->unlocks;
  return D3D_OK;
}

IDirect3DSurface9Vtbl SurfaceTable = [] {
  IDirect3DSurface9Vtbl t = {};
  t.AddRef = SurfaceAddRef;
  t.Release = SurfaceRelease;
  t.GetDesc = SurfaceGetDesc;
  t.LockRect = SurfaceLockRect;
  t.UnlockRect = SurfaceUnlockRect;
  return t;
}();

FakeDevice* DeviceOf(IDirect3DDevice9* self) { return reinterpret_cast<FakeDevice*>(self); }

HRESULT STDMETHODCALLTYPE DeviceGetRenderTarget(IDirect3DDevice9* self, DWORD index, IDirect3DSurface9** target)
{
  FakeDevice* d = DeviceOf(self);
  if (index != 0 || FAILED(d->getRenderTargetResult))
    return FAILED(d->getRenderTargetResult) ? d->getRenderTargetResult : D3DERR_INVALIDCALL;
  ++d->renderTarget.refs;
  *target = d->renderTarget.iface();
  return D3D_OK;
}

// The back buffer is the render target: the fake has one surface.
HRESULT STDMETHODCALLTYPE DeviceGetBackBuffer(IDirect3DDevice9* self, UINT swapChain, UINT index,
                                              D3DBACKBUFFER_TYPE type, IDirect3DSurface9** backBuffer)
{
  FakeDevice* d = DeviceOf(self);
  if (swapChain != 0 || index != 0 || type != D3DBACKBUFFER_TYPE_MONO || FAILED(d->getBackBufferResult))
    return FAILED(d->getBackBufferResult) ? d->getBackBufferResult : D3DERR_INVALIDCALL;
  ++d->renderTarget.refs;
  *backBuffer = d->renderTarget.iface();
  return D3D_OK;
}

// No swap chain objects: the library then leaves swap chains alone.
HRESULT STDMETHODCALLTYPE DeviceGetSwapChain(IDirect3DDevice9*, UINT, IDirect3DSwapChain9** swapChain)
{
  *swapChain = nullptr;
  return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE DeviceCreateOffscreenPlainSurface(IDirect3DDevice9* self, UINT width, UINT height,
                                                            D3DFORMAT format, D3DPOOL pool,
                                                            IDirect3DSurface9** surface, HANDLE* shared)
{
  FakeDevice* d = DeviceOf(self);
  if (FAILED(d->createSurfaceResult) || pool != D3DPOOL_SYSTEMMEM || shared)
    return FAILED(d->createSurfaceResult) ? d->createSurfaceResult : D3DERR_INVALIDCALL;
  d->created.push_back(std::make_unique<FakeSurface>(width, height, format, d->copyPitch));
  d->created.back()->lockResult = d->copySurfaceLockResult;
  *surface = d->created.back()->iface();
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE DeviceGetRenderTargetData(IDirect3DDevice9* self, IDirect3DSurface9* target,
                                                    IDirect3DSurface9* copy)
{
  FakeDevice* d = DeviceOf(self);
  ++d->getRenderTargetDataCalls;
  if (FAILED(d->getRenderTargetDataResult))
    return d->getRenderTargetDataResult;
  FakeSurface* from = reinterpret_cast<FakeSurface*>(target);
  FakeSurface* to = reinterpret_cast<FakeSurface*>(copy);
  for (UINT y = 0; y < from->desc.Height; ++y)
    std::memcpy(to->pixels.data() + y * to->pitch, from->pixels.data() + y * from->pitch, from->desc.Width * 2);
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE DeviceUpdateSurface(IDirect3DDevice9* self, IDirect3DSurface9* source, const RECT* rect,
                                              IDirect3DSurface9* dest, const POINT* point)
{
  FakeDevice* d = DeviceOf(self);
  ++d->updateSurfaceCalls;
  if (FAILED(d->updateSurfaceResult) || rect || point)
    return FAILED(d->updateSurfaceResult) ? d->updateSurfaceResult : D3DERR_INVALIDCALL;
  FakeSurface* from = reinterpret_cast<FakeSurface*>(source);
  FakeSurface* to = reinterpret_cast<FakeSurface*>(dest);
  for (UINT y = 0; y < from->desc.Height; ++y)
    std::memcpy(to->pixels.data() + y * to->pitch, from->pixels.data() + y * from->pitch, from->desc.Width * 2);
  return D3D_OK;
}

}  // namespace

FakeSurface::FakeSurface(UINT width, UINT height, D3DFORMAT format, INT rowPitch)
    : lpVtbl(&SurfaceTable), pitch(rowPitch), pixels(size_t(height) * rowPitch)
{
  desc.Format = format;
  desc.Type = D3DRTYPE_SURFACE;
  desc.Width = width;
  desc.Height = height;
}

HRESULT STDMETHODCALLTYPE FakePresent(IDirect3DDevice9* self, const RECT* source, const RECT* dest, HWND window,
                                      const RGNDATA* region)
{
  FakeDevice* d = DeviceOf(self);
  ++d->presentCalls;
  d->presentSource = source;
  d->presentDest = dest;
  d->presentWindow = window;
  d->presentRegion = region;
  return d->presentResult;
}

FakeDevice::FakeDevice(UINT width, UINT height, INT pitch)
    : lpVtbl(&table), renderTarget(width, height, D3DFMT_R5G6B5, pitch), copyPitch(pitch)
{
  table.GetRenderTarget = DeviceGetRenderTarget;
  table.GetBackBuffer = DeviceGetBackBuffer;
  table.GetSwapChain = DeviceGetSwapChain;
  table.CreateOffscreenPlainSurface = DeviceCreateOffscreenPlainSurface;
  table.GetRenderTargetData = DeviceGetRenderTargetData;
  table.UpdateSurface = DeviceUpdateSurface;
  table.Present = FakePresent;
}

HRESULT STDMETHODCALLTYPE FakeCreateDevice(IDirect3D9* self, UINT, D3DDEVTYPE, HWND focus, DWORD,
                                           D3DPRESENT_PARAMETERS* pp, IDirect3DDevice9** device)
{
  FakeDirect3D* d3d = reinterpret_cast<FakeDirect3D*>(self);
  ++d3d->createCalls;
  d3d->formatReceived = pp ? pp->BackBufferFormat : D3DFMT_UNKNOWN;
  d3d->deviceOut = device;
  d3d->focusReceived = focus;
  if (!device)
    return D3DERR_INVALIDCALL;
  if (SUCCEEDED(d3d->createResult))
    *device = d3d->device ? d3d->device->iface() : nullptr;
  return d3d->createResult;
}

FakeDirect3D::FakeDirect3D() : lpVtbl(&table) { table.CreateDevice = FakeCreateDevice; }
