// Hosts beyond the menu-bar window: windows without a menu bar (the popup in the system
// menu), the cycling key, later device windows, every d3d9 export and the Ex path, a
// host modelled on SDL's Direct3D 9 renderer, and Unicode windows. End to end: host
// programs on Wine's real Direct3D 9 load the built library from beside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testing.h"

namespace {

constexpr char SysMinimize[] = "61472";  // SC_MINIMIZE

// A host's working directory, and what it holds after the run.
struct Scene : HostScene {
  using HostScene::HostScene;
  std::string Setting(const char* key)
  {
    char value[MAX_PATH] = {};
    GetPrivateProfileStringA("options", key, "<absent>", value, sizeof value, (dir / "filters.ini").c_str());
    return value;
  }
  // The plugin files in the order the platform's directory search gives them.
  std::vector<std::string> SearchOrder() { return FilesIn(dir / "plugins", "*.rpi"); }
};

std::string NameOf(const std::string& file)
{
  if (file == "tp_s2.rpi")
    return "Test s2";
  if (file == "tp_s3.rpi")
    return "Test s3";
  if (file == "tp_s4.rpi")
    return "Test s4";
  return "?";
}

// The items a popup shows, as the host prints them: "ID:TEXT:CHECKED", "None" first,
// then each plugin in search order; `checked` names the file with the mark ("" None).
std::vector<std::string> Items(const std::vector<std::string>& order, const std::string& checked, bool systemMenu)
{
  const auto id = [&](size_t n) { return std::to_string(systemMenu ? 50000 + 16 * n : 50000 + n); };
  std::vector<std::string> items = {id(0) + ":None:" + (checked.empty() ? "1" : "0")};
  for (size_t i = 0; i < order.size(); ++i)
    items.push_back(id(i + 1) + ":" + NameOf(order[i]) + ":" + (order[i] == checked ? "1" : "0"));
  return items;
}

// The output lines from the n-th "key=" line on (for the items after a listing).
std::vector<std::string> ListingAt(const std::string& output, const std::string& itemKey,
                                   const std::string& headKey, size_t n)
{
  std::vector<std::string> items;
  size_t heads = 0;
  bool in = false;
  for (const std::string& line : SplitLines(output)) {
    if (line.rfind(headKey + "=", 0) == 0) {
      if (in)
        break;
      in = heads++ == n;
      continue;
    }
    if (in && line.rfind(itemKey + "=", 0) == 0)
      items.push_back(line.substr(itemKey.size() + 1));
    else if (in)
      break;
  }
  return items;
}

std::vector<std::string> Repeat(const std::string& value, size_t n) { return std::vector<std::string>(n, value); }

// ---- a window without a menu bar ----

TEST(WindowWithoutMenuBar, GetsTheFilterAndThePopupInItsSystemMenuWithoutChangingItsClientArea)
{
  const struct {
    const char* name;
    std::string defaultFilter;  // file name, "" for None
    const char* firstScale;     // the factor of the first frame's filter ("0": unfiltered)
  } cases[] = {{"with default_filter", "tp_s2.rpi", "2"}, {"without default_filter", "", "0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scene scene({"tp_s2", "tp_s3"},
                {c.defaultFilter.empty() ? "log=0" : "default_filter=plugins/" + c.defaultFilter});
    const std::vector<std::string> order = scene.SearchOrder();
    const ProcessResult run =
        scene.Run("nobar client device:320,240 client frame:1 verify:" + std::string(c.firstScale) +
                  ",1 sysmenu syschoose:Test_s3 frame:2 verify:3,2 sysmenu syscmd:0x110 syschoose:None frame:3 "
                  "verify:0,3 menu syscmd:" + SysMinimize);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValue(run.output, "rt_format"), "23");
    EXPECT_EQ(OutputValues(run.output, "clientsize"), Repeat("640x480", 2)) << "the client area stays";
    EXPECT_EQ(OutputValues(run.output, "verify"), Repeat("ok", 3)) << run.output;
    EXPECT_EQ(OutputValues(run.output, "syspopups"), Repeat("1", 2));
    EXPECT_EQ(ListingAt(run.output, "sysitem", "syspopups", 0), Items(order, c.defaultFilter, true));
    EXPECT_EQ(ListingAt(run.output, "sysitem", "syspopups", 1), Items(order, "tp_s3.rpi", true));
    // Our items stay ours; the platform's and the host's own system commands reach the host.
    EXPECT_EQ(OutputValues(run.output, "host_syscmd"),
              (std::vector<std::string>{"none", "272", "none", SysMinimize}));
    EXPECT_EQ(OutputValue(run.output, "popups"), "0") << "no menu bar appears";
    EXPECT_EQ(scene.Setting("default_filter"), "");
  }
}

