// Render plugin activation: what a frame needs to go through a plugin, built as one
// value from the plugin's module and the back buffer's geometry. The library, rpitool
// and the tests all build it with Activate and filter with FilterLockedFrame.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <cstdint>

#ifndef RPI_HOST
#define RPI_HOST  // the library defines no plugin exports
#endif
#include <render_plugin.h>

// A back buffer as measured: the platform's surface description and the row pitch of a
// locked system-memory surface of that size and format (the pitch the plugin writes with).
struct SurfaceGeometryRecord {
  D3DSURFACE_DESC Desc;
  INT Pitch;
};

// The staging image's memory: zero margins around the source image, from the top of the
// address space, released with the value that owns it.
class StagingBuffer {
 public:
  StagingBuffer() = default;
  // A new zero-filled buffer of `size` bytes; empty when the platform cannot provide it.
  explicit StagingBuffer(uint64_t size);
  ~StagingBuffer();
  StagingBuffer(StagingBuffer&& other) noexcept;
  StagingBuffer& operator=(StagingBuffer&& other) noexcept;
  StagingBuffer(const StagingBuffer&) = delete;
  StagingBuffer& operator=(const StagingBuffer&) = delete;

  void* data() const { return data_; }
  SIZE_T size() const { return size_; }

 private:
  void* data_ = nullptr;
  SIZE_T size_ = 0;
};

struct Activation {
  HMODULE module = nullptr;                // the plugin; null: no plugin ("None")
  RenderPluginOutputFn output = nullptr;   // its RenderPluginOutput; null: frames pass as they are
  uint32_t scale = 2;                      // 2, 3 or 4
  SurfaceGeometryRecord geometry = {};     // the back buffer it was built for
  StagingBuffer staging;
  PluginFrameRequest request = {};         // handed to the plugin; pDst set per frame
};

// Activates `plugin` for a back buffer of `geometry`, logging the steps ("InitPlugin",
// "InitPlugin success"). A null plugin gives an empty activation without a log line; a
// module without a readable descriptor gives one that filters nothing.
Activation Activate(HMODULE plugin, const SurfaceGeometryRecord& geometry);

// The frame path's work on a locked read-back frame: samples it down into the staging
// image, points the request's destination at it and calls the plugin. False, with the
// frame untouched, when the activation does not fit a frame of this pitch (or has no
// staging image): the frame then goes out unfiltered.
bool FilterLockedFrame(Activation& activation, void* bits, INT pitch);

// The pieces of an activation: the factor that descriptor flags choose; the staging
// buffer's size for a W x H target; and the request for a target of that size and pitch
// whose source image lives in `buffer` (laid out as the staging buffer: four zero rows of
// the source pitch first), or describes none when buffer is null.
uint32_t ScaleForFlags(uint32_t descriptorFlags);
uint64_t StagingBufferBytes(uint32_t width, uint32_t height);
void FillFrameRequest(PluginFrameRequest& request, void* buffer, uint32_t width, uint32_t height, int32_t pitch,
                      uint32_t descriptorFlags);

// Calls a plugin's RenderPluginGetInfo and returns its descriptor if all 64 bytes of it
// can be read; null otherwise.
const PluginDescriptor* QueryPluginDescriptor(RenderPluginGetInfoFn getInfo);
// The descriptor's name, never read past its 60 bytes (an unterminated name is cut).
void CopyPluginName(const PluginDescriptor* descriptor, char (&name)[RPI_NAME_SIZE + 1]);
