// Process attach, the settings file and the host import patching.
#include "d3d9.h"

#include <mmsystem.h>
#include <process.h>
#include <imagehlp.h>

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "Hook.h"
#include "functions.h"
#include "log.h"

HMODULE hModule = nullptr;
int32_t WindowResizeAddWidth = 0;
int32_t WindowResizeAddHeight = 0;
int32_t WindowAddHeight = 0;
BOOL(WINAPI* GetClientRectOrg)(HWND, LPRECT) = nullptr;
BOOL(WINAPI* SetWindowPosOrg)(HWND, HWND, int, int, int, int, UINT) = nullptr;

static const char SettingsFile[] = "filters.ini";
static const char SettingsSection[] = "options";

// Log lines of start-up.
constexpr int LineLogOn = 43;
constexpr int LineAddWidth = 59;
constexpr int LineAddHeight = 60;

bool SettingsPath(char (&path)[SettingsPathSize])
{
  const DWORD length = GetFullPathNameA(SettingsFile, SettingsPathSize, path, nullptr);
  if (length == 0 || length >= SettingsPathSize) {
    path[0] = '\0';
    return false;
  }
  return true;
}

int32_t ReadSettingInt(const char* path, const char* key, int32_t fallback)
{
  if (!path[0])
    return fallback;
  return static_cast<int32_t>(GetPrivateProfileIntA(SettingsSection, key, fallback, path));
}

void ReadSettingText(const char* path, const char* key, const char* fallback, char* out, DWORD size)
{
  if (!path[0]) {
    lstrcpynA(out, fallback, static_cast<int>(size));
    return;
  }
  GetPrivateProfileStringA(SettingsSection, key, fallback, out, size, path);
}

void WriteSettingText(const char* path, const char* key, const char* value)
{
  if (path[0])
    WritePrivateProfileStringA(SettingsSection, key, value, path);
}

void WriteSettingInt(const char* path, const char* key, int32_t value)
{
  char text[16];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  WriteSettingText(path, key, text);
}

// ---------------------------------------------------------------------------------
// Host import patching

constexpr int LineUser32Found = 77;
constexpr int LineGetClientRectNotFound = 83;
constexpr int LineGetClientRectFound = 87;
constexpr int LineGetClientRectHook = 93;
constexpr int LineSetWindowPosHook = 103;

// Bytes made writable around each import slot, counted from the slot.
constexpr SIZE_T ImportSlotProtectSize = 64;
// Module names longer than this cannot be user32 and are skipped.
constexpr size_t ModuleNameBufferSize = 256;
static const char User32Name[] = "user32.dll";  // compared with its NUL: 11 bytes

typedef BOOL(WINAPI* GetClientRectFn)(HWND, LPRECT);
typedef BOOL(WINAPI* SetWindowPosFn)(HWND, HWND, int, int, int, int, UINT);

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
  WriteLogLine("pImportDesc = user32 found!", TagD3d9, LineUser32Found);

  HMODULE user32 = GetModuleHandleA("user32.dll");
  auto getClientRect = reinterpret_cast<GetClientRectFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetClientRect")));
  auto setWindowPos = reinterpret_cast<SetWindowPosFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "SetWindowPos")));
  if (!getClientRect) {
    WriteLogLine("GetClientRect not found", TagD3d9, LineGetClientRectNotFound);
    return;
  }
  WriteLogLine("GetClientRect found!", TagD3d9, LineGetClientRectFound);

  // Slots are recognised by the address the loader bound into them.
  const BYTE* thunks = base + descriptor->FirstThunk;
  for (auto* slot = reinterpret_cast<ULONG_PTR*>(const_cast<BYTE*>(thunks));
       inImage(slot, sizeof *slot) && *slot != 0; ++slot) {
    if (*slot == reinterpret_cast<ULONG_PTR>(getClientRect)) {
      WriteLogLine("GetClientRect hook!", TagD3d9, LineGetClientRectHook);
      ReplaceImportSlot(reinterpret_cast<GetClientRectFn*>(slot), &GetClientRectNew, GetClientRectOrg);
    }
    if (setWindowPos && *slot == reinterpret_cast<ULONG_PTR>(setWindowPos)) {
      WriteLogLine("SetWindowPos hook!", TagD3d9, LineSetWindowPosHook);
      ReplaceImportSlot(reinterpret_cast<SetWindowPosFn*>(slot), &SetWindowPosNew, SetWindowPosOrg);
    }
  }
}

void HookHostImports()
{
  HookImportsOf(GetModuleHandleA(nullptr));
}

// The C runtime calls DllMain by its C name; <process.h> declares it, so a definition
// of another type does not compile.
extern "C" BOOL WINAPI DllMain(HANDLE hinstDLL, DWORD fdwReason, LPVOID lpvReserved)
{
  (void)lpvReserved;
  if (fdwReason != DLL_PROCESS_ATTACH)
    return TRUE;

  dwStartTime = timeGetTime();
  hModule = static_cast<HMODULE>(hinstDLL);

  char path[SettingsPathSize];
  SettingsPath(path);

  bLog = ReadSettingInt(path, "log", 0) != 0;
  if (bLog) {
    if (!OpenLog())
      return FALSE;  // the platform then refuses to load the library
    WriteLogLine("log on", TagD3d9, LineLogOn);
  }

  if (ReadSettingInt(path, "window_resize", 0) == 0)
    return TRUE;

  WindowResizeAddWidth = ReadSettingInt(path, "window_resize_add_width", -1);
  WindowResizeAddHeight = ReadSettingInt(path, "window_resize_add_height", -1);
  WindowAddHeight = ReadSettingInt(path, "window_add_height", 0);
  // Defaults: the extra outer size, over both sides, of a sizing border compared with
  // a fixed dialog border.
  if (WindowResizeAddWidth < 0)
    WindowResizeAddWidth = 2 * (GetSystemMetrics(SM_CXFRAME) - GetSystemMetrics(SM_CXDLGFRAME));
  if (WindowResizeAddHeight < 0)
    WindowResizeAddHeight = 2 * (GetSystemMetrics(SM_CYFRAME) - GetSystemMetrics(SM_CYDLGFRAME));
  WriteLogLine("WindowResizeAddWidth = ", TagD3d9, LineAddWidth, WindowResizeAddWidth);
  WriteLogLine("WindowResizeAddHeight = ", TagD3d9, LineAddHeight, WindowResizeAddHeight);

  HookHostImports();
  return TRUE;
}

// DllMain must keep the platform's entry-routine type exactly.
static_assert(std::is_same<decltype(&DllMain), BOOL(WINAPI*)(HANDLE, DWORD, LPVOID)>::value,
              "DllMain has the platform's entry-routine type");
