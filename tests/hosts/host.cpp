// A Direct3D 9 host program for the end-to-end tests. Like a game, it imports
// d3d9.dll by name, so the loader takes the d3d9.dll beside it. It runs the commands
// given on its command line in order and prints what it observes as "key=value" lines.
//
//   create9[:SDK]    Direct3DCreate9(SDK); prints d3dN=, d3dN_module=
//   threads:N        starts N threads that end at once, and waits for them
//   window           creates a 640x480 (client) overlapped window with a menu bar
//                    (File: Exit 40001; Help: About 40022) and makes it current
//   popup            creates a popup window without WS_SYSMENU and makes it current
//   clientrect       GetClientRect on the current window, through this program's
//                    import: prints client=l,t,r,b and client_result=
//   clientrect_null  GetClientRect with a null rectangle: prints clientrect_null=
//   setpos:X,Y,W,H   SetWindowPos through this program's import (no Z order change,
//                    no activation): prints setpos=, rect=l,t,r,b, style=
//   slots            for the GetClientRect and SetWindowPos import slots: the module
//                    each points into (slot_NAME=) and its page protection (prot_NAME=)
//   rect             prints the current window's outer rectangle: rect=l,t,r,b
//   device:W,H[,opt] CreateDevice for the current window, asking for an X8R8G8B8 back
//                    buffer of W x H with a copy swap effect; opt "fail" asks for
//                    adapter 99, "nofocus" passes no focus window (the current window
//                    as device window only). Prints device_hr=, bbformat= (the record's
//                    format after the call), device=, and for a device rt_format=
//   frame[:SEED]     fills the back buffer with Pattern(x, y, SEED) and presents:
//                    present_hr=
//   other            a second top-level window that takes the focus and the foreground
//   focusstate       focus_other=, foreground_other=, other_above= (1: the second window
//                    still has them, and lies above the current one), size=WxH (outer)
//   watch, seen      records the messages the current window receives in between; seen=
//                    lists the activation and z-order messages among them (or none)
//   present          presents the back buffer as it is: present_hr=
//   fill:SEED        fills the back buffer with Pattern(x, y, SEED), without presenting
//   dump:FILE        writes the back buffer's pixels to FILE, W * 2 bytes per row
//   verify:S,SEED    compares the back buffer with the frame Pattern(x, y, SEED) as the
//                    test plugin of factor S writes it (S = 0: as rendered): prints
//                    verify=ok, or verify= the first differing pixel
//   menu             popups= (how many hold plugin items) and the plugin popup's
//                    items: item=ID:TEXT:CHECKED, or popup=none
//   choose:TEXT      sends WM_COMMAND for the plugin item captioned TEXT ("_" stands
//                    for a blank): chose=ID
//   release          releases the current device
//   rtref            the render target's reference count (other than this call's): rtref=
//   device:W,H,msaa  as device:W,H but a 4x multisampled back buffer (discard swap effect)
//   reset:W,H[,OPT]  Reset with a fresh parameter record of W x H asking for X8R8G8B8, or
//                    with OPT "unknown" for D3DFMT_UNKNOWN, or "bad" with a swap effect the
//                    platform refuses: reset_hr=, bbformat=, rt_format=
//   capture:S,SEED   like verify, but on what reached the window (a GDI copy of the
//                    client area, compared at 16 bits): capture=ok or the first difference
//   rtt:N            binds an N x N R5G6B5 render-target texture, filled with one colour,
//                    as render target 0 (frames keep drawing into the back buffer)
//   rttcheck         rtt=ok when every texel is still as filled
//   chain:implicit | chain:W,H | chain:device
//                    later frames go through the device's first swap chain object, a new
//                    additional R5G6B5 swap chain of W x H, or the device again: chain_hr=
//   thread:N,SEEDS   a render thread presents N frames (seeds 1..SEEDS in turn, each read
//                    back right after its Present) while this thread chooses the plugin
//                    items one after the other; prints thread_frames=, switches=,
//                    thread_bad= (frames that are neither unfiltered nor one of the test
//                    plugins' s = 2, 3, 4 outputs), thread_first_bad=
//
// Windows without a menu bar, keys and system commands:
//   nobar            creates a 640x480 (client) overlapped window without a menu bar
//   wnobar           the same, of a Unicode window class (its procedure gets wide messages)
//   client           the current window's client size: clientsize=WxH
//   sysmenu          the plugin popup in the current window's system menu: syspopups=,
//                    then sysitem=ID:TEXT:CHECKED, or syspopup=none
//   syschoose:TEXT   sends WM_SYSCOMMAND for the system-menu plugin item captioned TEXT:
//                    syschose=ID
//   syscmd:N         sends WM_SYSCOMMAND N: host_syscmd= what the host's procedure got
//                    (none if nothing)
//   key:VK           sends a press and a release of virtual key VK: host_keys= how many
//                    of the two reached the host's procedure
//   char:CODE        sends WM_CHAR CODE (wide): host_char= what the host's procedure got
//   sdl              as SDL's Direct3D 9 renderer: looks Direct3DCreate9Ex up with
//                    GetProcAddress and uses it when present (sdl_ex=1), else
//                    Direct3DCreate9 (sdl_ex=0)
//   use:N            makes the Nth window created (from 0) current again
//   copy:FROM,TO     copies a file (CopyFileA): copied=
// With HOST_ALL_EXPORTS (host_all.exe, which imports every d3d9 export):
//   create9ex        Direct3DCreate9Ex: create9ex_hr=, and the interface becomes current
//   deviceex:W,H     CreateDeviceEx on the current Ex interface (as device:)
//   frameex[:SEED]   as frame, presenting with PresentEx: present_hr=
//   resetex:W,H[,OPT] as reset:, through ResetEx
//   exports          calls the exports that every d3d9 implements and prints their answers
//   shim             Direct3D9EnableMaximizedWindowedModeShim(1): shim=
#include <windows.h>
#include <d3d9.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "import_slots.h"
#include "pattern.h"
#include "../plugins/test_plugin.h"

