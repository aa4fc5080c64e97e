// PresentNew with a device of our own: every failure of the platform's calls that Wine
// cannot be made to produce, the references each path takes and gives back, and the
// frames the plugin writes into.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes.h"
#include "library_log.h"
#include "plugins/test_plugin.h"
#include "src/device.h"
#include "src/frame_filter.h"
#include "testing.h"

namespace {

constexpr UINT Width = 37, Height = 23;  // an odd size: neither multiple of 8 nor of s
constexpr INT Pitch = 96;                // wider than the row

HMODULE LoadTestPlugin(const std::string& name)
{
  return LoadLibraryA(JoinPath(TestDataDir(), "plugins\\" + name + ".rpi").c_str());
}

uint16_t Source(UINT x, UINT y) { return static_cast<uint16_t>(x * 0x0841u + y * 0x2003u + 5); }

class FramePath : public testing::Test {
 protected:
  void SetUp() override
  {
    OpenLibraryLog();
    for (UINT y = 0; y < Height; ++y)
      for (UINT x = 0; x < Width; ++x)
        device_.renderTarget.Pixel(x, y) = Source(x, y);
    Activate("tp_s3");
    // Fakes of earlier tests may have lived at the same addresses as this one's.
    ForgetReplacedTables();
    HookPresent(device_.iface());
  }
  void TearDown() override { SelectPlugin(nullptr); }

  void Activate(const char* plugin)
  {
    SurfaceGeometryRecord geometry = {};
    geometry.Desc.Format = D3DFMT_R5G6B5;
    geometry.Desc.Width = Width;
    geometry.Desc.Height = Height;
    geometry.Pitch = Pitch;
    SetMeasuredBackBuffer(geometry);
    HMODULE module = LoadTestPlugin(plugin);
    ASSERT_NE(module, nullptr);
    SelectPlugin(module);
    outputCalls_ = reinterpret_cast<int*>(GetProcAddress(module, "TestPluginOutputCalls"));
    lastRequest_ = reinterpret_cast<PluginFrameRequest*>(GetProcAddress(module, "TestPluginLastRequest"));
  }

  HRESULT Present() { return PresentNew(device_.iface(), &source_, &dest_, window_, region_); }

  // Every reference taken in the call was given back.
  void ExpectAllReleased()
  {
    EXPECT_EQ(device_.renderTarget.refs, 1) << "render target";
    for (const auto& surface : device_.created)
      EXPECT_EQ(surface->refs, 0) << "read-back surface";
  }

  int OutputCalls() const { return outputCalls_ ? *outputCalls_ : -1; }
  bool RenderTargetUnchanged()
  {
    for (UINT y = 0; y < Height; ++y)
      for (UINT x = 0; x < Width; ++x)
        if (device_.renderTarget.Pixel(x, y) != Source(x, y))
          return false;
    return true;
  }

  FakeDevice device_{Width, Height, Pitch};
  RECT source_ = {1, 2, 3, 4}, dest_ = {5, 6, 7, 8};
  HWND window_ = reinterpret_cast<HWND>(0x1234);
  const RGNDATA* region_ = reinterpret_cast<const RGNDATA*>(0x5678);
  int* outputCalls_ = nullptr;
  PluginFrameRequest* lastRequest_ = nullptr;
};

TEST_F(FramePath, TheFilteredFrameIsUploadedAndPresentGetsTheHostsArguments)
{
  const int before = OutputCalls();
  LogWatch log;
  EXPECT_EQ(Present(), D3D_OK);
  EXPECT_EQ(OutputCalls(), before + 1);
  ASSERT_EQ(device_.created.size(), 1u);
  EXPECT_EQ(lastRequest_->pDst, device_.created[0]->pixels.data()) << "the locked read-back copy";
  EXPECT_EQ(device_.updateSurfaceCalls, 1);
  ExpectAllReleased();
  EXPECT_EQ(device_.created[0]->locks, 1);
  EXPECT_EQ(device_.created[0]->unlocks, 1);

  // s = 3: 12 x 7 source pixels; the plugin covered 36 x 21, the rest is as rendered.
  for (UINT y = 0; y < Height; ++y)
    for (UINT x = 0; x < Width; ++x) {
      const uint16_t expected = ExpectedTestFrame(Source, x, y, 3, Width, Height);  // 36 x 21 covered
      ASSERT_EQ(device_.renderTarget.Pixel(x, y), expected) << x << "," << y;
    }

  EXPECT_EQ(device_.presentCalls, 1);
  EXPECT_EQ(device_.presentSource, &source_);
  EXPECT_EQ(device_.presentDest, &dest_);
  EXPECT_EQ(device_.presentWindow, window_);
  EXPECT_EQ(device_.presentRegion, region_);

  std::vector<std::string> lines = log.Entries();
  for (std::string& line : lines)
    if (line.rfind("PresentOrg = ", 0) == 0 || line.rfind("PresentNew = ", 0) == 0)
      line = line.substr(0, 13);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Present .\\functions.cpp 295 ",
                       "PresentOrg = ",
                       "PresentNew = ",
                       "Present hPlugin!=NULL .\\functions.cpp 302 ",
                       "GetRenderTarget success .\\functions.cpp 307 ",
                       "GetRenderTargetData success .\\functions.cpp 316 ",
                       "GetRenderTargetData success .\\functions.cpp 320 ",
                       "RendOutput success .\\functions.cpp 380 ",
                       "UpdateSurface success .\\functions.cpp 385 ",
                       "PresentOrg success .\\functions.cpp 395 ",
                   }));
}

