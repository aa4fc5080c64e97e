// check: a plugin against the contract of render_plugin.h.
//
// For every frame size of the table below, at the plugin's own scale, RenderPluginOutput
// is called twice on the same test frame. Each call gets a fresh destination and a fresh
// staging buffer, laid out as the library lays them out (StagingBufferBytes and
// FillFrameRequest) and each between inaccessible guard pages (guard.h):
//   - the destination (H rows of `pitch` bytes, pitch wider than the row) ends where the
//     guard pages after it start; the rest of its pages, before it and in each row's
//     padding, holds sentinel bytes (a different value in each call);
//   - the staging buffer starts right after the guard pages before it in the first call
//     (a read above its four zero rows faults) and ends right at the guard pages after it
//     in the second (a read past its end faults).
// After each call every buffer of an earlier call is made inaccessible for good, so a
// plugin that keeps pDst or pSrc faults when it uses them again.
// Reported, one FAIL line per problem and frame size: a fault in a guard page; a
// sentinel changed; the staging buffer or the request changed; an earlier call's buffer
// touched; the two calls' outputs differing. A fault anywhere else ends the check with
// one line (the crash handler in main.cpp).
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "src/sample_down.h"
#include "tool/guard.h"
#include "tool/tool.h"

namespace {

struct FrameSize {
  uint32_t width, height;
};
// Frames smaller than the scale (no source at all), one-pixel-thin frames, sizes that
// are no multiple of 2, 3 or 4, and a large one with odd sides.
constexpr FrameSize CheckSizes[] = {{1, 1}, {3, 3}, {13, 1}, {1, 11}, {7, 5}, {97, 61}, {320, 240}, {641, 479}};

// Destination rows: 2 * W bytes rounded up to PitchAlign, plus PitchPadding bytes, so that
// every row has padding to watch.
constexpr uint32_t PitchAlign = 16;
constexpr uint32_t PitchPadding = 16;
// Sentinel bytes of the first and second call: a stray write of one value is caught in
// the other call.
constexpr uint8_t SentinelFirst = 0xA5;
constexpr uint8_t SentinelSecond = 0x5A;
// Rows of zero margin above the source image in the staging buffer.
constexpr uint32_t ZeroRowsAbove = 4;
// Names of the two buffers in the FAIL lines; also tell retired buffers apart.
constexpr char DestinationName[] = "destination";
constexpr char StagingName[] = "staging buffer";

// The kinds of problem; each is reported at most once per frame size.
enum ProblemKind {
  DestinationWrite,
  DestinationRead,
  StagingReadBefore,
  StagingReadAfter,
  StagingWriteOutside,
  StagingChanged,
  RequestChanged,
  KeepsDestination,
  KeepsStaging,
  OutputDiffers,
  ProblemKinds
};

int ProblemCount = 0;
bool Reported[ProblemKinds];

// One FAIL line for a problem at this frame size, unless this kind was reported for it
// already.
__attribute__((format(printf, 3, 4))) void Problem(const FrameSize& size, ProblemKind kind, const char* format, ...)
{
  if (Reported[kind])
    return;
  Reported[kind] = true;
  ++ProblemCount;
  std::printf("FAIL %lux%lu: ", static_cast<unsigned long>(size.width), static_cast<unsigned long>(size.height));
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::putchar('\n');
}

uint32_t DestinationPitch(uint32_t width)
{
  return (2 * width + PitchAlign - 1) / PitchAlign * PitchAlign + PitchPadding;
}

// Faults in the guard pages of this call's destination.
void ReportDestinationFaults(const FrameSize& size, const GuardedBuffer& dst, uint32_t pitch)
{
  for (GuardSide side : {GuardBefore, GuardAfter}) {
    const GuardFaults& f = dst.faults[side];
    for (const bool write : {true, false}) {
      const char* address = write ? f.firstWrite : f.firstRead;
      if (!address)
        continue;
      const ProblemKind kind = write ? DestinationWrite : DestinationRead;
      const char* what = write ? "writes outside the destination rectangle" : "reads outside the destination";
      if (side == GuardBefore) {
        Problem(size, kind, "%s (%lu bytes before the first row)", what,
                static_cast<unsigned long>(dst.data - address));
      } else {
        const size_t offset = static_cast<size_t>(address - dst.data);
        Problem(size, kind, "%s (row %lu, byte %lu: below the last row)", what,
                static_cast<unsigned long>(offset / pitch), static_cast<unsigned long>(offset % pitch));
      }
    }
  }
}

// Sentinel bytes changed in the destination's pages: before the first row, or in the
// padding at the end of a row.
void ReportDestinationSentinels(const FrameSize& size, const GuardedBuffer& dst, uint32_t pitch, uint8_t sentinel)
{
  const size_t rowBytes = 2 * size_t(size.width);
  const size_t lead = static_cast<size_t>(dst.data - dst.body);
  size_t changed = 0, first = 0;
  for (size_t i = 0; i < dst.bodyBytes; ++i) {
    if (i >= lead && (i - lead) % pitch < rowBytes)
      continue;  // a pixel of the rectangle
    if (static_cast<uint8_t>(dst.body[i]) != sentinel && changed++ == 0)
      first = i;
  }
  if (!changed)
    return;
  if (first < lead) {
    Problem(size, DestinationWrite, "writes outside the destination rectangle (%lu bytes changed, the first %lu bytes "
            "before the first row)", static_cast<unsigned long>(changed), static_cast<unsigned long>(lead - first));
  } else {
    const size_t offset = first - lead;
    Problem(size, DestinationWrite, "writes outside the destination rectangle (%lu bytes changed, the first in row "
            "%lu, %lu bytes past the row's end)", static_cast<unsigned long>(changed),
            static_cast<unsigned long>(offset / pitch), static_cast<unsigned long>(offset % pitch - rowBytes));
  }
}

// Faults around the staging buffer, and changes inside its pages.
void ReportStaging(const FrameSize& size, const GuardedBuffer& staging, const std::vector<char>& before)
{
  const GuardFaults& above = staging.faults[GuardBefore];
  const GuardFaults& below = staging.faults[GuardAfter];
  if (above.firstRead)
    Problem(size, StagingReadBefore, "reads outside the staging buffer (%lu bytes before it: above its %lu zero rows)",
            static_cast<unsigned long>(staging.data - above.firstRead), static_cast<unsigned long>(ZeroRowsAbove));
  if (below.firstRead)
    Problem(size, StagingReadAfter, "reads outside the staging buffer (%lu bytes past its end)",
            static_cast<unsigned long>(below.firstRead - (staging.data + staging.dataBytes)));
  if (above.firstWrite || below.firstWrite)
    Problem(size, StagingWriteOutside, "writes outside the staging buffer (in the guard page %s it)",
            above.firstWrite ? "before" : "after");
  // The rest of the staging buffer's pages were zero.
  size_t outside = 0;
  for (size_t i = 0; i < staging.bodyBytes; ++i) {
    const char* p = staging.body + i;
    if ((p < staging.data || p >= staging.data + staging.dataBytes) && *p != 0)
      ++outside;
  }
  if (outside)
    Problem(size, StagingWriteOutside, "writes outside the staging buffer (%lu bytes next to it changed)",
            static_cast<unsigned long>(outside));
  size_t changed = 0;
  for (size_t i = 0; i < staging.dataBytes; ++i)
    changed += staging.data[i] != before[i];
  if (changed)
    Problem(size, StagingChanged, "writes into the staging buffer (%lu bytes of the source image or its zero margins "
            "changed)", static_cast<unsigned long>(changed));
}

// Accesses to buffers of earlier calls: the plugin kept pDst or pSrc.
void ReportRetired(const FrameSize& size, const GuardedBuffer* dst, const GuardedBuffer* staging)
{
  for (int i = 0; i < GuardedBufferCount(); ++i) {
    const GuardedBuffer& b = *GuardedBufferAt(i);
    const GuardFaults& f = b.faults[GuardRetired];
    if (&b == dst || &b == staging || (!f.firstRead && !f.firstWrite))
      continue;
    const bool destination = b.what == DestinationName;
    Problem(size, destination ? KeepsDestination : KeepsStaging, "%s an earlier call's %s (keeps %s)",
            f.firstWrite ? "writes into" : "reads", b.what, destination ? "pDst" : "pSrc");
  }
}

// One call of RenderPluginOutput on the test frame of this size, with fresh guarded
// buffers; reports what went wrong and leaves the destination rectangle in `output`.
// False (with an error line) when the tool could not obtain its buffers.
bool CheckedCall(const Plugin& plugin, const FrameSize& size, Placement stagingPlacement, uint8_t sentinel,
                 std::vector<uint16_t>& output)
{
  const uint32_t pitch = DestinationPitch(size.width);
  const uint64_t stagingBytes = StagingBufferBytes(size.width, size.height);
  GuardedBuffer* dst = NewGuardedBuffer(DestinationName, size_t(size.height) * pitch, PlaceAtEnd, sentinel);
  GuardedBuffer* staging = NewGuardedBuffer(StagingName, static_cast<size_t>(stagingBytes), stagingPlacement, 0);
  if (!dst || !staging) {
    Error("no memory for the buffers of a %lux%lu frame", static_cast<unsigned long>(size.width),
          static_cast<unsigned long>(size.height));
    return false;
  }
  for (uint32_t y = 0; y < size.height; ++y) {
    uint16_t* row = reinterpret_cast<uint16_t*>(dst->data + size_t(y) * pitch);
    for (uint32_t x = 0; x < size.width; ++x)
      row[x] = TestPixel(x, y);
  }

  // The request and the source image exactly as the library makes them.
  PluginFrameRequest request;
  FillFrameRequest(request, staging->data, size.width, size.height, static_cast<int32_t>(pitch), plugin.flags);
  SampleDown(dst->data, pitch, plugin.scale, const_cast<void*>(request.pSrc), request.dwSrcPitch, request.dwSrcWidth,
             request.dwSrcHeight);
  request.pDst = dst->data;
  const PluginFrameRequest requestBefore = request;
  const std::vector<char> stagingBefore(staging->data, staging->data + staging->dataBytes);

  SetCrashContext("FAIL %lux%lu: the plugin crashed", static_cast<unsigned long>(size.width),
                  static_cast<unsigned long>(size.height));
  ClearGuardFaults();
  plugin.output(&request);
  CloseGuards();
  SetCrashContext("rpitool: the plugin crashed");

  ReportDestinationFaults(size, *dst, pitch);
  ReportDestinationSentinels(size, *dst, pitch, sentinel);
  ReportStaging(size, *staging, stagingBefore);
  if (std::memcmp(&request, &requestBefore, sizeof request) != 0)
    Problem(size, RequestChanged, "writes into the request");
  ReportRetired(size, dst, staging);

  output.resize(size_t(size.width) * size.height);
  for (uint32_t y = 0; y < size.height; ++y)
    std::memcpy(&output[size_t(y) * size.width], dst->data + size_t(y) * pitch, 2 * size_t(size.width));
  RetireGuardedBuffer(dst);
  RetireGuardedBuffer(staging);
  return true;
}

}  // namespace

