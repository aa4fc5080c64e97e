#include "log.h"

#include <mmsystem.h>

bool bLog = false;
DWORD dwStartTime = 0;
std::ofstream LogFile;

// The file is opened at most once per process, never reopened after CloseLog.
static bool LogOpenedOnce = false;

bool OpenLog()
{
  if (!LogOpenedOnce) {
    LogOpenedOnce = true;
    LogFile.open("log.txt", std::ios::out | std::ios::trunc);
  }
  return LogFile.is_open();
}

void CloseLog()
{
  LogFile.close();
}

static void WriteStamp(const char* message)
{
  const DWORD elapsed = timeGetTime() - dwStartTime;  // wraps after 2^32 ms
  LogFile << static_cast<unsigned long>(elapsed) << ": " << message;
}

static void WriteSource(const char* tag, int line)
{
  LogFile << ' ' << tag << ' ' << line << ' ' << std::endl;
}

void WriteLogLine(const char* message, const char* tag, int line)
{
  if (!bLog)
    return;
  WriteStamp(message);
  WriteSource(tag, line);
}

void WriteLogLine(const char* message, const char* tag, int line, int32_t value)
{
  if (!bLog)
    return;
  WriteStamp(message);
  LogFile << value;
  WriteSource(tag, line);
}