static std::vector<IDirect3D9*> Interfaces;

static void Print(const char* key, const std::string& value)
{
  std::printf("%s=%s\n", key, value.c_str());
  std::fflush(stdout);
}

static std::string Hex(const void* p)
{
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

// The file name of the module that holds the given address.
static std::string ModuleOf(const void* address)
{
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCSTR>(address), &module))
    return "none";
  char path[MAX_PATH];
  GetModuleFileNameA(module, path, MAX_PATH);
  return path;
}

static std::string Arg(const std::string& command)
{
  const size_t colon = command.find(':');
  return colon == std::string::npos ? "" : command.substr(colon + 1);
}

static void Create9(const std::string& arg)
{
  const UINT sdk = arg.empty() ? D3D_SDK_VERSION : static_cast<UINT>(std::strtoul(arg.c_str(), nullptr, 0));
  IDirect3D9* d3d = Direct3DCreate9(sdk);
  const std::string n = std::to_string(Interfaces.size());
  Print(("d3d" + n).c_str(), Hex(d3d));
  if (d3d) {
    void* const* vtbl = *reinterpret_cast<void* const* const*>(d3d);
    Print(("d3d" + n + "_module").c_str(), ModuleOf(vtbl[0]));
    Interfaces.push_back(d3d);
  }
}

static HWND Window = nullptr;
static std::vector<HWND> AllWindows;

static void Pump()
{
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Messages the current window received while watched (watch:), for the activation
// messages a device creation must not cause.
static bool Watching = false;
static std::vector<UINT> Watched;

// Activation and z-order messages among those watched.
static void PrintWatched()
{
  std::string seen;
  for (UINT msg : Watched) {
    switch (msg) {
      case WM_WINDOWPOSCHANGING: seen += " WM_WINDOWPOSCHANGING"; break;
      case WM_WINDOWPOSCHANGED: seen += " WM_WINDOWPOSCHANGED"; break;
      case WM_GETMINMAXINFO: seen += " WM_GETMINMAXINFO"; break;
      case WM_NCACTIVATE: seen += " WM_NCACTIVATE"; break;
      case WM_ACTIVATE: seen += " WM_ACTIVATE"; break;
      case WM_ACTIVATEAPP: seen += " WM_ACTIVATEAPP"; break;
      case WM_SETFOCUS: seen += " WM_SETFOCUS"; break;
      case WM_KILLFOCUS: seen += " WM_KILLFOCUS"; break;
      case WM_IME_SETCONTEXT: seen += " WM_IME_SETCONTEXT"; break;
      default: break;
    }
  }
  Print("seen", seen.empty() ? "none" : seen.substr(1));
}

// What the host's own procedure saw of the messages the tests send.
static int HostKeys = 0;
static std::string HostSysCommand = "none";
static std::string HostChar = "none";
static UINT WatchedKey = 0;

static void Observe(HWND hwnd, UINT msg, WPARAM wParam)
{
  if (Watching && hwnd == Window)
    Watched.push_back(msg);
  if ((msg == WM_KEYDOWN || msg == WM_KEYUP || msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP) && wParam == WatchedKey)
    ++HostKeys;
  if (msg == WM_SYSCOMMAND)
    HostSysCommand = std::to_string(wParam);
  if (msg == WM_CHAR)
    HostChar = std::to_string(wParam);
}

static LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  Observe(hwnd, msg, wParam);
  if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) != SC_MINIMIZE)
    return 0;  // nothing the platform would act on in a test
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

static LRESULT CALLBACK HostWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  Observe(hwnd, msg, wParam);
  if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) != SC_MINIMIZE)
    return 0;
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

static std::string RectText(const RECT& r)
{
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

static std::vector<int> Numbers(const std::string& arg)
{
  std::vector<int> numbers;
  const char* p = arg.c_str();
  while (*p) {
    char* end;
    numbers.push_back(static_cast<int>(std::strtol(p, &end, 0)));
    p = *end ? end + 1 : end;
  }
  return numbers;
}

static void CreateHostWindow(bool overlapped)
{
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "TestHost";
    RegisterClassA(&wc);
    registered = true;
  }
  HMENU bar = nullptr;
  DWORD style = WS_POPUP | WS_VISIBLE;
  RECT rect = {0, 0, 640, 480};
  if (overlapped) {
    bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, 40001, "Exit");
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, 40022, "About");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "Help");
    style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    AdjustWindowRect(&rect, style, TRUE);
  }
  Window = CreateWindowA("TestHost", "test host", style, 50, 50, rect.right - rect.left,
                         rect.bottom - rect.top, nullptr, bar, GetModuleHandleA(nullptr), nullptr);
  Pump();
  AllWindows.push_back(Window);
  Print("window", Hex(Window));
}

