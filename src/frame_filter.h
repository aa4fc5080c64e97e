// Frame filtering: the plugin in use, its activation for the back buffer, and the work
// on each presented frame. A menu choice (window thread) and a frame (the presenting
// thread) may overlap: one lock spans every activation and the filtering of a frame, so
// a frame always sees one whole activation and never a buffer that was released.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "activation.h"

// The plugin in use, or null for "None".
HMODULE ActivePlugin();

// Makes `plugin` (null: none) the plugin in use and activates it for the measured back
// buffer (a null plugin keeps the last activation, which is then not used). Frames of
// another back buffer geometry get an activation of their own when they come.
void SelectPlugin(HMODULE plugin);
// Activates the plugin in use again for the measured back buffer.
void InitPlugin();

// The back buffer as last measured at device creation (all zero before), and a new
// measurement: stored, without activating.
SurfaceGeometryRecord MeasuredBackBuffer();
void SetMeasuredBackBuffer(const SurfaceGeometryRecord& geometry);

// What the current activation holds, copied under the lock (for the tools and tests).
struct ActivationSummary {
  HMODULE module;
  RenderPluginOutputFn output;
  uint32_t scale;
  SurfaceGeometryRecord geometry;
  const void* staging;
  SIZE_T stagingSize;
  PluginFrameRequest request;
};
ActivationSummary CurrentActivation();

// Reads back buffer 0 of the presented swap chain back (the device's first swap chain
// when swapChain is null), lets the plugin write the filtered frame over the copy and
// uploads it; nothing when no plugin is in use. Any step that fails leaves the frame as
// the program rendered it (no plugin call, no upload) and is logged once. Every
// reference taken is released.
void FilterFrame(IDirect3DDevice9* device, IDirect3DSwapChain9* swapChain = nullptr);

// A device's Reset failed (its frames then pass unfiltered) or succeeded again.
void NoteResetResult(const void* device, bool succeeded);
