// Replacing the CreateDevice and Present entries of method tables placed where the
// tests choose: read-only pages, tables across a page boundary, and tables whose range
// cannot be made writable.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "library_log.h"
#include "src/device.h"
#include "testing.h"

namespace {

constexpr SIZE_T Page = 0x1000;

// Method tables (plain arrays of entries) at a chosen offset in a region of two pages,
// of which the second may be left reserved only.
class TableMemory {
 public:
  TableMemory(SIZE_T offset, bool secondPageCommitted = true)
  {
    base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * Page, MEM_RESERVE, PAGE_READWRITE));
    VirtualAlloc(base_, secondPageCommitted ? 2 * Page : Page, MEM_COMMIT, PAGE_READWRITE);
    table_ = reinterpret_cast<void**>(base_ + offset);
    const SIZE_T committedEntries = ((secondPageCommitted ? 2 * Page : Page) - offset) / sizeof(void*);
    for (SIZE_T i = 0; i < 20 && i < committedEntries; ++i)
      table_[i] = reinterpret_cast<void*>(0x1000 + i);  // stand-ins for the system's methods
    object_ = table_;
  }
  ~TableMemory() { VirtualFree(base_, 0, MEM_RELEASE); }
  void Protect(DWORD protection)
  {
    DWORD old;
    VirtualProtect(base_, 2 * Page, protection, &old);
  }
  DWORD ProtectionAt(SIZE_T pageIndex) const
  {
    MEMORY_BASIC_INFORMATION info;
    VirtualQuery(base_ + pageIndex * Page, &info, sizeof info);
    return info.Protect;
  }
  void* Entry(int slot) const { return table_[slot]; }
  IDirect3D9* AsDirect3D() { return reinterpret_cast<IDirect3D9*>(&object_); }
  IDirect3DDevice9* AsDevice() { return reinterpret_cast<IDirect3DDevice9*>(&object_); }

 private:
  BYTE* base_;
  void** table_;
  void** object_;  // the object: its first field points at the table
};

void* Fn(CreateDeviceFn f) { return reinterpret_cast<void*>(f); }
void* Fn(PresentFn f) { return reinterpret_cast<void*>(f); }

class SlotPatching : public testing::Test {
 protected:
  void SetUp() override
  {
    OpenLibraryLog();
    ForgetReplacedTables();
  }
};

// Masks the address in "name = 1234" label lines.
std::vector<std::string> Masked(std::vector<std::string> lines)
{
  for (std::string& line : lines) {
    const size_t eq = line.find(" = ");
    if (eq != std::string::npos)
      line = line.substr(0, eq + 3) + "N";
  }
  return lines;
}

TEST_F(SlotPatching, CreateDeviceEntryIsReplacedAndTheSystemsSaved)
{
  TableMemory memory(0x100);
  memory.Protect(PAGE_READONLY);
  LogWatch log;
  HookCreateDevice(memory.AsDirect3D());
  EXPECT_EQ(memory.Entry(16), Fn(&CreateDeviceNew));
  EXPECT_EQ(Fn(OriginalCreateDevice(memory.AsDirect3D())), reinterpret_cast<void*>(0x1000 + 16));
  EXPECT_EQ(memory.Entry(15), reinterpret_cast<void*>(0x1000 + 15));
  EXPECT_EQ(memory.Entry(17), reinterpret_cast<void*>(0x1000 + 17));
  EXPECT_EQ(memory.ProtectionAt(0), static_cast<DWORD>(PAGE_READONLY));
  EXPECT_EQ(Masked(log.Entries()), (std::vector<std::string>{"HookCreateDevice .\\Hook.cpp 22 ",
                                                             "CreateDeviceOrg = N", "CreateDeviceNew = N"}));
  const std::vector<std::string> lines = log.Entries();
  EXPECT_EQ(lines[1], "CreateDeviceOrg = " + std::to_string(0x1000 + 16));
  EXPECT_EQ(lines[2], "CreateDeviceNew = " + std::to_string(reinterpret_cast<uintptr_t>(&CreateDeviceNew)));
}

TEST_F(SlotPatching, PresentEntryIsReplacedWithBothProtectionChangesLogged)
{
  TableMemory memory(0x100);
  memory.Protect(PAGE_EXECUTE_READ);
  LogWatch log;
  HookPresent(memory.AsDevice());
  EXPECT_EQ(memory.Entry(17), Fn(&PresentNew));
  EXPECT_EQ(Fn(OriginalPresent(memory.AsDevice())), reinterpret_cast<void*>(0x1000 + 17));
  EXPECT_EQ(memory.ProtectionAt(0), static_cast<DWORD>(PAGE_EXECUTE_READ));
  EXPECT_EQ(Masked(log.Entries()), (std::vector<std::string>{
                                       "HookPresent .\\Hook.cpp 89 ",
                                       "VirtualProtect PAGE_READWRITE success .\\Hook.cpp 107 ",
                                       "VirtualProtect oldProtect success .\\Hook.cpp 123 ",
                                       "PresentOrg = N",
                                       "PresentNew = N",
                                   }));
}

