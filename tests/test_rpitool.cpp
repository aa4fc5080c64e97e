// rpitool.exe, run as a child process: check accepts the good test plugins and every
// bundled plugin and rejects each broken one with its own FAIL line; info reports the
// descriptor; apply writes exactly the pixels the test plugin defines; bad input of
// every kind gives one error line and a non-zero exit, never a crash.
#include <gtest/gtest.h>
#include <windows.h>

#include <stb_image.h>
#include <stb_image_write.h>

#include <string>
#include <vector>

#include "plugins/test_plugin.h"
#include "testing.h"

namespace {

constexpr DWORD ExitProblems = 1, ExitError = 2, ExitCrash = 3;

std::string ToolPath() { return JoinPath(BinDir(), "rpitool.exe"); }
std::string TestPlugin(const std::string& name) { return JoinPath(TestDataDir(), "plugins\\" + name + ".rpi"); }

ProcessResult RunTool(const std::string& args, const std::string& cwd)
{
  return RunProcess("\"" + ToolPath() + "\" " + args, cwd);
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line)
{
  for (const std::string& l : lines)
    if (l == line)
      return true;
  return false;
}

std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix)
{
  std::vector<std::string> found;
  for (const std::string& l : lines)
    if (l.compare(0, prefix.size(), prefix) == 0)
      found.push_back(l);
  return found;
}

// A check that passed: exit 0, no FAIL line, the verdict last.
void ExpectCheckPasses(const std::string& plugin, const std::string& cwd)
{
  const ProcessResult r = RunTool("check \"" + plugin + "\"", cwd);
  const std::vector<std::string> lines = SplitLines(r.output);
  EXPECT_EQ(r.exitCode, 0u) << plugin << "\n" << r.output;
  EXPECT_TRUE(LinesStartingWith(lines, "FAIL").empty()) << plugin << "\n" << r.output;
  ASSERT_FALSE(lines.empty()) << plugin;
  EXPECT_EQ(lines.back(), "result: PASS") << plugin << "\n" << r.output;
}

TEST(RpiToolCheck, PassesTheGoodTestPlugins)
{
  TempDir dir;
  for (const char* name : {"tp_s2", "tp_s3", "tp_s4", "tp_nooutput"})
    ExpectCheckPasses(TestPlugin(name), dir.path());
}

TEST(RpiToolCheck, NotesAPluginWithoutOutput)
{
  TempDir dir;
  const ProcessResult r = RunTool("check \"" + TestPlugin("tp_nooutput") + "\"", dir.path());
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(HasLine(SplitLines(r.output),
                      "note: no RenderPluginOutput export (allowed: frames reach the screen as rendered)"))
      << r.output;
}

