// Hosts that behave like real programs, on Wine's real Direct3D 9 through the built
// library: a Reset between menu and game, a fresh parameter record asking for another
// format, a multisampled back buffer, a render-target texture left bound, frames
// presented through swap chain objects, a failed Reset, and a render thread presenting
// while the window thread switches plugins. Every frame is checked after its Present:
// read back from the back buffer (copy swap effect), or copied from the window where
// the swap effect discards the back buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "testing.h"

namespace {

// A working directory with the three test plugins and the given settings.
struct Scene : HostScene {
  explicit Scene(const std::vector<std::string>& settings) : HostScene({"tp_s2", "tp_s3", "tp_s4"}, settings) {}
};

struct ProgramCase {
  const char* name;
  const char* commands;
  std::vector<std::pair<std::string, std::vector<std::string>>> expected;  // key: every value in order
};

TEST(RealPrograms, EveryFrameIsFilteredAtItsOwnSizeWhateverTheProgramDoes)
{
  const std::string ok = "ok";
  const ProgramCase cases[] = {
      {"Reset to a larger size (menu, then game)", "window device:250,190 frame:1 verify:2,1 reset:320,240 frame:2 verify:2,2",
       {{"verify", {ok, ok}}, {"reset_hr", {"0x00000000"}}, {"rt_format", {"23", "23"}}}},
      {"Reset to a smaller size", "window device:250,190 frame:1 verify:2,1 reset:160,120 frame:3 verify:2,3",
       {{"verify", {ok, ok}}, {"reset_hr", {"0x00000000"}}}},
      {"Reset with fresh records asking for X8R8G8B8 and for D3DFMT_UNKNOWN",
       "window device:250,190 reset:200,150 frame:4 verify:2,4 reset:210,160,unknown frame:5 verify:2,5",
       {{"verify", {ok, ok}}, {"bbformat", {"23", "23", "23"}}, {"rt_format", {"23", "23", "23"}}}},
      {"a failed Reset: frames pass unfiltered until a Reset succeeds",
       "window device:250,190 frame:1 verify:2,1 reset:320,240,bad frame:2 verify:0,2 reset:320,240 frame:3 verify:2,3",
       {{"verify", {ok, ok, ok}}, {"reset_hr", {"0x8876086c", "0x00000000"}}}},
      {"a 4x multisampled back buffer (discard swap effect): the window shows the filtered frame",
       "window device:640,480,msaa frame:1 capture:2,1 frame:2 capture:2,2", {{"capture", {ok, ok}}}},
      {"a render-target texture left bound at Present keeps its texels",
       "window device:250,190 rtt:256 frame:5 verify:2,5 frame:6 verify:2,6 rttcheck",
       {{"rtt_hr", {"0x00000000"}}, {"verify", {ok, ok}}, {"rtt", {ok}}}},
      {"the implicit swap chain's Present, an additional swap chain's, then the device's again",
       "window device:250,190 chain:implicit frame:6 verify:2,6 chain:96,72 frame:7 verify:2,7 chain:device frame:8 "
       "verify:2,8",
       {{"chain_hr", {"0x00000000", "0x00000000", "0x00000000"}}, {"verify", {ok, ok, ok}}}},
  };
  for (const ProgramCase& c : cases) {
    SCOPED_TRACE(c.name);
    Scene scene({"default_filter=plugins/tp_s2.rpi"});
    const ProcessResult run = scene.Run(c.commands);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    for (const auto& [key, values] : c.expected)
      EXPECT_EQ(OutputValues(run.output, key), values) << key << "\n" << run.output;
  }
}

// The log's lines are whole: time-stamped "N: message tag line " or a label line
// "label = value" (or one of the few texts that stand alone), never two lines' pieces.
bool WellFormed(const std::string& line)
{
  static const std::regex stamped(R"(\d+: [^\r\n]+ \.\\[A-Za-z0-9_]+\.cpp \d+ )");
  static const std::regex label(R"([A-Za-z][A-Za-z0-9_ ()!=<>]*( = |: )[^\r\n]*)");
  return std::regex_match(line, stamped) || std::regex_match(line, label);
}

// A render thread presents while the window thread switches plugins as fast as it can:
// every frame must be exactly the unfiltered frame or one plugin's output (never a mix
// of two activations, never a write through a released buffer), over repeated runs.
TEST(RealPrograms, ARenderThreadPresentsWhileTheWindowThreadSwitchesPlugins)
{
  for (int runNumber = 0; runNumber < 3; ++runNumber) {
    SCOPED_TRACE("run " + std::to_string(runNumber));
    Scene scene({"log=1", "default_filter=plugins/tp_s2.rpi"});
    const ProcessResult run = scene.Run("window device:64,48 thread:1200,5", "host.exe", 180000);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValue(run.output, "thread_frames"), "1200");
    EXPECT_GT(std::stoi("0" + OutputValue(run.output, "switches")), 100) << "the choices overlapped the frames";
    EXPECT_EQ(OutputValue(run.output, "thread_bad"), "0") << OutputValue(run.output, "thread_first_bad");
    const std::string log = ReadFileBytes(scene.dir / "log.txt");
    ASSERT_EQ(log.substr(log.size() - 2), "\r\n");
    size_t lines = 0;
    for (size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2, ++lines)
      ASSERT_TRUE(WellFormed(log.substr(start, end - start))) << "line " << lines << ": " << log.substr(start, end - start);
    EXPECT_GT(lines, 1000u);
  }
}

