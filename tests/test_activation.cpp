// Activation of a render plugin: the scale, the request and the staging buffer, built
// by the library's InitPlugin from real plugin DLLs.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "library_log.h"
#include "src/functions.h"
#include "src/menu.h"
#include "testing.h"

namespace {

HMODULE LoadTestPlugin(const std::string& name)
{
  const std::string path = JoinPath(TestDataDir(), "plugins\\" + name + ".rpi");
  HMODULE module = LoadLibraryA(path.c_str());
  EXPECT_NE(module, nullptr) << path;
  return module;
}

void SetGeometry(UINT width, UINT height, INT pitch)
{
  SurfaceGeometry = {};
  SurfaceGeometry.Desc.Format = D3DFMT_R5G6B5;
  SurfaceGeometry.Desc.Width = width;
  SurfaceGeometry.Desc.Height = height;
  SurfaceGeometry.Pitch = pitch;
}

class Activation : public testing::Test {
 protected:
  void SetUp() override
  {
    OpenLibraryLog();
    hPlugin = nullptr;
  }
  void TearDown() override { hPlugin = nullptr; }
};

TEST_F(Activation, ScaleFollowsTheDescriptorFlags)
{
  const struct {
    const char* plugin;
    int scale;
  } cases[] = {{"tp_s2", 2},     {"tp_s2_low", 2},  {"tp_s2_high", 2}, {"tp_s3", 3},
               {"tp_s4", 4},     {"tp_s4_low", 4},  {"tp_s4_high", 4}, {"tp_s4_both", 4}};
  SetGeometry(640, 480, 1280);
  for (const auto& c : cases) {
    hPlugin = LoadTestPlugin(c.plugin);
    InitPlugin();
    EXPECT_EQ(ScaleFactor, c.scale) << c.plugin;
    EXPECT_EQ(FrameRequest.dwSrcWidth, 640u / c.scale) << c.plugin;
    EXPECT_EQ(FrameRequest.dwSrcHeight, 480u / c.scale) << c.plugin;
  }
}

TEST_F(Activation, OnlyFlag100ReachesTheRequestAnd800IsAlwaysSet)
{
  SetGeometry(64, 48, 128);
  hPlugin = LoadTestPlugin("tp_s2");
  InitPlugin();
  EXPECT_EQ(FrameRequest.dwFlags, 0x800u);
  hPlugin = LoadTestPlugin("tp_user");  // descriptor flags 0x80000300
  InitPlugin();
  EXPECT_EQ(FrameRequest.dwFlags, 0x900u);
}

struct RequestCase {
  const char* plugin;
  UINT width, height;
  INT pitch;
  uint32_t srcWidth, srcHeight, srcPitch;
  size_t srcOffset;     // pSrc - StagingBuffer
  size_t bufferSize;    // (H + 4) * W * 4
};

TEST_F(Activation, TheRequestDescribesTheStagingImageAndTheDestination)
{
  const RequestCase cases[] = {
      {"tp_s2", 640, 480, 1280, 320, 240, 640, 2560, 1239040},
      {"tp_s3", 640, 480, 1280, 213, 160, 426, 1704, 1239040},
      {"tp_s4", 256, 224, 512, 64, 56, 128, 512, 233472},
      {"tp_s3", 97, 50, 200, 32, 16, 64, 256, 20952},  // pitch wider than the row
  };
  for (const RequestCase& c : cases) {
    SCOPED_TRACE(std::string(c.plugin) + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
    SetGeometry(c.width, c.height, c.pitch);
    hPlugin = LoadTestPlugin(c.plugin);
    InitPlugin();
    ASSERT_NE(StagingBuffer, nullptr);
    EXPECT_EQ(StagingBufferSize, c.bufferSize);
    const PluginFrameRequest& r = FrameRequest;
    EXPECT_EQ(r.dwSize, sizeof(PluginFrameRequest));
    EXPECT_EQ(r.dwFlags, 0x800u);
    EXPECT_EQ(static_cast<const char*>(r.pSrc) - static_cast<char*>(StagingBuffer),
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

TEST_F(Activation, TheStagingBufferIsCommittedZeroedReadWriteMemoryFromTheTop)
{
  SetGeometry(320, 240, 640);
  hPlugin = LoadTestPlugin("tp_s2");
  InitPlugin();
  ASSERT_NE(StagingBuffer, nullptr);

  MEMORY_BASIC_INFORMATION info;
  ASSERT_EQ(VirtualQuery(StagingBuffer, &info, sizeof info), sizeof info);
  EXPECT_EQ(info.AllocationBase, StagingBuffer);
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE));
  EXPECT_GE(info.RegionSize, StagingBufferSize);

  // Top-down: above an ordinary allocation of the same size made now.
  void* ordinary = VirtualAlloc(nullptr, StagingBufferSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  EXPECT_GT(reinterpret_cast<uintptr_t>(StagingBuffer), reinterpret_cast<uintptr_t>(ordinary));
  VirtualFree(ordinary, 0, MEM_RELEASE);

  const auto* bytes = static_cast<const unsigned char*>(StagingBuffer);
  size_t nonZero = 0;
  for (size_t i = 0; i < StagingBufferSize; ++i)
    nonZero += bytes[i] != 0;
  EXPECT_EQ(nonZero, 0u);
}

TEST_F(Activation, RepeatedActivationsKeepExactlyOneBufferAndGiveTheOldOneBack)
{
  SetGeometry(320, 240, 640);
  std::vector<void*> earlier;
  for (const char* plugin : {"tp_s2", "tp_s2", "tp_s3", "tp_s4"}) {
    hPlugin = LoadTestPlugin(plugin);
    InitPlugin();
    ASSERT_NE(StagingBuffer, nullptr);
    for (void* old : earlier) {
      if (old == StagingBuffer)
        continue;  // the same address may come back once it was free
      MEMORY_BASIC_INFORMATION info;
      VirtualQuery(old, &info, sizeof info);
      EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE)) << plugin;
    }
    earlier.push_back(StagingBuffer);
  }
}

TEST_F(Activation, AllZeroGeometryObtainsNoMemoryAndDescribesAnEmptyImage)
{
  SetGeometry(640, 480, 1280);
  hPlugin = LoadTestPlugin("tp_s3");
  InitPlugin();
  void* previous = StagingBuffer;

  SurfaceGeometry = {};
  InitPlugin();
  EXPECT_EQ(StagingBuffer, nullptr);
  MEMORY_BASIC_INFORMATION info;
  VirtualQuery(previous, &info, sizeof info);
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));
  PluginFrameRequest expected = {};
  expected.dwSize = sizeof(PluginFrameRequest);
  expected.dwFlags = 0x800;
  EXPECT_EQ(std::memcmp(&FrameRequest, &expected, sizeof expected), 0);
  EXPECT_EQ(ScaleFactor, 3);
}