static void CreateBarlessWindow(bool unicode)
{
  static bool registered = false, registeredW = false;
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
  RECT rect = {0, 0, 640, 480};
  AdjustWindowRect(&rect, style, FALSE);
  if (unicode) {
    if (!registeredW) {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = HostWindowProcW;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
      wc.lpszClassName = L"TestHostW";
      RegisterClassW(&wc);
      registeredW = true;
    }
    Window = CreateWindowW(L"TestHostW", L"test host", style, 50, 50, rect.right - rect.left,
                           rect.bottom - rect.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  } else {
    if (!registered) {
      WNDCLASSA wc = {};
      wc.lpfnWndProc = HostWindowProc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
      wc.lpszClassName = "TestHostNoBar";
      RegisterClassA(&wc);
      registered = true;
    }
    Window = CreateWindowA("TestHostNoBar", "test host", style, 50, 50, rect.right - rect.left,
                           rect.bottom - rect.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  Pump();
  AllWindows.push_back(Window);
  Print("window", Hex(Window));
}

// A second top-level window that takes the focus and the foreground, above the first.
static HWND Other = nullptr;

static void CreateOther()
{
  Other = CreateWindowA("TestHost", "other window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 120, 120, 300, 200, nullptr,
                        nullptr, GetModuleHandleA(nullptr), nullptr);
  SetForegroundWindow(Other);
  SetFocus(Other);
  Pump();
}

// Whether the second window still holds the focus and the foreground and lies above the
// first in the z-order; and the first window's outer size.
static void FocusState()
{
  Pump();
  Print("focus_other", std::to_string(GetFocus() == Other));
  Print("foreground_other", std::to_string(GetForegroundWindow() == Other));
  bool otherAbove = false;
  for (HWND w = GetWindow(Window, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV))
    otherAbove |= w == Other;
  Print("other_above", std::to_string(otherAbove));
  RECT r;
  GetWindowRect(Window, &r);
  Print("size", std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
}

static void ClientRect()
{
  RECT r = {-1, -1, -1, -1};
  const BOOL result = GetClientRect(Window, &r);
  Print("client", RectText(r));
  Print("client_result", std::to_string(result));
}

static void SetPos(const std::string& arg)
{
  const std::vector<int> n = Numbers(arg);
  const BOOL result = SetWindowPos(Window, nullptr, n.at(0), n.at(1), n.at(2), n.at(3),
                                   SWP_NOZORDER | SWP_NOACTIVATE);
  Pump();
  RECT r;
  GetWindowRect(Window, &r);
  char style[16];
  std::snprintf(style, sizeof style, "0x%08lx", static_cast<unsigned long>(GetWindowLongA(Window, GWL_STYLE)));
  Print("setpos", std::to_string(result));
  Print("rect", RectText(r));
  Print("style", style);
}

// This program's own import slots for GetClientRect and SetWindowPos, found by name.
static void Slots()
{
  ForEachWindowSizeImport([](int, const char*, const std::string& function, ULONG_PTR* slot) {
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(slot, &info, sizeof info);
    Print(("slot_" + function).c_str(), ModuleOf(reinterpret_cast<void*>(*slot)));
    Print(("prot_" + function).c_str(), std::to_string(info.Protect));
  });
}

// ---- devices and frames ----

static IDirect3DDevice9* Device = nullptr;
static UINT DeviceWidth = 0, DeviceHeight = 0;

static std::string HexNumber(unsigned long value)
{
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", value);
  return text;
}

static void CreateDevice(const std::string& arg, bool ex = false)
{
  if (Interfaces.empty())
    Create9("");
  const size_t comma2 = arg.find(',', arg.find(',') + 1);
  const std::vector<int> size = Numbers(arg.substr(0, comma2));
  const std::string option = comma2 == std::string::npos ? "" : arg.substr(comma2 + 1);
  D3DPRESENT_PARAMETERS pp = {};
  pp.BackBufferWidth = size.at(0);
  pp.BackBufferHeight = size.at(1);
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.BackBufferCount = 1;
  pp.SwapEffect = D3DSWAPEFFECT_COPY;
  pp.hDeviceWindow = Window;
  pp.Windowed = TRUE;
  if (option == "msaa") {
    pp.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  }
  const UINT adapter = option == "fail" ? 99 : D3DADAPTER_DEFAULT;
  HWND focus = option == "nofocus" ? nullptr : Window;
  IDirect3DDevice9* device = nullptr;
  HRESULT hr;
#ifdef HOST_ALL_EXPORTS
  if (ex) {
    IDirect3DDevice9Ex* deviceEx = nullptr;
    hr = reinterpret_cast<IDirect3D9Ex*>(Interfaces.back())
             ->CreateDeviceEx(adapter, D3DDEVTYPE_HAL, focus, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, nullptr,
                              &deviceEx);
    device = deviceEx;
  } else
#endif
  {
    (void)ex;
    hr = Interfaces.back()->CreateDevice(adapter, D3DDEVTYPE_HAL, focus, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                         &device);
  }
  Print("device_hr", HexNumber(static_cast<unsigned long>(hr)));
  Print("bbformat", std::to_string(pp.BackBufferFormat));
  Print("device", Hex(device));
  Pump();
  if (!device)
    return;
  Device = device;
  DeviceWidth = size.at(0);
  DeviceHeight = size.at(1);
  IDirect3DSurface9* back = nullptr;
  device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
  D3DSURFACE_DESC desc = {};
  back->GetDesc(&desc);
  back->Release();
  Print("rt_format", std::to_string(desc.Format));
}

// Frames go to the device's back buffer, or to a swap chain's (chain:).
static IDirect3DSwapChain9* Chain = nullptr;

static IDirect3DSurface9* BackBuffer()
{
  IDirect3DSurface9* back = nullptr;
  if (Chain)
    Chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
  else
    Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
  return back;
}

static HRESULT PresentFrame()
{
  return Chain ? Chain->Present(nullptr, nullptr, nullptr, nullptr, 0)
               : Device->Present(nullptr, nullptr, nullptr, nullptr);
}

// Fills the back buffer with Pattern(x, y, seed): uploaded through system memory, and
// for a multisampled back buffer through a plain render target and StretchRect.
static void Fill(IDirect3DDevice9* device, IDirect3DSurface9* back, uint32_t seed)
{
  D3DSURFACE_DESC desc;
  back->GetDesc(&desc);
  IDirect3DSurface9* image = nullptr;
  device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &image, nullptr);
  D3DLOCKED_RECT locked;
  image->LockRect(&locked, nullptr, 0);
  for (UINT y = 0; y < desc.Height; ++y) {
    auto* row = reinterpret_cast<uint16_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
    for (UINT x = 0; x < desc.Width; ++x)
      row[x] = Pattern(x, y, seed);
  }
  image->UnlockRect();
  if (desc.MultiSampleType == D3DMULTISAMPLE_NONE) {
    device->UpdateSurface(image, nullptr, back, nullptr);
  } else {
    IDirect3DSurface9* plain = nullptr;
    device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, FALSE, &plain, nullptr);
    device->UpdateSurface(image, nullptr, plain, nullptr);
    device->StretchRect(plain, nullptr, back, nullptr, D3DTEXF_NONE);
    plain->Release();
  }
  image->Release();
}

static void Frame(const std::string& arg, bool ex = false)
{
  const uint32_t seed = static_cast<uint32_t>(std::strtoul(arg.c_str(), nullptr, 0));
  IDirect3DSurface9* back = BackBuffer();
  Fill(Device, back, seed);
  back->Release();
  HRESULT hr;
#ifdef HOST_ALL_EXPORTS
  if (ex) {
    IDirect3DDevice9Ex* deviceEx = nullptr;
    hr = Device->QueryInterface(IID_IDirect3DDevice9Ex, reinterpret_cast<void**>(&deviceEx));
    if (SUCCEEDED(hr)) {
      hr = deviceEx->PresentEx(nullptr, nullptr, nullptr, nullptr, 0);
      deviceEx->Release();
    }
  } else
#endif
  {
    (void)ex;
    hr = PresentFrame();
  }
  Print("present_hr", HexNumber(static_cast<unsigned long>(hr)));
  Pump();
}

// As SDL's Direct3D 9 renderer: the Ex entry looked up at run time and used when present.
static void Sdl()
{
  typedef HRESULT(WINAPI * CreateExFn)(UINT, IDirect3D9Ex**);
  HMODULE d3d9 = GetModuleHandleA("d3d9.dll");
  auto createEx = reinterpret_cast<CreateExFn>(
      reinterpret_cast<void*>(d3d9 ? GetProcAddress(d3d9, "Direct3DCreate9Ex") : nullptr));
  IDirect3D9Ex* ex = nullptr;
  if (createEx && SUCCEEDED(createEx(D3D_SDK_VERSION, &ex)) && ex) {
    Interfaces.push_back(reinterpret_cast<IDirect3D9*>(ex));
    Print("sdl_ex", "1");
    return;
  }
  Print("sdl_ex", "0");
  Create9("");
}


// A surface's pixels, read back through system memory (a multisampled one resolved into
// a plain render target first), packed row after row.
static std::vector<uint16_t> ReadSurface(IDirect3DDevice9* device, IDirect3DSurface9* surface, UINT& width,
                                         UINT& height, HRESULT& hr)
{
  D3DSURFACE_DESC desc;
  surface->GetDesc(&desc);
  IDirect3DSurface9* source = surface;
  IDirect3DSurface9* resolved = nullptr;
  if (desc.MultiSampleType != D3DMULTISAMPLE_NONE) {
    device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, FALSE, &resolved,
                               nullptr);
    device->StretchRect(surface, nullptr, resolved, nullptr, D3DTEXF_NONE);
    source = resolved;
  }
  IDirect3DSurface9* copy = nullptr;
  device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr);
  hr = device->GetRenderTargetData(source, copy);
  D3DLOCKED_RECT locked;
  copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
  std::vector<uint16_t> pixels(size_t(desc.Width) * desc.Height);
  for (UINT y = 0; y < desc.Height; ++y)
    std::memcpy(&pixels[size_t(y) * desc.Width], static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, desc.Width * 2);
  copy->UnlockRect();
  copy->Release();
  if (resolved)
    resolved->Release();
  width = desc.Width;
  height = desc.Height;
  return pixels;
}

