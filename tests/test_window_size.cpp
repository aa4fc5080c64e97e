// The window-size replacements, the placement restore and the import walk, called
// directly: real windows for the first two, and small PE images built in memory for the
// cases no real host can show (over-long module names, slots that cannot be made
// writable, names running off the image).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "library_log.h"
#include "src/forwarding.h"
#include "src/frame_filter.h"
#include "src/host_imports.h"
#include "src/startup.h"
#include "src/window_size.h"
#include "testing.h"

namespace {

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND MakeWindow(DWORD style) { return MakeTestWindow(PlainProc, style); }

IDirect3D9* WINAPI NeverCalled(UINT) { return nullptr; }

void SetBackBufferSize(UINT width, UINT height)
{
  SurfaceGeometryRecord geometry = {};
  geometry.Desc.Width = width;
  geometry.Desc.Height = height;
  SetMeasuredBackBuffer(geometry);
}

class WindowSizeUnit : public testing::Test {
 protected:
  void SetUp() override
  {
    OpenLibraryLog();
    UseSystemDirect3D(nullptr);
    SetMeasuredBackBuffer({});
    SetWindowResize({});
    ForgetWindowPos();
    SetOriginalImports(nullptr, nullptr);
  }
  void TearDown() override
  {
    for (HWND w : windows_)
      DestroyWindow(w);
    UseSystemDirect3D(nullptr);
    SetWindowResize({});
  }
  HWND Window(DWORD style)
  {
    windows_.push_back(MakeWindow(style));
    return windows_.back();
  }
  std::vector<HWND> windows_;
};

RECT Client(HWND w)
{
  RECT r = {-1, -1, -1, -1};
  GetClientRect(w, &r);
  return r;
}

bool Same(const RECT& a, const RECT& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST_F(WindowSizeUnit, GetClientRectReportsTheRenderTargetPlusTheAddedHeight)
{
  HWND w = Window(WS_OVERLAPPEDWINDOW);
  UseSystemDirect3D(NeverCalled);
  SetWindowResize({0, 0, 24});
  SetBackBufferSize(640, 480);
  RECT r = {};
  EXPECT_EQ(GetClientRectNew(w, &r), TRUE);
  EXPECT_TRUE(Same(r, RECT{0, 0, 640, 504}));

  SetWindowResize({0, 0, -20});
  EXPECT_EQ(GetClientRectNew(w, &r), TRUE);
  EXPECT_TRUE(Same(r, RECT{0, 0, 640, 460}));

  SetMeasuredBackBuffer({});
  SetWindowResize({0, 0, 24});
  EXPECT_EQ(GetClientRectNew(w, &r), TRUE);
  EXPECT_TRUE(Same(r, RECT{0, 0, 0, 24})) << "before any device was measured";
}

TEST_F(WindowSizeUnit, GetClientRectPassesTheCallOnWhenItIsNotItsToAnswer)
{
  HWND sysmenu = Window(WS_OVERLAPPEDWINDOW);
  HWND plain = Window(WS_POPUP);
  SetBackBufferSize(640, 480);
  const struct {
    const char* name;
    HWND window;
    bool direct3d;
  } cases[] = {{"before Direct3D", sysmenu, false}, {"no WS_SYSMENU", plain, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UseSystemDirect3D(c.direct3d ? NeverCalled : nullptr);
    RECT r = {};
    EXPECT_EQ(GetClientRectNew(c.window, &r), TRUE);
    EXPECT_TRUE(Same(r, Client(c.window)));
  }
  UseSystemDirect3D(NeverCalled);
  EXPECT_EQ(GetClientRectNew(sysmenu, nullptr), GetClientRect(sysmenu, nullptr)) << "null: the platform answers";
  LogWatch log;
  RECT r;
  GetClientRectNew(sysmenu, &r);
  EXPECT_EQ(log.Entries(), std::vector<std::string>{"GetClientRectNew .\\functions.cpp 92 "});
}

TEST_F(WindowSizeUnit, SetWindowPosMemoryIsSharedByAllWindows)
{
  HWND a = Window(WS_OVERLAPPEDWINDOW);
  HWND b = Window(WS_POPUP);
  const LONG styleB = GetWindowLongA(b, GWL_STYLE);
  RECT r;
  EXPECT_EQ(SetWindowPosNew(a, nullptr, 100, 100, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE), TRUE);
  // A window without WS_SYSMENU: passed on, its style kept, the last position updated
  // (but not the last size).
  EXPECT_EQ(SetWindowPosNew(b, nullptr, 300, 300, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE), TRUE);
  GetWindowRect(b, &r);
  EXPECT_TRUE(Same(r, RECT{300, 300, 940, 780}));
  EXPECT_EQ(GetWindowLongA(b, GWL_STYLE), styleB);
  EXPECT_EQ(SetWindowPosMemory().LastX, 300);
  EXPECT_EQ(SetWindowPosMemory().LastCx, 640);
  // Same size as last passed on, same position as the last call (b's): passed on.
  EXPECT_EQ(SetWindowPosNew(a, nullptr, 300, 300, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE), TRUE);
  GetWindowRect(a, &r);
  EXPECT_TRUE(Same(r, RECT{300, 300, 940, 780}));
  // Moved with the same size: dropped.
  EXPECT_EQ(SetWindowPosNew(a, nullptr, 50, 60, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE), TRUE);
  GetWindowRect(a, &r);
  EXPECT_TRUE(Same(r, RECT{300, 300, 940, 780}));
  // SWP_NOSIZE with cx = cy = 0 is judged like any other request: size differs.
  EXPECT_EQ(SetWindowPosNew(a, nullptr, 70, 80, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE), TRUE);
  GetWindowRect(a, &r);
  EXPECT_TRUE(Same(r, RECT{70, 80, 710, 560}));
  EXPECT_EQ(SetWindowPosMemory().LastCx, 0);
}

TEST_F(WindowSizeUnit, ThePlatformsResultComesBack)
{
  // An invalid window: forwarded, and the platform's failure returned.
  EXPECT_EQ(SetWindowPosNew(reinterpret_cast<HWND>(0x12345), nullptr, 1, 2, 3, 4, 0), FALSE);
}

TEST_F(WindowSizeUnit, PlacementIsRestoredOnlyWhenAllFourKeysAreThereAndNotBelowMinus9999)
{
  const struct {
    const char* name;
    std::vector<std::string> settings;
    bool moves;
  } cases[] = {
      {"all four", {"left=110", "top=120", "width=400", "height=300"}, true},
      {"left -9999", {"left=-9999", "top=120", "width=400", "height=300"}, true},
      {"left -10000", {"left=-10000", "top=120", "width=400", "height=300"}, false},
      {"minimized -32000", {"left=-32000", "top=-32000", "width=160", "height=28"}, false},
      {"left missing", {"top=120", "width=400", "height=300"}, false},
      {"top missing", {"left=110", "width=400", "height=300"}, false},
      {"width missing", {"left=110", "top=120", "height=300"}, false},
      {"height missing", {"left=110", "top=120", "width=400"}, false},
      {"no file", {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    CurrentDirectory cwd(dir.path());
    if (!c.settings.empty())
      WriteSettings(dir.path(), c.settings);
    HWND w = Window(WS_OVERLAPPEDWINDOW);
    RECT before, after;
    GetWindowRect(w, &before);
    ForgetWindowPos();
    LoadWindowPlacement(w);
    GetWindowRect(w, &after);
    if (c.moves) {
      const int left = c.name == std::string("left -9999") ? -9999 : 110;
      EXPECT_TRUE(Same(after, RECT{left, 120, left + 400, 120 + 300}));
    } else {
      EXPECT_TRUE(Same(after, before));
    }
    EXPECT_FALSE(SetWindowPosMemory().XSeen) << "the restore bypasses SetWindowPosNew";
  }
}

// ---- the import walk over images built in memory ----

// A minimal PE image: headers, import descriptors, module names and import slots.
class ImageBuilder {
 public:
  static constexpr DWORD Page = 0x1000;
  static constexpr DWORD DescriptorRva = 0x200;
  static constexpr DWORD NameRva = 0x400;
  static constexpr DWORD SlotRva = 0x1000;

  // pages: the image's size in pages; committed: how many of them are committed.
  explicit ImageBuilder(DWORD pages = 2, DWORD committed = 2) : size_(pages * Page)
  {
    base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, size_, MEM_RESERVE, PAGE_READWRITE));
    VirtualAlloc(base_, committed * Page, MEM_COMMIT, PAGE_READWRITE);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base_);
    dos->e_magic = IMAGE_DOS_SIGNATURE;
    dos->e_lfanew = 0x40;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base_ + 0x40);
    nt->Signature = IMAGE_NT_SIGNATURE;
    nt->FileHeader.SizeOfOptionalHeader = sizeof nt->OptionalHeader;
    nt->FileHeader.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE;
    nt->OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR_MAGIC;
    nt->OptionalHeader.SizeOfImage = size_;
    nt->OptionalHeader.SizeOfHeaders = DescriptorRva;
    nt->OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT] = {DescriptorRva, 0};
  }
  ~ImageBuilder() { VirtualFree(base_, 0, MEM_RELEASE); }

