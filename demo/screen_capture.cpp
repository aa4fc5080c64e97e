// Reading back what reached the screen.
//
// Under Wine (wined3d over OpenGL on an X server, Mesa llvmpipe) the presented frame
// is in the X window, and a GDI copy from the screen's device context reads it from
// there: the captures show exactly the presented pixels, filtered or not.
// IDirect3DDevice9::GetFrontBufferData, the Direct3D way, succeeds there but returns
// an all-black image, so it is not used. On Windows the screen copy works as well: it
// reads the desktop as composed, which is what the user sees.
#include "screen_capture.h"

#include <cstdint>

namespace {

constexpr WORD kBitsPerPixel = 32;

// A top-down 32-bit DIB section of the given size, selected into a memory DC.
struct Snapshot {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  const uint32_t* pixels = nullptr;

  Snapshot(HDC compatibleWith, int width, int height)
  {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // negative: the first row is the top row
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = kBitsPerPixel;
    info.bmiHeader.biCompression = BI_RGB;
    dc = CreateCompatibleDC(compatibleWith);
    void* bits = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels = static_cast<const uint32_t*>(bits);
    if (dc && bitmap)
      previous = SelectObject(dc, bitmap);
  }
  ~Snapshot()
  {
    if (previous)
      SelectObject(dc, previous);
    if (bitmap)
      DeleteObject(bitmap);
    if (dc)
      DeleteDC(dc);
  }
  Snapshot(const Snapshot&) = delete;
  Snapshot& operator=(const Snapshot&) = delete;
  bool Valid() const { return dc && bitmap && pixels; }
};

// DIB pixels are 0x00RRGGBB.
void CopyPixels(const uint32_t* pixels, int width, int height, ImageRgb& out)
{
  out.Resize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      out.Put(x, y, static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p));
    }
}

}  // namespace

bool CaptureClientArea(HWND window, int width, int height, ImageRgb& out)
{
  POINT origin = {0, 0};
  if (!ClientToScreen(window, &origin))
    return false;
  HDC screen = GetDC(nullptr);
  if (!screen)
    return false;
  bool ok = false;
  {
    Snapshot snapshot(screen, width, height);
    if (snapshot.Valid() &&
        BitBlt(snapshot.dc, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY | CAPTUREBLT)) {
      GdiFlush();  // the DIB's memory is up to date only after the flush
      CopyPixels(snapshot.pixels, width, height, out);
      ok = true;
    }
  }
  ReleaseDC(nullptr, screen);
  return ok;
}
