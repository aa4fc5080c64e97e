// Guard-paged buffers and the vectored exception handler that watches them.
#include "tool/guard.h"

#include <windows.h>

#include <cstring>

// Inaccessible pages on each side of a body: a stray access a little further off than
// one page is still caught rather than landing in unrelated memory.
constexpr size_t GuardPages = 16;
// Buffers one check makes: a few per frame size, never freed.
constexpr int MaxGuardedBuffers = 256;
// Access kinds in an access violation's first parameter.
constexpr ULONG_PTR AccessRead = 0;
constexpr ULONG_PTR AccessWrite = 1;

static GuardedBuffer Buffers[MaxGuardedBuffers];
static volatile LONG BufferCount = 0;
static size_t PageBytes = 0;

static size_t GuardBytes() { return GuardPages * PageBytes; }
static size_t AllocationBytes(const GuardedBuffer& b) { return b.bodyBytes + 2 * GuardBytes(); }

// The side of buffer b on which the address lies, or GuardSides when it is not in one
// of b's inaccessible pages.
static GuardSide SideOf(const GuardedBuffer& b, const char* address)
{
  if (address < b.allocation || address >= b.allocation + AllocationBytes(b))
    return GuardSides;
  if (b.retired)
    return GuardRetired;
  if (address < b.body)
    return GuardBefore;
  if (address >= b.body + b.bodyBytes)
    return GuardAfter;
  return GuardSides;
}

static LONG CALLBACK GuardHandler(EXCEPTION_POINTERS* info)
{
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  const ULONG_PTR access = record->ExceptionInformation[0];
  if (access != AccessRead && access != AccessWrite)
    return EXCEPTION_CONTINUE_SEARCH;  // executing from our pages: opening them cannot help
  const char* address = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
  for (LONG i = 0; i < BufferCount; ++i) {
    GuardedBuffer& b = Buffers[i];
    const GuardSide side = SideOf(b, address);
    if (side == GuardSides)
      continue;
    GuardFaults& faults = b.faults[side];
    const char*& first = access == AccessWrite ? faults.firstWrite : faults.firstRead;
    if (!first)
      first = address;
    // Open this one page so that the instruction completes when it is resumed.
    void* page = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(address) & ~uintptr_t(PageBytes - 1));
    DWORD previous = 0;
    if (!VirtualProtect(page, PageBytes, PAGE_READWRITE, &previous))
      return EXCEPTION_CONTINUE_SEARCH;
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

void InstallGuardHandler()
{
  static bool installed = false;
  if (installed)
    return;
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  PageBytes = system.dwPageSize;
  AddVectoredExceptionHandler(1, GuardHandler);  // first in line
  installed = true;
}

GuardedBuffer* NewGuardedBuffer(const char* what, size_t bytes, Placement placement, uint8_t fill)
{
  if (BufferCount >= MaxGuardedBuffers || bytes == 0 || !PageBytes)
    return nullptr;
  GuardedBuffer b = {};
  b.bodyBytes = (bytes + PageBytes - 1) / PageBytes * PageBytes;
  b.allocation =
      static_cast<char*>(VirtualAlloc(nullptr, AllocationBytes(b), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!b.allocation)
    return nullptr;
  b.body = b.allocation + GuardBytes();
  std::memset(b.body, fill, b.bodyBytes);
  b.data = placement == PlaceAtStart ? b.body : b.body + b.bodyBytes - bytes;
  b.dataBytes = bytes;
  b.what = what;
  GuardedBuffer& stored = Buffers[BufferCount];
  stored = b;
  InterlockedIncrement(&BufferCount);  // the handler sees the buffer only once it is complete
  CloseGuards();
  return &stored;
}

void RetireGuardedBuffer(GuardedBuffer* buffer)
{
  buffer->retired = true;
  DWORD previous = 0;
  VirtualProtect(buffer->allocation, AllocationBytes(*buffer), PAGE_NOACCESS, &previous);
}

int GuardedBufferCount() { return BufferCount; }
GuardedBuffer* GuardedBufferAt(int index) { return &Buffers[index]; }

void ClearGuardFaults()
{
  for (LONG i = 0; i < BufferCount; ++i)
    for (GuardFaults& faults : Buffers[i].faults)
      faults = GuardFaults{};
}

void CloseGuards()
{
  DWORD previous = 0;
  for (LONG i = 0; i < BufferCount; ++i) {
    GuardedBuffer& b = Buffers[i];
    if (b.retired) {
      VirtualProtect(b.allocation, AllocationBytes(b), PAGE_NOACCESS, &previous);
    } else {
      VirtualProtect(b.allocation, GuardBytes(), PAGE_NOACCESS, &previous);
      VirtualProtect(b.body + b.bodyBytes, GuardBytes(), PAGE_NOACCESS, &previous);
    }
  }
}
