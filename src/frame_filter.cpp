#include "frame_filter.h"

#include <utility>

#include "log.h"

// All of it is guarded by FrameLock: the plugin in use (written by menu choices), the
// measured back buffer (written by device creation) and the activation built from both
// (used by every frame).
static SRWLOCK FrameLock = SRWLOCK_INIT;
static HMODULE Plugin = nullptr;
static SurfaceGeometryRecord Measured = {};
static Activation Current;

namespace {
class FrameLockHold {
 public:
  FrameLockHold() { AcquireSRWLockExclusive(&FrameLock); }
  ~FrameLockHold() { ReleaseSRWLockExclusive(&FrameLock); }
  FrameLockHold(const FrameLockHold&) = delete;
  FrameLockHold& operator=(const FrameLockHold&) = delete;
};
}  // namespace

HMODULE ActivePlugin()
{
  FrameLockHold hold;
  return Plugin;
}

// With the lock held: the activation of the plugin in use for the measured back buffer.
static void ActivateLocked()
{
  if (!Plugin)
    return;
  // The old activation's buffer is released only once the new one exists.
  Current = Activate(Plugin, Measured);
}

void SelectPlugin(HMODULE plugin)
{
  FrameLockHold hold;
  Plugin = plugin;
  ActivateLocked();
}

void InitPlugin()
{
  FrameLockHold hold;
  ActivateLocked();
}

SurfaceGeometryRecord MeasuredBackBuffer()
{
  FrameLockHold hold;
  return Measured;
}

void SetMeasuredBackBuffer(const SurfaceGeometryRecord& geometry)
{
  FrameLockHold hold;
  Measured = geometry;
}

ActivationSummary CurrentActivation()
{
  FrameLockHold hold;
  return {Current.module,   Current.output,         Current.scale,  Current.geometry,
          Current.staging.data(), Current.staging.size(), Current.request};
}

void FilterFrame(IDirect3DDevice9* device)
{
  FrameLockHold hold;
  if (!Plugin)
    return;
  WriteLogLine(LogPoints::PresentWithPlugin);
  IDirect3DSurface9* target = nullptr;
  if (FAILED(IDirect3DDevice9_GetRenderTarget(device, 0, &target)) || !target)
    return;
  WriteLogLine(LogPoints::FrameRenderTarget);

  // The activation was built for a back buffer of one size and format: a surface of
  // another (a device created or reset since, say) is never written with it.
  const D3DSURFACE_DESC& desc = Current.geometry.Desc;
  D3DSURFACE_DESC actual = {};
  if (FAILED(IDirect3DSurface9_GetDesc(target, &actual)) || actual.Width != desc.Width ||
      actual.Height != desc.Height || actual.Format != desc.Format) {
    IDirect3DSurface9_Release(target);
    return;
  }
  IDirect3DSurface9* copy = nullptr;
  if (FAILED(IDirect3DDevice9_CreateOffscreenPlainSurface(device, desc.Width, desc.Height, desc.Format,
                                                          D3DPOOL_SYSTEMMEM, &copy, nullptr)) ||
      !copy) {
    IDirect3DSurface9_Release(target);
    return;
  }
  // A failed read-back is not acted upon: the steps below run on what the copy holds.
  if (SUCCEEDED(IDirect3DDevice9_GetRenderTargetData(device, target, copy)))
    WriteLogLine(LogPoints::FrameReadBack);

  D3DLOCKED_RECT locked = {};
  if (SUCCEEDED(IDirect3DSurface9_LockRect(copy, &locked, nullptr, 0))) {
    WriteLogLine(LogPoints::FrameLocked);
    const bool filtered = FilterLockedFrame(Current, locked.pBits, locked.Pitch);
    IDirect3DSurface9_UnlockRect(copy);
    if (filtered && SUCCEEDED(IDirect3DDevice9_UpdateSurface(device, copy, nullptr, target, nullptr)))
      WriteLogLine(LogPoints::UpdateSurface);
  }
  IDirect3DSurface9_Release(copy);
  IDirect3DSurface9_Release(target);
}
