#include "forwarding.h"

#include <atomic>
#include <cstring>
#include <type_traits>

#include "device.h"
#include "log.h"
#include "settings.h"
#include "startup.h"

// The system library's Direct3DCreate9, found at the first successful load (any thread
// may create Direct3D; a second load finds the same library and function).
static std::atomic<Direct3DCreate9Fn> Direct3DCreate9Org{nullptr};
static SystemDirectoryFn SystemDirectory = GetSystemDirectoryA;

// Set once Direct3DCreate9Ex handed out an interface.
static std::atomic<bool> Direct3DExInUse{false};

bool Direct3DInUse() { return Direct3DCreate9Org.load() != nullptr || Direct3DExInUse.load(); }
void NoteDirect3DExInUse() { Direct3DExInUse = true; }
void SetSystemDirectorySource(SystemDirectoryFn source) { SystemDirectory = source; }
void UseSystemDirect3D(Direct3DCreate9Fn create) { Direct3DCreate9Org = create; }

// Loads d3d9.dll from the system directory and returns it, or null (the reason logged,
// the log then closed). The system library is never released.
static HMODULE LoadSystemModule()
{
  static const char FileName[] = "\\d3d9.dll";  // 10 bytes with its NUL
  char path[MAX_PATH];
  const UINT length = SystemDirectory(path, MAX_PATH);
  // No system directory, or one too long to take the file name: refuse the load
  // rather than overrun the buffer.
  if (length == 0 || length + sizeof FileName > MAX_PATH) {
    if (LogEnabled()) {
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
    if (LogEnabled()) {
      WriteLogLabel("h_d3d9 == NULL Err = ", static_cast<int32_t>(GetLastError()));
      CloseLog();
    }
    return nullptr;
  }
  if (h_d3d9 == LibraryModule()) {
    // The path led back to this very library.
    if (LogEnabled()) {
      WriteLogLabel("h_d3d9 == hModule");
      CloseLog();
    }
    return nullptr;
  }
  return h_d3d9;
}

// The longest d3d9_path value read: anything longer than a path can be is refused.
constexpr DWORD ConfiguredPathBufferSize = 1024;

// What a configured library (d3d9_path) gave.
enum class Configured {
  None,      // no d3d9_path, or one that is unusable: the system directory's is loaded
  Loaded,    // the library is in `module`
  Refused,   // it is this very library: nothing is loaded
};

// The library named by d3d9_path (absolute, or relative to the current directory like
// every file of ours), loaded in place of the system directory's. A path that is too
// long, cannot be loaded or lacks Direct3DCreate9 is logged and left: a typo in the
// settings must not stop the program, which then gets the system's Direct3D.
static Configured LoadConfiguredModule(HMODULE& module)
{
  char settings[SettingsPathSize];
  SettingsPath(settings);
  char configured[ConfiguredPathBufferSize];
  ReadSettingText(settings, "d3d9_path", "", configured, sizeof configured);
  const size_t configuredLength = std::strlen(configured);
  if (configuredLength == 0)
    return Configured::None;
  char path[MAX_PATH];
  const DWORD length = configuredLength + 1 >= sizeof configured
                           ? 0
                           : GetFullPathNameA(configured, MAX_PATH, path, nullptr);
  if (length == 0 || length >= MAX_PATH) {
    WriteLogLabel("d3d9_path too long, length = ", static_cast<uint32_t>(configuredLength));
    return Configured::None;
  }
  WriteLogLabel("path = ", path);
  HMODULE library = LoadLibraryA(path);
  if (!library) {
    if (LogEnabled())
      WriteLogLabel("d3d9_path not loaded, Err = ", static_cast<int32_t>(GetLastError()));
    return Configured::None;
  }
  if (library == LibraryModule()) {
    // The path leads back to this very library: refused, as from the system directory.
    if (LogEnabled()) {
      WriteLogLabel("h_d3d9 == hModule");
      CloseLog();
    }
    return Configured::Refused;
  }
  if (!GetProcAddress(library, "Direct3DCreate9")) {
    WriteLogLabel("d3d9_path without Direct3DCreate9");
    FreeLibrary(library);
    return Configured::None;
  }
  module = library;
  return Configured::Loaded;
}

// The library to forward to: the one d3d9_path names if it can serve, else the system
// directory's (null when neither can; the reason logged).
static HMODULE LoadDirect3DModule()
{
  HMODULE configured = nullptr;
  switch (LoadConfiguredModule(configured)) {
    case Configured::Loaded:
      return configured;
    case Configured::Refused:
      return nullptr;
    case Configured::None:
      break;
  }
  return LoadSystemModule();
}

// The library forwarded to once loaded, for the exports other than Direct3DCreate9.
static std::atomic<HMODULE> SystemModule{nullptr};

HMODULE SystemDirect3DModule()
{
  HMODULE module = SystemModule.load();
  if (!module) {
    module = LoadDirect3DModule();
    if (module)
      SystemModule = module;
  }
  return module;
}

// Loads the library to forward to and returns its Direct3DCreate9, or null. Loaded again
// at every call until a library with Direct3DCreate9 is found.
static Direct3DCreate9Fn LoadSystemDirect3D()
{
  HMODULE h_d3d9 = LoadDirect3DModule();
  if (!h_d3d9)
    return nullptr;
  auto create = reinterpret_cast<Direct3DCreate9Fn>(
      reinterpret_cast<void*>(GetProcAddress(h_d3d9, "Direct3DCreate9")));
  if (!create && LogEnabled()) {
    WriteLogLabel("Direct3DCreate9Org == NULL");
    CloseLog();
  }
  if (create)
    SystemModule = h_d3d9;
  return create;
}

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion)
{
  WriteLogLine(LogPoints::Create9);
  Direct3DCreate9Fn create = Direct3DCreate9Org.load();
  if (!create) {
    create = LoadSystemDirect3D();
    if (!create)
      return nullptr;
    Direct3DCreate9Org = create;
  }
  IDirect3D9* d3d = create(SDKVersion);
  if (!d3d) {
    // The system refused (an SDK version it does not take, say): nothing to patch.
    WriteLogLabel("Direct3DCreate9Org returned NULL");
    return nullptr;
  }
  HookCreateDevice(d3d);
  WriteLogLine(LogPoints::Create9Success);
  return d3d;
}

// The export keeps the platform's type and calling convention exactly (the
// declaration in <d3d9.h> already refuses any other definition).
static_assert(std::is_same<decltype(&Direct3DCreate9), Direct3DCreate9Fn>::value,
              "Direct3DCreate9 has the platform's type");
