// Activation of a render plugin: the scale, the request and the staging buffer, built
// by the library's Activate from real plugin DLLs and a back buffer's geometry, and the
// current activation that frames use, rebuilt by SelectPlugin and InitPlugin.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "library_log.h"
#include "src/activation.h"
#include "src/frame_filter.h"
#include "testing.h"

namespace {

HMODULE LoadTestPlugin(const std::string& name)
{
  const std::string path = JoinPath(TestDataDir(), "plugins\\" + name + ".rpi");
  HMODULE module = LoadLibraryA(path.c_str());
  EXPECT_NE(module, nullptr) << path;
  return module;
}

SurfaceGeometryRecord Geometry(UINT width, UINT height, INT pitch)
{
  SurfaceGeometryRecord geometry = {};
  geometry.Desc.Format = D3DFMT_R5G6B5;
  geometry.Desc.Width = width;
  geometry.Desc.Height = height;
  geometry.Pitch = pitch;
  return geometry;
}

class ActivationTest : public testing::Test {
 protected:
  void SetUp() override
  {
    OpenLibraryLog();
    SelectPlugin(nullptr);
  }
  void TearDown() override { SelectPlugin(nullptr); }
};

TEST_F(ActivationTest, ScaleFollowsTheDescriptorFlags)
{
  const struct {
    const char* plugin;
    int scale;
  } cases[] = {{"tp_s2", 2},     {"tp_s2_low", 2},  {"tp_s2_high", 2}, {"tp_s3", 3},
               {"tp_s4", 4},     {"tp_s4_low", 4},  {"tp_s4_high", 4}, {"tp_s4_both", 4}};
  for (const auto& c : cases) {
    const Activation a = Activate(LoadTestPlugin(c.plugin), Geometry(640, 480, 1280));
    EXPECT_EQ(a.scale, static_cast<uint32_t>(c.scale)) << c.plugin;
    EXPECT_EQ(a.request.dwSrcWidth, 640u / c.scale) << c.plugin;
    EXPECT_EQ(a.request.dwSrcHeight, 480u / c.scale) << c.plugin;
  }
}

TEST_F(ActivationTest, OnlyFlag100ReachesTheRequestAnd800IsAlwaysSet)
{
  EXPECT_EQ(Activate(LoadTestPlugin("tp_s2"), Geometry(64, 48, 128)).request.dwFlags, 0x800u);
  // descriptor flags 0x80000300
  EXPECT_EQ(Activate(LoadTestPlugin("tp_user"), Geometry(64, 48, 128)).request.dwFlags, 0x900u);
}

struct RequestCase {
  const char* plugin;
  UINT width, height;
  INT pitch;
  uint32_t srcWidth, srcHeight, srcPitch;
  size_t srcOffset;     // pSrc - the staging buffer
  size_t bufferSize;    // (H + 4) * W * 4
};

TEST_F(ActivationTest, TheRequestDescribesTheStagingImageAndTheDestination)
{
  const RequestCase cases[] = {
      {"tp_s2", 640, 480, 1280, 320, 240, 640, 2560, 1239040},
      {"tp_s3", 640, 480, 1280, 213, 160, 426, 1704, 1239040},
      {"tp_s4", 256, 224, 512, 64, 56, 128, 512, 233472},
      {"tp_s3", 97, 50, 200, 32, 16, 64, 256, 20952},  // pitch wider than the row
  };
  for (const RequestCase& c : cases) {
    SCOPED_TRACE(std::string(c.plugin) + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
    const Activation a = Activate(LoadTestPlugin(c.plugin), Geometry(c.width, c.height, c.pitch));
    ASSERT_NE(a.staging.data(), nullptr);
    EXPECT_EQ(a.staging.size(), c.bufferSize);
    const PluginFrameRequest& r = a.request;
    EXPECT_EQ(r.dwSize, sizeof(PluginFrameRequest));
    EXPECT_EQ(r.dwFlags, 0x800u);
    EXPECT_EQ(static_cast<const char*>(r.pSrc) - static_cast<char*>(a.staging.data()),
              static_cast<ptrdiff_t>(c.srcOffset));
    EXPECT_EQ(r.dwSrcPitch, c.srcPitch);
    EXPECT_EQ(r.dwSrcWidth, c.srcWidth);
    EXPECT_EQ(r.dwSrcHeight, c.srcHeight);
    EXPECT_EQ(r.pDst, nullptr);
    EXPECT_EQ(r.dwDstPitch, static_cast<uint32_t>(c.pitch));
    EXPECT_EQ(r.dwDstWidth, c.width);
    EXPECT_EQ(r.dwDstHeight, c.height);
    EXPECT_EQ(r.dwReserved1, 0u);
    EXPECT_EQ(r.dwReserved2, 0u);
  }
}

TEST_F(ActivationTest, ThebufferIsCommittedZeroedReadWriteMemoryFromTheTop)
{
  const Activation a = Activate(LoadTestPlugin("tp_s2"), Geometry(320, 240, 640));
  void* const buffer = a.staging.data();
  const SIZE_T bufferSize = a.staging.size();
  ASSERT_NE(buffer, nullptr);

  MEMORY_BASIC_INFORMATION info;
  ASSERT_EQ(VirtualQuery(buffer, &info, sizeof info), sizeof info);
  EXPECT_EQ(info.AllocationBase, buffer);
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE));
  EXPECT_GE(info.RegionSize, bufferSize);