TEST_F(FramePath, TheStagingMarginsStayZeroFrameAfterFrame)
{
  for (int i = 0; i < 3; ++i)
    Present();
  const ActivationSummary a = CurrentActivation();
  const PluginFrameRequest& request = a.request;
  const auto* buffer = static_cast<const uint8_t*>(a.staging);
  const auto* image = static_cast<const uint8_t*>(request.pSrc);
  const size_t imageBytes = size_t(request.dwSrcPitch) * request.dwSrcHeight;
  EXPECT_EQ(std::count(buffer, image, 0), image - buffer);
  EXPECT_EQ(std::count(image + imageBytes, buffer + a.stagingSize, 0), buffer + a.stagingSize - (image + imageBytes));
  // The image itself: every third pixel of every third row.
  const auto* pixels = reinterpret_cast<const uint16_t*>(image);
  for (UINT r = 0; r < request.dwSrcHeight; ++r)
    for (UINT c = 0; c < request.dwSrcWidth; ++c)
      ASSERT_EQ(pixels[r * request.dwSrcWidth + c], Source(3 * c, 3 * r));
}

struct FailureCase {
  const char* name;
  void (*arrange)(FakeDevice&);
  bool pluginCalled;
  bool uploaded;
  std::vector<std::string> missingLines;  // lines of a filtered frame that must not appear
  std::string reason;                     // the failure's log line, or "" for none
};

std::string HResult(HRESULT hr) { return std::to_string(static_cast<uint32_t>(hr)); }

// A failed step leaves the frame as the program rendered it: no plugin call and no
// upload once anything before the plugin failed. Each kind of failure is logged once.
TEST_F(FramePath, EachFailingStepReleasesWhatItTookAndTheFrameIsStillPresented)
{
  const FailureCase cases[] = {
      {"back buffer not obtained", [](FakeDevice& d) { d.getBackBufferResult = D3DERR_INVALIDCALL; }, false,
       false, {"GetRenderTarget success .\\functions.cpp 307 "},
       "Frame not filtered: back buffer not obtained, hr = " + HResult(D3DERR_INVALIDCALL)},
      {"read-back surface not created", [](FakeDevice& d) { d.createSurfaceResult = E_OUTOFMEMORY; }, false, false,
       {"GetRenderTargetData success .\\functions.cpp 316 "},
       "Frame not filtered: read-back surface not created, hr = " + HResult(E_OUTOFMEMORY)},
      {"read-back fails", [](FakeDevice& d) { d.getRenderTargetDataResult = D3DERR_INVALIDCALL; }, false, false,
       {"GetRenderTargetData success .\\functions.cpp 316 ", "RendOutput success .\\functions.cpp 380 "},
       "Frame not filtered: read-back failed, hr = " + HResult(D3DERR_INVALIDCALL)},
      {"lock fails", [](FakeDevice& d) { d.copySurfaceLockResult = D3DERR_INVALIDCALL; }, false, false,
       {"GetRenderTargetData success .\\functions.cpp 320 "},
       "Frame not filtered: read-back surface not locked, hr = " + HResult(D3DERR_INVALIDCALL)},
      {"upload fails", [](FakeDevice& d) { d.updateSurfaceResult = D3DERR_INVALIDCALL; }, true, true,
       {"UpdateSurface success .\\functions.cpp 385 "},
       "Frame not filtered: upload failed, hr = " + HResult(D3DERR_INVALIDCALL)},
      {"locked pitch differs from the measured one: activated for it", [](FakeDevice& d) { d.copyPitch = Pitch + 32; },
       true, true, {}, ""},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    Present();  // a filtered frame first: every kind of failure is logged again after one
    FakeDevice device(Width, Height, Pitch);
    HookPresent(device.iface());
    device.renderTarget.pixels = device_.renderTarget.pixels;
    c.arrange(device);
    const int before = OutputCalls();
    LogWatch log;
    EXPECT_EQ(PresentNew(device.iface(), nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(OutputCalls(), before + (c.pluginCalled ? 1 : 0));
    EXPECT_EQ(device.updateSurfaceCalls, c.uploaded ? 1 : 0);
    EXPECT_EQ(device.presentCalls, 1);
    EXPECT_EQ(device.renderTarget.refs, 1) << "render target released";
    for (const auto& surface : device.created) {
      EXPECT_EQ(surface->refs, 0) << "read-back surface released";
      EXPECT_EQ(surface->locks, surface->unlocks);
    }
    const std::vector<std::string> lines = log.Entries();
    for (const std::string& missing : c.missingLines)
      EXPECT_EQ(std::find(lines.begin(), lines.end(), missing), lines.end()) << missing;
    const auto failures = std::count_if(lines.begin(), lines.end(),
                                        [](const std::string& l) { return l.rfind("Frame not filtered: ", 0) == 0; });
    EXPECT_EQ(failures, c.reason.empty() ? 0 : 1);
    if (!c.reason.empty()) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), c.reason), lines.end()) << c.reason;
    }
    EXPECT_EQ(lines.back(), "PresentOrg success .\\functions.cpp 395 ");

    // The same failure on the next frame: unfiltered again, not logged again.
    LogWatch again;
    PresentNew(device.iface(), nullptr, nullptr, nullptr, nullptr);
    const std::vector<std::string> next = again.Entries();
    EXPECT_EQ(std::count_if(next.begin(), next.end(),
                            [](const std::string& l) { return l.rfind("Frame not filtered: ", 0) == 0; }),
              0);
  }
}

