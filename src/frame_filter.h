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
// buffer (a null plugin keeps the last activation, which is then not used).
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

// Reads the render target back, lets the plugin write the filtered frame over the copy
// and uploads it; nothing when no plugin is in use. Every reference taken is released.
void FilterFrame(IDirect3DDevice9* device);
