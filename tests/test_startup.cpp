// Start-up of the library inside a real host process under Wine: the settings file,
// the log switch, the window-resize values, and a refused load.
#include <gtest/gtest.h>

#include <regex>

#include "testing.h"

namespace {

const std::string LogOnLine = "log on .\\d3d9.cpp 43 ";

int DefaultAddWidth() { return 2 * (GetSystemMetrics(SM_CXFRAME) - GetSystemMetrics(SM_CXDLGFRAME)); }
int DefaultAddHeight() { return 2 * (GetSystemMetrics(SM_CYFRAME) - GetSystemMetrics(SM_CYDLGFRAME)); }

TEST(StartUp, LogOnEmptiesTheOldFileAndWritesTheStartLineByteForByte)
{
  TempDir cwd;
  WriteSettings(cwd.path(), {"log=1"});
  WriteFileBytes(cwd / "log.txt", "an old log that must go\r\n");
  const ProcessResult run = RunHost("host.exe", "", cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;

  const std::string bytes = ReadFileBytes(cwd / "log.txt");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(bytes, m, std::regex(R"((\d+): log on \.\\d3d9\.cpp 43 \r\n)"))) << bytes;
  // The stamp covers only reading the key and opening the file.
  EXPECT_LT(std::stoul(m[1]), 1000u);
}

struct SwitchCase {
  const char* setting;  // nullptr: key absent
  bool logOn;
};

TEST(StartUp, AnyNonZeroLogValueSwitchesTheLogOnAndOtherwiseTheOldFileIsUntouched)
{
  const SwitchCase cases[] = {{"log=1", true},   {"log=-3", true}, {"log=7", true},
                              {"log=0", false},  {nullptr, false}, {"log=", false},
                              {"log=abc", false}};
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(c.setting ? c.setting : "(absent)");
    TempDir cwd;
    std::vector<std::string> lines = {"menu_id=5"};
    if (c.setting)
      lines.push_back(c.setting);
    WriteSettings(cwd.path(), lines);
    const std::string old = "an old log\r\n";
    WriteFileBytes(cwd / "log.txt", old);
    const ProcessResult run = RunHost("host.exe", "", cwd.path());
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    if (c.logOn)
      EXPECT_EQ(ReadLog(cwd.path()), std::vector<std::string>{LogOnLine});
    else
      EXPECT_EQ(ReadFileBytes(cwd / "log.txt"), old);
  }
}

TEST(StartUp, AnyContentOfTheSettingsFileIsReadAsThePlatformReadsItWithoutHarm)
{
  std::string junk;
  for (int i = 0; i < 4096; ++i)
    junk += static_cast<char>((i * 131 + 7) & 0xFF);  // every byte value, NUL included
  const struct {
    const char* name;
    std::string content;
    bool logOn;
  } cases[] = {
      {"random bytes", junk, false},
      {"a line of 100000 characters", "[options]\r\nlog=" + std::string(100000, '9') + "\r\n", true},
      {"numbers with trailing text", "[options]\r\nlog=12abc\r\nwindow_resize=0x10\r\n", true},
      {"no section header", "log=1\r\n", false},
      {"the section twice", "[options]\r\nlog=0\r\n[options]\r\nlog=1\r\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir cwd;
    WriteFileBytes(cwd / "filters.ini", c.content);
    const ProcessResult run = RunHost("host.exe", "create9", cwd.path());
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValue(run.output, "done"), "1");
    // Whatever the platform made of the log key, the library followed it.
    char path[MAX_PATH];
    GetFullPathNameA((cwd / "filters.ini").c_str(), MAX_PATH, path, nullptr);
    const bool platformSaysOn = GetPrivateProfileIntA("options", "log", 0, path) != 0;
    EXPECT_EQ(platformSaysOn, c.logOn) << "what this row expects of the platform";
    EXPECT_EQ(FileExists(cwd / "log.txt"), platformSaysOn);
  }
}

