// Loading a plugin through the library's own descriptor checks, and the info command.
#include <cstdio>
#include <cstring>
#include <string>

#include "tool/tool.h"

// Control bytes would break the one-line output: shown as '?'.
static void PrintableName(char* name)
{
  for (char* p = name; *p; ++p)
    if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F)
      *p = '?';
}

bool LoadPlugin(const char* path, Plugin& plugin)
{
  plugin = Plugin{};
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      Error("cannot open %s: no such file", path);
    else if (error == ERROR_FILENAME_EXCED_RANGE)
      Error("cannot open %s: the path is too long for the system (Windows error %lu)", path,
            static_cast<unsigned long>(error));
    else
      Error("cannot open %s (Windows error %lu)", path, static_cast<unsigned long>(error));
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    Error("cannot load %s: it is a directory", path);
    return false;
  }
  // A full path, so that the system's search order plays no part; the plugin's own
  // dependencies are looked for beside it. Asked for twice: the first call tells the
  // room it needs, whatever the path's length.
  std::string full;
  DWORD length = GetFullPathNameA(path, 0, nullptr, nullptr);
  while (length > full.size()) {
    full.assign(length, '\0');
    length = GetFullPathNameA(path, static_cast<DWORD>(full.size()), &full[0], nullptr);
  }
  if (length == 0) {
    Error("cannot load %s: no full path for it (Windows error %lu)", path, static_cast<unsigned long>(GetLastError()));
    return false;
  }
  full.resize(length);
  plugin.module = LoadLibraryExA(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!plugin.module) {
    const DWORD error = GetLastError();
    if (error == ERROR_BAD_EXE_FORMAT)
      Error("cannot load %s: not a DLL of this architecture (Windows error %lu)", path,
            static_cast<unsigned long>(error));
    else
      Error("cannot load %s as a DLL (Windows error %lu)", path, static_cast<unsigned long>(error));
    return false;
  }
  plugin.getInfo = reinterpret_cast<RenderPluginGetInfoFn>(
      reinterpret_cast<void*>(GetProcAddress(plugin.module, "RenderPluginGetInfo")));
  plugin.output = reinterpret_cast<RenderPluginOutputFn>(
      reinterpret_cast<void*>(GetProcAddress(plugin.module, "RenderPluginOutput")));
  if (!plugin.getInfo) {
    Error("%s has no RenderPluginGetInfo export", path);
    return false;
  }
  SetCrashContext("rpitool: %s crashed in RenderPluginGetInfo", path);
  // The library's own check: all 64 bytes of the descriptor readable.
  plugin.descriptor = QueryPluginDescriptor(plugin.getInfo);
  SetCrashContext("rpitool: the plugin crashed");
  if (!plugin.descriptor) {
    Error("%s: RenderPluginGetInfo returned no readable descriptor", path);
    return false;
  }
  CopyPluginName(plugin.descriptor, plugin.name);
  PrintableName(plugin.name);
  plugin.nameTerminated = std::memchr(plugin.descriptor->szName, 0, RPI_NAME_SIZE) != nullptr;
  plugin.flags = plugin.descriptor->dwFlags;
  plugin.scale = ScaleForFlags(plugin.flags);
  return true;
}

int CommandInfo(int argc, char** argv)
{
  if (argc != 1)
    return Error("usage: rpitool info PLUGIN");
  Plugin plugin;
  if (!LoadPlugin(argv[0], plugin))
    return ExitError;
  std::printf("name: %s%s\n", plugin.name, plugin.nameTerminated ? "" : " (not terminated within 60 bytes)");
  std::printf("flags: 0x%08lx\n", static_cast<unsigned long>(plugin.flags));
  std::printf("scale: %lu\n", static_cast<unsigned long>(plugin.scale));
  std::printf("RenderPluginOutput: %s\n", plugin.output ? "exported" : "not exported (frames pass unfiltered)");
  return ExitOk;
}
