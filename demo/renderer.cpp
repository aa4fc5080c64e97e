// The Direct3D 9 side of the demo.
#include "renderer.h"

#include <cstdio>
#include <cstring>

#include "scene.h"

namespace {

// The formats asked for, in order: what a windowed game on a 32-bit desktop asks
// for, then "the desktop's format" (or R5G6B5 first, on request).
const D3DFORMAT kFormats32[] = {D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN};
const D3DFORMAT kFormats16[] = {D3DFMT_R5G6B5, D3DFMT_UNKNOWN};
constexpr DWORD kWaitLimitMs = 1000;

D3DPRESENT_PARAMETERS PresentParameters(HWND window, D3DFORMAT format)
{
  D3DPRESENT_PARAMETERS pp;
  std::memset(&pp, 0, sizeof pp);
  pp.BackBufferWidth = kFrameWidth;
  pp.BackBufferHeight = kFrameHeight;
  pp.BackBufferFormat = format;
  pp.BackBufferCount = 1;
  pp.SwapEffect = D3DSWAPEFFECT_COPY;  // the back buffer keeps the frame after Present
  pp.hDeviceWindow = window;
  pp.Windowed = TRUE;
  pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  return pp;
}

// R5G6B5 to 32-bit X8R8G8B8, with the low bits filled from the high ones so that
// full intensity stays full.
uint32_t Expand565(uint16_t p)
{
  const uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
  return 0xFF000000u | ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

// One frame row: art row `artRow` enlarged by pixelSize, as 16-bit pixels.
void EnlargeRow16(const Image565& art, int artRow, int pixelSize, uint16_t* out)
{
  const uint16_t* in = &art.pixels[static_cast<size_t>(artRow) * art.width];
  for (int x = 0; x < kFrameWidth; ++x)
    out[x] = in[x / pixelSize];
}

void EnlargeRow32(const Image565& art, int artRow, int pixelSize, uint32_t* out)
{
  const uint16_t* in = &art.pixels[static_cast<size_t>(artRow) * art.width];
  for (int x = 0; x < kFrameWidth; ++x)
    out[x] = Expand565(in[x / pixelSize]);
}

bool Is32Bit(D3DFORMAT format) { return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8; }

}  // namespace

std::string FormatName(D3DFORMAT format)
{
  switch (format) {
    case D3DFMT_R5G6B5: return "R5G6B5";
    case D3DFMT_X8R8G8B8: return "X8R8G8B8";
    case D3DFMT_A8R8G8B8: return "A8R8G8B8";
    case D3DFMT_X1R5G5B5: return "X1R5G5B5";
    case D3DFMT_UNKNOWN: return "UNKNOWN";
    default: return std::to_string(static_cast<int>(format));
  }
}

std::string HresultText(HRESULT hr)
{
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  switch (hr) {
    case D3DERR_INVALIDCALL: return std::string(text) + " D3DERR_INVALIDCALL";
    case D3DERR_NOTAVAILABLE: return std::string(text) + " D3DERR_NOTAVAILABLE";
    case D3DERR_DEVICELOST: return std::string(text) + " D3DERR_DEVICELOST";
    case D3DERR_OUTOFVIDEOMEMORY: return std::string(text) + " D3DERR_OUTOFVIDEOMEMORY";
    case E_OUTOFMEMORY: return std::string(text) + " E_OUTOFMEMORY";
    default: return text;
  }
}

Renderer::~Renderer()
{
  if (staging_)
    staging_->Release();
  if (device_)
    device_->Release();
  if (d3d_)
    d3d_->Release();
}

bool Renderer::Create(HWND window, bool ask16Bit, std::string& error)
{
  d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
  if (!d3d_) {
    error = "Direct3DCreate9 returned NULL (is d3d9.dll's log.txt telling why?)";
    return false;
  }
  HRESULT hr = E_FAIL;
  for (D3DFORMAT format : ask16Bit ? kFormats16 : kFormats32) {
    D3DPRESENT_PARAMETERS pp = PresentParameters(window, format);
    hr = d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                            D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device_);
    if (SUCCEEDED(hr)) {
      requested_ = format;
      break;
    }
  }
  if (!device_) {
    error = "CreateDevice failed: " + HresultText(hr);
    return false;
  }
  return CreateStaging(error);
}

