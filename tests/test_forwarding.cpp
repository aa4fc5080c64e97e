// Direct3DCreate9 forwarding: end to end through a host on Wine's real Direct3D 9,
// and the load failures through the library's code pointed at system directories of
// our own making (Wine's system directory cannot be made to fail).
#include <gtest/gtest.h>

#include "testing.h"

namespace {

std::string Lower(std::string s)
{
  for (char& c : s)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string SystemD3d9()
{
  char dir[MAX_PATH];
  GetSystemDirectoryA(dir, MAX_PATH);
  return std::string(dir) + "\\d3d9.dll";
}

// Label lines "name = 1234" become "name = N": addresses differ from run to run.
std::vector<std::string> MaskNumbers(std::vector<std::string> lines)
{
  for (std::string& line : lines) {
    const size_t eq = line.rfind(" = ");
    if (eq != std::string::npos && eq + 3 < line.size() &&
        line.find_first_not_of("0123456789", eq + 3) == std::string::npos)
      line = line.substr(0, eq + 3) + "N";
  }
  return lines;
}

TEST(Forwarding, HostGetsTheSystemsOwnInterfaceAndTheLibraryLoadsOnlyOnce)
{
  TempDir cwd;
  WriteSettings(cwd.path(), {"log=1"});
  const ProcessResult run = RunHost("host.exe", "create9 create9", cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;

  // Both interfaces are objects of the system library: their method tables lie in it.
  EXPECT_NE(OutputValue(run.output, "d3d0"), NullPointerText);
  EXPECT_NE(OutputValue(run.output, "d3d1"), NullPointerText);
  EXPECT_EQ(Lower(OutputValue(run.output, "d3d0_module")), Lower(SystemD3d9()));
  EXPECT_EQ(Lower(OutputValue(run.output, "d3d1_module")), Lower(SystemD3d9()));
  EXPECT_EQ(Lower(OutputValue(run.output, "proxy")), Lower(JoinPath(BinDir(), "d3d9.dll")));

  // The first interface's method table is patched; the second shares it and is left
  // alone (its entry line only).
  const std::vector<std::string> expected = {
      "log on .\\d3d9.cpp 43 ",
      "Direct3DCreate9 .\\functions.cpp 140 ",
      "path = " + SystemD3d9(),
      "HookCreateDevice .\\Hook.cpp 22 ",
      "CreateDeviceOrg = N",
      "CreateDeviceNew = N",
      "Direct3DCreate9 success .\\functions.cpp 147 ",
      "Direct3DCreate9 .\\functions.cpp 140 ",
      "HookCreateDevice .\\Hook.cpp 22 ",
      "Direct3DCreate9 success .\\functions.cpp 147 ",
  };
  EXPECT_EQ(MaskNumbers(ReadLog(cwd.path())), expected);
}

// ---- through the library's code with a system directory of our own ----

std::string Probe() { return JoinPath(TestDataDir(), "forward_probe.exe"); }
std::string FakeDir() { return JoinPath(TestDataDir(), "fakesys"); }
std::string NoCreateDir() { return JoinPath(TestDataDir(), "nocreate"); }

ProcessResult RunProbe(const std::string& args, const std::string& cwd)
{
  return RunProcess("\"" + Probe() + "\" " + args, cwd);
}


struct FailureCase {
  const char* name;
  std::string args;         // before the failing call
  std::string directory;    // the failing call's system directory
  std::string lastLines;    // what the log ends with (label lines)
};

TEST(ForwardingFailures, HostGetsNullAndTheLogEndsWithTheFailure)
{
  const std::string longDir = "long:250";  // 250 characters + "\d3d9.dll" fill the buffer exactly
  const FailureCase cases[] = {
      {"not loadable", "", "C:\\no\\such\\directory",
       "path = C:\\no\\such\\directory\\d3d9.dll\r\nh_d3d9 == NULL Err = 126\r\n"},
      {"leads back to this library", "self=" + JoinPath(FakeDir(), "d3d9.dll"), FakeDir(),
       "path = " + JoinPath(FakeDir(), "d3d9.dll") + "\r\nh_d3d9 == hModule\r\n"},
      {"no Direct3DCreate9", "", NoCreateDir(),
       "path = " + JoinPath(NoCreateDir(), "d3d9.dll") + "\r\nDirect3DCreate9Org == NULL\r\n"},
      {"system directory of 251 characters", "", "long:251",
       "system directory unusable, length = 251\r\n"},
      {"system directory of 250 characters still fits", "", longDir,
       "path = C:\\" + std::string(247, 'x') + "\\d3d9.dll\r\nh_d3d9 == NULL Err = "},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir cwd;
    // A failing call, then one that succeeds: it must write nothing more.
    const ProcessResult run =
        RunProbe("log " + c.args + " \"call=" + c.directory + "\" call=system", cwd.path());
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValue(run.output, "result0"), NullPointerText);
    EXPECT_NE(OutputValue(run.output, "result1"), NullPointerText) << "a later call loads again";

    const std::string log = ReadFileBytes(cwd / "log.txt");
    const std::string head = "Direct3DCreate9 .\\functions.cpp 140 \r\n";
    ASSERT_GE(log.size(), head.size());
    const size_t tail = log.find(head) + head.size();
    if (std::string(c.name).find("still fits") != std::string::npos) {
      // The error code of a name too long for the file system is Wine's business.
      EXPECT_EQ(log.substr(tail, c.lastLines.size()), c.lastLines);
      EXPECT_EQ(log.find("\r\n", tail + c.lastLines.size()), log.size() - 2);
    } else {
      EXPECT_EQ(log.substr(tail), c.lastLines);
    }
  }
}

TEST(ForwardingFailures, WithTheLogOffAFailedLoadWritesNoFileAndIsRetriedByTheNextCall)
{
  TempDir cwd;
  const ProcessResult run =
      RunProbe("\"call=C:\\no\\such\\directory\" \"call=" + NoCreateDir() + "\" \"call=" + FakeDir() + "\"",
               cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValue(run.output, "result0"), NullPointerText);
  EXPECT_EQ(OutputValue(run.output, "result1"), NullPointerText);
  EXPECT_NE(OutputValue(run.output, "result2"), NullPointerText);
  EXPECT_FALSE(FileExists(cwd / "log.txt"));
}

TEST(ForwardingFailures, TheSdkVersionReachesTheSystemUnchangedAndItsInterfaceComesBackAsIs)
{
  TempDir cwd;
  const ProcessResult run = RunProbe("log \"call=" + FakeDir() + ",0x12345678\"", cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValue(run.output, "fake_sdk"), std::to_string(0x12345678));
  EXPECT_EQ(OutputValue(run.output, "result0"), OutputValue(run.output, "fake_result"));
  EXPECT_NE(OutputValue(run.output, "result0"), NullPointerText);
}

TEST(ForwardingFailures, ANullInterfaceFromTheSystemReachesTheHostAndNothingIsPatched)
{
  TempDir cwd;
  const ProcessResult run = RunProbe("log \"call=" + FakeDir() + ",0xDEAD\"", cwd.path());
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(OutputValue(run.output, "fake_sdk"), std::to_string(0xDEAD));
  EXPECT_EQ(OutputValue(run.output, "result0"), NullPointerText);
  const std::vector<std::string> expected = {
      "Direct3DCreate9 .\\functions.cpp 140 ",
      "path = " + JoinPath(FakeDir(), "d3d9.dll"),
      "Direct3DCreate9Org returned NULL",
  };
  EXPECT_EQ(ReadLog(cwd.path()), expected);
}

// d3d9_path: another Direct3D 9 library to forward to (a chain of wrappers). The fake
// system library records the calls it gets. A path that cannot serve is logged and the
// system directory's library is loaded instead; one that leads back to this library is
// refused as the system directory's would be.
TEST(ChainLoading, TheConfiguredLibraryIsUsedAndAnUnusableOneFallsBackToTheSystem)
{
  const std::string fake = JoinPath(FakeDir(), "d3d9.dll");
  const std::string tooLong = "C:\\" + std::string(300, 'y') + "\\d3d9.dll";
  char systemDirectory[MAX_PATH];
  GetSystemDirectoryA(systemDirectory, MAX_PATH);
  const std::string systemPath = "path = " + JoinPath(systemDirectory, "d3d9.dll");
  const struct {
    const char* name;
    std::string setting;
    std::string probeArgs;
    bool fakeUsed;
    bool host;  // the host gets an interface
    std::vector<std::string> labels;  // the log's label lines, in order
  } cases[] = {
      {"an absolute path", fake, "", true, true, {"path = " + fake}},
      {"a path relative to the current directory", "chain\\d3d9.dll", "", true, true, {"path = <cwd>\\chain\\d3d9.dll"}},
      {"a file that is not there", "C:\\no\\such\\d3d9.dll", "", false, true,
       {"path = C:\\no\\such\\d3d9.dll", "d3d9_path not loaded, Err = 126", systemPath}},
      {"a library without Direct3DCreate9", JoinPath(NoCreateDir(), "d3d9.dll"), "", false, true,
       {"path = " + JoinPath(NoCreateDir(), "d3d9.dll"), "d3d9_path without Direct3DCreate9", systemPath}},
      {"a path too long for the platform", tooLong, "", false, true,
       {"d3d9_path too long, length = " + std::to_string(tooLong.size()), systemPath}},
      {"this library itself", fake, "self=" + fake, false, false, {"path = " + fake, "h_d3d9 == hModule"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir cwd;
    CreateDirectoryA((cwd / "chain").c_str(), nullptr);
    CopyInto(fake, cwd / "chain");
    WriteSettings(cwd.path(), {"d3d9_path=" + c.setting});
    const ProcessResult run = RunProbe("log " + c.probeArgs + " call=system,0x777", cwd.path());
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(OutputValue(run.output, "result0") != NullPointerText, c.host) << run.output;
    if (c.fakeUsed) {
      EXPECT_EQ(OutputValue(run.output, "fake_sdk"), std::to_string(0x777));
      EXPECT_EQ(OutputValue(run.output, "result0"), OutputValue(run.output, "fake_result"));
    } else if (c.host) {
      EXPECT_EQ(OutputValue(run.output, "fake_sdk"), "") << "the fake is not loaded";
    }
    std::vector<std::string> labels;
    for (const std::string& line : ReadLog(cwd.path()))
      if (line.find(".cpp ") == std::string::npos && line.rfind("CreateDevice", 0) != 0)
        labels.push_back(line);
    std::vector<std::string> expected = c.labels;
    for (std::string& line : expected) {
      const size_t at = line.find("<cwd>");
      if (at != std::string::npos)
        line.replace(at, 5, cwd.path());
    }
    EXPECT_EQ(labels, expected);
  }
}

TEST(ExportFallbacks, WithoutTheSystemsFunctionsEveryExportAnswersAsAD3d9WithoutTheFeature)
{
  // A system library that has none of them, and one that cannot be loaded at all.
  const struct {
    const char* name;
    std::string directory;
  } cases[] = {{"library without the functions", NoCreateDir()}, {"no library", "C:\\no\\such\\directory"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir cwd;
    const ProcessResult run = RunProbe("\"exports=" + c.directory + "\"", cwd.path());
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    // Events nest without a profiler; nothing is attached, nothing repeats.
    EXPECT_EQ(OutputValue(run.output, "perf_begin0"), "0");
    EXPECT_EQ(OutputValue(run.output, "perf_begin1"), "1");
    EXPECT_EQ(OutputValue(run.output, "perf_end1"), "1");
    EXPECT_EQ(OutputValue(run.output, "perf_end0"), "0");
    EXPECT_EQ(OutputValue(run.output, "perf_status"), "0");
    EXPECT_EQ(OutputValue(run.output, "perf_repeat"), "0");
    EXPECT_EQ(OutputValue(run.output, "validator"), NullPointerText);
    EXPECT_EQ(OutputValue(run.output, "debug_level"), "0");
    EXPECT_EQ(OutputValue(run.output, "shim"), "0");
    EXPECT_EQ(OutputValue(run.output, "create9ex_hr"), "0x8876086a") << "D3DERR_NOTAVAILABLE";
    EXPECT_EQ(OutputValue(run.output, "create9ex_out"), NullPointerText);
    EXPECT_EQ(OutputValue(run.output, "create9ex_null_hr"), "0x8876086a");
  }
}

}  // namespace