TEST_F(SlotPatching, ATableAcrossAPageBoundaryHasBothPagesRestored)
{
  // The table starts 8 entries before the page end: both entries lie in the second page.
  TableMemory memory(Page - 8 * sizeof(void*));
  memory.Protect(PAGE_READONLY);
  HookCreateDevice(memory.AsDirect3D());
  HookPresent(memory.AsDevice());
  EXPECT_EQ(memory.Entry(16), Fn(&CreateDeviceNew));
  EXPECT_EQ(memory.Entry(17), Fn(&PresentNew));
  EXPECT_EQ(memory.ProtectionAt(0), static_cast<DWORD>(PAGE_READONLY));
  EXPECT_EQ(memory.ProtectionAt(1), static_cast<DWORD>(PAGE_READONLY));
}

TEST_F(SlotPatching, AnAlreadyPatchedTableIsLeftAloneAndItsSavedEntryKept)
{
  TableMemory memory(0x100);
  HookCreateDevice(memory.AsDirect3D());
  HookPresent(memory.AsDevice());
  LogWatch log;
  HookCreateDevice(memory.AsDirect3D());
  HookPresent(memory.AsDevice());
  EXPECT_EQ(Fn(OriginalCreateDevice(memory.AsDirect3D())), reinterpret_cast<void*>(0x1000 + 16))
      << "never the replacement itself";
  EXPECT_EQ(Fn(OriginalPresent(memory.AsDevice())), reinterpret_cast<void*>(0x1000 + 17));
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"HookCreateDevice .\\Hook.cpp 22 ", "HookPresent .\\Hook.cpp 89 "}));
}

// Objects of two implementations (an IDirect3D9 and an IDirect3D9Ex, say) have tables
// of their own: each call forwards to its own table's original.
TEST_F(SlotPatching, ALaterTableIsPatchedTooAndEachKeepsItsOwnOriginal)
{
  TableMemory first(0x100), second(0x200);
  HookPresent(first.AsDevice());
  second.AsDevice()->lpVtbl->Present = reinterpret_cast<PresentFn>(0x7777);
  HookPresent(second.AsDevice());
  EXPECT_EQ(first.Entry(17), Fn(&PresentNew));
  EXPECT_EQ(second.Entry(17), Fn(&PresentNew));
  EXPECT_EQ(Fn(OriginalPresent(first.AsDevice())), reinterpret_cast<void*>(0x1000 + 17));
  EXPECT_EQ(Fn(OriginalPresent(second.AsDevice())), reinterpret_cast<void*>(0x7777));
}

// A table whose entry another patcher took after us (an overlay hooking Present): its
// replacement forwards to ours, so it is never saved as our original (the calls would
// go round in a circle); ours stays the one we saved first.
TEST_F(SlotPatching, AnEntryTakenOverByAnotherPatcherIsNotSavedAsTheOriginal)
{
  TableMemory memory(0x100);
  HookPresent(memory.AsDevice());
  memory.AsDevice()->lpVtbl->Present = reinterpret_cast<PresentFn>(0x5555);  // the other patcher
  LogWatch log;
  HookPresent(memory.AsDevice());
  EXPECT_EQ(memory.Entry(17), reinterpret_cast<void*>(0x5555));
  EXPECT_EQ(Fn(OriginalPresent(memory.AsDevice())), reinterpret_cast<void*>(0x1000 + 17));
  EXPECT_EQ(log.Entries(), std::vector<std::string>{"HookPresent .\\Hook.cpp 89 "});
}

TEST_F(SlotPatching, ATableThatCannotBeMadeWritableIsNotWritten)
{
  // Entries up to the slot lie in committed memory; the rest of the protected range
  // reaches into a page that is only reserved.
  TableMemory present(Page - 18 * sizeof(void*), false);
  LogWatch log;
  HookPresent(present.AsDevice());
  EXPECT_EQ(present.Entry(17), reinterpret_cast<void*>(0x1000 + 17));
  EXPECT_EQ(OriginalPresent(present.AsDevice()), nullptr);
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"HookPresent .\\Hook.cpp 89 ",
                                                     "VirtualProtect PAGE_READWRITE failed .\\Hook.cpp 111 "}));

  TableMemory create(Page - 17 * sizeof(void*), false);
  LogWatch createLog;
  HookCreateDevice(create.AsDirect3D());
  EXPECT_EQ(create.Entry(16), reinterpret_cast<void*>(0x1000 + 16));
  EXPECT_EQ(OriginalCreateDevice(create.AsDirect3D()), nullptr);
  const std::vector<std::string> lines = createLog.Entries();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].rfind("CreateDevice entry not writable: ", 0), 0u) << lines[1];
}

}  // namespace
