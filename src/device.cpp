#include "device.h"

#include <atomic>
#include <cstddef>
#include <type_traits>

#include "frame_filter.h"
#include "host_imports.h"
#include "log.h"
#include "plugin_menu.h"
#include "slots.h"
#include "startup.h"
#include "window_size.h"

// ---------------------------------------------------------------------------------
// Method-table patching

// Slots in the platform's published method order, counted in entries; the protection
// change covers the table from its start to a little past the slot.
constexpr size_t CreateDeviceSlot = 16;
constexpr size_t CreateDeviceTableEntries = 18;  // entries 0 to 17: 72 bytes in the 32-bit product
constexpr size_t PresentSlot = 17;
constexpr size_t PresentTableEntries = 20;       // entries 0 to 19: 80 bytes in the 32-bit product
static_assert(offsetof(IDirect3D9Vtbl, CreateDevice) == CreateDeviceSlot * sizeof(void*),
              "CreateDevice is entry 16 of IDirect3D9");
static_assert(offsetof(IDirect3DDevice9Vtbl, Present) == PresentSlot * sizeof(void*),
              "Present is entry 17 of IDirect3DDevice9");
constexpr size_t ResetSlot = 16;
constexpr size_t SwapChainPresentSlot = 3;
constexpr size_t SwapChainTableEntries = 10;  // the whole IDirect3DSwapChain9 table
static_assert(offsetof(IDirect3DDevice9Vtbl, Reset) == ResetSlot * sizeof(void*), "Reset is entry 16 of IDirect3DDevice9");
static_assert(offsetof(IDirect3DSwapChain9Vtbl, Present) == SwapChainPresentSlot * sizeof(void*),
              "Present is entry 3 of IDirect3DSwapChain9");
static_assert(sizeof(IDirect3DSwapChain9Vtbl) == SwapChainTableEntries * sizeof(void*),
              "IDirect3DSwapChain9 has ten methods");
static_assert(sizeof(void*) == 8 || (CreateDeviceTableEntries * sizeof(void*) == 72 &&
                                     PresentTableEntries * sizeof(void*) == 80),
              "the 32-bit protection ranges");

// The entries our replacements took the places of, per method table.
static OriginalEntries Originals;

static void* const* TableOf(const void* object) { return *static_cast<void* const* const*>(object); }

CreateDeviceFn OriginalCreateDevice(IDirect3D9* d3d)
{
  return reinterpret_cast<CreateDeviceFn>(Originals.Find(TableOf(d3d), CreateDeviceSlot));
}

PresentFn OriginalPresent(IDirect3DDevice9* device)
{
  return reinterpret_cast<PresentFn>(Originals.Find(TableOf(device), PresentSlot));
}

ResetFn OriginalReset(IDirect3DDevice9* device)
{
  return reinterpret_cast<ResetFn>(Originals.Find(TableOf(device), ResetSlot));
}

SwapChainPresentFn OriginalSwapChainPresent(IDirect3DSwapChain9* swapChain)
{
  return reinterpret_cast<SwapChainPresentFn>(Originals.Find(TableOf(swapChain), SwapChainPresentSlot));
}

void ForgetReplacedTables() { Originals.Clear(); }

void HookCreateDevice(IDirect3D9* d3d)
{
  WriteLogLine(LogPoints::HookCreateDevice);
  void** table = reinterpret_cast<void**>(d3d->lpVtbl);
  const SlotChange change = Originals.Replace(table, CreateDeviceSlot, reinterpret_cast<void*>(&CreateDeviceNew),
                                              CreateDeviceTableEntries);
  if (change.alreadyReplaced)
    return;
  if (!change.madeWritable) {
    WriteLogLabel("CreateDevice entry not writable: ", reinterpret_cast<uintptr_t>(table));
    return;
  }
  WriteLogLabel("CreateDeviceOrg = ", reinterpret_cast<uintptr_t>(OriginalCreateDevice(d3d)));
  WriteLogLabel("CreateDeviceNew = ", reinterpret_cast<uintptr_t>(&CreateDeviceNew));
}

