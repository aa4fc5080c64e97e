// The whole job end to end: a host on Wine's real Direct3D 9 loads the built library,
// creates its device through it and presents frames with a known pattern; what the
// back buffer holds after Present (copy swap effect) must be exactly what the test
// plugin writes from the sampled-down frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "hosts/pattern.h"
#include "plugins/test_plugin.h"
#include "testing.h"

namespace {

// A host's working directory, and the frames it dumped there.
struct Scene : HostScene {
  using HostScene::HostScene;
  std::vector<uint16_t> Dump(const std::string& name)
  {
    const std::string bytes = ReadFileBytes(dir / name);
    std::vector<uint16_t> pixels(bytes.size() / 2);
    std::memcpy(pixels.data(), bytes.data(), pixels.size() * 2);
    return pixels;
  }
};

std::vector<uint16_t> Rendered(uint32_t w, uint32_t h, uint32_t seed)
{
  std::vector<uint16_t> pixels(size_t(w) * h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      pixels[size_t(y) * w + x] = Pattern(x, y, seed);
  return pixels;
}

// What the test plugin makes of a rendered frame at factor s.
std::vector<uint16_t> Filtered(uint32_t w, uint32_t h, uint32_t seed, uint32_t s)
{
  std::vector<uint16_t> pixels(size_t(w) * h);
  const auto source = [seed](uint32_t x, uint32_t y) { return Pattern(x, y, seed); };
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      pixels[size_t(y) * w + x] = ExpectedTestFrame(source, x, y, s, w, h);
  return pixels;
}

// The first differing pixel, for a readable failure.
std::string FirstDifference(const std::vector<uint16_t>& actual, const std::vector<uint16_t>& expected, uint32_t w)
{
  if (actual.size() != expected.size())
    return "size " + std::to_string(actual.size()) + " instead of " + std::to_string(expected.size());
  for (size_t i = 0; i < actual.size(); ++i)
    if (actual[i] != expected[i])
      return "pixel (" + std::to_string(i % w) + ", " + std::to_string(i / w) + "): " + std::to_string(actual[i]) +
             " instead of " + std::to_string(expected[i]);
  return "";
}

TEST(Frames, EachFrameComesOutAsThePluginWroteItFromTheSampledDownImage)
{
  const struct {
    const char* plugin;
    uint32_t s, w, h;
  } cases[] = {
      {"tp_s2", 2, 640, 480}, {"tp_s3", 3, 640, 480}, {"tp_s4", 4, 640, 480},
      {"tp_s2", 2, 637, 479},  // neither width nor height a multiple of 8 or of s
      {"tp_s3", 3, 635, 478}, {"tp_s4", 4, 254, 227},
  };
  for (const auto& c : cases) {
    const std::string size = std::to_string(c.w) + "," + std::to_string(c.h);
    SCOPED_TRACE(std::string(c.plugin) + " " + size);
    Scene scene({c.plugin}, {"default_filter=plugins/" + std::string(c.plugin) + ".rpi"});
    const ProcessResult run = scene.Run("window device:" + size + " frame:7 dump:a.bin frame:8 dump:b.bin");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValue(run.output, "rt_format"), "23");
    EXPECT_EQ(FirstDifference(scene.Dump("a.bin"), Filtered(c.w, c.h, 7, c.s), c.w), "");
    EXPECT_EQ(FirstDifference(scene.Dump("b.bin"), Filtered(c.w, c.h, 8, c.s), c.w), "");
  }
}

TEST(Frames, WithNoneOrAPluginWithoutOutputTheFrameIsTheHostsOwn)
{
  const struct {
    const char* name;
    const char* filter;
    bool readBack;  // the frame makes the round trip through system memory
  } cases[] = {{"None", "", false}, {"no RenderPluginOutput", "plugins/tp_nooutput.rpi", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scene scene({"tp_s2", "tp_nooutput"}, {"log=1", std::string("default_filter=") + c.filter});
    const ProcessResult run = scene.Run("window device:320,240 frame:3 dump:a.bin");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(FirstDifference(scene.Dump("a.bin"), Rendered(320, 240, 3), 320), "");
    const std::vector<std::string> log = ReadLog(scene.dir.path());
    const auto has = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); };
    EXPECT_EQ(has("UpdateSurface success .\\functions.cpp 385 "), c.readBack);
    EXPECT_FALSE(has("RendOutput success .\\functions.cpp 380 "));
    EXPECT_TRUE(has("PresentOrg success .\\functions.cpp 395 "));
  }
}

TEST(Frames, SwitchingPluginsThroughTheMenuChangesTheNextFrame)
{
  Scene scene({"tp_s2", "tp_s3", "tp_s4"}, {"default_filter=plugins/tp_s2.rpi"});
  const ProcessResult run = scene.Run(
      "window device:320,240 frame:1 dump:a.bin choose:Test_s3 frame:2 dump:b.bin choose:None frame:3 dump:c.bin "
      "choose:Test_s4 frame:4 dump:d.bin rtref");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(FirstDifference(scene.Dump("a.bin"), Filtered(320, 240, 1, 2), 320), "");
  EXPECT_EQ(FirstDifference(scene.Dump("b.bin"), Filtered(320, 240, 2, 3), 320), "");
  EXPECT_EQ(FirstDifference(scene.Dump("c.bin"), Rendered(320, 240, 3), 320), "");
  EXPECT_EQ(FirstDifference(scene.Dump("d.bin"), Filtered(320, 240, 4, 4), 320), "");
  char filter[MAX_PATH];
  GetPrivateProfileStringA("options", "default_filter", "", filter, MAX_PATH, (scene.dir / "filters.ini").c_str());
  EXPECT_STREQ(filter, "plugins/tp_s4.rpi");
}

