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

HRESULT STDMETHODCALLTYPE CreateDeviceNew(IDirect3D9* self, UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                                          DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                                          IDirect3DDevice9** ppReturnedDeviceInterface)
{
  WriteLogLine(LogPoints::CreateDevice);
  const CreateDeviceFn CreateDeviceOrg = OriginalCreateDevice(self);
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
  if (!CreateDeviceOrg)
    return D3DERR_INVALIDCALL;  // not a table of ours: nothing to forward to
  const HRESULT hr = CreateDeviceOrg(self, Adapter, DeviceType, hFocusWindow, BehaviorFlags,
                                     pPresentationParameters, ppReturnedDeviceInterface ? &device : nullptr);

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
    if (window && MenuPending.exchange(false))
      CreatePluginsMenu(window);
    if (MeasureRenderTarget(device))
      InitPlugin();
    HookPresent(device);
    HookResetAndSwapChains(device);
  }
  if (ppReturnedDeviceInterface)
    *ppReturnedDeviceInterface = device;
  return hr;
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

HRESULT STDMETHODCALLTYPE ResetNew(IDirect3DDevice9* device, D3DPRESENT_PARAMETERS* pPresentationParameters)
{
  WriteLogLine(LogPoints::Reset);
  const ResetFn ResetOrg = OriginalReset(device);
  if (!ResetOrg)
    return D3DERR_INVALIDCALL;  // not a table of ours: nothing to forward to
  // 16-bit pixels for the plugin, whatever the program asks for (D3DFMT_UNKNOWN too).
  if (pPresentationParameters)
    pPresentationParameters->BackBufferFormat = D3DFMT_R5G6B5;
  const HRESULT hr = ResetOrg(device, pPresentationParameters);
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
