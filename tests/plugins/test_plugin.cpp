// A render plugin for the tests, built many times with different names and flags:
//   TP_NAME, TP_FLAGS     the descriptor
//   TP_NO_INFO            no RenderPluginGetInfo export
//   TP_NULL_INFO          RenderPluginGetInfo returns null
//   TP_NO_OUTPUT          no RenderPluginOutput export
//   TP_UNTERMINATED       a name of 60 non-NUL bytes, followed by more text
// and, for the plugin tool's check, plugins that break the contract on purpose (each
// writes the usual output too):
//   TP_WRITE_PAST_ROW     also writes the pixel just right of the last row's end (the
//                         pitch padding)
//   TP_WRITE_BELOW        also writes the first pixel of the row below the last
//   TP_READ_ABOVE         also reads the source row five rows above the first: one row
//                         above the four zero rows, before the library's buffer
//   TP_COUNTER            XORs its output with the number of calls so far
//   TP_KEEP_DST           also writes a pixel into the previous call's destination
//   TP_CRASH              also writes to address 16, where no memory is
//
// Its output is easy to predict: destination pixel (x, y), for x < s * Ws and
// y < s * Hs, becomes source pixel (x / s, y / s) XOR TestMark(x % s, y % s). Pixels
// outside that rectangle are left alone. It also counts its calls and keeps a copy of
// the last request, for the tests to read.
#include <render_plugin.h>

#include <cstddef>
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

// The deliberate contract breaches of the TP_WRITE_*, TP_READ_ABOVE, TP_KEEP_DST and
// TP_CRASH variants, done after the usual output.
[[maybe_unused]] void Misbehave([[maybe_unused]] const PluginFrameRequest* request)
{
  [[maybe_unused]] auto* dst = static_cast<uint8_t*>(request->pDst);
  [[maybe_unused]] const uint32_t width = request->dwDstWidth, height = request->dwDstHeight;
#ifdef TP_WRITE_PAST_ROW
  if (width > 0 && height > 0)
    reinterpret_cast<uint16_t*>(dst + (height - 1) * request->dwDstPitch)[width] = 0x1234;
#endif
#ifdef TP_WRITE_BELOW
  reinterpret_cast<uint16_t*>(dst + height * request->dwDstPitch)[0] = 0x1234;
#endif
#ifdef TP_READ_ABOVE
  [[maybe_unused]] static volatile uint16_t sink;  // volatile: the read is kept
  const auto* src = static_cast<const uint8_t*>(request->pSrc);
  sink = *reinterpret_cast<const volatile uint16_t*>(src - 5 * ptrdiff_t(request->dwSrcPitch));
#endif
#ifdef TP_KEEP_DST
  static uint16_t* previous = nullptr;
  if (previous)
    *previous = 0x1234;
  previous = static_cast<uint16_t*>(request->pDst);
#endif
#ifdef TP_CRASH
  // dwReserved1 is 0: the address is known only at run time, so the compiler keeps the store.
  *reinterpret_cast<volatile uint16_t*>(uintptr_t(request->dwReserved1) + 16) = 0;
#endif
}

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
#ifdef TP_COUNTER
  const uint16_t disturbance = static_cast<uint16_t>(TestPluginOutputCalls);  // new at every call
#else
  const uint16_t disturbance = 0;
#endif
  for (uint32_t y = 0; y < Scale * request->dwSrcHeight && y < request->dwDstHeight; ++y) {
    const auto* in = reinterpret_cast<const uint16_t*>(src + (y / Scale) * request->dwSrcPitch);
    auto* out = reinterpret_cast<uint16_t*>(dst + y * request->dwDstPitch);
    for (uint32_t x = 0; x < Scale * request->dwSrcWidth && x < request->dwDstWidth; ++x)
      out[x] = static_cast<uint16_t>(in[x / Scale] ^ TestMark(x % Scale, y % Scale) ^ disturbance);
  }
  Misbehave(request);
}
#endif

}  // extern "C"