int CommandCheck(int argc, char** argv)
{
  if (argc != 1)
    return Error("usage: rpitool check PLUGIN");
  Plugin plugin;
  if (!LoadPlugin(argv[0], plugin))
    return ExitError;
  std::printf("plugin: %s (flags 0x%08lx, s = %lu)\n", plugin.name, static_cast<unsigned long>(plugin.flags),
              static_cast<unsigned long>(plugin.scale));
  if (!plugin.nameTerminated) {
    ++ProblemCount;
    std::printf("FAIL descriptor: name not terminated within its %d bytes\n", RPI_NAME_SIZE);
  }

  if (!plugin.output) {
    std::printf("note: no RenderPluginOutput export (allowed: frames reach the screen as rendered)\n");
  } else {
    InstallGuardHandler();
    for (const FrameSize& size : CheckSizes) {
      std::memset(Reported, 0, sizeof Reported);
      const int problemsBefore = ProblemCount;
      std::vector<uint16_t> first, second;
      if (!CheckedCall(plugin, size, PlaceAtStart, SentinelFirst, first) ||
          !CheckedCall(plugin, size, PlaceAtEnd, SentinelSecond, second))
        return ExitError;
      size_t differing = 0, at = 0;
      for (size_t i = 0; i < first.size(); ++i)
        if (first[i] != second[i] && differing++ == 0)
          at = i;
      if (differing)
        Problem(size, OutputDiffers, "output differs between two calls on the same frame (%lu pixels, the first at "
                "(%lu, %lu))", static_cast<unsigned long>(differing), static_cast<unsigned long>(at % size.width),
                static_cast<unsigned long>(at / size.width));
      if (ProblemCount == problemsBefore)
        std::printf("ok %lux%lu (source %lux%lu)\n", static_cast<unsigned long>(size.width),
                    static_cast<unsigned long>(size.height), static_cast<unsigned long>(size.width / plugin.scale),
                    static_cast<unsigned long>(size.height / plugin.scale));
    }
  }
  if (ProblemCount) {
    std::printf("result: FAIL (%d problem%s)\n", ProblemCount, ProblemCount == 1 ? "" : "s");
    return ExitProblems;
  }
  std::printf("result: PASS\n");
  return ExitOk;
}
