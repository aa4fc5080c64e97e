// Shared plugin code: descriptor, request checks, working memory.
#include "plugin_wrapper.h"

#include "kernels/cpu.h"

#include <stdlib.h>
#include <string.h>

uint32_t PluginFlagsForScale(unsigned scale) {
  if (scale == 4) return RPI_FLAG_SCALE4;
  if (scale == 3) return RPI_FLAG_SCALE3_BITS;
  return 0;
}

PluginDescriptor MakeDescriptor(const FilterInfo& filter) {
  PluginDescriptor descriptor;
  memset(&descriptor, 0, sizeof(descriptor));
  strncpy(descriptor.szName, filter.displayName, sizeof(descriptor.szName) - 1);
  descriptor.dwFlags = PluginFlagsForScale(filter.scale);
  return descriptor;
}

PluginDescriptor* PluginDescribe(const FilterInfo& filter) {
  // A plugin DLL holds one filter: its descriptor is made once, at the first call.
  static PluginDescriptor descriptor = MakeDescriptor(filter);
  return &descriptor;
}

static bool EvenAddress(const void* p) { return ((uintptr_t)p & 1) == 0; }

bool PluginRequestFits(const PluginFrameRequest* r, unsigned scale) {
  if (r == nullptr || r->dwSize != sizeof(PluginFrameRequest)) return false;
  if (r->pSrc == nullptr || r->pDst == nullptr || !EvenAddress(r->pSrc) || !EvenAddress(r->pDst)) return false;
  if (r->dwSrcWidth == 0 || r->dwSrcHeight == 0) return false;
  if (r->dwSrcWidth > kMaxSourceSide || r->dwSrcHeight > kMaxSourceSide) return false;
  const uint64_t pixelBytes = sizeof(uint16_t);
  if (r->dwSrcPitch % pixelBytes != 0 || r->dwSrcPitch < pixelBytes * r->dwSrcWidth) return false;
  if (r->dwDstPitch % pixelBytes != 0 || r->dwDstPitch < pixelBytes * r->dwDstWidth) return false;
  return (uint64_t)scale * r->dwSrcWidth <= r->dwDstWidth &&
         (uint64_t)scale * r->dwSrcHeight <= r->dwDstHeight;
}

// The filter's working memory, kept from frame to frame while the source size (and so
// the amount needed) stays the same.
struct Workspace {
  void* memory = nullptr;
  size_t bytes = 0;
  unsigned allocations = 0;
  ~Workspace() { free(memory); }
};
static Workspace g_workspace;

unsigned PluginWorkAllocationCount() { return g_workspace.allocations; }

// Working memory for a source of width x height; null when it cannot be had.
static void* WorkFor(const FilterInfo& filter, unsigned width, unsigned height) {
  Workspace& w = g_workspace;
  size_t bytes = filter.workBytes(width, height);
  if (w.memory != nullptr && w.bytes == bytes) return w.memory;
  free(w.memory);
  w.memory = malloc(bytes);
  w.bytes = w.memory != nullptr ? bytes : 0;
  ++w.allocations;
  return w.memory;
}

void PluginRender(const FilterInfo& filter, const PluginFrameRequest* request) {
  if (!PluginRequestFits(request, filter.scale)) return;
  void* work = nullptr;
  if (filter.workBytes != nullptr) {
    work = WorkFor(filter, request->dwSrcWidth, request->dwSrcHeight);
    if (work == nullptr) return;
  }
  // The kernel is chosen at the first frame, from the processor's features, and kept
  // (a plugin holds one filter; the native tests run several through this code).
  static const FilterInfo* chosenFor = nullptr;
  static FilterFn kernel = nullptr;
  if (chosenFor != &filter) kernel = FastestKernel(filter), chosenFor = &filter;
  kernel((const uint16_t*)request->pSrc, request->dwSrcPitch, request->dwSrcWidth,
              request->dwSrcHeight, (uint16_t*)request->pDst, request->dwDstPitch, work);
}