void HookPresent(IDirect3DDevice9* device)
{
  WriteLogLine(LogPoints::HookPresent);
  void** table = reinterpret_cast<void**>(device->lpVtbl);
  const SlotChange change =
      Originals.Replace(table, PresentSlot, reinterpret_cast<void*>(&PresentNew), PresentTableEntries);
  if (change.alreadyReplaced)
    return;
  if (!change.madeWritable) {
    WriteLogLine(LogPoints::WritableFailed);
    return;  // a table that stays read-only is not written
  }
  WriteLogLine(LogPoints::WritableSuccess);
  WriteLogLine(change.restored ? LogPoints::RestoreSuccess : LogPoints::RestoreFailed);
  WriteLogLabel("PresentOrg = ", reinterpret_cast<uintptr_t>(OriginalPresent(device)));
  WriteLogLabel("PresentNew = ", reinterpret_cast<uintptr_t>(&PresentNew));
}

void HookResetAndSwapChains(IDirect3DDevice9* device)
{
  void** table = reinterpret_cast<void**>(device->lpVtbl);
  SlotChange change = Originals.Replace(table, ResetSlot, reinterpret_cast<void*>(&ResetNew), PresentTableEntries);
  if (!change.alreadyReplaced && !change.madeWritable)
    WriteLogLabel("Reset entry not writable: ", reinterpret_cast<uintptr_t>(table));

  // The swap chains of one implementation share a table: its first swap chain shows it.
  IDirect3DSwapChain9* swapChain = nullptr;
  if (FAILED(IDirect3DDevice9_GetSwapChain(device, 0, &swapChain)) || !swapChain)
    return;
  void** chainTable = reinterpret_cast<void**>(swapChain->lpVtbl);
  change = Originals.Replace(chainTable, SwapChainPresentSlot, reinterpret_cast<void*>(&SwapChainPresentNew),
                             SwapChainTableEntries);
  if (!change.alreadyReplaced && !change.madeWritable)
    WriteLogLabel("Swap chain Present entry not writable: ", reinterpret_cast<uintptr_t>(chainTable));
  IDirect3DSwapChain9_Release(swapChain);
}

// The replacements take the places of the platform's methods: exactly their types.
static_assert(std::is_same<decltype(&CreateDeviceNew), decltype(IDirect3D9Vtbl::CreateDevice)>::value,
              "CreateDeviceNew has the type of IDirect3D9::CreateDevice");
static_assert(std::is_same<decltype(&PresentNew), decltype(IDirect3DDevice9Vtbl::Present)>::value,
              "PresentNew has the type of IDirect3DDevice9::Present");
static_assert(std::is_same<decltype(&ResetNew), decltype(IDirect3DDevice9Vtbl::Reset)>::value,
              "ResetNew has the type of IDirect3DDevice9::Reset");
static_assert(std::is_same<decltype(&SwapChainPresentNew), decltype(IDirect3DSwapChain9Vtbl::Present)>::value,
              "SwapChainPresentNew has the type of IDirect3DSwapChain9::Present");

// ---------------------------------------------------------------------------------
// Device creation

// Once per process; devices may be created on any thread.
static std::atomic<bool> PlacementPending{true};
static std::atomic<bool> MenuPending{true};

bool PlacementRestorePending() { return PlacementPending; }
bool MenuBuildPending() { return MenuPending; }
void SetOncePerProcessSteps(bool placementRestorePending, bool menuBuildPending)
{
  PlacementPending = placementRestorePending;
  MenuPending = menuBuildPending;
}

// Enlarges the window by the window-resize additions (zero unless that mode is on). The
// library's own SetWindowPos goes straight to the platform. It neither activates the
// window nor changes its place in the z-order: the program's focus and its other
// windows stay as they were. With nothing to add there is no call at all.
constexpr UINT GrowFlags = SWP_NOACTIVATE | SWP_NOZORDER;
static void ReapplyWindowRect(HWND window)
{
  const WindowResizeValues& resize = WindowResize();
  if (resize.addWidth == 0 && resize.addHeight == 0)
    return;
  RECT rect = {};
  GetWindowRect(window, &rect);
  SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left + resize.addWidth,
               rect.bottom - rect.top + resize.addHeight, GrowFlags);
}

