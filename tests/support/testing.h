// Shared helpers of the Windows test programs: temporary directories, files, and
// running a host program with a current directory and environment of its own.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "src/log_points.h"

// Directories of the build (Windows paths), set by the build system.
std::string BinDir();        // d3d9.dll, the test hosts, plugins/ of test plugins
std::string TestDataDir();   // fake system libraries and other fixtures

std::string JoinPath(const std::string& dir, const std::string& name);

// A fresh empty directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return JoinPath(path_, name); }

 private:
  std::string path_;
};

// Makes dir the current directory for the object's life.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& dir);
  ~CurrentDirectory();

 private:
  std::string previous_;
};

bool FileExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
void CopyInto(const std::string& file, const std::string& dir, const std::string& as = "");

// filters.ini in dir with the given "options" section lines ("key=value").
void WriteSettings(const std::string& dir, const std::vector<std::string>& lines);

struct ProcessResult {
  DWORD exitCode = 0;
  bool timedOut = false;
  std::string output;  // standard output and standard error together
};

// Runs the command line with the given current directory; extraEnv entries
// ("NAME=value") are added to (or replace in) this process's environment.
ProcessResult RunProcess(const std::string& commandLine, const std::string& cwd,
                         const std::vector<std::string>& extraEnv = {}, DWORD timeoutMs = 60000);

// Runs a host program in cwd; under the test session's Wine settings it loads the
// d3d9.dll beside it instead of the system's.
// The first form takes the host from the build's bin directory.
ProcessResult RunHost(const std::string& host, const std::string& args, const std::string& cwd,
                      DWORD timeoutMs = 60000);
ProcessResult RunHostAt(const std::string& exePath, const std::string& args, const std::string& cwd,
                        DWORD timeoutMs = 60000);

// A working directory for host runs: plugins\ with the given test plugins ("tp_s2" ...)
// and filters.ini with the given "options" lines.
struct HostScene {
  TempDir dir;
  HostScene(const std::vector<std::string>& plugins, const std::vector<std::string>& settings);
  ProcessResult Run(const std::string& commands, const std::string& host = "host.exe", DWORD timeoutMs = 60000);
};

// The names of the files of dir that match pattern ("*.rpi"), in the order the
// platform's directory search gives them.
std::vector<std::string> FilesIn(const std::string& dir, const std::string& pattern);

// Splits text into lines, dropping "\r".
std::vector<std::string> SplitLines(const std::string& text);
// The value after "key=" on the first such line of a host's output, or "" if none.
std::string OutputValue(const std::string& output, const std::string& key);
// The values of every such line, in order.
std::vector<std::string> OutputValues(const std::string& output, const std::string& key);
// A null pointer as the hosts print it ("%p": as many zeros as a pointer has digits).
inline const std::string NullPointerText(2 * sizeof(void*), '0');

// A top-level window of a class of its own per window procedure (registered once).
HWND MakeTestWindow(WNDPROC proc, DWORD style, HMENU menu = nullptr);

// The lines of a log file, each of which must end with "\r\n" (a line without it is
// returned with "<no CRLF>" appended). Time-stamped lines lose their "N: " stamp and
// keep the rest ("log on .\\d3d9.cpp 43 "); label lines stay as they are.
std::vector<std::string> LogEntries(const std::string& bytes);
// LogEntries of log.txt in dir.
std::vector<std::string> ReadLog(const std::string& dir);
// A fixed log point's time-stamped line as LogEntries gives it: "message tag line ",
// with the value, if any, after the message.
std::string Expected(const LogPoint& point, const std::string& value = "");
