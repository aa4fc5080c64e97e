// A render plugin for the tests, built many times with different names and flags:
//   TP_NAME, TP_FLAGS     the descriptor
//   TP_NO_INFO            no RenderPluginGetInfo export
//   TP_NULL_INFO          RenderPluginGetInfo returns null
//   TP_NO_OUTPUT          no RenderPluginOutput export
//   TP_UNTERMINATED       a name of 60 non-NUL bytes, followed by more text
//
// Its output is easy to predict: destination pixel (x, y), for x < s * Ws and
// y < s * Hs, becomes source pixel (x / s, y / s) XOR TestMark(x % s, y % s). Pixels
// outside that rectangle are left alone. It also counts its calls and keeps a copy of
// the last request, for the tests to read.
#include <render_plugin.h>

#include <cstdint>
#include <cstring>

#include "test_plugin.h"

#ifndef TP_NAME
#define TP_NAME "Test plugin"
#endif
#ifndef TP_FLAGS
#define TP_FLAGS 0u
#endif

namespace {

constexpr uint32_t Flags = TP_FLAGS;
constexpr uint32_t Scale = (Flags & RPI_FLAG_SCALE4) ? 4 : (Flags & RPI_FLAG_SCALE3_BITS) == RPI_FLAG_SCALE3_BITS ? 3 : 2;

#ifdef TP_UNTERMINATED
// 60 name bytes without a terminator, flags whose bytes are not NUL either, then more
// text: a reader that does not stop at 60 bytes shows "AAAATAIL" after the name.
struct UnterminatedRecord {
  PluginDescriptor descriptor;
  char after[8];
};
UnterminatedRecord Record = [] {
  UnterminatedRecord r = {};
  std::memset(r.descriptor.szName, 'U', sizeof r.descriptor.szName);
  r.descriptor.dwFlags = 0x41414141u;
  std::memcpy(r.after, "TAIL", 5);
  return r;
}();
[[maybe_unused]] PluginDescriptor& Descriptor = Record.descriptor;
#else
[[maybe_unused]] PluginDescriptor Descriptor = {TP_NAME, Flags};
#endif

}  // namespace

extern "C" {

RPI_EXPORT int TestPluginInfoCalls = 0;
RPI_EXPORT int TestPluginOutputCalls = 0;
RPI_EXPORT PluginFrameRequest TestPluginLastRequest = {};

#ifndef TP_NO_INFO
RPI_EXPORT PluginDescriptor* RPI_CDECL RenderPluginGetInfo(void)
{
  ++TestPluginInfoCalls;
#ifdef TP_NULL_INFO
  return nullptr;
#else
  return &Descriptor;
#endif
}
#endif

#ifndef TP_NO_OUTPUT
RPI_EXPORT void RPI_CDECL RenderPluginOutput(PluginFrameRequest* request)
{
  ++TestPluginOutputCalls;
  TestPluginLastRequest = *request;
  if (!request->pSrc || !request->pDst)
    return;
  const auto* src = static_cast<const uint8_t*>(request->pSrc);
  auto* dst = static_cast<uint8_t*>(request->pDst);
  for (uint32_t y = 0; y < Scale * request->dwSrcHeight && y < request->dwDstHeight; ++y) {
    const auto* in = reinterpret_cast<const uint16_t*>(src + (y / Scale) * request->dwSrcPitch);
    auto* out = reinterpret_cast<uint16_t*>(dst + y * request->dwDstPitch);
    for (uint32_t x = 0; x < Scale * request->dwSrcWidth && x < request->dwDstWidth; ++x)
      out[x] = static_cast<uint16_t>(in[x / Scale] ^ TestMark(x % Scale, y % Scale));
  }
}
#endif

}  // extern "C"
