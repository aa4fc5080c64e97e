// Direct3DCreate9 forwarding, device creation, frame filtering, plugin activation and
// the window-size replacements.
#include "functions.h"

#include <cstring>
#include <type_traits>

#include "Hook.h"
#include "d3d9.h"
#include "log.h"
#include "menu.h"
#include "sample_down.h"

Direct3DCreate9Fn Direct3DCreate9Org = nullptr;
UINT(WINAPI* SystemDirectoryA)(LPSTR, UINT) = GetSystemDirectoryA;

// ---------------------------------------------------------------------------------
// Forwarding to the system's Direct3D 9

constexpr int LineCreate9 = 140;
constexpr int LineCreate9Success = 147;

// Loads d3d9.dll from the system directory and returns its Direct3DCreate9, or null.
// The system library is never released.
static Direct3DCreate9Fn LoadSystemDirect3D()
{
  static const char FileName[] = "\\d3d9.dll";  // 10 bytes with its NUL
  char path[MAX_PATH];
  const UINT length = SystemDirectoryA(path, MAX_PATH);
  // No system directory, or one too long to take the file name: refuse the load
  // rather than overrun the buffer.
  if (length == 0 || length + sizeof FileName > MAX_PATH) {
    if (bLog) {
      WriteLogLabel("system directory unusable, length = ", length);
      CloseLog();
    }
    return nullptr;
  }
  // Appended at the terminating NUL, never further than the length reported.
  std::memcpy(path + strnlen(path, length), FileName, sizeof FileName);
  WriteLogLabel("path = ", path);

  HMODULE h_d3d9 = LoadLibraryA(path);
  if (!h_d3d9) {
    if (bLog) {
      WriteLogLabel("h_d3d9 == NULL Err = ", static_cast<int32_t>(GetLastError()));
      CloseLog();
    }
    return nullptr;
  }
  if (h_d3d9 == hModule) {
    // The path led back to this very library.
    if (bLog) {
      WriteLogLabel("h_d3d9 == hModule");
      CloseLog();
    }
    return nullptr;
  }
  auto create = reinterpret_cast<Direct3DCreate9Fn>(
      reinterpret_cast<void*>(GetProcAddress(h_d3d9, "Direct3DCreate9")));
  if (!create && bLog) {
    WriteLogLabel("Direct3DCreate9Org == NULL");
    CloseLog();
  }
  return create;
}

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion)
{
  WriteLogLine("Direct3DCreate9", TagFunctions, LineCreate9);
  if (!Direct3DCreate9Org) {
    Direct3DCreate9Org = LoadSystemDirect3D();
    if (!Direct3DCreate9Org)
      return nullptr;
  }
  IDirect3D9* d3d = Direct3DCreate9Org(SDKVersion);
  if (!d3d) {
    // The system refused (an SDK version it does not take, say): nothing to patch.
    WriteLogLabel("Direct3DCreate9Org returned NULL");
    return nullptr;
  }
  HookCreateDevice(d3d);
  WriteLogLine("Direct3DCreate9 success", TagFunctions, LineCreate9Success);
  return d3d;
}

// The export keeps the platform's type and calling convention exactly (the
// declaration in <d3d9.h> already refuses any other definition).
static_assert(std::is_same<decltype(&Direct3DCreate9), Direct3DCreate9Fn>::value,
              "Direct3DCreate9 has the platform's type");

// ---------------------------------------------------------------------------------
// Render plugin activation

SurfaceGeometryRecord SurfaceGeometry = {};
int ScaleFactor = 2;
void* StagingBuffer = nullptr;
SIZE_T StagingBufferSize = 0;
PluginFrameRequest FrameRequest = {};
RenderPluginGetInfoFn PluginGetInfo = nullptr;
RenderPluginOutputFn PluginOutput = nullptr;

constexpr int LineInitPlugin = 157;
constexpr int LineInitPluginSuccess = 212;

// Source rows of zero margin above the image in the staging buffer.
constexpr uint32_t StagingTopMarginRows = 4;
// The buffer holds (H + 4) rows of W four-byte pixels: far more than the source image,
// the rest being zero margin.
constexpr uint64_t StagingBytesPerPixel = 4;
constexpr uint64_t StagingExtraRows = 4;

static_assert(sizeof(void*) == 8 || sizeof(PluginFrameRequest) == 48,
              "the 32-bit request is twelve 32-bit words");

