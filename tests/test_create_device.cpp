// CreateDeviceNew between a host window and a system CreateDevice of our own: what the
// system receives, what the host gets back, the once-only steps, and the measurement.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fakes.h"
#include "library_log.h"
#include "src/device.h"
#include "src/frame_filter.h"
#include "src/host_imports.h"
#include "src/plugin_menu.h"
#include "src/startup.h"
#include "testing.h"

namespace {

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND MakeWindow(bool withMenu)
{
  HMENU bar = nullptr;
  if (withMenu) {
    bar = CreateMenu();
    AppendMenuA(bar, MF_STRING, 40022, "About");
  }
  return MakeTestWindow(PlainProc, WS_OVERLAPPEDWINDOW, bar);
}

RECT WindowRect(HWND w)
{
  RECT r;
  GetWindowRect(w, &r);
  return r;
}

bool operator==(const RECT& a, const RECT& b)
{
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

int PopupCount(HWND w)
{
  HMENU bar = GetMenu(w);
  int popups = 0;
  for (int i = 0; bar && i < GetMenuItemCount(bar); ++i)
    popups += GetSubMenu(bar, i) != nullptr;
  return popups;
}

class CreateDevice : public testing::Test {
 protected:
  void SetUp() override
  {
    OpenLibraryLog();
    cwd_ = std::make_unique<CurrentDirectory>(dir_.path());
    CreateDirectoryA((dir_ / "plugins").c_str(), nullptr);
    CopyInto(JoinPath(TestDataDir(), "plugins\\tp_s2.rpi"), dir_ / "plugins");
    WriteSettings(dir_.path(), {"default_filter=plugins/tp_s2.rpi"});
    // Fakes of earlier tests may have lived at the same addresses as this one's.
    ForgetReplacedTables();
    HookCreateDevice(d3d_.iface());
    SetOncePerProcessSteps(true, true);
    SelectPlugin(nullptr);
    SetMeasuredBackBuffer({});
    SetWindowResize({});
    SetOriginalImports(nullptr, nullptr);
    d3d_.device = &device_;
    window_ = MakeWindow(true);
    pp_.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp_.BackBufferWidth = 64;
    pp_.BackBufferHeight = 48;
    pp_.Windowed = TRUE;
  }
  void TearDown() override
  {
    DestroyWindow(window_);
    cwd_.reset();
    SelectPlugin(nullptr);
    SetOriginalImports(nullptr, nullptr);
    SetWindowResize({});
  }

  HRESULT Create(HWND focus, IDirect3DDevice9** out)
  {
    return CreateDeviceNew(d3d_.iface(), 0, D3DDEVTYPE_HAL, focus, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp_, out);
  }

  TempDir dir_;
  std::unique_ptr<CurrentDirectory> cwd_;
  FakeDirect3D d3d_;
  FakeDevice device_{64, 48, 128};
  HWND window_ = nullptr;
  D3DPRESENT_PARAMETERS pp_ = {};
};

TEST_F(CreateDevice, TheSystemGetsR5G6B5InTheHostsOwnRecordAndItsResultComesBackUnchanged)
{
  const struct {
    HRESULT result;
    bool device;
  } cases[] = {{D3DERR_NOTAVAILABLE, false}, {D3DERR_INVALIDCALL, false}, {E_OUTOFMEMORY, false},
               {D3D_OK, true}, {S_FALSE, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    pp_.BackBufferFormat = D3DFMT_X8R8G8B8;
    d3d_.createResult = c.result;
    IDirect3DDevice9* out = reinterpret_cast<IDirect3DDevice9*>(0xBAD);
    EXPECT_EQ(Create(window_, &out), c.result);
    EXPECT_EQ(d3d_.formatReceived, D3DFMT_R5G6B5);
    EXPECT_EQ(pp_.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_NE(d3d_.deviceOut, &out) << "the system fills the library's own variable";
    EXPECT_EQ(out, c.device ? device_.iface() : nullptr);
  }
}

TEST_F(CreateDevice, AHostWithoutADevicePointerGetsThePlatformsAnswer)
{
  EXPECT_EQ(Create(window_, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d_.deviceOut, nullptr);
}

TEST_F(CreateDevice, TheFirstAttemptRestoresThePlacementAndTheFirstSuccessBuildsTheMenu)
{
  SetOriginalImports(nullptr, SetWindowPos);  // the host's SetWindowPos import was replaced
  WriteSettings(dir_.path(), {"default_filter=plugins/tp_s2.rpi", "left=200", "top=150", "width=500", "height=350"});

  d3d_.createResult = D3DERR_NOTAVAILABLE;
  IDirect3DDevice9* out = nullptr;
  Create(window_, &out);
  EXPECT_TRUE(WindowRect(window_) == (RECT{200, 150, 700, 500})) << "restored during the failed attempt";
  EXPECT_EQ(PopupCount(window_), 0) << "no menu after a failure";
  EXPECT_EQ(ActivePlugin(), nullptr);

  SetWindowPos(window_, nullptr, 10, 10, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
  d3d_.createResult = D3D_OK;
  LogWatch log;
  EXPECT_EQ(Create(window_, &out), D3D_OK);
  EXPECT_TRUE(WindowRect(window_) == (RECT{10, 10, 310, 210})) << "restored once only";
  EXPECT_EQ(PopupCount(window_), 1);
  EXPECT_NE(ActivePlugin(), nullptr) << "default_filter activated";
  EXPECT_EQ(GetWindowLongPtrA(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&WindowProc));

  // Activation is asked for twice: inside the menu build (nothing measured yet) and
  // after the measurement.
  const std::vector<std::string> lines = log.Entries();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "InitPlugin success .\\functions.cpp 212 "), 2);
  EXPECT_EQ(CurrentActivation().request.dwDstWidth, 64u);

  // A second device: measured and activated again, no second menu.
  FakeDevice second(32, 24, 64);
  d3d_.device = &second;
  Create(window_, &out);
  EXPECT_EQ(PopupCount(window_), 1);
  EXPECT_EQ(MeasuredBackBuffer().Desc.Width, 32u);
  EXPECT_EQ(CurrentActivation().request.dwDstWidth, 32u);
  EXPECT_EQ(second.table.Present, &PresentNew);
}

TEST_F(CreateDevice, WithoutAReplacedSetWindowPosNoPlacementIsRestored)
{
  WriteSettings(dir_.path(), {"left=200", "top=150", "width=500", "height=350"});
  const RECT before = WindowRect(window_);
  IDirect3DDevice9* out = nullptr;
  Create(window_, &out);
  EXPECT_TRUE(WindowRect(window_) == before);
}

TEST_F(CreateDevice, TheWindowGrowsByTheWindowResizeAdditionsBeforeEveryCreation)
{
  const RECT before = WindowRect(window_);
  SetWindowResize({10, 20, 0});
  d3d_.createResult = D3DERR_NOTAVAILABLE;
  IDirect3DDevice9* out = nullptr;
  Create(window_, &out);
  RECT after = WindowRect(window_);
  EXPECT_EQ(after.right - after.left, before.right - before.left + 10);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top + 20);
  EXPECT_EQ(after.left, before.left);
  Create(window_, &out);
  after = WindowRect(window_);
  EXPECT_EQ(after.right - after.left, before.right - before.left + 20);
}

TEST_F(CreateDevice, TheRenderTargetIsMeasuredWithThePitchOfALockedSystemMemorySurface)
{
  device_.copyPitch = 160;  // differs from the render target's own
  IDirect3DDevice9* out = nullptr;
  LogWatch log;
  EXPECT_EQ(Create(window_, &out), D3D_OK);
  const SurfaceGeometryRecord measured = MeasuredBackBuffer();
  EXPECT_EQ(measured.Desc.Width, 64u);
  EXPECT_EQ(measured.Desc.Height, 48u);
  EXPECT_EQ(measured.Desc.Format, D3DFMT_R5G6B5);
  EXPECT_EQ(measured.Pitch, 160);
  EXPECT_EQ(CurrentActivation().request.dwDstPitch, 160u);
  EXPECT_EQ(device_.renderTarget.refs, 1);
  ASSERT_EQ(device_.created.size(), 1u);
  EXPECT_EQ(device_.created[0]->refs, 0);
  EXPECT_EQ(device_.created[0]->unlocks, 1);
  EXPECT_EQ(device_.table.Present, &PresentNew);
  EXPECT_EQ(OriginalPresent(device_.iface()), &FakePresent);

  std::vector<std::string> lines = log.Entries();
  const auto at = std::find(lines.begin(), lines.end(), "GetRenderTarget success .\\functions.cpp 254 ");
  ASSERT_NE(at, lines.end());
  EXPECT_EQ(std::vector<std::string>(at, at + 5),
            (std::vector<std::string>{"GetRenderTarget success .\\functions.cpp 254 ", "Width = 64", "Height = 48",
                                      "Format = 23", "CreateOffscreenPlainSurface success .\\functions.cpp 265 "}));
  EXPECT_EQ(lines[0], "CreateDevice .\\functions.cpp 219 ");
  EXPECT_EQ(lines[3], "CreateDevice success .\\functions.cpp 241 ");
}

TEST_F(CreateDevice, MeasurementFailuresKeepWhatTheyCannotMeasureAndStillPatchPresent)
{
  const struct {
    const char* name;
    void (*arrange)(FakeDevice&);
    bool measured;   // the back buffer's description taken from this device
  } cases[] = {
      {"render target not fetched", [](FakeDevice& d) { d.getRenderTargetResult = D3DERR_INVALIDCALL; }, false},
      {"system-memory surface not created", [](FakeDevice& d) { d.createSurfaceResult = E_OUTOFMEMORY; }, true},
      {"system-memory surface not locked", [](FakeDevice& d) { d.copySurfaceLockResult = D3DERR_INVALIDCALL; }, true},
  };
  SetOncePerProcessSteps(true, false);
  SelectPlugin(LoadLibraryA(JoinPath(TestDataDir(), "plugins\\tp_s2.rpi").c_str()));
  std::vector<std::unique_ptr<FakeDevice>> devices;  // each at an address of its own
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SurfaceGeometryRecord earlier = {};
    earlier.Desc.Width = 999;
    earlier.Pitch = 777;
    SetMeasuredBackBuffer(earlier);
    devices.push_back(std::make_unique<FakeDevice>(64, 48, 128));
    FakeDevice& device = *devices.back();
    c.arrange(device);
    d3d_.device = &device;
    IDirect3DDevice9* out = nullptr;
    LogWatch log;
    EXPECT_EQ(Create(window_, &out), D3D_OK);
    EXPECT_EQ(out, device.iface());
    EXPECT_EQ(MeasuredBackBuffer().Desc.Width, c.measured ? 64u : 999u);
    EXPECT_EQ(MeasuredBackBuffer().Pitch, 777);
    EXPECT_EQ(device.table.Present, &PresentNew);
    EXPECT_EQ(device.renderTarget.refs, 1);
    // No activation without a measurement.
    const std::vector<std::string> lines = log.Entries();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "InitPlugin success .\\functions.cpp 212 "), c.measured ? 1 : 0);
  }
}

TEST_F(CreateDevice, WithoutAFocusWindowTheDeviceWindowIsUsedAndWithNeitherTheWindowStepsWait)
{
  SetWindowResize({10, 0, 0});
  const RECT before = WindowRect(window_);
  pp_.hDeviceWindow = window_;
  IDirect3DDevice9* out = nullptr;
  EXPECT_EQ(Create(nullptr, &out), D3D_OK);
  EXPECT_EQ(d3d_.focusReceived, nullptr) << "the system gets the host's arguments";
  EXPECT_EQ(WindowRect(window_).right - WindowRect(window_).left, before.right - before.left + 10);
  EXPECT_EQ(PopupCount(window_), 1);

  // Neither window: the device is still created, and the menu waits for a window.
  SetOncePerProcessSteps(true, true);
  pp_.hDeviceWindow = nullptr;
  FakeDevice other(64, 48, 128);
  d3d_.device = &other;
  EXPECT_EQ(Create(nullptr, &out), D3D_OK);
  EXPECT_EQ(out, other.iface());
  EXPECT_TRUE(MenuBuildPending());
  EXPECT_TRUE(PlacementRestorePending());
  EXPECT_EQ(other.table.Present, &PresentNew);
}

}  // namespace