  // Adds a descriptor naming `name` (written at nameRva) whose slots, at slotRva, hold
  // the given addresses and then 0.
  void AddDescriptor(const std::string& name, DWORD nameRva, const std::vector<ULONG_PTR>& slots, DWORD slotRva)
  {
    auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base_ + DescriptorRva) + descriptors_++;
    d->Name = nameRva;
    d->FirstThunk = slotRva;
    std::memcpy(base_ + nameRva, name.c_str(), std::min<size_t>(name.size() + 1, size_ - nameRva));
    for (size_t i = 0; i < slots.size(); ++i)
      Slot(slotRva, i) = slots[i];
  }
  ULONG_PTR& Slot(DWORD slotRva, size_t i) { return reinterpret_cast<ULONG_PTR*>(base_ + slotRva)[i]; }
  BYTE* base() const { return base_; }
  HMODULE module() const { return reinterpret_cast<HMODULE>(base_); }

 private:
  DWORD size_;
  BYTE* base_;
  int descriptors_ = 0;
};

ULONG_PTR User32(const char* function)
{
  return reinterpret_cast<ULONG_PTR>(GetProcAddress(GetModuleHandleA("user32.dll"), function));
}
const ULONG_PTR Gcr = User32("GetClientRect");
const ULONG_PTR Swp = User32("SetWindowPos");
const ULONG_PTR GcrNew = reinterpret_cast<ULONG_PTR>(&GetClientRectNew);
const ULONG_PTR SwpNew = reinterpret_cast<ULONG_PTR>(&SetWindowPosNew);
const ULONG_PTR Other = User32("GetWindowRect");