// The back buffer's pixels.
static std::vector<uint16_t> ReadBackBuffer(UINT& width, UINT& height, HRESULT& hr)
{
  IDirect3DSurface9* back = BackBuffer();
  std::vector<uint16_t> pixels = ReadSurface(Device, back, width, height, hr);
  back->Release();
  return pixels;
}

static void Dump(const std::string& file)
{
  UINT width, height;
  HRESULT hr;
  const std::vector<uint16_t> pixels = ReadBackBuffer(width, height, hr);
  FILE* out = std::fopen(file.c_str(), "wb");
  std::fwrite(pixels.data(), 2, pixels.size(), out);
  std::fclose(out);
  Print("dump_hr", HexNumber(static_cast<unsigned long>(hr)));
}

// The first pixel where `pixels` differs from the frame Pattern(x, y, seed) as the test
// plugin of factor s writes it (s = 0: as rendered), or "ok".
static std::string Compare(const std::vector<uint16_t>& pixels, UINT width, UINT height, uint32_t s, uint32_t seed)
{
  const auto source = [seed](uint32_t x, uint32_t y) { return Pattern(x, y, seed); };
  for (UINT y = 0; y < height; ++y) {
    for (UINT x = 0; x < width; ++x) {
      const uint16_t expected = ExpectedTestFrame(source, x, y, s, width, height);
      const uint16_t actual = pixels[size_t(y) * width + x];
      if (actual != expected)
        return "pixel " + std::to_string(x) + "," + std::to_string(y) + " is " + std::to_string(actual) + " not " +
               std::to_string(expected);
    }
  }
  return "ok";
}

