// rpitool.exe, run as a child process: check accepts the good test plugins and every
// bundled plugin and rejects each broken one with its own FAIL line; info reports the
// descriptor; apply writes exactly the pixels the test plugin defines, from the whole
// frame or (--source) from the picture the plugin receives; bad input of every kind
// gives one error line and a non-zero exit, never a crash.
//
// Every test runs three times: with the tool and plugins where the build put them, and
// with copies of them under directories whose paths are 150 and over 200 characters
// long (a checkout or an author's folder deep in a tree). Messages that name a file
// must name it whole at any of them.
#include <gtest/gtest.h>
#include <windows.h>

#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "plugins/test_plugin.h"
#include "testing.h"

namespace {

constexpr DWORD ExitProblems = 1, ExitError = 2, ExitCrash = 3;

// Where the tool runs from. rootLength 0: the build's own directories; otherwise copies
// of rpitool.exe, the bundled plugins and the test plugins under a directory whose
// path is exactly that long (a fresh one for every test, inside a temporary directory).
struct Site {
  const char* name;
  size_t rootLength;
};
void PrintTo(const Site& site, std::ostream* out) { *out << site.name; }
const Site Sites[] = {{"Build", 0}, {"Path150", 150}, {"Path205", 205}};

// A directory the tests write their pictures into; the tool runs with it as its
// current directory.
struct WorkDir {
  std::string dir;
  const std::string& path() const { return dir; }
  std::string operator/(const std::string& name) const { return JoinPath(dir, name); }
};

// Copies every *.rpi of one directory into another.
void CopyPlugins(const std::string& from, const std::string& to)
{
  const std::vector<std::string> plugins = FilesIn(from, "*.rpi");
  ASSERT_FALSE(plugins.empty()) << "no plugins in " << from;
  for (const std::string& plugin : plugins)
    CopyInto(JoinPath(from, plugin), to);
}

void MakeDirectory(const std::string& path)
{
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path << ": Windows error " << GetLastError();
}

class RpiTool : public ::testing::TestWithParam<Site> {
 protected:
  void SetUp() override
  {
    const Site& site = GetParam();
    if (!site.rootLength) {
      bin_ = BinDir();
      plugins_ = JoinPath(TestDataDir(), "plugins");
      dir.dir = temp_.path();
      return;
    }
    // Nested directories named "deep-01", "deep-02", ... (the last one shortened), down
    // to the asked length.
    std::string root = temp_.path();
    ASSERT_LT(root.size() + 3, site.rootLength) << root;
    for (int level = 1; root.size() < site.rootLength; ++level) {
      char name[16];
      std::snprintf(name, sizeof name, "deep-%02d", level);
      // Room after the backslash; never leave a remainder too short for "\x".
      const size_t room = site.rootLength - root.size() - 1;
      const size_t take = room <= 7 ? room : room < 10 ? room - 3 : 7;
      root = JoinPath(root, std::string(name, take));
      MakeDirectory(root);
      if (HasFatalFailure())
        return;
    }
    ASSERT_EQ(root.size(), site.rootLength);
    bin_ = JoinPath(root, "b");
    plugins_ = JoinPath(root, "t");
    dir.dir = JoinPath(root, "w");
    for (const std::string& d : {bin_, JoinPath(bin_, "plugins"), plugins_, dir.dir})
      MakeDirectory(d);
    CopyInto(JoinPath(BinDir(), "rpitool.exe"), bin_);
    CopyPlugins(JoinPath(BinDir(), "plugins"), JoinPath(bin_, "plugins"));
    CopyPlugins(JoinPath(TestDataDir(), "plugins"), plugins_);
  }

  std::string ToolPath() const { return JoinPath(bin_, "rpitool.exe"); }
  std::string BundledPlugins() const { return JoinPath(bin_, "plugins"); }
  std::string TestPlugin(const std::string& name) const { return JoinPath(plugins_, name + ".rpi"); }

  ProcessResult RunTool(const std::string& args, const std::string& cwd) const
  {
    return RunProcess("\"" + ToolPath() + "\" " + args, cwd);
  }

  // A check that passed: exit 0, no FAIL line, the verdict last.
  void ExpectCheckPasses(const std::string& plugin, const std::string& cwd) const;

  WorkDir dir;

