#include "library_log.h"

#include <windows.h>
#include <mmsystem.h>

#include "src/log.h"
#include "testing.h"

static TempDir* LogDirectory = nullptr;

static std::string LogPath() { return *LogDirectory / "log.txt"; }

void OpenLibraryLog()
{
  if (LogDirectory)
    return;
  LogDirectory = new TempDir;  // kept to the end of the process, as the log is
  CurrentDirectory here(LogDirectory->path());
  StartLog(timeGetTime());
}

LogWatch::LogWatch() : start_(LogDirectory ? ReadFileBytes(LogPath()).size() : 0) {}

std::vector<std::string> LogWatch::Entries() const
{
  if (!LogDirectory)
    return {};
  const std::string all = ReadFileBytes(LogPath());
  return LogEntries(all.substr(std::min(start_, all.size())));
}
