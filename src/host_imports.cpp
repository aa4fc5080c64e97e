#include "host_imports.h"

#include <imagehlp.h>

#include <cstring>

#include "log.h"
#include "slots.h"
#include "window_size.h"

// Written once per slot by the walk below; read by the window-size replacements.
static GetClientRectFn GetClientRectOrg = nullptr;
static SetWindowPosFn SetWindowPosOrg = nullptr;

GetClientRectFn OriginalGetClientRect() { return GetClientRectOrg; }
SetWindowPosFn OriginalSetWindowPos() { return SetWindowPosOrg; }
void SetOriginalImports(GetClientRectFn getClientRect, SetWindowPosFn setWindowPos)
{
  GetClientRectOrg = getClientRect;
  SetWindowPosOrg = setWindowPos;
}

// Bytes made writable around each import slot, counted from the slot.
constexpr SIZE_T ImportSlotProtectSize = 64;
// Module names longer than this cannot be user32 and are skipped.
constexpr size_t ModuleNameBufferSize = 256;
static const char User32Name[] = "user32.dll";  // compared with its NUL: 11 bytes

// The image's size from its headers, or 0 when they do not look like a PE image.
static SIZE_T ImageSize(const BYTE* base)
{
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0)
    return 0;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE)
    return 0;
  return nt->OptionalHeader.SizeOfImage;
}

// Copies the module name at base + rva, lower-cased (A to Z only), into name. False
// when the name does not end inside the image or does not fit the buffer.
static bool CopyModuleName(const BYTE* base, SIZE_T imageSize, DWORD rva,
                           char (&name)[ModuleNameBufferSize])
{
  if (rva >= imageSize)
    return false;
  const SIZE_T available = imageSize - rva;
  for (size_t i = 0; i < ModuleNameBufferSize && i < available; ++i) {
    char c = static_cast<char>(base[rva + i]);
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    name[i] = c;
    if (c == '\0')
      return true;
  }
  return false;
}

// Replaces one import slot, logging when its memory cannot be made writable.
template <typename F>
static void ReplaceImportSlot(F* slot, F replacement, F& saved)
{
  const SlotChange change = ReplaceSlot(slot, replacement, saved, slot, ImportSlotProtectSize);
  if (!change.alreadyReplaced && !change.madeWritable)
    WriteLogLabel("Import slot not writable: ", reinterpret_cast<uintptr_t>(slot));
}

void HookImportsOf(HMODULE image)
{
  const BYTE* base = reinterpret_cast<const BYTE*>(image);
  const SIZE_T imageSize = base ? ImageSize(base) : 0;
  if (!imageSize)
    return;
  ULONG directorySize = 0;
  auto* descriptor = static_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
      ImageDirectoryEntryToData(image, TRUE, IMAGE_DIRECTORY_ENTRY_IMPORT, &directorySize));
  if (!descriptor)
    return;

  // The first descriptor named "user32.dll", in any capitalisation.
  auto inImage = [&](const void* p, SIZE_T size) {
    const BYTE* b = static_cast<const BYTE*>(p);
    return b >= base && size <= imageSize && SIZE_T(b - base) <= imageSize - size;
  };
  for (;; ++descriptor) {
    if (!inImage(descriptor, sizeof *descriptor) || descriptor->Name == 0)
      return;
    char name[ModuleNameBufferSize];
    if (CopyModuleName(base, imageSize, descriptor->Name, name) &&
        std::memcmp(name, User32Name, sizeof User32Name) == 0)
      break;
  }
  WriteLogLine(LogPoints::User32Found);

  HMODULE user32 = GetModuleHandleA("user32.dll");
  auto getClientRect = reinterpret_cast<GetClientRectFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetClientRect")));
  auto setWindowPos = reinterpret_cast<SetWindowPosFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "SetWindowPos")));
  if (!getClientRect) {
    WriteLogLine(LogPoints::GetClientRectNotFound);
    return;
  }
  WriteLogLine(LogPoints::GetClientRectFound);

  // Slots are recognised by the address the loader bound into them.
  const BYTE* thunks = base + descriptor->FirstThunk;
  for (auto* slot = reinterpret_cast<ULONG_PTR*>(const_cast<BYTE*>(thunks));
       inImage(slot, sizeof *slot) && *slot != 0; ++slot) {
    if (*slot == reinterpret_cast<ULONG_PTR>(getClientRect)) {
      WriteLogLine(LogPoints::GetClientRectHook);
      ReplaceImportSlot(reinterpret_cast<GetClientRectFn*>(slot), &GetClientRectNew, GetClientRectOrg);
    }
    if (setWindowPos && *slot == reinterpret_cast<ULONG_PTR>(setWindowPos)) {
      WriteLogLine(LogPoints::SetWindowPosHook);
      ReplaceImportSlot(reinterpret_cast<SetWindowPosFn*>(slot), &SetWindowPosNew, SetWindowPosOrg);
    }
  }
}

void HookHostImports()
{
  HookImportsOf(GetModuleHandleA(nullptr));
}
