#include "frame_filter.h"

#include <utility>

#include "log.h"
#include "srw_lock.h"

// All of it is guarded by FrameLock: the plugin in use (written by menu choices), the
// back buffer measured at device creation or reset, and the activations built from them
// (used by every frame). A frame holds the lock from its back buffer to its upload, so a
// choice made on another thread waits for it and never releases a buffer in use.
static SRWLOCK FrameLock = SRWLOCK_INIT;
static HMODULE Plugin = nullptr;
static SurfaceGeometryRecord Measured = {};

// Activations of the plugin in use, most recently used first: the one for the measured
// back buffer, and one for each other back buffer geometry that frames came with (an
// additional swap chain of another size, say). Few: a program presents few sizes.
constexpr size_t MaxActivations = 4;
static Activation Activations[MaxActivations];

// Devices whose last Reset failed: their frames pass unfiltered until one succeeds.
constexpr size_t MaxResetFailures = 8;
static const void* ResetFailures[MaxResetFailures];

namespace {
// The reasons a frame goes out as the program rendered it. Each is logged once, and
// again only after a frame was filtered since: never a line per frame.
enum FrameFailure {
  NoBackBuffer,
  NotR5G6B5,
  NoResolveSurface,
  ResolveFailed,
  NoCopySurface,
  ReadBackFailed,
  LockFailed,
  NoActivation,
  UploadFailed,
  FrameFailureKinds
};
const char* const FrameFailureText[FrameFailureKinds] = {
    "back buffer not obtained",
    "back buffer not R5G6B5",
    "resolve surface not created",
    "multisampled back buffer not resolved",
    "read-back surface not created",
    "read-back failed",
    "read-back surface not locked",
    "no staging image for this back buffer",
    "upload failed",
};
}  // namespace

static bool FailureLogged[FrameFailureKinds];

// With the lock held.
static void NoteFailure(FrameFailure failure, HRESULT hr)
{
  if (FailureLogged[failure])
    return;
  FailureLogged[failure] = true;
  WriteLogLabel("Frame not filtered: ", FrameFailureText[failure], ", hr = ", static_cast<uint32_t>(hr));
}

static void NoteFiltered()
{
  for (bool& logged : FailureLogged)
    logged = false;
}

// With the lock held: the activation of the plugin in use for the measured back buffer,
// replacing every earlier one (their buffers are released once the new one exists).
static void ActivateLocked()
{
  if (!Plugin)
    return;
  Activation fresh = Activate(Plugin, Measured);
  for (Activation& a : Activations)
    a = Activation();
  Activations[0] = std::move(fresh);
}

static bool SameGeometry(const SurfaceGeometryRecord& a, const D3DSURFACE_DESC& desc, INT pitch)
{
  return a.Desc.Width == desc.Width && a.Desc.Height == desc.Height && a.Desc.Format == desc.Format &&
         a.Pitch == pitch;
}

// With the lock held: the activation for a frame of this geometry, built now if no
// earlier frame had it (and then kept first); null when there is no plugin.
static Activation* ActivationFor(const D3DSURFACE_DESC& desc, INT pitch)
{
  for (size_t i = 0; i < MaxActivations; ++i) {
    if (Activations[i].module == Plugin && SameGeometry(Activations[i].geometry, desc, pitch)) {
      if (i > 0)
        std::swap(Activations[0], Activations[i]);
      return &Activations[0];
    }
  }
  SurfaceGeometryRecord geometry = {};
  geometry.Desc = desc;
  geometry.Desc.MultiSampleType = D3DMULTISAMPLE_NONE;
  geometry.Desc.MultiSampleQuality = 0;
  geometry.Pitch = pitch;
  Activation fresh = Activate(Plugin, geometry);
  for (size_t i = MaxActivations - 1; i > 0; --i)
    Activations[i] = std::move(Activations[i - 1]);
  Activations[0] = std::move(fresh);
  return &Activations[0];
}

HMODULE ActivePlugin()
{
  ExclusiveHold hold(FrameLock);
  return Plugin;
}

void SelectPlugin(HMODULE plugin)
{
  ExclusiveHold hold(FrameLock);
  Plugin = plugin;
  ActivateLocked();
}

void InitPlugin()
{
  ExclusiveHold hold(FrameLock);
  ActivateLocked();
}

SurfaceGeometryRecord MeasuredBackBuffer()
{
  ExclusiveHold hold(FrameLock);
  return Measured;
}

void SetMeasuredBackBuffer(const SurfaceGeometryRecord& geometry)
{
  ExclusiveHold hold(FrameLock);
  Measured = geometry;
}

ActivationSummary CurrentActivation()
{
  ExclusiveHold hold(FrameLock);
  const Activation& a = Activations[0];
  return {a.module, a.output, a.scale, a.geometry, a.staging.data(), a.staging.size(), a.request};
}

