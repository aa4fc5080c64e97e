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

// ---------------------------------------------------------------------------------
// Device creation and frame filtering

// Takes the place of IDirect3D9::CreateDevice: forces an R5G6B5 back buffer, re-applies
// the window with the window-resize additions, forwards, and prepares the device.
HRESULT STDMETHODCALLTYPE CreateDeviceNew(IDirect3D9* self, UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                                          DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                                          IDirect3DDevice9** ppReturnedDeviceInterface);
// Takes the place of IDirect3DDevice9::Present: filters the frame through the active
// plugin, then forwards.
HRESULT STDMETHODCALLTYPE PresentNew(IDirect3DDevice9* device, const RECT* pSourceRect, const RECT* pDestRect,
                                     HWND hDestWindowOverride, const RGNDATA* pDirtyRegion);

// The frame path's work on a locked read-back frame: samples it down into the staging
// image, points the request's destination at it and calls the plugin. False, with the
// frame untouched, when the request prepared at activation does not fit a frame of this
// pitch and the measured size (or there is no staging buffer): the frame then goes out
// unfiltered.
bool FilterLockedFrame(void* bits, INT pitch);

// Once-per-process steps of device creation, done at the first attempt (placement)
// and at the first success (menu).
extern bool PlacementRestorePending;
extern bool MenuBuildPending;

// ---------------------------------------------------------------------------------
// Render plugin activation

#ifndef RPI_HOST
#define RPI_HOST  // the library defines no plugin exports
#endif
#include <render_plugin.h>

// The render target as last measured at device creation: the platform's surface
// description and the row pitch of a locked system-memory surface of that size and
// format. All zero until the first device is measured.
struct SurfaceGeometryRecord {
  D3DSURFACE_DESC Desc;
  INT Pitch;
};
extern SurfaceGeometryRecord SurfaceGeometry;

// Activation state, rebuilt by InitPlugin and used on every frame.
extern int ScaleFactor;                      // 2, 3 or 4
extern void* StagingBuffer;                  // zero margins around the source image
extern SIZE_T StagingBufferSize;
extern PluginFrameRequest FrameRequest;      // the process-wide request handed to the plugin
extern RenderPluginGetInfoFn PluginGetInfo;  // entry points of the active plugin, or null
extern RenderPluginOutputFn PluginOutput;

// Activates the plugin module in hPlugin for the current SurfaceGeometry. Does
// nothing when hPlugin is null.
void InitPlugin();

// The pieces of an activation, for the plugin tool too: the factor that descriptor flags
// choose; the staging buffer's size for a W x H target; and the request for a target of
// that size and pitch whose source image lives in `buffer` (laid out as the staging
// buffer: four zero rows of the source pitch first), or describes none when buffer is
// null.
uint32_t ScaleForFlags(uint32_t descriptorFlags);
uint64_t StagingBufferBytes(uint32_t width, uint32_t height);
void FillFrameRequest(PluginFrameRequest& request, void* buffer, uint32_t width, uint32_t height, int32_t pitch,
                      uint32_t descriptorFlags);

// Calls a plugin's RenderPluginGetInfo and returns its descriptor if all 64 bytes of it
// can be read; null otherwise.
const PluginDescriptor* QueryPluginDescriptor(RenderPluginGetInfoFn getInfo);
// The descriptor's name, never read past its 60 bytes (an unterminated name is cut).
void CopyPluginName(const PluginDescriptor* descriptor, char (&name)[RPI_NAME_SIZE + 1]);

// ---------------------------------------------------------------------------------
// Window size interception (window-resize mode) and the placement restore

// Stand in for the host executable's GetClientRect and SetWindowPos imports.
BOOL WINAPI GetClientRectNew(HWND hWnd, LPRECT lpRect);
BOOL WINAPI SetWindowPosNew(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags);

// SetWindowPosNew's memory of the last request, shared by all windows.
struct WindowPosMemory {
  int32_t LastX, LastY;    // position of the last call (any window)
  int32_t LastCx, LastCy;  // size of the last request passed on for a WS_SYSMENU window
  bool XSeen, YSeen;       // set by the first call
};
extern WindowPosMemory SetWindowPosMemory;

// Moves the window to the placement saved in filters.ini, if all four keys are there.
void LoadWindowPlacement(HWND hwnd);