TEST_F(WindowSizeUnit, EveryMatchingSlotOfTheUser32DescriptorIsReplacedAndTheOriginalsSaved)
{
  ImageBuilder image;
  image.AddDescriptor("KERNEL32.dll", ImageBuilder::NameRva, {Gcr}, ImageBuilder::SlotRva);
  image.AddDescriptor("uSeR32.DlL", ImageBuilder::NameRva + 0x40, {Other, Gcr, Swp, Gcr}, ImageBuilder::SlotRva + 0x40);
  LogWatch log;
  HookImportsOf(image.module());
  EXPECT_EQ(image.Slot(ImageBuilder::SlotRva, 0), Gcr) << "another module's slot stays";
  EXPECT_EQ(image.Slot(ImageBuilder::SlotRva + 0x40, 0), Other);
  EXPECT_EQ(image.Slot(ImageBuilder::SlotRva + 0x40, 1), GcrNew);
  EXPECT_EQ(image.Slot(ImageBuilder::SlotRva + 0x40, 2), SwpNew);
  EXPECT_EQ(image.Slot(ImageBuilder::SlotRva + 0x40, 3), GcrNew);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(OriginalGetClientRect()), Gcr);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(OriginalSetWindowPos()), Swp);
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{
                               "pImportDesc = user32 found! .\\d3d9.cpp 77 ",
                               "GetClientRect found! .\\d3d9.cpp 87 ",
                               "GetClientRect hook! .\\d3d9.cpp 93 ",
                               "SetWindowPos hook! .\\d3d9.cpp 103 ",
                               "GetClientRect hook! .\\d3d9.cpp 93 ",
                           }));
}

TEST_F(WindowSizeUnit, TheSlotsPageKeepsItsProtection)
{
  for (DWORD protection : {DWORD(PAGE_READONLY), DWORD(PAGE_READWRITE), DWORD(PAGE_EXECUTE_READ),
                           DWORD(PAGE_EXECUTE_READWRITE)}) {
    SCOPED_TRACE(protection);
    ImageBuilder image;
    image.AddDescriptor("USER32.dll", ImageBuilder::NameRva, {Gcr, Swp}, ImageBuilder::SlotRva);
    DWORD old;
    VirtualProtect(image.base() + ImageBuilder::SlotRva, ImageBuilder::Page, protection, &old);
    HookImportsOf(image.module());
    EXPECT_EQ(image.Slot(ImageBuilder::SlotRva, 0), GcrNew);
    MEMORY_BASIC_INFORMATION info;
    VirtualQuery(image.base() + ImageBuilder::SlotRva, &info, sizeof info);
    EXPECT_EQ(info.Protect, protection);
  }
}

