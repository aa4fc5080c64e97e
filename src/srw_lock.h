// Scoped holds of a slim reader/writer lock: the library's few locks are SRWLOCKs
// (statically initialised, no constructor to run before DllMain).
#pragma once

#include <windows.h>

class ExclusiveHold {
 public:
  explicit ExclusiveHold(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~ExclusiveHold() { ReleaseSRWLockExclusive(&lock_); }
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;

 private:
  SRWLOCK& lock_;
};

class SharedHold {
 public:
  explicit SharedHold(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockShared(&lock_); }
  ~SharedHold() { ReleaseSRWLockShared(&lock_); }
  SharedHold(const SharedHold&) = delete;
  SharedHold& operator=(const SharedHold&) = delete;

 private:
  SRWLOCK& lock_;
};
