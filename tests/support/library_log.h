// For tests that link the library's code: the library's own log, opened once per
// test process in a directory of its own, and a way to see what a test added to it.
#pragma once

#include <string>
#include <vector>

// Switches the library's log on (once per process; later calls do nothing).
void OpenLibraryLog();

// Marks the log's end when made; Entries() are the lines written since (see LogEntries).
class LogWatch {
 public:
  LogWatch();
  std::vector<std::string> Entries() const;

 private:
  size_t start_;
};