 private:
  TempDir temp_;
  std::string bin_, plugins_;
};

std::string SiteName(const ::testing::TestParamInfo<Site>& info) { return info.param.name; }

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

void RpiTool::ExpectCheckPasses(const std::string& plugin, const std::string& cwd) const
{
  const ProcessResult r = RunTool("check \"" + plugin + "\"", cwd);
  const std::vector<std::string> lines = SplitLines(r.output);
  EXPECT_EQ(r.exitCode, 0u) << plugin << "\n" << r.output;
  EXPECT_TRUE(LinesStartingWith(lines, "FAIL").empty()) << plugin << "\n" << r.output;
  ASSERT_FALSE(lines.empty()) << plugin;
  EXPECT_EQ(lines.back(), "result: PASS") << plugin << "\n" << r.output;
}

class RpiToolCheck : public RpiTool {};
class RpiToolInfo : public RpiTool {};
class RpiToolApply : public RpiTool {};
class RpiToolBench : public RpiTool {};
class RpiToolBadInput : public RpiTool {};

TEST_P(RpiToolCheck, PassesTheGoodTestPlugins)
{
  for (const char* name : {"tp_s2", "tp_s3", "tp_s4", "tp_nooutput"})
    ExpectCheckPasses(TestPlugin(name), dir.path());
}

TEST_P(RpiToolCheck, NotesAPluginWithoutOutput)
{
  const ProcessResult r = RunTool("check \"" + TestPlugin("tp_nooutput") + "\"", dir.path());
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(HasLine(SplitLines(r.output),
                      "note: no RenderPluginOutput export (allowed: frames reach the screen as rendered)"))
      << r.output;
}

TEST_P(RpiToolCheck, PassesEveryBundledPlugin)
{
  const std::string plugins = BundledPlugins();
  const std::vector<std::string> found = FilesIn(plugins, "*.rpi");
  ASSERT_FALSE(found.empty()) << "no bundled plugins in " << plugins;
  for (const std::string& plugin : found)
    ExpectCheckPasses(JoinPath(plugins, plugin), dir.path());
}

// Each broken plugin: exit 1, the FAIL line its fault produces at 97x61 (pitch 224
// bytes, source 48x30 with rows of 96 bytes), and no FAIL line about anything else.
TEST_P(RpiToolCheck, RejectsEachBrokenPlugin)
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

TEST_P(RpiToolCheck, ReportsACrashingPluginInOneLine)
{
  const ProcessResult r = RunTool("check \"" + TestPlugin("bad_crash") + "\"", dir.path());
  const std::vector<std::string> lines = SplitLines(r.output);
  EXPECT_EQ(r.exitCode, ExitCrash) << r.output;
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("FAIL 1x1: the plugin crashed: access violation writing address ", 0), 0u)
      << r.output;
}

TEST_P(RpiToolInfo, ReportsTheDescriptor)
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
TEST_P(RpiToolApply, WritesThePixelsTheTestPluginDefines)
{
  const struct {
    const char* plugin;
    uint32_t scale;
    uint32_t width, height;
  } cases[] = {
      {"tp_s2", 2, 9, 7}, {"tp_s3", 3, 11, 8}, {"tp_s4", 4, 13, 9}, {"tp_s2", 2, 1, 1}, {"tp_nooutput", 0, 6, 5},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> in(size_t(c.width) * c.height * 3), expected(in.size());
    for (uint32_t y = 0; y < c.height; ++y) {
      for (uint32_t x = 0; x < c.width; ++x) {
        const size_t at = (size_t(y) * c.width + x) * 3;
        Expand(Source(x, y), &in[at]);
        Expand(ExpectedTestFrame(Source, x, y, c.scale, c.width, c.height), &expected[at]);
      }
    }
    WritePng(dir / "in.png", c.width, c.height, in);
    DeleteFileA((dir / "out.png").c_str());
    const ProcessResult r = RunTool("apply \"" + TestPlugin(c.plugin) + "\" in.png out.png", dir.path());
    ASSERT_EQ(r.exitCode, 0u) << c.plugin << "\n" << r.output;
    EXPECT_EQ(ReadPng(dir / "out.png", c.width, c.height), expected) << c.plugin << " " << c.width << "x" << c.height;
  }
}