static void Verify(const std::string& arg)
{
  const std::vector<int> n = Numbers(arg);
  UINT width, height;
  HRESULT hr;
  const std::vector<uint16_t> pixels = ReadBackBuffer(width, height, hr);
  Print("verify", Compare(pixels, width, height, static_cast<uint32_t>(n.at(0)), static_cast<uint32_t>(n.at(1))));
}

// What reached the window: a GDI copy of the client area from the screen, each pixel
// taken back to 16 bits (the top bits of each 8-bit channel).
static std::vector<uint16_t> CaptureClient(UINT& width, UINT& height)
{
  RECT client;
  GetClientRect(Window, &client);
  width = static_cast<UINT>(client.right);
  height = static_cast<UINT>(client.bottom);
  POINT origin = {0, 0};
  ClientToScreen(Window, &origin);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, static_cast<int>(width), static_cast<int>(height), screen, origin.x, origin.y,
         SRCCOPY | CAPTUREBLT);
  GdiFlush();
  std::vector<uint16_t> pixels(size_t(width) * height);
  const auto* rgb = static_cast<const uint32_t*>(bits);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<uint16_t>(((rgb[i] >> 19) & 0x1F) << 11 | ((rgb[i] >> 10) & 0x3F) << 5 |
                                      ((rgb[i] >> 3) & 0x1F));
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// The window shows a presented frame a moment after Present returns (the X server
// draws it): the copy is taken again, for up to two seconds, until it shows the frame.
static void Capture(const std::string& arg)
{
  const std::vector<int> n = Numbers(arg);
  std::string result;
  for (int attempt = 0; attempt < 40; ++attempt) {
    UINT width, height;
    const std::vector<uint16_t> pixels = CaptureClient(width, height);
    result = Compare(pixels, width, height, static_cast<uint32_t>(n.at(0)), static_cast<uint32_t>(n.at(1)));
    if (result == "ok")
      break;
    Sleep(50);
    Pump();
  }
  Print("capture", result);
}

// The plugin popup: the submenu holding an item with identifier 50000 or more.
static HMENU FindPluginPopup(HMENU menu)
{
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      for (int j = 0; j < GetMenuItemCount(sub); ++j)
        if (GetMenuItemID(sub, j) >= 50000 && GetMenuItemID(sub, j) != static_cast<UINT>(-1))
          return sub;
      if (HMENU found = FindPluginPopup(sub))
        return found;
    }
  }
  return nullptr;
}

// How many popups in the menu tree hold plugin items.
static int CountPluginPopups(HMENU menu)
{
  int count = 0;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      bool plugin = false;
      for (int j = 0; j < GetMenuItemCount(sub); ++j)
        plugin |= GetMenuItemID(sub, j) >= 50000 && GetMenuItemID(sub, j) != static_cast<UINT>(-1);
      count += plugin + CountPluginPopups(sub);
    }
  }
  return count;
}

// Each item of a popup as "key=ID:text:checked".
static void PrintItems(HMENU popup, const char* key)
{
  for (int i = 0; i < GetMenuItemCount(popup); ++i) {
    char text[128] = {};
    GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
    const bool checked = (GetMenuState(popup, i, MF_BYPOSITION) & MF_CHECKED) != 0;
    Print(key, std::to_string(GetMenuItemID(popup, i)) + ":" + text + ":" + (checked ? "1" : "0"));
  }
}

static void Menu()
{
  Print("popups", std::to_string(CountPluginPopups(GetMenu(Window))));
  HMENU popup = FindPluginPopup(GetMenu(Window));
  if (!popup) {
    Print("popup", "none");
    return;
  }
  PrintItems(popup, "item");
}

// The popup captioned with plugin items in the current window's system menu.
static HMENU SystemPluginPopup(int* count)
{
  HMENU system = GetSystemMenu(Window, FALSE);
  HMENU found = nullptr;
  *count = 0;
  for (int i = 0; system && i < GetMenuItemCount(system); ++i) {
    HMENU sub = GetSubMenu(system, i);
    if (!sub)
      continue;
    bool plugin = false;
    for (int j = 0; j < GetMenuItemCount(sub); ++j)
      plugin |= GetMenuItemID(sub, j) >= 50000 && GetMenuItemID(sub, j) != static_cast<UINT>(-1);
    if (plugin) {
      ++*count;
      found = sub;
    }
  }
  return found;
}

static void SysMenu()
{
  int count = 0;
  HMENU popup = SystemPluginPopup(&count);
  Print("syspopups", std::to_string(count));
  if (!popup) {
    Print("syspopup", "none");
    return;
  }
  PrintItems(popup, "sysitem");
}

