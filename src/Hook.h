// Interface slot patching: one entry of a method table (or of an import table)
// replaced by ours, the previous entry saved for the replacement to forward to.
#pragma once

#include <windows.h>
#include <d3d9.h>

// What happened to a slot.
struct SlotChange {
  bool alreadyReplaced;  // the slot held the replacement already: nothing was done
  bool madeWritable;     // the protection change succeeded (only then is the slot written)
  bool restored;         // the previous protection was put back
};

// The one routine that writes a slot: protection of [protectStart, +protectSize) made
// read-write, the slot's entry saved into `saved`, the replacement stored with one
// aligned pointer-sized write, the previous protection restored. A slot that already
// holds the replacement is left alone, so a replacement is never saved as the entry it
// forwards to; a slot whose memory cannot be made writable is not written.
template <typename F>
SlotChange ReplaceSlot(F* slot, F replacement, F& saved, void* protectStart, SIZE_T protectSize)
{
  SlotChange change = {};
  if (*slot == replacement) {
    change.alreadyReplaced = true;
    return change;
  }
  DWORD previous = 0;
  change.madeWritable = VirtualProtect(protectStart, protectSize, PAGE_READWRITE, &previous) != FALSE;
  if (!change.madeWritable)
    return change;
  saved = *slot;
  *const_cast<F volatile*>(slot) = replacement;
  DWORD ignored = 0;
  change.restored = VirtualProtect(protectStart, protectSize, previous, &ignored) != FALSE;
  return change;
}

// The system's methods whose entries we replace, saved for the replacements to call.
typedef decltype(IDirect3D9Vtbl::CreateDevice) CreateDeviceFn;
typedef decltype(IDirect3DDevice9Vtbl::Present) PresentFn;
extern CreateDeviceFn CreateDeviceOrg;
extern PresentFn PresentOrg;

// Points the CreateDevice entry of the object's method table at CreateDeviceNew.
void HookCreateDevice(IDirect3D9* d3d);
// Points the Present entry of the device's method table at PresentNew.
void HookPresent(IDirect3DDevice9* device);
