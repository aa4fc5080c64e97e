// Interface slot patching: the CreateDevice entry of IDirect3D9 and the Present entry of
// IDirect3DDevice9, replaced in the method table that the system's objects share.
#include "Hook.h"

#include <cstddef>
#include <type_traits>

#include "functions.h"
#include "log.h"

CreateDeviceFn CreateDeviceOrg = nullptr;
PresentFn PresentOrg = nullptr;

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
static_assert(sizeof(void*) == 8 || (CreateDeviceTableEntries * sizeof(void*) == 72 &&
                                     PresentTableEntries * sizeof(void*) == 80),
              "the 32-bit protection ranges");

constexpr int LineHookCreateDevice = 22;
constexpr int LineHookPresent = 89;
constexpr int LineWritableSuccess = 107;
constexpr int LineWritableFailed = 111;
constexpr int LineRestoreSuccess = 123;
constexpr int LineRestoreFailed = 127;

void HookCreateDevice(IDirect3D9* d3d)
{
  WriteLogLine("HookCreateDevice", TagHook, LineHookCreateDevice);
  IDirect3D9Vtbl* table = d3d->lpVtbl;
  const SlotChange change = ReplaceSlot(&table->CreateDevice, &CreateDeviceNew, CreateDeviceOrg, table,
                                        CreateDeviceTableEntries * sizeof(void*));
  if (change.alreadyReplaced)
    return;
  if (!change.madeWritable) {
    WriteLogLabel("CreateDevice entry not writable: ", reinterpret_cast<uintptr_t>(table));
    return;
  }
  WriteLogLabel("CreateDeviceOrg = ", reinterpret_cast<uintptr_t>(CreateDeviceOrg));
  WriteLogLabel("CreateDeviceNew = ", reinterpret_cast<uintptr_t>(&CreateDeviceNew));
}

void HookPresent(IDirect3DDevice9* device)
{
  WriteLogLine("HookPresent", TagHook, LineHookPresent);
  IDirect3DDevice9Vtbl* table = device->lpVtbl;
  const SlotChange change =
      ReplaceSlot(&table->Present, &PresentNew, PresentOrg, table, PresentTableEntries * sizeof(void*));
  if (change.alreadyReplaced)
    return;
  if (!change.madeWritable) {
    WriteLogLine("VirtualProtect PAGE_READWRITE failed", TagHook, LineWritableFailed);
    return;  // a table that stays read-only is not written
  }
  WriteLogLine("VirtualProtect PAGE_READWRITE success", TagHook, LineWritableSuccess);
  if (change.restored)
    WriteLogLine("VirtualProtect oldProtect success", TagHook, LineRestoreSuccess);
  else
    WriteLogLine("VirtualProtect oldProtect failed", TagHook, LineRestoreFailed);
  WriteLogLabel("PresentOrg = ", reinterpret_cast<uintptr_t>(PresentOrg));
  WriteLogLabel("PresentNew = ", reinterpret_cast<uintptr_t>(&PresentNew));
}

// The replacements take the places of the platform's methods: exactly their types.
static_assert(std::is_same<decltype(&CreateDeviceNew), decltype(IDirect3D9Vtbl::CreateDevice)>::value,
              "CreateDeviceNew has the type of IDirect3D9::CreateDevice");
static_assert(std::is_same<decltype(&PresentNew), decltype(IDirect3DDevice9Vtbl::Present)>::value,
              "PresentNew has the type of IDirect3DDevice9::Present");