// True when every byte of [address, address + size) lies in committed, readable memory.
static bool IsReadable(const void* address, SIZE_T size)
{
  const char* p = static_cast<const char*>(address);
  const char* const end = p + size;
  if (!p || end < p)
    return false;
  while (p < end) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(p, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT)
      return false;
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (!(info.Protect & readable) || (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
      return false;
    p = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
  }
  return true;
}

const PluginDescriptor* QueryPluginDescriptor(RenderPluginGetInfoFn getInfo)
{
  if (!getInfo)
    return nullptr;
  const PluginDescriptor* descriptor = getInfo();
  return IsReadable(descriptor, sizeof *descriptor) ? descriptor : nullptr;
}

void CopyPluginName(const PluginDescriptor* descriptor, char (&name)[RPI_NAME_SIZE + 1])
{
  size_t length = 0;
  while (length < RPI_NAME_SIZE && descriptor->szName[length])
    ++length;
  std::memcpy(name, descriptor->szName, length);
  name[length] = '\0';
}

uint32_t ScaleForFlags(uint32_t descriptorFlags)
{
  uint32_t s = 2;
  if ((descriptorFlags & RPI_FLAG_SCALE3_BITS) == RPI_FLAG_SCALE3_BITS)
    s = 3;
  if (descriptorFlags & RPI_FLAG_SCALE4)
    s = 4;
  return s;
}

uint64_t StagingBufferBytes(uint32_t width, uint32_t height)
{
  return (uint64_t(height) + StagingExtraRows) * width * StagingBytesPerPixel;
}

void FillFrameRequest(PluginFrameRequest& request, void* buffer, uint32_t width, uint32_t height, int32_t pitch,
                      uint32_t descriptorFlags)
{
  const uint32_t s = ScaleForFlags(descriptorFlags);
  const uint32_t srcWidth = width / s;
  const uint32_t srcHeight = height / s;
  request = PluginFrameRequest{};
  request.dwSize = sizeof(PluginFrameRequest);
  request.dwFlags = (descriptorFlags & RPI_FLAG_USER) | RPI_REQUEST_ALWAYS;
  if (buffer) {
    const uint32_t srcPitch = 2 * srcWidth;
    request.pSrc = static_cast<char*>(buffer) + StagingTopMarginRows * srcPitch;
    request.dwSrcPitch = srcPitch;
    request.dwSrcWidth = srcWidth;
    request.dwSrcHeight = srcHeight;
  }
  request.pDst = nullptr;
  request.dwDstPitch = static_cast<uint32_t>(pitch);
  request.dwDstWidth = width;
  request.dwDstHeight = height;
}

static void ReleaseStagingBuffer()
{
  if (StagingBuffer)
    VirtualFree(StagingBuffer, 0, MEM_RELEASE);
  StagingBuffer = nullptr;
  StagingBufferSize = 0;
}

// A new zero-filled buffer for a W x H render target, from the top of the address
// space. None for a zero size, or for one too large to obtain.
static void ObtainStagingBuffer(uint32_t width, uint32_t height)
{
  const uint64_t size = StagingBufferBytes(width, height);
  if (size == 0)
    return;
  // Fresh committed pages read as zero: the margins need no filling.
  if (size <= UINT32_MAX && size <= SIZE_MAX)
    StagingBuffer = VirtualAlloc(nullptr, static_cast<SIZE_T>(size),
                                 MEM_TOP_DOWN | MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (StagingBuffer) {
    StagingBufferSize = static_cast<SIZE_T>(size);
  } else {
    // Frames then pass unfiltered: there is nowhere to put the source image.
    WriteLogLabel("StagingBuffer not obtained, size = ", size);
  }
}

void InitPlugin()
{
  if (!hPlugin)
    return;
  WriteLogLine("InitPlugin", TagFunctions, LineInitPlugin);

  PluginGetInfo = reinterpret_cast<RenderPluginGetInfoFn>(
      reinterpret_cast<void*>(GetProcAddress(hPlugin, "RenderPluginGetInfo")));
  PluginOutput = reinterpret_cast<RenderPluginOutputFn>(
      reinterpret_cast<void*>(GetProcAddress(hPlugin, "RenderPluginOutput")));
  const PluginDescriptor* descriptor = QueryPluginDescriptor(PluginGetInfo);
  if (!descriptor) {
    // Only modules with a readable descriptor get a menu item, so this is a module
    // that changed its mind: never call into it.
    PluginOutput = nullptr;
    WriteLogLabel("InitPlugin refused: no descriptor");
    return;
  }
  const uint32_t descriptorFlags = descriptor->dwFlags;

  const uint32_t width = SurfaceGeometry.Desc.Width;
  const uint32_t height = SurfaceGeometry.Desc.Height;
  ReleaseStagingBuffer();
  ObtainStagingBuffer(width, height);

  FillFrameRequest(FrameRequest, StagingBuffer, width, height, SurfaceGeometry.Pitch, descriptorFlags);
  ScaleFactor = static_cast<int>(ScaleForFlags(descriptorFlags));

  WriteLogLine("InitPlugin success", TagFunctions, LineInitPluginSuccess);
}

// ---------------------------------------------------------------------------------
// Window size interception and the placement restore

WindowPosMemory SetWindowPosMemory = {};

constexpr int LineGetClientRectNew = 92;
// Styles given to every WS_SYSMENU window whose position request is passed on: a
// visible, resizable frame with a maximize box.
constexpr LONG ResizableStyle = WS_VISIBLE | WS_CLIPSIBLINGS | WS_THICKFRAME | WS_MAXIMIZEBOX;
static_assert(ResizableStyle == 0x14050000, "the four resizable-frame styles");
// Saved placement values below this count as absent.
constexpr int32_t PlacementMinimum = -9999;
constexpr int32_t PlacementAbsent = -10000;
constexpr UINT PlacementFlags = SWP_NOZORDER | SWP_NOSENDCHANGING;
static_assert(PlacementFlags == 0x0404, "placement restore flags");

static bool HasSystemMenu(HWND hWnd)
{
  return (GetWindowLongA(hWnd, GWL_STYLE) & WS_SYSMENU) != 0;
}

BOOL WINAPI GetClientRectNew(HWND hWnd, LPRECT lpRect)
{
  WriteLogLine("GetClientRectNew", TagFunctions, LineGetClientRectNew);
  // Before Direct3D is in use, for windows without a system menu, and for a call
  // that has nowhere to put the answer, the platform answers.
  if (!Direct3DCreate9Org || !lpRect || !HasSystemMenu(hWnd))
    return GetClientRectOrg ? GetClientRectOrg(hWnd, lpRect) : GetClientRect(hWnd, lpRect);
  lpRect->left = 0;
  lpRect->top = 0;
  lpRect->right = static_cast<LONG>(SurfaceGeometry.Desc.Width);
  lpRect->bottom = static_cast<LONG>(SurfaceGeometry.Desc.Height) + WindowAddHeight;
  return TRUE;
}

static BOOL ForwardSetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
  return SetWindowPosOrg ? SetWindowPosOrg(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags)
                         : SetWindowPos(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags);
}

BOOL WINAPI SetWindowPosNew(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
  WindowPosMemory& m = SetWindowPosMemory;
  if (!m.XSeen) {
    m.XSeen = true;
    m.LastX = X;
  }
  if (!m.YSeen) {
    m.YSeen = true;
    m.LastY = Y;
  }

  BOOL result = TRUE;
  const LONG style = GetWindowLongA(hWnd, GWL_STYLE);
  if (!(style & WS_SYSMENU)) {
    result = ForwardSetWindowPos(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags);
  } else if (cx != m.LastCx || cy != m.LastCy || (X == m.LastX && Y == m.LastY)) {
    SetWindowLongA(hWnd, GWL_STYLE, style | ResizableStyle);
    result = ForwardSetWindowPos(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags);
    m.LastCx = cx;
    m.LastCy = cy;
  }
  // Otherwise the request keeps the last size but moves the window: dropped.
  m.LastX = X;
  m.LastY = Y;
  return result;
}

void LoadWindowPlacement(HWND hwnd)
{
  char settings[SettingsPathSize];
  SettingsPath(settings);
  int32_t placement[4];
  const char* const keys[4] = {"left", "top", "width", "height"};
  for (int i = 0; i < 4; ++i) {
    placement[i] = ReadSettingInt(settings, keys[i], PlacementAbsent);
    if (placement[i] < PlacementMinimum)
      return;
  }
  // Straight to the platform, twice, bypassing SetWindowPosNew and its memory.
  for (int i = 0; i < 2; ++i)
    SetWindowPos(hwnd, nullptr, placement[0], placement[1], placement[2], placement[3], PlacementFlags);
}

// The replacements stand in host import slots: exactly the platform's types.
static_assert(std::is_same<decltype(&GetClientRectNew), decltype(&GetClientRect)>::value,
              "GetClientRectNew has the type of GetClientRect");
static_assert(std::is_same<decltype(&SetWindowPosNew), decltype(&SetWindowPos)>::value,
              "SetWindowPosNew has the type of SetWindowPos");

// ---------------------------------------------------------------------------------
// Device creation

bool PlacementRestorePending = true;
bool MenuBuildPending = true;

constexpr int LineCreateDevice = 219;
constexpr int LineCreateDeviceSuccess = 241;
constexpr int LineGetRenderTargetMeasured = 254;
constexpr int LineOffscreenMeasured = 265;
constexpr int LineCreateDeviceFailed = 280;

// Enlarges the window by the window-resize additions (zero unless that mode is on). The
// library's own SetWindowPos goes straight to the platform; flags 0 also raise and
// activate the window.
static void ReapplyWindowRect(HWND window)
{
  RECT rect = {};
  GetWindowRect(window, &rect);
  SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left + WindowResizeAddWidth,
               rect.bottom - rect.top + WindowResizeAddHeight, 0);
}