static void SysChoose(std::string caption)
{
  for (char& c : caption)
    if (c == '_')
      c = ' ';
  int count = 0;
  HMENU popup = SystemPluginPopup(&count);
  for (int i = 0; popup && i < GetMenuItemCount(popup); ++i) {
    char text[128] = {};
    GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
    if (caption == text) {
      const UINT id = GetMenuItemID(popup, i);
      HostSysCommand = "none";
      SendMessageA(Window, WM_SYSCOMMAND, id, 0);
      Print("syschose", std::to_string(id));
      Print("host_syscmd", HostSysCommand);
      return;
    }
  }
  Print("syschose", "none");
}

static void SysCmd(const std::string& arg)
{
  HostSysCommand = "none";
  SendMessageA(Window, WM_SYSCOMMAND, std::strtoul(arg.c_str(), nullptr, 0), 0);
  Pump();
  Print("host_syscmd", HostSysCommand);
}

static void Key(const std::string& arg)
{
  WatchedKey = static_cast<UINT>(std::strtoul(arg.c_str(), nullptr, 0));
  HostKeys = 0;
  SendMessageA(Window, WM_KEYDOWN, WatchedKey, 1);
  SendMessageA(Window, WM_KEYUP, WatchedKey, static_cast<LPARAM>(0xC0000001u));
  Print("host_keys", std::to_string(HostKeys));
}

static void Char(const std::string& arg)
{
  HostChar = "none";
  SendMessageW(Window, WM_CHAR, std::strtoul(arg.c_str(), nullptr, 0), 1);
  Print("host_char", HostChar);
}

static void Choose(std::string caption)
{
  for (char& c : caption)
    if (c == '_')
      c = ' ';
  HMENU popup = FindPluginPopup(GetMenu(Window));
  for (int i = 0; popup && i < GetMenuItemCount(popup); ++i) {
    char text[128] = {};
    GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
    if (caption == text) {
      const UINT id = GetMenuItemID(popup, i);
      SendMessageA(Window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
      Print("chose", std::to_string(id));
      return;
    }
  }
  Print("chose", "none");
}

static D3DFORMAT FormatNamed(const std::string& name)
{
  return name == "unknown" ? D3DFMT_UNKNOWN : D3DFMT_X8R8G8B8;
}


static void Reset(const std::string& arg, bool ex = false)
{
  const size_t comma2 = arg.find(',', arg.find(',') + 1);
  const std::vector<int> size = Numbers(arg.substr(0, comma2));
  D3DPRESENT_PARAMETERS pp = {};  // a fresh record, as programs fill one for a new mode
  pp.BackBufferWidth = size.at(0);
  pp.BackBufferHeight = size.at(1);
  const std::string option = comma2 == std::string::npos ? "" : arg.substr(comma2 + 1);
  pp.BackBufferFormat = FormatNamed(option);
  pp.BackBufferCount = 1;
  pp.SwapEffect = option == "bad" ? static_cast<D3DSWAPEFFECT>(0) : D3DSWAPEFFECT_COPY;
  pp.hDeviceWindow = Window;
  pp.Windowed = TRUE;
  HRESULT hr;
#ifdef HOST_ALL_EXPORTS
  if (ex) {
    IDirect3DDevice9Ex* deviceEx = nullptr;
    hr = Device->QueryInterface(IID_IDirect3DDevice9Ex, reinterpret_cast<void**>(&deviceEx));
    if (SUCCEEDED(hr)) {
      hr = deviceEx->ResetEx(&pp, nullptr);
      deviceEx->Release();
    }
  } else
#endif
  {
    (void)ex;
    hr = Device->Reset(&pp);
  }
  Print("reset_hr", HexNumber(static_cast<unsigned long>(hr)));
  Print("bbformat", std::to_string(pp.BackBufferFormat));
  DeviceWidth = size.at(0);
  DeviceHeight = size.at(1);
  IDirect3DSurface9* back = nullptr;
  if (SUCCEEDED(Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)) && back) {
    D3DSURFACE_DESC desc = {};
    back->GetDesc(&desc);
    back->Release();
    Print("rt_format", std::to_string(desc.Format));
  }
}

// A render-target texture of the program's, bound as render target 0, and its texels
// as filled.
static IDirect3DTexture9* BoundTexture = nullptr;
static std::vector<uint16_t> TextureTexels;

static std::vector<uint16_t> ReadTexture()
{
  IDirect3DSurface9* level = nullptr;
  BoundTexture->GetSurfaceLevel(0, &level);
  UINT width, height;
  HRESULT hr;
  std::vector<uint16_t> texels = ReadSurface(Device, level, width, height, hr);
  level->Release();
  return texels;
}

static void BindTexture(const std::string& arg)
{
  const UINT size = static_cast<UINT>(std::atoi(arg.c_str()));
  Device->CreateTexture(size, size, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &BoundTexture, nullptr);
  IDirect3DSurface9* level = nullptr;
  BoundTexture->GetSurfaceLevel(0, &level);
  Device->ColorFill(level, nullptr, D3DCOLOR_XRGB(0x10, 0x44, 0xA0));
  Print("rtt_hr", HexNumber(static_cast<unsigned long>(Device->SetRenderTarget(0, level))));
  level->Release();
  TextureTexels = ReadTexture();
}

static void CheckTexture()
{
  const std::vector<uint16_t> texels = ReadTexture();
  std::string result = texels.size() == TextureTexels.size() ? "ok" : "size changed";
  for (size_t i = 0; i < texels.size() && result == "ok"; ++i)
    if (texels[i] != TextureTexels[i])
      result = "texel " + std::to_string(i) + " is " + std::to_string(texels[i]) + " not " +
               std::to_string(TextureTexels[i]);
  Print("rtt", result);
}