TEST(WindowWithoutMenuBar, ChoosingFromTheSystemMenuWritesTheSettingLikeTheMenuBar)
{
  Scene scene({"tp_s2", "tp_s3"}, {});
  const ProcessResult run = scene.Run("nobar device:320,240 syschoose:Test_s2");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(OutputValue(run.output, "syschose"), "none");
  EXPECT_EQ(scene.Setting("default_filter"), "plugins/tp_s2.rpi");
}

TEST(WindowWithoutMenuBar, APopupWindowWithoutSystemMenuStillGetsTheFilterAndTheKey)
{
  Scene scene({"tp_s2", "tp_s3"}, {"default_filter=plugins/tp_s3.rpi"});
  const std::vector<std::string> order = scene.SearchOrder();
  const ProcessResult run = scene.Run("popup device:320,240 frame:1 verify:3,1 sysmenu key:145 frame:2");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValue(run.output, "verify"), "ok");
  EXPECT_EQ(OutputValue(run.output, "syspopup"), "none");
  EXPECT_EQ(OutputValue(run.output, "host_keys"), "0");
  // The key moved on from tp_s3 to the next file in search order (or None after the last).
  const size_t at = std::find(order.begin(), order.end(), "tp_s3.rpi") - order.begin();
  const std::string next = at + 1 < order.size() ? "plugins/" + order[at + 1] : "";
  EXPECT_EQ(scene.Setting("default_filter"), next);
}

// ---- the cycling key ----

TEST(CycleKey, CyclesThroughNoneAndEveryPluginAndTheHostNeverSeesIt)
{
  Scene scene({"tp_s2", "tp_s3"}, {});
  const std::vector<std::string> order = scene.SearchOrder();
  ASSERT_EQ(order.size(), 2u);
  const auto scale = [](const std::string& file) { return file == "tp_s2.rpi" ? std::string("2") : "3"; };
  const ProcessResult run = scene.Run(
      "nobar device:320,240 sysmenu key:145 frame:1 verify:" + scale(order[0]) + ",1 sysmenu key:145 frame:2 verify:" +
      scale(order[1]) + ",2 sysmenu key:145 frame:3 verify:0,3 sysmenu");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValues(run.output, "host_keys"), Repeat("0", 3));
  EXPECT_EQ(OutputValues(run.output, "verify"), Repeat("ok", 3)) << run.output;
  EXPECT_EQ(ListingAt(run.output, "sysitem", "syspopups", 0), Items(order, "", true));
  EXPECT_EQ(ListingAt(run.output, "sysitem", "syspopups", 1), Items(order, order[0], true));
  EXPECT_EQ(ListingAt(run.output, "sysitem", "syspopups", 2), Items(order, order[1], true));
  EXPECT_EQ(ListingAt(run.output, "sysitem", "syspopups", 3), Items(order, "", true));
  EXPECT_EQ(scene.Setting("default_filter"), "");
}

TEST(CycleKey, TheSettingChoosesTheKeySwitchesItOffAndAnUnparsableValueIsTheDefault)
{
  const struct {
    const char* value;   // filter_key in filters.ini ("" : absent)
    const char* key;     // the key pressed
    bool cycles;
  } cases[] = {
      {"", "145", true},        {"0", "145", false},        {"122", "122", true},  // F11
      {"0x7A", "122", true},    {"0x7A", "145", false},     {"abc", "145", true},
      {"12x", "145", true},     {"-5", "145", true},        {"300", "145", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("filter_key=") + c.value + " key " + c.key);
    std::vector<std::string> settings = {"default_filter="};
    if (*c.value)
      settings.push_back(std::string("filter_key=") + c.value);
    Scene scene({"tp_s2"}, settings);
    const std::string before = ReadFileBytes(scene.dir / "filters.ini");
    const ProcessResult run = scene.Run(std::string("nobar device:320,240 key:") + c.key + " frame:1 verify:" +
                                        (c.cycles ? "2" : "0") + ",1");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValue(run.output, "host_keys"), c.cycles ? "0" : "2");
    EXPECT_EQ(OutputValue(run.output, "verify"), "ok");
    EXPECT_EQ(scene.Setting("default_filter"), c.cycles ? "plugins/tp_s2.rpi" : "");
    EXPECT_EQ(scene.Setting("filter_key"), *c.value ? c.value : "<absent>") << "the key's value is never written";
    if (!c.cycles) {
      EXPECT_EQ(ReadFileBytes(scene.dir / "filters.ini"), before);
    }
  }
}

TEST(CycleKey, InAMenuBarWindowTheKeyMovesTheBarsCheckMark)
{
  Scene scene({"tp_s2"}, {});
  const ProcessResult run = scene.Run("window device:320,240 key:145 menu frame:1 verify:2,1");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValues(run.output, "item"), (std::vector<std::string>{"50000:None:0", "50001:Test s2:1"}));
  EXPECT_EQ(OutputValue(run.output, "verify"), "ok");
}