// Measures the device's render target into SurfaceGeometry. False when the render
// target cannot be fetched.
static bool MeasureRenderTarget(IDirect3DDevice9* device)
{
  IDirect3DSurface9* target = nullptr;
  if (FAILED(IDirect3DDevice9_GetRenderTarget(device, 0, &target)) || !target)
    return false;
  D3DSURFACE_DESC desc = {};
  IDirect3DSurface9_GetDesc(target, &desc);
  IDirect3DSurface9_Release(target);
  SurfaceGeometry.Desc = desc;
  WriteLogLine("GetRenderTarget success", TagFunctions, LineGetRenderTargetMeasured);
  WriteLogLabel("Width = ", static_cast<uint32_t>(desc.Width));
  WriteLogLabel("Height = ", static_cast<uint32_t>(desc.Height));
  WriteLogLabel("Format = ", static_cast<int32_t>(desc.Format));

  // The row pitch of a locked system-memory surface of this size and format: the pitch
  // the plugin will write with. Kept as it was when no such surface can be locked.
  IDirect3DSurface9* surface = nullptr;
  if (SUCCEEDED(IDirect3DDevice9_CreateOffscreenPlainSurface(device, desc.Width, desc.Height, desc.Format,
                                                             D3DPOOL_SYSTEMMEM, &surface, nullptr)) &&
      surface) {
    WriteLogLine("CreateOffscreenPlainSurface success", TagFunctions, LineOffscreenMeasured);
    D3DLOCKED_RECT locked = {};
    if (SUCCEEDED(IDirect3DSurface9_LockRect(surface, &locked, nullptr, 0))) {
      SurfaceGeometry.Pitch = locked.Pitch;
      IDirect3DSurface9_UnlockRect(surface);
    }
    IDirect3DSurface9_Release(surface);
  }
  return true;
}