// --source: IN is the picture the plugin receives. The frame is s times its size, each
// source pixel an s x s block, and the test plugin covers all of it: frame pixel (x, y)
// becomes source pixel (x / s, y / s) XOR TestMark(x % s, y % s). A plugin without
// output (scale 0 here, s = 2 for the frame) leaves the enlarged frame as it is. The
// line printed names OUT and both sizes.
TEST_P(RpiToolApply, SourceModeFeedsThePictureItselfToThePlugin)
{
  const struct {
    const char* plugin;
    uint32_t scale;
    uint32_t width, height;  // of the source picture
  } cases[] = {
      {"tp_s2", 2, 9, 7},       {"tp_s3", 3, 5, 4}, {"tp_s4", 4, 3, 5}, {"tp_s2", 2, 1, 1},
      {"tp_nooutput", 0, 6, 5}, {"tp_s2", 2, 8192, 1},  // the widest source at s = 2: a 16384 frame
  };
  for (const auto& c : cases) {
    const uint32_t s = c.scale ? c.scale : 2;
    const uint32_t frameWidth = c.width * s, frameHeight = c.height * s;
    std::vector<uint8_t> in(size_t(c.width) * c.height * 3), expected(size_t(frameWidth) * frameHeight * 3);
    for (uint32_t y = 0; y < c.height; ++y)
      for (uint32_t x = 0; x < c.width; ++x)
        Expand(Source(x, y), &in[(size_t(y) * c.width + x) * 3]);
    for (uint32_t y = 0; y < frameHeight; ++y) {
      for (uint32_t x = 0; x < frameWidth; ++x) {
        uint16_t out = Source(x / s, y / s);
        if (c.scale)
          out = static_cast<uint16_t>(out ^ TestMark(x % s, y % s));
        Expand(out, &expected[(size_t(y) * frameWidth + x) * 3]);
      }
    }
    const std::string inPath = dir / "small.png", outPath = dir / "out.png";
    WritePng(inPath, c.width, c.height, in);
    DeleteFileA(outPath.c_str());
    const ProcessResult r =
        RunTool("apply --source \"" + TestPlugin(c.plugin) + "\" \"" + inPath + "\" \"" + outPath + "\"", dir.path());
    ASSERT_EQ(r.exitCode, 0u) << c.plugin << "\n" << r.output;
    const std::string size = std::to_string(frameWidth) + "x" + std::to_string(frameHeight);
    const std::string source = std::to_string(c.width) + "x" + std::to_string(c.height);
    EXPECT_EQ(SplitLines(r.output),
              std::vector<std::string>{outPath + ": " + size + ", s = " + std::to_string(s) + ", source " + source +
                                       (c.scale ? "" : " (no RenderPluginOutput: the frame passes unfiltered)")})
        << c.plugin;
    EXPECT_EQ(ReadPng(outPath, frameWidth, frameHeight), expected) << c.plugin << " " << source;
  }
}

// The option may stand anywhere among the arguments, and "--" ends the options, so a
// picture whose name starts with "--" can be given. Every form gives the same frame as
// feeding the enlarged frame without the option.
TEST_P(RpiToolApply, SourceOptionAnywhereAndAfterDoubleDash)
{
  constexpr uint32_t Width = 5, Height = 3, S = 3;
  std::vector<uint8_t> small(Width * Height * 3), frame(Width * S * Height * S * 3);
  for (uint32_t y = 0; y < Height * S; ++y)
    for (uint32_t x = 0; x < Width * S; ++x)
      Expand(Source(x / S, y / S), &frame[(size_t(y) * Width * S + x) * 3]);
  for (uint32_t y = 0; y < Height; ++y)
    for (uint32_t x = 0; x < Width; ++x)
      Expand(Source(x, y), &small[(size_t(y) * Width + x) * 3]);
  WritePng(dir / "small.png", Width, Height, small);
  WritePng(dir / "--small.png", Width, Height, small);
  WritePng(dir / "frame.png", Width * S, Height * S, frame);
  const std::string plugin = "\"" + TestPlugin("tp_s3") + "\"";
  ASSERT_EQ(RunTool("apply " + plugin + " frame.png whole.png", dir.path()).exitCode, 0u);
  const std::vector<uint8_t> reference = ReadPng(dir / "whole.png", Width * S, Height * S);
  const std::vector<std::string> forms = {
      "apply --source " + plugin + " small.png out.png",
      "apply " + plugin + " --source small.png out.png",
      "apply " + plugin + " small.png out.png --source",
      "apply --source -- " + plugin + " --small.png out.png",
  };
  for (const std::string& args : forms) {
    DeleteFileA((dir / "out.png").c_str());
    const ProcessResult r = RunTool(args, dir.path());
    ASSERT_EQ(r.exitCode, 0u) << args << "\n" << r.output;
    EXPECT_EQ(ReadPng(dir / "out.png", Width * S, Height * S), reference) << args;
  }
}