// Creating a windowed device for one window while another holds the focus and the
// foreground: neither moves, the z-order stays, and the device's window receives no
// activation messages, exactly as with the platform's own Direct3D (the same host run
// without the library). In window-resize mode the window still grows by the additions.
TEST(RealPrograms, DeviceCreationLeavesFocusActivationAndZOrderAlone)
{
  const std::string commands = "window other focusstate watch device:320,240 seen focusstate";
  TempDir platformOnly;  // the host without the library beside it: Wine's own d3d9
  CopyInto(JoinPath(BinDir(), "host.exe"), platformOnly.path());
  const ProcessResult platform = RunHostAt(platformOnly / "host.exe", commands, platformOnly.path());
  ASSERT_EQ(platform.exitCode, 0u) << platform.output;
  ASSERT_EQ(OutputValue(platform.output, "proxy").find(platformOnly.path()), std::string::npos) << platform.output;
  const std::vector<std::string> before = OutputValues(platform.output, "size");
  ASSERT_EQ(before.size(), 2u);

  const struct {
    const char* name;
    std::vector<std::string> settings;
    int grow;  // pixels added to both outer sides
  } cases[] = {
      {"window-resize mode off", {}, 0},
      {"window-resize mode with additions of zero", {"window_resize=1", "window_resize_add_width=0",
                                                     "window_resize_add_height=0"}, 0},
      {"window-resize mode, growing by 10", {"window_resize=1", "window_resize_add_width=10",
                                             "window_resize_add_height=10"}, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scene scene(c.settings);
    const ProcessResult run = scene.Run(commands);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValue(run.output, "device_hr"), "0x00000000");
    for (const char* key : {"focus_other", "foreground_other", "other_above"})
      EXPECT_EQ(OutputValues(run.output, key), OutputValues(platform.output, key)) << key;
    EXPECT_EQ(OutputValues(run.output, "focus_other"), (std::vector<std::string>{"1", "1"}));
    if (c.grow == 0) {
      EXPECT_EQ(OutputValue(run.output, "seen"), OutputValue(platform.output, "seen"));
      EXPECT_EQ(OutputValues(run.output, "size"), before);
    } else {
      // The growth itself is a size change (WM_WINDOWPOSCHANGING and its kin), never an
      // activation.
      const std::string seen = OutputValue(run.output, "seen");
      for (const char* activation : {"WM_NCACTIVATE", "WM_ACTIVATE", "WM_SETFOCUS", "WM_KILLFOCUS", "WM_IME_SETCONTEXT"})
        EXPECT_EQ(seen.find(activation), std::string::npos) << seen;
      int w = 0, h = 0;
      ASSERT_EQ(std::sscanf(before[0].c_str(), "%dx%d", &w, &h), 2);
      EXPECT_EQ(OutputValues(run.output, "size")[1],
                std::to_string(w + c.grow) + "x" + std::to_string(h + c.grow));
    }
  }
}

}  // namespace