HRESULT STDMETHODCALLTYPE CreateDeviceNew(IDirect3D9* self, UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                                          DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                                          IDirect3DDevice9** ppReturnedDeviceInterface)
{
  WriteLogLine("CreateDevice", TagFunctions, LineCreateDevice);
  WriteLogLabel("CreateDeviceOrg = ", reinterpret_cast<uintptr_t>(CreateDeviceOrg));
  WriteLogLabel("CreateDeviceNew = ", reinterpret_cast<uintptr_t>(&CreateDeviceNew));

  // 16-bit pixels for the plugin: the host sees the change in its own record.
  if (pPresentationParameters)
    pPresentationParameters->BackBufferFormat = D3DFMT_R5G6B5;

  // The window the device renders to: the focus window, or else the device window.
  HWND window = hFocusWindow;
  if (!window && pPresentationParameters)
    window = pPresentationParameters->hDeviceWindow;
  if (window)
    ReapplyWindowRect(window);

  // A host that passes no device pointer gets the platform's answer to that.
  IDirect3DDevice9* device = nullptr;
  const HRESULT hr = CreateDeviceOrg(self, Adapter, DeviceType, hFocusWindow, BehaviorFlags,
                                     pPresentationParameters, ppReturnedDeviceInterface ? &device : nullptr);

  if (PlacementRestorePending && window) {
    if (SetWindowPosOrg)
      LoadWindowPlacement(window);
    PlacementRestorePending = false;
  }

  if (FAILED(hr)) {
    WriteLogLine("CreateDevice failed", TagFunctions, LineCreateDeviceFailed);
    if (ppReturnedDeviceInterface)
      *ppReturnedDeviceInterface = device;
    return hr;
  }
  WriteLogLine("CreateDevice success", TagFunctions, LineCreateDeviceSuccess);

  if (device) {
    if (MenuBuildPending && window) {
      MenuBuildPending = false;
      CreatePluginsMenu(window);
    }
    if (MeasureRenderTarget(device))
      InitPlugin();
    HookPresent(device);
  }
  if (ppReturnedDeviceInterface)
    *ppReturnedDeviceInterface = device;
  return hr;
}

// ---------------------------------------------------------------------------------
// Frame filtering

