#include "testing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#ifndef TEST_BIN_DIR
#error TEST_BIN_DIR must name the bin directory of the build
#endif

std::string BinDir() { return TEST_BIN_DIR; }
std::string TestDataDir() { return TEST_DATA_DIR; }

std::string JoinPath(const std::string& dir, const std::string& name)
{
  if (dir.empty() || dir.back() == '\\' || dir.back() == '/')
    return dir + name;
  return dir + "\\" + name;
}

static void RemoveTree(const std::string& dir)
{
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(JoinPath(dir, "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..")
        continue;
      const std::string path = JoinPath(dir, name);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

TempDir::TempDir()
{
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  static unsigned counter = 0;
  for (;;) {
    char name[64];
    std::snprintf(name, sizeof name, "d3d9t-%lu-%u", GetCurrentProcessId(), counter++);
    path_ = JoinPath(base, name);
    if (CreateDirectoryA(path_.c_str(), nullptr))
      break;
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

CurrentDirectory::CurrentDirectory(const std::string& dir)
{
  char previous[MAX_PATH * 2];
  GetCurrentDirectoryA(sizeof previous, previous);
  previous_ = previous;
  SetCurrentDirectoryA(dir.c_str());
}

CurrentDirectory::~CurrentDirectory() { SetCurrentDirectoryA(previous_.c_str()); }

bool FileExists(const std::string& path)
{
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileBytes(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

void CopyInto(const std::string& file, const std::string& dir, const std::string& as)
{
  std::string name = as;
  if (name.empty()) {
    const size_t slash = file.find_last_of("\\/");
    name = slash == std::string::npos ? file : file.substr(slash + 1);
  }
  if (!CopyFileA(file.c_str(), JoinPath(dir, name).c_str(), FALSE))
    ADD_FAILURE() << "cannot copy " << file << " into " << dir;
}

void WriteSettings(const std::string& dir, const std::vector<std::string>& lines)
{
  std::string text = "[options]\r\n";
  for (const std::string& line : lines)
    text += line + "\r\n";
  WriteFileBytes(JoinPath(dir, "filters.ini"), text);
}

HostScene::HostScene(const std::vector<std::string>& plugins, const std::vector<std::string>& settings)
{
  CreateDirectoryA((dir / "plugins").c_str(), nullptr);
  for (const std::string& p : plugins)
    CopyInto(JoinPath(TestDataDir(), "plugins\\" + p + ".rpi"), dir / "plugins");
  WriteSettings(dir.path(), settings);
}

ProcessResult HostScene::Run(const std::string& commands, const std::string& host, DWORD timeoutMs)
{
  return RunHost(host, commands, dir.path(), timeoutMs);
}

std::vector<std::string> FilesIn(const std::string& dir, const std::string& pattern)
{
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(JoinPath(dir, pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do
    names.push_back(found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

// The environment block of this process with the given entries added or replaced.
static std::string EnvironmentWith(const std::vector<std::string>& extra)
{
  std::vector<std::string> entries;
  char* block = GetEnvironmentStringsA();
  for (const char* p = block; *p; p += std::strlen(p) + 1)
    entries.push_back(p);
  FreeEnvironmentStringsA(block);
  for (const std::string& add : extra) {
    const std::string name = add.substr(0, add.find('=') + 1);
    for (auto it = entries.begin(); it != entries.end();) {
      if (_strnicmp(it->c_str(), name.c_str(), name.size()) == 0)
        it = entries.erase(it);
      else
        ++it;
    }
    entries.push_back(add);
  }
  std::string result;
  for (const std::string& entry : entries)
    result += entry + '\0';
  result += '\0';
  return result;
}

ProcessResult RunProcess(const std::string& commandLine, const std::string& cwd,
                         const std::vector<std::string>& extraEnv, DWORD timeoutMs)
{
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  CreatePipe(&readEnd, &writeEnd, &inherit, 0);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  std::string mutableLine = commandLine;
  std::string environment = EnvironmentWith(extraEnv);
  // Wine's 32-bit half has been seen to fail a process start once, after a long wait,
  // with ERROR_INTERNAL_ERROR: the start is tried a second time before it counts.
  BOOL started = FALSE;
  for (int attempt = 0; attempt < 2 && !started; ++attempt) {
    mutableLine = commandLine;
    started = CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, TRUE, 0, &environment[0], cwd.c_str(),
                             &startup, &process);
  }
  if (!started) {
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    result.exitCode = static_cast<DWORD>(-1);
    result.output = "CreateProcess failed: " + std::to_string(GetLastError());
    return result;
  }
  CloseHandle(writeEnd);

  // Read until the pipe closes or the time is up; the child may write a lot.
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr))
      break;  // closed: the child and everything it started has gone
    if (available > 0) {
      char buffer[4096];
      DWORD got = 0;
      if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr))
        break;
      result.output.append(buffer, got);
      continue;
    }
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
      // Drain what is left, then stop.
      while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr))
          break;
        result.output.append(buffer, got);
      }
      break;
    }
    if (GetTickCount() - start > timeoutMs) {
      result.timedOut = true;
      TerminateProcess(process.hProcess, 0xDEAD);
      break;
    }
    Sleep(2);
  }
  WaitForSingleObject(process.hProcess, 10000);
  GetExitCodeProcess(process.hProcess, &result.exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(readEnd);
  return result;
}

ProcessResult RunHostAt(const std::string& exePath, const std::string& args, const std::string& cwd,
                        DWORD timeoutMs)
{
  // The Wine session's WINEDLLOVERRIDES (d3d9=n,b) reaches the child through the
  // environment it inherits; Wine does not take it from a child's environment block.
  return RunProcess("\"" + exePath + "\" " + args, cwd, {}, timeoutMs);
}

ProcessResult RunHost(const std::string& host, const std::string& args, const std::string& cwd,
                      DWORD timeoutMs)
{
  return RunHostAt(JoinPath(BinDir(), host), args, cwd, timeoutMs);
}

std::vector<std::string> SplitLines(const std::string& text)
{
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  if (!line.empty())
    lines.push_back(line);
  return lines;
}

std::vector<std::string> OutputValues(const std::string& output, const std::string& key)
{
  std::vector<std::string> values;
  for (const std::string& line : SplitLines(output))
    if (line.compare(0, key.size() + 1, key + "=") == 0)
      values.push_back(line.substr(key.size() + 1));
  return values;
}

HWND MakeTestWindow(WNDPROC proc, DWORD style, HMENU menu)
{
  char className[64];
  std::snprintf(className, sizeof className, "TestWindow%p", reinterpret_cast<void*>(proc));
  WNDCLASSA wc = {};
  if (!GetClassInfoA(GetModuleHandleA(nullptr), className, &wc)) {
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
  }
  return CreateWindowA(className, "test", style, 60, 70, 400, 300, nullptr, menu, GetModuleHandleA(nullptr), nullptr);
}

std::string OutputValue(const std::string& output, const std::string& key)
{
  for (const std::string& line : SplitLines(output))
    if (line.compare(0, key.size() + 1, key + "=") == 0)
      return line.substr(key.size() + 1);
  return "";
}

std::vector<std::string> LogEntries(const std::string& bytes)
{
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find("\r\n", start);
    std::string line = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end == std::string::npos)
      line += "<no CRLF>";
    size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
      ++digits;
    if (digits > 0 && line.compare(digits, 2, ": ") == 0)
      line.erase(0, digits + 2);
    entries.push_back(line);
    if (end == std::string::npos)
      break;
    start = end + 2;
  }
  return entries;
}

std::vector<std::string> ReadLog(const std::string& dir)
{
  return LogEntries(ReadFileBytes(JoinPath(dir, "log.txt")));
}

std::string Expected(const LogPoint& point, const std::string& value)
{
  return std::string(point.message) + value + " " + point.tag + " " + std::to_string(point.line) + " ";
}