// ---- later device windows ----

TEST(DeviceWindows, EveryNewWindowGetsItsPopupOnceAndChoicesInAnyWindowApplyEverywhere)
{
  Scene scene({"tp_s2", "tp_s3"}, {"default_filter=plugins/tp_s2.rpi"});
  const std::vector<std::string> order = scene.SearchOrder();
  const ProcessResult run = scene.Run(
      // 0: a menu-bar window; 1: a window without one; 2: another menu-bar window.
      "window device:320,240 release nobar device:200,150 release device:200,150 sysmenu frame:1 verify:2,1 "
      "syschoose:Test_s3 frame:2 verify:3,2 release window device:160,120 menu frame:3 verify:3,3 "
      "choose:None use:1 sysmenu use:0 menu");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValues(run.output, "verify"), Repeat("ok", 3)) << run.output;
  // The second device in window 1 added nothing: one popup.
  EXPECT_EQ(OutputValues(run.output, "syspopups"), Repeat("1", 2));
  EXPECT_EQ(ListingAt(run.output, "sysitem", "syspopups", 0), Items(order, "tp_s2.rpi", true));
  EXPECT_EQ(OutputValues(run.output, "popups"), Repeat("1", 2));
  EXPECT_EQ(ListingAt(run.output, "item", "popups", 0), Items(order, "tp_s3.rpi", false));
  // "None" chosen in window 2 moved the marks of windows 1 and 0 too.
  EXPECT_EQ(ListingAt(run.output, "sysitem", "syspopups", 1), Items(order, "", true));
  EXPECT_EQ(ListingAt(run.output, "item", "popups", 1), Items(order, "", false));
  EXPECT_EQ(scene.Setting("default_filter"), "");
}

TEST(DeviceWindows, APluginFileAddedBetweenWindowsKeepsEveryFileItsIdentifier)
{
  Scene scene({"tp_s2", "tp_s4"}, {});
  CreateDirectoryA((scene.dir / "extra").c_str(), nullptr);
  CopyInto(JoinPath(TestDataDir(), "plugins\\tp_s3.rpi"), scene.dir / "extra");
  const std::vector<std::string> first = scene.SearchOrder();
  ASSERT_EQ(first.size(), 2u);
  const ProcessResult run = scene.Run(
      "window device:320,240 menu copy:extra\\tp_s3.rpi,plugins\\tp_s3.rpi nobar device:200,150 sysmenu "
      "syschoose:Test_s3 frame:1 verify:3,1 use:0 menu");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValue(run.output, "copied"), "1");
  EXPECT_EQ(OutputValue(run.output, "verify"), "ok");
  // Window 0: the two first files as 50001 and 50002. Window 1: the same files under the
  // same numbers (times 16 in the system menu), the new file after them, in whichever
  // place the directory search gives it.
  const auto idOf = [&](const std::string& file) -> size_t {
    const size_t at = std::find(first.begin(), first.end(), file) - first.begin();
    return at < first.size() ? at + 1 : 3;
  };
  std::vector<std::string> expected = {"50000:None:1"};
  for (const std::string& file : scene.SearchOrder())
    expected.push_back(std::to_string(50000 + 16 * idOf(file)) + ":" + NameOf(file) + ":0");
  EXPECT_EQ(ListingAt(run.output, "sysitem", "syspopups", 0), expected);
  EXPECT_EQ(ListingAt(run.output, "item", "popups", 0), Items(first, "", false));
  // Window 0 was built before the file came: it has no item for it, so no mark at all.
  std::vector<std::string> unmarked = Items(first, "", false);
  unmarked[0] = "50000:None:0";
  EXPECT_EQ(ListingAt(run.output, "item", "popups", 1), unmarked);
  EXPECT_EQ(scene.Setting("default_filter"), "plugins/tp_s3.rpi");
}

// ---- every export, and the Ex path ----

TEST(Exports, AHostImportingEveryExportStartsAndGetsTheSystemsAnswers)
{
  Scene scene({"tp_s2"}, {"default_filter=plugins/tp_s2.rpi"});
  const ProcessResult run = scene.Run("exports shim window device:320,240 frame:1 verify:2,1", "host_all.exe");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValue(run.output, "exports"), "1");
  EXPECT_EQ(OutputValue(run.output, "verify"), "ok");
  // The system's lacks the shim here: the answer of a d3d9 without it.
  EXPECT_EQ(OutputValue(run.output, "shim"), "0");

  // The same calls without the library: the host beside no d3d9.dll gets the system's.
  TempDir alone;
  CopyInto(JoinPath(BinDir(), "host_all.exe"), alone.path());
  const ProcessResult system = RunHostAt(alone / "host_all.exe", "exports", alone.path());
  ASSERT_EQ(system.exitCode, 0u) << system.output;
  EXPECT_EQ(OutputValue(system.output, "proxy").find(alone.path()), std::string::npos) << "the system's d3d9";
  for (const char* key : {"perf_begin0", "perf_begin1", "perf_end1", "perf_end0", "perf_status", "perf_repeat",
                          "validator"}) {
    SCOPED_TRACE(key);
    EXPECT_NE(OutputValue(system.output, key), "");
    EXPECT_EQ(OutputValue(run.output, key), OutputValue(system.output, key));
  }
}