// Measures the device's render target as the back buffer's geometry. False when the
// render target cannot be fetched.
static bool MeasureRenderTarget(IDirect3DDevice9* device)
{
  IDirect3DSurface9* target = nullptr;
  if (FAILED(IDirect3DDevice9_GetRenderTarget(device, 0, &target)) || !target)
    return false;
  D3DSURFACE_DESC desc = {};
  IDirect3DSurface9_GetDesc(target, &desc);
  IDirect3DSurface9_Release(target);
  SurfaceGeometryRecord geometry = MeasuredBackBuffer();
  geometry.Desc = desc;
  WriteLogLine(LogPoints::RenderTargetMeasured);
  WriteLogLabel("Width = ", static_cast<uint32_t>(desc.Width));
  WriteLogLabel("Height = ", static_cast<uint32_t>(desc.Height));
  WriteLogLabel("Format = ", static_cast<int32_t>(desc.Format));

  // The row pitch of a locked system-memory surface of this size and format: the pitch
  // the plugin will write with. Kept as it was when no such surface can be locked.
  IDirect3DSurface9* surface = nullptr;
  if (SUCCEEDED(IDirect3DDevice9_CreateOffscreenPlainSurface(device, desc.Width, desc.Height, desc.Format,
                                                             D3DPOOL_SYSTEMMEM, &surface, nullptr)) &&
      surface) {
    WriteLogLine(LogPoints::OffscreenMeasured);
    D3DLOCKED_RECT locked = {};
    if (SUCCEEDED(IDirect3DSurface9_LockRect(surface, &locked, nullptr, 0))) {
      geometry.Pitch = locked.Pitch;
      IDirect3DSurface9_UnlockRect(surface);
    }
    IDirect3DSurface9_Release(surface);
  }
  SetMeasuredBackBuffer(geometry);
  return true;
}

// The steps of device creation around the platform's call, shared by CreateDevice and
// CreateDeviceEx: `forward` makes the platform's call (null: not a table of ours) and
// receives where to put the device (null when the host passed none).
template <typename Forward>
static HRESULT CreateDeviceSteps(HWND hFocusWindow, D3DPRESENT_PARAMETERS* pPresentationParameters,
                                 IDirect3DDevice9** ppReturnedDeviceInterface, bool forwardable, Forward forward)
{
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
  if (!forwardable)
    return D3DERR_INVALIDCALL;  // not a table of ours: nothing to forward to
  const HRESULT hr = forward(ppReturnedDeviceInterface ? &device : nullptr);

  if (window && PlacementPending.exchange(false) && OriginalSetWindowPos())
    LoadWindowPlacement(window);

  if (FAILED(hr)) {
    WriteLogLine(LogPoints::CreateDeviceFailed);
    if (ppReturnedDeviceInterface)
      *ppReturnedDeviceInterface = device;
    return hr;
  }
  WriteLogLine(LogPoints::CreateDeviceSuccess);

  if (device) {
    // The first window gets the menu and the configured plugin; every later window its
    // own popup and subclass (a window that has them already is left alone).
    if (window) {
      if (MenuPending.exchange(false))
        CreatePluginsMenu(window);
      else
        AddPluginsMenu(window);
    }
    if (MeasureRenderTarget(device))
      InitPlugin();
    HookPresent(device);
    HookResetAndSwapChains(device);
    HookDeviceEx(device);
  }
  if (ppReturnedDeviceInterface)
    *ppReturnedDeviceInterface = device;
  return hr;
}

HRESULT STDMETHODCALLTYPE CreateDeviceNew(IDirect3D9* self, UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                                          DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                                          IDirect3DDevice9** ppReturnedDeviceInterface)
{
  WriteLogLine(LogPoints::CreateDevice);
  const CreateDeviceFn CreateDeviceOrg = OriginalCreateDevice(self);
  WriteLogLabel("CreateDeviceOrg = ", reinterpret_cast<uintptr_t>(CreateDeviceOrg));
  WriteLogLabel("CreateDeviceNew = ", reinterpret_cast<uintptr_t>(&CreateDeviceNew));
  return CreateDeviceSteps(hFocusWindow, pPresentationParameters, ppReturnedDeviceInterface, CreateDeviceOrg != nullptr,
                           [&](IDirect3DDevice9** device) {
                             return CreateDeviceOrg(self, Adapter, DeviceType, hFocusWindow, BehaviorFlags,
                                                    pPresentationParameters, device);
                           });
}