TEST_F(Activation, WithNoPluginNothingChangesAndNothingIsLogged)
{
  SetGeometry(640, 480, 1280);
  hPlugin = LoadTestPlugin("tp_s4");
  InitPlugin();
  const PluginFrameRequest before = FrameRequest;
  void* buffer = StagingBuffer;
  const auto output = PluginOutput;

  hPlugin = nullptr;
  SetGeometry(320, 200, 640);
  LogWatch log;
  InitPlugin();
  EXPECT_EQ(log.Entries(), std::vector<std::string>{});
  EXPECT_EQ(std::memcmp(&FrameRequest, &before, sizeof before), 0);
  EXPECT_EQ(StagingBuffer, buffer);
  EXPECT_EQ(PluginOutput, output);
  EXPECT_EQ(ScaleFactor, 4);
}

TEST_F(Activation, LogsItsTwoLinesAndAsksTheDescriptorEveryTime)
{
  SetGeometry(64, 48, 128);
  hPlugin = LoadTestPlugin("tp_s2");
  auto* infoCalls = reinterpret_cast<int*>(GetProcAddress(hPlugin, "TestPluginInfoCalls"));
  const int before = *infoCalls;
  LogWatch log;
  InitPlugin();
  InitPlugin();
  EXPECT_EQ(*infoCalls, before + 2);
  const std::vector<std::string> once = {"InitPlugin .\\functions.cpp 157 ",
                                         "InitPlugin success .\\functions.cpp 212 "};
  std::vector<std::string> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(log.Entries(), twice);
}

TEST_F(Activation, APluginWithoutOutputIsActivatedWithNoOutputEntry)
{
  SetGeometry(64, 48, 128);
  hPlugin = LoadTestPlugin("tp_nooutput");
  InitPlugin();
  EXPECT_NE(PluginGetInfo, nullptr);
  EXPECT_EQ(PluginOutput, nullptr);
  EXPECT_NE(StagingBuffer, nullptr);
  EXPECT_EQ(FrameRequest.dwSrcWidth, 32u);
}

TEST_F(Activation, AModuleWithoutADescriptorIsRefusedAndNeverCalled)
{
  for (const char* bad : {"bad_noinfo", "bad_nullinfo"}) {
    SCOPED_TRACE(bad);
    SetGeometry(64, 48, 128);
    hPlugin = LoadTestPlugin("tp_s3");
    InitPlugin();
    const PluginFrameRequest before = FrameRequest;
    void* buffer = StagingBuffer;

    hPlugin = LoadTestPlugin(bad);
    SetGeometry(640, 480, 1280);
    LogWatch log;
    InitPlugin();
    EXPECT_EQ(PluginOutput, nullptr);
    EXPECT_EQ(StagingBuffer, buffer);
    EXPECT_EQ(std::memcmp(&FrameRequest, &before, sizeof before), 0);
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{"InitPlugin .\\functions.cpp 157 ",
                                                        "InitPlugin refused: no descriptor"}));
  }
}

}  // namespace
