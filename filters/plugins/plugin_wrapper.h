// The part every bundled render plugin shares: its descriptor, the checks of a frame
// request, the filter's working memory, and the two exports (RPI_DEFINE_PLUGIN).
// No platform headers: the same code is built natively for the tests.
#pragma once

#include "render_plugin.h"
#include "kernels/pixel.h"

// Largest source side accepted: frames of up to 16384 pixels per side (Direct3D 9's
// largest surfaces) sampled down by 2. It also keeps every filter's working memory
// below 4 GiB, so that its size cannot wrap in 32-bit arithmetic.
const uint32_t kMaxSourceSide = 8192;

// Descriptor flags that make the library sample frames down by `scale`.
uint32_t PluginFlagsForScale(unsigned scale);

// The descriptor of a plugin for the filter: its display name and scale flags.
PluginDescriptor MakeDescriptor(const FilterInfo& filter);

// The plugin's descriptor, made at the first call from the plugin's one filter and
// valid while the plugin is loaded.
PluginDescriptor* PluginDescribe(const FilterInfo& filter);

// True when the request is complete and consistent for a filter of this scale: a
// request of the expected size, a source of 1 to kMaxSourceSide pixels per side with
// rows at least a row apart, and a destination at least scale times as large.
bool PluginRequestFits(const PluginFrameRequest* request, unsigned scale);

// Filters the request's source into the top-left (scale * width) x (scale * height)
// pixels of its destination, leaving the remaining columns and rows as rendered.
// Does nothing when the request does not fit, or when working memory is not to be had.
void PluginRender(const FilterInfo& filter, const PluginFrameRequest* request);

// How many times the working memory was obtained (it is kept while the source size
// stays the same). For the tests.
unsigned PluginWorkAllocationCount();

// Defines the two exports of a plugin for one filter.
#define RPI_DEFINE_PLUGIN(filter)                                                        \
  extern "C" RPI_EXPORT PluginDescriptor* RPI_CDECL RenderPluginGetInfo(void) {          \
    return PluginDescribe(filter);                                                       \
  }                                                                                      \
  extern "C" RPI_EXPORT void RPI_CDECL RenderPluginOutput(PluginFrameRequest* request) { \
    PluginRender(filter, request);                                                       \
  }