static void SelectChain(const std::string& arg)
{
  if (Chain)
    Chain->Release();
  Chain = nullptr;
  HRESULT hr = D3D_OK;
  if (arg == "implicit") {
    hr = Device->GetSwapChain(0, &Chain);
  } else if (arg != "device") {
    const std::vector<int> size = Numbers(arg);
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = size.at(0);
    pp.BackBufferHeight = size.at(1);
    pp.BackBufferFormat = D3DFMT_R5G6B5;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.hDeviceWindow = Window;
    pp.Windowed = TRUE;
    hr = Device->CreateAdditionalSwapChain(&pp, &Chain);
  }
  Print("chain_hr", HexNumber(static_cast<unsigned long>(hr)));
}

// ---- a render thread presenting while this thread switches plugins ----

struct ThreadRun {
  int frames = 0;
  uint32_t seeds = 1;
  int bad = 0;
  std::string firstBad;
};

static DWORD WINAPI RenderThread(LPVOID param)
{
  ThreadRun& run = *static_cast<ThreadRun*>(param);
  for (int i = 0; i < run.frames; ++i) {
    const uint32_t seed = 1 + static_cast<uint32_t>(i) % run.seeds;
    IDirect3DSurface9* back = BackBuffer();
    Fill(Device, back, seed);
    back->Release();
    PresentFrame();
    UINT width, height;
    HRESULT hr;
    const std::vector<uint16_t> pixels = ReadBackBuffer(width, height, hr);
    bool known = false;
    std::string differences;
    for (uint32_t s : {0u, 2u, 3u, 4u}) {
      const std::string result = Compare(pixels, width, height, s, seed);
      known |= result == "ok";
      differences += " s" + std::to_string(s) + ": " + result;
    }
    if (!known && run.bad++ == 0)
      run.firstBad = "frame " + std::to_string(i) + differences;
  }
  return 0;
}

static void ThreadScenario(const std::string& arg)
{
  const std::vector<int> n = Numbers(arg);
  ThreadRun run;
  run.frames = n.at(0);
  run.seeds = static_cast<uint32_t>(n.at(1));
  std::vector<UINT> items;
  HMENU popup = FindPluginPopup(GetMenu(Window));
  for (int i = 0; popup && i < GetMenuItemCount(popup); ++i)
    items.push_back(GetMenuItemID(popup, i));
  HANDLE thread = CreateThread(nullptr, 0, RenderThread, &run, 0, nullptr);
  int switches = 0;
  while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) {
    if (!items.empty()) {
      SendMessageA(Window, WM_COMMAND, MAKEWPARAM(items[static_cast<size_t>(switches) % items.size()], 0), 0);
      ++switches;
    }
    Pump();
  }
  CloseHandle(thread);
  Print("thread_frames", std::to_string(run.frames));
  Print("switches", std::to_string(switches));
  Print("thread_bad", std::to_string(run.bad));
  Print("thread_first_bad", run.firstBad);
}

#ifdef HOST_ALL_EXPORTS
extern "C" {
void* WINAPI Direct3DShaderValidatorCreate9(void);
void WINAPI PSGPError(void*, UINT, UINT);
void WINAPI PSGPSampleTexture(void*, UINT, void*, UINT, void*);
void WINAPI DebugSetMute(void);
int WINAPI DebugSetLevel(void);
int WINAPI Direct3D9EnableMaximizedWindowedModeShim(UINT);
}
// Referenced so that the import stays although no test calls it: Wine's d3d9 has them
// as stubs that stop the program when called.
void* volatile KeptImports[] = {reinterpret_cast<void*>(&PSGPError), reinterpret_cast<void*>(&PSGPSampleTexture),
                                reinterpret_cast<void*>(&DebugSetLevel)};

static void Create9Ex()
{
  IDirect3D9Ex* ex = nullptr;
  const HRESULT hr = Direct3DCreate9Ex(D3D_SDK_VERSION, &ex);
  Print("create9ex_hr", HexNumber(static_cast<unsigned long>(hr)));
  if (ex)
    Interfaces.push_back(reinterpret_cast<IDirect3D9*>(ex));
}

static void Exports()
{
  Print("perf_begin0", std::to_string(D3DPERF_BeginEvent(0xFF00FF00, L"outer")));
  Print("perf_begin1", std::to_string(D3DPERF_BeginEvent(0xFF0000FF, L"inner")));
  D3DPERF_SetMarker(0xFFFFFFFF, L"marker");
  D3DPERF_SetRegion(0xFFFFFFFF, L"region");
  Print("perf_end1", std::to_string(D3DPERF_EndEvent()));
  Print("perf_end0", std::to_string(D3DPERF_EndEvent()));
  Print("perf_status", std::to_string(D3DPERF_GetStatus()));
  Print("perf_repeat", std::to_string(D3DPERF_QueryRepeatFrame()));
  D3DPERF_SetOptions(1);
  DebugSetMute();
  void* validator = Direct3DShaderValidatorCreate9();
  Print("validator", validator ? "object" : "null");
  if (validator) {
    // An IUnknown-shaped object: released through its first table's Release.
    auto release = reinterpret_cast<ULONG(WINAPI**)(void*)>(*static_cast<void***>(validator))[2];
    release(validator);
  }
  Print("exports", "1");
}
#endif

static DWORD WINAPI EmptyThread(LPVOID) { return 0; }