TEST(RpiToolCheck, PassesEveryBundledPlugin)
{
  TempDir dir;
  const std::string plugins = JoinPath(BinDir(), "plugins");
  std::vector<std::string> found;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(JoinPath(plugins, "*.rpi").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do
      found.push_back(JoinPath(plugins, entry.cFileName));
    while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  ASSERT_FALSE(found.empty()) << "no bundled plugins in " << plugins;
  for (const std::string& plugin : found)
    ExpectCheckPasses(plugin, dir.path());
}

// Each broken plugin: exit 1, the FAIL line its fault produces at 97x61 (pitch 224
// bytes, source 48x30 with rows of 96 bytes), and no FAIL line about anything else.
TEST(RpiToolCheck, RejectsEachBrokenPlugin)
{
  const struct {
    const char* plugin;
    const char* line;     // expected verbatim
    const char* problem;  // in every FAIL line of the run
  } cases[] = {
      {"bad_writepad",
       "FAIL 97x61: writes outside the destination rectangle (2 bytes changed, the first in row 60, 0 bytes past "
       "the row's end)",
       "writes outside the destination rectangle"},
      {"bad_writebelow", "FAIL 97x61: writes outside the destination rectangle (row 61, byte 0: below the last row)",
       "writes outside the destination rectangle"},
      {"bad_readabove", "FAIL 97x61: reads outside the staging buffer (96 bytes before it: above its 4 zero rows)",
       "reads outside the staging buffer"},
      {"bad_counter",
       "FAIL 97x61: output differs between two calls on the same frame (5760 pixels, the first at (0, 0))",
       "output differs between two calls"},
      {"bad_keepdst", "FAIL 97x61: writes into an earlier call's destination (keeps pDst)",
       "writes into an earlier call's destination"},
      {"bad_unterminated", "FAIL descriptor: name not terminated within its 60 bytes", "name not terminated"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const ProcessResult r = RunTool("check \"" + TestPlugin(c.plugin) + "\"", dir.path());
    const std::vector<std::string> lines = SplitLines(r.output);
    EXPECT_EQ(r.exitCode, ExitProblems) << c.plugin << "\n" << r.output;
    EXPECT_TRUE(HasLine(lines, c.line)) << c.plugin << "\n" << r.output;
    const std::vector<std::string> failures = LinesStartingWith(lines, "FAIL");
    for (const std::string& line : failures)
      EXPECT_NE(line.find(c.problem), std::string::npos) << c.plugin << ": " << line;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "result: FAIL (" + std::to_string(failures.size()) + " problem" +
                                (failures.size() == 1 ? "" : "s") + ")")
        << c.plugin;
  }
}

TEST(RpiToolCheck, ReportsACrashingPluginInOneLine)
{
  TempDir dir;
  const ProcessResult r = RunTool("check \"" + TestPlugin("bad_crash") + "\"", dir.path());
  const std::vector<std::string> lines = SplitLines(r.output);
  EXPECT_EQ(r.exitCode, ExitCrash) << r.output;
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("FAIL 1x1: the plugin crashed: access violation writing address ", 0), 0u)
      << r.output;
}

TEST(RpiToolInfo, ReportsTheDescriptor)
{
  const std::string unterminatedName(60, 'U');
  const struct {
    const char* plugin;
    std::vector<std::string> lines;
  } cases[] = {
      {"tp_s2", {"name: Test s2", "flags: 0x00000000", "scale: 2", "RenderPluginOutput: exported"}},
      {"tp_s3", {"name: Test s3", "flags: 0x00030000", "scale: 3", "RenderPluginOutput: exported"}},
      {"tp_s2_high", {"name: Test 20000", "flags: 0x00020000", "scale: 2", "RenderPluginOutput: exported"}},
      {"tp_s4_both", {"name: Test 70000", "flags: 0x00070000", "scale: 4", "RenderPluginOutput: exported"}},
      {"tp_user", {"name: Test user bits", "flags: 0x80000300", "scale: 2", "RenderPluginOutput: exported"}},
      {"tp_nooutput",
       {"name: Test no output", "flags: 0x00000000", "scale: 2",
        "RenderPluginOutput: not exported (frames pass unfiltered)"}},
      {"bad_unterminated",
       {"name: " + unterminatedName + " (not terminated within 60 bytes)", "flags: 0x41414141", "scale: 2",
        "RenderPluginOutput: exported"}},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const ProcessResult r = RunTool("info \"" + TestPlugin(c.plugin) + "\"", dir.path());
    EXPECT_EQ(r.exitCode, 0u) << c.plugin << "\n" << r.output;
    EXPECT_EQ(SplitLines(r.output), c.lines) << c.plugin;
  }
}

// ---- apply ----

uint8_t Expand5(uint32_t v) { return static_cast<uint8_t>(v << 3 | v >> 2); }
uint8_t Expand6(uint32_t v) { return static_cast<uint8_t>(v << 2 | v >> 4); }

// R5G6B5 to 8-bit RGB by bit replication.
void Expand(uint16_t pixel, uint8_t* rgb)
{
  rgb[0] = Expand5(pixel >> 11);
  rgb[1] = Expand6((pixel >> 5) & 0x3F);
  rgb[2] = Expand5(pixel & 0x1F);
}

// The picture the apply tests feed in, as R5G6B5: every value distinct in its bits.
uint16_t Source(uint32_t x, uint32_t y) { return static_cast<uint16_t>(x * 0x0841u + y * 0x2003u + 0x1F); }

