// rpitool: the pieces its commands share.
#pragma once

#include <windows.h>

#include <cstdint>

#include "src/activation.h"  // the library's activation and <render_plugin.h>

// Exit codes.
constexpr int ExitOk = 0;        // done; for check: every test passed
constexpr int ExitProblems = 1;  // check found problems (one FAIL line each)
constexpr int ExitError = 2;     // bad input or arguments (one error line on stderr)
constexpr int ExitCrash = 3;     // the plugin crashed the tool (one line on stderr)

// Largest frame side taken anywhere: Direct3D 9's largest surfaces.
constexpr uint32_t MaxFrameSide = 16384;

// Prints "rpitool: <message>" as one line on stderr and returns ExitError.
int Error(const char* format, ...) __attribute__((format(printf, 1, 2)));

// What the crash handler prints before the exception, e.g. "FAIL 7x5: the plugin
// crashed" while check calls the plugin; "rpitool: the plugin crashed" by default.
void SetCrashContext(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A loaded plugin and what its descriptor said when it was loaded.
struct Plugin {
  HMODULE module;
  RenderPluginGetInfoFn getInfo;
  RenderPluginOutputFn output;      // null when the plugin does not export it
  const PluginDescriptor* descriptor;
  char name[RPI_NAME_SIZE + 1];     // the library's bounded copy, control bytes as '?'
  bool nameTerminated;              // a NUL within the 60 name bytes
  uint32_t flags;
  uint32_t scale;                   // ScaleForFlags(flags)
};

// Loads the plugin file and reads its descriptor through the library. On failure prints
// one error line and returns false.
bool LoadPlugin(const char* path, Plugin& plugin);

// A frame size "WxH" (1 to MaxFrameSide each); false for anything else.
bool ParseSize(const char* text, uint32_t& width, uint32_t& height);

// A deterministic test picture: noise with flat patches and edges, so that filters
// take all their paths.
uint16_t TestPixel(uint32_t x, uint32_t y);

// The commands; each returns the process's exit code.
int CommandInfo(int argc, char** argv);
int CommandApply(int argc, char** argv);
int CommandCheck(int argc, char** argv);
int CommandBench(int argc, char** argv);