  // Top-down: above an ordinary allocation of the same size made now.
  void* ordinary = VirtualAlloc(nullptr, bufferSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  EXPECT_GT(reinterpret_cast<uintptr_t>(buffer), reinterpret_cast<uintptr_t>(ordinary));
  VirtualFree(ordinary, 0, MEM_RELEASE);

  const auto* bytes = static_cast<const unsigned char*>(buffer);
  size_t nonZero = 0;
  for (size_t i = 0; i < bufferSize; ++i)
    nonZero += bytes[i] != 0;
  EXPECT_EQ(nonZero, 0u);
}

TEST_F(ActivationTest, RepeatedActivationsKeepExactlyOneBufferAndGiveTheOldOneBack)
{
  SetMeasuredBackBuffer(Geometry(320, 240, 640));
  std::vector<const void*> earlier;
  for (const char* plugin : {"tp_s2", "tp_s2", "tp_s3", "tp_s4"}) {
    SelectPlugin(LoadTestPlugin(plugin));
    const void* buffer = CurrentActivation().staging;
    ASSERT_NE(buffer, nullptr);
    for (const void* old : earlier) {
      if (old == buffer)
        continue;  // the same address may come back once it was free
      MEMORY_BASIC_INFORMATION info;
      VirtualQuery(old, &info, sizeof info);
      EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE)) << plugin;
    }
    earlier.push_back(buffer);
  }
}

TEST_F(ActivationTest, AllZeroGeometryObtainsNoMemoryAndDescribesAnEmptyImage)
{
  SetMeasuredBackBuffer(Geometry(640, 480, 1280));
  SelectPlugin(LoadTestPlugin("tp_s3"));
  const void* previous = CurrentActivation().staging;

  SetMeasuredBackBuffer({});
  InitPlugin();
  const ActivationSummary now = CurrentActivation();
  EXPECT_EQ(now.staging, nullptr);
  MEMORY_BASIC_INFORMATION info;
  VirtualQuery(previous, &info, sizeof info);
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));
  PluginFrameRequest expected = {};
  expected.dwSize = sizeof(PluginFrameRequest);
  expected.dwFlags = 0x800;
  EXPECT_EQ(std::memcmp(&now.request, &expected, sizeof expected), 0);
  EXPECT_EQ(now.scale, 3u);
}

TEST_F(ActivationTest, WithNoPluginNothingChangesAndNothingIsLogged)
{
  SetMeasuredBackBuffer(Geometry(640, 480, 1280));
  SelectPlugin(LoadTestPlugin("tp_s4"));
  const ActivationSummary before = CurrentActivation();

  LogWatch log;
  const Activation none = Activate(nullptr, Geometry(320, 200, 640));
  EXPECT_EQ(none.module, nullptr);
  EXPECT_EQ(none.output, nullptr);
  EXPECT_EQ(none.staging.data(), nullptr);
  // Choosing "None" keeps the last activation, which frames then do not use.
  SelectPlugin(nullptr);
  SetMeasuredBackBuffer(Geometry(320, 200, 640));
  InitPlugin();
  EXPECT_EQ(log.Entries(), std::vector<std::string>{});
  const ActivationSummary after = CurrentActivation();
  EXPECT_EQ(std::memcmp(&after.request, &before.request, sizeof before.request), 0);
  EXPECT_EQ(after.staging, before.staging);
  EXPECT_EQ(after.output, before.output);
  EXPECT_EQ(after.scale, 4u);
  EXPECT_EQ(ActivePlugin(), nullptr);
}

TEST_F(ActivationTest, LogsItsTwoLinesAndAsksTheDescriptorEveryTime)
{
  HMODULE plugin = LoadTestPlugin("tp_s2");
  auto* infoCalls = reinterpret_cast<int*>(GetProcAddress(plugin, "TestPluginInfoCalls"));
  const int before = *infoCalls;
  LogWatch log;
  Activate(plugin, Geometry(64, 48, 128));
  Activate(plugin, Geometry(64, 48, 128));
  EXPECT_EQ(*infoCalls, before + 2);
  const std::vector<std::string> once = {"InitPlugin .\\functions.cpp 157 ",
                                         "InitPlugin success .\\functions.cpp 212 "};
  EXPECT_EQ(once, (std::vector<std::string>{Expected(LogPoints::InitPlugin), Expected(LogPoints::InitPluginSuccess)}));
  std::vector<std::string> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(log.Entries(), twice);
}

TEST_F(ActivationTest, APluginWithoutOutputIsActivatedWithNoOutputEntry)
{
  const Activation a = Activate(LoadTestPlugin("tp_nooutput"), Geometry(64, 48, 128));
  EXPECT_EQ(a.output, nullptr);
  EXPECT_NE(a.staging.data(), nullptr);
  EXPECT_EQ(a.request.dwSrcWidth, 32u);
}

// A module that lost its descriptor since the menu was built: an activation that
// filters nothing (frames then pass as rendered) and never calls the module.
TEST_F(ActivationTest, AModuleWithoutADescriptorIsRefusedAndNeverCalled)
{
  for (const char* bad : {"bad_noinfo", "bad_nullinfo"}) {
    SCOPED_TRACE(bad);
    LogWatch log;
    Activation a = Activate(LoadTestPlugin(bad), Geometry(640, 480, 1280));
    EXPECT_EQ(a.output, nullptr);
    EXPECT_EQ(a.staging.data(), nullptr);
    std::vector<uint16_t> frame(640 * 480, 0x1234);
    EXPECT_FALSE(FilterLockedFrame(a, frame.data(), 1280));
    EXPECT_EQ(std::count(frame.begin(), frame.end(), 0x1234), 640 * 480);
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{"InitPlugin .\\functions.cpp 157 ",
                                                        "InitPlugin refused: no descriptor"}));
  }
}

}  // namespace