// ---------------------------------------------------------------------------------
// Presentation

// Presentations under way on this thread: a platform whose device Present goes through
// its swap chain's (or the other way round) has its frame filtered once, by the outer one.
static thread_local int PresentDepth = 0;

namespace {
struct PresentScope {
  PresentScope() { ++PresentDepth; }
  ~PresentScope() { --PresentDepth; }
  bool Outermost() const { return PresentDepth == 1; }
};
}  // namespace

HRESULT STDMETHODCALLTYPE PresentNew(IDirect3DDevice9* device, const RECT* pSourceRect, const RECT* pDestRect,
                                     HWND hDestWindowOverride, const RGNDATA* pDirtyRegion)
{
  WriteLogLine(LogPoints::Present);
  const PresentFn PresentOrg = OriginalPresent(device);
  WriteLogLabel("PresentOrg = ", reinterpret_cast<uintptr_t>(PresentOrg));
  WriteLogLabel("PresentNew = ", reinterpret_cast<uintptr_t>(&PresentNew));
  if (!PresentOrg)
    return D3DERR_INVALIDCALL;  // not a table of ours: nothing to forward to
  const PresentScope scope;
  if (scope.Outermost())
    FilterFrame(device);
  const HRESULT hr = PresentOrg(device, pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion);
  if (SUCCEEDED(hr))
    WriteLogLine(LogPoints::PresentOrgSuccess);
  else
    WriteLogLine(LogPoints::PresentOrgFailed);
  return hr;
}

HRESULT STDMETHODCALLTYPE SwapChainPresentNew(IDirect3DSwapChain9* swapChain, const RECT* pSourceRect,
                                              const RECT* pDestRect, HWND hDestWindowOverride,
                                              const RGNDATA* pDirtyRegion, DWORD dwFlags)
{
  const SwapChainPresentFn SwapChainPresentOrg = OriginalSwapChainPresent(swapChain);
  if (!SwapChainPresentOrg)
    return D3DERR_INVALIDCALL;  // not a table of ours: nothing to forward to
  const PresentScope scope;
  IDirect3DDevice9* device = nullptr;
  if (scope.Outermost() && SUCCEEDED(IDirect3DSwapChain9_GetDevice(swapChain, &device)) && device) {
    FilterFrame(device, swapChain);
    IDirect3DDevice9_Release(device);
  }
  return SwapChainPresentOrg(swapChain, pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion, dwFlags);
}

// ---------------------------------------------------------------------------------
// Reset

// The steps of a reset around the platform's call, shared by Reset and ResetEx:
// `forward` makes the platform's call (null: not a table of ours).
template <typename Forward>
static HRESULT ResetSteps(IDirect3DDevice9* device, D3DPRESENT_PARAMETERS* pPresentationParameters, bool forwardable,
                          Forward forward)
{
  WriteLogLine(LogPoints::Reset);
  if (!forwardable)
    return D3DERR_INVALIDCALL;  // not a table of ours: nothing to forward to
  // 16-bit pixels for the plugin, whatever the program asks for (D3DFMT_UNKNOWN too).
  if (pPresentationParameters)
    pPresentationParameters->BackBufferFormat = D3DFMT_R5G6B5;
  const HRESULT hr = forward();
  if (FAILED(hr)) {
    // Nothing of ours changes; frames pass unfiltered until a reset succeeds.
    WriteLogLine(LogPoints::ResetFailed);
    NoteResetResult(device, false);
    return hr;
  }
  WriteLogLine(LogPoints::ResetSuccess);
  NoteResetResult(device, true);
  if (MeasureRenderTarget(device))
    InitPlugin();
  return hr;
}

