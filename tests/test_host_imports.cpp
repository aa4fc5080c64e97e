// Window-resize mode in real hosts under Wine: which import tables get patched, and
// what the host's own GetClientRect and SetWindowPos calls then see.
#include <gtest/gtest.h>

#include <algorithm>

#include "testing.h"

namespace {

const std::string Found = "pImportDesc = user32 found! .\\d3d9.cpp 77 ";
const std::string GcrFound = "GetClientRect found! .\\d3d9.cpp 87 ";
const std::string GcrHook = "GetClientRect hook! .\\d3d9.cpp 93 ";
const std::string SwpHook = "SetWindowPos hook! .\\d3d9.cpp 103 ";

// The log after the three start-up lines.
std::vector<std::string> PatchLines(const std::string& dir)
{
  std::vector<std::string> log = ReadLog(dir);
  EXPECT_GE(log.size(), 3u);
  if (log.size() < 3)
    return {};
  EXPECT_EQ(log[1].rfind("WindowResizeAddWidth = ", 0), 0u);
  return std::vector<std::string>(log.begin() + 3, log.end());
}


struct ShapeCase {
  const char* host;
  std::vector<std::string> slots;  // "descriptor:function:module" as the host prints them
  std::vector<std::string> log;    // lines after start-up
};

TEST(HostImports, OnlyTheFirstDescriptorNamedUser32InAnyCaseIsPatched)
{
  const ShapeCase cases[] = {
      {"ih_upper.exe", {"3:GetClientRect:d3d9.dll", "3:SetWindowPos:d3d9.dll"}, {Found, GcrFound, GcrHook, SwpHook}},
      {"ih_mixed.exe",  // User32.DLL, GetClientRect imported twice
       {"3:SetWindowPos:d3d9.dll", "3:GetClientRect:d3d9.dll", "3:GetClientRect:d3d9.dll"},
       {Found, GcrFound, SwpHook, GcrHook, GcrHook}},
      {"ih_suffix.exe", {"3:GetClientRect:user32.dll", "3:SetWindowPos:user32.dll"}, {}},  // "user32.dllx"
      {"ih_noext.exe", {"3:GetClientRect:user32.dll", "3:SetWindowPos:user32.dll"}, {}},   // "user32"
      {"ih_swponly.exe", {"3:SetWindowPos:d3d9.dll"}, {Found, GcrFound, SwpHook}},
      {"ih_two.exe",  // USER32.dll (GetClientRect) first, then User32.dll (SetWindowPos)
       {"3:GetClientRect:d3d9.dll", "4:SetWindowPos:user32.dll"}, {Found, GcrFound, GcrHook}},
      {"ih_none.exe", {}, {}},
  };
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.host);
    TempDir cwd;
    WriteSettings(cwd.path(), {"log=1", "window_resize=1"});
    const ProcessResult run = RunHost(c.host, "", cwd.path());
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValues(run.output, "slot"), c.slots) << run.output;
    EXPECT_EQ(PatchLines(cwd.path()), c.log);
  }
}

TEST(HostImports, WithWindowResizeOffNothingIsPatched)
{
  TempDir cwd;
  WriteSettings(cwd.path(), {"log=1"});
  const ProcessResult run = RunHost("ih_upper.exe", "", cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValues(run.output, "slot"),
            (std::vector<std::string>{"3:GetClientRect:user32.dll", "3:SetWindowPos:user32.dll"}));
  EXPECT_EQ(ReadLog(cwd.path()), std::vector<std::string>{"log on .\\d3d9.cpp 43 "});
}

TEST(HostImports, ThePatchedSlotsKeepThePageProtectionTheyHad)
{
  std::vector<std::string> protections[2];
  for (int resize = 0; resize < 2; ++resize) {
    TempDir cwd;
    WriteSettings(cwd.path(), {"window_resize=" + std::to_string(resize)});
    const ProcessResult run = RunHost("ih_mixed.exe", "", cwd.path());
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    protections[resize] = OutputValues(run.output, "prot");
    EXPECT_EQ(OutputValues(run.output, "slot")[0], resize ? "3:SetWindowPos:d3d9.dll" : "3:SetWindowPos:user32.dll");
  }
  EXPECT_EQ(protections[1], protections[0]);
  EXPECT_EQ(protections[1].size(), 3u);
}

// ---- the host's own calls through its patched imports ----

TEST(WindowSize, GetClientRectPassesThroughUntilDirect3DIsInUseThenReportsTheRenderTarget)
{
  TempDir cwd;
  WriteSettings(cwd.path(), {"log=1", "window_resize=1", "window_add_height=24"});
  const ProcessResult run = RunHost("host.exe", "window clientrect create9 clientrect popup clientrect", cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  // Before Direct3DCreate9: the real 640x480 client area. After it, with no device
  // measured yet: {0, 0, 0, 24}. A window without WS_SYSMENU: the platform's answer.
  EXPECT_EQ(OutputValues(run.output, "client"), (std::vector<std::string>{"0,0,640,480", "0,0,0,24", "0,0,640,480"}));
  EXPECT_EQ(OutputValues(run.output, "client_result"), (std::vector<std::string>{"1", "1", "1"}));
  const std::vector<std::string> log = ReadLog(cwd.path());
  EXPECT_EQ(std::count(log.begin(), log.end(), "GetClientRectNew .\\functions.cpp 92 "), 3);
}

TEST(WindowSize, ANullRectangleGoesToThePlatformAsItIs)
{
  std::string answers[2];
  for (int resize = 0; resize < 2; ++resize) {
    TempDir cwd;
    WriteSettings(cwd.path(), {"window_resize=" + std::to_string(resize)});
    const ProcessResult run = RunHost("host.exe", "window create9 clientrect_null", cwd.path());
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    answers[resize] = OutputValue(run.output, "clientrect_null");
  }
  EXPECT_NE(answers[1], "");
  EXPECT_EQ(answers[1], answers[0]);
}

TEST(WindowSize, SetWindowPosDropsMovesThatKeepTheLastSizeAndGivesAResizableFrame)
{
  TempDir cwd;
  WriteSettings(cwd.path(), {"window_resize=1"});
  // The four calls: passed on (size differs), dropped (moves, same size), passed on
  // (same position as the call before), passed on (size differs).
  const ProcessResult run = RunHost(
      "host.exe", "window setpos:100,100,640,480 setpos:200,150,640,480 setpos:200,150,640,480 setpos:0,0,800,600",
      cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValues(run.output, "setpos"), (std::vector<std::string>{"1", "1", "1", "1"}));
  EXPECT_EQ(OutputValues(run.output, "rect"),
            (std::vector<std::string>{"100,100,740,580", "100,100,740,580", "200,150,840,630", "0,0,800,600"}));
  for (const std::string& style : OutputValues(run.output, "style"))
    EXPECT_EQ(std::stoul(style, nullptr, 16) & 0x14050000ul, 0x14050000ul) << style;
}

TEST(WindowSize, WindowsWithoutSystemMenuKeepTheirStyleAndEveryRequestIsPassedOn)
{
  TempDir cwd;
  WriteSettings(cwd.path(), {"window_resize=1"});
  const ProcessResult run = RunHost("host.exe", "popup setpos:10,10,50,50 setpos:20,20,50,50 setpos:30,30,50,50",
                                    cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValues(run.output, "rect"),
            (std::vector<std::string>{"10,10,60,60", "20,20,70,70", "30,30,80,80"}));
  for (const std::string& style : OutputValues(run.output, "style"))
    EXPECT_EQ(style, "0x94000000");  // WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS as created
}

}  // namespace