static void Threads(const std::string& arg)
{
  for (int i = 0; i < std::atoi(arg.c_str()); ++i) {
    HANDLE thread = CreateThread(nullptr, 0, EmptyThread, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

// The commands a test gives the host, each "name" or "name:argument", run in order.
struct HostCommand {
  const char* name;
  void (*run)(const std::string& command);
};
static const HostCommand HostCommands[] = {
    {"create9", [](const std::string& command) { Create9(Arg(command)); }},
    {"threads", [](const std::string& command) { Threads(Arg(command)); }},
    {"window", [](const std::string&) { CreateHostWindow(true); }},
    {"popup", [](const std::string&) { CreateHostWindow(false); }},
    {"clientrect", [](const std::string&) { ClientRect(); }},
    {"clientrect_null", [](const std::string&) {
       Print("clientrect_null", std::to_string(GetClientRect(Window, nullptr)));
     }},
    {"setpos", [](const std::string& command) { SetPos(Arg(command)); }},
    {"slots", [](const std::string&) { Slots(); }},
    {"rect", [](const std::string&) {
       RECT r;
       GetWindowRect(Window, &r);
       Print("rect", RectText(r));
     }},
    {"device", [](const std::string& command) { CreateDevice(Arg(command)); }},
    {"frame", [](const std::string& command) { Frame(Arg(command)); }},
    {"dump", [](const std::string& command) { Dump(Arg(command)); }},
    {"verify", [](const std::string& command) { Verify(Arg(command)); }},
    {"menu", [](const std::string&) { Menu(); }},
    {"choose", [](const std::string& command) { Choose(Arg(command)); }},
    {"fill", [](const std::string& command) {
       IDirect3DSurface9* back = BackBuffer();
       Fill(Device, back, static_cast<uint32_t>(std::strtoul(Arg(command).c_str(), nullptr, 0)));
       back->Release();
     }},
    {"other", [](const std::string&) { CreateOther(); }},
    {"focusstate", [](const std::string&) { FocusState(); }},
    {"watch", [](const std::string&) {
       Pump();
       Watched.clear();
       Watching = true;
     }},
    {"seen", [](const std::string&) {
       Watching = false;
       PrintWatched();
     }},
    {"present", [](const std::string&) {
       Print("present_hr", HexNumber(static_cast<unsigned long>(PresentFrame())));
       Pump();
     }},
    {"reset", [](const std::string& command) { Reset(Arg(command)); }},
    {"capture", [](const std::string& command) { Capture(Arg(command)); }},
    {"rtt", [](const std::string& command) { BindTexture(Arg(command)); }},
    {"rttcheck", [](const std::string&) { CheckTexture(); }},
    {"chain", [](const std::string& command) { SelectChain(Arg(command)); }},
    {"thread", [](const std::string& command) { ThreadScenario(Arg(command)); }},
    {"nobar", [](const std::string&) { CreateBarlessWindow(false); }},
    {"wnobar", [](const std::string&) { CreateBarlessWindow(true); }},
    {"client", [](const std::string&) {
       RECT r = {};
       GetClientRect(Window, &r);
       Print("clientsize", std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
     }},
    {"sysmenu", [](const std::string&) { SysMenu(); }},
    {"syschoose", [](const std::string& command) { SysChoose(Arg(command)); }},
    {"syscmd", [](const std::string& command) { SysCmd(Arg(command)); }},
    {"key", [](const std::string& command) { Key(Arg(command)); }},
    {"char", [](const std::string& command) { Char(Arg(command)); }},
    {"use", [](const std::string& command) { Window = AllWindows.at(std::atoi(Arg(command).c_str())); }},
    {"copy", [](const std::string& command) {
       const std::string files = Arg(command);
       const size_t comma = files.find(',');
       Print("copied", std::to_string(CopyFileA(files.substr(0, comma).c_str(), files.substr(comma + 1).c_str(), FALSE)));
     }},
    {"sdl", [](const std::string&) { Sdl(); }},
#ifdef HOST_ALL_EXPORTS
    {"create9ex", [](const std::string&) { Create9Ex(); }},
    {"deviceex", [](const std::string& command) { CreateDevice(Arg(command), true); }},
    {"frameex", [](const std::string& command) { Frame(Arg(command), true); }},
    {"resetex", [](const std::string& command) { Reset(Arg(command), true); }},
    {"exports", [](const std::string&) { Exports(); }},
    {"shim", [](const std::string&) {
       Print("shim", std::to_string(Direct3D9EnableMaximizedWindowedModeShim(1)));
     }},
#endif
    {"rtref", [](const std::string&) {
       IDirect3DSurface9* target = nullptr;
       Device->GetRenderTarget(0, &target);
       Print("rtref", std::to_string(target->Release()));
     }},
    {"release", [](const std::string&) {
       if (Chain)
         Chain->Release();
       Chain = nullptr;
       if (BoundTexture)
         BoundTexture->Release();
       BoundTexture = nullptr;
       if (Device)
         Device->Release();
       Device = nullptr;
     }},
};

int main(int argc, char** argv)
{
  Print("started", "1");
  char proxy[MAX_PATH] = "none";
  GetModuleFileNameA(GetModuleHandleA("d3d9.dll"), proxy, MAX_PATH);
  Print("proxy", proxy);
  char cwd[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, cwd);
  Print("cwd", cwd);
  for (int i = 1; i < argc; ++i) {
    const std::string command = argv[i];
    const std::string name = command.substr(0, command.find(':'));
    const HostCommand* found = nullptr;
    for (const HostCommand& c : HostCommands)
      if (name == c.name)
        found = &c;
    if (found == nullptr) {
      Print("error", "unknown command " + command);
      return 2;
    }
    found->run(command);
  }
  for (IDirect3D9* d3d : Interfaces)
    d3d->Release();
  Print("done", "1");
  return 0;
}