TEST_F(WindowSizeUnit, ModuleNamesAreMatchedWholeAndInAnyCase)
{
  const struct {
    const char* name;
    bool patched;
  } cases[] = {
      {"user32.dll", true},  {"USER32.DLL", true},    {"User32.Dll", true},   {"user32.dllx", false},
      {"user32", false},     {"xuser32.dll", false},  {"user32.dl", false},   {"user32.dll ", false},
      {"user32.dll.dll", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ImageBuilder image;
    image.AddDescriptor(c.name, ImageBuilder::NameRva, {Gcr}, ImageBuilder::SlotRva);
    HookImportsOf(image.module());
    EXPECT_EQ(image.Slot(ImageBuilder::SlotRva, 0), c.patched ? GcrNew : Gcr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(image.base() + ImageBuilder::NameRva)), c.name)
        << "the image's own text is not changed";
  }
}

TEST_F(WindowSizeUnit, NamesThatDoNotFitTheBufferOrRunOffTheImageAreSkipped)
{
  const struct {
    const char* name;
    std::string first;  // the first descriptor's name; "user32.dll" follows
    DWORD firstRva;
  } cases[] = {
      {"255 characters", std::string(245, 'a') + "user32.dll", ImageBuilder::NameRva},
      {"256 characters", std::string(246, 'a') + "user32.dll", ImageBuilder::NameRva},
      {"300 characters", std::string(300, 'b'), ImageBuilder::NameRva},
      {"runs off the image", std::string(40, 'c'), 2 * ImageBuilder::Page - 40},
      {"name outside the image", "", 0x7FFFFFF0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ImageBuilder image;
    if (c.firstRva < 2 * ImageBuilder::Page) {
      image.AddDescriptor(c.first, c.firstRva, {Gcr}, ImageBuilder::SlotRva);
    } else {
      image.AddDescriptor("", ImageBuilder::NameRva, {Gcr}, ImageBuilder::SlotRva);
      reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(image.base() + ImageBuilder::DescriptorRva)->Name = c.firstRva;
    }
    image.AddDescriptor("user32.dll", ImageBuilder::NameRva + 0x200, {Gcr}, ImageBuilder::SlotRva + 0x100);
    HookImportsOf(image.module());
    EXPECT_EQ(image.Slot(ImageBuilder::SlotRva, 0), Gcr);
    EXPECT_EQ(image.Slot(ImageBuilder::SlotRva + 0x100, 0), GcrNew);
  }
}

TEST_F(WindowSizeUnit, ASlotWhoseMemoryCannotBeMadeWritableIsNotWritten)
{
  // The slot sits at the end of the last committed page: the 64 bytes made writable
  // from it reach into a page that is only reserved, so the protection change fails.
  ImageBuilder image(3, 2);
  const DWORD slotRva = 2 * ImageBuilder::Page - 2 * sizeof(ULONG_PTR);
  image.AddDescriptor("user32.dll", ImageBuilder::NameRva, {Gcr}, slotRva);
  LogWatch log;
  HookImportsOf(image.module());
  EXPECT_EQ(image.Slot(slotRva, 0), Gcr);
  EXPECT_EQ(OriginalGetClientRect(), nullptr);
  const std::vector<std::string> lines = log.Entries();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "GetClientRect hook! .\\d3d9.cpp 93 ");
  EXPECT_EQ(lines[3], "Import slot not writable: " +
                          std::to_string(reinterpret_cast<uintptr_t>(image.base() + slotRva)));
}

TEST_F(WindowSizeUnit, AnImageWithoutUser32OrWithoutImportsIsLeftAlone)
{
  ImageBuilder image;
  image.AddDescriptor("gdi32.dll", ImageBuilder::NameRva, {Gcr}, ImageBuilder::SlotRva);
  ImageBuilder empty;
  reinterpret_cast<IMAGE_NT_HEADERS*>(empty.base() + 0x40)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT] = {0, 0};
  LogWatch log;
  HookImportsOf(image.module());
  HookImportsOf(empty.module());
  HookImportsOf(nullptr);
  EXPECT_EQ(image.Slot(ImageBuilder::SlotRva, 0), Gcr);
  EXPECT_EQ(log.Entries(), std::vector<std::string>{});
}

}  // namespace
