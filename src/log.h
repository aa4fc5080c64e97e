// Diagnostic log: log.txt in the current directory, written only while the log is on.
//
// Two line forms:
//   time-stamped: "<elapsed ms>: <message>[<value>] <source tag> <line> \n"
//   label:        "<label><value>[<label><value>...]\n"
// Every line is written whole (one lock around it, so lines of two threads never mix)
// and flushed as soon as its line break is written.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "log_points.h"

// True while lines are written: from start-up's "log" key, for the life of the process.
bool LogEnabled();
// Start-up: switches the log on, counts time stamps from startTime (timeGetTime) and
// opens log.txt for writing (created or emptied, text mode) at most once per process.
// True when the file is open.
bool StartLog(DWORD startTime);
// Closes the file for good; later lines are lost.
void CloseLog();
// Switches the writing of lines on or off, and sets the clock's start: for tests that
// drive the writers directly.
void SetLogEnabled(bool enabled);
void SetLogStartTime(DWORD startTime);

// Time-stamped line; the second form carries a signed value after the message.
void WriteLogLine(const LogPoint& point);
void WriteLogLine(const LogPoint& point, int32_t value);

namespace logdetail {
inline void Append(std::string& line, const char* text) { line += text; }
template <typename T>
void Append(std::string& line, T value)
{
  static_assert(std::is_integral<T>::value && !std::is_same<T, bool>::value && sizeof(T) >= 4,
                "log values are texts or 32- or 64-bit integers");
  if constexpr (std::is_signed<T>::value)
    line += std::to_string(static_cast<long long>(value));
  else
    line += std::to_string(static_cast<unsigned long long>(value));
}
// Writes one whole label line (the line break added).
void WriteLabelLine(const std::string& line);
}  // namespace logdetail

// Label line: label texts, each followed by its value; or one text alone. A value is
// printed in decimal, signed or unsigned by its type (cast to the signedness the line
// asks for; addresses go in as uintptr_t).
template <typename... Pieces>
void WriteLogLabel(const Pieces&... pieces)
{
  if (!LogEnabled())
    return;
  std::string line;
  (logdetail::Append(line, pieces), ...);
  logdetail::WriteLabelLine(line);
}