TEST(Exports, ExDevicesFromCreateDeviceAndCreateDeviceExPresentFilteredFrames)
{
  const struct {
    const char* name;
    const char* create;
  } cases[] = {{"CreateDevice", "device"}, {"CreateDeviceEx", "deviceex"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scene scene({"tp_s2", "tp_s3"}, {"default_filter=plugins/tp_s2.rpi", "log=1"});
    const ProcessResult run = scene.Run(std::string("window create9ex ") + c.create +
                                            ":320,240 frame:1 verify:2,1 frameex:2 verify:2,2 choose:Test_s3 "
                                            "frameex:3 verify:3,3 menu resetex:200,150 frameex:4 verify:3,4",
                                        "host_all.exe");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValue(run.output, "create9ex_hr"), "0x00000000");
    EXPECT_EQ(OutputValue(run.output, "bbformat"), "23");
    EXPECT_EQ(OutputValue(run.output, "rt_format"), "23");
    EXPECT_EQ(OutputValues(run.output, "present_hr"), Repeat("0x00000000", 4));
    EXPECT_EQ(OutputValue(run.output, "reset_hr"), "0x00000000");
    // Filtered at the reset's new size too.
    EXPECT_EQ(OutputValues(run.output, "verify"), Repeat("ok", 4)) << run.output;
    EXPECT_EQ(OutputValue(run.output, "popups"), "1");
    const std::vector<std::string> log = ReadLog(scene.dir.path());
    const auto logged = [&](const LogPoint& point) {
      return std::count(log.begin(), log.end(), Expected(point));
    };
    EXPECT_EQ(logged(LogPoints::Create9ExSuccess), 1);
    EXPECT_EQ(logged(LogPoints::CreateDeviceEx), std::string(c.create) == "deviceex" ? 1 : 0);
    EXPECT_EQ(logged(LogPoints::ResetSuccess), 1) << "ResetEx takes Reset's steps";
  }
}

TEST(Exports, AnExOnlyHostInWindowResizeModeSeesTheBackBuffersClientSize)
{
  Scene scene({"tp_s2"}, {"window_resize=1", "window_resize_add_width=0", "window_resize_add_height=0"});
  const ProcessResult run = scene.Run("window clientrect create9ex device:320,240 clientrect", "host_all.exe");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValues(run.output, "client"), (std::vector<std::string>{"0,0,640,480", "0,0,320,240"}));
}

TEST(Exports, AHostModelledOnSdlShowsTheMenuAndTheFilteredFrameBeforeAndAfterAReset)
{
  Scene scene({"tp_s2"}, {"default_filter=plugins/tp_s2.rpi"});
  const ProcessResult run =
      scene.Run("nobar sdl device:320,240 sysmenu frame:1 verify:2,1 reset:320,240 frame:2 verify:2,2");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValue(run.output, "sdl_ex"), "1") << "the library offers Direct3DCreate9Ex";
  EXPECT_EQ(OutputValue(run.output, "syspopups"), "1");
  EXPECT_EQ(OutputValue(run.output, "reset_hr"), "0x00000000");
  EXPECT_EQ(OutputValues(run.output, "verify"), Repeat("ok", 2)) << run.output;
}

// ---- Unicode windows ----

TEST(UnicodeWindow, ACharacterOutsideTheAnsiCodePageReachesTheHostUnchanged)
{
  const struct {
    const char* window;
    const char* code;  // WM_CHAR sent (wide)
  } cases[] = {{"wnobar", "0x416"}, {"wnobar", "0x3A9"}, {"wnobar", "65"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.window) + " " + c.code);
    Scene scene({"tp_s2"}, {"default_filter=plugins/tp_s2.rpi"});
    const ProcessResult run =
        scene.Run(std::string(c.window) + " device:320,240 char:" + c.code + " sysmenu frame:1 verify:2,1");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValue(run.output, "host_char"), std::to_string(std::stoul(c.code, nullptr, 0)));
    EXPECT_EQ(OutputValue(run.output, "syspopups"), "1");
    EXPECT_EQ(OutputValue(run.output, "verify"), "ok");
  }
}

}  // namespace