HRESULT STDMETHODCALLTYPE ResetNew(IDirect3DDevice9* device, D3DPRESENT_PARAMETERS* pPresentationParameters)
{
  const ResetFn ResetOrg = OriginalReset(device);
  return ResetSteps(device, pPresentationParameters, ResetOrg != nullptr,
                    [&] { return ResetOrg(device, pPresentationParameters); });
}

// ---------------------------------------------------------------------------------
// The Ex path: IDirect3D9Ex::CreateDeviceEx, IDirect3DDevice9Ex::PresentEx and ResetEx.
// IDirect3D9Ex::CreateDevice is entry 16 as in IDirect3D9: HookCreateDevice patches
// the Ex object's own table (or finds it patched, when the platform shares one table).

constexpr size_t CreateDeviceExSlot = offsetof(IDirect3D9ExVtbl, CreateDeviceEx) / sizeof(void*);
constexpr size_t Direct3DExTableEntries = sizeof(IDirect3D9ExVtbl) / sizeof(void*);
constexpr size_t PresentExSlot = offsetof(IDirect3DDevice9ExVtbl, PresentEx) / sizeof(void*);
constexpr size_t ResetExSlot = offsetof(IDirect3DDevice9ExVtbl, ResetEx) / sizeof(void*);
constexpr size_t DeviceExTableEntries = sizeof(IDirect3DDevice9ExVtbl) / sizeof(void*);
static_assert(CreateDeviceExSlot == 20 && Direct3DExTableEntries == 22, "CreateDeviceEx is entry 20 of 22");
static_assert(offsetof(IDirect3D9ExVtbl, CreateDevice) == CreateDeviceSlot * sizeof(void*),
              "IDirect3D9Ex::CreateDevice is entry 16, as in IDirect3D9");
static_assert(PresentExSlot == 121 && ResetExSlot == 132 && DeviceExTableEntries == 134,
              "PresentEx and ResetEx are entries 121 and 132 of 134");

typedef decltype(IDirect3D9ExVtbl::CreateDeviceEx) CreateDeviceExFn;
typedef decltype(IDirect3DDevice9ExVtbl::PresentEx) PresentExFn;
typedef decltype(IDirect3DDevice9ExVtbl::ResetEx) ResetExFn;

static_assert(std::is_same<decltype(&CreateDeviceExNew), CreateDeviceExFn>::value,
              "CreateDeviceExNew has the type of IDirect3D9Ex::CreateDeviceEx");
static_assert(std::is_same<decltype(&PresentExNew), PresentExFn>::value,
              "PresentExNew has the type of IDirect3DDevice9Ex::PresentEx");
static_assert(std::is_same<decltype(&ResetExNew), ResetExFn>::value,
              "ResetExNew has the type of IDirect3DDevice9Ex::ResetEx");

void HookCreateDeviceEx(IDirect3D9Ex* d3d)
{
  HookCreateDevice(reinterpret_cast<IDirect3D9*>(d3d));
  void** table = reinterpret_cast<void**>(d3d->lpVtbl);
  const SlotChange change = Originals.Replace(table, CreateDeviceExSlot, reinterpret_cast<void*>(&CreateDeviceExNew),
                                              Direct3DExTableEntries);
  if (!change.alreadyReplaced && !change.madeWritable)
    WriteLogLabel("CreateDeviceEx entry not writable: ", reinterpret_cast<uintptr_t>(table));
}

void HookDeviceEx(IDirect3DDevice9* device)
{
  // Only an Ex device has the Ex entries; an object without QueryInterface has none.
  if (!device->lpVtbl->QueryInterface)
    return;
  IDirect3DDevice9Ex* deviceEx = nullptr;
  if (FAILED(IDirect3DDevice9_QueryInterface(device, IID_IDirect3DDevice9Ex, reinterpret_cast<void**>(&deviceEx))) ||
      !deviceEx)
    return;
  void** table = reinterpret_cast<void**>(deviceEx->lpVtbl);
  SlotChange change =
      Originals.Replace(table, PresentExSlot, reinterpret_cast<void*>(&PresentExNew), DeviceExTableEntries);
  if (!change.alreadyReplaced && !change.madeWritable)
    WriteLogLabel("PresentEx entry not writable: ", reinterpret_cast<uintptr_t>(table));
  change = Originals.Replace(table, ResetExSlot, reinterpret_cast<void*>(&ResetExNew), DeviceExTableEntries);
  if (!change.alreadyReplaced && !change.madeWritable)
    WriteLogLabel("ResetEx entry not writable: ", reinterpret_cast<uintptr_t>(table));
  IDirect3DDevice9Ex_Release(deviceEx);
}