void WritePng(const std::string& path, uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb)
{
  ASSERT_NE(stbi_write_png(path.c_str(), int(width), int(height), 3, rgb.data(), int(width * 3)), 0) << path;
}

std::vector<uint8_t> ReadPng(const std::string& path, uint32_t width, uint32_t height)
{
  int w = 0, h = 0, channels = 0;
  stbi_uc* data = stbi_load(path.c_str(), &w, &h, &channels, 3);
  if (!data) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  EXPECT_EQ(uint32_t(w), width);
  EXPECT_EQ(uint32_t(h), height);
  std::vector<uint8_t> rgb(data, data + size_t(w) * h * 3);
  stbi_image_free(data);
  return rgb;
}

// Destination pixel (x, y) in the s * Ws by s * Hs rectangle becomes source pixel
// (x / s, y / s) (frame pixel (s * (x / s), s * (y / s))) XOR TestMark(x % s, y % s); the
// rest stays as rendered. A plugin without output (scale 0 here) leaves the frame alone.
TEST(RpiToolApply, WritesThePixelsTheTestPluginDefines)
{
  const struct {
    const char* plugin;
    uint32_t scale;
    uint32_t width, height;
  } cases[] = {
      {"tp_s2", 2, 9, 7}, {"tp_s3", 3, 11, 8}, {"tp_s4", 4, 13, 9}, {"tp_s2", 2, 1, 1}, {"tp_nooutput", 0, 6, 5},
  };
  TempDir dir;
  for (const auto& c : cases) {
    std::vector<uint8_t> in(size_t(c.width) * c.height * 3), expected(in.size());
    for (uint32_t y = 0; y < c.height; ++y) {
      for (uint32_t x = 0; x < c.width; ++x) {
        const size_t at = (size_t(y) * c.width + x) * 3;
        Expand(Source(x, y), &in[at]);
        uint16_t out = Source(x, y);
        const uint32_t s = c.scale;
        if (s && x < c.width / s * s && y < c.height / s * s)
          out = static_cast<uint16_t>(Source(x / s * s, y / s * s) ^ TestMark(x % s, y % s));
        Expand(out, &expected[at]);
      }
    }
    WritePng(dir / "in.png", c.width, c.height, in);
    DeleteFileA((dir / "out.png").c_str());
    const ProcessResult r = RunTool("apply \"" + TestPlugin(c.plugin) + "\" in.png out.png", dir.path());
    ASSERT_EQ(r.exitCode, 0u) << c.plugin << "\n" << r.output;
    EXPECT_EQ(ReadPng(dir / "out.png", c.width, c.height), expected) << c.plugin << " " << c.width << "x" << c.height;
  }
}

// 8-bit channels are rounded to the nearest 5- or 6-bit level: v * 31 / 255 and
// v * 63 / 255, halves up; then expanded by bit replication.
TEST(RpiToolApply, RoundsEightBitChannelsToTheNearestLevel)
{
  constexpr uint32_t Width = 256;
  std::vector<uint8_t> in(Width * 3), expected(Width * 3);
  for (uint32_t v = 0; v < Width; ++v) {
    in[v * 3 + 0] = static_cast<uint8_t>(v);
    in[v * 3 + 1] = static_cast<uint8_t>(v);
    in[v * 3 + 2] = static_cast<uint8_t>(255 - v);
    const uint32_t r5 = (2 * v * 31 + 255) / 510, g6 = (2 * v * 63 + 255) / 510, b5 = (2 * (255 - v) * 31 + 255) / 510;
    expected[v * 3 + 0] = Expand5(r5);
    expected[v * 3 + 1] = Expand6(g6);
    expected[v * 3 + 2] = Expand5(b5);
  }
  TempDir dir;
  WritePng(dir / "in.png", Width, 1, in);
  const ProcessResult r = RunTool("apply \"" + TestPlugin("tp_nooutput") + "\" in.png out.png", dir.path());
  ASSERT_EQ(r.exitCode, 0u) << r.output;
  EXPECT_EQ(ReadPng(dir / "out.png", Width, 1), expected);
}