void NoteResetResult(const void* device, bool succeeded)
{
  ExclusiveHold hold(FrameLock);
  for (const void*& marked : ResetFailures)
    if (marked == device)
      marked = nullptr;
  if (succeeded)
    return;
  for (const void*& marked : ResetFailures) {
    if (!marked) {
      marked = device;
      return;
    }
  }
  ResetFailures[0] = device;  // a full list: the oldest mark gives way
}

static bool ResetFailed(const void* device)
{
  for (const void* marked : ResetFailures)
    if (marked == device)
      return true;
  return false;
}

namespace {
// References taken during a frame, released when it ends, whatever step it ended at.
struct FrameSurfaces {
  IDirect3DSurface9* backBuffer = nullptr;
  IDirect3DSurface9* resolved = nullptr;  // multisampled back buffers only
  IDirect3DSurface9* upload = nullptr;    // multisampled back buffers only
  IDirect3DSurface9* copy = nullptr;
  ~FrameSurfaces()
  {
    for (IDirect3DSurface9* s : {copy, upload, resolved, backBuffer})
      if (s)
        IDirect3DSurface9_Release(s);
  }
};
}  // namespace

void FilterFrame(IDirect3DDevice9* device, IDirect3DSwapChain9* swapChain)
{
  ExclusiveHold hold(FrameLock);
  if (!Plugin || ResetFailed(device))
    return;
  WriteLogLine(LogPoints::PresentWithPlugin);

  // The frame is back buffer 0 of the swap chain presented, whatever render target the
  // program left bound; no other surface of the program's is ever written.
  FrameSurfaces s;
  HRESULT hr = swapChain ? IDirect3DSwapChain9_GetBackBuffer(swapChain, 0, D3DBACKBUFFER_TYPE_MONO, &s.backBuffer)
                         : IDirect3DDevice9_GetBackBuffer(device, 0, 0, D3DBACKBUFFER_TYPE_MONO, &s.backBuffer);
  if (FAILED(hr) || !s.backBuffer)
    return NoteFailure(NoBackBuffer, hr);
  WriteLogLine(LogPoints::FrameRenderTarget);

  D3DSURFACE_DESC desc = {};
  hr = IDirect3DSurface9_GetDesc(s.backBuffer, &desc);
  if (FAILED(hr) || desc.Format != D3DFMT_R5G6B5)
    return NoteFailure(NotR5G6B5, hr);

  // A multisampled back buffer cannot be read back: it is resolved into a plain render
  // target of the same size and format, and the filtered frame goes back the same way.
  IDirect3DSurface9* source = s.backBuffer;
  if (desc.MultiSampleType != D3DMULTISAMPLE_NONE) {
    hr = IDirect3DDevice9_CreateRenderTarget(device, desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0,
                                             FALSE, &s.resolved, nullptr);
    if (FAILED(hr) || !s.resolved)
      return NoteFailure(NoResolveSurface, hr);
    hr = IDirect3DDevice9_StretchRect(device, s.backBuffer, nullptr, s.resolved, nullptr, D3DTEXF_NONE);
    if (FAILED(hr))
      return NoteFailure(ResolveFailed, hr);
    source = s.resolved;
  }

  hr = IDirect3DDevice9_CreateOffscreenPlainSurface(device, desc.Width, desc.Height, desc.Format,
                                                    D3DPOOL_SYSTEMMEM, &s.copy, nullptr);
  if (FAILED(hr) || !s.copy)
    return NoteFailure(NoCopySurface, hr);
  hr = IDirect3DDevice9_GetRenderTargetData(device, source, s.copy);
  if (FAILED(hr))
    return NoteFailure(ReadBackFailed, hr);
  WriteLogLine(LogPoints::FrameReadBack);

  D3DLOCKED_RECT locked = {};
  hr = IDirect3DSurface9_LockRect(s.copy, &locked, nullptr, 0);
  if (FAILED(hr))
    return NoteFailure(LockFailed, hr);
  WriteLogLine(LogPoints::FrameLocked);
  Activation* activation = ActivationFor(desc, locked.Pitch);
  const bool filtered = activation && FilterLockedFrame(*activation, locked.pBits, locked.Pitch);
  IDirect3DSurface9_UnlockRect(s.copy);
  if (!filtered)
    return NoteFailure(NoActivation, D3D_OK);

  if (s.resolved) {
    // Back through a render target of its own: written back from the surface the
    // resolve filled, the frame does not reach the screen on Wine's Direct3D.
    hr = IDirect3DDevice9_CreateRenderTarget(device, desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0,
                                             FALSE, &s.upload, nullptr);
    if (SUCCEEDED(hr) && s.upload)
      hr = IDirect3DDevice9_UpdateSurface(device, s.copy, nullptr, s.upload, nullptr);
    if (SUCCEEDED(hr))
      hr = IDirect3DDevice9_StretchRect(device, s.upload, nullptr, s.backBuffer, nullptr, D3DTEXF_NONE);
  } else {
    hr = IDirect3DDevice9_UpdateSurface(device, s.copy, nullptr, source, nullptr);
  }
  if (FAILED(hr))
    return NoteFailure(UploadFailed, hr);
  WriteLogLine(LogPoints::UpdateSurface);
  NoteFiltered();
}
