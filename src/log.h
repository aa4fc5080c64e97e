// Diagnostic log: log.txt in the current directory, written only while bLog is set.
//
// Two line forms:
//   time-stamped: "<elapsed ms>: <message>[<value>] <source tag> <line> \n"
//   label:        "<label><value>[<label><value>...]\n"
// Every line is flushed as soon as its line break is written.
#pragma once

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <type_traits>

// Source tags: each module's source file as the build records it.
constexpr const char TagD3d9[] = ".\\d3d9.cpp";
constexpr const char TagFunctions[] = ".\\functions.cpp";
constexpr const char TagHook[] = ".\\Hook.cpp";
constexpr const char TagMenu[] = ".\\menu.cpp";

// Set once by start-up from the "log" key; never changed afterwards.
extern bool bLog;
// timeGetTime() at process attach; time stamps count from it.
extern DWORD dwStartTime;
// The one log stream. Opened at most once per process, by start-up.
extern std::ofstream LogFile;

// Opens log.txt for writing (created or emptied, text mode). True when it is open.
bool OpenLog();
// Closes the file for good; later lines are lost.
void CloseLog();

// Time-stamped line; the second form carries a signed value after the message.
void WriteLogLine(const char* message, const char* tag, int line);
void WriteLogLine(const char* message, const char* tag, int line, int32_t value);

// One piece of a label line: a text as it stands, or a number in decimal, signed or
// unsigned by its type (cast to the signedness the line asks for; addresses go in as
// uintptr_t).
template <typename T>
void WriteLogPiece(T value)
{
  if constexpr (std::is_convertible<T, const char*>::value) {
    LogFile << static_cast<const char*>(value);
  } else {
    static_assert(std::is_integral<T>::value && !std::is_same<T, bool>::value && sizeof(T) >= 4,
                  "log values are texts or 32- or 64-bit integers");
    if constexpr (std::is_signed<T>::value)
      LogFile << static_cast<long long>(value);
    else
      LogFile << static_cast<unsigned long long>(value);
  }
}

// Label line: label texts, each followed by its value; or one text alone.
inline void WriteLogLabel(const char* text)
{
  if (!bLog)
    return;
  LogFile << text << std::endl;
}
template <typename V, typename... Rest>
void WriteLogLabel(const char* label, V value, Rest... rest)
{
  if (!bLog)
    return;
  WriteLogPiece(label);
  WriteLogPiece(value);
  (WriteLogPiece(rest), ...);
  LogFile << std::endl;
}