// The staging surface takes the back buffer's actual format, whatever was asked for.
bool Renderer::CreateStaging(std::string& error)
{
  IDirect3DSurface9* backBuffer = nullptr;
  HRESULT hr = device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
  if (FAILED(hr)) {
    error = "GetBackBuffer failed: " + HresultText(hr);
    return false;
  }
  D3DSURFACE_DESC desc;
  hr = backBuffer->GetDesc(&desc);
  backBuffer->Release();
  if (FAILED(hr)) {
    error = "back buffer GetDesc failed: " + HresultText(hr);
    return false;
  }
  backBufferFormat_ = desc.Format;
  if (desc.Format != D3DFMT_R5G6B5 && !Is32Bit(desc.Format)) {
    error = "back buffer format " + FormatName(desc.Format) + " is not one the demo draws";
    return false;
  }
  hr = device_->CreateOffscreenPlainSurface(kFrameWidth, kFrameHeight, desc.Format,
                                            D3DPOOL_SYSTEMMEM, &staging_, nullptr);
  if (FAILED(hr)) {
    error = "CreateOffscreenPlainSurface failed: " + HresultText(hr);
    return false;
  }
  return true;
}

bool Renderer::FillStaging(const Image565& art, int pixelSize, std::string& error)
{
  D3DLOCKED_RECT locked;
  const HRESULT hr = staging_->LockRect(&locked, nullptr, 0);
  if (FAILED(hr)) {
    error = "LockRect of the staging surface failed: " + HresultText(hr);
    return false;
  }
  for (int y = 0; y < kFrameHeight; ++y) {
    void* row = static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
    if (Is32Bit(backBufferFormat_))
      EnlargeRow32(art, y / pixelSize, pixelSize, static_cast<uint32_t*>(row));
    else
      EnlargeRow16(art, y / pixelSize, pixelSize, static_cast<uint16_t*>(row));
  }
  staging_->UnlockRect();
  return true;
}

bool Renderer::Upload(const Image565& art, int pixelSize, std::string& error)
{
  if (art.width * pixelSize < kFrameWidth || art.height * pixelSize < kFrameHeight) {
    error = "the art does not cover the frame at this pixel size";
    return false;
  }
  if (!FillStaging(art, pixelSize, error))
    return false;
  IDirect3DSurface9* backBuffer = nullptr;
  HRESULT hr = device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
  if (FAILED(hr)) {
    error = "GetBackBuffer failed: " + HresultText(hr);
    return false;
  }
  hr = device_->UpdateSurface(staging_, nullptr, backBuffer, nullptr);
  backBuffer->Release();
  if (FAILED(hr)) {
    error = "UpdateSurface failed: " + HresultText(hr);
    return false;
  }
  return true;
}

bool Renderer::Present(std::string& error)
{
  const HRESULT hr = device_->Present(nullptr, nullptr, nullptr, nullptr);
  // A lost device (another program took the screen) is not an error of ours: the
  // frame is skipped and the next one tries again.
  if (FAILED(hr) && hr != D3DERR_DEVICELOST) {
    error = "Present failed: " + HresultText(hr);
    return false;
  }
  return true;
}

void Renderer::WaitUntilShown()
{
  IDirect3DQuery9* query = nullptr;
  if (FAILED(device_->CreateQuery(D3DQUERYTYPE_EVENT, &query)))
    return;  // no event queries: nothing better to do than go on
  query->Issue(D3DISSUE_END);
  const DWORD start = GetTickCount();
  while (query->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE &&
         GetTickCount() - start < kWaitLimitMs)
    Sleep(1);
  query->Release();
}
