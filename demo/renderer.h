// The Direct3D 9 side of the demo: a windowed device with a 640 x 480 back buffer;
// each frame the art is enlarged by pixel replication into a system-memory surface,
// copied into the back buffer with UpdateSurface (exact pixels, no filtering by the
// GPU) and presented.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <string>

#include "image.h"

class Renderer {
 public:
  Renderer() = default;
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Creates the device for the window, asking for a 32-bit back buffer as a game on
  // a 32-bit desktop does (or for R5G6B5 when ask16Bit); on failure returns false and
  // says why. The library replaces the format by R5G6B5 either way.
  bool Create(HWND window, bool ask16Bit, std::string& error);
  // Enlarges art by pixelSize into the back buffer (art must cover the frame).
  bool Upload(const Image565& art, int pixelSize, std::string& error);
  bool Present(std::string& error);
  // Waits (a second at most) until the device has carried out everything asked of it,
  // the last Present included, so that a screen copy sees the last frame.
  void WaitUntilShown();

  IDirect3D9* Direct3D() const { return d3d_; }
  IDirect3DDevice9* Device() const { return device_; }
  D3DFORMAT RequestedFormat() const { return requested_; }
  D3DFORMAT BackBufferFormat() const { return backBufferFormat_; }

 private:
  bool CreateStaging(std::string& error);
  bool FillStaging(const Image565& art, int pixelSize, std::string& error);

  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  IDirect3DSurface9* staging_ = nullptr;  // system memory, back-buffer format
  D3DFORMAT requested_ = D3DFMT_UNKNOWN;
  D3DFORMAT backBufferFormat_ = D3DFMT_UNKNOWN;
};

// "R5G6B5", "X8R8G8B8", ... or the number.
std::string FormatName(D3DFORMAT format);

// "0x8876086C" and, for the usual Direct3D errors, their name.
std::string HresultText(HRESULT hr);
