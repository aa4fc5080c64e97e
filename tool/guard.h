// Buffers between inaccessible guard pages, and a vectored exception handler that
// records every access to those pages and then lets it complete.
//
// MinGW has no structured exception handling, so faults are caught with a vectored
// handler: on an access violation inside a guard page (or anywhere in a retired
// buffer) it records the address and whether it was a read or a write, makes that one
// page readable and writable, and resumes the faulting instruction, which now
// completes. CloseGuards makes the pages inaccessible again after the call.
#pragma once

#include <cstddef>
#include <cstdint>

// Where a fault was, relative to a buffer.
enum GuardSide {
  GuardBefore,  // the guard pages just before the body
  GuardAfter,   // the guard pages just after the body
  GuardRetired, // anywhere in a retired buffer (an earlier call's)
  GuardSides
};

// The first read and the first write fault on one side of a buffer since the last
// ClearGuardFaults; null when there was none. Only the first access to each page
// faults: the page stays open until CloseGuards.
struct GuardFaults {
  const char* firstRead;
  const char* firstWrite;
};

enum Placement {
  PlaceAtStart,  // the buffer starts right after the guard pages before it
  PlaceAtEnd     // the buffer ends right where the guard pages after it start
};

struct GuardedBuffer {
  char* allocation;  // guard pages | body | guard pages
  char* body;        // whole pages, readable and writable
  size_t bodyBytes;
  char* data;        // the buffer proper: at the body's start or touching its end
  size_t dataBytes;
  bool retired;      // the whole allocation is inaccessible for good
  const char* what;  // the caller's name for it ("destination", ...)
  GuardFaults faults[GuardSides];
};

// Installs the vectored exception handler; once per process.
void InstallGuardHandler();
// A new buffer of `bytes` (at least 1) placed in its body as asked, the whole body
// filled with `fill`. Null when the memory is not to be had. Buffers are never freed:
// once retired they keep catching a plugin that holds on to their address.
GuardedBuffer* NewGuardedBuffer(const char* what, size_t bytes, Placement placement, uint8_t fill);
// Makes the whole buffer inaccessible for good.
void RetireGuardedBuffer(GuardedBuffer* buffer);
// Every buffer made so far, in order.
int GuardedBufferCount();
GuardedBuffer* GuardedBufferAt(int index);
// Forgets the faults recorded on every buffer.
void ClearGuardFaults();
// Makes every guard page, and every retired buffer, inaccessible again.
void CloseGuards();
