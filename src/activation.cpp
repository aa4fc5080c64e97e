#include "activation.h"

#include <cstring>
#include <utility>

#include "log.h"
#include "sample_down.h"

// Source rows of zero margin above the image in the staging buffer.
constexpr uint32_t StagingTopMarginRows = 4;
// The buffer holds (H + 4) rows of W four-byte pixels: far more than the source image,
// the rest being zero margin.
constexpr uint64_t StagingBytesPerPixel = 4;
constexpr uint64_t StagingExtraRows = 4;

static_assert(sizeof(void*) == 8 || sizeof(PluginFrameRequest) == 48,
              "the 32-bit request is twelve 32-bit words");

// True when every byte of [address, address + size) lies in committed, readable memory.
static bool IsReadable(const void* address, SIZE_T size)
{
  const char* p = static_cast<const char*>(address);
  const char* const end = p + size;
  if (!p || end < p)
    return false;
  while (p < end) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(p, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT)
      return false;
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (!(info.Protect & readable) || (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
      return false;
    p = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
  }
  return true;
}

const PluginDescriptor* QueryPluginDescriptor(RenderPluginGetInfoFn getInfo)
{
  if (!getInfo)
    return nullptr;
  const PluginDescriptor* descriptor = getInfo();
  return IsReadable(descriptor, sizeof *descriptor) ? descriptor : nullptr;
}

void CopyPluginName(const PluginDescriptor* descriptor, char (&name)[RPI_NAME_SIZE + 1])
{
  size_t length = 0;
  while (length < RPI_NAME_SIZE && descriptor->szName[length])
    ++length;
  std::memcpy(name, descriptor->szName, length);
  name[length] = '\0';
}

uint32_t ScaleForFlags(uint32_t descriptorFlags)
{
  uint32_t s = 2;
  if ((descriptorFlags & RPI_FLAG_SCALE3_BITS) == RPI_FLAG_SCALE3_BITS)
    s = 3;
  if (descriptorFlags & RPI_FLAG_SCALE4)
    s = 4;
  return s;
}

uint64_t StagingBufferBytes(uint32_t width, uint32_t height)
{
  return (uint64_t(height) + StagingExtraRows) * width * StagingBytesPerPixel;
}

void FillFrameRequest(PluginFrameRequest& request, void* buffer, uint32_t width, uint32_t height, int32_t pitch,
                      uint32_t descriptorFlags)
{
  const uint32_t s = ScaleForFlags(descriptorFlags);
  const uint32_t srcWidth = width / s;
  const uint32_t srcHeight = height / s;
  request = PluginFrameRequest{};
  request.dwSize = sizeof(PluginFrameRequest);
  request.dwFlags = (descriptorFlags & RPI_FLAG_USER) | RPI_REQUEST_ALWAYS;
  if (buffer) {
    const uint32_t srcPitch = 2 * srcWidth;
    request.pSrc = static_cast<char*>(buffer) + StagingTopMarginRows * srcPitch;
    request.dwSrcPitch = srcPitch;
    request.dwSrcWidth = srcWidth;
    request.dwSrcHeight = srcHeight;
  }
  request.pDst = nullptr;
  request.dwDstPitch = static_cast<uint32_t>(pitch);
  request.dwDstWidth = width;
  request.dwDstHeight = height;
}

StagingBuffer::StagingBuffer(uint64_t size)
{
  if (size == 0)
    return;
  // Fresh committed pages read as zero: the margins need no filling.
  if (size <= UINT32_MAX && size <= SIZE_MAX)
    data_ = VirtualAlloc(nullptr, static_cast<SIZE_T>(size), MEM_TOP_DOWN | MEM_RESERVE | MEM_COMMIT,
                         PAGE_READWRITE);
  if (data_) {
    size_ = static_cast<SIZE_T>(size);
  } else {
    // Frames then pass unfiltered: there is nowhere to put the source image.
    WriteLogLabel("StagingBuffer not obtained, size = ", size);
  }
}

StagingBuffer::~StagingBuffer()
{
  if (data_)
    VirtualFree(data_, 0, MEM_RELEASE);
}

StagingBuffer::StagingBuffer(StagingBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0))
{
}

StagingBuffer& StagingBuffer::operator=(StagingBuffer&& other) noexcept
{
  if (this != &other) {
    if (data_)
      VirtualFree(data_, 0, MEM_RELEASE);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

Activation Activate(HMODULE plugin, const SurfaceGeometryRecord& geometry)
{
  Activation activation;
  activation.module = plugin;
  activation.geometry = geometry;
  if (!plugin)
    return activation;
  WriteLogLine(LogPoints::InitPlugin);

  auto getInfo = reinterpret_cast<RenderPluginGetInfoFn>(
      reinterpret_cast<void*>(GetProcAddress(plugin, "RenderPluginGetInfo")));
  const PluginDescriptor* descriptor = QueryPluginDescriptor(getInfo);
  if (!descriptor) {
    // Only modules with a readable descriptor get a menu item, so this is a module that
    // changed its mind: never call into it.
    WriteLogLabel("InitPlugin refused: no descriptor");
    return activation;
  }
  const uint32_t descriptorFlags = descriptor->dwFlags;
  activation.output = reinterpret_cast<RenderPluginOutputFn>(
      reinterpret_cast<void*>(GetProcAddress(plugin, "RenderPluginOutput")));

  const uint32_t width = geometry.Desc.Width;
  const uint32_t height = geometry.Desc.Height;
  activation.staging = StagingBuffer(StagingBufferBytes(width, height));
  FillFrameRequest(activation.request, activation.staging.data(), width, height, geometry.Pitch, descriptorFlags);
  activation.scale = ScaleForFlags(descriptorFlags);

  WriteLogLine(LogPoints::InitPluginSuccess);
  return activation;
}

// True when the activation fits the surface locked for this frame: the plugin writes
// with the request's pitch and size, and the source image must exist.
static bool RequestFits(const Activation& a, const void* bits, INT pitch)
{
  const PluginFrameRequest& r = a.request;
  return a.staging.data() && r.pSrc && bits && pitch >= 0 && static_cast<uint32_t>(pitch) == r.dwDstPitch &&
         r.dwDstWidth == a.geometry.Desc.Width && r.dwDstHeight == a.geometry.Desc.Height &&
         uint64_t(r.dwSrcWidth) * a.scale <= r.dwDstWidth && uint64_t(r.dwSrcHeight) * a.scale <= r.dwDstHeight;
}

bool FilterLockedFrame(Activation& a, void* bits, INT pitch)
{
  if (!RequestFits(a, bits, pitch))
    return false;
  SampleDown(bits, pitch, a.scale, const_cast<void*>(a.request.pSrc), a.request.dwSrcPitch, a.request.dwSrcWidth,
             a.request.dwSrcHeight);
  a.request.pDst = bits;
  if (a.output) {
    a.output(&a.request);
    WriteLogLine(LogPoints::RendOutput);
  }
  return true;
}