// 8-bit channels are rounded to the nearest 5- or 6-bit level: v * 31 / 255 and
// v * 63 / 255, halves up; then expanded by bit replication.
TEST_P(RpiToolApply, RoundsEightBitChannelsToTheNearestLevel)
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
  WritePng(dir / "in.png", Width, 1, in);
  const ProcessResult r = RunTool("apply \"" + TestPlugin("tp_nooutput") + "\" in.png out.png", dir.path());
  ASSERT_EQ(r.exitCode, 0u) << r.output;
  EXPECT_EQ(ReadPng(dir / "out.png", Width, 1), expected);
}

TEST_P(RpiToolBench, PrintsOneFigureLine)
{
  const ProcessResult r = RunTool("bench \"" + TestPlugin("tp_s2") + "\" 64x48", dir.path());
  const std::vector<std::string> lines = SplitLines(r.output);
  EXPECT_EQ(r.exitCode, 0u) << r.output;
  ASSERT_EQ(lines.size(), 1u) << r.output;
  EXPECT_EQ(lines[0].rfind("Test s2 64x48 (s = 2, source 32x24): ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(" ms per frame (median of "), std::string::npos) << lines[0];
}

// ---- bad input ----

// Each case: exit 2 and one line starting "rpitool: " that holds the expected text (the
// file it is about and what follows it), whole at any path length. Paths longer than
// the platform's MAX_PATH (260) are among them: refused, but named whole.
TEST_P(RpiToolBadInput, OneErrorLineAndANonZeroExit)
{
  WriteFileBytes(dir / "text.png", "not a PNG at all\r\n");
  {
    const std::vector<uint8_t> rgb(4 * 4 * 3, 0x80);
    WritePng(dir / "good.png", 4, 4, rgb);
    WriteFileBytes(dir / "truncated.png", ReadFileBytes(dir / "good.png").substr(0, 40));
    WritePng(dir / "wide.png", 8193, 1, std::vector<uint8_t>(8193 * 3, 0x80));  // 16386 wide at s = 2
  }
  CreateDirectoryA((dir / "folder.rpi").c_str(), nullptr);
  const std::string s2 = "\"" + TestPlugin("tp_s2") + "\"";
  // A path of over 300 characters, longer than the system takes.
  const std::string tooLong = dir / std::string(300 - std::min<size_t>(dir.path().size(), 200), 'L');
  const struct {
    std::string args;
    std::string says;  // in the error line
  } cases[] = {
      {"", "usage: "},
      {"frobnicate", "unknown command 'frobnicate'"},
      {"info", "usage: rpitool info PLUGIN"},
      {"info a b", "usage: rpitool info PLUGIN"},
      {"info missing.rpi", "cannot open missing.rpi: no such file"},
      {"info folder.rpi", "cannot load folder.rpi: it is a directory"},
      {"info text.png", "cannot load text.png"},
      {"info \"" + TestPlugin("bad_notadll") + "\"", "cannot load " + TestPlugin("bad_notadll") + ": "},
      {"info \"" + TestPlugin("bad_noinfo") + "\"", TestPlugin("bad_noinfo") + " has no RenderPluginGetInfo export"},
      {"info \"" + TestPlugin("bad_nullinfo") + "\"",
       TestPlugin("bad_nullinfo") + ": RenderPluginGetInfo returned no readable descriptor"},
      {"info \"" + tooLong + ".rpi\"", "cannot open " + tooLong + ".rpi: the path is too long for the system"},
      {"check", "usage: rpitool check PLUGIN"},
      {"check \"" + TestPlugin("bad_notadll") + "\"", "cannot load " + TestPlugin("bad_notadll") + ": "},
      {"check \"" + TestPlugin("bad_noinfo") + "\"", TestPlugin("bad_noinfo") + " has no RenderPluginGetInfo export"},
      {"check \"" + TestPlugin("bad_nullinfo") + "\"",
       TestPlugin("bad_nullinfo") + ": RenderPluginGetInfo returned no readable descriptor"},
      {"apply " + s2, "usage: rpitool apply [--source] PLUGIN IN.png OUT.png"},
      {"apply " + s2 + " good.png", "usage: rpitool apply [--source] PLUGIN IN.png OUT.png"},
      {"apply " + s2 + " good.png out.png extra.png", "usage: rpitool apply [--source] PLUGIN IN.png OUT.png"},
      {"apply --source " + s2 + " good.png", "usage: rpitool apply [--source] PLUGIN IN.png OUT.png"},
      {"apply --sauce " + s2 + " good.png out.png", "unknown option '--sauce'"},
      {"apply -- --source " + s2 + " good.png out.png", "usage: rpitool apply [--source] PLUGIN IN.png OUT.png"},
      {"apply " + s2 + " missing.png out.png", "cannot read missing.png as a PNG image: "},
      {"apply " + s2 + " text.png out.png", "cannot read text.png as a PNG image: "},
      {"apply " + s2 + " truncated.png out.png", "cannot read truncated.png as a PNG image: "},
      {"apply " + s2 + " \"" + tooLong + ".png\" out.png",
       "cannot read " + tooLong + ".png: the path is too long for the system"},
      {"apply " + s2 + " good.png missingdir\\out.png", "cannot write missingdir\\out.png"},
      {"apply --source " + s2 + " wide.png out.png",
       "wide.png: a 8193x1 source makes a frame larger than 16384x16384 at s = 2 (at most 8192x8192)"},
      {"apply \"" + TestPlugin("bad_nullinfo") + "\" good.png out.png",
       TestPlugin("bad_nullinfo") + ": RenderPluginGetInfo returned no readable descriptor"},
      {"bench", "usage: rpitool bench PLUGIN [WxH]"},
      {"bench " + s2 + " 0x480", "bad frame size '0x480'"},
      {"bench " + s2 + " 640x0", "bad frame size '640x0'"},
      {"bench " + s2 + " 640", "bad frame size '640'"},
      {"bench " + s2 + " x", "bad frame size 'x'"},
      {"bench " + s2 + " -5x3", "bad frame size '-5x3'"},
      {"bench " + s2 + " 99999x2", "bad frame size '99999x2'"},
      {"bench " + s2 + " 640x480 extra", "usage: rpitool bench PLUGIN [WxH]"},
      {"bench \"" + TestPlugin("tp_nooutput") + "\"",
       TestPlugin("tp_nooutput") + " has no RenderPluginOutput: nothing to measure"},
  };
  for (const auto& c : cases) {
    const ProcessResult r = RunTool(c.args, dir.path());
    const std::vector<std::string> lines = SplitLines(r.output);
    EXPECT_EQ(r.exitCode, ExitError) << c.args << "\n" << r.output;
    ASSERT_EQ(lines.size(), 1u) << c.args << "\n" << r.output;
    EXPECT_EQ(lines[0].rfind("rpitool: ", 0), 0u) << c.args << "\n" << lines[0];
    EXPECT_NE(lines[0].find(c.says), std::string::npos) << c.args << "\n" << lines[0];
  }
  EXPECT_FALSE(FileExists(dir / "out.png")) << "no output after a failure";
}

TEST_P(RpiToolBadInput, ACrashInApplyIsOneLine)
{
  WritePng(dir / "in.png", 4, 4, std::vector<uint8_t>(4 * 4 * 3, 0x40));
  const ProcessResult r = RunTool("apply \"" + TestPlugin("bad_crash") + "\" in.png out.png", dir.path());
  const std::vector<std::string> lines = SplitLines(r.output);
  EXPECT_EQ(r.exitCode, ExitCrash) << r.output;
  ASSERT_EQ(lines.size(), 1u) << r.output;
  // Whole, however long the plugin's path.
  const std::string expected =
      "rpitool: " + TestPlugin("bad_crash") + " crashed in RenderPluginOutput: access violation writing address ";
  EXPECT_EQ(lines[0].rfind(expected, 0), 0u) << lines[0];
}

INSTANTIATE_TEST_SUITE_P(Sites, RpiToolCheck, ::testing::ValuesIn(Sites), SiteName);
INSTANTIATE_TEST_SUITE_P(Sites, RpiToolInfo, ::testing::ValuesIn(Sites), SiteName);
INSTANTIATE_TEST_SUITE_P(Sites, RpiToolApply, ::testing::ValuesIn(Sites), SiteName);
INSTANTIATE_TEST_SUITE_P(Sites, RpiToolBench, ::testing::ValuesIn(Sites), SiteName);
INSTANTIATE_TEST_SUITE_P(Sites, RpiToolBadInput, ::testing::ValuesIn(Sites), SiteName);

}  // namespace