TEST(Frames, FilteringTakesNoLastingReferenceOnTheRenderTarget)
{
  Scene scene({"tp_s2"}, {"default_filter=plugins/tp_s2.rpi"});
  const ProcessResult run = scene.Run("window device:160,120 rtref frame frame frame rtref");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  std::vector<std::string> counts;
  for (const std::string& line : SplitLines(run.output))
    if (line.rfind("rtref=", 0) == 0)
      counts.push_back(line);
  ASSERT_EQ(counts.size(), 2u);
  EXPECT_EQ(counts[0], counts[1]);
}

// ---- device creation on the real system ----


TEST(DeviceCreation, R5G6B5IsForcedAlsoWhenTheCreationFailsAndTheMenuWaitsForASuccess)
{
  Scene scene({"tp_s2", "tp_s3"}, {"log=1", "default_filter=plugins/tp_s3.rpi"});
  const ProcessResult run = scene.Run("window device:320,240,fail menu device:320,240 menu frame:5 dump:a.bin");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  const std::vector<std::string> hr = OutputValues(run.output, "device_hr");
  ASSERT_EQ(hr.size(), 2u);
  EXPECT_EQ(hr[0], "0x8876086c") << "D3DERR_INVALIDCALL for adapter 99";
  EXPECT_EQ(hr[1], "0x00000000");
  EXPECT_EQ(OutputValues(run.output, "bbformat"), (std::vector<std::string>{"23", "23"}));
  EXPECT_EQ(OutputValues(run.output, "device")[0], NullPointerText);
  EXPECT_EQ(OutputValues(run.output, "popups"), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(FirstDifference(scene.Dump("a.bin"), Filtered(320, 240, 5, 3), 320), "");

  const std::vector<std::string> log = ReadLog(scene.dir.path());
  const auto at = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
  EXPECT_LT(at("CreateDevice failed .\\functions.cpp 280 "), at("CreateDevice success .\\functions.cpp 241 "));
  EXPECT_LT(at("CreateDevice success .\\functions.cpp 241 "), at("CreatePluginsMenu .\\menu.cpp 145 "));
  EXPECT_LT(at("CreatePluginsMenu .\\menu.cpp 145 "), static_cast<long>(log.size()));
}

TEST(DeviceCreation, ASecondDeviceIsMeasuredAndFilteredAgainWithoutASecondMenu)
{
  Scene scene({"tp_s2"}, {"log=1", "default_filter=plugins/tp_s2.rpi"});
  const ProcessResult run =
      scene.Run("window device:640,480 frame:1 release device:200,150 menu frame:2 dump:a.bin");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValues(run.output, "popups"), std::vector<std::string>{"1"});
  EXPECT_EQ(FirstDifference(scene.Dump("a.bin"), Filtered(200, 150, 2, 2), 200), "");
  const std::vector<std::string> log = ReadLog(scene.dir.path());
  EXPECT_EQ(std::count(log.begin(), log.end(), "CreatePluginsMenu .\\menu.cpp 145 "), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "GetRenderTarget success .\\functions.cpp 254 "), 2);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Width = 640"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Width = 200"), 1);
  // Present is patched once: both devices share Wine's method table.
  EXPECT_EQ(std::count(log.begin(), log.end(), "HookPresent .\\Hook.cpp 89 "), 2);
  EXPECT_EQ(std::count(log.begin(), log.end(), "VirtualProtect PAGE_READWRITE success .\\Hook.cpp 107 "), 1);
}

TEST(DeviceCreation, WindowResizeModeEnlargesTheWindowAndRestoresTheSavedPlacement)
{
  const struct {
    const char* name;
    std::vector<std::string> settings;
    std::string rectAfter;  // "" : the window's size grew by 10 x 20
  } cases[] = {
      {"additions only", {"window_resize=1", "window_resize_add_width=10", "window_resize_add_height=20"}, ""},
      {"saved placement",
       {"window_resize=1", "window_resize_add_width=10", "window_resize_add_height=20", "left=90", "top=60",
        "width=500", "height=400"},
       "90,60,590,460"},
      {"placement without window-resize mode", {"left=90", "top=60", "width=500", "height=400"}, "same"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scene scene({}, c.settings);
    const ProcessResult run = scene.Run("window rect device:320,240 rect");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    const std::vector<std::string> rects = OutputValues(run.output, "rect");
    ASSERT_EQ(rects.size(), 2u);
    if (c.rectAfter == "same") {
      EXPECT_EQ(rects[1], rects[0]);
    } else if (!c.rectAfter.empty()) {
      EXPECT_EQ(rects[1], c.rectAfter);
    } else {
      int l0, t0, r0, b0, l1, t1, r1, b1;
      std::sscanf(rects[0].c_str(), "%d,%d,%d,%d", &l0, &t0, &r0, &b0);
      std::sscanf(rects[1].c_str(), "%d,%d,%d,%d", &l1, &t1, &r1, &b1);
      EXPECT_EQ(l1, l0);
      EXPECT_EQ(t1, t0);
      EXPECT_EQ(r1 - l1, r0 - l0 + 10);
      EXPECT_EQ(b1 - t1, b0 - t0 + 20);
    }
  }
}

TEST(DeviceCreation, TheHostsGetClientRectReportsTheRenderTargetOnceADeviceExists)
{
  Scene scene({}, {"window_resize=1", "window_add_height=24"});
  const ProcessResult run = scene.Run("window device:640,480 clientrect device:320,200 clientrect");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValues(run.output, "client"), (std::vector<std::string>{"0,0,640,504", "0,0,320,224"}));
}

}  // namespace