TEST(RpiToolBench, PrintsOneFigureLine)
{
  TempDir dir;
  const ProcessResult r = RunTool("bench \"" + TestPlugin("tp_s2") + "\" 64x48", dir.path());
  const std::vector<std::string> lines = SplitLines(r.output);
  EXPECT_EQ(r.exitCode, 0u) << r.output;
  ASSERT_EQ(lines.size(), 1u) << r.output;
  EXPECT_EQ(lines[0].rfind("Test s2 64x48 (s = 2, source 32x24): ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(" ms per frame (median of "), std::string::npos) << lines[0];
}

// ---- bad input ----

TEST(RpiToolBadInput, OneErrorLineAndANonZeroExit)
{
  TempDir dir;
  WriteFileBytes(dir / "text.png", "not a PNG at all\r\n");
  {
    const std::vector<uint8_t> rgb(4 * 4 * 3, 0x80);
    WritePng(dir / "good.png", 4, 4, rgb);
    WriteFileBytes(dir / "truncated.png", ReadFileBytes(dir / "good.png").substr(0, 40));
  }
  CreateDirectoryA((dir / "folder.rpi").c_str(), nullptr);
  const std::string s2 = "\"" + TestPlugin("tp_s2") + "\"";
  const std::vector<std::string> cases = {
      "",
      "frobnicate",
      "info",
      "info a b",
      "info missing.rpi",
      "info folder.rpi",
      "info text.png",
      "info \"" + TestPlugin("bad_notadll") + "\"",
      "info \"" + TestPlugin("bad_noinfo") + "\"",
      "info \"" + TestPlugin("bad_nullinfo") + "\"",
      "check",
      "check \"" + TestPlugin("bad_notadll") + "\"",
      "check \"" + TestPlugin("bad_noinfo") + "\"",
      "check \"" + TestPlugin("bad_nullinfo") + "\"",
      "apply " + s2,
      "apply " + s2 + " good.png",
      "apply " + s2 + " missing.png out.png",
      "apply " + s2 + " text.png out.png",
      "apply " + s2 + " truncated.png out.png",
      "apply " + s2 + " good.png missingdir\\out.png",
      "apply \"" + TestPlugin("bad_nullinfo") + "\" good.png out.png",
      "bench",
      "bench " + s2 + " 0x480",
      "bench " + s2 + " 640x0",
      "bench " + s2 + " 640",
      "bench " + s2 + " x",
      "bench " + s2 + " -5x3",
      "bench " + s2 + " 99999x2",
      "bench " + s2 + " 640x480 extra",
      "bench \"" + TestPlugin("tp_nooutput") + "\"",
  };
  for (const std::string& args : cases) {
    const ProcessResult r = RunTool(args, dir.path());
    const std::vector<std::string> lines = SplitLines(r.output);
    EXPECT_EQ(r.exitCode, ExitError) << args << "\n" << r.output;
    ASSERT_EQ(lines.size(), 1u) << args << "\n" << r.output;
    EXPECT_EQ(lines[0].rfind("rpitool: ", 0), 0u) << args << "\n" << lines[0];
  }
  EXPECT_FALSE(FileExists(dir / "out.png")) << "no output after a failure";
}

TEST(RpiToolBadInput, ACrashInApplyIsOneLine)
{
  TempDir dir;
  WritePng(dir / "in.png", 4, 4, std::vector<uint8_t>(4 * 4 * 3, 0x40));
  const ProcessResult r = RunTool("apply \"" + TestPlugin("bad_crash") + "\" in.png out.png", dir.path());
  const std::vector<std::string> lines = SplitLines(r.output);
  EXPECT_EQ(r.exitCode, ExitCrash) << r.output;
  ASSERT_EQ(lines.size(), 1u) << r.output;
  EXPECT_NE(lines[0].find("crashed in RenderPluginOutput: access violation writing address "), std::string::npos)
      << lines[0];
}

}  // namespace