TEST(StartUp, WithTheLogOffNoFileIsCreated)
{
  TempDir cwd;
  const ProcessResult run = RunHost("host.exe", "create9", cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_FALSE(FileExists(cwd / "log.txt"));
}

struct ResizeCase {
  std::vector<std::string> settings;
  int addWidth;   // expected logged values; INT_MIN: the computed default
  int addHeight;
};

TEST(StartUp, WindowResizeValuesAreReadWithTheirComputedDefaultsAndLogged)
{
  const int dflt = INT_MIN;
  const ResizeCase cases[] = {
      {{"window_resize=1"}, dflt, dflt},
      {{"window_resize=1", "window_resize_add_width=-7", "window_resize_add_height=-1"}, dflt, dflt},
      {{"window_resize=1", "window_resize_add_width=0", "window_resize_add_height=0"}, 0, 0},
      {{"window_resize=1", "window_resize_add_width=12", "window_resize_add_height=34"}, 12, 34},
      {{"window_resize=-2", "window_resize_add_width=5", "window_add_height=-20"}, 5, dflt},
  };
  for (const ResizeCase& c : cases) {
    std::string trace;
    for (const std::string& s : c.settings)
      trace += s + " ";
    SCOPED_TRACE(trace);
    TempDir cwd;
    std::vector<std::string> lines = c.settings;
    lines.push_back("log=1");
    WriteSettings(cwd.path(), lines);
    const ProcessResult run = RunHost("host.exe", "", cwd.path());
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    const int w = c.addWidth == dflt ? DefaultAddWidth() : c.addWidth;
    const int h = c.addHeight == dflt ? DefaultAddHeight() : c.addHeight;
    const std::vector<std::string> log = ReadLog(cwd.path());
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], LogOnLine);
    EXPECT_EQ(log[1], "WindowResizeAddWidth = " + std::to_string(w) + " .\\d3d9.cpp 59 ");
    EXPECT_EQ(log[2], "WindowResizeAddHeight = " + std::to_string(h) + " .\\d3d9.cpp 60 ");
  }
}

TEST(StartUp, WithWindowResizeOffTheResizeKeysAreNeitherReadNorLogged)
{
  for (const char* setting : {"window_resize=0", "window_resize="}) {
    SCOPED_TRACE(setting);
    TempDir cwd;
    WriteSettings(cwd.path(), {"log=1", setting, "window_resize_add_width=50"});
    const ProcessResult run = RunHost("host.exe", "", cwd.path());
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(ReadLog(cwd.path()), std::vector<std::string>{LogOnLine});
  }
}

TEST(StartUp, TheCurrentDirectoryNotTheLibrarysDecidesWhichFilesAreUsed)
{
  TempDir app, cwd;
  CopyInto(JoinPath(BinDir(), "host.exe"), app.path());
  CopyInto(JoinPath(BinDir(), "d3d9.dll"), app.path());
  const std::string host = app / "host.exe";

  WriteSettings(app.path(), {"log=1"});
  WriteSettings(cwd.path(), {"log=0"});
  ProcessResult run = RunHostAt(host, "", cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(OutputValue(run.output, "proxy").find(app.path()), std::string::npos) << run.output;
  EXPECT_FALSE(FileExists(app / "log.txt"));
  EXPECT_FALSE(FileExists(cwd / "log.txt"));

  WriteSettings(app.path(), {"log=0"});
  WriteSettings(cwd.path(), {"log=1"});
  run = RunHostAt(host, "", cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_FALSE(FileExists(app / "log.txt"));
  EXPECT_EQ(ReadLog(cwd.path()), std::vector<std::string>{LogOnLine});
}

TEST(StartUp, ThreadAttachAndDetachAndProcessDetachDoNothing)
{
  TempDir cwd;
  WriteSettings(cwd.path(), {"log=1", "window_resize=0"});
  const ProcessResult run = RunHost("host.exe", "threads:3", cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValue(run.output, "done"), "1");
  EXPECT_EQ(ReadLog(cwd.path()), std::vector<std::string>{LogOnLine});
}

TEST(StartUp, LoadIsRefusedWhenTheLogCannotBeOpened)
{
  // (A read-only file is no blocker here: the tests run as root, which Wine lets write.)
  struct Blocker {
    const char* name;
    HANDLE (*make)(const std::string& path);  // returns a handle to close afterwards
  };
  const Blocker blockers[] = {
      {"log.txt held open by another program without sharing",
       [](const std::string& path) {
         return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
       }},
      {"log.txt is a directory",
       [](const std::string& path) {
         CreateDirectoryA(path.c_str(), nullptr);
         return INVALID_HANDLE_VALUE;
       }},
  };
  for (const Blocker& b : blockers) {
    SCOPED_TRACE(b.name);
    TempDir cwd;
    const HANDLE held = b.make(cwd / "log.txt");
    WriteSettings(cwd.path(), {"log=1"});
    ProcessResult run = RunHost("host.exe", "", cwd.path());
    // The host imports d3d9.dll, so a refused load stops it before its main.
    EXPECT_NE(run.exitCode, 0u);
    EXPECT_EQ(OutputValue(run.output, "started"), "") << run.output;

    // The same directory with the log off: the library loads.
    WriteSettings(cwd.path(), {"log=0"});
    run = RunHost("host.exe", "", cwd.path());
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValue(run.output, "started"), "1");
    if (held != INVALID_HANDLE_VALUE)
      CloseHandle(held);
  }
}

}  // namespace