// A full-screen Ex device's display mode takes the back buffer's format.
static void ForceDisplayModeFormat(const D3DPRESENT_PARAMETERS* parameters, D3DDISPLAYMODEEX* mode)
{
  if (parameters && !parameters->Windowed && mode)
    mode->Format = D3DFMT_R5G6B5;
}

HRESULT STDMETHODCALLTYPE CreateDeviceExNew(IDirect3D9Ex* self, UINT Adapter, D3DDEVTYPE DeviceType,
                                            HWND hFocusWindow, DWORD BehaviorFlags,
                                            D3DPRESENT_PARAMETERS* pPresentationParameters,
                                            D3DDISPLAYMODEEX* pFullscreenDisplayMode,
                                            IDirect3DDevice9Ex** ppReturnedDeviceInterface)
{
  WriteLogLine(LogPoints::CreateDeviceEx);
  const auto CreateDeviceExOrg =
      reinterpret_cast<CreateDeviceExFn>(Originals.Find(TableOf(self), CreateDeviceExSlot));
  ForceDisplayModeFormat(pPresentationParameters, pFullscreenDisplayMode);
  return CreateDeviceSteps(hFocusWindow, pPresentationParameters,
                           reinterpret_cast<IDirect3DDevice9**>(ppReturnedDeviceInterface),
                           CreateDeviceExOrg != nullptr, [&](IDirect3DDevice9** device) {
                             return CreateDeviceExOrg(self, Adapter, DeviceType, hFocusWindow, BehaviorFlags,
                                                      pPresentationParameters, pFullscreenDisplayMode,
                                                      reinterpret_cast<IDirect3DDevice9Ex**>(device));
                           });
}

HRESULT STDMETHODCALLTYPE PresentExNew(IDirect3DDevice9Ex* device, const RECT* pSourceRect, const RECT* pDestRect,
                                       HWND hDestWindowOverride, const RGNDATA* pDirtyRegion, DWORD dwFlags)
{
  const auto PresentExOrg = reinterpret_cast<PresentExFn>(Originals.Find(TableOf(device), PresentExSlot));
  if (!PresentExOrg)
    return D3DERR_INVALIDCALL;  // not a table of ours: nothing to forward to
  // A PresentEx with D3DPRESENT_DONOTWAIT that found the device still drawing presented
  // nothing: the back buffer already holds the filtered frame, which the program's next
  // try presents. It is not filtered a second time.
  static thread_local const void* StillDrawing = nullptr;
  const bool retry = StillDrawing == device;
  StillDrawing = nullptr;
  const PresentScope scope;
  if (scope.Outermost() && !retry)
    FilterFrame(reinterpret_cast<IDirect3DDevice9*>(device));
  const HRESULT hr = PresentExOrg(device, pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion, dwFlags);
  if (hr == D3DERR_WASSTILLDRAWING)
    StillDrawing = device;
  return hr;
}

HRESULT STDMETHODCALLTYPE ResetExNew(IDirect3DDevice9Ex* device, D3DPRESENT_PARAMETERS* pPresentationParameters,
                                     D3DDISPLAYMODEEX* pFullscreenDisplayMode)
{
  const auto ResetExOrg = reinterpret_cast<ResetExFn>(Originals.Find(TableOf(device), ResetExSlot));
  ForceDisplayModeFormat(pPresentationParameters, pFullscreenDisplayMode);
  return ResetSteps(reinterpret_cast<IDirect3DDevice9*>(device), pPresentationParameters, ResetExOrg != nullptr,
                    [&] { return ResetExOrg(device, pPresentationParameters, pFullscreenDisplayMode); });
}
