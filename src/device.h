// Device creation and presentation: the IDirect3D9::CreateDevice and
// IDirect3DDevice9::Present entries of the system's method tables, replaced by ours.
#pragma once

#include <windows.h>
#include <d3d9.h>

typedef decltype(IDirect3D9Vtbl::CreateDevice) CreateDeviceFn;
typedef decltype(IDirect3DDevice9Vtbl::Present) PresentFn;
typedef decltype(IDirect3DDevice9Vtbl::Reset) ResetFn;
typedef decltype(IDirect3DSwapChain9Vtbl::Present) SwapChainPresentFn;

// Points the CreateDevice entry of the object's method table at CreateDeviceNew.
void HookCreateDevice(IDirect3D9* d3d);
// Points the Present entry of the device's method table at PresentNew.
void HookPresent(IDirect3DDevice9* device);
// Points the device's Reset entry at ResetNew, and the Present entry of its swap chains'
// table at SwapChainPresentNew. Silent in the log unless an entry cannot be written.
void HookResetAndSwapChains(IDirect3DDevice9* device);

// The Ex path: points the CreateDevice and CreateDeviceEx entries of an IDirect3D9Ex's
// table at ours, and for an Ex device the PresentEx and ResetEx entries (a device that
// is no IDirect3DDevice9Ex is left alone).
void HookCreateDeviceEx(IDirect3D9Ex* d3d);
void HookDeviceEx(IDirect3DDevice9* device);

// What a table held before ours (null when we never replaced that table's entry).
CreateDeviceFn OriginalCreateDevice(IDirect3D9* d3d);
PresentFn OriginalPresent(IDirect3DDevice9* device);
ResetFn OriginalReset(IDirect3DDevice9* device);
SwapChainPresentFn OriginalSwapChainPresent(IDirect3DSwapChain9* swapChain);
// Forgets every replaced table (tests that reuse a table's memory for another).
void ForgetReplacedTables();

// Takes the place of IDirect3D9::CreateDevice: forces an R5G6B5 back buffer, re-applies
// the window with the window-resize additions, forwards, and prepares the device.
HRESULT STDMETHODCALLTYPE CreateDeviceNew(IDirect3D9* self, UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                                          DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                                          IDirect3DDevice9** ppReturnedDeviceInterface);
// Takes the place of IDirect3DDevice9::Present: filters the frame through the plugin in
// use, then forwards.
HRESULT STDMETHODCALLTYPE PresentNew(IDirect3DDevice9* device, const RECT* pSourceRect, const RECT* pDestRect,
                                     HWND hDestWindowOverride, const RGNDATA* pDirtyRegion);
// Takes the place of IDirect3DDevice9::Reset: forces an R5G6B5 back buffer in the
// program's parameters, forwards, and after a success measures the new back buffer and
// activates the plugin in use for it.
HRESULT STDMETHODCALLTYPE ResetNew(IDirect3DDevice9* device, D3DPRESENT_PARAMETERS* pPresentationParameters);
// Takes the place of IDirect3DSwapChain9::Present: filters that swap chain's own back
// buffer, then forwards.
HRESULT STDMETHODCALLTYPE SwapChainPresentNew(IDirect3DSwapChain9* swapChain, const RECT* pSourceRect,
                                              const RECT* pDestRect, HWND hDestWindowOverride,
                                              const RGNDATA* pDirtyRegion, DWORD dwFlags);

// IDirect3D9Ex::CreateDeviceEx, IDirect3DDevice9Ex::PresentEx and ResetEx: the same
// steps as CreateDeviceNew, PresentNew and ResetNew (a full-screen display mode takes
// the forced back-buffer format).
HRESULT STDMETHODCALLTYPE CreateDeviceExNew(IDirect3D9Ex* self, UINT Adapter, D3DDEVTYPE DeviceType,
                                            HWND hFocusWindow, DWORD BehaviorFlags,
                                            D3DPRESENT_PARAMETERS* pPresentationParameters,
                                            D3DDISPLAYMODEEX* pFullscreenDisplayMode,
                                            IDirect3DDevice9Ex** ppReturnedDeviceInterface);
HRESULT STDMETHODCALLTYPE PresentExNew(IDirect3DDevice9Ex* device, const RECT* pSourceRect, const RECT* pDestRect,
                                       HWND hDestWindowOverride, const RGNDATA* pDirtyRegion, DWORD dwFlags);
HRESULT STDMETHODCALLTYPE ResetExNew(IDirect3DDevice9Ex* device, D3DPRESENT_PARAMETERS* pPresentationParameters,
                                     D3DDISPLAYMODEEX* pFullscreenDisplayMode);

// The once-per-process steps of device creation: the placement restore at the first
// attempt with a window, the plugin menu with the configured plugin at the first success
// with one (later windows get their own popups through AddPluginsMenu). True while
// still to come; tests arm them again.
bool PlacementRestorePending();
bool MenuBuildPending();
void SetOncePerProcessSteps(bool placementRestorePending, bool menuBuildPending);
