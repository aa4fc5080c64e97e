// rpitool: the render plugin tool. Command dispatch, error and crash reporting, and
// the small helpers the commands share.
//
//   rpitool info PLUGIN                  name, flags, scale, RenderPluginOutput or not
//   rpitool apply [--source] PLUGIN IN.png OUT.png
//                                        one frame through the plugin as the library does;
//                                        IN the whole frame, or with --source the picture
//                                        the plugin is to receive
//   rpitool check PLUGIN                 the plugin against the contract of render_plugin.h
//   rpitool bench PLUGIN [WxH]           milliseconds per frame
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "tool/tool.h"

static const char Usage[] =
    "usage: rpitool info PLUGIN | apply [--source] PLUGIN IN.png OUT.png | check PLUGIN | bench PLUGIN [WxH]";

int Error(const char* format, ...)
{
  std::fflush(stdout);
  std::fputs("rpitool: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  return ExitError;
}

// The crash context, whole whatever its length (it holds the plugin's path); made before
// the plugin is called, only read by the handler.
static std::string CrashContext = "rpitool: the plugin crashed";

void SetCrashContext(const char* format, ...)
{
  va_list args, copy;
  va_start(args, format);
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0)
    std::vsnprintf(&text[0], text.size() + 1, format, args);
  va_end(args);
  CrashContext.swap(text);
}

// Last resort for an exception nobody handled (a plugin that faults outside the guard
// pages, say): one line, then the process ends at once with ExitCrash, so that no
// debugger or dialog holds the caller.
static LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info)
{
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  std::fflush(stdout);
  if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
    const ULONG_PTR kind = record->ExceptionInformation[0];
    std::fprintf(stderr, "%s: access violation %s address %p\n", CrashContext.c_str(),
                 kind == 1 ? "writing" : kind == 8 ? "executing" : "reading",
                 reinterpret_cast<void*>(record->ExceptionInformation[1]));
  } else {
    std::fprintf(stderr, "%s: exception 0x%08lx at %p\n", CrashContext.c_str(),
                 static_cast<unsigned long>(record->ExceptionCode), record->ExceptionAddress);
  }
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), ExitCrash);
  return EXCEPTION_EXECUTE_HANDLER;
}

bool ParseSize(const char* text, uint32_t& width, uint32_t& height)
{
  // Digits only, no sign, no spaces: strtoul alone would take " -5" or "7x5junk".
  const char* x = std::strchr(text, 'x');
  if (!x || x == text || !x[1])
    return false;
  for (const char* p = text; *p; ++p)
    if (p != x && (*p < '0' || *p > '9'))
      return false;
  if (x - text > 5 || std::strlen(x + 1) > 5)  // more digits than any allowed side
    return false;
  width = static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
  height = static_cast<uint32_t>(std::strtoul(x + 1, nullptr, 10));
  return width >= 1 && height >= 1 && width <= MaxFrameSide && height <= MaxFrameSide;
}

uint16_t TestPixel(uint32_t x, uint32_t y)
{
  // Flat 8x8 patches on a quarter of the picture, diagonal edges on another quarter,
  // hashed noise elsewhere.
  uint32_t h = (x / 8) * 0x9E3779B1u ^ (y / 8) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  switch (h & 3) {
    case 0:
      return static_cast<uint16_t>(h >> 16);
    case 1:
      return ((x + y) / 3) % 2 ? 0xFFFF : 0x0000;
    default: {
      uint32_t n = x * 0x27D4EB2Du ^ y * 0x165667B1u;
      n ^= n >> 15;
      n *= 0x85EBCA6Bu;
      n ^= n >> 13;
      return static_cast<uint16_t>(n);
    }
  }
}

static int Run(int argc, char** argv)
{
  if (argc < 2)
    return Error("%s", Usage);
  struct CommandEntry {
    const char* name;
    int (*run)(int, char**);
  };
  static const CommandEntry Commands[] = {
      {"info", CommandInfo}, {"apply", CommandApply}, {"check", CommandCheck}, {"bench", CommandBench}};
  for (const CommandEntry& command : Commands)
    if (std::strcmp(argv[1], command.name) == 0)
      return command.run(argc - 2, argv + 2);
  return Error("unknown command '%s' (%s)", argv[1], Usage);
}

int main(int argc, char** argv)
{
  // No message boxes for a file that is not a DLL or a missing dependency: the error
  // comes back to us as a code.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(CrashFilter);
  int code = ExitError;
  try {
    code = Run(argc, argv);
  } catch (const std::exception& e) {
    code = Error("%s", e.what());  // out of memory for a buffer, say
  }
  std::fflush(stdout);
  return code;
}