constexpr int LinePresent = 295;
constexpr int LinePresentWithPlugin = 302;
constexpr int LineGetRenderTarget = 307;
constexpr int LineGetRenderTargetData = 316;
constexpr int LineLocked = 320;
constexpr int LineRendOutput = 380;
constexpr int LineUpdateSurface = 385;
constexpr int LinePresentOrgSuccess = 395;
constexpr int LinePresentOrgFailed = 399;

// True when the request prepared at activation fits the surface locked for this frame:
// the plugin writes with the request's pitch and size, and the source image must
// exist. Otherwise the frame goes out unfiltered.
static bool RequestFits(const void* bits, INT pitch)
{
  const PluginFrameRequest& r = FrameRequest;
  return StagingBuffer && r.pSrc && bits && pitch >= 0 &&
         static_cast<uint32_t>(pitch) == r.dwDstPitch && r.dwDstWidth == SurfaceGeometry.Desc.Width &&
         r.dwDstHeight == SurfaceGeometry.Desc.Height &&
         uint64_t(r.dwSrcWidth) * ScaleFactor <= r.dwDstWidth && uint64_t(r.dwSrcHeight) * ScaleFactor <= r.dwDstHeight;
}

bool FilterLockedFrame(void* bits, INT pitch)
{
  if (!RequestFits(bits, pitch))
    return false;
  SampleDown(bits, pitch, static_cast<uint32_t>(ScaleFactor), const_cast<void*>(FrameRequest.pSrc),
             FrameRequest.dwSrcPitch, FrameRequest.dwSrcWidth, FrameRequest.dwSrcHeight);
  FrameRequest.pDst = bits;
  if (PluginOutput) {
    PluginOutput(&FrameRequest);
    WriteLogLine("RendOutput success", TagFunctions, LineRendOutput);
  }
  return true;
}

// Reads the render target back, lets the plugin write the filtered frame over the
// copy, and uploads it. Every surface reference taken here is released here.
static void FilterFrame(IDirect3DDevice9* device)
{
  WriteLogLine("Present hPlugin!=NULL", TagFunctions, LinePresentWithPlugin);
  IDirect3DSurface9* target = nullptr;
  if (FAILED(IDirect3DDevice9_GetRenderTarget(device, 0, &target)) || !target)
    return;
  WriteLogLine("GetRenderTarget success", TagFunctions, LineGetRenderTarget);

  const D3DSURFACE_DESC& desc = SurfaceGeometry.Desc;
  IDirect3DSurface9* copy = nullptr;
  if (FAILED(IDirect3DDevice9_CreateOffscreenPlainSurface(device, desc.Width, desc.Height, desc.Format,
                                                          D3DPOOL_SYSTEMMEM, &copy, nullptr)) ||
      !copy) {
    IDirect3DSurface9_Release(target);
    return;
  }
  // A failed read-back is not acted upon: the steps below run on what the copy holds.
  if (SUCCEEDED(IDirect3DDevice9_GetRenderTargetData(device, target, copy)))
    WriteLogLine("GetRenderTargetData success", TagFunctions, LineGetRenderTargetData);

  D3DLOCKED_RECT locked = {};
  if (SUCCEEDED(IDirect3DSurface9_LockRect(copy, &locked, nullptr, 0))) {
    WriteLogLine("GetRenderTargetData success", TagFunctions, LineLocked);
    const bool filtered = FilterLockedFrame(locked.pBits, locked.Pitch);
    IDirect3DSurface9_UnlockRect(copy);
    if (filtered && SUCCEEDED(IDirect3DDevice9_UpdateSurface(device, copy, nullptr, target, nullptr)))
      WriteLogLine("UpdateSurface success", TagFunctions, LineUpdateSurface);
  }
  IDirect3DSurface9_Release(copy);
  IDirect3DSurface9_Release(target);
}

HRESULT STDMETHODCALLTYPE PresentNew(IDirect3DDevice9* device, const RECT* pSourceRect, const RECT* pDestRect,
                                     HWND hDestWindowOverride, const RGNDATA* pDirtyRegion)
{
  WriteLogLine("Present", TagFunctions, LinePresent);
  WriteLogLabel("PresentOrg = ", reinterpret_cast<uintptr_t>(PresentOrg));
  WriteLogLabel("PresentNew = ", reinterpret_cast<uintptr_t>(&PresentNew));
  if (hPlugin)
    FilterFrame(device);
  const HRESULT hr = PresentOrg(device, pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion);
  if (SUCCEEDED(hr))
    WriteLogLine("PresentOrg success", TagFunctions, LinePresentOrgSuccess);
  else
    WriteLogLine("PresentOrg failed", TagFunctions, LinePresentOrgFailed);
  return hr;
}