TEST_F(FramePath, APresentFailureReachesTheHostUnchangedAndIsLogged)
{
  for (HRESULT failure : {D3DERR_DEVICELOST, D3DERR_INVALIDCALL, E_FAIL}) {
    device_.presentResult = failure;
    LogWatch log;
    EXPECT_EQ(Present(), failure);
    EXPECT_EQ(log.Entries().back(), "PresentOrg failed .\\functions.cpp 399 ");
  }
  device_.presentResult = S_PRESENT_OCCLUDED;  // a success code other than D3D_OK
  EXPECT_EQ(Present(), S_PRESENT_OCCLUDED);
  ExpectAllReleased();
}

TEST_F(FramePath, WithoutAPluginOnlyPresentRunsAndTheRenderTargetIsNotTouched)
{
  SelectPlugin(nullptr);
  LogWatch log;
  EXPECT_EQ(Present(), D3D_OK);
  EXPECT_TRUE(device_.created.empty());
  EXPECT_EQ(device_.renderTarget.refs, 1);
  EXPECT_EQ(device_.presentCalls, 1);
  EXPECT_EQ(log.Entries().size(), 4u) << "Present, the two labels, PresentOrg success";
}

TEST_F(FramePath, APluginWithoutOutputGetsTheFrameUploadedUnchanged)
{
  Activate("tp_nooutput");
  EXPECT_EQ(Present(), D3D_OK);
  EXPECT_EQ(device_.updateSurfaceCalls, 1);
  EXPECT_TRUE(RenderTargetUnchanged());
  ExpectAllReleased();
}

// Each back buffer is filtered with the geometry of its own: a frame of another size than
// the measured one (an additional swap chain, a device reset behind the library's back)
// gets an activation of its own, once, and never the request made for another size.
TEST_F(FramePath, ABackBufferOfAnotherSizeGetsAnActivationOfItsOwnOnce)
{
  const struct {
    const char* name;
    UINT width, height;
  } cases[] = {{"wider", Width + 10, Height}, {"taller", Width, Height + 3}, {"smaller", Width - 6, Height - 6}};
  std::vector<std::unique_ptr<FakeDevice>> devices;  // each at an address of its own
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Activate("tp_s2");
    devices.push_back(std::make_unique<FakeDevice>(c.width, c.height, Pitch + 32));
    FakeDevice& device = *devices.back();
    HookPresent(device.iface());
    for (int frame = 0; frame < 3; ++frame) {
      const int before = OutputCalls();
      LogWatch log;
      EXPECT_EQ(PresentNew(device.iface(), nullptr, nullptr, nullptr, nullptr), D3D_OK);
      EXPECT_EQ(OutputCalls(), before + 1);
      EXPECT_EQ(lastRequest_->dwDstWidth, c.width);
      EXPECT_EQ(lastRequest_->dwDstHeight, c.height);
      EXPECT_EQ(lastRequest_->dwSrcWidth, c.width / 2);
      EXPECT_EQ(lastRequest_->dwDstPitch, static_cast<uint32_t>(Pitch + 32));
      const std::vector<std::string> lines = log.Entries();
      EXPECT_EQ(std::count(lines.begin(), lines.end(), Expected(LogPoints::InitPlugin)), frame == 0 ? 1 : 0);
    }
    // The device of the measured size still uses the activation made for it.
    const int before = OutputCalls();
    Present();
    EXPECT_EQ(OutputCalls(), before + 1);
    EXPECT_EQ(lastRequest_->dwDstWidth, Width);
  }
}

// A frame whose back buffer is not 16-bit (a swap chain the program made with another
// format) is never handed to the plugin.
TEST_F(FramePath, ABackBufferThatIsNotR5G6B5IsNotFiltered)
{
  FakeDevice device(Width, Height, Pitch);
  device.renderTarget.desc.Format = D3DFMT_X8R8G8B8;
  HookPresent(device.iface());
  const int before = OutputCalls();
  EXPECT_EQ(PresentNew(device.iface(), nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(OutputCalls(), before);
  EXPECT_EQ(device.getRenderTargetDataCalls, 0);
  EXPECT_EQ(device.updateSurfaceCalls, 0);
  EXPECT_EQ(device.renderTarget.refs, 1);
}

}  // namespace
