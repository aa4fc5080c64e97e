// The shared plugin code, built natively: descriptors, the checks of a frame request,
// odd frame sizes, and working memory kept across frames.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "image.h"
#include "kernels/registry.h"
#include "plugin_wrapper.h"

namespace {

// The menu names and flags the bundled plugins must report, written out.
struct ExpectedDescriptor {
  const char* fileName;
  const char* name;
  uint32_t flags;
};
const ExpectedDescriptor kExpectedDescriptors[] = {
    {"nearest2x", "Nearest 2x", 0},
    {"nearest3x", "Nearest 3x", 0x30000},
    {"nearest4x", "Nearest 4x", 0x40000},
    {"scale2x", "Scale2x", 0},
    {"scale3x", "Scale3x", 0x30000},
    {"scale4x", "Scale4x", 0x40000},
    {"mmpx2x", "MMPX 2x", 0},
    {"xbr2x", "xBR 2x", 0},
    {"xbr3x", "xBR 3x", 0x30000},
    {"xbr4x", "xBR 4x", 0x40000},
    {"scanlines2x", "Scanlines 2x", 0},
    {"hq2x", "hq2x", 0},
    {"hq3x", "hq3x", 0x30000},
    {"hq4x", "hq4x", 0x40000},
    {"2xsai", "2xSaI", 0},
    {"super2xsai", "Super 2xSaI", 0},
    {"supereagle", "Super Eagle", 0},
    {"lcd3x", "LCD 3x", 0x30000},
};

TEST(PluginDescriptor, NamesAndFlagsOfEveryBundledPlugin) {
  ASSERT_EQ(kAllFilterCount, sizeof(kExpectedDescriptors) / sizeof(kExpectedDescriptors[0]));
  for (size_t i = 0; i < kAllFilterCount; ++i) {
    const ExpectedDescriptor& expected = kExpectedDescriptors[i];
    const FilterInfo& f = *kAllFilters[i];
    EXPECT_STREQ(f.fileName, expected.fileName);
    PluginDescriptor d = MakeDescriptor(f);
    EXPECT_STREQ(d.szName, expected.name);
    EXPECT_EQ(d.dwFlags, expected.flags) << expected.name;
    // The flags select the scale the filter works at, as the library decodes them.
    unsigned decoded = (d.dwFlags & RPI_FLAG_SCALE4) ? 4 : (d.dwFlags & RPI_FLAG_SCALE3_BITS) == RPI_FLAG_SCALE3_BITS ? 3 : 2;
    EXPECT_EQ(decoded, f.scale) << expected.name;
    // Every byte after the terminator is zero.
    size_t length = strlen(d.szName);
    for (size_t k = length; k < RPI_NAME_SIZE; ++k) EXPECT_EQ(d.szName[k], 0);
  }
}

// A frame as the library would pass it: a packed source, and a destination of the
// frame's full size with a pitch wider than its rows, all inside a buffer whose extra
// bytes are checked.
struct Frame {
  Image source;
  std::vector<uint16_t> destination;
  unsigned frameWidth, frameHeight, dstPitch;  // pixels
  PluginFrameRequest request;
};

const uint16_t kRendered = 0x4321;  // what the program rendered: the destination's content

void MakeFrame(Frame& frame, unsigned scale, unsigned frameWidth, unsigned frameHeight, uint32_t seed) {
  frame.frameWidth = frameWidth;
  frame.frameHeight = frameHeight;
  frame.dstPitch = frameWidth + 3;
  frame.source = RandomImage(frameWidth / scale, frameHeight / scale, 3, seed);
  frame.destination.assign((size_t)frame.dstPitch * frameHeight, kRendered);
  memset(&frame.request, 0, sizeof(frame.request));
  frame.request.dwSize = sizeof(PluginFrameRequest);
  frame.request.dwFlags = RPI_REQUEST_ALWAYS;
  frame.request.pSrc = frame.source.pixels.data();
  frame.request.dwSrcPitch = (uint32_t)frame.source.pitchBytes();
  frame.request.dwSrcWidth = frame.source.width;
  frame.request.dwSrcHeight = frame.source.height;
  frame.request.pDst = frame.destination.data();
  frame.request.dwDstPitch = frame.dstPitch * sizeof(uint16_t);
  frame.request.dwDstWidth = frameWidth;
  frame.request.dwDstHeight = frameHeight;
}

bool DestinationUntouched(const Frame& frame) {
  for (uint16_t p : frame.destination)
    if (p != kRendered) return false;
  return true;
}

TEST(PluginRender, FillsTheScaledRectangleAndLeavesTheRestAsRendered) {
  // Frame sizes that are not multiples of the scale leave s - 1 columns and rows over.
  for (size_t i = 0; i < kAllFilterCount; ++i) {
    const FilterInfo& f = *kAllFilters[i];
    Frame frame;
    MakeFrame(frame, f.scale, 8 * f.scale + f.scale - 1, 5 * f.scale + f.scale - 1, 40 + (uint32_t)i);
    PluginRender(f, &frame.request);
    Image expected = RunKernel(f, f.scalar, frame.source);
    for (unsigned y = 0; y < frame.frameHeight; ++y) {
      for (unsigned x = 0; x < frame.dstPitch; ++x) {
        uint16_t actual = frame.destination[(size_t)y * frame.dstPitch + x];
        bool covered = x < expected.width && y < expected.height;
        ASSERT_EQ(actual, covered ? expected.at(x, y) : kRendered) << f.fileName << " at (" << x << ", " << y << ")";
      }
    }
  }
}

// Each case spoils one part of a valid request; the plugin must then leave the frame
// alone.
struct BadRequest {
  const char* what;
  std::function<void(PluginFrameRequest&)> spoil;
};

TEST(PluginRender, IgnoresRequestsThatDoNotFit) {
  const BadRequest kCases[] = {
      {"dwSize of the other pointer width", [](PluginFrameRequest& r) { r.dwSize = sizeof(r) == 64 ? 48 : 64; }},
      {"dwSize zero", [](PluginFrameRequest& r) { r.dwSize = 0; }},
      {"no source", [](PluginFrameRequest& r) { r.pSrc = nullptr; }},
      {"no destination", [](PluginFrameRequest& r) { r.pDst = nullptr; }},
      {"odd source address", [](PluginFrameRequest& r) { r.pSrc = (const uint8_t*)r.pSrc + 1; }},
      {"zero source width", [](PluginFrameRequest& r) { r.dwSrcWidth = 0; }},
      {"zero source height", [](PluginFrameRequest& r) { r.dwSrcHeight = 0; }},
      {"source pitch shorter than a row", [](PluginFrameRequest& r) { r.dwSrcPitch = 2 * r.dwSrcWidth - 2; }},
      {"odd source pitch", [](PluginFrameRequest& r) { r.dwSrcPitch += 1; }},
      {"destination one column too narrow", [](PluginFrameRequest& r) { r.dwDstWidth = 3 * r.dwSrcWidth - 1; }},
      {"destination one row too short", [](PluginFrameRequest& r) { r.dwDstHeight = 3 * r.dwSrcHeight - 1; }},
      {"destination pitch shorter than a row", [](PluginFrameRequest& r) { r.dwDstPitch = 2 * r.dwDstWidth - 2; }},
      {"source wider than any frame", [](PluginFrameRequest& r) { r.dwSrcWidth = kMaxSourceSide + 1; }},
      {"sizes whose product wraps", [](PluginFrameRequest& r) {
         r.dwSrcWidth = 0x80000000u, r.dwDstWidth = 0x80000000u;
       }},
  };
  for (const BadRequest& c : kCases) {
    Frame frame;
    MakeFrame(frame, 3, 3 * 7, 3 * 4, 9);
    c.spoil(frame.request);
    PluginRender(kScale3x, &frame.request);
    EXPECT_TRUE(DestinationUntouched(frame)) << c.what;
  }
  PluginRender(kScale3x, nullptr);  // must simply return
}

TEST(PluginRender, AcceptsAValidRequestOfEachScale) {
  for (const FilterInfo* f : {&kNearest2x, &kScale3x, &kXbr4x}) {
    Frame frame;
    MakeFrame(frame, f->scale, 6 * f->scale, 4 * f->scale, 3);
    EXPECT_TRUE(PluginRequestFits(&frame.request, f->scale)) << f->fileName;
    PluginRender(*f, &frame.request);
    EXPECT_FALSE(DestinationUntouched(frame)) << f->fileName;
  }
}

// The working memory of the largest accepted source fits 32 bits (the i686 plugins'
// size_t), so its size can never wrap there.
TEST(PluginRender, WorkingMemoryOfTheLargestSourceFits32Bits) {
  static_assert(sizeof(size_t) == 8, "computed without wrapping on a 64-bit build");
  for (size_t i = 0; i < kAllFilterCount; ++i) {
    const FilterInfo& f = *kAllFilters[i];
    if (f.workBytes == nullptr) continue;
    EXPECT_LT(f.workBytes(kMaxSourceSide, kMaxSourceSide), (size_t)1 << 32) << f.fileName;
  }
}

TEST(PluginRender, ObtainsWorkingMemoryOncePerSourceSize) {
  Frame small, large;
  MakeFrame(small, 2, 40, 30, 1);
  MakeFrame(large, 2, 64, 48, 2);
  unsigned before = PluginWorkAllocationCount();
  for (int frameNumber = 0; frameNumber < 5; ++frameNumber) PluginRender(kMmpx2x, &small.request);
  EXPECT_EQ(PluginWorkAllocationCount(), before + 1);
  for (int frameNumber = 0; frameNumber < 5; ++frameNumber) PluginRender(kMmpx2x, &large.request);
  EXPECT_EQ(PluginWorkAllocationCount(), before + 2);
  // Filters without working memory obtain none.
  PluginRender(kNearest2x, &small.request);
  EXPECT_EQ(PluginWorkAllocationCount(), before + 2);
}

}  // namespace
