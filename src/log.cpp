#include "log.h"

#include <mmsystem.h>

#include <fstream>

#include "srw_lock.h"

// Written by start-up (or a test) before any line; read by every writer.
static bool Enabled = false;
static DWORD StartTime = 0;
// The one log stream, opened at most once per process, never reopened after CloseLog.
static std::ofstream File;
static bool OpenedOnce = false;
// Held for each whole line: the host may log from several threads.
static SRWLOCK LineLock = SRWLOCK_INIT;


bool LogEnabled() { return Enabled; }

bool StartLog(DWORD startTime)
{
  ExclusiveHold hold(LineLock);
  Enabled = true;
  StartTime = startTime;
  if (!OpenedOnce) {
    OpenedOnce = true;
    File.open("log.txt", std::ios::out | std::ios::trunc);
  }
  return File.is_open();
}

void CloseLog()
{
  ExclusiveHold hold(LineLock);
  File.close();
}

void SetLogEnabled(bool enabled) { Enabled = enabled; }
void SetLogStartTime(DWORD startTime) { StartTime = startTime; }

// "<elapsed>: <message>" — the elapsed time wraps after 2^32 ms.
static void WriteStamp(const char* message)
{
  const DWORD elapsed = timeGetTime() - StartTime;
  File << static_cast<unsigned long>(elapsed) << ": " << message;
}

static void WriteSource(const LogPoint& point)
{
  File << ' ' << point.tag << ' ' << point.line << ' ' << std::endl;
}

void WriteLogLine(const LogPoint& point)
{
  if (!Enabled)
    return;
  ExclusiveHold hold(LineLock);
  WriteStamp(point.message);
  WriteSource(point);
}

void WriteLogLine(const LogPoint& point, int32_t value)
{
  if (!Enabled)
    return;
  ExclusiveHold hold(LineLock);
  WriteStamp(point.message);
  File << value;
  WriteSource(point);
}

void logdetail::WriteLabelLine(const std::string& line)
{
  ExclusiveHold hold(LineLock);
  File << line << std::endl;
}
